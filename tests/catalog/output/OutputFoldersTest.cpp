// The record of which document made each output folder, and of the folders
// book outputs made their sites in: what it keeps, what it reads from damaged
// or foreign files, and how programs sharing it change it and claim folders.

#include "OutputFixture.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/output/BookOutput.h"
#include "catalog/output/OutputFolders.h"
#include "platform/core/Codec.h"
#include "platform/core/Types.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>

#include <gtest/gtest.h>

#include <iostream>
#include <string>

namespace {

class FolderRecord : public ::testing::Test {
protected:
    TestSupport::TempDir Temp;
    QString Program = Temp.File(QStringLiteral("程序"));
    QString Out = Temp.File(QStringLiteral("输出"));

    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(Program));
        ASSERT_TRUE(QDir().mkpath(Out));
    }
    QString Folder(const QString &Name) const
    {
        const QString Path = Out + QLatin1Char('/') + Name;
        EXPECT_TRUE(QDir().mkpath(Path)) << Path.toStdString();
        return Path;
    }
    // A line as the record writes it.
    static QByteArray Line(const QString &Folder, const QString &Maker)
    {
        return OutputFolders::Identity(Folder).toLatin1() + '\t' + QUrl::toPercentEncoding(Maker, "/:") + '\t'
            + QUrl::toPercentEncoding(QDir::cleanPath(Folder), "/:") + "\r\n";
    }
    QList<QByteArray> RecordLines() const
    {
        QList<QByteArray> Lines = TestSupport::ReadAll(OutputFolders::RecordFile(Program)).split('\n');
        if (!Lines.isEmpty() && Lines.last().isEmpty())
            Lines.removeLast();
        return Lines;
    }
};

} // namespace

TEST_F(FolderRecord, AnOutputLooksOnlyAtItsOwnFolderAndKeepsEveryOtherLine)
{
    // Folders on a share, and one of the user's own disk.
    const QString Share = Out + QStringLiteral("/共享");
    const QString A = Folder(QStringLiteral("共享/P001"));
    const QString B = Folder(QStringLiteral("共享/P002"));
    const QString C = Folder(QStringLiteral("本地/P003"));
    OutputFolders::Remember(Program, A, QStringLiteral("file:/home/u/a.qbt"));
    OutputFolders::Remember(Program, B, QStringLiteral("file:/home/u/b.qbt"));

    // The share goes offline: its folders cannot be reached while another
    // page is published on the local disk.
    ASSERT_TRUE(QDir().rename(Share, Share + QStringLiteral(".离线")));
    EXPECT_EQ(OutputFolders::MadeBy(Program, C), QString());
    OutputFolders::Remember(Program, C, QStringLiteral("file:/home/u/c.qbt"));
    OutputFolders::Rename(Program, QStringLiteral("file:/home/u/c.qbt"), QStringLiteral("file:/home/u/c2.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, A), QString());

    // Back online, the share's folders are known as before.
    ASSERT_TRUE(QDir().rename(Share + QStringLiteral(".离线"), Share));
    EXPECT_EQ(OutputFolders::MadeBy(Program, A), QStringLiteral("file:/home/u/a.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, B), QStringLiteral("file:/home/u/b.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, C), QStringLiteral("file:/home/u/c2.qbt"));

    // Another output into a folder replaces its line; the others stay.
    OutputFolders::Remember(Program, A, QStringLiteral("new:20240101-1"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, A), QStringLiteral("new:20240101-1"));
    EXPECT_EQ(RecordLines().size(), 3);

    // A folder removed and made again under the same path is another folder.
    ASSERT_TRUE(QDir(B).removeRecursively());
    Folder(QStringLiteral("共享/P002"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, B), QString());
}

TEST_F(FolderRecord, DamagedBinaryAndHugeRecordsAreReadAsFarAsSoundAndRebuilt)
{
    const QString A = Folder(QStringLiteral("A"));
    const QString B = Folder(QStringLiteral("B"));
    const QString C = Folder(QStringLiteral("C"));
    const QString File = OutputFolders::RecordFile(Program);

    // Sound lines among damage: bytes of every value, a cut line, fields
    // that are not the record's, an endless line.
    QByteArray Binary;
    for (int I = 0; I < 4096; ++I)
        Binary += char((I * 7919) & 0xFF);
    QByteArray Damaged = Line(A, QStringLiteral("file:/home/u/a.qbt")) + Binary + "\r\n"
        + "abc\tfile%3A%2Fx\t%2Fhome%2Fx\r\n"
        + Line(B, QStringLiteral("x")).replace("\tx\t", "\t%G1\t")
        + "1.2:3\ta\tb\tc\r\n"
        + "1.2:3\tfile:/x\t" + QByteArray(200000, 'a') + "\r\n"
        + Line(B, QStringLiteral("file:/home/u/b.qbt"))
        + Line(C, QStringLiteral("file:/home/u/c.qbt")).left(20);
    TestSupport::WriteAll(File, Damaged);
    EXPECT_EQ(OutputFolders::MadeBy(Program, A), QStringLiteral("file:/home/u/a.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, B), QStringLiteral("file:/home/u/b.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, C), QString());
    // The next change writes the sound lines back, and nothing else.
    OutputFolders::Remember(Program, C, QStringLiteral("file:/home/u/c.qbt"));
    EXPECT_EQ(RecordLines(), (QList<QByteArray>{Line(A, QStringLiteral("file:/home/u/a.qbt")).chopped(1),
                                                Line(B, QStringLiteral("file:/home/u/b.qbt")).chopped(1),
                                                Line(C, QStringLiteral("file:/home/u/c.qbt")).chopped(1)}));

    // A record grown far past any size the program writes (24 MB of long
    // lines of one folder, from an earlier version): its newest lines, at its
    // end, are read and its oldest dropped, and the next change writes back a
    // record of a few megabytes at most that keeps them.
    QByteArray Huge = Line(A, QStringLiteral("file:/home/u/a.qbt"));
    for (int I = 0; I < 4000; ++I)
        Huge += Line(B, QStringLiteral("new:%1-").arg(I) + QString(6000, QLatin1Char('x')));
    Huge += Line(B, QStringLiteral("file:/home/u/b.qbt"));
    Huge += Line(C, QStringLiteral("file:/home/u/c.qbt"));
    TestSupport::WriteAll(File, Huge);
    EXPECT_EQ(OutputFolders::MadeBy(Program, B), QStringLiteral("file:/home/u/b.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, C), QStringLiteral("file:/home/u/c.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, A), QString());
    OutputFolders::Remember(Program, A, QStringLiteral("file:/home/u/a2.qbt"));
    EXPECT_LE(QFileInfo(File).size(), qint64(4) << 20);
    EXPECT_EQ(OutputFolders::MadeBy(Program, A), QStringLiteral("file:/home/u/a2.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, B), QStringLiteral("file:/home/u/b.qbt"));
    EXPECT_EQ(OutputFolders::MadeBy(Program, C), QStringLiteral("file:/home/u/c.qbt"));
    // A record that is not a file at all reads as empty.
    ASSERT_TRUE(QFile::remove(File));
    ASSERT_TRUE(QDir().mkdir(File));
    EXPECT_EQ(OutputFolders::MadeBy(Program, A), QString());
}

TEST_F(FolderRecord, PathsWithBarsTabsAndNewlinesAreRecordedAndNamedRight)
{
    const QStringList Names{QStringLiteral("a|b"), QStringLiteral("制\t表"), QStringLiteral("换\n行"),
                            QStringLiteral("回\r车"), QStringLiteral("百分%7C号%"), QStringLiteral(" 空格 "),
                            QStringLiteral("等=号"), QStringLiteral("😀𠀀")};
    QStringList Folders;
    for (const QString &N : Names)
        Folders << Folder(N);
    for (int I = 0; I < Folders.size(); ++I) {
        const QString Page = Folders.at(I) + QStringLiteral("/页.qbt");
        OutputFolders::Remember(Program, Folders.at(I), OutputFolders::FileMaker(Page));
        OutputFolders::RememberSiteFolder(Program, Folders.at(I) + QLatin1Char('/'));
    }
    for (int I = 0; I < Folders.size(); ++I) {
        EXPECT_EQ(OutputFolders::MadeBy(Program, Folders.at(I) + QLatin1Char('/')),
                  QStringLiteral("file:") + Folders.at(I) + QStringLiteral("/页.qbt"))
            << Names.at(I).toStdString();
        EXPECT_TRUE(OutputFolders::IsSiteFolder(Program, Folders.at(I))) << Names.at(I).toStdString();
    }
    // The folder that is only a part of another's name is not recorded.
    EXPECT_FALSE(OutputFolders::IsSiteFolder(Program, Folder(QStringLiteral("a"))));
    EXPECT_EQ(RecordLines().size(), Names.size());
    EXPECT_EQ(TestSupport::ReadAll(OutputFolders::SiteRecordFile(Program)).count('\n'), Names.size());

    // A package and the document inside it, each holding bars and escapes.
    const QString Package = QStringLiteral("/home/u/收|到%7C.qba");
    const QString Maker = OutputFolders::PackageMaker(Package, QStringLiteral("书|册%25.qbs"));
    OutputFolders::Remember(Program, Folders.at(0), Maker);
    EXPECT_EQ(OutputFolders::MadeBy(Program, Folders.at(0)), Maker);
    EXPECT_EQ(OutputFolders::Describe(Maker), QStringLiteral("qba文件“%1”中的目录册").arg(Package));
    const QString PageMaker = OutputFolders::PackageMaker(QStringLiteral("/home/u/p.qba"), QStringLiteral("a|b.qbt"));
    EXPECT_EQ(OutputFolders::Describe(PageMaker), QStringLiteral("qba文件“/home/u/p.qba”中的页面"));
    // Makers written by earlier versions read as they did.
    EXPECT_EQ(OutputFolders::Describe(QStringLiteral("qba:/home/u/p.qba|x/a.qbt")),
              QStringLiteral("qba文件“/home/u/p.qba”中的页面"));
    EXPECT_TRUE(OutputFolders::ReplaceQuestion(Folders.at(2), Maker, QStringLiteral("目录册"))
                    .startsWith(QStringLiteral("输出目录“%1”中的文件是qba文件“%2”中的目录册输出的").arg(Folders.at(2), Package)));

    // The site records of earlier versions ("identity=path", code page 936)
    // still name their sites, after the record is written again too.
    const QString Old = Folder(QStringLiteral("旧目录册"));
    const QString File = OutputFolders::SiteRecordFile(Program);
    const QString OldLine = OutputFolders::Identity(Old) + QLatin1Char('=') + Old + QStringLiteral("/\r\n");
    TestSupport::WriteAll(File, Cp936::Encode(OldLine));
    EXPECT_TRUE(OutputFolders::IsSiteFolder(Program, Old));
    OutputFolders::RememberSiteFolder(Program, Folders.at(1));
    EXPECT_TRUE(OutputFolders::IsSiteFolder(Program, Old + QLatin1Char('/')));
    EXPECT_TRUE(OutputFolders::IsSiteFolder(Program, Folders.at(1)));
    EXPECT_FALSE(OutputFolders::IsSiteFolder(Program, Folders.at(2)));
}

namespace {

// The other program of the test below: started with the record and its
// folders in its environment, it says "ready", waits for "go" and records
// its folders one by one.
constexpr const char *WriterVariable = "QB_TEST_RECORD_WRITER";
constexpr int WriterLines = 150;

QString WriterMaker(const QString &Writer, int I)
{
    return QStringLiteral("file:/home/%1/%2.qbt").arg(Writer).arg(I);
}

} // namespace

TEST_F(FolderRecord, TwoProgramsWritingAtOnceKeepEachOthersLines)
{
    const QStringList Mine = qEnvironmentVariable(WriterVariable).split(QLatin1Char('\n'));
    if (Mine.size() == 3) {
        std::cout << "ready" << std::endl;
        std::string Go;
        std::getline(std::cin, Go);
        for (int I = 0; I < WriterLines; ++I)
            OutputFolders::Remember(Mine.at(0), Mine.at(1) + QStringLiteral("/%1-%2").arg(Mine.at(2)).arg(I),
                                    WriterMaker(Mine.at(2), I));
        return;
    }

    const QStringList Writers{QStringLiteral("甲"), QStringLiteral("乙")};
    for (const QString &W : Writers)
        for (int I = 0; I < WriterLines; ++I)
            Folder(QStringLiteral("%1-%2").arg(W).arg(I));
    std::vector<std::unique_ptr<QProcess>> Programs;
    for (const QString &W : Writers) {
        auto P = std::make_unique<QProcess>();
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QString::fromLatin1(WriterVariable), Program + QLatin1Char('\n') + Out + QLatin1Char('\n') + W);
        P->setProcessEnvironment(Env);
        P->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        P->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=FolderRecord.TwoProgramsWritingAtOnceKeepEachOthersLines")});
        ASSERT_TRUE(P->waitForStarted(60000));
        Programs.push_back(std::move(P));
    }
    // Both are up before either writes.
    for (auto &P : Programs) {
        QByteArray Said;
        while (!Said.contains("ready\n") && P->waitForReadyRead(120000))
            Said += P->readAllStandardOutput();
        ASSERT_TRUE(Said.contains("ready\n")) << Said.toStdString();
    }
    for (auto &P : Programs) {
        P->write("go\n");
        ASSERT_TRUE(P->waitForBytesWritten(60000));
    }
    for (auto &P : Programs) {
        ASSERT_TRUE(P->waitForFinished(300000));
        EXPECT_EQ(P->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(P->exitCode(), 0) << P->readAllStandardOutput().toStdString();
    }
    int Lost = 0;
    for (const QString &W : Writers)
        for (int I = 0; I < WriterLines; ++I)
            if (OutputFolders::MadeBy(Program, Out + QStringLiteral("/%1-%2").arg(W).arg(I)) != WriterMaker(W, I))
                ++Lost;
    EXPECT_EQ(Lost, 0);
    EXPECT_EQ(RecordLines().size(), 2 * WriterLines);
}

namespace {

// The first program of the test below: started with the program folder and
// its page in its environment, it publishes the page as a ZIP and, once its
// output folder is there, says "claimed" and waits for "go" before it writes
// anything into it.
constexpr const char *HolderVariable = "QB_TEST_CLAIM_HOLDER";

// Starts this test program again as the first of two programs: it claims its
// output folder and says "claimed" (into Said) while it holds it with nothing
// written yet.
void StartFirstProgram(QProcess &First, QByteArray &Said, const char *Variable, const QString &Work, const QString &Filter)
{
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.insert(QString::fromLatin1(Variable), Work);
    First.setProcessEnvironment(Env);
    First.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    First.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + Filter});
    ASSERT_TRUE(First.waitForStarted(60000));
    while (!Said.contains("claimed\n") && First.waitForReadyRead(120000))
        Said += First.readAllStandardOutput();
    ASSERT_TRUE(Said.contains("claimed\n")) << Said.toStdString();
}

// Lets the first program go on into the folder it holds, and waits for it to
// end well without a question.
void FinishFirstProgram(QProcess &First, QByteArray &Said)
{
    First.write("go\n");
    ASSERT_TRUE(First.waitForBytesWritten(60000));
    ASSERT_TRUE(First.waitForFinished(300000));
    Said += First.readAllStandardOutput();
    EXPECT_EQ(First.exitCode(), 0) << Said.toStdString();
    EXPECT_FALSE(Said.contains("\nasked\n")) << Said.toStdString();
}

} // namespace

TEST_F(FolderRecord, TwoProgramsPublishingPagesOfOneIdAtOnceNeverReplaceEachOthersOutputsUnasked)
{
    const QStringList Mine = qEnvironmentVariable(HolderVariable).split(QLatin1Char('\n'));
    if (Mine.size() == 3) {
        TPageOutput Out(LoadLines(Mine.at(1)), Mine.at(1), Mine.at(0));
        Out.ScratchFolder = Mine.at(0) + QStringLiteral("tmp/holder/");
        Out.Maker = OutputFolders::FileMaker(Mine.at(1));
        bool Held = false;
        Out.Hooks.Cancelled = [&] {
            if (!Held && QFileInfo(Mine.at(2)).isDir()) {
                Held = true;
                std::cout << "claimed" << std::endl;
                std::string Go;
                std::getline(std::cin, Go);
            }
            return false;
        };
        Out.Hooks.AskReplace = [](const QString &) {
            std::cout << "asked" << std::endl;
            return false;
        };
        QString Result;
        Out.Run(omZip, false, QString(), Result);
        std::cout << "done " << Result.toStdString() << std::endl;
        return;
    }

    // Two pages of the 目录编号 P001 in two folders, each with its pictures.
    OutputFixture::TSample S;
    OutputFixture::WriteText(S.PagePath, S.Page);
    const QString Other = S.Temp.File(QStringLiteral("别处/other.qbt"));
    OutputFixture::WriteText(Other, S.Page);
    QDir().mkpath(S.Temp.File(QStringLiteral("别处/pics")));
    QDir().mkpath(S.Temp.File(QStringLiteral("别处/more")));
    for (const char *P : {"pics/a.jpg", "more/a.jpg", "pics/杯子.gif", "pics/bg.jpg"})
        TestSupport::WriteAll(S.Temp.File(QStringLiteral("别处/") + QString::fromUtf8(P)),
                              OutputFixture::PictureBytes(QStringLiteral("other page")));
    const QString D = S.D();
    ASSERT_FALSE(QFileInfo::exists(D));

    // The first program claims the folder and holds it before it writes anything.
    QProcess First;
    QByteArray Said;
    StartFirstProgram(First, Said, HolderVariable, S.Exe + QLatin1Char('\n') + S.PagePath + QLatin1Char('\n') + D,
                      QStringLiteral("FolderRecord.TwoProgramsPublishingPagesOfOneIdAtOnce*"));
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(OutputFolders::IsEmpty(D)) << "nothing is written yet";

    // The second program asks before it writes into the folder the first one
    // holds; 否 leaves it to the first.
    TPageOutput Second(LoadLines(Other), Other, S.Exe);
    Second.ScratchFolder = S.Exe + QStringLiteral("tmp/second/");
    Second.Maker = OutputFolders::FileMaker(Other);
    QStringList Asked;
    Second.Hooks.AskReplace = [&Asked](const QString &Text) {
        Asked << Text;
        return false;
    };
    QString Result;
    EXPECT_THROW(Second.Run(omZip, false, QString(), Result), EAbort);
    ASSERT_EQ(Asked.size(), 1);
    EXPECT_EQ(Asked.at(0), OutputFolders::ReplaceQuestion(D, OutputFolders::FileMaker(S.PagePath), QStringLiteral("页面")));
    EXPECT_TRUE(OutputFolders::IsEmpty(D));

    FinishFirstProgram(First, Said);
    if (HasFatalFailure())
        return;
    // The folder holds the first page's archive, and says so.
    const QString Zip = D + QStringLiteral("/P001.zip");
    QByteArray Listing;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), Zip, QStringLiteral("images/a(2).jpg")},
                                      &Listing),
              0);
    EXPECT_EQ(Listing, OutputFixture::PictureBytes(QStringLiteral("a")));
    EXPECT_EQ(OutputFolders::MadeBy(S.Exe, D), OutputFolders::FileMaker(S.PagePath));

    // Once the first has ended, the second asks again, and 是 replaces its outputs.
    Second.Hooks.AskReplace = [&Asked](const QString &Text) {
        Asked << Text;
        return true;
    };
    Second.Run(omZip, false, QString(), Result);
    EXPECT_EQ(Asked.size(), 2);
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), Zip, QStringLiteral("images/a(2).jpg")},
                                      &Listing),
              0);
    EXPECT_EQ(Listing, OutputFixture::PictureBytes(QStringLiteral("other page")));
    EXPECT_EQ(OutputFolders::MadeBy(S.Exe, D), OutputFolders::FileMaker(Other));
}

namespace {

// The first program of the test below: started with the program folder, its
// book and the book's site folder in its environment, it makes the book's
// site and, once it has claimed the folder, says "claimed" and waits for "go"
// before it writes anything into it.
constexpr const char *BookHolderVariable = "QB_TEST_BOOK_CLAIM_HOLDER";

QStringList SmallBook(const QString &Root)
{
    return {QStringLiteral("Catalog_name=默认目录册"), QStringLiteral("catalog_index_name="),
            QStringLiteral("Catalog_Output=") + Root, TCatalogBook::FilesMarker, QStringLiteral("说明.txt")};
}

} // namespace

TEST_F(FolderRecord, TwoProgramsMakingSitesOfBooksOfOneNameAtOnceNeverReplaceEachOthersSitesUnasked)
{
    const QStringList Mine = qEnvironmentVariable(BookHolderVariable).split(QLatin1Char('\n'));
    if (Mine.size() == 3) {
        TBookOutput Out(LoadLines(Mine.at(1)), Mine.at(1), Mine.at(0), QStringLiteral("中文"));
        Out.Maker = OutputFolders::FileMaker(Mine.at(1));
        bool Held = false;
        Out.Hooks.Progress = [&](int, const QString &) {
            if (!Held && QFileInfo(Mine.at(2)).isDir()) {
                Held = true;
                std::cout << "claimed" << std::endl;
                std::string Go;
                std::getline(std::cin, Go);
            }
        };
        Out.Hooks.AskReplace = [](const QString &) {
            std::cout << "asked" << std::endl;
            return false;
        };
        QString Result;
        const TBookOutput::TResult R = Out.Run(bfHtml, false, Result);
        std::cout << "done " << int(R) << std::endl;
        return;
    }

    // Two books called default.qbs in two folders, each listing its own note.
    const QString Exe = Temp.File(QStringLiteral("exe/"));
    TestSupport::CopyDataTo(Temp.File(QStringLiteral("exe")));
    const QString Root = Out + QLatin1Char('/');
    QStringList Books;
    for (const QString &Who : {QStringLiteral("甲"), QStringLiteral("乙")}) {
        const QString Book = Temp.File(Who + QStringLiteral("/default.qbs"));
        ASSERT_TRUE(QDir().mkpath(Temp.File(Who)));
        SaveLines(Book, SmallBook(Root));
        TestSupport::WriteAll(Temp.File(Who + QStringLiteral("/说明.txt")), Who.toUtf8());
        Books << Book;
    }
    const QString D = Root + QStringLiteral("default/");
    ASSERT_FALSE(QFileInfo::exists(D));

    // The first program claims the folder and holds it before it writes anything.
    QProcess First;
    QByteArray Said;
    StartFirstProgram(First, Said, BookHolderVariable, Exe + QLatin1Char('\n') + Books.at(0) + QLatin1Char('\n') + D,
                      QStringLiteral("FolderRecord.TwoProgramsMakingSitesOfBooksOfOneNameAtOnce*"));
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(OutputFolders::IsEmpty(D)) << "nothing is written yet";

    // The second program asks before it empties the folder the first one
    // holds; 否 leaves it to the first.
    TBookOutput Second(LoadLines(Books.at(1)), Books.at(1), Exe, QStringLiteral("中文"));
    Second.Maker = OutputFolders::FileMaker(Books.at(1));
    QStringList Asked;
    Second.Hooks.AskReplace = [&Asked](const QString &Text) {
        Asked << Text;
        return false;
    };
    QString Result;
    EXPECT_EQ(Second.Run(bfHtml, false, Result), TBookOutput::brCancelled);
    ASSERT_EQ(Asked.size(), 1);
    EXPECT_EQ(Asked.at(0), OutputFolders::ReplaceQuestion(D, OutputFolders::FileMaker(Books.at(0)), QStringLiteral("目录册")));
    EXPECT_TRUE(OutputFolders::IsEmpty(D));

    FinishFirstProgram(First, Said);
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(Said.contains("\ndone 0\n")) << Said.toStdString();
    // The folder holds the first book's site, and says so.
    EXPECT_EQ(TestSupport::ReadAll(D + QStringLiteral("images/说明.txt")), QByteArray("甲"));
    EXPECT_EQ(OutputFolders::MadeBy(Exe, D), OutputFolders::FileMaker(Books.at(0)));

    // Once the first has ended, the second asks again, and 是 replaces its site.
    Second.Hooks.AskReplace = [&Asked](const QString &Text) {
        Asked << Text;
        return true;
    };
    EXPECT_EQ(Second.Run(bfHtml, false, Result), TBookOutput::brDone);
    EXPECT_EQ(Asked.size(), 2);
    EXPECT_EQ(TestSupport::ReadAll(D + QStringLiteral("images/说明.txt")), QByteArray("乙"));
    EXPECT_EQ(OutputFolders::MadeBy(Exe, D), OutputFolders::FileMaker(Books.at(1)));
}
