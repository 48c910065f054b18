#pragma once
// Helpers shared by the tests: temporary folders, files and the source tree.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace TestSupport {

// A temporary folder removed at the end of the test. Path() has no trailing "/".
class TempDir {
public:
    TempDir();
    QString Path() const { return FDir.path(); }
    QString File(const QString &Name) const { return FDir.path() + QLatin1Char('/') + Name; }

private:
    QTemporaryDir FDir;
};

QByteArray ReadAll(const QString &FileName);
void WriteAll(const QString &FileName, const QByteArray &Bytes);

// A file in Folder named by raw bytes (a name in another code page, as an
// archive from elsewhere unpacks it: no QString names it), removed again when
// this goes, since a temporary folder cannot remove what it cannot name.
class RawNamedFile {
public:
    RawNamedFile(const QString &Folder, const QByteArray &Name, const QByteArray &Bytes = QByteArray());
    ~RawNamedFile();
    RawNamedFile(const RawNamedFile &) = delete;
    RawNamedFile &operator=(const RawNamedFile &) = delete;

private:
    QByteArray FPath;
};
// The repository's data/ folder and source folder.
QString DataDir();
QString SourceDir();
// Runs a program with arguments and returns its exit code (-1 when it cannot start);
// standard output and error are captured into Output when given.
int RunProgram(const QString &Program, const QStringList &Args, QByteArray *Output = nullptr,
               const QString &WorkingDir = QString(), int TimeoutMs = 60000);
bool HaveProgram(const QString &Program);

// Sets what every test process and the programs it starts need, unless the
// environment already says: the offscreen platform, QB_SOURCE_DIR, QB_DATA_DIR,
// QB_PROGRAM_DIR (the build's program folder) and the sanitizer options.
void PrepareEnvironment();
QString ProgramDir();

// Copies the repository's data/ folder into Home, as the build does into the
// program folder.
void CopyDataTo(const QString &Home);
// Copies the build's program folder into Home exactly as the build ships it,
// leaving out only the executables (they run from the build's folder with
// QUILLBOOK_HOME pointing at Home).
void CopyProgramFolderTo(const QString &Home);

// One run of quillbook-drive on a program folder, with its script on standard
// input and the program's own arguments after "--", started in WorkingDir
// when one is given (arguments relative to it, as a terminal gives them).
struct DriveRun {
    int Code = -1;       // -1 when it did not start or did not finish
    QString Out;
    QString Err;
};
QString DriverPath();
DriveRun RunDrive(const QString &Home, const QString &Script, const QStringList &ProgramArgs = {},
                  const QString &WorkingDir = QString());

} // namespace TestSupport
