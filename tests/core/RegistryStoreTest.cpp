#include "RegistryStore.h"
#include "Settings.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vvp;

TEST(RegFileStore, ReadsCrLfFilesWithEscapesAndTypes) {
    test::TempDir dir;
    dir.Write("r.reg",
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Printer]\r\n"
              "\"Port\"=dword:00002391\r\n\"Save Path\"=\"C:\\\\out\\\\ \\\"q\\\"\"\r\n"
              "\"Bin\"=hex:01,02\r\n");
    RegFileStore store(dir.File("r.reg"));
    auto key = store.ReadKey(kRegistryKey);
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->has_value());
    const auto& values = **key;
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].second, RegValue::Dword(9105));
    EXPECT_EQ(values[1].second, RegValue::String("C:\\out\\ \"q\""));
    EXPECT_EQ(values[2].second.kind, RegValue::Kind::Other);
}

TEST(RegFileStore, MissingFileOrKeyReadsAsNoKey) {
    test::TempDir dir;
    RegFileStore missing(dir.File("none.reg"));
    EXPECT_FALSE(missing.ReadKey(kRegistryKey)->has_value());
    dir.Write("other.reg", "REGEDIT4\n\n[HKEY_CURRENT_USER\\Other]\n\"A\"=\"b\"\n");
    RegFileStore other(dir.File("other.reg"));
    EXPECT_FALSE(other.ReadKey(kRegistryKey)->has_value());
}

TEST(RegFileStore, RewriteKeepsOtherKeysAndValues) {
    test::TempDir dir;
    dir.Write(
        "r.reg",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Other]\n\"A\"=\"b\"\n\n"
        "[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Printer]\n"
        "\"Custom\"=\"kept\"\n\"Port\"=dword:00000001\n\n[HKEY_CURRENT_USER\\Last]\n\"Z\"=dword:00000002\n");
    RegFileStore store(dir.File("r.reg"));
    ASSERT_TRUE(store.WriteValues(kRegistryKey,
                                  {{"Port", RegValue::Dword(9105)}, {"PortName", RegValue::String("V\\x")}}));
    EXPECT_EQ(dir.Read("r.reg"), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Other]\n\"A\"=\"b\"\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Printer]\n"
                                 "\"Custom\"=\"kept\"\n\"Port\"=dword:00002391\n\"PortName\"=\"V\\\\x\"\n\n"
                                 "[HKEY_CURRENT_USER\\Last]\n\"Z\"=dword:00000002\n\n");
}

TEST(RegFileStore, CreatesFileAndFolderOnFirstWrite) {
    test::TempDir dir;
    RegFileStore store(dir.File("deep/er/registry.reg"));
    ASSERT_TRUE(store.WriteValues(kRegistryKey, {{"Save Mode", RegValue::Dword(1)}}));
    EXPECT_EQ(dir.Read("deep/er/registry.reg"),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\DMQ\\VocaNet\\Vocanet Virtual Printer]\n"
              "\"Save Mode\"=dword:00000001\n\n");
}

TEST(RegValueText, ParsesOnlyWellFormedDwords) {
    EXPECT_EQ(*ParseRegValue("dword:0000ffff"), RegValue::Dword(0xffff));
    EXPECT_FALSE(ParseRegValue("dword:"));
    EXPECT_FALSE(ParseRegValue("dword:123456789"));
    EXPECT_FALSE(ParseRegValue("dword:xyz"));
    EXPECT_FALSE(ParseRegValue("\"unterminated"));
}
