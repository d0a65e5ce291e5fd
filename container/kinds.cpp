#include "container/kinds.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include "core/error.h"
#include "io/files.h"
#include "core/names.h"
#include "gadget/gadget_format.h"
#include "gadget/gadget_kind.h"
#include "screen/screen_format.h"
#include "screen/screen_kind.h"
#include "vehicle/vehicle_kind.h"

namespace Brimwork {

namespace {

struct RegisteredKind {
    const char* extension;  // upper-cased, with its dot
    // The first bytes of every file of the kind; empty for a kind whose
    // files have no signature, which is then told by its extension alone.
    std::string_view signature;
    std::unique_ptr<ContainerKind> (*make)();
};

// The gadget kind comes first: it takes every name and file no other kind
// claims.
const std::array<RegisteredKind, 3> Kinds{{
    {".GDG", GDG::Format::Signature, GDG::MakeKind},
    {".AZP", "", AZP::MakeKind},
    {".PIX", PIX::Format::Signature, PIX::MakeKind},
}};

constexpr size_t LongestSignature = 4;

const RegisteredKind* KindWithExtension(const std::string& fileName)
{
    const std::string lastFour = ToUpper(fileName.size() > 4 ? fileName.substr(fileName.size() - 4) : fileName);
    for (const RegisteredKind& kind : Kinds)
        if (lastFour == kind.extension)
            return &kind;
    return nullptr;
}

// The first bytes of the file, as many as a signature has or fewer when
// the file is shorter; nothing when it cannot be read.
std::string FirstBytes(FileSystem& files, const std::filesystem::path& path)
{
    try {
        auto file = files.OpenContainer(path);
        std::string bytes(static_cast<size_t>(std::min<int64_t>(file->Size(), LongestSignature)), '\0');
        file->ReadAt(0, std::span(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
        return bytes;
    } catch (const Error&) {
        return {};
    }
}

}  // namespace

std::unique_ptr<ContainerKind> KindForFileName(const std::string& fileName)
{
    const RegisteredKind* kind = KindWithExtension(fileName);
    return (kind != nullptr ? *kind : Kinds.front()).make();
}

std::unique_ptr<ContainerKind> KindForFile(FileSystem& files, const std::filesystem::path& path)
{
    if (const RegisteredKind* kind = KindWithExtension(path.filename().string()))
        return kind->make();
    const std::string first = FirstBytes(files, path);
    for (const RegisteredKind& kind : Kinds)
        if (!kind.signature.empty() && first.starts_with(kind.signature))
            return kind.make();
    return Kinds.front().make();
}

bool NameKeepsKind(const std::string& fileName, const ContainerKind& kind)
{
    if (const RegisteredKind* named = KindWithExtension(fileName))
        return EqualIgnoringCase(named->extension, kind.Extension());
    return std::any_of(Kinds.begin(), Kinds.end(), [&](const RegisteredKind& registered) {
        return !registered.signature.empty() && EqualIgnoringCase(registered.extension, kind.Extension());
    });
}

}  // namespace Brimwork
