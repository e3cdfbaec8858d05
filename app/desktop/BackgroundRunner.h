#pragma once

#include <functional>

namespace vvp {

// Runs engine work that may wait (network, signing token) off the GUI thread.
class BackgroundRunner {
public:
    virtual ~BackgroundRunner() = default;
    // work runs on another thread; done runs on the GUI thread afterwards, also when work threw.
    virtual void Run(std::function<void()> work, std::function<void()> done) = 0;
};

} // namespace vvp
