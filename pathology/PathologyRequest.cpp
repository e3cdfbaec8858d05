// Request creation: parse, let the user complete the request, print the form, write the order.

#include "fmPathologyDetails.h"
#include "OrmWriter.h"
#include "Prompter.h"
#include "QZStringManip.h"
#include "txttopitdefUnit.h"
#include "uPathLabData.h"

#include <algorithm>

namespace vvp::pathology {

namespace {

void TakeLaboratory(TPitFile& r, const std::string& chosenLabText, PathDetailsSession& session,
                    PathologyModuleState& state) {
    if (chosenLabText.empty()) {
        r.LabEAddress().clear();
        r.LabName.clear();
        r.ReceivingFacility.clear();
        r.ReceivingApp.clear();
        r.SendingFacility.clear();
        r.SendingApp.clear();
        return;
    }
    const StringList lab = SplitLines(chosenLabText);
    r.LabName = SectionValue(lab, "LabName");
    r.ReceivingFacility = SectionValue(lab, "ReceivingFacility");
    r.ReceivingApp = SectionValue(lab, "ReceivingApp");
    r.LabEAddress() = SectionValue(lab, "EAddress");

    std::string practiceText = state.PracticeText();
    if (practiceText.empty()) {
        practiceText = session.File().Section(kPracticeSection);
        state.SetPracticeText(practiceText);
    }
    const StringList practice = SplitLines(practiceText);
    r.SendingFacility = SectionValue(practice, "ReceivingFacility");
    r.SendingApp = SectionValue(practice, "ReceivingApp");
    if (SectionValue(practice, "YourRefisORDER") != "N") {
        r.OrderNo = r.YourRef;
        r.YourRef.clear();
    }
}

} // namespace

void ParsePrintedRequest(const std::string& jobText, TPitFile& record, PathologyContext& context) {
    ParsePrintedRequest(jobText, record);
    if (!record.Error.empty()) return;
    // Each test repeats the notes and the copy-to list; a page full of both would make an order of
    // gigabytes. No real request comes near the limit.
    if (EstimateOrderSize(record) > kMaxOrderBytes) {
        record.Error = "The request is too large to be sent as an order";
        return;
    }

    PathDetailsSession session(context.programFolder, context.dialogs, context.state);
    PathDetailsRequest request{record.Ticks, Trim(record.GivenNames + " " + record.Surname),
                               "Pathology Details - " + record.Tests};
    PathDetailsOutcome outcome;
    // A front end whose OK did not settle the laboratory gets its details dialog back, as the
    // user would when a laboratory dialog was given up.
    while (!session.Confirmed()) {
        outcome = context.dialogs.ShowPathologyDetails(request, session);
        if (outcome.kind == PathDetailsOutcome::Kind::Cancelled) {
            record.Error = kUserCancelled;
            return;
        }
        if (outcome.kind == PathDetailsOutcome::Kind::Failed) {
            record.Error = outcome.error.empty() ? std::string("The pathology details could not be completed")
                                                 : outcome.error;
            return;
        }
        if (session.Confirmed()) break;
        auto confirmed = session.ConfirmOk(outcome.laboratory);
        if (!confirmed) {
            record.Error = confirmed.error().message;
            return;
        }
        request.ticks = outcome.ticks;
    }
    record.Ticks = outcome.ticks;
    TakeLaboratory(record, session.ChosenLabText(), session, context.state);
}

std::string CreatePathologyRequest(const std::string& jobText, const std::string& reportPrinter,
                                   PathologyContext& context) {
    try {
        std::string text = jobText;
        std::replace(text.begin(), text.end(), '\xFF', '\n');
        TPitFile record;
        ParsePrintedRequest(text, record, context);
        if (record.Error.empty()) {
            if (context.printRequestForm) context.printRequestForm(reportPrinter, record);
            // Without an address the order would be stored under an empty name that nobody collects.
            if (record.LabEAddress().empty())
                return "ERROR: No order was sent: the laboratory \"" + record.LabName +
                       "\" has no electronic address (EAddress) in " + kLabFileName + ".";
            std::string orderNumber = record.OrderNo;
            if (orderNumber.empty()) {
                // An order numbered -1 would collide with every other failed one; refuse instead.
                auto counter = TakeGroupCounter(context.programFolder);
                if (!counter)
                    return "ERROR: Unable to take an order number from " +
                           std::string(kGroupCounterFileName) + ": " + counter.error().message;
                orderNumber = std::to_string(*counter);
            }
            WriteOrmMessage(record, orderNumber, context.clock);
            return record.LabEAddress() + ":ORM\r\n" + StrStrip(JoinLines(record.Lines), "\n");
        }
        if (record.Error == kInsufficientData) return {};
        if (record.Error == kUserCancelled) return kUserCancelled;
        return "ERROR: " + record.Error;
    } catch (const PromptAbandoned&) {
        throw; // the program is ending: the job stays for the next start
    } catch (const HoldJob&) {
        throw; // waits for its laboratory details instead of failing
    } catch (const std::exception& e) {
        return std::string("ERROR: ") + e.what();
    }
}

} // namespace vvp::pathology
