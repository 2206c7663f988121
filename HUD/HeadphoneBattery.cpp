#include "HUD/HeadphoneBattery.h"

#include <algorithm>

namespace orlet {

namespace {

QString percent(int value) {
    return QString::number(value) + u'%';
}

} // namespace

QString HeadphoneBattery::summary() const {
    if (left && right && *left != *right) {
        return percent(*left) + QStringLiteral(" \u00B7 ") + percent(*right);
    }
    if (left && !right) {
        return percent(*left);
    }
    if (right) {
        return percent(*right);
    }
    if (single) {
        return percent(*single);
    }
    if (caseLevel) {
        return percent(*caseLevel);
    }
    return QStringLiteral("\u2014");
}

std::optional<int> HeadphoneBattery::lowest() const {
    std::optional<int> result;
    for (const auto& level : {left, right, single}) {
        if (level && (!result || *level < *result)) {
            result = level;
        }
    }
    return result;
}

} // namespace orlet
