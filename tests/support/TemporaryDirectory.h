#pragma once

#include <filesystem>
#include <string>

namespace orlet::test {

// A fresh directory removed with everything in it at the end of the scope. The default place
// is short on purpose: a socket path inside it must stay under 104 bytes.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& prefix = "/tmp/orlet-");
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace orlet::test
