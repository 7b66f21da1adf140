#include "SecureCompare.h"

#include <openssl/crypto.h>

bool constantTimeEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}
