#pragma once

#include "Result.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

struct RegValue {
    enum class Kind { String, Dword, Other };
    Kind kind = Kind::String;
    std::string text;   // String; for Other the raw text after '='
    uint32_t dword = 0; // Dword

    static RegValue String(std::string s) { return {Kind::String, std::move(s), 0}; }
    static RegValue Dword(uint32_t v) { return {Kind::Dword, {}, v}; }
    bool operator==(const RegValue&) const = default;
};

using RegValues = std::vector<std::pair<std::string, RegValue>>;

// Typed values under a key path, as the per-user registry holds them.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    // The key's values in stored order, or nullopt when the key does not exist.
    virtual Result<std::optional<RegValues>> ReadKey(const std::string& key) = 0;
    // Creates the key when missing and sets the given values; other values are kept.
    virtual Result<void> WriteValues(const std::string& key, const RegValues& values) = 0;
    // What holds the keys, named for a message ("settings file /x/registry.reg"), when it exists
    // at all; empty when nothing has been stored yet.
    virtual std::string ExistingLocation() { return {}; }
};

// The registry as a REGEDIT4 text file: read with CR LF or LF line ends; other keys and lines are
// kept when it is rewritten; written whole to a temporary name and renamed.
class RegFileStore final : public RegistryStore {
public:
    explicit RegFileStore(std::string path);
    Result<std::optional<RegValues>> ReadKey(const std::string& key) override;
    Result<void> WriteValues(const std::string& key, const RegValues& values) override;
    std::string ExistingLocation() override;
    const std::string& Path() const { return m_path; }

    static std::string DefaultPath(); // $XDG_CONFIG_HOME/vvp/registry.reg, else ~/.config/vvp/registry.reg
    // The file named by an option, else VVP_REGISTRY, else the default.
    static std::string PathFor(const std::string& option);

private:
    std::string m_path;
    std::mutex m_mutex;
};

class MemoryRegistryStore final : public RegistryStore {
public:
    Result<std::optional<RegValues>> ReadKey(const std::string& key) override;
    Result<void> WriteValues(const std::string& key, const RegValues& values) override;
    std::string ExistingLocation() override;
    void FailWrites(bool fail) { m_failWrites = fail; }
    int WriteCount() const { return m_writes; }

private:
    std::mutex m_mutex;
    std::map<std::string, RegValues> m_keys;
    bool m_failWrites = false;
    int m_writes = 0;
};

// REGEDIT4 text helpers, exposed for tests.
std::string EscapeRegString(const std::string& s);
std::optional<RegValue> ParseRegValue(const std::string& data);
std::string FormatRegValue(const RegValue& value);

} // namespace vvp
