#include "OrmWriter.h"
#include "RequestPages.h"

#include "../formats/Hl7Interop.h"
#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vvp::pathology {
namespace {

TDateTime At(int y, int mo, int d, int h, int mi, int s, int ms) {
    return *EncodeDateTime({y, mo, d, h, mi, s, ms});
}

TPitFile StandardOrder() {
    TPitFile r;
    ParsePrintedRequest(pages::StandardPage(), r);
    r.LabName = "Acme Pathology";
    r.ReceivingApp = "ACMELAB";
    r.ReceivingFacility = "ACME^2000^AUSNATA";
    r.LabEAddress() = "orders@acme.example";
    r.SendingApp = "VVP";
    r.SendingFacility = "CLINIC^1234^AUSHIC";
    return r;
}

std::string Segment(const TPitFile& r, const std::string& name, int occurrence = 0) {
    for (const auto& l : r.Lines)
        if (l.compare(0, 4, name + "|") == 0 && occurrence-- == 0) return l;
    return {};
}

TEST(OrmWriter, ClinicalNotes) {
    const struct {
        void (*set)(tReferralTicks&);
        const char* notes;
    } cases[] = {
        {[](tReferralTicks&) {}, ";"},
        {[](tReferralTicks& t) {
             t.Notes = "Tired ";
             t.Fasting = true;
             t.Random = true;
         },
         "Tired Fasting;"},
        {[](tReferralTicks& t) {
             t.Random = true;
             t.Billing = 2;
         },
         "Random (non-Fasting);Billing:BULKBILL;"},
        {[](tReferralTicks& t) {
             t.Pregnant = true;
             t.Lnmp = "01/01/24";
             t.Edc = "08/10/24";
             t.OnHormones = true;
         },
         "Pregnant LNMP 01/01/24 EDC 08/10/24;"},
        {[](tReferralTicks& t) {
             t.OnHormones = true;
             t.Lnmp = "01/01/24";
             t.PostNatal = true;
             t.PostMenopausal = true;
         },
         "On Hormones; LNMP 01/01/24;Post Natal;PostMenopausal;"},
        {[](tReferralTicks& t) {
             t.CytologySite = 1;
             t.CervixAppearance = 1;
             t.Iucd = true;
             t.PastRadiotherapy = true;
             t.AbnormalBleeding = true;
         },
         "Gynae Cytology Site: Vaginal Vault;Past Radiotherapy;IUCD;Abnormal Bleeding;"
         "Cervical Appearance: SUSPICIOUS;"},
        {[](tReferralTicks& t) {
             t.Urgent = true;
             t.ResultsBy = "14:30";
         },
         "URGENT  PLEASE SEND RESULTS BY 14:30;"},
        {[](tReferralTicks& t) {
             t.FaxResultsTo = "3123 4568";
             t.PhoneResultsTo = "3123 4567";
             t.ResultsBy = "5pm";
         },
         "PLEASE FAX RESULTS TO 3123 4568 PLEASE PHONE RESULTS TO 3123 4567 BY 5pm;"},
        {[](tReferralTicks& t) {
             t.Billing = 7;
             t.FundCode = "MBF";
             t.BillingNumber = "123";
         },
         ";Billing:FUND MBF 123;"},
        {[](tReferralTicks& t) { t.Billing = 7; }, ";Billing:FUND ;"},
        {[](tReferralTicks& t) {
             t.PatientStatus = "InPatient";
             t.SelfDetermined = true;
             t.Rule3Exempt = true;
         },
         ";Patient Status-InPatient;Some Tests are SELF DETERMINED;Some Tests are RULE 3 EXEMPTED;"},
        {[](tReferralTicks& t) { t.Notes = "a;"; }, "a;"},
    };
    for (const auto& c : cases) {
        tReferralTicks t;
        c.set(t);
        EXPECT_EQ(BuildClinicalNotes(t), c.notes);
        EXPECT_FALSE(t.PatientStatus.empty());
    }
}

TEST(OrmWriter, WholeOrderWithFixedClock) {
    TPitFile r = StandardOrder();
    FixedClock clock(At(2024, 3, 1, 9, 5, 7, 123), 600);
    WriteOrmMessage(r, "42", clock);
    const StringList expected = {
        "FHS|^~\\&|VVP|CLINIC|ACMELAB|ACME^2000^AUSNATA|20240301090507.123+1000||"
        "orders@acme.example_20240301090507.123+1000.ORM||42",
        "BHS|^~\\&|VVP|CLINIC|ACMELAB|ACME^2000^AUSNATA|20240301090507.123+1000||"
        "orders@acme.example_20240301090507.123+1000.ORM||42",
        "MSH|^~\\&|VVP|CLINIC^1234^AUSHIC|ACMELAB|ACME^2000^AUSNATA|20240301090507.123+1000||ORM^O01^ORM_O01|"
        "CLINIC_20240301.090507|P|2.3.1|42||AL|AL|AUS|||",
        "PID|1||1234^^^^IP~21234567011^^^AUSHIC^MC||SMITH^JOHN^^^MR||19600201000000000|M|||"
        "12 SMITH ST^^NORTH SYDNEY^NSW^2060^^C||^^^^^07^31234567|^^^^0^412^345678||||||",
        "PV1|1|O|||||||049960CT^Citizen^John^^^Dr^^^AUSHICPR|049960CT^Citizen^John^^^Dr^^^AUSHICPR|||||||||||"
        "99",
        "ORC|NW|42-0^CLINIC||42^CLINIC^1234^AUSHIC|IP||||20240301090507+1000|||"
        "049960CT^Citizen^John^^^Dr^^^AUSHICPR||||1 MAIN RD^ Suite 4^CARLTON^VIC^3053^^C",
        "OBR|1|42-0^CLINIC||^FBC^VVP||||||L|L||Chest pain for two days URGENT  PLEASE SEND RESULTS BY "
        "14:30;|||"
        "049960CT^Citizen^John^^^Dr^^^AUSHICPR|||||||||||^^^20240301090507+1000^^S|"
        "^ DOE^JANE^^DR^^^^^~^ Paul Brown^Dr^^^^^^^Cardiology",
        "ORC|NW|42-1^CLINIC||42^CLINIC^1234^AUSHIC|IP||||20240301090507+1000|||"
        "049960CT^Citizen^John^^^Dr^^^AUSHICPR||||1 MAIN RD^ Suite 4^CARLTON^VIC^3053^^C",
        "OBR|2|42-1^CLINIC||^LFT^VVP||||||L|L||Chest pain for two days URGENT  PLEASE SEND RESULTS BY "
        "14:30;|||"
        "049960CT^Citizen^John^^^Dr^^^AUSHICPR|||||||||||^^^20240301090507+1000^^S|"
        "^ DOE^JANE^^DR^^^^^~^ Paul Brown^Dr^^^^^^^Cardiology",
        "ORC|NW|42-2^CLINIC||42^CLINIC^1234^AUSHIC|IP||||20240301090507+1000|||"
        "049960CT^Citizen^John^^^Dr^^^AUSHICPR||||1 MAIN RD^ Suite 4^CARLTON^VIC^3053^^C",
        "OBR|3|42-2^CLINIC||^UEC ^VVP||||||L|L||Chest pain for two days URGENT  PLEASE SEND RESULTS BY "
        "14:30;|||"
        "049960CT^Citizen^John^^^Dr^^^AUSHICPR|||||||||||^^^20240301090507+1000^^S|"
        "^ DOE^JANE^^DR^^^^^~^ Paul Brown^Dr^^^^^^^Cardiology",
        "BTS|1||",
        "FTS|1|42|",
    };
    ASSERT_EQ(r.Lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(r.Lines[i], expected[i]) << i;
}

TEST(OrmWriter, SizeEstimateCoversTheOrder) {
    TPitFile r = StandardOrder();
    r.Tests = "A;B;C;D;E;F ";
    r.Ticks.Billing = 7;
    r.Ticks.PatientStatus = "Community Client";
    r.Ticks.Lnmp = "01/01/2024";
    const size_t estimate = EstimateOrderSize(r);
    WriteOrmMessage(r, "123456", FixedClock(0, 600));
    EXPECT_GE(estimate, JoinLines(r.Lines).size());
    EXPECT_LT(estimate, JoinLines(r.Lines).size() * 4);
}

TEST(OrmWriter, IndependentParserReadsTheOrder) {
    VVP_REQUIRE_HL7_INTEROP();
    TPitFile r = StandardOrder();
    FixedClock clock(At(2024, 3, 1, 9, 5, 7, 123), 600);
    WriteOrmMessage(r, "42", clock);
    vvp::test::TempDir dir;
    std::string wire;
    for (const auto& l : r.Lines)
        wire += l + "\r";
    dir.Write("order.orm", wire);
    std::string error;
    auto parsed = vvp::test::ReadHl7WithInterop(dir.File("order.orm"), false, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->messages, 1);
    EXPECT_EQ(parsed->Field("MSH", 9), "ORM^O01^ORM_O01");
    EXPECT_EQ(parsed->Field("MSH", 10), "CLINIC_20240301.090507");
    EXPECT_EQ(parsed->Field("MSH", 12), "2.3.1");
    EXPECT_EQ(parsed->Field("MSH", 13), "42");
    EXPECT_EQ(parsed->Field("PID", 3), "1234^^^^IP~21234567011^^^AUSHIC^MC");
    EXPECT_EQ(parsed->Field("PID", 5), "SMITH^JOHN^^^MR");
    EXPECT_EQ(parsed->Field("PID", 7), "19600201000000000");
    EXPECT_EQ(parsed->Field("PID", 8), "M");
    EXPECT_EQ(parsed->Field("PID", 11), "12 SMITH ST^^NORTH SYDNEY^NSW^2060^^C");
    EXPECT_EQ(parsed->Field("PID", 13), "^^^^^07^31234567");
    EXPECT_EQ(parsed->Field("PV1", 2), "O");
    EXPECT_EQ(parsed->Field("PV1", 9), "049960CT^Citizen^John^^^Dr^^^AUSHICPR");
    EXPECT_EQ(parsed->Field("PV1", 10), parsed->Field("PV1", 9));
    EXPECT_EQ(parsed->Field("PV1", 21), "99");
    EXPECT_EQ(parsed->Field("ORC", 2, 1), "42-1^CLINIC");
    EXPECT_EQ(parsed->Field("ORC", 5, 1), "IP");
    EXPECT_EQ(parsed->Field("ORC", 12, 1), "049960CT^Citizen^John^^^Dr^^^AUSHICPR");
    EXPECT_EQ(parsed->Field("ORC", 16, 1), "1 MAIN RD^ Suite 4^CARLTON^VIC^3053^^C");
    EXPECT_EQ(parsed->Field("OBR", 1, 2), "3");
    EXPECT_EQ(parsed->Field("OBR", 4, 2), "^UEC ^VVP");
    EXPECT_EQ(parsed->Field("OBR", 16, 0), "049960CT^Citizen^John^^^Dr^^^AUSHICPR");
    EXPECT_EQ(parsed->Field("OBR", 27, 0), "^^^20240301090507+1000^^S");
    EXPECT_EQ(parsed->Field("OBR", 28, 0), "^ DOE^JANE^^DR^^^^^~^ Paul Brown^Dr^^^^^^^Cardiology");
}

// Delimiters printed or typed into free text are escaped: "Hb 92 | ferritin 8" in the notes once
// pushed the ordering doctor and the priority out of place, so an urgent request lost its urgency.
TEST(OrmWriter, DelimitersInFreeTextStayInTheirFields) {
    VVP_REQUIRE_HL7_INTEROP();
    std::vector<std::string> lines = pages::StandardLines();
    lines[2] = "SMITH, MR JOHN, M, 01/02/1960, 12|34";
    lines[10] = "Hb 92 | ferritin 8";
    lines[17] = pages::Right("Dr Paul Brown, Cardiology & Renal", "Dr John Citizen");
    TPitFile r;
    ParsePrintedRequest(pages::Join(lines), r);
    ASSERT_EQ(r.Error, "");
    r.LabName = "Acme & Sons";
    r.ReceivingApp = "ACMELAB";
    r.LabEAddress() = "orders@acme.example";
    r.SendingApp = "VVP";
    r.SendingFacility = "A|B CLINIC^1234^AUSHIC";
    r.Ticks.PhoneResultsTo = "0412 345 678 ~ mobile";
    WriteOrmMessage(r, "42", FixedClock(At(2024, 3, 1, 9, 5, 7, 123), 600));
    vvp::test::TempDir dir;
    std::string wire;
    for (const auto& l : r.Lines)
        wire += l + "\r";
    dir.Write("order.orm", wire);
    std::string error;
    auto parsed = vvp::test::ReadHl7WithInterop(dir.File("order.orm"), true, &error);
    ASSERT_TRUE(parsed) << error;
    const std::string doctor = "049960CT^Citizen^John^^^Dr^^^AUSHICPR";
    const struct {
        const char* segment;
        size_t n;
        std::string expected;
    } fields[] = {
        {"FHS", 4, "A|B CLINIC"},
        {"FHS", 6, "Acme & Sons"},
        {"MSH", 4, "A|B CLINIC^1234^AUSHIC"},
        {"MSH", 6, "Acme & Sons"},
        {"MSH", 9, "ORM^O01^ORM_O01"},
        {"MSH", 10, "A|B CLINIC_20240301.090507"},
        {"MSH", 12, "2.3.1"},
        {"MSH", 13, "42"},
        {"PID", 3, "12|34^^^^IP~21234567011^^^AUSHIC^MC"},
        {"PID", 5, "SMITH^JOHN^^^MR"},
        {"PID", 8, "M"},
        {"PV1", 9, doctor},
        {"ORC", 4, "42^A|B CLINIC^1234^AUSHIC"},
        {"ORC", 12, doctor},
        {"OBR", 4, "^FBC^VVP"},
        {"OBR", 13, "Hb 92 | ferritin 8 URGENT PLEASE PHONE RESULTS TO 0412 345 678 ~ mobile BY 14:30;"},
        {"OBR", 16, doctor},
        {"OBR", 27, "^^^20240301090507+1000^^S"},
        {"OBR", 28, "^ DOE^JANE^^DR^^^^^~^ Paul Brown^Dr^^^^^^^Cardiology & Renal"},
        {"FTS", 2, "42"},
    };
    for (const auto& f : fields)
        EXPECT_EQ(parsed->Field(f.segment, f.n), f.expected) << f.segment << "-" << f.n;
    EXPECT_EQ(parsed->FieldCount("OBR", 2), 28u);
}

TEST(OrmWriter, HeaderAndVisitVariants) {
    TPitFile r = StandardOrder();
    r.ReceivingFacility.clear();
    r.Tests = "FBC;;LFT ";
    r.Ticks.Urgent = false;
    r.Ticks.PatientStatus = "InPatient";
    FixedClock clock(At(2024, 3, 1, 0, 1, 40, 0), 0);
    WriteOrmMessage(r, "", clock);
    EXPECT_EQ(
        Segment(r, "FHS").rfind("FHS|^~\\&|VVP|CLINIC|ACMELAB|Acme Pathology|20240301000140.000-0000||", 0),
        0u);
    EXPECT_NE(Segment(r, "MSH").find("|Acme Pathology|"), std::string::npos);
    EXPECT_EQ(Segment(r, "FTS"), "FTS|1|100|"); // seconds since midnight without a number
    EXPECT_EQ(Segment(r, "PV1").substr(0, 22), "PV1|1|I|^^^CLINIC|||||");
    EXPECT_NE(Segment(r, "OBR", 1).find("OBR|2|100-1^CLINIC||^LFT ^VVP"), std::string::npos);
    EXPECT_NE(Segment(r, "OBR", 1).find("^^R|"), std::string::npos);
    EXPECT_EQ(Segment(r, "OBR", 2), "");

    r.OrderNo = "A77";
    r.Tests.clear();
    WriteOrmMessage(r, "", clock);
    EXPECT_EQ(Segment(r, "ORC"), "");
    EXPECT_EQ(Segment(r, "FTS"), "FTS|1|A77|");
}

TEST(OrmWriter, OrderCounterStartsAtOneAndKeepsTheNext) {
    vvp::test::TempDir dir;
    EXPECT_EQ(NextGroupCounter(dir.Path()), 1);
    EXPECT_EQ(dir.Read(kGroupCounterFileName), "2\r\n");
    EXPECT_EQ(NextGroupCounter(dir.Path()), 2);
    dir.Write(kGroupCounterFileName, "not a number\n");
    EXPECT_EQ(NextGroupCounter(dir.Path()), 1);
    dir.Write(kGroupCounterFileName, "");
    EXPECT_EQ(NextGroupCounter(dir.Path()), 1);
}

TEST(OrmWriter, ConcurrentRequestsNeverShareAnOrderNumber) {
    vvp::test::TempDir dir;
    constexpr int kThreads = 8, kEach = 25;
    std::vector<std::vector<int>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                taken[static_cast<size_t>(t)].push_back(NextGroupCounter(dir.Path()));
        });
    for (auto& t : threads)
        t.join();
    std::set<int> all;
    for (const auto& v : taken)
        all.insert(v.begin(), v.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(*all.begin(), 1);
    EXPECT_EQ(*all.rbegin(), kThreads * kEach);
}

// The practice's desktop app and its service may both take order numbers from the same file.
TEST(OrmWriter, ProcessesSharingTheCounterNeverShareAnOrderNumber) {
    vvp::test::TempDir dir;
    constexpr int kProcesses = 4, kEach = 50;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string numbers;
            for (int i = 0; i < kEach; ++i)
                numbers += std::to_string(NextGroupCounter(dir.Path())) + "\n";
            _exit(WriteWholeFile(dir.File("taken" + std::to_string(p)), numbers).ok() ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::multiset<int> all;
    for (int p = 0; p < kProcesses; ++p)
        for (const auto& line : SplitLines(dir.Read("taken" + std::to_string(p))))
            all.insert(std::stoi(line));
    ASSERT_EQ(all.size(), static_cast<size_t>(kProcesses * kEach));
    EXPECT_EQ(std::set<int>(all.begin(), all.end()).size(), all.size()) << "an order number was given twice";
    EXPECT_EQ(*all.begin(), 1);
    EXPECT_EQ(*all.rbegin(), kProcesses * kEach);
}

TEST(OrmWriter, UnreadableCounterIsAFailureNotANumber) {
    vvp::test::TempDir dir;
    ASSERT_TRUE(ForceDirectories(dir.File(kGroupCounterFileName)).ok());
    EXPECT_FALSE(TakeGroupCounter(dir.Path()).ok());
    EXPECT_EQ(NextGroupCounter(dir.Path()), -1);
}

} // namespace
} // namespace vvp::pathology
