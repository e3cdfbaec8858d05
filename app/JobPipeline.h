#pragma once

#include "JobText.h"
#include "MessageDelivery.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vvp {

class EngineContext;

// A message made from a printed letter or page.
struct CreatedMessage {
    std::string recipient;   // the addressee's e-mail address
    std::string format;      // "PIT", "HL7", "RTF" or "ORM"
    std::string content;     // lines ended by CR LF; RTF: the letter as one base64 line
    std::string signedBlock; // the signed copy (what follows the signed-message marker); empty: unsigned
};

// What became of one letter or page.
struct Creation {
    enum class Status {
        Message,   // message is to be delivered
        Nothing,   // nothing to send (not a request, or a relay frame for the pipeline)
        Skipped,   // a page of white space only
        Cancelled, // the user gave it up
        Failed,    // an error, already shown to the user
        Refused,   // a health message stopped by its own box (critical fields)
        TooLarge,  // over the page limits: the job is set aside
    };
    Status status = Status::Nothing;
    CreatedMessage message;
    std::string detail; // why, for Failed and TooLarge
};

struct Classification {
    Creation created;
    size_t next = std::string::npos; // where the next pass starts in the job text; npos: none
};

class JobClassifier {
public:
    virtual ~JobClassifier() = default;
    virtual Classification ClassifyJob(JobText& job) = 0;
};

// How one job ended, for the log and for vvpd's exit status.
struct JobOutcome {
    int messages = 0;      // messages delivered
    int cancelled = 0;     // pages the user cancelled or declined to send
    int failures = 0;      // pages that gave errors, messages that could not be stored
    int storeFailures = 0; // of those, what could not be written or relayed: the job is kept
    bool handedOn = false; // routed by a header definition file
    bool peerRequest = false;
    bool relayFrame = false;
    bool unrecognised = false;
    bool refused = false;
    bool tooLarge = false; // set aside: over the limits of one job
    bool held = false;     // held until someone fixes the cause, then tried again
    std::string holdCause, holdReason;
    bool spoolKept = false;
    // The job's messages (file base names) that went out, before it was held and in this run.
    std::vector<std::string> delivered;

    bool DealtWith() const { return failures == 0 && !unrecognised && !refused && !tooLarge && !held; }
};

// What happens to a received job once its connection has closed: header definition routes,
// peer requests, classification page by page, delivery, and the spool file's removal.
class JobPipeline {
public:
    // Accepts a relay frame in server mode; returns false when it could not be stored.
    using RelayFrameHandler = std::function<bool(const std::string& spoolPath, const std::string& jobText)>;
    // Holds the job's spool file (cause, reason, what went out already); false when it could not
    // be held (it then stays).
    using HoldHandler =
        std::function<bool(const std::string& spoolPath, const std::string& cause, const std::string& reason,
                           const std::vector<std::string>& delivered)>;
    // What a held job sent before it was held (its file base names); nullopt for a job never held.
    using DeliveredBefore = std::function<std::optional<std::vector<std::string>>(const std::string& jobId)>;

    JobPipeline(EngineContext& handler, JobClassifier& classifier, MessageRelay* relay = nullptr);

    void SetRelayFrameHandler(RelayFrameHandler handler) { m_relayFrames = std::move(handler); }
    void SetHoldHandler(HoldHandler handler) { m_hold = std::move(handler); }
    void SetDeliveredBefore(DeliveredBefore lookup) { m_deliveredBefore = std::move(lookup); }

    // recovered: the job was left by a crash or kill, or held and tried again. A held job's record
    // says which messages went out; without one, a message already stored under the job's own
    // name counts as delivered instead of clashing with itself.
    JobOutcome HandleSpoolFile(const std::string& spoolPath, bool recovered = false);

private:
    bool RouteByHeaderDefinitions(const std::string& spoolPath, const std::string& spoolBytes,
                                  JobOutcome& outcome);
    void FinishSpool(const std::string& spoolPath, JobOutcome& outcome);
    void ClassifyAndDeliver(const std::string& spoolPath, JobText& job, DeliveryContext& ctx,
                            JobOutcome& outcome);
    void Unrecognised(JobOutcome& outcome);
    void SetAside(const std::string& spoolPath, const std::string& why, JobOutcome& outcome);
    void StoreRelayFrame(const std::string& spoolPath, const std::string& jobText, const DeliveryContext& ctx,
                         JobOutcome& outcome);

    EngineContext& m_handler;
    JobClassifier& m_classifier;
    MessageRelay* m_relay;
    RelayFrameHandler m_relayFrames;
    HoldHandler m_hold;
    DeliveredBefore m_deliveredBefore;
};

} // namespace vvp
