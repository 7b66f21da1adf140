#include "Foundation/Digest.h"

#include <gtest/gtest.h>

// Known answers: FIPS 180-2 for SHA-256, RFC 4231 (test cases 1 and 2) for HMAC-SHA256.
TEST(Digest, MatchesThePublishedTestVectors) {
    EXPECT_EQ(sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hmacSha256Hex(std::string(20, '\x0b'), "Hi There"),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(hmacSha256Hex("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}

TEST(Digest, ComparesTextsExactly) {
    const struct {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {{"abc", "abc", true}, {"abc", "abd", false}, {"abc", "ABC", false}, {"abc", "abcd", false},
                 {"", "", true}};
    for (const auto& c : cases)
        EXPECT_EQ(constantTimeEquals(c.a, c.b), c.equal) << c.a << " / " << c.b;
}
