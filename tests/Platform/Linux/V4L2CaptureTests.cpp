#include "Fakes/ManualRunLoop.h"
#include "Fakes/ScriptedV4L2Device.h"
#include "Platform/Linux/FrameMailbox.h"
#include "Platform/Linux/V4L2CameraDevice.h"
#include "Support/ForgedPictures.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Preset = CaptureSession::Preset;

V4L2Mode yuyv(int w, int h) {
    return {V4L2_PIX_FMT_YUYV, w, h};
}
V4L2Mode mjpeg(int w, int h) {
    return {V4L2_PIX_FMT_MJPEG, w, h};
}

TEST(V4L2CaptureMode, IsTheSmallestReadablePictureOfAtLeast640By480) {
    const V4L2Mode grey{V4L2_PIX_FMT_GREY, 640, 480};
    const struct {
        const char* name;
        std::vector<V4L2Mode> modes;
        Preset preset;
        std::optional<V4L2Mode> expected;
    } cases[] = {
        {"smallest large enough", {yuyv(1280, 720), yuyv(640, 480), yuyv(320, 240)}, Preset::low, yuyv(640, 480)},
        {"YUYV before MJPEG at one size", {mjpeg(640, 480), yuyv(640, 480)}, Preset::low, yuyv(640, 480)},
        {"MJPEG when smaller", {yuyv(1280, 720), mjpeg(800, 600)}, Preset::low, mjpeg(800, 600)},
        {"640 wide but too low", {yuyv(640, 360), yuyv(1280, 720)}, Preset::low, yuyv(1280, 720)},
        {"unreadable formats are skipped", {grey, mjpeg(1920, 1080)}, Preset::low, mjpeg(1920, 1080)},
        {"nothing large enough", {yuyv(320, 240)}, Preset::low, std::nullopt},
        {"medium takes the largest", {yuyv(160, 120), yuyv(320, 240)}, Preset::medium, yuyv(320, 240)},
        {"nothing readable", {grey}, Preset::medium, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(chooseCaptureMode(c.modes, c.preset), c.expected) << c.name;
        if (c.preset == Preset::low) {
            EXPECT_EQ(canUseLowPreset(c.modes), c.expected.has_value()) << c.name;
        }
    }
}

// A capture on scripted nodes (named by files in a folder of the test's own), its frames handed over
// on a run loop.
class V4L2Capture : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder);
        for (const char* name : {"video0", "video1"})
            std::ofstream(folder / name) << "";
        device->nodes[video0] = ScriptedV4L2Device::Node{.capture = false, .card = "Metadata"};
        device->nodes[video1] = ScriptedV4L2Device::Node{};
    }

    std::shared_ptr<CaptureSession> makeSession() {
        auto captureDevice = camera.defaultVideoDevice();
        EXPECT_TRUE(captureDevice);
        auto session = captureDevice->makeCaptureSession();
        session->setSessionPreset(Preset::low);
        session->setSampleBufferDelegate([this](std::shared_ptr<CapturedFrame> f) { frames.push_back(f); },
                                         runLoop.sharedLoop());
        CaptureSession::Observers observers;
        observers.wasInterrupted = [this] { notices.push_back("interrupted"); };
        observers.interruptionEnded = [this] { notices.push_back("ended"); };
        observers.runtimeError = [this](const std::string& text) {
            std::lock_guard lock(mutex);
            runtimeErrors.push_back(text);
        };
        session->setObservers(observers);
        return session;
    }
    // Runs the loop until `done` holds, for work that comes from the capture thread.
    bool eventually(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            runLoop.loop().runUntilIdle();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    std::vector<std::string> errors() {
        std::lock_guard lock(mutex);
        return runtimeErrors;
    }

    TemporaryHome home;
    std::filesystem::path folder = home.path() / "dev";
    std::string video0 = (folder / "video0").string(), video1 = (folder / "video1").string();
    FakeClock clock;
    MainRunLoopScope runLoop{clock};
    std::shared_ptr<ScriptedV4L2Device> device = std::make_shared<ScriptedV4L2Device>();
    V4L2CameraDevice camera{folder, device};
    std::vector<std::shared_ptr<CapturedFrame>> frames;
    std::vector<std::string> notices;
    std::mutex mutex;
    std::vector<std::string> runtimeErrors;
};

TEST_F(V4L2Capture, TheFirstCaptureNodeIsTheCameraAndItsCardItsName) {
    const auto captureDevice = camera.defaultVideoDevice();
    ASSERT_TRUE(captureDevice);
    EXPECT_EQ(captureDevice->localizedName(), "Scripted Camera");
    EXPECT_EQ(camera.defaultVideoDevice(), captureDevice) << "one device object per node";
    device->nodes[video1].capture = false;
    EXPECT_FALSE(camera.defaultVideoDevice());
}

TEST_F(V4L2Capture, OffersTheFrameRatesOfTheChosenPicture) {
    const struct {
        const char* name;
        std::vector<double> discrete;
        std::vector<std::pair<double, double>> expected;
    } cases[] = {
        {"fixed rates", {30, 15, 5}, {{30, 30}, {15, 15}, {5, 5}}},
        {"a continuous range", {}, {{1, 30}}},
    };
    for (const auto& c : cases) {
        device->nodes[video1].discreteRates = c.discrete;
        std::vector<std::pair<double, double>> ranges;
        for (const auto& r : camera.defaultVideoDevice()->activeFormatFrameRateRanges())
            ranges.emplace_back(r.minFrameRate, r.maxFrameRate);
        EXPECT_EQ(ranges, c.expected) << c.name;
    }
}

TEST_F(V4L2Capture, DeliversFramesWhileRunningAndClosesTheCameraWhenStopped) {
    auto session = makeSession();
    ASSERT_EQ(session->startRunning(), std::nullopt);
    EXPECT_TRUE(session->isRunning());
    EXPECT_EQ(device->lastFormat(), V4L2_PIX_FMT_YUYV);
    device->pushFrame(std::string(640 * 480 * 2, '\x80'));
    ASSERT_TRUE(eventually([&] { return !frames.empty(); }));
    const ImageView* image = frames.front()->imageBuffer();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->format, PixelFormat::yuyv422);
    EXPECT_EQ(image->width, 640);
    device->pushFrame(std::string(10, 'x')); // too short for a picture
    ASSERT_TRUE(eventually([&] { return frames.size() == 2; }));
    EXPECT_FALSE(frames.back()->imageBuffer());

    session->stopRunning();
    EXPECT_FALSE(session->isRunning());
    EXPECT_EQ(device->openCount(), 0) << "the light goes off";
}

TEST_F(V4L2Capture, AStartTakesTheCameraFromTheSessionThatHadIt) {
    auto first = makeSession();
    auto second = makeSession();
    ASSERT_EQ(first->startRunning(), std::nullopt);
    ASSERT_EQ(second->startRunning(), std::nullopt);
    EXPECT_FALSE(first->isRunning());
    EXPECT_TRUE(second->isRunning());
    EXPECT_EQ(device->streamingCount(), 1);
    first->stopRunning(); // too late to matter
    EXPECT_TRUE(second->isRunning());
}

TEST_F(V4L2Capture, ABusyCameraInterruptsUntilItIsFree) {
    device->setBusy(video1, true);
    auto session = makeSession();
    EXPECT_EQ(session->startRunning(), std::nullopt);
    EXPECT_EQ(notices, std::vector<std::string>{"interrupted"});
    EXPECT_FALSE(session->isRunning());
    runLoop.loop().advance(V4L2CaptureSession::busyRetryInterval);
    EXPECT_EQ(notices.size(), 1u) << "still busy";
    device->setBusy(video1, false);
    runLoop.loop().advance(V4L2CaptureSession::busyRetryInterval);
    EXPECT_EQ(notices, (std::vector<std::string>{"interrupted", "ended"}));
    EXPECT_TRUE(session->isRunning());
}

TEST_F(V4L2Capture, AnUnpluggedCameraIsARuntimeErrorAndCannotStartAgain) {
    auto session = makeSession();
    ASSERT_EQ(session->startRunning(), std::nullopt);
    device->unplug(video1);
    ASSERT_TRUE(eventually([&] { return !errors().empty(); }));
    EXPECT_EQ(errors(), std::vector<std::string>{"No such device"});
    EXPECT_FALSE(session->isRunning());
    EXPECT_EQ(session->startRunning(), "No such file or directory");
}

TEST_F(V4L2Capture, TheFrameRateIsSetWhereTheCameraAllowsIt) {
    auto captureDevice = camera.defaultVideoDevice();
    auto session = makeSession();
    ASSERT_EQ(session->startRunning(), std::nullopt);
    // Refused while streaming: kept for the next start, which a pulse brings soon.
    EXPECT_EQ(captureDevice->setActiveVideoFrameDuration(0.2), std::nullopt);
    session->stopRunning();
    ASSERT_EQ(session->startRunning(), std::nullopt);
    EXPECT_DOUBLE_EQ(device->setFrameDuration(), 0.2);
    EXPECT_DOUBLE_EQ(captureDevice->activeVideoMinFrameDuration(), 0.2);

    device->nodes[video1].timePerFrame = false;
    session->stopRunning();
    ASSERT_EQ(session->startRunning(), std::nullopt);
    EXPECT_EQ(captureDevice->setActiveVideoFrameDuration(0.2), std::strerror(ENOTTY));
}

TEST_F(V4L2Capture, AnMJPEGFrameIsReadAsItsLumaAndUnreadableFramesEndTheCamera) {
    device->nodes[video1].formats = {{V4L2_PIX_FMT_MJPEG, {{640, 480}}}};
    auto session = makeSession();
    ASSERT_EQ(session->startRunning(), std::nullopt);
    std::ifstream file(std::string(VIGILOR_TEST_IMAGES) + "/messi5.jpg", std::ios::binary);
    std::stringstream jpeg;
    jpeg << file.rdbuf();
    ASSERT_FALSE(jpeg.str().empty());
    // Then frames that are refused: garbage, a header whose 1.7 GB are never allocated, a picture
    // larger than the mode the camera agreed to, a progressive picture (cameras send baseline frames),
    // and one cut short, which libjpeg would fill with grey.
    for (const std::string& bytes :
         {jpeg.str(), std::string("not a picture"), jpegClaiming(64015, 27156), jpegClaiming(641, 480),
          progressiveJpegWithScans(640, 480, 2), jpeg.str().substr(0, jpeg.str().size() / 2)}) {
        device->pushFrame(bytes);
        ASSERT_TRUE(eventually([&, n = frames.size() + 1] { return frames.size() == n; }));
    }
    const ImageView* image = frames.front()->imageBuffer();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->format, PixelFormat::grey8);
    EXPECT_GT(image->width, 0);
    for (std::size_t i = 1; i < frames.size(); ++i)
        EXPECT_FALSE(frames[i]->imageBuffer()) << i;
    // Three in a row: the camera gives nothing usable, and starting it again does not help; a new
    // session tries afresh.
    EXPECT_EQ(errors(), std::vector<std::string>{
                            "The camera's frames cannot be decoded: a picture of 641 \u00D7 480 exceeds the 640 "
                            "\u00D7 480 allowed"});
    session->stopRunning();
    EXPECT_EQ(session->startRunning(), errors().front());
    EXPECT_EQ(session->addDeviceInput(), std::nullopt);
    EXPECT_EQ(session->startRunning(), std::nullopt);
}

TEST(FrameMailbox, KeepsOnlyTheNewestFrameThatWaits) {
    FakeClock clock;
    MainRunLoopScope runLoop(clock);
    FrameMailbox mailbox;
    std::vector<CapturedFrame*> handed;
    mailbox.setDelegate([&](std::shared_ptr<CapturedFrame> f) { handed.push_back(f.get()); }, runLoop.sharedLoop());
    struct Frame : CapturedFrame {
        const ImageView* imageBuffer() override { return nullptr; }
    };
    auto a = std::make_shared<Frame>(), b = std::make_shared<Frame>(), c = std::make_shared<Frame>();
    mailbox.deliver(a);
    mailbox.deliver(b);
    runLoop.loop().runUntilIdle();
    mailbox.deliver(c);
    mailbox.setDelegate({}, nullptr);
    runLoop.loop().runUntilIdle();
    EXPECT_EQ(handed, std::vector<CapturedFrame*>{b.get()}) << "late frames dropped; none after the delegate left";
}

} // namespace
