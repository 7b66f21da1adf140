#pragma once

#include "Platform/Vision.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One build of the vision module: its file beside the executable, and the CPU features (named as
// __builtin_cpu_supports names them) that its code may use.
using CpuFeatureNames = std::set<std::string, std::less<>>;

struct VisionModuleBuild {
    std::string_view fileName;
    std::vector<std::string_view> cpuFeatures;

    // Whether a CPU with these features runs the build.
    bool runsOn(const CpuFeatureNames& cpu) const;
};

// The builds, best first; the last needs nothing beyond baseline x86-64.
std::span<const VisionModuleBuild> visionModuleBuilds();
// The first build whose features the CPU all has.
const VisionModuleBuild& bestVisionModuleBuild(const CpuFeatureNames& cpu);
// The features of this CPU among those the builds use.
CpuFeatureNames supportedCpuFeatures();

// The vision backend, loaded from its module the first time a frame is analysed: until then the
// process maps neither dlib nor OpenCV, and holds none of their models. Loading happens once, on the
// thread of that first call (the camera's queue, never the main thread); when it fails, every call
// throws VisionError with the reason. The log names the module that was loaded.
class LoadableVisionAnalyzer final : public VisionAnalyzer {
public:
    explicit LoadableVisionAnalyzer(std::filesystem::path modulePath = defaultModulePath());

    // The best build of the module for this CPU, beside the running executable.
    static std::filesystem::path defaultModulePath();

    std::vector<FaceObservation> detectFaces(const ImageView& frame) override;
    double averageBrightness(const ImageView& frame) override;
    std::optional<FeaturePrint> featurePrint(const ImageView& frame, const FaceObservation& face) override;
    std::vector<FeaturePrint> enrolmentPrints(const ImageView& frame, const FaceObservation& face) override;
    bool canDetectBodyPose() const override;
    std::optional<BodyPoseObservation> detectBodyPose(const ImageView& frame) override;

private:
    VisionAnalyzer& backend() const;

    const std::filesystem::path modulePath_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<VisionAnalyzer> backend_;
    mutable std::optional<std::string> failure_;
};
