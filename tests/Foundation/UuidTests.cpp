#include "Foundation/Rounding.h"
#include "Foundation/Uuid.h"

#include <gtest/gtest.h>

#include <set>

TEST(UUID, RandomIdentifiersAreCanonicalUpperCaseVersion4AndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string text = UUID::random().uuidString();
        ASSERT_EQ(text.size(), 36u);
        for (size_t j = 0; j < text.size(); ++j) {
            if (j == 8 || j == 13 || j == 18 || j == 23)
                ASSERT_EQ(text[j], '-') << text;
            else
                ASSERT_TRUE(std::isdigit(text[j]) || (text[j] >= 'A' && text[j] <= 'F')) << text;
        }
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(UUID, ParsesCanonicalTextInEitherCaseOnly) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", true},
        {"e621e1f8-c36c-495a-93fc-0c247a3e6e5f", true},
        {"E621E1F8C36C495A93FC0C247A3E6E5F", false},
        {"{E621E1F8-C36C-495A-93FC-0C247A3E6E5F}", false},
        {"E621E1F8-C36C-495A-93FC-0C247A3E6E5G", false},
        {"E621E1F8-C36C-495A-93FC0-C247A3E6E5F", false},
        {"", false},
    };
    for (const auto& c : cases) {
        const auto parsed = UUID::parse(c.text);
        EXPECT_EQ(parsed.has_value(), c.valid) << c.text;
        if (parsed) {
            EXPECT_EQ(parsed->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
        }
    }
}

TEST(UUID, NameBasedIdentifiersFollowVersion5) {
    const UUID dns = *UUID::parse("6BA7B810-9DAD-11D1-80B4-00C04FD430C8");
    const UUID url = *UUID::parse("6BA7B811-9DAD-11D1-80B4-00C04FD430C8");
    const struct {
        const UUID& namespaceID;
        const char* name;
        const char* expected;
    } cases[] = {
        {dns, "python.org", "886313E1-3B8A-5372-9B90-0C9AEE199E5D"},
        {url, "http://www.example.com/", "FCDE3C85-2270-590F-9E7C-EE003D65E0E2"},
        {dns, "", "4EBD0208-8328-5D69-8C44-EC50939C0967"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UUID::nameBased(c.namespaceID, c.name).uuidString(), c.expected) << c.name;
    // The name is compared byte for byte: another case is another identifier.
    EXPECT_NE(UUID::nameBased(dns, "Python.org"), UUID::nameBased(dns, "python.org"));
    EXPECT_NE(UUID::nameBased(url, "python.org"), UUID::nameBased(dns, "python.org"));
}

TEST(Rounding, RoundsHalvesAwayFromZero) {
    const struct {
        double value;
        int64_t rounded;
    } cases[] = {
        {0.5, 1}, {1.5, 2}, {2.5, 3}, {-0.5, -1}, {-72.5, -73}, {12.49, 12}, {57.50000000000001, 58}};
    for (const auto& c : cases)
        EXPECT_EQ(roundedInteger(c.value), c.rounded) << c.value;
    EXPECT_EQ(roundedInteger(std::nan("")), 0);
    EXPECT_EQ(roundedInteger(1e300), INT64_MAX);
}
