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
#include <unistd.h>

#include "zip/ZipObj.h"
#include "zip/ZipStreams.h"
#include "zip/Zipper.h"

namespace PageArchive {

namespace {

// Writes a complete new archive of the members at Target (a path nobody
// else uses), streaming. Shown: the archive as the user knows it, for the
// messages. Returns the descriptor that holds the written file's lock (the
// caller closes it).
int WriteZip(const TMembers &Members, const QString &Target, const QString &Shown,
              const std::function<void(int)> &Percent = {}, const std::function<bool()> &Cancelled = {})
{
    QFile::remove(Target);
    TZipper Zipper;
    const QString Root = IncludeTrailingPathDelimiter(QFileInfo(Target).absolutePath());
    Zipper.SetRootDir(Root);
    Zipper.SetZipName(Target);
    Zipper.FilesList().Clear();
    // Each member is zipped from its source under its own name. The zip
    // library reads a listed path that holds "*", "?", "<", ">" or "|" as a
    // pattern (and packs whatever it matches), a source listed twice (one
    // file under two names) would have one name, and one below the archive's
    // folder is known by its path there before it gets its name (and might
    // stand for another member of that name): such a member goes through a
    // scratch copy of a plain name.
    std::optional<QTemporaryDir> Stage;
    std::optional<TOutputFiles> Copies;
    QSet<QString> Listed;
    QHash<QString, QString> Renamed;   // source path -> member name
    for (const auto &M : Members) {
        QString Source = QFileInfo(M.first).absoluteFilePath();
        if (Listed.contains(Source) || IsPathInside(Source, Root) || ZipHasWildcards(Source)) {
            if (!Stage) {
                Stage.emplace(ScratchFolder() + QStringLiteral("zip-XXXXXX"));
                Copies.emplace(false);
                if (!Stage->isValid())
                    throw EInOutError(QStringLiteral("不能创建临时目录。"));
            }
            const QString Copy = Stage->filePath(QString::number(Renamed.size()) + QLatin1Char('-')
                                                 + QbaPackage::CarriedName(ExtractFileName(Source)));
            Copies->Copy(Source, Copy);
            Copies->Commit();
            Source = Copy;
        }
        Zipper.FilesList().Add(Source);
        Listed.insert(Source);
        Renamed.insert(Source, M.second);
    }
    QbaPackage::StoreUnderNames(Zipper, Renamed);
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
    Zipper.HoldArchiveLock = true;
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
        throw Exception(QStringLiteral("压缩文件 %1 生成失败。").arg(NativePath(Shown)));
    return Zipper.TakeArchiveLock();
}

} // namespace

void ZipFiles(const QString &ZipName, const TMembers &Members, const std::function<void(int)> &Percent,
              const std::function<bool()> &Cancelled)
{
    // Written once, beside its final name; put in place when whole.
    TOutputFiles Out;
    const QString Temp = Out.Reserve(ZipName);
    try {
        // Locked from the moment the zipper makes it until it is in place.
        Out.Hold(Temp, WriteZip(Members, Temp, ZipName, Percent, Cancelled));
    } catch (const EAbort &) {
        throw;
    } catch (const Exception &E) {
        QbaPackage::RaiseArchiveFailure(ZipName, Temp, E);
    }
    Out.Commit();
}

bool MakeSelfExtracting(const QString &ExeName, const TMembers &Members, QString &Error,
                        const std::function<void(int Percent)> &Progress)
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
        if (const int Lock = WriteZip(Members, Zip, ExeName, Progress); Lock >= 0)
            ::close(Lock);
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
    } catch (const Exception &E) {
        Error = QbaPackage::ArchiveFailureText(ExeName, E);
        if (Error.isEmpty())
            Error = E.Message();
        return false;
    }
    return true;
}

} // namespace PageArchive
