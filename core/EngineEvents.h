#pragma once

#include <string>

namespace vvp {

// What a window shows changes; the desktop window subscribes, vvpd logs. Called from any thread.
class EngineEvents {
public:
    virtual ~EngineEvents() = default;
    virtual void StatusTextChanged(const std::string& /*statusText*/) {}
    virtual void ListenerStateChanged(bool /*active*/) {}
    virtual void DomainListChanged() {}
    virtual void TokenStateChanged() {}
    virtual void MonitorCaptionChanged(const std::string& /*caption*/) {}
};

} // namespace vvp
