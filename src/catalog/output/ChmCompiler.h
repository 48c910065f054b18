#pragma once
// TChmCompiler, the help compiler driver: compiles an HTML help project (.hhp) into a compiled
// help file (.chm) with the system's help compiler program. The project may
// name its files by full paths; the driver stages a copy of the project that the
// compiler can read (files below the project's folder keep their sub-folders,
// others go to the top), and the help file replaces the project's
// "Compiled file=" only when the compile succeeded. A listed file that cannot be
// staged fails the compile. The help file holds the listed files only: what
// the pages link to is not looked for.

#include "platform/core/Types.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

class TChmCompiler : public TObject {
public:
    // Finds the compiler; raises Exception when it is not installed.
    TChmCompiler();
    ~TChmCompiler() override;
    TChmCompiler(const TChmCompiler &) = delete;
    TChmCompiler &operator=(const TChmCompiler &) = delete;

    // Every line the compiler reports.
    std::function<void(const QString &Text)> OnLog;
    // Asked about ten times a second while the compiler runs (the caller keeps
    // its window painting there); true stops the compiler and the compile fails.
    std::function<bool()> Cancelled;

    // Compiles synchronously; Progress gets the compiler's report line by line.
    // True when the compiler ended with exit code 0 and wrote a non-empty file;
    // otherwise no file is left at the project's target.
    bool Compile(const QString &ProjectPath, const std::function<void(const QString &Text)> &Progress);

    // Files of the project that are copies of the user's files: the copy's
    // full path -> the user's file, which messages name in the copy's place.
    QHash<QString, QString> Origins;

    // Why the last Compile failed, naming the help file or the user's file
    // ("" when it did not fail, or when only listed files could not be taken:
    // FailedFiles).
    const QString &Refusal() const { return FRefusal; }

    QString CompilerPath() const { return FCompiler; }
    // The files of the last compile that could not be taken into the help file
    // (missing, unreadable, or of a name the compiler cannot take), as the
    // user knows them; a compile with any of them fails. FailedCauses: why,
    // one per file.
    QStringList FailedFiles() const { return FFailed; }
    QStringList FailedCauses() const { return FFailedCauses; }
    // The program to run in place of the installed one (tests); "" restores the search.
    static void SetCompilerOverride(const QString &Program);

private:
    QString FCompiler;
    QStringList FFailed;
    QStringList FFailedCauses;
    QString FRefusal;
};

// What the user is told when Compile failed: the refusal, the files that could
// not be taken, or that the compile failed.
QString ChmFailureMessage(const TChmCompiler &Compiler);
// "CHM 文件编译失败。" naming the files that could not be taken into the help
// file, each with its cause when one is given.
QString ChmFailedFilesMessage(const QStringList &Files, const QStringList &Causes = {});

// A file name the help compiler takes as it is: it drops blanks (and control
// characters) at either end of the names a project lists, and then finds no
// file. Such a name loses them ("_" when nothing is left).
QString ChmFileName(const QString &Name);
bool IsChmFileName(const QString &Name);

// The process-wide compiler, made on first use.
TChmCompiler &ChmCompilerInstance();

// Hands one report line of a running compile to the instance's log event. The
// instance must exist (Exception "Assertion failure" otherwise).
void ChmCompilerLogCallback(const QString &Text);
