#pragma once

#include "Notch/NotchTab.h"

#include <QObject>
#include <QStringList>
#include <array>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

namespace orlet {

class DefaultsStore;
class LoginItem;

// The user's choices about the notch's tabs, the system statistics, hovering, haptics, the
// menu bar icon and launch at login. Loaded once from the defaults; every assignment writes its
// key at once, and observers hear of it only when the value changed. Main thread only.
class AppSettings : public QObject {
    Q_OBJECT
    // clang-format off
    Q_PROPERTY(QStringList tabOrder READ tabOrderNames WRITE setTabOrderNames NOTIFY tabOrderChanged) ///< raw tab names in order; all six, missing ones appended
    Q_PROPERTY(QStringList hiddenTabs READ hiddenTabNames WRITE setHiddenTabNames NOTIFY hiddenTabsChanged) ///< raw tab names in case order; none by default
    Q_PROPERTY(QStringList visibleTabs READ visibleTabNames NOTIFY visibleTabsChanged) ///< tabOrder minus hiddenTabs, ["media"] when that is empty
    Q_PROPERTY(QStringList hiddenStats READ hiddenStatNames WRITE setHiddenStatNames NOTIFY hiddenStatsChanged) ///< raw statistic names in case order; none by default
    Q_PROPERTY(double sampleInterval READ sampleInterval WRITE setSampleInterval NOTIFY sampleIntervalChanged) ///< seconds, 1.0 unless a number is stored
    Q_PROPERTY(bool pinCPU READ pinCPU WRITE setPinCPU NOTIFY pinCPUChanged) ///< CPU live activity kept, false unless a boolean is stored
    Q_PROPERTY(double hoverDelayMs READ hoverDelayMs WRITE setHoverDelayMs NOTIFY hoverDelayMsChanged) ///< milliseconds, 150.0 unless a number is stored
    Q_PROPERTY(bool haptics READ haptics WRITE setHaptics NOTIFY hapticsChanged) ///< nothing plays on Linux; true unless a boolean is stored
    Q_PROPERTY(bool showMenuBarIcon READ showMenuBarIcon WRITE setShowMenuBarIcon NOTIFY showMenuBarIconChanged) ///< tray icon, true unless a boolean is stored
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged) ///< the login item's actual state; not in the defaults
    // clang-format on

public:
    // The statistics of the system tab that the user can hide; the raw value is the identity.
    enum class Stat { cpu, gpu, ram, ssd, network, battery };

    AppSettings(DefaultsStore& defaults, LoginItem& loginItem, QObject* parent = nullptr);

    // Built on first use from DefaultsStore::shared() and the autostart entry of this program.
    static AppSettings& shared();

    const std::vector<NotchTab>& tabOrder() const { return tabOrder_; }
    const std::set<NotchTab>& hiddenTabs() const { return hiddenTabs_; }
    const std::set<Stat>& hiddenStats() const { return hiddenStats_; }
    double sampleInterval() const { return sampleInterval_; }
    bool pinCPU() const { return pinCPU_; }
    double hoverDelayMs() const { return hoverDelayMs_; }
    bool haptics() const { return haptics_; }
    bool showMenuBarIcon() const { return showMenuBarIcon_; }
    // Asks the login item each time.
    bool launchAtLogin() const;

    // tabOrder without the hidden tabs, in order; [media] when that leaves none.
    std::vector<NotchTab> visibleTabs() const;
    // The same answers as visibleTabs(), without building the list.
    bool isVisible(NotchTab tab) const;
    NotchTab firstVisibleTab() const;

    void setTabOrder(const std::vector<NotchTab>& order);
    void setHiddenTabs(const std::set<NotchTab>& tabs);
    void setHiddenStats(const std::set<Stat>& stats);
    void setSampleInterval(double seconds);
    void setPinCPU(bool pinned);
    void setHoverDelayMs(double milliseconds);
    void setHaptics(bool enabled);
    void setShowMenuBarIcon(bool shown);
    // A refusal is logged; launchAtLogin() then reports what the login item says.
    void setLaunchAtLogin(bool enabled);

    // Hiding the last visible tab is refused without any change.
    void setVisible(NotchTab tab, bool visible);
    void setShown(Stat stat, bool shown);

    // For views, by raw name; unknown names are ignored.
    Q_INVOKABLE void setVisible(const QString& tab, bool visible);
    Q_INVOKABLE void setShown(const QString& stat, bool shown);

    QStringList tabOrderNames() const;
    QStringList hiddenTabNames() const;
    QStringList visibleTabNames() const;
    QStringList hiddenStatNames() const;
    void setTabOrderNames(const QStringList& names);
    void setHiddenTabNames(const QStringList& names);
    void setHiddenStatNames(const QStringList& names);

signals:
    void tabOrderChanged();
    void hiddenTabsChanged();
    void visibleTabsChanged();
    void hiddenStatsChanged();
    void sampleIntervalChanged();
    void pinCPUChanged();
    void hoverDelayMsChanged();
    void hapticsChanged();
    void showMenuBarIconChanged();
    void launchAtLoginChanged();

private:
    void notifyVisibleTabs(const std::vector<NotchTab>& before);
    std::size_t visibleCount() const;

    DefaultsStore& defaults_;
    LoginItem& loginItem_;
    std::vector<NotchTab> tabOrder_;
    std::set<NotchTab> hiddenTabs_;
    std::set<Stat> hiddenStats_;
    double sampleInterval_ = 1.0;
    bool pinCPU_ = false;
    double hoverDelayMs_ = 150.0;
    bool haptics_ = true;
    bool showMenuBarIcon_ = true;
};

inline constexpr std::array allStats{AppSettings::Stat::cpu,     AppSettings::Stat::gpu,
                                     AppSettings::Stat::ram,     AppSettings::Stat::ssd,
                                     AppSettings::Stat::network, AppSettings::Stat::battery};

constexpr std::string_view rawValue(AppSettings::Stat stat) {
    switch (stat) {
    case AppSettings::Stat::cpu:
        return "cpu";
    case AppSettings::Stat::gpu:
        return "gpu";
    case AppSettings::Stat::ram:
        return "ram";
    case AppSettings::Stat::ssd:
        return "ssd";
    case AppSettings::Stat::network:
        return "network";
    case AppSettings::Stat::battery:
        return "battery";
    }
    return "cpu";
}

// Unknown strings name no statistic.
constexpr std::optional<AppSettings::Stat> statFromRaw(std::string_view raw) {
    for (AppSettings::Stat stat : allStats) {
        if (rawValue(stat) == raw) {
            return stat;
        }
    }
    return std::nullopt;
}

} // namespace orlet
