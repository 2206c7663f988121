#include "Media/QtHelperLauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace orlet {
namespace {

// What the process's signal handlers share with their owner, which may go away while one of
// them runs.
struct Reports {
    HelperLauncher::Events events;
    int running = 0;
};

class QtHelperProcess : public HelperProcess {
public:
    QtHelperProcess(const QString& host, const QString& library, HelperLauncher::Events events)
        : process_(std::make_unique<QProcess>()), reports_(std::make_shared<Reports>()) {
        reports_->events = std::move(events);
        QProcess* process = process_.get();
        process->setProgram(host);
        process->setArguments({library});
        process->setStandardErrorFile(QProcess::nullDevice());
        connections_[0] = QObject::connect(
            process, &QProcess::readyReadStandardOutput, [process, reports = reports_] {
                const QByteArray bytes = process->readAllStandardOutput();
                if (!bytes.isEmpty()) {
                    report(*reports, reports->events.received, bytes);
                }
            });
        connections_[1] = QObject::connect(
            process, &QProcess::finished,
            [reports = reports_](int code, QProcess::ExitStatus status) {
                report(*reports, reports->events.exited,
                       status == QProcess::NormalExit ? std::optional<int>(code) : std::nullopt);
            });
        // Queued: a failure must never reach the owner from inside launch().
        connections_[2] = QObject::connect(
            process, &QProcess::errorOccurred, process,
            [process, reports = reports_](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) {
                    report(*reports, reports->events.failedToStart, process->errorString());
                }
            },
            Qt::QueuedConnection);
        process->start(QIODevice::ReadWrite);
    }

    ~QtHelperProcess() override {
        for (const QMetaObject::Connection& connection : connections_) {
            QObject::disconnect(connection);
        }
        if (process_->state() != QProcess::NotRunning) {
            process_->closeWriteChannel();
            process_->kill();
            process_->waitForFinished(1000);
        }
        // A process may not be deleted from inside one of its own signals.
        if (reports_->running > 0) {
            process_.release()->deleteLater();
        }
    }

    void write(const QByteArray& bytes) override {
        if (process_->state() != QProcess::NotRunning) {
            process_->write(bytes);
        }
    }

    void closeInput() override { process_->closeWriteChannel(); }
    void terminate() override { process_->terminate(); }

private:
    template <typename Handler, typename... Arguments>
    static void report(Reports& reports, const Handler& handler, Arguments&&... arguments) {
        // A copy: the handler may destroy the process object and with it the events.
        const Handler call = handler;
        if (!call) {
            return;
        }
        ++reports.running;
        call(std::forward<Arguments>(arguments)...);
        --reports.running;
    }

    std::unique_ptr<QProcess> process_;
    std::shared_ptr<Reports> reports_;
    QMetaObject::Connection connections_[3];
};

} // namespace

QtHelperLauncher::QtHelperLauncher(QString folder) : folder_(std::move(folder)) {}

QString QtHelperLauncher::defaultFolder() {
    const QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty()) {
        return {};
    }
    return QDir::cleanPath(QFileInfo(program).absolutePath() +
                           QStringLiteral("/../share/orlet/OrletMedia"));
}

QString QtHelperLauncher::hostPath() const {
    return folder_ + QStringLiteral("/orlet-media");
}

QString QtHelperLauncher::libraryPath() const {
    return folder_ + QStringLiteral("/libOrletMedia.so");
}

bool QtHelperLauncher::isBundled() const {
    return !folder_.isEmpty() && QFileInfo(libraryPath()).isFile();
}

std::unique_ptr<HelperProcess> QtHelperLauncher::launch(Events events) {
    return std::make_unique<QtHelperProcess>(hostPath(), libraryPath(), std::move(events));
}

} // namespace orlet
