#include "TestImages.h"

#include <opencv2/imgproc.hpp>

#include <dlib/image_io.h>
#include <dlib/image_saver/save_png.h>
#include <dlib/opencv.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <stdexcept>

namespace {

cv::Mat loadFile(const std::filesystem::path& path) {
    if (!std::filesystem::exists(path))
        throw std::runtime_error(path.string() + " is missing: scripts/test fetches it");
    dlib::array2d<dlib::rgb_pixel> rgb;
    dlib::load_image(rgb, path.string());
    cv::Mat bgr;
    cv::cvtColor(dlib::toMat(rgb), bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

} // namespace

cv::Mat TestImages::load(const std::string& name) {
    return loadFile(std::filesystem::path(VIGILOR_TEST_IMAGES) / name);
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

namespace {

const std::filesystem::path annotatedFaceFolder = "/usr/share/doc/libdlib19.1/examples/faces";

// `image` enlarged or shrunk by `factor` and cut to 640×480 so that its point `at` lands on `target`;
// what lies outside the image is mid-grey.
cv::Mat deskFrameAround(const cv::Mat& image, double factor, cv::Point2d at, cv::Point2d target) {
    const cv::Mat picture = TestImages::scaled(image, factor);
    return TestImages::placed(picture, 640, 480, int(std::lround(target.x - at.x * factor)),
                              int(std::lround(target.y - at.y * factor)));
}

const cv::Point2d deskFaceCentre(320, 160);

} // namespace

std::vector<TestImages::AnnotatedFace> TestImages::annotatedFaces() {
    std::vector<AnnotatedFace> faces;
    const std::regex imageTag("<image file='([^']+)'"),
        boxTag("<box top='(\\d+)' left='(\\d+)' width='(\\d+)' height='(\\d+)'");
    for (const char* list : {"training.xml", "testing.xml"}) {
        std::ifstream xml(annotatedFaceFolder / list);
        std::string file;
        std::smatch match;
        for (std::string line; std::getline(xml, line);)
            if (std::regex_search(line, match, imageTag))
                file = match[1];
            else if (std::regex_search(line, match, boxTag))
                faces.push_back({file, cv::Rect(std::stoi(match[2]), std::stoi(match[1]), std::stoi(match[3]),
                                                std::stoi(match[4]))});
    }
    if (faces.empty())
        throw std::runtime_error((annotatedFaceFolder / "training.xml").string() +
                                 " is missing: install libdlib-dev");
    return faces;
}

cv::Rect2d TestImages::deskBoxOf(const AnnotatedFace& face, double widthFraction) {
    const double width = widthFraction * 640, height = width * face.box.height / face.box.width;
    return {deskFaceCentre.x - width / 2, deskFaceCentre.y - height / 2, width, height};
}

cv::Mat TestImages::deskFrameOf(const AnnotatedFace& face, double widthFraction) {
    // The face's head and shoulders only: the others in the group photograph are not at this desk.
    const cv::Mat photograph = loadFile(annotatedFaceFolder / face.file);
    const cv::Rect alone = cv::Rect(face.box.x - face.box.width * 3 / 5, face.box.y - face.box.height / 2,
                                    face.box.width * 11 / 5, face.box.height * 3) &
                           cv::Rect(0, 0, photograph.cols, photograph.rows);
    const cv::Point2d centre(face.box.x - alone.x + face.box.width / 2.0,
                             face.box.y - alone.y + face.box.height / 2.0);
    return deskFrameAround(photograph(alone), widthFraction * 640 / face.box.width, centre, deskFaceCentre);
}

namespace {

// A wall lit from above: `base` darkening by a tenth towards the floor, with a little sensor noise.
cv::Mat litWall(const cv::Mat& base, cv::RNG& random) {
    cv::Mat light(base.size(), CV_32F);
    for (int row = 0; row < light.rows; ++row)
        light.row(row).setTo(1.0 - 0.1 * row / light.rows);
    cv::Mat wall, noise(base.size(), base.type());
    cv::Mat channels[3] = {light, light, light};
    cv::merge(channels, 3, light);
    base.convertTo(wall, CV_32FC3);
    wall = wall.mul(light);
    wall.convertTo(wall, CV_8UC3);
    random.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(3));
    return wall + noise;
}

cv::Mat bricks(cv::Scalar brick, cv::Scalar mortar, int width, int height) {
    cv::Mat wall(480, 640, CV_8UC3, mortar);
    for (int row = 0; row * height < 480; ++row)
        for (int x = -(row % 2) * width / 2; x < 640; x += width)
            cv::rectangle(wall, cv::Rect(x + 2, row * height + 2, width - 4, height - 4), brick, cv::FILLED);
    return wall;
}

cv::Mat stripes(cv::Scalar colour, double period, double angle) {
    cv::Mat wall(480, 640, CV_8UC3);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const double shade = 0.85 + 0.15 * std::sin((x * std::cos(angle) + y * std::sin(angle)) / period);
            wall.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(colour[0] * shade),
                                                 cv::saturate_cast<uchar>(colour[1] * shade),
                                                 cv::saturate_cast<uchar>(colour[2] * shade));
        }
    return wall;
}

// Plaster: noise blurred to blotches of about `grain` pixels.
cv::Mat plaster(cv::Scalar colour, double grain, cv::RNG& random) {
    cv::Mat noise(480, 640, CV_32F);
    random.fill(noise, cv::RNG::NORMAL, 0, 1);
    cv::GaussianBlur(noise, noise, cv::Size(), grain);
    cv::normalize(noise, noise, 0.8, 1.1, cv::NORM_MINMAX);
    cv::Mat wall(480, 640, CV_8UC3, colour), shades[3] = {noise, noise, noise}, shade;
    cv::merge(shades, 3, shade);
    wall.convertTo(wall, CV_32FC3);
    wall = wall.mul(shade);
    wall.convertTo(wall, CV_8UC3);
    return wall;
}

} // namespace

std::vector<cv::Mat> TestImages::wallFrames() {
    cv::RNG random(22);
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 100; ++i) {
        const cv::Scalar colour(random.uniform(40, 240), random.uniform(40, 240), random.uniform(40, 240));
        cv::Mat base;
        switch (i % 4) {
        case 0:
            base = cv::Mat(480, 640, CV_8UC3, colour);
            break;
        case 1:
            base = bricks(colour, colour * 0.6 + cv::Scalar::all(80), random.uniform(40, 140),
                          random.uniform(16, 60));
            break;
        case 2:
            base = stripes(colour, random.uniform(2.0, 30.0), random.uniform(0.0, 3.14));
            break;
        default:
            base = plaster(colour, random.uniform(1.0, 12.0), random);
        }
        frames.push_back(litWall(base, random));
    }
    return frames;
}

std::vector<cv::Mat> TestImages::facelessPictureFrames() {
    std::vector<cv::Mat> frames;
    std::vector<std::filesystem::path> pictures;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(VIGILOR_TEST_IMAGES) / "faceless"))
        if (!entry.path().filename().string().starts_with('.'))
            pictures.push_back(entry.path());
    std::sort(pictures.begin(), pictures.end());
    if (pictures.size() < 20)
        throw std::runtime_error(
            "build/test-images/faceless holds too few pictures: scripts/test fetches them");
    // Each picture filling the frame, and four parts of it enlarged twice and three times.
    const struct {
        cv::Point2d at;
        double enlargement;
    } crops[] = {{{0.5, 0.5}, 1}, {{0.3, 0.3}, 2}, {{0.7, 0.6}, 3}, {{0.4, 0.7}, 2}, {{0.6, 0.35}, 3}};
    for (const auto& path : pictures) {
        const cv::Mat picture = loadFile(path);
        const double cover = std::max(640.0 / picture.cols, 480.0 / picture.rows);
        for (const auto& crop : crops)
            frames.push_back(deskFrameAround(picture, cover * crop.enlargement,
                                             {crop.at.x * picture.cols, crop.at.y * picture.rows},
                                             {320, 240}));
    }
    return frames;
}

bool TestImages::showsFace(const std::vector<FaceObservation>& faces, const cv::Rect2d& box, cv::Size frame) {
    return std::any_of(faces.begin(), faces.end(), [&](const FaceObservation& face) {
        const double width = face.boundingBox.width * frame.width;
        const cv::Point2d centre(face.boundingBox.midX() * frame.width,
                                 (1 - face.boundingBox.midY()) * frame.height);
        return box.contains(centre) && width > box.width / 2 && width < box.width * 2;
    });
}
