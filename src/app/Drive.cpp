// quillbook-drive: runs Quillbook offscreen under a script (see DriveHelp()).

#include "DriveCommands.h"
#include "Quillbook.h"

#include "catalog/forms/MainWindow.h"
#include "platform/services/Application.h"
#include "platform/services/ScriptedPrompts.h"
#include "platform/services/Shell.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A run that takes longer than this has hung (a modal window nobody closes, a loop).
constexpr int RunTimeoutMs = 10 * 60 * 1000;

void Complain(const QString &Msg)
{
    std::fputs(("quillbook-drive: " + Msg + "\n").toUtf8().constData(), stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QString Home;
    QString ScriptFile;
    QStringList ProgramArgs;
    for (int I = 1; I < argc; ++I) {
        const QString A = QString::fromLocal8Bit(argv[I]);
        if (A == QLatin1String("--help") || A == QLatin1String("-h")) {
            std::fputs(DriveHelp().toUtf8().constData(), stdout);
            return 0;
        }
        if (A == QLatin1String("--home")) {
            if (++I == argc) {
                Complain(QStringLiteral("--home needs a folder"));
                return 2;
            }
            Home = QString::fromLocal8Bit(argv[I]);
        } else if (A == QLatin1String("--")) {
            for (++I; I < argc; ++I)
                ProgramArgs << QString::fromLocal8Bit(argv[I]);
        } else if (ScriptFile.isEmpty() && (A == QLatin1String("-") || !A.startsWith(QLatin1Char('-')))) {
            ScriptFile = A;
        } else {
            Complain(QStringLiteral("unknown option %1 (see --help)").arg(A));
            return 2;
        }
    }

    QStringList Lines;
    {
        QFile F;
        bool Opened;
        if (ScriptFile.isEmpty() || ScriptFile == QLatin1String("-"))
            Opened = F.open(stdin, QIODevice::ReadOnly);
        else {
            F.setFileName(ScriptFile);
            Opened = F.open(QIODevice::ReadOnly);
        }
        if (!Opened) {
            Complain(QStringLiteral("cannot read the script %1").arg(ScriptFile));
            return 2;
        }
        Lines = QString::fromUtf8(F.readAll()).split(QLatin1Char('\n'));
    }

    if (!Home.isEmpty()) {
        if (!QFileInfo(Home).isDir()) {
            Complain(QStringLiteral("the program folder %1 does not exist").arg(Home));
            return 2;
        }
        qputenv("QUILLBOOK_HOME", QFileInfo(Home).absoluteFilePath().toLocal8Bit());
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareProcessEnvironment();

    // The application object sees the driver's name and the program's arguments (the
    // options before "--" are ours), as the program would see its command line.
    static std::vector<QByteArray> QtArgs;
    static std::vector<char *> QtArgv;
    QtArgs.emplace_back(argv[0]);
    for (const QString &A : ProgramArgs)
        QtArgs.push_back(A.toLocal8Bit());
    for (QByteArray &A : QtArgs)
        QtArgv.push_back(A.data());
    QtArgv.push_back(nullptr);
    static int QtArgc = int(QtArgs.size());
    TApplication App(QtArgc, QtArgv.data());
    SetupApplication(App);

    auto PromptsOwned = std::make_unique<TScriptedPrompts>();
    auto ShellOwned = std::make_unique<TScriptedShell>();
    TScriptedPrompts &Prompts = *PromptsOwned;
    TScriptedShell &Shell = *ShellOwned;
    SetPrompts(std::move(PromptsOwned));
    SetShell(std::move(ShellOwned));

    QTextStream Out(stdout);
    int Code;
    {
        TDriveContext Context(Prompts, Shell, Out);
        TDriveRunner Runner(Context, Lines);
        // Answers at the top of the script are there for the start-up questions.
        if (!Runner.RunLeading())
            return Runner.ExitCode();

        // The program believes it was started from its own folder with these arguments.
        const QString Program = QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/quillbook")).absoluteFilePath();
        TQuillbookSession Session(QStringList{Program} + ProgramArgs);
        Context.MainWindow = Session.Form1();
        QTimer::singleShot(RunTimeoutMs, &Runner, [&Runner] {
            Runner.Finish(3, QStringLiteral("the run took longer than %1 seconds").arg(RunTimeoutMs / 1000));
        });
        Session.Show();
        Runner.Start();
        App.exec();
        // The program may end by itself (its window closed) after the last command.
        Code = Runner.Finished() ? Runner.ExitCode() : Runner.HasMoreCommands() ? 1 : 0;
        if (Code == 0 && !Runner.Finished() && !PendingScriptFailure().isEmpty()) {
            Complain(PendingScriptFailure());
            Code = 1;
        }
        if (!Runner.Finished() && Runner.HasMoreCommands())
            Complain(QStringLiteral("the program ended before the script"));
    }
    Out.flush();
    SetPrompts(nullptr);
    SetShell(nullptr);
    return Code;
}
