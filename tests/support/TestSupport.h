#pragma once

#include <string>

namespace vvp::test {

// A fresh folder under the system temporary folder, removed with its content on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; } // with trailing '/'
    std::string File(const std::string& name) const { return m_path + name; }
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;

private:
    std::string m_path;
};

// Bytes of a file under tests/data.
std::string ReadTestData(const std::string& relativePath);
std::string TestDataPath(const std::string& relativePath);
std::string BinDir();

// Compares bytes with a golden file under tests/data; with VVP_UPDATE_GOLDEN=1 in the environment
// the golden file is rewritten instead (deliberate regeneration only).
void ExpectMatchesGolden(const std::string& actual, const std::string& relativePath);

// Runs a shell command; its exit status (-1 when it did not exit) and stdout with stderr.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);

// A TCP port free on the loopback address at the time of the call.
int FreePort();

// Shows control characters, so failing byte-exact comparisons are readable.
std::string Visible(const std::string& bytes);

} // namespace vvp::test
