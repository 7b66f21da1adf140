#include "Foundation/Base64.h"

#include <gtest/gtest.h>

TEST(Base64, EncodesAndDecodesEveryPadding) {
    const struct {
        std::string bytes;
        const char* text;
    } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {std::string("\0\xff\xfe", 3), "AP/+"}};
    for (const auto& c : cases) {
        EXPECT_EQ(base64Encoded(c.bytes), c.text);
        EXPECT_EQ(base64Decoded(c.text), c.bytes) << c.text;
    }
}

TEST(Base64, RefusesAnyCharacterOutsideTheAlphabet) {
    for (const char* text : {"Zm9v\n", "Zm 9v", "Zm9v Zm9v", "Zm8", "Zm8=\r\n", "Zg=A",
                             "Z===", "====", "Zm-_", "Zm9v=", "Zm9\xc3\xa9"})
        EXPECT_FALSE(base64Decoded(text)) << text;
}
