#include "OutputFiles.h"

#include "FileUtils.h"
#include "SysUtils.h"
#include "Types.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <random>
#include <signal.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
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
std::atomic<qint64> GraceOverride{-1};

// What no name of the user's carries: only this program writes it.
constexpr std::string_view Marker = ".qbtmp-";

bool IsToken(std::string_view Text, size_t Max)
{
    return !Text.empty() && Text.size() <= Max
        && std::all_of(Text.begin(), Text.end(), [](char C) { return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'z'); });
}

bool IsNumber(std::string_view Text)
{
    return !Text.empty() && Text.size() <= 10
        && std::all_of(Text.begin(), Text.end(), [](char C) { return C >= '0' && C <= '9'; });
}

QByteArray FileText(const char *Path)
{
    QFile F(QString::fromLatin1(Path));
    return F.open(QIODevice::ReadOnly) ? F.read(256).trimmed() : QByteArray();
}

QString Token(const QByteArray &Source)
{
    const std::string_view Text(Source.constData(), size_t(Source.size()));
    if (IsToken(Text, 16))
        return QString::fromLatin1(Source);
    // FNV-1a: the same text gives the same token on every machine.
    quint64 Hash = 14695981039346656037ULL;
    for (const char C : Text) {
        Hash ^= quint8(C);
        Hash *= 1099511628211ULL;
    }
    return QString::number(Hash & 0xFFFFFFFFFFFFULL, 36);
}

QString OwnHostIdentity()
{
    // A copy of a system image may share the machine identity, and the first
    // pid namespace has the same number everywhere: together with the host
    // name they tell the machines apart. A sandbox has its own pid namespace.
    QByteArray Facts = FileText("/etc/machine-id");
    if (Facts.isEmpty())
        Facts = FileText("/var/lib/dbus/machine-id");
    char Host[256] = {};
    if (::gethostname(Host, sizeof Host - 1) == 0)
        Facts += '|' + QByteArray(Host);
    char Ns[64] = {};
    if (::readlink("/proc/self/ns/pid", Ns, sizeof Ns - 1) > 0)
        Facts += '|' + QByteArray(Ns);
    return Token(Facts);
}

} // namespace

QString HostIdentity()
{
    const QByteArray Set = qgetenv("QUILLBOOK_HOST_ID");
    if (!Set.isEmpty())
        return Token(Set);
    static const QString Own = OwnHostIdentity();
    return Own;
}

qint64 OtherHostFileGrace()
{
    // An output or a save of another machine writes its temporary files
    // within minutes; a day leaves a slow one on a slow network in peace.
    const qint64 Set = GraceOverride.load();
    return Set >= 0 ? Set : qint64(24) * 3600;
}

qint64 OtherHostFolderGrace()
{
    // A program may stay open for days with a book unpacked in its scratch
    // folder while nothing in the folder itself changes.
    const qint64 Set = GraceOverride.load();
    return Set >= 0 ? Set : qint64(14) * 24 * 3600;
}

void SetOtherHostGrace(qint64 Seconds)
{
    GraceOverride.store(Seconds < 0 ? -1 : Seconds);
}

bool LeftBehind(const QString &Host, long Pid, qint64 Changed, qint64 Grace)
{
    if (Host != HostIdentity())
        return qint64(::time(nullptr)) - Changed >= Grace;
    return Pid != long(::getpid()) && !ProcessMayRun(Pid);
}

int LockIfFree(const QByteArray &Path, const struct stat *Expected)
{
    // Locks over a network file system may need the file open for writing.
    int Fd = ::open(Path.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        Fd = ::open(Path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0)
        return -1;
    struct stat St {};
    if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)
        || (Expected && (St.st_dev != Expected->st_dev || St.st_ino != Expected->st_ino))) {
        ::close(Fd);
        return -1;
    }
    while (::flock(Fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        // Held by a program at work. A file system without locks (some
        // network ones) leaves the name and the age to judge by.
        if (errno == EWOULDBLOCK) {
            ::close(Fd);
            return -1;
        }
        break;
    }
    return Fd;
}

QString TempNameBeside(const QString &Target)
{
    static thread_local std::mt19937_64 Gen{std::random_device{}()};
    return ExtractFilePath(Target)
        + QStringLiteral(".%1.qbtmp-%2-%3-%4.tmp")
              .arg(ExtractFileName(Target), HostIdentity())
              .arg(::getpid())
              .arg(QString::number(Gen() ^ ++Counter, 36));
}

namespace {
thread_local TSweepOnce *CurrentSweep = nullptr;
} // namespace

// A scope inside another is part of it.
TSweepOnce::TSweepOnce() : FOuter(CurrentSweep)
{
    if (!FOuter)
        CurrentSweep = this;
}

TSweepOnce::~TSweepOnce()
{
    if (!FOuter)
        CurrentSweep = nullptr;
}

bool TSweepOnce::First(const QString &Folder)
{
    if (!CurrentSweep)
        return true;
    const QString Key = QDir::cleanPath(QDir(Folder.isEmpty() ? QStringLiteral(".") : Folder).absolutePath());
    if (CurrentSweep->FSwept.contains(Key))
        return false;
    CurrentSweep->FSwept.insert(Key);
    return true;
}

int RemoveLeftoverTemps(const QString &Folder)
{
    if (!TSweepOnce::First(Folder))
        return 0;
    const QByteArray Dir = Enc(IncludeTrailingPathDelimiter(Folder.isEmpty() ? QStringLiteral(".") : Folder));
    DIR *D = ::opendir(Dir.constData());
    if (!D)
        return 0;
    const uid_t Owner = ::geteuid();
    const qint64 Grace = OtherHostFileGrace();
    int Removed = 0;
    while (const dirent *E = ::readdir(D)) {
        // ".<name>.qbtmp-<host>-<pid>-<tag>.tmp": the host and the tag in
        // base 36, the pid in decimal.
        const std::string_view Name(E->d_name);
        if (Name.size() < 2 || Name.front() != '.' || !Name.ends_with(".tmp"))
            continue;
        const size_t At = Name.rfind(Marker);
        if (At == std::string_view::npos || At < 2 || At + Marker.size() > Name.size() - 4)
            continue;
        const std::string_view Rest = Name.substr(At + Marker.size(), Name.size() - 4 - At - Marker.size());
        const size_t Dash1 = Rest.find('-');
        const size_t Dash2 = Dash1 == std::string_view::npos ? Dash1 : Rest.find('-', Dash1 + 1);
        if (Dash2 == std::string_view::npos)
            continue;
        const std::string_view Host = Rest.substr(0, Dash1);
        const std::string_view Pid = Rest.substr(Dash1 + 1, Dash2 - Dash1 - 1);
        const std::string_view Tag = Rest.substr(Dash2 + 1);
        if (!IsToken(Host, 16) || !IsNumber(Pid) || !IsToken(Tag, 16))
            continue;
        const QByteArray Path = Dir + QByteArray(Name.data(), qsizetype(Name.size()));
        struct stat St {};
        if (::lstat(Path.constData(), &St) != 0 || !S_ISREG(St.st_mode) || St.st_uid != Owner)
            continue;
        if (!LeftBehind(QString::fromLatin1(Host.data(), qsizetype(Host.size())), std::stol(std::string(Pid)),
                        qint64(St.st_ctim.tv_sec), Grace))
            continue;
        // A program that still holds it (a pid of another namespace that
        // looks free, a writer on another machine) keeps it.
        const int Fd = LockIfFree(Path, &St);
        if (Fd < 0)
            continue;
        if (::unlink(Path.constData()) == 0)
            ++Removed;
        ::close(Fd);
    }
    ::closedir(D);
    return Removed;
}

int RemoveSaveLeftovers(const QString &File)
{
    return RemoveLeftoverTemps(ExtractFilePath(ReplacedFile(NativePath(File))));
}

bool ProcessMayRun(long Pid)
{
    return Pid <= 0 || Pid > INT_MAX || ::kill(pid_t(Pid), 0) == 0 || errno != ESRCH;
}

namespace {

// Every temporary file of an output holds a descriptor for its lock until it
// is in place: an output of thousands of pictures may need more than the
// usual soft limit. A program out of descriptors raises it to the hard limit
// (once) and tries again.
int OpenFile(const QByteArray &Path, int Flags, mode_t Mode = 0)
{
    const int Fd = ::open(Path.constData(), Flags, Mode);
    if (Fd >= 0 || errno != EMFILE)
        return Fd;
    struct rlimit Limit {};
    if (::getrlimit(RLIMIT_NOFILE, &Limit) != 0 || Limit.rlim_cur >= Limit.rlim_max)
        return Fd;
    Limit.rlim_cur = Limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &Limit) != 0) {
        errno = EMFILE;
        return -1;
    }
    return ::open(Path.constData(), Flags, Mode);
}

} // namespace

int CreateTempBeside(const QString &Target, QString &Temp)
{
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
        Temp = TempNameBeside(Target);
        const int Fd = OpenFile(Enc(Temp), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (Fd >= 0) {
            // Held while it is written: a sweep, from this machine or
            // another, leaves it alone. A file system without locks has
            // the name alone to protect it.
            ::flock(Fd, LOCK_EX | LOCK_NB);
            return Fd;
        }
        if (errno != EEXIST)
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
    const int In = OpenFile(Enc(NativePath(Source)), O_RDONLY | O_CLOEXEC);
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
    if (Err != 0) {
        ::unlink(Enc(Temp).constData());
        ::close(Out);
        throw EInOutError(CopyFailedText(Source, Target, Err));
    }
    // Written whole; its descriptor stays open and holds the lock until the
    // copy is in place or removed, so that no sweep (of another computer on
    // a shared folder, judging by age) takes it meanwhile.
    FEntries.push_back({Temp, Target, Out});
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
    // Its writer opens it by name, perhaps long after: the lock stays held
    // through this descriptor until the file is in place or removed.
    FEntries.push_back({Temp, Target, Fd});
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

void TOutputFiles::Hold(const QString &Temp, int Lock)
{
    if (Lock < 0)
        return;
    for (TEntry &E : FEntries) {
        if (E.Temp == Temp) {
            Unlock(E);
            E.Lock = Lock;
            return;
        }
    }
    ::close(Lock);
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
        Unlock(FEntries[I]);
        Folders.insert(ExtractFilePath(E.Target));
    }
    if (FDurable) {
        for (const QString &F : std::as_const(Folders))
            SyncFile(F, true);
    }
    FEntries.clear();
    FTargets.clear();
}

void TOutputFiles::Unlock(TEntry &E)
{
    if (E.Lock >= 0)
        ::close(E.Lock);
    E.Lock = -1;
}

void TOutputFiles::Discard()
{
    for (TEntry &E : FEntries) {
        ::unlink(Enc(E.Temp).constData());
        Unlock(E);
    }
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
