#pragma once

#include "Media/BackgroundTasks.h"

#include <QThreadPool>

namespace orlet {

// One low-priority worker thread; answers go back to the main thread's event loop.
class ThreadPoolTasks : public BackgroundTasks {
public:
    ThreadPoolTasks();
    ~ThreadPoolTasks() override;

    void run(Work work) override;

private:
    QThreadPool pool_;
};

} // namespace orlet
