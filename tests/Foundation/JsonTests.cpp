#include "Foundation/Json.h"

#include <gtest/gtest.h>

#include <limits>

namespace {
enum class Fruit { apple, pear };
}
template <> struct RawValues<Fruit> {
    static constexpr std::array cases{std::pair{Fruit::apple, std::string_view("Green apple")},
                                      std::pair{Fruit::pear, std::string_view("Pear")}};
};

TEST(Json, KeepsInsertionOrderAndSortsOnRequest) {
    Json object;
    object["zeta"] = 1;
    object["alpha"] = Json{{"b", 2}, {"a", 1}};
    EXPECT_EQ(jsonText(object), R"({"zeta":1,"alpha":{"b":2,"a":1}})");
    EXPECT_EQ(sortedJsonText(object), R"({"alpha":{"a":1,"b":2},"zeta":1})");
}

TEST(Json, RefusesToWriteNumbersThatAreNotFinite) {
    Json object;
    object["idle"] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(jsonText(object), JsonEncodingError);
    object["idle"] = Json::array({1.0, std::numeric_limits<double>::infinity()});
    EXPECT_THROW(sortedJsonText(object), JsonEncodingError);
}

TEST(Json, ParsesWithoutThrowingAndRefusesDamage) {
    const auto nested = [](size_t depth) {
        return std::string(depth - 1, '[') + "{\"a\":1}" + std::string(depth - 1, ']');
    };
    const std::pair<std::string, bool> cases[] = {
        {R"({"a":[1,2]})", true},
        {nested(maximumJsonDepth), true},
        {nested(maximumJsonDepth + 1), false},
        {"{\"a\":", false},
        {"{\"a\":NaN}", false},
        {"{\"a\":\"\xff\"}", false}, // invalid UTF-8
        {"", false},
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(parseJson(text).has_value(), valid) << text.substr(0, 40);
}

// Objects and arrays among the members stay the text they were read from, to the byte.
TEST(Json, ReadsTheMembersOfAnObjectAsText) {
    const auto read = jsonObjectMembers(R"({"a":1, "b" : [ 1, {"c":"]"} ] ,"d":{"e":"}\""},"f":"x"})");
    ASSERT_TRUE(read.valid && read.isObject);
    ASSERT_EQ(read.members.size(), 4u);
    EXPECT_EQ(read.members[0].value, Json(1));
    EXPECT_EQ(read.members[1].text, R"([ 1, {"c":"]"} ])");
    EXPECT_EQ(read.members[2].text, R"({"e":"}\""})");
    EXPECT_EQ(read.members[3].value, Json("x"));

    EXPECT_FALSE(jsonObjectMembers("[1,2]").isObject);
    EXPECT_TRUE(jsonObjectMembers("[1,2]").valid);
    EXPECT_FALSE(jsonObjectMembers(R"({"a":[1})").valid);
    EXPECT_FALSE(jsonObjectMembers("{\"a\":" + std::string(maximumJsonDepth, '[') +
                                   std::string(maximumJsonDepth, ']') + "}")
                     .valid);
}

TEST(Json, HandsOverTheElementsOfAnArrayOneByOne) {
    const struct {
        const char* text;
        bool isArray;
        std::vector<Json> elements;
    } cases[] = {
        {R"([1, {"a":[2, {"b":null}]}, "x", []])",
         true,
         {1, Json{{"a", {2, Json{{"b", nullptr}}}}}, "x", Json::array()}},
        {"[]", true, {}},
        {R"([{"a":1}, {"a":)", false, {Json{{"a", 1}}}},
        {R"({"a":1})", false, {}},
        {"5", false, {}},
    };
    for (const auto& c : cases) {
        std::vector<Json> elements;
        EXPECT_EQ(forEachJsonArrayElement(c.text, [&](Json&& element) { elements.push_back(element); }),
                  c.isArray)
            << c.text;
        EXPECT_EQ(elements, c.elements) << c.text;
    }
}

// Keys are added without a search, so a large object costs linear time; a repeated key keeps its first
// place and takes its last value, in small and in large objects alike.
TEST(Json, KeepsKeyOrderAndTheLastOfARepeatedKey) {
    for (int keys : {3, 5000}) {
        std::string text = "{";
        for (int i = keys; i > 0; --i)
            text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
        text += "\"k" + std::to_string(keys) + "\":0}";
        const Json object = *parseJson(text);
        ASSERT_EQ(object.size(), size_t(keys)) << keys;
        EXPECT_EQ(object.begin().key(), "k" + std::to_string(keys)) << keys;
        EXPECT_EQ(object.begin().value(), Json(0)) << keys;
        EXPECT_EQ(object.at("k1"), Json(1)) << keys;
    }
}

TEST(JsonField, ReadsTypedValuesStrictly) {
    const Json object = *parseJson(R"({"int":6,"intFloat":6.0,"fraction":6.5,"huge":1e30,
        "double":12,"bool":true,"text":"","null":null,"uuid":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f",
        "badUuid":"nope","fruit":"Green apple","caseName":"apple","when":3.5})");

    int64_t i = -1;
    JsonField::read(object, "int", i);
    EXPECT_EQ(i, 6);
    JsonField::read(object, "intFloat", i);
    EXPECT_EQ(i, 6);
    EXPECT_THROW(JsonField::read(object, "fraction", i), JsonDecodingError);
    EXPECT_THROW(JsonField::read(object, "huge", i), JsonDecodingError);
    EXPECT_THROW(JsonField::read(object, "text", i), JsonDecodingError);

    double d = -1;
    JsonField::read(object, "double", d);
    EXPECT_EQ(d, 12.0);
    EXPECT_THROW(JsonField::read(object, "bool", d), JsonDecodingError);

    bool b = false;
    JsonField::read(object, "bool", b);
    EXPECT_TRUE(b);
    EXPECT_THROW(JsonField::read(object, "int", b), JsonDecodingError);

    std::string s = "kept";
    JsonField::read(object, "null", s);
    JsonField::read(object, "missing", s);
    EXPECT_EQ(s, "kept");
    JsonField::read(object, "text", s);
    EXPECT_EQ(s, "");

    std::optional<UUID> uuid;
    JsonField::read(object, "uuid", uuid);
    EXPECT_EQ(uuid->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_THROW(JsonField::read(object, "badUuid", uuid), JsonDecodingError);

    Fruit fruit = Fruit::pear;
    JsonField::read(object, "fruit", fruit);
    EXPECT_EQ(fruit, Fruit::apple);
    EXPECT_THROW(JsonField::read(object, "caseName", fruit), JsonDecodingError);

    Date when;
    JsonField::read(object, "when", when);
    EXPECT_EQ(when, Date(3.5));
    EXPECT_EQ(JsonField::dateValue(Date(3.5)), Json(3.5));
}

TEST(RawValueEnum, ListsCasesInDeclarationOrder) {
    EXPECT_EQ(allCases<Fruit>(), (std::array{Fruit::apple, Fruit::pear}));
    EXPECT_EQ(rawValue(Fruit::pear), "Pear");
    EXPECT_FALSE(enumFromRawValue<Fruit>("pear"));
}
