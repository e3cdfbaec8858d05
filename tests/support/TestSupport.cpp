#include "TestSupport.h"

#include "FileUtil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VVP_TEST_DATA_DIR
#define VVP_TEST_DATA_DIR "tests/data"
#endif
#ifndef VVP_BIN_DIR
#define VVP_BIN_DIR "build/bin"
#endif

namespace vvp::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vvp-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void TempDir::Write(const std::string& name, const std::string& content) const {
    auto dir = ExtractFileDir(File(name));
    if (!dir.empty()) (void)ForceDirectories(dir);
    if (!WriteWholeFile(File(name), content)) throw std::runtime_error("cannot write " + name);
}

std::string TempDir::Read(const std::string& name) const {
    auto r = ReadWholeFile(File(name));
    return r ? *r : std::string("<missing " + name + ">");
}

std::string TestDataPath(const std::string& relativePath) {
    return std::string(VVP_TEST_DATA_DIR) + "/" + relativePath;
}

std::string ReadTestData(const std::string& relativePath) {
    auto r = ReadWholeFile(TestDataPath(relativePath));
    if (!r) throw std::runtime_error(r.error().message);
    return *r;
}

std::string BinDir() {
    return VVP_BIN_DIR;
}

void ExpectMatchesGolden(const std::string& actual, const std::string& relativePath) {
    const char* update = std::getenv("VVP_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        (void)WriteWholeFile(TestDataPath(relativePath), actual);
        return;
    }
    auto expected = ReadWholeFile(TestDataPath(relativePath));
    ASSERT_TRUE(expected.ok()) << "missing golden file " << relativePath;
    EXPECT_EQ(Visible(actual), Visible(*expected)) << "differs from " << relativePath;
}

CommandResult RunCommand(const std::string& command) {
    CommandResult r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string Visible(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "<CR>";
        else if (c == '\n')
            out += "<LF>\n";
        else if (c < 32 || c >= 127) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02X>", c);
            out += buf;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace vvp::test
