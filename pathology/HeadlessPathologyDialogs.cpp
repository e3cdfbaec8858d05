#include "HeadlessPathologyDialogs.h"

namespace vvp::pathology {

PathDetailsOutcome HeadlessPathologyDialogs::ShowPathologyDetails(const PathDetailsRequest& request,
                                                                  PathDetailsSession& session) {
    const std::vector<std::string> names = session.File().LaboratoryNames();
    std::string list;
    for (const auto& n : names)
        list += (list.empty() ? "" : ", ") + n;
    const std::string text =
        request.caption + "\r\nPatient: " + request.patientName + "\r\nLaboratories: " + list;
    std::optional<std::string> fallback;
    if (!names.empty()) fallback = names.front();

    PathDetailsOutcome outcome;
    const auto answer = m_prompter.Dialog(kPathDetailsTitle, text, fallback);
    if (!answer) {
        if (names.empty()) {
            const std::string why = std::string("No laboratory is listed in ") + kLabFileName;
            if (m_hold) throw HoldJob("laboratory", why);
            outcome.kind = PathDetailsOutcome::Kind::Failed;
            outcome.error = why;
        }
        return outcome;
    }
    auto confirmed = session.ConfirmOk(*answer);
    if (!confirmed || *confirmed != PathDetailsSession::OkOutcome::Confirmed) {
        if (m_hold)
            throw HoldJob("laboratory",
                          confirmed
                              ? std::string("the laboratory details are not complete in ") + kLabFileName
                              : confirmed.error().message);
        outcome.kind = PathDetailsOutcome::Kind::Failed;
        outcome.error = confirmed ? "The laboratory details were not completed" : confirmed.error().message;
        return outcome;
    }
    outcome.kind = PathDetailsOutcome::Kind::Ok;
    outcome.laboratory = session.ChosenLaboratory();
    outcome.ticks = request.ticks;
    return outcome;
}

std::optional<tLaboratoryInfo> HeadlessPathologyDialogs::EditLaboratory(const tLaboratoryInfo& info) {
    m_prompter.Message({"Pathology Laboratory Information",
                        "The laboratory details for \"" + info.LabName +
                            "\" cannot be entered here; add them to " + kLabFileName +
                            " in the program folder.",
                        Buttons::Ok, Icon::Warning});
    return std::nullopt;
}

} // namespace vvp::pathology
