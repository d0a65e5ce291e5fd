#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "core/archive_header.h"
#include "core/checked.h"
#include "core/error.h"
#include "io/files.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/rebuild_report.h"
#include "core/rebuild_steps.h"
#include "core/window.h"
#include "gadget/gadget.h"
#include "gadget/gadget_format.h"
#include "gadget/gadget_writer.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "io/in_order_reader.h"

namespace GDG {

using namespace Brimwork;
using Format::GadgetEntry;
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

// The digits of a number without its leading zeros: equal for "01" and "001".
std::string Significant(const std::string& digits)
{
    const size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string() : digits.substr(first);
}

// The image number of one of an entry's files, as its digits say it.
std::string NumberOf(const std::string& fileName, const std::string& entryName)
{
    const std::string digits = Significant(ImageNumberPart(fileName, entryName));
    return digits.empty() ? "0" : digits;
}

// Compares two digit strings by value, without converting them.
bool NumberLess(const std::string& a, const std::string& b)
{
    const std::string x = Significant(a);
    const std::string y = Significant(b);
    return x.size() != y.size() ? x.size() < y.size() : x < y;
}

// Files in the folder that look like an entry's images but cannot be
// taken as such, each with the reason.
class Strays {
public:
    void Add(std::string text) { found_.push_back(std::move(text)); }

    void RefuseAny(const ModuleContext& context) const
    {
        if (found_.empty())
            return;
        const auto count = static_cast<int64_t>(found_.size());
        throw Error("Cannot rebuild " + context.container.FileTitle + ": " + CountOf(count, "file", "files") +
                    " in " + context.folder.string() + (count == 1 ? " is" : " are") +
                    " named like an entry's images, but only files named <entry>_<number>.tga are taken as "
                    "images:\n" +
                    ListedFiles(found_) + "\nRename, move or delete " + (count == 1 ? "it" : "them") +
                    ", then rebuild again. Nothing was changed.");
    }

private:
    std::vector<std::string> found_;
};

// Gives every TGA file of the folder named "<entry>_<digits>.tga" (letter
// case ignored) to that entry; where several entries' names fit, the
// longest one takes it (entries of equal names share it). A file that is
// named "<entry>_<anything else>.tga", two files of one entry with the same
// number, and anything but a regular file under such a name are refused.
// The folder is listed once; the entries are found by upper-cased name.
void AssignImageFiles(ModuleContext& context, GadgetManifest& manifest)
{
    std::unordered_map<std::string, std::vector<size_t>> entriesByUpperName;
    for (size_t i = 0; i < manifest.entries.size(); ++i)
        entriesByUpperName[ToUpper(manifest.entries[i].name)].push_back(i);

    auto listing = context.files.ListFolderWithTypes(context.folder);
    std::sort(listing.begin(), listing.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    Strays strays;
    for (const auto& [fileName, type] : listing) {
        if (fileName.size() < 5 || !EndsWithTgaIgnoringCase(fileName))
            continue;
        const std::string upper = ToUpper(fileName);
        // Only the last "_" can leave nothing but digits after it; any "_"
        // after an entry's name makes the file one the rebuild must account for.
        const size_t last = upper.rfind('_', upper.size() - 5);
        const std::vector<size_t>* owners = nullptr;
        bool named = false;
        for (size_t at = last; at != std::string::npos; at = at == 0 ? std::string::npos : upper.rfind('_', at - 1)) {
            const auto found = entriesByUpperName.find(upper.substr(0, at));
            if (found == entriesByUpperName.end())
                continue;
            named = true;
            if (at == last && IsNumber(upper.substr(at + 1, upper.size() - at - 5)))
                owners = &found->second;
            break;
        }
        if (!named)
            continue;
        if (owners == nullptr) {
            strays.Add(fileName + ": not numbered as <entry>_<number>.tga");
            continue;
        }
        if (type != EntryType::Regular) {
            strays.Add(fileName + (type == EntryType::Symlink ? ": a symbolic link, which is never followed"
                                                               : ": not a regular file"));
            continue;
        }
        for (size_t i : *owners)
            manifest.entries[i].tgaFiles.push_back(fileName);
    }
    for (auto& entry : manifest.entries) {
        std::stable_sort(entry.tgaFiles.begin(), entry.tgaFiles.end(), [&](const std::string& a, const std::string& b) {
            return NumberLess(ImageNumberPart(a, entry.name), ImageNumberPart(b, entry.name));
        });
        for (size_t k = 1; k < entry.tgaFiles.size(); ++k) {
            const std::string number = NumberOf(entry.tgaFiles[k], entry.name);
            if (NumberOf(entry.tgaFiles[k - 1], entry.name) == number)
                strays.Add(entry.tgaFiles[k - 1] + " and " + entry.tgaFiles[k] + ": both image " + number +
                           " of entry \"" + entry.name + "\"");
        }
    }
    strays.RefuseAny(context);
}

std::vector<std::string> ImageFileNames(const GadgetManifest& manifest)
{
    std::vector<std::string> names;
    for (const auto& entry : manifest.entries)
        names.insert(names.end(), entry.tgaFiles.begin(), entry.tgaFiles.end());
    return names;
}

// The container as it stands, read only so that a dry run can say what
// becomes of each image. Where it cannot be read, every image counts as
// added, and the report says why.
class ContainerBefore {
public:
    ContainerBefore(ModuleContext& context, RebuildReport& report)
    {
        try {
            file_ = context.files.OpenContainer(context.container.FileName);
            const ArchiveHeader header = ReadArchiveHeader(*file_);
            if (header.Signature != Format::Signature)
                ThrowDamaged(file_->Path().string(), "it does not start with the gadget file signature");
            entries_ = Format::ReadEntries(*file_, header.EntryCount);
        } catch (const Error& error) {
            report.unreadableContainer = error.what();
            file_.reset();
        }
    }

    const GadgetEntry* Entry(size_t i) const { return i < entries_.size() ? &entries_[i] : nullptr; }
    size_t EntryCount() const { return entries_.size(); }

    std::optional<Format::ImageHeader> Header(size_t i, int32_t k) const
    {
        const GadgetEntry* entry = Entry(i);
        if (entry == nullptr || k >= entry->ImageCount)
            return std::nullopt;
        try {
            return Format::ReadImageHeader(*file_, *entry, k);
        } catch (const Error&) {
            return std::nullopt;
        }
    }

    std::optional<ImageBuffer> Image(size_t i, int32_t k) const
    {
        const auto header = Header(i, k);
        if (!header)
            return std::nullopt;
        ImageBuffer image{header->Width, header->Height, {}};
        ReadPacked(image, *file_, header->DataOffset);
        return image;
    }

private:
    std::unique_ptr<ReadableFile> file_;
    std::vector<GadgetEntry> entries_;
};

// Says, for a dry run, what becomes of the container's entries and images.
class DryRunReport {
public:
    DryRunReport(ModuleContext& context, RebuildReport& report) : report_(report), before_(context, report) {}

    void BeginEntry(size_t i, const std::string& name)
    {
        EntryReport& entry = report_.BeginEntry(name, "image");
        const GadgetEntry* old = before_.Entry(i);
        entry.isNew = old == nullptr;
        if (old != nullptr && old->Name != name)
            entry.oldName = old->Name;
    }

    void Image(size_t i, int32_t k, const fs::path& tga, const TgaOrigin& origin, const ImageBuffer& image)
    {
        report_.AddImage({.index = k, .file = tga.filename().string(), .bit15Lost = !origin.wordsKept},
                         before_.Image(i, k), image);
    }

    // The images the entry held beyond those it now gets.
    void EndEntry(size_t i, int32_t imageCount)
    {
        const GadgetEntry* old = before_.Entry(i);
        for (int32_t k = imageCount; old != nullptr && k < old->ImageCount; ++k) {
            const auto header = before_.Header(i, k);
            report_.entries.back().images.push_back(
                {ImageReport::Change::Dropped, k, {}, header ? header->Width : 0, header ? header->Height : 0});
        }
    }

    void End(size_t entryCount)
    {
        for (size_t i = entryCount; i < before_.EntryCount(); ++i)
            report_.droppedEntries.push_back(before_.Entry(i)->Name);
    }

private:
    RebuildReport& report_;
    ContainerBefore before_;
};

// Writes the gadget file through its writer, the images in manifest
// order. Returns the TGA files read.
std::vector<fs::path> WriteContainer(ModuleContext& context, const GadgetManifest& manifest, WritableFile& file)
{
    std::optional<DryRunReport> report;
    if (context.rebuild.dryRun && context.rebuild.report != nullptr)
        report.emplace(context, *context.rebuild.report);
    ContainerWriter writer(file, manifest.head.headerValue, manifest.head.entryCount);
    std::vector<fs::path> read;
    if (manifest.head.entryCount <= 0) {
        writer.Finish();
        if (report)
            report->End(0);
        return read;
    }
    InOrderReader<TgaImage> images(context.files, context.folder, ImageFileNames(manifest), DecodeTga);
    for (int32_t i = 0; i < manifest.head.entryCount; ++i) {
        const ManifestEntry& entry = manifest.entries[static_cast<size_t>(i)];
        if (report)
            report->BeginEntry(static_cast<size_t>(i), entry.name);
        const auto imageCount = Checked::ToInt32(static_cast<int64_t>(entry.tgaFiles.size()), "The image count");
        writer.BeginEntry(entry.name, entry.value, imageCount);
        for (int32_t k = 0; k < imageCount; ++k) {
            const fs::path tga = context.folder / entry.tgaFiles[static_cast<size_t>(k)];
            TgaImage next = images.Next();
            context.image = std::move(next.image);
            read.push_back(tga);
            if (report)
                report->Image(static_cast<size_t>(i), k, tga, next.origin, context.image);
            writer.AddImage(context.image, tga.string());
        }
        if (report)
            report->EndEntry(static_cast<size_t>(i), imageCount);
        context.window.SetProgress(ProgressPercent(i + 1, manifest.head.entryCount));
        context.window.Yield();
    }
    writer.Finish();
    if (report)
        report->End(static_cast<size_t>(manifest.head.entryCount));
    return read;
}

}  // namespace

void Rebuild(ModuleContext& context)
{
    const fs::path manifestPath = context.folder / ManifestName;
    RebuildSteps::BeginReport(context, manifestPath);
    if (context.files.TypeOf(manifestPath) == EntryType::Missing) {
        RebuildSteps::RefuseWithoutManifest(context,
                                            "Error: No EXTRACT.DAT file found in current directory.  Can't rebuild.");
        return;
    }
    GadgetManifest manifest =
        ReadManifest(RebuildSteps::ReadManifestText(context.files, manifestPath), manifestPath.string());
    RebuildSteps::RefuseForeignManifest(context, manifest.head.containerName, manifestPath);
    AssignImageFiles(context, manifest);
    // Line 1 names the chosen container, letter case aside: the rebuild
    // replaces that file, under its own name.
    const std::string& containerName = context.container.FileTitle;
    RebuildSteps::RefuseContainerNamingAnInput(containerName, ImageFileNames(manifest), manifestPath.string());

    RebuildSteps::ReplaceContainer(
        context, containerName, manifestPath,
        [&](WritableFile& out) { return WriteContainer(context, manifest, out); },
        [&](const fs::path& rebuilt) { ListEntries(context, rebuilt); });
}

}  // namespace GDG
