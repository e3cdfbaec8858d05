#pragma once

#include "JobPipeline.h"
#include "MessageSigner.h"
#include "txttopitdefhb262.h"

#include <functional>
#include <string>
#include <string_view>

namespace vvp {

class EngineContext;

// Letters on the letterhead: the RTF message content and paper copies.
class LetterService {
public:
    virtual ~LetterService() = default;
    // Merges the record into the named letterhead; with rtfOut the letter's RTF bytes are
    // returned there, without it a paper copy is printed. false when no letter could be made.
    virtual bool MakeLetter(const letter::TPitFile& record, std::string* rtfOut,
                            const std::string& letterHead) = 0;
};

// Parsing of the printed health-message header into the letter form of the message record.
// Exposed for tests; message creation uses it.
struct PrintedNameParts {
    std::string family, given, provider, title;
};
PrintedNameParts ParsePrintedName(const std::string& value, bool sender);
std::string HeaderValue(std::string_view jobText, std::string_view label, std::string_view endMarker = "\r");
void ReadPrintedHeader(std::string_view jobText, letter::TPitFile& record,
                       const std::string& defaultReportPrinter, bool hesaTokens, const Clock& clock);
StringList ReadMessageBody(std::string_view jobText);
// The critical-field list; empty when nothing is missing. An e-mail address that cannot name a
// message file counts as missing.
std::string CriticalFieldList(const letter::TPitFile& record);
std::string SigningNote(const std::string& details);

// Limits on one letter or one page of a job; a larger one is refused rather than let a job cost
// many times its size in memory.
inline constexpr size_t kMaxPageBytes = 8u << 20;
inline constexpr size_t kMaxPageLines = 200000;

// Recognises what a job is and turns printed health messages into messages.
class MessageCreation final : public JobClassifier {
public:
    // The pathology request path: the message text ("address:ORM" CR LF segments), "", "User
    // Cancelled" or "ERROR: " + reason.
    using PathologyRequestCreator =
        std::function<std::string(const std::string& page, const std::string& reportPrinter)>;

    MessageCreation(EngineContext& handler, MessageSigner& signer, LetterService* letters = nullptr);

    void SetPathologyRequestCreator(PathologyRequestCreator creator) { m_pathology = std::move(creator); }

    // One pass: the letter or page at the job's offset. A job is split at the form feed before
    // each further header and before and after each pathology request page.
    Classification ClassifyJob(JobText& job) override;
    // The message of one printed health message, or why there is none.
    Creation CreateResult(std::string_view jobText);

private:
    void CheckLetterPrinter(const std::string& printer);
    Creation FromPathologyText(const std::string& text);

    EngineContext& m_handler;
    MessageSigner& m_signer;
    LetterService* m_letters;
    PathologyRequestCreator m_pathology;
};

} // namespace vvp
