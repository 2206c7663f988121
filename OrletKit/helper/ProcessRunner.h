#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orlet {

// Runs a command as a child that owns the terminal's input and output, and passes signals meant
// for the helper on to it.
class ProcessRunner {
public:
    struct Outcome {
        bool started = false; ///< false: the command could not be executed
        int exitCode = 0;     ///< when it exited (127/126 when it could not start)
        int signal = 0;       ///< when a signal ended it, else 0
        std::string error;    ///< why it could not start

        // The status a shell would report: the exit code, or 128 + the signal.
        int shellStatus() const { return signal != 0 ? 128 + signal : exitCode; }
    };

    // Blocks until the command ends. `started` runs right after the child exists.
    static Outcome run(const std::vector<std::string>& command,
                       const std::function<void()>& started = {});

    // Ends the helper the way the child ended: the same exit code, or the same signal.
    [[noreturn]] static void exitLike(const Outcome& outcome);
};

} // namespace orlet
