#include "core/rebuild_steps.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "core/context.h"
#include "core/error.h"
#include "io/file_work.h"
#include "io/files.h"
#include "core/names.h"
#include "core/rebuild_report.h"
#include "core/rebuild_work_file.h"
#include "core/window.h"

namespace Brimwork::RebuildSteps {

namespace fs = std::filesystem;

namespace {

constexpr int64_t LargestManifest = int64_t{64} << 20;

// A work file that keeps nothing: a dry run writes the new container
// through it, so that it meets every check the rebuild meets, and learns
// its size.
class DiscardingFile final : public WritableFile {
public:
    explicit DiscardingFile(fs::path path) : path_(std::move(path)) {}
    const fs::path& Path() const override { return path_; }
    void WriteAt(int64_t offset, std::span<const uint8_t> data) override
    {
        end_ = std::max(end_, offset + static_cast<int64_t>(data.size()));
    }
    using WritableFile::Write;
    void Write(std::span<const uint8_t> data) override { WriteAt(end_, data); }
    // What a copy would take must be there; nothing is read.
    void AppendFrom(ReadableFile& from, int64_t offset, int64_t size) override
    {
        RequireWithin(from, offset, size);
        end_ += size;
    }
    void Sync() override {}
    void Close() override {}
    int64_t Size() const { return end_; }

private:
    fs::path path_;
    int64_t end_ = 0;
};

// The manifest and each TGA file once, in the order they were read.
std::vector<std::string> FilesRead(const fs::path& manifest, const std::vector<fs::path>& images)
{
    std::vector<std::string> names{manifest.filename().string()};
    std::unordered_set<std::string> seen;
    for (const auto& image : images)
        if (seen.insert(image.filename().string()).second)
            names.push_back(image.filename().string());
    return names;
}

}  // namespace

void BeginReport(ModuleContext& context, const fs::path& manifest)
{
    RebuildReport* report = context.rebuild.report;
    if (report == nullptr)
        return;
    report->container = context.container.FileTitle;
    report->manifest = manifest.filename().string();
    report->dryRun = context.rebuild.dryRun;
}

void RefuseWithoutManifest(ModuleContext& context, const std::string& text)
{
    if (context.rebuild.report != nullptr)
        context.rebuild.report->refusal = text + " (Looked in " + context.folder.string() + ".)";
    context.window.ShowMissingFile(text, "Rebuild Error", context.folder);
}

void RefuseForeignManifest(const ModuleContext& context, const std::string& containerName, const fs::path& manifest)
{
    const std::string& chosen = context.container.FileTitle;
    if (EqualIgnoringCase(containerName, chosen))
        return;
    throw Error(manifest.filename().string() + " in " + manifest.parent_path().string() + " was written for " +
                containerName + ", not " + chosen + ": the TGA files beside it may be another container's. Open " +
                containerName + " to rebuild it, or extract " + chosen + " again. Nothing was changed.");
}

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
    RebuildReport* report = context.rebuild.report;
    if (report != nullptr && context.rebuild.keepBackup)
        report->backup = containerName + ".bak";
    std::vector<fs::path> images;
    if (context.rebuild.dryRun) {
        DiscardingFile out(context.folder / RebuildWorkFile::Name);
        images = write(out);
        if (report != nullptr) {
            report->filesRead = FilesRead(manifest, images);
            report->newSize = out.Size();
            report->done = true;
        }
        return;
    }
    std::shared_ptr<ReadableFile> previous;
    {
        RebuildWorkFile work(context.files, context.folder);
        images = write(work.File());
        previous = HoldPrevious(context.files, container);
        work.Commit(container, context.rebuild.keepBackup);
    }
    if (report != nullptr) {
        report->filesRead = FilesRead(manifest, images);
        report->done = true;
    }
    FinishRebuild(context.files, container, std::move(previous), manifest, std::move(images), listContainer);
}

}  // namespace Brimwork::RebuildSteps
