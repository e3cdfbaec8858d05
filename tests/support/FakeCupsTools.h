#pragma once

#include "TestSupport.h"

#include <string>

namespace vvp::test {

// Stand-ins for the CUPS tools, found first on PATH. Queues are lines "NAME DEVICE-URI" in
// $FAKE_CUPS/printers.
inline constexpr const char* kFakeLpstat = R"(#!/bin/sh
for a in "$@"; do
  case $a in
    -r) echo "scheduler is running"; exit 0 ;;
    -e) cut -d' ' -f1 "$FAKE_CUPS/printers"; exit 0 ;;
    -v) awk '{ print "device for " $1 ": " $2 }' "$FAKE_CUPS/printers"; exit 0 ;;
    -v*) awk -v n="${a#-v}" '$1 == n { print "device for " $1 ": " $2; f = 1 } END { exit !f }' "$FAKE_CUPS/printers"
         exit $? ;;
    -p*) echo "printer ${a#-p} is idle."; echo "	Alerts: none"; exit 0 ;;
  esac
done
)";

// Every call is logged, one argument a line; lpadmin.fail makes it fail, lpadmin.hang hang.
inline constexpr const char* kFakeLpadmin = R"(#!/bin/sh
for a in "$@"; do printf '%s\n' "$a"; done >> "$FAKE_CUPS/lpadmin.log"
if [ -e "$FAKE_CUPS/lpadmin.hang" ]; then echo $$ > "$FAKE_CUPS/lpadmin.pid"; exec sleep 600; fi
if [ -e "$FAKE_CUPS/lpadmin.fail" ]; then echo "lpadmin: Forbidden" >&2; exit 1; fi
[ "$1" = -p ] && printf '%s %s\n' "$2" "$5" >> "$FAKE_CUPS/printers"
exit 0
)";

// Writes the fake tools into dir's "bin" and an empty queue list into its "cups".
struct FakeCups {
    std::string bin;   // put first on PATH
    std::string state; // FAKE_CUPS
};
inline FakeCups InstallFakeCupsTools(TempDir& dir) {
    dir.Write("bin/lpstat", kFakeLpstat);
    dir.Write("bin/lpadmin", kFakeLpadmin);
    RunCommand("chmod 755 " + dir.File("bin/lpstat") + " " + dir.File("bin/lpadmin"));
    dir.Write("cups/printers", "");
    return {dir.File("bin"), dir.File("cups")};
}

} // namespace vvp::test
