#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orlet {

// Cuts the bytes of the helper's input into lines the way a 512-byte line buffer reads them: a
// line ends at a line feed (kept off) or after 511 bytes, so a longer line becomes several.
class CommandLineSplitter {
public:
    static constexpr std::size_t maximumLength = 511;

    std::vector<std::string> feed(std::string_view bytes);
    // What is left at end of input, as a last line; empty when nothing is.
    std::string finish();

private:
    std::string pending_;
};

} // namespace orlet
