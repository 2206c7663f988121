#include "OrletKit/ActivityAction.h"

#include <nlohmann/json.hpp>

namespace orlet {

nlohmann::json ActivityAction::toJSON() const {
    return nlohmann::json{{"id", id}, {"title", title}};
}

std::optional<ActivityAction> ActivityAction::fromJSON(const nlohmann::json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    const auto id = value.find("id");
    const auto title = value.find("title");
    if (id == value.end() || title == value.end() || !id->is_string() || !title->is_string()) {
        return std::nullopt;
    }
    return ActivityAction{id->get<std::string>(), title->get<std::string>()};
}

} // namespace orlet
