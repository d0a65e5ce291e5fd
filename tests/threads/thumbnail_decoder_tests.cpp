// The thumbnail decoder's thread against the window's: requests, entry
// changes and edited images handed over while it decodes. Built with
// ThreadSanitizer too, which reports any access the two threads share
// without a lock.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "app/thumbnails.h"
#include "io/files.h"
#include "samples/sample_containers.h"
#include "tests/support/test_support.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;
using Samples::GadgetEntry;

constexpr int ImagesPerEntry = 12;

// What the decoder delivered, on its thread, for the test's thread to wait on.
class Delivered {
public:
    void Add(ThumbnailDecoder::Result result)
    {
        {
            const std::lock_guard lock(mutex_);
            byGeneration_[result.generation][result.imageIndex] = std::move(result);
        }
        arrived_.notify_all();
    }

    // The results of a generation once `count` images have arrived, or
    // those there are after a generous wait.
    std::map<int32_t, ThumbnailDecoder::Result> WaitFor(int generation, size_t count)
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(20), [&] { return byGeneration_[generation].size() >= count; });
        return byGeneration_[generation];
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::map<int, std::map<int32_t, ThumbnailDecoder::Result>> byGeneration_;
};

class ThumbnailDecoderThreads : public ::testing::Test {
protected:
    ThumbnailDecoderThreads()
    {
        std::vector<GadgetEntry> entries;
        for (int e = 0; e < 3; ++e) {
            GadgetEntry entry{"PART" + std::to_string(e), e, {}};
            for (int k = 0; k < ImagesPerEntry; ++k)
                entry.images.push_back(Samples::Gradient(20 + 10 * e + k, 30 + k));
            entries.push_back(std::move(entry));
        }
        Samples::WriteBytes(container, Samples::BuildGadgetFile(1, entries));
    }

    TempFolder folder;
    const fs::path container = folder / "PARTS.GDG";
    Delivered delivered;
};

// Entry changes and requests come while earlier ones are decoded: the
// newest entry's images all arrive, each at its own size.
TEST_F(ThumbnailDecoderThreads, TheNewestEntryIsDecodedWhileRequestsKeepComing)
{
    ThumbnailDecoder decoder(RealFileSystem(), [&](ThumbnailDecoder::Result result) { delivered.Add(std::move(result)); });
    for (int generation = 1; generation <= 3; ++generation) {
        decoder.SetEntry(generation, container, generation - 1);
        for (int32_t k = 0; k < ImagesPerEntry; ++k)
            decoder.Request(generation, k);
    }
    // Asked again, as a view scrolling back does; a request of an old
    // generation is dropped.
    for (int32_t k = 0; k < ImagesPerEntry; ++k) {
        decoder.Request(3, k);
        decoder.Request(1, k);
    }
    const auto results = delivered.WaitFor(3, ImagesPerEntry);
    ASSERT_EQ(results.size(), static_cast<size_t>(ImagesPerEntry));
    for (const auto& [index, result] : results) {
        EXPECT_TRUE(result.failure.isEmpty()) << result.failure.toStdString();
        EXPECT_FALSE(result.thumbnail.isNull()) << index;
    }
}

// Edited images are handed to the thread and shared with it, then
// replaced by another entry's while it may still be reading them.
TEST_F(ThumbnailDecoderThreads, EditedImagesHandedOverAreDecodedFromMemory)
{
    ThumbnailDecoder decoder(RealFileSystem(), [&](ThumbnailDecoder::Result result) { delivered.Add(std::move(result)); });
    const auto edited = [](int32_t width, int32_t height) {
        DocumentImage image;
        image.width = width;
        image.height = height;
        image.edited = std::make_shared<const std::vector<uint8_t>>(Samples::Solid(width, height, 31).Bytes());
        return image;
    };
    for (int generation = 1; generation <= 2; ++generation) {
        std::vector<DocumentImage> images;
        for (int32_t k = 0; k < ImagesPerEntry; ++k)
            images.push_back(edited(8 + k, 8 + generation));
        decoder.SetImages(generation, container, EntryKind::Gadget, std::move(images));
        for (int32_t k = 0; k < ImagesPerEntry; ++k)
            decoder.Request(generation, k);
    }
    const auto results = delivered.WaitFor(2, ImagesPerEntry);
    ASSERT_EQ(results.size(), static_cast<size_t>(ImagesPerEntry));
    for (const auto& [index, result] : results)
        EXPECT_FALSE(result.thumbnail.isNull()) << index;
}

}  // namespace
}  // namespace Brimwork::Testing
