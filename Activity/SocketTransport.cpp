#include "Activity/SocketTransport.h"

namespace orlet {

SocketTransport::SocketTransport(const std::string& path, ActivityTransport::Events events)
    : server_(path, ActivityServer::Events{std::move(events.connected), std::move(events.received),
                                           std::move(events.disconnected)}) {}

} // namespace orlet
