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
