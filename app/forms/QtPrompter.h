#pragma once

#include "Prompter.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QDialog;

namespace vvp {

// Prompts as Qt dialogs. Called on the GUI thread, a dialog shows at once; called from a job
// thread, the question is posted to the GUI thread (a queued call, never a blocking connection)
// and the job thread waits for the answer, one job's question at a time. Job dialogs are
// top-level, on top and activated, and block no other window.
//
// Abandon() ends every open and waiting prompt when the program ends: the job threads get
// PromptAbandoned (their jobs stop and keep their spool files), and so does every later call.
class QtPrompter final : public QObject, public Prompter {
    Q_OBJECT
public:
    // Construct on the GUI thread.
    explicit QtPrompter(QObject* parent = nullptr);
    ~QtPrompter() override;

    Answer Message(const MessageRequest& request) override;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& defaultValue) override;
    std::string BrowseFolder(const std::string& title) override;
    std::optional<std::string> ChoosePrinter(const std::string& title) override;
    std::optional<std::string> Dialog(const std::string& caption, const std::string& text,
                                      const std::optional<std::string>& defaultAnswer) override;

    // Any thread. The open dialogs are closed on the GUI thread.
    void Abandon();
    bool Abandoned() const;

private:
    struct Pending;
    template <typename T> T Ask(std::function<T()> show);
    // Runs the dialog modally; throws PromptAbandoned when it ended without an answer.
    void Run(QDialog& dialog, bool forJob);
    void CloseOpenDialogs();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_abandoned = false;
    bool m_gateBusy = false; // a job's question is out
    std::vector<std::shared_ptr<Pending>> m_pending;
    QList<QPointer<QDialog>> m_open; // GUI thread only
};

} // namespace vvp
