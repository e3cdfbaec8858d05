#pragma once

#include "JobListener.h"
#include "JobPool.h"

#include <chrono>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace vvp {

struct VvpdOptions;
class VvpdRuntime;

// Raises the soft open-file limit to the hard one; the resulting soft limit.
uint64_t RaiseOpenFileLimit();

// Spool files a crash or kill left in the temporary folder: "*.prn" files of this user whose
// names are ours (peer address, "_", message id).
std::vector<std::string> LeftoverSpoolFiles(const std::string& tempFolder);

// Temporary message files in the Save Path that the interrupted handling of the job with this
// id left; removed before the job is handled again.
std::vector<std::string> InterruptedTempFiles(const std::string& savePath, const std::string& jobId);

// Holds the temporary folder for one service, so a second one cannot take its spool files for
// leftovers. Released on destruction.
class SpoolFolderLock {
public:
    SpoolFolderLock() = default;
    ~SpoolFolderLock();
    SpoolFolderLock(const SpoolFolderLock&) = delete;
    SpoolFolderLock& operator=(const SpoolFolderLock&) = delete;
    bool Acquire(const std::string& tempFolder, std::string& error);

private:
    int m_fd = -1;
};

// The running service: the listener (IdTCPServer1), the job threads, the recovery of leftover
// jobs and the once-a-second tick.
class VvpdService {
public:
    struct Options {
        size_t jobThreads = 4;
        size_t ioThreads = 2;
        std::chrono::milliseconds stopGrace{10000};
    };

    VvpdService(VvpdRuntime& runtime, Options options);
    ~VvpdService();

    JobListener& IdTCPServer1() { return *m_listener; }
    // Queues a received job for a job thread.
    void Submit(const std::string& spoolPath, bool recovered = false);
    // Logs each leftover spool file and queues it once.
    void Recover(const std::vector<std::string>& spoolFiles);
    void Tick();
    // Stops accepting, ends the connections in progress, lets every queued job finish.
    void Stop();

private:
    void Handle(const std::string& spoolPath, bool recovered);

    VvpdRuntime& m_runtime;
    const Options m_options;
    std::unique_ptr<JobPool> m_pool;
    std::unique_ptr<JobListener> m_listener;
    bool m_stopped = false;
};

// `vvpd [options]` / `vvpd run`: the service in the foreground until SIGINT or SIGTERM.
int RunServiceCommand(const VvpdOptions& options, std::ostream& err);

} // namespace vvp
