#include "TemporaryDirectory.h"

#include <stdexcept>
#include <stdlib.h>

namespace orlet::test {

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) {
    std::string pattern = prefix + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a directory like " + pattern);
    }
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace orlet::test
