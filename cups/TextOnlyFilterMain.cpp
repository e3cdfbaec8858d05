// vvp-textonly: the CUPS filter of the Vocanet queue. It turns PDF (and so PostScript, through
// CUPS's own PostScript-to-PDF filter) and plain text into what the Windows "Generic / Text Only"
// driver sends: the text on a character grid, Windows-1252, CR LF, form feeds between pages.
//
//   vvp-textonly JOB USER TITLE COPIES OPTIONS [FILE]   (CONTENT_TYPE: the document's type)
//
// One copy is always sent: every copy would become another electronic message.
#include "TextOnlyConversion.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace vvp::textonly;

namespace {

constexpr unsigned kWallSeconds = 120;
constexpr rlim_t kCpuSeconds = 90;
constexpr rlim_t kMemoryBytes = rlim_t{1} << 30;

void OnAlarm(int) {
    static const char text[] = "ERROR: vvp-textonly: the document took too long to convert\n";
    (void)!::write(2, text, sizeof text - 1);
    ::_exit(1);
}

// Never hang or exhaust the print server, whatever the document holds.
void LimitResources() {
    std::signal(SIGALRM, OnAlarm);
    ::alarm(kWallSeconds);
    rlimit cpu{kCpuSeconds, kCpuSeconds + 5};
    ::setrlimit(RLIMIT_CPU, &cpu);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizers reserve far more address space than this; their builds are only tests.
    rlimit memory{kMemoryBytes, kMemoryBytes};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
}

bool ReadAll(int fd, size_t limit, std::string& out) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > limit) return true; // the conversion refuses it with a clear message
    }
}

bool WriteAll(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(1, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
        return 1;
    }
    LimitResources();
    ConversionLimits limits;
    std::string input;
    const int fd = argc == 7 ? ::open(argv[6], O_RDONLY | O_CLOEXEC) : 0;
    if (fd < 0 || !ReadAll(fd, limits.maxInputBytes, input)) {
        std::fprintf(stderr, "ERROR: vvp-textonly: cannot read the document: %s\n", std::strerror(errno));
        return 1;
    }
    if (fd > 0) ::close(fd);
    const char* type = std::getenv("CONTENT_TYPE");
    const auto kind = DetectDocumentKind(type ? type : "", input);
    if (!kind) {
        std::fprintf(stderr, "ERROR: vvp-textonly: the document (%s) is neither plain text nor PDF\n",
                     type ? type : "(none)");
        return 1;
    }
    auto text = ConvertToTextOnly(input, *kind, limits);
    if (!text) {
        std::fprintf(stderr, "ERROR: vvp-textonly: %s\n", text.error().message.c_str());
        return 1;
    }
    if (!WriteAll(*text)) {
        std::fprintf(stderr, "ERROR: vvp-textonly: cannot send the text: %s\n", std::strerror(errno));
        return 1;
    }
    std::fprintf(stderr, "INFO: vvp-textonly: %zu bytes of text\n", text->size());
    return 0;
}
