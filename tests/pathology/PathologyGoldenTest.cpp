// Printed requests through `vvpd convert`, as a practice's job would arrive: the orders written
// into the Save Path are compared byte for byte with the golden files and read back by an
// independent HL7 parser.

#include "../formats/Hl7Interop.h"
#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace vvp::pathology {
namespace {

class VvpdPathology : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(test::BinDir() + "/vvpd")) GTEST_SKIP() << "vvpd is not built";
        ASSERT_TRUE(ForceDirectories(Prog()).ok());
        ASSERT_TRUE(ForceDirectories(dir.Path() + "tmp").ok());
        dir.Write("prog/ElectronicLabDetails.inf", test::ReadTestData("pathology/ElectronicLabDetails.inf"));
        const test::CommandResult set = test::RunCommand(Cmd("set \"Save Mode\" 1"));
        ASSERT_EQ(set.status, 0) << set.output;
    }

    std::string Prog() const { return dir.Path() + "prog/"; }
    std::string SavePath() const { return Prog() + "VirtualPrinter/"; }

    std::string Cmd(const std::string& args) const {
        return "TMP=" + dir.Path() + "tmp TEMP= VVP_FIXED_TIME=20240301090507 VVP_FIXED_UTC_OFFSET=600 " +
               test::BinDir() + "/vvpd --program-folder " + Prog() + " --registry " + dir.Path() +
               "reg/registry.reg " + args + " 2>&1";
    }

    test::CommandResult Convert(const std::string& job, const std::string& answers = {}) const {
        std::string args = "convert ";
        if (!answers.empty()) args = "--answers " + test::TestDataPath("pathology/" + answers) + " " + args;
        return test::RunCommand(Cmd(args + test::TestDataPath("pathology/" + job)));
    }

    // The orders in the Save Path by order number (FTS-2).
    std::map<std::string, std::string> Orders() const {
        std::map<std::string, std::string> orders;
        for (const auto& name : ListFolder(SavePath(), "*.orm", false)) {
            EXPECT_EQ(name.rfind("orders@acme.example", 0), 0u) << name;
            const std::string text = dir.Read("prog/VirtualPrinter/" + name);
            const auto fts = text.rfind("FTS|1|");
            const std::string number =
                fts == std::string::npos ? name : text.substr(fts + 6, text.find('|', fts + 6) - fts - 6);
            EXPECT_EQ(orders.count(number), 0u) << "order number " << number << " given twice";
            orders[number] = text;
        }
        return orders;
    }

    void ExpectGolden(const std::string& actual, const std::string& golden) const {
        const std::string expected = test::ReadTestData("pathology/" + golden);
        EXPECT_EQ(actual, expected) << golden << "\nactual:   " << test::Visible(actual)
                                    << "\nexpected: " << test::Visible(expected);
    }

    // The fields an independent parser finds where the order puts them.
    void ExpectReadable(const std::string& number, const std::string& surname, size_t tests) const {
        for (const auto& name : ListFolder(SavePath(), "*.orm", false)) {
            const std::string path = SavePath() + name;
            if (dir.Read("prog/VirtualPrinter/" + name).find("FTS|1|" + number + "|") == std::string::npos)
                continue;
            std::string error;
            auto parsed = test::ReadHl7WithInterop(path, false, &error);
            ASSERT_TRUE(parsed) << error;
            EXPECT_EQ(parsed->messages, 1);
            EXPECT_EQ(parsed->Field("MSH", 9), "ORM^O01^ORM_O01");
            EXPECT_EQ(parsed->Field("MSH", 13), number);
            EXPECT_EQ(parsed->Field("PID", 5).substr(0, surname.size() + 1), surname + "^");
            EXPECT_EQ(parsed->Field("FTS", 2), number);
            EXPECT_EQ(std::count(parsed->order.begin(), parsed->order.end(), "OBR"),
                      static_cast<long>(tests));
            for (size_t j = 0; j < tests; ++j) {
                EXPECT_EQ(parsed->Field("ORC", 1, j), "NW");
                EXPECT_EQ(parsed->Field("ORC", 2, j), number + "-" + std::to_string(j) + "^CLINIC");
                EXPECT_EQ(parsed->Field("OBR", 1, j), std::to_string(j + 1));
                EXPECT_EQ(parsed->Field("OBR", 2, j), parsed->Field("ORC", 2, j));
            }
            return;
        }
        ADD_FAILURE() << "no order numbered " << number;
    }

    test::TempDir dir;
};

TEST_F(VvpdPathology, SingleRequestMatchesGolden) {
    const test::CommandResult r = Convert("single_request.prn");
    EXPECT_EQ(r.status, 0) << r.output;
    const auto orders = Orders();
    ASSERT_EQ(orders.size(), 1u) << r.output;
    ExpectGolden(orders.at("1"), "single_request.orm");
    EXPECT_EQ(dir.Read("prog/group.counter.txt"), "2\r\n");
}

TEST_F(VvpdPathology, ThreePagesGiveThreeOrdersNumberedInTurn) {
    const test::CommandResult r = Convert("three_pages.prn");
    EXPECT_EQ(r.status, 0) << r.output;
    const auto orders = Orders();
    ASSERT_EQ(orders.size(), 3u) << r.output;
    ExpectGolden(orders.at("1"), "three_pages_1.orm");
    ExpectGolden(orders.at("2"), "three_pages_2.orm");
    ExpectGolden(orders.at("3"), "three_pages_3.orm");
}

TEST_F(VvpdPathology, IndependentParserReadsEveryOrder) {
    VVP_REQUIRE_HL7_INTEROP();
    const test::CommandResult r = Convert("three_pages.prn");
    ASSERT_EQ(Orders().size(), 3u) << r.output;
    ExpectReadable("1", "SMITH", 3);
    ExpectReadable("2", "JONES", 2);
    ExpectReadable("3", "BROWN", 2);
    // Fields whose place only a second reader can vouch for.
    for (const auto& name : ListFolder(SavePath(), "*.orm", false)) {
        auto parsed = test::ReadHl7WithInterop(SavePath() + name);
        ASSERT_TRUE(parsed);
        if (parsed->Field("FTS", 2) != "2") continue;
        EXPECT_EQ(parsed->Field("PID", 3), "5678^^^^IP~39876543212^^^AUSHIC^MC");
        EXPECT_EQ(parsed->Field("PID", 7), "19750715000000000");
        EXPECT_EQ(parsed->Field("PID", 8), "F");
        EXPECT_EQ(parsed->Field("PID", 11), "PO BOX 123^^BRISBANE QLD^QLD^4001^^M");
        EXPECT_EQ(parsed->Field("PV1", 21), "99");
        EXPECT_EQ(parsed->Field("OBR", 4, 1), "^HbA1c ^VVP");
        EXPECT_EQ(parsed->Field("OBR", 13, 1), "Routine review, tired ;");
        EXPECT_EQ(parsed->Field("OBR", 27, 1), "^^^20240301090508+1000^^R");
        EXPECT_EQ(parsed->Field("MSH", 7), "20240301090508.000+1000"); // the second order waited a second
    }
}

TEST_F(VvpdPathology, CancelledPageGivesNoOrderAndLaterPagesStillGo) {
    const test::CommandResult r = Convert("three_pages.prn", "cancel_second_page.answers");
    const auto orders = Orders();
    ASSERT_EQ(orders.size(), 2u) << r.output;
    ExpectGolden(orders.at("1"), "three_pages_1.orm");
    ExpectGolden(orders.at("2"), "three_pages_cancelled_3.orm");
    EXPECT_EQ(dir.Read("prog/group.counter.txt"), "3\r\n");
}

// Nobody can answer the details dialog on a service: the request waits for the laboratory file.
TEST_F(VvpdPathology, MissingLaboratoryHoldsTheRequestUntilTheFileIsThere) {
    DeleteFileIfExists(Prog() + "ElectronicLabDetails.inf");
    test::CommandResult r = Convert("single_request.prn");
    EXPECT_NE(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("is held: No laboratory is listed in ElectronicLabDetails.inf"),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(Orders().empty());
    EXPECT_FALSE(FileExists(Prog() + "group.counter.txt"));
    EXPECT_EQ(ListFolder(dir.Path() + "tmp/held", "*.prn", false).size(), 1u);

    dir.Write("prog/ElectronicLabDetails.inf", test::ReadTestData("pathology/ElectronicLabDetails.inf"));
    r = test::RunCommand(Cmd("retry"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Orders().size(), 1u);
    EXPECT_TRUE(ListFolder(dir.Path() + "tmp/held", "*", false).empty());
}

// A key written in another case once gave no address, an empty order and "Generated Message"; an
// address with folders in it would have chosen where the order is written.
TEST_F(VvpdPathology, LaboratoryAddressMissingOrUnsafeSendsNothing) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"E-Address=orders@acme.example", "has no electronic address (EAddress)"},
        {"EAddress=../../outside/evil@x.com",
         "Refused to deliver a message for \"../../outside/evil@x.com\": \"..\" in the name."},
    };
    for (const auto& [line, said] : cases) {
        SCOPED_TRACE(line);
        std::string labs = test::ReadTestData("pathology/ElectronicLabDetails.inf");
        const std::string address = "EAddress=orders@acme.example";
        dir.Write("prog/ElectronicLabDetails.inf", labs.replace(labs.find(address), address.size(), line));
        const test::CommandResult r = Convert("single_request.prn");
        EXPECT_NE(r.status, 0) << r.output;
        EXPECT_NE(r.output.find(said), std::string::npos) << r.output;
        EXPECT_TRUE(ListFolder(SavePath(), "*", false).empty());
        EXPECT_FALSE(DirectoryExists(dir.Path() + "outside"));
    }
}

} // namespace
} // namespace vvp::pathology
