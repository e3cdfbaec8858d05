#pragma once

// The paper pathology request form: a template whose visible characters draw the form, runs of
// a code character marking where each value goes and how wide it may be.

#include "ActivityLog.h"
#include "PrintService.h"
#include "Prompter.h"
#include "RtfDocument.h"
#include "txttopitdefUnit.h"

#include <string>
#include <vector>

namespace vvp::pathology {

inline constexpr const char* kGeneralRequestForm = "cREquestForm.rtf";
inline constexpr const char* kLabRequestFormSuffix = ".cRequestForm.rtf";

// The template for the laboratory: LabName + ".cRequestForm.rtf" when it exists in the folder,
// else "cREquestForm.rtf"; empty when that does not exist either.
std::string RequestFormTemplate(const std::string& programFolder, const std::string& labName);

// Items joined with sep, broken into lines of at most width characters where an item would
// pass it; sep stays at the end of the line it closes. An item longer than width has a line
// of its own.
std::vector<std::string> WrapItems(const std::vector<std::string>& items, char sep, std::size_t width);

// Fills the picture (the template's plain text): every run of a code character becomes its
// value, padded or cut to the run's length; a run of CRs becomes one CR LF; other runs become
// blanks. The wrapped test list replaces record.Tests with the trimmed items.
std::string FillRequestForm(const std::string& picture, TPitFile& record);

struct RequestFormEnvironment {
    PrintService& printService;
    Prompter& prompter;
    ActivityLog* log = nullptr;
    std::string programFolder; // with a trailing separator
};

// The invisible form: the template in redReqForm, the print dialog through the prompter.
class TfmPrintReqForm {
public:
    explicit TfmPrintReqForm(RequestFormEnvironment environment);

    // Loads the template, fills it, and prints it. false when nothing was printed.
    bool PrintRequestForm(const std::string& reportPrinter, TPitFile& record);

    const RtfDocument& redReqForm() const { return m_redReqForm; }

private:
    void Log(const std::string& text);

    RequestFormEnvironment m_env;
    RtfDocument m_redReqForm;
};

// Builds and prints the request form; a missing or unreadable template prints nothing.
bool PrintRequestForm(const std::string& reportPrinter, TPitFile& record,
                      const RequestFormEnvironment& environment);

} // namespace vvp::pathology
