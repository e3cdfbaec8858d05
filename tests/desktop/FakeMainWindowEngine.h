#pragma once

#include "BackgroundRunner.h"
#include "MainWindowEngine.h"
#include "Platform.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

namespace vvp::test {

// An engine that keeps its state in memory and counts what the window asked of it.
class FakeMainWindowEngine : public MainWindowEngine {
public:
    FakeMainWindowEngine() {
        m_settings.SavePath = "/srv/vvp/VirtualPrinter/";
        m_settings.SaveMode = 1;
    }

    Result<void> Start() override {
        ++starts;
        if (!startError.empty()) return Error{startError};
        m_active = true;
        return Ok();
    }
    void Stop() override {
        ++stops;
        m_active = false;
    }
    void Tick() override {
        std::this_thread::sleep_for(networkDelay);
        ++ticks;
    }

    VNPTRRegValues Settings() const override {
        std::lock_guard lock(m_mutex);
        return m_settings;
    }
    Result<void> ChangeSettings(const std::function<void(VNPTRRegValues&)>& change) override {
        std::lock_guard lock(m_mutex);
        change(m_settings);
        ++saves;
        if (!saveError.empty()) return Error{saveError};
        return Ok();
    }
    void ReloadSettings() override {
        ++reloads;
        m_active = true;
    }
    void DisableListener() override { m_active = false; }
    bool ListenerActive() const override { return m_active; }
    std::string StatusText() const override {
        return m_active ? "Listening to " + Settings().PortName + " port" : std::string("Disabled");
    }

    std::vector<std::string> DomainList() const override {
        std::lock_guard lock(m_mutex);
        return m_domains;
    }
    void ClearDomainList() override {
        std::lock_guard lock(m_mutex);
        m_domains.clear();
    }
    void QueryServerInfo() override {
        std::this_thread::sleep_for(networkDelay);
        ++serverQueries;
        std::lock_guard lock(m_mutex);
        m_domains = {"practice@example.test"};
    }
    void RefreshDomainList() override { ++domainRefreshes; }
    void RefreshDomainText() override { ++domainTextRefreshes; }

    TokenDisplay TokenState() const override {
        std::lock_guard lock(m_mutex);
        return m_token;
    }
    void TokenLogon() override {
        ++logons;
        std::lock_guard lock(m_mutex);
        m_token.caption = "HeSA Token - 1234";
        m_token.label = "Dr Example";
    }
    void SetSigning(bool on) override {
        std::lock_guard lock(m_mutex);
        m_settings.HeSATokens = on;
        m_token.groupVisible = on && signingLibraryPresent;
    }
    MonitorDisplay MonitorState() const override { return {}; }

    std::vector<PrinterQueue> PrinterQueues() override {
        ++queueLookups;
        return queues;
    }

    Folders GetFolders() const override { return folders; }
    AddressFetchResult FetchAddressBook() override {
        ++addressFetches;
        return fetchAddressBook ? fetchAddressBook()
                                : AddressFetchResult{AddressFetchResult::Status::NoServer, 0, {}};
    }
    std::optional<NewPrinter> AskNewPrinter() override {
        ++printerQuestions;
        return newPrinter;
    }
    void CreatePrinter(const NewPrinter& printer) override {
        std::this_thread::sleep_for(networkDelay);
        std::lock_guard lock(m_mutex);
        created.push_back(printer.name + ":" + std::to_string(printer.port));
    }
    void VerifyPrinter() override {
        ++printerChecks;
        std::lock_guard lock(m_mutex);
        m_settings.PrinterListText = "Vocanet\r\nFront Desk\r\n";
    }
    void CheckPrinterAtLoad() override { ++printerChecksAtLoad; }
    std::string ChangePort(const std::string& typed) override {
        std::lock_guard lock(m_mutex);
        portsTyped.push_back(typed);
        if (typed == "bound-elsewhere") m_active = false;
        return std::to_string(m_settings.Port);
    }

    size_t HeldJobCount() const override { return heldJobs; }

    std::vector<std::string> LogLines() const override {
        std::lock_guard lock(m_mutex);
        return {m_log.begin(), m_log.end()};
    }
    void LogLine(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_log.push_front("09:00:00 " + text);
    }

    void SetSaveMode(uint8_t mode) {
        std::lock_guard lock(m_mutex);
        m_settings.SaveMode = mode;
    }

    std::chrono::milliseconds networkDelay{0}; // a server that does not answer
    std::string startError;
    std::string saveError;
    bool signingLibraryPresent = true;
    std::vector<PrinterQueue> queues;
    Folders folders; // program and temporary folder
    std::atomic<size_t> heldJobs{0};
    std::function<AddressFetchResult()> fetchAddressBook; // the server's answer; none: no server
    std::optional<NewPrinter> newPrinter;                 // the answers to "Create Vocanet Printer"
    std::vector<std::string> created;                     // "name:port"
    std::vector<std::string> portsTyped;
    std::atomic<int> starts{0}, stops{0}, ticks{0}, saves{0}, reloads{0}, serverQueries{0},
        domainRefreshes{0}, domainTextRefreshes{0}, logons{0}, addressFetches{0}, printerQuestions{0},
        printerChecks{0}, printerChecksAtLoad{0}, queueLookups{0};

private:
    mutable std::mutex m_mutex;
    VNPTRRegValues m_settings;
    std::atomic<bool> m_active{false};
    std::vector<std::string> m_domains;
    TokenDisplay m_token{true, "HeSA Token - Not logged on", "No tokens logged on", false};
    std::deque<std::string> m_log;
};

// Start at logon kept in memory; the write can be made to fail.
class FakePlatform : public Platform {
public:
    bool AcquireSingleInstance(const std::string&) override { return true; }
    bool IsAutoStartEnabled() override { return onDisk; }
    bool SetAutoStart(bool enabled, const std::string& programPath) override {
        if (failWrites) return false;
        onDisk = enabled;
        lastProgram = programPath;
        return true;
    }
    std::string LastError() const override { return failWrites ? "Cannot create the autostart entry" : ""; }
    bool OpenDocument(const std::string& path) override {
        opened.push_back(path);
        return true;
    }
    bool BringWindowToFront(const std::string&) override { return false; }
    bool PrinterAdministrationAvailable() override { return printerAdministration; }

    bool onDisk = false;
    bool failWrites = false;
    bool printerAdministration = true;
    std::string lastProgram;
    std::vector<std::string> opened;
};

// Holds background work until the test lets it run, so "still running" can be seen.
class HeldRunner : public BackgroundRunner {
public:
    void Run(std::function<void()> work, std::function<void()> done) override {
        m_held.emplace_back(std::move(work), std::move(done));
    }
    size_t Held() const { return m_held.size(); }
    void RunAll() {
        while (!m_held.empty()) {
            auto [work, done] = std::move(m_held.front());
            m_held.pop_front();
            work();
            done();
        }
    }

private:
    std::deque<std::pair<std::function<void()>, std::function<void()>>> m_held;
};

} // namespace vvp::test
