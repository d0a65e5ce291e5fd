#include "core/checked.h"

#include <limits>
#include <string>

#include "core/error.h"

namespace Brimwork {

void ThrowDamaged(const std::string& file, const std::string& what)
{
    throw Error(file + " is damaged: " + what);
}

namespace Checked {

int32_t ToInt32(int64_t value, std::string_view what)
{
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        throw Error(std::string(what) + " is too large (" + std::to_string(value) + ")");
    return static_cast<int32_t>(value);
}

int32_t Add(int32_t a, int32_t b, std::string_view what)
{
    return ToInt32(int64_t{a} + int64_t{b}, what);
}

int32_t Mul(int32_t a, int32_t b, std::string_view what)
{
    return ToInt32(int64_t{a} * int64_t{b}, what);
}

}  // namespace Checked
}  // namespace Brimwork
