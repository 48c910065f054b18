#include "UnZipper.h"

#include "ZipSearch.h"
#include "detail/ByteIO.h"
#include "detail/LegacyMethods.h"
#include "detail/SafePath.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"

#include <QFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace ZipDetail;

namespace {

constexpr int ArchiveBufferSize = 8192;
constexpr qint64 ChunkSize = 32768;

// Stored, deflated and the three older methods (shrunk, reduced, imploded).
bool IsKnownMethod(int Method)
{
    return Method == 0 || Method == 8 || IsLegacyMethod(Method);
}

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
    FZipIsStream = false;
}

void TUnZipper::SetZipStream(TStream *Stream)
{
    DropDirectory();
    FOwnedArchive.reset();
    FArchive = Stream;
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
    FSortedView->SetCapacity(FMembers->Count());
    for (int I = 0; I < FMembers->Count(); ++I)
        FSortedView->Add(FMembers->Item(I));
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
        DropDirectory();
    }
    if (!FArchive) {
        if (FZipIsStream)
            throw EZipperException(ZipResourceString(183));
        FOwnedArchive = std::make_unique<TLFNFileStream>(FZipName, fmOpenRead | fmShareDenyWrite,
                                                         FlushFilesOnClose, ArchiveBufferSize);
        FArchive = FOwnedArchive.get();
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
            qint64 Skip = qint64(H->LocalExtraFieldLength) + H->CompressedSize();
            if (H->HasDescriptor())
                Skip += 16;
            const qint64 Next = Stream->Position() + Skip;
            try {
                FMembers->Add(H.get());
                H.release();
            } catch (const EListError &) {
                break;
            }
            if (Next > Size || Skip < 0)
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

QString TUnZipper::PartName(quint32 Disk)
{
    const int PartNum = int(Disk) + 1;
    const TSplitPartType Type = PartNum == 1 ? sptFirst : (Disk + 1 >= FNumberOfDisks ? sptLast : sptMiddle);
    QString Name = FBaseName;
    if (OnFileNameForSplitPart) {
        OnFileNameForSplitPart(this, Name, PartNum, Type);
        return Name;
    }
    if (BlockMode == bmClassic)
        return Name + QStringLiteral(".%1").arg(PartNum, 3, 10, QLatin1Char('0'));
    if (Disk + 1 >= FNumberOfDisks)
        return Name + QStringLiteral(".zip");
    return Name + QStringLiteral(".z%1").arg(PartNum, 2, 10, QLatin1Char('0'));
}

void TUnZipper::SwitchToDisk(quint32 Disk)
{
    if (FZipIsStream)
        throw EIncompleteZip(ZipResourceString(182));
    QString Name = PartName(Disk);
    if (!FileExists(Name)) {
        if (OnGetNextDisk)
            OnGetNextDisk(this, int(Disk) + 1, Name);
        if (Name.isEmpty() || !FileExists(Name))
            throw EUserCanceled(QStringLiteral("User canceled loading new disk."));
    }
    FOwnedArchive.reset();
    FArchive = nullptr;
    FOwnedArchive = std::make_unique<TLFNFileStream>(Name, fmShareDenyNone, FlushFilesOnClose, ArchiveBufferSize);
    FArchive = FOwnedArchive.get();
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

    bool Found = LocateEndOfCentralDir(Stream);
    if (Found && FEndCentral.NumberOfDiskWithStartOfCentral() > FEndCentral.NumberOfThisDisk())
        Found = false;
    TStream *Dir = Stream;
    std::unique_ptr<TLFNFileStream> Zfc;
    if (!Found && !FZipIsStream) {
        const QString ZfcName = ChangeFileExt(FZipName, QStringLiteral(".zfc"));
        if (FileExists(ZfcName)) {
            Zfc = std::make_unique<TLFNFileStream>(ZfcName, fmOpenRead, false, ArchiveBufferSize);
            if (LocateEndOfCentralDir(Zfc.get())) {
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
    if (FEndCentral.NumberOfThisDisk() == 0)
        FMultiMode = mmNone;
    else if (FMultiMode == mmNone)
        FMultiMode = ZipIsRemovableDrive(FZipName) ? mmSpan : mmBlocks;
    FNumberOfDisks = FEndCentral.NumberOfThisDisk() + 1;

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
    std::function<TStream *()> NextDisk;
    if (Multi)
        NextDisk = [this]() -> TStream * {
            SwitchToDisk(FCurrentDisk + 1);
            return FArchive;
        };

    TZipHeaderInfo *Prev = nullptr;
    qint64 PrevExtra = 0;
    for (qint64 I = 0; I < Total; ++I) {
        CheckCancel();
        auto H = std::make_unique<TZipHeaderInfo>();
        H->OEMConvert = OEMConvert;
        bool Ok = H->ReadCentralHeader(Dir, FScanning ? std::function<TStream *()>() : NextDisk);
        if (Multi)
            Dir = FArchive;
        if (!Ok && Prev && PrevExtra > 0) {
            // The previous header claimed an extra field it does not hold.
            Prev->ExtraFieldLength = 0;
            Prev->StoredExtraLength = 0;
            Prev->Zip64ExtraLength = 0;
            Dir->Seek(-PrevExtra, soCurrent);
            Ok = H->ReadCentralHeader(Dir, FScanning ? std::function<TStream *()>() : NextDisk);
        }
        if (!Ok) {
            if (FScanning)
                break;
            if (FMultiMode == mmNone && !ScanTried) {
                ScanTried = true;
                if (ScanLocalHeaders(Stream)) {
                    Total = FEndCentral.TotalEntries();
                    Dir = Stream;
                    Dir->Seek(FEndCentral.OffsetOfCentralDirectory(), soBeginning);
                    Prev = nullptr;
                    PrevExtra = 0;
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
            if (FMembers->Find(H.get(), Index)) {
                TZipHeaderInfo *M = FMembers->Item(Index);
                const qint64 Offset = M->RelativeOffsetOfLocalHeader();
                M->Assign(*H);
                M->SetRelativeOffsetOfLocalHeader(Offset);
                Kept = M;
            }
        } else {
            try {
                FMembers->Add(H.get());
            } catch (const EListError &) {
                // Two members claim the same local header: their data would overlap.
                FSortedView.reset();
                FMembers.reset();
                CloseArchive();
                throw EBadZipFile(ZipResourceString(183));
            }
            Kept = H.release();
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
    return H->GeneralPurposeFlags & 0x0800 ? QString::fromUtf8(H->FileComment()) : Cp936::Decode(H->FileComment());
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
    return Cp936::Decode(FEndCentral.ZipComment());
}

// ------------------------------------------------------------ extraction

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

qint64 TUnZipper::MemberDataLimit(const TZipHeaderInfo &H) const
{
    if (FMultiMode != mmNone)
        return std::numeric_limits<qint64>::max();
    qint64 Limit = FArchive->Size();
    if (!FFromZfc && FEndCentral.OffsetOfCentralDirectory() > 0)
        Limit = std::min(Limit, FEndCentral.OffsetOfCentralDirectory());
    int Index = 0;
    if (FMembers && FMembers->Find(&H, Index)) {
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

bool TUnZipper::DecodeMember(TZipHeaderInfo &H, Sink &Out, quint32 &CalcCRC)
{
    if (FMultiMode != mmNone && H.DiskNumberStart() != FCurrentDisk)
        SwitchToDisk(H.DiskNumberStart());
    TStream *A = FArchive;
    const qint64 Offset = H.RelativeOffsetOfLocalHeader();
    const qint64 Comp = H.CompressedSize();
    const qint64 Size = H.UncompressedSize();
    unsigned char L[30];
    A->Seek(Offset, soBeginning);
    if (Offset < 0 || Comp < 0 || Size < 0 || A->Read(L, 30) != 30 || GetLE32(L) != LocalFileHeaderSignature())
        throw EBadZipFile(ZipResourceString(183));
    const qint64 DataStart = Offset + 30 + GetLE16(L + 26) + GetLE16(L + 28);
    // The member's data must lie inside the archive and end before the next
    // member begins: overlapping or out-of-range data is refused.
    if (DataStart + Comp > MemberDataLimit(H))
        throw EBadZipFile(ZipResourceString(183));
    A->Seek(DataStart, soBeginning);

    quint32 Crc = quint32(crc32(0, nullptr, 0));
    qint64 Written = 0;
    FFileDone = 0;
    FFileSize = Size;
    auto Output = [&](const char *P, qint64 N) {
        if (N <= 0)
            return;
        if (Written + N > Size)
            throw EBiggerThanUncompressed(ZipResourceString(199));
        if (!Out.Write(P, N))
            throw ECantWriteUCF(ZipResourceString(207));
        Crc = quint32(crc32(Crc, reinterpret_cast<const Bytef *>(P), uInt(N)));
        Written += N;
        FFileDone += N;
        ReportFile(FFileDone, Size);
        FTotalDone += N;
        ReportTotal(FTotalDone);
        // A member that inflates a lot reads little: the output honours a cancel too.
        CheckCancel();
    };
    qint64 Remaining = Comp;
    std::vector<char> In(static_cast<size_t>(ChunkSize));
    auto Input = [&]() -> qint64 {
        const qint64 N = std::min(ChunkSize, Remaining);
        Remaining -= N;
        qint64 Got = 0;
        while (Got < N) {
            const qint64 R = FArchive->Read(In.data() + Got, N - Got);
            if (R > 0) {
                Got += R;
                continue;
            }
            if (FMultiMode == mmNone)
                throw EFatalUnzipError(ZipResourceString(194));
            try {
                SwitchToDisk(FCurrentDisk + 1);
            } catch (const EUserCanceled &) {
                throw EUserCanceled(ZipResourceString(181));
            }
        }
        CheckCancel();
        return N;
    };

    if (H.CompressionMethod == 0) {
        while (Remaining > 0) {
            const qint64 N = Input();
            Output(In.data(), N);
        }
    } else if (IsLegacyMethod(H.CompressionMethod)) {
        LegacyMember L;
        L.Method = H.CompressionMethod;
        L.Flags = H.GeneralPurposeFlags;
        L.UncompressedSize = Size;
        L.CompressedSize = Remaining;
        L.Input = [&](const uchar *&Data) -> qint64 {
            if (Remaining <= 0)
                return 0;
            const qint64 N = Input();
            Data = reinterpret_cast<const uchar *>(In.data());
            return N;
        };
        L.Output = Output;
        L.Message = [this](int Id, const QString &Msg1, const QString &Msg2, quint32 Flags) {
            ShowLibraryMessage(Id, Msg1, Msg2, Flags);
        };
        DecodeLegacyMember(L);
    } else {
        z_stream Z {};
        if (inflateInit2(&Z, -15) != Z_OK)
            throw EZCompressionError(QStringLiteral("error"));
        std::vector<char> Window(static_cast<size_t>(ChunkSize));
        try {
            int Rc = Z_OK;
            while (Rc != Z_STREAM_END) {
                if (Z.avail_in == 0 && Remaining > 0) {
                    Z.avail_in = uInt(Input());
                    Z.next_in = reinterpret_cast<Bytef *>(In.data());
                }
                Z.next_out = reinterpret_cast<Bytef *>(Window.data());
                Z.avail_out = uInt(Window.size());
                Rc = inflate(&Z, Z_NO_FLUSH);
                if (Rc < 0 && !(Rc == Z_BUF_ERROR && Z.avail_out != 0 && Remaining > 0))
                    throw EZCompressionError(QStringLiteral("error"));
                Output(Window.data(), qint64(Window.size() - Z.avail_out));
                if (Rc == Z_BUF_ERROR && Remaining == 0 && Z.avail_in == 0)
                    throw EZCompressionError(QStringLiteral("error"));
                if (Rc != Z_STREAM_END && Z.avail_in == 0 && Remaining == 0 && Z.avail_out != 0)
                    // The stream ended before its end code: the data is cut short.
                    throw EZCompressionError(QStringLiteral("error"));
            }
        } catch (...) {
            inflateEnd(&Z);
            throw;
        }
        inflateEnd(&Z);
    }
    CalcCRC = Crc;
    return Written == Size && Crc == H.CRC32;
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
    Rel += H.FileName();
    const bool IsFolder = H.FileName().isEmpty();
    const QString Clean = ZipDetail::CleanRelativePath(Rel, IsFolder);
    if (Clean.isNull()) {
        Refused = true;
        return QString();
    }
    const QString Base = FDestDir.isEmpty() ? GetCurrentDir() : FDestDir;
    return ZipDetail::JoinPath(Base, Clean);
}

bool TUnZipper::ExtractOne(int Index, TZipHeaderInfo &Listed, RunKind Kind, int &Count)
{
    TZipHeaderInfo W;
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
    const QString Base = FDestDir.isEmpty() ? GetCurrentDir() : FDestDir;

    if (W.FileName().isEmpty()) {
        if (Kind == RunKind::Extract && RecreateDirs && !ZipDetail::MakeFoldersInside(Base, FName))
            return Skip(skrCannotCreate);
        ++Count;
        return true;
    }
    bool SkipIt = false;
    if (OnStartUnZip)
        OnStartUnZip(this, Index, FName, SkipIt);
    if (SkipIt)
        return false;
    if (W.IsEncrypted())
        // Members under the traditional cipher cannot be read by this build.
        return Skip(skrBadPassword);
    if (!IsKnownMethod(W.CompressionMethod)) {
        if (Kind != RunKind::Test)
            ShowLibraryMessage(197, ZipResourceString(197), ZipResourceString(198), ZMB_OK | ZMB_ICONERROR);
        return false;
    }
    if (Kind == RunKind::Test) {
        NullSink Null;
        quint32 Calc = 0;
        if (DecodeMember(W, Null, Calc)) {
            if (OnEndUnZip)
                OnEndUnZip(this, Index, FName);
            ++Count;
            return true;
        }
        if (OnBadCRC)
            OnBadCRC(this, Calc, W.CRC32, Index);
        return false;
    }

    // Folders of the output: inside the destination none may be a link.
    const QString Folder = ExtractFilePath(FName);
    const bool Inside = FName == Safe;
    if (Inside ? !ZipDetail::MakeFoldersInside(Base, Folder) : !ForceDirectories(Folder))
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
    ZipDetail::TempFile Temp(ExtractFilePath(FName));
    if (!Temp.Created())
        return Skip(skrCannotCreate);
    bool Good = false;
    quint32 Calc = 0;
    {
        std::unique_ptr<TLFNFileStream> OutFile;
        try {
            OutFile = std::make_unique<TLFNFileStream>(Temp.Path(), fmOpenReadWrite, FlushFilesOnClose, ArchiveBufferSize);
        } catch (const EStreamError &) {
            return Skip(skrCannotCreate);
        }
        StreamSink Out(OutFile.get());
        Good = DecodeMember(W, Out, Calc);
        if (!OutFile->Finish())
            throw ECantWriteUCF(ZipResourceString(207));
    }
    if (!Good) {
        Temp.Remove();
        if (OnBadCRC)
            OnBadCRC(this, Calc, W.CRC32, Index);
        return false;
    }
    FileSetDosDate(Temp.Path(), RepairDosDateTime(W.LastModFileDateTime));
    ZipDetail::ApplyAttributes(Temp.Path(), RetainAttributes, W.VersionMadeBy, W.ExternalFileAttributes);
    if (!Temp.RenameTo(FName))
        return Skip(skrCannotCreate);
    if (OnEndUnZip)
        OnEndUnZip(this, Index, FName);
    ++Count;
    return true;
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
        }
    } Guard{this, SavedSort};

    TSortedZip *List = View();
    int NumFiles = 0;
    FTotalBytes = 0;
    FTotalDone = 0;
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
            for (int J = 0; J < FFilesList.Count() && !Sel; ++J)
                Sel = WildcardMatches(LowerCase(FFilesList.Strings(J)), Name);
        }
        if (H->FileName().isEmpty() && !RecreateDirs)
            Sel = false;
        H->Selected = Sel ? 1 : 0;
        if (Sel) {
            ++NumFiles;
            FTotalBytes += H->UncompressedSize();
        }
    }
    bool StopNow = false;
    if (OnStartUnZipInfo)
        OnStartUnZipInfo(this, NumFiles, FTotalBytes, StopNow);
    int Count = 0;
    if (NumFiles > 0 && !StopNow) {
        for (int I = 0; I < List->Count(); ++I) {
            TZipHeaderInfo *H = List->Item(I);
            if (!H->Selected)
                continue;
            CheckCancel();
            ExtractOne(I, *H, Kind, Count);
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
    if (W.IsEncrypted() || !IsKnownMethod(W.CompressionMethod) || W.FileName().isEmpty())
        return false;
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
