#include "BannerTestSupport.h"

#include "Foundation/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

struct QuotingCase {
    const char* name;
    std::string text;
    std::string quoted;
};

const std::vector<QuotingCase> quotingCases = {
    {"plain", "hello", "'hello'"},
    {"empty", "", "''"},
    {"signature with its middle dot kept as UTF-8", std::string(GdmBanner::signatureText),
     "'This computer locks itself \u00B7 zorvi.example'"},
    {"apostrophe", "it's", "'it\\'s'"},
    {"backslash", "a\\b", "'a\\\\b'"},
    {"backslash before apostrophe", "\\'", "'\\\\\\''"},
    {"double quotes stay", "say \"hi\"", "'say \"hi\"'"},
    {"line breaks and tabs", "a\nb\tc\r", "'a\\nb\\tc\\r'"},
    {"other control characters", "\x1b[1m\x7f", "'\\u001b[1m\\u007f'"},
    {"shell syntax is only text", "$(rm -rf /); `x` && y", "'$(rm -rf /); `x` && y'"},
    {"keyfile syntax is only text", "[group]\nkey=value # c", "'[group]\\nkey=value # c'"},
};

TEST(GVariantText, QuotesTextSoThatItReadsBackUnchanged) {
    for (const auto& c : quotingCases) {
        EXPECT_EQ(GVariantText::quotedString(c.text), c.quoted) << c.name;
        EXPECT_EQ(GVariantText::parseString(c.quoted), c.text) << c.name;
    }
}

// GLib's own parser is the judge: every quoted text goes through dconf and must come back unchanged.
TEST(GVariantText, DconfReadsTheQuotedTextsBackUnchanged) {
    const std::string dconf = "/usr/bin/dconf";
    ASSERT_TRUE(std::filesystem::exists(dconf)) << "dconf-cli is not installed (scripts/setup installs it)";
    BannerRoot root;
    std::string keyfile = "[test]\n";
    for (std::size_t i = 0; i < quotingCases.size(); ++i)
        keyfile += "k" + std::to_string(i) + "=" + GVariantText::quotedString(quotingCases[i].text) + "\n";
    root.write(root.root() / "db.d/keys", keyfile);
    const auto compiled = ChildProcess::run(
        dconf, {"compile", (root.root() / "db").string(), (root.root() / "db.d").string()}, 10);
    ASSERT_TRUE(compiled.succeeded()) << compiled.standardError;
    root.write(root.root() / "profile", "file-db:" + (root.root() / "db").string() + "\n");
    setenv("DCONF_PROFILE", (root.root() / "profile").c_str(), 1);

    for (std::size_t i = 0; i < quotingCases.size(); ++i) {
        const auto read = ChildProcess::run(dconf, {"read", "/test/k" + std::to_string(i)}, 10);
        ASSERT_TRUE(read.succeeded()) << read.standardError;
        EXPECT_EQ(GVariantText::parseString(read.standardOutput), quotingCases[i].text)
            << quotingCases[i].name;
    }
}

TEST(GVariantText, ParsesStringLiteralsAsGLibDoes) {
    const struct {
        const char* literal;
        std::optional<std::string> text;
    } cases[] = {
        {"'single'", "single"},
        {"\"double\"", "double"},
        {"  'padded'  ", "padded"},
        {"\"it's\"", "it's"},
        {"'say \"hi\"'", "say \"hi\""},
        {"'\\u00b7'", "\u00B7"},
        {"'\\U0001F512'", "\U0001F512"},
        {"'\\a\\b\\f\\v'", "\a\b\f\v"},
        {"'unknown \\q escape'", "unknown q escape"},
        {"bare", std::nullopt},
        {"", std::nullopt},
        {"'unterminated", std::nullopt},
        {"'ends in a backslash\\'", std::nullopt},
        {"'two' 'strings'", std::nullopt},
        {"'text'after", std::nullopt},
        {"'\\u12'", std::nullopt},
        {"'\\u0000'", std::nullopt},
        {"'\\ud800'", std::nullopt},
        {"'\\U00110000'", std::nullopt},
        {"@s 'typed'", std::nullopt}, // valid GVariant, but not read: such a banner counts as foreign
        {"42", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GVariantText::parseString(c.literal), c.text) << c.literal;
}

TEST(GVariantText, ParsesBooleans) {
    const struct {
        const char* literal;
        std::optional<bool> value;
    } cases[] = {
        {"true", true},      {" false\t", false},      {"True", std::nullopt},
        {"1", std::nullopt}, {"'true'", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GVariantText::parseBoolean(c.literal), c.value) << c.literal;
}

} // namespace
