#include "PkiTestSupport.h"

#include <openssl/evp.h>

#include <cstdlib>
#include <sys/wait.h>

namespace vvp::pki::test {

int runCommand(const std::string& commandLine) {
    const int status = std::system(commandLine.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

int runStoreTool(const std::string& arguments, const std::string& folder) {
    return runCommand(shellQuote(VVP_STORE_TOOL_PATH) + " " + arguments + " >" +
                      shellQuote(folder + "tool.out") + " 2>" + shellQuote(folder + "tool.err") +
                      " </dev/null");
}

std::string base64Encode(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int len =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(len));
    return out;
}

std::string base64Decode(const std::string& text) {
    std::string flat;
    for (const char c : text) {
        if (c != '\r' && c != '\n') flat += c;
    }
    if (flat.size() % 4 != 0) return {};
    std::string out(flat.size() / 4 * 3 + 1, '\0');
    const int len =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(flat.data()), static_cast<int>(flat.size()));
    if (len < 0) return {};
    std::size_t size = static_cast<std::size_t>(len);
    for (std::size_t i = flat.size(); i > 0 && flat[i - 1] == '='; --i)
        --size;
    out.resize(size);
    return out;
}

std::string mimeEntity(const std::string& content, bool finalLineEnd) {
    std::string text = "From: dr.sender@test.example\r\n"
                       "To: dr.receiver@test.example\r\n"
                       "Subject: Letter for Mr Test (File \"letter.pit\")\r\n"
                       "Date: Tue, 08 Dec 2009 14:05:09 +1100\r\n"
                       "Content-Type: application/octet-stream;\r\n"
                       "   name=\"letter.pit\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n"
                       "Content-Disposition: attachment;\r\n"
                       "   filename=\"letter.pit\"\r\n\r\n";
    const std::string encoded = base64Encode(content);
    for (std::size_t pos = 0; pos < encoded.size(); pos += 76) {
        text += encoded.substr(pos, 76);
        if (pos + 76 <= encoded.size()) text += "\r\n";
    }
    if (finalLineEnd && encoded.size() % 76 != 0) text += "\r\n";
    return text;
}

std::string firstPart(const std::string& signedEntity) {
    const std::string marker = "boundary=\"";
    const auto at = signedEntity.find(marker);
    if (at == std::string::npos) return {};
    const auto close = signedEntity.find('"', at + marker.size());
    const std::string boundary = signedEntity.substr(at + marker.size(), close - at - marker.size());
    const auto open = signedEntity.find("\r\n--" + boundary + "\r\n");
    if (open == std::string::npos) return {};
    const auto start = open + boundary.size() + 6;
    const auto end = signedEntity.find("\r\n--" + boundary, start);
    return end == std::string::npos ? std::string() : signedEntity.substr(start, end - start);
}

std::string decodedBody(const std::string& entity) {
    const auto split = entity.find("\r\n\r\n");
    return split == std::string::npos ? std::string() : base64Decode(entity.substr(split + 4));
}

std::string signedEnvelope(const std::string& signedEntity) {
    return "From: dr.sender@test.example\r\nTo: dr.receiver@test.example\r\n"
           "Subject: Letter for Mr Test (File \"letter.pit\")\r\nX-VOCANETSIGNED: DUPLICATE\r\n" +
           signedEntity;
}

bool opensslVerifies(const std::string& emlPath, const std::string& caPath, const std::string& contentOut) {
    return runCommand("openssl smime -verify -in " + shellQuote(emlPath) + " -CAfile " + shellQuote(caPath) +
                      " -out " + shellQuote(contentOut) + " 2>/dev/null") == 0;
}

} // namespace vvp::pki::test
