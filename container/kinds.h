#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/container_kind.h"

namespace Brimwork {

class FileSystem;

// The kind of container a file name says: the one whose extension its last
// four characters spell, letter case ignored; any other name is taken as a
// gadget file. For a file that does not exist yet; an existing file is
// better told by KindForFile. A new kind is added to the table behind this
// and nowhere else.
std::unique_ptr<ContainerKind> KindForFileName(const std::string& fileName);

// The kind of an existing container: the one its extension names, as
// KindForFileName says. A name with none of the kinds' extensions is told
// by the file's first bytes: a screen file's signature makes it a screen
// file, anything else (a file too short or that cannot be read too) a
// gadget file, whose own reading then reports what is wrong with it.
std::unique_ptr<ContainerKind> KindForFile(FileSystem& files, const std::filesystem::path& path);

// Whether a container of `kind` written under this name is read back as
// that kind: its extension names the kind, or it has none of the kinds'
// extensions and the kind is one that its signature tells.
bool NameKeepsKind(const std::string& fileName, const ContainerKind& kind);

}  // namespace Brimwork
