// Any bytes a local program sends must decode to a record or to nothing, and a decoded record
// must survive a trip through its own wire form.
#include "OrletKit/ActivityMessage.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<orlet::ActivityMessage> message = orlet::ActivityMessage::decode(bytes);
    if (!message) {
        return 0;
    }
    std::string line = message->line();
    if (line == "\n") {
        return 0; // a number JSON cannot spell (an overflowing literal)
    }
    if (line.back() != '\n' || line.find('\n') != line.size() - 1) {
        std::abort();
    }
    line.pop_back();
    const std::optional<orlet::ActivityMessage> again = orlet::ActivityMessage::decode(line);
    if (!again || !(*again == *message)) {
        std::abort();
    }
    return 0;
}
