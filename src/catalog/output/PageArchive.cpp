#include "PageArchive.h"

#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "zip/Zipper.h"

namespace PageArchive {

namespace {

// The files of the output folder, earlier archives of the same name left out.
QStringList FolderFiles(const QString &Folder, const QString &ArchiveName)
{
    const QString Base = QFileInfo(ArchiveName).completeBaseName();
    QStringList Skip;
    for (const char *Ext : {".zip", ".chm", ".rar", ".exe"})
        Skip << (Base + QString::fromLatin1(Ext)).toLower();
    QStringList Files;
    QDirIterator It(Folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString F = It.next();
        const QFileInfo Info(F);
        if (Info.absolutePath() == QFileInfo(Folder).absoluteFilePath() && Skip.contains(Info.fileName().toLower()))
            continue;
        if (Info.fileName().endsWith(QStringLiteral(".part")))
            continue;
        Files << Info.absoluteFilePath();
    }
    Files.sort();
    return Files;
}

// Writes a complete new archive of the files at Target (a path nobody else uses).
void WriteZip(const QString &Folder, const QStringList &Files, const QString &Target,
              const std::function<void(int)> &Percent = {}, const std::function<bool()> &Cancelled = {})
{
    QFile::remove(Target);
    TZipper Zipper;
    QString Root = QFileInfo(Folder).absoluteFilePath();
    if (!Root.endsWith(QLatin1Char('/')))
        Root += QLatin1Char('/');
    Zipper.SetRootDir(Root);
    Zipper.SetZipName(Target);
    Zipper.FilesList().Clear();
    for (const QString &F : Files)
        Zipper.FilesList().Add(F);
    Zipper.Recurse = true;
    Zipper.SetRelativePaths(true);
    bool Stopped = false;
    if (Percent || Cancelled)
        Zipper.OnTotalPercentDone = [&](TObject *, int P) {
            if (Percent)
                Percent(P);
            if (Cancelled && Cancelled()) {
                Stopped = true;
                Zipper.Cancel();
            }
        };
    try {
        Zipper.PackFiles();
    } catch (const EUserCanceled &) {
        Abort();
    }
    if (Stopped)
        Abort();
    if (!QFileInfo(Target).isFile() || QFileInfo(Target).size() == 0)
        throw Exception(QStringLiteral("压缩文件 %1 生成失败。").arg(Target));
}

// Puts a complete copy of Source in place of Dest (written beside it, then renamed).
bool MoveInto(const QString &Source, const QString &Dest)
{
    bool Ok = false;
    const QByteArray Bytes = ReadFileBytes(Source, &Ok);
    return Ok && WriteFileAtomic(Dest, Bytes);
}

} // namespace

void ZipFolder(const QString &Folder, const QString &ZipName, const std::function<void(int)> &Percent,
               const std::function<bool()> &Cancelled)
{
    const QStringList Files = FolderFiles(Folder, ZipName);
    QTemporaryDir Work;
    if (!Work.isValid())
        throw EInOutError(QStringLiteral("不能创建临时目录。"));
    const QString Temp = Work.filePath(QStringLiteral("out.zip"));
    WriteZip(Folder, Files, Temp, Percent, Cancelled);
    if (!MoveInto(Temp, ZipName))
        throw EFCreateError(CannotCreateFileText(ZipName, errno));
}

bool MakeSelfExtracting(const QString &Folder, const QString &ExeName, QString &Error,
                        const std::function<void(int Percent)> &Progress)
{
    const QString Stub = QStandardPaths::findExecutable(QStringLiteral("unzipsfx"));
    const QString Fixer = QStandardPaths::findExecutable(QStringLiteral("zip"));
    if (Stub.isEmpty() || Fixer.isEmpty()) {
        Error = QStringLiteral("找不到自解压程序。");
        return false;
    }
    QTemporaryDir Work;
    if (!Work.isValid()) {
        Error = QStringLiteral("不能创建临时目录。");
        return false;
    }
    const QString Zip = Work.filePath(QStringLiteral("out.zip"));
    const QString Sfx = Work.filePath(QStringLiteral("out.exe"));
    try {
        WriteZip(Folder, FolderFiles(Folder, ExeName), Zip, Progress);
    } catch (const Exception &E) {
        Error = E.Message();
        return false;
    }
    QFile StubFile(Stub), ZipFile(Zip), Out(Sfx);
    if (!StubFile.open(QIODevice::ReadOnly) || !ZipFile.open(QIODevice::ReadOnly) || !Out.open(QIODevice::WriteOnly)) {
        Error = QStringLiteral("不能写入自解压文件。");
        return false;
    }
    const QByteArray StubBytes = StubFile.readAll();
    const QByteArray ZipBytes = ZipFile.readAll();
    if (Out.write(StubBytes) != StubBytes.size() || Out.write(ZipBytes) != ZipBytes.size()) {
        Error = QStringLiteral("不能写入自解压文件。");
        return false;
    }
    Out.close();
    // The archive's offsets still count from its own start; the fixer makes them
    // count from the start of the stub.
    QProcess Fix;
    Fix.setProcessChannelMode(QProcess::MergedChannels);
    Fix.start(Fixer, {QStringLiteral("-A"), QStringLiteral("-q"), Sfx});
    if (!Fix.waitForStarted() || !Fix.waitForFinished(-1) || Fix.exitStatus() != QProcess::NormalExit
        || Fix.exitCode() != 0) {
        Error = QString::fromLocal8Bit(Fix.readAll()).trimmed();
        return false;
    }
    QFile::setPermissions(Sfx, QFile::permissions(Sfx) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    if (!MoveInto(Sfx, ExeName)) {
        Error = QStringLiteral("不能写入自解压文件。");
        return false;
    }
    QFile::setPermissions(ExeName, QFile::permissions(Sfx));
    return true;
}

} // namespace PageArchive
