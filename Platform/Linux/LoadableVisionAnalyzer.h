#pragma once

#include "Platform/Vision.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// The vision backend, loaded from its module the first time a frame is analysed: until then the
// process maps neither dlib nor OpenCV, and holds none of their models. Loading happens once, on the
// thread of that first call (the camera's queue, never the main thread); when it fails, every call
// throws VisionError with the reason.
class LoadableVisionAnalyzer final : public VisionAnalyzer {
public:
    explicit LoadableVisionAnalyzer(std::filesystem::path modulePath = defaultModulePath());

    // vigilor-vision.so beside the running executable.
    static std::filesystem::path defaultModulePath();

    std::vector<FaceObservation> detectFaces(const ImageView& frame) override;
    double averageBrightness(const ImageView& frame) override;
    std::optional<FeaturePrint> featurePrint(const ImageView& frame, const FaceObservation& face) override;
    bool canDetectBodyPose() const override;
    std::optional<BodyPoseObservation> detectBodyPose(const ImageView& frame) override;

private:
    VisionAnalyzer& backend() const;

    const std::filesystem::path modulePath_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<VisionAnalyzer> backend_;
    mutable std::optional<std::string> failure_;
};
