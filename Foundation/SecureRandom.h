#pragma once

#include <cstddef>
#include <cstdint>

// Fills `buffer` from the system's cryptographically secure generator. Secrets, identifiers and
// pairing codes come from here only. Throws std::runtime_error when the generator fails, since a
// predictable secret must never be handed out instead.
void secureRandomBytes(uint8_t* buffer, size_t count);
