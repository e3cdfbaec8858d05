#include "uPrintGenericRequest.h"

#include "FileUtil.h"
#include "OrmWriter.h"
#include "QZStringManip.h"

#include <optional>

namespace vvp::pathology {

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(sep, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

std::string Item(const std::string& list, std::size_t index) {
    const auto parts = Split(list, ';');
    return index < parts.size() ? parts[index] : std::string();
}

std::string Line(const std::vector<std::string>& lines, std::size_t index) {
    return index < lines.size() ? lines[index] : std::string();
}

std::string Mark(bool on) {
    return on ? "X" : "";
}

// Words of a free text. Line breaks count as blanks: a value has to stay on its line of the form.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    for (auto& w : Split(StrReplace(StrReplace(text, "\r", " "), "\n", " "), ' '))
        if (!w.empty()) words.push_back(w);
    return words;
}

// The value in its run: control characters (line breaks, the hard blank of addresses) print as
// blanks, so nothing leaves its place on the form.
std::string Fit(std::string value, std::size_t width) {
    for (char& c : value)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    value.resize(width, ' ');
    return value;
}

std::string DateText(TDateTime value) {
    return FormatDateTime("dd/mm/yyyy", value);
}

class FormFiller {
public:
    explicit FormFiller(TPitFile& record) : m_r(record) {}

    // The value of a code; nullopt for characters that carry no field.
    std::optional<std::string> Value(char code, std::size_t width) {
        TPitFile& r = m_r;
        const tReferralTicks& t = r.Ticks;
        const TDoctorRecord& doctor = r.Doctors[1];
        switch (code) {
        case 'A':
            return r.MedicareNo + " - " + std::to_string(r.MedicareIrn);
        case 'B': {
            // The parser keeps the blank after a title ("MR JOHN" leaves " JOHN").
            const std::string given = Trim(r.GivenNames);
            std::string name = given.empty() ? r.Surname : r.Surname + ", " + given;
            if (!r.Title.empty()) name += " (" + r.Title + ")";
            return name;
        }
        case 'C':
            return r.Sex.empty() ? std::string("U") : r.Sex;
        case 'D':
            return DateText(r.Dob);
        case 'E':
            return r.YourRef.empty() ? r.OrderNo : r.YourRef;
        case 'F':
            return Item(r.Address, 0);
        case 'G':
            return Item(r.Address, 1);
        case 'J':
            return Item(r.Address, 2);
        case 'H':
            return Item(r.Phones, 0);
        case 'I':
            return Item(r.Phones, 1);
        case 'u':
            return StrReplace(r.Address, ";", ",");
        case 'K':
            return Line(Tests(width), 0);
        case 'L':
            return Line(Tests(width), 1);
        case 'N':
            return Line(Tests(width), 2);
        case 'P':
            return Line(Tests(width), 3);
        case 'R':
            return Line(Tests(width), 4);
        case 'T':
            return Line(Tests(width), 5);
        case 'W':
            return Line(Notes(width), 0);
        case 'Y':
            return Line(Notes(width), 1);
        case '[':
            return Line(Notes(width), 2);
        case ']':
            return Line(Notes(width), 3);
        case '_':
            return Line(Notes(width), 4);
        case 'p':
            return Line(CopyTo(width), 0);
        case 'q':
            return Line(CopyTo(width), 1);
        case 'r':
            return Line(CopyTo(width), 2);
        case 's':
            return Line(CopyTo(width), 3);
        case 'M':
            return Mark(t.Fasting);
        case 'O':
            return Mark(t.Random);
        case 'Q':
            return Mark(t.Pregnant);
        case 'S':
            return Mark(t.OnHormones);
        case 'U':
            return t.Lnmp;
        case 'V':
            return t.Edc;
        case 'X':
            return Mark(t.CytologySite == 0);
        case 'Z':
            return Mark(t.CytologySite == 1);
        case '\\':
            return Mark(t.CytologySite == 2);
        case '^':
            return Mark(t.CytologySite == 3);
        case 'k':
            return Mark(t.CervixAppearance == 0);
        case 'o':
            return Mark(t.CervixAppearance == 1);
        case '`':
            return Mark(t.PostNatal);
        case 'b':
            return Mark(t.PostMenopausal);
        case 'c':
            return Mark(t.PastRadiotherapy);
        case 'd':
            return Mark(t.Iucd);
        case 'i':
            return Mark(t.AbnormalBleeding);
        case 'e':
            return Mark(t.Urgent);
        case 'f':
            return Mark(!t.PhoneResultsTo.empty());
        case 'g':
            return Mark(!t.FaxResultsTo.empty());
        case 'h':
            return t.ResultsBy;
        case 'j':
            return Trim(t.PhoneResultsTo + " " + t.FaxResultsTo);
        case 'l':
            return Mark(t.Billing == 0);
        case 'm':
            return Mark(t.Billing == 1);
        case 'n':
            return Mark(t.Billing == 2);
        case '+':
            return t.BillingNumber;
        case '}':
            return Mark(t.SelfDetermined);
        case 'a':
            return Mark(t.Rule3Exempt);
        case 'v':
            return doctor.ProviderNo;
        case 'w':
            return Trim(doctor.Title + " " + UpperCase(doctor.FamilyName) + "," + doctor.GivenName);
        case 'x':
            return Item(doctor.Address, 0);
        case 'y':
            return Item(doctor.Address, 1);
        case 'z':
            return Item(doctor.Address, 2);
        case '{':
            return "PH:" + doctor.Phone + " FAX:" + doctor.Fax;
        case '|':
            return DateText(r.RequestDate);
        default:
            return std::nullopt;
        }
    }

private:
    // Each wrapped value is made once, at the width of the first run that shows it.
    const std::vector<std::string>& Tests(std::size_t width) {
        if (!m_tests) {
            std::vector<std::string> items;
            for (const auto& item : Split(StrReplace(m_r.Tests, "; ", ";"), ';'))
                if (!Trim(item).empty()) items.push_back(Trim(item));
            std::string joined;
            for (const auto& item : items)
                joined += (joined.empty() ? "" : ";") + item;
            m_r.Tests = joined; // the order written afterwards sees the trimmed test names
            m_tests = WrapItems(items, ';', width);
        }
        return *m_tests;
    }
    const std::vector<std::string>& Notes(std::size_t width) {
        if (!m_notes) {
            tReferralTicks ticks = m_r.Ticks;
            m_notes = WrapItems(Words(BuildClinicalNotes(ticks)), ' ', width);
        }
        return *m_notes;
    }
    const std::vector<std::string>& CopyTo(std::size_t width) {
        if (!m_copyTo) m_copyTo = WrapItems(Words(m_r.CopyToText), ' ', width);
        return *m_copyTo;
    }

    TPitFile& m_r;
    std::optional<std::vector<std::string>> m_tests, m_notes, m_copyTo;
};

} // namespace

std::string RequestFormTemplate(const std::string& programFolder, const std::string& labName) {
    // A laboratory name is a file name here, never a way into another folder.
    const bool usableLabName =
        !labName.empty() && labName.find('/') == std::string::npos && labName != "." && labName != "..";
    if (usableLabName) {
        const std::string labForm = ResolveFileNameNoCase(programFolder, labName + kLabRequestFormSuffix);
        if (FileExists(labForm)) return labForm;
    }
    const std::string form = ResolveFileNameNoCase(programFolder, kGeneralRequestForm);
    return FileExists(form) ? form : std::string();
}

std::vector<std::string> WrapItems(const std::vector<std::string>& items, char sep, std::size_t width) {
    std::vector<std::string> lines;
    std::string line;
    bool started = false;
    for (const auto& item : items) {
        if (!started) {
            line = item;
            started = true;
        } else if (line.size() + 1 + item.size() > width && !line.empty()) {
            lines.push_back(line + sep);
            line = item;
        } else {
            line += sep + item;
        }
    }
    if (started) lines.push_back(line);
    return lines;
}

std::string FillRequestForm(const std::string& picture, TPitFile& record) {
    FormFiller filler(record);
    std::string out;
    auto emit = [&](char code, std::size_t length) {
        if (code == '\r') {
            out += "\r\n";
            return;
        }
        const std::optional<std::string> value = filler.Value(code, length);
        out += value ? Fit(*value, length) : std::string(length, ' ');
    };
    bool inRun = false;
    char code = 0;
    std::size_t length = 0;
    for (const char c : picture) {
        if (c == '\n') continue;
        if (inRun && c == code) {
            ++length;
            continue;
        }
        if (inRun) emit(code, length);
        inRun = true;
        code = c;
        length = 1;
    }
    // The picture ends with a line end, the last run, which is not emitted.
    return out;
}

TfmPrintReqForm::TfmPrintReqForm(RequestFormEnvironment environment) : m_env(std::move(environment)) {}

void TfmPrintReqForm::Log(const std::string& text) {
    if (m_env.log) m_env.log->LogLine(text);
}

bool TfmPrintReqForm::PrintRequestForm(const std::string& reportPrinter, TPitFile& record) {
    const std::string file = RequestFormTemplate(m_env.programFolder, record.LabName);
    if (file.empty()) return false;
    auto loaded = RtfDocument::FromFile(file);
    if (!loaded) {
        Log("Request form not printed: " + loaded.error().message);
        return false;
    }
    m_redReqForm = std::move(loaded.value());
    const std::string filled = FillRequestForm(m_redReqForm.PlainText(), record);
    if (m_redReqForm.ReplaceAll(filled) == RtfDocument::npos) {
        Log("Request form not printed: the filled form is too large");
        return false;
    }

    std::string printer = reportPrinter;
    const std::string title = "Request Form " + record.Surname + ", " + record.GivenNames;
    if (printer.empty() || !m_env.printService.HasPrinter(printer)) {
        auto chosen = m_env.prompter.ChoosePrinter(title);
        if (!chosen) return false;
        printer = *chosen;
    }
    if (auto printed = m_env.printService.Print(m_redReqForm, title, printer); !printed) {
        Log("Request form not printed: " + printed.error().message);
        return false;
    }
    return true;
}

bool PrintRequestForm(const std::string& reportPrinter, TPitFile& record,
                      const RequestFormEnvironment& environment) {
    TfmPrintReqForm form(environment);
    return form.PrintRequestForm(reportPrinter, record);
}

} // namespace vvp::pathology
