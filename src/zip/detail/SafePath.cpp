#include "SafePath.h"

#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ZipDetail {

// Most member names are such a path.
bool IsPlainRelativePath(const QString &Path)
{
    qsizetype Start = 0;
    const qsizetype N = Path.size();
    if (N == 0)
        return false;
    for (qsizetype I = 0; I <= N; ++I) {
        const QChar C = I < N ? Path.at(I) : QLatin1Char('/');
        if (C.unicode() == 0)
            return false;
        if (C != QLatin1Char('/') && C != QLatin1Char('\\'))
            continue;
        const qsizetype Len = I - Start;
        if (Len == 0 || (Len == 1 && Path.at(Start) == QLatin1Char('.'))
            || (Len == 2 && Path.at(Start) == QLatin1Char('.') && Path.at(Start + 1) == QLatin1Char('.')))
            return false;
        Start = I + 1;
    }
    return true;
}

QString CleanRelativePath(const QString &Path, bool IsFolder)
{
    if (IsPlainRelativePath(Path)) {
        QString R = Path;
        R.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (IsFolder)
            R += QLatin1Char('/');
        return R;
    }
    if (Path.contains(QChar(0)))
        return QString();
    QString P = Path;
    P.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QStringList Parts;
    for (const QString &Part : P.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (Part == QLatin1String("."))
            continue;
        if (Part == QLatin1String(".."))
            return QString();
        Parts << Part;
    }
    if (Parts.isEmpty())
        return QString();
    QString R = Parts.join(QLatin1Char('/'));
    if (IsFolder)
        R += QLatin1Char('/');
    return R;
}

QString JoinPath(const QString &Base, const QString &Relative)
{
    QString R;
    R.reserve(Base.size() + 1 + Relative.size());
    R += Base;
    if (!Base.endsWith(QLatin1Char('/')))
        R += QLatin1Char('/');
    R += Relative;
    return R;
}

bool MakeFoldersInside(const QString &Base, const QString &Folder)
{
    QString B = Base;
    while (B.size() > 1 && B.endsWith(QLatin1Char('/')))
        B.chop(1);
    // A path the system cannot name is refused before any folder is made.
    if (QFile::encodeName(Folder).size() >= PATH_MAX)
        return false;
    if (!DirectoryExists(B) && !ForceDirectories(B))
        return false;
    // Folder is Base itself or below it; "/base2" is not below "/base".
    if (!Folder.startsWith(B) || (Folder.size() > B.size() && B != QLatin1String("/") && Folder.at(B.size()) != QLatin1Char('/')))
        return false;
    const QString Rest = Folder.mid(B.size());
    // Each part is looked up in the folder opened before it, so a deep
    // chain costs one step per part, not a walk from the base for each.
    int Dir = ::open(QFile::encodeName(B == QLatin1String("/") ? B : B + QLatin1Char('/')).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Dir < 0)
        return false;
    bool Ok = true;
    for (const QString &Part : Rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QByteArray C = QFile::encodeName(Part);
        struct stat St;
        if (::fstatat(Dir, C.constData(), &St, AT_SYMLINK_NOFOLLOW) != 0) {
            if (::mkdirat(Dir, C.constData(), 0777) != 0 && errno != EEXIST) {
                Ok = false;
                break;
            }
            if (::fstatat(Dir, C.constData(), &St, AT_SYMLINK_NOFOLLOW) != 0) {
                Ok = false;
                break;
            }
        }
        if (S_ISLNK(St.st_mode) || !S_ISDIR(St.st_mode)) {
            Ok = false;
            break;
        }
        const int Next = ::openat(Dir, C.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(Dir);
        Dir = Next;
        if (Dir < 0) {
            Ok = false;
            break;
        }
    }
    if (Dir >= 0)
        ::close(Dir);
    return Ok;
}

TempFile::TempFile(const QString &Folder, bool KeepOpen)
{
    QString F = Folder.isEmpty() ? QStringLiteral("./") : Folder;
    if (!F.endsWith(QLatin1Char('/')))
        F += QLatin1Char('/');
#ifdef O_TMPFILE
    // Linking it in place later goes through the process's descriptor folder.
    static const bool CanLink = ::access("/proc/self/fd", X_OK) == 0;
    if (KeepOpen && CanLink) {
        const int Fd = ::open(QFile::encodeName(F).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (Fd >= 0) {
            // Locked for the moment it has a temporary name in RenameTo.
            ::flock(Fd, LOCK_EX | LOCK_NB);
            FFd = Fd;
            FUnnamed = true;
            FFolder = F;
            return;
        }
    }
#endif
    // Named as the outputs name their temporary files, so that what a killed
    // program left here is known as such and removed by the next output or
    // save; locked until it is in place or removed, so that no sweep takes it
    // while it is written, by name, perhaps by another descriptor.
    int Fd = -1;
    QString Name;
    for (int Attempt = 0; Attempt < 100 && Fd < 0; ++Attempt) {
        Name = TempNameBeside(F + QStringLiteral("qbz"));
        Fd = ::open(QFile::encodeName(Name).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (Fd < 0 && errno != EEXIST)
            return;
    }
    if (Fd < 0)
        return;
    ::flock(Fd, LOCK_EX | LOCK_NB);
    if (KeepOpen)
        FFd = Fd;
    else
        FLock = Fd;
    FPath = Name;
}

TempFile::~TempFile()
{
    Remove();
}

bool TempFile::CloseFile()
{
    if (FFd < 0 || FUnnamed)
        return true;
    const int Fd = FFd;
    FFd = -1;
    return ::close(Fd) == 0;
}

bool TempFile::RenameTo(const QString &Target, int *KeepLock)
{
    if (KeepLock)
        *KeepLock = -1;
    if (FUnnamed) {
        const QByteArray Self = "/proc/self/fd/" + QByteArray::number(FFd);
        const QByteArray To = QFile::encodeName(Target);
        if (::linkat(AT_FDCWD, Self.constData(), AT_FDCWD, To.constData(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno != EEXIST)
                return false;
            // Over an existing file: a unique name beside it, then the rename.
            QByteArray Beside;
            for (int I = 0;; ++I) {
                if (I == 100)
                    return false;
                Beside = QFile::encodeName(TempNameBeside(FFolder + QStringLiteral("qbz")));
                if (::linkat(AT_FDCWD, Self.constData(), AT_FDCWD, Beside.constData(), AT_SYMLINK_FOLLOW) == 0)
                    break;
                if (errno != EEXIST)
                    return false;
            }
            if (::rename(Beside.constData(), To.constData()) != 0) {
                ::unlink(Beside.constData());
                return false;
            }
        }
        // In place and complete: closing cannot lose it any more.
        FUnnamed = false;
        if (KeepLock)
            *KeepLock = FFd;
        else
            ::close(FFd);
        FFd = -1;
        return true;
    }
    if (FPath.isEmpty() || !CloseFile())
        return false;
    if (::rename(QFile::encodeName(FPath).constData(), QFile::encodeName(Target).constData()) != 0)
        return false;
    FPath.clear();
    if (KeepLock) {
        *KeepLock = FLock;
        FLock = -1;
    }
    ReleaseLock();
    return true;
}

void TempFile::ReleaseLock()
{
    if (FLock >= 0)
        ::close(FLock);
    FLock = -1;
}

void TempFile::Remove()
{
    if (FUnnamed) {
        // A file without a name goes with its descriptor.
        ::close(FFd);
        FFd = -1;
        FUnnamed = false;
    }
    CloseFile();
    if (!FPath.isEmpty())
        ::unlink(QFile::encodeName(FPath).constData());
    FPath.clear();
    ReleaseLock();
}

unsigned AttributeMode(bool Retain, quint16 VersionMadeBy, quint32 External)
{
    static const mode_t Mask = [] {
        const mode_t M = ::umask(022);
        ::umask(M);
        return M;
    }();
    mode_t Mode = 0666 & ~Mask;
    if (Retain) {
        const mode_t UnixMode = mode_t((External >> 16) & 0777);
        // Every member becomes a plain file here: the mode of a link (always
        // 0777), a folder or a device says nothing about a file, so only a
        // regular file's mode (or bare permissions without a type) is taken.
        const mode_t Type = mode_t((External >> 16) & S_IFMT);
        if ((VersionMadeBy >> 8) == 3 && UnixMode != 0 && (Type == 0 || Type == S_IFREG))
            Mode = UnixMode;
        else if (External & 0x01)
            Mode &= ~mode_t(0222);
    }
    return Mode;
}

void ApplyAttributes(const QString &Path, bool Retain, quint16 VersionMadeBy, quint32 External)
{
    ::chmod(QFile::encodeName(Path).constData(), mode_t(AttributeMode(Retain, VersionMadeBy, External)));
}

} // namespace ZipDetail
