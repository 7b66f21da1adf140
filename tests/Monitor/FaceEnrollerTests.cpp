#include "Foundation/AtomicFile.h"
#include "Monitor/CameraScene.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

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
    std::shared_ptr<EnrolmentProgress> progress() { return s.monitor->faceEnrolment().enrolmentProgress(); }
};

TEST_F(Enrolment, ThirtyPrintsEndItAtOnceInAPrivateFileThatReplacesTheOld) {
    ASSERT_TRUE(AtomicFile::write(file, "[]", 0644));
    s.monitor->startFaceEnrolment();
    s.h.runLoop.loop().runUntilIdle();
    capture(30);
    EXPECT_FALSE(s.monitor->faceEnrolment().isEnrolling());
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
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_THAT(CameraScene::lockEventFile(),
                testing::HasSubstr("Face enrolment succeeded: 30 prints written"));
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
        {"four prints", 4, "", false,
         "Face enrolment failed: Insufficient frames (4 of 5 minimum). Try again."},
        {"no usable frame", 0, "x", false,
         "Face enrolment failed: No face frames captured. Ensure good lighting and centre your face."},
    };
    for (const auto& c : cases) {
        s.monitor->startFaceEnrolment();
        s.h.runLoop.loop().runUntilIdle();
        capture(c.frames);
        if (*c.badFrames)
            capture(4, FakeVisionAnalyzer::face(0, 0, 0.1, 0.1)); // quality 0.12: dropped
        EXPECT_TRUE(s.monitor->faceEnrolment().isEnrolling()) << c.name;
        s.advance(8);
        EXPECT_FALSE(s.monitor->faceEnrolment().isEnrolling()) << c.name;
        EXPECT_EQ(progress()->isComplete(), c.complete) << c.name;
        EXPECT_EQ(progress()->error().has_value(), !c.complete) << c.name;
        if (!c.complete) {
            EXPECT_EQ(progress()->error()->kind(), FaceIdentityError::Case::captureNoFrames) << c.name;
        }
        EXPECT_THAT(CameraScene::lockEventFile(), testing::HasSubstr(c.line)) << c.name;
        EXPECT_TRUE(s.monitor->cameraPresence().usingLowPowerCameraPulses())
            << c.name << ": the camera pulses again";
    }
}

TEST_F(Enrolment, BadlyFramedAndRepeatedTakesAreNotKept) {
    s.monitor->startFaceEnrolment();
    s.h.runLoop.loop().runUntilIdle();
    capture(1, FakeVisionAnalyzer::face(0, 0, 0.1, 0.1));
    EXPECT_TRUE(s.monitor->faceEnrolment().collectedPrints().empty());
    EXPECT_FALSE(s.monitor->cameraPresence().facePresent())
        << "the dropped frame leaves the presence state alone";
    s.h.vision->distinctPrints = false;
    capture(2);
    EXPECT_EQ(s.monitor->faceEnrolment().collectedPrints().size(), 1u);
    EXPECT_TRUE(s.monitor->cameraPresence().facePresent()) << "a repeated print is still a face";
}

TEST_F(Enrolment, ATakeKeepsTheFaceAndItsMirrorImageByTheTakesQuality) {
    s.h.vision->printsPerTake = 2;
    s.monitor->startFaceEnrolment();
    s.h.runLoop.loop().runUntilIdle();
    capture(1, FakeVisionAnalyzer::face(0, 0, 0.1, 0.1));
    EXPECT_TRUE(s.monitor->faceEnrolment().collectedPrints().empty());
    capture(1);
    const auto& prints = s.monitor->faceEnrolment().collectedPrints();
    ASSERT_EQ(prints.size(), 2u);
    EXPECT_EQ(prints[0].quality, prints[1].quality);
    EXPECT_EQ(progress()->capturedCount(), 2);
}

TEST_F(Enrolment, FailsAtOnceWithoutCameraPresence) {
    s.monitor->settings().updateConfig([](VigilorConfig& c) { c.cameraPresenceEnabled = false; });
    s.monitor->startFaceEnrolment();
    EXPECT_FALSE(progress()) << "published on the main queue";
    s.h.runLoop.loop().runUntilIdle();
    ASSERT_TRUE(progress());
    EXPECT_EQ(progress()->error()->errorDescription(),
              "Face capture needs a working camera: Camera presence is off");
    EXPECT_FALSE(s.monitor->faceEnrolment().isEnrolling());
}

} // namespace
