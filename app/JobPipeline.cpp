#include "JobPipeline.h"

#include "EngineContext.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "Spool.h"

namespace vvp {
namespace {

const char* const kNotHandled = "Printed document could not be handled by VVP.";

bool OnlyWhitespace(const std::string& text) {
    return text.find_first_not_of(" \t\n\f\r") == std::string::npos;
}

struct HeaderDefinition {
    std::string formatCheck, srcDir, fileType;
};

HeaderDefinition ReadHeaderDefinition(const std::string& text) {
    StringList lines = SplitLines(text);
    return {Trim(ListValue(lines, "FORMATCHECK")), ListValue(lines, "SRCDIR"), ListValue(lines, "FILETYPE")};
}

} // namespace

JobPipeline::JobPipeline(EngineContext& handler, JobClassifier& classifier, MessageRelay* relay)
    : m_handler(handler), m_classifier(classifier), m_relay(relay) {}

bool JobPipeline::RouteByHeaderDefinitions(const std::string& spoolPath, JobOutcome& outcome) {
    const std::string& program = m_handler.Services().folders.program;
    auto names = ListFolder(program, "*.kxh", false);
    if (names.empty()) return false;
    auto spool = ReadWholeFile(spoolPath);
    if (!spool) return false;
    const StringList spoolLines = SplitLines(*spool);
    const std::string spoolText = JoinLines(spoolLines);
    for (const auto& name : names) {
        auto text = ReadWholeFile(program + name);
        if (!text) continue; // an unreadable definition only skips itself
        HeaderDefinition def = ReadHeaderDefinition(*text);
        if (def.formatCheck.empty() || spoolText.find(def.formatCheck) == std::string::npos) continue;
        const std::string target =
            def.srcDir + ExtractFileName(ChangeFileExt(spoolPath, "")) + "." + def.fileType;
        if (auto r = WriteFileAtomically(target, spoolText); !r) {
            m_handler.Services().prompter.Message(
                {"Vocanet Printer Error",
                 "Warning. A printed Vocanet document failed to queue properly.Error was " +
                     r.error().message,
                 Buttons::Ok, Icon::Warning});
            ++outcome.failures;
            ++outcome.storeFailures;
        }
        outcome.handedOn = true;
        m_handler.LogLine(kNotHandled);
        return true;
    }
    return false;
}

void JobPipeline::ClassifyAndDeliver(const std::string& spoolPath, const std::string& jobText,
                                     DeliveryContext& ctx, JobOutcome& outcome) {
    int pageCount = 0;
    std::string text = jobText;
    for (;;) {
        Classification c = m_classifier.ClassifyJob(text);
        const std::string& result = c.result;
        if (!result.empty() && result != "User Cancelled" && result.rfind("ERROR", 0) != 0) {
            ++pageCount;
            std::string messageText = result, signedText;
            if (auto p = result.find(kSignedMarker); p != std::string::npos) {
                messageText = result.substr(0, p);
                signedText = result.substr(p + std::string(kSignedMarker).size());
            }
            StringList lines = SplitLines(messageText);
            if (!lines.empty()) {
                const std::string& routing = lines.front();
                const std::string base =
                    StrField(routing, ':', 1) + "_" + SpoolJobId(spoolPath) + std::to_string(pageCount);
                const std::string ext = "." + LowerCase(StrAfter(routing, ":"));
                m_handler.LogLine("Generated Message for transmission.");
                switch (DeliverMessage(ctx, std::move(lines), SplitLines(signedText), base, ext)) {
                case DeliveryOutcome::Delivered:
                    ++outcome.messages;
                    break;
                case DeliveryOutcome::Declined:
                    ++outcome.cancelled;
                    break;
                case DeliveryOutcome::Failed:
                    ++outcome.failures;
                    ++outcome.storeFailures;
                    break;
                }
            }
        } else if (result == "User Cancelled") {
            ++outcome.cancelled;
        } else if (!result.empty()) {
            ++outcome.failures; // an error the classification has already shown
        }

        if (!result.empty()) {
            if (OnlyWhitespace(c.remainder)) break;
            text = c.remainder;
            continue;
        }
        if (c.refused) {
            outcome.refused = true;
            break;
        }
        const std::string frame = StrBetween(text, "\x02", "\x03");
        if (!frame.empty() && ctx.settings.SaveMode == 2 && m_relayFrames) {
            outcome.relayFrame = true;
            if (!m_relayFrames(spoolPath, text)) {
                ++outcome.failures;
                ++outcome.storeFailures;
            }
        } else {
            outcome.unrecognised = true;
            m_handler.LogLine(kNotHandled);
            m_handler.Services().prompter.Message(
                {"Vocanet Virtual Printer Error.",
                 "Printed document was not a  Health message and no suitable Cantor header was found.\r\n\r\n"
                 "Please check that the document uses a monospace font like \"Courier New\" and that each "
                 "line of "
                 "text is of the same size.",
                 Buttons::Ok, Icon::Stop});
        }
        break;
    }
}

void JobPipeline::FinishSpool(const std::string& spoolPath, JobOutcome& outcome) {
    // A job whose messages could not all be stored stays on disk, so nothing received is lost.
    if (outcome.storeFailures > 0) {
        outcome.spoolKept = true;
        m_handler.LogLine("Job kept in " + spoolPath);
    } else {
        DeleteFileIfExists(spoolPath);
    }
}

JobOutcome JobPipeline::HandleSpoolFile(const std::string& spoolPath, bool recovered) {
    JobOutcome outcome;
    if (RouteByHeaderDefinitions(spoolPath, outcome)) {
        FinishSpool(spoolPath, outcome);
        return outcome;
    }
    auto jobText = ReadJobText(spoolPath);
    if (!jobText) {
        ++outcome.failures;
        ++outcome.storeFailures;
        outcome.spoolKept = true;
        m_handler.LogLine(jobText.error().message);
        return outcome;
    }
    if (jobText->rfind("SVRINFO", 0) == 0 || jobText->rfind("ADDR", 0) == 0) {
        outcome.peerRequest = true;
        DeleteFileIfExists(spoolPath);
        return outcome;
    }
    DeliveryContext ctx{m_handler.Settings().Get(), m_handler.Services().prompter, m_handler.Services().log,
                        m_relay};
    ctx.recoveredJob = recovered;
    ClassifyAndDeliver(spoolPath, *jobText, ctx, outcome);
    FinishSpool(spoolPath, outcome);
    return outcome;
}

} // namespace vvp
