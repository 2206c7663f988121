#include "Settings/AppSettings.h"

#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"
#include "Settings/AutostartLoginItem.h"

#include <QCoreApplication>
#include <algorithm>

namespace orlet {
namespace {

const QString tabOrderKey = QStringLiteral("tabs.order");
const QString hiddenTabsKey = QStringLiteral("tabs.hidden");
const QString hiddenStatsKey = QStringLiteral("stats.hidden");
const QString sampleIntervalKey = QStringLiteral("stats.interval");
const QString pinCPUKey = QStringLiteral("stats.pinCPU");
const QString hoverDelayKey = QStringLiteral("notch.hoverDelay");
const QString hapticsKey = QStringLiteral("notch.haptics");
const QString menuBarKey = QStringLiteral("menubar.show");

template <typename T> QString nameOf(T value) {
    const std::string_view raw = rawValue(value);
    return QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size()));
}

template <typename Range> QStringList namesOf(const Range& values) {
    QStringList names;
    names.reserve(static_cast<qsizetype>(values.size()));
    for (const auto value : values) {
        names.append(nameOf(value));
    }
    return names;
}

std::optional<NotchTab> tabNamed(const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    return notchTabFromRaw(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

std::optional<AppSettings::Stat> statNamed(const QString& name) {
    const QByteArray utf8 = name.toUtf8();
    return statFromRaw(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

// Stored order first, names of no tab skipped. A name stored twice counts once, so the tab
// bar never shows a tab twice.
std::vector<NotchTab> tabsInOrder(const QStringList& names) {
    std::vector<NotchTab> tabs;
    for (const QString& name : names) {
        const std::optional<NotchTab> tab = tabNamed(name);
        if (tab && std::find(tabs.begin(), tabs.end(), *tab) == tabs.end()) {
            tabs.push_back(*tab);
        }
    }
    return tabs;
}

std::set<NotchTab> tabSet(const QStringList& names) {
    std::set<NotchTab> tabs;
    for (const QString& name : names) {
        if (const std::optional<NotchTab> tab = tabNamed(name)) {
            tabs.insert(*tab);
        }
    }
    return tabs;
}

std::set<AppSettings::Stat> statSet(const QStringList& names) {
    std::set<AppSettings::Stat> stats;
    for (const QString& name : names) {
        if (const std::optional<AppSettings::Stat> stat = statNamed(name)) {
            stats.insert(*stat);
        }
    }
    return stats;
}

// Whether the field changed, so observers are told only then.
template <typename T> bool replace(T& field, const T& value) {
    const bool changed = !(field == value);
    field = value;
    return changed;
}

} // namespace

AppSettings::AppSettings(DefaultsStore& defaults, LoginItem& loginItem, QObject* parent)
    : QObject(parent), defaults_(defaults), loginItem_(loginItem) {
    // Tabs added in a later version than the stored list still show, at the end.
    tabOrder_ = tabsInOrder(defaults_.stringList(tabOrderKey).value_or(QStringList()));
    for (const NotchTab tab : allNotchTabs) {
        if (std::find(tabOrder_.begin(), tabOrder_.end(), tab) == tabOrder_.end()) {
            tabOrder_.push_back(tab);
        }
    }
    hiddenTabs_ = tabSet(defaults_.stringList(hiddenTabsKey).value_or(QStringList()));
    hiddenStats_ = statSet(defaults_.stringList(hiddenStatsKey).value_or(QStringList()));
    sampleInterval_ = defaults_.number(sampleIntervalKey).value_or(1.0);
    pinCPU_ = defaults_.boolValue(pinCPUKey).value_or(false);
    hoverDelayMs_ = defaults_.number(hoverDelayKey).value_or(150.0);
    haptics_ = defaults_.boolValue(hapticsKey).value_or(true);
    showMenuBarIcon_ = defaults_.boolValue(menuBarKey).value_or(true);
}

AppSettings& AppSettings::shared() {
    static AutostartLoginItem loginItem(AutostartLoginItem::defaultFolder(),
                                        QCoreApplication::applicationFilePath());
    static AppSettings settings(DefaultsStore::shared(), loginItem);
    return settings;
}

bool AppSettings::launchAtLogin() const {
    return loginItem_.isEnabled();
}

std::vector<NotchTab> AppSettings::visibleTabs() const {
    std::vector<NotchTab> visible;
    for (const NotchTab tab : tabOrder_) {
        if (!hiddenTabs_.contains(tab)) {
            visible.push_back(tab);
        }
    }
    if (visible.empty()) {
        visible.push_back(NotchTab::media);
    }
    return visible;
}

std::size_t AppSettings::visibleCount() const {
    return static_cast<std::size_t>(
        std::count_if(tabOrder_.begin(), tabOrder_.end(),
                      [this](NotchTab tab) { return !hiddenTabs_.contains(tab); }));
}

bool AppSettings::isVisible(NotchTab tab) const {
    if (visibleCount() == 0) {
        return tab == NotchTab::media;
    }
    return !hiddenTabs_.contains(tab) &&
           std::find(tabOrder_.begin(), tabOrder_.end(), tab) != tabOrder_.end();
}

NotchTab AppSettings::firstVisibleTab() const {
    for (const NotchTab tab : tabOrder_) {
        if (!hiddenTabs_.contains(tab)) {
            return tab;
        }
    }
    return NotchTab::media;
}

void AppSettings::setTabOrder(const std::vector<NotchTab>& order) {
    const std::vector<NotchTab> visibleBefore = visibleTabs();
    const bool changed = replace(tabOrder_, order);
    defaults_.set(tabOrderKey, namesOf(tabOrder_));
    if (changed) {
        emit tabOrderChanged();
    }
    notifyVisibleTabs(visibleBefore);
}

void AppSettings::setHiddenTabs(const std::set<NotchTab>& tabs) {
    const std::vector<NotchTab> visibleBefore = visibleTabs();
    const bool changed = replace(hiddenTabs_, tabs);
    defaults_.set(hiddenTabsKey, namesOf(hiddenTabs_));
    if (changed) {
        emit hiddenTabsChanged();
    }
    notifyVisibleTabs(visibleBefore);
}

// Both tab fields feed visibleTabs; its observers hear only of an actual change.
void AppSettings::notifyVisibleTabs(const std::vector<NotchTab>& before) {
    if (visibleTabs() != before) {
        emit visibleTabsChanged();
    }
}

void AppSettings::setHiddenStats(const std::set<Stat>& stats) {
    const bool changed = replace(hiddenStats_, stats);
    defaults_.set(hiddenStatsKey, namesOf(hiddenStats_));
    if (changed) {
        emit hiddenStatsChanged();
    }
}

void AppSettings::setSampleInterval(double seconds) {
    const bool changed = replace(sampleInterval_, seconds);
    defaults_.set(sampleIntervalKey, seconds);
    if (changed) {
        emit sampleIntervalChanged();
    }
}

void AppSettings::setPinCPU(bool pinned) {
    const bool changed = replace(pinCPU_, pinned);
    defaults_.set(pinCPUKey, pinned);
    if (changed) {
        emit pinCPUChanged();
    }
}

void AppSettings::setHoverDelayMs(double milliseconds) {
    const bool changed = replace(hoverDelayMs_, milliseconds);
    defaults_.set(hoverDelayKey, milliseconds);
    if (changed) {
        emit hoverDelayMsChanged();
    }
}

void AppSettings::setHaptics(bool enabled) {
    const bool changed = replace(haptics_, enabled);
    defaults_.set(hapticsKey, enabled);
    if (changed) {
        emit hapticsChanged();
    }
}

void AppSettings::setShowMenuBarIcon(bool shown) {
    const bool changed = replace(showMenuBarIcon_, shown);
    defaults_.set(menuBarKey, shown);
    if (changed) {
        emit showMenuBarIconChanged();
    }
}

void AppSettings::setLaunchAtLogin(bool enabled) {
    const bool before = loginItem_.isEnabled();
    if (const std::optional<QString> error = loginItem_.setEnabled(enabled)) {
        qCCritical(logApp(), "Launch at login: %s", qUtf8Printable(*error));
    }
    if (loginItem_.isEnabled() != before) {
        emit launchAtLoginChanged();
    }
}

void AppSettings::setVisible(NotchTab tab, bool visible) {
    std::set<NotchTab> hidden = hiddenTabs_;
    if (visible) {
        hidden.erase(tab);
    } else if (visibleCount() < 2) {
        return; // the last visible tab stays
    } else {
        hidden.insert(tab);
    }
    setHiddenTabs(hidden);
}

void AppSettings::setShown(Stat stat, bool shown) {
    std::set<Stat> hidden = hiddenStats_;
    if (shown) {
        hidden.erase(stat);
    } else {
        hidden.insert(stat);
    }
    setHiddenStats(hidden);
}

void AppSettings::setVisible(const QString& tab, bool visible) {
    if (const std::optional<NotchTab> named = tabNamed(tab)) {
        setVisible(*named, visible);
    }
}

void AppSettings::setShown(const QString& stat, bool shown) {
    if (const std::optional<Stat> named = statNamed(stat)) {
        setShown(*named, shown);
    }
}

QStringList AppSettings::tabOrderNames() const {
    return namesOf(tabOrder_);
}

QStringList AppSettings::hiddenTabNames() const {
    return namesOf(hiddenTabs_);
}

QStringList AppSettings::visibleTabNames() const {
    return namesOf(visibleTabs());
}

QStringList AppSettings::hiddenStatNames() const {
    return namesOf(hiddenStats_);
}

void AppSettings::setTabOrderNames(const QStringList& names) {
    setTabOrder(tabsInOrder(names));
}

void AppSettings::setHiddenTabNames(const QStringList& names) {
    setHiddenTabs(tabSet(names));
}

void AppSettings::setHiddenStatNames(const QStringList& names) {
    setHiddenStats(statSet(names));
}

} // namespace orlet
