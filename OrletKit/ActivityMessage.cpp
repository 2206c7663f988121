#include "OrletKit/ActivityMessage.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace orlet {
namespace {

using nlohmann::json;

// Whole numbers are written without a fraction ("ttl":1800), as peers in other languages do.
json number(double value) {
    constexpr double exactIntegerLimit = 9007199254740992.0; // 2^53
    if (std::trunc(value) == value && std::fabs(value) <= exactIntegerLimit) {
        return static_cast<std::int64_t>(value);
    }
    return value;
}

template <typename T> void put(json& object, const char* key, const std::optional<T>& value) {
    if (value) {
        object[key] = *value;
    }
}

void putNumber(json& object, const char* key, const std::optional<double>& value) {
    if (value) {
        object[key] = number(*value);
    }
}

void putState(json& object, const char* key, const std::optional<ActivityState>& value) {
    if (value) {
        object[key] = rawValue(*value);
    }
}

// Field readers: null counts as absent, a wrong type invalidates the record.
class Reader {
public:
    explicit Reader(const json& object) : object_(object) {}

    bool ok() const { return ok_; }

    const json* find(const char* key) {
        const auto it = object_.find(key);
        if (it == object_.end() || it->is_null()) {
            return nullptr;
        }
        return &*it;
    }

    std::optional<std::string> string(const char* key) {
        return typed<std::string>(key, &json::is_string);
    }

    std::optional<bool> boolean(const char* key) { return typed<bool>(key, &json::is_boolean); }

    // Integers and fractions alike.
    std::optional<double> number(const char* key) { return typed<double>(key, &json::is_number); }

    std::optional<std::int64_t> integer(const char* key) {
        const json* value = find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (value->is_number_integer() && !value->is_number_unsigned()) {
            return value->get<std::int64_t>();
        }
        if (value->is_number_unsigned() &&
            value->get<std::uint64_t>() <=
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return static_cast<std::int64_t>(value->get<std::uint64_t>());
        }
        return fail<std::int64_t>();
    }

    std::optional<ActivityState> state(const char* key) {
        const std::optional<std::string> raw = string(key);
        if (!raw) {
            return std::nullopt;
        }
        const std::optional<ActivityState> state = activityStateFromRaw(*raw);
        if (!state) {
            ok_ = false;
        }
        return state;
    }

    std::optional<std::vector<ActivityAction>> actions(const char* key) {
        const json* value = find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (!value->is_array()) {
            return fail<std::vector<ActivityAction>>();
        }
        std::vector<ActivityAction> actions;
        actions.reserve(value->size());
        for (const json& element : *value) {
            std::optional<ActivityAction> action = ActivityAction::fromJSON(element);
            if (!action) {
                return fail<std::vector<ActivityAction>>();
            }
            actions.push_back(std::move(*action));
        }
        return actions;
    }

private:
    template <typename T> std::optional<T> typed(const char* key, bool (json::*matches)() const) {
        const json* value = find(key);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (!(value->*matches)()) {
            return fail<T>();
        }
        return value->get<T>();
    }

    template <typename T> std::optional<T> fail() {
        ok_ = false;
        return std::nullopt;
    }

    const json& object_;
    bool ok_ = true;
};

} // namespace

std::string ActivityMessage::line() const {
    for (const std::optional<double>& value : {progress, ttl}) {
        if (value && !std::isfinite(*value)) {
            return "\n"; // JSON has no spelling for these: the encoder's failure case
        }
    }
    json object = json::object();
    put(object, "v", v);
    object["type"] = type;
    put(object, "persistent", persistent);
    put(object, "name", name);
    put(object, "id", id);
    put(object, "kind", kind);
    put(object, "title", title);
    put(object, "subtitle", subtitle);
    put(object, "step", step);
    putNumber(object, "progress", progress);
    putState(object, "state", state);
    if (actions) {
        json list = json::array();
        for (const ActivityAction& entry : *actions) {
            list.push_back(entry.toJSON());
        }
        object["actions"] = std::move(list);
    }
    putNumber(object, "ttl", ttl);
    putState(object, "result", result);
    put(object, "quiet", quiet);
    put(object, "message", message);
    put(object, "severity", severity);
    put(object, "activity", activity);
    put(object, "action", action);
    // Invalid UTF-8 in a field becomes U+FFFD instead of failing the whole line.
    std::string text = object.dump(-1, ' ', false, json::error_handler_t::replace);
    text += '\n';
    return text;
}

std::optional<ActivityMessage> ActivityMessage::decode(std::string_view bytes) {
    const json object = json::parse(bytes, nullptr, false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    Reader read(object);
    ActivityMessage message;
    const std::optional<std::string> type = read.string("type");
    if (!type) {
        return std::nullopt;
    }
    message.type = *type;
    message.v = read.integer("v");
    message.persistent = read.boolean("persistent");
    message.name = read.string("name");
    message.id = read.string("id");
    message.kind = read.string("kind");
    message.title = read.string("title");
    message.subtitle = read.string("subtitle");
    message.step = read.string("step");
    message.progress = read.number("progress");
    message.state = read.state("state");
    message.actions = read.actions("actions");
    message.ttl = read.number("ttl");
    message.result = read.state("result");
    message.quiet = read.boolean("quiet");
    message.message = read.string("message");
    message.severity = read.string("severity");
    message.activity = read.string("activity");
    message.action = read.string("action");
    if (!read.ok()) {
        return std::nullopt;
    }
    return message;
}

} // namespace orlet
