#pragma once

#include <stdexcept>
#include <string>

namespace Brimwork {

// A failure that the user is told about in plain words: what failed and,
// where a file is involved, which file. Commands catch it and show it;
// the tool carries on.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "<file> is damaged: <what>" — the container does not hold together.
[[noreturn]] void ThrowDamaged(const std::string& file, const std::string& what);

}  // namespace Brimwork
