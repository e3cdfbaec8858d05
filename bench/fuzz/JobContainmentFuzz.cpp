// Whole print jobs through the real pipeline into a scratch tree: whatever a sender prints, no
// file may appear outside the Save Path, the temporary folder and the folder a header
// definition hands printouts to. The first byte picks the Save Mode and the MsgRecipient setting.
#include "FileUtil.h"
#include "KXPrintHandler.h"
#include "MessageSigner.h"
#include "PrintService.h"
#include "Prompter.h"
#include "RegistryStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace vvp;
namespace fs = std::filesystem;

struct Scratch {
    // holds root alone, deep enough that a name leading out of root by several ".." lands here
    std::string container;
    std::string root;
    FixedClock clock{*EncodeDate(2026, 12, 8) + *EncodeTime(10, 31, 15, 250), 600};
    HeadlessPrompter prompter;
    MemoryRegistryStore registry;
    NullPrintService printing;
    EngineEvents events;
    UnsignedMessageSigner signer;
    std::unique_ptr<KXPrintHandler> engine;

    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "vvp-containment-XXXXXX").string();
        container = std::string(mkdtemp(pattern.data())) + "/";
        root = container + "a/b/c/d/e/f/r/";
        for (const char* sub : {"prog", "tmp", "save", "handed", "heads"})
            (void)ForceDirectories(root + sub);
        (void)WriteWholeFile(root + "prog/handon.kxh",
                             "FORMATCHECK=HANDON\r\nSRCDIR=" + root + "handed/\r\nFILETYPE=txt\r\n");
        (void)WriteWholeFile(root + "prog/ElectronicLabDetails.inf",
                             "[ACME PATHOLOGY]\r\nLabName=ACME PATHOLOGY\r\nEAddress=orders@acme.example\r\n"
                             "[PRACTICE]\r\nPracticeName=Harbour\r\n");
        EngineSeams seams{clock, prompter, printing, registry, events};
        seams.signer = &signer;
        engine =
            std::make_unique<KXPrintHandler>(seams, EngineOptions{Folders{root + "prog/", root + "tmp/"}});
        (void)engine->Start(StartMode::Jobs);
    }

    ~Scratch() {
        engine.reset();
        std::error_code ec;
        fs::remove_all(container, ec);
    }

    // Any file outside the places a job may write to.
    void CheckContained() const {
        for (const auto& e : fs::recursive_directory_iterator(container)) {
            const std::string path = e.path().string();
            if (e.is_directory()) continue;
            if (path.rfind(root, 0) != 0) {
                std::fprintf(stderr, "a job wrote %s\n", path.c_str());
                std::abort();
            }
            const std::string rel = path.substr(root.size());
            if (rel.rfind("save/", 0) == 0 || rel.rfind("tmp/", 0) == 0 || rel.rfind("handed/", 0) == 0)
                continue;
            if (rel == "prog/handon.kxh" || rel == "prog/ElectronicLabDetails.inf" ||
                rel == "prog/VNptr.inf" || rel == "prog/group.counter.txt")
                continue;
            std::fprintf(stderr, "a job wrote %s\n", path.c_str());
            std::abort();
        }
    }

    void Clear() const {
        for (const char* sub : {"save", "tmp", "handed"}) {
            std::error_code ec;
            fs::remove_all(root + sub, ec);
            (void)ForceDirectories(root + sub);
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    if (size < 1 || size > 65536) return 0;
    const uint8_t selector = data[0];
    scratch.engine->Settings().Update([&](VNPTRRegValues& v) {
        v.SaveMode = static_cast<uint8_t>(selector % 3 == 0 ? 2 : 1);
        v.MsgRecipient = (selector & 4) != 0;
        v.SavePath = scratch.root + "save/";
        v.LetterheadPath = scratch.root + "heads/";
    });
    (void)scratch.engine->SubmitJob("127.0.0.1",
                                    std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    scratch.CheckContained();
    scratch.Clear();
    return 0;
}
