#include "Platform/FeaturePrint.h"
#include "Platform/Vision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct CropCase {
    const char* name;
    NormalizedRect face;               // y growing upwards
    std::optional<PixelRect> expected; // in a 200 × 100 frame, rows growing downwards
};

const double nan = std::numeric_limits<double>::quiet_NaN();

const CropCase cropCases[] = {
    {"grown by a tenth on every side", {0.25, 0.5, 0.5, 0.4}, PixelRect{40, 6, 120, 48}},
    {"running off the left and top is cut at the frame", {-0.1, 0.7, 0.3, 0.4}, PixelRect{0, 0, 46, 34}},
    {"running off the right and bottom is cut at the frame",
     {0.9, -0.2, 0.3, 0.4},
     PixelRect{174, 76, 26, 24}},
    {"covering the whole frame", {-1, -1, 3, 3}, PixelRect{0, 0, 200, 100}},
    {"wholly beyond the frame", {1.2, 0.2, 0.3, 0.3}, std::nullopt},
    {"no size", {0.5, 0.5, 0, 0}, std::nullopt},
    {"not a number", {nan, 0.5, 0.2, 0.2}, std::nullopt},
};

TEST(FaceCropRectTest, GrowsTheFaceAndKeepsItInsideTheFrame) {
    for (const auto& c : cropCases) {
        SCOPED_TRACE(c.name);
        const auto crop = faceCropRect(200, 100, c.face);
        ASSERT_EQ(crop.has_value(), c.expected.has_value());
        if (crop) {
            EXPECT_EQ(crop->x, c.expected->x);
            EXPECT_EQ(crop->y, c.expected->y);
            EXPECT_EQ(crop->width, c.expected->width);
            EXPECT_EQ(crop->height, c.expected->height);
        }
    }
}

TEST(ImageViewTest, YuyvCropsKeepWholePixelPairs) {
    const uint8_t pixels[4 * 24] = {}; // room for the widest rows below, 4 of them
    const ImageView yuyv{8, 4, PixelFormat::yuyv422, 16, pixels};
    const PixelRect pairs = yuyv.croppableRect({3, 1, 2, 2});
    EXPECT_EQ(pairs.x, 2);
    EXPECT_EQ(pairs.width, 4);
    EXPECT_EQ(yuyv.cropped(pairs).pixels, pixels + 16 + 4);
    const ImageView bgr{8, 4, PixelFormat::bgr24, 24, pixels};
    EXPECT_EQ(bgr.croppableRect({3, 1, 2, 2}).x, 3);
    EXPECT_EQ(bgr.cropped({3, 1, 2, 2}).pixels, pixels + 24 + 9);
}

std::string withByte(std::string bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

TEST(FeaturePrintTest, StoredFormRoundTripsAndRefusesOtherBytes) {
    const FeaturePrint print(FeaturePrint::currentVersion, {0.6f, 0.8f, -0.0f, 1e-20f});
    const std::string stored = print.archived();
    ASSERT_EQ(stored.size(), 10u + 16u);
    const auto restored = FeaturePrint::unarchived(stored);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->values(), print.values());
    EXPECT_EQ(restored->distance(print), 0.0f);

    for (const std::string& notAPrint : {std::string(), std::string("VGF"), withByte(stored, 0, 'X')})
        EXPECT_FALSE(FeaturePrint::unarchived(notAPrint));
    for (const std::string& unreadable : {withByte(stored, 4, 2), stored.substr(0, stored.size() - 1),
                                          withByte(stored, 6, 5), stored + std::string(4, '\0')})
        EXPECT_THROW(FeaturePrint::unarchived(unreadable), FeaturePrintError);
}

TEST(FeaturePrintTest, DistanceIsScaledAndOnlyWithinOneKind) {
    const FeaturePrint a(1, {1, 0}), b(1, {0, 1});
    EXPECT_FLOAT_EQ(a.distance(b), 0.9f * std::sqrt(2.0f));
    EXPECT_THROW(a.distance(FeaturePrint(2, {1, 0})), FeaturePrintError);
    EXPECT_THROW(a.distance(FeaturePrint(1, {1, 0, 0})), FeaturePrintError);
}

} // namespace
