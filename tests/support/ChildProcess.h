#pragma once

#include <map>
#include <string>
#include <vector>

namespace orlet::test {

// Runs a program to completion with a given environment and standard input, capturing its
// standard output and error.
class ChildProcess {
public:
    struct Result {
        std::string out;
        std::string err;
        int exitCode = -1; ///< when it exited
        int signal = 0;    ///< when a signal ended it
    };

    static Result run(const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& environment,
                      const std::string& input = "", bool keepInputOpen = false);
};

} // namespace orlet::test
