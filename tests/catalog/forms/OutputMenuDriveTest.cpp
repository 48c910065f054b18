// Through quillbook-drive: the output menus' states as they open (page and book
// length at the limits), the captions they show, adding the open page to
// another book, and what a program killed during an output leaves.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "platform/core/Classes.h"
#include "platform/core/OutputFiles.h"

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
    // Named by the program of this machine, this process number.
    const QString Here = HostIdentity();
    const QString Ours = QStringLiteral(".qbtmp-%1-%2-").arg(Here).arg(Killed);
    for (const QString &F : Left)
        EXPECT_TRUE(F.contains(Ours) && F.endsWith(QStringLiteral(".tmp"))) << F.toStdString();
    EXPECT_FALSE(QFile::exists(D + QStringLiteral("M1.zip")));
    // A save of the page killed half way left its temporary file beside it.
    const QString HalfSaved = Docs.File(QStringLiteral(".big.qbt") + Ours + QStringLiteral("x1.tmp"));
    TestSupport::WriteAll(HalfSaved, "half a page");

    // Beside them: the user's own hidden files whose names look like
    // temporary ones (in the output folder, its pictures folder and beside
    // the page, some with the killed program's number), a temporary file of a
    // program that runs (this test), a recent one of a program of another
    // machine, and a folder and a link of the program's names, which it never
    // makes.
    const QString Running = QStringLiteral(".M1.zip.qbtmp-%1-%2-abc.tmp").arg(Here).arg(QCoreApplication::applicationPid());
    const QStringList Users{QStringLiteral(".notes.2024-draft.tmp"), QStringLiteral(".price.list.1998-old.tmp"),
                            QStringLiteral(".backup.20240101-x.tmp"), QStringLiteral(".notes.%1-draft.tmp").arg(Killed),
                            QStringLiteral(".M1.zip.%1-abc.tmp").arg(Killed),
                            QStringLiteral("notes.qbtmp-%1-%2-abc.tmp").arg(Here).arg(Killed),
                            QStringLiteral(".M1.zip.qbtmp-%1-%2-ABC.tmp").arg(Here).arg(Killed)};
    const QStringList Kept = Users + QStringList{Running, QStringLiteral(".M1.zip.qbtmp-there-%1-abc.tmp").arg(Killed)};
    ASSERT_TRUE(QDir().mkpath(D + QStringLiteral("images")));
    for (const QString &Folder : {D, D + QStringLiteral("images/")})
        for (const QString &F : Kept)
            TestSupport::WriteAll(Folder + F, "keep");
    for (const QString &F : Users)
        TestSupport::WriteAll(Docs.File(F), "keep");
    const QStringList Odd{QStringLiteral(".folder") + Ours + QStringLiteral("abc.tmp"),
                          QStringLiteral(".link") + Ours + QStringLiteral("abc.tmp")};
    ASSERT_TRUE(QDir().mkpath(D + Odd.at(0)));
    TestSupport::WriteAll(Docs.File(QStringLiteral("outside.txt")), "outside");
    ASSERT_TRUE(QFile::link(Docs.File(QStringLiteral("outside.txt")), D + Odd.at(1)));

    const auto Now = [](const QString &Folder) {
        return QDir(Folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    };
    const auto ExpectKept = [&](const char *After) {
        for (const QString &Folder : {D, D + QStringLiteral("images/")})
            for (const QString &F : Kept)
                EXPECT_EQ(TestSupport::ReadAll(Folder + F), QByteArray("keep")) << After << ": " << (Folder + F).toStdString();
        for (const QString &F : Users)
            EXPECT_EQ(TestSupport::ReadAll(Docs.File(F)), QByteArray("keep")) << After << ": " << F.toStdString();
        for (const QString &F : Odd)
            EXPECT_TRUE(Now(D).contains(F)) << After << ": " << F.toStdString();
        EXPECT_EQ(TestSupport::ReadAll(Docs.File(QStringLiteral("outside.txt"))), QByteArray("outside"));
    };

    // The next output to the folder, of another kind: what the killed program
    // left there is gone, nothing else.
    Drive(QStringLiteral("wait\nclick HTML3\nwait\nquit\n"), {Page});
    EXPECT_TRUE(QFile::exists(D + QStringLiteral("M1.htm")));
    for (const QString &F : Left)
        EXPECT_FALSE(Now(D).contains(F)) << F.toStdString();
    ExpectKept("HTML");

    // The next save of the page: the half-saved page beside it goes.
    EXPECT_TRUE(QFile::exists(HalfSaved));
    Drive(QStringLiteral("wait\nset-cell CellGrid1 5 1 新名\nclick SpeedButton9\nwait\nquit\n"), {Page});
    EXPECT_TRUE(LoadLines(Page).contains(QStringLiteral("{$PNAME}=新名")));
    EXPECT_FALSE(QFile::exists(HalfSaved));
    ExpectKept("save");

    // The page saved in a book kept in another folder: the half-written book
    // beside the book goes.
    ASSERT_TRUE(QDir().mkpath(Docs.File(QStringLiteral("books"))));
    const QString Book = Docs.File(QStringLiteral("books/book.qbs"));
    SaveLines(Book, {QStringLiteral("Catalog_name=书"), QStringLiteral("catalog_index_name="), QStringLiteral("Catalog_Output="),
                     QStringLiteral("{$Files}"), Page, P21});
    const QString HalfBook = Docs.File(QStringLiteral("books/.book.qbs") + Ours + QStringLiteral("b1.tmp"));
    TestSupport::WriteAll(HalfBook, "half a book");
    for (const QString &F : Users)
        TestSupport::WriteAll(Docs.File(QStringLiteral("books/") + F), "keep");
    Drive(QStringLiteral("wait\nset-cell CellGrid1 5 1 书中名\nclick SpeedButton9\nwait\nquit\n"), {Book});
    EXPECT_TRUE(LoadLines(Page).contains(QStringLiteral("{$PNAME}=书中名")));
    EXPECT_FALSE(QFile::exists(HalfBook));
    for (const QString &F : Users)
        EXPECT_EQ(TestSupport::ReadAll(Docs.File(QStringLiteral("books/") + F)), QByteArray("keep")) << F.toStdString();
    ExpectKept("book save");

    // A package of the page, received elsewhere and saved back: the half-written
    // package a killed save left beside it goes.
    Drive(QStringLiteral("wait\nclick QBA1\nwait\nquit\n"), {Page});
    ExpectKept("package");
    const QString Received = Docs.File(QStringLiteral("received.qba"));
    ASSERT_TRUE(QFile::copy(D + QStringLiteral("catalog.qba"), Received));
    const QString HalfPacked = Docs.File(QStringLiteral(".received.qba") + Ours + QStringLiteral("p1.tmp"));
    TestSupport::WriteAll(HalfPacked, "half a package");
    const QString Saved = Drive(QStringLiteral("wait\nset-cell CellGrid1 5 1 又名\nclick SpeedButton9\nwait\nprompts\nquit\n"),
                                {Received});
    EXPECT_FALSE(QFile::exists(HalfPacked)) << Saved.toStdString();
    EXPECT_NE(TestSupport::ReadAll(Received), TestSupport::ReadAll(D + QStringLiteral("catalog.qba")));
    ExpectKept("package save");

    // An archive now is whole, and leaves the others' files as they are.
    EXPECT_EQ(Drive(QStringLiteral("wait\nclick ZIP3\nwait\nquit\n"), {Page}), QString());
    QByteArray Listing;
    const int Code =
        TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), D + QStringLiteral("M1.zip")}, &Listing);
    EXPECT_EQ(Code, 0) << Listing.toStdString();
    ExpectKept("ZIP");
}
