#pragma once

#include "Platform/Vision.h"

#include <opencv2/core.hpp>

// OpenCV matrices over our frames. A grey frame is wrapped without copying; the others are converted.

// The frame's pixels in its own layout (no copy): 1, 3 or 2 channels of 8 bits.
cv::Mat matrixOf(const ImageView& image);

// One 8-bit channel of luma.
cv::Mat greyImage(const ImageView& image);
