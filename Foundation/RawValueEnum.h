#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

// Enumerations with string raw values. An enumeration opts in by specialising RawValues<E> with a
// `cases` array of (case, raw value) pairs in declaration order; everything else is generic.
template <class E> struct RawValues;

template <class E>
concept RawValueEnum = requires {
    RawValues<E>::cases;
};

template <RawValueEnum E> constexpr std::string_view rawValue(E value) {
    for (const auto& [c, raw] : RawValues<E>::cases)
        if (c == value)
            return raw;
    return {};
}

// Only the exact raw value matches; case names and other spellings do not.
template <RawValueEnum E> constexpr std::optional<E> enumFromRawValue(std::string_view raw) {
    for (const auto& [c, text] : RawValues<E>::cases)
        if (text == raw)
            return c;
    return std::nullopt;
}

template <RawValueEnum E> constexpr auto allCases() {
    std::array<E, RawValues<E>::cases.size()> result{};
    for (size_t i = 0; i < result.size(); ++i)
        result[i] = RawValues<E>::cases[i].first;
    return result;
}
