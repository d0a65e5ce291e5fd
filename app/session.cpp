#include "app/session.h"

#include <cstdio>

#include "core/checked.h"
#include "core/error.h"
#include "core/names.h"
#include "core/window.h"
#include "gadget/gadget.h"
#include "screen/screen.h"
#include "vehicle/vehicle.h"

namespace Brimwork {

namespace fs = std::filesystem;

int32_t FileKindOf(const std::string& fileName)
{
    const std::string lastFour = ToUpper(fileName.size() > 4 ? fileName.substr(fileName.size() - 4) : fileName);
    if (lastFour == ".AZP")
        return VehicleFileKind;
    if (lastFour == ".PIX")
        return ScreenFileKind;
    return GadgetFileKind;
}

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
    const int32_t kind = FileKindOf(fullName.filename().string());
    ChosenContainer candidate{fullName, fullName.filename().string()};
    const fs::path folder = fullName.parent_path();
    ModuleContext context{image_, candidate, folder, window_, files_};

    bool listed = false;
    switch (kind) {
    case VehicleFileKind:
        listed = AZP::ListEntries(context, fullName);
        break;
    case ScreenFileKind:
        listed = PIX::ListEntries(context, fullName);
        break;
    default:
        listed = GDG::ListEntries(context, fullName);
        break;
    }
    if (listed) {
        fileKind_ = kind;
        container_ = std::move(candidate);
        folder_ = folder;
    }
    return listed;
}

void Session::LoadImage(int32_t entryIndex, int32_t& imageIndex)
{
    ModuleContext context = Context();
    switch (fileKind_) {
    case GadgetFileKind:
        GDG::LoadImage(context, entryIndex, imageIndex);
        break;
    case ScreenFileKind:
        PIX::LoadImage(context, entryIndex);
        break;
    case VehicleFileKind:
        AZP::LoadImage(context, vehicleState_, entryIndex, imageIndex);
        break;
    }
}

void Session::ExtractAll()
{
    ModuleContext context = Context();
    switch (fileKind_) {
    case GadgetFileKind:
        GDG::ExtractAll(context);
        break;
    case ScreenFileKind:
        PIX::ExtractAll(context);
        break;
    case VehicleFileKind:
        AZP::ExtractAll(context, vehicleState_);
        break;
    }
}

void Session::Rebuild()
{
    ModuleContext context = Context();
    switch (fileKind_) {
    case VehicleFileKind:
        window_.ShowMessage(Messages::VehicleRebuildText, Messages::VehicleRebuildTitle);
        break;
    case GadgetFileKind:
        GDG::Rebuild(context);
        break;
    case ScreenFileKind:
        PIX::Rebuild(context);
        break;
    }
}

}  // namespace Brimwork
