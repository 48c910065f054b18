#include "platform/core/OutputFiles.h"

#include "platform/core/FileUtils.h"
#include "platform/core/Types.h"

#include "Printers.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using TestSupport::ReadAll;
using TestSupport::TempDir;
using TestSupport::WriteAll;

namespace {

QByteArray Bytes(int Size, int Seed)
{
    QByteArray B(Size, Qt::Uninitialized);
    for (int I = 0; I < Size; ++I)
        B[I] = char((I * 31 + Seed) & 0xFF);
    return B;
}

QStringList Entries(const QString &Folder)
{
    return QDir(Folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A process number that nothing on this machine has now.
pid_t FreePid()
{
    const pid_t Gone = ::fork();
    if (Gone == 0)
        ::_exit(0);
    ::waitpid(Gone, nullptr, 0);
    return Gone;
}

// The program of another machine at work on a shared disk, played by a child
// process: with the host identity "there" it makes its scratch folder in
// Program's tmp/ and a temporary file for Target, holds both as the program
// does, and waits to be killed. A pid of another machine means nothing here,
// so its names are given a pid that is free on this one. Returns the child
// and the names of its scratch folder and temporary file.
struct TOtherProgram {
    pid_t Pid = -1;
    QString Scratch, Temp;
};

TOtherProgram StartOtherProgram(const QString &Program, const QString &Target)
{
    const pid_t Free = FreePid();
    int Pipe[2];
    if (::pipe(Pipe) != 0)
        return {};
    const pid_t Child = ::fork();
    if (Child == 0) {
        // Gone with the test, whatever becomes of it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::close(Pipe[0]);
        ::setenv("QUILLBOOK_HOST_ID", "there", 1);
        SetProgramFolder(Program);
        const QString Scratch = ScratchFolder();
        QString Temp;
        if (CreateTempBeside(Target, Temp) < 0)
            ::_exit(1);
        const auto Elsewhere = [Free](QString Name) {
            return Name.replace(QStringLiteral("-%1-").arg(::getpid()), QStringLiteral("-%1-").arg(Free))
                .replace(QStringLiteral(".%1-").arg(::getpid()), QStringLiteral(".%1-").arg(Free));
        };
        const QString Folder = ExcludeTrailingPathDelimiter(Scratch);
        const QString Moved = Elsewhere(Temp), MovedFolder = Elsewhere(Folder);
        // The lock goes with the file it is held on.
        if (::rename(QFile::encodeName(Temp).constData(), QFile::encodeName(Moved).constData()) != 0
            || ::rename(QFile::encodeName(Folder).constData(), QFile::encodeName(MovedFolder).constData()) != 0)
            ::_exit(1);
        ::rename(QFile::encodeName(Folder + QStringLiteral(".lock")).constData(),
                 QFile::encodeName(MovedFolder + QStringLiteral(".lock")).constData());
        const QByteArray Names = QFile::encodeName(MovedFolder + QLatin1Char('\n') + Moved + QLatin1Char('\n'));
        if (::write(Pipe[1], Names.constData(), size_t(Names.size())) != Names.size())
            ::_exit(1);
        for (;;)
            ::pause();
    }
    ::close(Pipe[1]);
    QByteArray Names;
    char Buf[4096];
    for (ssize_t N; (N = ::read(Pipe[0], Buf, sizeof Buf)) != 0;) {
        if (N < 0 && errno == EINTR)
            continue;
        if (N < 0)
            break;
        Names.append(Buf, N);
        if (Names.count('\n') == 2)
            break;
    }
    ::close(Pipe[0]);
    const QStringList Parts = QFile::decodeName(Names).split(QLatin1Char('\n'));
    if (Parts.size() < 2)
        return {Child, QString(), QString()};
    return {Child, Parts.at(0), Parts.at(1)};
}

// Kills the child once (its number may be another process's after that).
void Stop(pid_t &Child)
{
    if (Child <= 0)
        return;
    ::kill(Child, SIGKILL);
    ::waitpid(Child, nullptr, 0);
    Child = -1;
}

QString Message(const std::function<void()> &Work)
{
    try {
        Work();
    } catch (const Exception &E) {
        return E.Message();
    }
    return QString();
}

TEST(OutputFiles, NothingStandsUnderAFinalNameBeforeCommit)
{
    TempDir T;
    const QByteArray Big = Bytes(3 * 1024 * 1024 + 7, 1);
    WriteAll(T.File(QStringLiteral("src/big.jpg")), Big);
    WriteAll(T.File(QStringLiteral("src/small.gif")), "GIF89a");
    WriteAll(T.File(QStringLiteral("out/small.gif")), "old");
    const QString Out = T.File(QStringLiteral("out/"));
    {
        TOutputFiles Files;
        Files.Copy(T.File(QStringLiteral("src/big.jpg")), Out + QStringLiteral("big.jpg"));
        Files.Copy(T.File(QStringLiteral("src/small.gif")), Out + QStringLiteral("small.gif"));
        EXPECT_TRUE(Files.Has(Out + QStringLiteral("big.jpg")));
        EXPECT_FALSE(QFileInfo::exists(Out + QStringLiteral("big.jpg")));
        EXPECT_EQ(ReadAll(Out + QStringLiteral("small.gif")), QByteArray("old"));
        EXPECT_EQ(Entries(Out).size(), 3) << "two temporary files beside the old one";
        // Cancelled: destroyed without Commit.
    }
    EXPECT_EQ(Entries(Out), QStringList{QStringLiteral("small.gif")});
    EXPECT_EQ(ReadAll(Out + QStringLiteral("small.gif")), QByteArray("old"));

    TOutputFiles Files;
    Files.Copy(T.File(QStringLiteral("src/big.jpg")), Out + QStringLiteral("big.jpg"));
    Files.Copy(T.File(QStringLiteral("src/small.gif")), Out + QStringLiteral("small.gif"));
    const QString Written = Files.Create(Out + QStringLiteral("page.htm"));
    WriteAll(Written, "<html>");
    EXPECT_EQ(Files.Targets(), (QStringList{Out + QStringLiteral("big.jpg"), Out + QStringLiteral("small.gif"),
                                            Out + QStringLiteral("page.htm")}));
    Files.Commit();
    EXPECT_EQ(Entries(Out), (QStringList{QStringLiteral("big.jpg"), QStringLiteral("page.htm"), QStringLiteral("small.gif")}));
    EXPECT_EQ(ReadAll(Out + QStringLiteral("big.jpg")), Big);
    EXPECT_EQ(ReadAll(Out + QStringLiteral("small.gif")), QByteArray("GIF89a"));
    EXPECT_TRUE(Files.Targets().isEmpty());
}

TEST(OutputFiles, CopiesAndReservedNamesStayLockedUntilInPlace)
{
    // The output folder is shared with another machine whose clock runs a
    // day ahead: its sweep finds this machine's temporary files old at once
    // and only their locks keep them.
    TempDir T;
    WriteAll(T.File(QStringLiteral("src/a.jpg")), "picture");
    const QString Out = T.File(QStringLiteral("out/"));
    ASSERT_TRUE(ForceDirectories(Out));
    TOutputFiles Files;
    Files.Copy(T.File(QStringLiteral("src/a.jpg")), Out + QStringLiteral("a.jpg"));
    // A name reserved for a writer that makes the file itself and hands its
    // lock over.
    const QString Reserved = Files.Reserve(Out + QStringLiteral("a.zip"));
    const int Made = ::open(QFile::encodeName(Reserved).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    ASSERT_GE(Made, 0);
    ASSERT_EQ(::flock(Made, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::write(Made, "zip", 3), 3);
    Files.Hold(Reserved, Made);
    {
        const QByteArray Own = qgetenv("QUILLBOOK_HOST_ID");
        ::setenv("QUILLBOOK_HOST_ID", "elsewhere", 1);
        SetOtherHostGrace(0);
        const int Removed = RemoveLeftoverTemps(Out);
        SetOtherHostGrace(-1);
        if (Own.isEmpty())
            ::unsetenv("QUILLBOOK_HOST_ID");
        else
            ::setenv("QUILLBOOK_HOST_ID", Own.constData(), 1);
        EXPECT_EQ(Removed, 0);
    }
    EXPECT_EQ(Entries(Out).size(), 2);
    ASSERT_NO_THROW(Files.Commit());
    EXPECT_EQ(ReadAll(Out + QStringLiteral("a.jpg")), QByteArray("picture"));
    EXPECT_EQ(ReadAll(Out + QStringLiteral("a.zip")), QByteArray("zip"));
}

TEST(OutputFiles, ASavedFileOrCopyIsInPlaceBeforeItsTemporaryFileIsLetGo)
{
    // The lock of a temporary file lasts as long as its descriptor: the file
    // is renamed into place while that is still open, so no sweep (of another
    // machine whose clock runs ahead) finds the temporary name unlocked. The
    // folder's own events tell the order: the rename, then the close.
    TempDir T;
    WriteAll(T.File(QStringLiteral("src/a.jpg")), "picture");
    const QString Out = T.File(QStringLiteral("out/"));
    ASSERT_TRUE(ForceDirectories(Out));
    const int Watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(Watch, 0);
    ASSERT_GE(::inotify_add_watch(Watch, QFile::encodeName(Out).constData(), IN_CLOSE_WRITE | IN_MOVED_FROM), 0);
    const auto Events = [Watch] {
        QStringList Seen;
        alignas(struct inotify_event) char Buf[4096];
        for (ssize_t N; (N = ::read(Watch, Buf, sizeof Buf)) > 0;)
            for (char *P = Buf; P < Buf + N; P += sizeof(struct inotify_event) + reinterpret_cast<inotify_event *>(P)->len)
                Seen << ((reinterpret_cast<inotify_event *>(P)->mask & IN_MOVED_FROM) ? QStringLiteral("renamed")
                                                                                         : QStringLiteral("closed"));
        return Seen;
    };
    const QStringList InPlaceFirst{QStringLiteral("renamed"), QStringLiteral("closed")};
    EXPECT_TRUE(WriteFileAtomic(Out + QStringLiteral("catalog.qbt"), "page"));
    EXPECT_EQ(Events(), InPlaceFirst) << "a new file";
    EXPECT_TRUE(WriteFileAtomic(Out + QStringLiteral("catalog.qbt"), "page 2"));
    EXPECT_EQ(Events(), InPlaceFirst) << "a file replaced";
    EXPECT_TRUE(CopyFile(T.File(QStringLiteral("src/a.jpg")), Out + QStringLiteral("a.jpg"), false));
    EXPECT_EQ(Events(), InPlaceFirst) << "a copy";
    ::close(Watch);
    EXPECT_EQ(ReadAll(Out + QStringLiteral("catalog.qbt")), QByteArray("page 2"));
    EXPECT_EQ(Entries(Out), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("catalog.qbt")}));
}

TEST(OutputFiles, AFailedCopySaysWhichFileAndWhy)
{
    TempDir T;
    WriteAll(T.File(QStringLiteral("src/a.jpg")), "jpeg");
    QDir().mkpath(T.File(QStringLiteral("out")));
    TOutputFiles Files;
    const QString Missing = T.File(QStringLiteral("src/没有.jpg"));
    EXPECT_EQ(Message([&] { Files.Copy(Missing, T.File(QStringLiteral("out/没有.jpg"))); }),
              QStringLiteral("不能复制文件“%1”到“%2”。系统找不到指定的文件或文件夹。")
                  .arg(Missing, T.File(QStringLiteral("out/没有.jpg"))));
    EXPECT_EQ(Message([&] { Files.Copy(T.File(QStringLiteral("src")), T.File(QStringLiteral("out/src"))); }),
              QStringLiteral("不能复制文件“%1”到“%2”。这是一个文件夹，不是文件。")
                  .arg(T.File(QStringLiteral("src")), T.File(QStringLiteral("out/src"))));
    const QString NoFolder = T.File(QStringLiteral("gone/a.jpg"));
    EXPECT_TRUE(Message([&] { Files.Copy(T.File(QStringLiteral("src/a.jpg")), NoFolder); }).endsWith(QStringLiteral("系统找不到指定的文件或文件夹。")));
    EXPECT_TRUE(Files.Targets().isEmpty());
    EXPECT_TRUE(Entries(T.File(QStringLiteral("out"))).isEmpty()) << "a failed copy leaves nothing";

    // A place that cannot take the file (a folder stands there): the commit
    // names it; the files not in place by then are removed.
    QDir().mkpath(T.File(QStringLiteral("out/b.jpg/inside")));
    Files.Copy(T.File(QStringLiteral("src/a.jpg")), T.File(QStringLiteral("out/a.jpg")));
    Files.Copy(T.File(QStringLiteral("src/a.jpg")), T.File(QStringLiteral("out/b.jpg")));
    const QString Failed = Message([&] { Files.Commit(); });
    EXPECT_TRUE(Failed.contains(T.File(QStringLiteral("out/b.jpg")))) << Failed.toStdString();
    EXPECT_EQ(Entries(T.File(QStringLiteral("out"))), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    EXPECT_TRUE(QFileInfo(T.File(QStringLiteral("out/b.jpg"))).isDir());
}

TEST(OutputFiles, KernelCopyAppendsAndContentComparesPieceByPiece)
{
    TempDir T;
    const QByteArray Head = Bytes(5000, 2), Tail = Bytes(200000, 3);
    WriteAll(T.File(QStringLiteral("head")), Head);
    WriteAll(T.File(QStringLiteral("tail")), Tail);
    const int Out = ::open(QFile::encodeName(T.File(QStringLiteral("joined"))).constData(), O_WRONLY | O_CREAT, 0644);
    for (const char *Name : {"head", "tail"}) {
        const int In = ::open(QFile::encodeName(T.File(QString::fromLatin1(Name))).constData(), O_RDONLY);
        EXPECT_EQ(CopyFileData(In, Out), 0);
        ::close(In);
    }
    ::close(Out);
    EXPECT_EQ(ReadAll(T.File(QStringLiteral("joined"))), Head + Tail);

    QByteArray Other = Tail;
    Other[Other.size() - 1] = char(Other.at(Other.size() - 1) ^ 1);   // past the first piece
    WriteAll(T.File(QStringLiteral("other")), Other);
    WriteAll(T.File(QStringLiteral("same")), Tail);
    EXPECT_TRUE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("same"))));
    EXPECT_FALSE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("other"))));
    EXPECT_FALSE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("head"))));
    EXPECT_FALSE(SameFileContent(T.File(QStringLiteral("tail")), T.File(QStringLiteral("missing"))));
}

TEST(OutputFiles, FilesOfTheUsersWithLookAlikeNamesStay)
{
    // Hidden files of the user's whose names merely look like temporary ones
    // (a number, a dash, letters, ".tmp"), also with the number of a process
    // that runs nowhere, in an output folder and its pictures folder.
    TempDir T;
    WriteAll(T.File(QStringLiteral("src/a.jpg")), "jpeg");
    const QString Out = T.File(QStringLiteral("out/"));
    const QString Dead = QString::number(FreePid());
    const QStringList Users{QStringLiteral(".notes.2024-draft.tmp"), QStringLiteral(".price.list.1998-old.tmp"),
                            QStringLiteral(".backup.20240101-x.tmp"), QStringLiteral(".notes.%1-draft.tmp").arg(Dead),
                            QStringLiteral(".a.jpg.%1-k3x.tmp").arg(Dead), QStringLiteral(".plan.qbtmp.%1-1.tmp").arg(Dead)};
    for (const QString &Folder : {Out, Out + QStringLiteral("images/")})
        for (const QString &Name : Users)
            WriteAll(Folder + Name, "the user's");
    EXPECT_EQ(RemoveLeftoverTemps(Out), 0);
    {
        TOutputFiles Files;
        Files.Copy(T.File(QStringLiteral("src/a.jpg")), Out + QStringLiteral("a.jpg"));
        Files.Copy(T.File(QStringLiteral("src/a.jpg")), Out + QStringLiteral("images/a.jpg"));
        WriteAll(Files.Create(Out + QStringLiteral("M1.htm")), "<html>");
        Files.Commit();
    }
    EXPECT_TRUE(WriteFileAtomic(Out + QStringLiteral("catalog.qbt"), "page"));
    for (const QString &Folder : {Out, Out + QStringLiteral("images/")})
        for (const QString &Name : Users)
            EXPECT_EQ(ReadAll(Folder + Name), QByteArray("the user's")) << (Folder + Name).toStdString();

    // What this program names so is known as its own: a killed one's goes.
    const QString Left = TempNameBeside(Out + QStringLiteral("M1.zip")).replace(
        QStringLiteral("-%1-").arg(::getpid()), QStringLiteral("-%1-").arg(Dead));
    WriteAll(Left, "half an archive");
    EXPECT_EQ(RemoveLeftoverTemps(Out), 1);
    EXPECT_FALSE(QFileInfo::exists(Left));
    EXPECT_EQ(Entries(Out).size(), Users.size() + 4) << Entries(Out).join(QLatin1Char(' ')).toStdString();
}

TEST(OutputFiles, AScopeOfOneOutputReadsEachFolderOnce)
{
    // The pages of a book output share one pictures folder: it is read for
    // leftovers once, not once a page.
    TempDir T;
    const QString Out = T.File(QStringLiteral("site/images/"));
    ForceDirectories(Out);
    const QString Dead = QString::number(FreePid());
    const auto LeaveOne = [&](const QString &Name) {
        const QString Left = TempNameBeside(Out + Name).replace(QStringLiteral("-%1-").arg(::getpid()),
                                                                QStringLiteral("-%1-").arg(Dead));
        WriteAll(Left, "left by a killed output");
        return Left;
    };
    const QString First = LeaveOne(QStringLiteral("a.jpg"));
    QString Second;
    {
        TSweepOnce Book;
        EXPECT_EQ(RemoveLeftoverTemps(Out), 1);
        EXPECT_FALSE(QFileInfo::exists(First));
        Second = LeaveOne(QStringLiteral("b.jpg"));
        {
            TSweepOnce Page;
            EXPECT_EQ(RemoveLeftoverTemps(Out), 0);
        }
        EXPECT_EQ(RemoveLeftoverTemps(Out.chopped(1)), 0);
        EXPECT_TRUE(QFileInfo::exists(Second));
        // Another folder is read all the same.
        const QString Elsewhere = T.File(QStringLiteral("other/"));
        ForceDirectories(Elsewhere);
        EXPECT_EQ(RemoveLeftoverTemps(Elsewhere), 0);
    }
    EXPECT_EQ(RemoveLeftoverTemps(Out), 1);
    EXPECT_FALSE(QFileInfo::exists(Second));
}

TEST(OutputFiles, WhatALiveProgramHoldsStaysOnThisMachineOrAnother)
{
    // A program folder and an output folder on a disk that a program of
    // another machine uses too, at the same time.
    TempDir T;
    const QString Program = T.File(QStringLiteral("program/"));
    const QString Out = T.File(QStringLiteral("out/"));
    ASSERT_TRUE(ForceDirectories(Program + QStringLiteral("tmp")) && ForceDirectories(Out));
    const QString OldProgram = ProgramFolder();
    RemoveScratchFolder();
    TOtherProgram Other = StartOtherProgram(Program, Out + QStringLiteral("M1.zip"));
    struct TEnd {
        pid_t &Pid;
        QString Old;
        ~TEnd()
        {
            Stop(Pid);
            SetOtherHostGrace(-1);
            RemoveScratchFolder();
            SetProgramFolder(Old);
        }
    } End{Other.Pid, OldProgram};
    ASSERT_GT(Other.Pid, 0);
    ASSERT_FALSE(Other.Temp.isEmpty()) << "the other program did not start";
    WriteAll(Other.Temp, "half an archive");
    WriteAll(Other.Scratch + QStringLiteral("/page.qbt"), "an unpacked page");

    // Its files stay, as they are, through every sweep of this machine's
    // program: a new scratch folder, an output, a save into the folder.
    SetProgramFolder(Program);
    const auto Sweeps = [&](int Removed) {
        RemoveScratchFolder();
        ScratchFolder();
        EXPECT_EQ(RemoveLeftoverTemps(Out), Removed);
        TOutputFiles Files;
        WriteAll(Files.Create(Out + QStringLiteral("M1.htm")), "<html>");
        Files.Commit();
        EXPECT_TRUE(WriteFileAtomic(Out + QStringLiteral("catalog.qbt"), "page"));
    };
    Sweeps(0);
    // Even when their age alone would let them go: the lock holds them.
    SetOtherHostGrace(0);
    Sweeps(0);
    EXPECT_EQ(ReadAll(Other.Temp), QByteArray("half an archive"));
    EXPECT_EQ(ReadAll(Other.Scratch + QStringLiteral("/page.qbt")), QByteArray("an unpacked page"));

    // Killed: its lock is gone. Another machine's recent files still stay (no
    // process of there can be seen from here); once old they go.
    Stop(Other.Pid);
    SetOtherHostGrace(-1);
    Sweeps(0);
    EXPECT_TRUE(QFileInfo::exists(Other.Temp));
    EXPECT_TRUE(QFileInfo::exists(Other.Scratch + QStringLiteral("/page.qbt")));
    SetOtherHostGrace(0);
    Sweeps(1);
    EXPECT_FALSE(QFileInfo::exists(Other.Temp));
    EXPECT_FALSE(QFileInfo::exists(Other.Scratch));
    EXPECT_FALSE(QFileInfo::exists(Other.Scratch + QStringLiteral(".lock")));
}

} // namespace
