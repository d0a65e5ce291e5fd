#include "cli/document_commands.h"

#include <cstdio>
#include <filesystem>
#include <string_view>

#include "cli/console_window.h"
#include "cli/entry_choice.h"
#include "cli/json.h"
#include "container/document.h"
#include "container/verify.h"
#include "core/error.h"
#include "io/files.h"
#include "core/names.h"

namespace Brimwork {
namespace {

namespace fs = std::filesystem;

void PrintOut(std::string_view text, const std::string& what)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Error("Cannot write " + what + " to standard output");
}

Document OpenDocument(const std::string& file)
{
    FileSystem& files = RealFileSystem();
    RequireContainerFile(files, fs::absolute(fs::path(file)), file);
    return Document::Open(files, fs::path(file));
}

// "gadget", "screen" or "vehicle", by the kind's extension.
std::string ContainerKindName(const ContainerKind& kind)
{
    const std::string extension = kind.Extension();
    if (extension == ".PIX")
        return "screen";
    if (extension == ".AZP")
        return "vehicle";
    return "gadget";
}

bool HasHeaderValue(const ContainerKind& kind) { return ContainerKindName(kind) != "vehicle"; }

bool HasEntryValue(EntryKind kind) { return kind == EntryKind::Gadget || kind == EntryKind::Vehicle; }

std::string ImageWord(EntryKind kind)
{
    return kind == EntryKind::Vehicle ? "slot" : kind == EntryKind::Shadow ? "frame" : "image";
}

std::string HotspotList(const std::vector<int32_t>& hotspots)
{
    std::string list;
    for (int32_t value : hotspots) {
        if (!list.empty())
            list += ',';
        list += std::to_string(value);
    }
    return list;
}

// A line for the file, then one per entry, each followed by one per image:
//   #1 LAMP gadget 1 image, value 0
//     0 4x4 offset 200 bytes 32
std::string InfoText(const Document& document, const std::string& file)
{
    const ContainerKind& kind = document.Kind();
    std::string text = file + ": " + ContainerKindName(kind) + " file";
    if (HasHeaderValue(kind))
        text += ", header value " + std::to_string(document.Model().headerValue);
    text += ", " + CountOf(static_cast<int64_t>(document.Entries().size()), "entry", "entries") + "\n";
    for (size_t k = 0; k < document.Entries().size(); ++k) {
        const DocumentEntry& entry = document.Entries()[k];
        const std::string word = ImageWord(entry.kind);
        text += '#';
        text += std::to_string(k) + " " + entry.name + " " + EntryKindName(entry.kind) + " " +
                CountOf(static_cast<int64_t>(entry.images.size()), word, word + "s");
        if (HasEntryValue(entry.kind))
            text += ", value " + std::to_string(entry.entryValue);
        text += "\n";
        for (size_t j = 0; j < entry.images.size(); ++j) {
            const DocumentImage& image = entry.images[j];
            text += "  ";
            text += std::to_string(j) + " " + std::to_string(image.width) + "x" +
                    std::to_string(image.height) + " offset " + std::to_string(image.Offset()) + " bytes " +
                    std::to_string(image.ByteSize());
            if (!image.hotspots.empty())
                text += " hotspots " + HotspotList(image.hotspots);
            text += "\n";
        }
    }
    return text;
}

void WriteImageJson(Json::Writer& json, size_t index, const DocumentImage& image)
{
    json.BeginObject()
        .Key("index").Number(static_cast<int64_t>(index))
        .Key("width").Number(image.width)
        .Key("height").Number(image.height)
        .Key("offset").Number(image.Offset())
        .Key("bytes").Number(image.ByteSize())
        .Key("hotspots").BeginArray();
    for (int32_t value : image.hotspots)
        json.Number(value);
    json.EndArray().EndObject();
}

void WriteEntryJson(Json::Writer& json, size_t index, const DocumentEntry& entry)
{
    json.BeginObject()
        .Key("index").Number(static_cast<int64_t>(index))
        .Key("name").String(entry.name)
        .Key("kind").String(EntryKindName(entry.kind));
    if (HasEntryValue(entry.kind))
        json.Key("entryValue").Number(entry.entryValue);
    json.Key("images").BeginArray();
    for (size_t j = 0; j < entry.images.size(); ++j)
        WriteImageJson(json, j, entry.images[j]);
    json.EndArray().EndObject();
}

std::string InfoJson(const Document& document, const std::string& file)
{
    Json::Writer json;
    json.BeginObject().Key("file").String(file).Key("kind").String(ContainerKindName(document.Kind()));
    if (HasHeaderValue(document.Kind()))
        json.Key("headerValue").Number(document.Model().headerValue);
    json.Key("entries").BeginArray();
    for (size_t k = 0; k < document.Entries().size(); ++k)
        WriteEntryJson(json, k, document.Entries()[k]);
    json.EndArray().EndObject();
    return json.Text() + "\n";
}

// "image 2 of entry #1 ("LAMP")", for the status line.
std::string WhichImage(const Document& document, size_t entry, size_t image)
{
    const DocumentEntry& held = document.Entry(entry);
    return ImageWord(held.kind) + " " + std::to_string(image) + " of entry #" + std::to_string(entry) + " (\"" +
           held.name + "\")";
}

}  // namespace

bool IsImageFileName(const std::string& path)
{
    const std::string extension = ToUpper(fs::path(path).extension().string());
    return extension == ".TGA" || extension == ".PNG";
}

void PrintInfo(const std::string& file, bool json)
{
    const Document document = OpenDocument(file);
    PrintOut(json ? InfoJson(document, file) : InfoText(document, file), "the information on " + file);
}

void ExportImage(const ImageRequest& request, bool overwrite, ConsoleWindow& window)
{
    const Document document = OpenDocument(request.file);
    const size_t entry = ChosenEntry(document, request.entry, request.file);
    document.Image(entry, request.image);
    if (!overwrite && RealFileSystem().TypeOf(fs::path(request.path)) != EntryType::Missing)
        throw Error("Cannot export to " + request.path +
                    ": a file of that name is there already. Nothing was written. Run again with --overwrite to "
                    "replace it.");
    const ExportResult result = document.ExportImage(entry, request.image, fs::path(request.path));
    if (result.bit15Lost > 0)
        window.ShowNotice(CountOf(result.bit15Lost, "pixel", "pixels") + " of " +
                              WhichImage(document, entry, request.image) +
                              " had bit 15 set, which a PNG cannot carry; " + request.path +
                              " holds them without it. A TGA export keeps bit 15.",
                          "Export");
    window.ShowStatus("Exported " + WhichImage(document, entry, request.image) + " of " + request.file + " to " +
                      request.path);
}

void ReplaceImage(const ImageRequest& request, ConsoleWindow& window)
{
    Document document = OpenDocument(request.file);
    const size_t entry = ChosenEntry(document, request.entry, request.file);
    const ImageChange change = document.ReplaceImageFromFile(entry, request.image, fs::path(request.path));
    document.Save();
    if (change.roundedPixels > 0)
        window.ShowNotice("The replace rounded " + CountOf(change.roundedPixels, "pixel", "pixels") + " of " +
                              WhichImage(document, entry, request.image) +
                              " to black or white (white where red, green and blue add up to at least 47)",
                          "Replace");
    window.ShowStatus("Replaced " + WhichImage(document, entry, request.image) + " of " + request.file + " with " +
                      request.path);
}

bool VerifyContainer(const std::string& file)
{
    FileSystem& files = RealFileSystem();
    const fs::path container = fs::absolute(fs::path(file));
    RequireContainerFile(files, container, file);
    const VerifyReport report = Verify(files, container);
    PrintOut(report.Text(), "the report on " + file);
    return !report.HasDefects();
}

}  // namespace Brimwork
