#include "DlibVisionAnalyzer.h"

#include "FrameImages.h"
#include "HeadPose.h"
#include "LbpFacePrint.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

struct DlibVisionAnalyzer::Models {
    dlib::frontal_face_detector detector;
    // The same detector on only the first pyramid levels: small faces only.
    dlib::frontal_face_detector smallFaceDetector;
    dlib::shape_predictor landmarks;
};

namespace {

using Detections = std::vector<std::pair<double, dlib::rectangle>>;

// How steeply the confidence rises with the detector's score: a clear face scores 1 to 2.5, which
// reads 0.88 to 0.99.
constexpr double scoreSteepness = 2.0;

NormalizedPoint normalized(const dlib::point& point, cv::Size frame) {
    return {double(point.x()) / frame.width, 1 - double(point.y()) / frame.height};
}

NormalizedRect normalized(const dlib::rectangle& box, cv::Size frame) {
    const double width = double(box.width()) / frame.width;
    const double height = double(box.height()) / frame.height;
    return {double(box.left()) / frame.width, 1 - double(box.bottom() + 1) / frame.height, width, height};
}

dlib::frontal_face_detector withPyramidLevels(const dlib::frontal_face_detector& detector,
                                              unsigned long levels) {
    dlib::frontal_face_detector::image_scanner_type scanner;
    scanner.copy_configuration(detector.get_scanner());
    scanner.set_max_pyramid_levels(levels);
    std::vector<dlib::frontal_face_detector::feature_vector_type> weights;
    for (unsigned long i = 0; i < detector.num_detectors(); ++i)
        weights.push_back(detector.get_w(i));
    return dlib::frontal_face_detector(scanner, detector.get_overlap_tester(), weights);
}

dlib::rectangle scaled(const dlib::rectangle& box, double factor) {
    return dlib::rectangle(std::lround(box.left() * factor), std::lround(box.top() * factor),
                           std::lround((box.right() + 1) * factor) - 1,
                           std::lround((box.bottom() + 1) * factor) - 1);
}

// The faces `detector` finds in `grey` scaled to `width`, in the pixels of `grey`.
Detections detect(dlib::frontal_face_detector& detector, const cv::Mat& grey, int width,
                  double minimumScore) {
    const double scale = double(width) / grey.cols;
    cv::Mat resized = grey;
    if (scale != 1)
        cv::resize(grey, resized, cv::Size(), scale, scale, scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    Detections detections;
    detector(dlib::cv_image<unsigned char>(resized), detections, minimumScore);
    for (auto& detection : detections)
        detection.second = scaled(detection.second, 1 / scale);
    return detections;
}

FaceObservation observationOf(const dlib::full_object_detection& shape, double score, cv::Size frame) {
    FaceObservation face;
    face.boundingBox = normalized(shape.get_rect(), frame);
    face.confidence = DlibVisionAnalyzer::confidenceOfScore(score);
    if (shape.num_parts() != FaceLandmarks::pointCount)
        return face;
    FaceLandmarks landmarks;
    std::vector<cv::Point2d> pixels;
    for (unsigned long i = 0; i < shape.num_parts(); ++i) {
        landmarks.points.push_back(normalized(shape.part(i), frame));
        pixels.emplace_back(shape.part(i).x(), shape.part(i).y());
    }
    face.landmarks = std::move(landmarks);
    if (const auto pose = estimateHeadPose(pixels, frame)) {
        face.yawDegrees = pose->yawDegrees;
        face.pitchDegrees = pose->pitchDegrees;
    }
    return face;
}

// The landmarks in pixels of the crop, as dlib's chip alignment wants them.
dlib::full_object_detection shapeInCrop(const FaceObservation& face, const PixelRect& crop, cv::Size frame) {
    const auto toCrop = [&](const NormalizedPoint& point) {
        return dlib::point(std::lround(point.x * frame.width) - crop.x,
                           std::lround((1 - point.y) * frame.height) - crop.y);
    };
    std::vector<dlib::point> parts;
    for (const auto& point : face.landmarks->points)
        parts.push_back(toCrop(point));
    const auto& box = face.boundingBox;
    const dlib::rectangle rect(toCrop({box.x, box.y + box.height}), toCrop({box.x + box.width, box.y}));
    return dlib::full_object_detection(rect, parts);
}

// The face of the frame's face crop, aligned by its landmarks into a square grey chip; nothing when the
// crop is empty or the face has no landmarks.
std::optional<cv::Mat> alignedChip(const ImageView& frame, const FaceObservation& face) {
    const auto faceCrop = faceCropRect(frame.width, frame.height, face.boundingBox);
    if (frame.isEmpty() || !faceCrop || !face.landmarks ||
        face.landmarks->points.size() != FaceLandmarks::pointCount)
        return std::nullopt;
    const PixelRect crop = frame.croppableRect(*faceCrop);
    const cv::Mat grey = greyImage(frame.cropped(crop));
    const auto chipDetails =
        dlib::get_face_chip_details(shapeInCrop(face, crop, cv::Size(frame.width, frame.height)),
                                    LbpFacePrint::chipSize, LbpFacePrint::chipPadding);
    dlib::array2d<unsigned char> chip;
    dlib::extract_image_chip(dlib::cv_image<unsigned char>(grey), chipDetails, chip);
    return dlib::toMat(chip).clone();
}

} // namespace

DlibVisionAnalyzer::DlibVisionAnalyzer(const std::string& landmarkModelPath)
    : models_(std::make_unique<Models>()) {
    // A frame's OpenCV work (grey copy, scaling, the pose fit) is a millisecond or two on the video
    // queue; split over OpenCV's pool it would wake one thread per core at every frame and keep them
    // all in the process. One thread does it where it is called.
    cv::setNumThreads(1);
    models_->detector = dlib::get_frontal_face_detector();
    models_->smallFaceDetector = withPyramidLevels(models_->detector, smallFacePyramidLevels);
    try {
        dlib::deserialize(landmarkModelPath) >> models_->landmarks;
    } catch (const std::exception& error) {
        throw VisionError("The face landmark model " + landmarkModelPath +
                          " cannot be read: " + error.what());
    }
}

DlibVisionAnalyzer::~DlibVisionAnalyzer() = default;

double DlibVisionAnalyzer::confidenceOfScore(double score) {
    return 1 / (1 + std::exp(-scoreSteepness * score));
}

std::vector<FaceObservation> DlibVisionAnalyzer::detectFaces(const ImageView& frame) {
    if (frame.isEmpty())
        return {};
    const cv::Mat grey = greyImage(frame);
    Detections detections = detect(models_->detector, grey, std::min(frame.width, detectionWidth), 0);
    if (detections.empty())
        detections = detect(models_->smallFaceDetector, grey, smallFaceDetectionWidth, smallFaceMinimumScore);
    const dlib::cv_image<unsigned char> full(grey);
    std::vector<FaceObservation> faces;
    for (const auto& [score, box] : detections)
        faces.push_back(observationOf(models_->landmarks(full, box), score, grey.size()));
    return faces;
}

double DlibVisionAnalyzer::averageBrightness(const ImageView& frame) {
    if (frame.isEmpty())
        return 1.0;
    const cv::Mat pixels = matrixOf(frame);
    cv::Mat converted;
    const cv::Mat* colour = &pixels;
    if (frame.format == PixelFormat::yuyv422) {
        cv::cvtColor(pixels, converted, cv::COLOR_YUV2RGB_YUYV);
        colour = &converted;
    }
    const cv::Scalar mean = cv::mean(*colour);
    switch (frame.format) {
    case PixelFormat::grey8:
        return mean[0] / 255;
    case PixelFormat::bgr24:
        return (0.299 * mean[2] + 0.587 * mean[1] + 0.114 * mean[0]) / 255;
    case PixelFormat::rgb24:
    case PixelFormat::yuyv422:
        break;
    }
    return (0.299 * mean[0] + 0.587 * mean[1] + 0.114 * mean[2]) / 255;
}

std::optional<FeaturePrint> DlibVisionAnalyzer::featurePrint(const ImageView& frame,
                                                             const FaceObservation& face) {
    const auto chip = alignedChip(frame, face);
    return chip ? std::optional(LbpFacePrint::printOfChip(*chip)) : std::nullopt;
}

std::vector<FeaturePrint> DlibVisionAnalyzer::enrolmentPrints(const ImageView& frame,
                                                              const FaceObservation& face) {
    const auto chip = alignedChip(frame, face);
    if (!chip)
        return {};
    cv::Mat mirrored;
    cv::flip(*chip, mirrored, 1);
    return {LbpFacePrint::printOfChip(*chip), LbpFacePrint::printOfChip(mirrored)};
}
