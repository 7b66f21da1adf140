// The camera pipeline on the real vision backend: a clip of a user at the desk, each frame decoded from
// its PNG, analysed, and its result applied by the monitor, on the virtual clock.
#include "Platform/Linux/ClipCameraDevice.h"
#include "Platform/Linux/Vision/DlibVisionAnalyzer.h"
#include "Support/MonitorHarness.h"
#include "Support/TestImages.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <ctime>

namespace {

// The backend, counting the frames it is asked to analyse.
class CountingVisionAnalyzer final : public VisionAnalyzer {
public:
    std::vector<FaceObservation> detectFaces(const ImageView& frame) override {
        ++analysedFrames;
        return backend_.detectFaces(frame);
    }
    double averageBrightness(const ImageView& frame) override { return backend_.averageBrightness(frame); }
    std::optional<FeaturePrint> featurePrint(const ImageView& frame, const FaceObservation& face) override {
        return backend_.featurePrint(frame, face);
    }
    std::vector<FeaturePrint> enrolmentPrints(const ImageView& frame, const FaceObservation& face) override {
        return backend_.enrolmentPrints(frame, face);
    }
    bool canDetectBodyPose() const override { return backend_.canDetectBodyPose(); }
    std::optional<BodyPoseObservation> detectBodyPose(const ImageView& frame) override {
        return backend_.detectBodyPose(frame);
    }
    std::atomic<int> analysedFrames = 0;

private:
    DlibVisionAnalyzer backend_;
};

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// `seconds` of the astronaut at the desk, five frames a second, in ten slightly different poses.
std::vector<cv::Mat> deskClip(double seconds) {
    const cv::Mat person = TestImages::load("astronaut.png");
    std::vector<cv::Mat> poses;
    for (int k = 0; k < 10; ++k)
        poses.push_back(TestImages::portraitFrame(person, 1.2 + 0.01 * (k % 5), 4 * (k % 7) - 12, 120 + 3 * (k % 4)));
    std::vector<cv::Mat> frames;
    for (int i = 0; i < int(seconds * ClipCaptureDevice::defaultFrameRate); ++i)
        frames.push_back(poses[std::size_t(i) % poses.size()]);
    return frames;
}

struct ClipPipeline {
    MonitorHarness h;
    std::shared_ptr<CountingVisionAnalyzer> vision = std::make_shared<CountingVisionAnalyzer>();
    std::shared_ptr<VigilorMonitor> monitor;

    explicit ClipPipeline(double seconds) {
        const auto clip = h.home.path() / "desk";
        TestImages::writeClip(clip, deskClip(seconds));
        h.videoQueue = h.runLoop.sharedLoop();
        h.faceIdentityQueue = h.runLoop.sharedLoop();
        monitor = h.makeMonitor(true, [&](MonitorServices& s) {
            s.camera = std::make_shared<ClipCameraDevice>(clip, h.clock);
            s.vision = vision;
        });
    }
};

// The most frames a second the pipeline gets through: the camera plays at 5 fps and the monitor is kept
// enrolling, so that every frame the throttle admits (one every 0.25 s) is analysed; the figure is
// analysed frames per second of wall time, all on one thread.
void BM_SustainedFramesPerSecond(benchmark::State& state) {
    ClipPipeline pipeline(3600);
    for (auto _ : state) {
        pipeline.monitor->startFaceEnrolment();
        pipeline.h.runLoop.loop().advance(7.5);
    }
    state.counters["analysedFrames"] = pipeline.vision->analysedFrames.load();
    state.counters["analysedFramesPerSecond"] =
        benchmark::Counter(pipeline.vision->analysedFrames.load(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SustainedFramesPerSecond)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

// At the default throttle, with the user at the desk: the camera delivers 5 fps; the CPU the whole
// pipeline spends per analysed frame, and per second of clip as a share of one core.
void BM_DefaultThrottleAt5fps(benchmark::State& state) {
    constexpr double clipSeconds = 600;
    ClipPipeline pipeline(clipSeconds);
    double cpu = 0;
    for (auto _ : state) {
        const double start = processCpuSeconds();
        pipeline.h.runLoop.loop().advance(clipSeconds - 1);
        cpu = processCpuSeconds() - start;
    }
    const int frames = pipeline.vision->analysedFrames;
    state.counters["analysedFrames"] = frames;
    state.counters["cpuMsPerAnalysedFrame"] = frames ? 1000 * cpu / frames : 0;
    state.counters["cpuPercentOfOneCore"] = 100 * cpu / (clipSeconds - 1);
}
BENCHMARK(BM_DefaultThrottleAt5fps)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
