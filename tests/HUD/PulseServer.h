#pragma once

#include "ChildProcess.h"
#include "TemporaryDirectory.h"
#include "XDesktop.h"

#include <memory>
#include <string>

namespace orlet::test {

// A PulseAudio daemon of the test's own with one null sink "orlet_test", in a private runtime
// directory, gone with everything it made when the object goes.
class PulseServer {
public:
    PulseServer() {
        const std::string dir = directory_.path().string();
        environment_ = {{"PATH", "/usr/bin:/bin"},
                        {"HOME", dir},
                        {"XDG_RUNTIME_DIR", dir},
                        {"PULSE_RUNTIME_PATH", dir + "/runtime"},
                        {"PULSE_STATE_PATH", dir + "/state"},
                        {"PULSE_SERVER", address()}};
        daemon_ = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{
                "pulseaudio", "--daemonize=no", "-n",
                "--load=module-null-sink sink_name=orlet_test",
                "--load=module-native-protocol-unix auth-anonymous=1 socket=" + dir + "/native",
                "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes",
                "--log-target=stderr"},
            environment_);
        ready_ = eventually([this] { return pactl({"info"}).exitCode == 0; });
    }

    bool ready() const { return ready_; }
    std::string address() const { return "unix:" + directory_.path().string() + "/native"; }
    const Environment& environment() const { return environment_; }

    ChildProcess::Result pactl(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), "pactl");
        return ChildProcess::run(arguments, environment_);
    }
    // The first channel's raw volume (65536 is 100 %), or -1.
    long rawVolume(const std::string& sink = "orlet_test") const {
        const std::string out = pactl({"get-sink-volume", sink}).out;
        const auto colon = out.find(": ", out.find("front-left"));
        return colon == std::string::npos ? -1 : std::stol(out.substr(colon + 2));
    }
    bool muted(const std::string& sink = "orlet_test") const {
        return pactl({"get-sink-mute", sink}).out.find("yes") != std::string::npos;
    }

private:
    TemporaryDirectory directory_{"/tmp/orlet-pa-"};
    Environment environment_;
    std::unique_ptr<BackgroundProcess> daemon_;
    bool ready_ = false;
};

} // namespace orlet::test
