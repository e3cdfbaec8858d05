#include "RtfDocument.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace vvp {
namespace {

RtfDocument Load(const std::string& rtf) {
    auto doc = RtfDocument::FromString(rtf);
    EXPECT_TRUE(doc.ok()) << (doc.ok() ? "" : doc.error().message) << "\n" << rtf;
    return doc.ok() ? std::move(doc.value()) : RtfDocument{};
}

// The written RTF must read back to the same visible text the edits produced.
void ExpectReadsBack(const RtfDocument& doc) {
    auto again = RtfDocument::FromString(doc.ToRtf());
    ASSERT_TRUE(again.ok()) << again.error().message << "\n" << doc.ToRtf();
    EXPECT_EQ(test::Visible(again->VisibleText()), test::Visible(doc.VisibleText())) << doc.ToRtf();
}

// Replaces every occurrence the way the letterhead merge does: search from the start each time.
void ReplaceEverywhere(RtfDocument& doc, const std::string& field, const std::string& value) {
    const std::string placeholder = "<<" + field + ">>";
    for (std::size_t pos = doc.Find(placeholder); pos != RtfDocument::npos; pos = doc.Find(placeholder))
        doc.Replace(pos, placeholder.size(), value);
}

std::string LetterheadPath() {
    return std::string(VVP_TEST_DATA_DIR) + "/letters/default_letterhead.rtf";
}

const std::string& Letterhead() {
    static const std::string bytes = [] {
        std::ifstream in(LetterheadPath(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    return bytes;
}

const std::vector<std::pair<std::string, std::string>> kFields = {
    {"Doctor:Name", "Jane Citizen"},
    {"Doctor:Provider Number", "2345678B"},
    {"Doctor:E-mail", "jane@clinic.example"},
    {"Doctor:Phone", "02 9999 0000"},
    {"Doctor:Full Address", "1 Main St, Bondi NSW 2026"},
    {"Miscellaneous:Date", "01/02/2024"},
    {"Addressee:Name", "Bob Smith"},
    {"Addressee:Address 1", "Suite 4"},
    {"Addressee:Address 2", "22 High St"},
    {"Addressee:City", "Bondi NSW"},
    {"Addressee:Postcode", " 2026"},
    {"Addressee:E-mail", "bob@clinic.example"},
    {"Addressee:Title", "Dr "},
    {"Addressee:Phone", "02 8888 0000"},
    {"Addressee:Surname", "Smith"},
    {"Patient Demographics:Surname", "DOE"},
    {"Patient Demographics:First Name", "John"},
    {"Patient Demographics:Full Address", "5 Low Rd Manly"},
    {"Patient Demographics:DOB", "03/04/1950"},
    {"Patient Demographics:Sex", "M"},
    {"Patient Demographics:Phone", "0400 000 000"},
    {"Message:Title", "Referral"},
    {"Message:Text", "Thank you for seeing John.\r\nHe has a cough.\r\n"},
    {"Message:Signing", "Signed by {token} C:\\keys \xE9t\xE9"},
};

const std::string kMergedVisible = std::string("\r") + "Jane Citizen\tjane@clinic.example\r"
                                                       "Vocanet V1.5\r"
                                                       "\r"
                                                       "01/02/2024\r"
                                                       "\r"
                                                       "TO:\r"
                                                       "Dr Bob Smith\r"
                                                       "Suite 4\r"
                                                       "22 High St\r"
                                                       "Bondi NSW 2026\r"
                                                       "bob@clinic.example\r"
                                                       "\r"
                                                       "Dear Dr Smith,\r"
                                                       "\r"
                                                       "RE:\r"
                                                       "\t\tDOE, John \r"
                                                       "\t\t5 Low Rd Manly\r"
                                                       "\t\t0400 000 000\r"
                                                       "\t\t03/04/1950  M\r"
                                                       "\r"
                                                       "Referral\r"
                                                       "\r"
                                                       "Thank you for seeing John.\rHe has a cough.\r\r"
                                                       "\r"
                                                       "Signed by {token} C:\\keys \xE9t\xE9\r";

TEST(RtfDocumentTest, DefaultLetterheadReadsAsTheControlShowsIt) {
    RtfDocument doc = Load(Letterhead());
    EXPECT_EQ(doc.ToRtf(), Letterhead());
    const std::string expected =
        std::string("\r") + "<<Doctor:Name>>\t<<Doctor:E-mail>>\r"
                            "Vocanet V1.5\r"
                            "\r"
                            "<<Miscellaneous:Date>>\r"
                            "\r"
                            "TO:\r"
                            "<<Addressee:Title>><<Addressee:Name>>\r"
                            "<<Addressee:Address 1>>\r"
                            "<<Addressee:Address 2>>\r"
                            "<<Addressee:City>><<Addressee:Postcode>>\r"
                            "<<Addressee:E-mail>>\r"
                            "\r"
                            "Dear <<Addressee:Title>><<Addressee:Surname>>,\r"
                            "\r"
                            "RE:\r"
                            "\t\t<<Patient Demographics:Surname>>, <<Patient Demographics:First Name>> \r"
                            "\t\t<<Patient Demographics:Full Address>>\r"
                            "\t\t<<Patient Demographics:phone>>\r"
                            "\t\t<<Patient Demographics:DOB>>  <<Patient Demographics:Sex>>\r"
                            "\r"
                            "<<Message:Title>>\r"
                            "\r"
                            "<<Message:Text>>\r"
                            "\r"
                            "<<Message:Signing>>\r";
    EXPECT_EQ(test::Visible(doc.VisibleText()), test::Visible(expected));
}

TEST(RtfDocumentTest, FindsEveryLetterheadPlaceholderWhateverItsCaseOrFormatting) {
    const RtfDocument doc = Load(Letterhead());
    for (const auto& [field, value] : kFields) {
        const std::string placeholder = "<<" + field + ">>";
        std::string lower = placeholder;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string upper = placeholder;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::size_t pos = doc.Find(placeholder);
        const bool inTemplate =
            field.rfind("Doctor:P", 0) != 0 && field != "Doctor:Full Address" && field != "Addressee:Phone";
        if (!inTemplate) {
            EXPECT_EQ(pos, RtfDocument::npos) << placeholder;
            continue;
        }
        ASSERT_NE(pos, RtfDocument::npos) << placeholder;
        EXPECT_EQ(doc.Find(lower), pos) << lower;
        EXPECT_EQ(doc.Find(upper), pos) << upper;
        EXPECT_EQ(doc.Find(placeholder, pos + 1) == RtfDocument::npos, field != "Addressee:Title")
            << placeholder;
    }
}

TEST(RtfDocumentTest, MergingTheLetterheadFillsEveryPlaceholder) {
    RtfDocument doc = Load(Letterhead());
    for (const auto& [field, value] : kFields)
        ReplaceEverywhere(doc, field, value);
    EXPECT_EQ(doc.Find("<<"), RtfDocument::npos);
    EXPECT_EQ(test::Visible(doc.VisibleText()), test::Visible(kMergedVisible));
    ExpectReadsBack(doc);
    // Untouched lines keep their bytes.
    EXPECT_EQ(doc.ToRtf().substr(0, 200), Letterhead().substr(0, 200));
    EXPECT_NE(doc.ToRtf().find("\\fs12 Vocanet V1.5\\fs24\\par\r\n"), std::string::npos);
    EXPECT_NE(doc.ToRtf().find("Signed by \\{token\\} C:\\\\keys \\'e9t\\'e9\\fs20\\par\r\n}"),
              std::string::npos);
    EXPECT_NE(doc.ToRtf().find("Thank you for seeing John.\\par He has a cough.\\par \\b\\par\r\n"),
              std::string::npos);
}

TEST(RtfDocumentTest, MergedValuesTakeTheFormatOfTheFirstPlaceholderCharacter) {
    RtfDocument doc = Load(Letterhead());
    for (const auto& [field, value] : kFields)
        ReplaceEverywhere(doc, field, value);
    const auto paragraphs = doc.Paragraphs();
    ASSERT_EQ(paragraphs.size(), 28u);

    // "\tab\tab <<\b0 ...Surname\b >>, <<\b0 ...First Name\b >> ": the brackets are bold, so are
    // the values; the text between them stays bold, as it was.
    const RtfParagraph& re = paragraphs[16];
    ASSERT_EQ(re.runs.size(), 1u);
    EXPECT_EQ(re.runs[0].text, "\t\tDOE, John ");
    EXPECT_TRUE(re.runs[0].bold);
    EXPECT_FALSE(re.runs[0].underline);

    const RtfParagraph& sender = paragraphs[1];
    EXPECT_EQ(sender.alignment, RtfAlignment::Centre);
    ASSERT_EQ(sender.runs.size(), 1u);
    EXPECT_EQ(sender.runs[0].fontName, "Verdana");
    EXPECT_EQ(sender.runs[0].fontSize, 24);
    EXPECT_EQ(paragraphs[2].runs[0].fontSize, 12);

    const RtfParagraph& signing = paragraphs.back();
    EXPECT_EQ(signing.leftIndent, 568);
    ASSERT_EQ(signing.runs.size(), 1u);
    EXPECT_EQ(signing.runs[0].fontSize, 16);
    EXPECT_EQ(signing.runs[0].fontName, "Arial");
}

TEST(RtfDocumentTest, UnchangedDocumentsWriteBackTheirBytes) {
    const std::string cases[] = {
        Letterhead(),
        "{\\rtf1 plain}",
        "{\\rtf1\\ansi{\\*\\unknown {nested} data}{\\pict\\wmetafile8 0123abcd\\bin4 {}\\x}text}\r\n",
        "{\\rtf1\\uc1\\u8217\\'92 \\uc0\\u233 x\\'e9\\~\\_\\-{\\field{\\*\\fldinst HYPERLINK}{\\fldrslt "
        "link}}}\0",
        std::string("{\\rtf1 a\0b\x01 c}", 14),
    };
    for (const auto& rtf : cases) {
        const RtfDocument doc = Load(rtf);
        EXPECT_EQ(doc.ToRtf(), rtf);
    }
}

TEST(RtfDocumentTest, VisibleTextSkipsWhatIsNotDisplayed) {
    struct Case {
        const char* rtf;
        std::string visible;
    };
    const Case cases[] = {
        {"{\\rtf1 a\\\\b\\{c\\}}", "a\\b{c}"},
        {"{\\rtf1 \\'e9\\'41\\'7B}", "\xE9"
                                     "A{"},
        {"{\\rtf1 a\\par b\\line c\\tab d\\\r\ne\\sect f}", "a\rb\vc\td\re\rf"},
        {"{\\rtf1 \\~\\_\\-x\\emdash\\lquote\\bullet}", "\xA0-x\x97\x91\x95"},
        {"{\\rtf1\\uc1 \\u8217\\'92s \\u233?\\u-3913?\\u20013?}", "\x92s \xE9??"},
        {"{\\rtf1\\uc2 \\u8364XYz{\\uc0\\u8364}w\\u8364\\'80\\'80v}", "\x80z\x80w\x80v"},
        {"{\\rtf1\\uc1 {\\u8364}X}", "\x80X"},
        {"{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}{\\stylesheet{\\s0 Normal;}}x}",
         "x"},
        {"{\\rtf1{\\info{\\title T}{\\author A}}{\\*\\generator G;}{\\*\\anything {x}y}x}", "x"},
        {"{\\rtf1{\\header H}{\\footer F}{\\pict 0102\\bin3 }}}}{\\object{\\objdata 00}{\\result R}}x}", "x"},
        {"{\\rtf1 a\\v hidden\\v0 b{\\v more}c}", "abc"},
        {"{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt shown}}}", "shown"},
        {"{\\rtf1 {\\unknownword a}\\foo b\\bar123 c}", "abc"},
        {"{\\rtf1 \\pard{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'b7}}item}", "item"},
        {"{\\rtf1 a\r\nb\tc\x01}", "ab\tc"},
    };
    for (const auto& c : cases) {
        const RtfDocument doc = Load(c.rtf);
        EXPECT_EQ(test::Visible(doc.VisibleText()), test::Visible(c.visible)) << c.rtf;
    }
}

TEST(RtfDocumentTest, PlainTextEndsEveryLineWithCrLf) {
    EXPECT_EQ(Load("{\\rtf1 A\\par B\\tab C}").PlainText(), "A\r\nB\tC\r\n");
    EXPECT_EQ(Load("{\\rtf1 A\\par B\\par}").PlainText(), "A\r\nB\r\n");
    EXPECT_EQ(Load("{\\rtf1 A\\line B\\par\\par}").PlainText(), "A\r\nB\r\n\r\n");
    EXPECT_EQ(Load("{\\rtf1 }").PlainText(), "");
}

TEST(RtfDocumentTest, FindIgnoresAsciiCaseOnly) {
    const RtfDocument doc = Load("{\\rtf1 Abc <<\\b X\\b0 >> abc \\'c9t\\'e9 aBC}");
    EXPECT_EQ(doc.Find("abc"), 0u);
    EXPECT_EQ(doc.Find("ABC", 1), 10u);
    EXPECT_EQ(doc.Find("abc", 21), RtfDocument::npos);
    EXPECT_EQ(doc.Find("<<x>>"), 4u);
    EXPECT_EQ(doc.Find("\xE9t\xE9"), RtfDocument::npos); // only ASCII letters fold
    EXPECT_EQ(doc.Find("\xC9t\xE9"), 14u);
    EXPECT_EQ(doc.Find(""), 0u);
    EXPECT_EQ(doc.Find("", 100), RtfDocument::npos);
    EXPECT_EQ(doc.Find("abc", 100), RtfDocument::npos);

    // Long needles over a text of near misses.
    std::string text(5000, 'a');
    text += 'b';
    const RtfDocument longDoc = Load("{\\rtf1 " + text + "}");
    EXPECT_EQ(longDoc.Find(std::string(100, 'A') + "B"), 4900u);
    EXPECT_EQ(longDoc.Find(std::string(100, 'A') + "C"), RtfDocument::npos);
    EXPECT_EQ(longDoc.Find(std::string(10, 'A') + "B"), 4990u);
}

TEST(RtfDocumentTest, ReplacedTextIsEscaped) {
    RtfDocument doc = Load("{\\rtf1\\f0 <<X>>}");
    const std::size_t shown = doc.Replace(0, 5, "a\\b{c}d\xE9\x14\r\ne\rf\ng\th\vi");
    EXPECT_EQ(doc.ToRtf(), "{\\rtf1\\f0 a\\\\b\\{c\\}d\\'e9\\'14\\par e\\par f\\par g\\tab h\\line i}");
    EXPECT_EQ(test::Visible(doc.VisibleText()), test::Visible("a\\b{c}d\xE9\x14\re\rf\rg\th\vi"));
    EXPECT_EQ(shown, doc.VisibleText().size());
    ExpectReadsBack(doc);
}

TEST(RtfDocumentTest, ReplacingAcrossGroupsKeepsTheFormatAfterTheSelection) {
    struct Case {
        const char* rtf;
        std::size_t pos, len;
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        // The text goes into the first character's group; the group's end stays.
        {"{\\rtf1 A{\\b BC}D\\i E\\i0 F}", 1, 3, "xy", "{\\rtf1 A{\\b xy}\\i E\\i0 F}"},
        // Formatting changes inside the selection stay behind the new text.
        {"{\\rtf1 <<\\b0 Name\\b >>, x}", 0, 8, "Smith", "{\\rtf1 Smith\\b0 \\b , x}"},
        // A control word ended by the first character gets a space so the text cannot join it.
        {"{\\rtf1\\b<<X>>\\b0 tail}", 0, 5, "1abc", "{\\rtf1\\b 1abc\\b0 tail}"},
        {"{\\rtf1\\b<<X>>def}", 0, 5, "", "{\\rtf1\\b def}"},
        {"{\\rtf1 <<\\i>>abc}", 0, 4, "", "{\\rtf1 \\i abc}"},
        {"{\\rtf1 a\\par\\pard\\qc b}", 1, 1, " ", "{\\rtf1 a \\pard\\qc b}"},
        // A '-' after an undelimited control word must not take a new digit as its parameter.
        {"{\\rtf1\\b-x}", 1, 1, "5", "{\\rtf1\\b-{}5}"},
        {"{\\rtf1 a\\par-x5}", 3, 1, "", "{\\rtf1 a\\par-{}5}"},
        {"{\\rtf1\\b-}", 1, 0, "5", "{\\rtf1\\b-{}5}"},
        // Removed \uN characters go with their fallback bytes.
        {"{\\rtf1\\uc1 x\\u8217\\'92y}", 1, 1, "'", "{\\rtf1\\uc1 x'y}"},
        // Insertion takes the place of the character at pos.
        {"{\\rtf1 ab{\\i cd}}", 2, 0, "X", "{\\rtf1 ab{\\i Xcd}}"},
        {"{\\rtf1 ab{\\i cd}}", 4, 0, "X", "{\\rtf1 ab{\\i cdX}}"},
        {"{\\rtf1\\ansi}", 0, 0, "X", "{\\rtf1\\ansi X}"},
        {"{\\rtf1\\uc1 a{\\u8364}}", 2, 0, "X", "{\\rtf1\\uc1 a{\\u8364{}X}}"},
        // Out-of-range selections are clipped.
        {"{\\rtf1 abc}", 1, 99, "Z", "{\\rtf1 aZ}"},
    };
    for (const auto& c : cases) {
        RtfDocument doc = Load(c.rtf);
        doc.Replace(c.pos, c.len, c.text);
        EXPECT_EQ(doc.ToRtf(), c.expected) << c.rtf;
        ExpectReadsBack(doc);
    }

    RtfDocument doc = Load("{\\rtf1 A{\\b BC}D\\i E\\i0 F}");
    doc.Replace(1, 3, "xy");
    const auto paragraphs = doc.Paragraphs();
    ASSERT_EQ(paragraphs.size(), 1u);
    const auto& runs = paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[1].text, "xy");
    EXPECT_TRUE(runs[1].bold);
    EXPECT_TRUE(runs[2].italic);
    EXPECT_FALSE(runs[2].bold);
    EXPECT_FALSE(runs[3].italic);
}

TEST(RtfDocumentTest, RandomEditsAlwaysReadBack) {
    // Edits at every kind of boundary must leave RTF that reads back to what the edits made, and
    // the next edit must give the same bytes whether made on the edited or the re-read document.
    const std::string source = "{\\rtf1\\ansi\\uc1{\\fonttbl{\\f0 Arial;}}\\b<<A\\i>>x\\u8217\\'92{\\v "
                               "h}y{\\b0 z}\\'e9\\par\\pard\\qc"
                               "{\\*\\bkmkstart q}\\tab\\tab w{\\field{\\*\\fldinst X}{\\fldrslt "
                               "r}}\\uc0\\u8364\\u8364{}\\uc1\\u8364\\b end}";
    const char* texts[] = {"", "a", "1 x", " ", "\r\n", "{\\}", "\xE9\tz", "-5"};
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        RtfDocument doc = Load(source);
        for (int step = 0; step < 8; ++step) {
            const std::size_t size = doc.Length();
            const std::size_t pos = rng() % (size + 1);
            const std::size_t len = rng() % (size - pos + 1);
            const char* text = texts[rng() % std::size(texts)];
            RtfDocument twin = Load(doc.ToRtf());
            doc.Replace(pos, len, text);
            twin.Replace(pos, len, text);
            ASSERT_EQ(doc.ToRtf(), twin.ToRtf()) << "round " << round << " step " << step;
            ExpectReadsBack(doc);
            if (HasFailure()) return;
        }
    }
}

TEST(RtfDocumentTest, ReplaceAllKeepsTheHeaderAndTheFirstCharacterFormat) {
    RtfDocument form = Load("{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\pard\\li100\\f0\\fs18 AAAA\\par{\\b "
                            "BBB}\\par\\pard\\qr C}\r\n");
    EXPECT_EQ(form.ReplaceAll("x\r\n{y}"), 5u);
    EXPECT_EQ(form.ToRtf(),
              "{\\rtf1{\\fonttbl{\\f0 Courier New;}}\\pard\\li100\\f0\\fs18 x\\par \\{y\\}}\r\n");
    const auto paragraphs = form.Paragraphs();
    ASSERT_EQ(paragraphs.size(), 2u);
    for (const auto& p : paragraphs) {
        EXPECT_EQ(p.leftIndent, 100);
        ASSERT_EQ(p.runs.size(), 1u);
        EXPECT_EQ(p.runs[0].fontName, "Courier New");
        EXPECT_EQ(p.runs[0].fontSize, 18);
        EXPECT_FALSE(p.runs[0].bold);
    }

    // A first character inside groups: the groups are closed after the text.
    RtfDocument nested = Load("{\\rtf1{\\b{\\i AB}C}D}");
    nested.ReplaceAll("Z");
    EXPECT_EQ(nested.ToRtf(), "{\\rtf1{\\b{\\i Z}}}");

    RtfDocument letter = Load(Letterhead());
    letter.ReplaceAll("Filled");
    EXPECT_EQ(letter.VisibleText(), "Filled");
    EXPECT_EQ(letter.ToRtf(), Letterhead().substr(0, Letterhead().find("\\fs20\\par") + 5) + " Filled}\r\n");

    RtfDocument empty = Load("{\\rtf1\\ansi\\deff0}");
    EXPECT_EQ(empty.ReplaceAll("abc"), 3u);
    EXPECT_EQ(empty.ToRtf(), "{\\rtf1\\ansi\\deff0 abc}");
}

TEST(RtfDocumentTest, ParagraphsCarryTheirFormat) {
    const RtfDocument doc = Load(
        "{\\rtf1\\deff1{\\fonttbl{\\f0\\froman Times;}{\\f1 Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}"
        "\\pard\\qj\\li720\\ri360\\fi-200\\sb120\\sa60\\tx1000\\tqr\\tx5000 plain \\b\\i\\ul\\cf1\\f0\\fs28 "
        "fancy\\par\\pard\\plain\\qc centred{\\ulnone\\b x}\\par\\pard\\qr right}");
    const auto paragraphs = doc.Paragraphs();
    ASSERT_EQ(paragraphs.size(), 3u);
    const auto& first = paragraphs[0];
    EXPECT_EQ(first.alignment, RtfAlignment::Justify);
    EXPECT_EQ(first.leftIndent, 720);
    EXPECT_EQ(first.rightIndent, 360);
    EXPECT_EQ(first.firstLineIndent, -200);
    EXPECT_EQ(first.spaceBefore, 120);
    EXPECT_EQ(first.spaceAfter, 60);
    EXPECT_EQ(first.tabStops, (std::vector<RtfTabStop>{{1000, RtfTabKind::Left}, {5000, RtfTabKind::Right}}));
    ASSERT_EQ(first.runs.size(), 2u);
    EXPECT_EQ(first.runs[0].text, "plain ");
    EXPECT_EQ(first.runs[0].fontName, "Arial");
    EXPECT_TRUE(first.runs[0].colour.automatic);
    EXPECT_EQ(first.runs[1].text, "fancy");
    EXPECT_EQ(first.runs[1].fontName, "Times");
    EXPECT_EQ(first.runs[1].fontSize, 28);
    EXPECT_TRUE(first.runs[1].bold && first.runs[1].italic && first.runs[1].underline);
    EXPECT_EQ(first.runs[1].colour, (RtfColour{false, 255, 0, 0}));

    const auto& second = paragraphs[1];
    EXPECT_EQ(second.alignment, RtfAlignment::Centre);
    EXPECT_TRUE(second.tabStops.empty());
    ASSERT_EQ(second.runs.size(), 2u);
    EXPECT_EQ(second.runs[0].fontName, "Arial");
    EXPECT_FALSE(second.runs[0].bold);
    EXPECT_TRUE(second.runs[1].bold);
    EXPECT_FALSE(second.runs[1].underline);

    EXPECT_EQ(paragraphs[2].alignment, RtfAlignment::Right);
    EXPECT_EQ(paragraphs[2].runs[0].text, "right");
}

TEST(RtfDocumentTest, MalformedDocumentsAreRefusedWithAReason) {
    struct Case {
        std::string rtf;
        const char* reason;
    };
    std::string garbage;
    std::mt19937 rng(3);
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(static_cast<char>(rng()));
    const Case cases[] = {
        {"", "does not start"},
        {"Hello, world", "does not start"},
        {"\xEF\xBB\xBF{\\rtf1 x}", "does not start"},
        {garbage, "does not start"},
        {"{\\rtf1 abc", "ends before 1"},
        {"{\\rtf1 {\\b abc}", "ends before 1"},
        {"{\\rtf1 {{{", "ends before 4"},
        {"{\\rtf1 abc}}", "after the end"},
        {"{\\rtf1 abc} trailing", "after the end"},
        {"{\\rtf1 abc\\", "Backslash at the end"},
        {"{\\rtf1 \\'4", "cut short"},
        {"{\\rtf1 \\'zz}", "Invalid hexadecimal"},
        {"{\\rtf1 \\bin100 abc}", "past the end"},
        {"{\\rtf1 \\bin-5 abc}", "Negative"},
        {"{\\rtf1" + std::string(200000, '{') + std::string(200001, '}'), "nested deeper than 1000"},
        {"{\\rtf1" + garbage, ""},
    };
    for (const auto& c : cases) {
        auto doc = RtfDocument::FromString(c.rtf);
        if (doc.ok()) {
            ADD_FAILURE() << "accepted: " << test::Visible(c.rtf.substr(0, 60));
            continue;
        }
        EXPECT_FALSE(doc.error().message.empty());
        EXPECT_NE(doc.error().message.find(c.reason), std::string::npos) << doc.error().message;
    }

    const std::string huge = "{\\rtf1 " + std::string(RtfDocument::kMaxSize, ' ') + "}";
    auto tooLarge = RtfDocument::FromString(huge);
    ASSERT_FALSE(tooLarge.ok());
    EXPECT_NE(tooLarge.error().message.find("too large"), std::string::npos);

    const std::string deepButFine = "{\\rtf1" + std::string(998, '{') + "x" + std::string(999, '}');
    EXPECT_EQ(Load(deepButFine).VisibleText(), "x");

    auto missing = RtfDocument::FromFile("/nonexistent/letterhead.rtf");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("/nonexistent/letterhead.rtf"), std::string::npos);
}

TEST(RtfDocumentTest, AnEmptyDocumentObjectStaysEmpty) {
    RtfDocument doc;
    EXPECT_EQ(doc.Find("x"), RtfDocument::npos);
    EXPECT_EQ(doc.Replace(0, 0, "x"), RtfDocument::npos);
    EXPECT_EQ(doc.ReplaceAll("x"), RtfDocument::npos);
    EXPECT_EQ(doc.ToRtf(), "");
    EXPECT_EQ(doc.PlainText(), "");
    EXPECT_TRUE(doc.Paragraphs().empty());
}

TEST(RtfDocumentTest, UnrtfReadsTheMergedLetter) {
    if (std::system("command -v unrtf >/dev/null 2>&1") != 0) GTEST_SKIP() << "unrtf is not installed";
    auto loaded = RtfDocument::FromFile(LetterheadPath());
    ASSERT_TRUE(loaded.ok()) << loaded.error().message;
    RtfDocument doc = std::move(loaded.value());
    for (const auto& [field, value] : kFields)
        ReplaceEverywhere(doc, field, value);

    test::TempDir dir;
    dir.Write("letter.rtf", doc.ToRtf());
    const std::string command =
        "unrtf --text '" + dir.File("letter.rtf") + "' > '" + dir.File("letter.txt") + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string text = dir.Read("letter.txt");
    for (const char* value :
         {"Jane Citizen", "jane@clinic.example", "01/02/2024", "Dr Bob Smith", "Suite 4", "Bondi NSW 2026",
          "Dear Dr Smith,", "DOE, John", "5 Low Rd Manly", "0400 000 000", "03/04/1950", "Referral",
          "Thank you for seeing John.", "He has a cough.", "Signed by {token} C:\\keys"})
        EXPECT_NE(text.find(value), std::string::npos) << value << "\n" << text;
    EXPECT_EQ(text.find("<<"), std::string::npos) << text;
}

} // namespace
} // namespace vvp
