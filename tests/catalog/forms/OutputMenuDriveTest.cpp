// Through quillbook-drive: the output menus' states as they open (page and book
// length at the limits), the captions they show, adding the open page to
// another book, and what a program killed during an output leaves.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "platform/core/Classes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
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

TEST_F(OutputMenuDrive, WhatAZipOutputKilledHalfWayLeftGoesWithTheNextOutputToItsFolder)
{
    // A page whose one picture takes a while to pack.
    const QString Big = Docs.File(QStringLiteral("big.jpg"));
    {
        QFile F(Big);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        QByteArray Chunk(1 << 20, Qt::Uninitialized);
        for (int I = 0; I < 48; ++I) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(Chunk.data()), Chunk.size() / 4);
            ASSERT_EQ(F.write(Chunk), Chunk.size());
        }
    }
    const QString Page = Docs.File(QStringLiteral("big.qbt"));
    SaveLines(Page, PageHeader(21) + QStringList{QStringLiteral("/*以下内容均由程序自动生成，一般用户无需自行修改。"),
                                                  QStringLiteral("{detail}"), QString(), QStringLiteral("{$1}"),
                                                  QStringLiteral("{$IMG}=big.jpg"), QStringLiteral("{$PID}=K-1"),
                                                  QStringLiteral("{$PNAME}=大图"), QStringLiteral("{$PPRICE}=1.00"),
                                                  QStringLiteral("{$PUNIT}=件"), QStringLiteral("{$PWEIGHT}=1"),
                                                  QStringLiteral("{$PSERIAL}=S"), QStringLiteral("{$PNOTE}=N")});
    const QString D = Home.Path() + QStringLiteral("/输出/M1/");
    // The files being written are hidden until they are whole.
    const auto Temporaries = [&D] {
        return QDir(D).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System);
    };

    // The program is killed while it packs the archive.
    QProcess Program;
    Program.start(TestSupport::DriverPath(), {QStringLiteral("--home"), Home.Path(), QStringLiteral("-"),
                                              QStringLiteral("--"), Page});
    ASSERT_TRUE(Program.waitForStarted(30000));
    Program.write("wait\nclick ZIP3\nwait\nquit\n");
    Program.closeWriteChannel();
    while (Temporaries().isEmpty() && !Program.waitForFinished(2))
        ;
    const qint64 Killed = Program.processId();
    Program.kill();
    Program.waitForFinished(-1);
    const QStringList Left = Temporaries();
    ASSERT_FALSE(Left.isEmpty()) << "the output ended before it could be killed";
    for (const QString &F : Left)
        EXPECT_TRUE(F.contains(QStringLiteral(".%1-").arg(Killed)) && F.endsWith(QStringLiteral(".tmp")))
            << F.toStdString();
    EXPECT_FALSE(QFile::exists(D + QStringLiteral("M1.zip")));

    // Beside it: a temporary file of a program that runs (this test), files
    // and folders of such names that the program never makes, and one that
    // is not the program's at all.
    const QString Running = QStringLiteral(".M1.zip.%1-abc.tmp").arg(QCoreApplication::applicationPid());
    const QString Dead = QStringLiteral(".%1-abc.tmp").arg(Killed);
    const QStringList Kept{Running, QStringLiteral("notes") + Dead, QStringLiteral(".notes.tmp"),
                           QStringLiteral(".M1.zip.%1-ABC.tmp").arg(Killed)};
    for (const QString &F : Kept)
        TestSupport::WriteAll(D + F, "keep");
    ASSERT_TRUE(QDir().mkpath(D + QStringLiteral(".folder") + Dead));
    TestSupport::WriteAll(Docs.File(QStringLiteral("outside.txt")), "outside");
    ASSERT_TRUE(QFile::link(Docs.File(QStringLiteral("outside.txt")), D + QStringLiteral(".link") + Dead));

    // The next output to the folder: a whole archive, and only what the killed
    // program left is gone.
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick ZIP3\nwait\nquit\n"), {Page}), QString());
    int Code = -1;
    QByteArray Listing;
    Code = TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), D + QStringLiteral("M1.zip")}, &Listing);
    EXPECT_EQ(Code, 0) << Listing.toStdString();
    QStringList Now = QDir(D).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &F : Left)
        EXPECT_FALSE(Now.contains(F)) << F.toStdString();
    for (const QString &F : Kept + QStringList{QStringLiteral(".folder") + Dead, QStringLiteral(".link") + Dead})
        EXPECT_TRUE(Now.contains(F)) << F.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(Docs.File(QStringLiteral("outside.txt"))), QByteArray("outside"));
}
