#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

namespace orlet {

// A button a client offers on its activity; `id` comes back when it is clicked.
struct ActivityAction {
    std::string id;
    std::string title;

    bool operator==(const ActivityAction&) const = default;

    nlohmann::json toJSON() const;
    // Both keys must be strings; anything else is not an action.
    static std::optional<ActivityAction> fromJSON(const nlohmann::json& value);
};

} // namespace orlet
