#include "SigningTestSupport.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <stdexcept>

namespace vvp::test {

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void InstallSigningLibrary(const std::string& libraryPath, const std::string& folder) {
    auto copied = CopyFileReplacing(libraryPath, IncludeTrailingSeparator(folder) + "vvpPKI.so");
    if (!copied) throw std::runtime_error(copied.error().message);
}

std::string RealSigningLibraryPath() {
    return VVP_PKI_PATH;
}

bool CreateTestStore(const std::string& folder, std::string* output, const std::string& name,
                     const std::string& email) {
    const CommandResult r =
        RunCommand(ShellQuote(VVP_STORE_TOOL_PATH) + " --program-folder " + ShellQuote(folder) +
                   " create-test " + ShellQuote(name) + " " + ShellQuote(email) + " --force");
    if (output) *output = r.output;
    return r.status == 0;
}

CommandResult VerifySignedCopy(const std::string& emlPath, const std::string& caPath) {
    return RunCommand("openssl smime -verify -in " + ShellQuote(emlPath) + " -CAfile " + ShellQuote(caPath) +
                      " -out /dev/null");
}

CommandResult ExtractAttachment(const std::string& emlPath, const std::string& outPath) {
    static const char* const kScript = R"PY(
import email, sys
with open(sys.argv[1], 'rb') as f:
    msg = email.message_from_binary_file(f)
assert not msg.defects, msg.defects
assert msg.get_content_type() == 'multipart/signed', msg.get_content_type()
part = msg.get_payload(0)
assert part.get_content_type() == 'application/octet-stream', part.get_content_type()
assert part['Content-Transfer-Encoding'] == 'base64'
data = part.get_payload(decode=True)
with open(sys.argv[2], 'wb') as f:
    f.write(data)
print(part.get_filename())
)PY";
    return RunCommand("python3 -c " + ShellQuote(kScript) + " " + ShellQuote(emlPath) + " " +
                      ShellQuote(outPath));
}

FakePki::FakePki(const std::string& path) {
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!m_handle) throw std::runtime_error(dlerror());
    m_set = reinterpret_cast<void (*)(const char*, const char*)>(dlsym(m_handle, "FakePkiSet"));
    m_count = reinterpret_cast<int (*)(const char*)>(dlsym(m_handle, "FakePkiCount"));
    m_get = reinterpret_cast<int (*)(const char*, char*, int)>(dlsym(m_handle, "FakePkiGet"));
    if (!m_set || !m_count || !m_get) throw std::runtime_error("not the fake signing library: " + path);
}

FakePki::~FakePki() {
    dlclose(m_handle);
}

void FakePki::Set(const std::string& key, const std::string& value) {
    m_set(key.c_str(), value.c_str());
}
void FakePki::Reset() {
    m_set("reset", "");
}
int FakePki::Count(const std::string& key) const {
    return m_count(key.c_str());
}

std::string FakePki::Get(const std::string& key) const {
    char buffer[4096];
    return m_get(key.c_str(), buffer, sizeof buffer) < 0 ? std::string() : std::string(buffer);
}

} // namespace vvp::test
