#include <algorithm>
#include <unordered_map>
#include <vector>

#include "core/archive_header.h"
#include "core/checked.h"
#include "core/error.h"
#include "core/files.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/rebuild_steps.h"
#include "core/sequential_writer.h"
#include "core/window.h"
#include "gadget/gadget.h"
#include "gadget/gadget_format.h"
#include "image/image_buffer.h"
#include "image/tga.h"

namespace GDG {

using namespace Brimwork;
namespace fs = std::filesystem;

namespace {

struct ManifestEntry {
    int32_t value = 0;
    std::string name;
    std::vector<std::string> tgaFiles;  // in the order the images are stored
};

struct GadgetManifest {
    RebuildSteps::ManifestHead head;
    std::vector<ManifestEntry> entries;
};

GadgetManifest ReadManifest(const std::string& text, const std::string& manifestName)
{
    Manifest::Reader reader(text, manifestName);
    GadgetManifest manifest;
    manifest.head = RebuildSteps::ReadManifestHead(reader, manifestName);
    const int32_t count = manifest.head.entryCount;
    for (int32_t i = 0; i < count; ++i) {
        const std::string which = "entry " + std::to_string(i + 1) + " of " + std::to_string(count);
        ManifestEntry entry;
        entry.value = reader.ReadNumber("the value of " + which);
        entry.name = RebuildSteps::ReadEntryName(reader, manifestName, which);
        manifest.entries.push_back(std::move(entry));
    }
    return manifest;
}

bool EndsWithTgaIgnoringCase(const std::string& fileName)
{
    return fileName.size() >= 4 && ToUpper(fileName.substr(fileName.size() - 4)) == ".TGA";
}

// The part between "<entry name>_" and ".tga".
std::string ImageNumberPart(const std::string& fileName, const std::string& entryName)
{
    return fileName.substr(entryName.size() + 1, fileName.size() - entryName.size() - 1 - 4);
}

bool IsNumber(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Compares two digit strings by value, without converting them.
bool NumberLess(const std::string& a, const std::string& b)
{
    const auto significant = [](const std::string& s) {
        const size_t first = s.find_first_not_of('0');
        return first == std::string::npos ? std::string() : s.substr(first);
    };
    const std::string x = significant(a);
    const std::string y = significant(b);
    return x.size() != y.size() ? x.size() < y.size() : x < y;
}

// Images in the order of the number after "<name>_" (_999 before _1000);
// files whose part there is not a number follow, in name order.
void SortImageFiles(std::vector<std::string>& files, const std::string& entryName)
{
    std::stable_sort(files.begin(), files.end(), [&](const std::string& a, const std::string& b) {
        const std::string na = ImageNumberPart(a, entryName);
        const std::string nb = ImageNumberPart(b, entryName);
        const bool aNumbered = IsNumber(na);
        const bool bNumbered = IsNumber(nb);
        if (aNumbered != bNumbered)
            return aNumbered;
        if (aNumbered && (NumberLess(na, nb) || NumberLess(nb, na)))
            return NumberLess(na, nb);
        return a < b;
    });
}

// Gives every TGA file of the folder to the entries whose pattern
// "<entry name>_*.tga" it matches, letter case ignored; a file that matches
// several entries goes to the one with the longest name only (entries of
// equal names share it). The folder is listed once; the entries are found
// by upper-cased name, so each file is looked up at each "_" of its name,
// the last one first, since the longest matching name ends there.
void AssignImageFiles(ModuleContext& context, GadgetManifest& manifest)
{
    std::unordered_map<std::string, std::vector<size_t>> entriesByUpperName;
    for (size_t i = 0; i < manifest.entries.size(); ++i)
        entriesByUpperName[ToUpper(manifest.entries[i].name)].push_back(i);

    auto listing = context.files.ListFolderWithTypes(context.folder);
    std::sort(listing.begin(), listing.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    for (const auto& [fileName, type] : listing) {
        if (fileName.size() < 5 || !EndsWithTgaIgnoringCase(fileName))
            continue;
        const std::string upper = ToUpper(fileName);
        // The "_" must leave at least ".tga" after it.
        const std::vector<size_t>* owners = nullptr;
        for (size_t at = upper.rfind('_', upper.size() - 5); at != std::string::npos && owners == nullptr;
             at = at == 0 ? std::string::npos : upper.rfind('_', at - 1)) {
            const auto found = entriesByUpperName.find(upper.substr(0, at));
            if (found != entriesByUpperName.end())
                owners = &found->second;
        }
        if (owners == nullptr)
            continue;
        if (type == EntryType::Symlink)
            throw Error("Cannot read " + (context.folder / fileName).string() +
                        ": it is a symbolic link, which is never followed");
        if (type != EntryType::Regular)
            continue;
        for (size_t i : *owners)
            manifest.entries[i].tgaFiles.push_back(fileName);
    }
    for (auto& entry : manifest.entries)
        SortImageFiles(entry.tgaFiles, entry.name);
}

std::vector<std::string> ImageFileNames(const GadgetManifest& manifest)
{
    std::vector<std::string> names;
    for (const auto& entry : manifest.entries)
        names.insert(names.end(), entry.tgaFiles.begin(), entry.tgaFiles.end());
    return names;
}

// Writes the gadget file front to back: header, entry table, then each
// entry's image headers followed by its pixel data. The tables are filled
// in once the images they describe are read. Returns the TGA files read.
std::vector<fs::path> WriteContainer(ModuleContext& context, const GadgetManifest& manifest, WritableFile& file)
{
    SequentialWriter out(file);
    out.Append(ArchiveHeaderBytes({Format::Signature, manifest.head.headerValue, manifest.head.entryCount}));
    std::vector<fs::path> read;
    if (manifest.head.entryCount <= 0) {
        out.Flush();
        return read;
    }
    int32_t tableOffset = Checked::Add(
        ArchiveHeader::Size, Checked::Mul(Format::EntrySize, manifest.head.entryCount, "The entry table"), "The entry table");
    const int64_t entryTable = out.Reserve(tableOffset - ArchiveHeader::Size);
    TgaReadAhead images(context.files, context.folder, ImageFileNames(manifest));
    std::vector<uint8_t> entryRecords;
    for (int32_t i = 0; i < manifest.head.entryCount; ++i) {
        const ManifestEntry& entry = manifest.entries[static_cast<size_t>(i)];
        const auto imageCount = Checked::ToInt32(static_cast<int64_t>(entry.tgaFiles.size()), "The image count");
        const auto record = Format::EncodeEntry(entry.name, entry.value, imageCount, tableOffset);
        entryRecords.insert(entryRecords.end(), record.begin(), record.end());
        int32_t dataOffset = Checked::Add(
            tableOffset, Checked::Mul(Format::ImageHeaderSize, imageCount, "An image table"), "An image table");
        const int64_t imageTable = out.Reserve(dataOffset - tableOffset);
        for (int32_t k = 0; k < imageCount; ++k) {
            const fs::path tga = context.folder / entry.tgaFiles[static_cast<size_t>(k)];
            images.Next(context.image);
            read.push_back(tga);
            const int32_t dataSize = Checked::ToInt32(static_cast<int64_t>(PackedPixels(context.image).size()), "The size of " + tga.string());
            out.Patch(imageTable + int64_t{Format::ImageHeaderSize} * k,
                      Format::EncodeImageHeader(
                          {context.image.ImageWidth, context.image.ImageHeight, dataSize, dataOffset}));
            out.Append(PackedPixels(context.image));
            dataOffset = Checked::Add(dataOffset, dataSize, "The rebuilt gadget file");
        }
        tableOffset = dataOffset;
        context.window.SetProgress(ProgressPercent(i + 1, manifest.head.entryCount));
        context.window.Yield();
    }
    out.Patch(entryTable, entryRecords);
    out.Flush();
    return read;
}

}  // namespace

void Rebuild(ModuleContext& context)
{
    const fs::path manifestPath = context.folder / ManifestName;
    if (context.files.TypeOf(manifestPath) == EntryType::Missing) {
        context.window.ShowMessage("Error: No EXTRACT.DAT file found in current directory.  Can't rebuild.",
                                   "Rebuild Error");
        return;
    }
    GadgetManifest manifest =
        ReadManifest(RebuildSteps::ReadManifestText(context.files, manifestPath), manifestPath.string());
    AssignImageFiles(context, manifest);
    RebuildSteps::RefuseContainerNamingAnInput(manifest.head.containerName, ImageFileNames(manifest),
                                               manifestPath.string());

    RebuildSteps::ReplaceContainer(
        context, manifest.head.containerName, manifestPath,
        [&](WritableFile& out) { return WriteContainer(context, manifest, out); },
        [&](const fs::path& rebuilt) { ListEntries(context, rebuilt); });
}

}  // namespace GDG
