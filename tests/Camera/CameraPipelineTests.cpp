// The camera pipeline end to end: a clip played by the clip camera, analysed by the real vision
// module, applied to the monitor, on the virtual clock.
#include "Foundation/AtomicFile.h"
#include "Platform/Linux/ClipCameraDevice.h"
#include "Platform/Linux/LoadableVisionAnalyzer.h"
#include "Support/MonitorHarness.h"
#include "Support/TestImages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::Contains;

constexpr int framesPerSecond = 5;

std::vector<cv::Mat> repeated(const cv::Mat& frame, double seconds) {
    return std::vector<cv::Mat>(std::size_t(seconds * framesPerSecond), frame);
}

// `seconds` of one person moving a little in front of the camera, the face near the middle of the
// frame (as enrolment wants it): ten poses, each with a print of its own, over and over.
std::vector<cv::Mat> portrait(const cv::Mat& person, double seconds, int dy, int seed = 0) {
    std::vector<cv::Mat> poses;
    for (int k = seed; k < seed + 10; ++k)
        poses.push_back(TestImages::portraitFrame(person, 1.2 + 0.01 * (k % 5), 4 * (k % 7) - 12,
                                                  dy + 3 * (k % 4), 0.96 + 0.01 * (k % 5)));
    std::vector<cv::Mat> frames;
    for (int i = 0; i < int(seconds * framesPerSecond); ++i)
        frames.push_back(poses[std::size_t(i) % poses.size()]);
    return frames;
}
cv::Mat astronaut() {
    return TestImages::load("astronaut.png");
}
// The footballer's head, cut out of the team photograph and enlarged to a user's size at the desk.
cv::Mat footballer() {
    return TestImages::scaled(TestImages::load("messi5.jpg")(cv::Rect(150, 40, 200, 150)), 2.4);
}

std::vector<cv::Mat> operator+(std::vector<cv::Mat> a, const std::vector<cv::Mat>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct CameraPipeline : testing::Test {
    MonitorHarness h;
    std::shared_ptr<VigilorMonitor> monitor;

    void play(const std::string& name, const std::vector<cv::Mat>& frames,
              const std::function<void(VigilorConfig&)>& settings = {}) {
        const auto clip = h.home.path() / name;
        TestImages::writeClip(clip, frames);
        VigilorConfig stored = VigilorConfig::loadKeepingUnreadable().config;
        if (settings)
            settings(stored);
        stored.save();
        h.videoQueue = h.runLoop.sharedLoop();
        h.faceIdentityQueue = h.runLoop.sharedLoop();
        monitor = h.makeMonitor(true, [&](MonitorServices& s) {
            s.camera = std::make_shared<ClipCameraDevice>(clip, h.clock);
            s.vision = std::make_shared<LoadableVisionAnalyzer>(VIGILOR_VISION_MODULE);
        });
    }
    // Half a second at a time, letting each tick's lock request finish before the next.
    void advance(double seconds) {
        for (; seconds > 0; seconds -= 0.5) {
            h.runLoop.loop().advance(0.5);
            ASSERT_TRUE(h.eventually([&] { return !monitor->lockAttempt().asking(); }));
        }
    }
    std::vector<std::string> activity() const { return logTexts(monitor->log().events()); }
};

TEST_F(CameraPipeline, AFaceThatLeavesIsMissedUntilTheSessionLocksOnce) {
    play("presence", portrait(astronaut(), 10, 120) + repeated(TestImages::emptyFrame(), 80),
         [](VigilorConfig& c) {
             c.screenLockingEnabled = true;
             c.autoLockEnabled = true;
         });
    EXPECT_EQ(monitor->statusSummaries().cameraStatus(), "Clip presence");
    advance(9);
    EXPECT_TRUE(monitor->cameraPresence().facePresent()) << testing::PrintToString(activity());
    EXPECT_EQ(monitor->phase(), MonitorPhase::ready);
    ASSERT_TRUE(monitor->cameraPresence().currentFaceWidth());
    EXPECT_GT(*monitor->cameraPresence().currentFaceWidth(), 0.1);

    std::vector<int> misses;
    for (int i = 0; i < 10; ++i) {
        advance(5);
        misses.push_back(monitor->cameraPresence().missingFaceSamples());
        if (h.log.count("locker.lockSession")) // the locker confirms the lock within its wait
            h.session->reportLock(true);
    }
    EXPECT_FALSE(monitor->cameraPresence().facePresent());
    EXPECT_TRUE(std::is_sorted(misses.begin(), misses.end())) << "missed frames only add up";
    EXPECT_GE(misses.back(), 6);
    EXPECT_EQ(h.log.count("locker.lockSession"), 1u);
    EXPECT_THAT(activity(), Contains(testing::StartsWith("Auto-lock")));

    advance(40); // the clip ends like an unplugged camera
    // A clip that ends during a pulse's pause fails to start again, as an unplugged camera does.
    EXPECT_THAT(activity(), testing::AnyOf(Contains("Camera runtime error; restarting"),
                                           Contains("Camera failed: The clip has ended")));
    EXPECT_EQ(monitor->statusSummaries().cameraStatus(), "Camera error");
    EXPECT_EQ(h.log.count("locker.lockSession"), 1u) << "one lock per absence";
}

TEST_F(CameraPipeline, AnEnrolledFaceIsKnownAndAnotherIsNot) {
    play("enrolment", portrait(astronaut(), 12, 120));
    advance(1);
    monitor->startFaceEnrolment();
    advance(9);
    ASSERT_TRUE(monitor->faceEnrolment().enrolmentProgress());
    EXPECT_TRUE(monitor->faceEnrolment().enrolmentProgress()->isComplete());
    EXPECT_GE(monitor->faceEnrolment().enrolmentProgress()->capturedCount(), FaceEnroller::minimumCount);
    const auto enrolled = AtomicFile::read(FaceIdentityService::defaultEnrollmentPath());
    ASSERT_TRUE(enrolled);
    EXPECT_EQ(Json::parse(*enrolled).size(),
              std::size_t(monitor->faceEnrolment().enrolmentProgress()->capturedCount()));

    const struct {
        const char* name;
        cv::Mat person;
        int dy;
        bool known;
    } cases[] = {{"the same person", astronaut(), 120, true}, {"another", footballer(), 60, false}};
    for (const auto& c : cases) {
        monitor.reset();
        // Two unknown prints in a row are enough to lose the known face; with a face in view the
        // camera looks every 10 s.
        play(c.name, portrait(c.person, 30, c.dy, 3), [](VigilorConfig& config) {
            config.requireKnownFaceForPresence = true;
            config.minMissingSamples = 2;
        });
        advance(25);
        EXPECT_TRUE(monitor->cameraPresence().facePresent()) << c.name;
        EXPECT_EQ(monitor->cameraPresence().knownFacePresent(), c.known) << c.name;
    }
}

} // namespace
