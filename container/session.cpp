#include "container/session.h"

#include <cstdio>

#include "container/kinds.h"
#include "core/names.h"
#include "core/window.h"

namespace Brimwork {

namespace fs = std::filesystem;

std::string ImageLabelText(int32_t imageIndex, const ImageBuffer& image)
{
    char number[16];
    std::snprintf(number, sizeof number, "%02d", imageIndex);
    return "Image: " + std::string(number) + " Size:" + std::to_string(image.ImageWidth) + "x" +
           std::to_string(image.ImageHeight);
}

Session::Session(WindowInterface& window, FileSystem& files, fs::path startFolder)
    : window_(window), files_(files), kind_(KindForFileName({})), folder_(std::move(startFolder))
{
}

ModuleContext Session::Context() { return ModuleContext{image_, container_, folder_, window_, files_}; }

std::vector<std::string> Session::OpenArchive(const fs::path& fileName)
{
    const fs::path fullName = fs::absolute(fileName);
    auto kind = KindForFile(files_, fullName);
    auto names = kind->ListEntries(files_, fullName);
    window_.ReplaceList(names);
    kind_ = std::move(kind);
    container_ = ChosenContainer{fullName, fullName.filename().string()};
    folder_ = fullName.parent_path();
    return names;
}

int32_t Session::LoadImage(int32_t entryIndex, int32_t imageIndex)
{
    ModuleContext context = Context();
    return kind_->LoadImage(context, entryIndex, imageIndex);
}

int32_t Session::CountImages(int32_t entryIndex) { return kind_->CountImages(files_, container_.FileName, entryIndex); }

ExtractionResult Session::ExtractAll()
{
    ModuleContext context = Context();
    const ExtractionResult result = kind_->ExtractAll(context);
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

RebuildReport Session::Rebuild(const RebuildOptions& options)
{
    RebuildReport report;
    ModuleContext context = Context();
    context.rebuild = options;
    context.rebuild.dryRun = false;
    context.rebuild.report = &report;
    kind_->Rebuild(context);
    if (report.done)
        window_.ShowStatus("Rebuilt " + report.container + " from " +
                           CountOf(report.TgaFilesRead(), "TGA file", "TGA files") +
                           (report.backup ? ", keeping the file it replaced as " + *report.backup : ""));
    return report;
}

void Session::PreviewRebuild(RebuildReport& report)
{
    ModuleContext context = Context();
    context.rebuild.dryRun = true;
    context.rebuild.report = &report;
    try {
        kind_->Rebuild(context);
    } catch (const std::exception& error) {
        report.refusal = error.what();
        throw;
    }
}

}  // namespace Brimwork
