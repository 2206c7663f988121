#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlet {

// An installed application's desktop entry, as far as Orlet shows it.
struct DesktopEntry {
    std::string id;             ///< desktop id: "org.gnome.Terminal"
    std::filesystem::path path; ///< the .desktop file
    std::string name;           ///< unlocalised Name, empty when the file has none
    std::string icon;           ///< Icon: a theme icon name or an absolute path; may be empty

    bool operator==(const DesktopEntry&) const = default;
};

// Finds installed .desktop files by desktop id in the "applications" folder of each data
// directory, earlier directories first, as the desktop does. Reads the files on every lookup:
// no cache to go stale, and const lookups are safe from any thread.
class DesktopEntries {
public:
    explicit DesktopEntries(std::vector<std::filesystem::path> dataDirectories);

    // From $XDG_DATA_HOME and $XDG_DATA_DIRS, plus Flatpak's export folders.
    static DesktopEntries& shared();

    // The XDG base-directory rules: data home first, relative entries ignored, defaults for
    // unset or empty variables. Flatpak's exports come last unless already listed, since
    // sessions started without the Flatpak profile script lack them.
    static std::vector<std::filesystem::path>
    dataDirectories(const char* dataHome, const char* dataDirs, const std::string& home);

    const std::vector<std::filesystem::path>& directories() const { return directories_; }

    // The first entry for the id in precedence order; none when no file exists, the id cannot be
    // a desktop id, or the winning file is marked Hidden (the user deleted it).
    std::optional<DesktopEntry> find(std::string_view desktopId) const;

    // Name and Icon of the [Desktop Entry] group of a file's text.
    static DesktopEntry parse(std::string_view text);

private:
    std::vector<std::filesystem::path> directories_;
};

} // namespace orlet
