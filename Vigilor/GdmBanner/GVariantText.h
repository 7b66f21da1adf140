#pragma once

#include <optional>
#include <string>
#include <string_view>

// Values in the text form that dconf keyfiles hold ('text', true), as GLib's GVariant parser reads them.
namespace GVariantText {

// `text` as a single-quoted string literal that reads back as exactly `text`: backslashes and
// apostrophes are escaped, control characters become escapes (a keyfile value must stay on one line),
// everything else, UTF-8 included, is kept as it is. `text` holds no NUL: a GVariant string cannot.
std::string quotedString(std::string_view text);

// The string that a literal in single or double quotes stands for, with GVariant's escapes resolved.
// Nothing for anything else: another type, an unterminated literal, text after the closing quote.
std::optional<std::string> parseString(std::string_view literal);

// "true" or "false", surrounded by nothing but white space.
std::optional<bool> parseBoolean(std::string_view literal);

} // namespace GVariantText
