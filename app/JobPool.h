#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vvp {

// A fixed set of job threads. Received jobs are queued here once their connection has closed,
// because handling one may wait on the user for minutes; the queue holds only spool paths, the
// bytes themselves are already on disk.
class JobPool {
public:
    explicit JobPool(size_t threads);
    ~JobPool();
    JobPool(const JobPool&) = delete;
    JobPool& operator=(const JobPool&) = delete;

    // False once the pool is draining; the task then does not run.
    bool Submit(std::function<void()> task);
    // Runs every queued task to its end, then stops the threads. Later submissions are refused.
    void Drain();
    size_t Pending() const;
    size_t Threads() const { return m_threads.size(); }

private:
    void Run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_draining = false;
    size_t m_running = 0;
    std::vector<std::thread> m_threads;
};

} // namespace vvp
