#pragma once

#include "EngineContext.h"
#include "MessageCreation.h"

namespace vvp {

// Message creation's letters: the letterhead merge with the program's settings and seams.
class RtfLetterService final : public LetterService {
public:
    explicit RtfLetterService(EngineContext& handler) : m_handler(handler) {}

    // The letter printer is the job's own ("Report Printer  :"), else the ReportPrinter setting.
    bool MakeLetter(const letter::TPitFile& record, std::string* rtfOut,
                    const std::string& letterHead) override;

private:
    EngineContext& m_handler;
};

} // namespace vvp
