// The shell: running a program and waiting for it, and the recording double.

#include "platform/services/QtShell.h"
#include "platform/services/Shell.h"
#include "TestSupport.h"

#include <QFile>
#include <QDir>
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
