// The document: a container of any kind made from the input, then a
// sequence of edits read from the input (replace, insert and delete images,
// add, delete, rename and move entries, set hotspots), each also applied to
// a plain model unless the document refuses it. The saved file, opened
// again, holds what the plain model holds: names, kinds, every image's
// pixels and hotspots. Any container bytes at all open or are refused with
// a clear message.
#include <cstddef>
#include <cstdint>

#include "container/document.h"
#include "core/error.h"
#include "fuzz/support/fuzz_support.h"
#include "image/image_buffer.h"
#include "samples/sample_containers.h"
#include "vehicle/vehicle.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

constexpr uint8_t LongestSide = 8;
constexpr int MostEdits = 24;

struct PlainImage {
    ImageBuffer pixels;
    std::vector<int32_t> hotspots;
};

struct PlainEntry {
    std::string name;
    EntryKind kind;
    std::vector<PlainImage> images;
};

ImageBuffer ReadPicture(InputReader& in)
{
    ImageBuffer image{in.Byte() % LongestSide + 1, in.Byte() % LongestSide + 1, {}};
    for (int32_t i = 0; i < image.ImageWidth * image.ImageHeight * 2; ++i)
        image.ImageBytes.push_back(in.Byte());
    return image;
}

std::string ReadName(InputReader& in)
{
    const auto bytes = in.Bytes(in.Byte() % 12);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> Packed(const ImageBuffer& image)
{
    const auto pixels = PackedPixels(image);
    return {pixels.begin(), pixels.end()};
}

std::vector<PlainEntry> PlainModelOf(const Document& document)
{
    std::vector<PlainEntry> model;
    for (size_t i = 0; i < document.Entries().size(); ++i) {
        const DocumentEntry& entry = document.Entries()[i];
        PlainEntry& plain = model.emplace_back(PlainEntry{entry.name, entry.kind, {}});
        for (size_t k = 0; k < entry.images.size(); ++k)
            plain.images.push_back({document.LoadImage(i, k), entry.images[k].hotspots});
    }
    return model;
}

// What the document should hold after a replacement: a shadow frame is
// rounded to black and white, other images are taken as they are.
PlainImage Expected(const PlainEntry& entry, ImageBuffer image, const std::vector<int32_t>& hotspots)
{
    if (entry.kind == EntryKind::Shadow)
        AZP::RoundToShadow(image);
    return {std::move(image), hotspots};
}

// One edit, read from the input, on the document and on the plain model.
void Edit(InputReader& in, Document& document, std::vector<PlainEntry>& model)
{
    const uint8_t operation = in.Byte() % 8;
    const size_t entry = model.empty() ? 0 : in.Byte() % (model.size() + 1);
    const size_t image = in.Byte() % 18;
    const std::string name = ReadName(in);
    const auto kinds = std::array{EntryKind::Gadget, EntryKind::Screen, EntryKind::Vehicle, EntryKind::Shadow};
    const EntryKind kind = kinds[in.Byte() % 4];
    ImageBuffer picture = ReadPicture(in);
    std::vector<int32_t> hotspots;
    for (int n = in.Byte() % 5; n > 0; --n)
        hotspots.push_back(static_cast<int16_t>(in.UInt16()));
    const size_t position = image % (model.size() + 1);
    const bool done = !ErrorOf([&] {
        switch (operation) {
        case 0:
            document.ReplaceImage(entry, image, picture, "the input");
            break;
        case 1:
            document.InsertImage(entry, image, picture, "the input");
            break;
        case 2:
            document.DeleteImage(entry, image);
            break;
        case 3:
            if (kind == EntryKind::Screen)
                document.AddScreenEntry(entry, name, picture, "the input");
            else
                document.AddEntry(entry, name, kind);
            break;
        case 4:
            document.DeleteEntry(entry);
            break;
        case 5:
            document.RenameEntry(entry, name);
            break;
        case 6:
            document.MoveEntry(entry, position);
            break;
        case 7:
            document.SetHotspots(entry, image, hotspots);
            break;
        }
    }).has_value();
    if (!done)
        return;
    // The edit was taken: the same change on the plain model.
    switch (operation) {
    case 0: {
        PlainImage& old = model[entry].images[image];
        old = Expected(model[entry], picture, old.hotspots);
        break;
    }
    case 1: {
        auto& images = model[entry].images;
        const std::vector<int32_t> none(model[entry].kind == EntryKind::Shadow ? 2 : 0, 0);
        images.insert(images.begin() + static_cast<std::ptrdiff_t>(image), Expected(model[entry], picture, none));
        break;
    }
    case 2:
        model[entry].images.erase(model[entry].images.begin() + static_cast<std::ptrdiff_t>(image));
        break;
    case 3: {
        PlainEntry added{name, kind, {}};
        if (kind == EntryKind::Screen)
            added.images.push_back({picture, {}});
        if (kind == EntryKind::Vehicle)
            for (int j = 0; j < AZP::SlotCount; ++j) {
                PlainImage empty{{}, {0, 0, 0, 0}};
                MakeEmptyImage(empty.pixels);
                added.images.push_back(empty);
            }
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(entry), added);
        break;
    }
    case 4:
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(entry));
        break;
    case 5:
        model[entry].name = name;
        break;
    case 6: {
        PlainEntry moved = model[entry];
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(entry));
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(position), moved);
        break;
    }
    case 7:
        model[entry].images[image].hotspots = hotspots;
        break;
    }
}

std::vector<uint8_t> MadeContainer(InputReader& in, const std::string& name)
{
    if (in.Byte() % 4 == 0)  // now and then any bytes at all
        return in.Bytes(in.Byte() * 4);
    if (name.ends_with(".pix"))
        return Samples::BuildScreenFile(in.Int32(), {{"A", Samples::Gradient(3, 2)}, {"B", Samples::Solid(1, 4, 7)}});
    if (name.ends_with(".gdg"))
        return Samples::BuildGadgetFile(in.Int32(), {{"A", 1, {Samples::Gradient(3, 2)}}, {"B", 2, {}}});
    Samples::VehicleEntry car{"CAR", 1, false, {}, {}};
    for (int j = 0; j < AZP::SlotCount; ++j)
        car.slots.push_back({j % 3 == 0 ? Samples::Picture{} : Samples::Gradient(j % 4 + 1, 2), {j, 0, 0, 0}});
    Samples::VehicleEntry shade{"SHADE", 2, true, {}, {Samples::EncodeShadow({{true, false}, {false, true}}, {1, 2})}};
    return Samples::BuildVehicleFile({car, shade});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader in(std::span(data, size));
    const std::string names[] = {"in.gdg", "in.pix", "in.azp"};
    const std::string name = names[in.Byte() % 3];
    Workspace work(name, MadeContainer(in, name));
    std::optional<Document> document;
    if (ErrorOf([&] { document.emplace(Document::Open(work.files, work.container.FileName)); }))
        return 0;
    std::vector<PlainEntry> model = PlainModelOf(*document);
    for (int n = 0; n < MostEdits && !in.Empty(); ++n) {
        Edit(in, *document, model);
        // A save halfway: the edits after it work on the saved file.
        if (n == MostEdits / 2) {
            const auto saving = ErrorOf([&] { document->Save(); });
            Require(!saving, "a document whose edits were all taken saves: " + saving.value_or(""));
            Require(PlainModelOf(*document).size() == model.size(), "a saved document keeps its entries");
        }
    }
    const auto saving = ErrorOf([&] { document->Save(); });
    Require(!saving, "a document whose edits were all taken saves: " + saving.value_or(""));
    const Document saved = Document::Open(work.files, work.container.FileName);
    const std::vector<PlainEntry> read = PlainModelOf(saved);
    Require(read.size() == model.size(), "the saved file holds every entry");
    for (size_t i = 0; i < model.size(); ++i) {
        Require(read[i].name == model[i].name && read[i].kind == model[i].kind &&
                    read[i].images.size() == model[i].images.size(),
                "entry " + std::to_string(i) + " keeps its name, kind and image count");
        for (size_t k = 0; k < model[i].images.size(); ++k) {
            const PlainImage& a = read[i].images[k];
            const PlainImage& b = model[i].images[k];
            Require(a.pixels.ImageWidth == b.pixels.ImageWidth && a.pixels.ImageHeight == b.pixels.ImageHeight &&
                        Packed(a.pixels) == Packed(b.pixels) && a.hotspots == b.hotspots,
                    "image " + std::to_string(k) + " of entry " + std::to_string(i) + " comes back as edited");
        }
    }
    return 0;
}
