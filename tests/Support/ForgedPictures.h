#pragma once

#include <string>

// A baseline grey JPEG of about 150 bytes whose header claims `width` × `height`, as a damaged camera
// frame or a hostile file might: decoders must refuse it before allocating what it asks for.
inline std::string jpegClaiming(int width, int height) {
    const auto be16 = [](int v) { return std::string{char((v >> 8) & 0xFF), char(v & 0xFF)}; };
    const auto segment = [&](char marker, const std::string& payload) {
        return std::string{'\xFF', marker} + be16(int(payload.size()) + 2) + payload;
    };
    const std::string onlyCode = '\x01' + std::string(16, '\0');
    return std::string("\xFF\xD8", 2) + segment('\xDB', '\0' + std::string(64, '\x01')) +
           segment('\xC0', '\x08' + be16(height) + be16(width) + std::string("\x01\x01\x11\x00", 4)) +
           segment('\xC4', '\0' + onlyCode) + segment('\xC4', '\x10' + onlyCode) +
           segment('\xDA', std::string("\x01\x01\x00\x00\x3F\x00", 6)) + std::string(8, '\0') + "\xFF\xD9";
}
