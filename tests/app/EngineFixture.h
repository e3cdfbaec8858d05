#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "FileUtil.h"
#include "JobPipeline.h"
#include "KXPrintHandler.h"
#include "MessageCreation.h"
#include "Prompter.h"
#include "RegistryStore.h"
#include "Spool.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vvp::test {

// One engine with test doubles in a temporary program folder, Save Mode 1 unless changed.
struct EngineFixture {
    TempDir dir;
    FixedClock clock{*EncodeDate(2026, 12, 8) + *EncodeTime(10, 31, 15, 250), 600};
    ActivityLog log{clock};
    HeadlessPrompter prompter;
    MemoryRegistryStore registry;
    NullPrintService printService;
    EngineEvents events;
    KXPrintHandler handler{EngineServices{clock, log, prompter, printService, registry, events,
                                          Folders{dir.Path() + "prog/", dir.Path() + "tmp/"}}};
    UnsignedMessageSigner signer;
    MessageCreation creation{handler, signer};

    EngineFixture() {
        (void)ForceDirectories(dir.Path() + "prog");
        (void)ForceDirectories(dir.Path() + "tmp");
        handler.Settings().Update([](VNPTRRegValues& v) { v.SaveMode = 1; });
        (void)ForceDirectories(SavePath());
    }

    std::string SavePath() const { return handler.Settings().Get().SavePath; }

    // Writes the bytes as a received job's spool file.
    std::string Spool(const std::string& bytes, const std::string& peer = "127.0.0.1") {
        auto spool = CreateSpoolFile(dir.Path() + "tmp/", peer, clock);
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
};

} // namespace vvp::test
