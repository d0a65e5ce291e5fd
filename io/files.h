#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Every file operation of the modules goes through this interface, so that
// each one is checked in one place and tests can replace the real file
// system. Every failure is an Error whose text names the file and what
// failed. No operation follows a symbolic link unless it says so.
namespace Brimwork {

// What identifies a file's contents between two openings: when any of it
// differs, the file may have changed.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};

// Who may use a file: its permission bits (the mode's lowest twelve bits,
// with set-user-ID, set-group-ID and sticky) and its group.
struct FileAccess {
    uint32_t permissions = 0;
    uint32_t group = 0;
    bool operator==(const FileAccess&) const = default;
};

// The bytes of one file, in pieces written one after another.
using FilePieces = std::vector<std::vector<uint8_t>>;

class ReadableFile;

// `size` bytes of an open file, from `offset`; no file, no bytes.
struct FileRange {
    ReadableFile* file = nullptr;
    int64_t offset = 0;
    int64_t size = 0;
};

// What a file written whole holds: the pieces in memory, one after
// another, then the bytes of `copied`, which the real file system has the
// system copy without passing them through the program.
struct WholeFileContents {
    WholeFileContents(std::span<const std::span<const uint8_t>> pieces, FileRange copied = {})
        : pieces(pieces), copied(copied)
    {
    }
    std::span<const std::span<const uint8_t>> pieces;
    FileRange copied;
};

class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    virtual const std::filesystem::path& Path() const = 0;
    virtual int64_t Size() const = 0;
    virtual FileStamp Stamp() const = 0;
    // Reads exactly out.size() bytes at offset; a short read is an Error.
    // The files a FileSystem opens may be read from several threads at
    // once; the wrappers that read ahead may not.
    virtual void ReadAt(int64_t offset, std::span<uint8_t> out) = 0;
};

// Refuses, with an Error naming the file, a range of `size` bytes at
// `offset` that is negative or does not lie within the file.
void RequireWithin(const ReadableFile& file, int64_t offset, int64_t size);

class WritableFile {
public:
    virtual ~WritableFile() = default;
    virtual const std::filesystem::path& Path() const = 0;
    virtual void WriteAt(int64_t offset, std::span<const uint8_t> data) = 0;
    // Writes at the end of what was written so far.
    virtual void Write(std::span<const uint8_t> data) = 0;
    void Write(std::string_view text)
    {
        Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    }
    // Writes the pieces one after another at the end, in one system call
    // where the system allows; the same bytes as a Write of each in turn.
    virtual void WriteGathered(std::span<const std::span<const uint8_t>> pieces)
    {
        for (const auto& piece : pieces)
            Write(piece);
    }
    // Appends `size` bytes of `from`, starting at `offset`, at the end of
    // what was written so far: the same bytes as a Write of them. A range
    // that does not lie within `from` is an Error naming it. This form reads
    // and writes a block at a time; a file system that can have the system
    // copy between its files without passing the bytes through the program
    // does that instead.
    virtual void AppendFrom(ReadableFile& from, int64_t offset, int64_t size);
    // Forces the contents to the disk.
    virtual void Sync() = 0;
    // Asks the system to start writing what was written so far to the disk
    // without waiting for it, so that a later Sync has less left to wait
    // for. Only a hint, which cannot fail: Sync still reports any failure.
    virtual void StartWriteback() {}
    // Gives the open file the permission bits and, where the system lets
    // this user, the group: a group the user may not give is silently left
    // as the file got it. A failure to set the permission bits is an Error.
    // A file that is not kept anywhere has none to take.
    virtual void SetAccess(const FileAccess&) {}
    // Closes and reports a failure; the destructor closes silently.
    virtual void Close() = 0;
};

enum class EntryType { Missing, Regular, Directory, Symlink, Other };

// One entry of a folder listing: its name (without folder) and what it is.
struct FolderEntry {
    std::string name;
    EntryType type = EntryType::Missing;
    bool operator==(const FolderEntry&) const = default;
};

// A folder in which many files are about to be created, held by the file
// system in whatever way makes that cheapest. Safe to use from several
// threads at once.
class NewFilesFolder {
public:
    virtual ~NewFilesFolder() = default;
    // FileSystem::CreateWithContents of the file `name` in the folder.
    virtual void CreateWithContents(const std::string& name, const WholeFileContents& contents) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Only the container the user chose may be reached through a symbolic
    // link; the files the tool names itself (manifests, TGA files) may not.
    enum class Links { Refuse, Follow };

    // An existing regular file; a symbolic link is refused unless `links`
    // is Follow.
    virtual std::unique_ptr<ReadableFile> OpenForReading(const std::filesystem::path& path, Links links) = 0;
    std::unique_ptr<ReadableFile> OpenForReading(const std::filesystem::path& path)
    {
        return OpenForReading(path, Links::Refuse);
    }
    // The container the user chose, through a symbolic link if it is one.
    std::unique_ptr<ReadableFile> OpenContainer(const std::filesystem::path& path)
    {
        return OpenForReading(path, Links::Follow);
    }
    // Creates the file or empties an existing one; a symbolic link is refused.
    virtual std::unique_ptr<WritableFile> CreateForWriting(const std::filesystem::path& path) = 0;
    // CreateForWriting, WriteGathered of the pieces, AppendFrom of the
    // copied range and Close in one call, for a file written whole at once;
    // the real file system writes a new file unnamed and gives it its name
    // once complete.
    virtual void CreateWithContents(const std::filesystem::path& path, const WholeFileContents& contents);
    // The folder, for the creation of many files in it. The real file
    // system holds it open, so that each file's name is looked up from
    // there rather than along the whole path; opening never fails, a
    // failure is reported by the file that meets it.
    virtual std::unique_ptr<NewFilesFolder> OpenForNewFiles(const std::filesystem::path& folder);
    // What the path names, without following a symbolic link.
    virtual EntryType TypeOf(const std::filesystem::path& path) = 0;
    // The names (without folder) of the entries of a folder, in no useful order.
    virtual std::vector<std::string> ListFolder(const std::filesystem::path& folder) = 0;
    // The same entries with what each one is, as TypeOf would say: the
    // real file system takes the type from the listing itself, where a
    // lookup per entry would cost a system call each.
    virtual std::vector<FolderEntry> ListFolderWithTypes(const std::filesystem::path& folder)
    {
        std::vector<FolderEntry> entries;
        for (auto& name : ListFolder(folder)) {
            const EntryType type = TypeOf(folder / name);
            entries.push_back({std::move(name), type});
        }
        return entries;
    }
    // The permission bits and group of the file at `path`, through a
    // symbolic link; nothing when no file is there (a dangling link too).
    virtual std::optional<FileAccess> AccessOf(const std::filesystem::path& path) = 0;
    // Gives the file at `existing` (through a symbolic link) the second name
    // `link`, which must not exist yet. False when the file system makes no
    // such link there (across devices, not supported, refused, too many
    // links to the file), where the caller may copy the file instead;
    // another failure is an Error. A file system without hard links makes
    // none.
    virtual bool HardLink(const std::filesystem::path&, const std::filesystem::path&) { return false; }
    // Replaces `to` in one step when it exists.
    virtual void Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    virtual void Remove(const std::filesystem::path& path) = 0;
    // Makes the folder's entries (a rename, a new file) durable.
    virtual void SyncFolder(const std::filesystem::path& folder) = 0;
    // How many threads of its own the work of reading, creating or
    // deleting many files may use on this file system; 0 when every
    // operation must come from the caller's thread.
    enum class Work { Reading, Creating, Deleting };
    virtual int WorkerThreads(Work) const { return 0; }
};

// How many threads of its own file work of a kind uses on a machine of
// `hardwareThreads` (std::thread::hardware_concurrency(); 0 when unknown,
// taken as one), at most 8. Creating files takes one thread per processor,
// and two on one: the files of one folder queue for its lock, and a thread
// more than the processors only spins there, costing processor time for
// no gain. Deleting waits on the disk's tables as much as on the
// processor, so it takes twice as many threads as there are processors.
// Reading takes one thread ahead of the caller, who writes what it reads.
int FileWorkThreads(FileSystem::Work work, unsigned hardwareThreads);

// The machine's own file system, over POSIX calls.
FileSystem& RealFileSystem();

// Writes the contents after what the file holds so far: the pieces, then
// the copied range.
void WriteContents(WritableFile& file, const WholeFileContents& contents);

// The whole content of a regular file, refused when it is larger than maxBytes.
std::string ReadWholeFile(FileSystem& files, const std::filesystem::path& path, int64_t maxBytes);

// Writes the whole of `content` to the file, replacing it in one step: the
// text goes to "<path>.partial" first, which is renamed over `path` once it
// is complete and closed, and removed when anything fails.
void WriteWholeFile(FileSystem& files, const std::filesystem::path& path, std::string_view content);

// Removes a stale file before a new one of that name is written; a symbolic
// link or a folder in its place is an Error.
void RemoveIfPresent(FileSystem& files, const std::filesystem::path& path);

// Refuses, before anything is written, a symbolic link or a folder that
// stands where one of these files is to be written.
void RequireNothingInTheWay(FileSystem& files, const std::vector<std::filesystem::path>& paths);

// Deletes each file, several at a time where the file system allows;
// returns the messages of those that could not be deleted, in the order of
// `paths`, so that the caller can report them after its success.
std::vector<std::string> DeleteFiles(FileSystem& files, const std::vector<std::filesystem::path>& paths);

}  // namespace Brimwork
