#pragma once

#include "Folders.h"
#include "RegistryStore.h"
#include "Result.h"
#include "TextLines.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vvp {

inline constexpr const char* kRegistryKey =
    "HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Printer";

// Host text and port of a server instance; a host text beginning "ERROR:" carries an answer of
// the addressing dialog instead.
struct THostIP {
    std::string host;
    int32_t port = 0;
};

// The one settings record.
struct VNPTRRegValues {
    int32_t Port = 9105;
    std::string PortName = "Vocanet";
    std::string ReportPrinter = "VocaNet";
    std::string PrinterListText;
    uint8_t SaveMode = 0; // 0 send to a server instance, 1 save to the file path, 2 act as server
    std::string SavePath;
    std::string Entity;
    bool MsgRecipient = false;
    THostIP Relay;
    std::string VocanetServer;
    bool HeSATokens = true;
    std::string MonitorPath;
    bool MonitorSigning = false;
    std::string LetterheadPath;
    std::string SignOnlyText;
    std::string FieldWidths = "129,48,97,282,166,180,172";

    // Limits the original left open; stored beside the others.
    uint32_t IdleTimeoutSeconds = 600;    // a silent connection is then handled as a finished job
    uint32_t MaxJobMegabytes = 256;       // a larger job is cut off and handled as received
    uint32_t AddressExchangeSeconds = 60; // whole "ADDR" exchange
    std::string AllowedPeers;             // ";"-separated addresses allowed to relay; empty = everyone
    bool AllowedPeersUnreadable = false;  // stored but unreadable: no one is allowed (not stored)
    std::string ListenAddress;            // empty: loopback, or every address in Save Mode 2
    uint32_t MaxConnectionsPerPeer = 64;  // connections one address may hold open at once
    std::string PrintFolder;              // printouts as PDF files when printing goes to PDF
};

VNPTRRegValues DefaultRegValues(const Folders& folders);

// One stored value: its registry name, how it is shown and set by name, in table order.
struct RegField {
    const char* name;
    RegValue::Kind kind;
    bool isBool;
    std::function<RegValue(const VNPTRRegValues&)> get;
    // false when the value is of the wrong type or out of range (the field keeps its value)
    std::function<bool(VNPTRRegValues&, const RegValue&)> set;
    // A folder: taken only as a full path, stored with a trailing separator.
    bool isFolder = false;
};
const std::vector<RegField>& RegFields();              // every stored value, in display order
const std::vector<const char*>& SaveOrder();           // names in the order Save writes them
const RegField* FindRegField(const std::string& name); // letter case ignored

// Display text of a stored value: Booleans as 0/1, numbers in decimal.
std::string DisplayValue(const RegField& field, const VNPTRRegValues& values);
// Parses a value typed by a user for the field; nullopt when it does not fit the field's type.
std::optional<RegValue> ParseUserValue(const RegField& field, const std::string& text);

struct LoadOutcome {
    VNPTRRegValues values;
    bool keyExisted = false;
    std::vector<std::string> problems; // values that kept their defaults, folder creation failures
};

// Load steps 1 to 3: defaults, each stored value read on its own (a missing or wrongly typed
// value, or a folder that is empty or not a full path, keeps its default), Save Path with a
// trailing separator, Save Path created in Save Mode 1 and 2. Starting the listener and checking
// the printer are the caller's.
LoadOutcome LoadRegValues(RegistryStore& store, const Folders& folders);

// The information file for companion programs: read from "kxptr.inf", written to "VNptr.inf".
StringList DefaultInfoLines(const Folders& folders);
// The lines of "kxptr.inf"; nullopt when it cannot be read.
std::optional<StringList> ReadInfoFile(const Folders& folders);

// Save: every stored value to the key, then the information list to "VNptr.inf".
Result<void> SaveRegValues(RegistryStore& store, const VNPTRRegValues& values, const StringList& infoLines,
                           const Folders& folders);

// The address book files; their names are matched without regard to case ("address.in").
inline constexpr const char* kAddressBookFile = "Address.in";
inline constexpr const char* kAddressBookBackupFile = "Address.in.bkp";
inline constexpr const char* kCustomAddressBookFile = "custom.address.in";

// Start-up copies of the address book files into the temporary folder: the program folder's
// address book when it is newer than the temporary copy (or there is none), the custom file always.
void SeedAddressBookFiles(const Folders& folders);
// The program folder's address book replaces the temporary copy when it is newer. A server has no
// address book window whose opening would refresh it, so it asks before each answer.
void RefreshAddressBookFile(const Folders& folders);

// The settings shared by the job threads and the front end, guarded.
class SettingsHolder {
public:
    VNPTRRegValues Get() const {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    void Set(const VNPTRRegValues& values) {
        std::lock_guard lock(m_mutex);
        m_values = values;
    }
    template <typename F> void Update(F&& change) {
        std::lock_guard lock(m_mutex);
        change(m_values);
    }

private:
    mutable std::mutex m_mutex;
    VNPTRRegValues m_values;
};

} // namespace vvp
