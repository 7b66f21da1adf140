#include "ImageDecoding.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

namespace {

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void leaveDecoding(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    errors->base.format_message(info, errors->message);
    std::longjmp(errors->escape, 1);
}

void ignoreMessage(j_common_ptr) {
}

std::string oversizeText(long width, long height, PictureBound bound) {
    return "a picture of " + std::to_string(width) + " \u00D7 " + std::to_string(height) + " exceeds the " +
           std::to_string(bound.width) + " \u00D7 " + std::to_string(bound.height) + " allowed";
}

bool withinBound(long width, long height, PictureBound bound) {
    return width <= bound.width && height <= bound.height;
}

// Plain data only between setjmp and longjmp: the pixels go into a buffer the caller owns, and the
// failure into a fixed array.
bool decodeJpegInto(std::string_view bytes, PictureBound bound, DecodedImage& image, JpegErrorManager& errors) {
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = leaveDecoding;
    errors.base.output_message = ignoreMessage;
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    image.width = static_cast<int>(info.image_width);
    image.height = static_cast<int>(info.image_height);
    if (!withinBound(info.image_width, info.image_height, bound)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_GRAYSCALE;
    jpeg_start_decompress(&info);
    image.bytesPerRow = info.output_width;
    image.pixels.resize(image.bytesPerRow * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.pixels.data() + info.output_scanline * image.bytesPerRow;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

PictureDecoding decodeJpeg(std::string_view bytes, PictureBound bound) {
    DecodedImage image;
    JpegErrorManager errors{};
    if (bytes.empty())
        return {std::nullopt, "an empty JPEG"};
    if (!decodeJpegInto(bytes, bound, image, errors))
        return {std::nullopt, errors.message[0] ? std::string(errors.message)
                                                : oversizeText(image.width, image.height, bound)};
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
        return decodeJpeg(bytes, bound);
    return {std::nullopt, "not a JPEG or PNG picture"};
}
