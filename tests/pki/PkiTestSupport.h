#pragma once

#include <string>

namespace vvp::pki::test {

// Runs a shell command line; its exit code, or -1 when it did not exit normally.
int runCommand(const std::string& commandLine);

// Single-quoted for the shell.
std::string shellQuote(const std::string& text);

// Runs vvp-store with the given arguments (already quoted), output sent to files in `folder`.
int runStoreTool(const std::string& arguments, const std::string& folder);

std::string base64Encode(const std::string& bytes);
// Ignores line ends; empty on malformed input.
std::string base64Decode(const std::string& text);

// An attachment text as the program builds it: header lines, an empty line, then the base64 of
// the content in lines of 76 characters, the last one without a line end (or with one when
// `finalLineEnd`).
std::string mimeEntity(const std::string& content, bool finalLineEnd = false);

// The first part of a multipart/signed entity, exactly as it stands between the delimiters.
std::string firstPart(const std::string& signedEntity);

// The decoded body of a MIME entity whose body is base64.
std::string decodedBody(const std::string& entity);

// The .eml file the program writes around the library's output.
std::string signedEnvelope(const std::string& signedEntity);

// `openssl smime -verify` of an .eml file against a CA file; true when it verified. The verified
// content goes to `contentOut`.
bool opensslVerifies(const std::string& emlPath, const std::string& caPath, const std::string& contentOut);

} // namespace vvp::pki::test
