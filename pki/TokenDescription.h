#pragma once

// The text that describes a logged-on token: its certificate's subject, e-mail, serial, identifier
// and issuer, one item a line, each line ended by CR LF.

#include <openssl/x509.h>

#include <string>

namespace vvp::pki {

// "C=AU, O=Practice, CN=Dr A Person": attributes in the certificate's order, ", " between them.
std::string formatName(const X509_NAME* name);

// The subject's emailAddress, else the first rfc822Name of the subject alternative names.
std::string certificateEmail(X509* cert);

// The value of the last attribute of the given kind, empty when absent.
std::string nameEntry(const X509_NAME* name, int nid);

// Upper-case hexadecimal of the serial number.
std::string serialHex(const X509* cert);

// First 16 hexadecimal digits (upper case) of the certificate's SHA-256 fingerprint: stable for
// the life of the certificate, different for a renewed one.
std::string tokenId(const X509* cert);

// Holder line, subject, e-mail, serial, token identifier and issuer.
std::string describeToken(X509* cert);

} // namespace vvp::pki
