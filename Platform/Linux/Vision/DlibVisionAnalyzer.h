#pragma once

#include "Platform/Vision.h"

#include <memory>
#include <string>

// The vision backend on dlib and OpenCV: dlib's HOG face detector on a grey frame, its
// 68-point landmark model on each face, the head pose fitted to the landmarks (OpenCV's solvePnP),
// brightness by OpenCV, and version 1 feature prints (LbpFacePrint) of the aligned face. There is no
// body model on Linux, so no body pose is ever reported.
class DlibVisionAnalyzer final : public VisionAnalyzer {
public:
    // Debian's libdlib-data.
    static constexpr const char* defaultLandmarkModelPath =
        "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";
    // Faces are looked for in two passes. The first scales frames wider than this down to it, which
    // keeps a 640×480 frame within its time budget; the detector finds faces from about 64 pixels, so
    // it sees faces from about a sixth of the frame's width.
    static constexpr int detectionWidth = 400;
    // When the first pass finds no face, the second looks for smaller ones, down to a tenth of the
    // frame's width (a user leaning back), in the frame scaled to this width. Its wider search would
    // also find "faces" in walls and shirts, so it is guarded twice: it scans only the pyramid's
    // first levels, faces too small for the first pass (about 64 to 105 pixels), and it takes only
    // faces of a clearer score. It runs only on frames without a face, analysed every 5 s.
    static constexpr int smallFaceDetectionWidth = 640;
    static constexpr unsigned long smallFacePyramidLevels = 3;
    static constexpr double smallFaceMinimumScore = 0.3;

    // Loads the detector and the landmark model (seconds, and about 100 MiB); throws VisionError when
    // the model cannot be read.
    explicit DlibVisionAnalyzer(const std::string& landmarkModelPath = defaultLandmarkModelPath);
    ~DlibVisionAnalyzer() override;

    std::vector<FaceObservation> detectFaces(const ImageView& frame) override;
    double averageBrightness(const ImageView& frame) override;
    std::optional<FeaturePrint> featurePrint(const ImageView& frame, const FaceObservation& face) override;
    std::vector<FeaturePrint> enrolmentPrints(const ImageView& frame, const FaceObservation& face) override;
    bool canDetectBodyPose() const override { return false; }
    std::optional<BodyPoseObservation> detectBodyPose(const ImageView&) override { return std::nullopt; }

    // The detector's score as a confidence in 0...1: its acceptance threshold (a score of 0) reads 0.5.
    static double confidenceOfScore(double score);

private:
    struct Models;
    std::unique_ptr<Models> models_;
};
