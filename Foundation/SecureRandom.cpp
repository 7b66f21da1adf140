#include "SecureRandom.h"

#include <openssl/rand.h>

#include <climits>
#include <stdexcept>

void secureRandomBytes(uint8_t* buffer, size_t count) {
    while (count > 0) {
        const int chunk = count > size_t(INT_MAX) ? INT_MAX : int(count);
        if (RAND_bytes(buffer, chunk) != 1)
            throw std::runtime_error("The secure random generator failed");
        buffer += chunk;
        count -= size_t(chunk);
    }
}

uint32_t secureRandomBelow(uint32_t upperBound) {
    // Draws above the largest multiple of the bound are thrown away, so each remainder is as likely.
    const uint64_t range = uint64_t(UINT32_MAX) + 1;
    const uint64_t limit = range - range % upperBound;
    while (true) {
        uint32_t value;
        secureRandomBytes(reinterpret_cast<uint8_t*>(&value), sizeof value);
        if (value < limit)
            return uint32_t(value % upperBound);
    }
}
