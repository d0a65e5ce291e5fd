#include "io/file_work.h"

#include <system_error>

#include "io/file_pool.h"

namespace Brimwork {

FileWork::FileWork(int threads, int64_t heldBytesLimit) : threads_(threads), heldBytesLimit_(heldBytesLimit) {}

FileWork::~FileWork()
{
    std::unique_lock lock(mutex_);
    stopping_ = true;
    queue_.clear();
    taskDone_.wait(lock, [&] { return draining_ == 0; });
}

void FileWork::Add(std::function<void()> task, int64_t bytes)
{
    if (threads_ <= 0) {
        task();
        return;
    }
    std::unique_lock lock(mutex_);
    if (!failedNumber_ && heldBytes_ != 0 && heldBytes_ + bytes > heldBytesLimit_) {
        // Once full, wait until the threads have done half of what is
        // queued rather than waking at every task they finish.
        ++addersWaiting_;
        taskDone_.wait(lock, [&] {
            return failedNumber_ || heldBytes_ == 0 ||
                   (heldBytes_ <= heldBytesLimit_ / 2 && heldBytes_ + bytes <= heldBytesLimit_);
        });
        --addersWaiting_;
    }
    if (failedNumber_) {
        WaitUntilIdle(lock);
        ThrowFailure();
    }
    queue_.push_back({nextNumber_++, std::move(task), bytes});
    heldBytes_ += bytes;
    if (draining_ < threads_) {
        ++draining_;
        try {
            FilePool::Shared().Start([this] { Drain(); });
        } catch (const std::system_error&) {
            // No thread to be had: the caller does the queued work itself.
            lock.unlock();
            Drain();
        }
    }
}

void FileWork::Finish()
{
    std::unique_lock lock(mutex_);
    WaitUntilIdle(lock);
    if (failedNumber_)
        ThrowFailure();
}

void FileWork::Run(const std::function<void()>& produce)
{
    try {
        produce();
    } catch (...) {
        const std::exception_ptr own = std::current_exception();
        std::unique_lock lock(mutex_);
        WaitUntilIdle(lock);
        if (failedNumber_)
            ThrowFailure();
        std::rethrow_exception(own);
    }
    Finish();
}

void FileWork::Drain()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (stopping_ || queue_.empty()) {
            // Told under the lock, after which this object is not touched:
            // the destructor may then end it.
            --draining_;
            taskDone_.notify_all();
            return;
        }
        Task task = std::move(queue_.front());
        queue_.pop_front();
        ++running_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            task.work();
        } catch (...) {
            failure = std::current_exception();
        }
        task.work = nullptr;  // frees what the task held before it is counted as free
        lock.lock();
        --running_;
        heldBytes_ -= task.bytes;
        if (failure && (!failedNumber_ || task.number < *failedNumber_)) {
            failedNumber_ = task.number;
            failure_ = failure;
        }
        if (failedNumber_) {
            // Every task still queued was added after the failed one.
            for (const Task& dropped : queue_)
                heldBytes_ -= dropped.bytes;
            queue_.clear();
        }
        if (failure || (queue_.empty() && running_ == 0) || (addersWaiting_ > 0 && heldBytes_ <= heldBytesLimit_ / 2))
            taskDone_.notify_all();
    }
}

void FileWork::WaitUntilIdle(std::unique_lock<std::mutex>& lock)
{
    taskDone_.wait(lock, [&] { return queue_.empty() && running_ == 0; });
}

void FileWork::ThrowFailure() { std::rethrow_exception(failure_); }

}  // namespace Brimwork
