#include "LoadableVisionAnalyzer.h"

#include "Foundation/SystemLog.h"
#include "Vision/VisionModule.h"

#include <dlfcn.h>

#include <algorithm>

// x86-64-v3's instructions beyond baseline x86-64, as __builtin_cpu_supports names them.
#define VIGILOR_X86_64_V3_FEATURES(feature)                                                                  \
    feature("sse3") feature("ssse3") feature("sse4.1") feature("sse4.2") feature("popcnt") feature("avx")    \
        feature("avx2") feature("bmi") feature("bmi2") feature("f16c") feature("fma") feature("lzcnt")       \
            feature("movbe") feature("xsave")

std::span<const VisionModuleBuild> visionModuleBuilds() {
#define VIGILOR_FEATURE_NAME(name) name,
    static const VisionModuleBuild builds[] = {
        {"vigilor-vision-x86-64-v3.so", {VIGILOR_X86_64_V3_FEATURES(VIGILOR_FEATURE_NAME)}},
        {"vigilor-vision.so", {}},
    };
#undef VIGILOR_FEATURE_NAME
    return builds;
}

bool VisionModuleBuild::runsOn(const CpuFeatureNames& cpu) const {
    return std::all_of(cpuFeatures.begin(), cpuFeatures.end(),
                       [&](std::string_view feature) { return cpu.contains(feature); });
}

const VisionModuleBuild& bestVisionModuleBuild(const CpuFeatureNames& cpu) {
    const auto builds = visionModuleBuilds();
    const auto best =
        std::find_if(builds.begin(), builds.end(), [&](const auto& build) { return build.runsOn(cpu); });
    return best == builds.end() ? builds.back() : *best;
}

CpuFeatureNames supportedCpuFeatures() {
    CpuFeatureNames features;
#if defined(__x86_64__)
    __builtin_cpu_init();
#define VIGILOR_PROBE_FEATURE(name)                                                                          \
    if (__builtin_cpu_supports(name))                                                                        \
        features.insert(name);
    VIGILOR_X86_64_V3_FEATURES(VIGILOR_PROBE_FEATURE)
#undef VIGILOR_PROBE_FEATURE
#endif
    return features;
}

LoadableVisionAnalyzer::LoadableVisionAnalyzer(std::filesystem::path modulePath)
    : modulePath_(std::move(modulePath)) {
}

std::filesystem::path LoadableVisionAnalyzer::defaultModulePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return (error ? std::filesystem::path() : executable.parent_path()) /
           bestVisionModuleBuild(supportedCpuFeatures()).fileName;
}

VisionAnalyzer& LoadableVisionAnalyzer::backend() const {
    const std::lock_guard lock(mutex_);
    if (!backend_ && !failure_) {
        // Never closed: the backend's code must outlive every object it made.
        void* module = ::dlopen(modulePath_.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* entry = module ? ::dlsym(module, makeVisionAnalyzerSymbol) : nullptr;
        std::string error;
        if (entry)
            reinterpret_cast<MakeVisionAnalyzerFunction*>(entry)(backend_, error);
        else
            error = std::string("The vision module cannot be loaded: ") + ::dlerror();
        if (!backend_)
            failure_ = error.empty() ? "The vision module made no analyser" : error;
        else
            systemLog("vision", "Vision module loaded: " + modulePath_.string());
    }
    if (failure_)
        throw VisionError(*failure_);
    return *backend_;
}

std::vector<FaceObservation> LoadableVisionAnalyzer::detectFaces(const ImageView& frame) {
    return backend().detectFaces(frame);
}

double LoadableVisionAnalyzer::averageBrightness(const ImageView& frame) {
    return backend().averageBrightness(frame);
}

std::optional<FeaturePrint> LoadableVisionAnalyzer::featurePrint(const ImageView& frame,
                                                                 const FaceObservation& face) {
    return backend().featurePrint(frame, face);
}

std::vector<FeaturePrint> LoadableVisionAnalyzer::enrolmentPrints(const ImageView& frame,
                                                                  const FaceObservation& face) {
    return backend().enrolmentPrints(frame, face);
}

bool LoadableVisionAnalyzer::canDetectBodyPose() const {
    return backend().canDetectBodyPose();
}

std::optional<BodyPoseObservation> LoadableVisionAnalyzer::detectBodyPose(const ImageView& frame) {
    return backend().detectBodyPose(frame);
}
