#include "core/rebuild_steps.h"

#include <algorithm>

#include "core/error.h"
#include "core/files.h"
#include "core/names.h"
#include "core/rebuild_work_file.h"

namespace Brimwork::RebuildSteps {

namespace fs = std::filesystem;

namespace {

constexpr int64_t LargestManifest = int64_t{64} << 20;

std::string Where(const std::string& manifestName, int line)
{
    return manifestName + ", line " + std::to_string(line);
}

}  // namespace

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

void FinishRebuild(FileSystem& files, const fs::path& container, std::vector<fs::path> consumed,
                   const std::function<void(const fs::path&)>& listContainer)
{
    std::sort(consumed.begin(), consumed.end());
    consumed.erase(std::unique(consumed.begin(), consumed.end()), consumed.end());
    const auto failures = DeleteFiles(files, consumed);
    listContainer(container);
    if (failures.empty())
        return;
    std::string text = "The rebuild of " + container.string() +
                       " succeeded, but some of the files it read could not be deleted:";
    for (const auto& failure : failures)
        text += "\n" + failure;
    throw Error(text);
}

}  // namespace Brimwork::RebuildSteps
