#pragma once

#include "Platform/CameraDevice.h"

#include <filesystem>
#include <optional>
#include <vector>

// The camera as Video4Linux shows it: the video nodes /dev/video0, /dev/video1 ... A node is a camera
// when it answers VIDIOC_QUERYCAP with the video-capture capability; many webcams add a metadata node
// beside it, which is not one. Linux has no consent prompt: the user may use the camera when the
// node's permissions let them open it (usually membership of the "video" group), so a refused open is
// the denial the monitor reports.
//
// Called on the main thread; each call looks at the nodes afresh, so a camera plugged in later counts.
class V4L2CameraDevice final : public CameraDevice {
public:
    // What opening and asking one node found.
    enum class Probe { capture, notCapture, accessDenied, unavailable };

    // `deviceFolder` is where the video nodes live; tests point it at a folder of their own.
    explicit V4L2CameraDevice(std::filesystem::path deviceFolder = "/dev");

    int authorizationStatus() override;
    // Frame capture is not built yet: there is no session to make.
    std::shared_ptr<CaptureSession> makeCaptureSession() override { return nullptr; }

    // The folder's "video<N>" entries in the order of N.
    std::vector<std::filesystem::path> videoNodes() const;
    static Probe probe(const std::filesystem::path& node);
    // Any node that captures makes the camera usable; otherwise a refused node means the camera is
    // there but not ours to use, and without either there is no camera at all.
    static int statusFromProbes(const std::vector<Probe>& probes);

private:
    std::filesystem::path deviceFolder_;
    std::optional<int> reportedStatus_; // the last status written to the developer log
};
