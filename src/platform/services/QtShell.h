#pragma once
// The shell of the running program: xdg-open, xdg-email and QProcess.

#include "Shell.h"

#include <QProcess>

class TQtShell : public TShell {
public:
    ~TQtShell() override;
    bool Open(const QString &FileOrUrl) override;
    bool StartProgram(const QString &Program, const QStringList &Args, const QString &WorkingDir = QString()) override;
    TRunResult RunAndWait(const QString &Program, const QStringList &Args, const QString &WorkingDir = QString()) override;
    bool SendMail(const QString &To, const QString &Subject, const QString &Body, const QStringList &Attachments) override;
    bool PlayMusic(const QString &File) override;
    void StopMusic() override;
    bool MusicPlaying() const override;

    // Starts a desktop helper (xdg-open, xdg-email) detached and watches it for
    // a moment: its exit code (127: not found), StillRunning, or StartFailed.
    static constexpr int StillRunning = -1;
    static constexpr int StartFailed = -2;
    static int StartAndWatch(const QString &Program, const QStringList &Args);

private:
    std::unique_ptr<QProcess> FMusic;
};

// How long a hand-off to the desktop is watched for an early failure (milliseconds).
constexpr int HandOffWatchMs = 3000;

// The wait box shows only when the program runs longer than this (milliseconds).
constexpr int RunWaitBoxDelay = 500;
