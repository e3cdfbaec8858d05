#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "FileUtil.h"
#include "JobListener.h"
#include "KXPrintHandler.h"
#include "NetTestSupport.h"
#include "PrintService.h"
#include "Prompter.h"
#include "RegistryStore.h"

#include <gtest/gtest.h>

#include <mutex>

namespace vvp::test {

// A listener in this process on an ephemeral port, with the jobs it hands on collected.
struct ListenerFixture {
    TempDir dir;
    SystemClock clock;
    ActivityLog log{clock};
    HeadlessPrompter prompter;
    MemoryRegistryStore registry;
    NullPrintService printService;
    EngineEvents events;
    KXPrintHandler handler{EngineServices{clock, log, prompter, printService, registry, events,
                                          Folders{dir.Path() + "prog/", dir.Path() + "tmp/"}}};
    std::mutex mutex;
    std::vector<std::string> jobs;
    std::unique_ptr<JobListener> listener;

    explicit ListenerFixture(const std::function<void(VNPTRRegValues&)>& change = {}) {
        (void)ForceDirectories(dir.Path() + "prog");
        (void)ForceDirectories(dir.Path() + "tmp");
        handler.Settings().Update([&](VNPTRRegValues& v) {
            v.Port = 0;
            v.SaveMode = 1;
            if (change) change(v);
        });
    }
    ~ListenerFixture() {
        if (listener) listener->Shutdown(std::chrono::milliseconds(0));
    }

    // Starts listening; the port it got.
    int Start() {
        listener = std::make_unique<JobListener>(handler, [this](const std::string& spool) {
            std::lock_guard lock(mutex);
            jobs.push_back(spool);
        });
        listener->SetAddressReply([] { return std::string("line one\r\nline two\r\n.\r\n"); });
        EXPECT_TRUE(listener->Activate(handler.Settings().Get()));
        return listener->BoundPort();
    }

    std::vector<std::string> Jobs() {
        std::lock_guard lock(mutex);
        return jobs;
    }
    bool Logged(const std::string& text) const {
        for (const auto& l : log.Lines())
            if (l.find(text) != std::string::npos) return true;
        return false;
    }
};

} // namespace vvp::test
