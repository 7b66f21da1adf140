// Camera sources that cannot give a picture, as a user may name them for the camera: each one ends in
// "Camera error" with its reason in the activity log and on standard output.
#include "Foundation/AtomicFile.h"
#include "Platform/Linux/ClipCameraDevice.h"
#include "Platform/Linux/V4L2CameraDevice.h"
#include "Support/ForgedPictures.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::HasSubstr;

TEST(CameraSource, ThatGivesNoPictureIsACameraErrorWithItsReason) {
    const TemporaryHome sources;
    const fs::path home = sources.path();
    fs::create_directory(home / "empty");
    fs::create_directory(home / "notes");
    fs::create_directory(home / "forged");
    ASSERT_TRUE(AtomicFile::write(home / "notes/todo.txt", "a list", 0600));
    ASSERT_TRUE(AtomicFile::write(home / "noise.jpg", std::string(4096, '\x5A'), 0600));
    ASSERT_TRUE(AtomicFile::write(home / "forged/0001.jpg", ForgedPictures::jpegClaiming(64015, 27156), 0600));
    ASSERT_EQ(::mkfifo((home / "fifo").c_str(), 0600), 0);

    const struct {
        const char* name;
        fs::path source;
        bool node; // a Video4Linux node, else a clip
        std::string reason;
    } rows[] = {
        {"missing path", home / "gone", false, "Cannot open the clip " + (home / "gone").string() + ": No such file"},
        {"empty folder", home / "empty", false, "No JPEG or PNG pictures in " + (home / "empty").string()},
        {"folder of non-pictures", home / "notes", false, "No JPEG or PNG pictures in " + (home / "notes").string()},
        {"FIFO", home / "fifo", false, (home / "fifo").string() + " is neither a folder of pictures nor a video file"},
        {"random bytes named .jpg", home / "noise.jpg", false,
         (home / "noise.jpg").string() + " cannot be decoded: not a JPEG or PNG picture"},
        {"too large a JPEG header", home / "forged", false,
         (home / "forged/0001.jpg").string() +
             " cannot be decoded: a picture of 64015 \u00D7 27156 exceeds the 4096 \u00D7 4096 allowed"},
        {"not a capture device", "/dev/null", true, "/dev/null is not a video capture device"},
        {"missing node", home / "video9", true, "Cannot open " + (home / "video9").string() + ": No such file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MonitorHarness run;
        run.videoQueue = run.runLoop.sharedLoop();
        testing::internal::CaptureStdout();
        const auto monitor = run.makeMonitor(true, [&](MonitorServices& s) {
            s.camera = row.node ? std::shared_ptr<CameraDevice>(V4L2CameraDevice::forNode(row.source))
                                : std::make_shared<ClipCameraDevice>(row.source, run.clock);
        });
        run.runLoop.loop().advance(1);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(monitor->cameraStatus(), "Camera error");
        EXPECT_EQ(monitor->phase(), MonitorPhase::blocked);
        EXPECT_THAT(logTexts(monitor->events()), Contains(HasSubstr("Camera failed: " + row.reason)));
        EXPECT_THAT(printed, HasSubstr("[camera] Camera failed: " + row.reason));
        EXPECT_FALSE(monitor->captureSession());
    }
}

} // namespace
