#pragma once

#include "MessageDelivery.h"

#include <functional>
#include <string>

namespace vvp {

class EngineContext;

struct Classification {
    std::string result;
    std::string remainder; // further pages still to be examined
    bool refused = false;  // a health message stopped by its own message (critical fields)
};

class JobClassifier {
public:
    virtual ~JobClassifier() = default;
    virtual Classification ClassifyJob(const std::string& jobText) = 0;
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
    bool spoolKept = false;

    bool DealtWith() const { return failures == 0 && !unrecognised && !refused; }
};

// What happens to a received job once its connection has closed: header definition routes,
// peer requests, classification page by page, delivery, and the spool file's removal.
class JobPipeline {
public:
    // Accepts a relay frame in server mode; returns false when it could not be stored.
    using RelayFrameHandler = std::function<bool(const std::string& spoolPath, const std::string& jobText)>;

    JobPipeline(EngineContext& handler, JobClassifier& classifier, MessageRelay* relay = nullptr);

    void SetRelayFrameHandler(RelayFrameHandler handler) { m_relayFrames = std::move(handler); }

    // recovered: the job was left by a crash or kill, so messages it already stored count as
    // delivered instead of clashing with themselves.
    JobOutcome HandleSpoolFile(const std::string& spoolPath, bool recovered = false);

private:
    bool RouteByHeaderDefinitions(const std::string& spoolPath, JobOutcome& outcome);
    void FinishSpool(const std::string& spoolPath, JobOutcome& outcome);
    void ClassifyAndDeliver(const std::string& spoolPath, const std::string& jobText, DeliveryContext& ctx,
                            JobOutcome& outcome);

    EngineContext& m_handler;
    JobClassifier& m_classifier;
    MessageRelay* m_relay;
    RelayFrameHandler m_relayFrames;
};

} // namespace vvp
