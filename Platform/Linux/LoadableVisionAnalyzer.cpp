#include "LoadableVisionAnalyzer.h"

#include "Vision/VisionModule.h"

#include <dlfcn.h>

LoadableVisionAnalyzer::LoadableVisionAnalyzer(std::filesystem::path modulePath)
    : modulePath_(std::move(modulePath)) {
}

std::filesystem::path LoadableVisionAnalyzer::defaultModulePath() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return (error ? std::filesystem::path() : executable.parent_path()) / "vigilor-vision.so";
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

bool LoadableVisionAnalyzer::canDetectBodyPose() const {
    return backend().canDetectBodyPose();
}

std::optional<BodyPoseObservation> LoadableVisionAnalyzer::detectBodyPose(const ImageView& frame) {
    return backend().detectBodyPose(frame);
}
