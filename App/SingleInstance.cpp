#include "App/SingleInstance.h"

#include "Platform/Log.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace orlet {

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), path_(std::move(socketPath)) {}

QString SingleInstance::defaultSocketPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return folder + QStringLiteral("/orlet-instance");
}

bool SingleInstance::handOff(const QStringList& urls) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(500)) {
        return false;
    }
    for (const QString& url : urls) {
        socket.write(url.toUtf8() + '\n');
    }
    socket.flush();
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(1000);
    }
    return true;
}

bool SingleInstance::listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered handOff: a socket left here belongs to a program that is gone.
    QLocalServer::removeServer(path_);
    if (!server_->listen(path_)) {
        qCWarning(logApp()) << "Cannot listen for other starts at" << path_ << ":"
                            << server_->errorString();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readChannelFinished, socket, [this, socket] {
                QStringList urls;
                const QList<QByteArray> lines = socket->readAll().split('\n');
                for (const QByteArray& line : lines) {
                    if (!line.isEmpty()) {
                        urls << QString::fromUtf8(line);
                    }
                }
                if (!urls.isEmpty() && onURLs) {
                    onURLs(urls);
                }
            });
        }
    });
    return true;
}

} // namespace orlet
