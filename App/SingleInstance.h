#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

namespace orlet {

// One Orlet per user session. A second start hands its URL arguments to the running one over a
// private local socket and exits.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);

    // The socket in the user's runtime folder.
    static QString defaultSocketPath();

    // True when another instance runs: it was given `urls` (possibly none).
    bool handOff(const QStringList& urls);
    // Become the running instance; false when the socket cannot be taken.
    bool listen();

    std::function<void(const QStringList&)> onURLs;

private:
    QString path_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace orlet
