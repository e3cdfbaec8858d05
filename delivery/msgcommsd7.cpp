#include "msgcommsd7.h"

#include "FileUtil.h"
#include "QZStringManip.h"
#include "TextLines.h"

#include <atomic>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {
namespace {

std::atomic<int> g_counter{222};

int Attributes(const std::string& path, const std::string& name) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return 0;
    int attrs = S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
    if (access(path.c_str(), W_OK) != 0) attrs |= kAttrReadOnly;
    if (!name.empty() && name[0] == '.') attrs |= kAttrHidden;
    return attrs;
}

std::string KxkLines(const std::string& bytes) {
    std::string t = bytes;
    for (auto& c : t)
        c = static_cast<char>(static_cast<uint8_t>(c) ^ kKxkKeyByte);
    const std::string p = t.substr(0, 10);
    const std::string rest = t.size() > 10 ? t.substr(10) : std::string();
    auto f = [&rest](int i) { return StrField(rest, '|', i); };
    StringList lines = {f(2), f(4) + ";" + f(5), "", f(1) + "@" + f(3), p, "", f(6) + " - " + f(7)};
    return JoinLines(lines);
}

std::string KxiLines(const std::string& bytes) {
    StringList lines;
    size_t i = 0;
    while (i < bytes.size()) {
        size_t n = static_cast<uint8_t>(bytes[i++]);
        if (n == 255) {
            // A truncated length is treated as the end of the file.
            if (i + 2 > bytes.size()) break;
            n = static_cast<uint8_t>(bytes[i]) |
                (static_cast<size_t>(static_cast<uint8_t>(bytes[i + 1])) << 8);
            i += 2;
        }
        const uint8_t key = static_cast<uint8_t>(n & 0xFF);
        std::string line = bytes.substr(i, n);
        for (auto& c : line)
            c = static_cast<char>(static_cast<uint8_t>(c) ^ key);
        lines.push_back(line);
        i += line.size();
    }
    return JoinLines(lines);
}

} // namespace

std::string MakeMessageId(const Clock& clock, const std::string& prefix) {
    const std::string stamp = FormatDateTime("yyyymmddhhnnsszzz", clock.Now());
    unsigned long long value = std::strtoull(stamp.c_str(), nullptr, 10);
    char hex[32];
    std::snprintf(hex, sizeof hex, "%llx", value);
    return hex + std::to_string(g_counter.fetch_add(1)) + prefix;
}

void SetMessageIdCounter(int value) {
    g_counter.store(value);
}
int MessageIdCounter() {
    return g_counter.load();
}

std::string ListFiles(const std::string& mask, int attributes, int /*fields*/) {
    const std::string folder = ExtractFileDir(mask);
    const std::string pattern = ExtractFileName(mask);
    std::string entries;
    int count = 0;
    for (const auto& name : ListFolder(folder, pattern, true)) {
        int attrs = Attributes(folder + name, name);
        bool keep = attributes == kFilesOnly       ? !(attrs & kAttrDirectory)
                    : attributes == kAllAttributes ? true
                                                   : (attrs & attributes) == attributes;
        if (!keep) continue;
        ++count;
        entries += name + "\n\r";
    }
    return std::to_string(count) + "\r" + entries;
}

std::string ReadAccountFile(const std::string& fileName) {
    auto bytes = ReadWholeFile(fileName);
    if (!bytes) return {};
    const std::string ext = LowerCase(ExtractFileExt(fileName));
    std::string text;
    if (ext == ".kxk")
        text = KxkLines(*bytes);
    else if (ext == ".kxi")
        text = KxiLines(*bytes);
    else
        return {};
    StringList lines = SplitLines(text);
    if (lines.size() < 7 || lines[4].empty()) return {};
    return text;
}

std::string ListAccounts(const std::string& folderIn, const std::string& key) {
    const std::string folder = IncludeTrailingSeparator(folderIn);
    std::string work;
    for (const char* mask : {"*.kxi", "*.kxk"}) {
        std::string listing = ListFiles(folder + mask, kFilesOnly);
        if (StrBefore(listing, "\r") != "0") work += StrAfter(listing, "\r");
    }
    std::string result;
    while (!work.empty()) {
        const std::string name = StrBefore(work, "\n");
        const auto cr = work.find('\r');
        work = cr == std::string::npos ? std::string() : work.substr(cr + 1);
        StringList lines = SplitLines(ReadAccountFile(folder + name));
        if (lines.size() < 7) continue;
        if (key == "*") {
            if (!lines[3].empty()) result += LowerCase(lines[3]) + "\r\n";
        } else if (SameText(lines[3], key)) {
            return lines[3];
        }
    }
    return result;
}

} // namespace vvp
