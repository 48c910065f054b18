#include "PageArchive.h"

#include "catalog/document/Package.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <optional>

#include "zip/ZipObj.h"
#include "zip/ZipStreams.h"
#include "zip/Zipper.h"

namespace PageArchive {

namespace {

// Every regular file below Dir (links left out). A name the file system holds
// in another encoding cannot be opened by any name of ours: it goes to Unnamed.
void WalkFiles(const QString &Dir, QStringList &Files, QStringList &Unnamed)
{
    TSearchRec F;
    for (int R = FindFirst(Dir + QLatin1Char('*'), faAnyFile, F); R == 0; R = FindNext(F)) {
        if ((F.Attr & (faSymLink | faSysFile)) || F.Name == QLatin1String(".") || F.Name == QLatin1String(".."))
            continue;
        if (F.Attr & faDirectory)
            WalkFiles(Dir + F.Name + QLatin1Char('/'), Files, Unnamed);
        else
            Files << Dir + F.Name;
    }
    for (const QString &N : std::as_const(F.Undecodable))
        Unnamed << Dir + N;
    FindClose(F);
}

// The files of the output folder: earlier archives of the same name left out,
// and the files that an extra member of the same name stands for. A file that
// cannot be named would be missing from the archive: raises Exception then.
QStringList FolderFiles(const QString &Folder, const QString &ArchiveName, const TMembers &Extra = {})
{
    const QString Base = QFileInfo(ArchiveName).completeBaseName();
    QStringList Skip;
    for (const char *Ext : {".zip", ".chm", ".rar", ".exe"})
        Skip << (Base + QString::fromLatin1(Ext)).toLower();
    QSet<QString> Replaced;
    for (const auto &M : Extra)
        Replaced.insert(M.second.toLower());
    const QDir Root(Folder);
    QStringList Found, Unnamed;
    WalkFiles(IncludeTrailingPathDelimiter(QFileInfo(Folder).absoluteFilePath()), Found, Unnamed);
    if (!Unnamed.isEmpty())
        throw Exception(QStringLiteral("压缩文件生成失败，以下文件不能读取：\r\n") + Unnamed.join(QStringLiteral("\r\n")));
    QStringList Files;
    for (const QString &F : std::as_const(Found)) {
        const QFileInfo Info(F);
        if (Info.absolutePath() == QFileInfo(Folder).absoluteFilePath() && Skip.contains(Info.fileName().toLower()))
            continue;
        if (Replaced.contains(Root.relativeFilePath(Info.absoluteFilePath()).toLower()))
            continue;
        Files << Info.absoluteFilePath();
    }
    Files.sort();
    return Files;
}

// Writes a complete new archive of the files and the extra members at Target
// (a path nobody else uses), streaming.
void WriteZip(const QString &Folder, const QStringList &Files, const TMembers &Extra, const QString &Target,
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
    // The zip library reads a listed path that holds "*", "?", "<", ">" or
    // "|" as a pattern (and packs whatever it matches): such a file goes in
    // as a member of its own name, through a scratch copy of a plain name.
    QSet<QString> Listed;
    TMembers Members;
    const QDir RootDir(Root);
    for (const QString &F : Files) {
        if (ZipHasWildcards(F)) {
            Members << qMakePair(F, RootDir.relativeFilePath(F));
            continue;
        }
        Zipper.FilesList().Add(F);
        Listed.insert(F);
    }
    Members << Extra;
    // An extra member is zipped from its source under its own name. A source
    // that is listed already (a picture kept in the output folder, one file
    // under two names) goes through a scratch copy, so each path has one name.
    std::optional<QTemporaryDir> Stage;
    std::optional<TOutputFiles> Copies;
    QHash<QString, QString> Renamed;   // source path -> member name
    for (const auto &M : std::as_const(Members)) {
        QString Source = QFileInfo(M.first).absoluteFilePath();
        if (Listed.contains(Source) || IsPathInside(Source, Root) || ZipHasWildcards(Source)) {
            if (!Stage) {
                Stage.emplace(ScratchFolder() + QStringLiteral("zip-XXXXXX"));
                Copies.emplace(false);
                if (!Stage->isValid())
                    throw EInOutError(QStringLiteral("不能创建临时目录。"));
            }
            QString Plain = ExtractFileName(Source);
            for (QChar &C : Plain)
                if (ZipHasWildcards(QString(C)))
                    C = QLatin1Char('_');
            const QString Copy = Stage->filePath(QString::number(Renamed.size()) + QLatin1Char('-') + Plain);
            Copies->Copy(Source, Copy);
            Copies->Commit();
            Source = Copy;
        }
        Zipper.FilesList().Add(Source);
        Listed.insert(Source);
        Renamed.insert(Source, M.second);
    }
    Zipper.OnStartZip = [&Renamed](TObject *, const QString &FName, TZipHeaderInfo &H, bool &) {
        const auto It = Renamed.constFind(FName);
        if (It == Renamed.constEnd())
            return;
        const qsizetype Slash = It->lastIndexOf(QLatin1Char('/'));
        H.SetDirectory(Slash < 0 ? QString() : It->left(Slash + 1).replace(QLatin1Char('/'), QLatin1Char('\\')));
        H.SetFileName(It->mid(Slash + 1));
    };
    // A file that is gone or cannot be opened would be left out of the
    // archive without a word: the archive is no result then.
    QStringList Unread;
    Zipper.OnNoSuchFile = [&Unread](TObject *, const QString &FName) { Unread << FName; };
    Zipper.OnSkippingFile = [&Unread](TObject *, TSkipReason Reason, const QString &FName, int, bool &) {
        if (Reason == skrCannotOpen)
            Unread << FName;
    };
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
    if (!Unread.isEmpty())
        throw Exception(QStringLiteral("压缩文件生成失败，以下文件不能读取：\r\n") + Unread.join(QStringLiteral("\r\n")));
    if (!QFileInfo(Target).isFile() || QFileInfo(Target).size() == 0)
        throw Exception(QStringLiteral("压缩文件 %1 生成失败。").arg(Target));
}

} // namespace

void ZipFolder(const QString &Folder, const QString &ZipName, const std::function<void(int)> &Percent,
               const std::function<bool()> &Cancelled, const TMembers &Extra)
{
    const QStringList Files = FolderFiles(Folder, ZipName, Extra);
    // Written once, beside its final name; put in place when whole.
    TOutputFiles Out;
    const QString Temp = Out.Reserve(ZipName);
    try {
        WriteZip(Folder, Files, Extra, Temp, Percent, Cancelled);
    } catch (const ENotEnoughRoom &) {
        throw EInOutError(QbaPackage::NoRoomForArchiveText(ZipName));
    }
    Out.Commit();
}

bool MakeSelfExtracting(const QString &Folder, const QString &ExeName, QString &Error,
                        const std::function<void(int Percent)> &Progress, const TMembers &Extra)
{
    const QString Stub = QStandardPaths::findExecutable(QStringLiteral("unzipsfx"));
    const QString Fixer = QStandardPaths::findExecutable(QStringLiteral("zip"));
    if (Stub.isEmpty() || Fixer.isEmpty()) {
        Error = QStringLiteral("找不到自解压程序。");
        return false;
    }
    QTemporaryDir Work(ScratchFolder() + QStringLiteral("sfx-XXXXXX"));
    if (!Work.isValid()) {
        Error = QStringLiteral("不能创建临时目录。");
        return false;
    }
    const QString Zip = Work.filePath(QStringLiteral("out.zip"));
    try {
        WriteZip(Folder, FolderFiles(Folder, ExeName, Extra), Extra, Zip, Progress);
        // The stub, then the archive, streamed into the new file beside ExeName.
        TOutputFiles Out;
        const QString Sfx = Out.Create(ExeName);
        {
            QFile StubFile(Stub), ZipFile(Zip), SfxFile(Sfx);
            if (!StubFile.open(QIODevice::ReadOnly) || !ZipFile.open(QIODevice::ReadOnly)
                || !SfxFile.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
                Error = QStringLiteral("不能写入自解压文件。");
                return false;
            }
            int Err = CopyFileData(StubFile.handle(), SfxFile.handle());
            if (Err == 0)
                Err = CopyFileData(ZipFile.handle(), SfxFile.handle());
            if (Err != 0) {
                Error = QStringLiteral("不能写入自解压文件。") + SysErrorMessage(Err);
                return false;
            }
        }
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
        Out.Commit();
    } catch (const EAbort &) {
        throw;
    } catch (const ENotEnoughRoom &) {
        Error = QbaPackage::NoRoomForArchiveText(ExeName);
        return false;
    } catch (const Exception &E) {
        Error = E.Message();
        return false;
    }
    return true;
}

} // namespace PageArchive
