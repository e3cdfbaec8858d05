#include "ServiceMain.h"

#include "AddressBook.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "RelayFrames.h"
#include "Spool.h"
#include "VvpdCommands.h"
#include "VvpdRuntime.h"

#include <asio.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace vvp {
namespace {

// Lines written from several threads reach the output whole: each thread collects its own line
// and hands it over at the line end in one write.
class LineAtomicBuffer final : public std::streambuf {
public:
    explicit LineAtomicBuffer(int fd) : m_fd(fd) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        std::string& pending = Pending();
        pending += traits_type::to_char_type(c);
        if (c == '\n') Emit(pending);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::string& pending = Pending();
        pending.append(s, static_cast<size_t>(n));
        if (std::memchr(s, '\n', static_cast<size_t>(n))) Emit(pending);
        return n;
    }
    int sync() override {
        Emit(Pending());
        return 0;
    }

private:
    std::string& Pending() {
        thread_local std::unordered_map<const LineAtomicBuffer*, std::string> pending;
        return pending[this];
    }
    void Emit(std::string& pending) {
        const size_t end = pending.rfind('\n');
        if (end == std::string::npos) return;
        std::lock_guard lock(m_mutex);
        const char* p = pending.data();
        size_t left = end + 1;
        while (left > 0) {
            ssize_t n = ::write(m_fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break; // output gone: the lines are dropped, the service goes on
            p += n;
            left -= static_cast<size_t>(n);
        }
        pending.erase(0, end + 1);
    }

    const int m_fd;
    std::mutex m_mutex;
};

bool IsSpoolName(const std::string& name) {
    if (name.size() < 5 || LowerCase(name.substr(name.size() - 4)) != ".prn") return false;
    const std::string stem = name.substr(0, name.size() - 4);
    const auto underscore = stem.find('_');
    if (underscore == std::string::npos) return false;
    asio::error_code ec;
    (void)asio::ip::make_address(stem.substr(0, underscore), ec);
    if (ec) return false;
    const std::string id = stem.substr(underscore + 1);
    return !id.empty() && id.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

uint64_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return static_cast<uint64_t>(limit.rlim_cur);
}

std::vector<std::string> LeftoverSpoolFiles(const std::string& tempFolder) {
    std::vector<std::string> files;
    for (const auto& name : ListFolder(tempFolder, "*.prn", false)) {
        if (!IsSpoolName(name)) continue;
        struct stat st {};
        const std::string path = tempFolder + name;
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) continue;
        files.push_back(path);
    }
    std::sort(files.begin(), files.end()); // oldest id first within a peer
    return files;
}

std::vector<std::string> InterruptedTempFiles(const std::string& savePath, const std::string& jobId) {
    std::vector<std::string> files;
    if (jobId.empty()) return files;
    // Message names are recipient "_" job id page number, then ".___" or ext ".sign.___".
    for (const auto& name : ListFolder(savePath, "*_" + jobId + "*.___", false)) {
        const std::string afterId = StrAfter(name.substr(name.rfind("_" + jobId)), jobId);
        if (!afterId.empty() && std::isdigit(static_cast<unsigned char>(afterId[0])))
            files.push_back(savePath + name);
    }
    return files;
}

SpoolFolderLock::~SpoolFolderLock() {
    if (m_fd >= 0) ::close(m_fd);
}

bool SpoolFolderLock::Acquire(const std::string& tempFolder, std::string& error) {
    const std::string path = tempFolder + "vvpd-spool.lock";
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "another vvpd is running with the temporary folder " + tempFolder
                                     : "cannot lock " + path + ": " + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

// ---- VvpdService ----

VvpdService::VvpdService(VvpdRuntime& runtime, Options options) : m_runtime(runtime), m_options(options) {
    m_pool = std::make_unique<JobPool>(options.jobThreads);
    ListenerOptions lo;
    lo.ioThreads = options.ioThreads;
    m_listener = std::make_unique<JobListener>(
        runtime.Handler(), [this](const std::string& spoolPath) { Submit(spoolPath); }, lo);
    const Folders folders = runtime.GetFolders();
    m_listener->SetAddressReply([folders] { return AddressBookReply(folders); });
    runtime.Handler().onStartListener = [this](const VNPTRRegValues& values) {
        m_listener->Activate(values);
    };
}

VvpdService::~VvpdService() {
    Stop();
    m_runtime.Handler().onStartListener = nullptr;
}

void VvpdService::Submit(const std::string& spoolPath, bool recovered) {
    if (!m_pool->Submit([this, spoolPath, recovered] { Handle(spoolPath, recovered); }))
        m_runtime.Handler().LogLine("Job kept in " + spoolPath + " for the next start.");
}

void VvpdService::Handle(const std::string& spoolPath, bool recovered) {
    try {
        m_runtime.HandleReceivedJob(spoolPath, recovered);
    } catch (const std::exception& e) {
        m_runtime.Handler().LogLine("Job " + spoolPath + " failed: " + e.what() +
                                    "; the spool file is kept.");
    }
}

void VvpdService::Recover(const std::vector<std::string>& spoolFiles) {
    const std::string savePath = m_runtime.Handler().Settings().Get().SavePath;
    for (const auto& spool : spoolFiles) {
        // Temporary files of an interrupted delivery would block the new one.
        for (const auto& temp : InterruptedTempFiles(savePath, SpoolJobId(spool)))
            DeleteFileIfExists(temp);
        if (const std::string frameTemp = RelayFrameTempFile(savePath, spool); !frameTemp.empty())
            DeleteFileIfExists(frameTemp);
        m_runtime.Handler().LogLine("Recovered job " + spool);
        Submit(spool, true);
    }
}

void VvpdService::Tick() {
    m_runtime.Tick();
}

void VvpdService::Stop() {
    if (m_stopped) return;
    m_stopped = true;
    m_listener->Shutdown(m_options.stopGrace);
    m_pool->Drain();
}

// ---- The command ----

int RunServiceCommand(const VvpdOptions& options, std::ostream& err) {
    std::signal(SIGPIPE, SIG_IGN); // a vanished reader of our output must not end the service
    // Caught from the start, so a stop asked for while starting up still ends cleanly.
    asio::io_context io;
    asio::signal_set signals(io, SIGINT, SIGTERM);
    int stopSignal = 0;
    signals.async_wait([&](const asio::error_code& ec, int signo) {
        if (ec) return;
        stopSignal = signo;
        io.stop();
    });
    const uint64_t fileLimit = RaiseOpenFileLimit();

    LineAtomicBuffer outBuffer(STDOUT_FILENO);
    std::ostream out(&outBuffer);
    VvpdRuntime rt(options, out);
    std::string error;
    if (!rt.LoadAnswers(error)) {
        err << "vvpd: " << error << "\n";
        return 2;
    }
    KXPrintHandler& handler = rt.Handler();
    handler.PrepareStartup(true);
    const std::string temp = rt.GetFolders().temp;
    if (!DirectoryExists(temp)) (void)ForceDirectories(temp);
    SpoolFolderLock lock;
    if (!lock.Acquire(temp, error)) {
        err << "vvpd: " << error << "\n";
        return 1;
    }
    // Taken before the listener starts, so no job of this run is mistaken for a leftover.
    const std::vector<std::string> leftovers = LeftoverSpoolFiles(temp);

    VvpdService service(rt, {});
    LoadOutcome loaded = handler.LoadSettings();
    rt.GetPrompter().SetDefaultFolder(loaded.values.SavePath);
    if (!service.IdTCPServer1().Active()) {
        err << "vvpd: " << service.IdTCPServer1().StatusText() << "\n";
        return 1;
    }
    handler.LogLine("Service started; open-file limit " + std::to_string(fileLimit) + ".");
    service.Recover(leftovers);

    asio::steady_timer timer(io);
    std::function<void()> scheduleTick = [&] {
        timer.expires_after(std::chrono::seconds(1));
        timer.async_wait([&](const asio::error_code& ec) {
            if (ec) return;
            service.Tick();
            scheduleTick();
        });
    };
    scheduleTick();
    io.run();

    handler.LogLine(std::string("Stopping (") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") + ").");
    service.Stop();
    handler.LogLine("Stopped.");
    return 0;
}

} // namespace vvp
