#include <gtest/gtest.h>

#include "core/error.h"
#include "io/files.h"
#include "image/image_buffer.h"
#include "samples/sample_containers.h"
#include "tests/support/test_support.h"

using namespace Brimwork;
using Brimwork::Testing::TempFolder;

TEST(RowStride, RoundsTwiceTheWidthUpToAMultipleOfFour)
{
    const std::pair<int32_t, int32_t> cases[] = {{0, 0}, {1, 4}, {2, 4}, {3, 8}, {4, 8}, {5, 12}, {640, 1280}, {641, 1284}};
    for (const auto& [width, stride] : cases)
        EXPECT_EQ(RowStride(width), stride) << width;
    EXPECT_THROW(RowStride(200000000), Error);
}

TEST(TrimAtNul, KeepsTheTextBeforeTheFirstNul)
{
    EXPECT_EQ(TrimAtNul(std::string("CHAIR") + std::string(27, '\0')), "CHAIR");
    EXPECT_EQ(TrimAtNul(std::string(32, '\0')), "");
    EXPECT_EQ(TrimAtNul(std::string("AB\0CD", 5) + std::string(27, '\0')), "AB");
    EXPECT_EQ(TrimAtNul(std::string(32, 'X')), std::string(32, 'X'));
}

class PaddedLoading : public ::testing::Test {
public:
    // A file of `lead` bytes of 0xEE, then `pixels`, and nothing after them.
    std::unique_ptr<ReadableFile> FileWith(size_t lead, const std::vector<uint8_t>& pixels)
    {
        std::vector<uint8_t> bytes(lead, 0xEE);
        bytes.insert(bytes.end(), pixels.begin(), pixels.end());
        Samples::WriteBytes(folder / "image.bin", bytes);
        return RealFileSystem().OpenForReading(folder / "image.bin");
    }

    TempFolder folder;
};

TEST_F(PaddedLoading, OddWidthsGetZeroFillAtEachRowEnd)
{
    const std::vector<uint8_t> packed{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    auto file = FileWith(5, packed);
    ImageBuffer image{3, 2, {}};
    ReadPadded(image, *file, 5);
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}));

    ImageBuffer column{1, 3, {}};
    ReadPadded(column, *file, 5);
    EXPECT_EQ(column.ImageBytes, (std::vector<uint8_t>{1, 2, 0, 0, 3, 4, 0, 0, 5, 6, 0, 0}));

    ImageBuffer even{2, 3, {}};
    ReadPacked(even, *file, 5);
    EXPECT_EQ(even.ImageBytes, packed);
}

TEST_F(PaddedLoading, EmptySizesReadNothingAndShortFilesAreRefused)
{
    auto file = FileWith(0, {1, 2});
    ImageBuffer empty{0, 7, {9}};
    ReadPadded(empty, *file, 2);
    EXPECT_TRUE(empty.ImageBytes.empty());

    ImageBuffer tooLarge{2, 1, {}};
    EXPECT_THROW(ReadPadded(tooLarge, *file, 0), Error);
    ImageBuffer negative{-1, -1, {}};
    EXPECT_THROW(ReadPadded(negative, *file, 0), Error);
    ImageBuffer beyond{1, 1, {}};
    EXPECT_THROW(ReadPacked(beyond, *file, 1), Error);
}
