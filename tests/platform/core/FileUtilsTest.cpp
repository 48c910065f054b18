#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"

#include "Printers.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using TestSupport::ReadAll;
using TestSupport::TempDir;
using TestSupport::WriteAll;

namespace {

QString S(const char *Text)
{
    return QString::fromUtf8(Text);
}

TEST(Paths, PiecesAcceptBothSeparators)
{
    EXPECT_EQ(ExtractFilePath(S("html\\默认\\index.htm")), S("html\\默认\\"));
    EXPECT_EQ(ExtractFilePath(S("/opt/qb/a.txt")), S("/opt/qb/"));
    EXPECT_EQ(ExtractFilePath(S("a.txt")), S(""));
    EXPECT_EQ(ExtractFilePath(S("C:a.txt")), S("C:"));
    EXPECT_EQ(ExtractFileDir(S("/opt/qb/a.txt")), S("/opt/qb"));
    EXPECT_EQ(ExtractFileDir(S("/a.txt")), S("/"));
    EXPECT_EQ(ExtractFileDir(S("C:\\a.txt")), S("C:\\"));
    EXPECT_EQ(ExtractFileName(S("images\\产品/1.jpg")), S("1.jpg"));
    EXPECT_EQ(ExtractFileExt(S("dir.v2\\name")), S(""));
    EXPECT_EQ(ExtractFileExt(S("a/b.tar.GZ")), S(".GZ"));
    EXPECT_EQ(ChangeFileExt(S("dir.v2/page"), S(".qbt")), S("dir.v2/page.qbt"));
    EXPECT_EQ(ChangeFileExt(S("a\\b.htm"), S(".mht")), S("a\\b.mht"));
    EXPECT_EQ(ChangeFileExt(S("a.htm"), S("")), S("a"));
    EXPECT_EQ(IncludeTrailingPathDelimiter(S("/tmp")), S("/tmp/"));
    EXPECT_EQ(IncludeTrailingPathDelimiter(S("a\\")), S("a\\"));
    EXPECT_EQ(ExcludeTrailingPathDelimiter(S("/tmp/")), S("/tmp"));
    EXPECT_EQ(ExcludeTrailingPathDelimiter(S("/")), S("/"));
    EXPECT_EQ(ExpandFileName(S("/a/b/../c/./d")), S("/a/c/d"));
    EXPECT_EQ(ExtractRelativePath(S("/a/b/page.htm"), S("/a/c/pic.jpg")), S("../c/pic.jpg"));
    EXPECT_EQ(ExtractRelativePath(S("/a/b/"), S("/a/b/x/pic.jpg")), S("x/pic.jpg"));
}

TEST(Paths, StoredPathsAndDrives)
{
    EXPECT_TRUE(IsDrivePath(S("C:\\Program Files\\x.jpg")));
    EXPECT_TRUE(IsDrivePath(S("d:/pics/x.jpg")));
    EXPECT_FALSE(IsDrivePath(S("C:")));
    EXPECT_FALSE(IsDrivePath(S("images\\x.jpg")));
    EXPECT_FALSE(IsDrivePath(S("中:\\x")));
    EXPECT_TRUE(IsAbsoluteStoredPath(S("/srv/x")));
    EXPECT_TRUE(IsAbsoluteStoredPath(S("\\\\server\\share")));
    EXPECT_TRUE(IsAbsoluteStoredPath(S("E:\\x")));
    EXPECT_FALSE(IsAbsoluteStoredPath(S("images\\x.jpg")));
    EXPECT_FALSE(IsAbsoluteStoredPath(S("")));
    EXPECT_EQ(NativePath(S("images\\产品\\1.jpg")), S("images/产品/1.jpg"));
    EXPECT_EQ(ResolveStoredPath(S("/opt/qb"), S("images\\1.jpg")), S("/opt/qb/images/1.jpg"));
    EXPECT_EQ(ResolveStoredPath(S("/opt/qb/"), S("/srv/1.jpg")), S("/srv/1.jpg"));
    EXPECT_EQ(ResolveStoredPath(S("/opt/qb/"), S("C:\\pics\\1.jpg")), S("C:\\pics\\1.jpg"));

    // A drive path never exists and never lies inside a folder.
    EXPECT_FALSE(FileExists(S("C:\\pics\\1.jpg")));
    EXPECT_FALSE(DirectoryExists(S("C:\\")));
    EXPECT_EQ(FileSizeOf(S("C:\\pics\\1.jpg")), -1);
    EXPECT_FALSE(IsPathInside(S("C:\\pics\\1.jpg"), S("/opt")));

    EXPECT_TRUE(IsPathInside(S("/opt/qb/images/1.jpg"), S("/opt/qb")));
    EXPECT_TRUE(IsPathInside(S("/opt/qb/"), S("/opt/qb")));
    EXPECT_TRUE(IsPathInside(S("/opt/qb/a/../b"), S("/opt/qb/")));
    EXPECT_FALSE(IsPathInside(S("/opt/qb/../qbx/evil"), S("/opt/qb")));
    EXPECT_FALSE(IsPathInside(S("/opt/qbx"), S("/opt/qb")));
    EXPECT_FALSE(IsPathInside(ResolveStoredPath(S("/opt/qb"), S("..\\..\\etc\\passwd")), S("/opt/qb")));

    // A path as a terminal gives it names the file the system opens: ".." after
    // a link steps up from where the link leads.
    TempDir Dir;
    QDir().mkpath(Dir.File(S("real/sub")));
    ASSERT_TRUE(QFile::link(Dir.File(S("real/sub")), Dir.File(S("link"))));
    const QString Real = QFileInfo(Dir.Path()).canonicalFilePath();
    const QString Before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Dir.Path()));
    EXPECT_EQ(AbsolutePath(S("./docs//b.qbs")), Real + S("/docs/b.qbs"));
    EXPECT_EQ(AbsolutePath(S("link/a.qbt")), Real + S("/link/a.qbt"));
    EXPECT_EQ(AbsolutePath(S("link/../a.qbt")), Real + S("/real/a.qbt"));
    EXPECT_EQ(AbsolutePath(S("/srv/x/../y")), S("/srv/y"));
    EXPECT_EQ(AbsolutePath(S("C:\\x.qbt")), S("C:\\x.qbt"));
    QDir::setCurrent(Before);
}

TEST(Files, CopyRenameAndAtomicWrites)
{
    TempDir Dir;
    const QString A = Dir.File(S("图片.jpg"));
    WriteAll(A, "picture");
    EXPECT_TRUE(FileExists(A));
    EXPECT_FALSE(FileExists(Dir.Path()));
    EXPECT_TRUE(DirectoryExists(Dir.Path()));
    EXPECT_EQ(FileSizeOf(A), 7);

    EXPECT_TRUE(ForceDirectories(Dir.File(S("x/y/z"))));
    EXPECT_TRUE(DirectoryExists(Dir.File(S("x/y/z"))));
    EXPECT_TRUE(ForceDirectories(Dir.File(S("x\\y"))));
    EXPECT_FALSE(ForceDirectories(S("C:\\x")));

    // The same content is not copied twice; other content gets a new name.
    const QString Dest = Dir.File(S("x"));
    EXPECT_EQ(CopyFileRenaming(A, Dest), Dest + S("/图片.jpg"));
    EXPECT_EQ(CopyFileRenaming(A, Dest), Dest + S("/图片.jpg"));
    WriteAll(Dest + S("/图片.jpg"), "other");
    EXPECT_EQ(CopyFileRenaming(A, Dest), Dest + S("/图片(2).jpg"));
    WriteAll(A, "third");
    EXPECT_EQ(CopyFileRenaming(A, Dest), Dest + S("/图片(3).jpg"));
    EXPECT_EQ(ReadAll(Dest + S("/图片(3).jpg")), QByteArray("third"));
    EXPECT_EQ(CopyFileRenaming(Dir.File(S("absent")), Dest), S(""));
    // A name holding "%" and a digit keeps it: the number goes after it.
    const QString Percent = Dir.File(S("x/y/50%2折.txt"));
    WriteAll(Percent, "mine");
    WriteAll(Dest + S("/50%2折.txt"), "another");
    EXPECT_EQ(CopyFileRenaming(Percent, Dest), Dest + S("/50%2折(2).txt"));
    EXPECT_EQ(ReadAll(Dest + S("/50%2折(2).txt")), QByteArray("mine"));

    EXPECT_TRUE(CopyFile(A, Dir.File(S("copy")), true));
    EXPECT_FALSE(CopyFile(A, Dir.File(S("copy")), true));
    WriteAll(A, "fourth");
    EXPECT_TRUE(CopyFile(A, Dir.File(S("copy")), false));
    EXPECT_EQ(ReadAll(Dir.File(S("copy"))), QByteArray("fourth"));
    EXPECT_FALSE(CopyFile(Dir.File(S("absent")), Dir.File(S("copy")), false));
    EXPECT_EQ(ReadAll(Dir.File(S("copy"))), QByteArray("fourth"));

    EXPECT_FALSE(RenameFile(A, Dir.File(S("copy"))));  // the target exists
    EXPECT_TRUE(RenameFile(A, Dir.File(S("moved"))));
    EXPECT_FALSE(FileExists(A));

    EXPECT_TRUE(WriteFileAtomic(Dir.File(S("w.txt")), "one"));
    EXPECT_TRUE(WriteFileAtomic(Dir.File(S("w.txt")), "two"));
    EXPECT_EQ(ReadAll(Dir.File(S("w.txt"))), QByteArray("two"));
    EXPECT_FALSE(WriteFileAtomic(Dir.File(S("x")), "folder"));
    EXPECT_FALSE(WriteFileAtomic(Dir.File(S("none/w.txt")), "x"));
    bool Ok = true;
    EXPECT_EQ(ReadFileBytes(Dir.File(S("none/w.txt")), &Ok), QByteArray());
    EXPECT_FALSE(Ok);
    EXPECT_EQ(ReadFileBytes(Dir.File(S("w.txt")), &Ok), QByteArray("two"));
    EXPECT_TRUE(Ok);
    // Nothing temporary is left beside the files.
    EXPECT_EQ(QDir(Dir.Path()).entryList(QDir::Files | QDir::Hidden).size(), 3);

    const TDateTime When = EncodeDate(2007, 4, 15) + EncodeTime(18, 30, 10, 0);
    EXPECT_TRUE(FileSetDate(Dir.File(S("w.txt")), When));
    EXPECT_NEAR(FileAgeDateTime(Dir.File(S("w.txt"))), When, 1e-8);
    // The same time as a DOS stamp, and set from one (a folder may end in "/").
    const quint32 Dos = DateTimeToFileDate(When);
    EXPECT_EQ(FileAge(Dir.File(S("w.txt"))), qint64(Dos));
    EXPECT_EQ(FileAge(Dir.File(S("none.txt"))), -1);
    EXPECT_TRUE(FileSetDosDate(Dir.File(S("x")), Dos));
    EXPECT_EQ(FileAge(Dir.File(S("x/"))), qint64(Dos));
    EXPECT_FALSE(FileSetDosDate(Dir.File(S("none.txt")), Dos));
    EXPECT_FALSE(FileSetDosDate(S("C:\\w.txt"), Dos));
    EXPECT_GT(DiskFree(Dir.Path()), 0);
    EXPECT_TRUE(DeleteFile(Dir.File(S("w.txt"))));
    EXPECT_FALSE(DeleteFile(Dir.File(S("w.txt"))));
    EXPECT_FALSE(DeleteFile(Dir.File(S("x"))));
}

TEST(Files, FindFirstIsSortedByNameAndFiltered)
{
    TempDir Dir;
    for (const char *Name : {"b.txt", "A.TXT", "c.jpg", ".hidden", "README", "10.txt", "2.txt"})
        WriteAll(Dir.File(S(Name)), "12345");
    QDir(Dir.Path()).mkdir(S("sub.d"));

    auto List = [&](const QString &Mask, int Attr) {
        QStringList Names;
        TSearchRec F;
        if (FindFirst(Dir.File(Mask), Attr, F) == 0) {
            EXPECT_EQ(F.FindPath, Dir.Path() + S("/"));
            do
                Names << F.Name;
            while (FindNext(F) == 0);
        }
        FindClose(F);
        return Names.join(QLatin1Char(' '));
    };
    EXPECT_EQ(List(S("*.txt"), faAnyFile), S("10.txt 2.txt A.TXT b.txt"));
    EXPECT_EQ(List(S("*.*"), 0), S("10.txt 2.txt A.TXT b.txt c.jpg README"));
    EXPECT_EQ(List(S("*"), faAnyFile), S(". .. .hidden 10.txt 2.txt A.TXT b.txt c.jpg README sub.d"));
    EXPECT_EQ(List(S("?.txt"), faAnyFile), S("2.txt A.TXT b.txt"));
    EXPECT_EQ(List(S("*.gif"), faAnyFile), S(""));

    TSearchRec F;
    ASSERT_EQ(FindFirst(Dir.File(S("sub.d")), faDirectory, F), 0);
    EXPECT_EQ(F.Name, S("sub.d"));
    EXPECT_TRUE(F.Attr & faDirectory);
    ASSERT_EQ(FindFirst(Dir.Path() + S("\\c.jpg"), 0, F), 0);
    EXPECT_EQ(F.Size, 5);
    EXPECT_FALSE(F.Attr & faDirectory);
    EXPECT_NE(FindNext(F), 0);
    EXPECT_NE(FindFirst(Dir.File(S("none/*.*")), faAnyFile, F), 0);
    EXPECT_NE(FindFirst(S("C:\\*.*"), faAnyFile, F), 0);

    EXPECT_TRUE(MatchesMask(S("Photo.JPG"), S("*.jpg")));
    EXPECT_TRUE(MatchesMask(S("产品1.htm"), S("产品?.htm")));
    EXPECT_FALSE(MatchesMask(S("产品12.htm"), S("产品?.htm")));
    EXPECT_TRUE(MatchesMask(S("name"), S("name.*")));
}

class FolderSafety : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOldHome = qgetenv("HOME");
        FOldProgram = ProgramFolder();
    }
    void TearDown() override
    {
        qputenv("HOME", FOldHome);
        SetProgramFolder(FOldProgram);
    }
    QByteArray FOldHome;
    QString FOldProgram;
};

TEST_F(FolderSafety, EmptyFolderNeverFollowsLinks)
{
    TempDir Dir;
    const QString Outside = Dir.File(S("outside"));
    const QString Victim = Dir.File(S("victim"));
    QDir().mkpath(Outside + S("/keep"));
    WriteAll(Outside + S("/keep/file"), "precious");
    WriteAll(Outside + S("/file"), "precious");
    QDir().mkpath(Victim + S("/deep/er"));
    WriteAll(Victim + S("/deep/er/f"), "x");
    WriteAll(Victim + S("/top"), "x");
    ASSERT_EQ(::symlink(Outside.toUtf8().constData(), (Victim + S("/deep/linkdir")).toUtf8().constData()), 0);
    ASSERT_EQ(::symlink((Outside + S("/file")).toUtf8().constData(), (Victim + S("/linkfile")).toUtf8().constData()), 0);
    ASSERT_EQ(::symlink(Victim.toUtf8().constData(), Dir.File(S("alias")).toUtf8().constData()), 0);

    EXPECT_FALSE(EmptyFolder(Dir.File(S("alias"))));   // a link to a folder is not followed
    EXPECT_TRUE(FileExists(Victim + S("/top")));

    EXPECT_TRUE(EmptyFolder(Victim + S("/")));
    EXPECT_TRUE(DirectoryExists(Victim));
    EXPECT_TRUE(QDir(Victim).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).isEmpty());
    EXPECT_EQ(ReadAll(Outside + S("/keep/file")), QByteArray("precious"));
    EXPECT_EQ(ReadAll(Outside + S("/file")), QByteArray("precious"));

    EXPECT_TRUE(DeleteFolderTree(Victim));
    EXPECT_FALSE(DirectoryExists(Victim));
    EXPECT_FALSE(EmptyFolder(Dir.File(S("missing"))));
    EXPECT_FALSE(EmptyFolder(S("C:\\temp")));
}

TEST_F(FolderSafety, EmptyFolderRefusesHomeAndProgramFolders)
{
    TempDir Dir;
    const QString Home = Dir.File(S("home/user"));
    const QString Program = Dir.File(S("apps/quillbook"));
    QDir().mkpath(Home);
    QDir().mkpath(Program + S("/tmp/run"));
    WriteAll(Home + S("/f"), "x");
    WriteAll(Program + S("/tmp/run/f"), "x");
    qputenv("HOME", Home.toUtf8());
    SetProgramFolder(Program);

    EXPECT_FALSE(EmptyFolder(Home));
    EXPECT_FALSE(EmptyFolder(Dir.File(S("home"))));
    EXPECT_FALSE(EmptyFolder(Program));
    EXPECT_FALSE(EmptyFolder(Program + S("/tmp/..")));
    EXPECT_FALSE(EmptyFolder(Dir.File(S("apps"))));
    EXPECT_FALSE(EmptyFolder(Dir.Path()));
    EXPECT_TRUE(FileExists(Home + S("/f")));
    EXPECT_TRUE(FileExists(Program + S("/tmp/run/f")));
    EXPECT_TRUE(EmptyFolder(Program + S("/tmp")));
    EXPECT_FALSE(FileExists(Program + S("/tmp/run/f")));
}

TEST_F(FolderSafety, EmptyFolderRefusesTheRoot)
{
    // Asked for "/" inside a throw-away root, so a fault could only hurt the copy.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to change the root folder";
    TempDir Dir;
    WriteAll(Dir.File(S("canary")), "x");
    const QByteArray Root = Dir.Path().toUtf8();
    const pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        if (::chroot(Root.constData()) != 0 || ::chdir("/") != 0)
            ::_exit(3);
        SetProgramFolder(QStringLiteral("/nonexistent/"));
        ::_exit(EmptyFolder(QStringLiteral("/")) || EmptyFolder(QStringLiteral("/./")) ? 1 : 0);
    }
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status));
    if (WEXITSTATUS(Status) == 3)
        GTEST_SKIP() << "cannot change the root folder here";
    EXPECT_EQ(WEXITSTATUS(Status), 0);
    EXPECT_TRUE(FileExists(Dir.File(S("canary"))));
}

TEST_F(FolderSafety, ProgramAndScratchFolders)
{
    TempDir Dir;
    SetProgramFolder(QString());
    qputenv("QUILLBOOK_HOME", Dir.Path().toUtf8());
    EXPECT_EQ(ProgramFolder(), Dir.Path() + S("/"));
    qunsetenv("QUILLBOOK_HOME");

    // What a killed program of this machine left (its folder and the lock
    // file beside it) goes when the next one makes its own folder; a running
    // program's folder, a recent one of another machine, a link and folders
    // of other names (an earlier version's, whose name tells no machine) stay.
    const pid_t Gone = ::fork();
    ASSERT_GE(Gone, 0);
    if (Gone == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(Gone, nullptr, 0), Gone);
    const QString Tmp = Dir.Path() + S("/tmp/");
    const QString Here = HostIdentity();
    const QString Dead = Tmp + S("run-%1-%2-k3x/").arg(Here).arg(Gone);
    const QString Running = Tmp + S("run-%1-%2-a1/").arg(Here).arg(::getppid());
    const QString There = Tmp + S("run-there-%1-b2/").arg(Gone);
    const QStringList Users{Tmp + S("run-notes/"), Tmp + S("run-%1-k3x/").arg(Gone), Tmp + S("run-%1-%2/").arg(Here).arg(Gone)};
    ASSERT_TRUE(ForceDirectories(Dead + S("sub")) && ForceDirectories(Running) && ForceDirectories(There));
    for (const QString &F : Users)
        ASSERT_TRUE(ForceDirectories(F));
    WriteAll(Dead + S("sub/page.htm"), "x");
    WriteAll(ExcludeTrailingPathDelimiter(Dead) + S(".lock"), "");
    TempDir Elsewhere;
    WriteAll(Elsewhere.File(S("canary")), "x");
    const QString Link = Tmp + S("run-%1-%2-lnk").arg(Here).arg(Gone);
    ASSERT_EQ(::symlink(Elsewhere.Path().toUtf8().constData(), Link.toUtf8().constData()), 0);

    const QString Scratch = ScratchFolder();
    EXPECT_FALSE(DirectoryExists(Dead));
    EXPECT_FALSE(FileExists(ExcludeTrailingPathDelimiter(Dead) + S(".lock")));
    EXPECT_TRUE(DirectoryExists(Running));
    EXPECT_TRUE(DirectoryExists(There));
    for (const QString &F : Users)
        EXPECT_TRUE(DirectoryExists(F)) << F.toStdString();
    EXPECT_TRUE(FileExists(Elsewhere.File(S("canary"))));
    EXPECT_TRUE(Scratch.startsWith(Dir.Path() + S("/tmp/")));
    // It is held as long as this program runs, by a lock beside it.
    EXPECT_TRUE(Scratch.contains(S("/run-%1-%2-").arg(Here).arg(::getpid()))) << Scratch.toStdString();
    EXPECT_TRUE(FileExists(ExcludeTrailingPathDelimiter(Scratch) + S(".lock")));
    EXPECT_TRUE(Scratch.endsWith(S("/")));
    EXPECT_TRUE(DirectoryExists(Scratch));
    EXPECT_EQ(ScratchFolder(), Scratch);
    WriteAll(Scratch + S("a.htm"), "x");
    RemoveScratchFolder();
    EXPECT_FALSE(DirectoryExists(Scratch));
    EXPECT_FALSE(FileExists(ExcludeTrailingPathDelimiter(Scratch) + S(".lock")));
    EXPECT_TRUE(DirectoryExists(Dir.File(S("tmp"))));
    const QString Next = ScratchFolder();
    EXPECT_NE(Next, Scratch);
    RemoveScratchFolder();
}

} // namespace
