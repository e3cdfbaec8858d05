// Base64 against OpenSSL's block routines on the same bytes, and free-text date conversions.
#include "QZStringManip.h"
#include "simplebase64.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kMiB = 1024 * 1024;

const std::string& Bytes() {
    static const std::string bytes = [] {
        std::mt19937 random(20050312);
        std::string b(kMiB, '\0');
        for (auto& c : b)
            c = static_cast<char>(random() & 0xFF);
        return b;
    }();
    return bytes;
}

const std::string& Encoded() {
    static const std::string text = vvp::Base64Encode(Bytes());
    return text;
}

void OurEncode(benchmark::State& state) {
    const std::string& in = Bytes();
    for (auto _ : state) {
        std::string out = vvp::Base64Encode(in);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void OpenSslEncode(benchmark::State& state) {
    const std::string& in = Bytes();
    std::vector<unsigned char> out(Encoded().size() + 1);
    for (auto _ : state) {
        const int n = EVP_EncodeBlock(out.data(), reinterpret_cast<const unsigned char*>(in.data()),
                                      static_cast<int>(in.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void OurDecode(benchmark::State& state) {
    const std::string& text = Encoded();
    for (auto _ : state) {
        std::string out = vvp::Base64Decode(text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes().size()));
}

void OpenSslDecode(benchmark::State& state) {
    const std::string& text = Encoded();
    std::vector<unsigned char> out(text.size() / 4 * 3 + 3);
    for (auto _ : state) {
        const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes().size()));
}

const std::vector<std::string> kDateTexts = {
    "12 March 2005",
    "March 12, 2005",
    "Monday, 3rd of June 2004",
    "12 MAR 05",
    "12 MAR 99",
    "12 MAR 150",
    "MAR 12 1885",
    "12 MAR 1885",
    "2005-03-12",
    "12/03/2005 10:30",
    "12/03/2005 11:15:20 pm",
    "12 MAR 2005 12:05 am",
    "10:30",
    "",
    "XY",
    "12 XYZ 2005",
    "12 FOO 2005",
};

void FreeTextDates(benchmark::State& state) {
    for (auto _ : state)
        for (const auto& text : kDateTexts)
            benchmark::DoNotOptimize(vvp::FreeTextToDateTime(text));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kDateTexts.size()));
}

void FreeTextDatesReport(benchmark::State& state) {
    for (auto _ : state)
        for (const auto& text : kDateTexts)
            benchmark::DoNotOptimize(vvp::FreeTextToDateTimeReport(text));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kDateTexts.size()));
}

} // namespace

BENCHMARK(OurEncode);
BENCHMARK(OpenSslEncode);
BENCHMARK(OurDecode);
BENCHMARK(OpenSslDecode);
BENCHMARK(FreeTextDates);
BENCHMARK(FreeTextDatesReport);
