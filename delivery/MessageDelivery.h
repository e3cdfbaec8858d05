#pragma once

#include "ActivityLog.h"
#include "Prompter.h"
#include "Settings.h"
#include "TextLines.h"

#include <string>

namespace vvp {

// The server side of Save Mode 0: where a domain's messages go and how they get there.
class MessageRelay {
public:
    virtual ~MessageRelay() = default;
    virtual THostIP FindServerForDomain(const std::string& domain) = 0;
    // "OK", or "ERROR: " and the reason.
    virtual std::string SendTextToServer(const std::string& fileName, const std::string& content,
                                         const THostIP& host) = 0;
    virtual std::string SendFileToServer(const std::string& fileName, const std::string& content,
                                         const THostIP& host, const std::string& stream) = 0;
};

struct DeliveryContext {
    VNPTRRegValues settings; // a snapshot taken for the job
    Prompter& prompter;
    ActivityLog& log;
    MessageRelay* relay = nullptr; // needed in Save Mode 0
    // A job handled again after a crash: a message file of its own (unique) name is its earlier
    // delivery, not a clash.
    bool recoveredJob = false;
    std::string heldReason = {}; // why, when an outcome is Held
};

enum class DeliveryOutcome {
    Delivered, // stored or relayed
    Declined,  // the user chose not to send or save it
    Failed,    // could not be stored; the user was told and the job is to be kept
    Refused,   // its name would lead out of the folder; the user was told, nothing to keep it for
    Held,      // the server did not take it: the job is held and sent again later
};

inline constexpr const char* kWriteFailure = "Unable to write electronic message to destination \r\n";

// The recipient part of a message name (recipient "_" job id page number) or of a dropped file's
// name (recipient "_" its own name).
std::string MessageRecipient(const std::string& name);

// Relays the message in Save Mode 0, else writes it (and its signed copy) into the Save Path
// under temporary names that are then moved to the final names. The recipient is given whole:
// an address without "@" may hold "_", which MessageRecipient would cut.
DeliveryOutcome DeliverMessage(DeliveryContext& ctx, StringList body, StringList signedCopy,
                               const std::string& recipient, const std::string& name, const std::string& ext);

// The server instance that serves the address's domain, or the user's answer: a host text
// "ERROR: CANCEL", or "ERROR:" followed by a folder chosen to save into (empty when cancelled).
THostIP ResolveServerAddress(DeliveryContext& ctx, const std::string& address);

} // namespace vvp
