#include "Media/ThreadPoolTasks.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace orlet {

ThreadPoolTasks::ThreadPoolTasks() {
    // Artwork arrives once per track: one thread is plenty, and keeps results in order.
    pool_.setMaxThreadCount(1);
    pool_.setThreadPriority(QThread::LowPriority);
}

ThreadPoolTasks::~ThreadPoolTasks() {
    pool_.waitForDone();
}

void ThreadPoolTasks::run(Work work) {
    pool_.start([work = std::move(work)] {
        Finish finish = work();
        if (!finish) {
            return;
        }
        // Queued onto the application object, which lives on the main thread.
        if (QCoreApplication* application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(application, std::move(finish), Qt::QueuedConnection);
        }
    });
}

} // namespace orlet
