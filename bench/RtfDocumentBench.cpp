// Letterhead merging cost: a real template with every placeholder, and megabyte documents where
// anything quadratic would show.
#include "RtfDocument.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifndef VVP_LETTERHEAD_PATH
#define VVP_LETTERHEAD_PATH "tests/data/letters/default_letterhead.rtf"
#endif

namespace {

std::string Letterhead() {
    std::ifstream in(VVP_LETTERHEAD_PATH, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " VVP_LETTERHEAD_PATH);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::vector<std::pair<std::string, std::string>> kFields = {
    {"<<Doctor:Name>>", "Jane Citizen"},
    {"<<Doctor:Provider Number>>", "2345678B"},
    {"<<Doctor:E-mail>>", "jane@clinic.example"},
    {"<<Doctor:Phone>>", "02 9999 0000"},
    {"<<Doctor:Full Address>>", "1 Main St, Bondi NSW 2026"},
    {"<<Miscellaneous:Date>>", "01/02/2024"},
    {"<<Addressee:Name>>", "Bob Smith"},
    {"<<Addressee:Address 1>>", "Suite 4"},
    {"<<Addressee:Address 2>>", "22 High St"},
    {"<<Addressee:City>>", "Bondi NSW"},
    {"<<Addressee:Postcode>>", " 2026"},
    {"<<Addressee:E-mail>>", "bob@clinic.example"},
    {"<<Addressee:Title>>", "Dr "},
    {"<<Addressee:Phone>>", "02 8888 0000"},
    {"<<Addressee:Surname>>", "Smith"},
    {"<<Patient Demographics:Surname>>", "DOE"},
    {"<<Patient Demographics:First Name>>", "John"},
    {"<<Patient Demographics:Full Address>>", "5 Low Rd Manly"},
    {"<<Patient Demographics:DOB>>", "03/04/1950"},
    {"<<Patient Demographics:Sex>>", "M"},
    {"<<Patient Demographics:Phone>>", "0400 000 000"},
    {"<<Message:Title>>", "Referral"},
    {"<<Message:Text>>", "Thank you for seeing John.\r\nHe has a cough.\r\n"},
    {"<<Message:Signing>>", "Signed"},
};

// Search from the start for every replacement, as the letterhead merge does.
void MergeFromStart(vvp::RtfDocument& doc) {
    for (const auto& [placeholder, value] : kFields)
        for (auto pos = doc.Find(placeholder); pos != vvp::RtfDocument::npos; pos = doc.Find(placeholder))
            doc.Replace(pos, placeholder.size(), value);
}

void BM_MergeDefaultLetterhead(benchmark::State& state) {
    const std::string rtf = Letterhead();
    for (auto _ : state) {
        auto doc = vvp::RtfDocument::FromString(rtf);
        MergeFromStart(*doc);
        benchmark::DoNotOptimize(doc->ToRtf().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rtf.size()));
}
BENCHMARK(BM_MergeDefaultLetterhead)->Unit(benchmark::kMicrosecond);

// The default letterhead with a logo picture of about 1 MB in hexadecimal before its text.
void BM_MergeLetterheadWithLargeLogo(benchmark::State& state) {
    std::string rtf = Letterhead();
    const std::size_t at = rtf.find("\\viewkind4");
    std::string logo = "{\\pict\\pngblip\\picw100\\pich100\r\n";
    for (int line = 0; line < 8000; ++line)
        logo += std::string(128, 'f') + "\r\n";
    rtf.insert(at, logo + "}");
    for (auto _ : state) {
        auto doc = vvp::RtfDocument::FromString(rtf);
        MergeFromStart(*doc);
        benchmark::DoNotOptimize(doc->ToRtf().size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rtf.size()));
}
BENCHMARK(BM_MergeLetterheadWithLargeLogo)->Unit(benchmark::kMillisecond);

// About 1 MB: formatted paragraphs, a picture, and a placeholder with formatting inside it in
// every tenth paragraph.
std::string LargeDocument(std::size_t paragraphs) {
    std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}{\\colortbl;\\red255\\green0\\blue0;}"
        "{\\pict\\pngblip " +
        std::string(20000, 'a') + "}\\pard\\f0\\fs20 ";
    for (std::size_t i = 0; i < paragraphs; ++i) {
        rtf += "Line {\\b " + std::to_string(i) + "} of {\\i the} text \\'e9\\u8217\\'92 ";
        if (i % 10 == 0) rtf += "<<\\b0 Patient:Name\\b >> ";
        rtf += "\\par\r\n";
    }
    return rtf + "}";
}

void BM_LoadLargeDocument(benchmark::State& state) {
    const std::string rtf = LargeDocument(20000);
    for (auto _ : state)
        benchmark::DoNotOptimize(vvp::RtfDocument::FromString(rtf).ok());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rtf.size()));
}
BENCHMARK(BM_LoadLargeDocument)->Unit(benchmark::kMillisecond);

// Every placeholder of a large document replaced, searching on from the last replacement.
void BM_ReplaceThroughoutLargeDocument(benchmark::State& state) {
    const std::string rtf = LargeDocument(static_cast<std::size_t>(state.range(0)));
    const std::string placeholder = "<<patient:name>>";
    for (auto _ : state) {
        auto doc = vvp::RtfDocument::FromString(rtf);
        std::size_t replaced = 0;
        for (auto pos = doc->Find(placeholder); pos != vvp::RtfDocument::npos;
             pos = doc->Find(placeholder, pos)) {
            pos += doc->Replace(pos, placeholder.size(), "SMITH, John");
            ++replaced;
        }
        benchmark::DoNotOptimize(replaced);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReplaceThroughoutLargeDocument)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

void BM_ReplaceAllLargeDocument(benchmark::State& state) {
    const std::string rtf = LargeDocument(20000);
    const std::string filled(100000, 'x');
    for (auto _ : state) {
        auto doc = vvp::RtfDocument::FromString(rtf);
        benchmark::DoNotOptimize(doc->ReplaceAll(filled));
    }
}
BENCHMARK(BM_ReplaceAllLargeDocument)->Unit(benchmark::kMillisecond);

void BM_ParagraphsLargeDocument(benchmark::State& state) {
    const auto doc = vvp::RtfDocument::FromString(LargeDocument(20000));
    for (auto _ : state)
        benchmark::DoNotOptimize(doc->Paragraphs().size());
}
BENCHMARK(BM_ParagraphsLargeDocument)->Unit(benchmark::kMillisecond);

} // namespace
