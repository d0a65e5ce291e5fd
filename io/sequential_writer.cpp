#include "io/sequential_writer.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "core/error.h"
#include "io/files.h"

namespace Brimwork {

SequentialWriter::SequentialWriter(WritableFile& file, size_t capacity) : file_(file), capacity_(capacity)
{
    buffer_.reserve(capacity_);
}

void SequentialWriter::Append(std::span<const uint8_t> data)
{
    EmitPendingCopy();
    // A large piece, such as an image, goes out with the buffer rather than
    // through it.
    if (static_cast<int64_t>(data.size()) < DirectCopySize && data.size() <= capacity_ - buffer_.size()) {
        buffer_.insert(buffer_.end(), data.begin(), data.end());
        return;
    }
    // What does not fit goes out with the buffer in one write, uncopied.
    const std::array<std::span<const uint8_t>, 2> pieces{std::span<const uint8_t>(buffer_), data};
    file_.WriteGathered(pieces);
    Written(static_cast<int64_t>(buffer_.size() + data.size()));
    buffer_.clear();
}

void SequentialWriter::AppendCopy(ReadableFile& from, int64_t offset, int64_t size)
{
    RequireWithin(from, offset, size);
    if (size == 0)
        return;
    // A copy that continues the one before it in the same file joins it:
    // a container's unedited images mostly lie one after another.
    if (pending_.from == &from && pending_.offset + pending_.size == offset) {
        pending_.size += size;
        return;
    }
    EmitPendingCopy();
    pending_ = {&from, offset, size};
}

void SequentialWriter::EmitPendingCopy()
{
    if (pending_.from == nullptr)
        return;
    const PendingCopy copy = pending_;
    pending_ = {};
    if (copy.size >= DirectCopySize || static_cast<size_t>(copy.size) > capacity_) {
        Flush();
        // In steps, so that the disk writes the start of a long copy back
        // while the rest is copied, as it does for appended bytes.
        for (int64_t done = 0; done < copy.size;) {
            const int64_t step = std::min(copy.size - done, WritebackStep);
            file_.AppendFrom(*copy.from, copy.offset + done, step);
            Written(step);
            done += step;
        }
        return;
    }
    if (!source_ || !source_->Over(*copy.from))
        source_.emplace(*copy.from, static_cast<size_t>(DirectCopySize));
    Append(source_->View(copy.offset, static_cast<size_t>(copy.size)));
}

void SequentialWriter::Written(int64_t bytes)
{
    flushed_ += bytes;
    unhinted_ += bytes;
    // The disk gets to work while the rest is read and put together; asked
    // every few megabytes, the hint costs next to nothing.
    if (unhinted_ >= WritebackStep) {
        file_.StartWriteback();
        unhinted_ = 0;
    }
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
    EmitPendingCopy();
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
    EmitPendingCopy();
    if (buffer_.empty())
        return;
    file_.Write(buffer_);
    Written(static_cast<int64_t>(buffer_.size()));
    buffer_.clear();
}

[[noreturn]] void ThrowMiscount(const WritableFile& file, const std::string& what, int64_t announced, int64_t given)
{
    throw Error("Cannot write " + file.Path().string() + ": " + what + ": " + std::to_string(announced) +
                " announced, " + std::to_string(given) + " given");
}

}  // namespace Brimwork
