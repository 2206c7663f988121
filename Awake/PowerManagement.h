#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace orlet {

// Holding off sleep and telling the session that the user is still there.
class PowerManagement {
public:
    // What an assertion keeps from happening.
    enum class AssertionType {
        displaySleep, ///< the session's screen saver and screen blanking
        idleSleep,    ///< the system's idle action and sleep
    };

    // Held until destroyed.
    class Assertion {
    public:
        virtual ~Assertion() = default;
    };

    virtual ~PowerManagement() = default;

    // Asks for an assertion named `name`. The answer comes later: `settled` runs once on the
    // main thread with whether it was granted, unless the assertion was destroyed first. A
    // grant that arrives after that is given back at once.
    virtual std::unique_ptr<Assertion> create(AssertionType type, const QString& name,
                                              std::function<void(bool granted)> settled) = 0;

    // Resets the session's idle timers and wakes a dimmed screen.
    virtual void declareUserActivity() = 0;
};

} // namespace orlet
