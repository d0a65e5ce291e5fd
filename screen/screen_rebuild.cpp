#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "core/archive_header.h"
#include "core/error.h"
#include "io/files.h"
#include "core/folder_index.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/rebuild_report.h"
#include "core/rebuild_steps.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "io/in_order_reader.h"
#include "screen/screen.h"
#include "screen/screen_format.h"
#include "screen/screen_writer.h"

namespace PIX {

using namespace Brimwork;
namespace fs = std::filesystem;

namespace {

struct ScreenManifest {
    RebuildSteps::ManifestHead head;
    std::vector<std::string> names;
    std::vector<std::string> tgaFiles;  // the file found for each name
};

ScreenManifest ReadManifest(const std::string& text, const std::string& manifestName)
{
    Manifest::Reader reader(text, manifestName);
    ScreenManifest manifest;
    manifest.head = RebuildSteps::ReadManifestHead(reader, manifestName);
    const int32_t count = manifest.head.entryCount;
    for (int32_t i = 0; i < count; ++i)
        manifest.names.push_back(RebuildSteps::ReadEntryName(
            reader, manifestName, "entry " + std::to_string(i + 1) + " of " + std::to_string(count)));
    return manifest;
}

void FindTgaFiles(ModuleContext& context, ScreenManifest& manifest)
{
    const FolderIndex folder(context.files, context.folder);
    for (const auto& name : manifest.names)
        manifest.tgaFiles.push_back(
            folder.RequireTgaFile(name + ".tga", "entry \"" + name + "\"").filename().string());
}

// The container as it stands, read only so that a dry run can say what
// becomes of each entry. Where it cannot be read, every image counts as
// added, and the report says why.
class ContainerBefore {
public:
    ContainerBefore(ModuleContext& context, RebuildReport& report) : report_(report)
    {
        try {
            file_ = context.files.OpenContainer(context.container.FileName);
            const ArchiveHeader header = ReadArchiveHeader(*file_);
            if (header.Signature != Format::Signature)
                ThrowDamaged(file_->Path().string(), "it does not start with the screen file signature");
            entries_ = Format::ReadEntries(*file_, header.EntryCount);
        } catch (const Error& error) {
            report.unreadableContainer = error.what();
            file_.reset();
        }
    }

    void Entry(size_t i, const std::string& name, const fs::path& tga, const TgaOrigin& origin,
               const ImageBuffer& image)
    {
        EntryReport& entry = report_.BeginEntry(name, "image");
        std::optional<ImageBuffer> before;
        if (i < entries_.size()) {
            if (entries_[i].Name != name)
                entry.oldName = entries_[i].Name;
            before = Image(entries_[i]);
        } else {
            entry.isNew = true;
        }
        report_.AddImage({.file = tga.filename().string(), .bit15Lost = !origin.wordsKept}, before, image);
    }

    void End(size_t entryCount)
    {
        for (size_t i = entryCount; i < entries_.size(); ++i)
            report_.droppedEntries.push_back(entries_[i].Name);
    }

private:
    std::optional<ImageBuffer> Image(const Format::ScreenEntry& entry) const
    {
        try {
            Format::CheckImage(*file_, entry);
            ImageBuffer image{entry.Width, entry.Height, {}};
            ReadPacked(image, *file_, entry.DataOffset);
            return image;
        } catch (const Error&) {
            return std::nullopt;
        }
    }

    RebuildReport& report_;
    std::unique_ptr<ReadableFile> file_;
    std::vector<Format::ScreenEntry> entries_;
};

// Writes the screen file through its writer, the entries in manifest
// order. Returns the TGA files read.
std::vector<fs::path> WriteContainer(ModuleContext& context, const ScreenManifest& manifest, WritableFile& file)
{
    std::optional<ContainerBefore> report;
    if (context.rebuild.dryRun && context.rebuild.report != nullptr)
        report.emplace(context, *context.rebuild.report);
    const int32_t count = manifest.head.entryCount;
    ContainerWriter writer(file, manifest.head.headerValue, count);
    std::vector<fs::path> read;
    if (count <= 0) {
        writer.Finish();
        if (report)
            report->End(0);
        return read;
    }
    InOrderReader<TgaImage> images(context.files, context.folder, manifest.tgaFiles, DecodeTga);
    for (int32_t i = 0; i < count; ++i) {
        const fs::path tga = context.folder / manifest.tgaFiles[static_cast<size_t>(i)];
        TgaImage next = images.Next();
        context.image = std::move(next.image);
        read.push_back(tga);
        const std::string& name = manifest.names[static_cast<size_t>(i)];
        if (report)
            report->Entry(static_cast<size_t>(i), name, tga, next.origin, context.image);
        writer.AddEntry(name, context.image, tga.string());
        context.window.SetProgress(ProgressPercent(i + 1, count));
        context.window.Yield();
    }
    writer.Finish();
    if (report)
        report->End(static_cast<size_t>(count));
    return read;
}

}  // namespace

void Rebuild(ModuleContext& context)
{
    const std::string manifestName = ManifestNameFor(context);
    const fs::path manifestPath = context.folder / manifestName;
    RebuildSteps::BeginReport(context, manifestPath);
    if (context.files.TypeOf(manifestPath) == EntryType::Missing) {
        RebuildSteps::RefuseWithoutManifest(
            context, "Error: No " + manifestName + " found in current directory.  Can't rebuild.");
        return;
    }
    ScreenManifest manifest =
        ReadManifest(RebuildSteps::ReadManifestText(context.files, manifestPath), manifestPath.string());
    RebuildSteps::RefuseForeignManifest(context, manifest.head.containerName, manifestPath);
    FindTgaFiles(context, manifest);
    // Line 1 names the chosen container, letter case aside: the rebuild
    // replaces that file, under its own name.
    const std::string& containerName = context.container.FileTitle;
    RebuildSteps::RefuseContainerNamingAnInput(containerName, manifest.tgaFiles, manifestPath.string());

    RebuildSteps::ReplaceContainer(
        context, containerName, manifestPath,
        [&](WritableFile& out) { return WriteContainer(context, manifest, out); },
        [&](const fs::path& rebuilt) { ListEntries(context, rebuilt); });
}

}  // namespace PIX
