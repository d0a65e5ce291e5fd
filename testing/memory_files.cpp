#include "testing/memory_files.h"

#include <algorithm>
#include <cstring>

#include "core/error.h"

namespace Brimwork {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& action, const fs::path& path, const std::string& why)
{
    throw Error("Cannot " + action + " " + path.string() + ": " + why);
}

constexpr const char* NoSuchFile = "No such file or directory";

class MemoryReadableFile final : public ReadableFile {
public:
    MemoryReadableFile(fs::path path, std::shared_ptr<const MemoryFileSystem::Inode> inode)
        : path_(std::move(path)), inode_(std::move(inode)),
          stamp_{1, inode_->number, static_cast<int64_t>(inode_->bytes.size()), inode_->modified}
    {
    }
    const fs::path& Path() const override { return path_; }
    int64_t Size() const override { return stamp_.size; }
    FileStamp Stamp() const override { return stamp_; }

    void ReadAt(int64_t offset, std::span<uint8_t> out) override
    {
        const auto& bytes = inode_->bytes;
        if (offset < 0)
            Fail("read", path_, "Invalid argument");
        if (out.size() > bytes.size() || static_cast<uint64_t>(offset) > bytes.size() - out.size())
            throw Error("Cannot read " + path_.string() + ": the file ends before the data it should hold");
        std::copy_n(bytes.begin() + offset, out.size(), out.begin());
    }

private:
    fs::path path_;
    std::shared_ptr<const MemoryFileSystem::Inode> inode_;
    FileStamp stamp_;
};

}  // namespace

class MemoryWritableFile final : public WritableFile {
public:
    MemoryWritableFile(MemoryFileSystem& files, fs::path path, std::shared_ptr<MemoryFileSystem::Inode> inode)
        : files_(files), path_(std::move(path)), inode_(std::move(inode))
    {
    }
    const fs::path& Path() const override { return path_; }

    void WriteAt(int64_t offset, std::span<const uint8_t> data) override
    {
        RequireOpen();
        if (offset < 0)
            Fail("write", path_, "Invalid argument");
        const int64_t end = offset + static_cast<int64_t>(data.size());
        files_.Reserve(*inode_, end, path_);
        std::copy(data.begin(), data.end(), inode_->bytes.begin() + offset);
        inode_->modified = ++files_.clock_;
        end_ = std::max(end_, end);
    }

    void Write(std::span<const uint8_t> data) override { WriteAt(end_, data); }

    void Sync() override { RequireOpen(); }

    void SetAccess(const FileAccess& access) override
    {
        RequireOpen();
        inode_->access = {access.permissions & 07777, access.group};
    }

    void Close() override
    {
        RequireOpen();
        closed_ = true;
    }

private:
    void RequireOpen() const
    {
        if (closed_)
            throw Error("Cannot write " + path_.string() + ": the file is already closed");
    }

    MemoryFileSystem& files_;
    fs::path path_;
    std::shared_ptr<MemoryFileSystem::Inode> inode_;
    int64_t end_ = 0;
    bool closed_ = false;
};

MemoryFileSystem::MemoryFileSystem(int64_t capacity) : capacity_(capacity) {}

MemoryFileSystem::~MemoryFileSystem() = default;

fs::path MemoryFileSystem::Key(const fs::path& path)
{
    fs::path key = path.lexically_normal();
    // "/a/b/" names the same folder as "/a/b".
    if (!key.has_filename() && key.has_parent_path() && key != key.root_path())
        key = key.parent_path();
    return key;
}

const MemoryFileSystem::Node* MemoryFileSystem::Find(const fs::path& path) const
{
    const auto found = nodes_.find(Key(path));
    return found == nodes_.end() ? nullptr : &found->second;
}

const MemoryFileSystem::Node* MemoryFileSystem::FindFollowing(const fs::path& path, const std::string& action) const
{
    const Node* node = Find(path);
    fs::path at = Key(path);
    // A link is followed a few steps at most, as the system gives up on loops.
    for (int hops = 0; node != nullptr && node->type == EntryType::Symlink; ++hops) {
        if (hops == 8)
            Fail(action, path, "Too many levels of symbolic links");
        at = Key(node->target.is_absolute() ? node->target : at.parent_path() / node->target);
        node = Find(at);
    }
    return node;
}

void MemoryFileSystem::RequireParentFolder(const fs::path& path, const std::string& action) const
{
    const fs::path parent = Key(path).parent_path();
    if (parent.empty() || parent == Key(path))
        return;
    const Node* node = Find(parent);
    if (node == nullptr)
        Fail(action, path, NoSuchFile);
    if (node->type != EntryType::Directory)
        Fail(action, path, "Not a directory");
}

std::shared_ptr<MemoryFileSystem::Inode> MemoryFileSystem::NewInode(std::vector<uint8_t> bytes)
{
    auto inode = std::make_shared<Inode>(nextInode_++, used_);
    inode->modified = ++clock_;
    *used_ += static_cast<int64_t>(bytes.size());
    inode->bytes = std::move(bytes);
    return inode;
}

void MemoryFileSystem::Reserve(Inode& inode, int64_t end, const fs::path& path)
{
    const auto size = static_cast<int64_t>(inode.bytes.size());
    if (end <= size)
        return;
    if (end - size > capacity_ - *used_)
        Fail("write", path, "No space left on device");
    *used_ += end - size;
    inode.bytes.resize(static_cast<size_t>(end), 0);
}

void MemoryFileSystem::AddFile(const fs::path& path, std::vector<uint8_t> bytes, FileAccess access)
{
    auto inode = NewInode(std::move(bytes));
    inode->access = {access.permissions & 07777, access.group};
    nodes_[Key(path)] = Node{EntryType::Regular, std::move(inode), {}};
}

void MemoryFileSystem::AddFolder(const fs::path& path) { nodes_[Key(path)] = Node{EntryType::Directory, {}, {}}; }

void MemoryFileSystem::AddSymlink(const fs::path& path, const fs::path& target)
{
    nodes_[Key(path)] = Node{EntryType::Symlink, {}, target};
}

std::optional<std::vector<uint8_t>> MemoryFileSystem::Contents(const fs::path& path) const
{
    const Node* node = Find(path);
    if (node == nullptr || node->type != EntryType::Regular)
        return std::nullopt;
    return node->inode->bytes;
}

std::map<fs::path, MemoryFileSystem::Entry> MemoryFileSystem::Snapshot() const
{
    std::map<fs::path, Entry> entries;
    for (const auto& [path, node] : nodes_)
        entries[path] = Entry{node.type, node.inode ? node.inode->bytes : std::vector<uint8_t>{}};
    return entries;
}

std::unique_ptr<ReadableFile> MemoryFileSystem::OpenForReading(const fs::path& path, Links links)
{
    const Node* node = Find(path);
    if (node != nullptr && node->type == EntryType::Symlink) {
        if (links == Links::Refuse)
            Fail("open", path, "it is a symbolic link, which is never followed");
        node = FindFollowing(path, "open");
    }
    if (node == nullptr)
        Fail("open", path, NoSuchFile);
    if (node->type != EntryType::Regular)
        Fail("open", path, "it is not a regular file");
    return std::make_unique<MemoryReadableFile>(path, node->inode);
}

std::unique_ptr<WritableFile> MemoryFileSystem::CreateForWriting(const fs::path& path)
{
    RequireParentFolder(path, "create");
    auto found = nodes_.find(Key(path));
    if (found == nodes_.end()) {
        auto inode = NewInode({});
        nodes_[Key(path)] = Node{EntryType::Regular, inode, {}};
        return std::make_unique<MemoryWritableFile>(*this, path, inode);
    }
    Node& node = found->second;
    if (node.type == EntryType::Symlink)
        Fail("create", path, "it is a symbolic link, which is never followed");
    if (node.type != EntryType::Regular)
        Fail("create", path, "Is a directory");
    // Emptied in place: files open on it see it emptied, as on a disk.
    *used_ -= static_cast<int64_t>(node.inode->bytes.size());
    node.inode->bytes.clear();
    node.inode->modified = ++clock_;
    return std::make_unique<MemoryWritableFile>(*this, path, node.inode);
}

EntryType MemoryFileSystem::TypeOf(const fs::path& path)
{
    const Node* node = Find(path);
    return node == nullptr ? EntryType::Missing : node->type;
}

std::vector<std::string> MemoryFileSystem::ListFolder(const fs::path& folder)
{
    const Node* node = Find(folder);
    if (node == nullptr)
        Fail("list the folder", folder, NoSuchFile);
    if (node->type != EntryType::Directory)
        Fail("list the folder", folder, "Not a directory");
    const fs::path key = Key(folder);
    std::vector<std::string> names;
    for (const auto& [path, entry] : nodes_)
        if (path.parent_path() == key && path != key)
            names.push_back(path.filename().string());
    return names;
}

std::optional<FileAccess> MemoryFileSystem::AccessOf(const fs::path& path)
{
    const Node* node = FindFollowing(path, "read the permissions of");
    if (node == nullptr)
        return std::nullopt;
    if (node->type == EntryType::Directory)
        return FileAccess{0755, NewFileAccess.group};
    return node->inode->access;
}

bool MemoryFileSystem::HardLink(const fs::path& existing, const fs::path& link)
{
    const auto fail = [&](const std::string& why) {
        throw Error("Cannot link " + link.string() + " to " + existing.string() + ": " + why);
    };
    const Node* node = FindFollowing(existing, "link " + link.string() + " to");
    if (node == nullptr)
        fail(NoSuchFile);
    // The system refuses a second name for a folder.
    if (node->type != EntryType::Regular)
        return false;
    const fs::path parent = Key(link).parent_path();
    if (!parent.empty() && parent != Key(link) && TypeOf(parent) != EntryType::Directory)
        fail(NoSuchFile);
    if (Find(link) != nullptr)
        fail("File exists");
    nodes_[Key(link)] = Node{EntryType::Regular, node->inode, {}};
    return true;
}

void MemoryFileSystem::Rename(const fs::path& from, const fs::path& to)
{
    const auto source = nodes_.find(Key(from));
    const auto fail = [&](const std::string& why) {
        throw Error("Cannot rename " + from.string() + " to " + to.string() + ": " + why);
    };
    if (source == nodes_.end())
        fail(NoSuchFile);
    if (source->second.type == EntryType::Directory)
        fail("Is a directory");
    const fs::path parent = Key(to).parent_path();
    if (!parent.empty() && parent != Key(to) && TypeOf(parent) != EntryType::Directory)
        fail(NoSuchFile);
    if (Key(from) == Key(to))
        return;
    const auto target = nodes_.find(Key(to));
    if (target != nodes_.end() && target->second.type == EntryType::Directory)
        fail("Is a directory");
    Node moved = std::move(source->second);
    nodes_.erase(source);
    nodes_[Key(to)] = std::move(moved);
}

void MemoryFileSystem::Remove(const fs::path& path)
{
    const auto found = nodes_.find(Key(path));
    if (found == nodes_.end())
        Fail("delete", path, NoSuchFile);
    if (found->second.type == EntryType::Directory)
        Fail("delete", path, "Is a directory");
    nodes_.erase(found);
}

void MemoryFileSystem::SyncFolder(const fs::path& folder)
{
    if (TypeOf(folder) != EntryType::Directory)
        Fail("flush the folder", folder, NoSuchFile);
}

}  // namespace Brimwork
