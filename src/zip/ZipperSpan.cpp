// Spanned and split archives: TZipper writing a set part by part.
//
// Every member is first zipped into a scratch file, so its local header is
// final before any of it reaches a part; then header and data are placed,
// the data running on across parts as the room of each allows. A local
// header never straddles two parts, nor does a central header or the end
// record. Each part is written under a temporary name beside its target
// and takes its name only once it is complete; a run that fails or is
// cancelled removes the parts it can still reach.

#include "Zipper.h"

#include "detail/ByteIO.h"
#include "detail/SafePath.h"
#include "platform/core/FileUtils.h"

#include <unistd.h>
#include <QDir>

#include <algorithm>

using namespace ZipDetail;

namespace {

constexpr int PartBufferSize = 8192;
constexpr qint64 CopyChunk = 16384;

// Room kept for a Zip64 block a header may gain, and for the Zip64 end
// record with its locator.
constexpr qint64 Zip64HeaderReserve = 32;
constexpr qint64 Zip64EndReserve = 56 + 20;

} // namespace

class TZipper::PartWriter {
public:
    PartWriter(TZipper &Owner, qint64 Need);
    ~PartWriter();

    // Writes across parts, moving on when a part is full.
    void Write(const void *Data, qint64 Count);
    // Moves to the next part when the room left is not enough for Size bytes
    // (Strict: when it is not more than Size, as before a local header).
    void Reserve(qint64 Size, bool Strict);
    qint64 Position() { return FStream->Position(); }
    quint32 Disk() const { return FDisk; }
    quint32 Disks() const { return FDisk + 1; }
    // For a record written straight to the part after Reserve.
    TStream *Stream() { return FStream.get(); }
    void Wrote(qint64 Count) { FRoom -= Count; }
    // Completes the last part under its last name ("PK00" marks a set that
    // ended up on one disk).
    void Finish();

private:
    void OpenPart(const QString &Folder);
    void ClosePart(const QString &Name);
    void NextDisk();

    TZipper &Z;
    TMultiMode FMode;
    qint64 FNeed;
    qint64 FRoom = 0;
    quint32 FDisk = 0;
    QString FPartName;   // the name the current part takes when complete
    std::unique_ptr<TempFile> FTemp;
    std::unique_ptr<TLFNFileStream> FStream;
    QStringList FDone;   // complete parts of a split set written by this run
    bool FFinished = false;
};

TZipper::PartWriter::PartWriter(TZipper &Owner, qint64 Need)
    : Z(Owner), FMode(Owner.FMultiZipInfo.MultiMode), FNeed(Need)
{
    const TMultiZipInfo &M = Z.FMultiZipInfo;
    const QString Target = ExpandFileName(Z.FZipName);
    const QString Folder = ExtractFilePath(Target);
    qint64 Save = std::max<qint64>(0, M.SaveOnFirstDisk);
    if (M.SaveZipInfoOnFirstDisk)
        Save += Z.DirectoryEstimate();
    if (FMode == mmSpan) {
        // Spanning fills a disk before asking for the next one: on a fixed
        // drive it would fill the drive.
        if (!ZipIsRemovableDrive(Folder))
            throw EZipperException(QStringLiteral("只能在可移动磁盘上写跨盘压缩文件：%1").arg(Folder));
        const qint64 Free = ZipDiskFreeSpace(Folder);
        if (Free < 0)
            throw EInOutError(QStringLiteral("无法读取磁盘的可用空间：%1").arg(Folder));
        if (M.SaveZipInfoOnFirstDisk)
            Save += ZipClusterSize(Folder);
        FRoom = Free - Save;
        FPartName = Target;
    } else {
        if (M.BlockSize < FNeed)
            throw EZipperException(QStringLiteral("分卷大小 %1 字节太小，放不下压缩文件的记录，至少需要 %2 字节。")
                                       .arg(M.BlockSize).arg(FNeed));
        FRoom = (M.FirstBlockSize > 0 ? M.FirstBlockSize : M.BlockSize) - Save;
        FPartName = Z.SplitPartName(1, sptFirst);
    }
    if (FRoom < 4 + FNeed)
        throw EZipperException(QStringLiteral("第一个分卷（或第一张磁盘）留出 %1 字节后已没有足够的空间，至少需要 %2 字节。")
                                   .arg(Save).arg(4 + FNeed));
    OpenPart(Folder);
}

TZipper::PartWriter::~PartWriter()
{
    if (FFinished)
        return;
    // The part being written goes with its temporary file; complete parts of
    // a split set are removed too. (Parts on disks taken out of the drive
    // are out of reach.)
    FStream.reset();
    FTemp.reset();
    for (const QString &Part : FDone)
        DeleteFile(Part);
}

void TZipper::PartWriter::OpenPart(const QString &Folder)
{
    FTemp = std::make_unique<TempFile>(Folder);
    if (!FTemp->Created())
        throw EFCreateError(QStringLiteral("无法在文件夹中创建文件：%1").arg(Folder));
    ApplyAttributes(FTemp->Path(), false, 0, 0);
    FStream = std::make_unique<TLFNFileStream>(FTemp->Path(), fmOpenReadWrite, Z.FlushFilesOnClose, PartBufferSize);
}

void TZipper::PartWriter::ClosePart(const QString &Name)
{
    if (!FStream->Finish())
        throw ENotEnoughRoom(ZipResourceString(204));
    FStream.reset();
    if (!FTemp->RenameTo(Name))
        throw EFCreateError(QStringLiteral("无法创建文件：%1").arg(Name));
    FTemp.reset();
}

void TZipper::PartWriter::NextDisk()
{
    ClosePart(FPartName);
    if (FMode == mmBlocks)
        FDone << FPartName;
    ++FDisk;
    if (FMode == mmBlocks) {
        FPartName = Z.SplitPartName(int(FDisk) + 1, sptMiddle);
        FRoom = Z.FMultiZipInfo.BlockSize;
        OpenPart(ExtractFilePath(ExpandFileName(FPartName)));
        return;
    }
    // The next disk of a span: asked for until one with room is in the drive.
    for (;;) {
        QString Name = ExpandFileName(Z.FZipName);
        if (!Z.AskForDisk(int(FDisk) + 1, Name))
            throw EUserCanceled(ZipResourceString(187));
        const QString Folder = ExtractFilePath(ExpandFileName(Name));
        const qint64 Free = ZipDiskFreeSpace(Folder);
        if (Free < 0)
            throw EInOutError(QStringLiteral("无法读取磁盘的可用空间：%1").arg(Folder));
        if (Free < FNeed)
            continue;
        if (Z.OnPrepareNextDisk)
            Z.OnPrepareNextDisk(&Z, int(FDisk) + 1);
        FPartName = ExpandFileName(Name);
        FRoom = Free;
        OpenPart(Folder);
        return;
    }
}

void TZipper::PartWriter::Reserve(qint64 Size, bool Strict)
{
    if (Strict ? FRoom <= Size : FRoom < Size)
        NextDisk();
}

void TZipper::PartWriter::Write(const void *Data, qint64 Count)
{
    const char *P = static_cast<const char *>(Data);
    while (Count > 0) {
        if (FRoom <= 0)
            NextDisk();
        const qint64 N = std::min(Count, FRoom);
        if (FStream->Write(P, N) != N)
            throw ENotEnoughRoom(ZipResourceString(204));
        FRoom -= N;
        P += N;
        Count -= N;
        Z.CheckCancel();
    }
}

void TZipper::PartWriter::Finish()
{
    if (FDisk == 0) {
        // The whole set ended up in one part: the spanning signature gives
        // way to the marker of a one-disk set.
        const qint64 End = FStream->Position();
        FStream->Seek(0, soBeginning);
        if (FStream->Write("PK00", 4) != 4)
            throw ENotEnoughRoom(ZipResourceString(204));
        FStream->Seek(End, soBeginning);
    }
    const QString Last = FMode == mmBlocks ? Z.SplitPartName(int(FDisk) + 1, sptLast) : FPartName;
    ClosePart(Last);
    FFinished = true;
}

// ------------------------------------------------------------------ TZipper

// Here, where the part writer is complete.
TZipper::TZipper(TComponent *AOwner)
    : TUnZipper(AOwner)
{
}

TZipper::~TZipper()
{
    if (FArchiveLock >= 0)
        ::close(FArchiveLock);
}

int TZipper::TakeArchiveLock()
{
    const int Fd = FArchiveLock;
    FArchiveLock = -1;
    return Fd;
}

void TZipper::LargestHeaders(qint64 &Local, qint64 &Central) const
{
    Local = 30 + Zip64HeaderReserve;
    Central = 46 + Zip64HeaderReserve;
    for (int I = 0; I < FFilesList.Count(); ++I) {
        const QString Path = FFilesList.Strings(I);
        TZipHeaderInfo T;
        T.OEMConvert = OEMConvert;
        if (!Path.endsWith(QLatin1Char('/')) && !Path.endsWith(QLatin1Char('\\')))
            T.SetFileName(ExtractFileName(Path));
        T.SetDirectory(StoredFolder(Path));
        const qint64 Name = T.ArchiveName().size() + T.UnicodePathBlock().size();
        Local = std::max(Local, 30 + Name + Zip64HeaderReserve);
        Central = std::max(Central, 46 + Name + Zip64HeaderReserve);
    }
}

qint64 TZipper::DirectoryEstimate() const
{
    qint64 Size = 22 + FNewEnd.ZipCommentLength() + Zip64EndReserve + 2048;
    for (int I = 0; I < FFilesList.Count(); ++I) {
        const QString Path = FFilesList.Strings(I);
        TZipHeaderInfo T;
        T.OEMConvert = OEMConvert;
        T.SetFileName(ExtractFileName(Path));
        T.SetDirectory(StoredFolder(Path));
        Size += 46 + T.ArchiveName().size() + T.UnicodePathBlock().size() + Zip64HeaderReserve;
    }
    return Size;
}

void TZipper::PlaceMember(TZipHeaderInfo &H)
{
    // The scratch file holds the member's final local header and its data.
    const qint64 End = FOut->Position();
    unsigned char L[30];
    FOut->Seek(0, soBeginning);
    if (FOut->Read(L, 30) != 30)
        throw EFatalUnzipError(ZipResourceString(194));
    const qint64 HeaderSize = 30 + GetLE16(L + 26) + GetLE16(L + 28);
    FParts->Reserve(HeaderSize, true);
    H.SetRelativeOffsetOfLocalHeader(FParts->Position());
    H.SetDiskNumberStart(FParts->Disk());
    FOut->Seek(0, soBeginning);
    std::vector<char> Buf(static_cast<size_t>(CopyChunk));
    for (qint64 Left = End; Left > 0;) {
        const qint64 N = std::min(Left, CopyChunk);
        if (FOut->Read(Buf.data(), N) != N)
            throw EFatalUnzipError(ZipResourceString(194));
        FParts->Write(Buf.data(), N);
        Left -= N;
        FTotalDone += N;
        if (OnTotalPercentDone)
            OnTotalPercentDone(this, Percent(FTotalDone, FTotalBytes));
    }
    FOut->SetSize(0);
    FOut->Seek(0, soBeginning);
}

void TZipper::WriteMultiDirectory()
{
    bool First = true;
    quint32 EntriesDisk = FParts->Disk();
    qint64 Entries = 0;
    qint64 CentralSize = 0;
    for (int I = 0; I < FNewList->Count(); ++I) {
        TMemoryStream M;
        FNewList->Item(I)->WriteCentralHeader(&M, nullptr);
        FParts->Reserve(M.Size(), false);
        if (First) {
            FNewEnd.SetOffsetOfCentralDirectory(FParts->Position());
            FNewEnd.SetNumberOfDiskWithStartOfCentral(FParts->Disk());
            First = false;
        }
        if (FParts->Disk() != EntriesDisk) {
            EntriesDisk = FParts->Disk();
            Entries = 0;
        }
        FParts->Write(M.Memory(), M.Size());
        CentralSize += M.Size();
        ++Entries;
    }
    const qint64 EndSize = 22 + FNewEnd.ZipCommentLength() + Zip64EndReserve;
    FParts->Reserve(EndSize, false);
    if (First) {
        FNewEnd.SetOffsetOfCentralDirectory(FParts->Position());
        FNewEnd.SetNumberOfDiskWithStartOfCentral(FParts->Disk());
    }
    if (FParts->Disk() != EntriesDisk)
        Entries = 0;
    FNewEnd.SetTotalEntries(FNewList->Count());
    FNewEnd.SetEntriesOnThisDisk(Entries);
    FNewEnd.SetSizeOfCentralDirectory(CentralSize);
    FNewEnd.SetNumberOfThisDisk(FParts->Disk());
    const qint64 Before = FParts->Position();
    FNewEnd.WriteEndOfCentral(FParts->Stream());
    FParts->Wrote(FParts->Position() - Before);
}

void TZipper::WriteDirectoryCopy()
{
    // The central headers (without foreign extra blocks) and the end record,
    // so the set can be listed without its last disk.
    const QString Name = ChangeFileExt(ExpandFileName(FZipName), QStringLiteral(".zfc"));
    try {
        TempFile Temp(ExtractFilePath(Name));
        if (!Temp.Created())
            throw EFCreateError(Name);
        ApplyAttributes(Temp.Path(), false, 0, 0);
        {
            TLFNFileStream S(Temp.Path(), fmOpenReadWrite, FlushFilesOnClose, PartBufferSize);
            for (int I = 0; I < FNewList->Count(); ++I)
                FNewList->Item(I)->WriteCentralHeader(&S, nullptr);
            TEndCentral End;
            End.Assign(FNewEnd);
            End.WriteEndOfCentral(&S);
            if (!S.Finish())
                throw ENotEnoughRoom(ZipResourceString(204));
        }
        if (!Temp.RenameTo(Name))
            throw EFCreateError(Name);
    } catch (const EUserCanceled &) {
        throw;
    } catch (const Exception &) {
        throw EConfigFileSaveError(QStringLiteral("Unable to save Zip Configuration File to disk"));
    }
}

void TZipper::PackMulti()
{
    if (FZipIsStream)
        throw EZipperException(QStringLiteral("跨盘或分卷的压缩文件只能写成文件，不能写入数据流。"));
    qint64 MaxLocal = 0, MaxCentral = 0;
    LargestHeaders(MaxLocal, MaxCentral);
    const qint64 Need = std::max({MaxLocal + 1, MaxCentral, 22 + qint64(FNewEnd.ZipCommentLength()) + Zip64EndReserve});
    FParts = std::make_unique<PartWriter>(*this, Need);
    struct DropParts {
        TZipper *Z;
        ~DropParts() { Z->FParts.reset(); }
    } Drop{this};
    // Every byte is read twice: zipped into the scratch file, then placed.
    FTotalBytes *= 2;

    const QString ScratchFolder = !TempPath.isEmpty() && ZipDirectoryExists(TempPath) ? TempPath : QDir::tempPath();
    TempFile Scratch(ScratchFolder);
    if (!Scratch.Created())
        throw EFCreateError(QStringLiteral("无法在文件夹中创建临时文件：%1").arg(ScratchFolder));
    TLFNFileStream S(Scratch.Path(), fmOpenReadWrite, false, PartBufferSize);
    FOut = &S;
    unsigned char Sig[4];
    PutLE32(Sig, SpanningSignature);
    FParts->Write(Sig, 4);
    for (int I = 0; I < FFilesList.Count(); ++I)
        ZipOne(FFilesList.Strings(I));
    FOut = nullptr;
    WriteMultiDirectory();
    FParts->Finish();
    const quint32 Disks = FParts->Disks();
    if (FMultiZipInfo.SaveZipInfoOnFirstDisk && Disks > 1)
        WriteDirectoryCopy();

    AdoptNewDirectory(Disks, Disks > 1 ? FMultiZipInfo.MultiMode : mmNone);
}
