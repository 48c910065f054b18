#include "FileUtils.h"

#include "OutputFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

bool IsSep(QChar C)
{
    return C == QLatin1Char('/') || C == QLatin1Char('\\');
}

// Index of the last separator (or of the colon of a bare drive "X:"), -1 when none.
qsizetype LastDelimiter(const QString &S)
{
    for (qsizetype I = S.size() - 1; I >= 0; --I) {
        if (IsSep(S[I]))
            return I;
        if (I == 1 && S[I] == QLatin1Char(':') && S[0].isLetter() && S[0].unicode() < 0x80)
            return I;
    }
    return -1;
}

QByteArray Enc(const QString &Path)
{
    return QFile::encodeName(Path);
}

// Saves errno across cleanup calls so callers can report the first failure.
struct ErrnoKeeper {
    int Saved = errno;
    ~ErrnoKeeper() { errno = Saved; }
};

} // namespace

// ---------------------------------------------------------------- path pieces

QString ExtractFilePath(const QString &FileName)
{
    return FileName.left(LastDelimiter(FileName) + 1);
}

QString ExtractFileDir(const QString &FileName)
{
    qsizetype I = LastDelimiter(FileName);
    // Keep the separator of a root ("/" or "X:\").
    if (I > 0 && IsSep(FileName[I]) && !(I == 2 && FileName[1] == QLatin1Char(':')))
        return FileName.left(I);
    return FileName.left(I + 1);
}

QString ExtractFileName(const QString &FileName)
{
    return FileName.mid(LastDelimiter(FileName) + 1);
}

QString ExtractFileExt(const QString &FileName)
{
    const qsizetype D = LastDelimiter(FileName);
    const qsizetype P = FileName.lastIndexOf(QLatin1Char('.'));
    return P > D ? FileName.mid(P) : QString();
}

QString ExtractFileBaseName(const QString &FileName)
{
    // A name without "." stays whole: an empty base name would put an output
    // into its parent folder.
    const QString Name = ExtractFileName(FileName);
    const qsizetype I = Name.indexOf(QLatin1Char('.'));
    return I < 0 ? Name : Name.left(I);
}

QString ChangeFileExt(const QString &FileName, const QString &Extension)
{
    const qsizetype D = LastDelimiter(FileName);
    const qsizetype P = FileName.lastIndexOf(QLatin1Char('.'));
    return (P > D ? FileName.left(P) : FileName) + Extension;
}

QString IncludeTrailingPathDelimiter(const QString &S)
{
    if (!S.isEmpty() && IsSep(S.back()))
        return S;
    return S + QLatin1Char('/');
}

QString ExcludeTrailingPathDelimiter(const QString &S)
{
    if (S.size() > 1 && IsSep(S.back()))
        return S.left(S.size() - 1);
    return S;
}

QString ExpandFileName(const QString &FileName)
{
    if (IsDrivePath(FileName))
        return FileName;
    const QString Native = NativePath(FileName);
    return QDir::cleanPath(QDir::current().absoluteFilePath(Native));
}

QString AbsolutePath(const QString &FileName)
{
    if (FileName.isEmpty() || IsDrivePath(FileName))
        return FileName;
    QString Path = NativePath(FileName);
    if (!Path.startsWith(QLatin1Char('/')))
        Path = QDir::currentPath() + QLatin1Char('/') + Path;
    QStringList Parts;
    for (const QString &Part : Path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (Part == QLatin1String("."))
            continue;
        if (Part == QLatin1String("..")) {
            // The folder the parts so far lead to, through their links.
            const QString Real = QFileInfo(QLatin1Char('/') + Parts.join(QLatin1Char('/'))).canonicalFilePath();
            if (!Real.isEmpty())
                Parts = Real.split(QLatin1Char('/'), Qt::SkipEmptyParts);
            if (!Parts.isEmpty())
                Parts.removeLast();
            continue;
        }
        Parts << Part;
    }
    return QLatin1Char('/') + Parts.join(QLatin1Char('/'));
}

QString ExtractRelativePath(const QString &BaseName, const QString &DestName)
{
    const QStringList Base = ExpandFileName(ExtractFilePath(BaseName).isEmpty() ? QStringLiteral(".") : ExtractFilePath(BaseName))
                                 .split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList Dest = ExpandFileName(DestName).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    qsizetype Common = 0;
    // The last piece of Dest is the file name; only folders can be shared.
    while (Common < Base.size() && Common < Dest.size() - 1 && Base[Common] == Dest[Common])
        ++Common;
    QString Out;
    for (qsizetype I = Common; I < Base.size(); ++I)
        Out += QStringLiteral("../");
    for (qsizetype I = Common; I < Dest.size(); ++I) {
        Out += Dest[I];
        if (I + 1 < Dest.size())
            Out += QLatin1Char('/');
    }
    return Out;
}

// --------------------------------------------------------------- stored paths

bool IsDrivePath(const QString &Path)
{
    return Path.size() >= 3 && Path[0].unicode() < 0x80 && Path[0].isLetter() && Path[1] == QLatin1Char(':') &&
           IsSep(Path[2]);
}

bool IsAbsoluteStoredPath(const QString &Path)
{
    return (!Path.isEmpty() && IsSep(Path[0])) || IsDrivePath(Path);
}

QString NativePath(const QString &StoredPath)
{
    QString S = StoredPath;
    S.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return S;
}

QString ResolveStoredPath(const QString &Base, const QString &StoredPath)
{
    if (IsDrivePath(StoredPath))
        return StoredPath;
    if (IsAbsoluteStoredPath(StoredPath) || Base.isEmpty())
        return NativePath(StoredPath);
    return IncludeTrailingPathDelimiter(NativePath(Base)) + NativePath(StoredPath);
}

bool IsPathInside(const QString &Path, const QString &Folder)
{
    if (IsDrivePath(Path) || IsDrivePath(Folder) || Path.isEmpty() || Folder.isEmpty())
        return false;
    const QString P = ExpandFileName(Path);
    const QString F = ExpandFileName(Folder);
    if (P == F)
        return true;
    const QString Prefix = F.endsWith(QLatin1Char('/')) ? F : F + QLatin1Char('/');
    return P.startsWith(Prefix);
}

// ---------------------------------------------------------- files and folders

namespace {

bool StatPath(const QString &Path, struct stat &St, bool Follow = true)
{
    if (Path.isEmpty() || IsDrivePath(Path)) {
        errno = ENOENT;
        return false;
    }
    const QByteArray P = Enc(NativePath(Path));
    return (Follow ? ::stat(P.constData(), &St) : ::lstat(P.constData(), &St)) == 0;
}

TDateTime FromTimeSpec(const timespec &T)
{
    // localtime_r reads the time zone once; the conversion through QDateTime
    // asks the system for it again for every file of a folder listing.
    const time_t Seconds = T.tv_sec;
    struct tm Tm {};
    if (!localtime_r(&Seconds, &Tm))
        return QDateTimeToDateTime(QDateTime::fromMSecsSinceEpoch(qint64(T.tv_sec) * 1000 + T.tv_nsec / 1000000));
    return EncodeDate(Tm.tm_year + 1900, Tm.tm_mon + 1, Tm.tm_mday)
        + EncodeTime(Tm.tm_hour, Tm.tm_min, std::min(Tm.tm_sec, 59), int(T.tv_nsec / 1000000));
}

quint64 RandomTag()
{
    static thread_local std::mt19937_64 Gen{std::random_device{}()};
    return Gen();
}

// Renames From to To; with NoReplace the rename fails when To exists.
bool RenameNoFollow(const QString &From, const QString &To, bool NoReplace)
{
    const QByteArray F = Enc(From), T = Enc(To);
    if (NoReplace) {
        if (::renameat2(AT_FDCWD, F.constData(), AT_FDCWD, T.constData(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EINVAL && errno != ENOSYS)
            return false;
        // The file system lacks the flag: a hard link fails when To exists.
        if (::link(F.constData(), T.constData()) != 0)
            return false;
        ::unlink(F.constData());
        return true;
    }
    return ::rename(F.constData(), T.constData()) == 0;
}

// Gives the new file Fd the owner, group and mode of the file Old it replaces:
// the owner where the process may set it (the administrator saving another
// user's file), else at least the group where it is one of ours.
void KeepOwnerAndMode(int Fd, const struct stat &Old)
{
    struct stat New {};
    if (::fstat(Fd, &New) == 0 && (New.st_uid != Old.st_uid || New.st_gid != Old.st_gid)) {
        if (::fchown(Fd, Old.st_uid, Old.st_gid) != 0 && New.st_gid != Old.st_gid
            && ::fchown(Fd, uid_t(-1), Old.st_gid) != 0) {
            // Neither may be set: the file stays ours, as any new file would be.
        }
    }
    // After the owner: a change of owner takes the set-id bits away.
    ::fchmod(Fd, Old.st_mode & 07777);
}

// Copies Source to a temporary file beside Dest and renames it into place.
// A Dest that is replaced keeps its owner and mode; a link to a file is
// followed, so the link stays and its target is replaced.
bool CopyThroughTemp(const QString &Source, const QString &LinkOrDest, bool NoReplace)
{
    const QString Dest = NoReplace ? LinkOrDest : ReplacedFile(LinkOrDest);
    const int In = ::open(Enc(NativePath(Source)).constData(), O_RDONLY | O_CLOEXEC);
    if (In < 0)
        return false;
    struct stat St {};
    if (::fstat(In, &St) != 0 || !S_ISREG(St.st_mode)) {
        ErrnoKeeper K;
        if (K.Saved == 0 || S_ISDIR(St.st_mode))
            K.Saved = EISDIR;
        ::close(In);
        return false;
    }
    QString TempName;
    const int Out = CreateTempBeside(Dest, TempName);
    if (Out < 0) {
        ErrnoKeeper K;
        ::close(In);
        return false;
    }
    // In the kernel (a reflink, copy_file_range), else through a small buffer.
    const int CopyError = CopyFileData(In, Out);
    bool Ok = CopyError == 0;
    if (!Ok)
        errno = CopyError;
    if (Ok) {
        struct stat Old {};
        if (!NoReplace && ::stat(Enc(Dest).constData(), &Old) == 0 && S_ISREG(Old.st_mode))
            KeepOwnerAndMode(Out, Old);
        else
            ::fchmod(Out, St.st_mode & 07777);
        const timespec Times[2] = {St.st_atim, St.st_mtim};
        ::futimens(Out, Times);
        Ok = ::fsync(Out) == 0;
    }
    {
        ErrnoKeeper K;
        ::close(In);
    }
    // Renamed while its descriptor still holds the lock: a sweep never finds
    // the temporary name unlocked.
    if (Ok)
        Ok = RenameNoFollow(TempName, Dest, NoReplace);
    if (!Ok) {
        ErrnoKeeper K;
        ::unlink(Enc(TempName).constData());
    }
    {
        ErrnoKeeper K;
        ::close(Out);
    }
    return Ok;
}

} // namespace

QString ReplacedFile(const QString &Target)
{
    struct stat Link {};
    if (::lstat(Enc(Target).constData(), &Link) != 0 || !S_ISLNK(Link.st_mode))
        return Target;
    char *Real = ::realpath(Enc(Target).constData(), nullptr);
    if (!Real)
        return Target;
    const QString Resolved = QFile::decodeName(Real);
    std::free(Real);
    struct stat St {};
    if (::stat(Enc(Resolved).constData(), &St) != 0 || !S_ISREG(St.st_mode))
        return Target;
    return Resolved;
}

QString DocumentFolder(const QString &FileName)
{
    if (FileName.isEmpty() || IsDrivePath(FileName))
        return ExtractFilePath(FileName);
    return ExtractFilePath(QFileInfo(ReplacedFile(NativePath(FileName))).absoluteFilePath());
}

bool SameFileContent(const QString &A, const QString &B)
{
    if (A.isEmpty() || B.isEmpty() || IsDrivePath(A) || IsDrivePath(B))
        return false;
    const int FA = ::open(Enc(NativePath(A)).constData(), O_RDONLY | O_CLOEXEC);
    if (FA < 0)
        return false;
    const int FB = ::open(Enc(NativePath(B)).constData(), O_RDONLY | O_CLOEXEC);
    if (FB < 0) {
        ErrnoKeeper K;
        ::close(FA);
        return false;
    }
    struct stat SA {}, SB {};
    bool Same = ::fstat(FA, &SA) == 0 && ::fstat(FB, &SB) == 0 && S_ISREG(SA.st_mode) && S_ISREG(SB.st_mode)
        && SA.st_size == SB.st_size;
    // Piece by piece: memory stays the same whatever the size of the files.
    constexpr size_t Piece = 64 * 1024;
    std::unique_ptr<char[]> BufA(new char[Piece]), BufB(new char[Piece]);
    auto ReadFull = [](int Fd, char *Buf, size_t Size) -> ssize_t {
        size_t Got = 0;
        while (Got < Size) {
            const ssize_t N = ::read(Fd, Buf + Got, Size - Got);
            if (N < 0 && errno == EINTR)
                continue;
            if (N < 0)
                return -1;
            if (N == 0)
                break;
            Got += size_t(N);
        }
        return ssize_t(Got);
    };
    while (Same) {
        const ssize_t NA = ReadFull(FA, BufA.get(), Piece);
        const ssize_t NB = ReadFull(FB, BufB.get(), Piece);
        if (NA < 0 || NA != NB || std::memcmp(BufA.get(), BufB.get(), size_t(NA)) != 0)
            Same = false;
        else if (NA == 0)
            break;
    }
    ErrnoKeeper K;
    ::close(FA);
    ::close(FB);
    return Same;
}

namespace {

bool SameContent(const QString &A, const QString &B)
{
    return SameFileContent(A, B);
}

} // namespace

bool FileExists(const QString &FileName)
{
    struct stat St {};
    return StatPath(FileName, St) && S_ISREG(St.st_mode);
}

bool DirectoryExists(const QString &Directory)
{
    struct stat St {};
    return StatPath(Directory, St) && S_ISDIR(St.st_mode);
}

bool ForceDirectories(const QString &Dir)
{
    if (Dir.isEmpty() || IsDrivePath(Dir))
        return false;
    const QString D = ExcludeTrailingPathDelimiter(NativePath(Dir));
    if (DirectoryExists(D))
        return true;
    const QString Parent = ExtractFileDir(D);
    if (!Parent.isEmpty() && Parent != D && !ForceDirectories(Parent))
        return false;
    return CreateDir(D) || DirectoryExists(D);
}

bool CreateDir(const QString &Dir)
{
    if (Dir.isEmpty() || IsDrivePath(Dir))
        return false;
    return ::mkdir(Enc(NativePath(Dir)).constData(), 0777) == 0;
}

bool RemoveDir(const QString &Dir)
{
    if (Dir.isEmpty() || IsDrivePath(Dir))
        return false;
    return ::rmdir(Enc(NativePath(Dir)).constData()) == 0;
}

bool DeleteFile(const QString &FileName)
{
    struct stat St {};
    if (!StatPath(FileName, St, false) || S_ISDIR(St.st_mode))
        return false;
    return ::unlink(Enc(NativePath(FileName)).constData()) == 0;
}

bool RenameFile(const QString &OldName, const QString &NewName)
{
    if (IsDrivePath(OldName) || IsDrivePath(NewName) || OldName.isEmpty() || NewName.isEmpty())
        return false;
    // As on the original platform, an existing NewName makes the rename fail.
    return RenameNoFollow(NativePath(OldName), NativePath(NewName), true);
}

bool CopyFile(const QString &Source, const QString &Dest, bool FailIfExists)
{
    if (IsDrivePath(Source) || IsDrivePath(Dest) || Source.isEmpty() || Dest.isEmpty())
        return false;
    if (FailIfExists) {
        struct stat St {};
        if (StatPath(Dest, St, false)) {
            errno = EEXIST;
            return false;
        }
    }
    return CopyThroughTemp(Source, NativePath(Dest), FailIfExists);
}

QString CopyFileRenaming(const QString &Source, const QString &DestFolder)
{
    if (!FileExists(Source) || IsDrivePath(DestFolder))
        return QString();
    const QString Folder = IncludeTrailingPathDelimiter(NativePath(DestFolder));
    const QString Name = ExtractFileName(NativePath(Source));
    const QString Ext = ExtractFileExt(Name);
    const QString Stem = Name.left(Name.size() - Ext.size());
    for (int K = 1; K < 100000; ++K) {
        const QString Target = Folder + (K == 1 ? Name : QStringLiteral("%1(%2)%3").arg(Stem, QString::number(K), Ext));
        struct stat St {};
        if (StatPath(Target, St, false)) {
            if (S_ISREG(St.st_mode) && SameContent(Source, Target))
                return Target;
            continue;
        }
        if (CopyThroughTemp(Source, Target, true))
            return Target;
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

qint64 FileSizeOf(const QString &FileName)
{
    struct stat St {};
    if (!StatPath(FileName, St) || S_ISDIR(St.st_mode))
        return -1;
    return qint64(St.st_size);
}

TDateTime FileAgeDateTime(const QString &FileName)
{
    struct stat St {};
    if (!StatPath(FileName, St))
        return 0;
    return FromTimeSpec(St.st_mtim);
}

bool FileSetDate(const QString &FileName, TDateTime Age)
{
    if (FileName.isEmpty() || IsDrivePath(FileName))
        return false;
    QDateTime Local;
    try {
        Local = DateTimeToQDateTime(Age);
    } catch (const Exception &) {
        return false;
    }
    const qint64 MSecs = Local.toMSecsSinceEpoch();
    timespec Times[2];
    Times[0].tv_sec = 0;
    Times[0].tv_nsec = UTIME_OMIT;
    Times[1].tv_sec = time_t(MSecs / 1000);
    Times[1].tv_nsec = long(MSecs % 1000) * 1000000;
    if (Times[1].tv_nsec < 0) {
        Times[1].tv_nsec += 1000000000;
        Times[1].tv_sec -= 1;
    }
    return ::utimensat(AT_FDCWD, Enc(NativePath(FileName)).constData(), Times, 0) == 0;
}

qint64 FileAge(const QString &FileName)
{
    struct stat St {};
    if (!StatPath(ExcludeTrailingPathDelimiter(FileName), St))
        return -1;
    return UnixTimeToFileDate(qint64(St.st_mtime));
}

bool FileSetDosDate(const QString &FileName, quint32 FileDate)
{
    if (FileName.isEmpty() || IsDrivePath(FileName))
        return false;
    timespec Times[2];
    Times[0].tv_sec = Times[1].tv_sec = time_t(FileDateToUnixTime(FileDate));
    Times[0].tv_nsec = Times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, Enc(NativePath(FileName)).constData(), Times, AT_SYMLINK_NOFOLLOW) == 0;
}

qint64 DiskFree(const QString &Path)
{
    if (Path.isEmpty() || IsDrivePath(Path))
        return -1;
    struct statvfs V {};
    if (::statvfs(Enc(NativePath(Path)).constData(), &V) != 0)
        return -1;
    return qint64(V.f_bavail) * qint64(V.f_frsize ? V.f_frsize : V.f_bsize);
}

QString GetCurrentDir()
{
    return QDir::currentPath();
}

bool SetCurrentDir(const QString &Dir)
{
    if (Dir.isEmpty() || IsDrivePath(Dir))
        return false;
    return ::chdir(Enc(NativePath(Dir)).constData()) == 0;
}

QString GetTempFolder()
{
    return IncludeTrailingPathDelimiter(QDir::tempPath());
}

bool MadeReadOnly(const QString &FileName)
{
    if (FileName.isEmpty() || IsDrivePath(FileName))
        return false;
    struct stat St {};
    if (::stat(Enc(NativePath(FileName)).constData(), &St) != 0 || !S_ISREG(St.st_mode))
        return false;
    return (St.st_uid == ::geteuid() && !(St.st_mode & S_IWUSR)) || !(St.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

void CheckFileReplaceable(const QString &FileName)
{
    if (FileName.isEmpty() || IsDrivePath(FileName))
        return;
    const QByteArray Native = Enc(NativePath(FileName));
    struct stat St {};
    if (::stat(Native.constData(), &St) != 0 || !S_ISREG(St.st_mode))
        return;
    if (MadeReadOnly(FileName))
        throw EFCreateError(CannotCreateFileText(FileName, EACCES));
    if (::access(Native.constData(), W_OK) != 0)
        throw EFCreateError(CannotCreateFileText(FileName, errno));
}

bool WriteFileAtomic(const QString &FileName, const QByteArray &Bytes)
{
    if (FileName.isEmpty() || IsDrivePath(FileName)) {
        errno = ENOENT;
        return false;
    }
    const QString Target = ReplacedFile(NativePath(FileName));
    struct stat Old {};
    const bool Existed = ::stat(Enc(Target).constData(), &Old) == 0;
    if (Existed && S_ISDIR(Old.st_mode)) {
        errno = EISDIR;
        return false;
    }
    QString TempName;
    const int Fd = CreateTempBeside(Target, TempName);
    if (Fd < 0)
        return false;
    bool Ok = WriteAll(Fd, Bytes.constData(), Bytes.size());
    if (Ok && Existed)
        KeepOwnerAndMode(Fd, Old);
    if (Ok)
        Ok = ::fsync(Fd) == 0;
    // Renamed (or removed) while its descriptor still holds the lock: a sweep
    // never finds the temporary name unlocked. The data is on the disk once
    // fsync succeeded; the close after it only lets go of the file.
    if (Ok)
        Ok = ::rename(Enc(TempName).constData(), Enc(Target).constData()) == 0;
    if (!Ok) {
        ErrnoKeeper K;
        ::unlink(Enc(TempName).constData());
    }
    {
        ErrnoKeeper K;
        ::close(Fd);
    }
    return Ok;
}

QByteArray ReadFileBytes(const QString &FileName, bool *Ok)
{
    if (Ok)
        *Ok = false;
    if (FileName.isEmpty() || IsDrivePath(FileName)) {
        errno = ENOENT;
        return QByteArray();
    }
    const int Fd = ::open(Enc(NativePath(FileName)).constData(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        return QByteArray();
    struct stat St {};
    if (::fstat(Fd, &St) != 0 || S_ISDIR(St.st_mode)) {
        ErrnoKeeper K;
        if (S_ISDIR(St.st_mode))
            K.Saved = EISDIR;
        ::close(Fd);
        return QByteArray();
    }
    QByteArray Out;
    if (S_ISREG(St.st_mode) && St.st_size > 0 && St.st_size < (qint64(1) << 31))
        Out.reserve(qsizetype(St.st_size));
    char Buf[64 * 1024];
    for (;;) {
        const ssize_t N = ::read(Fd, Buf, sizeof Buf);
        if (N < 0 && errno == EINTR)
            continue;
        if (N < 0) {
            ErrnoKeeper K;
            ::close(Fd);
            return QByteArray();
        }
        if (N == 0)
            break;
        Out.append(Buf, N);
    }
    ::close(Fd);
    if (Ok)
        *Ok = true;
    return Out;
}

// ------------------------------------------------------------ emptying folders

namespace {

// Removes everything inside the open folder Dir, never following a link.
bool EmptyAt(int DirFd, bool KeepFolders, const std::string &KeepName = {})
{
    DIR *D = ::fdopendir(DirFd);
    if (!D) {
        ::close(DirFd);
        return false;
    }
    bool Ok = true;
    // The folder tells each entry's type: only an entry of unknown type is
    // asked for it (one call less for each file of a large folder).
    std::vector<std::pair<std::string, unsigned char>> Names;
    while (dirent *E = ::readdir(D)) {
        const std::string N = E->d_name;
        if (N != "." && N != ".." && N != KeepName)
            Names.emplace_back(N, E->d_type);
    }
    const int Fd = ::dirfd(D);
    for (const auto &[N, Type] : Names) {
        bool Folder = Type == DT_DIR;
        if (Type == DT_UNKNOWN) {
            struct stat St {};
            if (::fstatat(Fd, N.c_str(), &St, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT)
                    Ok = false;
                continue;
            }
            Folder = S_ISDIR(St.st_mode);
        }
        if (!Folder) {
            if (::unlinkat(Fd, N.c_str(), 0) == 0 || errno == ENOENT)
                continue;
            // A folder by now (it took the listed entry's place) is emptied as one.
            if (errno != EISDIR) {
                Ok = false;
                if (KeepFolders)
                    break;
                continue;
            }
        }
        const int Sub = ::openat(Fd, N.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (Sub < 0 || !EmptyAt(Sub, KeepFolders)) {
            Ok = false;
            continue;
        }
        if (!KeepFolders && ::unlinkat(Fd, N.c_str(), AT_REMOVEDIR) != 0)
            Ok = false;
    }
    ::closedir(D);
    return Ok;
}

QString RealFolder(const QString &Path)
{
    if (Path.isEmpty())
        return QString();
    char Buf[PATH_MAX];
    if (!::realpath(Enc(Path).constData(), Buf))
        return QString();
    return QFile::decodeName(Buf);
}

// True when Inner is Outer or lies below it (both real paths).
bool IsSameOrBelow(const QString &Inner, const QString &Outer)
{
    if (Inner.isEmpty() || Outer.isEmpty())
        return false;
    if (Inner == Outer || Outer == QLatin1String("/"))
        return true;
    return Inner.startsWith(Outer + QLatin1Char('/'));
}

// Folders that must never be emptied: "/", the home folder and anything above
// it, the program folder and anything above it.
bool IsProtectedFolder(const QString &Real)
{
    if (Real == QLatin1String("/"))
        return true;
    QStringList Guarded;
    Guarded << RealFolder(QString::fromLocal8Bit(qgetenv("HOME")));
    if (const passwd *Pw = ::getpwuid(::getuid()))
        Guarded << RealFolder(QFile::decodeName(Pw->pw_dir));
    Guarded << RealFolder(ProgramFolder());
    for (const QString &G : Guarded)
        if (!G.isEmpty() && IsSameOrBelow(G, Real))
            return true;
    return false;
}

} // namespace

bool EmptyFolder(const QString &Folder, bool KeepFolders, const QString &KeepFile)
{
    if (Folder.isEmpty() || IsDrivePath(Folder))
        return false;
    const QString Path = ExcludeTrailingPathDelimiter(NativePath(Folder));
    struct stat St {};
    // A link to a folder is not emptied: that would follow it.
    if (::lstat(Enc(Path).constData(), &St) != 0 || !S_ISDIR(St.st_mode))
        return false;
    const QString Real = RealFolder(Path);
    if (Real.isEmpty() || IsProtectedFolder(Real))
        return false;
    const int Fd = ::open(Enc(Path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0)
        return false;
    return EmptyAt(Fd, KeepFolders, Enc(KeepFile).toStdString());
}

bool DeleteFolderTree(const QString &Folder)
{
    if (!EmptyFolder(Folder))
        return false;
    return RemoveDir(ExcludeTrailingPathDelimiter(NativePath(Folder)));
}

// -------------------------------------------------------------- enumeration

namespace {

bool MatchFrom(const QString &Name, qsizetype N, const QString &Mask, qsizetype M)
{
    while (M < Mask.size()) {
        const QChar C = Mask[M];
        if (C == QLatin1Char('*')) {
            while (M < Mask.size() && Mask[M] == QLatin1Char('*'))
                ++M;
            if (M == Mask.size())
                return true;
            for (qsizetype K = N; K <= Name.size(); ++K)
                if (MatchFrom(Name, K, Mask, M))
                    return true;
            return false;
        }
        if (N >= Name.size())
            return false;
        if (C != QLatin1Char('?') && QString::compare(QString(C), QString(Name[N]), Qt::CaseInsensitive) != 0)
            return false;
        ++M;
        ++N;
    }
    return N == Name.size();
}

int AttrOf(const QString &FullPath, const QString &Name, struct stat &St, bool &Exists)
{
    Exists = false;
    struct stat L {};
    const QByteArray P = Enc(FullPath);
    if (::lstat(P.constData(), &L) != 0)
        return 0;
    Exists = true;
    int A = 0;
    if (S_ISLNK(L.st_mode)) {
        A |= faSymLink;
        if (::stat(P.constData(), &St) != 0)
            St = L;   // a dangling link reports itself
    } else {
        St = L;
    }
    if (S_ISDIR(St.st_mode))
        A |= faDirectory;
    else
        A |= faArchive;
    if (!(St.st_mode & S_IWUSR))
        A |= faReadOnly;
    if (Name.startsWith(QLatin1Char('.')) && Name != QLatin1String(".") && Name != QLatin1String(".."))
        A |= faHidden;
    if (!S_ISDIR(St.st_mode) && !S_ISREG(St.st_mode))
        A |= faSysFile;
    return A;
}

bool Wanted(int EntryAttr, int Asked)
{
    // Hidden, system and folder entries appear only when asked for.
    const int Excluded = (faHidden | faSysFile | faDirectory) & ~Asked;
    return (EntryAttr & Excluded) == 0;
}

constexpr int ErrorFileNotFound = 2;
constexpr int ErrorPathNotFound = 3;
constexpr int ErrorNoMoreFiles = 18;

} // namespace

bool MatchesMask(const QString &FileName, const QString &Mask)
{
    if (MatchFrom(FileName, 0, Mask, 0))
        return true;
    // "name.*" also matches "name" without an extension, "*.*" every name.
    if (Mask.endsWith(QLatin1String(".*")) && !FileName.contains(QLatin1Char('.')))
        return MatchFrom(FileName, 0, Mask.left(Mask.size() - 2), 0);
    return false;
}

int FindFirst(const QString &Path, int Attr, TSearchRec &F)
{
    F = TSearchRec();
    if (IsDrivePath(Path))
        return ErrorPathNotFound;
    const QString Native = NativePath(Path);
    F.FindPath = ExtractFilePath(Native);
    F.Mask = ExtractFileName(Native);
    F.Attrs = Attr;
    const QString Dir = F.FindPath.isEmpty() ? QStringLiteral(".") : F.FindPath;
    DIR *D = ::opendir(Enc(Dir).constData());
    if (!D)
        return ErrorPathNotFound;
    QStringList Names;
    while (dirent *E = ::readdir(D)) {
        const QByteArray Raw(E->d_name);
        const QString N = QFile::decodeName(Raw);
        if (QFile::encodeName(N) != Raw) {
            F.Undecodable << N;
            continue;
        }
        if ((N == QLatin1String(".") || N == QLatin1String("..")) && !(Attr & faDirectory))
            continue;
        if (MatchesMask(N, F.Mask))
            Names << N;
    }
    ::closedir(D);
    std::sort(Names.begin(), Names.end(), [](const QString &A, const QString &B) {
        const bool DotA = A == QLatin1String(".") || A == QLatin1String("..");
        const bool DotB = B == QLatin1String(".") || B == QLatin1String("..");
        if (DotA != DotB)
            return DotA;
        const int C = A.compare(B, Qt::CaseInsensitive);
        return C != 0 ? C < 0 : A < B;
    });
    F.Pending = Names;
    return FindNext(F) == 0 ? 0 : ErrorFileNotFound;
}

int FindNext(TSearchRec &F)
{
    while (!F.Pending.isEmpty()) {
        const QString N = F.Pending.takeFirst();
        struct stat St {};
        bool Exists = false;
        const QString Dir = F.FindPath.isEmpty() ? QStringLiteral("./") : F.FindPath;
        const int A = AttrOf(Dir + N, N, St, Exists);
        if (!Exists || !Wanted(A, F.Attrs))
            continue;
        F.Name = N;
        F.Attr = A;
        F.Size = S_ISDIR(St.st_mode) ? 0 : qint64(St.st_size);
        F.Time = FromTimeSpec(St.st_mtim);
        F.UnixTime = qint64(St.st_mtim.tv_sec);
        F.Mode = quint32(St.st_mode);
        return 0;
    }
    return ErrorNoMoreFiles;
}

void FindClose(TSearchRec &F)
{
    F.Pending.clear();
}

// ------------------------------------------------------------ program folder

namespace {

std::mutex FolderLock;
QString ProgramFolderValue;
QString ScratchValue;

QString ComputeProgramFolder()
{
    const QByteArray Home = qgetenv("QUILLBOOK_HOME");
    if (!Home.isEmpty())
        return IncludeTrailingPathDelimiter(ExpandFileName(QFile::decodeName(Home)));
    char Buf[PATH_MAX];
    const ssize_t N = ::readlink("/proc/self/exe", Buf, sizeof Buf - 1);
    if (N > 0) {
        Buf[N] = 0;
        return ExtractFilePath(QFile::decodeName(Buf));
    }
    return IncludeTrailingPathDelimiter(QDir::currentPath());
}

} // namespace

QString ProgramFolder()
{
    std::lock_guard<std::mutex> G(FolderLock);
    if (ProgramFolderValue.isEmpty())
        ProgramFolderValue = ComputeProgramFolder();
    return ProgramFolderValue;
}

void SetProgramFolder(const QString &Folder)
{
    std::lock_guard<std::mutex> G(FolderLock);
    ProgramFolderValue = Folder.isEmpty() ? QString() : IncludeTrailingPathDelimiter(ExpandFileName(Folder));
}

namespace {

int ScratchLock = -1;
QString ScratchLockPath;

// The lock file of a scratch folder lies beside it, not inside: the program
// empties its scratch folder now and then.
QString LockOf(const QString &Folder)
{
    return ExcludeTrailingPathDelimiter(Folder) + QStringLiteral(".lock");
}

// Removes from Root the scratch folders ("run-<host>-<pid>-<tag>", each with
// its lock file "run-<host>-<pid>-<tag>.lock") of programs that no longer hold
// them: a program that was killed never removed its own. A folder of a
// program that runs here or holds its lock, a recent one of another machine
// (a program folder on a shared disk), one of another user, a link or
// anything else stays.
void RemoveStaleScratchFolders(const QString &Root)
{
    const uid_t Owner = ::geteuid();
    const QByteArray Dir = Enc(Root);
    DIR *D = ::opendir(Dir.constData());
    if (!D)
        return;
    struct TFound {
        QString Host;
        long Pid = 0;
        qint64 Changed = 0;
        bool Folder = false;
    };
    QMap<QString, TFound> Found;
    while (const dirent *E = ::readdir(D)) {
        const QString Name = QFile::decodeName(E->d_name);
        static const QRegularExpression Pattern(
            QStringLiteral("^(run-([0-9a-z]{1,16})-([0-9]{1,10})-[0-9a-z]{1,16})(\\.lock)?$"));
        const QRegularExpressionMatch M = Pattern.match(Name);
        if (!M.hasMatch())
            continue;
        const bool IsLock = M.capturedLength(4) > 0;
        struct stat St {};
        if (::lstat((Dir + E->d_name).constData(), &St) != 0 || St.st_uid != Owner
            || !(IsLock ? S_ISREG(St.st_mode) : S_ISDIR(St.st_mode)))
            continue;
        TFound &F = Found[M.captured(1)];
        F.Host = M.captured(2);
        F.Pid = M.captured(3).toLong();
        F.Changed = qMax(F.Changed, qint64(St.st_ctim.tv_sec));
        F.Folder = F.Folder || !IsLock;
    }
    ::closedir(D);
    const qint64 Grace = OtherHostFolderGrace();
    for (auto I = Found.cbegin(); I != Found.cend(); ++I) {
        const TFound &F = I.value();
        if (!LeftBehind(F.Host, F.Pid, F.Changed, Grace))
            continue;
        const QString Folder = Root + I.key();
        const QByteArray Lock = Enc(LockOf(Folder));
        // A folder whose program holds its lock stays; one without a lock
        // file is judged by its name and age alone.
        int Fd = -1;
        struct stat St {};
        if (::lstat(Lock.constData(), &St) == 0 && (Fd = LockIfFree(Lock, &St)) < 0)
            continue;
        if (!F.Folder || DeleteFolderTree(Folder))
            ::unlink(Lock.constData());
        if (Fd >= 0)
            ::close(Fd);
    }
}

} // namespace

QString ScratchFolder()
{
    const QString Program = ProgramFolder();
    QString Made, Root;
    {
        std::lock_guard<std::mutex> G(FolderLock);
        if (!ScratchValue.isEmpty() && DirectoryExists(ScratchValue))
            return ScratchValue;
        // Each running program gets its own folder, so two programs never remove
        // each other's scratch files. When the program folder is not writable the
        // system's temporary folder takes its place.
        const QStringList Roots = {Program + QStringLiteral("tmp/"), GetTempFolder() + QStringLiteral("quillbook/")};
        for (int R = 0; R < Roots.size() && Made.isEmpty(); ++R) {
            if (!ForceDirectories(Roots.at(R)))
                continue;
            for (int Attempt = 0; Attempt < 100; ++Attempt) {
                // Named for this machine and process, and held by a lock as
                // long as the program runs, taken before the folder is made:
                // another program sharing the program folder (from another
                // machine too) never takes it for a leftover.
                const QString Candidate = Roots.at(R) + QStringLiteral("run-%1-%2-%3/")
                                                            .arg(HostIdentity())
                                                            .arg(::getpid())
                                                            .arg(QString::number(RandomTag() % 0x7FFFFFFF, 36));
                const QString LockPath = LockOf(Candidate);
                const int Lock = ::open(Enc(LockPath).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                if (Lock < 0) {
                    if (errno == EEXIST)
                        continue;
                    break;
                }
                ::flock(Lock, LOCK_EX | LOCK_NB);
                if (::mkdir(Enc(Candidate).constData(), 0700) == 0) {
                    if (ScratchLock >= 0) {
                        ::close(ScratchLock);
                        ::unlink(Enc(ScratchLockPath).constData());
                    }
                    ScratchLock = Lock;
                    ScratchLockPath = LockPath;
                    ScratchValue = Made = Candidate;
                    Root = Roots.at(R);
                    // Also gone when the program ends without calling RemoveScratchFolder.
                    static std::once_flag AtExit;
                    std::call_once(AtExit, [] { std::atexit(RemoveScratchFolder); });
                    break;
                }
                const int Err = errno;
                ::unlink(Enc(LockPath).constData());
                ::close(Lock);
                if (Err != EEXIST)
                    break;
            }
        }
    }
    if (Made.isEmpty())
        throw EInOutError(QStringLiteral("无法在“%1”下创建临时文件夹。").arg(Program + QStringLiteral("tmp/")));
    // Outside the lock: removing a folder asks for the program folder.
    RemoveStaleScratchFolders(Root);
    return Made;
}

void RemoveScratchFolder()
{
    QString Folder, LockPath;
    int Lock = -1;
    {
        std::lock_guard<std::mutex> G(FolderLock);
        Folder = ScratchValue;
        ScratchValue.clear();
        LockPath = ScratchLockPath;
        ScratchLockPath.clear();
        Lock = ScratchLock;
        ScratchLock = -1;
    }
    if (!Folder.isEmpty())
        DeleteFolderTree(Folder);
    // The lock goes last: the folder was ours until it was gone.
    if (Lock >= 0) {
        ::unlink(Enc(LockPath).constData());
        ::close(Lock);
    }
}
