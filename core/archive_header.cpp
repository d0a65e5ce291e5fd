#include "core/archive_header.h"

#include <algorithm>

#include "core/bytes.h"
#include "core/context.h"
#include "core/error.h"
#include "core/files.h"
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

bool ListArchive(ModuleContext& context, const std::filesystem::path& fileName, const std::string& signature,
                 const std::string& signatureMessage,
                 const std::function<std::vector<std::string>(ReadableFile&, int32_t count)>& readNames)
{
    auto file = context.files.OpenContainer(fileName);
    const ArchiveHeader header = ReadArchiveHeader(*file);
    if (header.Signature != signature) {
        context.window.ShowMessage(signatureMessage, "Brimwork Error");
        return false;
    }
    context.window.ReplaceList(readNames(*file, header.EntryCount));
    return true;
}

}  // namespace Brimwork
