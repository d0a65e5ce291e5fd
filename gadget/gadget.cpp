#include "gadget/gadget.h"

#include <vector>

#include "core/archive_header.h"
#include "core/error.h"
#include "core/extraction.h"
#include "io/files.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/window.h"
#include "gadget/gadget_format.h"
#include "image/image_buffer.h"
#include "image/tga.h"

namespace GDG {

using namespace Brimwork;
using Format::GadgetEntry;

std::string TgaFileName(const std::string& entryName, int32_t imageIndex)
{
    return entryName + "_" + AtLeastThreeDigits(imageIndex) + ".tga";
}

namespace {

// Everything an extraction will write is checked before the first file is
// touched: the names, and every image's header and pixel data. Returns
// every entry's image headers, which the extraction then follows.
std::vector<std::vector<Format::ImageHeader>> CheckExtraction(ReadableFile& file,
                                                              const std::vector<GadgetEntry>& entries)
{
    std::vector<std::vector<Format::ImageHeader>> headers;
    for (const auto& entry : entries) {
        RequirePlainFileName(entry.Name, "The entry name");
        Manifest::NameForm(entry.Name);
        headers.push_back(Format::ReadImageHeaders(file, entry));
        for (int32_t k = 0; k < entry.ImageCount; ++k) {
            const auto& header = headers.back()[static_cast<size_t>(k)];
            RequireFitsTga(header.Width, header.Height,
                           "Image " + std::to_string(k) + " of entry \"" + entry.Name + "\"");
        }
    }
    return headers;
}

}  // namespace

std::vector<std::string> EntryNames(FileSystem& files, const std::filesystem::path& fileName)
{
    return ReadArchiveNames(files, fileName, Format::Signature, Format::SignatureMessage, [](ReadableFile& file, int32_t count) {
        std::vector<std::string> names;
        for (const auto& entry : Format::ReadEntries(file, count))
            names.push_back(entry.Name);
        return names;
    });
}

bool ListEntries(ModuleContext& context, const std::filesystem::path& fileName)
{
    return ShowEntryNames(context.window, [&] { return EntryNames(context.files, fileName); });
}

void LoadImage(ModuleContext& context, int32_t entryIndex, int32_t& imageIndex)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const GadgetEntry entry = Format::ReadEntry(*file, entryIndex);
    if (imageIndex >= entry.ImageCount || imageIndex < 0)
        imageIndex = 0;
    if (entry.ImageCount <= 0) {
        // An entry without images (a rebuild writes one when no TGA file
        // matched it) shows the empty image.
        MakeEmptyImage(context.image);
        return;
    }
    const auto header = Format::ReadImageHeader(*file, entry, imageIndex);
    ImageBuffer loaded{header.Width, header.Height, {}};
    ReadPadded(loaded, *file, header.DataOffset);
    context.image = std::move(loaded);
}

int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex)
{
    auto file = files.OpenContainer(container);
    const GadgetEntry entry = Format::ReadEntry(*file, entryIndex);
    if (entry.ImageCount <= 0)
        return 0;
    // Each image has its header in the table: a count larger than the file
    // could hold is damage, not a number of images to offer.
    const int64_t tableEnd = int64_t{entry.TableOffset} + int64_t{Format::ImageHeaderSize} * entry.ImageCount;
    if (entry.TableOffset < 0 || tableEnd > file->Size())
        ThrowDamaged(file->Path().string(), "the image table of entry \"" + entry.Name + "\" (" +
                                                std::to_string(entry.ImageCount) +
                                                " images) reaches past the end of the file");
    return entry.ImageCount;
}

ExtractionResult ExtractAll(ModuleContext& context)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const ArchiveHeader header = ReadArchiveHeader(*file);
    const auto entries = Format::ReadEntries(*file, header.EntryCount);
    // The container stays open and its tables, read and checked here, are
    // not read again.
    const auto imageHeaders = CheckExtraction(*file, entries);

    ExtractionJob job;
    job.manifestPath = context.folder / ManifestName;
    job.manifestText = Manifest::HeadLines(context.container.FileTitle, header.HeaderValue, header.EntryCount);
    for (const GadgetEntry& entry : entries) {
        job.manifestText += Manifest::NumberForm(entry.EntryValue) + Manifest::NameForm(entry.Name) +
                            std::string(Manifest::LineEnd);
        ExtractionEntry& extracted = job.entries.emplace_back(ExtractionEntry{entry.Name, {}});
        for (int32_t k = 0; k < entry.ImageCount; ++k)
            extracted.imageFiles.push_back(TgaFileName(entry.Name, k));
    }
    job.load = [&](size_t entry, size_t image, ImageBuffer& out, WindowInterface&) {
        const auto& stored = imageHeaders[entry][image];
        // Into the buffer given, whose memory is then used again.
        out.ImageWidth = stored.Width;
        out.ImageHeight = stored.Height;
        ReadPacked(out, *file, stored.DataOffset);
    };
    job.stored = [&](size_t entry, size_t image) -> std::optional<StoredPixels> {
        const auto& stored = imageHeaders[entry][image];
        const int32_t bytes = StoredPixelBytes(stored.Width, stored.Height, *file, stored.DataOffset);
        if (bytes == 0)
            return std::nullopt;
        return StoredPixels{stored.Width, stored.Height, {file.get(), stored.DataOffset, bytes}};
    };
    return RunExtraction(context, job);
}

}  // namespace GDG
