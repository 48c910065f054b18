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

private:
    std::unique_ptr<QProcess> FMusic;
};

// The wait box shows only when the program runs longer than this (milliseconds).
constexpr int RunWaitBoxDelay = 500;
