#pragma once

// Detached S/MIME signatures (multipart/signed, PKCS#7, SHA-256) over a MIME entity given as text.

#include "PkiResult.h"
#include "SignerBundle.h"

#include <string>
#include <string_view>

namespace vvp::pki {

// The bytes an S/MIME verifier hashes for the first part: every line end (LF, CR LF, or LF
// after several CRs) becomes CR LF and CRs ending a line are dropped, as OpenSSL does when it
// splits a multipart/signed entity. The signature must be made over exactly this.
std::string canonicalText(std::string_view text);

// Standard base64 broken into lines of `width` characters, each line ended by CR LF.
std::string base64Lines(std::string_view bytes, std::size_t width = 64);

// The signed entity: MIME headers of a multipart/signed body whose first part is `text`
// unchanged and whose second part is the detached PKCS#7 signature of its canonical form,
// carrying the signer's certificate and chain. CR LF line ends throughout.
Result<std::string> signDetached(const SignerBundle& bundle, std::string_view text);

} // namespace vvp::pki
