#pragma once

// The HL7 v2.3.1 ORM^O01 order made from a completed request, and the practice's order counter.

#include "Clock.h"
#include "Result.h"
#include "txttopitdefUnit.h"

#include <string>

namespace vvp::pathology {

inline constexpr const char* kGroupCounterFileName = "group.counter.txt";

// OBR-13 text from the ticks; stores "Outpatient" as the patient status when there is none.
std::string BuildClinicalNotes(tReferralTicks& ticks);

// A generous estimate of the order's size in bytes: every ORC/OBR pair repeats the doctor, the
// clinical notes and the copy-to list, so the order grows with tests times notes.
size_t EstimateOrderSize(const TPitFile& record);
inline constexpr size_t kMaxOrderBytes = 16u << 20;

// Fills record.Lines with FHS, BHS, MSH, PID, PV1, an ORC/OBR pair per test, BTS and FTS.
// An empty order number falls back to OrderNo, then to the seconds since midnight. The control id
// (MSH-10) names the second, so a second order from the same clock waits for the next second.
void WriteOrmMessage(TPitFile& record, const std::string& orderNumber, const Clock& clock);

// The next order number of the practice from "group.counter.txt" in the folder (a missing file
// counts as 1). Jobs in this process and other processes never get the same number: the counter
// is taken under a process lock and a lock on the file, and replaced atomically.
Result<int> TakeGroupCounter(const std::string& programFolder);
// As above; -1 when the file could not be read and updated in six attempts.
int NextGroupCounter(const std::string& programFolder);

} // namespace vvp::pathology
