#include "JobPipeline.h"

#include "EngineContext.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "Spool.h"

#include <algorithm>

namespace vvp {
namespace {

const char* const kNotHandled = "Printed document could not be handled by VVP.";
constexpr size_t kLongestFrameHeader = 4096;

struct HeaderDefinition {
    std::string formatCheck, srcDir, fileType;
};

HeaderDefinition ReadHeaderDefinition(const std::string& text) {
    StringList lines = SplitLines(text);
    return {Trim(ListValue(lines, "FORMATCHECK")), ListValue(lines, "SRCDIR"), ListValue(lines, "FILETYPE")};
}

// The connection's text was peer requests and nothing else. A printout whose first line merely
// begins with a request word ("ADDRESSEE COPY") is a print job.
bool IsPeerRequestText(std::string_view text) {
    bool any = false;
    size_t i = 0;
    while (i <= text.size()) {
        const size_t end = std::min(text.find_first_of(std::string_view("\r\n\0", 3), i), text.size());
        const std::string_view word = text.substr(i, end - i);
        if (!word.empty()) {
            if (word != "SVRINFO" && word != "ADDR") return false;
            any = true;
        }
        i = end + 1;
    }
    return any;
}

// A job that starts with STX and a well-formed frame header is a relay frame, whatever its
// content holds.
bool IsRelayFrameText(std::string_view text) {
    if (text.empty() || text[0] != '\x02') return false;
    const size_t etx = text.find('\x03');
    if (etx == std::string_view::npos || etx > kLongestFrameHeader) return false;
    return text.substr(1, etx - 1).find(':') != std::string_view::npos;
}

} // namespace

JobPipeline::JobPipeline(EngineContext& handler, JobClassifier& classifier, MessageRelay* relay)
    : m_handler(handler), m_classifier(classifier), m_relay(relay) {}

bool JobPipeline::RouteByHeaderDefinitions(const std::string& spoolPath, const std::string& spoolBytes,
                                           JobOutcome& outcome) {
    const std::string& program = m_handler.Services().folders.program;
    auto names = ListFolder(program, "*.kxh", false);
    if (names.empty()) return false;
    const std::string spoolText = NormaliseLineEnds(spoolBytes);
    for (const auto& name : names) {
        auto text = ReadWholeFile(program + name);
        if (!text) continue; // an unreadable definition only skips itself
        HeaderDefinition def = ReadHeaderDefinition(*text);
        if (def.formatCheck.empty() || spoolText.find(def.formatCheck) == std::string::npos) continue;
        const std::string base = ExtractFileName(ChangeFileExt(spoolPath, ""));
        auto r = PublishNewFile(def.srcDir, base + ".___", base + "." + def.fileType, spoolText);
        if (!r) {
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

void JobPipeline::Unrecognised(JobOutcome& outcome) {
    outcome.unrecognised = true;
    m_handler.LogLine(kNotHandled);
    m_handler.Services().prompter.Message(
        {"Vocanet Virtual Printer Error.",
         "Printed document was not a  Health message and no suitable Cantor header was found.\r\n\r\n"
         "Please check that the document uses a monospace font like \"Courier New\" and that each line of "
         "text is of the same size.",
         Buttons::Ok, Icon::Stop});
}

void JobPipeline::ClassifyAndDeliver(const std::string& spoolPath, JobText& job, DeliveryContext& ctx,
                                     JobOutcome& outcome) {
    int pageCount = 0;
    for (;;) {
        Classification c = m_classifier.ClassifyJob(job);
        Creation& created = c.created;
        switch (created.status) {
        case Creation::Status::Message: {
            ++pageCount;
            CreatedMessage& m = created.message;
            StringList lines = SplitLines(m.content);
            lines.insert(lines.begin(), m.recipient + ":" + m.format);
            const std::string base = m.recipient + "_" + SpoolJobId(spoolPath) + std::to_string(pageCount);
            if (std::find(outcome.delivered.begin(), outcome.delivered.end(), base) !=
                outcome.delivered.end()) {
                // A held job tried again: what went out before it was held is not sent twice.
                m_handler.LogLine("Message " + base + " went out before the job was held; not sent again.");
                ++outcome.messages;
                break;
            }
            m_handler.LogLine("Generated Message for transmission.");
            switch (DeliverMessage(ctx, std::move(lines), SplitLines(m.signedBlock), m.recipient, base,
                                   "." + LowerCase(m.format))) {
            case DeliveryOutcome::Delivered:
                ++outcome.messages;
                outcome.delivered.push_back(base);
                break;
            case DeliveryOutcome::Declined:
                ++outcome.cancelled;
                break;
            case DeliveryOutcome::Refused:
                ++outcome.failures;
                break;
            case DeliveryOutcome::Failed:
                ++outcome.failures;
                ++outcome.storeFailures;
                // A folder that cannot be written needs someone to fix it: the job waits.
                throw HoldJob("destination", "the message for " + m.recipient + " could not be stored in " +
                                                 ctx.settings.SavePath);
            case DeliveryOutcome::Held:
                throw HoldJob("server", ctx.heldReason);
            }
            break;
        }
        case Creation::Status::Cancelled:
            ++outcome.cancelled;
            break;
        case Creation::Status::Failed:
            ++outcome.failures;
            break;
        case Creation::Status::Refused:
            outcome.refused = true;
            break;
        case Creation::Status::Skipped:
            break;
        case Creation::Status::TooLarge:
            SetAside(spoolPath, created.detail, outcome);
            return;
        case Creation::Status::Nothing: {
            const std::string frame = StrBetween(std::string(job.Rest()), "\x02", "\x03");
            if (!frame.empty() && ctx.settings.SaveMode == 2 && m_relayFrames) {
                StoreRelayFrame(spoolPath, job.Whole(), ctx, outcome);
            } else {
                Unrecognised(outcome);
            }
            return;
        }
        }
        if (c.next == std::string::npos || OnlyWhitespace(std::string_view(job.Whole()).substr(c.next)))
            return;
        job.Advance(c.next);
    }
}

void JobPipeline::StoreRelayFrame(const std::string& spoolPath, const std::string& jobText,
                                  const DeliveryContext& ctx, JobOutcome& outcome) {
    outcome.relayFrame = true;
    if (m_relayFrames(spoolPath, jobText)) return;
    // The client counts it as delivered: it waits here until the Save Path can take it.
    outcome.held = true;
    outcome.holdCause = "destination";
    outcome.holdReason = "a relayed message could not be stored in " + ctx.settings.SavePath;
}

void JobPipeline::SetAside(const std::string& spoolPath, const std::string& why, JobOutcome& outcome) {
    outcome.tooLarge = true;
    outcome.spoolKept = true;
    m_handler.LogLine("Job refused: " + why + "; it is kept in " +
                      SetAsideSpool(spoolPath, kRefusedExtension) + " and not handled again.");
}

void JobPipeline::FinishSpool(const std::string& spoolPath, JobOutcome& outcome) {
    if (outcome.tooLarge) return;
    if (outcome.held) {
        outcome.spoolKept = true;
        if (!m_hold || !m_hold(spoolPath, outcome.holdCause, outcome.holdReason, outcome.delivered))
            m_handler.LogLine("Job kept in " + spoolPath + ": " + outcome.holdReason);
        return;
    }
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
    auto bytes = ReadWholeFile(spoolPath);
    if (!bytes) {
        ++outcome.failures;
        ++outcome.storeFailures;
        outcome.spoolKept = true;
        m_handler.LogLine(bytes.error().message);
        return outcome;
    }
    if (RouteByHeaderDefinitions(spoolPath, *bytes, outcome)) {
        FinishSpool(spoolPath, outcome);
        return outcome;
    }
    if (IsPeerRequestText(*bytes)) {
        outcome.peerRequest = true;
        DeleteFileIfExists(spoolPath);
        return outcome;
    }
    DeliveryContext ctx{m_handler.Settings().Get(), m_handler.Services().prompter, m_handler.Services().log,
                        m_relay};
    ctx.recoveredJob = recovered;
    if (recovered && m_deliveredBefore) {
        if (auto before = m_deliveredBefore(SpoolJobId(spoolPath))) {
            // Its record knows what is its own: a file of the same name from elsewhere is a clash.
            ctx.recoveredJob = false;
            outcome.delivered = std::move(*before);
        }
    }
    if (IsRelayFrameText(*bytes)) {
        if (ctx.settings.SaveMode == 2 && m_relayFrames) {
            StoreRelayFrame(spoolPath, ToJobText(std::move(*bytes)), ctx, outcome);
        } else {
            m_handler.LogLine("A relay frame arrived, but this VVP is not a server (Save Mode 2).");
            Unrecognised(outcome);
        }
        FinishSpool(spoolPath, outcome);
        return outcome;
    }
    JobText job(ToJobText(std::move(*bytes)));
    try {
        if (OnlyWhitespace(job.Whole()))
            Unrecognised(outcome);
        else
            ClassifyAndDeliver(spoolPath, job, ctx, outcome);
    } catch (const HoldJob& hold) {
        outcome.held = true;
        outcome.holdCause = hold.Cause();
        outcome.holdReason = hold.Reason();
    }
    FinishSpool(spoolPath, outcome);
    return outcome;
}

} // namespace vvp
