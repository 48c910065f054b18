#pragma once
// The outside world: opening documents, folders and addresses with the desktop's
// programs, starting programs, running one and waiting for it, mail hand-off and
// the music preview. One replaceable TShell object; tests install TScriptedShell.

#include <QString>
#include <QStringList>
#include <QList>
#include <memory>

// The outcome of running a program and waiting for it.
struct TRunResult {
    bool Started = false;       // false: the program could not be started
    bool Cancelled = false;     // the user stopped the wait (the program was ended)
    bool Crashed = false;       // ended by a signal
    int ExitCode = -1;
    bool Succeeded() const { return Started && !Cancelled && !Crashed && ExitCode == 0; }
};

class TShell {
public:
    virtual ~TShell() = default;
    // Opens a file, a folder or an address (http:, mailto:, ftp:) with the desktop's program.
    // False when nothing could open it (the desktop's helper failed at once: no
    // program for the target's kind; or a local target is not there).
    virtual bool Open(const QString &FileOrUrl) = 0;
    // Starts a program detached from us.
    virtual bool StartProgram(const QString &Program, const QStringList &Args, const QString &WorkingDir = QString()) = 0;
    // Runs a program and waits for its end while events are handled; a visible wait
    // box lets the user stop it. Arguments go to the program as they are (no shell).
    virtual TRunResult RunAndWait(const QString &Program, const QStringList &Args, const QString &WorkingDir = QString()) = 0;
    // Hands a new mail with attachments to the user's mail program; false when
    // no mail program took it (none set up, an attachment missing).
    virtual bool SendMail(const QString &To, const QString &Subject, const QString &Body, const QStringList &Attachments) = 0;
    // Music preview: false when the file cannot be played here.
    virtual bool PlayMusic(const QString &File) = 0;
    virtual void StopMusic() = 0;
    virtual bool MusicPlaying() const = 0;
};

// True when Target names a local file or folder (a path or a file: address)
// that does not exist; addresses of other kinds are never missing.
bool LocalTargetMissing(const QString &Target);

TShell &Shell();
// Installs a new implementation (nullptr restores the Qt one) and returns the previous one.
std::unique_ptr<TShell> SetShell(std::unique_ptr<TShell> Value);

// One recorded call of the scripted shell.
struct TShellCall {
    QString Kind;               // "Open", "StartProgram", "RunAndWait", "SendMail", "PlayMusic", "StopMusic"
    QStringList Args;           // the call's arguments in order (argument lists joined with " ")
    QString Describe() const;
};

// Records every call; nothing is started. RunAndWait answers from queued results
// (a finished program with exit code 0 when none is queued) unless RunReally is set.
class TScriptedShell : public TShell {
public:
    bool Open(const QString &FileOrUrl) override;
    bool StartProgram(const QString &Program, const QStringList &Args, const QString &WorkingDir = QString()) override;
    TRunResult RunAndWait(const QString &Program, const QStringList &Args, const QString &WorkingDir = QString()) override;
    bool SendMail(const QString &To, const QString &Subject, const QString &Body, const QStringList &Attachments) override;
    bool PlayMusic(const QString &File) override;
    void StopMusic() override;
    bool MusicPlaying() const override { return FPlaying; }

    const QList<TShellCall> &Calls() const { return FCalls; }
    void ClearCalls() { FCalls.clear(); }
    void QueueRunResult(const TRunResult &R) { FRunResults << R; }
    // Runs programs for real (through the Qt shell's RunAndWait), still recording the calls.
    bool RunReally = false;
    // Open and SendMail answer as when the desktop has nothing to hand them to.
    bool RefuseHandOffs = false;
    // Open answers as when the desktop has no program for targets ending so (".chm").
    QStringList UnhandledSuffixes;

private:
    QList<TShellCall> FCalls;
    QList<TRunResult> FRunResults;
    bool FPlaying = false;
};
