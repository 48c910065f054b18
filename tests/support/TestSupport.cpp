#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <cstdio>
#include <stdexcept>

namespace TestSupport {

TempDir::TempDir()
{
    if (!FDir.isValid())
        throw std::runtime_error("cannot create a temporary folder");
}

QByteArray ReadAll(const QString &FileName)
{
    QFile F(FileName);
    if (!F.open(QIODevice::ReadOnly))
        throw std::runtime_error(("cannot read " + FileName).toStdString());
    return F.readAll();
}

void WriteAll(const QString &FileName, const QByteArray &Bytes)
{
    QDir().mkpath(QFileInfo(FileName).absolutePath());
    QFile F(FileName);
    if (!F.open(QIODevice::WriteOnly | QIODevice::Truncate) || F.write(Bytes) != Bytes.size())
        throw std::runtime_error(("cannot write " + FileName).toStdString());
}

RawNamedFile::RawNamedFile(const QString &Folder, const QByteArray &Name, const QByteArray &Bytes)
    : FPath(QFile::encodeName(Folder) + '/' + Name)
{
    QDir().mkpath(Folder);
    FILE *F = std::fopen(FPath.constData(), "wb");
    const bool Written = F && std::fwrite(Bytes.constData(), 1, size_t(Bytes.size()), F) == size_t(Bytes.size());
    if (F)
        std::fclose(F);
    if (!Written)
        throw std::runtime_error("cannot write " + FPath.toStdString());
}

RawNamedFile::~RawNamedFile()
{
    std::remove(FPath.constData());
}

QString SourceDir()
{
    return qEnvironmentVariable("QB_SOURCE_DIR", QStringLiteral(QB_SOURCE_DIR_DEFAULT));
}

QString ProgramDir()
{
    return qEnvironmentVariable("QB_PROGRAM_DIR", QStringLiteral(QB_PROGRAM_DIR_DEFAULT));
}

void PrepareEnvironment()
{
    auto Default = [](const char *Name, const QByteArray &Value) {
        if (qEnvironmentVariableIsEmpty(Name))
            qputenv(Name, Value);
    };
    Default("QT_QPA_PLATFORM", "offscreen");
    Default("QB_SOURCE_DIR", QB_SOURCE_DIR_DEFAULT);
    Default("QB_DATA_DIR", QB_SOURCE_DIR_DEFAULT "/data");
    Default("QB_PROGRAM_DIR", QB_PROGRAM_DIR_DEFAULT);
    // For the programs the tests start: the browser engine's own allocations
    // trip the sized-delete check, which is not ours to fix.
    Default("ASAN_OPTIONS", "detect_leaks=0:new_delete_type_mismatch=0");
}

void CopyDataTo(const QString &Home)
{
    const QString Data = DataDir();
    QDirIterator It(Data, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString F = It.next();
        const QString To = Home + QLatin1Char('/') + QDir(Data).relativeFilePath(F);
        QDir().mkpath(QFileInfo(To).absolutePath());
        QFile::copy(F, To);
    }
}

void CopyProgramFolderTo(const QString &Home)
{
    const QString Program = ProgramDir();
    QDirIterator It(Program, QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString F = It.next();
        const QFileInfo Info(F);
        const QString To = Home + QLatin1Char('/') + QDir(Program).relativeFilePath(F);
        if (Info.isDir()) {
            QDir().mkpath(To);
            continue;
        }
        if (Info.absolutePath() == QFileInfo(Program).absoluteFilePath() && Info.isExecutable())
            continue;
        QDir().mkpath(QFileInfo(To).absolutePath());
        if (!QFile::copy(F, To))
            throw std::runtime_error(("cannot copy " + F).toStdString());
    }
}

QString DriverPath()
{
    return ProgramDir() + QStringLiteral("/quillbook-drive");
}

DriveRun RunDrive(const QString &Home, const QString &Script, const QStringList &ProgramArgs, const QString &WorkingDir)
{
    QProcess P;
    if (!WorkingDir.isEmpty())
        P.setWorkingDirectory(WorkingDir);
    QStringList Args{QStringLiteral("--home"), Home, QStringLiteral("-")};
    if (!ProgramArgs.isEmpty())
        Args << QStringLiteral("--") << ProgramArgs;
    P.start(DriverPath(), Args);
    DriveRun R;
    if (!P.waitForStarted(30000))
        return R;
    P.write(Script.toUtf8());
    P.closeWriteChannel();
    if (!P.waitForFinished(300000)) {
        P.kill();
        P.waitForFinished();
        return R;
    }
    R.Code = P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
    R.Out = QString::fromUtf8(P.readAllStandardOutput());
    R.Err = QString::fromUtf8(P.readAllStandardError());
    return R;
}

QString DataDir()
{
    return SourceDir() + QStringLiteral("/data");
}

int RunProgram(const QString &Program, const QStringList &Args, QByteArray *Output,
               const QString &WorkingDir, int TimeoutMs)
{
    QProcess P;
    P.setProcessChannelMode(QProcess::MergedChannels);
    if (!WorkingDir.isEmpty())
        P.setWorkingDirectory(WorkingDir);
    P.start(Program, Args);
    if (!P.waitForStarted(10000))
        return -1;
    P.closeWriteChannel();
    if (!P.waitForFinished(TimeoutMs)) {
        P.kill();
        P.waitForFinished();
        return -1;
    }
    if (Output)
        *Output = P.readAll();
    return P.exitStatus() == QProcess::NormalExit ? P.exitCode() : -1;
}

bool HaveProgram(const QString &Program)
{
    return !QStandardPaths::findExecutable(Program).isEmpty();
}

} // namespace TestSupport
