#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Brimwork {

// The threads that do the program's file work, shared by every operation:
// a thread, once started, waits for the next task rather than ending, so
// that an operation does not start and join threads of its own. A task
// that finds no thread waiting starts one, so that no task waits behind
// another (the reading thread of a rebuild runs for as long as the
// rebuild); how many tasks of one operation run at once is that
// operation's own limit (FileWork, InOrderReading).
class FilePool {
public:
    // The pool of this process. A child made by fork has none of its
    // parent's threads, so it is given a pool of its own.
    static FilePool& Shared();

    // Runs `task` on a thread of the pool. The task must not throw. When
    // no thread is waiting and the system will start no other, throws
    // std::system_error and the task is not run.
    void Start(std::function<void()> task);

    // How many threads the pool has started (for tests).
    int Threads();

private:
    FilePool() = default;
    void Serve();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    int waiting_ = 0;  // threads waiting for a task that none has taken yet
    std::vector<std::thread> threads_;
};

}  // namespace Brimwork
