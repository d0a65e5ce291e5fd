#include "io/file_pool.h"

#include <unistd.h>

namespace Brimwork {

FilePool& FilePool::Shared()
{
    // Never destroyed: its threads wait for work until the process ends,
    // and a pool left by the parent of a forked child stays reachable.
    static std::mutex mutex;
    static FilePool* pool = nullptr;
    static pid_t owner = 0;
    static std::vector<FilePool*> parents;
    const std::lock_guard lock(mutex);
    if (pool == nullptr || owner != ::getpid()) {
        if (pool != nullptr)
            parents.push_back(pool);
        pool = new FilePool;
        owner = ::getpid();
    }
    return *pool;
}

void FilePool::Start(std::function<void()> task)
{
    std::unique_lock lock(mutex_);
    tasks_.push_back(std::move(task));
    if (waiting_ > 0) {
        --waiting_;
        lock.unlock();
        wake_.notify_one();
        return;
    }
    try {
        threads_.emplace_back([this] { Serve(); });
    } catch (...) {
        tasks_.pop_back();  // the caller still holds the task's work
        throw;
    }
}

int FilePool::Threads()
{
    const std::lock_guard lock(mutex_);
    return static_cast<int>(threads_.size());
}

void FilePool::Serve()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return !tasks_.empty(); });
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        task = nullptr;  // frees what it held before the thread waits again
        lock.lock();
        ++waiting_;
    }
}

}  // namespace Brimwork
