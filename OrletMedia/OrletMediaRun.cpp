// The library's one export: the whole helper, run inside whatever process loads it.

#include "OrletMedia/CommandLineSplitter.h"
#include "OrletMedia/LinuxProcessMonitor.h"
#include "OrletMedia/MediaHelper.h"
#include "OrletMedia/MprisSource.h"
#include "OrletMedia/NowPlayingEncoder.h"
#include "Platform/Clock.h"
#include "Platform/ProcessInfo.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace {

// Every line leaves in one piece and at once: the reader acts on it as it arrives.
void writeLine(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// Reads the input in pieces of at most 511 bytes and hands each line to the event loop; the
// end of input ends the helper.
void readCommands(QCoreApplication& application, orlet::MediaHelper& helper) {
    orlet::CommandLineSplitter splitter;
    const auto post = [&application, &helper](std::string line) {
        QMetaObject::invokeMethod(
            &application, [&helper, line = std::move(line)] { helper.handleLine(line); },
            Qt::QueuedConnection);
    };
    char buffer[orlet::CommandLineSplitter::maximumLength];
    for (;;) {
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        for (std::string& line : splitter.feed({buffer, static_cast<std::size_t>(count)})) {
            post(std::move(line));
        }
    }
    if (std::string rest = splitter.finish(); !rest.empty()) {
        post(std::move(rest));
    }
    QMetaObject::invokeMethod(
        &application, [&helper] { helper.finish([] { QCoreApplication::exit(0); }); },
        Qt::QueuedConnection);
}

int run() {
    static int argc = 1;
    static char name[] = "orlet-media";
    static char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        writeLine(orlet::NowPlayingEncoder::error("D-Bus session bus not reachable"));
        return 2;
    }
    orlet::Clock& clock = orlet::Clock::shared();
    orlet::LinuxProcessMonitor processes;
    orlet::MprisSource source(bus, clock, orlet::ProcessInfo::shared());
    orlet::MediaHelper helper(source, processes, clock, writeLine);
    helper.start();
    std::thread reader(readCommands, std::ref(application), std::ref(helper));
    const int status = QCoreApplication::exec();
    // The loop ends only after the reader posted the end of input, so it is done.
    reader.join();
    return status;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void orlet_media_run() {
    std::exit(run());
}
