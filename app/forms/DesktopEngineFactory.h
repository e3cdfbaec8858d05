#pragma once

#include "DesktopOptions.h"
#include "EngineEvents.h"
#include "Folders.h"
#include "MainWindowEngine.h"
#include "Platform.h"
#include "Prompter.h"

#include <functional>
#include <memory>

namespace vvp {
namespace pathology {
class PathologyDialogs;
}

// What the desktop app hands the engine it runs.
struct DesktopSeams {
    const DesktopOptions& options;
    Folders folders;
    Prompter& prompter;   // Qt dialogs; job threads may call it
    EngineEvents& events; // status, listener, domain list, token and monitor changes
    Platform& platform;
    std::function<void()> logChanged;                        // the activity log grew (any thread)
    pathology::PathologyDialogs* pathologyDialogs = nullptr; // null: answered as vvpd answers them
};

// The engine behind the main window; not started yet.
std::unique_ptr<MainWindowEngine> MakeDesktopEngine(const DesktopSeams& seams);

} // namespace vvp
