#pragma once

#include "Platform/CameraDevice.h"
#include "Platform/Linux/V4L2CaptureDevice.h"
#include "Platform/Linux/V4L2System.h"

#include <filesystem>
#include <memory>
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

    // `deviceFolder` is where the video nodes live; tests point it at a folder of their own, and hand
    // in a scripted device as `system`.
    explicit V4L2CameraDevice(std::filesystem::path deviceFolder = "/dev",
                              std::shared_ptr<V4L2System> system = V4L2System::real());
    // The one node `node` (a /dev/video path the user chose), whatever other nodes there are. It is the
    // camera even when it is missing or does not capture: its sessions then fail with the reason.
    static std::shared_ptr<V4L2CameraDevice> forNode(const std::filesystem::path& node);

    int authorizationStatus() override;
    // The first node that captures; its card name is the camera's name. The same node keeps its
    // device object, so that sessions made one after another share the camera's one stream.
    std::shared_ptr<CaptureDevice> defaultVideoDevice() override;

    // The folder's "video<N>" entries in the order of N.
    std::vector<std::filesystem::path> videoNodes() const;
    Probe probe(const std::filesystem::path& node) const;
    // Any node that captures makes the camera usable; otherwise a refused node means the camera is
    // there but not ours to use, and without either there is no camera at all.
    static int statusFromProbes(const std::vector<Probe>& probes);

private:
    // The device object of `node`, kept while the node stays the same camera.
    std::shared_ptr<CaptureDevice> deviceAt(const std::filesystem::path& node, const std::string& card,
                                            std::vector<V4L2Mode> modes);

    std::filesystem::path deviceFolder_;
    std::optional<std::filesystem::path> onlyNode_;
    std::shared_ptr<V4L2System> system_;
    std::optional<int> reportedStatus_; // the last status written to the developer log
    std::shared_ptr<V4L2CaptureDevice> device_;
};
