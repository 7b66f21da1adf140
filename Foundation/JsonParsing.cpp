// Reading JSON text: whole values, the members of an object as text, and the elements of an array
// one at a time. Every reader checks the whole text and its depth, in time linear in its length.
#include "Json.h"

#include <iterator>
#include <unordered_map>
#include <vector>

namespace {

// The events of the library's parser that every reader here takes alike.
struct Events {
    bool binary(Json::binary_t&) { return false; } // JSON text holds none
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }
};

// Builds a value from the parser's events. The library's own builder looks each key of an
// order-keeping object up one by one before adding it, so an object of n keys costs n² comparisons;
// here a new key is appended at once, and only an object with many keys keeps an index with which a
// repeated key finds its first place.
class JsonBuilder : public Events {
public:
    explicit JsonBuilder(Json& root, size_t depthLimit = maximumJsonDepth)
        : root_(root)
        , depthLimit_(depthLimit) {}

    bool null() { return place(nullptr) != nullptr; }
    bool boolean(bool value) { return place(value) != nullptr; }
    bool number_integer(Json::number_integer_t value) { return place(value) != nullptr; }
    bool number_unsigned(Json::number_unsigned_t value) { return place(value) != nullptr; }
    bool number_float(Json::number_float_t value, const Json::string_t&) { return place(value) != nullptr; }
    bool string(Json::string_t& value) { return place(std::move(value)) != nullptr; }
    bool start_object(std::size_t) { return open(Json::value_t::object); }
    bool start_array(std::size_t) { return open(Json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(Json::string_t& name);

    // True once the value that began has ended.
    bool complete() const { return open_.empty(); }

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
        if (open_.size() >= depthLimit_)
            return false;
        Json* container = place(Json(type));
        // Records have a handful of members; room for them at once spares the first reallocations.
        if (type == Json::value_t::object)
            container->get_ref<Json::object_t&>().reserve(4);
        open_.push_back({container, {}});
        return true;
    }

    bool close() {
        open_.pop_back();
        return true;
    }

    Json& root_;
    size_t depthLimit_;
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

// A character pointer that tells its reader how far the parser has read: the library reads one
// character at a time through it, and reads nothing ahead of a bracket or a brace.
class TrackedCharacters {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackedCharacters(const char* position, const char** readUpTo)
        : position_(position)
        , readUpTo_(readUpTo) {}

    reference operator*() const { return *position_; }
    TrackedCharacters& operator++() {
        *readUpTo_ = ++position_;
        return *this;
    }
    TrackedCharacters operator++(int) {
        TrackedCharacters before = *this;
        ++*this;
        return before;
    }
    bool operator==(const TrackedCharacters& other) const { return position_ == other.position_; }

private:
    const char* position_;
    const char** readUpTo_;
};

// The members of a top-level object: objects and arrays as the text they were read from, other values
// parsed. Nested values are checked and their depth counted, but nothing of them is built.
class MemberReader : public Events {
public:
    MemberReader(std::string_view text, size_t mostMembers)
        : readUpTo_(text.data())
        , mostMembers_(mostMembers) {}

    bool null() { return scalar(nullptr); }
    bool boolean(bool value) { return scalar(value); }
    bool number_integer(Json::number_integer_t value) { return scalar(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return scalar(value); }
    bool number_float(Json::number_float_t value, const Json::string_t&) { return scalar(value); }
    bool string(Json::string_t& value) { return scalar(std::move(value)); }
    bool key(Json::string_t& name) {
        if (depth_ == 1)
            key_ = std::move(name);
        return true;
    }
    bool start_object(std::size_t) { return open(true); }
    bool start_array(std::size_t) { return open(false); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    const char** readUpTo() { return &readUpTo_; }
    JsonObjectMembers result;

private:
    bool scalar(Json value) {
        if (depth_ == 1)
            return add({std::move(key_), {}, std::move(value)});
        return true;
    }
    bool add(JsonObjectMembers::Member member) {
        result.tooMany = result.members.size() == mostMembers_;
        if (!result.tooMany)
            result.members.push_back(std::move(member));
        return !result.tooMany;
    }
    bool open(bool object) {
        if (depth_ >= maximumJsonDepth)
            return false;
        if (depth_ == 0)
            result.isObject = object;
        else if (depth_ == 1)
            start_ = readUpTo_ - 1; // just after the bracket: nothing is read ahead of one
        ++depth_;
        return true;
    }
    bool close() {
        if (--depth_ == 1)
            return add({std::move(key_), std::string_view(start_, size_t(readUpTo_ - start_)), {}});
        return true;
    }

    const char* readUpTo_;
    size_t mostMembers_;
    const char* start_ = nullptr;
    size_t depth_ = 0;
    std::string key_;
};

// Hands each element of a top-level array over as soon as it is whole, so that no more than one
// element is built at a time.
class ElementReader : public Events {
public:
    explicit ElementReader(const std::function<void(Json&&)>& each)
        : each_(each) {}

    bool null() { return builder_ ? builder_->null() : element(nullptr); }
    bool boolean(bool value) { return builder_ ? builder_->boolean(value) : element(value); }
    bool number_integer(Json::number_integer_t value) {
        return builder_ ? builder_->number_integer(value) : element(value);
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        return builder_ ? builder_->number_unsigned(value) : element(value);
    }
    bool number_float(Json::number_float_t value, const Json::string_t& text) {
        return builder_ ? builder_->number_float(value, text) : element(value);
    }
    bool string(Json::string_t& value) {
        return builder_ ? builder_->string(value) : element(std::move(value));
    }
    bool key(Json::string_t& name) { return builder_ && builder_->key(name); }
    bool start_object(std::size_t) { return open(Json::value_t::object); }
    bool start_array(std::size_t) { return open(Json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool isArray = false;

private:
    // A whole element; a value outside an array is not one.
    bool element(Json value) {
        if (!isArray)
            return false;
        each_(std::move(value));
        return true;
    }
    bool open(Json::value_t type) {
        if (!isArray) {
            isArray = type == Json::value_t::array;
            return isArray;
        }
        if (!builder_) {
            element_ = Json();
            builder_.emplace(element_, maximumJsonDepth - 1); // below the array's own level
        }
        return type == Json::value_t::object ? builder_->start_object(0) : builder_->start_array(0);
    }
    bool close() {
        if (!builder_)
            return true;        // the end of the array itself
        builder_->end_object(); // ends arrays alike
        if (builder_->complete()) {
            builder_.reset();
            each_(std::move(element_));
        }
        return true;
    }

    const std::function<void(Json&&)>& each_;
    std::optional<JsonBuilder> builder_;
    Json element_;
};

} // namespace

std::optional<Json> parseJson(std::string_view text) {
    Json value;
    JsonBuilder builder(value);
    if (!Json::sax_parse(text, &builder))
        return std::nullopt;
    return value;
}

JsonObjectMembers jsonObjectMembers(std::string_view text, size_t mostMembers) {
    MemberReader reader(text, mostMembers);
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    reader.result.valid = Json::sax_parse(TrackedCharacters(begin, reader.readUpTo()),
                                          TrackedCharacters(end, reader.readUpTo()), &reader);
    if (!reader.result.valid || !reader.result.isObject)
        reader.result.members.clear();
    return std::move(reader.result);
}

bool forEachJsonArrayElement(std::string_view text, const std::function<void(Json&&)>& each) {
    ElementReader reader(each);
    return Json::sax_parse(text, &reader) && reader.isArray;
}
