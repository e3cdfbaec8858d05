#include "EngineContext.h"

#include "FileUtil.h"

namespace vvp {

EngineContext::EngineContext(EngineServices services) : m_services(std::move(services)) {
    m_settings.Set(DefaultRegValues(m_services.folders));
    m_infoLines = DefaultInfoLines(m_services.folders);
}

void EngineContext::PrepareStartup(bool writeInfoFileWhenMissing) {
    if (auto lines = ReadInfoFile(m_services.folders)) {
        m_infoLines = *lines;
    } else {
        m_infoLines = DefaultInfoLines(m_services.folders);
        // Only the information file is written here: saving the whole settings before they are
        // loaded would overwrite the stored ones with defaults.
        if (writeInfoFileWhenMissing)
            (void)WriteFileAtomically(m_services.folders.program + "VNptr.inf", JoinLines(m_infoLines));
    }
    SeedAddressBookFiles(m_services.folders);
}

LoadOutcome EngineContext::LoadSettings() {
    LoadOutcome outcome = LoadRegValues(m_services.registry, m_services.folders);
    for (const auto& problem : outcome.problems)
        LogLine(problem);
    m_settings.Set(outcome.values);
    return outcome;
}

Result<void> EngineContext::SaveSettings() {
    std::lock_guard lock(m_saveMutex);
    return SaveRegValues(m_services.registry, m_settings.Get(), m_infoLines, m_services.folders);
}

} // namespace vvp
