// The search over page files: pages are read as the program opens them.

#include "CatalogFixture.h"
#include "QStringPrint.h"
#include "TestSupport.h"
#include "catalog/document/PageSearch.h"

#include "platform/core/Codec.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/resource.h>

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

TEST(PageSearch, AListedFileIsReadAPieceAtATimeAndOnlyUpToItsFirstHit)
{
    // A book may list a film of gigabytes: the search holds a piece of it at a
    // time and stops at the first hit (a 512 MB file without a hole here).
    TestSupport::TempDir Dir;
    const QString Film = Dir.File(QStringLiteral("film.avi"));
    {
        QFile F(Film);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(QByteArray("RIFF\r\n") + Cp936::Encode(QStringLiteral("春季价格")) + "\r\n");
        ASSERT_TRUE(F.resize(qint64(512) << 20));
    }
    struct rusage Before {}, After {};
    getrusage(RUSAGE_SELF, &Before);
    EXPECT_EQ(SearchFile(Film, QStringLiteral("价格"), true, {}), frMatch);
    getrusage(RUSAGE_SELF, &After);
    EXPECT_LT(After.ru_maxrss - Before.ru_maxrss, 64 * 1024) << "kilobytes more at the peak";

    // Lines end at CR or LF, a piece may end inside a line or a character:
    // every word of a long page is found wherever the pieces fall.
    const QString Page = Dir.File(QStringLiteral("long.qbt"));
    QString Text = QStringLiteral("QBT FILE TYPE 2.0\r");
    for (int I = 0; I < 120000; ++I)
        Text += QStringLiteral("{$PNAME}=茶杯%1\r\n").arg(I);
    Text += QStringLiteral("末尾无换行");
    CatalogFixture::WriteGbk(Page, Text);
    for (const QString &Word : {QStringLiteral("FILE TYPE"), QStringLiteral("茶杯59999\r"), QStringLiteral("茶杯119999"),
                                QStringLiteral("末尾无换行")})
        EXPECT_EQ(SearchFile(Page, Word.trimmed(), true, {}), frMatch) << Word.toStdString();
    EXPECT_EQ(SearchFile(Page, QStringLiteral("茶杯120000"), true, {}), frNoMatch);
    EXPECT_EQ(SearchFile(Page, QStringLiteral("1\r\n{"), true, {}), frNoMatch) << "no word across a line end";
}
