#pragma once

#include "Platform/FeaturePrint.h"

#include <opencv2/core.hpp>

// Version 1 feature prints: the face is aligned by its landmarks into a square chip, smoothed, and
// described by uniform local binary patterns (8 neighbours at 2 pixels), counted separately in each
// cell of a grid; each cell's histogram is normalised and square-rooted, and the whole print scaled
// to unit length. Patterns compare pixels with their neighbours, so an overall change of brightness
// or contrast leaves the print as it is; the alignment takes out shifts, scale and tilt.
namespace LbpFacePrint {

constexpr int chipSize = 96;        // pixels on a side
constexpr double chipPadding = 0.1; // around the landmarks, as a fraction of the face
constexpr int gridSize = 8;         // cells on a side
constexpr double smoothingSigma = 1.5;

// The print of an aligned chipSize × chipSize grey chip.
FeaturePrint printOfChip(const cv::Mat& chip);

} // namespace LbpFacePrint
