#include "Platform/Linux/V4L2CameraDevice.h"
#include "Support/TemporaryHome.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Probe = V4L2CameraDevice::Probe;

namespace {

struct ProbeCase {
    const char* name;
    std::vector<Probe> probes;
    int expected;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.name;
}

class StatusFromProbes : public testing::TestWithParam<ProbeCase> {};

TEST_P(StatusFromProbes, GivesTheMonitorsAuthorisationValue) {
    EXPECT_EQ(V4L2CameraDevice::statusFromProbes(GetParam().probes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatusFromProbes,
    testing::Values(
        ProbeCase{"NoNodes", {}, CameraDevice::noDevice},
        ProbeCase{"OnlyAMetadataNode", {Probe::notCapture}, CameraDevice::noDevice},
        ProbeCase{"NodeThatCannotBeOpened", {Probe::unavailable}, CameraDevice::noDevice},
        ProbeCase{"RefusedNode", {Probe::accessDenied}, CameraDevice::denied},
        ProbeCase{"MetadataNodeOpenButCameraRefused",
                  {Probe::notCapture, Probe::accessDenied},
                  CameraDevice::denied},
        ProbeCase{"OneRefusedOneUsable", {Probe::accessDenied, Probe::capture}, CameraDevice::authorized},
        ProbeCase{"CameraWithMetadataNode", {Probe::capture, Probe::notCapture}, CameraDevice::authorized}),
    [](const testing::TestParamInfo<ProbeCase>& info) { return std::string(info.param.name); });

class V4L2CameraDeviceFolder : public testing::Test {
protected:
    void touch(const std::string& name) { std::ofstream(folder / name) << "not a device"; }

    TemporaryHome home;
    fs::path folder = home.path() / "dev";
    V4L2CameraDevice camera{folder};

    void SetUp() override { fs::create_directories(folder); }
};

TEST_F(V4L2CameraDeviceFolder, ListsVideoNodesInNumericOrderAndNothingElse) {
    for (const char* name : {"video10", "video2", "video0", "videox", "video", "video1a", "media0", "vbi0"})
        touch(name);
    EXPECT_EQ(camera.videoNodes(),
              (std::vector<fs::path>{folder / "video0", folder / "video2", folder / "video10"}));
}

TEST_F(V4L2CameraDeviceFolder, PlainFilesNamedLikeNodesAreNoCamera) {
    touch("video0");
    touch("video1");
    EXPECT_EQ(camera.probe(folder / "video0"), Probe::notCapture);
    EXPECT_EQ(camera.authorizationStatus(), CameraDevice::noDevice);
}

TEST_F(V4L2CameraDeviceFolder, DeviceThatIsNotACameraIsNoCamera) {
    fs::create_symlink("/dev/null", folder / "video0");
    EXPECT_EQ(camera.probe(folder / "video0"), Probe::notCapture);
    EXPECT_EQ(camera.authorizationStatus(), CameraDevice::noDevice);
}

TEST_F(V4L2CameraDeviceFolder, EmptyOrMissingFolderHasNoCamera) {
    EXPECT_EQ(camera.authorizationStatus(), CameraDevice::noDevice);
    EXPECT_EQ(V4L2CameraDevice(folder / "missing").authorizationStatus(), CameraDevice::noDevice);
    EXPECT_EQ(camera.probe(folder / "missing"), Probe::unavailable);
}

} // namespace
