#pragma once

#include <concepts>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "io/files.h"
#include "io/read_ahead_file.h"

namespace Brimwork {

// What an InOrderReader hands back: anything that says how much memory it
// holds, which counts towards the reader's byte budget until it is taken.
template <typename Result>
concept HoldsBytes = std::movable<Result> && requires(const Result& result) {
    { result.HeldBytes() } -> std::convertible_to<int64_t>;
};

// The order, the thread and the byte budget of an InOrderReader, apart from
// what the files are read into.
class InOrderReading {
public:
    // `read(index)` reads file `index` into the reader's place for it and
    // returns the bytes the result holds. With `ahead`, it runs on a thread
    // of the shared FilePool, one file after another, while the results
    // read and not yet taken hold at most `budgetBytes`; otherwise it runs
    // in Take.
    InOrderReading(size_t count, bool ahead, int64_t budgetBytes, std::function<int64_t(size_t)> read);
    InOrderReading(const InOrderReading&) = delete;
    InOrderReading& operator=(const InOrderReading&) = delete;
    // Stops reading and waits for the file being read and for the pool's
    // thread to be done with this object.
    ~InOrderReading();

    // The index of the next file, once it is read; throws its failure
    // instead, and that failure again at every later turn. Taking a file
    // past the last is a logic_error.
    size_t Take();

private:
    struct Read {
        bool done = false;
        int64_t bytes = 0;
        std::exception_ptr failure;
    };
    void ReadAll();

    const std::function<int64_t(size_t)> read_;
    const int64_t budgetBytes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Read> reads_;
    size_t toRead_ = 0;
    size_t toTake_ = 0;             // by the caller's thread alone
    std::exception_ptr failure_;  // taken by the caller; ends the reading
    int64_t readyBytes_ = 0;
    bool stopping_ = false;
    bool ahead_;
    bool readerDone_ = false;
};

// Reads files, named in the order given, from one folder, ahead of the
// caller on a thread of the shared FilePool where the file system allows
// threads for reading, and hands them back in that order. Each file is opened and
// given to `decode`, which turns it into the result. A file is begun only
// while the results read and not yet taken hold at most the byte budget,
// so that memory stays within a few files. Next throws the failure of the
// file whose turn it is (opening or decoding it); files after a failed one
// are not read.
template <HoldsBytes Result>
class InOrderReader {
public:
    using Decode = std::function<Result(ReadableFile&)>;

    InOrderReader(FileSystem& files, std::filesystem::path folder, std::vector<std::string> names, Decode decode,
                  int64_t budgetBytes = FilesReadAheadBytes)
        : files_(files),
          folder_(std::move(folder)),
          names_(std::move(names)),
          decode_(std::move(decode)),
          results_(names_.size()),
          reading_(names_.size(), files_.WorkerThreads(FileSystem::Work::Reading) > 0 && names_.size() > 1,
                   budgetBytes, [this](size_t index) { return ReadInto(index); })
    {
    }

    // The next file's result.
    Result Next()
    {
        const size_t index = reading_.Take();
        Result result = std::move(*results_[index]);
        results_[index].reset();
        return result;
    }

private:
    int64_t ReadInto(size_t index)
    {
        const auto file = files_.OpenForReading(folder_ / names_[index]);
        results_[index].emplace(decode_(*file));
        return static_cast<int64_t>(results_[index]->HeldBytes());
    }

    FileSystem& files_;
    const std::filesystem::path folder_;
    // Names rather than paths: a path costs several allocations, and a
    // rebuild may read tens of thousands of files.
    const std::vector<std::string> names_;
    const Decode decode_;
    std::vector<std::optional<Result>> results_;
    // Last, so that its reading has stopped before the rest goes.
    InOrderReading reading_;
};

}  // namespace Brimwork
