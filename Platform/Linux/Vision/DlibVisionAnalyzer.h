#pragma once

#include "Platform/Vision.h"

#include <memory>
#include <string>

// The vision backend on dlib and OpenCV: dlib's HOG face detector on a downscaled grey frame, its
// 68-point landmark model on each face, the head pose fitted to the landmarks (OpenCV's solvePnP),
// brightness by OpenCV, and version 1 feature prints (LbpFacePrint) of the aligned face. There is no
// body model on Linux, so no body pose is ever reported.
class DlibVisionAnalyzer final : public VisionAnalyzer {
public:
    // Debian's libdlib-data.
    static constexpr const char* defaultLandmarkModelPath =
        "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";
    // Frames wider than this are scaled down to it for detection, which keeps a 640×480 frame within
    // its time budget; the detector finds faces from about 66 pixels, so a face of a sixth of the
    // frame's width is still seen.
    static constexpr int detectionWidth = 400;

    // Loads the detector and the landmark model (seconds, and about 100 MiB); throws VisionError when
    // the model cannot be read.
    explicit DlibVisionAnalyzer(const std::string& landmarkModelPath = defaultLandmarkModelPath);
    ~DlibVisionAnalyzer() override;

    std::vector<FaceObservation> detectFaces(const ImageView& frame) override;
    double averageBrightness(const ImageView& frame) override;
    std::optional<FeaturePrint> featurePrint(const ImageView& frame, const FaceObservation& face) override;
    bool canDetectBodyPose() const override { return false; }
    std::optional<BodyPoseObservation> detectBodyPose(const ImageView&) override { return std::nullopt; }

    // The detector's score as a confidence in 0...1: its acceptance threshold (a score of 0) reads 0.5.
    static double confidenceOfScore(double score);

private:
    struct Models;
    std::unique_ptr<Models> models_;
};
