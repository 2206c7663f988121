#include "OrletKit/helper/Helper.h"
#include "OrletKit/helper/ProcessRunner.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // A reader that went away (a closed hook pipe, `| head`) must not kill the helper: writes
    // fail instead, and the hooks still exit 0.
    std::signal(SIGPIPE, SIG_IGN);
    std::ios_base::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    orlet::Helper helper(orlet::Helper::processEnvironment());
    const int status = helper.main(arguments);
    std::cout.flush();
    if (helper.signalToPassOn() != 0) {
        orlet::ProcessRunner::Outcome outcome;
        outcome.signal = helper.signalToPassOn();
        orlet::ProcessRunner::exitLike(outcome);
    }
    return status;
}
