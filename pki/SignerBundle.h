#pragma once

// What a store holds: the signer's key and certificate and the certificates of its chain.

#include "OpenSslHandles.h"

#include <string>
#include <vector>

namespace vvp::pki {

struct SignerBundle {
    EvpPkeyPtr key;
    X509Ptr certificate;
    std::vector<X509Ptr> chain;
    std::string friendlyName;
};

} // namespace vvp::pki
