#include "screen/screen_kind.h"

#include "core/archive_header.h"
#include "core/container_kind.h"
#include "io/files.h"
#include "core/manifest.h"
#include "screen/screen.h"
#include "screen/screen_format.h"
#include "screen/screen_writer.h"

namespace PIX {

using namespace Brimwork;

namespace {

class ScreenKind final : public ContainerKind {
public:
    const char* Extension() const override { return ".PIX"; }
    std::string ImageFileName(const std::string& entryName, int32_t) const override
    {
        return PIX::TgaFileName(entryName);
    }
    bool OneImagePerEntry() const override { return true; }

    std::vector<std::string> ListEntries(FileSystem& files, const std::filesystem::path& fileName) override
    {
        return EntryNames(files, fileName);
    }
    int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex) override
    {
        return PIX::CountImages(files, container, entryIndex);
    }
    // An entry holds one image, which every index shows.
    int32_t LoadImage(ModuleContext& context, int32_t entryIndex, int32_t imageIndex) override
    {
        PIX::LoadImage(context, entryIndex);
        return imageIndex;
    }
    ExtractionResult ExtractAll(ModuleContext& context) override { return PIX::ExtractAll(context); }
    void Rebuild(ModuleContext& context) override { PIX::Rebuild(context); }

    void RequireEntryName(const std::string& name) const override
    {
        RequireEntryNameFits(name, Format::NameSize);
        Manifest::NameForm(name);
    }
    bool Holds(EntryKind kind) const override { return kind == EntryKind::Screen; }

    DocumentModel ReadModel(const std::shared_ptr<ReadableFile>& file) override
    {
        const ArchiveHeader header = ReadArchiveHeaderOfKind(*file, Format::Signature, Format::SignatureMessage);
        DocumentModel model{header.HeaderValue, header.EntryCount, {}};
        for (const auto& entry : Format::ReadEntries(*file, header.EntryCount)) {
            Format::CheckImage(*file, entry);
            DocumentEntry& read = model.entries.emplace_back();
            read.name = entry.Name;
            read.kind = EntryKind::Screen;
            read.images.push_back(StoredImage(file, entry.Width, entry.Height, entry.DataOffset,
                                              int64_t{entry.Width} * entry.Height * 2));
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
        for (const DocumentEntry& entry : model.entries) {
            const DocumentImage& image = entry.images.at(0);
            DocumentImage placed = Placed(image, writer.Size());
            // Without pixels it is written as 0 x 0, as its TGA file reads back.
            if (placed.width == 0 || placed.height == 0)
                placed.width = placed.height = 0;
            written.entries.push_back(DocumentEntry{entry.name, entry.kind, entry.entryValue, {}, {}, {placed}, {}});
            // An image without pixels comes back from its TGA file as 0 x 0,
            // whatever side was not 0, and is written so here.
            if (image.Edited())
                writer.AddEntry(entry.name, image.width, image.height, *image.edited,
                                "The image of entry \"" + entry.name + "\"");
            else if (image.width == 0 || image.height == 0)
                writer.AddEntry(entry.name, 0, 0, {}, "The image of entry \"" + entry.name + "\"");
            else
                writer.AddStoredEntry(entry.name, image.width, image.height, *image.stored.file, image.stored.offset);
        }
        writer.Finish();
        return written;
    }

};

}  // namespace

std::unique_ptr<ContainerKind> MakeKind() { return std::make_unique<ScreenKind>(); }

}  // namespace PIX
