#pragma once

#include <QString>
#include <optional>

namespace orlet {

// Battery percentages (0-100) of headphones that just connected; any level the device does not
// report is absent.
struct HeadphoneBattery {
    QString name;
    std::optional<int> left;
    std::optional<int> right;
    std::optional<int> caseLevel;
    std::optional<int> single;

    bool operator==(const HeadphoneBattery&) const = default;

    // One short text for the pop-up: both earbuds when they differ, else the one level known.
    QString summary() const;
    // The level that runs out first; the case is left out because it only recharges the buds.
    std::optional<int> lowest() const;
};

} // namespace orlet
