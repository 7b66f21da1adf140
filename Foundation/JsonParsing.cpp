// Reading JSON text: whole values, the members of an object as text, and the elements of an array
// one at a time. Every reader checks the whole text and its depth, in time linear in its length.
#include "Json.h"

#include <array>
#include <charconv>
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
    explicit JsonBuilder(Json& root)
        : root_(root) {}

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

// The children of a top-level object or array, each handed over as soon as it has been read: an object
// or array as the text it was read from, any other value parsed. Nested values are checked and their
// depth counted, but nothing of them is built. Only the children of a top level of the `wanted` kind are
// handed over.
class ChildReader : public Events {
public:
    struct Child {
        std::string key; // for the members of an object
        std::string_view text;
        std::optional<Json> value;
    };

    ChildReader(std::string_view text, Json::value_t wanted, std::function<void(Child&&)> each)
        : readUpTo_(text.data())
        , wanted_(wanted)
        , each_(std::move(each)) {}

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
    bool start_object(std::size_t) { return open(Json::value_t::object); }
    bool start_array(std::size_t) { return open(Json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    const char** readUpTo() { return &readUpTo_; }
    // What the top level turned out to be.
    Json::value_t top = Json::value_t::discarded;

private:
    bool scalar(Json value) {
        if (depth_ == 1 && top == wanted_)
            each_({std::move(key_), {}, std::move(value)});
        return true;
    }
    bool open(Json::value_t type) {
        if (depth_ >= maximumJsonDepth)
            return false;
        if (depth_ == 0)
            top = type;
        else if (depth_ == 1)
            start_ = readUpTo_ - 1; // just after the bracket: nothing is read ahead of one
        ++depth_;
        return true;
    }
    bool close() {
        if (--depth_ == 1 && top == wanted_)
            each_({std::move(key_), std::string_view(start_, size_t(readUpTo_ - start_)), {}});
        return true;
    }

    const char* readUpTo_;
    const char* start_ = nullptr;
    size_t depth_ = 0;
    std::string key_;
    Json::value_t wanted_;
    std::function<void(Child&&)> each_;
};

// Runs the library's parser over `text` with a ChildReader; true when the text is valid.
bool readChildren(std::string_view text, ChildReader& reader) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    return Json::sax_parse(TrackedCharacters(begin, reader.readUpTo()), TrackedCharacters(end, reader.readUpTo()),
                           &reader);
}

// A quick reader for the plain JSON that our own programs write: ASCII text, strings with the simple
// escapes only, nesting no deeper than `plainDepthLimit`. On that subset it is RFC 8259, which the
// library's parser follows too, so it never takes a text that the library refuses; whatever lies outside
// the subset it gives up on, and the library reads it. Large stored values (the wellness ledger) are
// read at a small fraction of the library's cost this way.
class PlainScanner {
public:
    static constexpr size_t plainDepthLimit = 64;

    explicit PlainScanner(std::string_view text)
        : at_(text.data())
        , end_(text.data() + text.size()) {}

    // Where the next token starts.
    const char* next() {
        while (at_ != end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\r' || *at_ == '\t'))
            ++at_;
        return at_;
    }
    const char* position() const { return at_; }
    bool atEnd() { return next() == end_; }
    bool consume(char c) {
        if (next() == end_ || *at_ != c)
            return false;
        ++at_;
        return true;
    }

    // Past one value, nested at `depth`; false when it is not plain JSON.
    bool value(size_t depth) {
        if (next() == end_)
            return false;
        switch (*at_) {
        case '"':
            return string().has_value();
        case '{':
            return container(depth, true);
        case '[':
            return container(depth, false);
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default:
            return number();
        }
    }

    struct String {
        std::string_view raw; // between the quotes, escapes as written
        bool escaped;
    };
    std::optional<String> string() {
        if (next() == end_ || *at_ != '"')
            return std::nullopt;
        const char* start = ++at_;
        bool escaped = false;
        for (;;) {
            while (at_ != end_ && ordinaryInString[uint8_t(*at_)])
                ++at_;
            if (at_ == end_)
                return std::nullopt;
            if (*at_ == '"')
                return String{std::string_view(start, size_t(at_++ - start)), escaped};
            // Control characters are refused; UTF-8, and \u escapes with their surrogates, are left to
            // the library.
            if (*at_ != '\\' || ++at_ == end_ || std::string_view(R"("\/bfnrt)").find(*at_) == std::string_view::npos)
                return std::nullopt;
            escaped = true;
            ++at_;
        }
    }

    // Sets `integral` to whether the number has neither fraction nor exponent. A number with an
    // exponent or of more than 300 characters may be too large for a double, which the library refuses:
    // such numbers are left to it.
    bool number() {
        const char* start = at_;
        integral = true;
        if (at_ != end_ && *at_ == '-')
            ++at_;
        if (at_ != end_ && *at_ == '0')
            ++at_;
        else if (!digits())
            return false;
        if (at_ != end_ && *at_ == '.') {
            ++at_;
            integral = false;
            if (!digits())
                return false;
        }
        return at_ == end_ || (*at_ != 'e' && *at_ != 'E' && at_ - start <= 300);
    }
    bool integral = true;

private:
    // Printable ASCII but the quote and the backslash.
    static constexpr std::array<bool, 256> ordinaryInString = [] {
        std::array<bool, 256> ordinary{};
        for (int c = 0x20; c < 0x80; ++c)
            ordinary[size_t(c)] = c != '"' && c != '\\';
        return ordinary;
    }();

    bool container(size_t depth, bool object) {
        if (depth >= plainDepthLimit)
            return false;
        const char close = object ? '}' : ']';
        ++at_;
        if (consume(close))
            return true;
        do {
            if (object && (!string() || !consume(':')))
                return false;
            if (!value(depth + 1))
                return false;
        } while (consume(','));
        return consume(close);
    }
    bool literal(std::string_view word) {
        if (size_t(end_ - at_) < word.size() || std::string_view(at_, word.size()) != word)
            return false;
        at_ += word.size();
        return true;
    }
    bool digits() {
        const char* start = at_;
        while (at_ != end_ && *at_ >= '0' && *at_ <= '9')
            ++at_;
        return at_ != start;
    }

    const char* at_;
    const char* end_;
};

// jsonObjectMembers for plain text; nothing for any other.
std::optional<JsonObjectMembers> plainObjectMembers(std::string_view text) {
    PlainScanner scanner(text);
    if (!scanner.consume('{'))
        return std::nullopt;
    JsonObjectMembers result{.valid = true, .isObject = true, .members = {}};
    if (!scanner.consume('}')) {
        do {
            const char* keyStart = scanner.next();
            const auto key = scanner.string();
            const std::string_view keyText(keyStart, size_t(scanner.position() - keyStart));
            if (!key || !scanner.consume(':'))
                return std::nullopt;
            const char* start = scanner.next();
            if (!scanner.value(1))
                return std::nullopt;
            const std::string_view value(start, size_t(scanner.position() - start));
            JsonObjectMembers::Member member;
            member.key = key->escaped ? parseJson(keyText)->get<std::string>() : std::string(key->raw);
            if (*start == '{' || *start == '[')
                member.text = value;
            else
                member.value = parseJson(value);
            result.members.push_back(std::move(member));
        } while (scanner.consume(','));
        if (!scanner.consume('}'))
            return std::nullopt;
    }
    if (!scanner.atEnd())
        return std::nullopt;
    return result;
}

// A number's value as the library gives it: an integer read whole, then widened; others rounded once.
std::optional<double> plainNumberValue(std::string_view token, bool integral) {
    const char* end = token.data() + token.size();
    if (integral) {
        int64_t integer = 0;
        const auto [stop, error] = std::from_chars(token.data(), end, integer);
        if (error != std::errc() || stop != end)
            return std::nullopt; // beyond 64 bits the library reads it otherwise
        return double(integer);
    }
    double number = 0;
    const auto [stop, error] = std::from_chars(token.data(), end, number);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

} // namespace

std::optional<Json> parseJson(std::string_view text) {
    Json value;
    JsonBuilder builder(value);
    if (!Json::sax_parse(text, &builder))
        return std::nullopt;
    return value;
}

JsonObjectMembers jsonObjectMembers(std::string_view text) {
    if (auto plain = plainObjectMembers(text))
        return std::move(*plain);
    JsonObjectMembers result;
    ChildReader reader(text, Json::value_t::object, [&](ChildReader::Child&& child) {
        result.members.push_back({std::move(child.key), child.text, std::move(child.value)});
    });
    result.valid = readChildren(text, reader);
    result.isObject = reader.top == Json::value_t::object;
    if (!result.valid || !result.isObject)
        result.members.clear();
    return result;
}

// The quick reader hands each element over as soon as it has read it. Should it give up, the library
// reads the text from the start and hands over the elements from the first one not yet handed over.
bool forEachJsonArrayElement(std::string_view text, const std::function<void(std::string_view)>& each) {
    size_t handedOver = 0;
    PlainScanner scanner(text);
    const bool opened = scanner.consume('[');
    if (opened && scanner.consume(']')) {
        if (scanner.atEnd())
            return true;
    } else if (opened) {
        for (;;) {
            const char* start = scanner.next();
            if (!scanner.value(1))
                break;
            each(std::string_view(start, size_t(scanner.position() - start)));
            ++handedOver;
            if (scanner.consume(','))
                continue;
            if (scanner.consume(']') && scanner.atEnd())
                return true;
            break;
        }
    }
    size_t seen = 0;
    ChildReader reader(text, Json::value_t::array, [&](ChildReader::Child&& child) {
        if (seen++ < handedOver)
            return;
        if (child.value)
            each(child.value->dump()); // a scalar, which the library has read as valid JSON
        else
            each(child.text);
    });
    return readChildren(text, reader) && reader.top == Json::value_t::array;
}

bool readPlainJsonObject(std::string_view text, const std::function<bool(const PlainJsonMember&)>& each) {
    PlainScanner scanner(text);
    if (!scanner.consume('{'))
        return false;
    if (scanner.consume('}'))
        return scanner.atEnd();
    do {
        const auto key = scanner.string();
        if (!key || key->escaped || !scanner.consume(':'))
            return false;
        PlainJsonMember member{.key = key->raw, .string = {}, .number = std::nullopt};
        const char* start = scanner.next();
        if (scanner.atEnd())
            return false;
        if (*start == '"') {
            const auto string = scanner.string();
            if (!string || string->escaped)
                return false;
            member.string = string->raw;
        } else {
            if (!scanner.number())
                return false;
            member.number =
                plainNumberValue(std::string_view(start, size_t(scanner.position() - start)), scanner.integral);
            if (!member.number)
                return false;
        }
        if (!each(member))
            return false;
    } while (scanner.consume(','));
    return scanner.consume('}') && scanner.atEnd();
}
