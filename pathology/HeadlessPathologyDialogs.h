#pragma once

#include "fmPathologyDetails.h"
#include "Prompter.h"

namespace vvp::pathology {

// The dialogs without a user. "Pathology Details" is answered through the prompter with a
// laboratory name (OK with the ticks as parsed) or Cancel; unscripted, the first laboratory of the
// file is taken so that nothing is lost. Laboratory dialogs cannot be filled in, so a missing
// laboratory or practice section ends the request with an error.
class HeadlessPathologyDialogs final : public PathologyDialogs {
public:
    // holdWhenIncomplete: a request the laboratory file cannot complete is held (HoldJob) until
    // the file is fixed, rather than ended with an error.
    explicit HeadlessPathologyDialogs(Prompter& prompter, bool holdWhenIncomplete = false)
        : m_prompter(prompter), m_hold(holdWhenIncomplete) {}

    PathDetailsOutcome ShowPathologyDetails(const PathDetailsRequest& request,
                                            PathDetailsSession& session) override;
    std::optional<tLaboratoryInfo> EditLaboratory(const tLaboratoryInfo& info) override;
    bool CanEditLaboratories() const override { return false; }

private:
    Prompter& m_prompter;
    bool m_hold;
};

} // namespace vvp::pathology
