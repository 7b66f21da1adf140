#include "Foundation/AtomicFile.h"
#include "Monitor/CameraScene.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using testing::Contains;

TEST(FramePipeline, AFaceIsPublishedRoundedAndReacquiredAfterEnoughMisses) {
    CameraScene s;
    FaceObservation face = FakeVisionAnalyzer::face(0.3, 0.2, 0.2537, 0.3);
    face.yawDegrees = 12.5;
    face.pitchDegrees = -12.5;
    s.faceFrame(face);
    EXPECT_TRUE(s.monitor->facePresent());
    EXPECT_EQ(s.monitor->phase(), MonitorPhase::ready);
    EXPECT_NEAR(*s.monitor->currentFaceWidth(), 0.255, 1e-12);
    EXPECT_NEAR(*s.monitor->currentFaceCenterY(), 0.35, 1e-12) << "y grows upwards";
    EXPECT_EQ(s.monitor->faceYawDegrees(), 13);
    EXPECT_EQ(s.monitor->facePitchDegrees(), -13);
    EXPECT_FALSE(s.monitor->isLookingAway());

    const struct {
        int misses;
        bool logged;
    } cases[] = {{5, false}, {7, true}};
    for (const auto& c : cases) {
        for (int i = 0; i < c.misses; ++i) {
            s.advance(10); // past the pause after a face
            s.emptyFrame();
        }
        EXPECT_EQ(s.monitor->missingFaceSamples(), c.misses);
        EXPECT_EQ(s.monitor->phase(), MonitorPhase::faceMissing);
        EXPECT_FALSE(s.monitor->currentFaceWidth());
        s.advance(5);
        s.faceFrame();
        EXPECT_EQ(s.monitor->missingFaceSamples(), 0);
        EXPECT_EQ(s.logged("Face reacquired after " + std::to_string(c.misses) + " misses"), c.logged);
    }
}

// Frames arrive at 5 fps while the camera runs; only those the throttle admits are analysed, and
// refused frames arm no pause.
TEST(FramePipeline, TheThrottleAdmitsFramesAtItsInterval) {
    CameraScene s;
    s.faceFrame();
    EXPECT_EQ(s.h.vision->detections, 1);
    s.session().running = true; // the camera keeps delivering, as while a pause is pending
    s.advance(9.9);
    s.session().running = true;
    s.faceFrame();
    EXPECT_EQ(s.h.vision->detections, 1) << "a stable face is looked at every 10 s";
    EXPECT_TRUE(s.session().running) << "a refused frame arms no pause";
    s.advance(0.1);
    s.faceFrame();
    EXPECT_EQ(s.h.vision->detections, 2);
}

constexpr double bodyPoseWarmUp = VigilorMonitor::bodyPoseAssistWarmup;

TEST(FramePipeline, MissedFramesSayWhatTheCameraSawInstead) {
    RecognizedBodyPoint shoulders[] = {{BodyJoint::leftShoulder, {0.4, 0.5}, 0.9},
                                       {BodyJoint::rightShoulder, {0.6, 0.5}, 0.9}};
    const struct {
        const char* name;
        bool remote;
        std::optional<BodyPoseObservation> body;
        BodyPose pose;
        bool lookingAway;
    } cases[] = {
        {"nobody", false, std::nullopt, BodyPose::away, true},
        {"screen sharing", true, std::nullopt, BodyPose::remote, true},
        {"body at the desk", false, BodyPoseObservation{{{shoulders[0], shoulders[1]}}}, BodyPose::upperBody,
         false},
    };
    for (const auto& c : cases) {
        CameraScene s;
        s.advance(bodyPoseWarmUp); // the body is looked for once the face has been gone a while
        s.monitor->remoteControlActive = c.remote;
        s.h.vision->bodyPose = c.body;
        s.emptyFrame();
        EXPECT_EQ(s.monitor->bodyPose(), c.pose) << c.name;
        EXPECT_EQ(s.monitor->isLookingAway(), c.lookingAway) << c.name;
        EXPECT_EQ(s.monitor->missingFaceSamples(), 1) << c.name;
        EXPECT_EQ(s.monitor->phase(), MonitorPhase::faceMissing) << c.name;
    }
}

TEST(FramePipeline, ADarkFrameHoldsThePresenceUntilTheRoomIsDarkAndIdle) {
    const struct {
        const char* name;
        double idle;
        bool watchNear;
        bool darkRoom;
    } cases[] = {
        {"input used lately", 60, false, false},
        {"idle and alone", 600, false, true},
        {"idle but the watch is near", 600, true, false},
    };
    for (const auto& c : cases) {
        CameraScene s([](VigilorConfig& config) {
            config.bluetoothPresenceMode = BluetoothPresenceMode::watch;
            config.watchGateRequired = true;
        });
        s.faceFrame();
        s.h.vision->brightness = 0.05;
        s.h.inputIdle->idle = c.idle;
        s.advance(10);
        s.emptyFrame(); // the first dark frame starts the darkness
        EXPECT_TRUE(s.monitor->lowLight()) << c.name;
        EXPECT_TRUE(s.monitor->facePresent()) << c.name << ": held";
        EXPECT_EQ(s.monitor->bodyPose(), BodyPose::lowLight) << c.name;
        s.advance(120);
        if (c.watchNear) {
            EXPECT_TRUE(s.h.hearWatch(-60)) << c.name;
        }
        s.emptyFrame();
        EXPECT_EQ(s.monitor->facePresent(), !c.darkRoom) << c.name;
        EXPECT_EQ(s.monitor->missingFaceSamples(), c.darkRoom ? 1 : 0) << c.name;
        EXPECT_EQ(s.monitor->bodyPose(), c.darkRoom ? BodyPose::darkRoom : BodyPose::lowLight) << c.name;
        EXPECT_EQ(s.logged("Dark room: no activity for 120s, allowing away lock"), c.darkRoom) << c.name;
        EXPECT_EQ(s.monitor->phase(), MonitorPhase::ready) << c.name << ": the light never moves the phase";
    }
}

TEST(FramePipeline, FramesThatCannotBeAnalysedPauseTheCamera) {
    const struct {
        const char* name;
        bool picture;
        std::optional<std::string> failure;
        const char* line;
    } cases[] = {
        {"no picture", false, {}, ""},
        {"vision failure", true, "The vision module cannot be loaded", "Vision error: The vision module cannot be loaded"},
    };
    for (const auto& c : cases) {
        CameraScene s;
        s.h.vision->failure = c.failure;
        s.frame(c.picture);
        EXPECT_EQ(s.monitor->phase(), MonitorPhase::ready) << c.name << ": no result";
        EXPECT_FALSE(s.session().running) << c.name;
        s.advance(5);
        EXPECT_TRUE(s.session().running) << c.name;
        if (*c.line) {
            EXPECT_TRUE(s.logged(c.line)) << c.name;
        }
    }
}

TEST(FramePipeline, TheKnownFaceGoesAfterEnoughNonMatchesOrOneError) {
    using Outcome = FaceMatchOutcome;
    const struct {
        const char* name;
        std::vector<Outcome> outcomes;
        bool known;
        int unknown;
    } cases[] = {
        {"five non-matches", std::vector<Outcome>(5, Outcome::noMatch(0.9)), true, 5},
        {"six", std::vector<Outcome>(6, Outcome::noMatch(0.9)), false, 6},
        {"a match after six", {Outcome::noMatch(0.9), Outcome::noMatch(0.9), Outcome::noMatch(0.9),
                               Outcome::noMatch(0.9), Outcome::noMatch(0.9), Outcome::noMatch(0.9),
                               Outcome::match(0.2)}, true, 0},
        {"an error", {Outcome::error(FaceIdentityError(FaceIdentityError::Case::enrollmentMissing))}, false, 0},
    };
    for (const auto& c : cases) {
        CameraScene s;
        for (const auto& outcome : c.outcomes)
            s.monitor->applyIdentityMatch(outcome);
        EXPECT_EQ(s.monitor->knownFacePresent(), c.known) << c.name;
        EXPECT_EQ(s.monitor->unknownFaceSamples(), c.unknown) << c.name;
    }
}

// Enrolment on the scripted camera: each analysed face gives a new print, 4 frames a second.
struct Enrolment : testing::Test {
    CameraScene s;
    std::string file = FaceIdentityService::defaultEnrollmentPath();

    void SetUp() override { s.h.vision->printValues = std::vector<float>{0.5f, 0.25f}; }
    void capture(int frames, FaceObservation face = FakeVisionAnalyzer::face(0.25, 0.25, 0.5, 0.5)) {
        for (int i = 0; i < frames; ++i) {
            s.faceFrame(face);
            s.advance(0.25);
        }
    }
    std::shared_ptr<EnrolmentProgress> progress() { return s.monitor->enrolmentProgress(); }
};

TEST_F(Enrolment, ThirtyPrintsEndItAtOnceInAPrivateFileThatReplacesTheOld) {
    ASSERT_TRUE(AtomicFile::write(file, "[]", 0644));
    s.monitor->startFaceEnrolment();
    s.h.runLoop.loop().runUntilIdle();
    capture(30);
    EXPECT_FALSE(s.monitor->isEnrolling());
    ASSERT_TRUE(progress());
    EXPECT_TRUE(progress()->isComplete());
    EXPECT_EQ(progress()->capturedCount(), 30);
    const auto text = AtomicFile::read(file);
    ASSERT_TRUE(text);
    const Json written = Json::parse(*text);
    ASSERT_EQ(written.size(), 30u);
    std::vector<std::string> keys;
    for (const auto& [key, value] : written[0].items())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"captured_at", "data_base64", "quality"}));
    struct stat status{};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_THAT(CameraScene::lockEventFile(), testing::HasSubstr("Face enrolment succeeded: 30 prints written"));
}

TEST_F(Enrolment, EndsAfterEightSecondsWhateverArrived) {
    const struct {
        const char* name;
        int frames;
        const char* badFrames; // frames too badly framed to keep
        bool complete;
        const char* line;
    } cases[] = {
        {"seven prints", 7, "", true, "Face enrolment succeeded: 7 prints written"},
        {"four prints", 4, "", false, "Face enrolment failed: Insufficient frames (4 of 5 minimum). Try again."},
        {"no usable frame", 0, "x",  false,
         "Face enrolment failed: No face frames captured. Ensure good lighting and centre your face."},
    };
    for (const auto& c : cases) {
        s.monitor->startFaceEnrolment();
        s.h.runLoop.loop().runUntilIdle();
        capture(c.frames);
        if (*c.badFrames)
            capture(4, FakeVisionAnalyzer::face(0, 0, 0.1, 0.1)); // quality 0.12: dropped
        EXPECT_TRUE(s.monitor->isEnrolling()) << c.name;
        s.advance(8);
        EXPECT_FALSE(s.monitor->isEnrolling()) << c.name;
        EXPECT_EQ(progress()->isComplete(), c.complete) << c.name;
        EXPECT_EQ(progress()->error().has_value(), !c.complete) << c.name;
        if (!c.complete) {
            EXPECT_EQ(progress()->error()->kind(), FaceIdentityError::Case::captureNoFrames) << c.name;
        }
        EXPECT_THAT(CameraScene::lockEventFile(), testing::HasSubstr(c.line)) << c.name;
        EXPECT_TRUE(s.monitor->usingLowPowerCameraPulses()) << c.name << ": the camera pulses again";
    }
}

TEST_F(Enrolment, BadlyFramedAndRepeatedTakesAreNotKept) {
    s.monitor->startFaceEnrolment();
    s.h.runLoop.loop().runUntilIdle();
    capture(1, FakeVisionAnalyzer::face(0, 0, 0.1, 0.1));
    EXPECT_TRUE(s.monitor->enrolmentCollectedPrints().empty());
    EXPECT_FALSE(s.monitor->facePresent()) << "the dropped frame leaves the presence state alone";
    s.h.vision->distinctPrints = false;
    capture(2);
    EXPECT_EQ(s.monitor->enrolmentCollectedPrints().size(), 1u);
    EXPECT_TRUE(s.monitor->facePresent()) << "a repeated print is still a face";
}

TEST_F(Enrolment, ATakeKeepsTheFaceAndItsMirrorImageByTheTakesQuality) {
    s.h.vision->printsPerTake = 2;
    s.monitor->startFaceEnrolment();
    s.h.runLoop.loop().runUntilIdle();
    capture(1, FakeVisionAnalyzer::face(0, 0, 0.1, 0.1));
    EXPECT_TRUE(s.monitor->enrolmentCollectedPrints().empty());
    capture(1);
    const auto& prints = s.monitor->enrolmentCollectedPrints();
    ASSERT_EQ(prints.size(), 2u);
    EXPECT_EQ(prints[0].quality, prints[1].quality);
    EXPECT_EQ(progress()->capturedCount(), 2);
}

TEST_F(Enrolment, FailsAtOnceWithoutCameraPresence) {
    s.monitor->updateConfig([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
    s.monitor->startFaceEnrolment();
    EXPECT_FALSE(progress()) << "published on the main queue";
    s.h.runLoop.loop().runUntilIdle();
    ASSERT_TRUE(progress());
    EXPECT_EQ(progress()->error()->errorDescription(),
              "Face capture needs a working camera: Camera presence is off");
    EXPECT_FALSE(s.monitor->isEnrolling());
}

} // namespace
