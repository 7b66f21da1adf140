#pragma once

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

struct HeadPose {
    double yawDegrees = 0;   // positive: turned towards the image's right
    double pitchDegrees = 0; // positive: looking up
};

// The head's turn and tilt from the 68 face landmarks (pixel coordinates, rows growing downwards) of a
// frame of the given size: a generic face model fitted to six of the points, for a camera of about
// 53° horizontal view centred on the frame. Nothing when the fit fails or the points are not 68.
std::optional<HeadPose> estimateHeadPose(const std::vector<cv::Point2d>& landmarks, cv::Size frameSize);
