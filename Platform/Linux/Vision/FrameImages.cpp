#include "FrameImages.h"

#include <opencv2/imgproc.hpp>

cv::Mat matrixOf(const ImageView& image) {
    int type = CV_8UC1;
    switch (image.format) {
    case PixelFormat::grey8:
        break;
    case PixelFormat::rgb24:
    case PixelFormat::bgr24:
        type = CV_8UC3;
        break;
    case PixelFormat::yuyv422:
        type = CV_8UC2;
        break;
    }
    // OpenCV only reads through this header; the frame stays the caller's.
    return cv::Mat(image.height, image.width, type, const_cast<uint8_t*>(image.pixels), image.bytesPerRow);
}

cv::Mat greyImage(const ImageView& image) {
    const cv::Mat pixels = matrixOf(image);
    cv::Mat grey;
    switch (image.format) {
    case PixelFormat::grey8:
        return pixels;
    case PixelFormat::rgb24:
        cv::cvtColor(pixels, grey, cv::COLOR_RGB2GRAY);
        break;
    case PixelFormat::bgr24:
        cv::cvtColor(pixels, grey, cv::COLOR_BGR2GRAY);
        break;
    case PixelFormat::yuyv422:
        cv::cvtColor(pixels, grey, cv::COLOR_YUV2GRAY_YUYV);
        break;
    }
    return grey;
}
