// Rebuild from a folder: the input is split into a manifest, the old
// container and further files (TGA files, folders, symbolic links), then
// the module's rebuild runs over them. Afterwards the container is the old
// one and every file of the folder is as it was, or the rebuild succeeded
// and the new container lists and loads without error.
#include <cstddef>
#include <cstdint>

#include "container/kinds.h"
#include "core/error.h"
#include "core/rebuild_work_file.h"
#include "fuzz/support/fuzz_support.h"
#include "gadget/gadget.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

constexpr size_t MostEntriesLoaded = 16;
constexpr int32_t MostImagesLoaded = 8;

enum class Kind { Gadget, Screen, Vehicle };

bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string ChosenName(Kind kind)
{
    return kind == Kind::Gadget ? "in.gdg" : kind == Kind::Screen ? "in.pix" : "in.azp";
}

std::string ManifestName(Kind kind)
{
    return kind == Kind::Gadget ? std::string(GDG::ManifestName)
                                : ChosenName(kind) + (kind == Kind::Screen ? ".DAT" : ".txt");
}

// The file named on line 1 of a gadget or screen manifest: the rebuild
// takes the manifest only when that is the chosen container, letter case
// aside, and then replaces the chosen container; another file of that name
// stays as it was.
std::string NamedOnLineOne(Kind kind, const std::vector<uint8_t>& manifest)
{
    return kind == Kind::Vehicle ? ChosenName(kind) : FirstLine(manifest);
}

// The rebuilt container lists, and every entry's images load.
void RequireUsable(const std::string& name, std::vector<uint8_t> bytes)
{
    Workspace work(name, std::move(bytes));
    ModuleContext context = work.Context();
    const auto kind = KindForFileName(name);
    std::vector<std::string> names;
    const auto listing = ErrorOf([&] { names = kind->ListEntries(work.files, work.container.FileName); });
    Require(!listing, "a rebuilt container lists without error: " + listing.value_or(""));
    const size_t entries = std::min(names.size(), MostEntriesLoaded);
    for (size_t entry = 0; entry < entries; ++entry) {
        for (int32_t wanted = 0; wanted < MostImagesLoaded; ++wanted) {
            int32_t loaded = 0;
            const auto loading =
                ErrorOf([&] { loaded = kind->LoadImage(context, static_cast<int32_t>(entry), wanted); });
            Require(!loading, "every image of a rebuilt container loads: " + loading.value_or(""));
            if (kind->OneImagePerEntry() || loaded != wanted)
                break;
        }
    }
}

std::map<std::filesystem::path, MemoryFileSystem::Entry> WithoutWorkFile(
    std::map<std::filesystem::path, MemoryFileSystem::Entry> files)
{
    files.erase(Folder / RebuildWorkFile::Name);
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const RebuildInput input = SplitRebuildInput(std::span(data, size));
    const Kind kind = static_cast<Kind>(input.containerKind % 3);
    const std::string namedOnLineOne = NamedOnLineOne(kind, input.manifest);
    const std::string containerName = ChosenName(kind);

    Workspace work(containerName, input.container);
    if (IsPlainName(namedOnLineOne))
        work.files.AddFile(Folder / namedOnLineOne, input.container);
    work.files.AddFile(Folder / ManifestName(kind), input.manifest);
    for (const auto& file : input.files) {
        if (!IsPlainName(file.name))
            continue;
        const auto path = Folder / file.name;
        if (file.kind == FolderFile::Folder)
            work.files.AddFolder(path);
        else if (file.kind == FolderFile::Symlink)
            work.files.AddSymlink(path, std::string(file.bytes.begin(), file.bytes.end()));
        else
            work.files.AddFile(path, file.bytes);
    }

    const auto before = work.files.Snapshot();
    ModuleContext context = work.Context();
    const auto error = ErrorOf([&] { KindForFileName(containerName)->Rebuild(context); });
    // A failure after the new container is in place says so first.
    const std::string success = "The rebuild of " + (Folder / containerName).string() + " succeeded";
    // A vehicle rebuild may also tell, after success, how many pixels it rounded.
    const bool missingManifest = !work.window.messages.empty() && work.window.messages.front().starts_with("Error: No ");
    const bool succeeded = error ? error->starts_with(success) : !missingManifest;
    if (!succeeded) {
        Require(WithoutWorkFile(work.files.Snapshot()) == WithoutWorkFile(before),
                "a failed rebuild leaves every file as it was: " + error.value_or("message"));
        return 0;
    }
    Require(IsPlainName(namedOnLineOne), "a rebuild succeeds only for a plain container name");
    const auto rebuilt = work.files.Contents(Folder / containerName);
    Require(rebuilt.has_value(), "a successful rebuild leaves the container in place");
    RequireUsable(containerName, *rebuilt);
    return 0;
}
