#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>

namespace Brimwork {

// Spreads file work whose cost is the system's rather than ours (creating
// and deleting many small files) over as many threads of the shared
// FilePool at once as the file system allows, while the caller goes on
// producing it. Threads are taken from the pool only while there are tasks,
// so a small piece of work takes no more threads than it has tasks.
//
// Tasks start in the order they are added. When one fails, the tasks added
// after it that have not started are dropped, and the failure reported is
// that of the earliest task that failed: the one at which doing the tasks
// one by one would have stopped. On a file system that allows no threads
// of its own, each task runs at once in the caller's thread, and a failure
// is thrown from Add as it happens.
class FileWork {
public:
    // What the tasks waiting to run may hold in memory together before Add
    // waits for them; one task larger than that runs alone.
    static constexpr int64_t DefaultHeldBytes = int64_t{8} << 20;

    // `threads`: as many as the file system allows for the work.
    explicit FileWork(int threads, int64_t heldBytesLimit = DefaultHeldBytes);
    FileWork(const FileWork&) = delete;
    FileWork& operator=(const FileWork&) = delete;
    // Drops the tasks not yet started and waits for those running, and
    // for the pool's threads to be done with this object.
    ~FileWork();

    // Adds a task that holds `bytes` of memory until it has run. When the
    // tasks not yet done hold too much, waits until they hold at most half
    // the limit, so that the caller is not woken at every task. Once a
    // task has failed, throws that failure instead (after the tasks
    // started before it end).
    void Add(std::function<void()> task, int64_t bytes = 0);

    // Waits until every task added so far has run; throws the earliest
    // failure.
    void Finish();

    // Runs `produce`, which adds tasks, then Finish. When `produce` itself
    // fails, the tasks it added before still run, since they come first,
    // and the earliest failure among them is reported ahead of its own.
    void Run(const std::function<void()>& produce);

private:
    struct Task {
        uint64_t number;
        std::function<void()> work;
        int64_t bytes;
    };

    // Runs queued tasks on a thread of the pool until none is left.
    void Drain();
    void WaitUntilIdle(std::unique_lock<std::mutex>& lock);
    [[noreturn]] void ThrowFailure();

    const int threads_;
    const int64_t heldBytesLimit_;
    std::mutex mutex_;
    std::condition_variable taskDone_;
    std::deque<Task> queue_;
    int64_t heldBytes_ = 0;  // by the tasks queued or running
    int running_ = 0;
    int draining_ = 0;  // pool threads taking tasks from this queue
    int addersWaiting_ = 0;
    uint64_t nextNumber_ = 0;
    bool stopping_ = false;
    std::optional<uint64_t> failedNumber_;
    std::exception_ptr failure_;
};

}  // namespace Brimwork
