// The job pipeline, printed job text to saved PIT file, against writing and renaming the same
// bytes without any conversion.
#include "ActivityLog.h"
#include "BenchEngine.h"
#include "Clock.h"
#include "FileUtil.h"
#include "JobPipeline.h"
#include "KXPrintHandler.h"
#include "MessageCreation.h"
#include "Spool.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

using namespace vvp;

namespace {

std::string JobBytes() {
    auto data = ReadWholeFile(std::string(VVP_TEST_DATA_DIR) + "/messages/referral_pit.prn");
    return data ? *data : std::string();
}

void BM_PipelineToPitFile(benchmark::State& state) {
    bench::BenchEngine bench;
    KXPrintHandler& engine = bench.engine;
    const std::string job = JobBytes();
    const std::string out = bench.SavePath();
    for (auto _ : state) {
        auto spool = engine.Spools().Create("127.0.0.1");
        (void)!write(spool->fd, job.data(), job.size());
        close(spool->fd);
        const std::string message =
            out + "anne.specialist@clinic.example.com.au_" + SpoolJobId(spool->path) + "1.pit";
        JobOutcome outcome = engine.HandleReceivedJob(spool->path);
        if (outcome.messages != 1 || unlink(message.c_str()) != 0) state.SkipWithError("job not delivered");
    }
    state.SetItemsProcessed(state.iterations());
}

// The same bytes written and renamed without conversion: the spool file written, read back and
// removed, the message written under a temporary name and renamed, as the pipeline does.
void BM_WriteAndRenameOnly(benchmark::State& state) {
    bench::BenchFolder folder;
    SystemClock clock;
    const std::string job = JobBytes();
    const std::string out = folder.path + "prog/VirtualPrinter/";
    SpoolCreator spools(folder.path + "tmp/", clock);
    long n = 0;
    for (auto _ : state) {
        auto spool = spools.Create("127.0.0.1");
        (void)!write(spool->fd, job.data(), job.size());
        close(spool->fd);
        auto bytes = ReadWholeFile(spool->path);
        const std::string temp = out + "msg" + std::to_string(n) + ".___";
        const std::string final = out + "msg" + std::to_string(n++) + ".pit";
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        (void)!write(fd, bytes->data(), bytes->size());
        close(fd);
        (void)MoveFileNoReplace(temp, final);
        unlink(spool->path.c_str());
        unlink(final.c_str());
    }
    state.SetItemsProcessed(state.iterations());
}

// Only the message file: written under a temporary name and renamed.
void BM_MessageWriteAndRenameOnly(benchmark::State& state) {
    bench::BenchFolder folder;
    const std::string job = JobBytes();
    const std::string out = folder.path + "prog/VirtualPrinter/";
    long n = 0;
    for (auto _ : state) {
        const std::string temp = out + "msg" + std::to_string(n) + ".___";
        const std::string final = out + "msg" + std::to_string(n++) + ".pit";
        int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        (void)!write(fd, job.data(), job.size());
        close(fd);
        (void)MoveFileNoReplace(temp, final);
        unlink(final.c_str());
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_PipelineToPitFile)->UseRealTime();
BENCHMARK(BM_WriteAndRenameOnly)->UseRealTime();
BENCHMARK(BM_MessageWriteAndRenameOnly)->UseRealTime();
