#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The JSON that `info --json` prints.
namespace Brimwork::Json {

// The bytes as a JSON string, quotes included, every byte kept: valid
// UTF-8 passes through, with '"', '\' and the control characters escaped;
// each byte that is not part of valid UTF-8 becomes "\udcXX", XX being the
// byte. Valid UTF-8 never holds those lone low surrogates (U+DC80 to
// U+DCFF), so a reader can turn each one back into its byte.
std::string QuotedString(std::string_view bytes);

// Writes one JSON value, compact, placing the commas between members and
// elements itself. Calls must nest as JSON does: a Key before each member
// of an object.
class Writer {
public:
    Writer& BeginObject();
    Writer& EndObject();
    Writer& BeginArray();
    Writer& EndArray();
    Writer& Key(std::string_view name);
    Writer& String(std::string_view bytes);
    Writer& Number(int64_t value);

    const std::string& Text() const { return text_; }

private:
    void BeforeValue();

    std::string text_;
    // One per open object or array: whether a member or element has been
    // written in it yet.
    std::vector<bool> filled_;
    bool afterKey_ = false;
};

}  // namespace Brimwork::Json
