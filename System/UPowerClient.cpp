#include "System/UPowerClient.h"

#include "System/UPowerCache.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>

namespace orlet {

UPowerClient::UPowerClient(std::optional<std::string> busAddress)
    : busAddress_(std::move(busAddress)) {}

UPowerClient::~UPowerClient() {
    // Signals may still be on their way to the cache on its own thread.
    if (cache_ && cache_->thread() != QThread::currentThread() && cache_->thread()->isRunning()) {
        cache_.release()->deleteLater();
    }
    cache_.reset();
    if (connection_ && !connectionName_.isEmpty()) {
        connection_.reset();
        QDBusConnection::disconnectFromBus(connectionName_);
    }
}

void UPowerClient::start() {
    if (busAddress_) {
        static std::atomic<int> serial = 0;
        connectionName_ = QStringLiteral("orlet-upower-%1").arg(serial++);
        connection_ =
            QDBusConnection::connectToBus(QString::fromStdString(*busAddress_), connectionName_);
    } else {
        connection_ = QDBusConnection::systemBus();
    }
    if (!connection_->isConnected()) {
        return;
    }
    cache_ = std::make_unique<UPowerCache>(*connection_);
    // Signals are handled where the application's events are, whichever thread asks first.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        cache_->moveToThread(application->thread());
    }
    cache_->fill();
}

std::optional<std::vector<PowerSource>> UPowerClient::powerSources() {
    std::call_once(started_, [this] { start(); });
    if (!cache_) {
        return std::nullopt;
    }
    // The application's thread is also where UPower's change notices reach the rest of the
    // program: one asking there after a notice must get the new value.
    if (cache_->thread() == QThread::currentThread()) {
        cache_->catchUp();
    }
    return cache_->sources();
}

} // namespace orlet
