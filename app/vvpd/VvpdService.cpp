#include "VvpdService.h"

#include "JobListener.h"
#include "PrinterProvisioning.h"
#include "VvpdCommands.h"
#include "VvpdRuntime.h"

#include <asio.hpp>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <thread>
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

} // namespace

// ---- The command ----

int RunServiceCommand(const VvpdOptions& options, std::ostream& err) {
    std::signal(SIGPIPE, SIG_IGN); // a vanished reader of our output must not end the service
    // Caught from the start, so a stop asked for while starting up still ends cleanly.
    asio::io_context io;
    asio::signal_set signals(io, SIGINT, SIGTERM);
    // SIGHUP (vvpd reload, a closed terminal) reads the settings again; the listener keeps its
    // sockets unless the port or the addresses changed.
    asio::signal_set reloads(io, SIGHUP);
    int stopSignal = 0;
    signals.async_wait([&](const asio::error_code& ec, int signo) {
        if (ec) return;
        stopSignal = signo;
        io.stop();
    });

    LineAtomicBuffer outBuffer(STDOUT_FILENO);
    std::ostream out(&outBuffer);
    VvpdRuntime rt(options, out);
    std::string error;
    if (!rt.LoadAnswers(error)) {
        err << "vvpd: " << error << "\n";
        return 2;
    }
    KXPrintHandler& engine = rt.Engine();
    if (auto started = rt.Start(StartMode::Service); !started) {
        err << "vvpd: " << started.error().message << "\n";
        return 1;
    }
    // Headless, nobody could choose another port: not listening is the end.
    if (!engine.Listener()->Active()) {
        err << "vvpd: " << engine.Listener()->StatusText() << "\n";
        engine.Stop();
        return 1;
    }

    // The printer check of a settings load, beside the running service: it waits on the CUPS tools
    // and only logs (its messages are answered by the headless prompter).
    std::thread printerCheck;
    if (PrinterProvisioning* printers = engine.Printers(); printers && printers->Available())
        printerCheck = std::thread([printers, &engine] {
            try {
                printers->CheckPrinterAtLoad();
            } catch (const std::exception& e) {
                engine.LogLine(std::string("The printer check failed: ") + e.what());
            }
        });

    std::function<void()> awaitReload = [&] {
        reloads.async_wait([&](const asio::error_code& ec, int) {
            if (ec) return;
            engine.LogLine("Reading the settings again (SIGHUP).");
            (void)engine.LoadSettings();
            awaitReload();
        });
    };
    awaitReload();

    // What `vvpd status` shows, kept up to date once a second.
    const Folders folders = engine.GetFolders();
    std::string shownStatus, shownProblem;
    auto publishStatus = [&] {
        JobListener* listener = engine.Listener();
        const std::string where = listener->ListeningOn();
        const std::string status = listener->StatusText() + (where.empty() ? "" : " on " + where);
        const std::string problem = engine.LastProblem();
        if (status == shownStatus && problem == shownProblem) return;
        shownStatus = status;
        shownProblem = problem;
        WriteServiceStatus(folders, status, problem);
    };
    publishStatus();

    asio::steady_timer timer(io);
    std::function<void()> scheduleTick = [&] {
        timer.expires_after(std::chrono::seconds(1));
        timer.async_wait([&](const asio::error_code& ec) {
            if (ec) return;
            engine.Tick();
            publishStatus();
            scheduleTick();
        });
    };
    scheduleTick();
    io.run();

    engine.LogLine(std::string("Stopping (") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") + ").");
    engine.Stop();
    if (printerCheck.joinable()) printerCheck.join();
    WriteServiceStatus(folders, "Stopped", engine.LastProblem());
    engine.LogLine("Stopped.");
    return 0;
}

} // namespace vvp
