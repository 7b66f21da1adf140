#pragma once

#include "Platform/Vision.h"

#include <cstdint>
#include <optional>
#include <string>
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

// The largest picture a source may deliver. A header that claims more is refused before any pixel is
// allocated: a damaged frame of a hundred bytes could otherwise ask for gigabytes.
struct PictureBound {
    int width = 0;
    int height = 0;
};

// A decoded picture, or why there is none.
struct PictureDecoding {
    std::optional<DecodedImage> image;
    std::string failure;
};

// Where a JPEG comes from: a camera sends baseline frames, a file may be progressive.
enum class JpegOrigin { file, camera };

// A progressive JPEG may repeat its scans, each walking every block of the picture: beyond this many
// scans a picture is refused, so that a small file cannot keep the decoder busy for seconds.
inline constexpr int maximumJpegScans = 32;

// A JPEG (a camera's MJPEG frame or a .jpg file) as grey8: its luma channel, which is the mean luma the
// analysis weighs, without the cost of decoding colour. Refused: more bytes than a picture within the
// bound can need, more than maximumJpegScans scans, a progressive camera frame, and damaged data that
// libjpeg would fill with made-up pixels (its warnings of harmless oddities are let pass).
PictureDecoding decodeJpeg(std::string_view bytes, PictureBound bound, JpegOrigin origin);

// A PNG as rgb24.
PictureDecoding decodePng(std::string_view bytes, PictureBound bound);

// A JPEG or PNG, told apart by their signatures.
PictureDecoding decodeImage(std::string_view bytes, PictureBound bound);
