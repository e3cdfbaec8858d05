#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "EngineEvents.h"
#include "Folders.h"
#include "PrintService.h"
#include "Prompter.h"
#include "RegistryStore.h"
#include "Settings.h"

#include <mutex>
#include <string>

namespace vvp {

// The seams and folders every engine part reaches through the context.
struct EngineServices {
    Clock& clock;
    ActivityLog& log;
    Prompter& prompter;
    PrintService& printService;
    RegistryStore& registry;
    EngineEvents& events;
    Folders folders;
};

// What the engine's parts share: the settings record, the seams and the information file. The
// engine root (KXPrintHandler) owns it; the parts hold a reference.
class EngineContext {
public:
    explicit EngineContext(EngineServices services);

    // Start-up: the information file and the address book copies.
    void PrepareStartup(bool writeInfoFileWhenMissing);

    // Load steps 1 to 3 (defaults, stored values, Save Path folder); problems are logged.
    LoadOutcome LoadSettings();
    Result<void> SaveSettings();

    SettingsHolder& Settings() { return m_settings; }
    const SettingsHolder& Settings() const { return m_settings; }
    const EngineServices& Services() const { return m_services; }
    void LogLine(const std::string& text) { m_services.log.LogLine(text); }

    const StringList& InfoLines() const { return m_infoLines; }

private:
    EngineServices m_services;
    SettingsHolder m_settings;
    StringList m_infoLines;
    std::mutex m_saveMutex;
};

} // namespace vvp
