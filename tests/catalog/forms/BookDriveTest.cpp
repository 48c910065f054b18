// Through quillbook-drive: a book is made with its information dialog, three
// pages are added and saved, the book is published as a framed site, a help
// file, a ZIP and a package, and the package is opened again.

#include "WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace WindowFixture;

namespace {

class BookDrive : public TDriveTest {
protected:
    void SetUp() override
    {
        TDriveTest::SetUp();
        Start = Docs.File(QStringLiteral("start.qbs"));
        SaveLines(Start, {QStringLiteral("Catalog_name=start"), QStringLiteral("{$Files}")});
    }

    QString Peer(const QString &Program, const QStringList &Args, int *Code = nullptr)
    {
        QByteArray Out;
        const int C = TestSupport::RunProgram(Program, Args, &Out);
        if (Code)
            *Code = C;
        return QString::fromUtf8(Out);
    }

    QString Start;
};

} // namespace

TEST_F(BookDrive, ThreePageBookMadePublishedPackedAndReopened)
{
    const QString Book = Docs.File(QStringLiteral("三页书.qbs"));
    QString Script = QStringLiteral("wait\nclick SpeedButton7\ntype Form7.Edit1 三页书\ntype Form7.Edit2 %1\n"
                                    "click Form7.Button2\nwait\ntext GroupBox1\n")
                         .arg(Book);
    const QStringList Names{QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")};
    for (int I = 0; I < 3; ++I)
        Script += QStringLiteral("click N2\nset-cell CellGrid1 5 1 %1商品\nset-cell CellGrid1 3 2 %2\n"
                                 "answer file %3\nclick SpeedButton9\nwait\n")
                      .arg(Names.at(I))
                      .arg(I + 1)
                      .arg(Docs.File(Names.at(I) + QStringLiteral(".qbt")));
    Script += QStringLiteral("click HTML4\nwait\nexpect-prompts 3\nquit\n");
    TestSupport::DriveRun R = Drive(Script, {Start});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, Book + QStringLiteral("\n"));
    const QStringList Lines = LoadLines(Book);
    EXPECT_EQ(Lines.mid(Lines.indexOf(QStringLiteral("{$Files}")) + 1),
              (QStringList{Docs.File(QStringLiteral("甲.qbt")), Docs.File(QStringLiteral("乙.qbt")),
                           Docs.File(QStringLiteral("丙.qbt"))}));

    // The framed site: the frameset, the navigation page with the three titles.
    const QString D = Home.File(QStringLiteral("输出/三页书/"));
    const QStringList Frames = LoadLines(D + QStringLiteral("index.htm"));
    ASSERT_EQ(Frames.size(), 10);
    EXPECT_EQ(Frames.at(1), QStringLiteral("<HTML><HEAD><TITLE>三页书</TITLE>"));
    const QString Left = LoadLines(D + QStringLiteral("images/left.htm")).join(QLatin1Char('\n'));
    for (const QString &N : Names)
        EXPECT_TRUE(Left.contains(QStringLiteral("\" target=\"right\">") + N + QStringLiteral("</a></p>")))
            << Left.toStdString();

    // The help file, listed by chmls.
    if (TestSupport::HaveProgram(QStringLiteral("chmcmd")) && TestSupport::HaveProgram(QStringLiteral("chmls"))) {
        R = Drive(QStringLiteral("wait\nclick CHM4\nwait\nexpect-prompts 0\nquit\n"), {Book});
        ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
        const QString Listed = Peer(QStringLiteral("chmls"), {QStringLiteral("list"), D + QStringLiteral("三页书.chm")});
        EXPECT_EQ(Listed.count(QRegularExpression(QStringLiteral("\\{[0-9A-F-]{36}\\}\\.htm"))), 3) << Listed.toStdString();
    }

    // The ZIP, tested by unzip.
    R = Drive(QStringLiteral("wait\nclick ZIP4\nwait\nexpect-prompts 0\nquit\n"), {Book});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    int Code = -1;
    const QString Tested = Peer(QStringLiteral("unzip"), {QStringLiteral("-t"), D + QStringLiteral("三页书.zip")}, &Code);
    EXPECT_EQ(Code, 0) << Tested.toStdString();
    EXPECT_TRUE(Tested.contains(QStringLiteral("index.htm")));

    // The package, listed by unzip, then opened again from the command line.
    R = Drive(QStringLiteral("wait\nclick Catalog2\nwait\nexpect-prompts 0\nquit\n"), {Book});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QString Qba = D + QStringLiteral("三页书.qba");
    Peer(QStringLiteral("unzip"), {QStringLiteral("-tq"), Qba}, &Code);
    EXPECT_EQ(Code, 0);
    // Member names are code page 936, as the program writes every name.
    const QStringList Members =
        Peer(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import zipfile,sys\nfor n in zipfile.ZipFile(sys.argv[1],metadata_encoding='gbk').namelist(): print(n)"),
              Qba},
             &Code)
            .split(QLatin1Char('\n'));
    ASSERT_EQ(Code, 0);
    for (const char *M : {"三页书.qbs", "甲.qbt", "乙.qbt", "丙.qbt", "index.dat", "images/left.htm"})
        EXPECT_TRUE(Members.contains(QString::fromUtf8(M))) << M;

    R = Drive(QStringLiteral("wait\ncell CellGrid1 5 1\nexpect-prompts 0\nquit\n"), {Qba});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("丙商品\n")) << "the page saved last is opened with the book";
}

TEST_F(BookDrive, ChoosingAnExistingBookFileAsksOnceBeforeReplacingIt)
{
    const QString Old = Docs.File(QStringLiteral("旧书.qbs"));
    SaveLines(Old, {QStringLiteral("Catalog_name=旧书"), QStringLiteral("{$Files}")});
    const TestSupport::DriveRun R = Drive(QStringLiteral("wait\nclick SpeedButton7\nanswer file %1\nanswer button Yes\n"
                                                         "click Form7.Button1\ntext Form7.Edit2\nprompts\n"
                                                         "click Form7.Button3\nwait\nexpect-prompts 2\nquit\n")
                                              .arg(Old),
                                          {Start});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    EXPECT_TRUE(R.Out.startsWith(Old + QStringLiteral("\n"))) << R.Out.toStdString();
    EXPECT_EQ(R.Out.count(QStringLiteral("要替换它吗？")), 1) << R.Out.toStdString();
}
