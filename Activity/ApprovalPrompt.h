#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace orlet {

// Asks the user once whether an application may show activities. The question is modal for
// the user but never blocks the event loop: the answer comes back through the callback.
class ApprovalPrompt {
public:
    struct Request {
        QString message;     ///< the question
        QString informative; ///< what it means and where to change it
        QString allowTitle;
        QString denyTitle;
        std::optional<QString> desktopEntryPath; ///< the application's icon comes from here
    };

    virtual ~ApprovalPrompt() = default;
    // Calls `answer` exactly once, later, on the main thread.
    virtual void ask(const Request& request, std::function<void(bool allowed)> answer) = 0;
};

} // namespace orlet
