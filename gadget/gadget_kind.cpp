#include "gadget/gadget_kind.h"

#include "core/archive_header.h"
#include "core/container_kind.h"
#include "core/error.h"
#include "core/files.h"
#include "core/manifest.h"
#include "core/read_ahead_file.h"
#include "gadget/gadget.h"
#include "gadget/gadget_format.h"
#include "gadget/gadget_writer.h"
#include "image/tga.h"

namespace GDG {

using namespace Brimwork;

namespace {

constexpr size_t RecordBlockBytes = size_t{16} << 10;

class GadgetKind final : public ContainerKind {
public:
    const char* Extension() const override { return ".GDG"; }

    std::vector<std::string> ListEntries(FileSystem& files, const std::filesystem::path& fileName) override
    {
        return EntryNames(files, fileName);
    }
    int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex) override
    {
        return GDG::CountImages(files, container, entryIndex);
    }
    int32_t LoadImage(ModuleContext& context, int32_t entryIndex, int32_t imageIndex) override
    {
        GDG::LoadImage(context, entryIndex, imageIndex);
        return imageIndex;
    }
    ExtractionResult ExtractAll(ModuleContext& context) override { return GDG::ExtractAll(context); }
    void Rebuild(ModuleContext& context) override { GDG::Rebuild(context); }

    void RequireEntryName(const std::string& name) const override
    {
        RequireEntryNameFits(name, Format::NameSize);
        Manifest::NameForm(name);
    }
    bool Holds(EntryKind kind) const override { return kind == EntryKind::Gadget; }

    DocumentModel ReadModel(const std::shared_ptr<ReadableFile>& file) override
    {
        const ArchiveHeader header = ReadArchiveHeader(*file);
        if (header.Signature != Format::Signature)
            throw Error("Error: Gadget file signature not found!", "Brimwork Error");
        DocumentModel model{header.HeaderValue, header.EntryCount, {}};
        // The image tables lie one after another between the pixels they
        // describe: read a block ahead, not one system call each.
        ReadAheadFile records(*file, RecordBlockBytes);
        const auto entries = Format::ReadEntries(records, header.EntryCount);
        model.entries.reserve(entries.size());
        for (const auto& entry : entries) {
            DocumentEntry& read = model.entries.emplace_back();
            read.name = entry.Name;
            read.kind = EntryKind::Gadget;
            read.entryValue = entry.EntryValue;
            for (const auto& image : Format::ReadImageHeaders(records, entry))
                read.images.push_back(StoredImage(file, image.Width, image.Height, image.DataOffset,
                                                  int64_t{image.Width} * image.Height * 2));
        }
        return model;
    }

    void WriteModel(const DocumentModel& model, WritableFile& out) override
    {
        const auto count = static_cast<int32_t>(model.entries.size());
        ContainerWriter writer(out, model.headerValue, count == 0 && model.statedCount < 0 ? model.statedCount : count);
        for (const DocumentEntry& entry : model.entries) {
            writer.BeginEntry(entry.name, entry.entryValue, static_cast<int32_t>(entry.images.size()));
            for (const DocumentImage& image : entry.images) {
                // An image without pixels comes back from its TGA file as
                // 0 x 0, whatever side was not 0, and is written so here.
                if (image.Edited() || image.width == 0 || image.height == 0)
                    writer.AddImage(PackedImage(image), "An image of entry \"" + entry.name + "\"");
                else
                    writer.AddStoredImage(image.width, image.height, *image.stored.file, image.stored.offset);
            }
        }
        writer.Finish();
    }

    ImageBuffer LoadModelImage(EntryKind, const DocumentImage& image) override { return PackedImage(image); }

    DocumentImage MakeModelImage(EntryKind, const DocumentImage*, ImageBuffer packed, const std::string& source,
                                 int64_t&) override
    {
        RequireFitsTga(packed.ImageWidth, packed.ImageHeight, "The image of " + source);
        const auto pixels = PackedPixels(packed);
        return EditedImage(packed.ImageWidth, packed.ImageHeight, {pixels.begin(), pixels.end()});
    }

    DocumentEntry NewEntry(const std::string& name, EntryKind kind) override
    {
        return DocumentEntry{name, kind, 0, {}, {}, {}};
    }
    void Rename(DocumentEntry& entry, const std::string& name) override { entry.name = name; }
};

}  // namespace

std::unique_ptr<ContainerKind> MakeKind() { return std::make_unique<GadgetKind>(); }

}  // namespace GDG
