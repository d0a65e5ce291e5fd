#pragma once

#include <stdexcept>
#include <string>

namespace Brimwork {

// A failure that the user is told about in plain words: what failed and,
// where a file is involved, which file. Commands catch it and show it;
// the tool carries on. Where a message has a title of its own, the error
// carries it; otherwise the window gives it its usual error title.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    Error(const std::string& message, std::string title) : std::runtime_error(message), title_(std::move(title)) {}

    // The title to show the message under; empty for the usual one.
    const std::string& Title() const { return title_; }

private:
    std::string title_;
};

// "<file> is damaged: <what>" — the container does not hold together.
[[noreturn]] void ThrowDamaged(const std::string& file, const std::string& what);

}  // namespace Brimwork
