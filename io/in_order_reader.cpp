#include "io/in_order_reader.h"

#include <stdexcept>
#include <system_error>

#include "io/file_pool.h"

namespace Brimwork {

InOrderReading::InOrderReading(size_t count, bool ahead, int64_t budgetBytes, std::function<int64_t(size_t)> read)
    : read_(std::move(read)), budgetBytes_(budgetBytes), reads_(count), ahead_(ahead)
{
    if (!ahead_)
        return;
    try {
        FilePool::Shared().Start([this] { ReadAll(); });
    } catch (const std::system_error&) {
        ahead_ = false;  // no thread to be had: each file is read in its turn
    }
}

InOrderReading::~InOrderReading()
{
    std::unique_lock lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
    if (ahead_)
        changed_.wait(lock, [&] { return readerDone_; });
}

void InOrderReading::ReadAll()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || toRead_ == reads_.size() || readyBytes_ <= budgetBytes_; });
        if (stopping_ || toRead_ == reads_.size()) {
            // Told under the lock, after which this object is not touched:
            // the destructor may then end it.
            readerDone_ = true;
            changed_.notify_all();
            return;
        }
        const size_t index = toRead_++;
        lock.unlock();
        Read read;
        try {
            read.bytes = read_(index);
        } catch (...) {
            read.failure = std::current_exception();
        }
        read.done = true;
        lock.lock();
        if (read.failure)
            toRead_ = reads_.size();
        readyBytes_ += read.bytes;
        reads_[index] = std::move(read);
        changed_.notify_all();
    }
}

size_t InOrderReading::Take()
{
    // After a failure no later file is read: each later turn fails as well,
    // rather than waiting for a file that never comes.
    if (failure_)
        std::rethrow_exception(failure_);
    if (toTake_ >= reads_.size())
        throw std::logic_error("InOrderReader::Next past the last file");
    const size_t index = toTake_++;
    if (!ahead_) {
        try {
            read_(index);
        } catch (...) {
            failure_ = std::current_exception();
            throw;
        }
        return index;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return reads_[index].done; });
    const Read read = std::move(reads_[index]);
    readyBytes_ -= read.bytes;
    lock.unlock();
    changed_.notify_all();
    if (read.failure) {
        failure_ = read.failure;
        std::rethrow_exception(failure_);
    }
    return index;
}

}  // namespace Brimwork
