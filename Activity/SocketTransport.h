#pragma once

#include "Activity/ActivityServer.h"
#include "Activity/ActivityTransport.h"

namespace orlet {

// The activity center's transport over the real socket server.
class SocketTransport : public ActivityTransport {
public:
    SocketTransport(const std::string& path, ActivityTransport::Events events);

    void start() override { server_.start(); }
    void stop() override { server_.stop(); }
    void send(const ActivityMessage& message, int fd) override { server_.send(message, fd); }

private:
    ActivityServer server_;
};

} // namespace orlet
