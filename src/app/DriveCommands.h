#pragma once
// The commands of quillbook-drive, the scripted driver of the end-to-end tests.
// A command is one line: its name, then words; a command whose last argument is a
// text takes the rest of the line for it. To add a command, append a TDriveCommand
// to the table in DriveCommands.cpp (or call RegisterDriveCommand before the run).

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <stdexcept>

class QWidget;
class TScriptedPrompts;
class TScriptedShell;

// A failed command; the driver ends with its message and a non-zero exit code.
class EDriveError : public std::runtime_error {
public:
    explicit EDriveError(const QString &Msg) : std::runtime_error(Msg.toStdString()), FMessage(Msg) {}
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// What a command works with.
class TDriveContext {
public:
    TDriveContext(TScriptedPrompts &APrompts, TScriptedShell &AShell, QTextStream &AOut)
        : Prompts(APrompts), Shell(AShell), Out(AOut) {}

    TScriptedPrompts &Prompts;
    TScriptedShell &Shell;
    QTextStream &Out;
    QWidget *MainWindow = nullptr;
    bool QuitRequested = false;

    // The object with this objectName ("Form2.Button1" narrows the search to Form2's
    // children). Among several, one in the active modal window wins, then one in the
    // active window, then a visible one. Raises EDriveError when there is none.
    QObject *Find(const QString &Name) const;
    QWidget *FindWidget(const QString &Name) const;
    void Print(const QString &Line);
};

struct TDriveCommand {
    QString Name;
    QString Arguments;          // for --help, e.g. "GRID COL ROW TEXT"
    QString Help;
    int MinArgs = 0;
    int MaxArgs = 0;
    bool TextLast = false;      // the last argument takes the rest of the line
    bool MayBlock = false;      // may open a modal window; the script goes on inside it
    std::function<void(TDriveContext &, const QStringList &)> Run;
    bool BeforeStart = false;   // at the top of a script it runs before the program starts
};

QList<TDriveCommand> &DriveCommands();
void RegisterDriveCommand(const TDriveCommand &Command);
const TDriveCommand *FindDriveCommand(const QString &Name);
QString DriveHelp();

// Splits a script line into the command name and its arguments ("" and comments give
// an empty list). Raises EDriveError for an unknown command or a wrong argument count.
QStringList ParseDriveLine(const QString &Line, const TDriveCommand **Command);
// "\n", "\r", "\t" and "\\" in a text argument.
QString UnescapeDriveText(const QString &Text);

// Handles events until nothing is pending (bounded).
void WaitUntilIdle();

// Runs a script against the running program. Each command is started from the event
// loop, so a command that opens a modal window lets the following ones act inside it.
class TDriveRunner : public QObject {
public:
    TDriveRunner(TDriveContext &Context, const QStringList &Lines);
    // Runs the commands at the top of the script that may run before the program
    // exists (the answers to its start-up questions). False when one failed.
    bool RunLeading();
    void Start();
    bool Finished() const { return FFinished; }
    int ExitCode() const { return FExitCode; }
    // True while a command of the script has not run yet.
    bool HasMoreCommands() const;
    // Ends the run: leaves every event loop; a message goes to standard error.
    void Finish(int Code, const QString &Message = QString());

private:
    void Step();
    QString CurrentFailure() const;

    TDriveContext &FContext;
    QStringList FLines;
    int FNext = 0;
    bool FFinished = false;
    int FExitCode = 0;
};
