// Both dialogs driven through quillbook-drive against the program itself: open,
// edit a cell, confirm; the page text and the files on disk show the change.

#include "WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace WindowFixture;

namespace {

const QString PageText = QStringLiteral(
    "QBT FILE TYPE 2.0\r\n{Catalog编号}=P1\r\n{Catalog名称}=样品\r\n{业务员名}=\r\n{客户编号}=\r\n{客户名称}=\r\n"
    "{客户公司名}=\r\n{日期}=2026-12-7\r\n{货币符号}=￥\r\n{产品单位}=个\r\n{重量单位}=克\r\n{图片宽}=0\r\n"
    "{图片高}=0\r\n{输出目录}=\r\n{输出方式}=CHM(帮助文件类型)\r\n{输出风格}=夏天系列\r\n{输出语言}=中文\r\n"
    "{订单接收email地址}=a@b.cn\r\n{图片框百分比}=75\r\n{Catalog说明}=\r\n"
    "/*以下内容均由程序自动生成，一般用户无需自行修改。\r\n{detail}\r\n\r\n");

class DialogDrive : public TDriveTest {};

} // namespace

TEST_F(DialogDrive, BothDialogsEditAndConfirmThroughTheDriver)
{
    QDir().mkpath(Home.File(QStringLiteral("目录册")));
    for (const QString &Style : {QStringLiteral("春天系列"), QStringLiteral("夏天系列")}) {
        QDir().mkpath(Home.File(QStringLiteral("html/") + Style));
        WriteGbk(Home.File(QStringLiteral("html/") + Style + QStringLiteral("/简介.txt")), Style + QStringLiteral("的说明\r\n"));
    }
    const QString Page = Home.File(QStringLiteral("p.qbt"));
    WriteGbk(Page, PageText);

    const TestSupport::DriveRun R = Drive(QStringLiteral("click SpeedButton8\n"
                                                         "text Form3.Label3\n"
                                                         "set-cell Form3.CellGrid1 1 6 乙公司\n"
                                                         "click Form3.Button1\n"
                                                         "page-text\n"
                                                         "click SpeedButton9\n"
                                                         "click N18\n"
                                                         "set-cell Form4.CellGrid1 1 2 王五\n"
                                                         "set-cell Form4.CellGrid1 3 1 {$HOTLINE}=400\n"
                                                         "click Form4.Button1\n"
                                                         "expect-prompts 0\n"
                                                         "quit\n"),
                                          {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    EXPECT_EQ(Out.value(0), QStringLiteral("夏天系列的说明")) << "the page's style stays selected";
    EXPECT_TRUE(Out.contains(QStringLiteral("{客户公司名}=乙公司"))) << R.Out.toStdString();

    const QStringList Saved = GbkLines(Page);
    ASSERT_EQ(Saved.size(), 23);
    EXPECT_EQ(Saved[6], QStringLiteral("{客户公司名}=乙公司"));
    EXPECT_EQ(Saved[15], QStringLiteral("{输出风格}=夏天系列"));
    EXPECT_EQ(Saved[19], QStringLiteral("{Catalog说明}= "));

    const QStringList Cols1 = GbkLines(Home.File(QStringLiteral("cols1.dat")));
    ASSERT_EQ(Cols1.size(), 12);
    EXPECT_EQ(Cols1[0], QStringLiteral("中文内容"));
    EXPECT_EQ(Cols1[2], QStringLiteral("王五"));
    EXPECT_EQ(GbkLines(Home.File(QStringLiteral("cols2.dat"))).size(), 12);
    EXPECT_EQ(GbkLines(Home.File(QStringLiteral("cols3.dat"))).value(1), QStringLiteral("{$HOTLINE}=400"));
}
