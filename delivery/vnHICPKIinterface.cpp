#include "vnHICPKIinterface.h"

#include "FileUtil.h"
#include "Folders.h"
#include "QZStringManip.h"
#include "SignedEnvelope.h"
#include "vvpPKI.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace vvp {

// The types come from the library's own header, so a changed entry point fails to compile here.
struct SigningLibrary::EntryPoints {
    decltype(&::SetStore) SetStore = nullptr;
    decltype(&::Status) Status = nullptr;
    decltype(&::TokenLogon) TokenLogon = nullptr;
    decltype(&::SignBig) SignBig = nullptr;
    decltype(&::CloseStore) CloseStore = nullptr;
    // Looked up but never called by the system.
    decltype(&::TokenPresent) TokenPresent = nullptr;
    decltype(&::Logoff) Logoff = nullptr;
    decltype(&::Signfile) Signfile = nullptr;
    // Our own library tells how large SignBig's buffer must be; others may not.
    decltype(&::SignBigSize) SignBigSize = nullptr;
};

namespace {

constexpr int kStoreOpenBit = 2;
// The signature with the signer's certificate chain, in base64, comes on top of the text; a text
// of a few kilobytes does not leave it room in a buffer of 1.5 times its length.
constexpr size_t kSignatureRoom = 48 * 1024;

template <typename Fn> void Resolve(Fn& target, void* handle, const char* name) {
    // POSIX guarantees that a data pointer from dlsym converts to a function pointer.
    target = reinterpret_cast<Fn>(dlsym(handle, name));
}

std::string FirstLine(const std::string& text) {
    return StrBefore(StrBefore(text, "\r\n"), "\n");
}

std::string Reply(const char* text) {
    return text ? std::string(text) : std::string();
}

} // namespace

bool IsLogonFailure(const std::string& reply) {
    const std::string text = TrimLeft(reply);
    if (text.empty() || StartsText(text, "error")) return true;
    // A description holds the certificate's subject; a name may well contain "error".
    return ContainsText(text, "error") && text.find("SUBJECT=") == std::string::npos;
}

SigningLibrary::SigningLibrary(EngineEvents* events) : m_events(events) {}

SigningLibrary::~SigningLibrary() {
    std::lock_guard lock(m_mutex);
    UnloadLocked();
}

Result<void> SigningLibrary::Load(const std::string& programFolder) {
    const std::string folder = IncludeTrailingSeparator(programFolder);
    std::string path = folder + kSigningLibraryFile;
    // Installed, the library is the package's, not the practice data's.
    const std::string installedFolder = InstalledLibraryFolder();
    if (!FileExists(path) && !installedFolder.empty() && FileExists(installedFolder + kSigningLibraryFile))
        path = installedFolder + kSigningLibraryFile;
    {
        std::lock_guard lock(m_mutex);
        if (m_handle && folder == m_programFolder) return Ok();
        UnloadLocked();
        m_programFolder = folder;
        if (!FileExists(path)) return Error{"No signing library " + path};
        // Kept mapped after release: the library's OpenSSL leaves per-thread state and exit handlers
        // behind, and unmapping their code crashes the process when it ends.
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!handle) {
            const char* why = dlerror();
            return Error{"Cannot load the signing library " + path + ": " + (why ? why : "unknown reason")};
        }
        auto entry = std::make_unique<EntryPoints>();
        Resolve(entry->SetStore, handle, "SetStore");
        Resolve(entry->Status, handle, "Status");
        Resolve(entry->TokenLogon, handle, "TokenLogon");
        Resolve(entry->SignBig, handle, "SignBig");
        Resolve(entry->CloseStore, handle, "CloseStore");
        Resolve(entry->TokenPresent, handle, "TokenPresent");
        Resolve(entry->Logoff, handle, "Logoff");
        Resolve(entry->Signfile, handle, "Signfile");
        Resolve(entry->SignBigSize, handle, "SignBigSize");
        const std::pair<const char*, bool> required[] = {{"SetStore", entry->SetStore != nullptr},
                                                         {"Status", entry->Status != nullptr},
                                                         {"TokenLogon", entry->TokenLogon != nullptr},
                                                         {"SignBig", entry->SignBig != nullptr},
                                                         {"CloseStore", entry->CloseStore != nullptr}};
        for (const auto& [name, found] : required) {
            if (!found) {
                dlclose(handle);
                return Error{"The signing library " + path + " has no entry point " + name};
            }
        }
        m_handle = handle;
        m_entry = entry.release();
        m_display.groupVisible = true;
    }
    Changed();
    return Ok();
}

void SigningLibrary::Unload() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_handle) return;
        UnloadLocked();
    }
    Changed();
}

void SigningLibrary::UnloadLocked() {
    m_tokenInfo.clear();
    m_display = TokenDisplay{};
    if (!m_handle) return;
    m_entry->CloseStore();
    delete m_entry;
    m_entry = nullptr;
    dlclose(m_handle);
    m_handle = nullptr;
}

bool SigningLibrary::IsLoaded() const {
    std::lock_guard lock(m_mutex);
    return m_handle != nullptr;
}

bool SigningLibrary::HasOptionalEntryPoints() const {
    std::lock_guard lock(m_mutex);
    return m_entry && m_entry->TokenPresent && m_entry->Logoff && m_entry->Signfile;
}

std::string SigningLibrary::StorePath() const {
    std::lock_guard lock(m_mutex);
    return m_programFolder + kTokenStoreFile;
}

bool SigningLibrary::OpenStoreLocked() {
    if (!m_entry) return false;
    (void)m_entry->Status(); // the first answer after loading is not to be relied on
    if ((m_entry->Status() & kStoreOpenBit) != 0) return true;
    const std::string store = m_programFolder + kTokenStoreFile;
    return ContainsText(Reply(m_entry->SetStore(store.c_str(), kTokenStorePassword)), "ok");
}

bool SigningLibrary::OpenStore() {
    std::lock_guard lock(m_mutex);
    return OpenStoreLocked();
}

bool SigningLibrary::Logon() {
    bool ok = false;
    {
        std::lock_guard lock(m_mutex);
        const std::string reply =
            OpenStoreLocked() ? Reply(m_entry->TokenLogon()) : std::string("Error: Store not opened.");
        ok = !IsLogonFailure(reply);
        if (ok) {
            m_tokenInfo = reply;
            m_display.caption = "HeSA Token - " + StrBetween(reply, "Token ID=", "\r\n");
            m_display.label = StrBetween(reply, "<", ">");
            m_display.labelIsError = false;
        } else {
            m_tokenInfo.clear();
            m_display.caption = "HeSA Token - Not logged on";
            m_display.label = FirstLine(reply);
            m_display.labelIsError = true;
        }
    }
    Changed();
    return ok;
}

std::string SigningLibrary::TokenInfo() const {
    std::lock_guard lock(m_mutex);
    return m_tokenInfo;
}

void SigningLibrary::ClearTokenInfo() {
    std::lock_guard lock(m_mutex);
    m_tokenInfo.clear();
}

std::string SigningLibrary::SignBig(const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (!m_entry || text.size() > static_cast<size_t>(INT_MAX) - kSignatureRoom) return {};
    auto call = [&](size_t size) -> std::string {
        std::string buffer(size, '\0');
        const int n = m_entry->SignBig(text.c_str(), buffer.data(), static_cast<int>(size));
        if (n <= 0) return {};
        buffer.resize(std::min(static_cast<size_t>(n), size));
        return buffer;
    };
    const size_t rule = std::max<size_t>(10000, text.size() + text.size() / 2);
    size_t size = std::max(rule, text.size() + kSignatureRoom);
    std::string signature = call(size);
    if (signature.empty()) {
        // A nought is either a failure or a buffer too small: ask once more with room enough.
        size_t needed = 0;
        if (m_entry->SignBigSize) {
            const int asked = m_entry->SignBigSize(text.c_str());
            needed = asked > 0 ? static_cast<size_t>(asked) : 0;
        } else {
            needed = std::min<size_t>(INT_MAX, 4 * size);
        }
        if (needed > size) signature = call(needed);
    }
    return signature;
}

TokenDisplay SigningLibrary::Display() const {
    std::lock_guard lock(m_mutex);
    return m_display;
}

void SigningLibrary::SetGroupVisible(bool visible) {
    {
        std::lock_guard lock(m_mutex);
        m_display.groupVisible = visible;
    }
    Changed();
}

void SigningLibrary::Changed() {
    if (m_events) m_events->TokenStateChanged();
}

TokenSigner::TokenSigner(SigningLibrary& library, const SettingsHolder& settings, Prompter& prompter,
                         const Clock& clock, std::string programFolder)
    : m_library(library), m_settings(settings), m_prompter(prompter), m_clock(clock),
      m_programFolder(IncludeTrailingSeparator(programFolder)) {}

Answer TokenSigner::Ask(const std::string& first, const std::string& second, const std::string& third,
                        Buttons buttons) {
    return m_prompter.Message(
        {kDigitalSigningCaption, first + "\r\n" + second + "\r\n\r\n" + third, buttons, Icon::Error});
}

std::string TokenSigner::AskSendUnsigned() {
    const Answer answer = Ask("VVP is not able to Sign this message.", "  Unable to intialise CryptoStore.",
                              "Would you like to send the message without signing?", Buttons::YesNoCancel);
    if (answer == Answer::Yes) return {};
    if (answer == Answer::No) return "ERROR: PRINT";
    return "ERROR: CANCEL";
}

std::string TokenSigner::SignWithToken() {
    if (!m_settings.Get().HeSATokens) return {};
    if (!m_library.IsLoaded()) (void)m_library.Load(m_programFolder);
    if (!m_library.OpenStore()) {
        return AskSendUnsigned();
    }
    if (m_library.TokenInfo().empty() && !m_library.Logon()) {
        const Answer answer =
            Ask("VVP can't find a signing token.", m_library.Display().label,
                "Please Insert a Token and click Retry OR\r\n click Ignore to send the message "
                "without signing",
                Buttons::AbortRetryIgnore);
        if (answer == Answer::Ignore) return {};
        if (answer != Answer::Retry) return "ERROR: CANCEL";
        if (!m_library.Logon()) {
            Ask("No Tokens present or VVP can't detect your Token",
                "You may not have the Token reader drivers installed or the VVP CryptoStore \r\n(" +
                    m_programFolder + kTokenStoreFile + ")\r\n" +
                    "may not have the correct module for your token reader",
                "Contact your HeSA Token support provider for assistance", Buttons::Ok);
            // Lines composed from no description would sign with nobody's name: send unsigned.
            return {};
        }
    }
    if (m_failedSignings >= 2) {
        // The token logs on but its signatures keep failing: a caller retrying until it gets one
        // would never end, so the user decides.
        m_failedSignings = 0;
        return AskSendUnsigned();
    }
    const std::string info = m_library.TokenInfo();
    // Another thread may have cleared the logon since; then nothing is known to sign with.
    return info.empty() ? std::string() : SignatureDetailLines(info);
}

std::string TokenSigner::BuildSignedBlock(const std::string& from, const std::string& to,
                                          const std::string& subject, const std::string& fileName,
                                          const std::string& content, const std::string* stream) {
    if (!m_library.IsLoaded() || !m_library.OpenStore()) return {};
    std::string block = vvp::BuildSignedBlock(
        m_clock, [this](const std::string& attachment) { return m_library.SignBig(attachment); }, from, to,
        subject, fileName, content, stream);
    if (!block.empty())
        m_failedSignings = 0;
    else if (!m_library.TokenInfo().empty())
        ++m_failedSignings;
    return block;
}

void TokenSigner::ClearTokenLogon() {
    m_library.ClearTokenInfo();
}

bool TokenSigner::SigningAvailable() {
    if (!m_settings.Get().HeSATokens) {
        m_library.Unload();
        return false;
    }
    if (!m_library.IsLoaded()) (void)m_library.Load(m_programFolder);
    return m_library.IsLoaded();
}

} // namespace vvp
