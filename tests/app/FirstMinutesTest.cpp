// What a new user meets in the first minutes, through quillbook-drive on a copy
// of the program folder exactly as the build ships it: a new page made and
// saved there, pages whose texts hold block markers and placeholders published
// in every output, the cell editor after a page opens, package saves, files
// that are no pages, and pictures with Chinese names in a web archive.

#include "TestSupport.h"
#include "platform/core/Classes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

using TestSupport::DriveRun;
using TestSupport::RunDrive;

namespace {

QString S(const char *Utf8)
{
    return QString::fromUtf8(Utf8);
}

QStringList LoadPage(const QString &File)
{
    TStringList L;
    L.LoadFromFile(File);
    return L.ToQStringList();
}

void SavePage(const QString &File, const QStringList &Lines)
{
    TStringList(Lines).SaveToFile(File);
}

// Texts a user may type into a product, each holding a marker or a placeholder.
const QStringList TrickyNotes{S("描述里有{$3}字样"), S("{$PID}"), S("{图片}与{$PNOTE}=x")};

class FirstMinutes : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(TestSupport::DriverPath()).isExecutable());
        TestSupport::CopyProgramFolderTo(Home.Path());
    }

    // A page as the program writes it: Count products, product n with the ID
    // "A-00n", the picture Pictures[n-1] (relative to the page) and the note
    // Notes[n-1].
    QString WritePage(const QString &Name, const QString &Id, const QString &OutputType, const QStringList &Notes,
                      const QStringList &Pictures = {})
    {
        QStringList L{S("QBT FILE TYPE 2.0"),
                      S("{Catalog编号}=") + Id,
                      S("{Catalog名称}=春季报价"),
                      S("{业务员名}=王五"),
                      S("{客户编号}=C-9"),
                      S("{客户名称}=李四"),
                      S("{客户公司名}=李氏贸易"),
                      S("{日期}=2026-12-7"),
                      S("{货币符号}=￥"),
                      S("{产品单位}=个"),
                      S("{重量单位}=克"),
                      S("{图片宽}=0"),
                      S("{图片高}=0"),
                      S("{输出目录}="),
                      S("{输出方式}=") + OutputType,
                      S("{输出风格}=春天系列"),
                      S("{输出语言}=中文"),
                      S("{订单接收email地址}=order@example.com"),
                      S("{图片框百分比}=75"),
                      S("{Catalog说明}=说明"),
                      S("/*以下内容均由程序自动生成，一般用户无需自行修改。"),
                      S("{detail}"),
                      QString()};
        for (int N = 1; N <= Notes.size(); ++N)
            L << QStringLiteral("{$%1}").arg(N) << S("{$IMG}=") + Pictures.value(N - 1)
              << QStringLiteral("{$PID}=A-00%1").arg(N) << S("{$PNAME}=商品%1").arg(N)
              << QStringLiteral("{$PPRICE}=%1.50").arg(N) << S("{$PUNIT}=件") << QStringLiteral("{$PWEIGHT}=5")
              << S("{$PSERIAL}=大号") << S("{$PNOTE}=") + Notes.at(N - 1);
        const QString Path = Docs.File(Name);
        SavePage(Path, L);
        return Path;
    }

    QString Output(const QString &Id, const QString &File) const { return Home.File(S("输出/") + Id + QLatin1Char('/') + File); }

    TestSupport::TempDir Home;
    TestSupport::TempDir Docs;
};

} // namespace

TEST_F(FirstMinutes, ANewPageIsMadeFilledAndSavedInTheShippedProgramFolder)
{
    const QString Saved = Docs.File(QStringLiteral("first.qbt"));
    // 新建目录页面 in the start dialog, then the product typed in and saved.
    DriveRun R = RunDrive(Home.Path(), QStringLiteral("wait\nclick Form2.Button1\nwait\nset-cell CellGrid1 3 1 A-001\n"
                                                      "set-cell CellGrid1 5 1 茶杯\nanswer file %1\nclick SpeedButton9\n"
                                                      "wait\nprompts\nquit\n")
                                           .arg(Saved));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    // The save dialog was the only question: no error on the way.
    EXPECT_TRUE(R.Out.startsWith(QStringLiteral("FileDialog"))) << R.Out.toStdString();
    EXPECT_EQ(R.Out.count(QLatin1Char('\n')), 1) << R.Out.toStdString();
    const QStringList Lines = LoadPage(Saved);
    ASSERT_GT(Lines.size(), 24);
    EXPECT_EQ(Lines.at(0), S("QBT FILE TYPE 2.0"));
    EXPECT_EQ(Lines.at(23), S("{$1}"));
    EXPECT_TRUE(Lines.contains(S("{$PNAME}=茶杯")));
    EXPECT_TRUE(QFileInfo(Home.File(S("目录册/default.qbs"))).isFile());

    // 文件 → 新建目录页 after the start dialog was closed, in a fresh copy.
    TestSupport::TempDir Fresh;
    TestSupport::CopyProgramFolderTo(Fresh.Path());
    R = RunDrive(Fresh.Path(), QStringLiteral("wait\nclick Form2.Button5\nwait\nclick N2\nwait\nprompts\ncell CellGrid1 2 1\nquit\n"));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, S("编号：\n"));
}
