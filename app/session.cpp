#include "app/session.h"

#include <cstdio>

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

void Session::ExtractAll()
{
    ModuleContext context = Context();
    KindOf(fileKind_).extractAll(context, states_);
}

void Session::Rebuild()
{
    ModuleContext context = Context();
    KindOf(fileKind_).rebuild(context, states_);
}

}  // namespace Brimwork
