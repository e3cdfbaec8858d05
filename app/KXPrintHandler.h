#pragma once

#include "ActivityLog.h"
#include "Clock.h"
#include "EngineEvents.h"
#include "Folders.h"
#include "PrintService.h"
#include "Prompter.h"
#include "RegistryStore.h"
#include "Settings.h"

#include <functional>
#include <mutex>
#include <string>

namespace vvp {

// The seams one running system is made of; the front end owns them.
struct EngineServices {
    Clock& clock;
    ActivityLog& log;
    Prompter& prompter;
    PrintService& printService;
    RegistryStore& registry;
    EngineEvents& events;
    Folders folders;
};

// The engine side of the main window: owns the settings and everything that lives as long as
// the program.
class KXPrintHandler {
public:
    explicit KXPrintHandler(EngineServices services);

    // Start-up: the information file and the address book copies.
    void PrepareStartup(bool writeInfoFileWhenMissing);

    // Load steps 1 to 3, then the hooks (printer check, listener start) when set.
    LoadOutcome LoadSettings();
    Result<void> SaveSettings();

    SettingsHolder& Settings() { return m_settings; }
    const SettingsHolder& Settings() const { return m_settings; }
    const EngineServices& Services() const { return m_services; }
    void LogLine(const std::string& text) { m_services.log.LogLine(text); }

    // Seams for what loading the settings also does.
    std::function<void(const VNPTRRegValues&)> onCheckPrinter; // when no printer "Vocanet" exists
    std::function<void(const VNPTRRegValues&)> onStartListener;

    const StringList& InfoLines() const { return m_infoLines; }

private:
    EngineServices m_services;
    SettingsHolder m_settings;
    StringList m_infoLines;
    std::mutex m_saveMutex;
};

} // namespace vvp
