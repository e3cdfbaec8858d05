#include "Prompter.h"

#include "TextLines.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace vvp {
namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return !prefix.empty() && text.size() >= prefix.size() &&
           AsciiLower(text.substr(0, prefix.size())) == AsciiLower(prefix);
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c == '\n' ? std::string(" | ") : std::string(1, c);
    }
    return out;
}

bool Offers(Buttons buttons, Answer answer) {
    switch (buttons) {
    case Buttons::Ok:
        return answer == Answer::Ok;
    case Buttons::YesNo:
        return answer == Answer::Yes || answer == Answer::No;
    case Buttons::YesNoCancel:
        return answer == Answer::Yes || answer == Answer::No || answer == Answer::Cancel;
    case Buttons::AbortRetryIgnore:
        return answer == Answer::Abort || answer == Answer::Retry || answer == Answer::Ignore;
    }
    return false;
}

} // namespace

const char* AnswerName(Answer answer) {
    switch (answer) {
    case Answer::Ok:
        return "OK";
    case Answer::Yes:
        return "Yes";
    case Answer::No:
        return "No";
    case Answer::Cancel:
        return "Cancel";
    case Answer::Abort:
        return "Abort";
    case Answer::Retry:
        return "Retry";
    case Answer::Ignore:
        return "Ignore";
    }
    return "?";
}

std::optional<Answer> ParseAnswer(const std::string& text) {
    const std::string t = AsciiLower(text);
    for (Answer a :
         {Answer::Ok, Answer::Yes, Answer::No, Answer::Cancel, Answer::Abort, Answer::Retry, Answer::Ignore})
        if (t == AsciiLower(AnswerName(a))) return a;
    return std::nullopt;
}

HeadlessPrompter::HeadlessPrompter(std::ostream* log) : m_log(log) {}

void HeadlessPrompter::LoadAnswers(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        AddAnswer(line.substr(0, eq), line.substr(eq + 1));
    }
}

bool HeadlessPrompter::LoadAnswersFile(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read answers file " + path;
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    LoadAnswers(ss.str());
    return true;
}

void HeadlessPrompter::AddAnswer(const std::string& key, const std::string& answer) {
    std::lock_guard lock(m_mutex);
    for (auto& [k, list] : m_answers)
        if (k == key) {
            list.push_back(answer);
            return;
        }
    m_answers.push_back({key, {answer}});
}

void HeadlessPrompter::SetDefaultFolder(const std::string& folder) {
    std::lock_guard lock(m_mutex);
    m_defaultFolder = folder;
}

std::optional<std::string> HeadlessPrompter::TakeAnswer(const std::string& caption, const std::string& text) {
    // The longest matching key wins, so a specific line can override a general one.
    const std::pair<std::string, std::vector<std::string>>* best = nullptr;
    for (const auto& entry : m_answers)
        if ((StartsWithNoCase(caption, entry.first) || StartsWithNoCase(text, entry.first)) &&
            (!best || entry.first.size() > best->first.size()))
            best = &entry;
    if (!best) return std::nullopt;
    size_t& used = m_used[best->first];
    const auto& list = best->second;
    std::string answer = list[std::min(used, list.size() - 1)];
    ++used;
    return answer;
}

void HeadlessPrompter::Note(const Record& record) {
    // A service answers prompts for months: keep only the recent ones.
    if (m_transcript.size() >= kTranscriptLimit)
        m_transcript.erase(m_transcript.begin(), m_transcript.begin() + kTranscriptLimit / 2);
    m_transcript.push_back(record);
    if (m_log)
        *m_log << "PROMPT " << record.kind << " [" << OneLine(record.caption) << "] " << OneLine(record.text)
               << " -> " << OneLine(record.answer) << std::endl;
}

std::optional<HoldJob> HeadlessPrompter::HoldInsteadOfAnswering(const MessageRequest& request) {
    if (request.caption == "Addressing Problem")
        return HoldJob("server", "no VVP server answers for this message's domain");
    // The questions whose default would send unsigned what asked for signing.
    if (request.caption == "Digital Signing" &&
        (request.buttons == Buttons::YesNoCancel || request.buttons == Buttons::AbortRetryIgnore))
        return HoldJob("token", "signing was asked for and no signing token or store can be used");
    return std::nullopt;
}

Answer HeadlessPrompter::DefaultAnswer(const MessageRequest& request) {
    // Declining to overwrite or to change the port keeps what the user has; everywhere else the
    // answer that keeps the message going (save instead, send unsigned) is taken.
    if (request.caption == "Recreate Default Letterhead" || request.caption == "Change Printer Port")
        return Answer::No;
    switch (request.buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        return Answer::Yes;
    case Buttons::AbortRetryIgnore:
        return Answer::Ignore;
    }
    return Answer::Ok;
}

Answer HeadlessPrompter::Message(const MessageRequest& request) {
    std::lock_guard lock(m_mutex);
    Answer answer = DefaultAnswer(request);
    if (auto given = TakeAnswer(request.caption, request.text)) {
        auto parsed = ParseAnswer(*given);
        if (parsed && Offers(request.buttons, *parsed)) answer = *parsed;
    } else if (m_holdForChoices) {
        if (auto hold = HoldInsteadOfAnswering(request)) {
            Note({"message", request.caption, request.text, "held"});
            throw *hold;
        }
    }
    Note({"message", request.caption, request.text, AnswerName(answer)});
    return answer;
}

std::optional<std::string> HeadlessPrompter::Input(const std::string& caption, const std::string& prompt,
                                                   const std::string& defaultValue) {
    std::lock_guard lock(m_mutex);
    std::optional<std::string> answer = defaultValue;
    if (auto given = TakeAnswer(caption, prompt))
        answer = AsciiLower(*given) == "cancel" ? std::nullopt : given;
    Note({"input", caption, prompt, answer ? *answer : std::string("Cancel")});
    return answer;
}

std::string HeadlessPrompter::BrowseFolder(const std::string& title) {
    std::lock_guard lock(m_mutex);
    std::string answer = m_defaultFolder;
    if (auto given = TakeAnswer(title, title))
        answer = AsciiLower(*given) == "cancel" ? std::string() : *given;
    Note({"folder", title, "", answer.empty() ? std::string("Cancel") : answer});
    return answer;
}

std::optional<std::string> HeadlessPrompter::ChoosePrinter(const std::string& title) {
    std::lock_guard lock(m_mutex);
    std::optional<std::string> answer;
    if (auto given = TakeAnswer("Print", title))
        answer = AsciiLower(*given) == "cancel" ? std::nullopt : given;
    Note({"printer", "Print", title, answer ? *answer : std::string("Cancel")});
    return answer;
}

std::optional<std::string> HeadlessPrompter::Dialog(const std::string& caption, const std::string& text,
                                                    const std::optional<std::string>& defaultAnswer) {
    std::lock_guard lock(m_mutex);
    std::optional<std::string> answer = defaultAnswer;
    if (auto given = TakeAnswer(caption, text))
        answer = AsciiLower(*given) == "cancel" ? std::nullopt : given;
    Note({"dialog", caption, text, answer ? *answer : std::string("Cancel")});
    return answer;
}

std::vector<HeadlessPrompter::Record> HeadlessPrompter::Transcript() const {
    std::lock_guard lock(m_mutex);
    return m_transcript;
}

} // namespace vvp
