#include "PrinterReports.h"

#include <gtest/gtest.h>

using namespace vvp;

TEST(PrinterReports, CreationReportIsFinishedOnlyWithItsMarkerAndNoInputError) {
    const struct {
        const char* report;
        std::optional<std::string> result;
    } cases[] = {
        {"Step 1.  Create Printer Port\r\nStep 2.  Create Printer Device\r\nPrinter Created.\r\nVNPTR "
         "Completed\r\n",
         "OK"},
        {"Step 2.  Create Printer Device\nlpadmin: Forbidden\nPrinter Creation Failed\nVNPTR Completed\n",
         "ERROR"},
        {"Input Error: lpadmin was not found\r\nPrinter Created.\r\nVNPTR Completed\r\n", std::nullopt},
        {"Step 1.  Create Printer Port\r\nPrinter Created.\r\n", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CreationResultFromReport(c.report), c.result) << c.report;
}

TEST(PrinterReports, PortListHoldsFinishedRecordsOfThisComputer) {
    const std::string report =
        "Server name \r\nPort name socket://127.0.0.1:9105\r\nHost address 127.0.0.1\r\n"
        "Port number 9105\r\n\r\n"
        "Server name 10.1.1.1\nPort name socket://10.1.1.1:9100\nHost address 10.1.1.1\n"
        "Port number 9100\n\n"
        "Server name\nPort name socket://[::1]:9200\nHost address ::1\nPort number 9200\n\n"
        "Server name\nPort name socket://localhost:9300\nHost address localhost\n"
        "Port number 9300\nPORTLIST Completed\n";
    const std::string list = ParsePortList(report);
    EXPECT_EQ(list, "9105=socket://127.0.0.1:9105,127.0.0.1\r\n9200=socket://[::1]:9200,::1\r\n");
    EXPECT_EQ(LookupPortValue(list, 9200), "socket://[::1]:9200,::1");
    EXPECT_EQ(LookupPortValue(list, 9300), "");
    EXPECT_EQ(LookupPortValue(list, 910), "");
}

TEST(PrinterReports, FirstPortNameOfThePrinterDecidesLetterCaseIgnored) {
    const std::string value = "socket://127.0.0.1:9105,127.0.0.1";
    EXPECT_TRUE(InfoReportUsesPort("Printer name Shared\r\nPort name SOCKET://127.0.0.1:9105\r\n", value));
    EXPECT_FALSE(
        InfoReportUsesPort("Port name socket://127.0.0.1:9106\nPort name socket://127.0.0.1:9105\n", value));
    EXPECT_FALSE(InfoReportUsesPort("Printer name x\nPTRLIST Completed\n", value));
}

TEST(PrinterReports, PrinterNamesAndPortNumbers) {
    for (const char* good : {"Vocanet", "Vocanet2", "$(id>x)", "Ward_3.Front-desk"})
        EXPECT_EQ(PrinterNameProblem(good), "") << good;
    for (std::string bad : std::vector<std::string>{"", "Voca net", "a/b", "-x", "a,b", "Zo\xEB",
                                                    "remote@host", std::string(128, 'a')})
        EXPECT_NE(PrinterNameProblem(bad), "") << bad;
    EXPECT_EQ(ParseWholeNumber(" 9300 "), 9300);
    EXPECT_EQ(ParseWholeNumber("-5"), -5);
    for (const char* notNumber : {"", "91 05", "9105a", "0x10", "99999999999"})
        EXPECT_EQ(ParseWholeNumber(notNumber), std::nullopt) << notNumber;
}
