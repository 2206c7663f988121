#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace orlet {

// Turns SIGINT and SIGTERM into a Qt signal on the main thread (through a self-pipe), so that
// Ctrl+C and `kill` end the program through the same path as quitting.
class SignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested(int signal);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace orlet
