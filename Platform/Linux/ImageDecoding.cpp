#include "ImageDecoding.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

namespace {

struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
};

[[noreturn]] void leaveDecoding(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->escape, 1);
}

void ignoreMessage(j_common_ptr) {
}

// Plain data only between setjmp and longjmp: the pixels go into a buffer the caller owns.
bool decodeJpegInto(std::string_view bytes, DecodedImage& image) {
    jpeg_decompress_struct info{};
    JpegErrorManager errors{};
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
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

std::optional<DecodedImage> decodeJpeg(std::string_view bytes) {
    DecodedImage image;
    if (bytes.empty() || !decodeJpegInto(bytes, image) || image.pixels.empty())
        return std::nullopt;
    return image;
}

std::optional<DecodedImage> decodePng(std::string_view bytes) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        return std::nullopt;
    png.format = PNG_FORMAT_RGB;
    DecodedImage image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.format = PixelFormat::rgb24;
    image.bytesPerRow = PNG_IMAGE_ROW_STRIDE(png);
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}

std::optional<DecodedImage> decodeImage(std::string_view bytes) {
    if (bytes.starts_with("\x89PNG"))
        return decodePng(bytes);
    if (bytes.starts_with("\xFF\xD8"))
        return decodeJpeg(bytes);
    return std::nullopt;
}
