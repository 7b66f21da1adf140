#pragma once

#include <optional>
#include <string>
#include <string_view>

// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks), the form stored feature prints
// take in JSON files.

std::string base64Encoded(std::string_view bytes);

// Strict: the text must be whole groups of four characters of the alphabet, with at most two "="
// at the very end. Anything else (white space and line breaks included) gives nothing.
std::optional<std::string> base64Decoded(std::string_view text);
