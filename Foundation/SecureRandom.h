#pragma once

#include <cstddef>
#include <cstdint>

// Fills `buffer` from the system's cryptographically secure generator. Secrets, identifiers and
// pairing codes come from here only. Throws std::runtime_error when the generator fails, since a
// predictable secret must never be handed out instead.
void secureRandomBytes(uint8_t* buffer, size_t count);

// A number from 0 to upperBound - 1, every value equally likely (no modulo bias). upperBound > 0.
uint32_t secureRandomBelow(uint32_t upperBound);
