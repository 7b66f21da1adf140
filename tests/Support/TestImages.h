#pragma once

#include "Platform/Vision.h"

#include <opencv2/core.hpp>

#include <filesystem>
#include <string>
#include <vector>

// Photographs from Debian packages (scripts/test puts them in build/test-images) and frames made from
// them, for the vision backend's tests and benchmarks.
namespace TestImages {

// "astronaut.png" (one woman, frontal), "basketball1.png" and "basketball2.png" (two frames of one
// video: a man facing the camera on the left), "messi5.jpg" (a footballer). Every image loads as BGR;
// a missing file throws with its path.
cv::Mat load(const std::string& name);

// A borrowed view of a BGR (bgr24) or one-channel (grey8) matrix.
ImageView viewOf(const cv::Mat& image);

// The image shrunk or enlarged by `factor` (1.3: larger).
cv::Mat scaled(const cv::Mat& image, double factor);
// The image on a mid-grey canvas of width × height, its top-left corner at (x, y).
cv::Mat placed(const cv::Mat& image, int width, int height, int x, int y);
// Every pixel v as gain × v + offset, clamped.
cv::Mat relit(const cv::Mat& image, double gain, double offset);
// One channel of luma.
cv::Mat grey(const cv::Mat& bgr);
// Left and right swapped.
cv::Mat mirrored(const cv::Mat& image);
// The same picture in the camera's YUYV layout (two channels of 8 bits).
cv::Mat yuyvOf(const cv::Mat& bgr);

// Writes `frames` (BGR) as a clip folder that plays them in order, one picture a frame: each distinct
// matrix once as a PNG, its repeats as links to it, so that long stretches cost no room.
void writeClip(const std::filesystem::path& folder, const std::vector<cv::Mat>& frames);

// A 640×480 frame of `person` (a photograph) scaled by `scale`, shifted by (dx, dy) pixels from the
// centre and lit by `gain`: small changes that give each frame a face print of its own.
cv::Mat portraitFrame(const cv::Mat& person, double scale, int dx, int dy, double gain = 1.0);
// A 640×480 frame of an empty mid-grey room.
cv::Mat emptyFrame();

// A face that dlib's example photographs (libdlib-dev) mark, in a box as the detector draws faces:
// 43 faces of people in groups, at many angles and lights.
struct AnnotatedFace {
    std::string file;
    cv::Rect box;
};
std::vector<AnnotatedFace> annotatedFaces();
// A 640×480 frame of the head and shoulders of `face`, alone on mid-grey, scaled so that the face's box
// is `widthFraction` of the frame's width and centred where a seated user's face is (mid-width, upper
// third).
cv::Mat deskFrameOf(const AnnotatedFace& face, double widthFraction);
// Where deskFrameOf puts the face's box.
cv::Rect2d deskBoxOf(const AnnotatedFace& face, double widthFraction);
// Whether one of `faces`, found in a frame of the given size, is the face in `box` (pixels): its centre
// lies in the box and its width is within half and twice the box's.
bool showsFace(const std::vector<FaceObservation>& faces, const cv::Rect2d& box, cv::Size frame);

// 640×480 frames without a person: 100 plain and textured walls, and 145 crops of photographs without
// faces from Debian packages (in build/test-images/faceless).
std::vector<cv::Mat> wallFrames();
std::vector<cv::Mat> facelessPictureFrames();

} // namespace TestImages
