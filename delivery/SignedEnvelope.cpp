#include "SignedEnvelope.h"

#include "DateTime.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "simplebase64.h"

namespace vvp {

std::string FormatMessageDate(TDateTime value, int utcOffsetMinutes) {
    return FormatDateTime("ddd, dd mmm yyyy hh:nn:ss ", value) + FormatZoneSuffix(utcOffsetMinutes);
}

std::string BuildMimePart(const Clock& clock, const std::string& from, const std::string& to,
                          const std::string& subject, const std::string& fileName, const std::string& content,
                          const std::string* stream) {
    const std::string name = ExtractFileName(fileName);
    const std::string encoded = WrapLines(Base64Encode(stream ? *stream : content), 76);
    std::string text;
    text.reserve(encoded.size() + from.size() + to.size() + subject.size() + 2 * name.size() + 256);
    text += "From: " + from + "\r\n";
    text += "To: " + to + "\r\n";
    text += "Subject: " + subject + "\r\n";
    text += "Date: " + FormatMessageDate(clock.Now(), clock.UtcOffsetMinutes()) + "\r\n";
    text += "Content-Type: application/octet-stream;\r\n";
    text += "   name=\"" + name + "\"\r\n";
    text += "Content-Transfer-Encoding: base64\r\n";
    text += "Content-Disposition: attachment;\r\n";
    text += "   filename=\"" + name + "\"\r\n\r\n";
    text += encoded;
    return text;
}

std::string BuildSignedBlock(const Clock& clock, const SignFunction& sign, const std::string& from,
                             const std::string& to, const std::string& subject, const std::string& fileName,
                             const std::string& content, const std::string* stream) {
    const std::string extendedSubject = subject + " (File \"" + fileName + "\")";
    const std::string signature =
        sign(BuildMimePart(clock, from, to, extendedSubject, fileName, content, stream));
    if (signature.empty()) return {};
    std::string block;
    block.reserve(signature.size() + from.size() + to.size() + extendedSubject.size() + 128);
    block += kSignedMessageMarkerLine;
    block += "From: " + from + "\r\n";
    block += "To: " + to + "\r\n";
    block += "Subject: " + extendedSubject + "\r\n";
    block += "X-VOCANETSIGNED: DUPLICATE\r\n";
    block += signature;
    return block;
}

std::string DNField(const std::string& key, const std::string& dn) {
    const std::string text = ", " + StrReplace(dn, " = ", "=") + ", ";
    return StrBetween(text, ", " + UpperCase(key) + "=", ", ");
}

std::string SignatureDetailLines(const std::string& tokenInfo) {
    const std::string upper = UpperCase(tokenInfo);
    const std::string subject = StrReplace(StrBetween(tokenInfo, "SUBJECT=", "\r\n"), ":", " ");
    const std::string email = StrBetween(tokenInfo, "Email=", "\r\n");
    const std::string serial = StrBetween(upper, "SERIAL NUM=", "\r\n");
    const std::string tokenId = StrBetween(upper, "TOKEN ID=", "\r\n");
    const std::string issuerO = DNField("O", StrBetween(tokenInfo, "ISSUER=", "\r\n"));
    return "Signed by  : " + DNField("CN", subject) + " <" + email + ">, " + DNField("L", subject) + " " +
           DNField("ST", subject) + "\r\n301 Certificate: " + serial + " Token: " + tokenId + " issued by " +
           issuerO;
}

} // namespace vvp
