#include <gtest/gtest.h>

#include "core/error.h"
#include "core/manifest.h"

using namespace Brimwork;
using Manifest::Reader;

TEST(ManifestWriting, NumbersCarryOneSpaceOrAMinusSign)
{
    EXPECT_EQ(Manifest::NumberForm(12), " 12 ");
    EXPECT_EQ(Manifest::NumberForm(0), " 0 ");
    EXPECT_EQ(Manifest::NumberForm(-3), "-3 ");
    EXPECT_EQ(Manifest::NumberForm(INT32_MIN), "-2147483648 ");
}

TEST(ManifestWriting, OnlyNamesTheReaderWouldChangeAreQuoted)
{
    EXPECT_EQ(Manifest::NameForm("CHAIR"), "CHAIR");
    EXPECT_EQ(Manifest::NameForm("A\"B"), "A\"B");
    EXPECT_EQ(Manifest::NameForm("trailing "), "trailing ");
    EXPECT_EQ(Manifest::NameForm("a,b"), "\"a,b\"");
    EXPECT_EQ(Manifest::NameForm(" lead"), "\" lead\"");
    EXPECT_EQ(Manifest::NameForm(""), "\"\"");
}

TEST(ManifestWriting, ANameThatNeedsQuotesAndHoldsOneIsRefused)
{
    EXPECT_THROW(Manifest::NameForm("a,\"b"), Error);
    EXPECT_THROW(Manifest::NameForm(" \"x"), Error);
    EXPECT_THROW(Manifest::NameForm("\"q"), Error);
}

TEST(ManifestReading, ReadsWhatTheWriterWrites)
{
    const std::vector<std::string> names{"CHAIR", "a,b", " lead", "", "x y ", "A\"B", "\tT"};
    std::string text = "GADGETS.GDG\r\n" + Manifest::NumberForm(-3) + "\r\n" +
                       Manifest::NumberForm(static_cast<int32_t>(names.size())) + "\r\n";
    for (size_t i = 0; i < names.size(); ++i)
        text += Manifest::NumberForm(static_cast<int32_t>(i) - 2) + Manifest::NameForm(names[i]) + "\r\n";

    Reader reader(text, "EXTRACT.DAT");
    EXPECT_EQ(reader.ReadLine("line 1"), "GADGETS.GDG");
    EXPECT_EQ(reader.ReadNumber("h"), -3);
    EXPECT_EQ(reader.ReadNumber("n"), static_cast<int32_t>(names.size()));
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(reader.ReadNumber("v"), static_cast<int32_t>(i) - 2);
        EXPECT_EQ(reader.ReadText("name"), names[i]) << i;
    }
}

TEST(ManifestReading, NamesOnTheirOwnLinesFollowANumberLine)
{
    Reader reader("screens.pix\r\n 1 \r\n 2 \r\nTITLE\r\nMENU\r\n", "screens.pix.DAT");
    EXPECT_EQ(reader.ReadLine("line 1"), "screens.pix");
    EXPECT_EQ(reader.ReadNumber("h"), 1);
    EXPECT_EQ(reader.ReadNumber("n"), 2);
    EXPECT_EQ(reader.ReadText("a"), "TITLE");
    EXPECT_EQ(reader.ReadText("b"), "MENU");
}

TEST(ManifestReading, PlainItemsFollowTheReadingRules)
{
    Reader reader("  line one, kept whole \n  7,8 -9\r\n  spaced out , next\r\n\"quoted, comma\" tail\r\n", "M");
    EXPECT_EQ(reader.ReadLine("l"), "  line one, kept whole ");
    EXPECT_EQ(reader.ReadNumber("a"), 7);
    EXPECT_EQ(reader.ReadNumber("b"), 8);
    EXPECT_EQ(reader.ReadNumber("c"), -9);
    EXPECT_EQ(reader.ReadText("d"), "spaced out ");
    EXPECT_EQ(reader.ReadText("e"), "next");
    EXPECT_EQ(reader.ReadText("f"), "quoted, comma");
}

TEST(ManifestReading, FailuresNameTheLine)
{
    const auto message = [](const std::string& text, int numbers) {
        Reader reader(text, "EXTRACT.DAT");
        try {
            reader.ReadLine("the container name");
            for (int i = 0; i < numbers; ++i)
                reader.ReadNumber("the entry count");
            reader.ReadText("the name");
        } catch (const Error& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("", 0), "EXTRACT.DAT, line 1: the container name is missing: the manifest ends before it");
    EXPECT_EQ(message("A.GDG\r\n 1 \r\n x1 \r\n", 2), "EXTRACT.DAT, line 3: the entry count is not a number: \"x1\"");
    EXPECT_EQ(message("A.GDG\r\n 4294967297 \r\n", 1),
              "EXTRACT.DAT, line 2: the entry count does not fit in 32 bits: \"4294967297\"");
    EXPECT_EQ(message("A.GDG\r\n-2147483649 \r\n", 1),
              "EXTRACT.DAT, line 2: the entry count does not fit in 32 bits: \"-2147483649\"");
    EXPECT_EQ(message("A.GDG\r\n 1 \r\n", 1), "EXTRACT.DAT, line 3: the name is missing: the manifest ends before it");
    EXPECT_EQ(message("A.GDG\r\n 1 \r\n\"open\r\n", 1),
              "EXTRACT.DAT, line 3: the name has an opening double quote and no closing one");
}

namespace {

// The ways an editor may save a manifest: with or without a UTF-8
// byte-order mark, lines ended by CR LF or by LF alone.
struct TextForm {
    const char* label;
    std::string start;
    std::string lineEnd;
};

const std::vector<TextForm>& TextForms()
{
    static const std::vector<TextForm> forms{{"CR LF", "", "\r\n"},
                                             {"LF", "", "\n"},
                                             {"mark, CR LF", "\xEF\xBB\xBF", "\r\n"},
                                             {"mark, LF", "\xEF\xBB\xBF", "\n"}};
    return forms;
}

std::string Saved(const TextForm& form, const std::vector<std::string>& lines)
{
    std::string text = form.start;
    for (const auto& line : lines)
        text += line + form.lineEnd;
    return text;
}

}  // namespace

TEST(ManifestReading, EveryKindOfItemReadsAlikeInEveryTextForm)
{
    for (const TextForm& form : TextForms()) {
        SCOPED_TRACE(form.label);
        Reader reader(Saved(form, {"GADGETS.GDG", " 5 ", "-2 ", " 7 CHAIR", "\"a,b\", 8", ";---", "1, -2, 3, 4",
                                   "", "  last "}),
                      "M");
        EXPECT_EQ(reader.PeekLine(), "GADGETS.GDG");
        EXPECT_EQ(reader.ReadLine("line 1"), "GADGETS.GDG");
        EXPECT_EQ(reader.LineNumber(), 2);
        EXPECT_EQ(reader.ReadNumber("a"), 5);
        EXPECT_EQ(reader.ReadNumber("b"), -2);
        EXPECT_EQ(reader.LineNumber(), 4);
        EXPECT_EQ(reader.ReadNumber("c"), 7);
        EXPECT_EQ(reader.ReadText("d"), "CHAIR");
        EXPECT_EQ(reader.ReadText("e"), "a,b");
        EXPECT_EQ(reader.ReadNumber("f"), 8);
        EXPECT_EQ(reader.LineNumber(), 6);
        EXPECT_EQ(reader.PeekLine(), ";---");
        EXPECT_EQ(reader.ReadLine("separator"), ";---");
        EXPECT_EQ(reader.ReadNumbersOnLine("g", 4), (std::vector<int32_t>{1, -2, 3, 4}));
        EXPECT_EQ(reader.LineNumber(), 8);
        EXPECT_FALSE(reader.AtEnd());
        EXPECT_EQ(reader.LineNumber(), 8);
        EXPECT_EQ(reader.ReadLine("blank"), "");
        EXPECT_EQ(reader.ReadText("h"), "last ");
        EXPECT_TRUE(reader.AtEnd());
        EXPECT_EQ(reader.LineNumber(), 10);
    }
}

TEST(ManifestReading, FailuresNameTheSameLineInEveryTextForm)
{
    struct Case {
        std::vector<std::string> lines;
        std::string message;
    };
    const std::vector<Case> cases{
        {{}, "M, line 1: line 1 is missing: the manifest ends before it"},
        {{"A.GDG", "1, 2, 3"}, "M, line 2: the hotspots has 3 of the 4 numbers it needs"},
        {{"A.GDG", "1, 2, 3, 4, 5"}, "M, line 2: the hotspots holds more than 4 numbers"},
        {{"A.GDG", "1, 2, 3, 4", "", " x "}, "M, line 4: the count is not a number: \"x\""},
        {{"A.GDG", "1, 2, 3, 4", ""}, "M, line 4: the count is missing: the manifest ends before it"},
    };
    for (const TextForm& form : TextForms()) {
        SCOPED_TRACE(form.label);
        for (const Case& c : cases) {
            Reader reader(Saved(form, c.lines), "M");
            try {
                reader.ReadLine("line 1");
                reader.ReadNumbersOnLine("the hotspots", 4);
                reader.ReadNumber("the count");
                ADD_FAILURE() << c.message;
            } catch (const Error& error) {
                EXPECT_EQ(error.what(), c.message);
            }
        }
    }
}

TEST(ManifestReading, OnlyAByteOrderMarkAtTheVeryStartIsSkipped)
{
    Reader reader(" \xEF\xBB\xBFTITLE\r\n\xEF\xBB\xBF 5 \r\n", "M");
    EXPECT_EQ(reader.ReadLine("line 1"), " \xEF\xBB\xBFTITLE");
    EXPECT_THROW(reader.ReadNumber("the number"), Error);

    Reader twice("\xEF\xBB\xBF\xEF\xBB\xBFTITLE\r\n", "M");
    EXPECT_EQ(twice.ReadLine("line 1"), "\xEF\xBB\xBFTITLE");
}
