// Loads arbitrary bytes as RTF; a document that loads must survive searching, editing and
// writing, and what it writes must read back to the text the edits made.
#include "RtfDocument.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// A document re-read from the written RTF is the twin of the edited one: the same edit must give
// the same bytes and text in both.
vvp::RtfDocument Reread(const vvp::RtfDocument& doc) {
    auto again = vvp::RtfDocument::FromString(doc.ToRtf());
    Check(again.ok());
    Check(again->VisibleText() == doc.VisibleText());
    return std::move(again.value());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    auto loaded = vvp::RtfDocument::FromString(input);
    if (!loaded.ok()) {
        Check(!loaded.error().message.empty());
        return 0;
    }
    vvp::RtfDocument doc = std::move(loaded.value());
    Check(doc.ToRtf() == input);
    (void)doc.PlainText();
    (void)doc.Paragraphs();

    // Edit places and texts come from the input itself, so the fuzzer steers them.
    std::uint32_t seed = 2166136261u;
    for (const std::uint8_t b : input)
        seed = (seed ^ b) * 16777619u;
    const char* texts[] = {"", "x", "1 a", " ", "\r\n", "{\\}", "\xE9\t", "-7", "<<X>>"};
    for (int step = 0; step < 6; ++step) {
        seed = seed * 1103515245u + 12345u;
        const std::size_t length = doc.Length();
        const std::size_t pos = length ? (seed >> 8) % (length + 1) : 0;
        const std::size_t len = (seed >> 4) % (length - pos + 1);
        const std::size_t found = doc.Find(doc.VisibleText().substr(pos, len), 0);
        Check(found != vvp::RtfDocument::npos && found <= pos);
        const char* text = texts[seed % (sizeof texts / sizeof texts[0])];
        vvp::RtfDocument twin = Reread(doc);
        doc.Replace(pos, len, text);
        twin.Replace(pos, len, text);
        Check(doc.ToRtf() == twin.ToRtf());
        Reread(doc);
    }
    doc.ReplaceAll("filled\r\nform");
    Reread(doc);
    return 0;
}
