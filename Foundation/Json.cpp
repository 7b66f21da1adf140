#include "Json.h"

#include <climits>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace {

void requireFiniteNumbers(const Json& value) {
    if (value.is_number_float() && !std::isfinite(value.get<double>()))
        throw JsonEncodingError("A number that is not finite cannot be written as JSON");
    if (value.is_structured())
        for (const auto& element : value)
            requireFiniteNumbers(element);
}

// The member, or nothing when it is missing or null.
const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    if (it == object.end() || it->is_null())
        return nullptr;
    return &*it;
}

// Builds a value from the parser's events. The library's own builder looks each key of an
// order-keeping object up one by one before adding it, so an object of n keys costs n² comparisons;
// here a new key is appended at once, and only an object with many keys keeps an index with which a
// repeated key finds its first place.
class JsonBuilder {
public:
    explicit JsonBuilder(Json& root)
        : root_(root) {}

    bool null() { return place(nullptr) != nullptr; }
    bool boolean(bool value) { return place(value) != nullptr; }
    bool number_integer(Json::number_integer_t value) { return place(value) != nullptr; }
    bool number_unsigned(Json::number_unsigned_t value) { return place(value) != nullptr; }
    bool number_float(Json::number_float_t value, const Json::string_t&) { return place(value) != nullptr; }
    bool string(Json::string_t& value) { return place(std::move(value)) != nullptr; }
    bool binary(Json::binary_t&) { return false; } // JSON text holds none
    bool start_object(std::size_t) { return open(Json::value_t::object); }
    bool start_array(std::size_t) { return open(Json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(Json::string_t& name);
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    static constexpr size_t indexedFrom = 16; // smaller objects are searched, which is cheaper

    struct Container {
        Json* value;
        std::unordered_map<std::string, size_t> index; // key → position, once the object is large
    };

    // Where the next value goes: the root, the end of the open array, or the member just named.
    Json* place(Json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Json& parent = *open_.back().value;
        if (parent.is_array()) {
            auto& elements = parent.get_ref<Json::array_t&>();
            elements.push_back(std::move(value));
            return &elements.back();
        }
        *member_ = std::move(value);
        return member_;
    }

    bool open(Json::value_t type) {
        if (open_.size() >= maximumJsonDepth)
            return false;
        open_.push_back({place(Json(type)), {}});
        return true;
    }

    bool close() {
        open_.pop_back();
        return true;
    }

    Json& root_;
    std::vector<Container> open_;
    Json* member_ = nullptr;
};

bool JsonBuilder::key(Json::string_t& name) {
    Container& object = open_.back();
    auto& members = static_cast<Json::object_t::Container&>(object.value->get_ref<Json::object_t&>());
    if (members.size() < indexedFrom) {
        for (auto& member : members)
            if (member.first == name) {
                member_ = &member.second;
                return true;
            }
    } else {
        if (object.index.empty())
            for (size_t i = 0; i < members.size(); ++i)
                object.index.emplace(members[i].first, i);
        const auto [found, added] = object.index.emplace(name, members.size());
        if (!added) {
            member_ = &members[found->second].second;
            return true;
        }
    }
    members.emplace_back(std::move(name), nullptr);
    member_ = &members.back().second;
    return true;
}

} // namespace

JsonDecodingError::JsonDecodingError(std::string_view key, std::string_view expected)
    : std::runtime_error("Value for key \"" + std::string(key) + "\" is not " + std::string(expected)) {
}

std::optional<Json> parseJson(std::string_view text) {
    Json value;
    JsonBuilder builder(value);
    if (!Json::sax_parse(text, &builder))
        return std::nullopt;
    return value;
}

std::string jsonText(const Json& value) {
    requireFiniteNumbers(value);
    return value.dump();
}

std::string sortedJsonText(const Json& value) {
    requireFiniteNumbers(value);
    return nlohmann::json(value).dump();
}

namespace JsonField {

bool has(const Json& object, std::string_view key) {
    return member(object, key) != nullptr;
}

void read(const Json& object, std::string_view key, bool& into) {
    if (const Json* value = member(object, key)) {
        if (!value->is_boolean())
            throw JsonDecodingError(key, "a boolean");
        into = value->get<bool>();
    }
}

void read(const Json& object, std::string_view key, int64_t& into) {
    const Json* value = member(object, key);
    if (!value)
        return;
    if (value->is_number_integer()) {
        if (value->is_number_unsigned() && value->get<uint64_t>() > uint64_t(INT64_MAX))
            throw JsonDecodingError(key, "an integer within range");
        into = value->get<int64_t>();
        return;
    }
    // 6.0 is an integer written with a fraction; 6.5 is not an integer at all.
    if (value->is_number_float()) {
        const double number = value->get<double>();
        if (std::trunc(number) == number && number >= -9.2e18 && number <= 9.2e18) {
            into = static_cast<int64_t>(number);
            return;
        }
    }
    throw JsonDecodingError(key, "an integer");
}

void read(const Json& object, std::string_view key, int& into) {
    if (!member(object, key))
        return;
    int64_t wide = 0;
    read(object, key, wide);
    if (wide < INT_MIN || wide > INT_MAX)
        throw JsonDecodingError(key, "an integer within range");
    into = int(wide);
}

void read(const Json& object, std::string_view key, double& into) {
    if (const Json* value = member(object, key)) {
        if (!value->is_number())
            throw JsonDecodingError(key, "a number");
        into = value->get<double>();
    }
}

void read(const Json& object, std::string_view key, std::optional<double>& into) {
    if (member(object, key)) {
        double number = 0;
        read(object, key, number);
        into = number;
    }
}

void read(const Json& object, std::string_view key, std::string& into) {
    if (const Json* value = member(object, key)) {
        if (!value->is_string())
            throw JsonDecodingError(key, "a string");
        into = value->get<std::string>();
    }
}

void read(const Json& object, std::string_view key, UUID& into) {
    std::optional<UUID> parsed;
    read(object, key, parsed);
    if (parsed)
        into = *parsed;
}

void read(const Json& object, std::string_view key, std::optional<UUID>& into) {
    if (!member(object, key))
        return;
    std::string text;
    read(object, key, text);
    const auto parsed = UUID::parse(text);
    if (!parsed)
        throw JsonDecodingError(key, "a UUID");
    into = parsed;
}

Json dateValue(Date date) {
    return date.timeIntervalSinceReferenceDate();
}

void read(const Json& object, std::string_view key, Date& into) {
    if (member(object, key)) {
        double seconds = 0;
        read(object, key, seconds);
        into = Date(seconds);
    }
}

} // namespace JsonField
