#pragma once

#include "Platform/Vision.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// A picture that owns its pixels.
struct DecodedImage {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::grey8;
    std::size_t bytesPerRow = 0;
    std::vector<uint8_t> pixels;

    ImageView view() const { return {width, height, format, bytesPerRow, pixels.data()}; }
};

// A JPEG (a camera's MJPEG frame or a .jpg file) as grey8: its luma channel, which is the mean luma the
// analysis weighs, without the cost of decoding colour. Nothing for bytes that are not a whole JPEG.
std::optional<DecodedImage> decodeJpeg(std::string_view bytes);

// A PNG as rgb24. Nothing for bytes that are not a PNG.
std::optional<DecodedImage> decodePng(std::string_view bytes);

// A JPEG or PNG, told apart by their signatures.
std::optional<DecodedImage> decodeImage(std::string_view bytes);
