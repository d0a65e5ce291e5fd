#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Little-endian fields of fixed-layout records, read from and written to
// byte arrays. The caller has checked that the record is long enough.
namespace Brimwork::Bytes {

inline int32_t Int32At(std::span<const uint8_t> record, size_t offset)
{
    const uint32_t value = uint32_t{record[offset]} | uint32_t{record[offset + 1]} << 8 |
                           uint32_t{record[offset + 2]} << 16 | uint32_t{record[offset + 3]} << 24;
    return static_cast<int32_t>(value);
}

inline int16_t Int16At(std::span<const uint8_t> record, size_t offset)
{
    return static_cast<int16_t>(uint16_t{record[offset]} | uint16_t(record[offset + 1] << 8));
}

inline uint16_t UInt16At(std::span<const uint8_t> record, size_t offset)
{
    return static_cast<uint16_t>(record[offset] | record[offset + 1] << 8);
}

inline std::string_view TextAt(std::span<const uint8_t> record, size_t offset, size_t length)
{
    return std::string_view(reinterpret_cast<const char*>(record.data()) + offset, length);
}

inline void PutInt32(std::span<uint8_t> record, size_t offset, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i)
        record[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

inline void PutInt16(std::span<uint8_t> record, size_t offset, int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    record[offset] = static_cast<uint8_t>(bits);
    record[offset + 1] = static_cast<uint8_t>(bits >> 8);
}

// Copies the text into a field of `length` bytes and fills the rest with NULs.
inline void PutText(std::span<uint8_t> record, size_t offset, size_t length, std::string_view text)
{
    std::memset(record.data() + offset, 0, length);
    std::memcpy(record.data() + offset, text.data(), std::min(length, text.size()));
}

inline void AppendInt32(std::vector<uint8_t>& out, int32_t value)
{
    out.resize(out.size() + 4);
    PutInt32(out, out.size() - 4, value);
}

inline void AppendInt16(std::vector<uint8_t>& out, int16_t value)
{
    out.resize(out.size() + 2);
    PutInt16(out, out.size() - 2, value);
}

inline void AppendText(std::vector<uint8_t>& out, size_t length, std::string_view text)
{
    out.resize(out.size() + length);
    PutText(out, out.size() - length, length, text);
}

}  // namespace Brimwork::Bytes
