#include "UnZipper.h"

#include "ZipSearch.h"
#include "detail/ByteIO.h"
#include "detail/LegacyMethods.h"
#include "detail/MemberIO.h"
#include "detail/SafePath.h"
#include "detail/TaskPool.h"
#include "detail/TraditionalCipher.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"

#include <QFile>
#include <QHash>
#include <QtNumeric>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace ZipDetail;

namespace {

constexpr int ArchiveBufferSize = 8192;
constexpr int DirectoryBufferSize = 1 << 20;
constexpr qint64 ChunkSize = 32768;

// The time of a member's DOS stamp. The members of an archive mostly share a
// few stamps, and each conversion looks at the time zone file again, so the
// last one is kept (on each thread).
time_t MemberTime(quint32 DosDateTime)
{
    thread_local bool Known = false;
    thread_local quint32 LastStamp = 0;
    thread_local time_t LastTime = 0;
    if (!Known || DosDateTime != LastStamp) {
        LastTime = time_t(FileDateToUnixTime(DosDateTime));
        LastStamp = DosDateTime;
        Known = true;
    }
    return LastTime;
}

// Sizes as members declare them may add up past the largest number (or be
// no size at all): the sum stops at the largest.
qint64 AddDeclaredSize(qint64 Sum, qint64 Size)
{
    qint64 R = 0;
    return qAddOverflow(Sum, std::max<qint64>(Size, 0), &R) ? std::numeric_limits<qint64>::max() : R;
}

// A buffer of ChunkSize bytes lent by the thread to one member at a time:
// testing many small members would otherwise make and free one for each.
// A second member read while the first holds the buffer gets one of its own.
class ChunkLease {
public:
    ChunkLease()
    {
        std::unique_ptr<unsigned char[]> &Slot = Spare();
        FBuffer = Slot ? std::move(Slot) : std::make_unique_for_overwrite<unsigned char[]>(size_t(ChunkSize));
    }
    ~ChunkLease()
    {
        std::unique_ptr<unsigned char[]> &Slot = Spare();
        if (!Slot)
            Slot = std::move(FBuffer);
    }
    ChunkLease(const ChunkLease &) = delete;
    ChunkLease &operator=(const ChunkLease &) = delete;
    unsigned char *get() const { return FBuffer.get(); }

private:
    static std::unique_ptr<unsigned char[]> &Spare()
    {
        thread_local std::unique_ptr<unsigned char[]> Slot;
        return Slot;
    }
    std::unique_ptr<unsigned char[]> FBuffer;
};

} // namespace

// ------------------------------------------------------------------- sinks

class TUnZipper::Sink {
public:
    virtual ~Sink() = default;
    virtual bool Write(const char *Data, qint64 Count) = 0;
};

class TUnZipper::NullSink : public TUnZipper::Sink {
public:
    bool Write(const char *, qint64) override { return true; }
};

class TUnZipper::StreamSink : public TUnZipper::Sink {
public:
    explicit StreamSink(TStream *S) : FStream(S) {}
    bool Write(const char *Data, qint64 Count) override { return FStream->Write(Data, Count) == Count; }

private:
    TStream *FStream;
};

// A file written straight through its descriptor: the decoders hand over
// pieces of up to 32 KB, so a buffer of its own would only copy them.
class TUnZipper::FileSink : public TUnZipper::Sink {
public:
    explicit FileSink(int Fd) : FFd(Fd) {}
    bool Write(const char *Data, qint64 Count) override
    {
        while (Count > 0) {
            const ssize_t N = ::write(FFd, Data, size_t(std::min<qint64>(Count, 1 << 30)));
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                return false;
            Data += N;
            Count -= N;
        }
        return true;
    }

private:
    int FFd;
};

// ------------------------------------------------------------------- basics

TUnZipper::TUnZipper(TComponent *AOwner)
    : TComponent(AOwner)
{
}

TUnZipper::~TUnZipper()
{
    FSortedView.reset();
    FMembers.reset();
    FOwnedArchive.reset();
}

void TUnZipper::Assign(const TUnZipper &S)
{
    SetZipName(S.FZipName);
    FDestDir = S.FDestDir;
    FRootDir = S.FRootDir;
    SetSortMode(S.FSortMode);
    RecreateDirs = S.RecreateDirs;
    OverwriteMode = S.OverwriteMode;
    FFilesList.Assign(S.FFilesList);
    FRelativePathList.Assign(S.FRelativePathList);
    DoAll = S.DoAll;
    IncompleteZipMode = S.IncompleteZipMode;
    FKeepZipOpen = S.FKeepZipOpen;
    DoProcessMessages = S.DoProcessMessages;
    RetainAttributes = S.RetainAttributes;
    ReplaceReadOnly = S.ReplaceReadOnly;
    OnStartUnZipInfo = S.OnStartUnZipInfo;
    OnStartUnZip = S.OnStartUnZip;
    OnPromptForOverwrite = S.OnPromptForOverwrite;
    OnSkippingFile = S.OnSkippingFile;
    OnBadPassword = S.OnBadPassword;
    OnBadCRC = S.OnBadCRC;
    OnFilePercentDone = S.OnFilePercentDone;
    OnTotalPercentDone = S.OnTotalPercentDone;
    OnEndUnZip = S.OnEndUnZip;
    OnUnZipComplete = S.OnUnZipComplete;
    OnDecrypt = S.OnDecrypt;
    OnHandleMessage = S.OnHandleMessage;
    OnInCompleteZip = S.OnInCompleteZip;
    OnFileNameForSplitPart = S.OnFileNameForSplitPart;
    OnGetNextDisk = S.OnGetNextDisk;
    OnSelectZipName = S.OnSelectZipName;
    OnSelectDestDir = S.OnSelectDestDir;
}

void TUnZipper::SetZipName(const QString &Value)
{
    // File names here differ by case, so the comparison does not ignore it.
    if (Value == FZipName && !Value.endsWith(QLatin1Char('?')))
        return;
    QString Name = Value;
    if (Name.endsWith(QLatin1Char('?'))) {
        QString Folder = ExtractFilePath(Name.left(Name.size() - 1));
        if (Folder.isEmpty() || !ZipDirectoryExists(Folder))
            Folder = QStringLiteral("/");
        QString Chosen;
        if (!OnSelectZipName || !OnSelectZipName(this, ZipResourceString(176), ZipResourceString(177), Folder, Chosen))
            throw EUserCanceled(ZipResourceString(186));
        Name = Chosen;
    }
    FZipName = Name;
    // Base name for the parts of a split set: up to the first "." of the file name.
    const qsizetype Slash = std::max(Name.lastIndexOf(QLatin1Char('/')), Name.lastIndexOf(QLatin1Char('\\')));
    const qsizetype Dot = Name.indexOf(QLatin1Char('.'), Slash + 1);
    FBaseName = Dot < 0 ? Name : Name.left(Dot);
    DropDirectory();
    FOwnedArchive.reset();
    FArchive = nullptr;
    FSizeKnown = false;
    FZipIsStream = false;
}

void TUnZipper::SetZipStream(TStream *Stream)
{
    DropDirectory();
    FOwnedArchive.reset();
    FArchive = Stream;
    FSizeKnown = false;
    FZipIsStream = Stream != nullptr;
}

void TUnZipper::DropDirectory()
{
    FSortedView.reset();
    FMembers.reset();
    FDirectoryLoaded = false;
    FArchiveDate = FileStamp();
    FEndCentral.Clear();
}

void TUnZipper::SetDestDir(const QString &Value)
{
    QString Dir = Value;
    if (Dir == QLatin1String("?")) {
        QString Start = ZipDirectoryExists(FDestDir) ? FDestDir : GetCurrentDir();
        QString Chosen;
        if (!OnSelectDestDir || !OnSelectDestDir(this, Start, Chosen))
            throw EUserCanceled(ZipResourceString(178));
        Dir = Chosen;
    }
    if (Dir.size() > 1 && (Dir.endsWith(QLatin1Char('/')) || Dir.endsWith(QLatin1Char('\\'))))
        Dir.chop(1);
    FDestDir = Dir;
}

void TUnZipper::SetRootDir(const QString &Value)
{
    FRootDir = Value;
    if (!FRootDir.isEmpty() && !FRootDir.endsWith(QLatin1Char('/')) && !FRootDir.endsWith(QLatin1Char('\\')))
        FRootDir += QLatin1Char('/');
    FRelativePathList.Clear();
    FRelativePathList.Add(FRootDir);
}

void TUnZipper::SetSortMode(TZipSortMode Value)
{
    FSortMode = Value;
    if (FMembers)
        BuildSortedView();
}

void TUnZipper::SetKeepZipOpen(bool Value)
{
    FKeepZipOpen = Value;
    if (!Value)
        CloseArchive();
}

void TUnZipper::BuildSortedView()
{
    FSortedView.reset();
    if (FSortMode == ByNone || !FMembers)
        return;
    FSortedView = std::make_unique<TSortedZip>(1, false);
    FSortedView->SortMode = FSortMode;
    std::vector<TObject *> Items;
    Items.reserve(size_t(FMembers->Count()));
    for (int I = 0; I < FMembers->Count(); ++I)
        Items.push_back(FMembers->Item(I));
    FSortedView->AddAll(Items);
}

int TUnZipper::MemberCount() const
{
    return FMembers ? FMembers->Count() : 0;
}

void TUnZipper::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= MemberCount())
        throw EListError(ZipResourceString(179).replace(QLatin1String("%d"), QString::number(Index)));
}

TZipHeaderInfo *TUnZipper::Member(int Index) const
{
    CheckIndex(Index);
    return View()->Item(Index);
}

void TUnZipper::MarkMember(int Index, bool Marked)
{
    Member(Index)->MarkedByApplication = Marked ? 1 : 0;
}

int TUnZipper::Percent(qint64 Done, qint64 Total) const
{
    if (Total <= 0)
        return 0;
    const qint64 P = qint64(std::llround(double(Done) * 100.0 / double(Total)));
    return int(std::min<qint64>(P, 100));
}

int TUnZipper::ShowLibraryMessage(int MessageID, const QString &Msg1, const QString &Msg2, quint32 Flags)
{
    // Without a handler there is nobody to ask: the cautious answer wins.
    int Return = (Flags & 0x0F) == ZMB_YESNO ? ZID_NO : (Flags & 0x0F) == ZMB_OKCANCEL ? ZID_CANCEL : ZID_OK;
    if (OnHandleMessage)
        OnHandleMessage(this, MessageID, Msg1, Msg2, Flags, Return);
    return Return;
}

void TUnZipper::CheckCancel()
{
    if (DoProcessMessages)
        ZipYieldMessages();
    if (FCancel) {
        FCancel = false;
        throw EUserCanceled(ZipResourceString(181));
    }
    while (FPause && !FCancel) {
        QThread::msleep(1000);
        if (DoProcessMessages)
            ZipYieldMessages();
    }
    if (FCancel) {
        FCancel = false;
        throw EUserCanceled(ZipResourceString(181));
    }
}

// ------------------------------------------------------------ open and close

TUnZipper::FileStamp TUnZipper::ArchiveStamp() const
{
    FileStamp S;
    struct stat St;
    if (!FZipIsStream && ::stat(QFile::encodeName(FZipName).constData(), &St) == 0) {
        S.Seconds = St.st_mtim.tv_sec;
        S.Nanoseconds = St.st_mtim.tv_nsec;
        S.Size = St.st_size;
    }
    return S;
}

void TUnZipper::OpenArchive()
{
    if (FDirectoryLoaded && !FZipIsStream && ArchiveStamp() != FArchiveDate) {
        // The file changed on disk (perhaps replaced by a new one): reopen it.
        FOwnedArchive.reset();
        FArchive = nullptr;
        FSizeKnown = false;
        DropDirectory();
    }
    if (!FArchive) {
        if (FZipIsStream)
            throw EZipperException(ZipResourceString(183));
        FOwnedArchive = std::make_unique<TLFNFileStream>(FZipName, fmOpenRead | fmShareDenyWrite,
                                                         FlushFilesOnClose, ArchiveBufferSize);
        FArchive = FOwnedArchive.get();
        FSizeKnown = false;
        FCurrentDisk = FEndCentral.NumberOfThisDisk();
    }
    if (!FDirectoryLoaded)
        ReadArchiveDirectory(FArchive);
}

void TUnZipper::CloseArchive()
{
    if (FKeepZipOpen || FZipIsStream)
        return;
    FOwnedArchive.reset();
    FArchive = nullptr;
    FSizeKnown = false;
}

void TUnZipper::OpenAndReadDirectory()
{
    FCancel = false;
    Restore<bool> BusyFlag(FBusy, true);
    OpenArchive();
    CloseArchive();
}

void TUnZipper::CloseAndForgetArchive()
{
    if (!FZipIsStream) {
        FOwnedArchive.reset();
        FArchive = nullptr;
        FSizeKnown = false;
    }
    DropDirectory();
    FCurrentDisk = 0;
    FNumberOfDisks = 1;
    FMultiMode = mmNone;
    if (!FZipIsStream) {
        FZipName.clear();
        FBaseName.clear();
    }
}

// ------------------------------------------------------------ the directory

bool TUnZipper::LocateEndOfCentralDir(TStream *Stream)
{
    FEndCentral.Clear();
    const qint64 S = Stream->Size();
    if (S < 22)
        return S == 0;
    const qint64 N = std::min<qint64>(65557, S);
    Stream->Seek(S - N, soBeginning);
    QByteArray Buf(N, '\0');
    if (Stream->Read(Buf.data(), N) != N)
        return false;
    const auto *B = reinterpret_cast<const unsigned char *>(Buf.constData());
    const quint32 Sig = EndOfCentralSignature();
    qint64 At = -1;
    for (qint64 I = N - 22; I >= 0; --I)
        if (B[I] == uchar(Sig & 0xFF) && GetLE32(B + I) == Sig) {
            At = I;
            break;
        }
    if (At < 0)
        return false;
    FEndCentral.NumberOfThisDisk16 = GetLE16(B + At + 4);
    FEndCentral.NumberOfDiskWithStartOfCentral16 = GetLE16(B + At + 6);
    FEndCentral.EntriesOnThisDisk16 = GetLE16(B + At + 8);
    FEndCentral.TotalEntries16 = GetLE16(B + At + 10);
    FEndCentral.SizeOfCentralDirectory32 = GetLE32(B + At + 12);
    FEndCentral.OffsetOfCentralDirectory32 = GetLE32(B + At + 16);
    FEndCentral.SetZipCommentLength(GetLE16(B + At + 20));
    FEndCentral.ZipCommentPosition = (S - N) + At + 22;
    // A comment cannot reach past the end of the file.
    if (FEndCentral.ZipCommentPosition + FEndCentral.ZipCommentLength() > S)
        FEndCentral.SetZipCommentLength(quint16(S - FEndCentral.ZipCommentPosition));

    if (At >= 20 && GetLE32(B + At - 20) == Zip64EndLocatorSignature) {
        const unsigned char *L = B + At - 20;
        const qint64 LocatorPos = (S - N) + At - 20;
        const quint64 EndAt = GetLE64(L + 8);
        // The Zip64 end record must lie before its locator, whole.
        if (EndAt + 56 <= quint64(LocatorPos)) {
            unsigned char Z[56];
            Stream->Seek(qint64(EndAt), soBeginning);
            if (Stream->Read(Z, 56) == 56 && GetLE32(Z) == Zip64EndOfCentralSignature) {
                TZip64Locator &Loc = FEndCentral.NeedZip64Locator();
                Loc.DiskWithZip64End = GetLE32(L + 4);
                Loc.OffsetOfZip64End = EndAt;
                Loc.TotalDisks = GetLE32(L + 16);
                TZip64EndRecord &R = FEndCentral.NeedZip64EndRecord();
                R.SizeOfRecord = GetLE64(Z + 4);
                R.VersionMadeBy = GetLE16(Z + 12);
                R.VersionNeeded = GetLE16(Z + 14);
                R.NumberOfThisDisk = GetLE32(Z + 16);
                R.NumberOfDiskWithStartOfCentral = GetLE32(Z + 20);
                R.EntriesOnThisDisk = GetLE64(Z + 24);
                R.TotalEntries = GetLE64(Z + 32);
                R.SizeOfCentralDirectory = GetLE64(Z + 40);
                R.OffsetOfCentralDirectory = GetLE64(Z + 48);
            }
        }
    }
    return true;
}

bool TUnZipper::ScanLocalHeaders(TStream *Stream)
{
    FScanning = true;
    FSortedView.reset();
    FMembers.reset();
    const qint64 Start = ExtractFileExt(FZipName).compare(QLatin1String(".exe"), Qt::CaseInsensitive) == 0 ? 14000 : 0;
    Stream->Seek(Start, soBeginning);
    const quint32 Sig = LocalFileHeaderSignature();
    quint32 Window = 0;
    qint64 Seen = 0;
    qint64 Pos = Start;
    bool Found = false;
    unsigned char Byte = 0;
    while (Stream->Read(&Byte, 1) == 1) {
        ++Pos;
        Window = (Window >> 8) | (quint32(Byte) << 24);
        if (++Seen % 10240 == 0)
            CheckCancel();
        if (Pos - Start >= 4 && Window == Sig) {
            unsigned char V[2];
            if (Stream->Read(V, 2) != 2)
                break;
            if (V[1] < 10) {
                Stream->Seek(Pos - 4, soBeginning);
                Found = true;
                break;
            }
            Stream->Seek(Pos, soBeginning);
        }
    }
    FEndCentral.Clear();
    FMembers = std::make_unique<TSortedZip>(2);
    if (Found) {
        const qint64 Size = Stream->Size();
        for (;;) {
            CheckCancel();
            auto H = std::make_unique<TZipHeaderInfo>();
            H->OEMConvert = OEMConvert;
            if (!H->ReadLocalHeader(Stream))
                break;
            // Data larger than the file ends the scan (and is refused when
            // the member is read); only a size that fits is added up.
            const qint64 Comp = H->CompressedSize();
            const bool Fits = Comp >= 0 && Comp <= Size;
            qint64 Skip = qint64(H->LocalExtraFieldLength) + (Fits ? Comp : 0);
            if (H->HasDescriptor())
                Skip += 16;
            const qint64 Next = Stream->Position() + Skip;
            try {
                FMembers->Add(H.get());
                H.release();
            } catch (const EListError &) {
                break;
            }
            if (!Fits || Next > Size)
                break;
            Stream->Seek(Next, soBeginning);
        }
    }
    FEndCentral.SetNumberOfThisDisk(0);
    FEndCentral.SetOffsetOfCentralDirectory(Stream->Position());
    FEndCentral.SetTotalEntries(FMembers->Count());
    FCurrentDisk = 0;
    FNumberOfDisks = 1;
    return Found;
}

QString TUnZipper::SplitPartName(int PartNum, TSplitPartType Type)
{
    QString Name = FBaseName;
    if (OnFileNameForSplitPart) {
        OnFileNameForSplitPart(this, Name, PartNum, Type);
        return Name;
    }
    if (BlockMode == bmClassic)
        return Name + QStringLiteral(".%1").arg(PartNum, 3, 10, QLatin1Char('0'));
    // The names every reader of split sets expects: name.z01, name.z02, ...
    // and name.zip for the last part.
    if (Type == sptLast)
        return Name + QStringLiteral(".zip");
    return Name + QStringLiteral(".z%1").arg(PartNum, 2, 10, QLatin1Char('0'));
}

QString TUnZipper::PartName(quint32 Disk)
{
    const int PartNum = int(Disk) + 1;
    const TSplitPartType Type = Disk + 1 >= FNumberOfDisks ? sptLast : (PartNum == 1 ? sptFirst : sptMiddle);
    if (OnFileNameForSplitPart || BlockMode != bmStandard)
        return SplitPartName(PartNum, Type);
    // A set is opened through its last part, whatever that part is named
    // (a set made as name.zip reaches its user renamed, as name.qba).
    if (Type == sptLast)
        return FZipName;
    // The other parts lie beside it, named after the archive less its last
    // extension (as every split writer names them: a.b.z01 for a.b.zip),
    // else name.z01 or name.zip.z01 from the base name.
    const QString Number = QStringLiteral("z%1").arg(PartNum, 2, 10, QLatin1Char('0'));
    const QString Dir = ExtractFilePath(FZipName);
    const QString File = ExtractFileName(FZipName);
    const qsizetype Dot = File.lastIndexOf(QLatin1Char('.'));
    const QStringList Candidates{Dir + (Dot > 0 ? File.left(Dot) : File) + QLatin1Char('.') + Number,
                                 SplitPartName(PartNum, Type),
                                 FBaseName + QStringLiteral(".zip.") + Number};
    for (const QString &Name : Candidates)
        if (FileExists(Name))
            return Name;
    return Candidates.first();
}

bool TUnZipper::AskForDisk(int NextDisk, QString &FName)
{
    if (OnGetNextDisk) {
        OnGetNextDisk(this, NextDisk, FName);
        return !FName.isEmpty();
    }
    const int Answer = ShowLibraryMessage(184, ZipResourceString(184) + QString::number(NextDisk) + ZipResourceString(185),
                                          QString(), ZMB_OKCANCEL | ZMB_ICONQUESTION);
    return Answer == ZID_OK;
}

void TUnZipper::SwitchToDisk(quint32 Disk)
{
    if (FZipIsStream)
        throw EIncompleteZip(ZipResourceString(182));
    // A member or a directory said to lie on a disk after the last is not in the set.
    if (Disk >= FNumberOfDisks)
        throw EBadZipFile(ZipResourceString(183));
    QString Name;
    if (FMultiMode == mmSpan) {
        // Every disk of a spanned set holds a file of the archive's name: the
        // user is asked for the disk until its file is there.
        for (;;) {
            Name = FZipName;
            if (!AskForDisk(int(Disk) + 1, Name))
                throw EUserCanceled(QStringLiteral("User canceled loading new disk."));
            if (FileExists(Name))
                break;
        }
    } else {
        Name = PartName(Disk);
        if (!FileExists(Name)) {
            if (!OnGetNextDisk)
                throw EMissingSplitPart(Name);
            OnGetNextDisk(this, int(Disk) + 1, Name);
            if (Name.isEmpty())
                throw EUserCanceled(QStringLiteral("User canceled loading new disk."));
            if (!FileExists(Name))
                throw EMissingSplitPart(Name);
        }
    }
    FOwnedArchive.reset();
    FArchive = nullptr;
    FOwnedArchive = std::make_unique<TLFNFileStream>(Name, fmShareDenyNone, FlushFilesOnClose, ArchiveBufferSize);
    FArchive = FOwnedArchive.get();
    FSizeKnown = false;
    FCurrentDisk = Disk;
}

void TUnZipper::ReadArchiveDirectory(TStream *Stream)
{
    FArchiveDate = ArchiveStamp();
    FSortedView.reset();
    FMembers.reset();
    FDirectoryLoaded = false;
    FScanning = false;
    FFromZfc = false;
    bool ScanTried = false;

    // An end record whose directory starts on a later disk than its own, or
    // whose disks cannot all be numbered, belongs to no set.
    const auto Plausible = [this] {
        return FEndCentral.NumberOfDiskWithStartOfCentral() <= FEndCentral.NumberOfThisDisk()
            && FEndCentral.NumberOfThisDisk() < quint32(std::numeric_limits<int>::max());
    };
    bool Found = LocateEndOfCentralDir(Stream) && Plausible();
    TStream *Dir = Stream;
    std::unique_ptr<TLFNFileStream> Zfc;
    if (!Found && !FZipIsStream) {
        const QString ZfcName = ChangeFileExt(FZipName, QStringLiteral(".zfc"));
        if (FileExists(ZfcName)) {
            Zfc = std::make_unique<TLFNFileStream>(ZfcName, fmOpenRead, false, ArchiveBufferSize);
            if (LocateEndOfCentralDir(Zfc.get()) && Plausible()) {
                Dir = Zfc.get();
                FFromZfc = true;
                Found = true;
            } else {
                Zfc.reset();
            }
        }
    }
    if (!Found) {
        TIncompleteZipMode Mode = IncompleteZipMode;
        if (OnInCompleteZip) {
            OnInCompleteZip(this, Mode);
            IncompleteZipMode = Mode;
        }
        if (Mode == izAssumeNotAZip)
            throw ENotAZipFile(ZipResourceString(183));
        if (Mode == izAssumeMulti)
            throw EIncompleteZip(ZipResourceString(182));
        ScanTried = true;
        if (!ScanLocalHeaders(Stream)) {
            FScanning = false;
            CloseArchive();
            throw EBadZipFile(ZipResourceString(183));
        }
    }

    FCurrentDisk = FFromZfc ? 0 : FEndCentral.NumberOfThisDisk();
    FNumberOfDisks = FEndCentral.NumberOfThisDisk() + 1;
    // A set on a removable disk is a spanned one, one part a disk, unless
    // its first part lies beside the last (a split set copied onto a stick).
    if (FEndCentral.NumberOfThisDisk() == 0)
        FMultiMode = mmNone;
    else if (FMultiMode == mmNone)
        FMultiMode = ZipIsRemovableDrive(ExtractFilePath(ExpandFileName(FZipName))) && !FileExists(PartName(0))
                         ? mmSpan
                         : mmBlocks;

    qint64 Total = FEndCentral.TotalEntries();
    const qint64 DirSize = Dir->Size();
    // Every central header takes at least 46 bytes: a larger count is a lie.
    if (Total < 0 || (FMultiMode == mmNone && Total > DirSize / 46 + 1 && !FScanning)) {
        CloseArchive();
        throw EBadZipFile(ZipResourceString(183));
    }
    if (Total > 0) {
        if (FMultiMode != mmNone && !FFromZfc && FEndCentral.NumberOfDiskWithStartOfCentral() != FCurrentDisk) {
            SwitchToDisk(FEndCentral.NumberOfDiskWithStartOfCentral());
            Dir = FArchive;
            Stream = FArchive;
        }
        Dir->Seek(FFromZfc ? 0 : FEndCentral.OffsetOfCentralDirectory(), soBeginning);
    }
    if (!FMembers)
        FMembers = std::make_unique<TSortedZip>(2);
    FMembers->SortMode = ByNone;

    const bool Multi = FMultiMode != mmNone && !FFromZfc;
    // The directory of a whole archive is read in large pieces: its headers
    // are many and small, and the archive's own buffer suits member data.
    std::unique_ptr<TS_BufferStream> Ahead;
    if (!Multi && !FFromZfc && Total > 0) {
        // As large as the directory says it is (what it says is checked by
        // reading, not trusted for the size of anything but this buffer).
        const qint64 Stated = std::max<qint64>(FEndCentral.SizeOfCentralDirectory(), 0);
        const int Size = int(std::clamp<qint64>(Stated + 512, ArchiveBufferSize, DirectoryBufferSize));
        Ahead = std::make_unique<TS_BufferStream>(Dir, Size);
        Dir = Ahead.get();
    }
    std::function<TStream *()> NextDisk;
    if (Multi)
        NextDisk = [this]() -> TStream * {
            if (FCurrentDisk + 1 >= FNumberOfDisks)
                return nullptr;
            SwitchToDisk(FCurrentDisk + 1);
            return FArchive;
        };

    // Where the end record says the directory starts. An archive with data
    // put in front of it (offsets not adjusted) has its directory that much
    // further on, and every local header too: once the scan has found where
    // the directory really starts, a central header's offset plus the same
    // shift names its member.
    const qint64 StatedCentral = Found ? FEndCentral.OffsetOfCentralDirectory() : -1;
    qint64 Shift = 0;
    TZipHeaderInfo *Prev = nullptr;
    qint64 PrevExtra = 0;
    // The headers read, in directory order, and the local headers they
    // claim. They go into the member list (archive order) once all are read:
    // a directory need not follow the archive order, and placing each header
    // among those before it would move the whole list every time.
    // While the headers come in archive order no two can claim the same
    // local header; the claims are only gathered once one comes out of order.
    std::vector<std::unique_ptr<TZipHeaderInfo>> Read;
    Read.reserve(size_t(std::clamp<qint64>(Total, 0, 1 << 20)));
    QSet<std::pair<quint32, qint64>> Claimed;
    bool InOrder = true;
    // A header cut by the end of a part goes on in the next one, which
    // replaces the part read so far: the directory is read on from there.
    const auto ReadHeader = [&](TZipHeaderInfo &H) {
        const bool Ok = H.ReadCentralHeader(Dir, FScanning ? std::function<TStream *()>() : NextDisk);
        if (Multi)
            Dir = FArchive;
        return Ok;
    };
    for (qint64 I = 0; I < Total; ++I) {
        CheckCancel();
        auto H = std::make_unique<TZipHeaderInfo>();
        H->OEMConvert = OEMConvert;
        bool Ok = ReadHeader(*H);
        if (!Ok && Prev && PrevExtra > 0) {
            // The previous header claimed an extra field it does not hold.
            Prev->ExtraFieldLength = 0;
            Prev->StoredExtraLength = 0;
            Prev->Zip64ExtraLength = 0;
            Dir->Seek(-PrevExtra, soCurrent);
            Ok = ReadHeader(*H);
        }
        if (!Ok) {
            if (FScanning)
                break;
            if (FMultiMode == mmNone && !ScanTried) {
                ScanTried = true;
                if (ScanLocalHeaders(Stream)) {
                    Total = FEndCentral.TotalEntries();
                    if (StatedCentral >= 0)
                        Shift = FEndCentral.OffsetOfCentralDirectory() - StatedCentral;
                    Dir = Stream;
                    Dir->Seek(FEndCentral.OffsetOfCentralDirectory(), soBeginning);
                    Prev = nullptr;
                    PrevExtra = 0;
                    Read.clear();
                    Claimed.clear();
                    InOrder = true;
                    I = -1;
                    continue;
                }
                FScanning = false;
            }
            FSortedView.reset();
            FMembers.reset();
            CloseArchive();
            throw EBadZipFile(ZipResourceString(183));
        }
        TZipHeaderInfo *Kept = nullptr;
        if (FScanning) {
            int Index = 0;
            bool Match = FMembers->Find(H.get(), Index);
            if (!Match && Shift != 0) {
                // The same name bytes confirm the member found at the shifted offset.
                // (An offset too large to be shifted names nothing.)
                qint64 Shifted = -1;
                if (qAddOverflow(H->RelativeOffsetOfLocalHeader(), Shift, &Shifted))
                    Shifted = -1;
                TZipHeaderInfo Key;
                Key.SetDiskNumberStart(H->DiskNumberStart());
                Key.SetRelativeOffsetOfLocalHeader(Shifted);
                Match = Shifted >= 0 && FMembers->Find(&Key, Index)
                    && FMembers->Item(Index)->ArchiveName() == H->ArchiveName();
            }
            if (Match) {
                TZipHeaderInfo *M = FMembers->Item(Index);
                const qint64 Offset = M->RelativeOffsetOfLocalHeader();
                M->Assign(*H);
                M->SetRelativeOffsetOfLocalHeader(Offset);
                Kept = M;
            }
        } else {
            if (InOrder && !Read.empty() && FMembers->Compare(Read.back().get(), H.get()) >= 0) {
                InOrder = false;
                for (const auto &R : Read)
                    Claimed.insert({R->DiskNumberStart(), R->RelativeOffsetOfLocalHeader()});
            }
            if (!InOrder) {
                if (Claimed.contains({H->DiskNumberStart(), H->RelativeOffsetOfLocalHeader()})) {
                    // Two members claim the same local header: their data would overlap.
                    FSortedView.reset();
                    FMembers.reset();
                    CloseArchive();
                    throw EBadZipFile(ZipResourceString(183));
                }
                Claimed.insert({H->DiskNumberStart(), H->RelativeOffsetOfLocalHeader()});
            }
            Kept = H.get();
            Read.push_back(std::move(H));
        }
        if (Kept && FEndCentral.NumberOfThisDisk() > 0 && Kept->HasComment()) {
            Dir->Seek(Kept->ExtraFieldLength, soCurrent);
            Kept->SetFileComment(Dir->ReadBytes(Kept->FileCommentLength()));
        } else if (Kept) {
            Dir->Seek(qint64(Kept->ExtraFieldLength) + Kept->FileCommentLength(), soCurrent);
        } else {
            Dir->Seek(qint64(H->ExtraFieldLength) + H->FileCommentLength(), soCurrent);
        }
        Prev = Kept;
        PrevExtra = Kept ? Kept->ExtraFieldLength : 0;
    }

    if (!Read.empty()) {
        if (!InOrder)
            std::sort(Read.begin(), Read.end(), [this](const auto &A, const auto &B) {
                return FMembers->Compare(A.get(), B.get()) < 0;
            });
        FMembers->SetCapacity(FMembers->Count() + int(Read.size()));
        // The headers now follow one another in archive order, none equal
        // (a second claim was refused): into an empty list they go as they are.
        const bool Append = FMembers->Count() == 0;
        for (auto &H : Read) {
            if (!Append) {
                FMembers->Add(H.release());
                continue;
            }
            if (H->Zip64ExtendedInfo())
                FMembers->HasZip64 = true;
            FMembers->Insert(FMembers->Count(), H.release());
        }
    }

    if (FEndCentral.ZipCommentLength() > 0 && (FFromZfc || FEndCentral.NumberOfThisDisk() > 0)) {
        if (FFromZfc) {
            Zfc->Seek(FEndCentral.ZipCommentPosition, soBeginning);
            FEndCentral.SetZipComment(Zfc->ReadBytes(FEndCentral.ZipCommentLength()));
        } else {
            if (FCurrentDisk != FEndCentral.NumberOfThisDisk())
                SwitchToDisk(FEndCentral.NumberOfThisDisk());
            FArchive->Seek(FEndCentral.ZipCommentPosition, soBeginning);
            FEndCentral.SetZipComment(FArchive->ReadBytes(FEndCentral.ZipCommentLength()));
        }
    }
    FScanning = false;
    FCurrentDisk = FFromZfc ? FCurrentDisk : FEndCentral.NumberOfThisDisk();
    BuildSortedView();
    FDirectoryLoaded = true;
}

void TUnZipper::ReadLazyComment(TZipHeaderInfo &H)
{
    if (!H.HasComment() || H.CommentLoaded())
        return;
    OpenArchive();
    const qint64 Keep = FArchive->Position();
    FArchive->Seek(H.CentralHeaderPosition, soBeginning);
    unsigned char C[46];
    QByteArray Comment;
    if (FArchive->Read(C, 46) == 46) {
        FArchive->Seek(qint64(GetLE16(C + 28)) + GetLE16(C + 30), soCurrent);
        Comment = FArchive->ReadBytes(H.FileCommentLength());
    }
    H.SetFileComment(Comment);
    FArchive->Seek(Keep, soBeginning);
    CloseArchive();
}

QString TUnZipper::MemberComment(int Index)
{
    TZipHeaderInfo *H = Member(Index);
    if (!H->HasComment())
        return QString();
    ReadLazyComment(*H);
    return H->DecodedComment();
}

QString TUnZipper::ArchiveComment()
{
    if (!FDirectoryLoaded)
        OpenAndReadDirectory();
    if (FEndCentral.ZipCommentLength() == 0)
        return QString();
    if (!FEndCentral.CommentLoaded()) {
        OpenArchive();
        const qint64 Keep = FArchive->Position();
        FArchive->Seek(FEndCentral.ZipCommentPosition, soBeginning);
        FEndCentral.SetZipComment(FArchive->ReadBytes(FEndCentral.ZipCommentLength()));
        FArchive->Seek(Keep, soBeginning);
        CloseArchive();
    }
    // The archive comment has no flags of its own: it is read as UTF-8 when
    // the archive was made on a Unix host (a member says so) and the bytes
    // are valid UTF-8, as Info-ZIP writes it there.
    int Host = 0;
    for (int I = 0; FMembers && I < FMembers->Count() && Host != 3; ++I)
        Host = FMembers->Item(I)->HostSystem();
    return DecodeArchiveText(FEndCentral.ZipComment(), 0, Host);
}

// ------------------------------------------------------------ extraction

bool TUnZipper::CanDecodeMethod(quint16 Method)
{
    // Stored, deflated and the three older methods (shrunk, reduced, imploded).
    return Method == 0 || Method == 8 || IsLegacyMethod(Method);
}

QString TUnZipper::UnknownMethodText(const TZipHeaderInfo &H) const
{
    return ZipResourceString(197) + QStringLiteral(" (%1): ").arg(H.CompressionMethod)
        + QString(H.StoredName()).replace(QLatin1Char('\\'), QLatin1Char('/'));
}

void TUnZipper::ReportFile(qint64 Done, qint64 Size)
{
    if (OnFilePercentDone)
        OnFilePercentDone(this, Percent(Done, Size));
}

void TUnZipper::ReportTotal(qint64 Done)
{
    if (OnTotalPercentDone)
        OnTotalPercentDone(this, Percent(Done, FTotalBytes));
}

qint64 TUnZipper::ArchiveSize() const
{
    // A stream of the application may change between calls; a file the
    // library opened is asked once.
    if (FZipIsStream)
        return FArchive->Size();
    if (!FSizeKnown) {
        FArchiveSize = FArchive->Size();
        FSizeKnown = true;
    }
    return FArchiveSize;
}

qint64 TUnZipper::MemberDataLimit(const TZipHeaderInfo &H) const
{
    if (FMultiMode != mmNone)
        return std::numeric_limits<qint64>::max();
    qint64 Limit = ArchiveSize();
    if (!FFromZfc && FEndCentral.OffsetOfCentralDirectory() > 0)
        Limit = std::min(Limit, FEndCentral.OffsetOfCentralDirectory());
    // Members are mostly taken in archive order: the one after the member
    // found last is tried before the list is searched.
    int Index = FLastLimitIndex + 1;
    const bool Next = FMembers && Index >= 0 && Index < FMembers->Count()
        && FMembers->Item(Index)->RelativeOffsetOfLocalHeader() == H.RelativeOffsetOfLocalHeader()
        && FMembers->Item(Index)->DiskNumberStart() == H.DiskNumberStart();
    if (Next || (FMembers && FMembers->Find(&H, Index))) {
        FLastLimitIndex = Index;
        const qint64 Own = H.RelativeOffsetOfLocalHeader();
        for (int I = Index + 1; I < FMembers->Count(); ++I) {
            const qint64 Next = FMembers->Item(I)->RelativeOffsetOfLocalHeader();
            if (Next > Own) {
                Limit = std::min(Limit, Next);
                break;
            }
        }
    }
    return Limit;
}

// ------------------------------------------------------------ member data

// The input and output steps of one member (see detail/MemberIO.h).
class TUnZipper::MemberStream : public ZipDetail::MemberIO {
public:
    // Worker, when given, runs the member off the caller's thread: its own
    // archive stream, no events, and a stop request in place of the cancel.
    MemberStream(TUnZipper &Owner, const TZipHeaderInfo &H, Sink &Out, qint64 Compressed, const WorkerContext *Worker = nullptr)
        : FOwner(Owner), FOut(Out), FSize(H.UncompressedSize()), FRemaining(Compressed),
          FDecryptInput(H.IsEncrypted() && H.CompressionMethod != 0),
          FArchive(Worker ? Worker->Archive : Owner.FArchive), FWorker(Worker)
    {
        FCrc = quint32(crc32(0, nullptr, 0));
    }

    qint64 Remaining() const override { return FRemaining; }
    quint32 Crc() const { return FCrc; }
    qint64 Written() const { return FWritten; }

    // Raw bytes of the member, not decrypted (the stored method decrypts at output).
    qint64 ReadRaw(unsigned char *Data, qint64 Want)
    {
        const qint64 N = std::min(Want, FRemaining);
        FRemaining -= N;
        qint64 Got = 0;
        while (Got < N) {
            const qint64 R = FArchive->Read(Data + Got, N - Got);
            if (R > 0) {
                Got += R;
                continue;
            }
            // Data goes on into the next part of a set, never past the last.
            if (FOwner.FMultiMode == mmNone || FWorker || FOwner.FCurrentDisk + 1 >= FOwner.FNumberOfDisks)
                throw EFatalUnzipError(ZipResourceString(194));
            try {
                FOwner.SwitchToDisk(FOwner.FCurrentDisk + 1);
            } catch (const EUserCanceled &) {
                throw EUserCanceled(ZipResourceString(181));
            }
            FArchive = FOwner.FArchive;
        }
        Pause();
        return N;
    }

    void Pause()
    {
        if (!FWorker)
            FOwner.CheckCancel();
        else if (FWorker->Stop->load() || FOwner.FCancel.load())
            throw EUserCanceled(ZipResourceString(181));
    }

    qint64 Input(const unsigned char *&Data) override
    {
        unsigned char *Buf = FBuffer.get();
        const qint64 N = ReadRaw(Buf, ChunkSize);
        if (FDecryptInput)
            FOwner.DecryptData(Buf, N);
        Data = Buf;
        return N;
    }

    void Output(const unsigned char *P, qint64 N) override
    {
        if (N <= 0)
            return;
        if (FWritten + N > FSize)
            throw EBiggerThanUncompressed(ZipResourceString(199));
        if (!FOut.Write(reinterpret_cast<const char *>(P), N))
            throw ECantWriteUCF(ZipResourceString(207));
        FCrc = quint32(crc32(FCrc, P, uInt(N)));
        FWritten += N;
        if (!FWorker) {
            FOwner.FFileDone += N;
            FOwner.ReportFile(FOwner.FFileDone, FSize);
            FOwner.FTotalDone = AddDeclaredSize(FOwner.FTotalDone, N);
            FOwner.ReportTotal(FOwner.FTotalDone);
        }
        // A member that inflates a lot reads little: the output honours a cancel too.
        Pause();
    }

private:
    TUnZipper &FOwner;
    Sink &FOut;
    qint64 FSize;
    qint64 FRemaining;
    bool FDecryptInput;
    ChunkLease FBuffer;   // filled before it is read: never cleared
    quint32 FCrc = 0;
    qint64 FWritten = 0;
    TStream *FArchive;
    const WorkerContext *FWorker;
};

void TUnZipper::DecryptData(unsigned char *Data, qint64 Count)
{
    if (Count <= 0)
        return;
    if (OnDecrypt)
        OnDecrypt(this, Data, int(Count), FPassword);
    else
        FCipher->Decrypt(Data, Count);
}

qint64 TUnZipper::SeekMemberData(const TZipHeaderInfo &H, quint32 &CheckTime, const WorkerContext *Worker)
{
    if (!Worker && FMultiMode != mmNone && H.DiskNumberStart() != FCurrentDisk)
        SwitchToDisk(H.DiskNumberStart());
    TStream *A = Worker ? Worker->Archive : FArchive;
    const qint64 Offset = H.RelativeOffsetOfLocalHeader();
    const qint64 Comp = H.CompressedSize();
    unsigned char L[30];
    // The member's data must lie inside the archive and end before the next
    // member begins: overlapping or out-of-range data is refused. Its local
    // header lies before that limit too (a seek elsewhere fails and leaves
    // the stream where it was).
    const qint64 Limit = Worker ? Worker->Limit : MemberDataLimit(H);
    if (Offset < 0 || Offset > Limit || Comp < 0 || H.UncompressedSize() < 0)
        throw EBadZipFile(ZipResourceString(183));
    // Members that follow one another are read on without a seek: the
    // stream moves within what it has read ahead.
    A->Seek(Offset, soBeginning);
    if (A->Read(L, 30) != 30 || GetLE32(L) != LocalFileHeaderSignature())
        throw EBadZipFile(ZipResourceString(183));
    const qint64 DataStart = Offset + 30 + GetLE16(L + 26) + GetLE16(L + 28);
    if (Comp > Limit - DataStart || (H.IsEncrypted() && Comp < TraditionalCipher::HeaderSize))
        throw EBadZipFile(ZipResourceString(183));
    A->Seek(DataStart, soBeginning);
    CheckTime = GetLE32(L + 10);
    return Comp;
}

bool TUnZipper::PasswordFits(const TZipHeaderInfo &H)
{
    NullSink Null;
    quint32 CheckTime = 0;
    const qint64 Comp = SeekMemberData(H, CheckTime);
    MemberStream In(*this, H, Null, Comp);
    unsigned char Head[TraditionalCipher::HeaderSize];
    In.ReadRaw(Head, TraditionalCipher::HeaderSize);
    FCipher = std::make_unique<TraditionalCipher>(Cp936::Encode(FPassword));
    DecryptData(Head, TraditionalCipher::HeaderSize);
    // With a data descriptor the CRC was not known when the header was made:
    // the check byte is then the high byte of the DOS time.
    const quint8 Expected = H.HasDescriptor() ? quint8((CheckTime >> 8) & 0xFF) : quint8(H.CRC32 >> 24);
    return Head[TraditionalCipher::HeaderSize - 1] == Expected;
}

bool TUnZipper::AskNewPassword(int Index)
{
    if (!OnBadPassword)
        return false;
    QString NewPassword = FPassword;
    OnBadPassword(this, Index, NewPassword);
    // No answer, or the same password again, ends the retries.
    if (NewPassword.isEmpty() || NewPassword == FPassword)
        return false;
    FPassword = NewPassword;
    return true;
}

bool TUnZipper::AcceptPassword(int Index, const TZipHeaderInfo &H)
{
    if (!H.IsEncrypted())
        return true;
    for (;;) {
        if (!FPassword.isEmpty() && PasswordFits(H))
            return true;
        if (!AskNewPassword(Index))
            return false;
    }
}

bool TUnZipper::DecodeMember(TZipHeaderInfo &H, Sink &Out, quint32 &CalcCRC, const WorkerContext *Worker)
{
    quint32 CheckTime = 0;
    const qint64 Comp = SeekMemberData(H, CheckTime, Worker);
    if (!Worker) {
        FFileDone = 0;
        FFileSize = H.UncompressedSize();
    }
    MemberStream IO(*this, H, Out, Comp, Worker);
    if (H.IsEncrypted()) {
        // The keys run through the 12 header bytes first.
        unsigned char Head[TraditionalCipher::HeaderSize];
        IO.ReadRaw(Head, TraditionalCipher::HeaderSize);
        FCipher = std::make_unique<TraditionalCipher>(Cp936::Encode(FPassword));
        DecryptData(Head, TraditionalCipher::HeaderSize);
    }

    // The decoder of each method; CanDecodeMethod names the methods handled here.
    switch (H.CompressionMethod) {
    case 0: {
        const ChunkLease Buf;
        while (IO.Remaining() > 0) {
            const qint64 N = IO.ReadRaw(Buf.get(), ChunkSize);
            // A stored member is decrypted at output.
            if (H.IsEncrypted())
                DecryptData(Buf.get(), N);
            IO.Output(Buf.get(), N);
        }
        break;
    }
    case 8:
        if (H.IsEncrypted()) {
            // A wrong password passes the one-byte header check once in 256
            // tries, and the data it gives does not inflate: that is the news
            // a CRC mismatch brings, and it goes the same way.
            try {
                Inflate(IO);
            } catch (const EZCompressionError &) {
                CalcCRC = IO.Crc();
                return false;
            }
        } else {
            Inflate(IO);
        }
        break;
    case 1: case 2: case 3: case 4: case 5: case 6: {
        LegacyMember L;
        L.Method = H.CompressionMethod;
        L.Flags = H.GeneralPurposeFlags;
        L.UncompressedSize = H.UncompressedSize();
        // What is still to come after an encryption header.
        L.CompressedSize = IO.Remaining();
        L.Input = [&IO](const uchar *&Data) -> qint64 {
            if (IO.Remaining() <= 0)
                return 0;
            return IO.Input(Data);
        };
        L.Output = [&IO](const char *Data, qint64 Count) {
            IO.Output(reinterpret_cast<const unsigned char *>(Data), Count);
        };
        L.Message = [this](int Id, const QString &Msg1, const QString &Msg2, quint32 Flags) {
            ShowLibraryMessage(Id, Msg1, Msg2, Flags);
        };
        DecodeLegacyMember(L);
        break;
    }
    default:
        throw EZipperException(UnknownMethodText(H));
    }
    CalcCRC = IO.Crc();
    return IO.Written() == H.UncompressedSize() && IO.Crc() == H.CRC32;
}

namespace {

// The inflate state of a thread, set up once and reset for each member: a
// test of many small members would otherwise spend its time making and
// freeing the state and its window.
class ThreadInflater {
public:
    ~ThreadInflater()
    {
        if (FReady)
            inflateEnd(&FZ);
    }
    z_stream &Start()
    {
        if (!FReady) {
            FZ = z_stream{};
            if (inflateInit2(&FZ, -15) != Z_OK)
                throw EZCompressionError(QStringLiteral("error"));
            FReady = true;
        } else if (inflateReset(&FZ) != Z_OK) {
            throw EZCompressionError(QStringLiteral("error"));
        }
        // Input the last member left unread (after an error, or past its end)
        // is no input of this one.
        FZ.next_in = nullptr;
        FZ.avail_in = 0;
        return FZ;
    }
    unsigned char *Window()
    {
        if (!FWindow)
            FWindow = std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(ChunkSize));
        return FWindow.get();
    }

private:
    z_stream FZ{};
    bool FReady = false;
    std::unique_ptr<unsigned char[]> FWindow;
};

} // namespace

void TUnZipper::Inflate(ZipDetail::MemberIO &IO)
{
    thread_local ThreadInflater Inflater;
    z_stream &Z = Inflater.Start();
    unsigned char *Window = Inflater.Window();
    const uInt WindowSize = uInt(ChunkSize);
    int Rc = Z_OK;
    while (Rc != Z_STREAM_END) {
        if (Z.avail_in == 0 && IO.Remaining() > 0) {
            const unsigned char *Data = nullptr;
            Z.avail_in = uInt(IO.Input(Data));
            Z.next_in = const_cast<Bytef *>(Data);
        }
        Z.next_out = Window;
        Z.avail_out = WindowSize;
        Rc = inflate(&Z, Z_NO_FLUSH);
        if (Rc < 0 && !(Rc == Z_BUF_ERROR && Z.avail_out != 0 && IO.Remaining() > 0))
            throw EZCompressionError(QStringLiteral("error"));
        IO.Output(Window, qint64(WindowSize - Z.avail_out));
        if (Rc == Z_BUF_ERROR && IO.Remaining() == 0 && Z.avail_in == 0)
            throw EZCompressionError(QStringLiteral("error"));
        if (Rc != Z_STREAM_END && Z.avail_in == 0 && IO.Remaining() == 0 && Z.avail_out != 0)
            // The stream ended before its end code: the data is cut short.
            throw EZCompressionError(QStringLiteral("error"));
    }
}

QString TUnZipper::RunBase() const
{
    // The current folder is asked once a run, not once a member.
    if (!FRunBase.isEmpty())
        return FRunBase;
    return FDestDir.isEmpty() ? GetCurrentDir() : FDestDir;
}

QString TUnZipper::OutputPath(const TZipHeaderInfo &H, bool &Refused) const
{
    Refused = false;
    QString Rel;
    if (RecreateDirs && !H.Directory().isEmpty()) {
        QString Dir = H.Directory();
        for (int I = 0; I < FRelativePathList.Count(); ++I) {
            QString Prefix = FRelativePathList.Strings(I);
            Prefix.replace(QLatin1Char('/'), QLatin1Char('\\'));
            if (!Prefix.isEmpty() && Dir.startsWith(Prefix, Qt::CaseInsensitive)) {
                Dir = Dir.mid(Prefix.size());
                break;
            }
        }
        // An absolute folder is re-rooted under the destination.
        if (Dir.size() >= 2 && Dir[1] == QLatin1Char(':'))
            Dir = Dir.mid(2);
        Rel = Dir;
    }
    Rel += H.FileNameRef();
    const bool IsFolder = H.FileNameRef().isEmpty();
    const QString Clean = ZipDetail::CleanRelativePath(Rel, IsFolder);
    if (Clean.isNull()) {
        Refused = true;
        return QString();
    }
    return ZipDetail::JoinPath(RunBase(), Clean);
}

// One member on its way out: what the steps before, during and after its
// decoding share.
struct TUnZipper::ExtractJob {
    int Index = 0;
    TZipHeaderInfo W;
    QString FName;
    std::unique_ptr<ZipDetail::TempFile> Temp;
    unsigned Mode = 0;
    qint64 Limit = 0;
    bool Good = false;
    bool CannotCreate = false;
    quint32 Calc = 0;
    std::exception_ptr Error;
};

bool TUnZipper::MakeFolders(const QString &Base, const QString &Folder)
{
    // A run makes and checks each folder once: members share their folders.
    const QString Key = Base + QChar(0) + Folder;
    if (FMadeFolders.contains(Key))
        return true;
    if (!ZipDetail::MakeFoldersInside(Base, Folder))
        return false;
    FMadeFolders.insert(Key);
    return true;
}

bool TUnZipper::MayDecode(int Index, const TZipHeaderInfo &H, QString &FName)
{
    // The checks before a member's data is decoded, by a test as by an
    // extraction: its start event may skip it; a member nobody can read, or
    // one whose password is not given, is a failure (the first one named).
    bool SkipIt = false;
    if (OnStartUnZip)
        OnStartUnZip(this, Index, FName, SkipIt);
    if (SkipIt)
        return false;
    if (!CanDecodeMethod(H.CompressionMethod)) {
        ++FFailed;
        ShowLibraryMessage(197, UnknownMethodText(H), ZipResourceString(198), ZMB_OK | ZMB_ICONERROR);
        return false;
    }
    if (!AcceptPassword(Index, H)) {
        ++FFailed;
        bool Again = false;
        if (OnSkippingFile)
            OnSkippingFile(this, skrBadPassword, FName, Index, Again);
        return false;
    }
    return true;
}

bool TUnZipper::TestOne(int Index, TZipHeaderInfo &H, int &Count, bool &Retry)
{
    // The steps of an extraction up to the decoding, whose output goes
    // nowhere. The member is read as it is listed, and the name its events
    // get (where it would be extracted) is made only for a handler to take,
    // or to see whether the name must be refused.
    Retry = false;
    bool Refused = false;
    QString FName;
    const bool Plain = (!RecreateDirs || H.DirectoryRef().isEmpty()) && ZipDetail::IsPlainRelativePath(H.FileNameRef());
    if (!Plain || OnSkippingFile || OnStartUnZip || OnEndUnZip) {
        const QString Safe = OutputPath(H, Refused);
        FName = Refused ? H.StoredName() : Safe;
    }
    auto Skip = [&](TSkipReason Reason) {
        bool Again = false;
        if (OnSkippingFile)
            OnSkippingFile(this, Reason, FName, Index, Again);
        return false;
    };
    if (Refused)
        return Skip(skrCannotCreate);
    if (H.FileNameRef().isEmpty()) {
        ++Count;
        return true;
    }
    if (!MayDecode(Index, H, FName))
        return false;
    NullSink Null;
    quint32 Calc = 0;
    if (DecodeMember(H, Null, Calc)) {
        if (OnEndUnZip)
            OnEndUnZip(this, Index, FName);
        ++Count;
        return true;
    }
    // A member that decodes wrong under a password may have met a wrong
    // password whose check byte happened to fit: a new one retries it.
    ExtractJob J;
    J.Index = Index;
    J.W.Assign(H);
    J.FName = FName;
    J.Calc = Calc;
    return BadMemberData(J, Retry);
}

bool TUnZipper::ExtractOne(int Index, TZipHeaderInfo &Listed, RunKind Kind, int &Count, bool &Retry)
{
    if (Kind == RunKind::Test)
        return TestOne(Index, Listed, Count, Retry);
    std::unique_ptr<ExtractJob> Job;
    const bool Handled = PrepareExtract(Index, Listed, Kind, Count, Retry, Job);
    if (!Job)
        return Handled;
    DecodeJob(*Job, nullptr);
    return FinishExtract(*Job, Count, Retry);
}

bool TUnZipper::BadMemberData(ExtractJob &J, bool &Retry)
{
    ++FFailed;
    if (J.W.IsEncrypted()) {
        if (AskNewPassword(J.Index)) {
            --FFailed;
            Retry = true;
            return false;
        }
        bool Again = false;
        if (OnSkippingFile)
            OnSkippingFile(this, skrBadPassword, J.FName, J.Index, Again);
        return false;
    }
    if (OnBadCRC)
        OnBadCRC(this, J.Calc, J.W.CRC32, J.Index);
    return false;
}

void TUnZipper::DecodeJob(ExtractJob &J, const WorkerContext *Worker)
{
    try {
        // The file is made, written and dated through one descriptor on the
        // decoding thread; only putting it in place waits for the member's turn.
        J.Temp = std::make_unique<ZipDetail::TempFile>(ExtractFilePath(J.FName), true);
        if (!J.Temp->Created()) {
            J.CannotCreate = true;
            return;
        }
        const int Fd = J.Temp->Fd();
        FileSink Out(Fd);
        J.Good = DecodeMember(J.W, Out, J.Calc, Worker);
        if (J.Good) {
            timespec Times[2];
            Times[0].tv_sec = Times[1].tv_sec = MemberTime(RepairDosDateTime(J.W.LastModFileDateTime));
            Times[0].tv_nsec = Times[1].tv_nsec = 0;
            ::futimens(Fd, Times);
            ::fchmod(Fd, mode_t(J.Mode));
        }
        if ((J.Good && FlushFilesOnClose && ::fsync(Fd) != 0) || !J.Temp->CloseFile())
            throw ECantWriteUCF(ZipResourceString(207));
    } catch (...) {
        if (!Worker)
            throw;
        J.Error = std::current_exception();
    }
}

bool TUnZipper::FinishExtract(ExtractJob &J, int &Count, bool &Retry)
{
    auto Skip = [&](TSkipReason Reason) {
        bool Again = false;
        if (OnSkippingFile)
            OnSkippingFile(this, Reason, J.FName, J.Index, Again);
        return false;
    };
    if (J.Error)
        std::rethrow_exception(J.Error);
    if (J.CannotCreate)
        return Skip(skrCannotCreate);
    if (!J.Good) {
        J.Temp->Remove();
        return BadMemberData(J, Retry);
    }
    if (!J.Temp->RenameTo(J.FName))
        return Skip(skrCannotCreate);
    if (OnEndUnZip)
        OnEndUnZip(this, J.Index, J.FName);
    ++Count;
    return true;
}

bool TUnZipper::PrepareExtract(int Index, TZipHeaderInfo &Listed, RunKind Kind, int &Count, bool &Retry,
                               std::unique_ptr<ExtractJob> &Job,
                               const std::function<void(const QString &FName)> &BeforeFolders)
{
    Retry = false;
    auto J = std::make_unique<ExtractJob>();
    J->Index = Index;
    TZipHeaderInfo &W = J->W;
    W.Assign(Listed);
    bool Refused = false;
    const QString Safe = OutputPath(W, Refused);
    QString FName = Refused ? W.StoredName() : Safe;
    auto Skip = [&](TSkipReason Reason) {
        bool Retry = false;
        if (OnSkippingFile)
            OnSkippingFile(this, Reason, FName, Index, Retry);
        return false;
    };
    if (Refused)
        return Skip(skrCannotCreate);
    const QString Base = RunBase();

    if (W.FileNameRef().isEmpty()) {
        if (Kind == RunKind::Extract && RecreateDirs && !MakeFolders(Base, FName))
            return Skip(skrCannotCreate);
        ++Count;
        return true;
    }
    if (!MayDecode(Index, W, FName))
        return false;
    // Folders of the output: inside the destination none may be a link.
    if (BeforeFolders)
        BeforeFolders(FName);
    const QString Folder = ExtractFilePath(FName);
    const bool Inside = FName == Safe;
    if (Inside ? !MakeFolders(Base, Folder) : !ForceDirectories(Folder))
        return Skip(skrCannotCreate);

    struct stat St;
    const QByteArray Target = QFile::encodeName(FName);
    const bool Exists = ::lstat(Target.constData(), &St) == 0;
    if (Exists && OverwriteMode != TUZOverwriteMode::Always) {
        bool Over = false;
        const qint64 FileDate = FileAge(FName);
        switch (OverwriteMode) {
        case TUZOverwriteMode::Prompt:
            if (OnPromptForOverwrite)
                OnPromptForOverwrite(this, Over, Index, FName);
            else
                Over = ShowLibraryMessage(195, ZipResourceString(195) + W.FileName() + QLatin1Char('?'),
                                          ZipResourceString(196), ZMB_YESNO | ZMB_ICONQUESTION) == ZID_YES;
            break;
        case TUZOverwriteMode::Never: Over = false; break;
        case TUZOverwriteMode::ifNewer: Over = qint64(W.LastModFileDateTime) > FileDate; break;
        case TUZOverwriteMode::ifOlder: Over = qint64(W.LastModFileDateTime) < FileDate; break;
        default: Over = true; break;
        }
        if (!Over)
            return Skip(skrNotOverwritten);
    }
    if (Exists && S_ISDIR(St.st_mode))
        return Skip(skrCannotCreate);
    if (Exists && S_ISREG(St.st_mode) && (St.st_mode & 0222) == 0 && !ReplaceReadOnly)
        return Skip(skrCannotCreate);

    // The member is written under a temporary name beside its target and
    // renamed only once its length and CRC are right.
    // (The file itself is made with the decoding, on the worker's time.)
    J->FName = FName;
    J->Mode = ZipDetail::AttributeMode(RetainAttributes, W.VersionMadeBy, W.ExternalFileAttributes);
    J->Limit = MemberDataLimit(W);
    Job = std::move(J);
    return true;
}

void TUnZipper::ExtractParallel(TSortedZip *List, int Threads, int &Count)
{
    // The caller's thread asks every question and fires every event in
    // member order; workers only decode plain members into their temporary
    // files, each reading the archive through a stream of its own.
    struct Slot {
        std::unique_ptr<ExtractJob> Job;
        std::mutex Lock;
        std::condition_variable Ready;
        std::atomic<bool> Done{false};
        bool Handed = false;
    };
    std::deque<std::unique_ptr<Slot>> Pending;
    QSet<QString> PendingNames;
    // How many of the pending names have each length: a folder of a target
    // is looked up only when a pending name is that long, so a deep name
    // costs its length and not a lookup of every one of its folders.
    QHash<qsizetype, int> PendingLengths;
    auto AddPending = [&](const QString &Name) {
        if (PendingNames.contains(Name))
            return;
        PendingNames.insert(Name);
        ++PendingLengths[Name.size()];
    };
    auto RemovePending = [&](const QString &Name) {
        if (PendingNames.remove(Name) && --PendingLengths[Name.size()] == 0)
            PendingLengths.remove(Name.size());
    };
    std::atomic<bool> Stop{false};
    const QString Archive = FZipName;
    const bool Flush = FlushFilesOnClose;
    ZipDetail::TaskPool Pool(Threads);
    struct StopWorkers {
        std::atomic<bool> &Stop;
        ZipDetail::TaskPool &Pool;
        ~StopWorkers()
        {
            Stop = true;
            Pool.Stop();
        }
    } Guard{Stop, Pool};
    // Small members go to the workers in batches, one task and one stream
    // on the archive for many files, so a hand-over costs little beside the
    // work. Each member waiting for its turn holds its output open, which
    // bounds the window.
    constexpr size_t BatchCount = 16;
    constexpr qint64 BatchMember = 65536;
    const int Window = std::min(Threads * 2 * int(BatchCount), std::max(Threads * 2, 256));
    std::vector<Slot *> Batch;
    auto Run = [this, &Stop, Archive, Flush](const std::vector<Slot *> &Slots) {
        std::unique_ptr<TLFNFileStream> In;
        for (Slot *P : Slots) {
            try {
                if (!In)
                    In = std::make_unique<TLFNFileStream>(Archive, fmOpenRead | fmShareDenyNone, Flush, ArchiveBufferSize);
                const WorkerContext Ctx{In.get(), P->Job->Limit, &Stop};
                DecodeJob(*P->Job, &Ctx);
            } catch (...) {
                P->Job->Error = std::current_exception();
            }
            // Notified under the lock: the caller frees the slot as soon as
            // it sees Done, and it takes the lock before it does.
            std::lock_guard<std::mutex> G(P->Lock);
            P->Done = true;
            P->Ready.notify_all();
        }
    };
    auto FlushBatch = [&] {
        if (Batch.empty())
            return;
        for (Slot *P : Batch)
            P->Handed = true;
        Pool.Submit([Run, Slots = std::move(Batch)] { Run(Slots); });
        Batch.clear();
    };

    auto FinishFront = [&] {
        if (!Pending.front()->Handed)
            FlushBatch();
        std::unique_ptr<Slot> S = std::move(Pending.front());
        Pending.pop_front();
        {
            std::unique_lock<std::mutex> G(S->Lock);
            S->Ready.wait(G, [&] { return S->Done.load(); });
        }
        RemovePending(S->Job->FName);
        bool Retry = false;
        const qint64 Size = S->Job->W.UncompressedSize();
        FinishExtract(*S->Job, Count, Retry);
        ReportFile(Size, Size);
        FTotalDone = AddDeclaredSize(FTotalDone, Size);
        ReportTotal(FTotalDone);
        // A cancel from an event stops the members still waiting too.
        if (FCancel)
            CheckCancel();
    };
    auto Drain = [&] {
        FlushBatch();
        while (!Pending.empty())
            FinishFront();
    };
    // A member inside a folder that an earlier member, still on its way,
    // writes as a file: on one thread that file is in place first and the
    // folder cannot be made. The earlier members finish before the folder
    // is tried, so the result is the same on any number of threads.
    auto UnderPending = [&](const QString &FName) {
        for (qsizetype Slash = FName.lastIndexOf(QLatin1Char('/')); Slash > 0;
             Slash = FName.lastIndexOf(QLatin1Char('/'), Slash - 1))
            if (PendingLengths.contains(Slash) && PendingNames.contains(FName.left(Slash)))
                return true;
        return false;
    };
    const auto BeforeFolders = [&](const QString &FName) {
        if (!Pending.empty() && UnderPending(FName))
            Drain();
    };

    for (int I = 0; I < List->Count(); ++I) {
        TZipHeaderInfo *H = List->Item(I);
        if (!H->Selected)
            continue;
        CheckCancel();
        while (!Pending.empty() && Pending.front()->Done)
            FinishFront();
        bool Refused = false;
        const QString Target = OutputPath(*H, Refused);
        // Members that need the user (a password) or meet an earlier one
        // (the same output) wait until everything before them is done.
        // The older methods may ask the user (message 193), so they stay on this thread too.
        const bool Plain = !H->IsEncrypted() && (H->CompressionMethod == 0 || H->CompressionMethod == 8)
            && !H->FileName().isEmpty();
        if (!Plain || PendingNames.contains(Target) || UnderPending(Target))
            Drain();
        if (!Plain) {
            bool Retry = false;
            do
                ExtractOne(I, *H, RunKind::Extract, Count, Retry);
            while (Retry);
            continue;
        }
        bool Retry = false;
        std::unique_ptr<ExtractJob> Job;
        PrepareExtract(I, *H, RunKind::Extract, Count, Retry, Job, BeforeFolders);
        if (!Job)
            continue;
        if (PendingNames.contains(Job->FName))
            Drain();
        auto S = std::make_unique<Slot>();
        S->Job = std::move(Job);
        Slot *P = S.get();
        AddPending(P->Job->FName);
        Pending.push_back(std::move(S));
        // One stream on the archive per task: opening is cheap beside decoding.
        if (H->CompressedSize() <= BatchMember) {
            Batch.push_back(P);
            if (Batch.size() >= BatchCount)
                FlushBatch();
        } else {
            P->Handed = true;
            Pool.Submit([Run, P] { Run({P}); });
        }
        while (int(Pending.size()) >= Window)
            FinishFront();
    }
    Drain();
}

void TUnZipper::TestParallel(TSortedZip *List, int Threads, int &Count)
{
    // Plain members (stored or deflated, not encrypted, named as they may
    // be) are decoded by workers, a run of neighbours at a time, each run
    // read in order through a stream of its own; the others, and every
    // event, come on this thread in member order. The members are taken a
    // window at a time, so a cancel or a failure stops within one window.
    struct Member {
        int Index = 0;
        TZipHeaderInfo *H = nullptr;
        qint64 Limit = 0;
        bool OnWorker = false;
        bool Good = false;
        quint32 Calc = 0;
        std::exception_ptr Error;
    };
    constexpr size_t WindowSize = 8192;
    constexpr size_t RunSize = 256;
    std::vector<Member> Window;
    std::mutex Lock;
    std::condition_variable AllDone;
    int Running = 0;
    std::atomic<bool> Stop{false};
    const QString Archive = FZipName;
    ZipDetail::TaskPool Pool(Threads);
    struct StopWorkers {
        std::atomic<bool> &Stop;
        ZipDetail::TaskPool &Pool;
        ~StopWorkers()
        {
            Stop = true;
            Pool.Stop();
        }
    } Guard{Stop, Pool};

    auto Decode = [this, &Stop, &Archive, &Lock, &AllDone, &Running](Member *First, Member *Last) {
        std::unique_ptr<TLFNFileStream> In;
        for (Member *M = First; M != Last && !Stop; ++M) {
            if (!M->OnWorker)
                continue;
            try {
                if (!In)
                    In = std::make_unique<TLFNFileStream>(Archive, fmOpenRead | fmShareDenyNone, false, ArchiveBufferSize);
                const WorkerContext Ctx{In.get(), M->Limit, &Stop};
                NullSink Null;
                M->Good = DecodeMember(*M->H, Null, M->Calc, &Ctx);
            } catch (...) {
                M->Error = std::current_exception();
            }
        }
        std::lock_guard<std::mutex> G(Lock);
        --Running;
        AllDone.notify_all();
    };
    auto RunWindow = [&] {
        for (size_t B = 0; B < Window.size(); B += RunSize) {
            Member *First = Window.data() + B;
            Member *Last = Window.data() + std::min(Window.size(), B + RunSize);
            {
                std::lock_guard<std::mutex> G(Lock);
                ++Running;
            }
            Pool.Submit([Decode, First, Last] { Decode(First, Last); });
        }
        {
            std::unique_lock<std::mutex> G(Lock);
            AllDone.wait(G, [&] { return Running == 0; });
        }
        for (Member &M : Window) {
            CheckCancel();
            bool Retry = false;
            if (!M.OnWorker) {
                do
                    TestOne(M.Index, *M.H, Count, Retry);
                while (Retry);
                continue;
            }
            if (M.Error)
                std::rethrow_exception(M.Error);
            QString FName;
            if (OnEndUnZip || OnSkippingFile) {
                bool Refused = false;
                FName = OutputPath(*M.H, Refused);
            }
            if (M.Good) {
                if (OnEndUnZip)
                    OnEndUnZip(this, M.Index, FName);
                ++Count;
            } else {
                ExtractJob J;
                J.Index = M.Index;
                J.W.Assign(*M.H);
                J.FName = FName;
                J.Calc = M.Calc;
                BadMemberData(J, Retry);
            }
            FTotalDone = AddDeclaredSize(FTotalDone, M.H->UncompressedSize());
            ReportTotal(FTotalDone);
        }
        Window.clear();
    };

    for (int I = 0; I < List->Count(); ++I) {
        TZipHeaderInfo *H = List->Item(I);
        if (!H->Selected)
            continue;
        Member M;
        M.Index = I;
        M.H = H;
        // A name that must be refused is refused on this thread (TestOne).
        bool Refused = H->FileNameRef().isEmpty();
        if (!Refused && !((!RecreateDirs || H->DirectoryRef().isEmpty()) && ZipDetail::IsPlainRelativePath(H->FileNameRef())))
            OutputPath(*H, Refused);
        M.OnWorker = !Refused && !H->IsEncrypted() && (H->CompressionMethod == 0 || H->CompressionMethod == 8);
        if (M.OnWorker)
            M.Limit = MemberDataLimit(*H);
        Window.push_back(std::move(M));
        if (Window.size() >= WindowSize)
            RunWindow();
    }
    RunWindow();
}

int TUnZipper::RunExtraction(RunKind Kind)
{
    if (Kind == RunKind::Extract && FDestDir == QLatin1String("?"))
        return 0;
    Restore<bool> BusyFlag(FBusy, true);
    FCancel = false;
    OpenArchive();
    Restore<bool> KeepOpen(FKeepZipOpen, true);
    const TZipSortMode SavedSort = FSortMode;
    if (FMultiMode != mmNone && FSortMode != ByNone)
        SetSortMode(ByNone);
    struct AtEnd {
        TUnZipper *Z;
        TZipSortMode Sort;
        ~AtEnd()
        {
            if (Z->FSortMode != Sort)
                Z->SetSortMode(Sort);
            Z->FCancel = false;
            Z->FMadeFolders.clear();
            Z->FRunBase.clear();
        }
    } Guard{this, SavedSort};
    FMadeFolders.clear();
    FRunBase.clear();
    FRunBase = RunBase();

    TSortedZip *List = View();
    int NumFiles = 0;
    FFailed = 0;
    FTotalBytes = 0;
    FTotalDone = 0;
    // Entries without a wildcard match only the member of that name: they
    // are looked up, and only the masks are tried against every member.
    QSet<QString> Names;
    QStringList Masks;
    if (!UseMarks && !DoAll)
        for (int J = 0; J < FFilesList.Count(); ++J) {
            const QString Entry = LowerCase(FFilesList.Strings(J));
            if (ZipHasWildcards(Entry))
                Masks << Entry;
            else
                Names.insert(Entry);
        }
    for (int I = 0; I < List->Count(); ++I) {
        CheckCancel();
        TZipHeaderInfo *H = List->Item(I);
        bool Sel = false;
        if (UseMarks) {
            Sel = H->MarkedByApplication != 0;
            H->MarkedByApplication = 0;
        } else if (DoAll) {
            Sel = true;
        } else {
            const QString Name = LowerCase(H->StoredName());
            Sel = Names.contains(Name);
            for (qsizetype J = 0; J < Masks.size() && !Sel; ++J)
                Sel = WildcardMatches(Masks[J], Name);
        }
        if (H->FileNameRef().isEmpty() && !RecreateDirs)
            Sel = false;
        H->Selected = Sel ? 1 : 0;
        if (Sel) {
            ++NumFiles;
            FTotalBytes = AddDeclaredSize(FTotalBytes, H->UncompressedSize());
        }
    }
    bool StopNow = false;
    if (OnStartUnZipInfo)
        OnStartUnZipInfo(this, NumFiles, FTotalBytes, StopNow);
    int Count = 0;
    const int Threads = ExtractThreads > 0 ? ExtractThreads : int(std::max(1u, std::thread::hardware_concurrency()));
    // Members are decoded side by side unless the application follows each
    // file's progress, which only one member at a time can give.
    const bool Parallel = NumFiles > 1 && !StopNow && Threads > 1 && FMultiMode == mmNone && !FZipIsStream
        && !OnFilePercentDone;
    if (Parallel && Kind == RunKind::Extract) {
        ExtractParallel(List, Threads, Count);
    } else if (Parallel && !OnStartUnZip) {
        // A test whose members the application does not pick one by one.
        TestParallel(List, Threads, Count);
    } else if (NumFiles > 0 && !StopNow) {
        for (int I = 0; I < List->Count(); ++I) {
            TZipHeaderInfo *H = List->Item(I);
            if (!H->Selected)
                continue;
            CheckCancel();
            bool Retry = false;
            do
                ExtractOne(I, *H, Kind, Count, Retry);
            while (Retry);
        }
    }
    FFilesList.Clear();
    if (OnUnZipComplete)
        OnUnZipComplete(this, Count);
    return Count;
}

int TUnZipper::UnpackFiles()
{
    struct CloseAfter {
        TUnZipper *Z;
        ~CloseAfter() { Z->CloseArchive(); }
    } Close{this};
    return RunExtraction(RunKind::Extract);
}

int TUnZipper::TestFiles()
{
    struct CloseAfter {
        TUnZipper *Z;
        ~CloseAfter() { Z->CloseArchive(); }
    } Close{this};
    return RunExtraction(RunKind::Test);
}

bool TUnZipper::UnzipToStream(int Index, TStream *Stream)
{
    Restore<bool> BusyFlag(FBusy, true);
    FCancel = false;
    struct CloseAfter {
        TUnZipper *Z;
        ~CloseAfter() { Z->CloseArchive(); }
    } Close{this};
    OpenArchive();
    TZipHeaderInfo W;
    W.Assign(*Member(Index));
    if (W.FileName().isEmpty())
        return true;
    if (!CanDecodeMethod(W.CompressionMethod))
        throw EZipperException(UnknownMethodText(W));
    if (!AcceptPassword(Index, W)) {
        bool Retry = false;
        if (OnSkippingFile)
            OnSkippingFile(this, skrBadPassword, W.StoredName(), Index, Retry);
        return false;
    }
    StreamSink Out(Stream);
    quint32 Calc = 0;
    FTotalBytes = W.UncompressedSize();
    FTotalDone = 0;
    try {
        const bool Ok = DecodeMember(W, Out, Calc);
        if (!Ok && OnBadCRC)
            OnBadCRC(this, Calc, W.CRC32, Index);
        return Ok;
    } catch (const EUserCanceled &E) {
        throw ECanceledUnzipToBuffer(E.Message());
    }
}

QByteArray TUnZipper::UnzipToBuffer(int Index)
{
    TMemoryStream M;
    if (!UnzipToStream(Index, &M))
        return QByteArray();
    return M.Bytes();
}
