#include "VNLetterForm.h"

#include "FileUtil.h"
#include "QZStringManip.h"

#include <cstdlib>

namespace vvp {

namespace {

std::string WithoutBrackets(const std::string& text) {
    return StrStrip(text, "<>");
}

// Given names + " " + family name; the family name alone without given names.
std::string FullName(const std::string& given, const std::string& family) {
    return given.empty() ? family : given + " " + family;
}

std::string BodyText(const StringList& body) {
    std::string text;
    for (const auto& line : body)
        text += line + "\r\n";
    return text;
}

std::string CommasToBlanks(const std::string& text) {
    return Trim(StrReplace(Trim(text), ",", " "));
}

std::vector<std::string> SplitAtCr(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t cr; (cr = text.find('\r', start)) != std::string::npos; start = cr + 1)
        parts.push_back(text.substr(start, cr - start));
    parts.push_back(text.substr(start));
    return parts;
}

} // namespace

const std::string& DefaultLetterheadRtf() {
    static const std::string text = [] {
        static const char* const lines[] = {
            R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033{\fonttbl{\f0\fswiss\fprq2\fcharset0 Arial;}{\f1\fswiss\fprq2\fcharset0 Verdana;}{\f2\fswiss\fcharset0 Arial;}})",
            R"({\*\generator Msftedit 5.41.15.1507;}\viewkind4\uc1\pard\nowidctlpar\qc\lang3081\f0\fs20\par)",
            R"(\f1\fs24 <<Doctor:Name>>\tab <<Doctor:E-mail>>\par)",
            R"(\fs12 Vocanet V1.5\fs24\par)",
            R"(\pard\nowidctlpar\qr\b\par)",
            R"(\pard\nowidctlpar\li568 <<Miscellaneous:Date>>\par)",
            R"(\pard\nowidctlpar\b0\par)",
            R"(\pard\nowidctlpar\li568\ul\b TO:\b0\par)",
            R"(\ulnone <<Addressee:Title>><<Addressee:Name>>\par)",
            R"(<<Addressee:Address 1>>\par)",
            R"(<<Addressee:Address 2>>\par)",
            R"(<<Addressee:City>><<Addressee:Postcode>>\par)",
            R"(<<Addressee:E-mail>>\par)",
            R"(\par)",
            R"(Dear <<Addressee:Title>><<Addressee:Surname>>,\par)",
            R"(\ul\b\par)",
            R"(RE:\par)",
            R"(\pard\nowidctlpar\ulnone\tab\tab <<\b0 Patient Demographics:Surname\b >>, <<\b0 Patient Demographics:First Name\b >> \par)",
            R"(\tab\tab <<\b0 Patient Demographics:Full Address\b >>\par)",
            R"(\tab\tab <<\b0 Patient Demographics:phone\b >>\par)",
            R"(\tab\tab <<\b0 Patient Demographics:DOB\b >>  <<\b0 Patient Demographics:Sex\b >>\par)",
            R"(\pard\brdrb\brdrs\brdrw10\brsp20 \nowidctlpar\par)",
            R"(\pard\nowidctlpar\li568 <<Message:Title>>\par)",
            R"(\pard\nowidctlpar\b0\par)",
            R"(<<Message:Text>>\b\par)",
            R"(\pard\lang1033\b0\f2\fs20\par)",
            R"(\pard\li568\fs16 <<Message:Signing>>\fs20\par)",
            R"(})",
        };
        std::string all;
        for (const char* line : lines)
            all += std::string(line) + "\r\n";
        return all;
    }();
    return text;
}

AddresseeLines SplitAddresseeAddress(const std::string& address) {
    const std::vector<std::string> lines = SplitAtCr(StrReplace(address, "\r, ", "\r"));
    auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string(); };
    AddresseeLines out;
    out.address1 = CommasToBlanks(line(0));
    out.address2 = CommasToBlanks(line(1));
    const std::string third = Trim(line(2));
    const auto comma = third.rfind(',');
    if (comma == std::string::npos) {
        out.postcode = third;
    } else {
        out.city = CommasToBlanks(third.substr(0, comma));
        out.postcode = third.substr(comma + 1);
    }
    return out;
}

std::vector<LetterField> LetterFields(const letter::TPitFile& r) {
    const letter::TDoctorRecord& doctor = r.doctors[1];
    const letter::TDoctorRecord& addressee = r.addressee;
    const AddresseeLines lines = SplitAddresseeAddress(addressee.address);
    return {
        {"<<Doctor:Name>>", FullName(doctor.givenNames, doctor.familyName)},
        {"<<Doctor:Provider Number>>", doctor.providerNumber},
        {"<<Doctor:E-mail>>", doctor.email},
        {"<<Doctor:Phone>>", doctor.phone},
        {"<<Doctor:Full Address>>", doctor.address},
        {"<<Miscellaneous:Date>>", r.messageDateText},
        {"<<Addressee:Name>>", FullName(addressee.givenNames, addressee.familyName)},
        {"<<Addressee:Address 1>>", lines.address1},
        {"<<Addressee:Address 2>>", lines.address2},
        {"<<Addressee:City>>", lines.city},
        {"<<Addressee:Postcode>>", lines.postcode},
        {"<<Addressee:E-mail>>", addressee.email},
        {"<<Addressee:Title>>", addressee.title},
        {"<<Addressee:Phone>>", addressee.phone},
        {"<<Addressee:Surname>>", addressee.familyName},
        {"<<Patient Demographics:Surname>>", r.patientSurname},
        {"<<Patient Demographics:First Name>>", r.patientGivenNames},
        {"<<Patient Demographics:Full Address>>", r.patientAddress},
        {"<<Patient Demographics:DOB>>", r.dobText},
        {"<<Patient Demographics:Sex>>", r.sex},
        {"<<Patient Demographics:Phone>>", r.patientPhone},
        {"<<Message:Title>>", r.messageTitle},
        {"<<Message:Text>>", BodyText(r.body)},
        {"<<Message:Signing>>", r.resultFileText},
    };
}

std::size_t ReplaceLetterField(RtfDocument& document, const std::string& field, const std::string& value) {
    const std::string needle = "<<" + LowerCase(WithoutBrackets(field)) + ">>";
    const std::string text = WithoutBrackets(value);
    std::size_t count = 0;
    std::size_t from = 0;
    // The search goes on after each replacement: searching from the start again would never end
    // when the value and the text around it spell the placeholder once more.
    for (;;) {
        const std::size_t at = document.Find(needle, from);
        if (at == RtfDocument::npos) break;
        const std::size_t inserted = document.Replace(at, needle.size(), text);
        if (inserted == RtfDocument::npos) break;
        from = at + inserted;
        ++count;
    }
    return count;
}

std::optional<std::string> FindLetterPrinter(PrintService& printing, const std::string& name) {
    if (name.empty()) return std::nullopt;
    const std::vector<std::string> printers = printing.PrinterNames();
    auto known = [&](const std::string& candidate) {
        for (const auto& p : printers)
            if (p == candidate) return true;
        return false;
    };
    if (known(name)) return name;
    // A shared printer is named "printer on server"; the printer alone may be known here.
    const auto on = name.find(" on ");
    if (on != std::string::npos && on > 0 && known(name.substr(0, on))) return name.substr(0, on);
    return std::nullopt;
}

TVNLetterFrm::TVNLetterFrm(LetterEnvironment environment) : m_env(std::move(environment)) {}

namespace {

// Whether the file, with links and ".." resolved, lies inside the folder.
bool LiesUnder(const std::string& file, const std::string& folder) {
    if (folder.empty()) return false;
    char* resolvedFile = realpath(file.c_str(), nullptr);
    char* resolvedFolder = realpath(folder.c_str(), nullptr);
    const bool inside = resolvedFile && resolvedFolder &&
                        std::string(resolvedFile).rfind(IncludeTrailingSeparator(resolvedFolder), 0) == 0;
    std::free(resolvedFile);
    std::free(resolvedFolder);
    return inside;
}

} // namespace

std::string TVNLetterFrm::LetterheadFile(const std::string& name) const {
    std::string fileName = name;
    if (name.find('/') != std::string::npos) {
        // The name comes from the printout: a folder in it may not reach files elsewhere on the
        // machine, whose text would then travel to a recipient of the sender's choosing.
        if (!FileExists(name)) return {};
        if (LiesUnder(name, m_env.letterheadPath) || LiesUnder(name, m_env.programFolder)) return name;
        m_env.log.LogLine(
            "Letterhead \"" + name +
            "\" is not a file in the letterhead folder or the program folder; the usual letterhead "
            "is used instead.");
        fileName = ExtractFileName(name);
    }
    // Templates come from Windows, where "Riverside.RTF" is the file "riverside.rtf".
    std::vector<std::string> candidates;
    if (!m_env.letterheadPath.empty() && !fileName.empty())
        candidates.push_back(ResolveFileNameNoCase(IncludeTrailingSeparator(m_env.letterheadPath), fileName));
    if (!fileName.empty()) candidates.push_back(ResolveFileNameNoCase(m_env.programFolder, fileName));
    candidates.push_back(ResolveFileNameNoCase(m_env.programFolder, kDefaultLetterheadName));
    for (const auto& candidate : candidates)
        if (FileExists(candidate)) return candidate;
    return {};
}

Result<void> TVNLetterFrm::LoadLetterhead(const std::string& name) {
    m_richEdit1 = RtfDocument();
    const std::string file = LetterheadFile(name);
    if (file.empty())
        return Error{name.find('/') != std::string::npos ? "Letterhead \"" + name + "\" does not exist"
                                                         : "Neither letterhead \"" + name + "\" nor \"" +
                                                               kDefaultLetterheadName + "\" exists"};
    auto loaded = RtfDocument::FromFile(file);
    if (!loaded) return loaded.error();
    m_richEdit1 = std::move(loaded.value());
    return Ok();
}

void TVNLetterFrm::LoadBuiltInLetterhead() {
    auto loaded = RtfDocument::FromString(DefaultLetterheadRtf());
    m_richEdit1 = loaded ? std::move(loaded.value()) : RtfDocument();
}

void TVNLetterFrm::MergeFields(const letter::TPitFile& record) {
    for (const auto& [field, value] : LetterFields(record))
        ReplaceLetterField(m_richEdit1, field, value);
}

bool TVNLetterFrm::PrintLetter(const std::string& title, bool ask, const std::string& printer) {
    std::string target = printer;
    if (ask || target.empty()) {
        auto chosen = m_env.prompter.ChoosePrinter(title);
        if (!chosen) {
            m_env.log.LogLine("Not printed (print dialog cancelled): " + title);
            return false;
        }
        target = *chosen;
    }
    if (auto printed = m_env.printService.Print(m_richEdit1, title, target); !printed) {
        m_env.log.LogLine("Not printed: " + title + ": " + printed.error().message);
        return false;
    }
    return true;
}

bool MakeLetter(const letter::TPitFile& record, bool enabled, std::string* rtfOut,
                const std::string& letterHead, LetterEnvironment environment) {
    if (!enabled) return true;
    ActivityLog& log = environment.log;
    PrintService& printing = environment.printService;
    const std::string folder = environment.letterheadPath;
    const std::string reportPrinter = environment.reportPrinter;
    TVNLetterFrm form(std::move(environment));
    if (!DirectoryExists(folder))
        log.LogLine("Letterhead path \"" + folder +
                    "\" specified does not exist. Using fail over methods to assign letterheads.");

    if (auto loaded = form.LoadLetterhead(letterHead); !loaded) {
        // Without a letterhead the letter is still made, on the built-in one, rather than lost.
        log.LogLine(loaded.error().message + "; the built-in letterhead is used.");
        form.LoadBuiltInLetterhead();
    }
    form.MergeFields(record);

    if (rtfOut) {
        *rtfOut = form.SaveLetter();
        return true;
    }
    const std::string title = record.patientSurname + " for " + record.addressee.familyName;
    const std::optional<std::string> printer = FindLetterPrinter(printing, reportPrinter);
    if (!form.PrintLetter(title, !printer, printer.value_or(std::string()))) return false;
    log.LogLine("Printed " + title);
    return true;
}

} // namespace vvp
