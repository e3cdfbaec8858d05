#pragma once

#include <string>

namespace vvp {

// Signing as message creation and the folder monitor use it.
class MessageSigner {
public:
    virtual ~MessageSigner() = default;
    // The two signature detail lines, or empty (send unsigned), "ERROR: CANCEL" (give the job
    // up) or "ERROR: PRINT" (the user declined an unsigned send).
    virtual std::string SignWithToken() = 0;
    // The signed envelope, or empty when nothing was signed. stream, when given, is the content.
    virtual std::string BuildSignedBlock(const std::string& from, const std::string& to,
                                         const std::string& subject, const std::string& fileName,
                                         const std::string& content, const std::string* stream) = 0;
    // Forgets the logged-on token so the next signing logs on again.
    virtual void ClearTokenLogon() = 0;
};

// Signing switched off or no signing library: every message goes unsigned.
class UnsignedMessageSigner final : public MessageSigner {
public:
    std::string SignWithToken() override { return {}; }
    std::string BuildSignedBlock(const std::string&, const std::string&, const std::string&,
                                 const std::string&, const std::string&, const std::string*) override {
        return {};
    }
    void ClearTokenLogon() override {}
};

} // namespace vvp
