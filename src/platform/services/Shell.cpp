#include "Shell.h"
#include "QtShell.h"
#include "Application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <signal.h>
#include <unistd.h>

// ---- the current implementation ----

static std::unique_ptr<TShell> &CurrentShell()
{
    static std::unique_ptr<TShell> Current;
    return Current;
}

TShell &Shell()
{
    auto &Current = CurrentShell();
    if (!Current)
        Current = std::make_unique<TQtShell>();
    return *Current;
}

std::unique_ptr<TShell> SetShell(std::unique_ptr<TShell> Value)
{
    auto &Current = CurrentShell();
    std::unique_ptr<TShell> Old = std::move(Current);
    Current = std::move(Value);
    return Old;
}

// ---- the Qt shell ----

TQtShell::~TQtShell()
{
    StopMusic();
}

int TQtShell::StartAndWatch(const QString &Program, const QStringList &Args)
{
    // The desktop's helpers end at once when nothing can handle the request;
    // when they are still running after a short while, the program they
    // started is up (and may stay while the user works with it). The helper
    // runs detached, so that the mail program it may have become outlives us;
    // a small shell beside it writes its exit code into a file we watch.
    QTemporaryFile Status(QDir::tempPath() + QStringLiteral("/quillbook-handoff-XXXXXX"));
    if (!Status.open())
        return StartFailed;
    Status.close();
    const QString Script = QStringLiteral("s=$1; shift; \"$@\"; c=$?; [ -e \"$s\" ] && echo $c > \"$s\"");
    QProcess Helper;
    Helper.setProgram(QStringLiteral("/bin/sh"));
    Helper.setArguments(QStringList{QStringLiteral("-c"), Script, QStringLiteral("sh"), Status.fileName(), Program} + Args);
    // Nothing of ours stays open in the helper (a pipe of our output would).
    Helper.setStandardInputFile(QProcess::nullDevice());
    Helper.setStandardOutputFile(QProcess::nullDevice());
    Helper.setStandardErrorFile(QProcess::nullDevice());
    if (!Helper.startDetached())
        return StartFailed;
    QElapsedTimer Clock;
    Clock.start();
    QFile File(Status.fileName());
    while (Clock.elapsed() < HandOffWatchMs) {
        if (File.size() > 0 && File.open(QIODevice::ReadOnly)) {
            bool Ok = false;
            const int Code = File.readAll().trimmed().toInt(&Ok);
            File.close();
            if (Ok)
                return Code;
        }
        QEventLoop Loop;
        QTimer::singleShot(20, &Loop, &QEventLoop::quit);
        Loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return StillRunning;
}

bool LocalTargetMissing(const QString &FileOrUrl)
{
    static const QRegularExpression Scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (Scheme.match(FileOrUrl).hasMatch() && !FileOrUrl.startsWith(QLatin1String("file:")))
        return false;
    const QString Path = FileOrUrl.startsWith(QLatin1String("file:")) ? QUrl(FileOrUrl).toLocalFile() : FileOrUrl;
    return !QFileInfo::exists(Path);
}

bool TQtShell::Open(const QString &FileOrUrl)
{
    // The desktop's opener runs detached and reports nothing: a file or folder
    // that is not there is refused here.
    if (FileOrUrl.isEmpty() || LocalTargetMissing(FileOrUrl))
        return false;
    // The opener fails only once it looked for a program: a kind of file
    // nothing is set up for (help files without a viewer) or a scheme nothing
    // handles (ftp: on many desktops). It is watched for that moment.
    const int Code = StartAndWatch(QStringLiteral("xdg-open"), {FileOrUrl});
    return Code == 0 || Code == StillRunning;
}

bool TQtShell::StartProgram(const QString &Program, const QStringList &Args, const QString &WorkingDir)
{
    QString Dir = WorkingDir;
    if (Dir.isEmpty())
        Dir = QFileInfo(Program).absolutePath();
    return QProcess::startDetached(Program, Args, Dir);
}

TRunResult TQtShell::RunAndWait(const QString &Program, const QStringList &Args, const QString &WorkingDir)
{
    TRunResult Result;
    QProcess P;
    // The program runs in its own folder unless told otherwise, as the outputs expect.
    const QString Dir = WorkingDir.isEmpty() ? QFileInfo(Program).absolutePath() : WorkingDir;
    if (!Dir.isEmpty() && QFileInfo(Dir).isDir())
        P.setWorkingDirectory(Dir);
    P.setProcessChannelMode(QProcess::ForwardedChannels);
    P.setStandardInputFile(QProcess::nullDevice());
    // Its own process group, so that cancelling ends whatever it started too.
    P.setChildProcessModifier([] { ::setpgid(0, 0); });
    P.start(Program, Args);
    if (!P.waitForStarted(-1))
        return Result;
    Result.Started = true;
    const pid_t Group = pid_t(P.processId());

    QEventLoop Loop;
    QObject::connect(&P, &QProcess::finished, &Loop, &QEventLoop::quit);
    QObject::connect(&P, &QProcess::errorOccurred, &Loop, [&Loop, &P](QProcess::ProcessError E) {
        if (E == QProcess::Crashed || P.state() == QProcess::NotRunning)
            Loop.quit();
    });

    std::unique_ptr<QProgressDialog> Box;
    if (QApplication::instance() && qobject_cast<QApplication *>(QApplication::instance())) {
        Box = std::make_unique<QProgressDialog>(QStringLiteral("正在运行 %1，请稍候……").arg(QFileInfo(Program).fileName()),
                                                QStringLiteral("取消"), 0, 0, QApplication::activeWindow());
        Box->setWindowTitle(ApplicationTitle());
        Box->setWindowModality(Qt::ApplicationModal);
        Box->setMinimumDuration(RunWaitBoxDelay);
        Box->setAutoClose(false);
        Box->setAutoReset(false);
        QObject::connect(Box.get(), &QProgressDialog::canceled, &Loop, [&Result, &Loop]() {
            Result.Cancelled = true;
            Loop.quit();
        });
        Box->setValue(0);
    }
    if (P.state() != QProcess::NotRunning)
        Loop.exec();

    if (Result.Cancelled) {
        if (Group > 0)
            ::kill(-Group, SIGTERM);
        if (P.state() != QProcess::NotRunning && !P.waitForFinished(3000)) {
            if (Group > 0)
                ::kill(-Group, SIGKILL);
            P.waitForFinished(-1);
        }
        if (Group > 0)
            ::kill(-Group, SIGKILL);    // what is left of the group after its leader ended
        return Result;
    }
    if (P.state() != QProcess::NotRunning)
        P.waitForFinished(-1);
    Result.Crashed = P.exitStatus() == QProcess::CrashExit;
    Result.ExitCode = Result.Crashed ? -1 : P.exitCode();
    return Result;
}

bool TQtShell::SendMail(const QString &To, const QString &Subject, const QString &Body, const QStringList &Attachments)
{
    // --utf8: the address carries the attachment's name whole under any locale.
    QStringList Args{QStringLiteral("--utf8")};
    if (!Subject.isEmpty())
        Args << QStringLiteral("--subject") << Subject;
    if (!Body.isEmpty())
        Args << QStringLiteral("--body") << Body;
    for (const QString &A : Attachments)
        Args << QStringLiteral("--attach") << A;
    if (!To.isEmpty())
        Args << To;
    const int Code = StartAndWatch(QStringLiteral("xdg-email"), Args);
    return Code == 0 || Code == StillRunning;
}

bool TQtShell::PlayMusic(const QString &File)
{
    StopMusic();
    if (!QFileInfo(File).isFile())
        return false;
    // A MIDI file needs a synthesizer; whichever is installed plays it.
    static const struct { const char *Program; const char *Options; } Players[] = {
        {"timidity", "-id"}, {"fluidsynth", "-i"}, {"aplaymidi", ""}};
    for (const auto &Player : Players) {
        const QString Path = QStandardPaths::findExecutable(QString::fromLatin1(Player.Program));
        if (Path.isEmpty())
            continue;
        QStringList Args;
        if (*Player.Options)
            Args << QString::fromLatin1(Player.Options);
        Args << File;
        FMusic = std::make_unique<QProcess>();
        FMusic->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FMusic->setStandardOutputFile(QProcess::nullDevice());
        FMusic->start(Path, Args);
        if (FMusic->waitForStarted(3000))
            return true;
        FMusic.reset();
    }
    return false;
}

void TQtShell::StopMusic()
{
    if (!FMusic)
        return;
    if (FMusic->state() != QProcess::NotRunning) {
        FMusic->terminate();
        if (!FMusic->waitForFinished(2000)) {
            FMusic->kill();
            FMusic->waitForFinished(-1);
        }
    }
    FMusic.reset();
}

bool TQtShell::MusicPlaying() const
{
    return FMusic && FMusic->state() != QProcess::NotRunning;
}

// ---- the scripted shell ----

QString TShellCall::Describe() const
{
    return Kind + QLatin1Char(' ') + Args.join(QStringLiteral(" | "));
}

bool TScriptedShell::Open(const QString &FileOrUrl)
{
    FCalls << TShellCall{QStringLiteral("Open"), {FileOrUrl}};
    for (const QString &Suffix : UnhandledSuffixes)
        if (FileOrUrl.endsWith(Suffix, Qt::CaseInsensitive))
            return false;
    return !RefuseHandOffs && !FileOrUrl.isEmpty() && !LocalTargetMissing(FileOrUrl);
}

bool TScriptedShell::StartProgram(const QString &Program, const QStringList &Args, const QString &WorkingDir)
{
    FCalls << TShellCall{QStringLiteral("StartProgram"), {Program, Args.join(QLatin1Char(' ')), WorkingDir}};
    return true;
}

TRunResult TScriptedShell::RunAndWait(const QString &Program, const QStringList &Args, const QString &WorkingDir)
{
    FCalls << TShellCall{QStringLiteral("RunAndWait"), {Program, Args.join(QLatin1Char(' ')), WorkingDir}};
    if (RunReally)
        return TQtShell().RunAndWait(Program, Args, WorkingDir);
    if (!FRunResults.isEmpty())
        return FRunResults.takeFirst();
    TRunResult R;
    R.Started = true;
    R.ExitCode = 0;
    return R;
}

bool TScriptedShell::SendMail(const QString &To, const QString &Subject, const QString &Body, const QStringList &Attachments)
{
    FCalls << TShellCall{QStringLiteral("SendMail"), {To, Subject, Body, Attachments.join(QLatin1Char(' '))}};
    return !RefuseHandOffs;
}

bool TScriptedShell::PlayMusic(const QString &File)
{
    FCalls << TShellCall{QStringLiteral("PlayMusic"), {File}};
    FPlaying = true;
    return true;
}

void TScriptedShell::StopMusic()
{
    FCalls << TShellCall{QStringLiteral("StopMusic"), {}};
    FPlaying = false;
}
