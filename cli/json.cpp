#include "cli/json.h"

namespace Brimwork::Json {
namespace {

constexpr std::string_view HexDigits = "0123456789abcdef";

std::string HexEscape(unsigned prefix, uint8_t byte)
{
    return std::string("\\u") + HexDigits[prefix >> 4] + HexDigits[prefix & 0xF] + HexDigits[byte >> 4] +
           HexDigits[byte & 0xF];
}

// The length of the valid UTF-8 sequence at the start of `bytes`, or 0
// when its first byte does not begin one: overlong forms, surrogates and
// values beyond U+10FFFF are not valid.
size_t ValidSequenceLength(std::string_view bytes)
{
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    uint8_t lowest = 0x80;  // the range the second byte must lie in
    uint8_t highest = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            lowest = 0xA0;  // overlong below U+0800
        if (lead == 0xED)
            highest = 0x9F;  // U+D800 to U+DFFF
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            lowest = 0x90;  // overlong below U+10000
        if (lead == 0xF4)
            highest = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < lowest || byte(1) > highest)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

void AppendAscii(std::string& out, char c)
{
    switch (c) {
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    case '\b':
        out += "\\b";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        if (static_cast<uint8_t>(c) < 0x20)
            out += HexEscape(0x00, static_cast<uint8_t>(c));
        else
            out += c;
    }
}

}  // namespace

std::string QuotedString(std::string_view bytes)
{
    std::string out = "\"";
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t length = ValidSequenceLength(bytes.substr(at));
        if (length == 0) {
            out += HexEscape(0xDC, static_cast<uint8_t>(bytes[at]));
            ++at;
        } else if (length == 1) {
            AppendAscii(out, bytes[at]);
            ++at;
        } else {
            out.append(bytes.substr(at, length));
            at += length;
        }
    }
    out += '"';
    return out;
}

void Writer::BeforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!filled_.empty()) {
        if (filled_.back())
            text_ += ',';
        filled_.back() = true;
    }
}

Writer& Writer::BeginObject()
{
    BeforeValue();
    text_ += '{';
    filled_.push_back(false);
    return *this;
}

Writer& Writer::EndObject()
{
    text_ += '}';
    filled_.pop_back();
    return *this;
}

Writer& Writer::BeginArray()
{
    BeforeValue();
    text_ += '[';
    filled_.push_back(false);
    return *this;
}

Writer& Writer::EndArray()
{
    text_ += ']';
    filled_.pop_back();
    return *this;
}

Writer& Writer::Key(std::string_view name)
{
    BeforeValue();
    text_ += QuotedString(name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

Writer& Writer::String(std::string_view bytes)
{
    BeforeValue();
    text_ += QuotedString(bytes);
    return *this;
}

Writer& Writer::Number(int64_t value)
{
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

}  // namespace Brimwork::Json
