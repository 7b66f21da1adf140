#include "Platform/Linux/LoadableVisionAnalyzer.h"
#include "Platform/Linux/Vision/DlibVisionAnalyzer.h"
#include "Support/TestImages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <numeric>

using namespace TestImages;

namespace {

// Loading the models takes seconds: one analyser per test process.
DlibVisionAnalyzer& analyzer() {
    static DlibVisionAnalyzer shared;
    return shared;
}

std::optional<FaceObservation> mostConfidentFace(const cv::Mat& frame) {
    const auto faces = analyzer().detectFaces(viewOf(frame));
    const auto best = std::max_element(
        faces.begin(), faces.end(), [](const auto& a, const auto& b) { return a.confidence < b.confidence; });
    return best == faces.end() ? std::nullopt : std::optional(*best);
}

double meanY(std::span<const NormalizedPoint> points) {
    return std::accumulate(points.begin(), points.end(), 0.0,
                           [](double sum, const auto& p) { return sum + p.y; }) /
           double(points.size());
}

// The man of the basketball video and the footballer, cut out and enlarged so that their faces are
// as large as a user's at the desk.
cv::Mat basketballPlayer(const char* frame) {
    return scaled(load(frame)(cv::Rect(0, 40, 200, 150)), 2.4);
}
cv::Mat footballer() {
    return scaled(load("messi5.jpg")(cv::Rect(150, 40, 200, 150)), 2.4);
}

struct PlacementCase {
    const char* name;
    std::function<cv::Mat()> frame;
    double midX, midY; // where the face is, y growing upwards
};

const PlacementCase placementCases[] = {
    {"colour", [] { return load("astronaut.png"); }, 0.444, 0.755},
    {"grey", [] { return grey(load("astronaut.png")); }, 0.444, 0.755},
    {"camera YUYV", [] { return yuyvOf(load("astronaut.png")); }, 0.444, 0.755},
    {"lower right of a 640x480 frame",
     [] { return placed(scaled(load("astronaut.png"), 1.25), 640, 480, 96, 0); }, 0.594, 0.673},
    {"upper left of a 640x480 frame",
     [] { return placed(scaled(load("astronaut.png"), 1.25), 640, 480, -100, -80); }, 0.288, 0.840},
};

TEST(DlibVisionAnalyzerTest, FindsTheFaceWhereItIsWithYGrowingUpwards) {
    for (const auto& c : placementCases) {
        SCOPED_TRACE(c.name);
        const auto face = mostConfidentFace(c.frame());
        ASSERT_TRUE(face);
        EXPECT_GT(face->confidence, 0.8);
        EXPECT_NEAR(face->boundingBox.midX(), c.midX, 0.02);
        EXPECT_NEAR(face->boundingBox.midY(), c.midY, 0.02);
        ASSERT_TRUE(face->landmarks);
        EXPECT_GT(meanY(face->landmarks->leftEye()), meanY(face->landmarks->outerLips()));
        EXPECT_GT(face->landmarks->outerLips()[0].y, face->landmarks->chin().y);
        ASSERT_TRUE(face->yawDegrees && face->pitchDegrees);
        EXPECT_LT(std::abs(*face->yawDegrees), 10);
        EXPECT_LT(std::abs(*face->pitchDegrees), 15);
    }
}

TEST(DlibVisionAnalyzerTest, FramesWithoutAFaceHaveNone) {
    const cv::Mat blank(480, 640, CV_8UC3, cv::Scalar::all(128));
    const cv::Mat dark(480, 640, CV_8UC3, cv::Scalar::all(0));
    const cv::Mat darkRoom = relit(load("astronaut.png"), 0.02, 0);
    for (const cv::Mat* frame : {&blank, &dark, &darkRoom})
        EXPECT_TRUE(analyzer().detectFaces(viewOf(*frame)).empty());
    EXPECT_TRUE(analyzer().detectFaces(ImageView{}).empty());
}

// Frames, each with where its face is, if it has one.
using Scenes = std::vector<std::pair<cv::Mat, std::optional<cv::Rect2d>>>;

struct SceneCase {
    const char* name;
    std::function<Scenes()> scenes;
    int minimumFound;
};

Scenes seatedUsers(double width) {
    Scenes scenes;
    for (const auto& face : annotatedFaces())
        scenes.emplace_back(deskFrameOf(face, width), deskBoxOf(face, width));
    return scenes;
}

Scenes withoutAPerson(std::vector<cv::Mat> frames) {
    Scenes scenes;
    for (cv::Mat& frame : frames)
        scenes.emplace_back(std::move(frame), std::nullopt);
    return scenes;
}

// The astronaut with her face painted over, at sizes where her suit's badges and folds are as small as
// a user leaning back: they are no face.
Scenes astronautsSuit() {
    cv::Mat covered = load("astronaut.png");
    const auto face = analyzer().detectFaces(viewOf(covered)).at(0).boundingBox;
    covered(cv::Rect(int(face.x * covered.cols), int((1 - face.y - face.height) * covered.rows),
                     int(face.width * covered.cols), int(face.height * covered.rows)))
        .setTo(cv::Scalar::all(128));
    std::vector<cv::Mat> frames;
    for (double scale : {0.5, 0.7, 0.9, 1.1})
        for (int dy : {-120, 0, 120})
            frames.push_back(portraitFrame(covered, scale, 0, dy));
    return withoutAPerson(std::move(frames));
}

// dlib's 43 annotated faces at the sizes a seated user's face takes, from arm's length to leaning back,
// and frames of rooms without anyone: how many faces are found, and that none is found where there is
// no person. Each row runs as a test of its own, so that the rows run side by side.
const SceneCase sceneCases[] = {
    {"LeaningBackAFaceATenthOfTheFrameWide", [] { return seatedUsers(0.10); }, 35},
    {"SittingBackAnEighth", [] { return seatedUsers(0.125); }, 40},
    {"UprightAFaceOf018", [] { return seatedUsers(0.18); }, 43},
    {"PlainAndTexturedWalls", [] { return withoutAPerson(wallFrames()); }, 0},
    {"PicturesWithoutAFace", [] { return withoutAPerson(facelessPictureFrames()); }, 0},
    {"TheAstronautsSuit", astronautsSuit, 0},
};

class SeatedUsersAndEmptyRooms : public testing::TestWithParam<SceneCase> {};

TEST_P(SeatedUsersAndEmptyRooms, FacesAreFoundOnlyWhereTheyAre) {
    int found = 0, spurious = 0;
    for (const auto& [frame, face] : GetParam().scenes()) {
        const auto faces = analyzer().detectFaces(viewOf(frame));
        found += face && showsFace(faces, *face, frame.size());
        spurious += face ? 0 : int(faces.size());
    }
    EXPECT_GE(found, GetParam().minimumFound);
    EXPECT_EQ(spurious, 0);
}

INSTANTIATE_TEST_SUITE_P(DlibVisionAnalyzer, SeatedUsersAndEmptyRooms, testing::ValuesIn(sceneCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DlibVisionAnalyzerTest, YawChangesSignInAMirror) {
    const cv::Mat player = basketballPlayer("basketball1.png");
    const auto turned = mostConfidentFace(player);
    const auto mirroredFace = mostConfidentFace(mirrored(player));
    ASSERT_TRUE(turned && turned->yawDegrees && mirroredFace && mirroredFace->yawDegrees);
    EXPECT_GT(std::abs(*turned->yawDegrees), 20);
    EXPECT_LT(*turned->yawDegrees * *mirroredFace->yawDegrees, 0);
    EXPECT_NEAR(std::abs(*turned->yawDegrees), std::abs(*mirroredFace->yawDegrees), 5);
}

struct BrightnessCase {
    const char* name;
    cv::Mat frame;
    PixelFormat format;
    double expected;
};

TEST(DlibVisionAnalyzerTest, BrightnessIsTheMeanLuma) {
    const cv::Mat grey(48, 64, CV_8UC1, cv::Scalar(128));
    const cv::Mat blue(48, 64, CV_8UC3, cv::Scalar(255, 0, 0));
    const BrightnessCase cases[] = {
        {"mid grey", grey, PixelFormat::grey8, 128.0 / 255},
        {"black", cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(0)), PixelFormat::bgr24, 0},
        {"blue stored BGR", blue, PixelFormat::bgr24, 0.114},
        {"the same bytes read as RGB are red", blue, PixelFormat::rgb24, 0.299},
        {"white from the camera", yuyvOf(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(255))),
         PixelFormat::yuyv422, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageView view = viewOf(c.frame);
        view.format = c.format;
        EXPECT_NEAR(analyzer().averageBrightness(view), c.expected, 0.01);
    }
    EXPECT_EQ(analyzer().averageBrightness(ImageView{}), 1.0);
}

struct PrintPair {
    const char* name;
    std::function<cv::Mat()> first, second;
};

std::optional<FeaturePrint> printOf(const cv::Mat& frame) {
    const auto face = mostConfidentFace(frame);
    return face ? analyzer().featurePrint(viewOf(frame), *face) : std::nullopt;
}

cv::Mat astronaut() {
    return load("astronaut.png");
}

// One person under small changes of light, placement and scale stays under the match threshold 0.6;
// two people stay above it.
const PrintPair samePerson[] = {
    {"shifted into a 640x480 frame", astronaut,
     [] { return placed(scaled(astronaut(), 1.25), 640, 480, 30, -10); }},
    {"smaller", astronaut, [] { return scaled(astronaut(), 0.7); }},
    {"larger", astronaut, [] { return scaled(astronaut(), 1.3); }},
    {"darker", astronaut, [] { return relit(astronaut(), 0.5, 0); }},
    {"brighter", astronaut, [] { return relit(astronaut(), 1.0, 50); }},
    {"more contrast", astronaut, [] { return relit(astronaut(), 1.3, -40); }},
    {"blurred by a low resolution", astronaut, [] { return scaled(scaled(astronaut(), 0.42), 2); }},
    {"next video frame", [] { return basketballPlayer("basketball1.png"); },
     [] { return basketballPlayer("basketball2.png"); }},
};
const PrintPair twoPeople[] = {
    {"astronaut and basketball player", astronaut, [] { return basketballPlayer("basketball1.png"); }},
    {"astronaut and footballer", astronaut, footballer},
    {"basketball player and footballer", [] { return basketballPlayer("basketball1.png"); }, footballer},
};

void expectMatches(std::span<const PrintPair> pairs, bool match) {
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair.name);
        const auto first = printOf(pair.first());
        const auto second = printOf(pair.second());
        ASSERT_TRUE(first && second);
        EXPECT_EQ(first->distance(*second) < 0.6f, match) << first->distance(*second);
    }
}

TEST(DlibVisionAnalyzerTest, PrintsMatchOnePersonAndSeparateTwo) {
    expectMatches(samePerson, true);
    expectMatches(twoPeople, false);
}

// A user enrolled with his head turned one way (the player, about 39°) is known turned the other way
// (the photograph mirrored, a little nearer and darker); two people stay apart.
TEST(DlibVisionAnalyzerTest, EnrolmentPrintsKnowTheHeadTurnedEitherWay) {
    const auto player = [] { return basketballPlayer("basketball1.png"); };
    const auto turnedAway = [](cv::Mat person) { return portraitFrame(mirrored(person), 1.1, 20, 0, 0.9); };
    const struct {
        const char* name;
        cv::Mat enrolled, seen;
        bool match;
    } cases[] = {
        {"the player turned the other way", player(), turnedAway(player()), true},
        {"the player in the next frame turned the other way", player(),
         turnedAway(basketballPlayer("basketball2.png")), true},
        {"the astronaut mirrored", astronaut(), turnedAway(astronaut()), true},
        {"the astronaut and the player turned", astronaut(), turnedAway(player()), false},
        {"the player and the astronaut mirrored", player(), turnedAway(astronaut()), false},
        {"the player and the footballer turned", player(), turnedAway(footballer()), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto face = mostConfidentFace(c.enrolled);
        const auto seen = printOf(c.seen);
        ASSERT_TRUE(face && seen);
        const auto enrolled = analyzer().enrolmentPrints(viewOf(c.enrolled), *face);
        ASSERT_EQ(enrolled.size(), 2u);
        float nearest = 2;
        for (const auto& print : enrolled)
            nearest = std::min(nearest, seen->distance(print));
        EXPECT_EQ(nearest < 0.6f, c.match) << nearest;
    }
}

TEST(DlibVisionAnalyzerTest, PrintsComeFromTheCropWithinTheFrame) {
    // Most of the face beyond the frame's left edge: the crop is what is left of it.
    const cv::Mat frame = placed(astronaut(), 640, 480, -215, 0);
    const auto face = mostConfidentFace(astronaut());
    ASSERT_TRUE(face);
    FaceObservation atTheEdge = *face;
    atTheEdge.boundingBox.x = -0.05;
    const auto print = analyzer().featurePrint(viewOf(frame), atTheEdge);
    ASSERT_TRUE(print);
    EXPECT_EQ(FeaturePrint::unarchived(print->archived())->distance(*print), 0.0f);

    FaceObservation outside = *face;
    outside.boundingBox.x = 1.5;
    EXPECT_FALSE(analyzer().featurePrint(viewOf(frame), outside));
    FaceObservation withoutLandmarks = *face;
    withoutLandmarks.landmarks.reset();
    EXPECT_FALSE(analyzer().featurePrint(viewOf(astronaut()), withoutLandmarks));
}

// Every build of the module that this CPU runs, the one the application picks among them.
TEST(LoadableVisionAnalyzerTest, LoadsTheModuleOnFirstUse) {
    const cv::Mat frame = astronaut();
    const auto cpu = supportedCpuFeatures();
    for (const auto& build : visionModuleBuilds()) {
        if (!build.runsOn(cpu))
            continue;
        SCOPED_TRACE(build.fileName);
        LoadableVisionAnalyzer loadable(std::filesystem::path(VIGILOR_VISION_MODULE).parent_path() /
                                        build.fileName);
        EXPECT_EQ(loadable.detectFaces(viewOf(frame)).size(), 1u);
        EXPECT_FALSE(loadable.canDetectBodyPose());
        EXPECT_FALSE(loadable.detectBodyPose(viewOf(frame)));
    }
}

TEST(LoadableVisionAnalyzerTest, LoadsTheBestBuildTheCpuRuns) {
    const CpuFeatureNames v3 = {"sse3", "ssse3", "sse4.1", "sse4.2", "popcnt", "avx",   "avx2",
                                "bmi",  "bmi2",  "f16c",   "fma",    "lzcnt",  "movbe", "xsave"};
    const auto without = [&](const char* feature) {
        CpuFeatureNames cpu = v3;
        cpu.erase(feature);
        return cpu;
    };
    CpuFeatureNames v4 = v3;
    v4.insert("avx512f");
    const struct {
        const char* name;
        CpuFeatureNames cpu;
        std::string_view module;
    } cases[] = {
        {"x86-64-v3", v3, "vigilor-vision-x86-64-v3.so"},
        {"x86-64-v4", v4, "vigilor-vision-x86-64-v3.so"},
        {"no FMA", without("fma"), "vigilor-vision.so"},
        {"no BMI2", without("bmi2"), "vigilor-vision.so"},
        {"AVX without AVX2", without("avx2"), "vigilor-vision.so"},
        {"no MOVBE", without("movbe"), "vigilor-vision.so"},
        {"baseline", {}, "vigilor-vision.so"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bestVisionModuleBuild(c.cpu).fileName, c.module) << c.name;
}

#if defined(__x86_64__)
// Every feature the kernel lists in /proc/cpuinfo, our reading of CPUID finds too. Not the other way
// round: a kernel or a hypervisor may hide a flag the CPU reports (AMD EPYC guests list no "abm", the
// kernel's name for LZCNT, that CPUID reports), and which build runs on which features is the table above.
TEST(LoadableVisionAnalyzerTest, SeesTheCpuFeaturesTheKernelSees) {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && !line.starts_with("flags"))
        continue;
    const auto kernelSees = [&](const char* flag) {
        return (line + " ").find(std::string(" ") + flag + " ") != std::string::npos;
    };
    ASSERT_TRUE(kernelSees("sse2")) << line;
    const std::pair<const char*, const char*> kernelNames[] = {
        {"sse3", "pni"}, {"ssse3", "ssse3"}, {"sse4.1", "sse4_1"}, {"sse4.2", "sse4_2"}, {"popcnt", "popcnt"},
        {"avx", "avx"},  {"avx2", "avx2"},   {"bmi", "bmi1"},      {"bmi2", "bmi2"},     {"f16c", "f16c"},
        {"fma", "fma"},  {"lzcnt", "abm"},   {"movbe", "movbe"},   {"xsave", "xsave"},
    };
    const CpuFeatureNames cpu = supportedCpuFeatures();
    for (const auto& [ours, kernels] : kernelNames)
        EXPECT_TRUE(!kernelSees(kernels) || cpu.contains(ours)) << ours;
}
#endif

TEST(LoadableVisionAnalyzerTest, AMissingModuleFailsEveryCall) {
    LoadableVisionAnalyzer loadable("/nonexistent/vigilor-vision.so");
    const cv::Mat frame = astronaut();
    for (int call = 0; call < 2; ++call)
        try {
            loadable.detectFaces(viewOf(frame));
            ADD_FAILURE() << "no VisionError";
        } catch (const VisionError& error) {
            EXPECT_NE(std::string(error.what()).find("/nonexistent/vigilor-vision.so"), std::string::npos);
        }
    EXPECT_THROW(loadable.averageBrightness(viewOf(frame)), VisionError);
}

} // namespace
