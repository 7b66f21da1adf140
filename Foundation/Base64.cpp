#include "Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t notInAlphabet = -1;

constexpr std::array<int8_t, 256> makeDecodingTable() {
    std::array<int8_t, 256> table{};
    table.fill(notInAlphabet);
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr auto decodingTable = makeDecodingTable();

} // namespace

std::string base64Encoded(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= count ? alphabet[group >> (18 - 6 * k) & 0x3F] : '=';
    }
    return text;
}

std::optional<std::string> base64Decoded(std::string_view text) {
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=')
        ++padding;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    uint32_t group = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool isPadding = i >= text.size() - padding;
        const int8_t value = isPadding ? 0 : decodingTable[static_cast<unsigned char>(text[i])];
        if (value == notInAlphabet)
            return std::nullopt;
        group = group << 6 | static_cast<uint32_t>(value);
        if (i % 4 == 3) {
            for (int shift : {16, 8, 0})
                bytes += static_cast<char>(group >> shift & 0xFF);
            group = 0;
        }
    }
    bytes.resize(bytes.size() - padding);
    return bytes;
}
