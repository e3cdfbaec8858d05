#include "MessageDelivery.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "simplebase64.h"

namespace vvp {
namespace {

std::string WithoutLf(const std::string& text) {
    return StrStrip(text, "\n");
}

// A recovered job's message of its own (unique) name is its earlier delivery, not a clash.
Result<void> Publish(const std::string& folder, const std::string& tempName, const std::string& finalName,
                     const std::string& data, bool alreadyStoredIsDone) {
    if (alreadyStoredIsDone && FileExists(folder + finalName)) return Ok();
    return PublishNewFile(folder, tempName, finalName, data);
}

DeliveryOutcome SaveToFolder(DeliveryContext& ctx, StringList body, StringList signedCopy,
                             const std::string& folder, const std::string& recipient, const std::string& name,
                             const std::string& ext, bool hl7) {
    const std::string msgRecipientLine = "MsgRecipient=" + recipient;
    auto fail = [&](const Error& e) {
        const std::string text = std::string(kWriteFailure) + e.message;
        ctx.log.LogLine(text);
        ctx.prompter.Message({"Vocanet Printer Error", text, Buttons::Ok, Icon::Stop});
        return DeliveryOutcome::Failed;
    };
    // A folder removed since start, or never made (Save Mode 0 falls back to it).
    if (!DirectoryExists(folder))
        if (auto made = ForceDirectories(folder); !made) return fail(made.error());
    if (signedCopy.size() > 2) {
        if (ctx.settings.MsgRecipient) signedCopy.insert(signedCopy.begin(), msgRecipientLine);
        if (auto r = Publish(folder, name + ext + ".sign.___", name + ext + ".sign.eml",
                             JoinLines(signedCopy), ctx.recoveredJob);
            !r)
            return fail(r.error());
    }
    if (!body.empty()) {
        std::string data;
        if (LowerCase(ext) == ".rtf") {
            // The letter travels as one base64 line; the header line, when asked for, is plain
            // text in front of the decoded bytes (decoding it with the letter would corrupt both).
            data = Base64Decode(JoinLines(body));
            if (ctx.settings.MsgRecipient) data = msgRecipientLine + "\r\n" + data;
        } else {
            if (ctx.settings.MsgRecipient) body.insert(body.begin(), msgRecipientLine);
            data = hl7 ? WithoutLf(JoinLines(body)) : JoinLines(body);
        }
        if (ctx.recoveredJob && FileExists(folder + name + ext))
            ctx.log.LogLine("Message " + name + ext + " was already saved before the restart.");
        if (auto r = Publish(folder, name + ".___", name + ext, data, ctx.recoveredJob); !r)
            return fail(r.error());
    }
    ctx.log.LogLine("Saved message for " + recipient + "\r\n to " + folder);
    return DeliveryOutcome::Delivered;
}

// A message the server did not take is not saved where no messaging client collects it (a
// client's own Save Path): the job is held and sent again when the server answers.
DeliveryOutcome HeldForServer(DeliveryContext& ctx, const std::string& recipient, const std::string& result) {
    ctx.heldReason = "the VVP server did not take the message for " + recipient + " (" + result + ")";
    return DeliveryOutcome::Held;
}

} // namespace

std::string MessageRecipient(const std::string& name) {
    // A mail domain holds no "_": the address ends at the first one after its "@", however many
    // the local part has and whatever follows (a job id, a dropped file's own name).
    const auto at = name.find('@');
    const auto underscore = name.find('_', at == std::string::npos ? 0 : at);
    return underscore == std::string::npos ? name : name.substr(0, underscore);
}

THostIP ResolveServerAddress(DeliveryContext& ctx, const std::string& address) {
    const std::string domain = address.find('@') != std::string::npos ? StrAfter(address, "@") : address;
    THostIP host = ctx.relay ? ctx.relay->FindServerForDomain(domain) : THostIP{};
    if (!host.host.empty()) return host;
    ctx.log.LogLine("Cant find an Vocanet able to send to " + address);
    Answer answer =
        ctx.prompter.Message({"Addressing Problem",
                              "I was unable to find a server able to accept messages for " + address +
                                  "\r\n\r\nDo you want to save the Electronic Message instead?",
                              Buttons::YesNo, Icon::Error});
    if (answer == Answer::Yes)
        host.host = "ERROR:" + ctx.prompter.BrowseFolder("Select a Output path for your Message");
    else
        host.host = "ERROR: CANCEL";
    return host;
}

DeliveryOutcome DeliverMessage(DeliveryContext& ctx, StringList body, StringList signedCopy,
                               const std::string& recipient, const std::string& name,
                               const std::string& ext) {
    if (body.empty()) return DeliveryOutcome::Declined;
    // Names are made from printed text: nothing may lead out of the destination folder.
    auto unsafe = UnsafeRecipient(recipient);
    if (!unsafe) unsafe = UnsafeFileName(name + ext + ".sign.___");
    if (unsafe) {
        const std::string text =
            "Refused to deliver a message for \"" + Printable(recipient) + "\": " + *unsafe + ".";
        ctx.log.LogLine(text);
        ctx.prompter.Message({"Vocanet Printer Error", text, Buttons::Ok, Icon::Stop});
        return DeliveryOutcome::Refused;
    }
    const std::string upperExt = UpperCase(ext);
    const bool hl7 = upperExt == ".ORM" || upperExt == ".HL7";
    body.erase(body.begin());
    std::string folder = ctx.settings.SavePath;

    if (ctx.settings.SaveMode == 0) {
        const std::string domain = StrAfter(recipient, "@");
        THostIP host = ResolveServerAddress(ctx, domain);
        if (host.host == "ERROR: CANCEL") return DeliveryOutcome::Declined;
        if (host.host.find("ERROR:") != std::string::npos) {
            const std::string chosen = StrAfter(host.host, "ERROR:");
            if (chosen.empty()) return DeliveryOutcome::Declined;
            return SaveToFolder(ctx, std::move(body), std::move(signedCopy), IncludeTrailingSeparator(chosen),
                                recipient, name, ext, hl7);
        }
        std::string result;
        if (signedCopy.size() > 3) {
            result = ctx.relay->SendTextToServer(name + ext + ".sign.eml", JoinLines(signedCopy), host);
            ctx.log.LogLine("Transfer to Vocanet for sending :" + result);
            if (result != "OK") {
                ctx.prompter.Show(
                    "Vocanet Printer Error",
                    "Sorry, the Signed message could not be transferred to Vocanet for transmission.",
                    Icon::Error);
                return HeldForServer(ctx, recipient, result);
            }
        }
        if (LowerCase(ext) == ".rtf" || hl7) {
            const std::string stream = hl7 ? WithoutLf(JoinLines(body)) : Base64Decode(JoinLines(body));
            result = ctx.relay->SendFileToServer(name + ext, "", host, stream);
        } else {
            result = ctx.relay->SendTextToServer(name + ext, JoinLines(body), host);
        }
        ctx.log.LogLine("Transfer to Vocanet for sending :" + result);
        if (result == "OK") return DeliveryOutcome::Delivered;
        ctx.prompter.Show("Vocanet Printer Error",
                          "Sorry, the message could not be transferred to Vocanet for transmission.",
                          Icon::Error);
        return HeldForServer(ctx, recipient, result);
    }
    return SaveToFolder(ctx, std::move(body), std::move(signedCopy), folder, recipient, name, ext, hl7);
}

} // namespace vvp
