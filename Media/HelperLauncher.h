#pragma once

#include "Media/HelperProcess.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace orlet {

// Starts the media helper process.
class HelperLauncher {
public:
    // Delivered on the main thread, never from inside launch().
    struct Events {
        std::function<void(const QByteArray& bytes)> received;
        // The exit status; none when a signal ended the helper.
        std::function<void(std::optional<int> status)> exited;
        // The process could not be started; no exit follows.
        std::function<void(const QString& error)> failedToStart;
    };

    virtual ~HelperLauncher() = default;

    // Whether the helper's library is where it belongs.
    virtual bool isBundled() const = 0;
    virtual std::unique_ptr<HelperProcess> launch(Events events) = 0;
};

} // namespace orlet
