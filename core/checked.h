#pragma once

#include <cstdint>
#include <string_view>

// Arithmetic on sizes, counts and offsets never wraps round: every result
// that leaves the 32-bit range is an Error naming what was being computed.
namespace Brimwork::Checked {

int32_t ToInt32(int64_t value, std::string_view what);
int32_t Add(int32_t a, int32_t b, std::string_view what);
int32_t Mul(int32_t a, int32_t b, std::string_view what);

}  // namespace Brimwork::Checked
