// A scripted stand-in for the signing library, built in variants: complete, without the entry
// points nothing calls (FAKE_PKI_MINIMAL), and without SignBig (FAKE_PKI_NO_SIGNBIG).
// Tests steer it through FakePkiSet and read its counters through FakePkiCount.

// Declared by the library's own header: a changed entry point fails to compile here too.
#include "vvpPKI.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_mutex;
std::map<std::string, std::string> g_values;
std::map<std::string, int> g_counts;
std::atomic<int> g_inside{0};
bool g_storeOpen = false;
std::string g_reply;

std::string Value(const std::string& key, const std::string& fallback = {}) {
    auto it = g_values.find(key);
    return it == g_values.end() ? fallback : it->second;
}

// Detects overlapping calls: the binding promises one caller at a time.
struct Call {
    explicit Call(const char* name) {
        if (g_inside.fetch_add(1) != 0) {
            std::lock_guard lock(g_mutex);
            ++g_counts["overlap"];
        }
        std::lock_guard lock(g_mutex);
        ++g_counts[name];
    }
    ~Call() { g_inside.fetch_sub(1); }
};

void Linger() {
    if (!Value("slow").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

// "a|b|c": each call takes the next, the last one repeating.
std::string NextOf(const std::string& key) {
    const std::string list = Value(key);
    const int used = g_counts[key + "#"]++;
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t bar = list.find('|', start);
        items.push_back(list.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return items[std::min<size_t>(static_cast<size_t>(used), items.size() - 1)];
}

std::string Signed(const char* text) {
    return "SIGNED[" + std::string(text) + "]\r\n";
}

[[maybe_unused]] size_t Needed(const char* text) {
    const std::string fixed = Value("needed");
    return fixed.empty() ? Signed(text).size() + 1 : std::stoul(fixed);
}

} // namespace

FAKE_EXPORT void FakePkiSet(const char* key, const char* value) {
    std::lock_guard lock(g_mutex);
    if (std::strcmp(key, "reset") == 0) {
        g_values.clear();
        g_counts.clear();
        g_storeOpen = false;
        return;
    }
    g_values[key] = value;
}

FAKE_EXPORT int FakePkiCount(const char* key) {
    std::lock_guard lock(g_mutex);
    return g_counts[key];
}

FAKE_EXPORT int FakePkiGet(const char* key, char* out, int size) {
    std::lock_guard lock(g_mutex);
    const std::string value = Value(key);
    if (static_cast<size_t>(size) <= value.size()) return -1;
    std::memcpy(out, value.c_str(), value.size() + 1);
    return static_cast<int>(value.size());
}

FAKE_EXPORT const char* SetStore(const char* path, const char* password) {
    Call call("SetStore");
    Linger();
    std::lock_guard lock(g_mutex);
    g_values["lastStore"] = path;
    g_values["lastPassword"] = password;
    g_reply = Value("setStoreReply", "OK");
    g_storeOpen = g_reply.find("OK") != std::string::npos || g_reply.find("ok") != std::string::npos;
    return g_reply.c_str();
}

FAKE_EXPORT int Status(void) {
    Call call("Status");
    std::lock_guard lock(g_mutex);
    // The first answer after loading says nothing useful.
    if (g_counts["Status"] == 1) return 0x7fffffff;
    return 1 | (g_storeOpen ? 2 : 0);
}

FAKE_EXPORT const char* TokenLogon(void) {
    Call call("TokenLogon");
    Linger();
    std::lock_guard lock(g_mutex);
    g_reply = NextOf("logon");
    for (size_t p; (p = g_reply.find("\\r\\n")) != std::string::npos;)
        g_reply.replace(p, 4, "\r\n");
    return g_reply.c_str();
}

#ifndef FAKE_PKI_NO_SIGNBIG
FAKE_EXPORT int SignBig(const char* text, char* out, int size) {
    Call call("SignBig");
    Linger();
    std::lock_guard lock(g_mutex);
    g_values["lastSize"] = std::to_string(size);
    if (NextOf("signFails") == "1") return 0;
    const std::string result = Signed(text);
    if (static_cast<size_t>(size) < Needed(text)) return 0;
    std::memcpy(out, result.data(), result.size());
    out[result.size()] = '\0';
    return static_cast<int>(result.size());
}
#endif

FAKE_EXPORT void CloseStore(void) {
    Call call("CloseStore");
    std::lock_guard lock(g_mutex);
    g_storeOpen = false;
}

#ifndef FAKE_PKI_MINIMAL
FAKE_EXPORT int SignBigSize(const char* text) {
    Call call("SignBigSize");
    std::lock_guard lock(g_mutex);
    return static_cast<int>(Needed(text));
}
FAKE_EXPORT int TokenPresent(void) {
    return 1;
}
FAKE_EXPORT int Logoff(void) {
    return 1;
}
FAKE_EXPORT int Signfile(const char*, const char*) {
    return 0;
}
#endif
