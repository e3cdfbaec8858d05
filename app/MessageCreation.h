#pragma once

#include "JobPipeline.h"
#include "MessageSigner.h"
#include "txttopitdefhb262.h"

#include <functional>
#include <string>

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
std::string HeaderValue(const std::string& jobText, const std::string& label,
                        const std::string& endMarker = "\r");
void ReadPrintedHeader(const std::string& jobText, letter::TPitFile& record,
                       const std::string& defaultReportPrinter, bool hesaTokens, const Clock& clock);
StringList ReadMessageBody(const std::string& jobText);
// The critical-field list; empty when nothing is missing.
std::string CriticalFieldList(const letter::TPitFile& record);
std::string SigningNote(const std::string& details);

// Recognises what a job is and turns printed health messages into message text.
class MessageCreation final : public JobClassifier {
public:
    using PathologyRequestCreator =
        std::function<std::string(const std::string& page, const std::string& reportPrinter)>;

    MessageCreation(EngineContext& handler, MessageSigner& signer, LetterService* letters = nullptr);

    void SetPathologyRequestCreator(PathologyRequestCreator creator) { m_pathology = std::move(creator); }

    Classification ClassifyJob(const std::string& jobText) override;
    // The routing line, the content and the optional signed block; empty when there is nothing to
    // send; "User Cancelled" when the user gave the job up.
    std::string CreateResult(const std::string& jobText, bool* refused = nullptr);

private:
    void CheckLetterPrinter(const std::string& printer);

    EngineContext& m_handler;
    MessageSigner& m_signer;
    LetterService* m_letters;
    PathologyRequestCreator m_pathology;
};

} // namespace vvp
