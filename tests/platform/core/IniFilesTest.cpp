#include "platform/core/Codec.h"
#include "platform/core/IniFiles.h"

#include "Printers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

QString S(const char *Text)
{
    return QString::fromUtf8(Text);
}

TEST(IniFile, ReadsAndWritesSectionsInPlace)
{
    TestSupport::TempDir Dir;
    const QString Name = Dir.File(S("grid.ini"));
    TestSupport::WriteAll(Name, Cp936::Encode(S("; 列宽\r\n[Grid1]\r\nCol0 = 64\r\nTitle=\"产品 列表\"\r\n\r\n[Other]\nx=1\n")));
    TIniFile Ini(Name);
    EXPECT_EQ(Ini.ReadInteger(S("grid1"), S("COL0"), 0), 64);
    EXPECT_EQ(Ini.ReadString(S("Grid1"), S("Title"), S("")), S("产品 列表"));
    EXPECT_EQ(Ini.ReadString(S("Grid1"), S("x"), S("none")), S("none"));
    EXPECT_TRUE(Ini.ReadBool(S("Other"), S("x"), false));
    EXPECT_FALSE(Ini.ValueExists(S("Missing"), S("x")));

    Ini.WriteInteger(S("Grid1"), S("Col1"), 80);       // new key: end of its section
    Ini.WriteString(S("GRID1"), S("col0"), S("70"));   // existing key: replaced in place
    Ini.WriteBool(S("新"), S("on"), true);              // new section at the end
    EXPECT_EQ(Cp936::Decode(TestSupport::ReadAll(Name)),
              S("; 列宽\r\n[Grid1]\r\ncol0=70\r\nTitle=\"产品 列表\"\r\nCol1=80\r\n\r\n[Other]\r\nx=1\r\n\r\n[新]\r\non=1\r\n"));

    TStringList L;
    Ini.ReadSections(L);
    EXPECT_EQ(L.CommaText(), S("Grid1,Other,新"));
    Ini.ReadSection(S("Grid1"), L);
    EXPECT_EQ(L.CommaText(), S("col0,Title,Col1"));
    Ini.ReadSectionValues(S("Grid1"), L);
    EXPECT_EQ(L.Values(S("Title")), S("产品 列表"));

    Ini.DeleteKey(S("Grid1"), S("Title"));
    Ini.EraseSection(S("Other"));
    EXPECT_FALSE(Ini.SectionExists(S("Other")));
    EXPECT_EQ(Ini.ReadInteger(S("Grid1"), S("Col1"), 0), 80);
    EXPECT_EQ(Ini.ReadString(S("Grid1"), S("Title"), S("gone")), S("gone"));

    // A missing file reads as empty and is created by the first write.
    TIniFile Fresh(Dir.File(S("fresh.ini")));
    EXPECT_EQ(Fresh.ReadInteger(S("a"), S("b"), 5), 5);
    Fresh.WriteString(S("a"), S("b"), S("c"));
    EXPECT_EQ(TestSupport::ReadAll(Dir.File(S("fresh.ini"))), QByteArray("[a]\r\nb=c\r\n"));
    TIniFile Broken(Dir.File(S("no/such/dir/x.ini")));
    EXPECT_THROW(Broken.WriteString(S("a"), S("b"), S("c")), EFCreateError);
}

} // namespace
