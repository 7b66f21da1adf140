#include "LoadableVisionAnalyzer.h"

#include "Foundation/SystemLog.h"
#include "Platform/Linux/Vision/VisionModule.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#if defined(__x86_64__)
#include <cpuid.h>
#endif

// x86-64-v3's instructions beyond baseline x86-64, by the names /proc/cpuinfo's flags and the
// compilers' target attributes use.
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

#if defined(__x86_64__)
namespace {

// The state components that the system saves on a task switch (XCR0).
uint64_t savedProcessorState() {
    uint32_t low = 0, high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (uint64_t(high) << 32) | low;
}

} // namespace
#endif

// Read from CPUID itself: the compilers' __builtin_cpu_supports knows different names (clang's lacks
// lzcnt, movbe, xsave and f16c).
CpuFeatureNames supportedCpuFeatures() {
    CpuFeatureNames features;
#if defined(__x86_64__)
    const auto note = [&](bool present, const char* name) {
        if (present)
            features.insert(name);
    };
    unsigned a = 0, b = 0, c = 0, d = 0;
    bool avxUsable = false;
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        // AVX and the instructions on its registers need the system to save those registers (XMM, YMM).
        avxUsable = (c & bit_AVX) && (c & bit_OSXSAVE) && (savedProcessorState() & 0x6) == 0x6;
        note(c & bit_SSE3, "sse3");
        note(c & bit_SSSE3, "ssse3");
        note(c & bit_SSE4_1, "sse4.1");
        note(c & bit_SSE4_2, "sse4.2");
        note(c & bit_POPCNT, "popcnt");
        note(c & bit_MOVBE, "movbe");
        note(c & bit_XSAVE, "xsave");
        note(avxUsable, "avx");
        note(avxUsable && (c & bit_FMA), "fma");
        note(avxUsable && (c & bit_F16C), "f16c");
    }
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) {
        note(avxUsable && (b & bit_AVX2), "avx2");
        note(b & bit_BMI, "bmi");
        note(b & bit_BMI2, "bmi2");
    }
    if (__get_cpuid(0x80000001, &a, &b, &c, &d))
        note(c & bit_LZCNT, "lzcnt");
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
