#include "LbpFacePrint.h"

#include <opencv2/imgproc.hpp>

#include <array>
#include <cmath>

namespace {

constexpr int radius = 2;
// 58 patterns with at most two 0/1 transitions around the circle, and one bin for all the others.
constexpr int binCount = 59;

constexpr std::array<uint8_t, 256> makeUniformBins() {
    std::array<uint8_t, 256> bins{};
    uint8_t next = 0;
    for (int code = 0; code < 256; ++code) {
        int transitions = 0;
        for (int bit = 0; bit < 8; ++bit)
            transitions += ((code >> bit) & 1) != ((code >> ((bit + 1) % 8)) & 1);
        bins[code] = transitions <= 2 ? next++ : binCount - 1;
    }
    return bins;
}

constexpr auto uniformBins = makeUniformBins();
constexpr int offsetX[8] = {-radius, 0, radius, radius, radius, 0, -radius, -radius};
constexpr int offsetY[8] = {-radius, -radius, -radius, 0, radius, radius, radius, 0};

void normaliseCells(std::vector<float>& histogram) {
    double squares = 0;
    for (std::size_t cell = 0; cell < histogram.size(); cell += binCount) {
        double count = 0;
        for (int bin = 0; bin < binCount; ++bin)
            count += histogram[cell + bin];
        for (int bin = 0; bin < binCount && count > 0; ++bin) {
            histogram[cell + bin] = static_cast<float>(std::sqrt(histogram[cell + bin] / count));
            squares += histogram[cell + bin] * histogram[cell + bin];
        }
    }
    const double length = std::sqrt(squares);
    for (float& value : histogram)
        value = length > 0 ? static_cast<float>(value / length) : 0.0f;
}

} // namespace

FeaturePrint LbpFacePrint::printOfChip(const cv::Mat& chip) {
    cv::Mat smooth;
    cv::GaussianBlur(chip, smooth, cv::Size(), smoothingSigma);
    std::vector<float> histogram(gridSize * gridSize * binCount, 0.0f);
    for (int y = radius; y < smooth.rows - radius; ++y) {
        const int cellRow = y * gridSize / smooth.rows;
        for (int x = radius; x < smooth.cols - radius; ++x) {
            const uint8_t centre = smooth.at<uint8_t>(y, x);
            int code = 0;
            for (int k = 0; k < 8; ++k)
                code |= (smooth.at<uint8_t>(y + offsetY[k], x + offsetX[k]) >= centre) << k;
            const int cell = cellRow * gridSize + x * gridSize / smooth.cols;
            histogram[cell * binCount + uniformBins[code]] += 1;
        }
    }
    normaliseCells(histogram);
    return FeaturePrint(FeaturePrint::currentVersion, std::move(histogram));
}
