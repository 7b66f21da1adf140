#include "Platform/Linux/Vision/DlibVisionAnalyzer.h"
#include "Platform/Linux/Vision/FrameImages.h"
#include "Support/TestImages.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
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

// The same without a face (a photograph of fruit), as the camera analyses every 5 s while the user is
// away: both passes run.
void BM_AnalyseFrameWithoutFace640x480(benchmark::State& state) {
    const cv::Mat frame = facelessPictureFrames()[50];
    std::size_t faces = 0;
    for (auto _ : state)
        faces = analyzer().detectFaces(viewOf(frame)).size();
    state.counters["faces"] = double(faces);
}
BENCHMARK(BM_AnalyseFrameWithoutFace640x480)->Unit(benchmark::kMillisecond)->MinTime(3);

// How many of the 43 annotated faces are found when each is the given thousandths of a 640×480 frame's
// width.
void BM_ReachAtFaceWidth(benchmark::State& state) {
    const double fraction = double(state.range(0)) / 1000;
    int found = 0, faces = 0;
    for (auto _ : state)
        for (const auto& face : annotatedFaces()) {
            const cv::Mat frame = deskFrameOf(face, fraction);
            found +=
                showsFace(analyzer().detectFaces(viewOf(frame)), deskBoxOf(face, fraction), frame.size());
            ++faces;
        }
    state.counters["found"] = found;
    state.counters["faces"] = faces;
}
BENCHMARK(BM_ReachAtFaceWidth)
    ->Arg(100)
    ->Arg(125)
    ->Arg(150)
    ->Arg(180)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Faces reported on frames without a person.
void BM_SpuriousFaces(benchmark::State& state) {
    int spurious = 0, frames = 0;
    std::vector<cv::Mat> faceless = wallFrames();
    for (cv::Mat& frame : facelessPictureFrames())
        faceless.push_back(std::move(frame));
    for (auto _ : state)
        for (const cv::Mat& frame : faceless) {
            const auto faces = analyzer().detectFaces(viewOf(frame));
            spurious +=
                std::count_if(faces.begin(), faces.end(), [](const auto& f) { return f.confidence >= 0.5; });
            ++frames;
        }
    state.counters["spurious"] = spurious;
    state.counters["frames"] = frames;
}
BENCHMARK(BM_SpuriousFaces)->Iterations(1)->Unit(benchmark::kSecond);

// The face the camera pipeline picks: the widest; or, in a group photograph, the one in the middle of
// the frame's upper half, where deskFrameOf puts the user.
std::optional<FaceObservation> selectedFace(const ImageView& frame, bool inGroup = false) {
    auto faces = analyzer().detectFaces(frame);
    if (inGroup)
        std::erase_if(faces, [](const FaceObservation& face) {
            return std::hypot(face.boundingBox.midX() - 0.5, face.boundingBox.midY() - 0.67) > 0.1;
        });
    const auto best = std::max_element(faces.begin(), faces.end(), [](const auto& a, const auto& b) {
        return a.boundingBox.width < b.boundingBox.width;
    });
    return best == faces.end() ? std::nullopt : std::optional(*best);
}

// The print that the identity check compares with the enrolled ones.
std::optional<FeaturePrint> identityPrintOf(const cv::Mat& frame) {
    const auto face = selectedFace(viewOf(frame));
    return face ? analyzer().featurePrint(viewOf(frame), *face) : std::nullopt;
}

// The prints that enrolment keeps of a take.
std::vector<FeaturePrint> enrolmentPrintsOf(const cv::Mat& frame, bool inGroup = false) {
    const auto face = selectedFace(viewOf(frame), inGroup);
    return face ? analyzer().enrolmentPrints(viewOf(frame), *face) : std::vector<FeaturePrint>{};
}

// A seated user during an enrolment or later at the desk: a little nearer, further, to the side, lit
// differently.
std::vector<cv::Mat> takesOf(const cv::Mat& person) {
    return {portraitFrame(person, 1.0, 0, 0), portraitFrame(person, 0.9, 20, 10),
            portraitFrame(person, 1.1, -20, -10, 0.9), portraitFrame(person, 1.0, 30, 0, 1.15)};
}

// A take's enrolled prints; with `mirrorImages` false only its own print, as enrolments kept before
// they added the mirror image's.
std::vector<FeaturePrint> keptPrints(std::vector<FeaturePrint> taken, bool mirrorImages) {
    if (!mirrorImages && taken.size() > 1)
        taken.erase(taken.begin() + 1, taken.end());
    return taken;
}

std::vector<FeaturePrint> enrolmentOf(const cv::Mat& person, bool mirrorImages) {
    std::vector<FeaturePrint> prints;
    for (const cv::Mat& take : takesOf(person)) {
        const auto taken = keptPrints(enrolmentPrintsOf(take), mirrorImages);
        prints.insert(prints.end(), taken.begin(), taken.end());
    }
    return prints;
}

double nearest(const FeaturePrint& probe, const std::vector<FeaturePrint>& enrolled) {
    double smallest = 9;
    for (const auto& print : enrolled)
        smallest = std::min(smallest, double(probe.distance(print)));
    return smallest;
}

cv::Mat basketballPlayer(const char* frame) {
    return scaled(load(frame)(cv::Rect(0, 40, 200, 150)), 2.4);
}

// The smallest and largest distance from the enrolled prints of a user (enrolled from `person`) to his
// face seen in the takes of `seen`.
std::pair<double, double> distancesOfTakes(const std::vector<FeaturePrint>& enrolled, const cv::Mat& seen) {
    double smallest = 9, largest = 0;
    for (const cv::Mat& take : takesOf(seen))
        if (const auto probe = identityPrintOf(take)) {
            smallest = std::min(smallest, nearest(*probe, enrolled));
            largest = std::max(largest, nearest(*probe, enrolled));
        }
    return {smallest, largest};
}

// The smallest distance between two people: the enrolled prints of each of the 43 annotated faces and
// the two photographs, and the identity print of each other one.
double closestStrangers(bool mirrorImages) {
    std::vector<cv::Mat> faces;
    for (const auto& face : annotatedFaces())
        faces.push_back(deskFrameOf(face, 0.3));
    const std::size_t groupPhotographs = faces.size();
    faces.push_back(portraitFrame(basketballPlayer("basketball1.png"), 1.0, 0, 0));
    faces.push_back(portraitFrame(load("astronaut.png"), 1.0, 0, 0));
    std::vector<std::vector<FeaturePrint>> enrolments;
    for (std::size_t i = 0; i < faces.size(); ++i)
        enrolments.push_back(keptPrints(enrolmentPrintsOf(faces[i], i < groupPhotographs), mirrorImages));
    double closest = 9;
    for (std::size_t i = 0; i < faces.size(); ++i)
        for (std::size_t j = 0; j < faces.size(); ++j)
            if (i != j && !enrolments[i].empty() && !enrolments[j].empty())
                closest = std::min(closest, nearest(enrolments[i].front(), enrolments[j]));
    return closest;
}

// Distances from a user's enrolled prints to his face turned the other way (the photograph mirrored),
// with and without the mirror images in the enrolment, and the smallest distance between two people.
void BM_KnownFaceDistances(benchmark::State& state) {
    const std::pair<const char*, cv::Mat> people[] = {
        {"player", basketballPlayer("basketball1.png")},
        {"astronaut", load("astronaut.png")},
    };
    for (auto _ : state)
        for (const bool mirrorImages : {false, true}) {
            const std::string enrolment = mirrorImages ? "WithMirror" : "WithoutMirror";
            for (const auto& [name, person] : people) {
                const auto [smallest, largest] =
                    distancesOfTakes(enrolmentOf(person, mirrorImages), mirrored(person));
                state.counters[name + enrolment + "TurnedMin"] = smallest;
                state.counters[name + enrolment + "TurnedMax"] = largest;
            }
            const auto [smallest, largest] = distancesOfTakes(enrolmentOf(people[0].second, mirrorImages),
                                                              mirrored(basketballPlayer("basketball2.png")));
            state.counters["playerNextFrame" + enrolment + "TurnedMax"] = largest;
            state.counters["strangers" + enrolment + "Min"] = closestStrangers(mirrorImages);
        }
    const auto face = selectedFace(viewOf(takesOf(people[0].second)[0]));
    state.counters["playerYaw"] = face && face->yawDegrees ? *face->yawDegrees : 0;
}
BENCHMARK(BM_KnownFaceDistances)->Iterations(1)->Unit(benchmark::kSecond);

// What a frame pays for before the detector runs: the grey copy of a camera frame (YUYV) and its scaling
// to the detection width.
void BM_GreyAndScaledFrame640x480(benchmark::State& state) {
    const cv::Mat frame = yuyvOf(deskFrame(640, 480));
    for (auto _ : state) {
        cv::Mat small;
        cv::resize(greyImage(viewOf(frame)), small, cv::Size(), 0.625, 0.625, cv::INTER_AREA);
        benchmark::DoNotOptimize(small.data);
    }
}
BENCHMARK(BM_GreyAndScaledFrame640x480)->Unit(benchmark::kMicrosecond);

void BM_BrightnessOfFrame640x480(benchmark::State& state) {
    const cv::Mat frame = deskFrame(640, 480);
    for (auto _ : state)
        benchmark::DoNotOptimize(analyzer().averageBrightness(viewOf(frame)));
}
BENCHMARK(BM_BrightnessOfFrame640x480)->Unit(benchmark::kMicrosecond);

} // namespace
