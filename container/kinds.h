#pragma once

#include <memory>
#include <string>

#include "core/container_kind.h"

namespace Brimwork {

// The kind of container a file name says: the one whose extension its last
// four characters spell, letter case ignored; any other name is taken as a
// gadget file, whose signature then decides. A new kind is added to the
// table behind this and nowhere else.
std::unique_ptr<ContainerKind> KindForFileName(const std::string& fileName);

}  // namespace Brimwork
