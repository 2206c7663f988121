#include "Awake/PidfdProcessWatcher.h"

#include "Platform/Log.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace orlet {
namespace {

class PidfdWatch : public ProcessWatcher::Watch {
public:
    // `fd` is the pidfd, or -1 when the process is already gone.
    PidfdWatch(int fd, std::function<void()> exited)
        : fd_(fd), exited_(std::make_shared<std::function<void()>>(std::move(exited))) {
        if (fd_ >= 0) {
            notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
            QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                             [this] { report(); });
        } else {
            timer_ = std::make_unique<QTimer>();
            timer_->setSingleShot(true);
            QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { report(); });
            timer_->start(0);
        }
    }

    ~PidfdWatch() override {
        notifier_.reset();
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

private:
    void report() {
        // A pidfd stays readable once the process ended: report it once.
        if (notifier_) {
            notifier_->setEnabled(false);
        }
        // From the event loop, not from inside the notifier's signal: the receiver usually
        // destroys this watch.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak = std::weak_ptr(exited_)] {
                if (const auto exited = weak.lock(); exited && *exited) {
                    const std::function<void()> call = std::exchange(*exited, nullptr);
                    call();
                }
            },
            Qt::QueuedConnection);
    }

    int fd_;
    std::shared_ptr<std::function<void()>> exited_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> timer_;
};

} // namespace

std::unique_ptr<ProcessWatcher::Watch> PidfdProcessWatcher::watch(pid_t pid,
                                                                  std::function<void()> exited) {
    if (pid <= 0) {
        return nullptr;
    }
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0 && errno != ESRCH) {
        qCWarning(logApp(), "Cannot watch process %d: %s", static_cast<int>(pid),
                  std::strerror(errno));
        return nullptr;
    }
    return std::make_unique<PidfdWatch>(fd, std::move(exited));
}

} // namespace orlet
