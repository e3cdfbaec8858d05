#pragma once

#include "BackgroundRunner.h"

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <string>

namespace vvp {

// Runs the window's waiting engine work on a small pool; the completions come back queued onto
// the GUI thread. Construct on the GUI thread.
class QtBackgroundRunner final : public BackgroundRunner {
public:
    // log receives what a task threw (a task that ended because its prompt was abandoned is no
    // failure).
    explicit QtBackgroundRunner(std::function<void(const std::string&)> log = {});
    ~QtBackgroundRunner() override;

    void Run(std::function<void()> work, std::function<void()> done) override;
    // Waits for every task; prompts must be abandoned first. Their completions run when the event
    // loop next runs.
    void WaitForDone();

private:
    std::function<void(const std::string&)> m_log;
    QThreadPool m_pool;
    QObject* m_context;
};

} // namespace vvp
