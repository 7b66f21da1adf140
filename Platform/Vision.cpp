#include "Vision.h"

#include <algorithm>
#include <cmath>

namespace {

std::size_t bytesPerPixel(PixelFormat format) {
    switch (format) {
    case PixelFormat::grey8:
        return 1;
    case PixelFormat::rgb24:
    case PixelFormat::bgr24:
        return 3;
    case PixelFormat::yuyv422:
        return 2;
    }
    return 1;
}

} // namespace

PixelRect ImageView::croppableRect(const PixelRect& rect) const {
    if (format != PixelFormat::yuyv422)
        return rect;
    PixelRect pairs = rect;
    pairs.x -= rect.x % 2;
    pairs.width += rect.x % 2;
    pairs.width = std::min(pairs.width + pairs.width % 2, width - pairs.x);
    return pairs;
}

ImageView ImageView::cropped(const PixelRect& rect) const {
    ImageView crop = *this;
    crop.width = rect.width;
    crop.height = rect.height;
    crop.pixels = pixels + static_cast<std::size_t>(rect.y) * bytesPerRow +
                  static_cast<std::size_t>(rect.x) * bytesPerPixel(format);
    return crop;
}

std::optional<PixelRect> faceCropRect(int frameWidth, int frameHeight, const NormalizedRect& face) {
    // Normalised y grows upwards; image rows grow downwards.
    const double width = face.width * frameWidth;
    const double height = face.height * frameHeight;
    const double left = face.x * frameWidth - 0.1 * width;
    const double top = (1 - face.y - face.height) * frameHeight - 0.1 * height;
    const double right = left + 1.2 * width;
    const double bottom = top + 1.2 * height;
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) || !std::isfinite(bottom))
        return std::nullopt;
    // To the nearest pixel edges, so that a box computed from whole pixels comes back unchanged.
    const int x0 = static_cast<int>(std::clamp(std::round(left), 0.0, double(frameWidth)));
    const int y0 = static_cast<int>(std::clamp(std::round(top), 0.0, double(frameHeight)));
    const int x1 = static_cast<int>(std::clamp(std::round(right), 0.0, double(frameWidth)));
    const int y1 = static_cast<int>(std::clamp(std::round(bottom), 0.0, double(frameHeight)));
    if (x1 <= x0 || y1 <= y0)
        return std::nullopt;
    return PixelRect{x0, y0, x1 - x0, y1 - y0};
}
