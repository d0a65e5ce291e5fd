#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/files.h"

// A file system held in memory, so that whole commands can run in process
// without touching the disk (the fuzz targets do). It behaves as the POSIX
// one does where the modules can tell: names are case-sensitive; a file
// open for reading keeps its contents when another file is renamed over
// its name; creating an existing file empties it; a rename replaces its
// target in one step; symbolic links are refused unless followed; a hard
// link is a second name of the same contents and permissions. Each file
// keeps its permission bits and group; there are no users, so any group
// may be given. Writes beyond `capacity` bytes in all fail as a full disk
// does. Every failure is an Error naming the file.
namespace Brimwork {

class MemoryFileSystem final : public FileSystem {
public:
    static constexpr int64_t DefaultCapacity = int64_t{64} << 20;
    // What a new file gets, as under the usual file creation mask 022.
    static constexpr FileAccess NewFileAccess{0644, 0};

    explicit MemoryFileSystem(int64_t capacity = DefaultCapacity);
    ~MemoryFileSystem() override;

    // Puts a file, a folder or a symbolic link to `target` at `path`,
    // replacing what stood there. The parent folder need not exist.
    void AddFile(const std::filesystem::path& path, std::vector<uint8_t> bytes, FileAccess access = NewFileAccess);
    void AddFolder(const std::filesystem::path& path);
    void AddSymlink(const std::filesystem::path& path, const std::filesystem::path& target);

    // The contents of the regular file at `path`; nothing when no regular
    // file stands there.
    std::optional<std::vector<uint8_t>> Contents(const std::filesystem::path& path) const;

    // Every path with what stands there and, for a regular file, its bytes.
    struct Entry {
        EntryType type = EntryType::Missing;
        std::vector<uint8_t> bytes;
        bool operator==(const Entry&) const = default;
    };
    std::map<std::filesystem::path, Entry> Snapshot() const;

    using FileSystem::OpenForReading;
    std::unique_ptr<ReadableFile> OpenForReading(const std::filesystem::path& path, Links links) override;
    std::unique_ptr<WritableFile> CreateForWriting(const std::filesystem::path& path) override;
    EntryType TypeOf(const std::filesystem::path& path) override;
    std::vector<std::string> ListFolder(const std::filesystem::path& folder) override;
    std::optional<FileAccess> AccessOf(const std::filesystem::path& path) override;
    bool HardLink(const std::filesystem::path& existing, const std::filesystem::path& link) override;
    void Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void Remove(const std::filesystem::path& path) override;
    void SyncFolder(const std::filesystem::path& folder) override;

    // The contents of one file, shared by its name and the files open on
    // it; its space is given back when the last of them goes, as on a disk.
    struct Inode {
        Inode(uint64_t number, std::shared_ptr<int64_t> used) : number(number), used(std::move(used)) {}
        Inode(const Inode&) = delete;
        Inode& operator=(const Inode&) = delete;
        ~Inode() { *used -= static_cast<int64_t>(bytes.size()); }
        uint64_t number = 0;
        int64_t modified = 0;
        FileAccess access = NewFileAccess;
        std::vector<uint8_t> bytes;
        std::shared_ptr<int64_t> used;
    };

private:
    friend class MemoryWritableFile;

    struct Node {
        EntryType type = EntryType::Missing;
        std::shared_ptr<Inode> inode;   // a regular file
        std::filesystem::path target;   // a symbolic link
    };

    static std::filesystem::path Key(const std::filesystem::path& path);
    const Node* Find(const std::filesystem::path& path) const;
    // What the path names once symbolic links are followed, nothing when
    // that is missing; a loop of links is an Error of `action`.
    const Node* FindFollowing(const std::filesystem::path& path, const std::string& action) const;
    void RequireParentFolder(const std::filesystem::path& path, const std::string& action) const;
    std::shared_ptr<Inode> NewInode(std::vector<uint8_t> bytes);
    // Grows the file to hold `end` bytes, refusing to pass the capacity.
    void Reserve(Inode& inode, int64_t end, const std::filesystem::path& path);

    std::map<std::filesystem::path, Node> nodes_;
    int64_t capacity_;
    std::shared_ptr<int64_t> used_ = std::make_shared<int64_t>(0);
    uint64_t nextInode_ = 1;
    int64_t clock_ = 0;
};

}  // namespace Brimwork
