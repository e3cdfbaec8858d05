// The desk under a real X server: vvp runs under xvfb-run, a pathology request is printed to its
// port over TCP, the details dialog comes up and is worked with the keyboard through xdotool, and
// the order on disk is read back by an independent HL7 parser.

#include "../formats/Hl7Interop.h"
#include "FileUtil.h"
#include "QZStringManip.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vvp {
namespace {

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool Installed(const char* program) {
    return test::RunCommand(std::string("command -v ") + program + " >/dev/null 2>&1").status == 0;
}

// Keys from the moment the dialog opens with the focus on "Pathology Provider": Down chooses the
// laboratory (the list starts on its empty item); four Tabs reach Urgent (past "..." and the
// practice link), Space ticks it; four more reach the billing buttons, which take one Tab stop
// together: Space chooses Private, Down Down move the choice through Concession to Bulk Bill;
// Enter is OK.
const char* const kDeskScript = R"SH(set -u
"$VVP" --program-folder "$PROG" --registry "$REG" >"$WORK/vvp.log" 2>&1 &
vvp=$!
sent=no
for i in $(seq 300); do
  cat "$JOB" 2>/dev/null >"/dev/tcp/127.0.0.1/$PORT" && { sent=yes; break; }
  sleep 0.2
done
echo "job sent: $sent"
# Searched again until a deadline: one --sync search can return empty when another window (the
# splash) goes away while it looks.
win=
deadline=$((SECONDS + 60))
while [ -z "$win" ] && [ $SECONDS -lt $deadline ]; do
  win=$(xdotool search --onlyvisible --name '^Pathology Details - ' 2>/dev/null | head -n 1)
  [ -n "$win" ] || sleep 0.2
done
if [ -z "$win" ]; then echo "no details dialog"; kill $vvp; wait $vvp; exit 3; fi
echo "dialog: $(xdotool getwindowname "$win")"
xdotool windowfocus --sync "$win"
sleep 0.5
xdotool key --delay 150 Down Tab Tab Tab Tab space Tab Tab Tab Tab space Down Down Return
for i in $(seq 100); do
  ls "$PROG"VirtualPrinter/*.orm >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 0.5
kill -TERM $vvp
wait $vvp
echo "vvp exit: $?"
)SH";

TEST(VvpDeskEndToEnd, ARequestPrintedToVvpIsCompletedInItsDialogAndOrdered) {
    const char* ci = std::getenv("CI");
    const bool required = ci && std::string(ci) == "true";
    for (const char* tool : {"xvfb-run", "xdotool"}) {
        if (Installed(tool)) continue;
        if (required) FAIL() << tool << " is required in CI (scripts/setup-deps.sh installs it)";
        GTEST_SKIP() << tool << " is not installed";
    }
    VVP_REQUIRE_HL7_INTEROP();
    const std::string vvp = test::BinDir() + "/vvp";
    ASSERT_TRUE(FileExists(vvp));

    test::TempDir dir;
    const std::string prog = dir.Path() + "prog/";
    ASSERT_TRUE(ForceDirectories(prog).ok());
    ASSERT_TRUE(ForceDirectories(dir.Path() + "tmp").ok());
    ASSERT_TRUE(ForceDirectories(dir.Path() + "run").ok());
    // Qt refuses a runtime directory others may read.
    ASSERT_EQ(::chmod((dir.Path() + "run").c_str(), 0700), 0);
    dir.Write("prog/ElectronicLabDetails.inf", test::ReadTestData("pathology/ElectronicLabDetails.inf"));
    // The request as printed, less its results-by time, so that it arrives not urgent and only the
    // dialog can make it so.
    const std::string printed = test::ReadTestData("pathology/single_request.prn");
    const std::string job = StrReplace(printed, "\r\n14:30\r\n", "\r\nPlease fax results\r\n");
    ASSERT_NE(job, printed);
    dir.Write("job.prn", job);
    const int port = FreeLoopbackPort();
    ASSERT_GT(port, 0);
    char dword[16];
    std::snprintf(dword, sizeof dword, "%08x", static_cast<unsigned>(port));
    dir.Write("registry.reg",
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Printer]\r\n"
              "\"Port\"=dword:" +
                  std::string(dword) +
                  "\r\n\"Save Mode\"=dword:00000001\r\n\"HeSA Tokens\"=dword:00000000\r\n"
                  "\"Save Path\"=\"" +
                  prog + "VirtualPrinter/\"\r\n");
    dir.Write("desk.sh", kDeskScript);
    // Under AddressSanitizer: the desktop's libraries (D-Bus, fontconfig) keep a few blocks to the end.
    dir.Write("lsan.supp", "leak:libdbus-1.so\nleak:libfontconfig.so\n");

    const std::string env =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM VVP='" + vvp + "' PROG='" + prog + "' REG='" +
        dir.Path() + "registry.reg' JOB='" + dir.Path() + "job.prn' WORK='" + dir.Path() +
        "' PORT=" + std::to_string(port) + " LSAN_OPTIONS='suppressions=" + dir.Path() + "lsan.supp' TMP='" +
        dir.Path() + "tmp' XDG_RUNTIME_DIR='" + dir.Path() + "run' XDG_CONFIG_HOME='" + dir.Path() + "cfg' ";
    const test::CommandResult run = test::RunCommand(
        env + "timeout 240 xvfb-run -a -s '-screen 0 1280x1024x24' bash '" + dir.Path() + "desk.sh' 2>&1");
    const std::string log = dir.Read("vvp.log");
    ASSERT_EQ(run.status, 0) << run.output << "\nvvp log:\n" << log;
    EXPECT_NE(run.output.find("dialog: Pathology Details - FBC;LFT;UEC "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("vvp exit: 0"), std::string::npos) << run.output << log;

    const auto orders = ListFolder(prog + "VirtualPrinter/", "*.orm", false);
    ASSERT_EQ(orders.size(), 1u) << run.output << "\nvvp log:\n" << log;
    EXPECT_EQ(orders[0].rfind("orders@acme.example", 0), 0u) << orders[0];
    std::string error;
    const auto parsed = test::ReadHl7WithInterop(prog + "VirtualPrinter/" + orders[0], false, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->Field("MSH", 5), "ACMELAB");
    EXPECT_EQ(parsed->Field("PV1", 21), "01"); // the billing code of Bulk Bill
    const std::string timing = parsed->Field("OBR", 27);
    EXPECT_EQ(StrField(timing, '^', 6), "S") << timing; // Urgent
    EXPECT_EQ(parsed->Field("PID", 5).rfind("SMITH^JOHN", 0), 0u);
}

} // namespace
} // namespace vvp
