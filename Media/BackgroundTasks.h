#pragma once

#include <functional>

namespace orlet {

// Runs work off the main thread at low priority. The work answers with what to do next, which
// then runs on the main thread.
class BackgroundTasks {
public:
    using Finish = std::function<void()>;
    using Work = std::function<Finish()>;

    virtual ~BackgroundTasks() = default;
    virtual void run(Work work) = 0;
};

} // namespace orlet
