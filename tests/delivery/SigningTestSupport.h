#pragma once

#include "TestSupport.h"

#include <string>

namespace vvp::test {

std::string ShellQuote(const std::string& text);

// This build's programs and the test data folder (as compiled into the test executable).

// Copies a build of the signing library into the folder under the name the program loads.
void InstallSigningLibrary(const std::string& libraryPath, const std::string& folder);
// The real library of this build, and the store tool.
std::string RealSigningLibraryPath();
// Makes a throw-away CA and practitioner store in the folder ("vvpstore.psi" and "testca.pem");
// false with the tool's output when it fails.
bool CreateTestStore(const std::string& folder, std::string* output = nullptr,
                     const std::string& name = "Dr A Person",
                     const std::string& email = "a.person@test.example");

// openssl smime -verify of a signed copy against the CA.
CommandResult VerifySignedCopy(const std::string& emlPath, const std::string& caPath);

// Reads the signed copy with Python's email package: checks that it is multipart/signed and
// writes the decoded attachment of its first part to outPath. Prints the attachment's file name.
CommandResult ExtractAttachment(const std::string& emlPath, const std::string& outPath);

// The scripted stand-in for the signing library, once loaded from a path.
class FakePki {
public:
    explicit FakePki(const std::string& path);
    ~FakePki();
    FakePki(const FakePki&) = delete;
    FakePki& operator=(const FakePki&) = delete;

    void Set(const std::string& key, const std::string& value);
    void Reset();
    int Count(const std::string& key) const;
    std::string Get(const std::string& key) const;

private:
    void* m_handle = nullptr;
    void (*m_set)(const char*, const char*) = nullptr;
    int (*m_count)(const char*) = nullptr;
    int (*m_get)(const char*, char*, int) = nullptr;
};

} // namespace vvp::test
