// A headless engine that saves what it makes (Save Mode 1, no paper copies) into a scratch
// folder of its own, for the benchmarks that time jobs through the real pipeline.
#pragma once

#include "FileUtil.h"
#include "KXPrintHandler.h"
#include "MessageSigner.h"
#include "PrintService.h"
#include "Prompter.h"
#include "RegistryStore.h"

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vvp::bench {

// A fresh folder under the system temporary folder with prog/VirtualPrinter/ and tmp/, removed
// with its content on destruction.
struct BenchFolder {
    std::string path; // with trailing '/'
    BenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vvp-bench-XXXXXX").string();
        path = std::string(mkdtemp(pattern.data())) + "/";
        (void)ForceDirectories(path + "prog/VirtualPrinter");
        (void)ForceDirectories(path + "tmp");
    }
    ~BenchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
};

struct BenchEngine {
    BenchFolder folder;
    SystemClock clock;
    HeadlessPrompter prompter;
    MemoryRegistryStore registry;
    NullPrintService printing;
    EngineEvents events;
    UnsignedMessageSigner signer;
    KXPrintHandler engine{Seams(), EngineOptions{Folders{folder.path + "prog/", folder.path + "tmp/"}}};

    BenchEngine() {
        engine.Settings().Update([](VNPTRRegValues& v) {
            v.SaveMode = 1;
            v.ReportPrinter.clear();
        });
    }
    std::string SavePath() const { return folder.path + "prog/VirtualPrinter/"; }

private:
    EngineSeams Seams() {
        EngineSeams seams{clock, prompter, printing, registry, events};
        seams.signer = &signer;
        return seams;
    }
};

} // namespace vvp::bench
