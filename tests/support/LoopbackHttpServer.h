#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QUrl>
#include <chrono>
#include <functional>
#include <vector>

class QTcpSocket;

namespace orlet::test {

// A small HTTP/1.1 server on 127.0.0.1 and a free port, for clients under test. Answers by
// path with a fixed response, records every request, and can leave a request unanswered (to
// make the client time out) or answer with bytes that are not HTTP. One request per
// connection. Runs on the thread that creates it, so the test must spin its event loop.
class LoopbackHttpServer : public QObject {
    Q_OBJECT

public:
    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        bool hold = false;    ///< never answer; the connection stays open until the server goes
        bool garbage = false; ///< answer with bytes that are not an HTTP response, then close
    };

    struct Request {
        QByteArray method;
        QString path;                              ///< decoded
        QByteArray rawQuery;                       ///< as sent, still percent-encoded
        QList<QPair<QString, QString>> queryItems; ///< decoded, in the order sent
        QHash<QByteArray, QByteArray> headers;     ///< names in lower case
        QByteArray body;
    };

    static Response json(const QByteArray& body, int status = 200) {
        return Response{status, body, "application/json", false, false};
    }
    static Response held() { return Response{200, {}, {}, true, false}; }
    static Response garbled() { return Response{200, {}, {}, false, true}; }

    explicit LoopbackHttpServer(QObject* parent = nullptr);
    ~LoopbackHttpServer() override;

    // http://127.0.0.1:<port>
    QUrl url() const;
    // Paths without a route get 404 with an empty body.
    void route(const QString& path, Response response);
    const std::vector<Request>& requests() const { return requests_; }
    // The requests for `path`, in order.
    std::vector<Request> requests(const QString& path) const;
    // Connections the client has not closed yet (held ones included).
    int openConnections() const { return static_cast<int>(sockets_.size()); }

    // Runs the event loop until `condition` holds or `timeout` passes; whether it held. For
    // waiting on the network, never for a timing rule.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    void accept();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);

    QTcpServer server_;
    QHash<QString, Response> routes_;
    QHash<QTcpSocket*, QByteArray> pending_; // requests still arriving
    QList<QTcpSocket*> sockets_;
    std::vector<Request> requests_;
};

} // namespace orlet::test
