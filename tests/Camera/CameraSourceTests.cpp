// Camera sources a user may name that give no picture: each ends in "Camera error" with its reason in
// the activity log and on standard output.
#include "Foundation/AtomicFile.h"
#include "Platform/Linux/ClipCameraDevice.h"
#include "Platform/Linux/V4L2CameraDevice.h"
#include "Support/ForgedPictures.h"
#include "Support/MonitorHarness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using testing::Contains;
using testing::HasSubstr;

TEST(CameraSource, ThatGivesNoPictureIsACameraErrorWithItsReason) {
    const TemporaryHome sources;
    const auto at = [&](const char* name) { return (sources.path() / name).string(); };
    std::filesystem::create_directory(at("empty"));
    std::filesystem::create_directory(at("notes"));
    std::filesystem::create_directory(at("forged"));
    ASSERT_TRUE(AtomicFile::write(at("notes/todo.txt"), "a list", 0600));
    ASSERT_TRUE(AtomicFile::write(at("noise.jpg"), std::string(4096, 'Z'), 0600));
    ASSERT_TRUE(AtomicFile::write(at("forged/1.jpg"), jpegClaiming(64015, 27156), 0600));
    // 36 KB that kept libjpeg busy for most of a second: each of its 1,900 scans walks every block.
    ASSERT_TRUE(AtomicFile::write(at("scans.jpg"), progressiveJpegWithScans(1280, 720, 1900), 0600));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    ASSERT_TRUE(AtomicFile::write(at("huge.jpg"), "", 0600));
    std::filesystem::resize_file(at("huge.jpg"), 300 << 20); // 300 MB that take no room
    const struct {
        std::string source;
        bool node; // a Video4Linux node, else a clip
        std::string reason;
    } rows[] = {
        {at("gone"), false, "Cannot open the clip " + at("gone") + ": No such file or directory"},
        {at("empty"), false, "No JPEG or PNG pictures in " + at("empty")},
        {at("notes"), false, "No JPEG or PNG pictures in " + at("notes")},
        {at("fifo"), false, at("fifo") + " is neither a folder of pictures nor a video file"},
        {at("noise.jpg"), false, at("noise.jpg") + " cannot be decoded: not a JPEG or PNG picture"},
        {at("huge.jpg"), false, "Cannot read the picture " + at("huge.jpg") + ": it is longer than 64 MiB"},
        {at("forged"), false,
         at("forged/1.jpg") +
             " cannot be decoded: a picture of 64015 \u00D7 27156 exceeds the 4096 \u00D7 4096 allowed"},
        {at("scans.jpg"), false, at("scans.jpg") + " cannot be decoded: a JPEG in more than 32 scans"},
        {"/dev/null", true, "/dev/null is not a video capture device"},
        {at("video9"), true, "Cannot open " + at("video9") + ": No such file or directory"},
    };
    for (const auto& row : rows) {
        MonitorHarness h;
        h.videoQueue = h.runLoop.sharedLoop();
        testing::internal::CaptureStdout();
        const auto monitor = h.makeMonitor(true, [&](MonitorServices& s) {
            s.camera = row.node ? std::shared_ptr<CameraDevice>(V4L2CameraDevice::forNode(row.source))
                                : std::make_shared<ClipCameraDevice>(row.source, h.clock);
        });
        h.runLoop.loop().advance(1);
        EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("[camera] Camera failed: " + row.reason));
        EXPECT_THAT(logTexts(monitor->log().events()), Contains("Camera failed: " + row.reason));
        EXPECT_EQ(monitor->statusSummaries().cameraStatus(), "Camera error") << row.source;
        EXPECT_EQ(monitor->phase(), MonitorPhase::blocked) << row.source;
        EXPECT_FALSE(monitor->cameraPresence().captureSession()) << row.source;
    }
}

} // namespace
