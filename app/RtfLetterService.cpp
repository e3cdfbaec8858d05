#include "RtfLetterService.h"

#include "VNLetterForm.h"

namespace vvp {

bool RtfLetterService::MakeLetter(const letter::TPitFile& record, std::string* rtfOut,
                                  const std::string& letterHead) {
    const VNPTRRegValues settings = m_handler.Settings().Get();
    const EngineServices& services = m_handler.Services();
    LetterEnvironment environment{services.log,
                                  services.prompter,
                                  services.printService,
                                  services.folders.program,
                                  settings.LetterheadPath,
                                  record.reportPrinter.empty() ? settings.ReportPrinter
                                                               : record.reportPrinter};
    return vvp::MakeLetter(record, true, rtfOut, letterHead, std::move(environment));
}

} // namespace vvp
