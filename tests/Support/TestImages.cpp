#include "TestImages.h"

#include <opencv2/imgproc.hpp>

#include <dlib/image_io.h>
#include <dlib/image_saver/save_png.h>
#include <dlib/opencv.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>

cv::Mat TestImages::load(const std::string& name) {
    const std::filesystem::path path = std::filesystem::path(VIGILOR_TEST_IMAGES) / name;
    if (!std::filesystem::exists(path))
        throw std::runtime_error(path.string() + " is missing: scripts/setup fetches it");
    dlib::array2d<dlib::rgb_pixel> rgb;
    dlib::load_image(rgb, path.string());
    cv::Mat bgr;
    cv::cvtColor(dlib::toMat(rgb), bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

ImageView TestImages::viewOf(const cv::Mat& image) {
    const PixelFormat format = image.channels() == 1   ? PixelFormat::grey8
                               : image.channels() == 2 ? PixelFormat::yuyv422
                                                       : PixelFormat::bgr24;
    return {image.cols, image.rows, format, image.step[0], image.data};
}

cv::Mat TestImages::scaled(const cv::Mat& image, double factor) {
    cv::Mat result;
    cv::resize(image, result, cv::Size(), factor, factor, factor < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    return result;
}

cv::Mat TestImages::placed(const cv::Mat& image, int width, int height, int x, int y) {
    cv::Mat canvas(height, width, image.type(), cv::Scalar::all(128));
    const cv::Rect target = cv::Rect(x, y, image.cols, image.rows) & cv::Rect(0, 0, width, height);
    image(cv::Rect(target.x - x, target.y - y, target.width, target.height)).copyTo(canvas(target));
    return canvas;
}

cv::Mat TestImages::relit(const cv::Mat& image, double gain, double offset) {
    cv::Mat result;
    image.convertTo(result, -1, gain, offset);
    return result;
}

cv::Mat TestImages::grey(const cv::Mat& bgr) {
    cv::Mat result;
    cv::cvtColor(bgr, result, cv::COLOR_BGR2GRAY);
    return result;
}

cv::Mat TestImages::mirrored(const cv::Mat& image) {
    cv::Mat result;
    cv::flip(image, result, 1);
    return result;
}

cv::Mat TestImages::yuyvOf(const cv::Mat& bgr) {
    cv::Mat yuv;
    cv::cvtColor(bgr, yuv, cv::COLOR_BGR2YUV);
    cv::Mat yuyv(bgr.rows, bgr.cols, CV_8UC2);
    for (int row = 0; row < bgr.rows; ++row)
        for (int column = 0; column < bgr.cols; ++column) {
            const cv::Vec3b& pixel = yuv.at<cv::Vec3b>(row, column);
            // Each pair of pixels shares the chroma of its first pixel.
            const cv::Vec3b& first = yuv.at<cv::Vec3b>(row, column - column % 2);
            yuyv.at<cv::Vec2b>(row, column) = {pixel[0], column % 2 == 0 ? first[1] : first[2]};
        }
    return yuyv;
}

void TestImages::writeClip(const std::filesystem::path& folder, const std::vector<cv::Mat>& frames) {
    std::filesystem::create_directories(folder);
    std::map<const uchar*, std::string> written;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06zu.png", i);
        const auto first = written.find(frames[i].data);
        if (first != written.end()) {
            std::filesystem::create_symlink(first->second, folder / name);
            continue;
        }
        cv::Mat rgb;
        cv::cvtColor(frames[i], rgb, cv::COLOR_BGR2RGB);
        dlib::save_png(dlib::cv_image<dlib::rgb_pixel>(rgb), (folder / name).string());
        written[frames[i].data] = name;
    }
}

cv::Mat TestImages::portraitFrame(const cv::Mat& person, double scale, int dx, int dy, double gain) {
    const cv::Mat picture = relit(scaled(person, scale), gain, 0);
    return placed(picture, 640, 480, (640 - picture.cols) / 2 + dx, (480 - picture.rows) / 2 + dy);
}

cv::Mat TestImages::emptyFrame() {
    return cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(128));
}
