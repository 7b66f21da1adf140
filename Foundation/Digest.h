#pragma once

#include <string>
#include <string_view>

// SHA-256 and HMAC-SHA256 (OpenSSL libcrypto), written as 64 lower-case hexadecimal characters.

std::string sha256Hex(std::string_view bytes);

// Keyed by `key`'s bytes as they are (a hexadecimal text is not decoded first).
std::string hmacSha256Hex(std::string_view key, std::string_view message);

// Whether two texts are equal, in a time that depends on their lengths only, so that a forger cannot
// learn a signature one matching character at a time.
bool constantTimeEquals(std::string_view a, std::string_view b);
