#include "V4L2CameraDevice.h"

#include "Foundation/SystemLog.h"

#include <algorithm>
#include <cerrno>
#include <linux/videodev2.h>
#include <string>
#include <string_view>

namespace {

bool isVideoNodeName(const std::string& name) {
    constexpr std::string_view prefix = "video";
    return name.size() > prefix.size() && name.starts_with(prefix) &&
           std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool readableFormat(uint32_t pixelFormat) {
    return pixelFormat == V4L2_PIX_FMT_YUYV || pixelFormat == V4L2_PIX_FMT_MJPEG;
}

// The sizes of one format: each discrete size, or of a stepwise range its ends and 640×480 inside it.
void addSizes(V4L2System& system, int fd, uint32_t pixelFormat, std::vector<V4L2Mode>& modes) {
    for (uint32_t index = 0;; ++index) {
        v4l2_frmsizeenum size{};
        size.index = index;
        size.pixel_format = pixelFormat;
        if (system.ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) < 0)
            return;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            modes.push_back({pixelFormat, int(size.discrete.width), int(size.discrete.height)});
            continue;
        }
        const auto& s = size.stepwise;
        modes.push_back({pixelFormat, int(s.min_width), int(s.min_height)});
        if (s.min_width <= 640 && 640 <= s.max_width && s.min_height <= 480 && 480 <= s.max_height)
            modes.push_back({pixelFormat, 640, 480});
        modes.push_back({pixelFormat, int(s.max_width), int(s.max_height)});
        return;
    }
}

std::vector<V4L2Mode> captureModes(V4L2System& system, int fd) {
    std::vector<V4L2Mode> modes;
    for (uint32_t index = 0;; ++index) {
        v4l2_fmtdesc format{};
        format.index = index;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (system.ioctl(fd, VIDIOC_ENUM_FMT, &format) < 0)
            break;
        if (readableFormat(format.pixelformat))
            addSizes(system, fd, format.pixelformat, modes);
    }
    return modes;
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

std::string chosenNodeText(int status, const std::filesystem::path& node) {
    return status == CameraDevice::denied ? node.string() + " refuses access: camera unavailable"
                                          : "Video device chosen: " + node.string();
}

} // namespace

V4L2CameraDevice::V4L2CameraDevice(std::filesystem::path deviceFolder, std::shared_ptr<V4L2System> system)
    : deviceFolder_(std::move(deviceFolder))
    , system_(std::move(system)) {
}

int V4L2CameraDevice::authorizationStatus() {
    std::vector<Probe> probes;
    for (const auto& node : videoNodes())
        probes.push_back(probe(node));
    // The node the user chose is the camera whatever it turns out to be; its sessions say what is wrong.
    const int status = onlyNode_ && probes.front() != Probe::accessDenied ? authorized : statusFromProbes(probes);
    if (reportedStatus_ != status) {
        reportedStatus_ = status;
        systemLog("camera", onlyNode_ ? chosenNodeText(status, *onlyNode_) : statusText(status, deviceFolder_));
    }
    return status;
}

std::shared_ptr<V4L2CameraDevice> V4L2CameraDevice::forNode(const std::filesystem::path& node) {
    auto camera = std::make_shared<V4L2CameraDevice>(node.parent_path());
    camera->onlyNode_ = node;
    return camera;
}

std::vector<std::filesystem::path> V4L2CameraDevice::videoNodes() const {
    if (onlyNode_)
        return {*onlyNode_};
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

// Non-blocking, so that a node held by another program or a slow driver cannot stall the caller.
V4L2CameraDevice::Probe V4L2CameraDevice::probe(const std::filesystem::path& node) const {
    const int fd = system_->open(node);
    if (fd < 0)
        return errno == EACCES || errno == EPERM ? Probe::accessDenied : Probe::unavailable;
    const bool capture = captureCardName(*system_, fd).has_value();
    system_->close(fd);
    return capture ? Probe::capture : Probe::notCapture;
}

std::shared_ptr<CaptureDevice> V4L2CameraDevice::defaultVideoDevice() {
    for (const auto& node : videoNodes()) {
        const int fd = system_->open(node);
        if (fd < 0)
            continue;
        const std::optional<std::string> card = captureCardName(*system_, fd);
        std::vector<V4L2Mode> modes = card ? captureModes(*system_, fd) : std::vector<V4L2Mode>{};
        system_->close(fd);
        if (card)
            return deviceAt(node, *card, std::move(modes));
    }
    // A chosen node that cannot capture is still the camera: opening it tells the user why it fails.
    return onlyNode_ ? deviceAt(*onlyNode_, onlyNode_->string(), {}) : nullptr;
}

std::shared_ptr<CaptureDevice> V4L2CameraDevice::deviceAt(const std::filesystem::path& node, const std::string& card,
                                                          std::vector<V4L2Mode> modes) {
    if (!device_ || device_->node() != node || device_->localizedName() != card || device_->modes() != modes)
        device_ = std::make_shared<V4L2CaptureDevice>(system_, node, card, std::move(modes));
    return device_;
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
