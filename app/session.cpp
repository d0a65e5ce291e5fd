#include "app/session.h"

#include <cstdio>

#include "core/names.h"
#include "core/window.h"

namespace Brimwork {

namespace fs = std::filesystem;

int32_t FileKindOf(const std::string& fileName) { return KindForFileName(fileName).code; }

std::string ImageLabelText(int32_t imageIndex, const ImageBuffer& image)
{
    char number[16];
    std::snprintf(number, sizeof number, "%02d", imageIndex);
    return "Image: " + std::string(number) + " Size:" + std::to_string(image.ImageWidth) + "x" +
           std::to_string(image.ImageHeight);
}

Session::Session(WindowInterface& window, FileSystem& files, fs::path startFolder)
    : window_(window), files_(files), folder_(std::move(startFolder))
{
}

ModuleContext Session::Context() { return ModuleContext{image_, container_, folder_, window_, files_}; }

bool Session::OpenArchive(const fs::path& fileName)
{
    const fs::path fullName = fs::absolute(fileName);
    const ContainerKind& kind = KindForFileName(fullName.filename().string());
    ChosenContainer candidate{fullName, fullName.filename().string()};
    const fs::path folder = fullName.parent_path();
    ModuleContext context{image_, candidate, folder, window_, files_};
    if (!kind.listEntries(context, fullName))
        return false;
    fileKind_ = kind.code;
    container_ = std::move(candidate);
    folder_ = folder;
    return true;
}

void Session::LoadImage(int32_t entryIndex, int32_t& imageIndex)
{
    ModuleContext context = Context();
    KindOf(fileKind_).loadImage(context, states_, entryIndex, imageIndex);
}

ExtractionResult Session::ExtractAll()
{
    ModuleContext context = Context();
    const ExtractionResult result = KindOf(fileKind_).extractAll(context, states_);
    if (!result.done) {
        window_.ShowStatus("Extraction of " + container_.FileTitle + " stopped: nothing was written");
        return result;
    }
    std::string status = "Extracted " + CountOf(result.images, "image", "images") + " of " + container_.FileTitle +
                         " and " + result.manifestName;
    if (result.alreadyThere > 0)
        status += " (" + GroupedNumber(result.alreadyThere) + " of them already there with the same bytes)";
    window_.ShowStatus(status);
    return result;
}

void Session::Rebuild(const RebuildOptions& options)
{
    RebuildReport report;
    ModuleContext context = Context();
    context.rebuild = options;
    context.rebuild.dryRun = false;
    context.rebuild.report = &report;
    KindOf(fileKind_).rebuild(context, states_);
    if (report.done)
        window_.ShowStatus("Rebuilt " + report.container + " from " +
                           CountOf(report.TgaFilesRead(), "TGA file", "TGA files") +
                           (report.backup ? ", keeping the file it replaced as " + *report.backup : ""));
}

void Session::PreviewRebuild(RebuildReport& report)
{
    ModuleContext context = Context();
    context.rebuild.dryRun = true;
    context.rebuild.report = &report;
    try {
        KindOf(fileKind_).rebuild(context, states_);
    } catch (const std::exception& error) {
        report.refusal = error.what();
        throw;
    }
}

}  // namespace Brimwork
