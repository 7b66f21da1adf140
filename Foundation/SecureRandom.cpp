#include "SecureRandom.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

// The kernel's generator rather than a library's: the settings draw a secret at every start, and a
// library generator's start-up (OpenSSL reads its configuration and loads its providers) would stay
// in memory for the whole run for 16 bytes.
void secureRandomBytes(uint8_t* buffer, size_t count) {
    while (count > 0) {
        const ssize_t got = getrandom(buffer, count, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("The secure random generator failed");
        }
        buffer += got;
        count -= size_t(got);
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
