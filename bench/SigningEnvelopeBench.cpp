// Signatures per second through BuildSignedBlock (binding, envelope, library) against a bare
// OpenSSL S/MIME signing of the same attachment text with the same key, in one run.

#include "FileUtil.h"
#include "SignedEnvelope.h"
#include "vnHICPKIinterface.h"

#include <benchmark/benchmark.h>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

using namespace vvp;

// A 2 KB letter as message creation signs it.
std::string Letter() {
    std::string text;
    for (int i = 0; text.size() < 2048; ++i)
        text += "301 Line " + std::to_string(i) + " of the referral letter, with its findings and plan.\r\n";
    return text.substr(0, 2048);
}

struct Rig {
    std::string folder;
    SettingsHolder settings;
    HeadlessPrompter prompter;
    FixedClock clock{*EncodeDate(2026, 12, 8) + *EncodeTime(10, 0, 0, 0), 600};
    SigningLibrary library;
    TokenSigner signer{library, settings, prompter, clock, MakeFolder()};
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509) * chain = nullptr;

    std::string MakeFolder() {
        char pattern[] = "/tmp/vvp-envelope-bench-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("no temporary folder");
        folder = std::string(pattern) + "/";
        if (!CopyFileReplacing(VVP_PKI_PATH, folder + kSigningLibraryFile))
            throw std::runtime_error("cannot copy the signing library");
        const std::string make = std::string(VVP_STORE_TOOL_PATH) + " --program-folder " + folder +
                                 " create-test 'Dr Bench' bench@test.example >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) throw std::runtime_error("cannot make the test store");
        return folder;
    }

    Rig() {
        if (signer.SignWithToken().empty()) throw std::runtime_error("no token");
        // The same key and chain, read straight from the store for the bare OpenSSL call.
        FILE* f = std::fopen((folder + kTokenStoreFile).c_str(), "rb");
        PKCS12* p12 = f ? d2i_PKCS12_fp(f, nullptr) : nullptr;
        if (f) std::fclose(f);
        if (!p12 || PKCS12_parse(p12, kTokenStorePassword, &key, &certificate, &chain) != 1)
            throw std::runtime_error("cannot read the store");
        PKCS12_free(p12);
    }
    ~Rig() {
        EVP_PKEY_free(key);
        X509_free(certificate);
        sk_X509_pop_free(chain, X509_free);
        library.Unload();
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

Rig& TheRig() {
    static Rig rig;
    return rig;
}

void BM_BuildSignedBlock(benchmark::State& state) {
    Rig& rig = TheRig();
    const std::string letter = Letter();
    for (auto _ : state) {
        std::string block =
            rig.signer.BuildSignedBlock("bench@test.example", "\"Jones, Ann\" <ann@b.example>",
                                        "SMITH Referral", "SMITH_01-Feb-1950_Referral.pit", letter, nullptr);
        if (block.empty()) state.SkipWithError("nothing signed");
        benchmark::DoNotOptimize(block);
    }
    state.counters["signatures/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Signs the same attachment text as the envelope with OpenSSL alone; write turns the PKCS#7 into
// its output form.
template <typename Write> void BareOpenSslSign(benchmark::State& state, int flags, Write write) {
    Rig& rig = TheRig();
    const std::string text = BuildMimePart(rig.clock, "bench@test.example", "\"Jones, Ann\" <ann@b.example>",
                                           "SMITH Referral (File \"SMITH_01-Feb-1950_Referral.pit\")",
                                           "SMITH_01-Feb-1950_Referral.pit", Letter(), nullptr);
    for (auto _ : state) {
        BIO* in = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
        PKCS7* p7 = PKCS7_sign(rig.certificate, rig.key, rig.chain, in, flags);
        BIO* out = BIO_new(BIO_s_mem());
        if (!p7 || !write(out, p7, in)) state.SkipWithError("OpenSSL failed");
        char* data = nullptr;
        benchmark::DoNotOptimize(BIO_get_mem_data(out, &data));
        BIO_free(out);
        PKCS7_free(p7);
        BIO_free(in);
    }
    state.counters["signatures/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_BareOpenSslSmimeSign(benchmark::State& state) {
    const int flags = PKCS7_DETACHED | PKCS7_BINARY;
    BareOpenSslSign(state, flags, [flags](BIO* out, PKCS7* p7, BIO* in) {
        BIO_reset(in);
        return SMIME_write_PKCS7(out, p7, in, flags) == 1;
    });
}

// The plainest signature of the same bytes: a detached PKCS#7 with the chain, as DER.
void BM_BareOpenSslSign(benchmark::State& state) {
    BareOpenSslSign(state, PKCS7_DETACHED | PKCS7_BINARY | PKCS7_NOSMIMECAP,
                    [](BIO* out, PKCS7* p7, BIO*) { return i2d_PKCS7_bio(out, p7) == 1; });
}

// What the binding and the envelope add without the signature itself.
void BM_EnvelopeWithoutSignature(benchmark::State& state) {
    Rig& rig = TheRig();
    const std::string letter = Letter();
    const SignFunction echo = [](const std::string& attachment) { return attachment; };
    for (auto _ : state) {
        std::string block =
            BuildSignedBlock(rig.clock, echo, "bench@test.example", "\"Jones, Ann\" <ann@b.example>",
                             "SMITH Referral", "SMITH_01-Feb-1950_Referral.pit", letter, nullptr);
        benchmark::DoNotOptimize(block);
    }
}

BENCHMARK(BM_BuildSignedBlock)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_BareOpenSslSign)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_BareOpenSslSmimeSign)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_EnvelopeWithoutSignature)->Unit(benchmark::kMicrosecond);

} // namespace
