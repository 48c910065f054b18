// The company files and the page settings data without widgets: the one line
// reader, saving a grid column, the defaults file of new pages.

#include "CatalogFixture.h"
#include "catalog/document/CompanyFiles.h"
#include "catalog/document/PageDocument.h"
#include "catalog/document/PageSettings.h"
#include "platform/core/Classes.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace CatalogFixture;

TEST(CompanyFiles, LabelledAndPlainLinesReadAsTheValue)
{
    TProgramFolder Program;
    const QString Cols1 = Program.File(QStringLiteral("cols1.dat"));
    WriteGbk(Cols1, QStringLiteral("中文内容\r\n名称=甲公司\r\n联系人=Wang\r\nWang\r\n网址=a=b\r\n\r\n=\r\n"));
    EXPECT_EQ(TPageDocument::ReadDatLine(Cols1, 2), QStringLiteral("Wang"));
    EXPECT_EQ(TPageDocument::ReadDatLine(Cols1, 3), QStringLiteral("Wang"));
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 1), QStringLiteral("甲公司"));
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 4), QStringLiteral("a=b"));   // the first "=" only
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 5), QString());
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 6), QString());
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 7), QString());              // past the last line
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, -1), QString());
    EXPECT_EQ(CompanyFiles::ReadDatLine(Program.File(QStringLiteral("cols2.dat")), 1), QString());

    // LF-only and CR-only files read the same.
    WriteGbk(Cols1, QStringLiteral("h\n联系人=Wang\nx"));
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 1), QStringLiteral("Wang"));
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 2), QStringLiteral("x"));
    WriteGbk(Cols1, QStringLiteral("h\r邮件=a@b.cn\r"));
    EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 1), QStringLiteral("a@b.cn"));

    // A value that holds "=" itself, with no label before it: an address, a
    // mail link, a folder, markup. It is read whole, as the outputs publish it.
    for (const QString &Whole : {QStringLiteral("http://shop.example.com/?id=3"), QStringLiteral("mailto:a@b.cn?subject=询价"),
                                 QStringLiteral("/home/王/输出=新"), QStringLiteral("D:\\输出=新"), QStringLiteral("<font size=2>小</font>"),
                                 QStringLiteral("a&b=c")}) {
        SaveLines(Cols1, {QStringLiteral("h"), Whole});
        EXPECT_EQ(CompanyFiles::ReadDatLine(Cols1, 1), Whole);
        EXPECT_EQ(CompanyFiles::LineValue(Whole), Whole);
    }
    // The outputs take a labelled value whole, however long.
    const QString Long = QStringLiteral("长").repeated(600);
    EXPECT_EQ(CompanyFiles::LineValue(QStringLiteral("公司名=") + Long), Long);
    EXPECT_EQ(CompanyFiles::LineValue(QStringLiteral("Web site=www.example.com")), QStringLiteral("www.example.com"));
}

TEST(CompanyFiles, ALabelledValueIsCutTo240CharactersWithoutSplittingOne)
{
    TProgramFolder Program;
    const QString File = Program.File(QStringLiteral("cols3.dat"));
    const QString Long = QString(239, QChar(0x4E2D)) + QString::fromUcs4(U"\U00020000") + QStringLiteral("尾");
    SaveLines(File, {QStringLiteral("标签=") + Long, Long});
    const QString Cut = CompanyFiles::ReadDatLine(File, 0);
    EXPECT_EQ(Cut, Long.left(241));   // 239 + one character of two UTF-16 units
    EXPECT_EQ(CompanyFiles::ReadDatLine(File, 1), Long);   // a plain line is taken whole
}

TEST(CompanyFiles, AFileThatCannotBeWrittenIsAnErrorNotASuccess)
{
    TProgramFolder Program;
    // A folder where cols2.dat belongs: nothing can replace it.
    QDir().mkpath(CompanyFiles::FileName(2));
    EXPECT_THROW(CompanyFiles::SaveFile(CompanyFiles::FileName(2), QStringList(12, QStringLiteral("x"))), Exception);
    EXPECT_TRUE(QFileInfo(CompanyFiles::FileName(2)).isDir());
    EXPECT_EQ(CompanyFiles::ReadDatLine(CompanyFiles::FileName(2), 0), QString());
}

TEST(PageSettings, PageIdAndTheRowsThatFollowTheLanguage)
{
    TProgramFolder Program;
    EXPECT_EQ(PageSettings::DefaultCatalogId(QStringLiteral("2026-12-7")), QStringLiteral("CT2026127-"));
    EXPECT_EQ(PageSettings::DefaultCatalogId(QStringLiteral("2026-1-31")), QStringLiteral("CT2026131-"));

    WriteGbk(Program.File(QStringLiteral("cols1.dat")),
             QStringLiteral("中文内容\r\n\r\n\r\n\r\n\r\n\r\n\r\n邮件=cn@example.cn\r\n\r\n\r\n\r\n/srv/输出\r\n"));
    WriteGbk(Program.File(QStringLiteral("cols2.dat")),
             QStringLiteral("英文内容\r\n\r\n\r\n\r\n\r\n\r\n\r\nen@example.com\r\n\r\n\r\n\r\nOut=/srv/out\r\n"));
    QMap<int, QString> V = PageSettings::DefaultRowValues(QStringLiteral("2026-12-7"), false);
    EXPECT_EQ(V[PageSettings::rowOutputFolder], QStringLiteral("/srv/输出"));
    EXPECT_EQ(V[PageSettings::rowOrderMail], QStringLiteral("cn@example.cn"));
    EXPECT_EQ(V[PageSettings::rowCatalogName], QString());
    V = PageSettings::DefaultRowValues(QStringLiteral("2026-12-7"), true);
    EXPECT_EQ(V[PageSettings::rowOutputFolder], QStringLiteral("/srv/out"));
    EXPECT_EQ(V[PageSettings::rowOrderMail], QStringLiteral("en@example.com"));

    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("￥"), true), QStringLiteral("$"));
    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("$"), false), QStringLiteral("￥"));
    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("€"), true), QStringLiteral("€"));
    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("€"), false), QStringLiteral("€"));

    const QStringList Hint = PageSettings::OutputTypeHint().split(QStringLiteral("\r\n"));
    EXPECT_EQ(Hint.size(), 3);
}
