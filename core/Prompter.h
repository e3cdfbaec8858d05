#pragma once

#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vvp {

enum class Buttons { Ok, YesNo, YesNoCancel, AbortRetryIgnore };
enum class Icon { None, Information, Warning, Error, Stop, Question };
enum class Answer { Ok, Yes, No, Cancel, Abort, Retry, Ignore };

const char* AnswerName(Answer answer);
std::optional<Answer> ParseAnswer(const std::string& text);

struct MessageRequest {
    std::string caption;
    std::string text;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
};

// Thrown into a job thread whose prompt can no longer be answered because the program is ending;
// the job stops and its spool file stays for the next start.
class PromptAbandoned : public std::exception {
public:
    const char* what() const noexcept override { return "the program ended while a question was open"; }
};

// Thrown into a job whose completion needs something someone must fix first (a server that
// answers, a token, laboratory details, a writable folder): the job is held and tried again
// later instead of being sent otherwise or thrown away.
class HoldJob : public std::exception {
public:
    HoldJob(std::string cause, std::string reason) : m_cause(std::move(cause)), m_reason(std::move(reason)) {}
    const char* what() const noexcept override { return m_reason.c_str(); }
    // "server", "token", "laboratory" or "destination"
    const std::string& Cause() const { return m_cause; }
    const std::string& Reason() const { return m_reason; }

private:
    std::string m_cause, m_reason;
};

// Everything that asks the user something. Job threads call it; implementations bring the
// question to the user one at a time.
class Prompter {
public:
    virtual ~Prompter() = default;

    virtual Answer Message(const MessageRequest& request) = 0;
    // nullopt when the input box was cancelled.
    virtual std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                             const std::string& defaultValue) = 0;
    // The chosen folder, or empty when the browser was cancelled.
    virtual std::string BrowseFolder(const std::string& title) = 0;
    // The print dialog: the chosen printer, or nullopt when cancelled.
    virtual std::optional<std::string> ChoosePrinter(const std::string& title) = 0;
    // A named dialog richer than a message box (the pathology details, for example) answered by
    // text; nullopt means Cancel. Front ends with real dialogs do not route through here.
    virtual std::optional<std::string> Dialog(const std::string& caption, const std::string& text,
                                              const std::optional<std::string>& defaultAnswer) = 0;

    void Show(const std::string& caption, const std::string& text, Icon icon = Icon::None) {
        Message({caption, text, Buttons::Ok, icon});
    }
};

// Answers prompts without a user: from "KEY=ANSWER" lines (a line answers a prompt whose caption
// or text begins with KEY; several lines for one KEY are used in turn, the last one repeating),
// else from documented defaults chosen so that nothing is lost and nothing waits. Every prompt
// and its answer are written to the log stream; the transcript is kept for tests.
class HeadlessPrompter final : public Prompter {
public:
    struct Record {
        std::string kind; // "message", "input", "folder", "printer", "dialog"
        std::string caption;
        std::string text;
        std::string answer;
    };

    explicit HeadlessPrompter(std::ostream* log = nullptr);

    // Lines "KEY=ANSWER"; blank lines and lines starting with "#" are ignored.
    void LoadAnswers(const std::string& text);
    bool LoadAnswersFile(const std::string& path, std::string* error);
    void AddAnswer(const std::string& key, const std::string& answer);
    // The folder a folder browser "chooses" when no answer names one.
    void SetDefaultFolder(const std::string& folder);
    // Where a person would have to choose (save a message elsewhere than its server, send
    // unsigned what asked for signing), an unanswered prompt holds the job (HoldJob) instead of
    // taking the answer that keeps it going.
    void SetHoldWhenAChoiceIsNeeded(bool hold) { m_holdForChoices = hold; }

    Answer Message(const MessageRequest& request) override;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& defaultValue) override;
    std::string BrowseFolder(const std::string& title) override;
    std::optional<std::string> ChoosePrinter(const std::string& title) override;
    std::optional<std::string> Dialog(const std::string& caption, const std::string& text,
                                      const std::optional<std::string>& defaultAnswer) override;

    std::vector<Record> Transcript() const; // the most recent prompts
    static constexpr size_t kTranscriptLimit = 1000;

    static Answer DefaultAnswer(const MessageRequest& request);
    // The hold an unanswered prompt means when choices are held for; nullopt for the others.
    static std::optional<HoldJob> HoldInsteadOfAnswering(const MessageRequest& request);

private:
    std::optional<std::string> TakeAnswer(const std::string& caption, const std::string& text);
    void Note(const Record& record);

    mutable std::mutex m_mutex;
    std::ostream* m_log;
    std::vector<std::pair<std::string, std::vector<std::string>>> m_answers; // key -> answers in order
    std::map<std::string, size_t> m_used;
    std::string m_defaultFolder;
    std::vector<Record> m_transcript;
    bool m_holdForChoices = false;
};

} // namespace vvp
