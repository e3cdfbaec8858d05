#pragma once

#include "Prompter.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <any>
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

    // The same gate for the job dialogs of other forms (the pathology dialogs): show runs on the
    // GUI thread, at once when called there, else posted to it while the job thread waits, one
    // job's question at a time. Throws PromptAbandoned when the program ends first.
    template <typename T> T Ask(std::function<T()> show) {
        return std::any_cast<T>(AskAny([show = std::move(show)] { return std::any(show()); }));
    }
    // GUI thread: runs the dialog modally as a prompt (on top, activated, ended by Abandon);
    // throws PromptAbandoned when it ended without an answer. A job's dialog blocks no window.
    void Run(QDialog& dialog, bool forJob);
    // True on any thread but the GUI thread.
    bool ForJob() const;

private:
    struct Pending;
    std::any AskAny(std::function<std::any()> show);
    void CloseOpenDialogs();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_abandoned = false;
    bool m_gateBusy = false; // a job's question is out
    std::vector<std::shared_ptr<Pending>> m_pending;
    QList<QPointer<QDialog>> m_open; // GUI thread only
};

} // namespace vvp
