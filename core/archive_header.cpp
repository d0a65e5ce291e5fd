#include "core/archive_header.h"

#include <algorithm>

#include "core/bytes.h"
#include "core/context.h"
#include "core/error.h"
#include "io/files.h"
#include "core/window.h"

namespace Brimwork {

ArchiveHeader ReadArchiveHeader(ReadableFile& file)
{
    std::vector<uint8_t> bytes(ArchiveHeader::Size, 0);
    const int64_t available = std::min<int64_t>(file.Size(), ArchiveHeader::Size);
    file.ReadAt(0, std::span(bytes).first(static_cast<size_t>(available)));
    ArchiveHeader header;
    header.Signature = std::string(Bytes::TextAt(bytes, 0, 4));
    header.HeaderValue = Bytes::Int32At(bytes, 4);
    header.EntryCount = Bytes::Int32At(bytes, 8);
    if (available < ArchiveHeader::Size)
        header.Signature.clear();
    return header;
}

std::vector<uint8_t> ArchiveHeaderBytes(const ArchiveHeader& header)
{
    std::vector<uint8_t> bytes;
    Bytes::AppendText(bytes, 4, header.Signature);
    Bytes::AppendInt32(bytes, header.HeaderValue);
    Bytes::AppendInt32(bytes, header.EntryCount);
    return bytes;
}

std::vector<uint8_t> ReadEntryTable(ReadableFile& file, int32_t count, int32_t recordSize)
{
    if (count <= 0)
        return {};
    const int64_t bytes = int64_t{count} * recordSize;
    if (bytes > file.Size() - ArchiveHeader::Size)
        ThrowDamaged(file.Path().string(), "its table of " + std::to_string(count) +
                                               " entries reaches past the end of the file");
    std::vector<uint8_t> table(static_cast<size_t>(bytes));
    file.ReadAt(ArchiveHeader::Size, table);
    return table;
}

namespace {

// A file that opens with the right signature but ends inside the header is
// a damaged container of that kind, not a file of another kind.
void RefuseTruncatedHeader(ReadableFile& file, const std::string& signature)
{
    const int64_t size = file.Size();
    if (size < static_cast<int64_t>(signature.size()) || size >= ArchiveHeader::Size)
        return;
    std::vector<uint8_t> start(signature.size());
    file.ReadAt(0, start);
    if (std::equal(start.begin(), start.end(), signature.begin(), signature.end()))
        ThrowDamaged(file.Path().string(), "it has " + std::to_string(size) + " bytes, too short for its " +
                                               std::to_string(ArchiveHeader::Size) + "-byte header");
}

}  // namespace

ArchiveHeader ReadArchiveHeaderOfKind(ReadableFile& file, const std::string& signature,
                                      const std::string& signatureMessage)
{
    ArchiveHeader header = ReadArchiveHeader(file);
    if (header.Signature != signature) {
        RefuseTruncatedHeader(file, signature);
        throw Error(signatureMessage, "Brimwork Error");
    }
    return header;
}

std::vector<std::string> ReadArchiveNames(
    FileSystem& files, const std::filesystem::path& fileName, const std::string& signature,
    const std::string& signatureMessage,
    const std::function<std::vector<std::string>(ReadableFile&, int32_t count)>& readNames)
{
    auto file = files.OpenContainer(fileName);
    const ArchiveHeader header = ReadArchiveHeaderOfKind(*file, signature, signatureMessage);
    return readNames(*file, header.EntryCount);
}

bool ShowEntryNames(WindowInterface& window, const std::function<std::vector<std::string>()>& readNames)
{
    std::vector<std::string> names;
    try {
        names = readNames();
    } catch (const Error& error) {
        if (error.Title().empty())
            throw;
        window.ShowMessage(error.what(), error.Title());
        return false;
    }
    window.ReplaceList(names);
    return true;
}

}  // namespace Brimwork
