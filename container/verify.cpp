#include "container/verify.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <span>

#include "container/kinds.h"
#include "core/bytes.h"
#include "core/error.h"
#include "io/files.h"
#include "core/manifest.h"
#include "core/names.h"

// Verify walks the records of a container with its own checks rather than
// through the readers, which stop at the first damage: here every record
// and image is checked on its own, so that one damaged image does not hide
// the others. No pixels are read; a shadow frame's codes are read one frame
// at a time into one buffer and walked as the decoder walks them.
namespace Brimwork {

namespace {

constexpr int64_t LargestDataSize = std::numeric_limits<int32_t>::max();
constexpr int32_t LargestTgaSide = std::numeric_limits<int16_t>::max();
// How many bytes of a record table are read at a time.
constexpr int64_t TableBlockBytes = 64 * 1024;

namespace Gadget {
constexpr const char* Signature = "GADG";
constexpr int32_t HeaderSize = 12;
constexpr int32_t EntrySize = 44;
constexpr int32_t NameSize = 32;
constexpr int32_t ImageHeaderSize = 16;
}  // namespace Gadget

namespace Screen {
constexpr const char* Signature = "PICS";
constexpr int32_t EntrySize = 48;
}  // namespace Screen

namespace Vehicle {
constexpr int32_t CountSize = 4;
constexpr int32_t EntrySize = 264;
constexpr int32_t NameSize = 256;
constexpr int32_t RecordSize = 484;
constexpr int32_t SlotCount = 17;
constexpr int32_t ShadowHeaderSize = 20;
constexpr size_t FrameCountOffset = 10;
constexpr int32_t FrameHeaderSize = 12;
}  // namespace Vehicle

namespace Codes {
constexpr uint8_t WhiteRun = 0;
constexpr uint8_t BlackRun = 245;
constexpr uint8_t WhiteToRowEnd = 237;
constexpr uint8_t BeepAndEndRow = 255;
constexpr int16_t WhiteRow = -1;
}  // namespace Codes

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string SizeText(int32_t width, int32_t height) { return std::to_string(width) + " x " + std::to_string(height); }

std::string NameField(std::span<const uint8_t> record, size_t size)
{
    const std::string_view field = Bytes::TextAt(record, 0, size);
    return std::string(field.substr(0, field.find('\0')));
}

// A stretch of the file that a record points at, kept to find the bytes no
// record points at, data that two records share, and parts out of the
// order a rebuild writes them in.
enum class PartKind { Header, EntryTable, ImageTable, Image, Slot, Record, ShadowHeader, Frame };

struct Part {
    int64_t offset = 0;
    int64_t size = 0;
    PartKind kind = PartKind::Header;
    int32_t entry = -1;
    int32_t image = -1;  // -1: the entry's only image (a screen)
};

class Verifier {
public:
    Verifier(ReadableFile& file, VerifyReport& report) : file_(file), report_(report), size_(file.Size()) {}

    void VerifyGadgetFile();
    void VerifyScreenFile();
    void VerifyVehicleFile();
    void NoteLayout();

private:
    // Findings and the words that say where.
    void Defect(const std::string& where, const std::string& text)
    {
        report_.findings.push_back({VerifyFinding::Severity::Defect, where, text});
    }
    void Note(const std::string& where, const std::string& text)
    {
        report_.findings.push_back({VerifyFinding::Severity::Note, where, text});
    }
    std::string EntryWhere(int32_t entry) const
    {
        return "entry " + std::to_string(entry) + " (" + Quoted(names_[static_cast<size_t>(entry)]) + ")";
    }
    std::string ImageWhere(const char* word, int32_t image, int32_t entry) const
    {
        return std::string(word) + " " + std::to_string(image) + " of " + EntryWhere(entry);
    }
    std::string PartWhere(const Part& part) const;

    bool Within(int64_t offset, int64_t size) const { return offset >= 0 && size >= 0 && offset <= size_ - size; }
    void AddPart(PartKind kind, int64_t offset, int64_t size, int32_t entry = -1, int32_t image = -1)
    {
        if (size > 0)
            parts_.push_back({offset, size, kind, entry, image});
    }

    // The records and the checks every kind shares.
    bool CheckArchiveHeader(const char* signature, const char* kindName, int32_t& entryCount);
    int64_t CheckEntryTable(int64_t offset, int32_t count, int32_t recordSize);
    template <typename Visit>
    void ForEachRecord(int64_t offset, int64_t count, int32_t recordSize, Visit visit);
    enum class ManifestNames { Quoted, Lines };
    void CheckEntryName(int32_t entry, ManifestNames form);
    void CheckNamesDiffer();
    enum class EmptyImage { MustLieWithin, HasNoPlace };
    std::optional<int64_t> CheckPixels(const std::string& where, int32_t width, int32_t height, int64_t offset,
                                       EmptyImage empty);
    void NoteDataSize(const std::string& where, int32_t stated, int64_t pixelBytes);

    void VerifyGadgetEntry(int32_t entry, int32_t imageCount, int32_t tableOffset);
    void VerifyScreenEntry(int32_t entry, std::span<const uint8_t> record);
    void VerifyVehicleEntry(int32_t entry, int32_t recordOffset);
    void VerifySprite(int32_t entry, int64_t recordOffset);
    void VerifyShadow(int32_t entry, int64_t recordOffset);
    // Reads and checks frame `frame` at `start`; the offset of the frame
    // after it, or nothing when the frames cannot be followed past it.
    std::optional<int64_t> VerifyFrame(int32_t entry, int32_t frame, int32_t frameCount, int64_t start);
    std::optional<std::string> FrameCodeDamage(int16_t width, int16_t height, std::span<const uint8_t> body) const;

    ReadableFile& file_;
    VerifyReport& report_;
    const int64_t size_;
    std::vector<std::string> names_;
    std::vector<Part> parts_;  // in the order a rebuild writes them
    std::vector<uint8_t> frameBuffer_;
};

std::string Verifier::PartWhere(const Part& part) const
{
    switch (part.kind) {
    case PartKind::Header:
        return "the header";
    case PartKind::EntryTable:
        return "the entry table";
    case PartKind::ImageTable:
        return "the image table of " + EntryWhere(part.entry);
    case PartKind::Image:
        return part.image < 0 ? EntryWhere(part.entry) : ImageWhere("image", part.image, part.entry);
    case PartKind::Slot:
        return ImageWhere("slot", part.image, part.entry);
    case PartKind::Record:
        return "the vehicle record of " + EntryWhere(part.entry);
    case PartKind::ShadowHeader:
        return "the shadow header of " + EntryWhere(part.entry);
    case PartKind::Frame:
        return ImageWhere("frame", part.image, part.entry);
    }
    return {};
}

// Calls visit(index, record) for `count` records of `recordSize` bytes from
// `offset`, which the caller has checked lie within the file, reading a
// block of records at a time.
template <typename Visit>
void Verifier::ForEachRecord(int64_t offset, int64_t count, int32_t recordSize, Visit visit)
{
    const int64_t perBlock = std::max<int64_t>(1, TableBlockBytes / recordSize);
    std::vector<uint8_t> block;
    for (int64_t first = 0; first < count; first += perBlock) {
        const int64_t records = std::min(perBlock, count - first);
        block.resize(static_cast<size_t>(records * recordSize));
        file_.ReadAt(offset + first * recordSize, block);
        for (int64_t k = 0; k < records; ++k)
            visit(static_cast<int32_t>(first + k),
                  std::span<const uint8_t>(block).subspan(static_cast<size_t>(k * recordSize),
                                                          static_cast<size_t>(recordSize)));
    }
}

// The 12-byte header of a gadget or screen file. A file without the
// signature is one defect, and nothing more of it can be read.
bool Verifier::CheckArchiveHeader(const char* signature, const char* kindName, int32_t& entryCount)
{
    std::vector<uint8_t> header(static_cast<size_t>(std::min<int64_t>(size_, Gadget::HeaderSize)));
    file_.ReadAt(0, header);
    const size_t signatureSize = std::strlen(signature);
    if (header.size() < signatureSize || std::memcmp(header.data(), signature, signatureSize) != 0) {
        Defect("", std::string("the file does not start with the ") + kindName + " signature " + Quoted(signature));
        return false;
    }
    if (size_ < Gadget::HeaderSize) {
        Defect("", "the file has " + std::to_string(size_) + " bytes, too few for its " +
                       std::to_string(Gadget::HeaderSize) + "-byte header");
        return false;
    }
    entryCount = Bytes::Int32At(header, 8);
    AddPart(PartKind::Header, 0, Gadget::HeaderSize);
    return true;
}

// The entry table of `count` records after the header; returns how many of
// them lie within the file. A count below 1 lists no entries.
int64_t Verifier::CheckEntryTable(int64_t offset, int32_t count, int32_t recordSize)
{
    if (count <= 0)
        return 0;
    const int64_t within = std::min<int64_t>(count, (size_ - offset) / recordSize);
    if (within < count)
        Defect("", "its entry count " + std::to_string(count) + " needs a table of " +
                       std::to_string(int64_t{count} * recordSize) + " bytes at offset " + std::to_string(offset) +
                       ", but the file has " + std::to_string(size_) + " bytes; the " +
                       CountOf(within, "entry", "entries") + " within it are checked");
    AddPart(PartKind::EntryTable, offset, within * recordSize);
    report_.entries = within;
    return within;
}

// What extraction requires of a name: a plain file name its manifest can
// carry, quoted where needed (gadget, screen) or as a line of its own
// (vehicle).
void Verifier::CheckEntryName(int32_t entry, ManifestNames form)
{
    const std::string& name = names_[static_cast<size_t>(entry)];
    try {
        RequirePlainFileName(name, "The entry name");
        if (form == ManifestNames::Quoted)
            Manifest::NameForm(name);
        else if (name.find_first_of("\r\n") != std::string::npos)
            throw Error("The entry name " + Quoted(name) + " holds a line break, which the manifest cannot carry");
    } catch (const Error& error) {
        Defect(EntryWhere(entry), std::string(error.what()) + "; extraction refuses it");
    }
}

// Extraction refuses two entries whose names are equal ignoring letter
// case, since their TGA files would be written over each other.
void Verifier::CheckNamesDiffer()
{
    std::map<std::string, int32_t> first;
    for (size_t k = 0; k < names_.size(); ++k) {
        const auto entry = static_cast<int32_t>(k);
        const auto [seen, added] = first.emplace(ToUpper(names_[k]), entry);
        if (!added)
            Defect(EntryWhere(entry), "its name equals that of " + EntryWhere(seen->second) +
                                          " ignoring letter case; extraction refuses the pair");
    }
}

// An image's size and the place of its pixels: returns the pixels' bytes,
// or nothing after a defect. An empty vehicle slot has no place to check;
// the pixels of an empty gadget or screen image must still begin within
// the file, as the viewer requires.
std::optional<int64_t> Verifier::CheckPixels(const std::string& where, int32_t width, int32_t height, int64_t offset,
                                             EmptyImage empty)
{
    const std::string size = SizeText(width, height);
    if (width < 0 || height < 0) {
        Defect(where, "it has a negative size (" + size + ")");
        return std::nullopt;
    }
    const int64_t bytes = int64_t{width} * height * 2;
    if (bytes > LargestDataSize) {
        Defect(where, "its size " + size + " needs " + std::to_string(bytes) +
                          " bytes of pixels, more than a 32-bit size can hold");
        return std::nullopt;
    }
    if (width > LargestTgaSide || height > LargestTgaSide)
        Defect(where, "its size " + size + " is too large for a TGA file; extraction refuses it");
    if (bytes == 0 && empty == EmptyImage::HasNoPlace)
        return 0;
    if (!Within(offset, bytes)) {
        Defect(where, "its pixels (" + size + ", " + std::to_string(bytes) + " bytes at offset " +
                          std::to_string(offset) + ") do not lie within the file of " + std::to_string(size_) +
                          " bytes");
        return std::nullopt;
    }
    return bytes;
}

// The data size a gadget or screen record states is not read, as the size
// gives the pixels' bytes; a rebuild writes the size's.
void Verifier::NoteDataSize(const std::string& where, int32_t stated, int64_t pixelBytes)
{
    if (stated != pixelBytes)
        Note(where, "its data size field says " + std::to_string(stated) + " bytes, its size gives " +
                        std::to_string(pixelBytes) + "; a rebuild writes " + std::to_string(pixelBytes));
}

void Verifier::VerifyGadgetFile()
{
    int32_t count = 0;
    if (!CheckArchiveHeader(Gadget::Signature, "gadget", count))
        return;
    const int64_t within = CheckEntryTable(Gadget::HeaderSize, count, Gadget::EntrySize);
    // The names come first, for the findings about the images that follow.
    struct ImageTable {
        int32_t count = 0;
        int32_t offset = 0;
    };
    std::vector<ImageTable> tables;
    ForEachRecord(Gadget::HeaderSize, within, Gadget::EntrySize, [&](int32_t, std::span<const uint8_t> record) {
        names_.push_back(NameField(record, Gadget::NameSize));
        tables.push_back({Bytes::Int32At(record, 36), Bytes::Int32At(record, 40)});
    });
    for (size_t k = 0; k < tables.size(); ++k)
        VerifyGadgetEntry(static_cast<int32_t>(k), tables[k].count, tables[k].offset);
    CheckNamesDiffer();
}

void Verifier::VerifyGadgetEntry(int32_t entry, int32_t imageCount, int32_t tableOffset)
{
    CheckEntryName(entry, ManifestNames::Quoted);
    if (imageCount < 0)
        Note(EntryWhere(entry), "its image count " + std::to_string(imageCount) +
                                    " is read as no images; a rebuild writes 0");
    if (imageCount <= 0)
        return;
    int64_t within = 0;
    if (tableOffset >= 0 && tableOffset <= size_)
        within = std::min<int64_t>(imageCount, (size_ - tableOffset) / Gadget::ImageHeaderSize);
    if (within < imageCount) {
        const bool outside = tableOffset < 0 || tableOffset > size_;
        Defect(EntryWhere(entry), "its image table (" + CountOf(imageCount, "image", "images") + ", " +
                                      std::to_string(int64_t{imageCount} * Gadget::ImageHeaderSize) +
                                      " bytes at offset " + std::to_string(tableOffset) + ") " +
                                      (outside ? "lies outside the file"
                                               : "reaches past the end of the file; the " +
                                                     CountOf(within, "image", "images") + " within it are checked"));
    }
    AddPart(PartKind::ImageTable, tableOffset, within * Gadget::ImageHeaderSize, entry);
    report_.images += within;
    ForEachRecord(tableOffset, within, Gadget::ImageHeaderSize, [&](int32_t image, std::span<const uint8_t> header) {
        const std::string where = ImageWhere("image", image, entry);
        const int32_t width = Bytes::Int32At(header, 0);
        const int32_t height = Bytes::Int32At(header, 4);
        const int32_t dataOffset = Bytes::Int32At(header, 12);
        if (const auto bytes = CheckPixels(where, width, height, dataOffset, EmptyImage::MustLieWithin)) {
            AddPart(PartKind::Image, dataOffset, *bytes, entry, image);
            NoteDataSize(where, Bytes::Int32At(header, 8), *bytes);
        }
    });
}

void Verifier::VerifyScreenFile()
{
    int32_t count = 0;
    if (!CheckArchiveHeader(Screen::Signature, "screen", count))
        return;
    const int64_t within = CheckEntryTable(Gadget::HeaderSize, count, Screen::EntrySize);
    ForEachRecord(Gadget::HeaderSize, within, Screen::EntrySize, [&](int32_t entry, std::span<const uint8_t> record) {
        names_.push_back(NameField(record, Gadget::NameSize));
        VerifyScreenEntry(entry, record);
    });
    report_.images = within;
    CheckNamesDiffer();
}

void Verifier::VerifyScreenEntry(int32_t entry, std::span<const uint8_t> record)
{
    CheckEntryName(entry, ManifestNames::Quoted);
    const std::string where = EntryWhere(entry);
    const int32_t width = Bytes::Int32At(record, 32);
    const int32_t height = Bytes::Int32At(record, 36);
    const int32_t dataOffset = Bytes::Int32At(record, 44);
    if (const auto bytes = CheckPixels(where, width, height, dataOffset, EmptyImage::MustLieWithin)) {
        AddPart(PartKind::Image, dataOffset, *bytes, entry);
        NoteDataSize(where, Bytes::Int32At(record, 40), *bytes);
    }
}

void Verifier::VerifyVehicleFile()
{
    if (size_ < Vehicle::CountSize) {
        Defect("", "the file has " + CountOf(size_, "byte", "bytes") + ", too few to hold its " +
                       std::to_string(Vehicle::CountSize) + "-byte entry count");
        return;
    }
    std::vector<uint8_t> countBytes(Vehicle::CountSize);
    file_.ReadAt(0, countBytes);
    AddPart(PartKind::Header, 0, Vehicle::CountSize);
    const int64_t within = CheckEntryTable(Vehicle::CountSize, Bytes::Int32At(countBytes, 0), Vehicle::EntrySize);
    std::vector<int32_t> recordOffsets;
    ForEachRecord(Vehicle::CountSize, within, Vehicle::EntrySize, [&](int32_t, std::span<const uint8_t> record) {
        names_.push_back(NameField(record, Vehicle::NameSize));
        recordOffsets.push_back(Bytes::Int32At(record, 256));
    });
    for (size_t k = 0; k < recordOffsets.size(); ++k)
        VerifyVehicleEntry(static_cast<int32_t>(k), recordOffsets[k]);
    CheckNamesDiffer();
}

void Verifier::VerifyVehicleEntry(int32_t entry, int32_t recordOffset)
{
    CheckEntryName(entry, ManifestNames::Lines);
    if (recordOffset < 0 || recordOffset > size_) {
        Defect(EntryWhere(entry), "its record lies outside the file (offset " + std::to_string(recordOffset) + ")");
        return;
    }
    std::vector<uint8_t> tag(static_cast<size_t>(std::min<int64_t>(4, size_ - recordOffset)));
    file_.ReadAt(recordOffset, tag);
    if (Bytes::TextAt(tag, 0, tag.size()) == "IRPS")
        VerifyShadow(entry, recordOffset);
    else
        VerifySprite(entry, recordOffset);
}

void Verifier::VerifySprite(int32_t entry, int64_t recordOffset)
{
    if (!Within(recordOffset, Vehicle::RecordSize)) {
        Defect(EntryWhere(entry), "its vehicle record (" + std::to_string(Vehicle::RecordSize) + " bytes at offset " +
                                      std::to_string(recordOffset) + ") reaches past the end of the file");
        return;
    }
    std::vector<uint8_t> record(Vehicle::RecordSize);
    file_.ReadAt(recordOffset, record);
    AddPart(PartKind::Record, recordOffset, Vehicle::RecordSize, entry);
    report_.images += Vehicle::SlotCount;
    for (int32_t j = 0; j < Vehicle::SlotCount; ++j) {
        const auto slot = static_cast<size_t>(j);
        const int32_t width = Bytes::Int32At(record, 280 + 8 * slot);
        const int32_t height = Bytes::Int32At(record, 284 + 8 * slot);
        // A slot's pixels are counted from the end of its record.
        const int64_t offset = recordOffset + Vehicle::RecordSize + Bytes::Int32At(record, 416 + 4 * slot);
        if (const auto bytes = CheckPixels(ImageWhere("slot", j, entry), width, height, offset, EmptyImage::HasNoPlace))
            AddPart(PartKind::Slot, offset, *bytes, entry, j);
    }
}

void Verifier::VerifyShadow(int32_t entry, int64_t recordOffset)
{
    if (!Within(recordOffset, Vehicle::ShadowHeaderSize)) {
        Defect(EntryWhere(entry), "its shadow header (" + std::to_string(Vehicle::ShadowHeaderSize) +
                                      " bytes at offset " + std::to_string(recordOffset) +
                                      ") reaches past the end of the file");
        return;
    }
    std::vector<uint8_t> header(Vehicle::ShadowHeaderSize);
    file_.ReadAt(recordOffset, header);
    AddPart(PartKind::ShadowHeader, recordOffset, Vehicle::ShadowHeaderSize, entry);
    const int16_t frameCount = Bytes::Int16At(header, Vehicle::FrameCountOffset);
    if (frameCount < 0)
        Note(EntryWhere(entry), "its frame count " + std::to_string(frameCount) + " is read as no frames");
    std::optional<int64_t> start = recordOffset + Vehicle::ShadowHeaderSize;
    for (int32_t f = 0; f < frameCount && start; ++f)
        start = VerifyFrame(entry, f, frameCount, *start);
}

std::optional<int64_t> Verifier::VerifyFrame(int32_t entry, int32_t frame, int32_t frameCount, int64_t start)
{
    // Each frame is found by stepping over the one before, so damage that
    // stops the step also hides every frame after it.
    const std::string unreachable =
        frame + 1 < frameCount ? "; frames " + std::to_string(frame + 1) + " to " + std::to_string(frameCount - 1) +
                                     " behind it cannot be reached"
                               : "";
    if (!Within(start, Vehicle::FrameHeaderSize)) {
        Defect(EntryWhere(entry), "its frame count " + std::to_string(frameCount) +
                                      " is more than the file holds: frame " + std::to_string(frame) +
                                      " would begin at offset " + std::to_string(start) +
                                      ", past the end of the file");
        return std::nullopt;
    }
    std::vector<uint8_t> header(Vehicle::FrameHeaderSize);
    file_.ReadAt(start, header);
    report_.images += 1;
    const std::string where = ImageWhere("frame", frame, entry);
    const int16_t width = Bytes::Int16At(header, 0);
    const int16_t height = Bytes::Int16At(header, 2);
    const int32_t dataSize = Bytes::Int32At(header, 8);
    if (width < 0 || height < 0) {
        Defect(where, "it has a negative size (" + SizeText(width, height) + ")" + unreachable);
        return std::nullopt;
    }
    if (dataSize < 2 * height) {
        Defect(where, "it holds " + std::to_string(dataSize) + " bytes of data, fewer than its table of " +
                          CountOf(height, "row", "rows") + " needs" + unreachable);
        return std::nullopt;
    }
    if (!Within(start + Vehicle::FrameHeaderSize, dataSize)) {
        Defect(where, "its " + std::to_string(dataSize) + " bytes of data at offset " +
                          std::to_string(start + Vehicle::FrameHeaderSize) + " reach past the end of the file" +
                          unreachable);
        return std::nullopt;
    }
    AddPart(PartKind::Frame, start, Vehicle::FrameHeaderSize + int64_t{dataSize}, entry, frame);
    frameBuffer_.resize(static_cast<size_t>(dataSize));
    file_.ReadAt(start + Vehicle::FrameHeaderSize, frameBuffer_);
    if (auto damage = FrameCodeDamage(width, height, frameBuffer_))
        Defect(where, *damage);
    return start + Vehicle::FrameHeaderSize + dataSize;
}

// Walks every row's codes as the decoder does and says what the first
// damaged row does wrong, and how many rows are damaged.
std::optional<std::string> Verifier::FrameCodeDamage(int16_t width, int16_t height,
                                                     std::span<const uint8_t> body) const
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    const auto data = body.subspan(2 * static_cast<size_t>(height));
    const auto rowDamage = [&](int32_t row) -> std::optional<std::string> {
        const std::string which = "row " + std::to_string(row);
        const int16_t rowOffset = Bytes::Int16At(body, 2 * static_cast<size_t>(row));
        if (rowOffset == Codes::WhiteRow)
            return std::nullopt;
        if (rowOffset < 0 || static_cast<size_t>(rowOffset) >= data.size())
            return which + " begins at byte " + std::to_string(rowOffset) + ", outside the frame's " +
                   CountOf(static_cast<int64_t>(data.size()), "byte", "bytes") + " of codes";
        int64_t column = 0;
        for (size_t at = static_cast<size_t>(rowOffset); column < width; at += 2) {
            if (at >= data.size())
                return which + "'s codes run past the end of the frame's data after " + std::to_string(column) +
                       " of " + std::to_string(width) + " pixels";
            const uint8_t code = data[at];
            if (code == Codes::WhiteToRowEnd || code == Codes::BeepAndEndRow)
                return std::nullopt;
            if (code != Codes::WhiteRun && code != Codes::BlackRun)
                return which + " holds the code " + std::to_string(code) + " at byte " + std::to_string(at) +
                       ", which means nothing";
            if (at + 1 >= data.size())
                return which + "'s last run has no length: its codes run past the end of the frame's data";
            column += data[at + 1];
        }
        if (column > width)
            return which + "'s runs cover " + std::to_string(column) + " pixels, past the end of its row of " +
                   std::to_string(width);
        return std::nullopt;
    };
    std::optional<std::string> first;
    int32_t damaged = 0;
    for (int32_t row = 0; row < height; ++row) {
        if (auto damage = rowDamage(row)) {
            ++damaged;
            if (!first)
                first = std::move(damage);
        }
    }
    if (damaged > 1)
        *first += " (" + CountOf(damaged, "row", "rows") + " damaged in all)";
    return first;
}

// Gaps, shared data, bytes after the last record and parts out of the
// rebuild's order: layouts that read well but that a rebuild changes.
void Verifier::NoteLayout()
{
    for (size_t k = 1; k < parts_.size(); ++k) {
        if (parts_[k].offset < parts_[k - 1].offset) {
            Note("", "the parts do not lie in the order a rebuild writes them (" + PartWhere(parts_[k]) +
                         " lies before " + PartWhere(parts_[k - 1]) + "); a rebuild reorders them");
            break;
        }
    }
    std::vector<Part> sorted = parts_;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Part& a, const Part& b) { return a.offset < b.offset; });
    int64_t reached = 0;
    const Part* reaching = nullptr;
    for (const Part& part : sorted) {
        if (reaching != nullptr && part.offset > reached)
            Note("", std::to_string(part.offset - reached) + " bytes at offset " + std::to_string(reached) +
                         ", between " + PartWhere(*reaching) + " and " + PartWhere(part) +
                         ", belong to no record; a rebuild drops them");
        else if (reaching != nullptr && part.offset < reached) {
            const int64_t shared = std::min(reached, part.offset + part.size) - part.offset;
            Note(PartWhere(part), "it shares " + std::to_string(shared) + " bytes at offset " +
                                      std::to_string(part.offset) + " with " + PartWhere(*reaching) +
                                      "; a rebuild writes each its own copy");
        }
        if (reaching == nullptr || part.offset + part.size > reached) {
            reached = part.offset + part.size;
            reaching = &part;
        }
    }
    if (reaching != nullptr && reached < size_)
        Note("", std::to_string(size_ - reached) + " bytes at offset " + std::to_string(reached) + ", after " +
                     PartWhere(*reaching) + ", belong to no record; a rebuild drops them");
}

int64_t CountFindings(const VerifyReport& report, VerifyFinding::Severity severity)
{
    return std::count_if(report.findings.begin(), report.findings.end(),
                         [&](const VerifyFinding& finding) { return finding.severity == severity; });
}

}  // namespace

bool VerifyReport::HasDefects() const { return CountFindings(*this, VerifyFinding::Severity::Defect) > 0; }

std::string VerifyReport::Text() const
{
    std::string text;
    for (const VerifyFinding& finding : findings) {
        text += finding.severity == VerifyFinding::Severity::Defect ? "defect: " : "note: ";
        if (!finding.where.empty())
            text += finding.where + ": ";
        text += finding.text + "\n";
    }
    text += container.filename().string() + ": " + CountOf(entries, "entry", "entries") + ", " +
            CountOf(images, "image", "images") + ", " +
            CountOf(CountFindings(*this, VerifyFinding::Severity::Defect), "defect", "defects") + ", " +
            CountOf(CountFindings(*this, VerifyFinding::Severity::Note), "note", "notes") + "\n";
    return text;
}

VerifyReport Verify(FileSystem& files, const std::filesystem::path& container)
{
    VerifyReport report;
    report.container = container;
    auto file = files.OpenContainer(container);
    Verifier verifier(*file, report);
    const std::string extension = KindForFile(files, container)->Extension();
    if (extension == ".PIX")
        verifier.VerifyScreenFile();
    else if (extension == ".AZP")
        verifier.VerifyVehicleFile();
    else
        verifier.VerifyGadgetFile();
    verifier.NoteLayout();
    return report;
}

}  // namespace Brimwork
