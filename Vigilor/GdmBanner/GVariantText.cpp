#include "GVariantText.h"

#include "Foundation/Text.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// The single-letter escapes that GVariant's parser understands, and what they stand for.
constexpr std::array<std::pair<char, char>, 7> letterEscapes{
    {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'v', '\v'}}};

void appendUtf8(std::string& text, char32_t codePoint) {
    if (codePoint < 0x80) {
        text += char(codePoint);
    } else if (codePoint < 0x800) {
        text += char(0xC0 | (codePoint >> 6));
        text += char(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += char(0xE0 | (codePoint >> 12));
        text += char(0x80 | ((codePoint >> 6) & 0x3F));
        text += char(0x80 | (codePoint & 0x3F));
    } else {
        text += char(0xF0 | (codePoint >> 18));
        text += char(0x80 | ((codePoint >> 12) & 0x3F));
        text += char(0x80 | ((codePoint >> 6) & 0x3F));
        text += char(0x80 | (codePoint & 0x3F));
    }
}

// Exactly `digits` hexadecimal digits naming a Unicode scalar value.
std::optional<char32_t> codePoint(std::string_view hex, std::size_t digits) {
    if (hex.size() < digits)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : hex.substr(0, digits)) {
        const int digit = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + std::uint32_t(digit);
    }
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return std::nullopt;
    return char32_t(value);
}

// Resolves the escape whose backslash is at `position` and moves past it. False when it is invalid.
bool appendEscape(std::string_view literal, std::size_t& position, std::string& text) {
    if (position + 1 >= literal.size())
        return false;
    const char letter = literal[position + 1];
    if (letter == 'u' || letter == 'U') {
        const std::size_t digits = letter == 'u' ? 4 : 8;
        const auto scalar = codePoint(literal.substr(position + 2), digits);
        if (!scalar)
            return false;
        appendUtf8(text, *scalar);
        position += 2 + digits;
        return true;
    }
    char resolved = letter; // any other escaped character stands for itself: \\ \' \"
    for (const auto& [name, value] : letterEscapes)
        if (name == letter)
            resolved = value;
    text += resolved;
    position += 2;
    return true;
}

// A control character as an escape: its letter where it has one ("\\n"), else its code ("\\u001b").
std::string controlEscape(char c) {
    for (const auto& [name, value] : letterEscapes)
        if (value == c)
            return {'\\', name};
    std::array<char, 8> escape{};
    std::snprintf(escape.data(), escape.size(), "\\u%04x", unsigned(static_cast<unsigned char>(c)));
    return escape.data();
}

} // namespace

namespace GVariantText {

std::string quotedString(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\\' || c == '\'') {
            quoted += '\\';
            quoted += c;
        } else if (const auto byte = static_cast<unsigned char>(c); byte < 0x20 || byte == 0x7F) {
            quoted += controlEscape(c);
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::optional<std::string> parseString(std::string_view literal) {
    const std::string_view token = trimmed(literal);
    if (token.empty() || (token.front() != '\'' && token.front() != '"'))
        return std::nullopt;
    const char quote = token.front();
    std::string text;
    std::size_t position = 1;
    while (position < token.size()) {
        const char c = token[position];
        if (c == quote)
            return position + 1 == token.size() ? std::optional(text) : std::nullopt;
        if (c != '\\') {
            text += c;
            ++position;
        } else if (!appendEscape(token, position, text)) {
            return std::nullopt;
        }
    }
    return std::nullopt; // no closing quote
}

std::optional<bool> parseBoolean(std::string_view literal) {
    const std::string_view token = trimmed(literal);
    if (token == "true")
        return true;
    if (token == "false")
        return false;
    return std::nullopt;
}

} // namespace GVariantText
