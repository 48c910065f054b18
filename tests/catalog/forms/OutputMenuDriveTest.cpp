// Through quillbook-drive: the output menus' states as they open (page and book
// length at the limits), the captions they show, and adding the open page to
// another book.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "platform/core/Classes.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

QStringList PageHeader(int Lines)
{
    QStringList L{QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{Catalog编号}=M1"), QStringLiteral("{Catalog名称}=菜单"),
                  QStringLiteral("{业务员名}=张三"), QStringLiteral("{客户编号}="), QStringLiteral("{客户名称}="),
                  QStringLiteral("{客户公司名}="), QStringLiteral("{日期}=2026-12-7"), QStringLiteral("{货币符号}=RMB"),
                  QStringLiteral("{产品单位}=件"), QStringLiteral("{重量单位}=克"), QStringLiteral("{图片宽}=0"),
                  QStringLiteral("{图片高}=0"), QStringLiteral("{输出目录}="), QStringLiteral("{输出方式}=HTML(网页文件类型)"),
                  QStringLiteral("{输出风格}=春天系列"), QStringLiteral("{输出语言}=中文"), QStringLiteral("{订单接收email地址}="),
                  QStringLiteral("{图片框百分比}=75"), QStringLiteral("{Catalog说明}=说明"), QStringLiteral("{背景图片}="),
                  QStringLiteral("{视觉效果}=")};
    return L.mid(0, Lines);
}

class OutputMenuDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::CopyDataTo(Home.Path());
        P20 = Docs.File(QStringLiteral("p20.qbt"));
        P21 = Docs.File(QStringLiteral("p21.qbt"));
        SaveLines(P20, PageHeader(20));
        SaveLines(P21, PageHeader(21));
    }

    QString Drive(const QString &Script, const QStringList &Args)
    {
        const TestSupport::DriveRun R = TestSupport::RunDrive(Home.Path(), Script, Args);
        EXPECT_EQ(R.Code, 0) << R.Err.toStdString();
        return R.Out;
    }

    TestSupport::TempDir Home;
    TestSupport::TempDir Docs;
    QString P20, P21;
};

} // namespace

TEST_F(OutputMenuDrive, ItemsFollowThePageAndBookLengths)
{
    const QString Probe = QStringLiteral("wait\nenabled N108\nenabled N87\nenabled N106\nenabled N89\nenabled CHM1\nenabled ZIP3\n"
                                         "text N124\nquit\n");
    // A page of exactly 20 lines offers no page output; 21 lines do.
    EXPECT_EQ(Drive(Probe, {P20}), QStringLiteral("false\nfalse\nfalse\nfalse\ntrue\ntrue\n切换为英文Catalog\n"));
    EXPECT_EQ(Drive(Probe, {P21}).section(QLatin1Char('\n'), 0, 1), QStringLiteral("true\ntrue"));

    // A book of 5 lines offers no book output; 6 lines do.
    const QString Five = Docs.File(QStringLiteral("five.qbs"));
    SaveLines(Five, {QStringLiteral("Catalog_name=五行"), QStringLiteral("catalog_index_name="), QStringLiteral("Catalog_Output="),
                     QStringLiteral("{$Files}"), P21});
    const QString BookProbe = QStringLiteral("wait\nenabled N106\nenabled N89\nquit\n");
    EXPECT_EQ(Drive(BookProbe, {Five}), QStringLiteral("false\nfalse\n"));
    const QString Six = Docs.File(QStringLiteral("six.qbs"));
    SaveLines(Six, {QStringLiteral("Catalog_name=六行"), QStringLiteral("catalog_index_name="), QStringLiteral("Catalog_Output="),
                    QStringLiteral("{$Files}"), P21, P20});
    EXPECT_EQ(Drive(BookProbe, {Six}), QStringLiteral("true\ntrue\n"));

    // Another page than the open one chosen in the book's list: the ten page
    // output items are off until nothing (or the open page) is chosen.
    QString Items;
    for (const char *Name : {"CHM1", "RAR1", "HTML1", "ZIP1", "QBA1", "CHM3", "MHT1", "HTML3", "ZIP3", "Catalog1"})
        Items += QStringLiteral("enabled %1\n").arg(QString::fromLatin1(Name));
    const QString Chosen = Drive(QStringLiteral("wait\nselect ListBox1 1\n") + Items + QStringLiteral("select ListBox1 -1\n") + Items
                                     + QStringLiteral("select ListBox1 0\n") + Items + QStringLiteral("quit\n"),
                                 {Six});
    EXPECT_EQ(Chosen, QStringLiteral("false\n").repeated(10) + QStringLiteral("true\n").repeated(20));

    // The language switch says where it goes, in the output menu as elsewhere.
    QStringList English = PageHeader(21);
    English[16] = QStringLiteral("{输出语言}=英文");
    SaveLines(P21, English);
    EXPECT_EQ(Drive(QStringLiteral("wait\nenabled N108\ntext N124\nquit\n"), {P21}), QStringLiteral("true\n切换为中文Catalog\n"));
    EXPECT_EQ(Drive(QStringLiteral("wait\ntext Button3\nquit\n"), {P21}),
              QStringLiteral("在作者blog上留言，提出您对此软件的意见和建议\n"));
}

TEST_F(OutputMenuDrive, PageIsAddedToAnotherBookButNotToTheOpenOne)
{
    // A book without the files marker: the page goes after its last line.
    const QString Other = Docs.File(QStringLiteral("other.qbs"));
    SaveLines(Other, {QStringLiteral("Catalog_name=别的"), QStringLiteral("c:\\old\\page.qbt")});
    QString Out = Drive(QStringLiteral("wait\nanswer file %1\nanswer button OK\nclick N96\nwait\nprompts\nquit\n").arg(Other), {P21});
    EXPECT_TRUE(Out.contains(QStringLiteral("成功 | 添加成功。"))) << Out.toStdString();
    EXPECT_EQ(LoadLines(Other), (QStringList{QStringLiteral("Catalog_name=别的"), QStringLiteral("c:\\old\\page.qbt"), P21}));

    // The open book, named another way, is refused and stays as it was.
    const QString Book = Docs.File(QStringLiteral("book.qbs"));
    const QStringList BookLines{QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), P21};
    SaveLines(Book, BookLines);
    QDir().mkpath(Docs.File(QStringLiteral("sub")));
    const QString Roundabout = Docs.File(QStringLiteral("sub/../book.qbs"));
    Out = Drive(QStringLiteral("wait\nanswer file %1\nanswer button OK\nclick N96\nwait\nprompts\nquit\n").arg(Roundabout), {Book});
    EXPECT_TRUE(Out.contains(QStringLiteral("错误 | 不能重复添加到当前目录册。"))) << Out.toStdString();
    EXPECT_EQ(LoadLines(Book), BookLines);

    // Only a book file takes a page.
    const QString Text = Docs.File(QStringLiteral("notes.txt"));
    SaveLines(Text, {QStringLiteral("x")});
    Out = Drive(QStringLiteral("wait\nanswer file %1\nanswer button OK\nclick N96\nwait\nprompts\nquit\n").arg(Text), {P21});
    EXPECT_EQ(LoadLines(Text), QStringList{QStringLiteral("x")});

    // An unsaved page cannot be referred to.
    const QString Start = Docs.File(QStringLiteral("start.qbs"));
    SaveLines(Start, {QStringLiteral("Catalog_name=start"), QStringLiteral("{$Files}")});
    Out = Drive(QStringLiteral("wait\nclick N2\nwait\nanswer button OK\nclick N96\nwait\nprompts\nquit\n"), {Start});
    EXPECT_TRUE(Out.contains(QStringLiteral("请先保存 | 当前页面没有保存，不能被其他目录册引用。"))) << Out.toStdString();
}
