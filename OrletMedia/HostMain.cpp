// orlet-media <path of libOrletMedia.so>: loads the media helper library and hands the process
// over to it.

#include <cstdio>
#include <dlfcn.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orlet-media <path of libOrletMedia.so>\n");
        return 2;
    }
    void* library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "orlet-media: cannot load %s: %s\n", argv[1], ::dlerror());
        return 2;
    }
    using Run = void (*)();
    const auto run = reinterpret_cast<Run>(::dlsym(library, "orlet_media_run"));
    if (run == nullptr) {
        std::fprintf(stderr, "orlet-media: %s has no orlet_media_run\n", argv[1]);
        return 2;
    }
    run(); // ends the process itself
    return 2;
}
