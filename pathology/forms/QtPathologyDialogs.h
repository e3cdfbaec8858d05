#pragma once

#include "fmPathologyDetails.h"

namespace vvp {
class QtPrompter;
}

namespace vvp::pathology {

// The pathology dialogs of the desktop app. Job threads call them: they come up on the GUI
// thread through the prompter's gate, one job's question at a time, and end with the prompter's
// other dialogs when the program ends.
class QtPathologyDialogs final : public PathologyDialogs {
public:
    explicit QtPathologyDialogs(QtPrompter& prompter) : m_prompter(prompter) {}

    PathDetailsOutcome ShowPathologyDetails(const PathDetailsRequest& request,
                                            PathDetailsSession& session) override;
    std::optional<tLaboratoryInfo> EditLaboratory(const tLaboratoryInfo& info) override;

private:
    QtPrompter& m_prompter;
};

} // namespace vvp::pathology
