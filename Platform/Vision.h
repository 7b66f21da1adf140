#pragma once

#include "Platform/FeaturePrint.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

// What the camera pipeline measures in a frame. Coordinates are normalised to the frame (0...1) with
// the origin at the bottom left and y growing upwards, so "higher in the picture" is a larger y.

struct NormalizedPoint {
    double x = 0;
    double y = 0;
};

struct NormalizedRect {
    double x = 0; // left edge
    double y = 0; // bottom edge
    double width = 0;
    double height = 0;

    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
};

// A rectangle of whole pixels with the origin at the top left, as images are stored.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

enum class PixelFormat {
    grey8,   // one byte per pixel
    rgb24,   // three bytes per pixel, red first
    bgr24,   // three bytes per pixel, blue first
    yuyv422, // two pixels in four bytes: Y0 U Y1 V (the usual uncompressed camera format)
};

// A frame's pixels, borrowed for the duration of one call.
struct ImageView {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::grey8;
    std::size_t bytesPerRow = 0;
    const uint8_t* pixels = nullptr;

    bool isEmpty() const { return width <= 0 || height <= 0 || !pixels; }
    // `rect` widened, where the format needs it, to a rectangle that can be cut out without copying:
    // YUYV pixels come in pairs, so a YUYV crop starts and ends on a whole pair.
    PixelRect croppableRect(const PixelRect& rect) const;
    // The part of the image inside a croppable `rect` that lies within the image, sharing its pixels.
    ImageView cropped(const PixelRect& rect) const;
};

// The face crop that identity and enrolment prints are made from: the face's bounding box grown by
// 10 % of its size on every side, intersected with the frame. Nothing when that leaves no pixel, or
// when the box is not finite.
std::optional<PixelRect> faceCropRect(int frameWidth, int frameHeight, const NormalizedRect& face);

// The 68 points of a face in the usual annotation order (jaw line 0-16, brows 17-26, nose 27-35,
// eyes 36-47, lips 48-67), normalised to the frame. "Left" and "right" are the person's own sides.
struct FaceLandmarks {
    static constexpr std::size_t pointCount = 68;
    std::vector<NormalizedPoint> points;

    std::span<const NormalizedPoint> rightEye() const { return region(36, 6); }
    std::span<const NormalizedPoint> leftEye() const { return region(42, 6); }
    std::span<const NormalizedPoint> outerLips() const { return region(48, 12); }
    NormalizedPoint chin() const { return points.size() == pointCount ? points[8] : NormalizedPoint{}; }

private:
    std::span<const NormalizedPoint> region(std::size_t first, std::size_t count) const {
        if (points.size() != pointCount)
            return {};
        return std::span<const NormalizedPoint>(points).subspan(first, count);
    }
};

struct FaceObservation {
    NormalizedRect boundingBox;
    // 0...1; the detector's own acceptance threshold reads 0.5.
    double confidence = 0;
    // Head turn to the image's right (the person's left) is a positive yaw; looking up is a positive
    // pitch. Absent when the pose could not be estimated.
    std::optional<double> yawDegrees;
    std::optional<double> pitchDegrees;
    std::optional<FaceLandmarks> landmarks;
};

enum class BodyJoint { leftShoulder, rightShoulder, leftHip, rightHip, leftKnee, rightKnee };

struct RecognizedBodyPoint {
    BodyJoint joint;
    NormalizedPoint location;
    double confidence = 0;
};

struct BodyPoseObservation {
    // The recognised joints of the whole body; absent when the points cannot be read.
    std::optional<std::vector<RecognizedBodyPoint>> recognizedPoints;
};

// Raised when a frame cannot be analysed at all (the face model cannot be loaded, say); the text
// tells the user what failed.
class VisionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The measurements of one frame. Calls come from the camera's queue, one at a time; the first one
// may take a while, since models are loaded only when first needed. Every call may throw VisionError.
class VisionAnalyzer {
public:
    virtual ~VisionAnalyzer() = default;

    // The faces in the frame, each with its landmarks and head pose where they could be measured.
    virtual std::vector<FaceObservation> detectFaces(const ImageView& frame) = 0;
    // Mean luma (0.299 R + 0.587 G + 0.114 B) of the frame in 0...1; 1.0 for an empty frame.
    virtual double averageBrightness(const ImageView& frame) = 0;
    // The print of the face crop (faceCropRect) of `face`, which detectFaces found in this frame;
    // nothing when the crop is empty or the face has no landmarks to align it by.
    virtual std::optional<FeaturePrint> featurePrint(const ImageView& frame, const FaceObservation& face) = 0;
    // The prints that enrolment keeps of `face`: its print, and the print of its mirror image, which
    // stands in for the same head turned the other way, so that an enrolment made while the user
    // turns his head one way also knows him turned the other. Empty when featurePrint gives nothing.
    virtual std::vector<FeaturePrint> enrolmentPrints(const ImageView& frame,
                                                      const FaceObservation& face) = 0;

    virtual bool canDetectBodyPose() const = 0;
    // The body pose of the person in the frame; nothing when there is none (or no body model).
    virtual std::optional<BodyPoseObservation> detectBodyPose(const ImageView& frame) = 0;
};
