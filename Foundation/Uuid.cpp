#include "Uuid.h"

#include "SecureRandom.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr bool isHyphenPosition(size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

UUID UUID::random() {
    Bytes bytes{};
    secureRandomBytes(bytes.data(), bytes.size());
    bytes[6] = uint8_t((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return UUID(bytes);
}

UUID UUID::nameBased(const UUID& namespaceID, std::string_view name) {
    std::vector<uint8_t> input(namespaceID.bytes_.begin(), namespaceID.bytes_.end());
    input.insert(input.end(), name.begin(), name.end());
    uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    // SHA-1 is what the identifier's definition names; it is not used here for secrecy. It cannot fail
    // short of a broken crypto library, and an identifier made of anything else would be wrong.
    if (EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha1(), nullptr) != 1 || length < 16)
        std::abort();
    Bytes bytes{};
    std::copy_n(digest, bytes.size(), bytes.begin());
    bytes[6] = uint8_t((bytes[6] & 0x0F) | 0x50); // version 5
    bytes[8] = uint8_t((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return UUID(bytes);
}

std::optional<UUID> UUID::parse(std::string_view text) {
    if (text.size() != 36)
        return std::nullopt;
    Bytes bytes{};
    size_t nibble = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (isHyphenPosition(i)) {
            if (text[i] != '-')
                return std::nullopt;
            continue;
        }
        const int value = hexValue(text[i]);
        if (value < 0)
            return std::nullopt;
        bytes[nibble / 2] = uint8_t(bytes[nibble / 2] | (nibble % 2 == 0 ? value << 4 : value));
        ++nibble;
    }
    return UUID(bytes);
}

std::string UUID::uuidString() const {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(digits[bytes_[i] >> 4]);
        text.push_back(digits[bytes_[i] & 0x0F]);
    }
    return text;
}
