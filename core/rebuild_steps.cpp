#include "core/rebuild_steps.h"

#include <algorithm>
#include <memory>

#include "core/context.h"
#include "core/error.h"
#include "core/file_work.h"
#include "core/files.h"
#include "core/names.h"
#include "core/rebuild_work_file.h"

namespace Brimwork::RebuildSteps {

namespace fs = std::filesystem;

namespace {

constexpr int64_t LargestManifest = int64_t{64} << 20;

}  // namespace

std::string Where(const std::string& manifestName, int line)
{
    return manifestName + ", line " + std::to_string(line);
}

std::string ReadManifestText(FileSystem& files, const fs::path& manifest)
{
    return ReadWholeFile(files, manifest, LargestManifest);
}

ManifestHead ReadManifestHead(Manifest::Reader& reader, const std::string& manifestName)
{
    ManifestHead head;
    const int line = reader.LineNumber();
    head.containerName = reader.ReadLine("the container name");
    RequireNonEmptyPlainFileName(head.containerName, Where(manifestName, line) + ": the container name");
    head.headerValue = reader.ReadNumber("the header value");
    head.entryCount = reader.ReadNumber("the entry count");
    return head;
}

std::string ReadEntryName(Manifest::Reader& reader, const std::string& manifestName, const std::string& which)
{
    const int line = reader.LineNumber();
    std::string name = reader.ReadText("the name of " + which);
    const std::string where = Where(manifestName, line) + ": the name of " + which;
    if (name.size() > static_cast<size_t>(NameFieldSize))
        throw Error(where + " is longer than 32 characters: \"" + name + "\"");
    RequirePlainFileName(name, where);
    return name;
}

void RefuseContainerNamingAnInput(const std::string& containerName, const std::vector<std::string>& inputs,
                                  const std::string& manifestName)
{
    const bool namesInput = EqualIgnoringCase(containerName, fs::path(manifestName).filename().string()) ||
                            EqualIgnoringCase(containerName, RebuildWorkFile::Name) ||
                            std::any_of(inputs.begin(), inputs.end(), [&](const std::string& input) {
                                return EqualIgnoringCase(containerName, input);
                            });
    if (namesInput)
        throw Error(Where(manifestName, 1) + ": the container name \"" + containerName +
                    "\" names a file that the rebuild reads or writes; the rebuilt file would be lost");
}

namespace {

// The manifest is deleted and the deletion forced to the disk before any
// image goes: a gadget rebuild from a manifest whose images are gone would
// replace the new container with one that lacks them. When that fails the
// images stay.
std::vector<std::string> DeleteInputs(FileSystem& files, const fs::path& manifest, std::vector<fs::path> images)
{
    try {
        files.Remove(manifest);
        files.SyncFolder(manifest.has_parent_path() ? manifest.parent_path() : fs::path("."));
    } catch (const Error& error) {
        return {error.what(), "The TGA files it read are kept, so that the manifest is never left without them."};
    }
    std::sort(images.begin(), images.end());
    images.erase(std::unique(images.begin(), images.end()), images.end());
    return DeleteFiles(files, images);
}

// The container being replaced, held open across the rename so that
// freeing its blocks, which takes a while for a large file, happens beside
// the deletion of the inputs rather than inside the rename. None when there
// is no regular file of that name.
std::shared_ptr<ReadableFile> HoldPrevious(FileSystem& files, const fs::path& container)
{
    if (files.TypeOf(container) != EntryType::Regular)
        return nullptr;
    return files.OpenForReading(container);
}

// What follows once the new container is in place.
void FinishRebuild(FileSystem& files, const fs::path& container, std::shared_ptr<ReadableFile> previous,
                   const fs::path& manifest, std::vector<fs::path> images,
                   const std::function<void(const fs::path&)>& listContainer)
{
    FileWork release(std::min(files.WorkerThreads(FileSystem::Work::Deleting), 1));
    release.Add([previous = std::move(previous)]() mutable { previous.reset(); });
    const auto undeleted = DeleteInputs(files, manifest, std::move(images));
    release.Finish();
    std::string listingFailure;
    try {
        listContainer(container);
    } catch (const Error& error) {
        listingFailure = error.what();
    }
    if (undeleted.empty() && listingFailure.empty())
        return;
    std::string text = "The rebuild of " + container.string() + " succeeded";
    if (!undeleted.empty()) {
        text += ", but some of the files it read could not be deleted:";
        for (const auto& failure : undeleted)
            text += "\n" + failure;
    }
    if (!listingFailure.empty())
        text += (undeleted.empty() ? ", but it could not be listed:\n" : "\nIt could not be listed:\n") +
                listingFailure;
    throw Error(text);
}

}  // namespace

void ReplaceContainer(ModuleContext& context, const std::string& containerName, const fs::path& manifest,
                      const std::function<std::vector<fs::path>(WritableFile&)>& write,
                      const std::function<void(const fs::path&)>& listContainer)
{
    const fs::path container = context.folder / containerName;
    std::vector<fs::path> images;
    std::shared_ptr<ReadableFile> previous;
    {
        RebuildWorkFile work(context.files, context.folder);
        images = write(work.File());
        previous = HoldPrevious(context.files, container);
        work.Commit(container, context.rebuild.keepBackup);
    }
    FinishRebuild(context.files, container, std::move(previous), manifest, std::move(images), listContainer);
}

}  // namespace Brimwork::RebuildSteps
