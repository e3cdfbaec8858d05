// Arbitrary pages through the printed-request parser, and whatever it read through the order
// writer's builders (no dialogs): no crash, no hang.
#include "OrmWriter.h"
#include "PathNormalisation.h"
#include "txttopitdefUnit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    vvp::pathology::TPitFile record;
    vvp::pathology::ParsePrintedRequest(text, record);
    if (record.Error.empty() && (record.Surname.empty() || record.Doctors[1].FamilyName.empty()))
        std::abort();

    // The first byte picks the ticks that steer the builders.
    const unsigned selector = size ? data[0] : 0;
    record.Ticks.Billing = static_cast<int>(selector % 9) - 1;
    record.Ticks.BillingNumber = record.YourRef;
    record.Ticks.PatientStatus = selector & 0x10 ? "InPatient" : "";
    record.LabEAddress() = "lab@example";
    record.SendingFacility = record.Doctors[1].Title;
    const vvp::FixedClock clock(45000.5, selector & 0x20 ? -330 : 600);
    if (vvp::pathology::EstimateOrderSize(record) <= vvp::pathology::kMaxOrderBytes) {
        vvp::pathology::WriteOrmMessage(record, "", clock);
        if (record.Lines.size() < 7) std::abort(); // FHS, BHS, MSH, PID, PV1, BTS, FTS at least
    }
    (void)vvp::pathology::ParseAddress(text);
    (void)vvp::pathology::FormatPhone(text);
    return 0;
}
