// The search over page files: pages are read as the program opens them.

#include "CatalogFixture.h"
#include "QStringPrint.h"
#include "TestSupport.h"
#include "catalog/document/PageSearch.h"

#include <gtest/gtest.h>

using namespace PageSearch;

TEST(PageSearch, PagesAreSearchedAsTheyOpen)
{
    TestSupport::TempDir Dir;
    const QString Text = QStringLiteral("QBT FILE TYPE 2.0\r\n{Catalog名称}=春季价格表\r\n{$PNAME}=价XY\r\n");
    // A page saved with a UTF-8 mark is opened as UTF-8: its words are found,
    // and a letter after a Chinese character is no part of a double-byte one.
    const QString Utf8 = Dir.File(QStringLiteral("utf8.qbt"));
    TestSupport::WriteAll(Utf8, QByteArray("\xEF\xBB\xBF") + Text.toUtf8());
    const QString Gbk = Dir.File(QStringLiteral("gbk.qbt"));
    CatalogFixture::WriteGbk(Gbk, Text);
    for (const QString &Page : {Utf8, Gbk}) {
        EXPECT_EQ(SearchFile(Page, QStringLiteral("价格"), true, {}), frMatch) << Page.toStdString();
        EXPECT_EQ(SearchFile(Page, QStringLiteral("XY"), true, {}), frMatch) << Page.toStdString();
        EXPECT_EQ(SearchFile(Page, QStringLiteral("xy"), false, {}), frMatch) << Page.toStdString();
        EXPECT_EQ(SearchFile(Page, QStringLiteral("xy"), true, {}), frNoMatch) << Page.toStdString();
        EXPECT_EQ(SearchFile(Page, QStringLiteral("秋季"), true, {}), frNoMatch) << Page.toStdString();
        EXPECT_EQ(SearchFile(Page, QStringLiteral("价格"), true, [] { return true; }), frStopped) << Page.toStdString();
    }
    EXPECT_EQ(SearchFile(Dir.File(QStringLiteral("none.qbt")), QStringLiteral("价格"), true, {}), frMissing);
}
