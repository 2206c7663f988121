// Shortening and joining arbitrary bytes always yields valid UTF-8 of the promised length.
#include "OrletKit/Graphemes.h"
#include "OrletKit/ShellHook.h"
#include "OrletKit/Text.h"
#include "OrletKit/Utf8.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t limit = data[0] % 100;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string shortened = orlet::Text::shortened(text, limit);
    const std::size_t characters = orlet::Graphemes::count(shortened);
    if (!orlet::Utf8::isValid(shortened) || characters > limit ||
        (orlet::Graphemes::count(text) <= limit && characters != orlet::Graphemes::count(text))) {
        std::abort();
    }
    const std::string line = orlet::Text::oneLine(text);
    if (!orlet::Utf8::isValid(line) || line.find('\n') != std::string::npos) {
        std::abort();
    }
    const orlet::ActivityMessage message = orlet::ShellHook::message(text, 1, 61);
    if (!orlet::ActivityMessage::decode(message.line().substr(0, message.line().size() - 1))) {
        std::abort();
    }
    orlet::ShellHook::shouldReport(text);
    return 0;
}
