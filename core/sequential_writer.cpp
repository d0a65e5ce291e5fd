#include "core/sequential_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "core/files.h"

namespace Brimwork {

SequentialWriter::SequentialWriter(WritableFile& file, size_t capacity) : file_(file), capacity_(capacity)
{
    buffer_.reserve(capacity_);
}

void SequentialWriter::Append(std::span<const uint8_t> data)
{
    if (data.size() <= capacity_ - buffer_.size()) {
        buffer_.insert(buffer_.end(), data.begin(), data.end());
        return;
    }
    // What does not fit goes out with the buffer in one write, uncopied.
    const std::array<std::span<const uint8_t>, 2> pieces{std::span<const uint8_t>(buffer_), data};
    file_.WriteGathered(pieces);
    flushed_ += static_cast<int64_t>(buffer_.size() + data.size());
    buffer_.clear();
    // The disk gets to work while the rest is read and put together.
    file_.StartWriteback();
}

int64_t SequentialWriter::Reserve(int64_t size)
{
    static constexpr std::array<uint8_t, 64 * 1024> zeros{};
    const int64_t offset = Position();
    for (int64_t left = size; left > 0;) {
        const auto part = static_cast<size_t>(std::min<int64_t>(left, zeros.size()));
        Append(std::span(zeros).first(part));
        left -= static_cast<int64_t>(part);
    }
    return offset;
}

void SequentialWriter::Patch(int64_t offset, std::span<const uint8_t> data)
{
    if (offset < 0 || offset > Position() || static_cast<int64_t>(data.size()) > Position() - offset)
        throw std::logic_error("SequentialWriter::Patch outside what was appended");
    const auto written = static_cast<size_t>(std::clamp<int64_t>(flushed_ - offset, 0, int64_t(data.size())));
    if (written > 0)
        file_.WriteAt(offset, data.first(written));
    const auto buffered = data.subspan(written);
    if (!buffered.empty())
        std::copy(buffered.begin(), buffered.end(),
                  buffer_.begin() + (offset + static_cast<int64_t>(written) - flushed_));
}

void SequentialWriter::Flush()
{
    if (buffer_.empty())
        return;
    file_.Write(buffer_);
    flushed_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
}

}  // namespace Brimwork
