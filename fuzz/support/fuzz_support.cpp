#include "fuzz/support/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "core/error.h"

namespace Brimwork::Fuzz {

void Require(bool holds, std::string_view promise)
{
    if (holds)
        return;
    std::fprintf(stderr, "Broken promise: %.*s\n", static_cast<int>(promise.size()), promise.data());
    std::abort();
}

std::optional<std::string> ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

void QuietWindow::ReplaceList(const std::vector<std::string>& names) { list = names; }

void QuietWindow::SetProgress(float percent)
{
    Require(percent >= 0.0f && percent <= 100.0f, "progress stays within 0 to 100");
}

void QuietWindow::ShowMessage(const std::string& text, const std::string&) { messages.push_back(text); }

Workspace::Workspace(const std::string& containerName, std::vector<uint8_t> bytes)
{
    files.AddFolder(folder);
    container.FileName = folder / containerName;
    container.FileTitle = containerName;
    files.AddFile(container.FileName, std::move(bytes));
}

ModuleContext Workspace::Context() { return ModuleContext{image, container, folder, window, files}; }

uint8_t InputReader::Byte() { return position_ < data_.size() ? data_[position_++] : 0; }

uint16_t InputReader::UInt16()
{
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | Byte() << 8);
}

int32_t InputReader::Int32()
{
    const uint32_t low = UInt16();
    return static_cast<int32_t>(low | uint32_t{UInt16()} << 16);
}

std::vector<uint8_t> InputReader::Bytes(size_t count)
{
    const size_t taken = std::min(count, data_.size() - std::min(position_, data_.size()));
    std::vector<uint8_t> bytes(data_.begin() + static_cast<std::ptrdiff_t>(position_),
                               data_.begin() + static_cast<std::ptrdiff_t>(position_ + taken));
    position_ += taken;
    return bytes;
}

std::vector<uint8_t> InputReader::Rest() { return Bytes(data_.size()); }

namespace {

std::vector<uint8_t> ReadBlock(InputReader& in) { return in.Bytes(in.UInt16()); }

void AppendBlock(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes)
{
    const size_t size = std::min<size_t>(bytes.size(), 0xFFFF);
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(static_cast<uint8_t>(size >> 8));
    out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

}  // namespace

RebuildInput SplitRebuildInput(std::span<const uint8_t> data)
{
    InputReader in(data);
    RebuildInput input;
    input.containerKind = in.Byte();
    input.manifest = ReadBlock(in);
    input.container = ReadBlock(in);
    while (!in.Empty() && input.files.size() < 64) {
        FolderFile file;
        file.kind = static_cast<FolderFile::Kind>(in.Byte() % 3);
        const auto name = in.Bytes(in.Byte());
        file.name.assign(name.begin(), name.end());
        file.bytes = ReadBlock(in);
        input.files.push_back(std::move(file));
    }
    return input;
}

std::vector<uint8_t> JoinRebuildInput(const RebuildInput& input)
{
    std::vector<uint8_t> out{input.containerKind};
    AppendBlock(out, input.manifest);
    AppendBlock(out, input.container);
    for (const auto& file : input.files) {
        out.push_back(file.kind);
        const size_t nameSize = std::min<size_t>(file.name.size(), 0xFF);
        out.push_back(static_cast<uint8_t>(nameSize));
        out.insert(out.end(), file.name.begin(), file.name.begin() + static_cast<std::ptrdiff_t>(nameSize));
        AppendBlock(out, file.bytes);
    }
    return out;
}

std::string FirstLine(const std::vector<uint8_t>& manifest)
{
    std::string line;
    for (uint8_t c : manifest) {
        if (c == '\r' || c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    return line;
}

}  // namespace Brimwork::Fuzz
