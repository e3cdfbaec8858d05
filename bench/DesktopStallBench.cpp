// The GUI thread's longest stall while the configured VVP server does not answer: vvp's main
// window on the real engine in Save Mode 0, its server a socket that takes connections and never
// says a word. Timer1 ticks (the domain refresh) and the domain list is clicked (a query now)
// every two seconds meanwhile. Run by bench/run-desktop-bench.sh:
//   desktop_stall_bench [SECONDS]
#include "DesktopEngineFactory.h"
#include "LinuxPlatform.h"
#include "QtBackgroundRunner.h"
#include "QtEngineEvents.h"
#include "QtPrompter.h"
#include "TKXPrinterHandlerForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket on the loopback address that listens and never accepts: connecting works, nothing is
// ever answered. Its port.
int SilentServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 64) != 0) return 0;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port); // left open until the program ends
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace

int main(int argc, char** argv) {
    using namespace vvp;
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    char folder[] = "/tmp/vvp-stall-XXXXXX";
    if (!::mkdtemp(folder)) return 1;
    const std::string base = std::string(folder) + "/";
    std::filesystem::create_directories(base + "prog");
    std::filesystem::create_directories(base + "tmp");
    const int server = SilentServer();
    char values[512];
    std::snprintf(
        values, sizeof values,
        "\"Port\"=dword:%08x\r\n\"Save Mode\"=dword:00000000\r\n\"VocanetServer\"=\"127.0.0.1:%d\"\r\n",
        FreePort(), server);
    std::ofstream(base + "registry.reg")
        << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Printer]\r\n"
        << values;

    DesktopOptions options;
    options.registryFile = base + "registry.reg";
    const Folders folders{base + "prog/", base + "tmp/"};
    LinuxPlatform platform({}, folders.temp);
    QtPrompter prompter;
    QtEngineEvents events;
    auto engine =
        MakeDesktopEngine({options, folders, prompter, events, platform, [&] { events.LogLineAdded(); }});
    QtBackgroundRunner runner;
    if (auto started = engine->Start(); !started) {
        std::fprintf(stderr, "%s\n", started.error().message.c_str());
        return 1;
    }
    TKXPrinterHandlerForm form(*engine, prompter, platform, runner, {}, [] {});
    events.SetHandler([&form] { form.EngineChanged(); });
    form.FormCreate();
    form.show();

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0, over50 = 0, probes = 0;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        over50 += now - last > 50;
        ++probes;
        last = now;
    });
    probe.start();
    QTimer clicks;
    clicks.setInterval(2000);
    QObject::connect(&clicks, &QTimer::timeout, [&form] { form.Model().DomainListClick(); });
    clicks.start();
    // exit, not quit: quit would first ask the window to close, and it hides to the tray instead.
    QTimer::singleShot(seconds * 1000, &app, [] { QCoreApplication::exit(0); });
    app.exec();

    std::printf("GUI thread, %d s with the server 127.0.0.1:%d not answering: longest stall %lld ms, "
                "%lld of %lld probes (10 ms) later than 50 ms\n",
                seconds, server, static_cast<long long>(longest), static_cast<long long>(over50),
                static_cast<long long>(probes));
    std::fflush(stdout);
    prompter.Abandon();
    runner.WaitForDone();
    events.SetHandler({});
    engine->Stop();
    std::filesystem::remove_all(folder);
    return 0;
}
