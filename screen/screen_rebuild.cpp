#include <algorithm>
#include <vector>

#include "core/archive_header.h"
#include "core/checked.h"
#include "core/error.h"
#include "core/files.h"
#include "core/folder_index.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/rebuild_steps.h"
#include "core/sequential_writer.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "screen/screen.h"
#include "screen/screen_format.h"

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

// Header, entry table, then every entry's pixels back to back in table
// order, written front to back; the table is filled in once the images it
// describes are read.
std::vector<fs::path> WriteContainer(ModuleContext& context, const ScreenManifest& manifest, WritableFile& file)
{
    const int32_t count = manifest.head.entryCount;
    SequentialWriter out(file);
    out.Append(ArchiveHeaderBytes({Format::Signature, manifest.head.headerValue, count}));
    std::vector<fs::path> read;
    if (count <= 0) {
        out.Flush();
        return read;
    }
    int32_t dataOffset = Checked::Add(ArchiveHeader::Size, Checked::Mul(Format::EntrySize, count, "The entry table"),
                                      "The entry table");
    const int64_t entryTable = out.Reserve(dataOffset - ArchiveHeader::Size);
    TgaReadAhead images(context.files, context.folder, manifest.tgaFiles);
    std::vector<uint8_t> entryRecords;
    for (int32_t i = 0; i < count; ++i) {
        const fs::path tga = context.folder / manifest.tgaFiles[static_cast<size_t>(i)];
        images.Next(context.image);
        read.push_back(tga);
        const int32_t dataSize =
            Checked::ToInt32(static_cast<int64_t>(PackedPixels(context.image).size()), "The size of " + tga.string());
        const Format::ScreenEntry entry{manifest.names[static_cast<size_t>(i)], context.image.ImageWidth,
                                        context.image.ImageHeight, dataSize, dataOffset};
        const auto record = Format::EncodeEntry(entry);
        entryRecords.insert(entryRecords.end(), record.begin(), record.end());
        out.Append(PackedPixels(context.image));
        dataOffset = Checked::Add(dataOffset, dataSize, "The rebuilt screen file");
        context.window.SetProgress(ProgressPercent(i + 1, count));
        context.window.Yield();
    }
    out.Patch(entryTable, entryRecords);
    out.Flush();
    return read;
}

}  // namespace

void Rebuild(ModuleContext& context)
{
    const std::string manifestName = ManifestNameFor(context);
    const fs::path manifestPath = context.folder / manifestName;
    if (context.files.TypeOf(manifestPath) == EntryType::Missing) {
        context.window.ShowMessage("Error: No " + manifestName + " found in current directory.  Can't rebuild.",
                                   "Rebuild Error");
        return;
    }
    ScreenManifest manifest =
        ReadManifest(RebuildSteps::ReadManifestText(context.files, manifestPath), manifestPath.string());
    FindTgaFiles(context, manifest);
    RebuildSteps::RefuseContainerNamingAnInput(manifest.head.containerName, manifest.tgaFiles,
                                               manifestPath.string());

    RebuildSteps::ReplaceContainer(
        context, manifest.head.containerName, manifestPath,
        [&](WritableFile& out) { return WriteContainer(context, manifest, out); },
        [&](const fs::path& rebuilt) { ListEntries(context, rebuilt); });
}

}  // namespace PIX
