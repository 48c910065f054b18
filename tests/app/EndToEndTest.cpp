// Quillbook started offscreen by quillbook-drive, and the Chinese text it renders.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <gtest/gtest.h>

#include <csignal>

namespace {

int Colours(const QImage &Image, const QRect &Area)
{
    QSet<QRgb> Seen;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
        for (int X = Area.left(); X <= Area.right(); ++X)
            Seen.insert(Image.pixel(X, Y));
    return int(Seen.size());
}

} // namespace

TEST(EndToEnd, TheDriverStartsTheProgramAndSavesAScreenshotOfItsWindow)
{
    ASSERT_TRUE(QFileInfo(TestSupport::DriverPath()).isExecutable()) << TestSupport::DriverPath().toStdString();
    TestSupport::TempDir Home;
    TestSupport::CopyDataTo(Home.Path());
    const QString Shot = Home.File("shots/main.png");
    const QString Group = Home.File("shots/group.png");
    const TestSupport::DriveRun R = TestSupport::RunDrive(Home.Path(), QStringLiteral("wait\ntext Form1\nscreenshot Form1 %1\ntext GroupBox2\n"
                                                            "screenshot GroupBox2 %2\nquit\n").arg(Shot, Group));
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    // The main window's own caption, then its picture list's.
    EXPECT_EQ(R.Out, QStringLiteral("Quillbook 2007 Beta3\n图片列表\n"));
    // The group box's Chinese title is drawn: its title line holds more than the background.
    QImage Title(Group);
    ASSERT_FALSE(Title.isNull());
    EXPECT_GT(Colours(Title, QRect(0, 0, qMin(Title.width(), 120), qMin(Title.height(), 14))), 2);

    QImage Image(Shot);
    ASSERT_FALSE(Image.isNull());
    EXPECT_GE(Image.width(), 200);
    EXPECT_GE(Image.height(), 150);
    // The caption bar carries the title in letters: more than its background colour.
    EXPECT_GT(Colours(Image, QRect(0, 0, Image.width(), 12)), 2);
    // This run made no scratch files that outlive it.
    EXPECT_FALSE(QDir(Home.File("tmp")).exists() && !QDir(Home.File("tmp")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
}

TEST(EndToEnd, TheProgramItselfStartsOnACopyOfItsFolderAndEndsCleanly)
{
    // The built program as a user starts it: no sanitizer options of the
    // tests in its environment, its start page in the browser engine.
    TestSupport::TempDir Home;
    TestSupport::CopyProgramFolderTo(Home.Path());
    QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
    Env.remove(QStringLiteral("ASAN_OPTIONS"));
    Env.insert(QStringLiteral("QUILLBOOK_HOME"), Home.Path());
    Env.insert(QStringLiteral("QUILLBOOK_BROWSER"), QStringLiteral("1"));
    QProcess P;
    P.setProcessEnvironment(Env);
    P.start(TestSupport::ProgramDir() + QStringLiteral("/quillbook"), {});
    ASSERT_TRUE(P.waitForStarted(60000));
    // Up, with its window shown, once it takes the end of a session as its
    // end (a handler for SIGTERM in its status).
    const QString Status = QStringLiteral("/proc/%1/status").arg(P.processId());
    bool Up = false;
    for (int I = 0; I < 2400 && !Up && P.state() == QProcess::Running; ++I) {
        QFile F(Status);
        if (F.open(QIODevice::ReadOnly))
            for (const QByteArray &L : F.readAll().split('\n'))
                if (L.startsWith("SigCgt:"))
                    Up = (L.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        if (!Up)
            P.waitForFinished(50);
    }
    ASSERT_TRUE(Up) << P.readAllStandardError().toStdString();
    ::kill(pid_t(P.processId()), SIGTERM);
    ASSERT_TRUE(P.waitForFinished(120000));
    const QByteArray Err = P.readAllStandardError();
    EXPECT_EQ(P.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(P.exitCode(), 0) << Err.toStdString();
    EXPECT_FALSE(Err.contains("Sanitizer")) << Err.toStdString();
    // Its scratch files went with it.
    EXPECT_FALSE(QDir(Home.File("tmp")).exists() && !QDir(Home.File("tmp")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
}

TEST(EndToEnd, AFailingCommandEndsTheRunWithAClearMessage)
{
    TestSupport::TempDir Home;
    const TestSupport::DriveRun R = TestSupport::RunDrive(Home.Path(), QStringLiteral("wait\nclick NoSuchButton\nquit\n"));
    EXPECT_EQ(R.Code, 1);
    EXPECT_TRUE(R.Err.contains(QStringLiteral("line 2 (click NoSuchButton): nothing is named NoSuchButton"))) << R.Err.toStdString();

    QProcess P;
    P.start(TestSupport::DriverPath(), {QStringLiteral("--help")});
    ASSERT_TRUE(P.waitForFinished(30000));
    EXPECT_EQ(P.exitCode(), 0);
    EXPECT_TRUE(P.readAllStandardOutput().contains("screenshot NAME FILE.png"));
}

TEST(EndToEnd, StartUpQuestionsAreAnsweredFromTheTopOfTheScript)
{
    TestSupport::TempDir Home;
    TestSupport::CopyDataTo(Home.Path());
    TestSupport::TempDir NoPictures;
    TestSupport::WriteAll(NoPictures.File("readme.txt"), "x");
    const QString Warning = QStringLiteral("没有发现图片文件，系统右键支持jpg格式的图片。\\n您可以同时选择多个文件夹，程序不搜索子文件夹。");

    // Nobody answers: the run fails and names the question.
    const TestSupport::DriveRun Unanswered = TestSupport::RunDrive(Home.Path(), QStringLiteral("prompts\n"), {NoPictures.Path()});
    EXPECT_EQ(Unanswered.Code, 1);
    EXPECT_TRUE(Unanswered.Err.contains(QStringLiteral("unscripted prompt: MessageBox \"Quillbook 2008\" \"") + Warning))
        << Unanswered.Err.toStdString();

    // Answered before the program starts; the program then ends by itself, as it should.
    const TestSupport::DriveRun Answered = TestSupport::RunDrive(Home.Path(), QStringLiteral("answer button OK\n"), {NoPictures.Path()});
    EXPECT_EQ(Answered.Code, 0) << Answered.Err.toStdString();
}

// The offscreen platform draws the program's Chinese texts with real glyphs, not boxes.
TEST(EndToEnd, ChineseTextIsRenderedWithACjkFont)
{
    const QString Text = QStringLiteral("图片列表");
    QLabel Label(Text);
    const QFontMetrics Metrics(Label.font());
    for (QChar C : Text)
        EXPECT_TRUE(Metrics.inFontUcs4(C.unicode())) << "no glyph for U+" << std::hex << unsigned(C.unicode());

    // Each character draws differently (missing glyphs would all be the same box).
    QList<QImage> Glyphs;
    for (QChar C : Text) {
        QLabel One{QString(C)};
        One.adjustSize();
        Glyphs << One.grab().toImage();
        EXPECT_GT(Colours(Glyphs.last(), Glyphs.last().rect()), 1);
    }
    for (int I = 1; I < Glyphs.size(); ++I)
        EXPECT_NE(Glyphs[I], Glyphs[0]);
}
