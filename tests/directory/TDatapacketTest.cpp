#include "TDatapacket.h"

#include "FileUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vvp {
namespace {

std::string Hex(const std::string& bytes) {
    std::string out;
    char buffer[3];
    for (unsigned char c : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02x", c);
        out += buffer;
    }
    return out;
}

// Two independent XML readers must accept the file and see the same values we hold: one line
// per ROW, "name=hex-of-UTF-8-value" for every attribute.
void ExpectReadableByXmlTools(const std::string& path, const TDatapacket& packet) {
    const auto lint = test::RunCommand("xmllint --noout '" + path + "'");
    EXPECT_EQ(lint.status, 0) << lint.output;
    const auto etree = test::RunCommand(
        "python3 -c 'import sys, xml.etree.ElementTree as E\n"
        "for r in E.parse(sys.argv[1]).getroot().find(\"ROWDATA\"):\n"
        "    print(\" \".join(k + \"=\" + v.encode().hex() for k, v in r.attrib.items()))' '" +
        path + "'");
    ASSERT_EQ(etree.status, 0) << etree.output;
    std::string expected;
    for (int i = 0; i < packet.RowCount(); ++i) {
        std::string line;
        for (const auto& name : packet.Row(i)->Names()) {
            const std::string value = packet.Row(i)->Value(name);
            if (!value.empty()) line += (line.empty() ? "" : " ") + name + "=" + Hex(value);
        }
        if (!line.empty()) expected += line + "\n";
    }
    EXPECT_EQ(etree.output, expected);
}

TEST(TDatapacketTest, NewTablesAreWrittenAsTheyAlwaysWere) {
    struct Case {
        const char* defaultText;
        const char* golden;
    } cases[] = {{kOrganisationsTable, "directory/organisations_new.xml"},
                 {kEntitiesTable, "directory/entities_new.xml"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        test::TempDir dir;
        TDatapacket packet;
        ASSERT_TRUE(packet.LoadFromFileOrDefault(dir.File("missing.xml"), c.defaultText));
        // A missing file gives one empty row, published.
        ASSERT_EQ(packet.RowCount(), 1);
        EXPECT_EQ(packet.Row(0)->Value("publish"), "Yes");
        ASSERT_TRUE(packet.SaveToFile(dir.File("t.xml")));
        test::ExpectMatchesGolden(dir.Read("t.xml"), c.golden);
        // What we wrote reads back to the same bytes.
        TDatapacket again;
        ASSERT_TRUE(again.LoadFromFileOrDefault(dir.File("t.xml"), ""));
        EXPECT_EQ(again.Text() + "\r\n", dir.Read("t.xml"));
    }
}

TEST(TDatapacketTest, RowsAreWrittenInFieldOrderWithoutEmptyValues) {
    TDatapacket packet;
    ASSERT_TRUE(packet.LoadFromText(kEntitiesTable));
    TXMLRow* row = packet.CurrentRow();
    ASSERT_NE(row, nullptr);
    row->SetValue("Id", "42"); // set before Name, still written after it
    row->SetValue("Name", "Smith");
    const int added = packet.NewRow();
    ASSERT_EQ(added, 1);
    for (const auto& name : packet.Row(added)->Names())
        packet.Row(added)->SetValue(name, ""); // a row without values is not written
    const std::string text = packet.Text();
    EXPECT_NE(text.find("<ROWDATA><ROW Name=\"Smith\" Id=\"42\" publish=\"Yes\"/></ROWDATA>"),
              std::string::npos)
        << text;
}

TEST(TDatapacketTest, SettingAValueFollowsTheQuoteRules) {
    struct Case {
        const char* set;
        const char* stored;
    } cases[] = {
        {"\"quoted\"", "quoted"},
        {"say \"hi\" now", "say 'hi' now"},
        {"\"", "'"},
        {"two\r\nlines", "two\nlines"},
        {"bell\x07 gone", "bell gone"}, // no XML file may hold it
        {"caf\xE9", "caf\xC3\xA9"},     // single-byte text becomes UTF-8
        {"", ""},
    };
    TDatapacket packet;
    ASSERT_TRUE(packet.LoadFromText(kOrganisationsTable));
    for (const auto& c : cases) {
        packet.CurrentRow()->SetValue("Name", c.set);
        EXPECT_EQ(packet.CurrentRow()->Value("Name"), c.stored) << test::Visible(c.set);
    }
}

TEST(TDatapacketTest, HostileValuesSurviveSaveAndReload) {
    const std::vector<std::string> values = {
        "Smith & Sons <Pty> Ltd",    "a/>b",      "x\" y",          "  leading blank",   "trailing blank ",
        "line one\nline two",        "tab\there", "&amp; as typed", "<ROW Name=\"x\"/>", "lone\rCR",
        "\xC3\x89mile \xE2\x82\xAC", "]]>",       "&#10;",
    };
    test::TempDir dir;
    TDatapacket packet;
    ASSERT_TRUE(packet.LoadFromText(kOrganisationsTable));
    for (size_t i = 0; i < values.size(); ++i) {
        const int row = i == 0 ? 0 : packet.NewRow();
        packet.Row(row)->SetValue("Id", "id" + std::to_string(i)); // NewRow reuses no row with an Id
        packet.Row(row)->SetValue("Name", values[i]);
        packet.Row(row)->SetValue("URI", values[(i + 1) % values.size()]);
    }
    ASSERT_TRUE(packet.SaveToFile(dir.File("o.xml")));
    TDatapacket reloaded;
    ASSERT_TRUE(reloaded.LoadFromFileOrDefault(dir.File("o.xml"), ""));
    ASSERT_EQ(reloaded.RowCount(), packet.RowCount());
    for (int i = 0; i < packet.RowCount(); ++i)
        for (const char* field : {"Id", "Name", "URI", "publish"})
            EXPECT_EQ(reloaded.Row(i)->Value(field), packet.Row(i)->Value(field)) << i << " " << field;
    EXPECT_EQ(reloaded.Text(), packet.Text());
    ExpectReadableByXmlTools(dir.File("o.xml"), reloaded);
}

TEST(TDatapacketTest, LegacyFilesReadAsTheOriginalProgramReadThem) {
    // Windows-1252 bytes, raw "&", no publish field, "NAME" for "Name", unreadable, empty,
    // negative and zero widths, and a value that is no field.
    test::TempDir dir;
    dir.Write("e.xml", test::ReadTestData("directory/legacy_entities_windows1252.xml"));
    TDatapacket packet;
    ASSERT_TRUE(packet.LoadFromFileOrDefault(dir.File("e.xml"), kEntitiesTable));
    ASSERT_EQ(packet.RowCount(), 2);
    EXPECT_EQ(packet.Row(0)->Value("Name"), "M\xC3\xBCller & Sons");
    EXPECT_EQ(packet.Row(1)->Value("publish"), "Yes");
    ASSERT_TRUE(packet.SaveToFile(dir.File("e.xml")));
    test::ExpectMatchesGolden(dir.Read("e.xml"), "directory/legacy_entities_windows1252.saved.xml");
    ExpectReadableByXmlTools(dir.File("e.xml"), packet);

    struct Case {
        const char* what;
        const char* rowData;
        std::vector<std::string> names; // Name of each row
    } cases[] = {
        {"no ROWDATA", "", {""}},
        {"empty ROWDATA", "<ROWDATA></ROWDATA>", {""}},
        {"markup inside values, as written without escaping",
         "<ROWDATA><ROW Name=\"a>b\" Id=\"x/>y\"/><ROW Name=\"<i> \" /></ROWDATA>",
         {"a>b", "<i> "}},
        {"line breaks inside a value", "<ROWDATA><ROW Name=\"Line\r\none\"/>\r\n</ROWDATA>", {"Lineone"}},
        {"pretty-printed",
         "<ROWDATA>\n  <ROW\n    Name='A'\n    Id=\"1\" />\n  <ROW Name=\"B\"></ROW>\n</ROWDATA>",
         {"A", "B"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TDatapacket p;
        ASSERT_TRUE(
            p.LoadFromText(std::string("<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                                       "<FIELD attrname=\"Name\" fieldtype=\"string\" WIDTH=\"40\"/>"
                                       "<FIELD attrname=\"Id\" fieldtype=\"string\"/></FIELDS><PARAMS/>"
                                       "</METADATA>") +
                           c.rowData + "</DATAPACKET>"));
        std::vector<std::string> names;
        for (int i = 0; i < p.RowCount(); ++i) {
            names.push_back(p.Row(i)->Value("Name"));
            EXPECT_EQ(p.Row(i)->Value("publish"), "Yes");
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(p.FieldNames(), (StringList{"Name", "Id", "publish"}));
    }
}

TEST(TDatapacketTest, WhatIsNoDatapacketIsRefusedAndNeverReplaced) {
    const std::string good = std::string(kOrganisationsTable) + "\r\n";
    const char* files[] = {
        "Name,Address\r\nSmith,1 Main St\r\n",
        "<html><body>DATAPACKET</body></html>",
        "<?xml version=\"1.0\"?><ORGANISATIONS><FIELDS/></ORGANISATIONS>",
        "<DATAPACKET Version=\"2.0\"><ROWDATA><ROW Name=\"no fields\"/></ROWDATA></DATAPACKET>",
        "<!DOCTYPE x [<!ENTITY a \"b\">]><DATAPACKET><METADATA><FIELDS/></METADATA></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"a b\"/></FIELDS></METADATA></DATAPACKET>",
        "<DATAPACKET><METADATA><FIELDS></METADATA></FIELDS></DATAPACKET>",
        "\x89PNG\r\n\x1A\n\0\0\0",
    };
    // A datapacket cut short, as a crash during an in-place write left it.
    const std::string cut = good.substr(0, good.find("<ROWDATA>") + 20);
    std::vector<std::string> cases(std::begin(files), std::end(files));
    cases.push_back(cut);
    for (const auto& content : cases) {
        SCOPED_TRACE(test::Visible(content));
        test::TempDir dir;
        dir.Write("Organisations.xml", content);
        TDatapacket packet;
        const auto loaded = packet.LoadFromFileOrDefault(dir.File("Organisations.xml"), kOrganisationsTable);
        ASSERT_FALSE(loaded);
        EXPECT_NE(loaded.error().message.find("Organisations.xml"), std::string::npos);
        EXPECT_EQ(packet.RowCount(), 0);
        ASSERT_TRUE(packet.LoadFromText(kOrganisationsTable));
        EXPECT_FALSE(packet.SaveToFile(dir.File("Organisations.xml")));
        EXPECT_EQ(dir.Read("Organisations.xml"), content);
    }
    // An empty file holds nothing to lose: it is treated as missing.
    test::TempDir dir;
    dir.Write("Organisations.xml", " \r\n");
    TDatapacket packet;
    ASSERT_TRUE(packet.LoadFromFileOrDefault(dir.File("Organisations.xml"), kOrganisationsTable));
    EXPECT_TRUE(packet.SaveToFile(dir.File("Organisations.xml")));
}

TEST(TDatapacketTest, NavigationAndRows) {
    TDatapacket empty;
    EXPECT_EQ(empty.CurrentRow(), nullptr);
    EXPECT_EQ(empty.NewRow(), -1); // no fields
    empty.First();
    EXPECT_EQ(empty.CurrentIndex(), -1);
    EXPECT_FALSE(empty.Next());

    TDatapacket packet;
    ASSERT_TRUE(packet.LoadFromText(kEntitiesTable));
    packet.CurrentRow()->SetValue("Id", "A");
    for (const char* id : {"B", "C"})
        packet.Row(packet.NewRow())->SetValue("Id", id);
    ASSERT_EQ(packet.RowCount(), 3);
    const auto currentId = [&packet] { return packet.CurrentRow()->Value("Id"); };
    packet.First();
    EXPECT_TRUE(packet.Next());
    EXPECT_TRUE(packet.Next());
    EXPECT_FALSE(packet.Next());
    EXPECT_EQ(currentId(), "C");
    EXPECT_FALSE(packet.SetCurrent(3));
    EXPECT_FALSE(packet.SetCurrent(-1));
    EXPECT_EQ(currentId(), "C");
    packet.Prior();
    EXPECT_EQ(currentId(), "B");
    packet.Prior();
    packet.Prior();
    EXPECT_EQ(packet.CurrentIndex(), 0);

    // The placeholder of a new entity is reused rather than piling up.
    const int placeholder = packet.NewRow();
    packet.Row(placeholder)->SetValue("Id", "New Entity");
    EXPECT_EQ(packet.NewRow(), placeholder);
    packet.DeleteRow(placeholder);

    EXPECT_EQ(packet.DeleteRow(0), 0);
    ASSERT_EQ(packet.RowCount(), 2);
    EXPECT_EQ(packet.Row(0)->Value("Id"), "B");
    EXPECT_EQ(packet.Row(1)->Value("Id"), "C");
    EXPECT_EQ(packet.DeleteRow(5), 0); // nothing to delete
    EXPECT_EQ(packet.DeleteRow(1), 0);
    EXPECT_EQ(packet.DeleteRow(0), 0);
    // The last row gone, an empty published one stands in its place.
    ASSERT_EQ(packet.RowCount(), 1);
    EXPECT_EQ(packet.Row(0)->Value("Id"), "");
    EXPECT_EQ(packet.Row(0)->Value("publish"), "Yes");
}

} // namespace
} // namespace vvp
