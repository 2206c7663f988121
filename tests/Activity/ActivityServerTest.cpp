#include "Activity/ActivityServer.h"

#include "Activity/ClientIdentifier.h"
#include "ActivityTestSupport.h"
#include "Platform/DesktopEntries.h"
#include "Platform/ProcessInfo.h"
#include "TemporaryDirectory.h"
#include "TestNames.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

namespace orlet {
namespace {

// Failure messages name a case by its sentence.
template <typename Case>
requires requires(const Case& c) {
    c.sentence;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.sentence;
}

using namespace std::string_literals;
using test::processUntil;
using test::TestClient;

const ClientIdentity kClient{"org.example.Client", "Client", std::nullopt};

class ActivityServerTest : public ::testing::Test {
protected:
    ActivityServerTest() { recorder.tasks = &tasks; }

    void TearDown() override {
        if (server) {
            server->stop();
        }
        EXPECT_EQ(recorder.offMainThread, 0) << "callbacks must run on the main thread";
    }

    ActivityServer& start(const std::string& at) {
        server.emplace(at, recorder.events(), identify);
        server->start();
        return *server;
    }
    ActivityServer& start() { return start(path); }

    // A client the server has accepted, and the descriptor the server names it by.
    std::pair<std::unique_ptr<TestClient>, int> connect() {
        const std::size_t before = recorder.connected.size();
        auto client = std::make_unique<TestClient>(server->path());
        EXPECT_TRUE(client->isConnected()) << std::strerror(client->connectError());
        EXPECT_TRUE(processUntil([&] { return recorder.connected.size() > before; }));
        return {std::move(client),
                recorder.connected.empty() ? -1 : recorder.connected.back().first};
    }

    test::TemporaryDirectory directory;
    const std::string path = (directory.path() / "Orlet" / "orlet.sock").string();
    test::MainThreadTasks tasks;
    test::Recorder recorder;
    ActivityServer::Identify identify = [](pid_t) { return kClient; };
    std::optional<ActivityServer> server;
};

// Byte streams and the lines they make.

struct LineCase {
    const char* sentence;
    std::vector<std::string> writes; ///< each reaches the server in a read of its own
    std::vector<std::string> lines;
    int tasks; ///< main-thread tasks that delivered the lines
};

class ActivityServerLines : public ActivityServerTest,
                            public ::testing::WithParamInterface<LineCase> {};

TEST_P(ActivityServerLines, SplitsTheStreamIntoLines) {
    const LineCase& c = GetParam();
    start();
    auto [client, fd] = connect();
    for (const std::string& bytes : c.writes) {
        ASSERT_TRUE(client->write(bytes));
        ASSERT_TRUE(client->waitUntilRead());
    }
    client->close();
    ASSERT_TRUE(processUntil([&] { return !recorder.disconnected.empty(); }));

    EXPECT_EQ(recorder.texts(), c.lines);
    std::vector<int> tasksSeen;
    for (const auto& line : recorder.lines) {
        EXPECT_EQ(line.fd, fd);
        if (tasksSeen.empty() || tasksSeen.back() != line.task) {
            tasksSeen.push_back(line.task);
        }
    }
    EXPECT_EQ(static_cast<int>(tasksSeen.size()), c.tasks);
    EXPECT_EQ(recorder.order.front(), "connected");
    EXPECT_EQ(recorder.order.back(), "disconnected");
    EXPECT_EQ(recorder.disconnected, std::vector<int>{fd});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActivityServerLines,
    ::testing::Values(
        LineCase{"a ping split over two writes is one line",
                 {R"({"type":)", "\"ping\"}\n"},
                 {R"({"type":"ping"})"},
                 1},
        LineCase{"the line feed alone completes a line", {"{a}", "\n"}, {"{a}"}, 1},
        LineCase{"three lines in one write arrive in order in one task",
                 {"{\"type\":\"hello\"}\n{\"type\":\"ping\"}\n{\"type\":\"notify\"}\n"},
                 {R"({"type":"hello"})", R"({"type":"ping"})", R"({"type":"notify"})"},
                 1},
        LineCase{"each read delivers its lines in a task of its own",
                 {"{a}\n", "{b}\n{c}\n"},
                 {"{a}", "{b}", "{c}"},
                 2},
        LineCase{"blank lines are skipped", {"\n\n{a}\n\n\n{b}\n\n"}, {"{a}", "{b}"}, 1},
        LineCase{"a carriage return stays part of the line", {"{a}\r\n\r\n"}, {"{a}\r", "\r"}, 1},
        LineCase{"an unterminated tail at end of stream is dropped", {"{a}\n{b"}, {"{a}"}, 1},
        LineCase{"bytes pass as they are, NUL and invalid UTF-8 included",
                 {"caf\xc3\xa9 \xff\0x\n"s},
                 {"caf\xc3\xa9 \xff\0x"s},
                 1}),
    test::SentenceName());

// Unterminated input is held up to one mebibyte.

struct BufferCase {
    const char* sentence;
    std::size_t unterminated;
    bool staysOpen;
};

class ActivityServerBuffer : public ActivityServerTest,
                             public ::testing::WithParamInterface<BufferCase> {};

TEST_P(ActivityServerBuffer, HoldsUpToOneMebibyteWithoutALineFeed) {
    const BufferCase& c = GetParam();
    start();
    auto [client, fd] = connect();
    ASSERT_TRUE(client->write("{first}\n"));
    const bool written = client->write(std::string(c.unterminated, 'x'));
    if (c.staysOpen) {
        ASSERT_TRUE(written);
        ASSERT_TRUE(client->waitUntilRead());
        ASSERT_TRUE(client->write("\n"));
        ASSERT_TRUE(processUntil([&] { return recorder.lines.size() == 2; }));
        EXPECT_EQ(recorder.lines[1].text, std::string(c.unterminated, 'x'));
        EXPECT_TRUE(recorder.disconnected.empty());
    } else {
        ASSERT_TRUE(processUntil([&] { return !recorder.disconnected.empty(); }));
        EXPECT_EQ(recorder.disconnected, std::vector<int>{fd});
        EXPECT_EQ(recorder.texts(), std::vector<std::string>{"{first}"});
        EXPECT_TRUE(client->waitForEndOfStream());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActivityServerBuffer,
    ::testing::Values(BufferCase{"exactly one mebibyte stays open", 1048576, true},
                      BufferCase{"one byte more closes the client", 1048577, false}),
    test::SentenceName());

// The socket path fits the address structure with room to spare.

struct PathCase {
    const char* sentence;
    std::size_t bytes;
    bool works;
};

class ActivityServerPath : public ActivityServerTest,
                           public ::testing::WithParamInterface<PathCase> {};

TEST_P(ActivityServerPath, AcceptsPathsUpTo103Bytes) {
    const PathCase& c = GetParam();
    const std::string folder = directory.path().string() + "/";
    ASSERT_LT(folder.size(), c.bytes);
    const std::string at = folder + std::string(c.bytes - folder.size(), 'p');
    if (c.works) {
        start(at);
        auto [client, fd] = connect();
        EXPECT_GE(fd, 0);
        return;
    }
    try {
        start(at);
        FAIL() << "started on a path of " << at.size() << " bytes";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code(), std::errc::filename_too_long) << error.what();
    }
    EXPECT_FALSE(std::filesystem::exists(at));
}

INSTANTIATE_TEST_SUITE_P(Cases, ActivityServerPath,
                         ::testing::Values(PathCase{"103 bytes work", 103, true},
                                           PathCase{"104 bytes are too long", 104, false},
                                           PathCase{"200 bytes are too long", 200, false}),
                         test::SentenceName());

// The socket's folder belongs to the user alone.

struct FolderCase {
    const char* sentence;
    std::optional<mode_t> existingMode; ///< none: the server creates the folder
    bool ownedByAnotherUser;
    bool works;
};

class ActivityServerFolder : public ActivityServerTest,
                             public ::testing::WithParamInterface<FolderCase> {};

TEST_P(ActivityServerFolder, KeepsTheSocketPrivate) {
    const FolderCase& c = GetParam();
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (c.existingMode) {
        std::filesystem::create_directory(folder);
        ASSERT_EQ(::chmod(folder.c_str(), *c.existingMode), 0);
    }
    if (c.ownedByAnotherUser) {
        const passwd* nobody = ::getpwnam("nobody");
        if (::geteuid() != 0 || nobody == nullptr) {
            GTEST_SKIP() << "needs root and the user nobody to give the folder away";
        }
        ASSERT_EQ(::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    if (!c.works) {
        try {
            start();
            FAIL() << "started in another user's folder";
        } catch (const std::filesystem::filesystem_error& error) {
            EXPECT_EQ(error.code(), std::errc::operation_not_permitted) << error.what();
        }
        EXPECT_FALSE(std::filesystem::exists(path));
        return;
    }
    start();
    struct stat status {};
    ASSERT_EQ(::stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ActivityServerFolder,
    ::testing::Values(FolderCase{"a new folder is private", std::nullopt, false, true},
                      FolderCase{"a folder open to others is tightened", 0755, false, true},
                      FolderCase{"a folder others may only enter is tightened", 0711, false, true},
                      FolderCase{"another user's folder is refused", 0700, true, false}),
    test::SentenceName());

// Whatever is at the path when the server starts makes way for it.

TEST_F(ActivityServerTest, StartReplacesWhateverIsAtThePath) {
    struct Leftover {
        const char* what;
        void (*make)(const std::string&);
    };
    const Leftover leftovers[] = {
        {"a socket nobody listens on",
         [](const std::string& at) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             at.copy(address.sun_path, sizeof address.sun_path - 1);
             ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             ::close(fd);
         }},
        {"a regular file", [](const std::string& at) { std::ofstream(at) << "left over"; }},
    };
    std::filesystem::create_directory(std::filesystem::path(path).parent_path());
    ::chmod(std::filesystem::path(path).parent_path().c_str(), 0700);
    for (const Leftover& leftover : leftovers) {
        SCOPED_TRACE(leftover.what);
        leftover.make(path);
        ASSERT_TRUE(std::filesystem::exists(path));
        start();
        auto [client, fd] = connect();
        ASSERT_TRUE(client->write("{a}\n"));
        EXPECT_TRUE(processUntil([&] { return !recorder.lines.empty(); }));
        server->stop();
        recorder.lines.clear();
    }
}

TEST_F(ActivityServerTest, ASecondCopyTakesOverThePathAndTheFirstLeavesItsSocketAlone) {
    start();
    test::Recorder secondRecorder;
    ActivityServer second(path, secondRecorder.events(), identify);
    second.start();
    TestClient early(path);
    ASSERT_TRUE(processUntil([&] { return secondRecorder.connected.size() == 1; }));

    server->stop();
    EXPECT_TRUE(std::filesystem::exists(path)) << "the first copy removed the second's socket";
    TestClient late(path);
    EXPECT_TRUE(late.isConnected());
    EXPECT_TRUE(processUntil([&] { return secondRecorder.connected.size() == 2; }));
    EXPECT_TRUE(recorder.connected.empty());
}

// Stopping.

TEST_F(ActivityServerTest, StopClosesClientsQuietlyAndRemovesTheSocket) {
    start();
    auto [first, firstFd] = connect();
    auto [second, secondFd] = connect();
    // A line the server has read but the main thread has not yet been given.
    ASSERT_TRUE(first->write("{a}\n"));
    ASSERT_TRUE(first->waitUntilRead());

    server->stop();
    QCoreApplication::sendPostedEvents();

    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(first->waitForEndOfStream());
    EXPECT_TRUE(second->waitForEndOfStream());
    EXPECT_TRUE(recorder.lines.empty()) << "a task queued before the stop still ran";
    EXPECT_TRUE(recorder.disconnected.empty());
    EXPECT_FALSE(TestClient(path).isConnected());
}

TEST_F(ActivityServerTest, DestroyingTheServerDropsQueuedCallbacks) {
    start();
    auto [client, fd] = connect();
    ASSERT_TRUE(client->write("{a}\n"));
    ASSERT_TRUE(client->waitUntilRead());
    server.reset();
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(recorder.lines.empty());
    EXPECT_TRUE(recorder.disconnected.empty());
}

// Replies.

TEST_F(ActivityServerTest, SendWritesTheEncodedLineToTheClient) {
    start();
    auto [client, fd] = connect();
    ActivityMessage denied("denied");
    denied.message = "Terminal is not allowed in Orlet's Settings → Connections";
    server->send(ActivityMessage("pong"), fd);
    server->send(denied, fd);
    EXPECT_EQ(client->readLine(), std::optional<std::string>(R"({"type":"pong","v":1})"
                                                             "\n"));
    EXPECT_EQ(client->readLine(), std::optional<std::string>(denied.line()));
}

TEST_F(ActivityServerTest, RepliesSentBeforeStopStillReachTheClient) {
    start();
    auto [client, fd] = connect();
    server->send(ActivityMessage("welcome"), fd);
    server->stop();
    EXPECT_EQ(client->readLine(), std::optional<std::string>(ActivityMessage("welcome").line()));
    EXPECT_TRUE(client->waitForEndOfStream());
}

TEST_F(ActivityServerTest, SendToAClientThatHasGoneWritesNothing) {
    start();
    auto [gone, goneFd] = connect();
    auto [staying, stayingFd] = connect();
    int bystander[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, bystander), 0);
    gone->close();
    ASSERT_TRUE(processUntil([&] { return recorder.disconnected.size() == 1; }));
    ASSERT_EQ(recorder.disconnected.front(), goneFd);
    // Another socket of this process now holds the number the client had.
    ASSERT_EQ(::dup2(bystander[0], goneFd), goneFd);
    ::close(bystander[0]);

    server->send(ActivityMessage("pong"), goneFd);
    server->send(ActivityMessage("welcome"), stayingFd);
    // Sends are handled in order: once the second has arrived, the first was dealt with.
    EXPECT_EQ(staying->readLine(), std::optional<std::string>(ActivityMessage("welcome").line()));
    char byte;
    EXPECT_EQ(::recv(bystander[1], &byte, 1, MSG_DONTWAIT), -1) << "wrote to a stranger";
    ::close(goneFd);
    ::close(bystander[1]);
}

TEST_F(ActivityServerTest, SendBeforeStartOrAfterStopIsIgnored) {
    ActivityServer idle(path, recorder.events(), identify);
    idle.send(ActivityMessage("pong"), 0);
    idle.start();
    idle.stop();
    idle.send(ActivityMessage("pong"), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Who is connecting.

// Runs the probe executable as a client; it leaves when this object goes.
class ProbeClient {
public:
    explicit ProbeClient(const std::string& socketPath) {
        int input[2];
        if (::pipe2(input, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        const std::string program = ORLET_CLIENT_PROBE;
        char* const argv[] = {const_cast<char*>(program.c_str()),
                              const_cast<char*>(socketPath.c_str()), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        input_ = input[1];
    }
    ~ProbeClient() {
        ::close(input_);
        if (pid_ > 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    ProbeClient(const ProbeClient&) = delete;
    ProbeClient& operator=(const ProbeClient&) = delete;

    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;
};

TEST_F(ActivityServerTest, AClientWithoutApplicationIsNamedByItsOwnExecutable) {
    // No installed entries: nothing in this machine's process tree may count as application.
    test::TemporaryDirectory noApplications;
    const DesktopEntries entries({noApplications.path()});
    const ClientIdentifier identifier(ProcessInfo::shared(), entries);
    std::atomic<pid_t> asked = 0;
    identify = [&](pid_t pid) {
        asked = pid;
        return identifier.identify(pid);
    };
    start();
    const ProbeClient probe(path);
    ASSERT_GT(probe.pid(), 0);
    ASSERT_TRUE(processUntil([&] { return recorder.connected.size() == 1; }));

    const std::string executable = std::filesystem::canonical(ORLET_CLIENT_PROBE).string();
    EXPECT_EQ(asked, probe.pid());
    EXPECT_EQ(recorder.connected.front().second,
              (ClientIdentity{"path:" + executable, "ActivityClientProbe", std::nullopt}));
}

// The outcome of a connection attempt made as the user nobody.
struct ForeignAttempt {
    int connectError = -1;       ///< 0: connected
    bool closedByServer = false; ///< the server ended the connection at once
};

ForeignAttempt connectAsNobody(const std::string& socketPath) {
    const passwd* nobody = ::getpwnam("nobody");
    const group* nogroup = ::getgrnam("nogroup");
    ForeignAttempt attempt;
    int report[2];
    if (nobody == nullptr || nogroup == nullptr || ::pipe2(report, O_CLOEXEC) != 0) {
        return attempt;
    }
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nogroup->gr_gid;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);

    // The child only makes system calls: this process has other threads.
    const pid_t child = ::fork();
    if (child == 0) {
        ForeignAttempt result;
        if (::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
            ::setresuid(uid, uid, uid) == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            result.connectError =
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
                    ? 0
                    : errno;
            pollfd ready{fd, POLLIN, 0};
            char byte;
            result.closedByServer = result.connectError == 0 && ::poll(&ready, 1, 5000) == 1 &&
                                    ::read(fd, &byte, 1) == 0;
        }
        [[maybe_unused]] const ssize_t written = ::write(report[1], &result, sizeof result);
        ::_exit(0);
    }
    ::close(report[1]);
    if (child > 0) {
        if (::read(report[0], &attempt, sizeof attempt) != sizeof attempt) {
            attempt = {};
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    ::close(report[0]);
    return attempt;
}

TEST_F(ActivityServerTest, AnotherUserCannotConnect) {
    if (::geteuid() != 0 || ::getpwnam("nobody") == nullptr) {
        GTEST_SKIP() << "needs root to act as the user nobody";
    }
    start();
    const ForeignAttempt throughTheFolder = connectAsNobody(path);
    EXPECT_EQ(throughTheFolder.connectError, EACCES) << "the private folder let another user in";

    // Should the modes be loosened by hand, the server still turns the stranger away.
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    ASSERT_EQ(::chmod(directory.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    const ForeignAttempt withOpenModes = connectAsNobody(path);
    EXPECT_EQ(withOpenModes.connectError, 0);
    EXPECT_TRUE(withOpenModes.closedByServer);

    // Events arrive in order: once this client is announced, the stranger would have been too.
    auto [client, fd] = connect();
    EXPECT_EQ(recorder.connected.size(), 1u);
    EXPECT_TRUE(recorder.disconnected.empty());
}

} // namespace
} // namespace orlet
