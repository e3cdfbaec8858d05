#pragma once

// HL7 v2.3.1 composites built from the free text of a printed request: names (XPN), doctors (XCN),
// addresses (XAD), phones (XTN), the patient identifier list and the billing code. Names drop the
// separators they care about; every free text left is escaped, so it stays inside its component.

#include "txttopitdefUnit.h"

#include <string>
#include <vector>

namespace vvp::pathology {

// Whole single-word entries of the titles list, compared as given.
bool IsTitleExact(const std::string& word);
// The word upper-cased is a title.
bool IsTitle(const std::string& word);

// Slot 0 is the patient, 1 to 10 the doctors.
std::string FormatPersonName(const TPitFile& record, int slot);
std::string FormatDoctor(const TPitFile& record, int slot);
bool IsValidProviderNumber(const std::string& providerNumber);
std::string BuildCopyToDoctors(const TPitFile& record);

// Parts of a free-text address, in this order, joined by CR.
struct ParsedAddress {
    std::string other, street, suburb, state, postcode, country, type;
};
ParsedAddress ParseAddressParts(const std::string& address);
// The classification step on the address's trimmed, non-empty lines; a.type comes in as "C".
void ClassifyAddressLines(const std::vector<std::string>& lines, ParsedAddress& a);
std::string ParseAddress(const std::string& address);

bool IsStreetType(const std::string& upperWord);
bool IsStateName(const std::string& upperWord);
bool IsPostcode(const std::string& token);

std::string FormatAddressText(const std::string& address);
std::string FormatPatientAddress(const TPitFile& record);
std::string FormatDoctorAddress(const TPitFile& record, int slot);
std::string FormatPhone(const std::string& phone);
std::string BuildPatientIdentifiers(const TPitFile& record);
std::string BillingCode(const TPitFile& record);

} // namespace vvp::pathology
