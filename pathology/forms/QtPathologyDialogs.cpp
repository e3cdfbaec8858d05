#include "QtPathologyDialogs.h"

#include "QtPrompter.h"
#include "QtText.h"
#include "TfmPathDetails.h"
#include "TfmPathLabData.h"

namespace vvp::pathology {

PathDetailsOutcome QtPathologyDialogs::ShowPathologyDetails(const PathDetailsRequest& request,
                                                            PathDetailsSession& session) {
    const bool forJob = m_prompter.ForJob();
    return m_prompter.Ask<PathDetailsOutcome>([this, &request, &session, forJob] {
        TfmPathDetails form(session, m_prompter);
        form.setWindowTitle(FromEngineText(request.caption));
        form.ReferralDetails(request.ticks);
        form.PatientName(request.patientName);
        m_prompter.Run(form, forJob);
        PathDetailsOutcome outcome;
        if (form.result() != QDialog::Accepted || !session.Confirmed()) return outcome;
        outcome.kind = PathDetailsOutcome::Kind::Ok;
        outcome.laboratory = session.ChosenLaboratory();
        outcome.ticks = form.ReadReferralDetails();
        return outcome;
    });
}

std::optional<tLaboratoryInfo> QtPathologyDialogs::EditLaboratory(const tLaboratoryInfo& info) {
    const bool forJob = m_prompter.ForJob();
    return m_prompter.Ask<std::optional<tLaboratoryInfo>>(
        [this, info, forJob]() -> std::optional<tLaboratoryInfo> {
            TfmPathLabData form(m_prompter);
            form.Load(info);
            m_prompter.Run(form, forJob);
            if (form.result() != QDialog::Accepted) return std::nullopt;
            return form.Record();
        });
}

} // namespace vvp::pathology
