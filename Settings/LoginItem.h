#pragma once

#include <QString>
#include <optional>

namespace orlet {

// Whether the application starts when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    // The platform's current answer, not a remembered one.
    virtual bool isEnabled() const = 0;
    // Nothing on success, else why it failed, readable by a person.
    virtual std::optional<QString> setEnabled(bool enabled) = 0;
};

} // namespace orlet
