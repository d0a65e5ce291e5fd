#include "container/document.h"

#include <algorithm>
#include <limits>

#include "container/kinds.h"
#include "core/error.h"
#include "io/files.h"
#include "core/names.h"
#include "core/rebuild_work_file.h"
#include "image/png.h"
#include "image/tga.h"

namespace Brimwork {

namespace fs = std::filesystem;

namespace {

constexpr size_t MostShadowFrames = std::numeric_limits<int16_t>::max();
constexpr size_t MostGadgetImages = std::numeric_limits<int32_t>::max() / 16;

bool HasExtension(const fs::path& path, const char* extension)
{
    return ToUpper(path.extension().string()) == extension;
}

// The temporary name a save writes under, beside the file it replaces.
std::string WorkFileName(const fs::path& target)
{
    std::string name = ".";
    name += target.filename().string();
    name += ".brimwork-save";
    return name;
}

std::string ImageWord(EntryKind kind)
{
    return kind == EntryKind::Vehicle ? "slot" : kind == EntryKind::Shadow ? "frame" : "image";
}

}  // namespace

ImageBuffer ReadImageFile(FileSystem& files, const fs::path& path)
{
    ImageBuffer image;
    if (HasExtension(path, ".PNG"))
        ReadPNG(files, path, image);
    else if (HasExtension(path, ".TGA"))
        ReadTGA(files, path, image);
    else
        throw Error("Cannot read " + path.string() + ": its name ends in neither .tga nor .png");
    return image;
}

Document::Document(FileSystem& files, fs::path path, std::unique_ptr<ContainerKind> kind, DocumentModel model)
    : files_(&files), path_(std::move(path)), kind_(std::move(kind)), model_(std::move(model))
{
}

Document Document::Open(FileSystem& files, const fs::path& path)
{
    const fs::path full = fs::absolute(path);
    auto kind = KindForFile(files, full);
    std::shared_ptr<ReadableFile> file = files.OpenContainer(full);
    DocumentModel model = kind->ReadModel(file);
    return Document(files, full, std::move(kind), std::move(model));
}

std::string Document::Which(size_t entry) const
{
    return "entry " + std::to_string(entry) + " (\"" + model_.entries[entry].name + "\")";
}

const DocumentEntry& Document::Entry(size_t entry) const
{
    if (entry >= model_.entries.size())
        throw Error(path_.filename().string() + " has no entry " + std::to_string(entry) + ": it holds " +
                    CountOf(static_cast<int64_t>(model_.entries.size()), "entry", "entries") + ", from 0");
    return model_.entries[entry];
}

DocumentEntry& Document::EditableEntry(size_t entry)
{
    Entry(entry);
    return model_.entries[entry];
}

const DocumentImage& Document::Image(size_t entry, size_t image) const
{
    const DocumentEntry& held = Entry(entry);
    if (image >= held.images.size())
        throw Error(Which(entry) + " of " + path_.filename().string() + " has no " + ImageWord(held.kind) + " " +
                    std::to_string(image) + ": it holds " +
                    CountOf(static_cast<int64_t>(held.images.size()), ImageWord(held.kind),
                            ImageWord(held.kind) + "s"));
    return held.images[image];
}

ImageBuffer Document::LoadImage(size_t entry, size_t image) const
{
    return kind_->LoadModelImage(Entry(entry).kind, Image(entry, image));
}

ExportResult Document::ExportImage(size_t entry, size_t image, const fs::path& out) const
{
    const fs::path target = fs::absolute(out).lexically_normal();
    std::error_code unknown;
    if (target == path_.lexically_normal() || fs::equivalent(target, path_, unknown))
        throw Error("Cannot export to " + out.string() + ": it is the container itself, " + path_.string());
    const ImageBuffer packed = LoadImage(entry, image);
    if (HasExtension(out, ".PNG")) {
        WritePNG(*files_, out, packed);
        return {PixelsWithBit15(packed)};
    }
    if (!HasExtension(out, ".TGA"))
        throw Error("Cannot export to " + out.string() + ": its name ends in neither .tga nor .png");
    WriteTGA(*files_, out, packed);
    return {};
}

ImageChange Document::ReplaceImage(size_t entry, size_t image, ImageBuffer packed, const std::string& source)
{
    const DocumentImage& old = Image(entry, image);
    ImageChange change;
    DocumentImage made =
        kind_->MakeModelImage(model_.entries[entry].kind, &old, std::move(packed), source, change.roundedPixels);
    model_.entries[entry].images[image] = std::move(made);
    modified_ = true;
    return change;
}

ImageChange Document::ReplaceImageFromFile(size_t entry, size_t image, const fs::path& in)
{
    Image(entry, image);
    return ReplaceImage(entry, image, ReadImageFile(*files_, in), in.string());
}

void Document::RequireImages(const DocumentEntry& entry, EntryKind a, EntryKind b, const std::string& what) const
{
    if (entry.kind != a && entry.kind != b)
        throw Error("Cannot " + what + ": entry \"" + entry.name + "\" is a " + EntryKindName(entry.kind) +
                    " entry, whose images are fixed in number; only gadget entries and shadows take or lose "
                    "images");
}

ImageChange Document::InsertImage(size_t entry, size_t position, ImageBuffer packed, const std::string& source)
{
    const DocumentEntry& held = Entry(entry);
    RequireImages(held, EntryKind::Gadget, EntryKind::Shadow, "insert an image");
    if (position > held.images.size())
        throw Error("Cannot insert an image at position " + std::to_string(position) + " of entry \"" + held.name +
                    "\": it holds " + std::to_string(held.images.size()));
    const size_t most = held.kind == EntryKind::Shadow ? MostShadowFrames : MostGadgetImages;
    if (held.images.size() >= most)
        throw Error("Cannot insert an image into entry \"" + held.name + "\": it holds " +
                    std::to_string(held.images.size()) + ", as many as the format allows");
    ImageChange change;
    DocumentImage made = kind_->MakeModelImage(held.kind, nullptr, std::move(packed), source, change.roundedPixels);
    auto& images = model_.entries[entry].images;
    images.insert(images.begin() + static_cast<std::ptrdiff_t>(position), std::move(made));
    modified_ = true;
    return change;
}

void Document::DeleteImage(size_t entry, size_t image)
{
    Image(entry, image);
    RequireImages(model_.entries[entry], EntryKind::Gadget, EntryKind::Shadow, "delete an image");
    auto& images = model_.entries[entry].images;
    images.erase(images.begin() + static_cast<std::ptrdiff_t>(image));
    modified_ = true;
}

void Document::SetHotspots(size_t entry, size_t image, const std::vector<int32_t>& values)
{
    const DocumentImage& held = Image(entry, image);
    const EntryKind kind = model_.entries[entry].kind;
    if (kind != EntryKind::Vehicle && kind != EntryKind::Shadow)
        throw Error("Cannot set hotspots: entry \"" + model_.entries[entry].name + "\" is a " + EntryKindName(kind) +
                    " entry, whose images have none");
    if (values.size() != held.hotspots.size())
        throw Error("A " + ImageWord(kind) + " of a " + EntryKindName(kind) + " entry has " +
                    std::to_string(held.hotspots.size()) + " hotspot values, not " + std::to_string(values.size()));
    if (kind == EntryKind::Shadow)
        for (int32_t value : values)
            if (value != static_cast<int16_t>(value))
                throw Error("A hotspot of a shadow frame is a 16-bit value, from -32768 to 32767, not " +
                            std::to_string(value));
    model_.entries[entry].images[image].hotspots = values;
    modified_ = true;
}

void Document::RequireNewName(const std::string& name, const DocumentEntry* renamed) const
{
    kind_->RequireEntryName(name);
    for (const DocumentEntry& entry : model_.entries)
        if (&entry != renamed && EqualIgnoringCase(entry.name, name))
            throw Error("Another entry is named \"" + entry.name +
                        "\": names equal ignoring letter case would share their TGA files on extraction");
}

void Document::AddEntry(size_t position, const std::string& name, EntryKind kind)
{
    if (kind == EntryKind::Screen || !kind_->Holds(kind))
        throw Error(std::string("Cannot add a ") + EntryKindName(kind) + " entry to " + path_.filename().string() +
                    (kind == EntryKind::Screen && kind_->Holds(kind) ? ": a screen entry is made from its image"
                                                                     : ": its kind of file does not hold one"));
    if (position > model_.entries.size())
        throw Error("Cannot add an entry at position " + std::to_string(position) + ": " +
                    path_.filename().string() + " holds " + std::to_string(model_.entries.size()));
    RequireNewName(name, nullptr);
    model_.entries.insert(model_.entries.begin() + static_cast<std::ptrdiff_t>(position), kind_->NewEntry(name, kind));
    modified_ = true;
}

void Document::AddScreenEntry(size_t position, const std::string& name, ImageBuffer packed, const std::string& source)
{
    if (!kind_->Holds(EntryKind::Screen))
        throw Error("Cannot add a screen entry to " + path_.filename().string() +
                    ": its kind of file does not hold one");
    if (position > model_.entries.size())
        throw Error("Cannot add an entry at position " + std::to_string(position) + ": " +
                    path_.filename().string() + " holds " + std::to_string(model_.entries.size()));
    RequireNewName(name, nullptr);
    DocumentEntry entry = kind_->NewEntry(name, EntryKind::Screen);
    int64_t rounded = 0;
    entry.images.push_back(kind_->MakeModelImage(EntryKind::Screen, nullptr, std::move(packed), source, rounded));
    model_.entries.insert(model_.entries.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
    modified_ = true;
}

void Document::DeleteEntry(size_t entry)
{
    Entry(entry);
    model_.entries.erase(model_.entries.begin() + static_cast<std::ptrdiff_t>(entry));
    modified_ = true;
}

void Document::RenameEntry(size_t entry, const std::string& name)
{
    DocumentEntry& held = EditableEntry(entry);
    if (held.name == name)
        return;
    RequireNewName(name, &held);
    kind_->Rename(held, name);
    modified_ = true;
}

void Document::MoveEntry(size_t entry, size_t position)
{
    Entry(entry);
    if (position >= model_.entries.size())
        throw Error("Cannot move entry " + std::to_string(entry) + " to position " + std::to_string(position) + ": " +
                    path_.filename().string() + " holds " + std::to_string(model_.entries.size()) + ", from 0");
    if (entry == position)
        return;
    auto& entries = model_.entries;
    const auto from = entries.begin() + static_cast<std::ptrdiff_t>(entry);
    const auto to = entries.begin() + static_cast<std::ptrdiff_t>(position);
    if (entry < position)
        std::rotate(from, from + 1, to + 1);
    else
        std::rotate(to, from, from + 1);
    modified_ = true;
}

DocumentEntry Document::TakeEntry(size_t entry)
{
    DocumentEntry taken = std::move(EditableEntry(entry));
    model_.entries.erase(model_.entries.begin() + static_cast<std::ptrdiff_t>(entry));
    modified_ = true;
    return taken;
}

void Document::PutEntry(size_t position, DocumentEntry entry)
{
    if (position > model_.entries.size())
        throw Error("Cannot put an entry at position " + std::to_string(position) + ": " +
                    path_.filename().string() + " holds " + std::to_string(model_.entries.size()));
    model_.entries.insert(model_.entries.begin() + static_cast<std::ptrdiff_t>(position), std::move(entry));
    modified_ = true;
}

DocumentEntry Document::ExchangeEntry(size_t entry, DocumentEntry replacement)
{
    std::swap(EditableEntry(entry), replacement);
    modified_ = true;
    return replacement;
}

void Document::Save() { SaveAs(path_); }

void Document::SaveAs(const fs::path& path)
{
    const fs::path target = fs::absolute(path);
    if (!NameKeepsKind(target.filename().string(), *kind_))
        throw Error("Cannot save " + path_.filename().string() + " as " + target.string() +
                    ": that name would make it read as another kind of container");
    DocumentModel saved;
    {
        RebuildWorkFile work(*files_, target.parent_path(), WorkFileName(target), "save");
        saved = kind_->WriteModel(model_, work.File());
        work.Commit(target, false);
    }
    // From now on the images refer to the saved file, and the old file's
    // bytes and the edited ones in memory are let go.
    std::shared_ptr<ReadableFile> file;
    try {
        file = files_->OpenContainer(target);
    } catch (const Error& error) {
        throw Error("The save of " + target.string() + " succeeded, but the saved file cannot be opened again:\n" +
                    error.what());
    }
    for (DocumentEntry& entry : saved.entries) {
        if (entry.stored.size > 0)
            entry.stored.file = file;
        for (DocumentImage& image : entry.images)
            image.stored.file = file;
    }
    model_ = std::move(saved);
    path_ = target;
    modified_ = false;
}

}  // namespace Brimwork
