#pragma once

#include "FileUtil.h"
#include "JobListener.h"
#include "NetTestSupport.h"
#include "TestEngine.h"

#include <gtest/gtest.h>

#include <mutex>

namespace vvp::test {

// A listener in this process on an ephemeral port, with the jobs it hands on collected rather
// than handled.
struct ListenerFixture : TestEngine {
    std::mutex mutex;
    std::vector<std::string> jobs;
    std::unique_ptr<JobListener> listener;

    explicit ListenerFixture(const std::function<void(VNPTRRegValues&)>& change = {})
        : TestEngine([&](TestEngineSetup& setup) {
              setup.systemClock = true;
              setup.settings = [&](VNPTRRegValues& v) {
                  v.Port = 0;
                  if (change) change(v);
              };
          }) {}
    ~ListenerFixture() {
        if (listener) listener->Shutdown(std::chrono::milliseconds(0));
    }

    // Starts listening; the port it got.
    int Start() {
        listener = std::make_unique<JobListener>(handler, engine->Spools(), [this](const std::string& spool) {
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
};

} // namespace vvp::test
