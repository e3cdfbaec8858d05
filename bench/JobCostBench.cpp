// What one job costs in time and memory as it grows, for the shapes that used to cost most: many
// short pages, a letter made mostly of line ends, one long letter. Each job runs in a child
// process of its own, so its peak resident memory is its own.
//
//   build/bin/job_cost_bench            # table: shape, size, seconds, s/MB, peak MB, peak / size
#include "BenchEngine.h"
#include "FileUtil.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace vvp;

namespace {

std::string Letter() {
    auto job = ReadWholeFile(std::string(VVP_TEST_DATA_DIR) + "/messages/referral_pit.prn");
    return job ? *job : std::string();
}

// Pages the pathology path refuses with a message (the job goes on to the next page).
std::string ManyPages(size_t size) {
    std::string page = "Dear Sir, this is not a request\r\n";
    while (page.size() < 639)
        page += "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\r\n";
    page.resize(639);
    page += '\f';
    std::string job;
    job.reserve(size + page.size());
    while (job.size() < size)
        job += page;
    return job;
}

std::string LineEnds(size_t size) {
    const std::string letter = Letter();
    std::string job = letter;
    job.reserve(size + 2);
    while (job.size() < size)
        job += "\r\n";
    return job;
}

std::string LongLetter(size_t size) {
    std::string job = Letter();
    const std::string line =
        "The patient was seen again today and is doing well after the change of dose.\r\n";
    while (job.size() < size)
        job += line;
    return job;
}

struct Measured {
    double seconds = 0;
    double peakMb = 0;
};

// Runs the job in a child; its time and its peak resident set.
Measured Run(const std::string& job) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFd[0]);
        std::optional<bench::BenchEngine> bench(std::in_place);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        (void)bench->engine.SubmitJob("127.0.0.1", job);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        bench.reset();
        const Measured m{seconds, static_cast<double>(after.ru_maxrss) / 1024.0};
        (void)!write(pipeFd[1], &m, sizeof m);
        _exit(0);
    }
    close(pipeFd[1]);
    Measured m;
    (void)!read(pipeFd[0], &m, sizeof m);
    close(pipeFd[0]);
    waitpid(child, nullptr, 0);
    return m;
}

} // namespace

int main() {
    struct Shape {
        const char* name;
        std::function<std::string(size_t)> make;
    };
    const std::vector<Shape> shapes = {
        {"640-byte pages", ManyPages}, {"line ends", LineEnds}, {"long letter", LongLetter}};
    const Measured baseline = Run(Letter()); // the process itself, with one small job
    std::printf("%-16s %9s %9s %9s %10s %12s\n", "shape", "size MB", "seconds", "s per MB", "peak MB",
                "(peak-base)/size");
    for (const auto& shape : shapes) {
        for (size_t size : {size_t(100) << 10, size_t(1) << 20, size_t(10) << 20, size_t(64) << 20}) {
            const std::string job = shape.make(size);
            const Measured m = Run(job);
            const double mb = static_cast<double>(job.size()) / (1 << 20);
            std::printf("%-16s %9.2f %9.3f %9.3f %10.1f %12.2f\n", shape.name, mb, m.seconds, m.seconds / mb,
                        m.peakMb, (m.peakMb - baseline.peakMb) / mb);
        }
    }
    std::printf("baseline: one letter in %.3f s, peak %.1f MB\n", baseline.seconds, baseline.peakMb);
    return 0;
}
