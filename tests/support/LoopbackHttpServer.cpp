#include "LoopbackHttpServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <optional>
#include <stdexcept>

namespace orlet::test {
namespace {

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// The parsed head and body once the whole request is in `data`.
std::optional<LoopbackHttpServer::Request> parse(const QByteArray& data) {
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        return std::nullopt;
    }
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    LoopbackHttpServer::Request request;
    request.method = first.value(0);
    const QByteArray target = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0) {
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
        }
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (data.size() < headEnd + 4 + length) {
        return std::nullopt;
    }
    request.body = data.mid(headEnd + 4, length);
    const qsizetype question = target.indexOf('?');
    request.path = QUrl::fromPercentEncoding(question < 0 ? target : target.left(question));
    request.rawQuery = question < 0 ? QByteArray() : target.mid(question + 1);
    for (const QByteArray& item : request.rawQuery.split('&')) {
        if (item.isEmpty()) {
            continue;
        }
        const qsizetype equals = item.indexOf('=');
        const QByteArray name = equals < 0 ? item : item.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : item.mid(equals + 1);
        request.queryItems.append(
            {QUrl::fromPercentEncoding(name), QUrl::fromPercentEncoding(value)});
    }
    return request;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(QObject* parent) : QObject(parent) {
    if (!server_.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("cannot listen on 127.0.0.1: " +
                                 server_.errorString().toStdString());
    }
    connect(&server_, &QTcpServer::newConnection, this, &LoopbackHttpServer::accept);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    server_.close();
}

bool LoopbackHttpServer::waitFor(const std::function<bool()>& condition,
                                 std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    // Wakes the wait below now and then, so the deadline is seen while nothing happens.
    QTimer tick;
    tick.start(5);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

QUrl LoopbackHttpServer::url() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()));
}

void LoopbackHttpServer::route(const QString& path, Response response) {
    routes_.insert(path, std::move(response));
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests(const QString& path) const {
    std::vector<Request> found;
    for (const Request& request : requests_) {
        if (request.path == path) {
            found.push_back(request);
        }
    }
    return found;
}

void LoopbackHttpServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        // Owned by the server object, so held connections end with it.
        socket->setParent(this);
        pending_.insert(socket, {});
        sockets_.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            pending_.remove(socket);
            sockets_.removeOne(socket);
            socket->deleteLater();
        });
        read(socket);
    }
}

void LoopbackHttpServer::read(QTcpSocket* socket) {
    auto buffered = pending_.find(socket);
    if (buffered == pending_.end()) {
        return;
    }
    buffered->append(socket->readAll());
    const std::optional<Request> request = parse(*buffered);
    if (!request) {
        return;
    }
    pending_.erase(buffered);
    requests_.push_back(*request);
    answer(socket, *request);
}

void LoopbackHttpServer::answer(QTcpSocket* socket, const Request& request) {
    const auto found = routes_.constFind(request.path);
    const Response response =
        found != routes_.cend() ? *found : Response{404, {}, {}, false, false};
    if (response.hold) {
        return;
    }
    if (response.garbage) {
        socket->write("this is not an HTTP response\r\n\r\n\x01\x02");
    } else {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                          reason(response.status) + "\r\n";
        if (!response.contentType.isEmpty()) {
            head += "Content-Type: " + response.contentType + "\r\n";
        }
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head + response.body);
    }
    socket->disconnectFromHost();
}

} // namespace orlet::test
