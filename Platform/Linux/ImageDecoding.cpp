#include "ImageDecoding.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <jerror.h> // its warning codes depend on what jpeglib.h defines

namespace {

// What one decoding shares with libjpeg's callbacks, through the decompressor's client data.
struct JpegDecoding {
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf escape;
    char failure[JMSG_LENGTH_MAX];
};

JpegDecoding& decodingOf(j_common_ptr info) {
    return *static_cast<JpegDecoding*>(info->client_data);
}

[[noreturn]] void leaveDecoding(j_common_ptr info) {
    info->err->format_message(info, decodingOf(info).failure);
    std::longjmp(decodingOf(info).escape, 1);
}

// Our own refusals, formatted into the fixed array: no object that needs destroying may be skipped by
// the jump.
template <typename... Values>
[[noreturn]] void refuse(j_common_ptr info, const char* format, Values... values) {
    std::snprintf(decodingOf(info).failure, sizeof decodingOf(info).failure, format, values...);
    std::longjmp(decodingOf(info).escape, 1);
}

// libjpeg's warnings that it goes on with pixels of its own making: data cut short or damaged, or a
// progression that does not add up. The others (stray bytes between markers, an unknown JFIF version
// or colour transform, a bad colour profile) leave the luma as sent.
bool inventsPixels(int code) {
    switch (code) {
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        return true;
    default:
        return false;
    }
}

// Levels below 0 are warnings; the others are traces, never shown.
void weighMessage(j_common_ptr info, int level) {
    if (level < 0 && inventsPixels(info->err->msg_code))
        leaveDecoding(info);
}

// Called while the scans are read, at least once for each.
void countScans(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > maximumJpegScans)
        refuse(info, "a JPEG in more than %d scans", maximumJpegScans);
}

constexpr const char* oversizeFormat = "a picture of %ld \u00D7 %ld exceeds the %d \u00D7 %d allowed";

std::string oversizeText(long width, long height, PictureBound bound) {
    char text[JMSG_LENGTH_MAX];
    std::snprintf(text, sizeof text, oversizeFormat, width, height, bound.width, bound.height);
    return text;
}

bool withinBound(long width, long height, PictureBound bound) {
    return width <= bound.width && height <= bound.height;
}

// More than any encoder writes for a picture within `bound`: four bytes a pixel (three channels at the
// highest quality), and a megabyte of markers (Exif, colour profiles).
std::size_t largestJpegBytes(PictureBound bound) {
    return std::size_t(std::max(bound.width, 0)) * std::size_t(std::max(bound.height, 0)) * 4 + (1u << 20);
}

// Plain data only between setjmp and longjmp: the pixels go into a buffer the caller owns, and the
// failure into a fixed array.
bool decodeJpegInto(std::string_view bytes, PictureBound bound, JpegOrigin origin, DecodedImage& image,
                    JpegDecoding& decoding) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&decoding.errors);
    decoding.errors.error_exit = leaveDecoding;
    decoding.errors.emit_message = weighMessage;
    decoding.progress.progress_monitor = countScans;
    info.client_data = &decoding;
    if (setjmp(decoding.escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.progress = &decoding.progress;
    const auto common = reinterpret_cast<j_common_ptr>(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (!withinBound(info.image_width, info.image_height, bound))
        refuse(common, oversizeFormat, long(info.image_width), long(info.image_height), bound.width,
               bound.height);
    if (origin == JpegOrigin::camera && info.progressive_mode)
        refuse(common, "%s", "a progressive JPEG, which cameras do not send");
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    image.width = static_cast<int>(info.output_width);
    image.height = static_cast<int>(info.output_height);
    image.bytesPerRow = info.output_width;
    image.pixels.resize(image.bytesPerRow * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.pixels.data() + info.output_scanline * image.bytesPerRow;
        jpeg_read_scanlines(&info, &row, 1);
    }
    // Every pixel is in; what may follow them (a missing end marker) changes none.
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

PictureDecoding decodeJpeg(std::string_view bytes, PictureBound bound, JpegOrigin origin) {
    if (bytes.empty())
        return {std::nullopt, "an empty JPEG"};
    if (bytes.size() > largestJpegBytes(bound))
        return {std::nullopt, "a JPEG of " + std::to_string(bytes.size()) +
                                  " bytes is larger than a picture of " + std::to_string(bound.width) +
                                  " \u00D7 " + std::to_string(bound.height) + " can be"};
    DecodedImage image;
    JpegDecoding decoding{};
    if (!decodeJpegInto(bytes, bound, origin, image, decoding))
        return {std::nullopt, decoding.failure};
    if (image.pixels.empty())
        return {std::nullopt, "a JPEG without pixels"};
    return {std::move(image), {}};
}

PictureDecoding decodePng(std::string_view bytes, PictureBound bound) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        return {std::nullopt, png.message};
    if (!withinBound(png.width, png.height, bound)) {
        png_image_free(&png);
        return {std::nullopt, oversizeText(png.width, png.height, bound)};
    }
    png.format = PNG_FORMAT_RGB;
    DecodedImage image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.format = PixelFormat::rgb24;
    image.bytesPerRow = PNG_IMAGE_ROW_STRIDE(png);
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        const std::string failure = png.message;
        png_image_free(&png);
        return {std::nullopt, failure};
    }
    return {std::move(image), {}};
}

PictureDecoding decodeImage(std::string_view bytes, PictureBound bound) {
    if (bytes.starts_with("\x89PNG"))
        return decodePng(bytes, bound);
    if (bytes.starts_with("\xFF\xD8"))
        return decodeJpeg(bytes, bound, JpegOrigin::file);
    return {std::nullopt, "not a JPEG or PNG picture"};
}
