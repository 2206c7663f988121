#pragma once

#include <QByteArray>

namespace orlet {

// A running media helper: its standard input, and the means to end it.
class HelperProcess {
public:
    virtual ~HelperProcess() = default;

    // Errors are ignored: a helper that is gone reports its exit anyway.
    virtual void write(const QByteArray& bytes) = 0;
    // The helper ends by itself at the end of its input.
    virtual void closeInput() = 0;
    virtual void terminate() = 0;
};

} // namespace orlet
