#include "gadget/gadget_kind.h"

#include "core/archive_header.h"
#include "core/container_kind.h"
#include "io/files.h"
#include "core/manifest.h"
#include "io/read_ahead_file.h"
#include "gadget/gadget.h"
#include "gadget/gadget_format.h"
#include "gadget/gadget_writer.h"

namespace GDG {

using namespace Brimwork;

namespace {

constexpr size_t RecordBlockBytes = size_t{4} << 10;

// An image without pixels is written as 0 x 0, whatever side was not 0, as
// it comes back from its TGA file; what is left of it are its place and size.
DocumentImage PlacedAsWritten(const DocumentImage& image, int64_t offset)
{
    DocumentImage placed = Placed(image, offset);
    if (placed.width == 0 || placed.height == 0)
        placed.width = placed.height = 0;
    return placed;
}

class GadgetKind final : public ContainerKind {
public:
    const char* Extension() const override { return ".GDG"; }
    std::string ImageFileName(const std::string& entryName, int32_t imageIndex) const override
    {
        return GDG::TgaFileName(entryName, imageIndex);
    }

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
        const ArchiveHeader header = ReadArchiveHeaderOfKind(*file, Format::Signature, Format::SignatureMessage);
        DocumentModel model{header.HeaderValue, header.EntryCount, {}};
        // The image tables lie one after another between the pixels they
        // describe: read a block ahead, not one system call each.
        ReadAheadFile records(*file, RecordBlockBytes);
        auto entries = Format::ReadEntries(records, header.EntryCount);
        model.entries.reserve(entries.size());
        for (auto& entry : entries) {
            DocumentEntry& read = model.entries.emplace_back();
            read.kind = EntryKind::Gadget;
            read.entryValue = entry.EntryValue;
            const auto images = Format::ReadImageHeaders(records, entry);
            if (!images.empty()) {
                const int64_t size = int64_t{Format::ImageHeaderSize} * entry.ImageCount;
                const auto table = records.View(entry.TableOffset, static_cast<size_t>(size));
                read.recordHead.assign(table.begin(), table.end());
                read.stored = StoredBytes{file, entry.TableOffset, size};
            }
            read.name = std::move(entry.Name);
            read.images.reserve(images.size());
            for (const auto& image : images)
                read.images.push_back(StoredImage(file, image.Width, image.Height, image.DataOffset,
                                                  int64_t{image.Width} * image.Height * 2));
        }
        return model;
    }

    DocumentModel WriteModel(const DocumentModel& model, WritableFile& out) override
    {
        const auto count = static_cast<int32_t>(model.entries.size());
        const int32_t stated = count == 0 && model.statedCount < 0 ? model.statedCount : count;
        ContainerWriter writer(out, model.headerValue, stated);
        DocumentModel written{model.headerValue, stated, {}};
        written.entries.reserve(model.entries.size());
        std::vector<ContainerWriter::ImageSize> sizes;
        for (const DocumentEntry& entry : model.entries) {
            // Every image's size is known, so its table is written whole.
            sizes.clear();
            for (const DocumentImage& image : entry.images) {
                const DocumentImage placed = PlacedAsWritten(image, 0);
                sizes.push_back({placed.width, placed.height});
            }
            std::optional<ContainerWriter::StoredTable> stored;
            if (entry.stored.file)
                stored.emplace(ContainerWriter::StoredTable{*entry.stored.file, entry.stored.offset, entry.recordHead});
            const int64_t tableOffset = writer.Size();
            const auto table = writer.BeginEntry(entry.name, entry.entryValue, sizes, stored);
            DocumentEntry& placed =
                written.entries.emplace_back(DocumentEntry{entry.name, entry.kind, entry.entryValue, {}, {}, {}, {}});
            if (!table.empty()) {
                placed.recordHead.assign(table.begin(), table.end());
                placed.stored = StoredBytes{nullptr, tableOffset, static_cast<int64_t>(table.size())};
            }
            for (const DocumentImage& image : entry.images) {
                placed.images.push_back(PlacedAsWritten(image, writer.Size()));
                if (image.Edited())
                    writer.AddImage(image.width, image.height, *image.edited, "An image of entry \"" + entry.name + "\"");
                else if (image.width == 0 || image.height == 0)
                    writer.AddImage(0, 0, {}, "An image of entry \"" + entry.name + "\"");
                else
                    writer.AddStoredImage(image.width, image.height, *image.stored.file, image.stored.offset);
            }
        }
        writer.Finish();
        return written;
    }

};

}  // namespace

std::unique_ptr<ContainerKind> MakeKind() { return std::make_unique<GadgetKind>(); }

}  // namespace GDG
