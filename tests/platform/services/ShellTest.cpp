// The shell: running a program and waiting for it, and the recording double.

#include "platform/services/QtShell.h"
#include "platform/services/Shell.h"
#include "TestSupport.h"

#include <QFile>
#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <utility>
#include <vector>
#include <gtest/gtest.h>

TEST(RunAndWait, ReportsExitCodesAndAFailedStart)
{
    TQtShell Shell;
    const TRunResult Ok = Shell.RunAndWait(QStringLiteral("/bin/true"), {});
    EXPECT_TRUE(Ok.Started);
    EXPECT_EQ(Ok.ExitCode, 0);
    EXPECT_TRUE(Ok.Succeeded());

    const TRunResult Failed = Shell.RunAndWait(QStringLiteral("/bin/false"), {});
    EXPECT_TRUE(Failed.Started);
    EXPECT_EQ(Failed.ExitCode, 1);
    EXPECT_FALSE(Failed.Succeeded());

    const TRunResult Missing = Shell.RunAndWait(QStringLiteral("/nonexistent/rar.exe"), {QStringLiteral("a")});
    EXPECT_FALSE(Missing.Started);
    EXPECT_FALSE(Missing.Succeeded());

    const TRunResult Killed = Shell.RunAndWait(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("kill -9 $$")});
    EXPECT_TRUE(Killed.Started);
    EXPECT_TRUE(Killed.Crashed);
    EXPECT_FALSE(Killed.Succeeded());
}

TEST(RunAndWait, PassesArgumentsUnchangedAndRunsInTheGivenFolder)
{
    TestSupport::TempDir Dir;
    TQtShell Shell;
    // Blanks, quotes, a dollar sign, a semicolon and Chinese text arrive as they are: no shell reads them.
    const QStringList Args{QStringLiteral("a b"), QStringLiteral("\"quoted\""), QStringLiteral("$HOME;rm -rf x"),
                           QStringLiteral("目录 册.qbs"), QString()};
    QStringList Call{QStringLiteral("-c"), QStringLiteral("pwd > out.txt; for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> out.txt; done"),
                     QStringLiteral("sh")};
    Call << Args;
    const TRunResult R = Shell.RunAndWait(QStringLiteral("/bin/sh"), Call, Dir.Path());
    ASSERT_TRUE(R.Succeeded());
    const QString Out = QString::fromUtf8(TestSupport::ReadAll(Dir.File("out.txt")));
    EXPECT_EQ(Out, Dir.Path() + QStringLiteral("\n[a b]\n[\"quoted\"]\n[$HOME;rm -rf x]\n[目录 册.qbs]\n[]\n"));
}

TEST(RunAndWait, RunsInTheProgramsOwnFolderByDefault)
{
    TestSupport::TempDir Dir;
    TestSupport::WriteAll(Dir.File("tool.sh"), "#!/bin/sh\npwd > where.txt\n");
    QFile::setPermissions(Dir.File("tool.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TQtShell Shell;
    ASSERT_TRUE(Shell.RunAndWait(Dir.File("tool.sh"), {}).Succeeded());
    EXPECT_EQ(QString::fromUtf8(TestSupport::ReadAll(Dir.File("where.txt"))).trimmed(), Dir.Path());
}

TEST(ScriptedShell, RecordsEveryCallAndAnswersRunsFromTheQueue)
{
    TScriptedShell S;
    // Like the desktop's opener, it refuses a local file or folder that is not there.
    EXPECT_FALSE(S.Open(QStringLiteral("/opt/quillbook/html/")));
    EXPECT_TRUE(S.Open(QStringLiteral("http://www.quillbook.invalid/")));
    EXPECT_TRUE(S.Open(QDir::tempPath()));
    S.ClearCalls();
    S.Open(QStringLiteral("/opt/quillbook/html/"));
    EXPECT_TRUE(S.SendMail(QString(), QStringLiteral("目录"), QString(), {QStringLiteral("/tmp/a.zip")}));
    EXPECT_TRUE(S.RunAndWait(QStringLiteral("/x/rar"), {QStringLiteral("a"), QStringLiteral("-sfx")}, QString()).Succeeded());
    TRunResult Fail;
    Fail.Started = true;
    Fail.ExitCode = 3;
    S.QueueRunResult(Fail);
    EXPECT_EQ(S.RunAndWait(QStringLiteral("/x/rar"), {}, QString()).ExitCode, 3);
    EXPECT_TRUE(S.PlayMusic(QStringLiteral("a.mid")));
    EXPECT_TRUE(S.MusicPlaying());
    S.StopMusic();
    EXPECT_FALSE(S.MusicPlaying());

    ASSERT_EQ(S.Calls().size(), 6);
    EXPECT_EQ(S.Calls()[0].Describe(), QStringLiteral("Open /opt/quillbook/html/"));
    EXPECT_EQ(S.Calls()[1].Args, (QStringList{QString(), QStringLiteral("目录"), QString(), QStringLiteral("/tmp/a.zip")}));
    EXPECT_EQ(S.Calls()[2].Args[1], QStringLiteral("a -sfx"));

    S.RunReally = true;
    EXPECT_EQ(S.RunAndWait(QStringLiteral("/bin/false"), {}, QString()).ExitCode, 1);
}

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

TEST(RunAndWait, TheWaitBoxShowsAndCancellingEndsTheProgram)
{
    TestSupport::TempDir Dir;
    TQtShell Shell;
    int Ticks = 0;
    QString Label;
    QTimer Poll;
    QObject::connect(&Poll, &QTimer::timeout, [&] {
        ++Ticks;    // events are handled while the program runs
        if (auto *Box = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget())) {
            Label = Box->labelText();
            Poll.stop();
            if (auto *Button = Box->findChild<QPushButton *>())
                Button->click();
        }
    });
    Poll.start(20);
    // The program would write its mark after a long sleep; cancelling must end it first.
    const TRunResult R = Shell.RunAndWait(QStringLiteral("/bin/sh"),
                                          {QStringLiteral("-c"), QStringLiteral("sleep 60; touch done")}, Dir.Path());
    EXPECT_TRUE(R.Started);
    EXPECT_TRUE(R.Cancelled);
    EXPECT_FALSE(R.Succeeded());
    EXPECT_GT(Ticks, 0);
    EXPECT_EQ(Label, QStringLiteral("正在运行 sh，请稍候……"));
    EXPECT_FALSE(QFileInfo::exists(Dir.File("done")));
}

TEST(QtShell, RefusesWhatCannotBeOpenedOrPlayed)
{
    TQtShell Shell;
    EXPECT_FALSE(Shell.Open(QString()));
    EXPECT_FALSE(Shell.Open(QStringLiteral("/nonexistent/help.chm")));
    EXPECT_FALSE(Shell.Open(QStringLiteral("file:///nonexistent/help.chm")));
    EXPECT_FALSE(Shell.Open(QStringLiteral("C:\\帮助\\help.chm")));
    EXPECT_FALSE(Shell.PlayMusic(QStringLiteral("/nonexistent/背景.mid")));
    EXPECT_FALSE(Shell.MusicPlaying());
    Shell.StopMusic();      // stopping when nothing plays is harmless
    EXPECT_FALSE(Shell.MusicPlaying());
}

namespace {

// Sets environment variables for the programs the shell starts, and puts them back.
class TEnvironment {
public:
    void Set(const char *Name, const QByteArray &Value)
    {
        Keep(Name);
        qputenv(Name, Value);
    }
    void Unset(const char *Name)
    {
        Keep(Name);
        qunsetenv(Name);
    }
    ~TEnvironment()
    {
        for (const auto &[Name, Value] : FOld)
            Value.isNull() ? qunsetenv(Name.constData()) : qputenv(Name.constData(), Value);
    }

private:
    void Keep(const char *Name)
    {
        for (const auto &[N, V] : FOld)
            if (N == Name)
                return;
        FOld.push_back({QByteArray(Name), qEnvironmentVariableIsSet(Name) ? qgetenv(Name) : QByteArray()});
    }
    std::vector<std::pair<QByteArray, QByteArray>> FOld;
};

// A program that writes its arguments, one per line, into Log. Its path holds
// no blank: the desktop's helpers split MAILER and BROWSER at blanks.
QString Recorder(QTemporaryDir &Dir, const QString &Log)
{
    const QString Script = Dir.filePath(QStringLiteral("record.sh"));
    TestSupport::WriteAll(Script, QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '%1'\n").arg(Log).toUtf8());
    QFile::setPermissions(Script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return Script;
}

} // namespace

TEST(QtShell, MailHandsTheWholeChineseFileNameOnAndReportsMissingHandlers)
{
    if (!TestSupport::HaveProgram(QStringLiteral("xdg-email")))
        GTEST_SKIP() << "xdg-email is missing";
    TestSupport::TempDir Dir;
    QTemporaryDir Bin(QDir::tempPath() + QStringLiteral("/qbshell-XXXXXX"));
    const QString Log = Dir.File(QStringLiteral("mail.log"));
    const QString File = Dir.File(QStringLiteral("春季目录 P001.zip"));
    TestSupport::WriteAll(File, "zip");
    TQtShell Shell;
    {
        TEnvironment Env;
        Env.Set("LC_ALL", "C");
        Env.Set("MAILER", Recorder(Bin, Log).toUtf8());
        ASSERT_TRUE(Shell.SendMail(QString(), QString(), QString(), {File}));
        const QString Address = QString::fromUtf8(TestSupport::ReadAll(Log)).trimmed();
        EXPECT_TRUE(Address.startsWith(QStringLiteral("mailto:"))) << Address.toStdString();
        // The name percent-encoded whole, Chinese and blank included.
        const qsizetype At = Address.indexOf(QStringLiteral("attach="));
        ASSERT_GE(At, 0) << Address.toStdString();
        const QString Attached = Address.mid(At + 7).section(QLatin1Char('&'), 0, 0);
        EXPECT_TRUE(Attached.contains(QStringLiteral("%E6%98%A5%E5%AD%A3"))) << Address.toStdString();
        EXPECT_EQ(QUrl::fromPercentEncoding(Attached.toLatin1()), File);

        // A mail program that stays open (as it does while the user writes) is
        // a hand-off done.
        const QString Stays = Bin.filePath(QStringLiteral("stays.sh"));
        TestSupport::WriteAll(Stays, "#!/bin/sh\nsleep 5\n");
        QFile::setPermissions(Stays, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Env.Set("MAILER", Stays.toUtf8());
        EXPECT_TRUE(Shell.SendMail(QString(), QString(), QString(), {File}));

        // An attachment that is not there: the hand-off fails.
        EXPECT_FALSE(Shell.SendMail(QString(), QString(), QString(), {File + QLatin1Char(' ')}));
    }
    {
        // No mail program and no browser to fall back on.
        TEnvironment Env;
        Env.Unset("MAILER");
        Env.Unset("DISPLAY");
        Env.Unset("WAYLAND_DISPLAY");
        Env.Set("XDG_CURRENT_DESKTOP", "");
        Env.Set("BROWSER", "/nonexistent/browser");
        EXPECT_FALSE(Shell.SendMail(QString(), QString(), QString(), {File}));
    }
}

TEST(QtShell, FtpAddressGoesToTheBrowserOrFailsWithoutOne)
{
    if (!TestSupport::HaveProgram(QStringLiteral("xdg-open")))
        GTEST_SKIP() << "xdg-open is missing";
    TestSupport::TempDir Dir;
    QTemporaryDir Bin(QDir::tempPath() + QStringLiteral("/qbshell-XXXXXX"));
    const QString Log = Dir.File(QStringLiteral("ftp.log"));
    TQtShell Shell;
    TEnvironment Env;
    Env.Unset("DISPLAY");
    Env.Unset("WAYLAND_DISPLAY");
    Env.Set("XDG_CURRENT_DESKTOP", "");
    Env.Set("BROWSER", Recorder(Bin, Log).toUtf8());
    EXPECT_TRUE(Shell.Open(QStringLiteral("ftp://ftp.example.com:2121")));
    EXPECT_EQ(QString::fromUtf8(TestSupport::ReadAll(Log)).trimmed(), QStringLiteral("ftp://ftp.example.com:2121"));
    Env.Set("BROWSER", "/nonexistent/browser");
    EXPECT_FALSE(Shell.Open(QStringLiteral("ftp://ftp.example.com")));
}

TEST(QtShell, AFileOfAKindNothingOpensFailsAndGoesToTheBrowserWhereOneIsSetUp)
{
    if (!TestSupport::HaveProgram(QStringLiteral("xdg-open")))
        GTEST_SKIP() << "xdg-open is missing";
    TestSupport::TempDir Dir;
    QTemporaryDir Bin(QDir::tempPath() + QStringLiteral("/qbshell-XXXXXX"));
    QTemporaryDir Empty(QDir::tempPath() + QStringLiteral("/qbshell-XXXXXX"));
    const QString Log = Dir.File(QStringLiteral("open.log"));
    const QString Help = Dir.File(QStringLiteral("帮助 help.chm"));
    TestSupport::WriteAll(Help, "ITSF");
    TQtShell Shell;
    TEnvironment Env;
    // A desktop with no program set up for any kind of file.
    Env.Unset("DISPLAY");
    Env.Unset("WAYLAND_DISPLAY");
    Env.Set("XDG_CURRENT_DESKTOP", "");
    for (const char *Name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
        Env.Set(Name, Empty.path().toUtf8());
    Env.Set("BROWSER", "/nonexistent/browser");
    EXPECT_FALSE(Shell.Open(Help));
    // Only a browser: the file goes to it, whole.
    Env.Set("BROWSER", Recorder(Bin, Log).toUtf8());
    EXPECT_TRUE(Shell.Open(Help));
    EXPECT_EQ(QString::fromUtf8(TestSupport::ReadAll(Log)).trimmed(), Help);
}
