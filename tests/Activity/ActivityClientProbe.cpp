// A client of its own executable: connects to the socket named by its argument and stays
// connected until its standard input closes, so the server can name it by its path.
#include <cstdio>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <socket path>\n", argv[0]);
        return 2;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", argv[1]);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        return 1;
    }
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    ::close(fd);
    return 0;
}
