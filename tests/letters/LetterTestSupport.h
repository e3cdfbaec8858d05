#pragma once

#include "PrintService.h"
#include "RtfDocument.h"
#include "TestSupport.h"
#include "txttopitdefhb262.h"

#include <string>
#include <vector>

namespace vvp::test {

// Printers that only remember what they were asked to print.
class RecordingPrintService final : public PrintService {
public:
    struct Job {
        std::string rtf;
        std::string plainText;
        std::string title;
        std::string printer;
    };
    std::vector<std::string> printers;
    std::vector<Job> jobs;

    std::vector<std::string> PrinterNames() override { return printers; }
    std::string DefaultPrinter() override { return printers.empty() ? std::string() : printers.front(); }
    Result<void> Print(const RtfDocument& document, const std::string& jobTitle,
                       const std::string& printer) override {
        jobs.push_back({document.ToRtf(), document.PlainText(), jobTitle, printer});
        return Ok();
    }
};

// A message record with every field the letterhead shows filled, as message creation leaves it
// (the addressee address joined with CR ", ").
inline letter::TPitFile FullLetterRecord() {
    letter::TPitFile r;
    letter::TDoctorRecord& d = r.doctors[1];
    d.givenNames = "John";
    d.familyName = "Citizen";
    d.providerNumber = "0123456A";
    d.email = "john.citizen@harbour.example.com.au";
    d.phone = "(02) 9300 1111";
    d.address = "1 Main Road Bondi NSW 2026";
    r.doctors[0] = d;
    r.messageDateText = "08/12/2026 10:30";
    r.addressee.title = "Dr ";
    r.addressee.givenNames = "Anne";
    r.addressee.familyName = "Specialist";
    r.addressee.address = "Suite 4  12 Harbour Street\r, Level 2  Harbour Clinic\r, Bondi NSW, 2026";
    r.addressee.email = "anne.specialist@clinic.example.com.au";
    r.addressee.phone = "(02) 9555 1234";
    r.patientSurname = "SMITH";
    r.patientGivenNames = "Mary Jane";
    r.patientAddress = "5 Beach Street Bondi NSW 2026";
    r.dobText = "01/02/1950";
    r.sex = "F";
    r.patientPhone = "0412 345 678";
    r.messageTitle = "Referral letter";
    r.body = {"Dear Anne,", "", "Thank you for seeing Mary.", "Kind regards,"};
    r.resultFileText = "Vocanet has prepared an electronic version of this document digitally signed by:\r\n"
                       " Dr J Citizen";
    return r;
}

// The values of FullLetterRecord as a reader of the letter sees them.
inline std::vector<std::string> FullLetterValues() {
    return {"John Citizen",
            "john.citizen@harbour.example.com.au",
            "08/12/2026 10:30",
            "Dr Anne Specialist",
            "Suite 4  12 Harbour Street",
            "Level 2  Harbour Clinic",
            "Bondi NSW 2026",
            "anne.specialist@clinic.example.com.au",
            "Dear Dr Specialist,",
            "SMITH, Mary Jane",
            "5 Beach Street Bondi NSW 2026",
            "0412 345 678",
            "01/02/1950  F",
            "Referral letter",
            "Thank you for seeing Mary.",
            "digitally signed by:"};
}

// Whether a command-line tool is installed.
inline bool HaveTool(const std::string& name) {
    return RunCommand("command -v " + name + " >/dev/null").status == 0;
}

// Text with runs of white space folded into one blank, so texts extracted by different tools
// compare.
inline std::string Squeezed(const std::string& text) {
    std::string out;
    bool blank = false;
    for (const char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' ||
                           static_cast<unsigned char>(c) == 0xA0;
        if (space) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

} // namespace vvp::test
