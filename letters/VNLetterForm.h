#pragma once

// Letters on the practice's letterhead: a template loaded, its <<Category:Field>> placeholders
// filled from the message record, and the result printed or kept as RTF.

#include "ActivityLog.h"
#include "PrintService.h"
#include "Prompter.h"
#include "Result.h"
#include "RtfDocument.h"
#include "txttopitdefhb262.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vvp {

inline constexpr const char* kDefaultLetterheadName = "defaultlh.rtf";

// The default template, the one "Recreate Default" writes: 28 lines, each ended by CR LF.
const std::string& DefaultLetterheadRtf();

// What a letter needs from the program.
struct LetterEnvironment {
    ActivityLog& log;
    Prompter& prompter;
    PrintService& printService;
    std::string programFolder;  // with a trailing separator
    std::string letterheadPath; // the LetterheadPath setting
    std::string reportPrinter;  // the letter printer
};

// The addressee address as message creation stores it (line 1, CR ", " line 2, CR ", " line 3).
struct AddresseeLines {
    std::string address1;
    std::string address2;
    std::string city;
    std::string postcode; // untrimmed: keeps the blank that followed the last comma
};
AddresseeLines SplitAddresseeAddress(const std::string& address);

using LetterField = std::pair<std::string, std::string>; // placeholder with brackets, value

// Every placeholder with its value, in the order they are replaced.
std::vector<LetterField> LetterFields(const letter::TPitFile& record);

// Replaces every occurrence of the placeholder in the visible text, letter case ignored; "<"
// and ">" are taken out of the value. Returns the number of replacements.
std::size_t ReplaceLetterField(RtfDocument& document, const std::string& field, const std::string& value);

// The printer a letter goes to: the name when the print service knows it, else the part before
// " on " (a shared printer's "name on server") when known, else nullopt.
std::optional<std::string> FindLetterPrinter(PrintService& printing, const std::string& name);

// The invisible letter form: one letter, loaded, merged, then printed or saved.
class TVNLetterFrm {
public:
    explicit TVNLetterFrm(LetterEnvironment environment);

    // The file a letterhead name stands for: a name with a folder is used as it is; otherwise the
    // first that exists of letterhead folder + name, program folder + name, program folder +
    // "defaultlh.rtf". Empty when none exists.
    std::string LetterheadFile(const std::string& name) const;

    // Loads the letterhead; an error when the file is missing or cannot be read as RTF (the
    // document is then empty).
    Result<void> LoadLetterhead(const std::string& name);
    // Loads the built-in default template.
    void LoadBuiltInLetterhead();

    void MergeFields(const letter::TPitFile& record);

    // Prints under the title on the printer; with ask (or no printer) the print dialog comes
    // first. false when nothing was printed (dialog cancelled or printing failed, both logged).
    bool PrintLetter(const std::string& title, bool ask, const std::string& printer = {});

    // The letter as RTF.
    const std::string& SaveLetter() const { return m_richEdit1.ToRtf(); }

    RtfDocument& RichEdit1() { return m_richEdit1; }
    const RtfDocument& RichEdit1() const { return m_richEdit1; }

private:
    LetterEnvironment m_env;
    RtfDocument m_richEdit1;
};

// The letter for message creation. Not enabled: nothing is done. With rtfOut the merged letter's
// RTF is returned there, without it a paper copy is printed. A letterhead that cannot be loaded
// is logged and the built-in default template is used, so no letter is lost. false when the
// letter could not be made (or, for a paper copy, not printed).
bool MakeLetter(const letter::TPitFile& record, bool enabled, std::string* rtfOut,
                const std::string& letterHead, LetterEnvironment environment);

} // namespace vvp
