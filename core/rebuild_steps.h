#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/manifest.h"

namespace Brimwork {

class FileSystem;
class WindowInterface;
class WritableFile;
struct ModuleContext;

// What the rebuilds share: the head of their manifests, the
// checks on the names they carry, and the clean-up after the new container
// is in place.
namespace RebuildSteps {

inline constexpr int32_t NameFieldSize = 32;

// Line 1 (the container to replace), the header value and the entry count.
struct ManifestHead {
    std::string containerName;
    int32_t headerValue = 0;
    int32_t entryCount = 0;
};

// "<manifest>, line <n>": where a message about a manifest's line points.
std::string Where(const std::string& manifestName, int line);

std::string ReadManifestText(FileSystem& files, const std::filesystem::path& manifest);

ManifestHead ReadManifestHead(Manifest::Reader& reader, const std::string& manifestName);

// An entry name: at most 32 characters and a plain file name.
std::string ReadEntryName(Manifest::Reader& reader, const std::string& manifestName, const std::string& which);

// The rebuilt file is renamed over the name on line 1 and the inputs are
// deleted afterwards: line 1 naming an input (letter case ignored, as the
// lookups ignore it) would lose the result.
void RefuseContainerNamingAnInput(const std::string& containerName, const std::vector<std::string>& inputs,
                                  const std::string& manifestName);

// Starts the report, when the context carries one, for the chosen
// container and its manifest.
void BeginReport(ModuleContext& context, const std::filesystem::path& manifest);

// No manifest: shows `text` as the rebuild's message, naming the folder
// where the window cannot, and keeps it as the report's refusal.
void RefuseWithoutManifest(ModuleContext& context, const std::string& text);

// A manifest belongs to the container whose extraction wrote it: one whose
// line 1 names another container (letter case ignored) is refused before
// anything changes.
void RefuseForeignManifest(const ModuleContext& context, const std::string& containerName,
                           const std::filesystem::path& manifest);

// Writes the new container into "REBUILD.TMP" through `write`, which
// returns the TGA files it read, and puts it in place of line 1's file in
// one step. Then deletes the manifest and those TGA files and lists the new
// container through `listContainer`; what fails after the container is in
// place is reported as such, saying that the rebuild itself succeeded.
// A dry run writes the container through `write` into nothing, so that it
// meets every check, and stops there; it changes no file.
void ReplaceContainer(ModuleContext& context, const std::string& containerName,
                      const std::filesystem::path& manifest,
                      const std::function<std::vector<std::filesystem::path>(WritableFile&)>& write,
                      const std::function<void(const std::filesystem::path&)>& listContainer);

}  // namespace RebuildSteps
}  // namespace Brimwork
