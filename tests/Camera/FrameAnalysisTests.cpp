#include "Fakes/FakeVisionAnalyzer.h"
#include "Vigilor/Camera/FrameAnalysis.h"

#include <gtest/gtest.h>

namespace {

using namespace FrameAnalysis;

TEST(FrameAnalysis, TheThrottleFollowsEnrolmentPresenceAndDueBreaks) {
    const struct {
        const char* name;
        bool enrolling, face;
        int missing;
        bool eyeDue, walkDue;
        double interval;
    } cases[] = {
        {"enrolling beats everything", true, false, 3, true, false, 0.25},
        {"no face", false, false, 0, true, false, 5},
        {"face being lost", false, true, 1, true, false, 5},
        {"eye break awaits confirmation", false, true, 0, true, false, 2},
        {"walk due as well", false, true, 0, true, true, 10},
        {"stable face", false, true, 0, false, false, 10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(evaluationInterval(c.enrolling, c.face, c.missing, c.eyeDue, c.walkDue), c.interval) << c.name;
}

TEST(FrameAnalysis, TheWidestConfidentFaceIsSelectedFirstAmongEquals) {
    const auto face = [](double width, double confidence = 0.9) {
        return FakeVisionAnalyzer::face(0.2, 0.2, width, width, confidence);
    };
    const struct {
        const char* name;
        std::vector<FaceObservation> faces;
        std::size_t counted;
        int selected; // index into faces, -1 none
    } cases[] = {
        {"equal widths: the first", {face(0.30), face(0.30)}, 2, 0},
        {"strictly wider: the later", {face(0.30), face(0.31)}, 2, 1},
        {"0.49 confidence is no face", {face(0.5, 0.49)}, 0, -1},
        {"0.5 confidence counts", {face(0.2, 0.5), face(0.6, 0.3)}, 1, 0},
        {"none", {}, 0, -1},
    };
    for (const auto& c : cases) {
        const auto counted = confidentFaces(c.faces);
        EXPECT_EQ(counted.size(), c.counted) << c.name;
        EXPECT_EQ(selectedFace(counted), c.selected < 0 ? nullptr : &c.faces[std::size_t(c.selected)]) << c.name;
    }
}

TEST(FrameAnalysis, GeometryRoundsToSteps0005AndWholeDegreesAwayFromZero) {
    const struct {
        std::optional<double> value;
        std::optional<double> geometry, degrees;
    } cases[] = {
        {0.2537, 0.255, 0},       {0.2525, 0.255, 0},   {0.2524, 0.25, 0},   {12.5, 12.5, 13},
        {-12.5, -12.5, -13},      {12.4999, 12.5, 12},  {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto geometry = roundedFaceGeometry(c.value);
        ASSERT_EQ(geometry.has_value(), c.geometry.has_value());
        if (geometry) {
            EXPECT_NEAR(*geometry, *c.geometry, 1e-12) << *c.value;
        }
        EXPECT_EQ(roundedDegrees(c.value), c.degrees);
    }
}

TEST(FrameAnalysis, LookingAwayIsInclusiveAndMissingAnglesCountAsZero) {
    const struct {
        std::optional<double> yaw, pitch;
        double yawLimit, pitchLimit;
        bool away;
    } cases[] = {
        {25, 0, 25, 20, true},   {-24.9, 0, 25, 20, false}, {0, -20, 25, 20, true},
        {std::nullopt, std::nullopt, 25, 20, false}, {std::nullopt, std::nullopt, 0, 20, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isLookingAway(c.yaw, c.pitch, c.yawLimit, c.pitchLimit), c.away);
}

// 68 landmark points whose eyes are `leftHeight` and `rightHeight` high and 0.1 wide.
FaceObservation faceWithEyes(double leftHeight, double rightHeight) {
    FaceObservation face = FakeVisionAnalyzer::face(0.2, 0.2, 0.4, 0.4);
    FaceLandmarks marks;
    marks.points.assign(FaceLandmarks::pointCount, {0.5, 0.5});
    const auto eye = [&](std::size_t first, double height) {
        for (std::size_t i = 0; i < 6; ++i)
            marks.points[first + i] = {0.3 + 0.02 * double(i), 0.6 + double(i % 2) * height};
    };
    eye(42, leftHeight);
    eye(36, rightHeight);
    face.landmarks = marks;
    return face;
}

TEST(FrameAnalysis, EyesAreClosedBelowAMeanOpennessOfATenth) {
    const struct {
        const char* name;
        FaceObservation face;
        bool closed;
    } cases[] = {
        {"both shut", faceWithEyes(0.005, 0.005), true},
        {"both open", faceWithEyes(0.03, 0.03), false},
        {"mean just above 0.1 is open", faceWithEyes(0.0101, 0.0101), false},
        {"mean just below 0.1 is shut", faceWithEyes(0.0099, 0.0099), true},
        {"one open lifts the mean", faceWithEyes(0.001, 0.03), false},
        {"no landmarks", FakeVisionAnalyzer::face(0.2, 0.2, 0.4, 0.4), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(eyesAreClosed(c.face), c.closed) << c.name;
}

TEST(FrameAnalysis, EnrolmentQualityWeighsSizeAndCentring) {
    const struct {
        NormalizedRect face;
        double quality;
    } cases[] = {
        {{0.25, 0.25, 0.5, 0.5}, 1.0},   // large and centred
        {{0.4, 0.4, 0.2, 0.2}, 0.58},    // small and centred: (0.16 + 1) / 2
        {{0.0, 0.0, 0.1, 0.1}, 0.12},    // small in a corner: (0.04 + 0.2) / 2
    };
    for (const auto& c : cases)
        EXPECT_NEAR(enrolmentQuality(c.face), c.quality, 1e-9);
}

TEST(FrameAnalysis, ADarkFrameCountsAsAbsenceOnlyInADarkIdleRoomWithoutACompanion) {
    const struct {
        double dark, idle;
        bool bluetooth, watch;
        bool darkRoom;
    } cases[] = {
        {120, 120, false, false, true}, {119.9, 300, false, false, false}, {300, 119.9, false, false, false},
        {120, 120, true, true, false},  {120, 120, true, false, true},     {120, 120, false, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isDarkRoom(c.dark, c.idle, c.bluetooth, c.watch), c.darkRoom)
            << c.dark << " " << c.idle << " " << c.bluetooth << c.watch;
}

TEST(FrameAnalysis, BodyPoseAndWhatItTellsOfTheDesk) {
    const auto pose = [](std::vector<RecognizedBodyPoint> points) {
        return std::optional(BodyPoseObservation{std::move(points)});
    };
    const RecognizedBodyPoint l{BodyJoint::leftShoulder, {0.4, 0.5}, 0.35}, r{BodyJoint::rightShoulder, {0.6, 0.5}, 0.9};
    const struct {
        const char* name;
        std::optional<BodyPoseObservation> observation;
        bool hints, assist;
        BodyPose expected;
        BodyEvidence evidence;
    } cases[] = {
        {"both off", pose({l, r}), false, false, BodyPose::off, BodyEvidence::none},
        {"no observation", std::nullopt, false, true, BodyPose::outOfFrame, BodyEvidence::none},
        {"points unreadable", BodyPoseObservation{}, true, false, BodyPose::unreadable, BodyEvidence::none},
        {"one shoulder", pose({r}), true, true, BodyPose::outOfFrame, BodyEvidence::none},
        {"tilt of 0.075 is level", pose({l, {BodyJoint::rightShoulder, {0.6, 0.575}, 0.9}}), true, true,
         BodyPose::upperBody, BodyEvidence::present},
        {"tilt beyond", pose({l, {BodyJoint::rightShoulder, {0.6, 0.58}, 0.9}}), true, true,
         BodyPose::leaning, BodyEvidence::unclear},
        {"off centre",
         pose({{BodyJoint::leftShoulder, {0.1, 0.5}, 0.9}, {BodyJoint::rightShoulder, {0.3, 0.5}, 0.9}}),
         true, true, BodyPose::offCenter, BodyEvidence::unclear},
        {"a hip", pose({l, r, {BodyJoint::rightHip, {0.55, 0.3}, 0.9}}), true, true,
         BodyPose::upperBodyAndHips, BodyEvidence::present},
        {"hips and knees",
         pose({l, r, {BodyJoint::leftHip, {0.45, 0.3}, 0.9}, {BodyJoint::rightKnee, {0.5, 0.1}, 0.9}}), true,
         true, BodyPose::wideView, BodyEvidence::present},
    };
    for (const auto& c : cases) {
        const BodyPose body = summarizeBodyPose(c.observation, c.hints, c.assist);
        EXPECT_EQ(body, c.expected) << c.name;
        EXPECT_EQ(bodyEvidence(body), c.evidence) << c.name;
    }
}

} // namespace
