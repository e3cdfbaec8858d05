#pragma once

// One engine built from the same root as vvpd and vvp, with test doubles for the seams, in a
// temporary program folder ("prog/") and temporary folder ("tmp/").

#include "ActivityLog.h"
#include "Clock.h"
#include "FileUtil.h"
#include "KXPrintHandler.h"
#include "MessageCreation.h"
#include "MessageSigner.h"
#include "PrintService.h"
#include "Prompter.h"
#include "RegistryStore.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace vvp::test {

// A created message as the text the delivery receives: the routing line, the content and the
// signed block behind its marker; "User Cancelled", the error, or "" for the other outcomes.
inline std::string ResultText(const Creation& c) {
    switch (c.status) {
    case Creation::Status::Message:
        return c.message.recipient + ":" + c.message.format + "\r\n" + c.message.content +
               (c.message.signedBlock.empty()
                    ? std::string()
                    : "[[[------ SIGNED MESSAGE ------]]]\r\n" + c.message.signedBlock);
    case Creation::Status::Cancelled:
        return "User Cancelled";
    case Creation::Status::Failed:
        return c.detail;
    default:
        return {};
    }
}

struct TestEngineSetup {
    bool systemClock = false;                      // else fixed at 08/12/2026 10:31:15.250
    MessageSigner* signer = nullptr;               // null: messages are never signed
    PrintService* printService = nullptr;          // null: no printers
    std::function<void(VNPTRRegValues&)> settings; // applied after Save Mode 1
    bool tokenSigning = false;                     // the engine's own HeSA token signer instead of a double
    std::string programFolder;                     // empty: dir + "prog/"
};

struct TestEngine {
    TempDir dir;
    SystemClock systemClock;
    FixedClock fixedClock{*EncodeDate(2026, 12, 8) + *EncodeTime(10, 31, 15, 250), 600};
    Clock& clock;
    HeadlessPrompter prompter;
    MemoryRegistryStore registry;
    NullPrintService noPrinters;
    EngineEvents events;
    UnsignedMessageSigner signer; // the engine's signer unless the setup names one
    std::unique_ptr<KXPrintHandler> engine;
    EngineContext& handler;
    MessageCreation& creation;
    ActivityLog& log;

    explicit TestEngine(const std::function<void(TestEngineSetup&)>& configure = {})
        : TestEngine(Configured(configure)) {}
    explicit TestEngine(const TestEngineSetup& setup)
        : clock(setup.systemClock ? static_cast<Clock&>(systemClock) : fixedClock), engine(Build(setup)),
          handler(engine->Context()), creation(engine->Creation()), log(engine->Log()) {
        (void)ForceDirectories(dir.Path() + "prog");
        (void)ForceDirectories(dir.Path() + "tmp");
        handler.Settings().Update([&](VNPTRRegValues& v) {
            v.SaveMode = 1;
            if (setup.settings) setup.settings(v);
        });
        (void)ForceDirectories(SavePath());
    }

    std::string SavePath() const { return handler.Settings().Get().SavePath; }

    // Writes the bytes as a received job's spool file, named by the engine's own spool creator.
    std::string Spool(const std::string& bytes, const std::string& peer = "127.0.0.1") {
        auto spool = engine->Spools().Create(peer);
        EXPECT_TRUE(spool.ok());
        ::close(spool->fd);
        (void)WriteWholeFile(spool->path, bytes);
        return spool->path;
    }

    std::vector<std::string> SavedFiles() const {
        auto names = ListFolder(SavePath(), "*", false);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::vector<HeadlessPrompter::Record> Boxes() const { return prompter.Transcript(); }

    bool Logged(const std::string& text) const {
        for (const auto& l : log.Lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

private:
    static TestEngineSetup Configured(const std::function<void(TestEngineSetup&)>& configure) {
        TestEngineSetup setup;
        if (configure) configure(setup);
        return setup;
    }
    std::unique_ptr<KXPrintHandler> Build(const TestEngineSetup& setup) {
        EngineSeams seams{clock, prompter, setup.printService ? *setup.printService : noPrinters, registry,
                          events};
        seams.signer = setup.tokenSigning ? nullptr : setup.signer ? setup.signer : &signer;
        const std::string program = setup.programFolder.empty() ? dir.Path() + "prog/" : setup.programFolder;
        return std::make_unique<KXPrintHandler>(seams, EngineOptions{Folders{program, dir.Path() + "tmp/"}});
    }
};

} // namespace vvp::test
