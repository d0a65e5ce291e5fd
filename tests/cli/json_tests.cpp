// The JSON of `info --json`: names with every byte kept, and the writer's
// commas.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/json.h"

namespace Brimwork::Json {
namespace {

TEST(JsonString, ValidUtf8PassesAndEveryOtherByteBecomesALoneLowSurrogate)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", R"("")"},
        {"LAMP 2", R"("LAMP 2")"},
        {"say \"hi\" \\ /", R"("say \"hi\" \\ /")"},
        {std::string("\n\r\t\b\f\x01\x1F\x7F\0", 9), "\"\\n\\r\\t\\b\\f\\u0001\\u001f\x7F\\u0000\""},
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
        {"caf\xE9", R"("caf\udce9")"},
        {"\x80\xBF\xFF", R"("\udc80\udcbf\udcff")"},
        // A sequence cut short keeps its lead and continuation bytes apart.
        {"\xE2\x82", R"("\udce2\udc82")"},
        {"\xE2\x82" "A", R"("\udce2\udc82A")"},
        // Overlong forms, surrogates and values beyond U+10FFFF are not valid.
        {"\xC0\xAF", R"("\udcc0\udcaf")"},
        {"\xE0\x80\xAF", R"("\udce0\udc80\udcaf")"},
        {"\xED\xB2\x80", R"("\udced\udcb2\udc80")"},
        {"\xF4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},
        {"\xF8\x88\x80\x80\x80", R"("\udcf8\udc88\udc80\udc80\udc80")"},
        // The highest valid sequences of each length pass.
        {"\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF", "\"\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF\""},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(QuotedString(bytes), expected) << ::testing::PrintToString(bytes);
}

TEST(JsonWriter, PlacesCommasBetweenMembersAndElementsAtEveryDepth)
{
    Writer json;
    json.BeginObject().Key("a").Number(-1).Key("b").BeginArray();
    json.BeginObject().EndObject().BeginArray().EndArray().Number(2).String("x");
    json.EndArray().Key("c\xFF").BeginObject().Key("d").Number(3).EndObject().EndObject();
    EXPECT_EQ(json.Text(), R"({"a":-1,"b":[{},[],2,"x"],"c\udcff":{"d":3}})");
}

}  // namespace
}  // namespace Brimwork::Json
