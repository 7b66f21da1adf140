#include "Monitor/CameraScene.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::Contains;

TEST(FramePipeline, AFaceIsPublishedRoundedAndReacquiredAfterEnoughMisses) {
    CameraScene s;
    FaceObservation face = FakeVisionAnalyzer::face(0.3, 0.2, 0.2537, 0.3);
    face.yawDegrees = 12.5;
    face.pitchDegrees = -12.5;
    s.faceFrame(face);
    EXPECT_TRUE(s.monitor->cameraPresence().facePresent());
    EXPECT_EQ(s.monitor->phase(), MonitorPhase::ready);
    EXPECT_NEAR(*s.monitor->cameraPresence().currentFaceWidth(), 0.255, 1e-12);
    EXPECT_NEAR(*s.monitor->cameraPresence().currentFaceCenterY(), 0.35, 1e-12) << "y grows upwards";
    EXPECT_EQ(s.monitor->cameraPresence().faceYawDegrees(), 13);
    EXPECT_EQ(s.monitor->cameraPresence().facePitchDegrees(), -13);
    EXPECT_FALSE(s.monitor->cameraPresence().isLookingAway());

    const struct {
        int misses;
        bool logged;
    } cases[] = {{5, false}, {7, true}};
    for (const auto& c : cases) {
        for (int i = 0; i < c.misses; ++i) {
            s.advance(10); // past the pause after a face
            s.emptyFrame();
        }
        EXPECT_EQ(s.monitor->cameraPresence().missingFaceSamples(), c.misses);
        EXPECT_EQ(s.monitor->phase(), MonitorPhase::faceMissing);
        EXPECT_FALSE(s.monitor->cameraPresence().currentFaceWidth());
        s.advance(5);
        s.faceFrame();
        EXPECT_EQ(s.monitor->cameraPresence().missingFaceSamples(), 0);
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

constexpr double bodyPoseWarmUp = CameraPresence::bodyPoseAssistWarmup;

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
        s.h.screenSharing->active = c.remote; // as the decision ticks find it meanwhile
        s.advance(bodyPoseWarmUp); // the body is looked for once the face has been gone a while
        s.h.vision->bodyPose = c.body;
        s.emptyFrame();
        EXPECT_EQ(s.monitor->cameraPresence().bodyPose(), c.pose) << c.name;
        EXPECT_EQ(s.monitor->cameraPresence().isLookingAway(), c.lookingAway) << c.name;
        EXPECT_EQ(s.monitor->cameraPresence().missingFaceSamples(), 1) << c.name;
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
        EXPECT_TRUE(s.monitor->cameraPresence().lowLight()) << c.name;
        EXPECT_TRUE(s.monitor->cameraPresence().facePresent()) << c.name << ": held";
        EXPECT_EQ(s.monitor->cameraPresence().bodyPose(), BodyPose::lowLight) << c.name;
        s.advance(120);
        if (c.watchNear) {
            EXPECT_TRUE(s.h.hearWatch(-60)) << c.name;
        }
        s.emptyFrame();
        EXPECT_EQ(s.monitor->cameraPresence().facePresent(), !c.darkRoom) << c.name;
        EXPECT_EQ(s.monitor->cameraPresence().missingFaceSamples(), c.darkRoom ? 1 : 0) << c.name;
        EXPECT_EQ(s.monitor->cameraPresence().bodyPose(), c.darkRoom ? BodyPose::darkRoom : BodyPose::lowLight)
            << c.name;
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
        {"a match after six",
         {Outcome::noMatch(0.9), Outcome::noMatch(0.9), Outcome::noMatch(0.9), Outcome::noMatch(0.9),
          Outcome::noMatch(0.9), Outcome::noMatch(0.9), Outcome::match(0.2)},
         true,
         0},
        {"an error",
         {Outcome::error(FaceIdentityError(FaceIdentityError::Case::enrollmentMissing))},
         false,
         0},
    };
    for (const auto& c : cases) {
        CameraBench bench;
        for (const auto& outcome : c.outcomes)
            bench.camera.applyIdentityMatch(outcome);
        EXPECT_EQ(bench.camera.knownFacePresent(), c.known) << c.name;
        EXPECT_EQ(bench.camera.unknownFaceSamples(), c.unknown) << c.name;
    }
}

} // namespace
