#pragma once

#include "Settings/LoginItem.h"

namespace orlet {

// Launch at login as an XDG autostart entry, "orlet.desktop" in the autostart folder.
class AutostartLoginItem final : public LoginItem {
public:
    // `programPath` is absolute: the session starts it from anywhere.
    AutostartLoginItem(QString autostartFolder, QString programPath);

    // $XDG_CONFIG_HOME/autostart
    static QString defaultFolder();

    // The entry exists and neither hides nor disables itself; the user may have edited it.
    bool isEnabled() const override;
    // Enabling replaces the entry at once with ours; disabling removes it.
    std::optional<QString> setEnabled(bool enabled) override;

    QString entryPath() const { return entryPath_; }

private:
    QString folder_;
    QString entryPath_;
    QString programPath_;
};

} // namespace orlet
