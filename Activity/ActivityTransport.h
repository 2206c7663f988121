#pragma once

#include "Activity/ClientIdentity.h"
#include "OrletKit/ActivityMessage.h"

#include <functional>
#include <string>

namespace orlet {

// What the activity center needs of the socket server: start, stop, and a reply to one client.
class ActivityTransport {
public:
    // Each runs on the main thread, in the order the server saw them.
    struct Events {
        std::function<void(int fd, ClientIdentity identity)> connected;
        std::function<void(int fd, std::string line)> received;
        std::function<void(int fd)> disconnected;
    };

    virtual ~ActivityTransport() = default;
    virtual void start() = 0; ///< throws what stopped it
    virtual void stop() = 0;
    virtual void send(const ActivityMessage& message, int fd) = 0;
};

} // namespace orlet
