#include "Uuid.h"

#include "SecureRandom.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace {

// The value of each hexadecimal digit, -1 for every other character: a table, since a stored ledger has
// tens of thousands of identifiers to read at start.
constexpr std::array<int8_t, 256> hexValues = [] {
    std::array<int8_t, 256> values{};
    values.fill(-1);
    for (int c = 0; c < 10; ++c)
        values['0' + c] = int8_t(c);
    for (int c = 0; c < 6; ++c)
        values['a' + c] = values['A' + c] = int8_t(10 + c);
    return values;
}();

// Where the two digits of each of the 16 bytes begin in the canonical 8-4-4-4-12 text.
constexpr std::array<uint8_t, 16> digitPairOffsets{0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};

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
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    Bytes bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int high = hexValues[uint8_t(text[digitPairOffsets[i]])];
        const int low = hexValues[uint8_t(text[digitPairOffsets[i] + 1])];
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[i] = uint8_t(high << 4 | low);
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
