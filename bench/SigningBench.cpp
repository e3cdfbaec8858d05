// Cost of the signing library's calls as the program makes them (through dlopen).

#include "StoreFile.h"
#include "TestCertificates.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using SetStoreFn = const char* (*)(const char*, const char*);
using TokenLogonFn = const char* (*)();
using SignBigFn = int (*)(const char*, char*, int);

struct Library {
    SetStoreFn setStore = nullptr;
    TokenLogonFn tokenLogon = nullptr;
    SignBigFn signBig = nullptr;
    std::string folder;
    std::string storePath;

    Library() {
        char pattern[] = "/tmp/vvp-signing-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary folder");
        folder = pattern;
        storePath = folder + "/vvpstore.psi";
        auto identity = vvp::pki::createTestIdentity("Dr Bench", "bench@test.example");
        if (!identity) throw std::runtime_error(identity.error());
        auto der = vvp::pki::encodePkcs12(identity.value().signer, vvp::pki::kStorePassword);
        if (!der || !vvp::pki::writeFileAtomically(storePath, der.value()))
            throw std::runtime_error("no store");

        void* handle = dlopen(VVP_PKI_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) throw std::runtime_error(dlerror());
        setStore = reinterpret_cast<SetStoreFn>(dlsym(handle, "SetStore"));
        tokenLogon = reinterpret_cast<TokenLogonFn>(dlsym(handle, "TokenLogon"));
        signBig = reinterpret_cast<SignBigFn>(dlsym(handle, "SignBig"));
        if (setStore == nullptr || tokenLogon == nullptr || signBig == nullptr) {
            throw std::runtime_error("entry point missing");
        }
        setStore(storePath.c_str(), vvp::pki::kStorePassword);
    }
    ~Library() {
        std::remove(storePath.c_str());
        ::rmdir(folder.c_str());
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};

Library& library() {
    static Library instance;
    return instance;
}

// An attachment text with `size` bytes of base64 body in lines of 76.
std::string attachment(std::size_t size) {
    std::string text = "From: a@test.example\r\nTo: b@test.example\r\nSubject: Letter\r\n"
                       "Content-Type: application/octet-stream;\r\n   name=\"letter.pit\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n";
    const std::string line = std::string(76, 'Q') + "\r\n";
    while (text.size() < size)
        text += line;
    return text;
}

void BM_SignBig(benchmark::State& state) {
    Library& lib = library(); // key generation stays outside the timing
    const std::string text = attachment(static_cast<std::size_t>(state.range(0)));
    std::vector<char> buffer(text.size() * 3 / 2 + 20000);
    for (auto _ : state) {
        const int n = lib.signBig(text.c_str(), buffer.data(), static_cast<int>(buffer.size()));
        if (n <= 0) state.SkipWithError("SignBig failed");
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SignBig)
    ->Arg(1 << 10)
    ->Arg(10 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);

void BM_TokenLogon(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(library().tokenLogon());
}
BENCHMARK(BM_TokenLogon)->Unit(benchmark::kMicrosecond);

void BM_SetStore(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(library().setStore(library().storePath.c_str(), vvp::pki::kStorePassword));
    }
}
BENCHMARK(BM_SetStore)->Unit(benchmark::kMicrosecond);

} // namespace
