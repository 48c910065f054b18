#include "OutputFolders.h"

#include "platform/core/Classes.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace OutputFolders {

namespace {

// A record is read line by line, its last ReadLimit bytes at most: the newest
// lines stand at its end. A line longer than LineLimit, cut by the limit, or
// not in the record's form is skipped. Damaged, binary or foreign bytes cost
// their own lines, nothing more, and are gone once the record is written
// again: only sound lines go back, within the limit.
constexpr qsizetype ReadLimit = qsizetype(4) << 20;
constexpr qsizetype LineLimit = qsizetype(64) << 10;
constexpr int RecordedFolders = 5000;
constexpr int RecordedSites = 500;

// How long a change waits for another program's change to the record. Each
// holds the lock for one read and write of the record; one that holds it far
// longer is stuck, and the change goes on without the lock rather than freeze
// the output (the cost is at most a question later).
constexpr auto LockWait = std::chrono::seconds(5);
constexpr auto LockPoll = std::chrono::milliseconds(5);

QByteArray Encode(const QString &S)
{
    return QUrl::toPercentEncoding(S, "/:");
}

QString Decode(QByteArrayView S)
{
    return QUrl::fromPercentEncoding(S.toByteArray());
}

QString CleanFolder(const QString &Folder)
{
    return QDir::cleanPath(QFileInfo(Folder).absoluteFilePath());
}

bool IsHex(char C)
{
    return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'F') || (C >= 'a' && C <= 'f');
}

// An identity as Identity writes it: numbers, dots and colons.
bool SoundId(QByteArrayView S)
{
    if (S.isEmpty() || S.size() > 80)
        return false;
    for (const char C : S)
        if (!((C >= '0' && C <= '9') || C == '.' || C == ':' || C == '-'))
            return false;
    return true;
}

// A field as Encode writes it: unreserved characters, "/", ":" and escapes.
bool SoundField(QByteArrayView S)
{
    for (qsizetype I = 0; I < S.size(); ++I) {
        const char C = S[I];
        if (C == '%') {
            if (I + 2 >= S.size() || !IsHex(S[I + 1]) || !IsHex(S[I + 2]))
                return false;
            I += 2;
        } else if (!((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '-'
                     || C == '.' || C == '_' || C == '~' || C == '/' || C == ':')) {
            return false;
        }
    }
    return true;
}

bool SoundFolder(const QString &Folder)
{
    return Folder.startsWith(QLatin1Char('/')) && !Folder.contains(QChar(0));
}

struct TLine {
    QString Id, Maker, Folder;
};

// The lines of a record: "id<TAB>maker<TAB>folder" (the folders outputs
// made), "id<TAB>folder" (book sites), and the "id=folder" of earlier
// versions' site records (the folder as it stood, in code page 936).
bool ParseLine(QByteArrayView L, TLine &Line)
{
    if (L.endsWith('\r'))
        L.chop(1);
    if (L.isEmpty() || L.size() > LineLimit)
        return false;
    const qsizetype Tab = L.indexOf('\t');
    if (Tab < 0) {
        const qsizetype Eq = L.indexOf('=');
        if (Eq <= 0 || !SoundId(L.first(Eq)))
            return false;
        const QByteArrayView Raw = L.sliced(Eq + 1);
        for (const char C : Raw)
            if (uchar(C) < 0x20 || C == 0x7F)
                return false;
        const QString Folder = Cp936::Decode(Raw.data(), Raw.size());
        if (!SoundFolder(Folder))
            return false;
        Line = {QString::fromLatin1(L.first(Eq)), QString(), QDir::cleanPath(Folder)};
        return true;
    }
    if (!SoundId(L.first(Tab)))
        return false;
    QByteArrayView Rest = L.sliced(Tab + 1);
    QByteArrayView Maker;
    if (const qsizetype Next = Rest.indexOf('\t'); Next >= 0) {
        Maker = Rest.first(Next);
        Rest = Rest.sliced(Next + 1);
    }
    if (!SoundField(Maker) || !SoundField(Rest))
        return false;
    const QString Folder = Decode(Rest);
    if (!SoundFolder(Folder))
        return false;
    Line = {QString::fromLatin1(L.first(Tab)), Decode(Maker), Folder};
    return true;
}

QByteArray LineText(const TLine &L, bool Makers)
{
    QByteArray Text = L.Id.toLatin1() + '\t';
    if (Makers)
        Text += Encode(L.Maker) + '\t';
    return Text + Encode(L.Folder) + "\r\n";
}

// Reads the last ReadLimit bytes at most, and only from a plain file: a
// record replaced by something else (a pipe, a device) reads as empty.
QList<TLine> Read(const QString &File)
{
    QList<TLine> Lines;
    const int Fd = ::open(QFile::encodeName(File).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (Fd < 0)
        return Lines;
    QByteArray Bytes;
    bool Cut = false;
    struct stat St {};
    if (::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode)) {
        // A record grown past the limit (written by an earlier version, or
        // by hand) is read from its end: its newest lines are the ones that
        // name the folders as they are now.
        const qint64 From = std::max<qint64>(0, qint64(St.st_size) - ReadLimit);
        Cut = From > 0;
        Bytes.resize(qsizetype(std::min<qint64>(St.st_size, ReadLimit)));
        qsizetype Got = 0;
        while (Got < Bytes.size()) {
            const ssize_t N = ::pread(Fd, Bytes.data() + Got, size_t(Bytes.size() - Got), off_t(From + Got));
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                break;
            Got += N;
        }
        Bytes.truncate(Got);
    }
    ::close(Fd);
    // Read from the middle of a line: only the whole lines after it count.
    if (Cut) {
        const qsizetype End = Bytes.indexOf('\n');
        Bytes.remove(0, End < 0 ? Bytes.size() : End + 1);
    }
    qsizetype From = 0;
    while (From < Bytes.size()) {
        qsizetype To = Bytes.indexOf('\n', From);
        if (To < 0)
            To = Bytes.size();
        TLine Line;
        if (ParseLine(QByteArrayView(Bytes).sliced(From, To - From), Line))
            Lines.append(Line);
        From = To + 1;
    }
    return Lines;
}

// Writes the newest lines that fit: at most Count of them, within ReadLimit.
bool Write(const QString &File, const QList<TLine> &Lines, int Count, bool Makers)
{
    QList<QByteArray> Texts;
    qsizetype Size = 0;
    for (qsizetype I = Lines.size() - 1; I >= 0 && Texts.size() < Count; --I) {
        QByteArray Text = LineText(Lines.at(I), Makers);
        if (Text.size() - 2 > LineLimit)
            continue;
        if (Size + Text.size() > ReadLimit)
            break;
        Size += Text.size();
        Texts.append(std::move(Text));
    }
    QByteArray Bytes;
    Bytes.reserve(Size);
    for (qsizetype I = Texts.size() - 1; I >= 0; --I)
        Bytes += Texts.at(I);
    return WriteFileAtomic(File, Bytes);
}

// Held around a read-modify-write of a record: the record itself is replaced
// by each write, so the lock is taken on a file of its own that stays.
class TRecordLock {
public:
    explicit TRecordLock(const QString &File)
        : FFd(::open(QFile::encodeName(File + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666))
    {
        if (FFd < 0)
            return;
        const auto Until = std::chrono::steady_clock::now() + LockWait;
        while (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= Until) {
                ::close(FFd);
                FFd = -1;
                return;
            }
            std::this_thread::sleep_for(LockPoll);
        }
    }
    ~TRecordLock()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TRecordLock(const TRecordLock &) = delete;
    TRecordLock &operator=(const TRecordLock &) = delete;

private:
    int FFd;
};

// Reads the record, lets Edit change its lines and writes them back, all under
// the record's lock. False when the record could not be written.
bool Change(const QString &File, int Count, bool Makers, const std::function<bool(QList<TLine> &)> &Edit)
{
    TRecordLock Lock(File);
    QList<TLine> Lines = Read(File);
    if (!Edit(Lines))
        return true;
    return Write(File, Lines, Count, Makers);
}

// The line recorded last for Folder as it is on the disk now.
const TLine *Find(const QList<TLine> &Lines, const QString &Folder)
{
    const QString Id = Identity(Folder);
    if (Id.isEmpty())
        return nullptr;
    const QString Path = CleanFolder(Folder);
    for (qsizetype I = Lines.size() - 1; I >= 0; --I)
        if (Lines.at(I).Id == Id && Lines.at(I).Folder == Path)
            return &Lines.at(I);
    return nullptr;
}

// Records Folder with Maker in place of what was recorded for its path. Only
// Folder is looked at on the disk.
bool Record(const QString &File, int Count, bool Makers, const QString &Folder, const QString &Maker)
{
    const QString Id = Identity(Folder);
    if (Id.isEmpty())
        return true;
    const QString Path = CleanFolder(Folder);
    return Change(File, Count, Makers, [&](QList<TLine> &Lines) {
        Lines.removeIf([&](const TLine &L) { return L.Folder == Path; });
        Lines.append({Id, Maker, Path});
        return true;
    });
}

// True when a program holds Folder while it writes its outputs there (a
// claim of its own, below). A file system without locks tells nothing: the
// folder counts as held then, which costs at most a question.
bool Held(const QString &Folder)
{
    const int Fd = ::open(QFile::encodeName(ExcludeTrailingPathDelimiter(Folder)).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0)
        return true;
    int Result;
    do
        Result = ::flock(Fd, LOCK_EX | LOCK_NB);
    while (Result != 0 && errno == EINTR);
    ::close(Fd);
    return Result != 0;
}

// True when Folder holds an entry other than Kept.
bool HoldsEntries(const QString &Folder, const QString &Kept)
{
    QStringList There = QDir(Folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (!Kept.isEmpty())
        There.removeOne(Kept);
    return !There.isEmpty();
}

// "%" and "|" of a path in a maker, so that the "|" between a package and the
// document inside it is the only one.
QString EscapeMakerPart(const QString &S)
{
    QString Out = S;
    return Out.replace(QLatin1Char('%'), QStringLiteral("%25")).replace(QLatin1Char('|'), QStringLiteral("%7C"));
}

QString UnescapeMakerPart(const QString &S)
{
    QString Out;
    Out.reserve(S.size());
    for (qsizetype I = 0; I < S.size(); ++I) {
        const QStringView Next = QStringView(S).mid(I + 1, 2);
        if (S.at(I) == QLatin1Char('%') && Next.compare(QLatin1String("25"), Qt::CaseInsensitive) == 0) {
            Out += QLatin1Char('%');
            I += 2;
        } else if (S.at(I) == QLatin1Char('%') && Next.compare(QLatin1String("7C"), Qt::CaseInsensitive) == 0) {
            Out += QLatin1Char('|');
            I += 2;
        } else {
            Out += S.at(I);
        }
    }
    return Out;
}

} // namespace

QString RecordFile(const QString &ProgramFolder)
{
    return IncludeTrailingPathDelimiter(ProgramFolder) + QStringLiteral("outputfolders.dat");
}

QString Identity(const QString &Folder)
{
    // The inode number alone is given again at once to a new folder; its
    // birth time (where the file system keeps one) tells the two apart.
    struct statx St {};
    if (::statx(AT_FDCWD, QFile::encodeName(ExcludeTrailingPathDelimiter(Folder)).constData(), 0,
                STATX_TYPE | STATX_INO | STATX_BTIME, &St) != 0
        || !S_ISDIR(St.stx_mode))
        return QString();
    QString Id = QStringLiteral("%1.%2:%3").arg(St.stx_dev_major).arg(St.stx_dev_minor).arg(quint64(St.stx_ino));
    if (St.stx_mask & STATX_BTIME)
        Id += QStringLiteral(":%1.%2").arg(qint64(St.stx_btime.tv_sec)).arg(St.stx_btime.tv_nsec);
    return Id;
}

QString MadeBy(const QString &ProgramFolder, const QString &Folder)
{
    const QList<TLine> Lines = Read(RecordFile(ProgramFolder));
    const TLine *Line = Find(Lines, Folder);
    return Line ? Line->Maker : QString();
}

// A record that cannot be written (a program folder the user cannot write
// to) costs a question later, never the output.
void Remember(const QString &ProgramFolder, const QString &Folder, const QString &Maker)
{
    if (!Maker.isEmpty())
        Record(RecordFile(ProgramFolder), RecordedFolders, true, Folder, Maker);
}

void Rename(const QString &ProgramFolder, const QString &From, const QString &To)
{
    if (From.isEmpty() || From == To)
        return;
    Change(RecordFile(ProgramFolder), RecordedFolders, true, [&](QList<TLine> &Lines) {
        bool Changed = false;
        for (TLine &L : Lines) {
            if (L.Maker == From) {
                L.Maker = To;
                Changed = true;
            }
        }
        return Changed;
    });
}

TFolderClaim::~TFolderClaim()
{
    Release();
}

void TFolderClaim::Release()
{
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

bool TFolderClaim::Take(const QString &ProgramFolder, const QString &Folder, const QString &Maker,
                        const std::function<bool()> &HoldsOthers, bool Force, const QString &Kept)
{
    Release();
    FMade = false;
    FOther.clear();
    const QString File = RecordFile(ProgramFolder);
    // The look at the folder, its making and the record of its maker are one
    // step: a program that claims the folder meanwhile waits for the lock and
    // then finds this one recorded.
    TRecordLock Lock(File);
    QList<TLine> Lines = Read(File);
    if (!QFileInfo(Folder).isDir()) {
        // A folder that cannot be made is the caller's to report.
        if (!QDir().mkdir(Folder))
            return true;
        FMade = true;
    }
    if (!Force && !FMade) {
        const TLine *Line = Find(Lines, Folder);
        const QString By = Line ? Line->Maker : QString();
        // What another document made there is replaced only when the user
        // says so; also while its program has claimed the folder and has
        // written nothing yet. A folder nobody is recorded for is asked about
        // when it holds what looks like another's outputs.
        const bool Others = By.isEmpty() ? HoldsOthers && HoldsOthers()
                                         : By != Maker && (HoldsEntries(Folder, Kept) || Held(Folder));
        if (Others) {
            FOther = By;
            return false;
        }
    }
    const QString Id = Identity(Folder);
    if (!Id.isEmpty() && !Maker.isEmpty()) {
        const QString Path = CleanFolder(Folder);
        Lines.removeIf([&](const TLine &L) { return L.Folder == Path; });
        Lines.append({Id, Maker, Path});
        // A record that cannot be written costs a question later, never the output.
        Write(File, Lines, RecordedFolders, true);
    }
    // Held (shared: the same document's programs may write at once) until
    // the output ends.
    FFd = ::open(QFile::encodeName(ExcludeTrailingPathDelimiter(Folder)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FFd >= 0)
        ::flock(FFd, LOCK_SH | LOCK_NB);
    return true;
}

QString SiteRecordFile(const QString &ProgramFolder)
{
    return IncludeTrailingPathDelimiter(ProgramFolder) + QStringLiteral("bookfolders.dat");
}

bool IsSiteFolder(const QString &ProgramFolder, const QString &Folder)
{
    return Find(Read(SiteRecordFile(ProgramFolder)), Folder) != nullptr;
}

bool RememberSiteFolder(const QString &ProgramFolder, const QString &Folder)
{
    return Record(SiteRecordFile(ProgramFolder), RecordedSites, false, Folder, QString());
}

bool IsEmpty(const QString &Folder)
{
    return QDir(Folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

QString FileMaker(const QString &File)
{
    const QFileInfo Info(File);
    const QString Canonical = Info.canonicalFilePath();
    return QStringLiteral("file:") + (Canonical.isEmpty() ? QDir::cleanPath(Info.absoluteFilePath()) : Canonical);
}

QString PackageMaker(const QString &Package, const QString &Inside)
{
    const QFileInfo Info(Package);
    const QString Canonical = Info.canonicalFilePath();
    const QString Path = Canonical.isEmpty() ? QDir::cleanPath(Info.absoluteFilePath()) : Canonical;
    return QStringLiteral("qba:") + EscapeMakerPart(Path) + QLatin1Char('|') + EscapeMakerPart(Inside);
}

QString NewPageMaker(const QString &Key)
{
    return QStringLiteral("new:") + Key;
}

QString Describe(const QString &Maker)
{
    auto Kind = [](const QString &Path) {
        return ExtractFileExt(Path).compare(QStringLiteral(".qbs"), Qt::CaseInsensitive) == 0 ? QStringLiteral("目录册")
                                                                                                : QStringLiteral("页面");
    };
    if (Maker.startsWith(QStringLiteral("file:"))) {
        const QString Path = Maker.mid(5);
        return Kind(Path) + QStringLiteral("“") + Path + QStringLiteral("”");
    }
    if (Maker.startsWith(QStringLiteral("qba:"))) {
        const qsizetype Bar = Maker.lastIndexOf(QLatin1Char('|'));
        const QString Package = UnescapeMakerPart(Maker.mid(4, Bar - 4));
        const QString Inside = UnescapeMakerPart(Maker.mid(Bar + 1));
        return QStringLiteral("qba文件“") + Package + QStringLiteral("”中的") + Kind(Inside);
    }
    if (Maker.startsWith(QStringLiteral("new:")))
        return QStringLiteral("一个没有保存过的新页面");
    return QString();
}

QString ReplaceQuestion(const QString &Folder, const QString &Maker, const QString &Kind)
{
    const QString Shown = NativePath(ExcludeTrailingPathDelimiter(Folder));
    const QString Who = Describe(Maker);
    QString Text = Who.isEmpty()
        ? QStringLiteral("输出目录“%1”中已有文件，无法确定它们是当前%2输出的。").arg(Shown, Kind)
        : QStringLiteral("输出目录“%1”中的文件是%2输出的，不是当前%3输出的。").arg(Shown, Who, Kind);
    Text += Kind == QStringLiteral("目录册") ? QStringLiteral("\r\n继续输出将清空这个目录。是否继续？")
                                            : QStringLiteral("\r\n继续输出将替换其中同名的文件。是否继续？");
    return Text;
}

} // namespace OutputFolders
