#pragma once

#include <QString>
#include <sys/types.h>

namespace orlet {

// A desktop application that keep-awake can wait for. The pid is the process whose exit means
// the application quit.
struct RunningApp {
    pid_t pid = 0;
    QString name;

    bool operator==(const RunningApp&) const = default;
};

} // namespace orlet
