#include "Platform/Linux/Vision/DlibVisionAnalyzer.h"
#include "Support/TestImages.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

using namespace TestImages;

namespace {

DlibVisionAnalyzer& analyzer() {
    static DlibVisionAnalyzer shared;
    return shared;
}

double residentMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    return 0;
}

// Loading the detector and the 68-point model, and the resident memory they add to the process.
// Runs first, so that the first load meets a process without models; later loads reuse freed pages.
void BM_LoadModels(benchmark::State& state) {
    double before = 0, after = 0;
    for (auto _ : state) {
        const double start = residentMiB();
        DlibVisionAnalyzer loaded;
        if (after == 0) {
            before = start;
            after = residentMiB();
        }
        benchmark::DoNotOptimize(&loaded);
    }
    state.counters["firstLoadResidentBeforeMiB"] = before;
    state.counters["firstLoadResidentAfterMiB"] = after;
}
BENCHMARK(BM_LoadModels)->Unit(benchmark::kMillisecond)->Iterations(3);

// A user at the desk: the astronaut's face at about a fifth of the frame's width.
cv::Mat deskFrame(int width, int height) {
    const cv::Mat person = scaled(load("astronaut.png"), width / 440.0);
    return placed(person, width, height, (width - person.cols) / 2, 0);
}

// What the per-frame analysis asks of the backend on a frame with a face: the faces with their
// landmarks and pose, then the identity print of the most confident one.
void analyseFrames(benchmark::State& state, int width, int height) {
    const cv::Mat frame = deskFrame(width, height);
    const ImageView view = viewOf(frame);
    std::size_t faces = 0;
    for (auto _ : state) {
        const auto found = analyzer().detectFaces(view);
        faces = found.size();
        if (!found.empty())
            benchmark::DoNotOptimize(analyzer().featurePrint(view, found.front()));
    }
    state.counters["faces"] = double(faces);
}

void BM_AnalyseFrame640x480(benchmark::State& state) {
    analyseFrames(state, 640, 480);
}
BENCHMARK(BM_AnalyseFrame640x480)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_AnalyseFrame320x240(benchmark::State& state) {
    analyseFrames(state, 320, 240);
}
BENCHMARK(BM_AnalyseFrame320x240)->Unit(benchmark::kMillisecond)->MinTime(3);

// The detector with landmarks and pose alone, without the print.
void BM_DetectFaces640x480(benchmark::State& state) {
    const cv::Mat frame = deskFrame(640, 480);
    for (auto _ : state)
        benchmark::DoNotOptimize(analyzer().detectFaces(viewOf(frame)));
}
BENCHMARK(BM_DetectFaces640x480)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_BrightnessOfFrame640x480(benchmark::State& state) {
    const cv::Mat frame = deskFrame(640, 480);
    for (auto _ : state)
        benchmark::DoNotOptimize(analyzer().averageBrightness(viewOf(frame)));
}
BENCHMARK(BM_BrightnessOfFrame640x480)->Unit(benchmark::kMicrosecond);

} // namespace
