#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/context.h"
#include "core/extraction.h"
#include "vehicle/vehicle.h"

namespace Brimwork {

class FileSystem;

// Kinds of container, told apart by the chosen file's name.
enum FileKindCode : int32_t { GadgetFileKind = 0, VehicleFileKind = 1, ScreenFileKind = 2 };

// What the modules keep between commands besides the shared context.
struct ModuleStates {
    AZP::State vehicle;
};

// One kind of container: how its files are named and the module
// procedures that serve each command. A new kind or a new command is
// added here and nowhere else.
struct ContainerKind {
    int32_t code;
    const char* extension;  // upper-cased, with its dot
    bool (*listEntries)(ModuleContext& context, const std::filesystem::path& fileName);
    void (*loadImage)(ModuleContext& context, ModuleStates& states, int32_t entryIndex, int32_t& imageIndex);
    ExtractionResult (*extractAll)(ModuleContext& context, ModuleStates& states);
    void (*rebuild)(ModuleContext& context, ModuleStates& states);
    // How many images an entry holds, read from its records without
    // loading a picture.
    int32_t (*countImages)(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex);
};

// The kind for a file name: the one whose extension its last four
// characters spell, upper-cased; any other name is taken as a gadget file
// and its signature decides.
const ContainerKind& KindForFileName(const std::string& fileName);

const ContainerKind& KindOf(int32_t code);

}  // namespace Brimwork
