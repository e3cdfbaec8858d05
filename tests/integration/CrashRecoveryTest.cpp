// A kill -9 while jobs arrive loses no job whose sender saw a clean close.
#include "NetTestSupport.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <mutex>
#include <set>
#include <thread>

using namespace vvp;
using namespace vvp::test;

TEST(CrashRecovery, EveryCleanlyClosedJobIsDeliveredAfterAKillAndARestart) {
    VvpdProcess v;
    v.Set("Save Mode", "1");
    ASSERT_TRUE(v.Start()) << v.Output();

    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<std::string> confirmed; // markers of jobs whose sender saw a clean close
    size_t attempted = 0;
    std::vector<std::thread> senders;
    for (int t = 0; t < 8; ++t)
        senders.emplace_back([&, t] {
            for (int i = 0; !stop; ++i) {
                const std::string marker = "JOB-" + std::to_string(t) + "-" + std::to_string(i) + "-END";
                Exchange e = SendJob(v.port, HealthMessageJob(marker), 10s);
                std::lock_guard lock(mutex);
                ++attempted;
                if (e.cleanClose) confirmed.push_back(marker);
                if (!e.connected) std::this_thread::sleep_for(5ms);
            }
        });
    // Let jobs pile up in every stage, then kill the service in the middle of them.
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return confirmed.size() >= 300;
        },
        60s));
    EXPECT_EQ(v.Stop(SIGKILL), -1);
    std::this_thread::sleep_for(200ms);
    stop = true;
    for (auto& s : senders)
        s.join();

    ASSERT_TRUE(v.Start()) << v.Output();
    // Done when every spool file is handled, or kept because its message was already stored
    // before the kill.
    EXPECT_TRUE(WaitUntil([&] { return v.Spools().size() == v.CountLogged("Job kept in"); }, 120s))
        << v.Output();
    EXPECT_EQ(v.Stop(SIGTERM), 0) << v.Output();

    std::set<std::string> delivered;
    size_t messages = 0;
    for (const auto& name : v.Saved("*.pit")) {
        const std::string text = v.dir.Read("prog/VirtualPrinter/" + name);
        const auto at = text.find("JOB-");
        ASSERT_NE(at, std::string::npos) << name;
        delivered.insert(text.substr(at, text.find("-END", at) + 4 - at));
        ++messages;
    }
    size_t lost = 0;
    for (const auto& m : confirmed)
        if (!delivered.count(m)) ++lost;
    EXPECT_EQ(lost, 0u) << "of " << confirmed.size() << " confirmed jobs";
    EXPECT_EQ(messages, delivered.size()) << "a job was stored twice";
    EXPECT_TRUE(v.Saved("*.___").empty());
    std::cout << "attempted " << attempted << ", confirmed " << confirmed.size() << ", delivered "
              << delivered.size() << ", recovered " << v.CountLogged("Recovered job ") << "\n";
}
