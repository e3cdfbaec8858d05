#include "MessageCreation.h"

#include "EngineContext.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "SignedEnvelope.h"
#include "simplebase64.h"
#include "txttopitdefUnit.h"

namespace vvp {

using letter::TPitFile;

namespace {

const char* const kHealthMessageHeader = "Vocanet Electronic Health Message V1.5";
const char* const kSignaturePlaceholder = "<#SIGNATURE DETAILS>";

std::string ReduceDoubleBlanks(std::string text) {
    while (text.find("  ") != std::string::npos)
        text = StrReplace(text, "  ", " ");
    return text;
}

std::string JoinedAddress(const std::string& value) {
    return ReduceDoubleBlanks(Trim(StrStrip(value, "\r\n")));
}

void ReplacePlaceholder(StringList& lines, const std::string& details) {
    for (auto& line : lines)
        line = StrReplace(line, kSignaturePlaceholder, details);
}

std::string RemoveFileNameCharacters(const std::string& text) {
    return StrStrip(text, "?*/\\|:\"'");
}

struct SigningParts {
    std::string from, to, subject, fileBase;
};

SigningParts DeriveSigningParts(const TPitFile& r, const std::string& details, const Clock& clock) {
    SigningParts p;
    p.from = StrBetween(details, "<", ">");
    p.to = "\"" + r.addressee.familyName + ", " + r.addressee.givenNames + " " + r.addressee.providerNumber +
           "\" <" + r.addressee.email + ">";
    p.subject = r.patientSurname + " " + r.messageTitle;
    std::string base =
        r.patientSurname + "_" + FormatDateTime("dd-mmm-yyyy", r.dob) + "_" + r.messageTitle.substr(0, 10);
    p.fileBase =
        RemoveFileNameCharacters(base.substr(0, 35) + "_" + FormatDateTime("yymmddhhnnss", clock.Now()));
    return p;
}

} // namespace

std::string HeaderValue(std::string_view jobText, std::string_view label, std::string_view endMarker) {
    // StrBefore(StrAfter(...)) without copying the rest of the job for every label.
    auto start = jobText.find(label);
    if (start == std::string_view::npos) return {};
    start += label.size();
    auto end = jobText.find(endMarker, start);
    return std::string(
        jobText.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

PrintedNameParts ParsePrintedName(const std::string& rawValue, bool sender) {
    PrintedNameParts parts;
    const std::string value = Trim(rawValue);
    parts.family = value;
    if (value.find("Provider:") == std::string::npos) return parts;
    parts.provider = Trim(StrAfter(value, "Provider:"));
    std::string name = Trim(StrBefore(value, "Provider:"));
    const std::string candidate = StrStrip(StrBefore(name.substr(0, 10), " "), ".");
    const std::string titles = "dr prof mr mr mrs miss ms professor";
    const std::string probe = LowerCase(sender ? candidate + " " : candidate);
    if (!candidate.empty() && titles.find(probe) != std::string::npos) {
        parts.title = candidate + " ";
        name = name.find(' ') == std::string::npos ? std::string() : StrAfter(name, " ");
    }
    if (name.find(',') != std::string::npos) {
        parts.given = Trim(StrAfter(name, ","));
        name = Trim(StrBefore(name, ","));
    }
    parts.family = name;
    return parts;
}

StringList ReadMessageBody(std::string_view jobText) {
    const auto p = jobText.find("Message Text    :");
    if (p == std::string_view::npos) return {};
    StringList lines = SplitLines(std::string(jobText.substr(p + 17)));
    while (!lines.empty() && Trim(lines.front()).empty())
        lines.erase(lines.begin());
    while (!lines.empty() && Trim(lines.back()).empty())
        lines.pop_back();
    return lines;
}

void ReadPrintedHeader(std::string_view jobText, TPitFile& r, const std::string& defaultReportPrinter,
                       bool hesaTokens, const Clock& clock) {
    auto value = [&](const char* label) { return HeaderValue(jobText, label); };

    r.messageDateText = HeaderValue(jobText, "Message Date    :", "\r\n");
    if (r.messageDateText.empty()) r.messageDateText = FormatDateTime("dd/mm/yyyy hh:nn", clock.Now());
    const LocaleDateFormat dates = CurrentLocaleDateFormat(clock);
    r.messageDate = FreeTextToDateTimeReport(r.messageDateText, dates);
    r.requestedDateText = r.collectedDateText = r.messageDateText;
    r.requestedDate = r.collectedDate = r.messageDate;

    r.letterHead = Trim(value("Letter Head     :"));
    r.reportPrinter = Trim(value("Report Printer  :"));
    if (r.reportPrinter.empty()) r.reportPrinter = defaultReportPrinter;
    r.signingAsked = hesaTokens && UpperCase(value("Digital Signing :")).find('Y') != std::string::npos;
    r.practiceName = Trim(value("Practice        :"));
    r.messageTitle = Trim(value("Message Title   :"));
    r.paperCopyAsked =
        StrStrip(HeaderValue(LowerCase(std::string(jobText)), "print paper copy:"), " ").find('y') !=
        std::string::npos;

    PrintedNameParts recipient = ParsePrintedName(value("Recipient Name  :"), false);
    r.addressee.familyName = recipient.family;
    r.addressee.givenNames = recipient.given;
    r.addressee.providerNumber = recipient.provider;
    r.addressee.title = recipient.title;
    const std::string addr1 = StrReplace(Trim(value("Recipient Addr1 :")), ",", " ");
    const std::string addr2 = StrReplace(Trim(value("Recipient Addr2 :")), ",", " ");
    const std::string addr3 = Trim(value("Recipient Addr3 :"));
    r.addressee.address = addr1 + "\r\n" + addr2 + "\r\n" + addr3;
    r.addressee.email = Trim(value("Recipient Email :"));
    r.messageFormat = UpperCase(Trim(value("Message Format  :")));
    r.addressee.flag = r.messageFormat != "HL7";
    r.addressee.phone = Trim(value("Recipient Phone :"));

    PrintedNameParts sender = ParsePrintedName(value("Sender          :"), true);
    letter::TDoctorRecord& doctor2 = r.doctors[1];
    doctor2.familyName = sender.family;
    doctor2.givenNames = sender.given;
    doctor2.providerNumber = sender.provider;
    doctor2.title = sender.title;
    doctor2.address = JoinedAddress(HeaderValue(jobText, "Sender Address  :", "Sender Email"));
    doctor2.email = Trim(value("Sender Email    :"));

    const std::string patientName = Trim(value("Patient Name    :"));
    r.patientSurname = Trim(StrBefore(patientName, ","));
    r.patientGivenNames = Trim(StrAfter(patientName, ","));
    r.patientPhone = Trim(value("Patient Phone   :"));
    r.patientAddress = JoinedAddress(HeaderValue(jobText, "Patient Address :", "Patient Phone   :"));
    const std::string dobSex = UpperCase(Trim(value("Patient DOB/Sex :")));
    r.dobText = Trim(StrBefore(dobSex, "SEX"));
    r.sex = StrStrip(StrAfter(dobSex, "SEX"), ": ").substr(0, 1);
    r.dob = FreeTextToDateTimeReport(r.dobText, dates);

    r.body = ReadMessageBody(jobText);
    r.doctors[0] = r.doctors[1];
}

std::string CriticalFieldList(const TPitFile& r) {
    std::string list;
    if (r.patientSurname.empty()) list += "CRITICAL Patient Surname\r\n";
    if (r.dob == 0 || r.dob != r.dob) list += "CRITICAL Patient DOB Invalid: \"" + r.dobText + "\"\r\n";
    if (r.addressee.familyName.empty()) list += "CRITICAL Recipient Surname\r\n";
    if (r.addressee.email.empty())
        list += "CRITICAL Recipient E-mail Address\r\n";
    else if (auto unsafe = UnsafeRecipient(r.addressee.email))
        list += "CRITICAL Recipient E-mail Address Invalid: \"" + Printable(r.addressee.email) + "\" (" +
                *unsafe + ")\r\n";
    if (r.patientAddress.empty()) list += "DESIRABLE Patient Address\r\n";
    return list;
}

std::string SigningNote(const std::string& details) {
    std::string text = StrReplace(details, "301 \r\n301 ", " ");
    text = Trim(StrReplace(text, "301 \r\n", " "));
    text = StrReplace(text, "\r\n301 ", " ");
    text = StrReplace(text, "\r\n", " ");
    if (text.empty()) return {};
    return "Vocanet has prepared an electronic version of this document digitally signed by:\r\n" +
           StrAfter(text, ":");
}

MessageCreation::MessageCreation(EngineContext& handler, MessageSigner& signer, LetterService* letters)
    : m_handler(handler), m_signer(signer), m_letters(letters) {}

namespace {

// A page or letter too large to be made into a message without costing many times its size.
std::optional<std::string> OverPageLimits(std::string_view page) {
    if (page.size() > kMaxPageBytes)
        return "a page of " + std::to_string(page.size() >> 20) + " MB is larger than " +
               std::to_string(kMaxPageBytes >> 20) + " MB";
    size_t lines = 0;
    for (char c : page)
        if (c == '\n' && ++lines > kMaxPageLines)
            return "a page has more than " + std::to_string(kMaxPageLines) + " lines";
    return std::nullopt;
}

// Where the letter that starts at from ends: at the form feed before the page of the next header,
// or before a later page that is a pathology request of its own, so that another patient's
// request never travels in this letter's body. A letter's own later pages carry no header, so
// only a page the request path would take splits it. The result is before the header when a
// request page comes first: those pages are no letter.
size_t LetterEnd(std::string_view text, size_t from) {
    bool header = false;
    for (size_t start = from;;) {
        const size_t ff = text.find('\f', start);
        const std::string_view page = text.substr(start, ff == std::string_view::npos ? ff : ff - start);
        if (page.find(kHealthMessageHeader) != std::string_view::npos) {
            if (header) return start - 1;
            header = true;
        } else if (!OnlyWhitespace(page) && !OverPageLimits(page) && pathology::IsPrintedRequest(page)) {
            return start == from ? from : start - 1;
        }
        if (ff == std::string_view::npos) return text.size();
        start = ff + 1;
    }
}

} // namespace

Classification MessageCreation::ClassifyJob(JobText& job) {
    Classification c;
    const std::string& text = job.Whole();
    const size_t offset = job.Offset();
    const size_t header = job.Find(kHealthMessageHeader);
    if (header != std::string::npos) {
        // A blank page before a letter is skipped on its own, so that the pages are walked once.
        if (const size_t ff = job.Find("\f");
            ff < header && OnlyWhitespace(std::string_view(text).substr(offset, ff - offset))) {
            c.next = ff + 1;
            c.created.status = Creation::Status::Skipped;
            return c;
        }
        const size_t end = LetterEnd(text, offset);
        if (end > header) {
            if (end < text.size()) c.next = end + 1;
            const std::string_view letter = std::string_view(text).substr(offset, end - offset);
            if (auto over = OverPageLimits(letter)) {
                c.created = {Creation::Status::TooLarge, {}, *over};
                return c;
            }
            c.created = CreateResult(letter);
            if (c.created.status == Creation::Status::Nothing)
                m_handler.LogLine("No data returned from CreateResult");
            return c;
        }
        // A request page comes before the letter: it is a page of its own.
    } else if (job.Find("\x02") != std::string::npos && job.Find("\x03") != std::string::npos) {
        return c;
    }
    size_t end = text.size();
    if (const size_t ff = job.Find("\f"); ff != std::string::npos) {
        end = ff;
        c.next = ff + 1;
    }
    const std::string_view page = std::string_view(text).substr(offset, end - offset);
    if (OnlyWhitespace(page) && c.next != std::string::npos) {
        c.created.status = Creation::Status::Skipped;
        return c;
    }
    if (auto over = OverPageLimits(page)) {
        c.created = {Creation::Status::TooLarge, {}, *over};
        return c;
    }
    std::string result;
    if (m_pathology) result = m_pathology(std::string(page), m_handler.Settings().Get().ReportPrinter);
    if (result.rfind("ERROR", 0) == 0) {
        m_handler.LogLine(result);
        m_handler.Services().prompter.Show("Vocanet Virtual Printer", result);
    }
    if (result.empty()) m_handler.LogLine("Not a Pathology Request");
    c.created = FromPathologyText(result);
    return c;
}

Creation MessageCreation::FromPathologyText(const std::string& text) {
    Creation c;
    if (text.empty()) return c;
    if (text == "User Cancelled") {
        c.status = Creation::Status::Cancelled;
    } else if (text.rfind("ERROR", 0) == 0) {
        c.status = Creation::Status::Failed;
        c.detail = text;
    } else {
        // The routing line: the laboratory's address, ":", the format word.
        const auto lineEnd = text.find("\r\n");
        const std::string routing = text.substr(0, lineEnd);
        const auto colon = routing.rfind(':');
        c.status = Creation::Status::Message;
        c.message.recipient = colon == std::string::npos ? routing : routing.substr(0, colon);
        c.message.format = colon == std::string::npos ? std::string() : routing.substr(colon + 1);
        c.message.content = lineEnd == std::string::npos ? std::string() : text.substr(lineEnd + 2);
    }
    return c;
}

void MessageCreation::CheckLetterPrinter(const std::string& printer) {
    PrintService& printing = m_handler.Services().printService;
    if (!printer.empty() && printing.HasPrinter(printer)) return;
    const std::string text = printer.empty()
                                 ? "Default Report Printer \"\" does not exist.\r\n\r\nUsing windows default."
                                 : "Report Printer \"" + printer + "\" does not exist.";
    m_handler.Services().prompter.Show("Vocanet Virtual Printer", text, Icon::Information);
}

Creation MessageCreation::CreateResult(std::string_view jobText) {
    const VNPTRRegValues settings = m_handler.Settings().Get();
    const Clock& clock = m_handler.Services().clock;
    TPitFile r;
    r.acknowledgementFlag = true;
    r.signatureFlag = true;
    ReadPrintedHeader(jobText, r, settings.ReportPrinter, settings.HeSATokens, clock);

    Creation out;
    const std::string critical = CriticalFieldList(r);
    if (critical.find("CRITICAL ") != std::string::npos) {
        m_handler.Services().prompter.Message({"Vocanet Printer Error",
                                               "There is critical information missing.\r\n" + critical +
                                                   "\r\nPlease Correct the problem before retrying.",
                                               Buttons::Ok, Icon::Stop});
        m_handler.LogLine("Message refused: " + StrReplace(Trim(critical), "\r\n", "; "));
        out.status = Creation::Status::Refused;
        return out;
    }

    r.addressee.address = StrReplace(r.addressee.address, "\n", ", ");
    const std::string format = LowerCase(r.messageFormat);
    const bool rtf = format.find("rtf") != std::string::npos;
    const bool hl7 = !rtf && format.find("hl7") != std::string::npos;

    letter::WritePitReport(r, clock);
    r.resultFileText.clear();

    std::string details;
    SigningParts parts;
    bool unsignedDeclined = false; // the user answered No to sending without a signature
    // Asks for the signature details; false when the user gave the job up.
    auto askDetails = [&]() {
        details = m_signer.SignWithToken();
        if (details == "ERROR: CANCEL") return false;
        if (details == "ERROR: PRINT") {
            r.paperCopyAsked = true;
            unsignedDeclined = true;
            details.clear();
        } else if (!details.empty()) {
            parts = DeriveSigningParts(r, details, clock);
        }
        return true;
    };
    auto cancelled = [&] {
        out.status = Creation::Status::Cancelled;
        return out;
    };
    if (r.signingAsked) {
        // Giving up at the first question ends the job like giving up at a later one.
        if (!askDetails()) return cancelled();
        if (!details.empty()) m_handler.LogLine("Certificate Details:" + details);
    }

    // The RTF letter carries the signing note; the merged letter travels as one base64 line.
    // A letter that cannot be made is sent as a PIT report rather than lost.
    std::string letterRtf;
    bool rtfMade = false;
    auto makeRtfLetter = [&]() {
        r.resultFileText = SigningNote(details);
        rtfMade = m_letters && m_letters->MakeLetter(r, &letterRtf, r.letterHead);
        r.resultFileText.clear();
        if (!rtfMade)
            m_handler.LogLine("The RTF letter could not be made: the message is written as PIT instead.");
        return rtfMade;
    };

    // Without signature details the placeholder must not reach the message.
    CreatedMessage& message = out.message;
    message.recipient = r.addressee.email;
    auto writeContent = [&]() {
        ReplacePlaceholder(r.reportLines, details);
        if (rtf && makeRtfLetter()) {
            message.format = "RTF";
            message.content = Base64Encode(letterRtf) + "\r\n";
            return;
        }
        if (hl7) letter::WriteHl7Letter(r, clock);
        message.format = hl7 ? "HL7" : "PIT";
        message.content = JoinLines(hl7 ? r.hl7Lines : r.reportLines);
    };
    writeContent();

    if (r.signingAsked && !details.empty()) {
        auto sign = [&]() {
            if (rtfMade) {
                r.resultFileText = m_signer.BuildSignedBlock(parts.from, parts.to, parts.subject,
                                                             parts.fileBase + ".rtf", "", &letterRtf);
                return;
            }
            // HL7 segments are delivered ending in CR alone; the signature covers those bytes.
            const std::string content =
                hl7 ? StrStrip(JoinLines(r.hl7Lines), "\n") : JoinLines(r.reportLines);
            r.resultFileText =
                m_signer.BuildSignedBlock(parts.from, parts.to, parts.subject,
                                          parts.fileBase + (hl7 ? ".hl7" : ".pit"), content, nullptr);
        };
        sign();
        while (r.resultFileText.empty()) {
            m_signer.ClearTokenLogon();
            r.body = ReadMessageBody(jobText);
            letter::WritePitReport(r, clock);
            if (!askDetails()) return cancelled();
            writeContent();
            if (details.empty()) break; // sent unsigned, or declined
            sign();
        }
    }

    if (const auto p = r.resultFileText.find(kSignedMessageMarkerLine); p != std::string::npos)
        message.signedBlock = r.resultFileText.substr(p + std::string_view(kSignedMessageMarkerLine).size());
    r.resultFileText = SigningNote(details);
    CheckLetterPrinter(r.reportPrinter);
    const bool printed = r.paperCopyAsked && m_letters && m_letters->MakeLetter(r, nullptr, r.letterHead);
    // Declining an unsigned send means the message must not go out unsigned: the paper copy
    // stands in for it, when there is one.
    if (unsignedDeclined) {
        if (printed) {
            m_handler.LogLine(
                "Message for " + r.addressee.email +
                " not sent: sending it unsigned was declined; a paper copy was printed instead.");
            return cancelled();
        }
        m_handler.LogLine("Message for " + r.addressee.email +
                          " not sent: sending it unsigned was declined and no paper copy was printed.");
        out.status = Creation::Status::Failed;
        out.detail = "not sent and not printed";
        return out;
    }
    out.status = Creation::Status::Message;
    return out;
}

} // namespace vvp
