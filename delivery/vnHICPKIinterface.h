#pragma once

#include "Clock.h"
#include "EngineEvents.h"
#include "MessageSigner.h"
#include "Prompter.h"
#include "Result.h"
#include "Settings.h"

#include <atomic>
#include <mutex>
#include <string>

namespace vvp {

inline constexpr const char* kSigningLibraryFile = "vvpPKI.so";
inline constexpr const char* kTokenStoreFile = "vvpstore.psi";
inline constexpr const char* kTokenStorePassword = "StoreSecret";
inline constexpr const char* kDigitalSigningCaption = "Digital Signing";

// What the window's HeSA token group box shows.
struct TokenDisplay {
    bool groupVisible = false;
    std::string caption = "HeSA Token - Not logged on";
    std::string label = "No tokens logged on";
    bool labelIsError = false; // shown in red
};

// The signing library loaded at run time from the program folder. Every call into it is
// serialised, and the token state (TokenInfo) is kept here, shared by the window and the jobs.
class SigningLibrary {
public:
    explicit SigningLibrary(EngineEvents* events = nullptr);
    ~SigningLibrary();
    SigningLibrary(const SigningLibrary&) = delete;
    SigningLibrary& operator=(const SigningLibrary&) = delete;

    // Loads programFolder + "vvpPKI.so", else the installed one (InstalledLibraryFolder), and
    // resolves its entry points. Fails, naming the cause, when the file is absent, cannot be
    // loaded or lacks one of the entry points the system calls.
    Result<void> Load(const std::string& programFolder);
    // Closes the store and releases the library; the token is forgotten.
    void Unload();
    bool IsLoaded() const;
    // Which of the entry points nothing calls were found (TokenPresent, Logoff, Signfile).
    bool HasOptionalEntryPoints() const;

    // Opens the crypto store unless the library reports it open; false when it cannot be.
    bool OpenStore();
    // Logs the token on (opening the store first); true when a description came back. Either
    // way TokenInfo and the display follow the outcome.
    bool Logon();
    // The description of the logged-on token as the library gave it; empty when none is.
    std::string TokenInfo() const;
    void ClearTokenInfo();
    // Signs an attachment text with the logged-on token; empty when nothing was signed.
    std::string SignBig(const std::string& text);

    TokenDisplay Display() const;
    // Signing switched on (library loaded) or off: shows or hides the group box.
    void SetGroupVisible(bool visible);

    std::string StorePath() const;

private:
    struct EntryPoints;
    bool OpenStoreLocked();
    void UnloadLocked();
    void Changed();

    EngineEvents* m_events;
    mutable std::mutex m_mutex;
    void* m_handle = nullptr;
    EntryPoints* m_entry = nullptr;
    std::string m_programFolder;
    std::string m_tokenInfo;
    TokenDisplay m_display;
};

// A reply of TokenLogon that reports a failure rather than describing a token.
bool IsLogonFailure(const std::string& reply);

// Message signing with the HeSA token: the dialogs that get a token logged on, the signature
// detail lines, and the signed envelope.
class TokenSigner final : public MessageSigner {
public:
    TokenSigner(SigningLibrary& library, const SettingsHolder& settings, Prompter& prompter,
                const Clock& clock, std::string programFolder);

    std::string SignWithToken() override;
    std::string BuildSignedBlock(const std::string& from, const std::string& to, const std::string& subject,
                                 const std::string& fileName, const std::string& content,
                                 const std::string* stream) override;
    void ClearTokenLogon() override;

    // Signing can be done now: "HeSA Tokens" is on and the library is loaded (it is loaded here
    // when it is not yet). With the setting off the library is released.
    bool SigningAvailable();

private:
    // The store dialog: empty (send unsigned), "ERROR: PRINT" or "ERROR: CANCEL".
    std::string AskSendUnsigned();
    Answer Ask(const std::string& first, const std::string& second, const std::string& third,
               Buttons buttons);

    SigningLibrary& m_library;
    const SettingsHolder& m_settings;
    Prompter& m_prompter;
    const Clock& m_clock;
    std::string m_programFolder;
    // Signings that failed although a token was logged on, since the last one that worked.
    std::atomic<int> m_failedSignings{0};
};

} // namespace vvp
