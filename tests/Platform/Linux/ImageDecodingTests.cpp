// The picture decoders of the camera's MJPEG frames and of clip pictures, on real and forged bytes.
#include "Foundation/AtomicFile.h"
#include "Platform/Linux/ImageDecoding.h"
#include "Support/ForgedPictures.h"

#include <gtest/gtest.h>

namespace {

std::string testImage(const char* name) {
    return AtomicFile::read(std::string(VIGILOR_TEST_IMAGES) + "/" + name).value_or("");
}

TEST(ImageDecoding, DecodesPicturesWithinTheirBoundAndRefusesOthersBeforeAllocating) {
    const PictureBound clip{4096, 4096}, camera{640, 480};
    const struct {
        const char* name;
        std::string bytes;
        PictureBound bound;
        int width; // 0: refused
        const char* failure;
    } cases[] = {
        {"a JPEG as its luma", testImage("messi5.jpg"), camera, 548, ""},
        {"a PNG", testImage("astronaut.png"), clip, 512, ""},
        {"a frame larger than the camera's mode", testImage("messi5.jpg"), {320, 240}, 0,
         "a picture of 548 \u00D7 342 exceeds the 320 \u00D7 240 allowed"},
        // 148 bytes that once cost 1.7 GB and seconds of decoding.
        {"a JPEG header claiming 64015 x 27156", ForgedPictures::jpegClaiming(64015, 27156), clip, 0,
         "a picture of 64015 \u00D7 27156 exceeds the 4096 \u00D7 4096 allowed"},
        {"a PNG header claiming 100000 x 100000", ForgedPictures::pngClaiming(100000, 100000), clip, 0,
         "a picture of 100000 \u00D7 100000 exceeds the 4096 \u00D7 4096 allowed"},
        {"a damaged JPEG", std::string("\xFF\xD8\xFF\x00garbage", 11), clip, 0, "JPEG datastream contains no image"},
        {"neither", std::string(64, 'Z'), clip, 0, "not a JPEG or PNG picture"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.bytes.empty());
        const PictureDecoding decoded = decodeImage(c.bytes, c.bound);
        EXPECT_EQ(decoded.image ? decoded.image->width : 0, c.width);
        EXPECT_EQ(decoded.failure, c.failure);
    }
}

} // namespace
