#pragma once

#include <string>

namespace vvp {

// What a window shows changes; the desktop window subscribes, vvpd logs. Called from any thread.
class EngineEvents {
public:
    virtual ~EngineEvents() = default;
    virtual void StatusTextChanged(const std::string& /*statusText*/) {}
    virtual void ListenerStateChanged(bool /*active*/) {}
    // Where the listener listens, "127.0.0.1:9105, [::1]:9105"; told before the status text.
    virtual void ListeningOnChanged(const std::string& /*where*/) {}
    virtual void DomainListChanged() {}
    virtual void TokenStateChanged() {}
    virtual void MonitorCaptionChanged(const std::string& /*caption*/) {}
};

} // namespace vvp
