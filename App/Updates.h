#pragma once

#include <QObject>

namespace orlet {

// Holder of the software updater. Linux distributions update the program through their
// package managers, so there is no updater framework: the controller stays absent and the
// update items of the menu and the settings are not shown.
class Updates {
public:
    static Updates& shared();

    void start();
    // The updater's controller; always absent here.
    QObject* controller() const { return nullptr; }
    bool isStarted() const { return started_; }

private:
    bool started_ = false;
};

} // namespace orlet
