#include "OrletMedia/LinuxProcessMonitor.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace orlet {
namespace {

class PidfdWatch : public ProcessMonitor::Watch {
public:
    PidfdWatch(int fd, std::function<void()> exited)
        : fd_(fd), notifier_(fd, QSocketNotifier::Read), exited_(std::move(exited)) {
        // A pidfd turns readable once the process has ended, and stays so: report once.
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] {
            notifier_.setEnabled(false);
            if (auto exited = std::exchange(exited_, nullptr)) {
                exited();
            }
        });
    }
    ~PidfdWatch() override {
        notifier_.setEnabled(false);
        ::close(fd_);
    }
    PidfdWatch(const PidfdWatch&) = delete;
    PidfdWatch& operator=(const PidfdWatch&) = delete;

private:
    int fd_;
    QSocketNotifier notifier_;
    std::function<void()> exited_;
};

} // namespace

std::unique_ptr<ProcessMonitor::Watch> LinuxProcessMonitor::watch(pid_t pid,
                                                                  std::function<void()> exited) {
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<PidfdWatch>(static_cast<int>(fd), std::move(exited));
}

bool LinuxProcessMonitor::isGone(pid_t pid) const {
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    // A zombie has ended; only its parent has not collected it yet.
    std::ifstream stat(procRoot_ / std::to_string(pid) / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

} // namespace orlet
