#include "MessageDelivery.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "simplebase64.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vvp {
namespace {

std::string WithoutLf(const std::string& text) { return StrStrip(text, "\n"); }

// Creates the temporary file exclusively, so a concurrent job can never write into it. The file
// is not flushed to disk: the rename after the whole write already guarantees that a crash or
// kill of the process leaves either the finished message or the kept spool file, and a flush per
// message would cap the service at a few hundred messages a second.
Result<void> WriteNewFile(const std::string& path, const std::string& data) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return ErrnoError("Cannot create " + path, errno);
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            close(fd);
            unlink(path.c_str());
            return ErrnoError("Cannot write " + path, err);
        }
        done += static_cast<size_t>(n);
    }
    if (close(fd) != 0) {
        int err = errno;
        unlink(path.c_str());
        return ErrnoError("Cannot write " + path, err);
    }
    return Ok();
}

Result<void> WriteThenMove(const std::string& temp, const std::string& final, const std::string& data,
                           bool alreadyStoredIsDone = false) {
    if (alreadyStoredIsDone && FileExists(final)) return Ok();
    if (auto r = WriteNewFile(temp, data); !r) return r;
    if (auto r = MoveFileNoReplace(temp, final); !r) {
        // The message must not linger under a name nobody collects; the job is kept instead.
        unlink(temp.c_str());
        return r;
    }
    return Ok();
}

DeliveryOutcome SaveToFolder(DeliveryContext& ctx, StringList body, StringList signedCopy, const std::string& folder,
                             const std::string& name, const std::string& ext, bool hl7) {
    const std::string recipient = StrBefore(name, "_");
    const std::string msgRecipientLine = "MsgRecipient=" + recipient;
    auto fail = [&](const Error& e) {
        const std::string text = std::string(kWriteFailure) + e.message;
        ctx.log.LogLine(text);
        ctx.prompter.Message({"Vocanet Printer Error", text, Buttons::Ok, Icon::Stop});
        return DeliveryOutcome::Failed;
    };
    if (signedCopy.size() > 2) {
        if (ctx.settings.MsgRecipient) signedCopy.insert(signedCopy.begin(), msgRecipientLine);
        if (auto r = WriteThenMove(folder + name + ext + ".sign.___", folder + name + ext + ".sign.eml",
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
        if (auto r = WriteThenMove(folder + name + ".___", folder + name + ext, data, ctx.recoveredJob); !r)
            return fail(r.error());
    }
    ctx.log.LogLine("Saved message for " + recipient + "\r\n to " + folder);
    return DeliveryOutcome::Delivered;
}

} // namespace

THostIP ResolveServerAddress(DeliveryContext& ctx, const std::string& address) {
    const std::string domain = address.find('@') != std::string::npos ? StrAfter(address, "@") : address;
    THostIP host = ctx.relay ? ctx.relay->FindServerForDomain(domain) : THostIP{};
    if (!host.host.empty()) return host;
    ctx.log.LogLine("Cant find an Vocanet able to send to " + address);
    Answer answer = ctx.prompter.Message({"Addressing Problem",
                                          "I was unable to find a server able to accept messages for " + address +
                                              "\r\n\r\nDo you want to save the Electronic Message instead?",
                                          Buttons::YesNo, Icon::Error});
    if (answer == Answer::Yes) host.host = "ERROR:" + ctx.prompter.BrowseFolder("Select a Output path for your Message");
    else host.host = "ERROR: CANCEL";
    return host;
}

DeliveryOutcome DeliverMessage(DeliveryContext& ctx, StringList body, StringList signedCopy, const std::string& name,
                               const std::string& ext) {
    if (body.empty()) return DeliveryOutcome::Declined;
    const std::string upperExt = UpperCase(ext);
    const bool hl7 = upperExt == ".ORM" || upperExt == ".HL7";
    body.erase(body.begin());
    std::string folder = ctx.settings.SavePath;

    if (ctx.settings.SaveMode == 0) {
        const std::string domain = StrBetween(name, "@", "_");
        THostIP host = ResolveServerAddress(ctx, domain);
        if (host.host == "ERROR: CANCEL") return DeliveryOutcome::Declined;
        if (host.host.find("ERROR:") != std::string::npos) {
            const std::string chosen = StrAfter(host.host, "ERROR:");
            if (chosen.empty()) return DeliveryOutcome::Declined;
            return SaveToFolder(ctx, std::move(body), std::move(signedCopy), IncludeTrailingSeparator(chosen), name,
                                ext, hl7);
        }
        std::string result;
        if (signedCopy.size() > 3) {
            result = ctx.relay->SendTextToServer(name + ext + ".sign.eml", JoinLines(signedCopy), host);
            ctx.log.LogLine("Transfer to Vocanet for sending :" + result);
            if (result != "OK") {
                ctx.prompter.Show("Vocanet Printer Error",
                                  "Sorry, the Signed message could not be transferred to Vocanet for transmission.",
                                  Icon::Error);
                return SaveToFolder(ctx, std::move(body), std::move(signedCopy), folder, name, ext, hl7);
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
                          "Sorry, the message could not be transferred to Vocanet for transmission.", Icon::Error);
    }
    return SaveToFolder(ctx, std::move(body), std::move(signedCopy), folder, name, ext, hl7);
}

} // namespace vvp
