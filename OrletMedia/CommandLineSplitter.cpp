#include "OrletMedia/CommandLineSplitter.h"

namespace orlet {

std::vector<std::string> CommandLineSplitter::feed(std::string_view bytes) {
    std::vector<std::string> lines;
    for (const char c : bytes) {
        if (c == '\n') {
            lines.push_back(std::move(pending_));
            pending_.clear();
            continue;
        }
        pending_.push_back(c);
        if (pending_.size() == maximumLength) {
            lines.push_back(std::move(pending_));
            pending_.clear();
        }
    }
    return lines;
}

std::string CommandLineSplitter::finish() {
    std::string rest = std::move(pending_);
    pending_.clear();
    return rest;
}

} // namespace orlet
