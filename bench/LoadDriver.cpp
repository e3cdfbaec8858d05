// Load driver for the print job listener: sends health-message print jobs over TCP the way a
// print spooler does (connect, send, close the sending side, wait for the server's close) and
// measures what arrives as message files.
//
//   load_driver throughput --port P --jobs N [--senders 32] [--save-path DIR] [--verify]
//       N jobs from 32 concurrent senders; the end-to-end rate counts until N "*.pit" files are
//       in DIR (without --save-path: until every sender saw the server close, for the baseline).
//       --verify reads every file and reports jobs lost and stored twice.
//   load_driver idle --port P --idle 10000 --jobs 2000 --save-path DIR --pid PID [--senders 4]
//                    [--rate JOBS_PER_SECOND]
//       holds 10000 idle connections open, then sends jobs and reports the latency from connect
//       to the message file, with the server's resident memory and thread count.
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#ifndef VVP_TEST_DATA_DIR
#define VVP_TEST_DATA_DIR "tests/data"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Options {
    std::string mode;
    int port = 9105;
    size_t jobs = 10000;
    size_t senders = 32;
    size_t idle = 0;
    std::string savePath;
    bool verify = false;
    int pid = 0;
    size_t jobBytes = 1536;
    size_t rate = 0; // jobs per second in idle mode; 0: as fast as the senders go
    std::string jobFile = std::string(VVP_TEST_DATA_DIR) + "/messages/referral_pit.prn";
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The sample letter with a unique marker in its text, padded with message text to the size.
class JobMaker {
public:
    explicit JobMaker(const Options& o) : m_template(ReadFile(o.jobFile)), m_size(o.jobBytes) {
        m_at = m_template.find("Dear Anne,");
        if (m_at == std::string::npos) {
            std::fprintf(stderr, "load_driver: %s has no \"Dear Anne,\"\n", o.jobFile.c_str());
            std::exit(2);
        }
    }
    static std::string Marker(size_t n) { return "JOB-" + std::to_string(n) + "-END"; }
    std::string Make(size_t n) const {
        std::string job = m_template.substr(0, m_at) + Marker(n) + m_template.substr(m_at + 10);
        const std::string filler = "\r\nThe patient reports no further symptoms at this stage of the review.";
        while (job.size() + filler.size() <= m_size)
            job.insert(job.size() - 2, filler);
        return job;
    }

private:
    std::string m_template;
    size_t m_size;
    size_t m_at;
};

int Connect(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One job as a spooler sends it; true when the server closed cleanly.
bool SendJob(int port, const std::string& bytes) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        int fd = Connect(port);
        if (fd < 0) {
            std::this_thread::sleep_for(10ms); // backlog full: the spooler retries
            continue;
        }
        size_t done = 0;
        bool ok = true;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            done += static_cast<size_t>(n);
        }
        if (ok) {
            ::shutdown(fd, SHUT_WR);
            char buf[256];
            ssize_t n;
            while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
            }
            ok = n == 0;
        }
        ::close(fd);
        return ok;
    }
    return false;
}

// Counts message files as they appear in the folder and notes when each one did.
class FolderWatch {
public:
    explicit FolderWatch(const std::string& folder) : m_folder(folder) {
        m_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        inotify_add_watch(m_fd, folder.c_str(), IN_CREATE | IN_MOVED_TO);
        m_thread = std::thread([this] { Run(); });
    }
    ~FolderWatch() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    size_t Count() const { return m_count; }
    bool Overflowed() const { return m_overflow; }
    // Names and arrival times seen so far.
    std::vector<std::pair<std::string, Clock::time_point>> Seen() {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    void Run() {
        alignas(inotify_event) char buf[1 << 16];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            ssize_t n = ::read(m_fd, buf, sizeof buf);
            const auto now = Clock::now();
            for (ssize_t i = 0; i < n;) {
                auto* e = reinterpret_cast<inotify_event*>(buf + i);
                if (e->mask & IN_Q_OVERFLOW) m_overflow = true;
                if (e->len > 0) {
                    std::string name = e->name;
                    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".pit") == 0) {
                        ++m_count;
                        std::lock_guard lock(m_mutex);
                        m_seen.emplace_back(std::move(name), now);
                    }
                }
                i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }

    std::string m_folder;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_count{0};
    std::atomic<bool> m_overflow{false};
    std::mutex m_mutex;
    std::vector<std::pair<std::string, Clock::time_point>> m_seen;
    std::thread m_thread;
};

std::vector<std::string> ListPit(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".pit") == 0) names.push_back(n);
        }
        ::closedir(d);
    }
    return names;
}

std::string MarkerIn(const std::string& text) {
    const auto at = text.find("JOB-");
    if (at == std::string::npos) return {};
    const auto end = text.find("-END", at);
    return end == std::string::npos ? std::string() : text.substr(at, end + 4 - at);
}

void ServerStats(int pid, long& rssKb, long& threads) {
    rssKb = threads = -1;
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) rssKb = std::atol(line.c_str() + 6);
        if (line.rfind("Threads:", 0) == 0) threads = std::atol(line.c_str() + 8);
    }
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

int Throughput(const Options& o) {
    const JobMaker maker(o);
    std::unique_ptr<FolderWatch> watch;
    if (!o.savePath.empty()) watch = std::make_unique<FolderWatch>(o.savePath);
    const size_t before = o.savePath.empty() ? 0 : ListPit(o.savePath).size();
    std::atomic<size_t> next{0}, clean{0}, failed{0};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (size_t t = 0; t < o.senders; ++t)
        threads.emplace_back([&] {
            for (size_t n; (n = next++) < o.jobs;)
                (SendJob(o.port, maker.Make(n)) ? clean : failed)++;
        });
    for (auto& t : threads)
        t.join();
    const auto sent = Clock::now();
    std::printf(
        "sent %zu jobs with %zu senders in %.3f s: %.0f jobs/s received (%zu clean closes, %zu failed)\n",
        o.jobs, o.senders, Seconds(sent - start), static_cast<double>(o.jobs) / Seconds(sent - start),
        clean.load(), failed.load());
    if (o.savePath.empty()) return failed == 0 ? 0 : 1;

    // End to end: until every job is a message file (or nothing new arrives for 30 s).
    size_t last = 0;
    auto lastChange = Clock::now();
    while (watch->Count() < o.jobs && Clock::now() - lastChange < 30s) {
        if (watch->Count() != last) {
            last = watch->Count();
            lastChange = Clock::now();
        }
        std::this_thread::sleep_for(2ms);
    }
    const auto seen = watch->Seen();
    const auto done = seen.empty() ? Clock::now() : seen.back().second;
    std::printf("end to end: %zu message files in %.3f s: %.0f jobs/s%s\n", watch->Count(),
                Seconds(done - start), static_cast<double>(watch->Count()) / Seconds(done - start),
                watch->Overflowed() ? " (event queue overflowed; count from the folder below)" : "");
    if (!o.verify) return 0;

    const auto names = ListPit(o.savePath);
    std::unordered_map<std::string, int> found;
    for (const auto& n : names)
        ++found[MarkerIn(ReadFile(o.savePath + "/" + n))];
    size_t lost = 0, twice = 0;
    for (size_t n = 0; n < o.jobs; ++n) {
        auto it = found.find(JobMaker::Marker(n));
        if (it == found.end())
            ++lost;
        else if (it->second > 1)
            twice += static_cast<size_t>(it->second - 1);
    }
    std::printf("verify: %zu files (%zu before), %zu jobs lost, %zu stored twice\n", names.size(), before,
                lost, twice);
    return lost == 0 && twice == 0 ? 0 : 1;
}

int Idle(const Options& o) {
    rlimit l{};
    getrlimit(RLIMIT_NOFILE, &l);
    l.rlim_cur = l.rlim_max;
    setrlimit(RLIMIT_NOFILE, &l);
    long rss0, threads0;
    ServerStats(o.pid, rss0, threads0);
    std::vector<int> idle;
    idle.reserve(o.idle);
    for (size_t i = 0; i < o.idle; ++i) {
        int fd = Connect(o.port);
        if (fd < 0) {
            std::this_thread::sleep_for(5ms);
            if ((fd = Connect(o.port)) < 0) break;
        }
        idle.push_back(fd);
    }
    std::this_thread::sleep_for(1s); // let the server take them all in
    long rss1, threads1;
    ServerStats(o.pid, rss1, threads1);
    std::printf("idle connections open: %zu; server before: %ld kB resident, %ld threads; with them: %ld kB, "
                "%ld threads\n",
                idle.size(), rss0, threads0, rss1, threads1);

    const JobMaker maker(o);
    FolderWatch watch(o.savePath);
    std::mutex mutex;
    std::map<std::string, Clock::time_point> started; // marker -> connect time
    std::vector<double> receive;                      // connect to clean close, ms
    std::atomic<size_t> next{0};
    long rssMax = rss1, threadsMax = threads1;
    std::atomic<bool> sampling{true};
    std::thread sampler([&] {
        while (sampling) {
            long r, t;
            ServerStats(o.pid, r, t);
            rssMax = std::max(rssMax, r);
            threadsMax = std::max(threadsMax, t);
            std::this_thread::sleep_for(50ms);
        }
    });
    const auto start = Clock::now();
    std::vector<std::thread> senders;
    for (size_t t = 0; t < o.senders; ++t)
        senders.emplace_back([&] {
            for (size_t n; (n = next++) < o.jobs;) {
                // Paced: job n is due at its place in a steady stream.
                if (o.rate > 0)
                    std::this_thread::sleep_until(start + std::chrono::microseconds(n * 1000000 / o.rate));
                const auto t0 = Clock::now();
                {
                    std::lock_guard lock(mutex);
                    started[JobMaker::Marker(n)] = t0;
                }
                const bool ok = SendJob(o.port, maker.Make(n));
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                std::lock_guard lock(mutex);
                if (ok) receive.push_back(ms);
            }
        });
    for (auto& s : senders)
        s.join();
    while (watch.Count() < o.jobs && Clock::now() - start < 120s)
        std::this_thread::sleep_for(5ms);
    sampling = false;
    sampler.join();

    std::vector<double> endToEnd;
    for (const auto& [name, at] : watch.Seen()) {
        const std::string marker = MarkerIn(ReadFile(o.savePath + "/" + name));
        auto it = started.find(marker);
        if (it != started.end())
            endToEnd.push_back(std::chrono::duration<double, std::milli>(at - it->second).count());
    }
    std::printf("jobs while idle connections were held: %zu sent, %zu clean closes, %zu message files\n",
                o.jobs, receive.size(), endToEnd.size());
    std::printf("connect to clean close: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(receive, 0.5),
                Percentile(receive, 0.99), Percentile(receive, 1.0));
    std::printf("connect to message file: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(endToEnd, 0.5),
                Percentile(endToEnd, 0.99), Percentile(endToEnd, 1.0));
    std::printf("server peak: %ld kB resident (%.1f MB), %ld threads\n", rssMax,
                static_cast<double>(rssMax) / 1024.0, threadsMax);
    for (int fd : idle)
        ::close(fd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc < 2) {
        std::fprintf(stderr, "usage: load_driver throughput|idle [options]; see the source's head\n");
        return 2;
    }
    o.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--port")
            o.port = std::atoi(next().c_str());
        else if (a == "--jobs")
            o.jobs = std::strtoul(next().c_str(), nullptr, 10);
        else if (a == "--senders")
            o.senders = std::strtoul(next().c_str(), nullptr, 10);
        else if (a == "--idle")
            o.idle = std::strtoul(next().c_str(), nullptr, 10);
        else if (a == "--save-path")
            o.savePath = next();
        else if (a == "--pid")
            o.pid = std::atoi(next().c_str());
        else if (a == "--job-bytes")
            o.jobBytes = std::strtoul(next().c_str(), nullptr, 10);
        else if (a == "--job-file")
            o.jobFile = next();
        else if (a == "--rate")
            o.rate = std::strtoul(next().c_str(), nullptr, 10);
        else if (a == "--verify")
            o.verify = true;
        else {
            std::fprintf(stderr, "load_driver: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (o.mode == "throughput") return Throughput(o);
    if (o.mode == "idle") return Idle(o);
    std::fprintf(stderr, "load_driver: unknown mode %s\n", o.mode.c_str());
    return 2;
}
