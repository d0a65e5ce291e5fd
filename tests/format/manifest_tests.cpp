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
