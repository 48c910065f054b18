// The company files and the page settings data without widgets: the one line
// reader, saving a grid column, the defaults file of new pages.

#include "DialogTestSupport.h"
#include "catalog/CompanyFiles.h"
#include "catalog/PageDocument.h"
#include "catalog/PageSettings.h"

#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace DialogTest;

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
}

TEST(CompanyFiles, ALabelledValueIsCutTo240CharactersWithoutSplittingOne)
{
    TProgramFolder Program;
    const QString File = Program.File(QStringLiteral("cols3.dat"));
    const QString Long = QString(239, QChar(0x4E2D)) + QString::fromUcs4(U"\U00020000") + QStringLiteral("尾");
    CatalogBridge::SaveLines(File, {QStringLiteral("标签=") + Long, Long});
    const QString Cut = CompanyFiles::ReadDatLine(File, 0);
    EXPECT_EQ(Cut, Long.left(241));   // 239 + one character of two UTF-16 units
    EXPECT_EQ(CompanyFiles::ReadDatLine(File, 1), Long);   // a plain line is taken whole
}

TEST(CompanyFiles, SavingAColumnWritesOneLinePerCellAndKeepsWhatTheGridDoesNotShow)
{
    TProgramFolder Program;
    const QString File = CompanyFiles::FileName(1);
    EXPECT_EQ(File, Program.File(QStringLiteral("cols1.dat")));

    // From nothing: twelve lines, empty cells included, CR LF after each.
    QStringList Cells(CompanyFiles::LineCount);
    Cells[0] = QStringLiteral("中文内容");
    Cells[2] = QStringLiteral("王\r\n五");          // a line break typed into a cell
    Cells[7] = QStringLiteral("sales@example.cn\n");
    CompanyFiles::SaveFile(File, Cells);
    QStringList Lines = GbkLines(File);
    ASSERT_EQ(Lines.size(), 12);
    EXPECT_EQ(Lines[0], QStringLiteral("中文内容"));
    EXPECT_EQ(Lines[2], QStringLiteral("王 五"));
    EXPECT_EQ(Lines[7], QStringLiteral("sales@example.cn "));
    EXPECT_EQ(Lines[11], QString());
    EXPECT_EQ(CompanyFiles::ReadDatLine(File, CompanyFiles::lnMail), QStringLiteral("sales@example.cn "));
    EXPECT_EQ(CompanyFiles::LoadFile(File).size(), 12);

    // A longer file keeps its further lines.
    QStringList Long;
    for (int I = 0; I < 15; ++I)
        Long << QStringLiteral("旧%1").arg(I);
    WriteGbk(File, Long.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    Cells.fill(QStringLiteral("新"));
    CompanyFiles::SaveFile(File, Cells);
    Lines = GbkLines(File);
    ASSERT_EQ(Lines.size(), 15);
    EXPECT_EQ(Lines.mid(0, 12), QStringList(12, QStringLiteral("新")));
    EXPECT_EQ(Lines.mid(12), (QStringList{QStringLiteral("旧12"), QStringLiteral("旧13"), QStringLiteral("旧14")}));
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

TEST(PageSettings, RowTableDefaultsAndLanguageRows)
{
    TProgramFolder Program;
    EXPECT_EQ(PageSettings::DefaultCatalogId(QStringLiteral("2026-12-7")), QStringLiteral("CT2026127-"));
    EXPECT_EQ(PageSettings::DefaultCatalogId(QStringLiteral("2026-1-31")), QStringLiteral("CT2026131-"));

    QStringList Keys;
    for (const PageSettings::TSettingRow &R : PageSettings::Rows())
        Keys << QString::number(R.Row) + R.Key;
    EXPECT_EQ(Keys.join(QLatin1Char(' ')),
              QStringLiteral("1{Catalog编号} 2{Catalog名称} 3{业务员名} 4{客户编号} 5{客户名称} 6{客户公司名} 7{日期} "
                             "8{货币符号} 9{产品单位} 10{重量单位} 11{图片宽} 12{图片高} 13{输出目录} 14{输出方式} "
                             "15{订单接收email地址} 16{Catalog说明} 18{图片框百分比}"));

    WriteGbk(Program.File(QStringLiteral("cols1.dat")),
             QStringLiteral("中文内容\r\n\r\n\r\n\r\n\r\n\r\n\r\n邮件=cn@example.cn\r\n\r\n\r\n\r\n/srv/输出\r\n"));
    WriteGbk(Program.File(QStringLiteral("cols2.dat")),
             QStringLiteral("英文内容\r\n\r\n\r\n\r\n\r\n\r\n\r\nen@example.com\r\n\r\n\r\n\r\nOut=/srv/out\r\n"));
    QMap<int, QString> V = PageSettings::DefaultRowValues(QStringLiteral("2026-12-7"), false);
    EXPECT_EQ(V[PageSettings::rowCatalogId], QStringLiteral("CT2026127-"));
    EXPECT_EQ(V[PageSettings::rowDate], QStringLiteral("2026-12-7"));
    EXPECT_EQ(V[PageSettings::rowCurrency], QStringLiteral("￥"));
    EXPECT_EQ(V[PageSettings::rowUnit], QStringLiteral("个"));
    EXPECT_EQ(V[PageSettings::rowWeightUnit], QStringLiteral("克"));
    EXPECT_EQ(V[PageSettings::rowPictureWidth], QStringLiteral("自动"));
    EXPECT_EQ(V[PageSettings::rowPictureHeight], QStringLiteral("自动"));
    EXPECT_EQ(V[PageSettings::rowOutputType], QStringLiteral("CHM(帮助文件类型)"));
    EXPECT_EQ(V[PageSettings::rowPicturePercent], QStringLiteral("75"));
    EXPECT_EQ(V[PageSettings::rowOutputFolder], QStringLiteral("/srv/输出"));
    EXPECT_EQ(V[PageSettings::rowOrderMail], QStringLiteral("cn@example.cn"));
    EXPECT_EQ(V[PageSettings::rowCatalogName], QString());
    V = PageSettings::DefaultRowValues(QStringLiteral("2026-12-7"), true);
    EXPECT_EQ(V[PageSettings::rowOutputFolder], QStringLiteral("/srv/out"));
    EXPECT_EQ(V[PageSettings::rowOrderMail], QStringLiteral("en@example.com"));

    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("￥"), true), QStringLiteral("$"));
    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("$"), false), QStringLiteral("￥"));
    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("$"), true), QStringLiteral("$"));
    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("€"), true), QStringLiteral("€"));
    EXPECT_EQ(PageSettings::CurrencyForLanguage(QStringLiteral("€"), false), QStringLiteral("€"));

    EXPECT_EQ(PageSettings::OutputTypes(),
              (QStringList{QStringLiteral("CHM(帮助文件类型)"), QStringLiteral("MHT(单文件网页)"),
                           QStringLiteral("HTML(网页文件类型)"), QStringLiteral("ZIP(压缩文件类型)"),
                           QStringLiteral("QBA(Catalog包文件)")}));
    const QStringList Hint = PageSettings::OutputTypeHint().split(QStringLiteral("\r\n"));
    ASSERT_EQ(Hint.size(), 3);
    EXPECT_TRUE(Hint[0].startsWith(QStringLiteral("输出方式分为单文件CHM")));
    EXPECT_TRUE(Hint[2].endsWith(QStringLiteral("windows平台下推荐使用CHM格式")));
}

TEST(PageSettings, DefaultsFileHasTheMagicAndTheNineteenHeaderLinesInPageOrder)
{
    TProgramFolder Program;
    QMap<QString, QString> Values;
    for (const QString &K : TPageDocument::HeaderKeys)
        Values.insert(K, K.mid(1, 2));
    Values[QStringLiteral("{Catalog说明}")] = QStringLiteral("第一行\r\n第二行");
    Values[QStringLiteral("{客户编号}")] = QString();
    PageSettings::SaveDefaultsFile(Values);
    const QStringList Lines = GbkLines(PageSettings::DefaultsFileName());
    ASSERT_EQ(Lines.size(), 20);
    EXPECT_EQ(Lines[0], QStringLiteral("QBT FILE TYPE 2.0"));
    EXPECT_EQ(Lines[1], QStringLiteral("{Catalog编号}=Ca"));
    EXPECT_EQ(Lines[4], QStringLiteral("{客户编号}="));
    EXPECT_EQ(Lines[13], QStringLiteral("{输出目录}=输出"));
    EXPECT_EQ(Lines[14], QStringLiteral("{输出方式}=输出"));
    EXPECT_EQ(Lines[15], QStringLiteral("{输出风格}=输出"));
    EXPECT_EQ(Lines[16], QStringLiteral("{输出语言}=输出"));
    EXPECT_EQ(Lines[17], QStringLiteral("{订单接收email地址}=订单"));
    EXPECT_EQ(Lines[18], QStringLiteral("{图片框百分比}=图片"));
    EXPECT_EQ(Lines[19], QStringLiteral("{Catalog说明}=第一行 第二行"));

    EXPECT_TRUE(PageSettings::DeleteDefaultsFile());
    EXPECT_FALSE(QFile::exists(PageSettings::DefaultsFileName()));
    EXPECT_TRUE(PageSettings::DeleteDefaultsFile());   // nothing to delete is no failure
}
