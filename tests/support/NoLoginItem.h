#pragma once

#include "Settings/LoginItem.h"

namespace orlet::test {

// A login-item service that is never enabled and refuses every change: for tests of what
// merely reads the settings.
class NoLoginItem : public LoginItem {
public:
    bool isEnabled() const override { return false; }
    std::optional<QString> setEnabled(bool) override { return QStringLiteral("unsupported"); }
};

} // namespace orlet::test
