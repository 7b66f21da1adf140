#pragma once

#include <string>
#include <string_view>

// Small text helpers that do not depend on the process locale (the interface may switch the C locale
// to the user's, which would print "2,5" and fold case by other rules).

// Without the white space and line breaks at both ends.
std::string_view trimmed(std::string_view text);

// ASCII letters in lower case; every other byte as it is.
std::string asciiLowercased(std::string_view text);

// The longest start of UTF-8 text that has at most `bytes` bytes and ends between characters.
std::string_view utf8Prefix(std::string_view text, size_t bytes);

// Text from outside (a feed, a file) as a log line or a message may hold it: at most `bytes` bytes of it,
// ending between characters, and "…" when it was cut.
std::string clippedText(std::string_view text, size_t bytes);

// A number with exactly `digits` decimals and a point, rounded as printf's "%.*f" rounds it
// (fixedDecimal(2.54, 1) is "2.5").
std::string fixedDecimal(double value, int digits);

// The shortest text that reads back as the same double, with ".0" on whole numbers ("30.0", "0.15"),
// the form the developer log gives numbers.
std::string doubleDescription(double value);
