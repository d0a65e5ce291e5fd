#include "core/extraction.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "core/context.h"
#include "core/error.h"
#include "io/files.h"
#include "core/folder_index.h"
#include "core/names.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "io/whole_file_writer.h"

namespace Brimwork {

namespace fs = std::filesystem;

namespace {

constexpr int64_t LargestManifest = int64_t{64} << 20;

std::string EntryLabel(const ExtractionJob& job, size_t entry)
{
    return "entry " + std::to_string(entry + 1) + " (\"" + job.entries[entry].name + "\")";
}

// Files that differ only in letter case would be written over each other,
// and the rebuilds, which find files ignoring letter case, could not tell
// them apart.
void RefuseClashingNames(const ExtractionJob& job)
{
    std::unordered_map<std::string, size_t> entryByName;
    std::unordered_map<std::string, std::pair<size_t, size_t>> imageByFile;
    for (size_t i = 0; i < job.entries.size(); ++i) {
        const auto [entry, added] = entryByName.emplace(ToUpper(job.entries[i].name), i);
        if (!added)
            throw Error("Cannot extract: " + EntryLabel(job, entry->second) + " and " + EntryLabel(job, i) +
                        " have names that are equal ignoring letter case, so their TGA files would be written "
                        "over each other and a rebuild could not tell them apart. Nothing was written.");
        const auto& files = job.entries[i].imageFiles;
        for (size_t k = 0; k < files.size(); ++k) {
            const auto [image, fresh] = imageByFile.emplace(ToUpper(files[k]), std::pair{i, k});
            if (!fresh)
                throw Error("Cannot extract: image " + std::to_string(image->second.second) + " of " +
                            EntryLabel(job, image->second.first) + " and image " + std::to_string(k) + " of " +
                            EntryLabel(job, i) + " would both be written to " + files[k] +
                            " (letter case aside). Nothing was written.");
        }
    }
}

// Every file in the folder whose name equals `name` ignoring letter case.
// A symbolic link or a folder among them is refused: it is never written
// through or replaced.
std::vector<std::string> RegularFilesNamed(const FolderIndex& folder, const std::string& name)
{
    const std::vector<std::string> found = folder.NamesLike(name);
    for (const auto& there : found)
        if (folder.TypeOf(there) != EntryType::Regular)
            throw Error("Cannot write " + (folder.Folder() / there).string() +
                        ": a symbolic link or a folder stands in its place");
    return found;
}

// What to do about one file of the extraction.
struct FilePlan {
    // The names to write: the file's own when nothing is there, else those
    // of the files there that differ. None when every file there already
    // holds the bytes.
    std::vector<std::string> targets;
    bool creates = false;  // nothing was there: the file is new
    std::vector<std::string> existing;  // every file there under its name
};

bool ManifestHolds(FileSystem& files, const fs::path& path, const std::string& text)
{
    auto file = files.OpenForReading(path);
    if (file->Size() != static_cast<int64_t>(text.size()))
        return false;
    return ReadWholeFile(files, path, LargestManifest) == text;
}

// Decides each file's plan and gathers the files that differ.
class Survey {
public:
    Survey(ModuleContext& context, const ExtractionJob& job)
        : context_(context), job_(job), tgaFolder_(context.files, context.folder)
    {
    }

    void Run()
    {
        SilentWindow silent;  // a frame decoded only to be compared sounds no beep
        ImageBuffer image;
        images_.resize(job_.entries.size());
        for (size_t i = 0; i < job_.entries.size(); ++i) {
            for (size_t k = 0; k < job_.entries[i].imageFiles.size(); ++k) {
                const std::string& name = job_.entries[i].imageFiles[k];
                images_[i].push_back(Plan(tgaFolder_, name, [&](const fs::path& existing) {
                    if (!IsLoaded(i, k)) {
                        job_.load(i, k, image, silent);
                        loadedAt_ = {i, k};
                    }
                    return TgaFileHolds(context_.files, existing, image);
                }));
            }
        }
        const fs::path manifestFolder = FolderOf(job_.manifestPath);
        const auto planManifest = [&](const FolderIndex& folder) {
            return Plan(folder, job_.manifestPath.filename().string(), [&](const fs::path& existing) {
                return ManifestHolds(context_.files, existing, job_.manifestText);
            });
        };
        manifest_ = manifestFolder == tgaFolder_.Folder()
                        ? planManifest(tgaFolder_)
                        : planManifest(FolderIndex(context_.files, manifestFolder));
    }

    const FilePlan& Image(size_t entry, size_t image) const { return images_[entry][image]; }
    const FilePlan& Manifest() const { return manifest_; }
    const std::vector<std::string>& Differing() const { return differing_; }

private:
    static fs::path FolderOf(const fs::path& path) { return path.has_parent_path() ? path.parent_path() : "."; }

    bool IsLoaded(size_t entry, size_t image) const { return loadedAt_ == std::pair{entry, image}; }

    template <typename Holds>
    FilePlan Plan(const FolderIndex& folder, const std::string& name, Holds holds)
    {
        FilePlan plan;
        plan.existing = RegularFilesNamed(folder, name);
        plan.creates = plan.existing.empty();
        if (plan.creates)
            plan.targets.push_back(name);
        for (const auto& there : plan.existing) {
            if (holds(folder.Folder() / there))
                continue;
            plan.targets.push_back(there);
            differing_.push_back(there);
        }
        return plan;
    }

    ModuleContext& context_;
    const ExtractionJob& job_;
    FolderIndex tgaFolder_;
    std::vector<std::vector<FilePlan>> images_;
    FilePlan manifest_;
    std::vector<std::string> differing_;
    std::pair<size_t, size_t> loadedAt_{SIZE_MAX, SIZE_MAX};
};

// After a failure: removes the files the extraction created, which were
// not there before it began, and says what became of the folder.
std::string RemoveCreatedFiles(ModuleContext& context, const std::vector<std::string>& created, bool overwrote)
{
    std::vector<fs::path> present;
    try {
        std::unordered_set<std::string> wanted(created.begin(), created.end());
        for (const auto& entry : context.files.ListFolderWithTypes(context.folder))
            if (entry.type == EntryType::Regular && wanted.contains(entry.name))
                present.push_back(context.folder / entry.name);
    } catch (const Error& error) {
        return "The files it had created could not be found to be removed:\n" + std::string(error.what());
    }
    const auto undeleted = DeleteFiles(context.files, present);
    if (!undeleted.empty()) {
        std::string text = "Some of the files it had created could not be removed:";
        for (const auto& message : undeleted)
            text += "\n" + message;
        return text;
    }
    std::string text = "The extraction stopped and removed the " + CountOf(static_cast<int64_t>(present.size()),
                                                                           "file", "files") +
                       " it had created";
    return text + (overwrote ? "; the files it was overwriting may hold the new images, and the one it failed to write is gone."
                             : "; the folder is as it was before.");
}

// Entry and number of the last image, which the image buffer holds after
// an extraction.
std::optional<std::pair<size_t, size_t>> LastImage(const ExtractionJob& job)
{
    for (size_t i = job.entries.size(); i-- > 0;)
        if (!job.entries[i].imageFiles.empty())
            return std::pair{i, job.entries[i].imageFiles.size() - 1};
    return std::nullopt;
}

}  // namespace

std::string DifferingFilesText(const OverwriteQuestion& question)
{
    const auto count = static_cast<int64_t>(question.files.size());
    return CountOf(count, "file", "files") + " in " + question.folder.string() + (count == 1 ? " holds" : " hold") +
           " other bytes than extraction would write (edited images, or another container's files):\n" +
           ListedFiles(question.files);
}

ExtractionResult RunExtraction(ModuleContext& context, const ExtractionJob& job)
{
    RefuseClashingNames(job);
    Survey survey(context, job);
    survey.Run();

    ExtractionResult result;
    result.manifestName = job.manifestPath.filename().string();
    if (!survey.Differing().empty() && !context.window.ConfirmOverwrite({context.folder, survey.Differing()}))
        return result;
    const bool overwrites = !survey.Differing().empty();

    std::vector<std::string> created;
    std::vector<std::string> manifestTargets = survey.Manifest().targets;
    if (overwrites && !survey.Manifest().existing.empty()) {
        // The manifest goes first and comes back last, so that an
        // extraction that stops while it overwrites images leaves no
        // manifest beside a mix of old and new ones for a rebuild to take.
        manifestTargets = survey.Manifest().existing;
        for (const auto& target : manifestTargets)
            RemoveIfPresent(context.files, job.manifestPath.parent_path() / target);
    }
    const std::optional<std::pair<size_t, size_t>> last = LastImage(job);
    try {
        WholeFileWriter writer(context.files, context.folder);
        const auto writeTga = [&](const std::string& name, ImageBuffer image) {
            writer.Write(name, EncodeTga(context.folder / name, std::move(image)));
        };
        writer.Run([&] {
            const auto count = static_cast<int32_t>(job.entries.size());
            for (size_t i = 0; i < job.entries.size(); ++i) {
                for (size_t k = 0; k < job.entries[i].imageFiles.size(); ++k) {
                    const FilePlan& plan = survey.Image(i, k);
                    ++result.images;
                    if (plan.targets.empty()) {
                        ++result.alreadyThere;
                        if (last == std::pair{i, k})
                            job.load(i, k, context.image, context.window);
                    } else if (const auto stored = job.stored ? job.stored(i, k) : std::nullopt) {
                        if (last == std::pair{i, k})
                            job.load(i, k, context.image, context.window);
                        if (plan.creates)
                            created.push_back(plan.targets.front());
                        for (const auto& target : plan.targets)
                            writer.Write(target,
                                         {EncodeTgaHeader(context.folder / target, stored->width, stored->height)},
                                         stored->range);
                    } else {
                        ImageBuffer image;
                        job.load(i, k, image, context.window);
                        if (last == std::pair{i, k})
                            context.image = image;
                        if (plan.creates)
                            created.push_back(plan.targets.front());
                        for (size_t t = 0; t + 1 < plan.targets.size(); ++t)
                            writeTga(plan.targets[t], image);
                        writeTga(plan.targets.back(), std::move(image));
                    }
                    context.window.Yield();
                }
                context.window.SetProgress(ProgressPercent(static_cast<int32_t>(i) + 1, count));
            }
        });
        // A manifest that cannot be written whole is not left behind.
        for (const auto& target : manifestTargets)
            WriteWholeFile(context.files, job.manifestPath.parent_path() / target, job.manifestText);
    } catch (const Error& error) {
        throw Error(std::string(error.what()) + "\n" + RemoveCreatedFiles(context, created, overwrites));
    } catch (...) {
        RemoveCreatedFiles(context, created, overwrites);
        throw;
    }
    result.done = true;
    return result;
}

}  // namespace Brimwork
