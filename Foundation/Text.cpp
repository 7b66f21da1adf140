#include "Text.h"

#include <algorithm>
#include <charconv>

namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

} // namespace

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view whiteSpace = " \t\n\v\f\r";
    const auto first = text.find_first_not_of(whiteSpace);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(whiteSpace) - first + 1);
}

std::string asciiLowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), asciiLower);
    return result;
}

std::string_view utf8Prefix(std::string_view text, size_t bytes) {
    if (text.size() <= bytes)
        return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) // a continuation byte
        --end;
    return text.substr(0, end);
}

std::string clippedText(std::string_view text, size_t bytes) {
    if (text.size() <= bytes)
        return std::string(text);
    return std::string(utf8Prefix(text, bytes)) + "\u2026";
}

std::string fixedDecimal(double value, int digits) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    return std::string(buffer, result.ptr);
}

std::string doubleDescription(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".eEn") == std::string::npos) // no fraction, exponent, "inf" or "nan"
        text += ".0";
    return text;
}
