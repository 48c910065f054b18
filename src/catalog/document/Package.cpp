#include "Package.h"

#include "CatalogBook.h"
#include "ReceivedPaths.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include "zip/ZipObj.h"
#include "zip/ZipStreams.h"
#include "zip/Zipper.h"

#include <cerrno>
#include <limits>
#include <optional>

namespace QbaPackage {

// Every regular file below Folder, links left out, sorted for a stable archive.
QStringList FilesBelow(const QString &Folder, const QString &Except)
{
    QStringList Files;
    const QString Skip = QFileInfo(Except).absoluteFilePath();
    QDirIterator It(Folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (It.hasNext()) {
        const QString F = QFileInfo(It.next()).absoluteFilePath();
        if (F != Skip)
            Files << F;
    }
    Files.sort();
    return Files;
}

void ZipFiles(const QString &Root, const QStringList &Files, const QString &Target,
              const std::function<void(int Percent)> &Progress)
{
    // The archive is written once, beside its final name, and put in place
    // when whole; it never packs itself (Files were listed before it was made).
    TOutputFiles Out;
    const QString Temp = Out.Reserve(Target);
    // The root and the files written alike, however the folder was typed
    // ("out//", "out/./"): a file is stored by its path below the root.
    auto Clean = [](const QString &Path) { return QDir::cleanPath(QFileInfo(Path).absoluteFilePath()); };
    const QString RootDir = IncludeTrailingPathDelimiter(Clean(Root));
    QStringList Listed;
    Listed.reserve(Files.size());
    for (const QString &F : Files)
        Listed << Clean(F);
    // The zipper reads a listed name that holds "*", "?", "<", ">" or "|" as
    // a pattern, which may miss the file itself ("x<1>.jpg"): such a file is
    // zipped from a scratch copy of a plain name and given its own name as it
    // goes in.
    std::optional<QTemporaryDir> Stage;
    QHash<QString, QString> Staged;   // scratch copy -> the file's name below the root
    {
        TZipper Zipper1;
        Zipper1.SetRootDir(RootDir);
        Zipper1.SetZipName(Temp);
        Zipper1.FilesList().Clear();
        for (const QString &F : std::as_const(Listed)) {
            if (!ZipHasWildcards(F) || !F.startsWith(RootDir)) {
                Zipper1.FilesList().Add(F);
                continue;
            }
            if (!Stage) {
                Stage.emplace(ScratchFolder() + QStringLiteral("zip-XXXXXX"));
                if (!Stage->isValid())
                    throw EInOutError(QStringLiteral("不能创建临时目录。"));
            }
            const QString Copy = Stage->filePath(QString::number(Staged.size()) + QLatin1Char('-')
                                                 + CarriedName(ExtractFileName(F)));
            if (!CopyFile(F, Copy, true)) {
                const int Error = errno;
                if (Error == ENOSPC || Error == EDQUOT)
                    throw EInOutError(NoRoomForArchiveText(Target));
                throw EFOpenError(CannotOpenFileText(NativePath(F), Error));
            }
            Zipper1.FilesList().Add(Copy);
            Staged.insert(Copy, F.mid(RootDir.size()));
        }
        StoreUnderNames(Zipper1, Staged);
        Zipper1.SetRelativePaths(true);
        // After the line above, which turns it on: the list names every file already.
        Zipper1.Recurse = false;
        Zipper1.SetIncludeHiddenFiles(true);
        Zipper1.HoldArchiveLock = true;
        if (Progress)
            Zipper1.OnTotalPercentDone = [&Progress](TObject *, int Percent) { Progress(Percent); };
        // The zipper leaves out a file it cannot find or open and goes on: an
        // archive without it is no archive of the folder.
        QString Missed;
        int MissedError = 0;
        auto Miss = [&Missed, &MissedError](const QString &FName, int Error) {
            if (Missed.isEmpty()) {
                Missed = FName;
                MissedError = Error;
            }
        };
        Zipper1.OnNoSuchFile = [&Miss](TObject *, const QString &FName) { Miss(FName, ENOENT); };
        // A second listing of one file is left out rightly: it is packed once.
        Zipper1.OnSkippingFile = [&Miss](TObject *, TSkipReason Reason, const QString &FName, int, bool &) {
            if (Reason == skrCannotOpen)
                Miss(FName, errno);
        };
        try {
            Zipper1.PackFiles();
        } catch (const EAbort &) {
            throw;
        } catch (const Exception &E) {
            RaiseArchiveFailure(Target, Temp, E);
        }
        // Locked from the moment the zipper makes it until it is in place.
        Out.Hold(Temp, Zipper1.TakeArchiveLock());
        if (!Missed.isEmpty())
            throw EFOpenError(CannotOpenFileText(NativePath(Missed), MissedError));
        // Every listed file must have become a member.
        QSet<QString> Members;
        for (int I = 0; I < Zipper1.MemberCount(); ++I)
            Members.insert(NativePath(Zipper1.Member(I)->StoredName()));
        for (const QString &F : std::as_const(Listed)) {
            // Named as the zipper names it: below the root, else the path less its leading "/".
            QString Name = NativePath(F.startsWith(RootDir) ? F.mid(RootDir.size()) : F);
            while (Name.startsWith(QLatin1Char('/')))
                Name.remove(0, 1);
            if (!Members.contains(Name))
                throw EInOutError(QStringLiteral("不能把文件“%1”放进压缩文件，压缩文件没有写成。").arg(NativePath(F)));
        }
    }
    if (!FileExists(Temp))
        throw EFCreateError(CannotCreateFileText(Target, errno));
    Out.Commit();
}

QString NoRoomForArchiveText(const QString &Archive)
{
    return QStringLiteral("不能写入压缩文件“%1”：磁盘空间不足。").arg(NativePath(Archive));
}

QString ArchiveFailureText(const QString &Archive, const Exception &E)
{
    if (dynamic_cast<const ENotEnoughRoom *>(&E))
        return NoRoomForArchiveText(Archive);
    // The program's own texts (a file that cannot be opened or created) say
    // it already; the zip library's own are English sentences, which may
    // name a path ("Error: Could not copy from ... -> ...").
    const QString Text = E.Message().trimmed();
    if (!Text.isEmpty() && !(Text.at(0).unicode() < 0x80 && Text.at(0).isLetter()))
        return QString();
    const QString Name = NativePath(Archive);
    if (!DirectoryExists(ExtractFilePath(QFileInfo(Archive).absoluteFilePath())))
        return QStringLiteral("压缩文件“%1”没有写成：它的文件夹已不存在（可能在输出时被删除或移动）。").arg(Name);
    if (dynamic_cast<const EZLibError *>(&E))
        return QStringLiteral("压缩文件“%1”没有写成：压缩数据时出错。").arg(Name);
    return QStringLiteral("压缩文件“%1”没有写成：写入时出错。").arg(Name);
}

void RaiseArchiveFailure(const QString &Archive, const QString &Temp, const Exception &E)
{
    const QString Text = ArchiveFailureText(Archive, E);
    if (!Text.isEmpty())
        throw EInOutError(Text);
    // The program's own texts name the file they could not make or write:
    // the temporary one, which the user never asked for and never sees.
    QString Named = E.Message();
    Named.replace(NativePath(Temp), NativePath(Archive));
    if (Named == E.Message())
        throw;
    if (dynamic_cast<const EFCreateError *>(&E))
        throw EFCreateError(Named);
    if (dynamic_cast<const EFOpenError *>(&E))
        throw EFOpenError(Named);
    throw EInOutError(Named);
}

bool IsSafeMemberName(const QString &Name)
{
    return ReceivedPaths::IsPlainRelative(Name);
}

void StoreUnderNames(TZipper &Zipper, const QHash<QString, QString> &Names)
{
    Zipper.OnStartZip = [&Names](TObject *, const QString &FName, TZipHeaderInfo &H, bool &) {
        const auto It = Names.constFind(FName);
        if (It == Names.constEnd())
            return;
        const qsizetype Slash = It->lastIndexOf(QLatin1Char('/'));
        H.SetDirectory(Slash < 0 ? QString() : It->left(Slash + 1).replace(QLatin1Char('/'), QLatin1Char('\\')));
        H.SetFileName(It->mid(Slash + 1));
    };
}

QString CarriedName(const QString &Name)
{
    QString Carried = Name;
    for (QChar &C : Carried)
        if (QStringLiteral("<>|*?\\").contains(C))
            C = QLatin1Char('_');
    return Carried;
}

namespace {

// The members of the last unpack that did not come out: folders aside, every
// member that was not put in place (damaged data, a method nobody decodes).
QStringList DamagedMembers(TUnZipper &UnZipper1, const QSet<int> &Unpacked)
{
    QStringList Names;
    for (int I = 0; I < UnZipper1.MemberCount(); ++I) {
        const TZipHeaderInfo *H = UnZipper1.Member(I);
        if (!Unpacked.contains(I) && !H->FileName().isEmpty())
            Names << H->StoredName();
    }
    return Names;
}

} // namespace

QString DestDirFor(const QString &Scratch, const QString &PackagePath)
{
    QString Base = TCatalogBook::SafeFileName(ExtractFileBaseName(PackagePath));
    if (Base.isEmpty())
        Base = QStringLiteral("package");
    return IncludeTrailingPathDelimiter(Scratch) + Base + QLatin1Char('/');
}

QString Write(const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
              const std::function<void(int Percent)> &Progress)
{
    const QString Dir = IncludeTrailingPathDelimiter(Folder);
    const QString Stem = MainFile.left(qMax(0, int(MainFile.size()) - 4));
    SaveLines(Dir + QStringLiteral("index.dat"),
              {QStringLiteral("index=") + MainFile,
               IsBook ? QStringLiteral("type=QBS") : QStringLiteral("type=QBT")});
    const QString Package = Target.isEmpty() ? Dir + Stem + QStringLiteral(".qba") : Target;

    ZipFiles(Dir, FilesBelow(Dir, Package), Package, Progress);

    // What was put into the folder for the package goes again.
    const QString Images = Dir + QStringLiteral("images/");
    if (DirectoryExists(Images)) {
        for (const QString &F : FilesBelow(Images, QString()))
            DeleteFile(F);
        QDir(Images).removeRecursively();
    }
    DeleteFile(Dir + QStringLiteral("index.dat"));
    DeleteFile(Dir + Stem + QStringLiteral(".qbt"));
    return Package;
}

TOpenResult Unpack(const QString &PackagePath, const QString &DestDir,
                   const std::function<void(int Percent)> &Progress)
{
    TOpenResult R;
    const QString Dest = IncludeTrailingPathDelimiter(DestDir);
    TUnZipper UnZipper1;
    UnZipper1.SetZipName(PackagePath);
    UnZipper1.OpenAndReadDirectory();
    // Every member is judged before anything is written.
    qint64 Declared = 0;
    for (int I = 0; I < UnZipper1.MemberCount(); ++I) {
        const TZipHeaderInfo *H = UnZipper1.Member(I);
        if (!IsSafeMemberName(H->StoredName()) || H->UncompressedSize() < 0) {
            R.Status = osInvalid;
            return R;
        }
        // Sizes from another computer may add up past the largest number.
        const qint64 Size = H->UncompressedSize();
        Declared = Size > std::numeric_limits<qint64>::max() - Declared ? std::numeric_limits<qint64>::max()
                                                                        : Declared + Size;
    }
    // The sizes the package declares must fit where it is unpacked (the zip
    // library holds every member to its declared size).
    const qint64 Free = DiskFree(IncludeTrailingPathDelimiter(ExtractFilePath(ExcludeTrailingPathDelimiter(Dest))));
    if (Free >= 0 && Declared > Free)
        throw EInOutError(QStringLiteral("磁盘空间不足，不能打开qba文件。"));
    if (DirectoryExists(Dest))
        EmptyFolder(Dest);
    else if (!ForceDirectories(Dest))
        throw EInOutError(QStringLiteral("不能创建目录 %1").arg(Dest));
    UnZipper1.SetDestDir(Dest);
    UnZipper1.RecreateDirs = true;
    UnZipper1.DoAll = true;
    UnZipper1.FilesList().Clear();
    UnZipper1.FilesList().Add(QStringLiteral("*.*"));
    UnZipper1.OverwriteMode = TUZOverwriteMode::Always;
    if (Progress)
        UnZipper1.OnTotalPercentDone = [&Progress](TObject *, int Percent) { Progress(Percent); };
    QSet<int> Unpacked;
    UnZipper1.OnEndUnZip = [&Unpacked](TObject *, int Index, const QString &) { Unpacked.insert(Index); };
    R.Files = UnZipper1.UnpackFiles();
    R.Damaged = DamagedMembers(UnZipper1, Unpacked);
    if (R.Files < 2) {
        R.Status = osInvalid;
        return R;
    }
    const QString Index = Dest + QStringLiteral("index.dat");
    if (!FileExists(Index)) {
        R.Status = osNoIndex;
        return R;
    }
    const QStringList Lines = LoadLines(Index);
    const QString Main = TCatalogBook::Value(Lines, QStringLiteral("index")).trimmed();
    R.IsBook = TCatalogBook::Value(Lines, QStringLiteral("type")).trimmed().toUpper() == QLatin1String("QBS");
    // The main file must be a page (a book for a book package) of the package itself.
    const QString Ext = ExtractFileExt(Main).toUpper();
    const QString Wanted = R.IsBook ? QStringLiteral(".QBS") : QStringLiteral(".QBT");
    const QString Path = ReceivedPaths::PathInside(Dest, Dest, Main);
    if (Path.isEmpty() || Ext != Wanted || !QFileInfo(Path).isFile()) {
        R.Status = osInvalid;
        return R;
    }
    R.MainFile = Path;
    R.Status = osOk;
    R.LeftOut = ReceivedPaths::KeepInside(Dest, R.MainFile, R.IsBook);
    return R;
}

} // namespace QbaPackage
