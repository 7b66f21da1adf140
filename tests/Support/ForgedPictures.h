#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace ForgedJpeg {

inline std::string be16(int v) {
    return {char((v >> 8) & 0xFF), char(v & 0xFF)};
}
inline std::string segment(char marker, const std::string& payload) {
    return std::string{'\xFF', marker} + be16(int(payload.size()) + 2) + payload;
}
// From the start of a grey picture of `width` × `height` to its Huffman tables; `frame` is 0xC0 for a
// baseline picture, 0xC2 for a progressive one. Each table has one code, "0": for a DC difference of
// 0, and for `acSymbol`.
inline std::string header(char frame, int width, int height, char acSymbol) {
    const auto table = [](char id, char symbol) {
        return segment('\xC4', id + ('\x01' + std::string(15, '\0')) + symbol);
    };
    return std::string("\xFF\xD8", 2) + segment('\xDB', '\0' + std::string(64, '\x01')) +
           segment(frame, '\x08' + be16(height) + be16(width) + std::string("\x01\x01\x11\x00", 4)) +
           table('\x00', '\x00') + table('\x10', acSymbol);
}

} // namespace ForgedJpeg

// A baseline grey JPEG of about 150 bytes whose header claims `width` × `height`, as a damaged camera
// frame or a hostile file might: decoders must refuse it before allocating what it asks for.
inline std::string jpegClaiming(int width, int height) {
    using namespace ForgedJpeg;
    return header('\xC0', width, height, '\x00') +
           segment('\xDA', std::string("\x01\x01\x00\x00\x3F\x00", 6)) + std::string(8, '\0') + "\xFF\xD9";
}

// A progressive grey JPEG of `width` × `height` pixels (at most 32,767 blocks of 8 × 8) sent in `scans`
// scans: a DC scan, then the same AC scan over and over, each a few bytes (one run of empty blocks)
// yet walking every block, as a hostile file or camera may send; libjpeg takes it without a warning.
inline std::string progressiveJpegWithScans(int width, int height, int scans) {
    using namespace ForgedJpeg;
    const int blocks = ((width + 7) / 8) * ((height + 7) / 8);
    const int k = std::bit_width(unsigned(blocks)) - 1; // the run: code "0" for 2^k blocks, k bits more
    const int padding = 7 - k % 8;                      // ones, to the byte
    const uint64_t bits = (uint64_t(blocks - (1 << k)) << padding) | ((1u << padding) - 1);
    std::string run;
    for (int at = 1 + k + padding - 8; at >= 0; at -= 8)
        run += ((bits >> at) & 0xFF) == 0xFF ? std::string("\xFF\0", 2) : std::string(1, char(bits >> at));
    std::string jpeg = header('\xC2', width, height, char(k << 4)) +
                       segment('\xDA', std::string("\x01\x01\x00\x00\x00\x00", 6)) +
                       std::string(blocks / 8, '\0') +
                       (blocks % 8 ? std::string(1, char(0xFF >> (blocks % 8))) : std::string());
    for (int scan = 1; scan < scans; ++scan)
        jpeg += segment('\xDA', std::string("\x01\x01\x00\x01\x3F\x00", 6)) + run;
    return jpeg + "\xFF\xD9";
}
