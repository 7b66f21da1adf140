#include "Fakes/ManualRunLoop.h"
#include "Foundation/Base64.h"
#include "Support/Stalls.h"
#include "Support/TemporaryHome.h"
#include "Vigilor/Camera/FaceIdentityService.h"
#include "Vigilor/Camera/FeaturePrintEntry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Unit vectors, so that distances are plain to work out: 0.9 × the Euclidean distance.
const FeaturePrint east(FeaturePrint::currentVersion, {1, 0});
const FeaturePrint north(FeaturePrint::currentVersion, {0, 1});
const FeaturePrint northEast(FeaturePrint::currentVersion, {0.6f, 0.8f});

Json entryOf(const std::string& dataBase64) {
    return FeaturePrintEntry{0.8, "2026-03-14T09:26:53Z", dataBase64}.toJSON();
}
Json entryOf(const FeaturePrint& print) {
    return entryOf(base64Encoded(print.archived()));
}

class FaceIdentityServiceTest : public ::testing::Test {
protected:
    void write(const std::string& text) {
        fs::create_directories(fs::path(service.enrollmentPath()).parent_path());
        std::ofstream(service.enrollmentPath(), std::ios::trunc) << text;
    }
    void writeEntries(const Json& entries) { write(entries.dump(2)); }
    void setModificationTime(int64_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, service.enrollmentPath().c_str(), times, 0), 0);
    }

    FaceMatchOutcome match(const FeaturePrint& probe, double threshold = 0.6) {
        std::optional<FaceMatchOutcome> outcome;
        service.matchFeaturePrintInProcess(probe, threshold,
                                           [&](FaceMatchOutcome result) { outcome = result; });
        loop.runUntilIdle();
        return outcome.value();
    }
    std::string errorOf(const FeaturePrint& probe) {
        const auto outcome = match(probe);
        return outcome.failure() ? outcome.failure()->errorDescription() : "no error";
    }

    TemporaryHome home;
    FakeClock clock;
    MainRunLoopScope scope{clock};
    ManualRunLoop& loop = scope.loop();
    FaceIdentityService service{std::nullopt, scope.sharedLoop()};
};

TEST_F(FaceIdentityServiceTest, ReadsTheEnrolmentFileInTheHomeFolder) {
    EXPECT_EQ(service.enrollmentPath(), (home.path() / ".config/tavrel/known-face-enrollment.json").string());
    EXPECT_EQ(errorOf(east), "Face enrollment file not found. Enrol your face first.");
}

struct LoadCase {
    const char* name;
    std::string contents;
    const char* error; // how the load fails; none: the good entry matches, the bad one left out
};

const std::string goodEntry = entryOf(east).dump();

const LoadCase loadCases[] = {
    {"empty array", "[]", "Invalid enrollment: Enrollment file is empty"},
    {"not JSON", "[{", "Invalid enrollment: Failed to load enrollment: [json.exception.parse_error.101]"},
    {"not an array", "{}",
     "Invalid enrollment: Failed to load enrollment: The enrollment file does not hold a JSON array"},
    {"only an entry without its capture time", R"([{"quality": 1, "data_base64": ""}])",
     "Invalid enrollment: Failed to load enrollment: Entry 0: Value for key \"captured_at\" is not a string"},
    {"capture time as a number",
     "[" + goodEntry + R"(, {"quality": 1, "captured_at": 5, "data_base64": ""}])", nullptr},
    {"an entry without its quality", "[" + goodEntry + R"(, {"captured_at": "", "data_base64": ""}])",
     nullptr},
    {"only a quality as a text", R"([{"quality": "1", "captured_at": "", "data_base64": ""}])",
     "Invalid enrollment: Failed to load enrollment: Entry 0: Value for key \"quality\" is not a number"},
    {"second print with a space", "[" + goodEntry + "," + entryOf("AAAA AAA=").dump() + "]", nullptr},
    {"only a print with a line break", "[" + entryOf(base64Encoded(east.archived()) + "\n").dump() + "]",
     "Invalid enrollment: Failed to decode entry [0]: featurePrintDecodingFailed(\"Invalid base64\")"},
    {"only bytes that are no print", "[" + entryOf(base64Encoded("a picture")).dump() + "]",
     "Invalid enrollment: Failed to decode entry [0]: featurePrintDecodingFailed(\"Failed to unarchive "
     "feature print\")"},
    {"only a print of another version", "[" + entryOf(FeaturePrint(7, {1, 0})).dump() + "]",
     "Invalid enrollment: Failed to decode entry [0]: feature print version 7 is not supported"},
};

// An entry that cannot be read is left out, and only a file of which none can be read fails the load.
TEST_F(FaceIdentityServiceTest, AnEntryThatCannotBeReadCostsOnlyItself) {
    for (const auto& c : loadCases) {
        SCOPED_TRACE(c.name);
        write(c.contents);
        setModificationTime(1000 + (&c - loadCases));
        const auto outcome = match(east); // once: after a failed load the last good prints are used
        if (c.error) {
            ASSERT_EQ(outcome.kind(), FaceMatchOutcome::Case::error);
            EXPECT_EQ(outcome.failure()->kind(), FaceIdentityError::Case::enrollmentInvalid);
            const std::string description = outcome.failure()->errorDescription();
            EXPECT_EQ(description.rfind(c.error, 0), 0u) << description;
        } else {
            EXPECT_EQ(outcome.kind(), FaceMatchOutcome::Case::match);
            EXPECT_EQ(outcome.unreadableEntries(), 1u);
        }
    }
    fs::remove(service.enrollmentPath());
    const NamedPipe pipe(service.enrollmentPath()); // read as a file, it would hold the queue for ever
    EXPECT_EQ(errorOf(east), "Invalid enrollment: Failed to load enrollment: The file " +
                                 service.enrollmentPath() + " could not be read: it is not a regular file");
    EXPECT_FALSE(pipe.heldAReader());
}

TEST_F(FaceIdentityServiceTest, MatchesOnlyStrictlyBelowTheThreshold) {
    Json entries = Json::array({entryOf(north), entryOf(northEast), entryOf(northEast)});
    entries[1]["note"] = "extra keys are ignored";
    writeEntries(entries);
    const double nearest = east.distance(northEast); // 0.9 × √0.8, the smallest of the three
    const struct {
        const char* name;
        double threshold;
        FaceMatchOutcome::Case outcome;
    } cases[] = {
        {"threshold just above", std::nextafter(nearest, 1.0), FaceMatchOutcome::Case::match},
        {"threshold equal", nearest, FaceMatchOutcome::Case::noMatch},
        {"threshold below", 0.6, FaceMatchOutcome::Case::noMatch},
        {"threshold not a number", std::numeric_limits<double>::quiet_NaN(), FaceMatchOutcome::Case::noMatch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto outcome = match(east, c.threshold);
        EXPECT_EQ(outcome.kind(), c.outcome);
        EXPECT_EQ(outcome.distance(), nearest);
    }
    EXPECT_EQ(match(northEast).kind(), FaceMatchOutcome::Case::match);
    EXPECT_EQ(errorOf(FeaturePrint(2, {1, 0})),
              "Invalid enrollment: Unexpected error: feature prints of versions 2 and 1 cannot be compared");
}

TEST_F(FaceIdentityServiceTest, RereadsTheFileOnlyWhenItsTimeChanges) {
    writeEntries(Json::array({entryOf(east)}));
    setModificationTime(1000);
    EXPECT_EQ(match(east).kind(), FaceMatchOutcome::Case::match);

    // New contents with the old time: not read.
    writeEntries(Json::array({entryOf(north)}));
    setModificationTime(1000);
    EXPECT_EQ(match(east).kind(), FaceMatchOutcome::Case::match);

    // A new time: read.
    setModificationTime(2000);
    EXPECT_EQ(match(east).kind(), FaceMatchOutcome::Case::noMatch);

    // Broken after a good load: the error once, then the prints of the last good load.
    write("[");
    setModificationTime(3000);
    EXPECT_EQ(match(north).kind(), FaceMatchOutcome::Case::error);
    EXPECT_EQ(match(north).kind(), FaceMatchOutcome::Case::match);

    fs::remove(service.enrollmentPath());
    EXPECT_EQ(match(north).failure()->kind(), FaceIdentityError::Case::enrollmentMissing);
}

TEST_F(FaceIdentityServiceTest, AnEmptyCacheReadsTheFileEveryTime) {
    write("[]");
    setModificationTime(1000);
    EXPECT_EQ(match(east).kind(), FaceMatchOutcome::Case::error);
    writeEntries(Json::array({entryOf(east)}));
    setModificationTime(1000);
    EXPECT_EQ(match(east).kind(), FaceMatchOutcome::Case::match);
}

TEST(FaceIdentityErrorTest, DescriptionsAndTextualForms) {
    using Case = FaceIdentityError::Case;
    const struct {
        FaceIdentityError error;
        const char* description;
        const char* textualForm;
    } cases[] = {
        {FaceIdentityError(Case::enrollmentInvalid, "x"), "Invalid enrollment: x",
         "enrollmentInvalid(\"x\")"},
        {FaceIdentityError(Case::featurePrintEncodingFailed, "a \"b\""),
         "Failed to encode face feature: a \"b\"", "featurePrintEncodingFailed(\"a \\\"b\\\"\")"},
        {FaceIdentityError(Case::featurePrintDecodingFailed, "x"), "Failed to decode enrollment: x",
         "featurePrintDecodingFailed(\"x\")"},
        {FaceIdentityError(Case::captureProcessFailed, -2), "Camera capture failed with exit code -2",
         "captureProcessFailed(-2)"},
        {FaceIdentityError(Case::matchProcessFailed, 3), "Face matching failed with exit code 3",
         "matchProcessFailed(3)"},
        {FaceIdentityError(Case::matchParsingFailed, "x"), "Failed to parse match results: x",
         "matchParsingFailed(\"x\")"},
        {FaceIdentityError(Case::filePermissionFailed, "x"), "File permission error: x",
         "filePermissionFailed(\"x\")"},
        {FaceIdentityError(Case::invalidJSON, "x"), "Invalid JSON: x", "invalidJSON(\"x\")"},
        {FaceIdentityError(Case::enrollmentMissing), "Face enrollment file not found. Enrol your face first.",
         "enrollmentMissing"},
        {FaceIdentityError(Case::captureNoFrames),
         "No valid face frames captured. Ensure good lighting and centre your face.", "captureNoFrames"},
        {FaceIdentityError(Case::visionUnavailable), "Face detection is unavailable on this computer",
         "visionUnavailable"},
        {FaceIdentityError(Case::cameraAccessDenied),
         "Camera access denied. Give your user access to the camera's video device and try again.",
         "cameraAccessDenied"},
        {FaceIdentityError(Case::subprocessTimeout), "Face capture timed out. Try again.",
         "subprocessTimeout"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.errorDescription(), c.description);
        EXPECT_EQ(c.error.textualForm(), c.textualForm);
    }
}

} // namespace
