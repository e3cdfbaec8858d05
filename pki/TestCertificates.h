#pragma once

// A throw-away certificate authority and a practitioner certificate signed by it, for trying
// signing out without a real token and for tests.

#include "PkiResult.h"
#include "SignerBundle.h"

#include <string>

namespace vvp::pki {

struct TestIdentity {
    SignerBundle signer; // practitioner key, certificate, and the CA certificate as chain
    X509Ptr caCertificate;
};

// Subject "C=AU, ST=NSW, L=Sydney, O=Test Practice, CN=<name>, emailAddress=<email>", RSA 2048,
// SHA-256, usable for S/MIME signing.
Result<TestIdentity> createTestIdentity(const std::string& name, const std::string& email);

std::string certificatePem(X509* cert);

} // namespace vvp::pki
