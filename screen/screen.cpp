#include "screen/screen.h"

#include <vector>

#include "core/archive_header.h"
#include "core/error.h"
#include "core/extraction.h"
#include "io/files.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "screen/screen_format.h"

namespace PIX {

using namespace Brimwork;
using Format::ScreenEntry;

std::string TgaFileName(const std::string& entryName) { return entryName + ".tga"; }

namespace {

// Everything an extraction will write is checked before the first file is
// touched: the names and every image.
void CheckExtraction(ModuleContext& context, ReadableFile& file, const std::vector<ScreenEntry>& entries)
{
    RequireNonEmptyPlainFileName(ManifestNameFor(context), "The manifest name");
    for (const auto& entry : entries) {
        RequirePlainFileName(entry.Name, "The entry name");
        Manifest::NameForm(entry.Name);
        Format::CheckImage(file, entry);
        RequireFitsTga(entry.Width, entry.Height, "The image of entry \"" + entry.Name + "\"");
    }
}

}  // namespace

std::string ManifestNameFor(const ModuleContext& context) { return context.container.FileTitle + ".DAT"; }

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

void LoadImage(ModuleContext& context, int32_t entryIndex)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const ScreenEntry entry = Format::ReadEntry(*file, entryIndex);
    ImageBuffer loaded{entry.Width, entry.Height, {}};
    ReadPadded(loaded, *file, entry.DataOffset);
    context.image = std::move(loaded);
}

int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex)
{
    auto file = files.OpenContainer(container);
    Format::ReadEntry(*file, entryIndex);
    return 1;
}

ExtractionResult ExtractAll(ModuleContext& context)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const ArchiveHeader header = ReadArchiveHeader(*file);
    // The container stays open and its table, read and checked here, is
    // not read again.
    const auto entries = Format::ReadEntries(*file, header.EntryCount);
    CheckExtraction(context, *file, entries);

    ExtractionJob job;
    job.manifestPath = context.folder / ManifestNameFor(context);
    job.manifestText = Manifest::HeadLines(context.container.FileTitle, header.HeaderValue, header.EntryCount);
    for (const ScreenEntry& entry : entries) {
        job.manifestText += Manifest::NameForm(entry.Name) + std::string(Manifest::LineEnd);
        job.entries.push_back({entry.Name, {TgaFileName(entry.Name)}});
    }
    job.load = [&](size_t entry, size_t, ImageBuffer& out, WindowInterface&) {
        const ScreenEntry& stored = entries[entry];
        // Into the buffer given, whose memory is then used again.
        out.ImageWidth = stored.Width;
        out.ImageHeight = stored.Height;
        ReadPacked(out, *file, stored.DataOffset);
    };
    job.stored = [&](size_t entry, size_t) -> std::optional<StoredPixels> {
        const ScreenEntry& stored = entries[entry];
        const int32_t bytes = StoredPixelBytes(stored.Width, stored.Height, *file, stored.DataOffset);
        if (bytes == 0)
            return std::nullopt;
        return StoredPixels{stored.Width, stored.Height, {file.get(), stored.DataOffset, bytes}};
    };
    return RunExtraction(context, job);
}

}  // namespace PIX
