#include "V4L2CameraDevice.h"

#include "Foundation/SystemLog.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool isVideoNodeName(const std::string& name) {
    constexpr std::string_view prefix = "video";
    return name.size() > prefix.size() && name.starts_with(prefix) &&
           std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int queryCapabilities(int fd, v4l2_capability& capability) {
    int result;
    do
        result = ::ioctl(fd, VIDIOC_QUERYCAP, &capability);
    while (result < 0 && errno == EINTR);
    return result;
}

std::string statusText(int status, const std::filesystem::path& folder) {
    switch (status) {
    case CameraDevice::authorized:
        return "Video capture device available in " + folder.string();
    case CameraDevice::denied:
        return "Video capture devices in " + folder.string() + " refuse access: camera unavailable";
    default:
        return "No video capture device in " + folder.string() + ": camera unavailable";
    }
}

} // namespace

V4L2CameraDevice::V4L2CameraDevice(std::filesystem::path deviceFolder)
    : deviceFolder_(std::move(deviceFolder)) {
}

int V4L2CameraDevice::authorizationStatus() {
    std::vector<Probe> probes;
    for (const auto& node : videoNodes())
        probes.push_back(probe(node));
    const int status = statusFromProbes(probes);
    if (reportedStatus_ != status) {
        reportedStatus_ = status;
        systemLog("camera", statusText(status, deviceFolder_));
    }
    return status;
}

std::vector<std::filesystem::path> V4L2CameraDevice::videoNodes() const {
    std::vector<std::filesystem::path> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(deviceFolder_, error)) {
        if (isVideoNodeName(entry.path().filename().string()))
            nodes.push_back(entry.path());
    }
    // Shorter names first puts video2 before video10.
    std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) {
        const std::string x = a.filename().string(), y = b.filename().string();
        return x.size() != y.size() ? x.size() < y.size() : x < y;
    });
    return nodes;
}

V4L2CameraDevice::Probe V4L2CameraDevice::probe(const std::filesystem::path& node) {
    // Non-blocking, so that a node held by another program or a slow driver cannot stall the caller.
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EACCES || errno == EPERM ? Probe::accessDenied : Probe::unavailable;
    v4l2_capability capability{};
    const bool answered = queryCapabilities(fd, capability) == 0;
    ::close(fd);
    if (!answered)
        return Probe::notCapture;
    // A node's own capabilities, where the driver gives them, rather than those of the whole device.
    const uint32_t capabilities =
        capability.capabilities & V4L2_CAP_DEVICE_CAPS ? capability.device_caps : capability.capabilities;
    return capabilities & V4L2_CAP_VIDEO_CAPTURE ? Probe::capture : Probe::notCapture;
}

int V4L2CameraDevice::statusFromProbes(const std::vector<Probe>& probes) {
    const auto any = [&](Probe wanted) {
        return std::find(probes.begin(), probes.end(), wanted) != probes.end();
    };
    if (any(Probe::capture))
        return authorized;
    if (any(Probe::accessDenied))
        return denied;
    return noDevice;
}
