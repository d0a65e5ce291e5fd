#include "screen/screen.h"

#include <vector>

#include "core/archive_header.h"
#include "core/error.h"
#include "core/files.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "screen/screen_format.h"

namespace PIX {

using namespace Brimwork;
using Format::ScreenEntry;

namespace {

constexpr const char* SignatureMessage = "Error: PICS file signature not found!";

std::string TgaFileName(const std::string& entryName) { return entryName + ".tga"; }

// Everything an extraction will write is checked before the first file is
// touched: the names, every image, and that no symbolic link or folder
// stands where a file is to be written.
void CheckExtraction(ModuleContext& context, ReadableFile& file, const std::vector<ScreenEntry>& entries)
{
    RequireNonEmptyPlainFileName(ManifestNameFor(context), "The manifest name");
    std::vector<std::filesystem::path> outputs{context.folder / ManifestNameFor(context)};
    for (const auto& entry : entries) {
        RequirePlainFileName(entry.Name, "The entry name");
        Manifest::NameForm(entry.Name);
        Format::CheckImage(file, entry);
        RequireFitsTga(entry.Width, entry.Height, "The image of entry \"" + entry.Name + "\"");
        outputs.push_back(context.folder / TgaFileName(entry.Name));
    }
    RequireNothingInTheWay(context.files, outputs);
}

}  // namespace

std::string ManifestNameFor(const ModuleContext& context) { return context.container.FileTitle + ".DAT"; }

bool ListEntries(ModuleContext& context, const std::filesystem::path& fileName)
{
    return ListArchive(context, fileName, Format::Signature, SignatureMessage, [](ReadableFile& file, int32_t count) {
        std::vector<std::string> names;
        for (const auto& entry : Format::ReadEntries(file, count))
            names.push_back(entry.Name);
        return names;
    });
}

void LoadImage(ModuleContext& context, int32_t entryIndex)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const ScreenEntry entry = Format::ReadEntry(*file, entryIndex);
    ImageBuffer loaded{entry.Width, entry.Height, {}};
    ReadPadded(loaded, *file, entry.DataOffset);
    context.image = std::move(loaded);
}

void ExtractImage(ModuleContext& context, int32_t entryIndex, const std::string& tgaFileName)
{
    RequireNonEmptyPlainFileName(tgaFileName, "The TGA file name");
    auto file = context.files.OpenContainer(context.container.FileName);
    const ScreenEntry entry = Format::ReadEntry(*file, entryIndex);
    ExtractPackedImage(context, std::move(file), entry.Width, entry.Height, entry.DataOffset, tgaFileName);
}

int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex)
{
    auto file = files.OpenContainer(container);
    Format::ReadEntry(*file, entryIndex);
    return 1;
}

void ExtractAll(ModuleContext& context)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const ArchiveHeader header = ReadArchiveHeader(*file);
    const auto entries = Format::ReadEntries(*file, header.EntryCount);
    CheckExtraction(context, *file, entries);

    const auto manifestPath = context.folder / ManifestNameFor(context);
    RemoveIfPresent(context.files, manifestPath);
    const std::string lineEnd(Manifest::LineEnd);
    std::string manifest = Manifest::HeadLines(context.container.FileTitle, header.HeaderValue, header.EntryCount);

    const auto count = static_cast<int32_t>(entries.size());
    TgaFileWriter writer(context.files, context.folder);
    writer.Run([&] {
        for (int32_t i = 0; i < count; ++i) {
            // The container stays open and its table, read and checked
            // above, is not read again.
            const ScreenEntry& entry = entries[static_cast<size_t>(i)];
            manifest += Manifest::NameForm(entry.Name) + lineEnd;
            ExtractPackedImage(context, writer, *file, entry.Width, entry.Height, entry.DataOffset,
                               TgaFileName(entry.Name));
            context.window.Yield();
            context.window.SetProgress(ProgressPercent(i + 1, count));
        }
    });
    // Written last, so that an extraction that fails part-way leaves no
    // manifest for a rebuild to take as complete.
    WriteWholeFile(context.files, manifestPath, manifest);
}

}  // namespace PIX
