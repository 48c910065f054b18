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

TEST(IniFile, WritingSeveralIntegersAtOnceGivesWhatOneByOneGives)
{
    // Existing keys in any case are replaced in place, new ones follow the
    // section's last key (before its blank lines) in order, a name given twice
    // keeps its last value, and a missing section is added at the end.
    TestSupport::TempDir Dir;
    const QByteArray Start("[G]\r\nCol0=1\r\n; note\r\ncol2=3\r\nCol2=4\r\n\r\n\r\n[H]\r\nCol0=9\r\n");
    const std::vector<std::pair<QString, int>> Values = {
        {S("Col2"), 20}, {S("Col5"), 50}, {S("COL0"), 10}, {S("Col5"), 55}, {S("Col6"), 60}, {S(" Col7"), 70}};
    for (const QString &Section : {S("g"), S("New")}) {
        const QString One = Dir.File(S("one.ini")), All = Dir.File(S("all.ini"));
        TestSupport::WriteAll(One, Start);
        TestSupport::WriteAll(All, Start);
        TIniFile ByOne(One);
        for (const auto &[Ident, Value] : Values)
            ByOne.WriteInteger(Section, Ident, Value);
        TIniFile(All).WriteIntegers(Section, Values);
        EXPECT_EQ(TestSupport::ReadAll(All), TestSupport::ReadAll(One)) << qPrintable(Section);
    }
    EXPECT_EQ(TestSupport::ReadAll(Dir.File(S("all.ini"))),
              QByteArray("[G]\r\nCol0=1\r\n; note\r\ncol2=3\r\nCol2=4\r\n\r\n\r\n[H]\r\nCol0=9\r\n\r\n[New]\r\n"
                         "Col2=20\r\nCol5=55\r\nCOL0=10\r\nCol6=60\r\n Col7=70\r\n"));
    const QString G = Dir.File(S("one.ini"));
    TestSupport::WriteAll(G, Start);
    TIniFile(G).WriteIntegers(S("g"), Values);
    EXPECT_EQ(TestSupport::ReadAll(G), QByteArray("[G]\r\nCOL0=10\r\n; note\r\nCol2=20\r\nCol2=4\r\nCol5=55\r\n"
                                                  "Col6=60\r\n Col7=70\r\n\r\n\r\n[H]\r\nCol0=9\r\n"));
}

} // namespace
