// A video file as the clip camera: decoded by ffmpeg on the session's queue, then played as pictures.
#include "Fakes/ManualRunLoop.h"
#include "Foundation/AtomicFile.h"
#include "Foundation/ChildProcess.h"
#include "Platform/Linux/ClipCameraDevice.h"
#include "Platform/Linux/DecodedVideo.h"
#include "Support/TemporaryHome.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using testing::StartsWith;

namespace fs = std::filesystem;

// One second of the astronaut at 5 frames a second, as an MPEG-4 video.
void writeVideo(const fs::path& file) {
    const auto made =
        ChildProcess::run("ffmpeg",
                          {"-loglevel", "error", "-loop", "1", "-framerate", "5", "-t", "1", "-i",
                           VIGILOR_TEST_IMAGES "/astronaut.png", "-c:v", "mpeg4", file.string()},
                          60);
    ASSERT_TRUE(made.succeeded()) << made.standardError;
}

struct Played {
    std::vector<int> frameWidths;
    std::optional<std::string> runtimeError;
    std::optional<std::string> restart;
};

// Starts a session on `clip`, runs the queue through the decoding and two seconds of play, then starts
// the session again as the monitor does after a runtime error.
void play(const fs::path& clip, Played& played) {
    FakeClock clock;
    const auto queue = std::make_shared<ManualRunLoop>(clock);
    ClipCameraDevice camera(clip, clock);
    ASSERT_EQ(camera.authorizationStatus(), CameraDevice::authorized);
    const auto device = camera.defaultVideoDevice();
    ASSERT_TRUE(device);
    const auto session = device->makeCaptureSession();
    EXPECT_EQ(session->addDeviceInput(), std::nullopt); // the outcome is not known before the decoding
    session->setSampleBufferDelegate(
        [&](const std::shared_ptr<CapturedFrame>& frame) {
            const ImageView* image = frame->imageBuffer();
            played.frameWidths.push_back(image ? image->width : 0);
        },
        queue);
    CaptureSession::Observers observers;
    observers.runtimeError = [&](const std::string& text) { played.runtimeError = text; };
    session->setObservers(observers);
    EXPECT_EQ(session->startRunning(), std::nullopt); // returns at once: the decoding waits on the queue
    EXPECT_TRUE(session->isRunning());
    queue->runUntilIdle();
    queue->advance(2);
    played.restart = session->startRunning();
}

TEST(VideoClipCamera, ReportsWhatTheDecodingGave) {
    if (!ChildProcess::run("ffmpeg", {"-version"}, 10).succeeded())
        GTEST_SKIP() << "ffmpeg is not installed";
    const TemporaryHome home;
    const fs::path empty = home.path() / "empty";
    fs::create_directory(empty);
    writeVideo(home.path() / "-my desk.avi");
    ASSERT_TRUE(AtomicFile::write(home.path() / "notes.avi", "not a video", 0600));
    fs::create_directory(home.path() / "runtime/vigilor-clip-999999999-left"); // by a process now gone
    const fs::path workingFolder = fs::current_path();
    fs::current_path(home.path()); // the clip's name as given, leading dash and all

    const struct {
        const char* clip;
        bool ffmpegOnPath;
        bool plays;
        const char* error;
    } rows[] = {
        {"-my desk.avi", true, true, ClipCaptureDevice::endedDescription},
        {"notes.avi", true, false, "ffmpeg cannot decode the clip: "},
        {"-my desk.avi", false, false, "Cannot run ffmpeg to decode the clip: "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.clip) + (row.ffmpegOnPath ? "" : " without ffmpeg"));
        const ScopedVariable path("PATH", row.ffmpegOnPath ? std::getenv("PATH") : empty.c_str());
        Played played;
        ASSERT_NO_FATAL_FAILURE(play(row.clip, played));
        EXPECT_EQ(!played.frameWidths.empty(), row.plays);
        for (const int width : played.frameWidths)
            EXPECT_EQ(width, 480); // every frame decoded, the 512×512 video fitted into 640×480
        EXPECT_THAT(played.runtimeError.value_or("none"), StartsWith(row.error));
        EXPECT_EQ(played.restart, played.runtimeError);
        EXPECT_TRUE(fs::is_empty(home.path() / "runtime")); // the frames went with the camera, and those left
    }
    // The application never lets its camera go: the frames go when the process quits.
    EXPECT_EXIT(std::exit(new auto(DecodedVideo::decode("-my desk.avi", 5)) && !fs::is_empty(home.path() / "runtime")
                              ? 0
                              : 1),
                testing::ExitedWithCode(0), "");
    EXPECT_TRUE(fs::is_empty(home.path() / "runtime"));
    fs::current_path(workingFolder);
}

} // namespace
