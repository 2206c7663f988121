#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace orlet {

// The six tabs of the open notch; the raw value is also the tab's identity.
enum class NotchTab { media, system, shelf, today, weather, activity };

inline constexpr std::array allNotchTabs{NotchTab::media, NotchTab::system,  NotchTab::shelf,
                                         NotchTab::today, NotchTab::weather, NotchTab::activity};

constexpr std::string_view rawValue(NotchTab tab) {
    switch (tab) {
    case NotchTab::media:
        return "media";
    case NotchTab::system:
        return "system";
    case NotchTab::shelf:
        return "shelf";
    case NotchTab::today:
        return "today";
    case NotchTab::weather:
        return "weather";
    case NotchTab::activity:
        return "activity";
    }
    return "media";
}

// Unknown strings name no tab.
constexpr std::optional<NotchTab> notchTabFromRaw(std::string_view raw) {
    for (NotchTab tab : allNotchTabs) {
        if (rawValue(tab) == raw) {
            return tab;
        }
    }
    return std::nullopt;
}

} // namespace orlet
