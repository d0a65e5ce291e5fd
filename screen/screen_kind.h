#pragma once

#include <memory>

namespace Brimwork {
class ContainerKind;
}

namespace PIX {

// The screen kind for the table of kinds.
std::unique_ptr<Brimwork::ContainerKind> MakeKind();

}  // namespace PIX
