#include "OutputFiles.h"

#include "FileUtils.h"
#include "SysUtils.h"
#include "Types.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <random>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Enc(const QString &Path)
{
    return QFile::encodeName(Path);
}

int ReadWriteCopy(int In, int Out)
{
    constexpr size_t Size = 256 * 1024;
    const std::unique_ptr<char[]> Buf(new char[Size]);
    for (;;) {
        const ssize_t N = ::read(In, Buf.get(), Size);
        if (N < 0 && errno == EINTR)
            continue;
        if (N < 0)
            return errno;
        if (N == 0)
            return 0;
        if (!WriteAll(Out, Buf.get(), N))
            return errno;
    }
}

// Starts writing the file's data to the disk without waiting for it, so that
// the sync at the end of the output finds most of it written already.
void StartWriteback(int Fd)
{
    ::sync_file_range(Fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

int SyncFile(const QString &Path, bool Folder)
{
    const int Fd = ::open(Enc(Path).constData(), (Folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (Fd < 0)
        return errno;
    const int Result = (Folder ? ::fsync(Fd) : ::fdatasync(Fd)) == 0 ? 0 : errno;
    ::close(Fd);
    return Result;
}

} // namespace

namespace {
std::atomic<quint64> Counter{0};
} // namespace

QString TempNameBeside(const QString &Target)
{
    static thread_local std::mt19937_64 Gen{std::random_device{}()};
    return ExtractFilePath(Target)
        + QStringLiteral(".%1.%2-%3.tmp")
              .arg(ExtractFileName(Target))
              .arg(::getpid())
              .arg(QString::number(Gen() ^ ++Counter, 36));
}

int RemoveLeftoverTemps(const QString &Folder)
{
    const QByteArray Dir = Enc(IncludeTrailingPathDelimiter(Folder.isEmpty() ? QStringLiteral(".") : Folder));
    DIR *D = ::opendir(Dir.constData());
    if (!D)
        return 0;
    const pid_t Self = ::getpid();
    const uid_t Owner = ::geteuid();
    int Removed = 0;
    while (const dirent *E = ::readdir(D)) {
        // ".<name>.<pid>-<tag>.tmp": the pid in decimal, the tag in base 36.
        const std::string_view Name(E->d_name);
        if (Name.size() < 9 || Name.front() != '.' || !Name.ends_with(".tmp"))
            continue;
        const std::string_view Stem = Name.substr(0, Name.size() - 4);
        const size_t Dash = Stem.rfind('-');
        if (Dash == std::string_view::npos || Dash + 1 == Stem.size())
            continue;
        const std::string_view Tag = Stem.substr(Dash + 1);
        if (!std::all_of(Tag.begin(), Tag.end(), [](char C) { return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'z'); }))
            continue;
        const size_t Dot = Stem.rfind('.', Dash);
        if (Dot == std::string_view::npos || Dot < 2 || Dot + 1 == Dash)
            continue;
        const std::string_view Digits = Stem.substr(Dot + 1, Dash - Dot - 1);
        if (Digits.size() > 9 || !std::all_of(Digits.begin(), Digits.end(), [](char C) { return C >= '0' && C <= '9'; }))
            continue;
        const pid_t Pid = pid_t(std::stol(std::string(Digits)));
        // A program that runs, ours included, may still be writing it; one we
        // may not look at runs as another user.
        if (Pid == Self || ProcessMayRun(Pid))
            continue;
        const QByteArray Path = Dir + QByteArray(Name.data(), qsizetype(Name.size()));
        struct stat St {};
        if (::lstat(Path.constData(), &St) != 0 || !S_ISREG(St.st_mode) || St.st_uid != Owner)
            continue;
        if (::unlink(Path.constData()) == 0)
            ++Removed;
    }
    ::closedir(D);
    return Removed;
}

bool ProcessMayRun(long Pid)
{
    return Pid <= 0 || Pid > INT_MAX || ::kill(pid_t(Pid), 0) == 0 || errno != ESRCH;
}

int CreateTempBeside(const QString &Target, QString &Temp)
{
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
        Temp = TempNameBeside(Target);
        const int Fd = ::open(Enc(Temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Fd >= 0 || errno != EEXIST)
            return Fd;
    }
    return -1;
}

bool WriteAll(int Fd, const char *Data, qint64 Size)
{
    while (Size > 0) {
        const ssize_t N = ::write(Fd, Data, size_t(qMin<qint64>(Size, qint64(1) << 30)));
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0) {
            // A write that takes nothing: the disk has no room left.
            if (N == 0)
                errno = ENOSPC;
            return false;
        }
        Data += N;
        Size -= N;
    }
    return true;
}

int CopyFileData(int In, int Out)
{
    // A reflink shares the blocks: no data moves at all. It takes the whole
    // file, so only for a copy from the start into an empty file.
    struct stat St {};
    if (::lseek(In, 0, SEEK_CUR) == 0 && ::fstat(Out, &St) == 0 && St.st_size == 0
        && ::ioctl(Out, FICLONE, In) == 0)
        return 0;
    bool First = true;
    for (;;) {
        const ssize_t N = ::copy_file_range(In, nullptr, Out, nullptr, size_t(1) << 30, 0);
        if (N > 0) {
            First = false;
            continue;
        }
        if (N == 0)
            return 0;
        if (errno == EINTR)
            continue;
        // No kernel copy between these files (another file system on an old
        // kernel, a special file): the ordinary way, from where it stopped.
        if (First && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF))
            return ReadWriteCopy(In, Out);
        return errno;
    }
}

QString CopyFailedText(const QString &Source, const QString &Dest, int ErrorCode)
{
    return QStringLiteral("不能复制文件“%1”到“%2”。").arg(Source, Dest) + SysErrorMessage(ErrorCode);
}

TOutputFiles::TOutputFiles(bool Durable) : FDurable(Durable)
{
}

TOutputFiles::~TOutputFiles()
{
    Discard();
}

void TOutputFiles::Copy(const QString &Source, const QString &Dest)
{
    const QString Target = NativePath(Dest);
    const int In = ::open(Enc(NativePath(Source)).constData(), O_RDONLY | O_CLOEXEC);
    if (In < 0)
        throw EInOutError(CopyFailedText(Source, Target, errno));
    struct stat St {};
    if (::fstat(In, &St) != 0 || !S_ISREG(St.st_mode)) {
        const int Err = S_ISDIR(St.st_mode) ? EISDIR : (errno ? errno : EINVAL);
        ::close(In);
        throw EInOutError(CopyFailedText(Source, Target, Err));
    }
    SweepFolderOf(Target);
    QString Temp;
    const int Out = CreateTempBeside(Target, Temp);
    if (Out < 0) {
        const int Err = errno;
        ::close(In);
        throw EInOutError(CopyFailedText(Source, Target, Err));
    }
    int Err = CopyFileData(In, Out);
    ::close(In);
    if (Err == 0 && FDurable)
        StartWriteback(Out);
    if (::close(Out) != 0 && Err == 0)
        Err = errno;
    if (Err != 0) {
        ::unlink(Enc(Temp).constData());
        throw EInOutError(CopyFailedText(Source, Target, Err));
    }
    FEntries.push_back({Temp, Target});
    FTargets.insert(Target);
}

QString TOutputFiles::Create(const QString &Dest)
{
    const QString Target = NativePath(Dest);
    SweepFolderOf(Target);
    QString Temp;
    const int Fd = CreateTempBeside(Target, Temp);
    if (Fd < 0)
        throw EFCreateError(CannotCreateFileText(Target, errno));
    ::close(Fd);
    FEntries.push_back({Temp, Target});
    FTargets.insert(Target);
    return Temp;
}

QString TOutputFiles::Reserve(const QString &Dest)
{
    const QString Target = NativePath(Dest);
    SweepFolderOf(Target);
    QString Temp;
    struct stat St {};
    do
        Temp = TempNameBeside(Target);
    while (::lstat(Enc(Temp).constData(), &St) == 0);
    FEntries.push_back({Temp, Target});
    FTargets.insert(Target);
    return Temp;
}

void TOutputFiles::SweepFolderOf(const QString &Target)
{
    const QString Folder = ExtractFilePath(Target);
    if (FSwept.contains(Folder))
        return;
    FSwept.insert(Folder);
    RemoveLeftoverTemps(Folder);
}

void TOutputFiles::Commit()
{
    if (FDurable) {
        // Every file's data first (the writeback of most of it started as it
        // was written), so that no final name can stand for a half file.
        for (const TEntry &E : FEntries) {
            if (const int Err = SyncFile(E.Temp, false)) {
                const QString Target = E.Target;
                Discard();
                throw EInOutError(CannotCreateFileText(Target, Err));
            }
        }
    }
    QSet<QString> Folders;
    for (size_t I = 0; I < FEntries.size(); ++I) {
        const TEntry &E = FEntries[I];
        if (::rename(Enc(E.Temp).constData(), Enc(E.Target).constData()) != 0) {
            const int Err = errno;
            const QString Target = E.Target;
            FEntries.erase(FEntries.begin(), FEntries.begin() + qsizetype(I));
            Discard();
            throw EInOutError(CannotCreateFileText(Target, Err));
        }
        Folders.insert(ExtractFilePath(E.Target));
    }
    if (FDurable) {
        for (const QString &F : std::as_const(Folders))
            SyncFile(F, true);
    }
    FEntries.clear();
    FTargets.clear();
}

void TOutputFiles::Discard()
{
    for (const TEntry &E : FEntries)
        ::unlink(Enc(E.Temp).constData());
    FEntries.clear();
    FTargets.clear();
}

QStringList TOutputFiles::Targets() const
{
    QStringList R;
    for (const TEntry &E : FEntries)
        R << E.Target;
    return R;
}

bool TOutputFiles::Has(const QString &Dest) const
{
    return FTargets.contains(NativePath(Dest));
}
