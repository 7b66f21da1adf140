#pragma once

#include <cstdint>
#include <string>

// Pictures of a few bytes whose headers claim any size, as a damaged camera frame or a hostile file
// might: decoders must refuse them before allocating what the header asks for.
namespace ForgedPictures {

inline std::string bigEndian16(int value) {
    return {char((value >> 8) & 0xFF), char(value & 0xFF)};
}
inline std::string bigEndian32(uint32_t value) {
    return bigEndian16(int(value >> 16)) + bigEndian16(int(value & 0xFFFF));
}

// The CRC-32 that PNG chunks carry (the polynomial of ISO 3309, reflected).
inline uint32_t crc32Of(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

inline std::string jpegSegment(unsigned char marker, const std::string& payload) {
    return std::string{'\xFF', char(marker)} + bigEndian16(int(payload.size()) + 2) + payload;
}

// A baseline grey JPEG of `width` × `height` with one quantisation table, minimal Huffman tables and
// a few bytes of scan: about 150 bytes, a valid header.
inline std::string jpegClaiming(int width, int height) {
    const std::string onlyCode = std::string(1, '\x01') + std::string(15, '\0') + std::string(1, '\0');
    return std::string("\xFF\xD8", 2) + jpegSegment(0xDB, std::string(1, '\0') + std::string(64, '\x01')) +
           jpegSegment(0xC0, "\x08" + bigEndian16(height) + bigEndian16(width) + std::string("\x01\x01\x11\x00", 4)) +
           jpegSegment(0xC4, std::string(1, '\x00') + onlyCode) + jpegSegment(0xC4, "\x10" + onlyCode) +
           jpegSegment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6)) + std::string(8, '\0') +
           std::string("\xFF\xD9", 2);
}

inline std::string pngChunk(const std::string& type, const std::string& data) {
    return bigEndian32(uint32_t(data.size())) + type + data + bigEndian32(crc32Of(type + data));
}

// A PNG of `width` × `height` (8-bit RGB) whose image data is empty.
inline std::string pngClaiming(uint32_t width, uint32_t height) {
    return std::string("\x89PNG\r\n\x1A\n", 8) +
           pngChunk("IHDR", bigEndian32(width) + bigEndian32(height) + std::string("\x08\x02\x00\x00\x00", 5)) +
           pngChunk("IDAT", "") + pngChunk("IEND", "");
}

} // namespace ForgedPictures
