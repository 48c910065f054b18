#include "Zipper.h"

#include "ZipSearch.h"
#include "detail/ByteIO.h"
#include "detail/SafePath.h"
#include "detail/TraditionalCipher.h"
#include "platform/core/Codec.h"
#include "platform/core/SysUtils.h"
#include "platform/core/FileUtils.h"

#include <QFile>

#include <algorithm>
#include <thread>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace ZipDetail;

namespace {

constexpr int FileBufferSize = 8192;
constexpr qint64 DeflateBufferSize = 65535;
constexpr qint64 StoreChunk = 32768;
constexpr qint64 CopyChunk = 16384;

bool IsFolderEntry(const QString &S)
{
    return S.endsWith(QLatin1Char('/')) || S.endsWith(QLatin1Char('\\'));
}

// DOS attributes of a file here: folder, read-only (no write permission),
// hidden (a dot name); every file carries the archive bit.
quint32 DosAttributes(const QString &Path, const struct stat &St)
{
    quint32 A = S_ISDIR(St.st_mode) ? 0x10 : 0x20;
    if ((St.st_mode & 0222) == 0)
        A |= 0x01;
    QString Name = Path;
    while (Name.size() > 1 && Name.endsWith(QLatin1Char('/')))
        Name.chop(1);
    if (ExtractFileName(Name).startsWith(QLatin1Char('.')))
        A |= 0x02;
    return A;
}

// Keeps the extra blocks of an old local header except its Zip64 block,
// which the new header writes itself when it needs one.
QByteArray WithoutZip64(const QByteArray &Extra)
{
    QByteArray Out;
    const auto *P = reinterpret_cast<const unsigned char *>(Extra.constData());
    qsizetype At = 0;
    while (At + 4 <= Extra.size()) {
        const quint16 Tag = GetLE16(P + At);
        const quint16 Len = GetLE16(P + At + 2);
        if (At + 4 + Len > Extra.size())
            break;
        if (Tag != 1)
            Out.append(Extra.constData() + At, 4 + Len);
        At += 4 + Len;
    }
    return Out;
}

} // namespace

void TMultiZipInfo::Assign(const TMultiZipInfo &S)
{
    BlockSize = S.BlockSize;
    FirstBlockSize = S.FirstBlockSize;
    SaveOnFirstDisk = S.SaveOnFirstDisk;
    SaveZipInfoOnFirstDisk = S.SaveZipInfoOnFirstDisk;
    MultiMode = S.MultiMode;
    CheckDiskLabels = S.CheckDiskLabels;
    WriteDiskLabels = S.WriteDiskLabels;
}



void TZipper::SetPackLevel(int Value)
{
    FPackLevel = std::clamp(Value, 0, 9);
}

void TZipper::SetAttributeBit(int Bit, bool Value)
{
    FSearchAttributes = Value ? (FSearchAttributes | Bit) : (FSearchAttributes & ~Bit);
}

void TZipper::SetStorePaths(bool Value)
{
    if (Value == FStorePaths)
        return;
    FStorePaths = Value;
    if (!Value) {
        FStoreVolumes = false;
        FRelativePaths = false;
    }
}

void TZipper::SetRelativePaths(bool Value)
{
    if (Value == FRelativePaths)
        return;
    FRelativePaths = Value;
    if (Value) {
        FStorePaths = true;
        Recurse = true;
    }
}

void TZipper::SetStoreVolumes(bool Value)
{
    if (Value == FStoreVolumes)
        return;
    FStoreVolumes = Value;
    if (Value)
        FStorePaths = true;
}

bool TZipper::Skipping(TSkipReason Reason, const QString &FName)
{
    bool Retry = false;
    if (OnSkippingFile)
        OnSkippingFile(this, Reason, FName, -1, Retry);
    return Retry;
}

bool TZipper::ListMatches(const TStrings &List, const QString &Path) const
{
    const QString Full = LowerCase(Path);
    const QString Name = LowerCase(ExtractFileName(Path));
    for (int I = 0; I < List.Count(); ++I) {
        const QString Entry = NativePath(List.Strings(I));
        const bool WithFolder = Entry.contains(QLatin1Char('/'));
        if (WildcardMatches(LowerCase(Entry), WithFolder ? Full : Name))
            return true;
    }
    return false;
}

QString TZipper::StoredFolder(const QString &Path) const
{
    if (!FStorePaths)
        return QString();
    QString Folder = NativePath(IsFolderEntry(Path) ? Path : ExtractFilePath(Path));
    if (FRelativePaths) {
        if (!FRootDir.isEmpty() && Folder.startsWith(FRootDir)) {
            Folder = Folder.mid(FRootDir.size());
        } else {
            for (int I = 0; I < FRelativePathList.Count(); ++I) {
                const QString Prefix = FRelativePathList.Strings(I);
                if (!Prefix.isEmpty() && Folder.startsWith(Prefix)) {
                    Folder = Folder.mid(Prefix.size());
                    break;
                }
            }
        }
    }
    // The root "/" is the only volume part here, and it is never stored:
    // member names are never absolute, whatever StoreVolumes says.
    while (Folder.startsWith(QLatin1Char('/')))
        Folder = Folder.mid(1);
    Folder.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return Folder;
}

QString TZipper::StoredNameOf(const QString &Path) const
{
    const QString Name = IsFolderEntry(Path) ? QString() : ExtractFileName(Path);
    return StoredFolder(Path) + Name;
}

bool TZipper::IsTheArchive(const QString &Path) const
{
    struct stat St;
    if (FArchiveIno < 0 || ::stat(QFile::encodeName(Path).constData(), &St) != 0)
        return false;
    return qint64(St.st_dev) == FArchiveDev && qint64(St.st_ino) == FArchiveIno;
}

void TZipper::ExpandFilesList()
{
    FTotalBytes = 0;
    QStringList Masks;
    for (int I = 0; I < FFilesList.Count();) {
        QString Entry = FFilesList.Strings(I);
        if (IsFolderEntry(Entry)) {
            ++I;
            continue;
        }
        if (ZipHasWildcards(Entry)) {
            Masks << Entry;
            FFilesList.Delete(I);
            continue;
        }
        if (!Entry.contains(QLatin1Char('/'))) {
            Entry = FRootDir + Entry;
            FFilesList.SetStrings(I, Entry);
        }
        if (ListMatches(FExcludeList, Entry)) {
            Skipping(skrExcluded, Entry);
            FFilesList.Delete(I);
        } else if (!FileExists(Entry)) {
            if (OnNoSuchFile)
                OnNoSuchFile(this, Entry);
            FFilesList.Delete(I);
        } else if (ZipAction == zaFreshen && !FOldNames.contains(StoredNameOf(Entry))) {
            Skipping(skrNotInArchive, Entry);
            FFilesList.Delete(I);
        } else {
            FTotalBytes += std::max<qint64>(0, FileSizeOf(Entry));
            ++I;
        }
    }
    for (QString Mask : Masks) {
        bool Rec = Recurse;
        if (Mask.startsWith(QLatin1Char('|'))) {
            Rec = false;
            Mask = Mask.mid(1);
        } else if (Mask.startsWith(QLatin1Char('>'))) {
            Rec = true;
            Mask = Mask.mid(1);
        }
        QString Folder = ExtractFilePath(Mask);
        if (Folder.isEmpty())
            Folder = FRootDir;
        const QString FileMask = ExtractFileName(Mask);
        if (!ZipHasWildcards(Folder) && !ZipDirectoryExists(Folder)) {
            if (OnNoSuchFile)
                OnNoSuchFile(this, Mask);
            continue;
        }
        TDirSearch Search(Folder, FSearchAttributes, Rec, FileMask);
        // What the walk must leave out (too deep, a name that is not UTF-8)
        // is told to the application like any file that cannot be opened.
        Search.OnLeftOut = [this](const QString &Path) { Skipping(skrCannotOpen, Path); };
        TSearchRec Rec2;
        for (QString Hit = Search.NextMatch(Rec2); !Hit.isEmpty(); Hit = Search.NextMatch(Rec2)) {
            if (OnRecursingFile)
                OnRecursingFile(this, Hit);
            if (IsFolderEntry(Hit)) {
                if (Rec && AddDirEntriesOnRecurse)
                    FFilesList.Add(Hit);
            } else if (ListMatches(FExcludeList, Hit)) {
                Skipping(skrExcluded, Hit);
            } else if (IsTheArchive(Hit)) {
                // The archive is never zipped into itself.
            } else if (ZipAction == zaFreshen && !FOldNames.contains(StoredNameOf(Hit))) {
                Skipping(skrNotInArchive, Hit);
            } else {
                FFilesList.Add(Hit);
                FTotalBytes += Rec2.Size;
                FFacts.insert(Hit, FileFacts{Rec2.Size, Rec2.UnixTime, Rec2.Mode});
            }
            CheckCancel();
        }
    }
}

void TZipper::WriteOut(char *Data, qint64 Count, bool Encrypt)
{
    if (Count > 0 && Encrypt && FCipherOut) {
        if (OnEncrypt)
            OnEncrypt(this, reinterpret_cast<uchar *>(Data), int(Count), FPassword);
        else
            FCipherOut->Encrypt(reinterpret_cast<unsigned char *>(Data), Count);
    }
    WriteOut(Data, Count);
}

void TZipper::WriteOut(const char *Data, qint64 Count)
{
    if (Count <= 0)
        return;
    if (FOut->Write(Data, Count) != Count)
        throw ENotEnoughRoom(ZipResourceString(204));
    FZipSize += Count;
    CheckCancel();
}

void TZipper::AddToNewList(std::unique_ptr<TZipHeaderInfo> H)
{
    // Two old members of the same name are both kept; the name is taken once.
    FNewNames.insert(H->StoredName());
    FNewList->Add(H.get());
    H.release();
    FNewEnd.SetTotalEntries(FNewEnd.TotalEntries() + 1);
    FNewEnd.SetEntriesOnThisDisk(FNewEnd.EntriesOnThisDisk() + 1);
}

std::unique_ptr<TZipHeaderInfo> TZipper::PlanMember(const QString &Path, const std::function<bool()> &TryOpen, qint64 &Size)
{
    auto H = std::make_unique<TZipHeaderInfo>();
    H->OEMConvert = OEMConvert;
    const bool Folder = IsFolderEntry(Path);
    Size = 0;
    struct stat St {};
    bool Found = false;
    const auto Known = FFacts.constFind(Path);
    if (Known != FFacts.constEnd()) {
        St.st_size = Known->Size;
        St.st_mtime = time_t(Known->UnixTime);
        St.st_mode = mode_t(Known->Mode);
        Found = true;
    } else {
        Found = ::stat(QFile::encodeName(Path).constData(), &St) == 0;
    }
    if (Folder) {
        H->LastModFileDateTime = Found ? UnixTimeToFileDate(St.st_mtime) : UnixTimeToFileDate(::time(nullptr));
        H->SetUncompressedSize(0);
        H->SetCompressedSize(0);
        H->CompressionMethod = 0;
        H->CRC32 = 0;
        H->ExternalFileAttributes = Found ? DosAttributes(Path, St) : 0x10;
    } else {
        if (!Found || S_ISDIR(St.st_mode)) {
            if (OnNoSuchFile)
                OnNoSuchFile(this, Path);
            return nullptr;
        }
        H->ExternalFileAttributes = DosAttributes(Path, St);
        while (!TryOpen()) {
            bool Retry = false;
            if (OnSkippingFile)
                OnSkippingFile(this, skrCannotOpen, Path, -1, Retry);
            if (!Retry) {
                FTotalBytes -= St.st_size;
                return nullptr;
            }
        }
        H->LastModFileDateTime = UnixTimeToFileDate(St.st_mtime);
        Size = St.st_size;
        H->SetUncompressedSize(Size);
        // Deflate may grow incompressible data a little: a file close to
        // 4 GiB gets its local Zip64 block now, because the header cannot
        // grow once the data follows it.
        if (Size + Size / 1000 + 65536 >= qint64(0xFFFFFFFF))
            H->SetCompressedSize(qint64(0xFFFFFFFF) + 1);
    }
    H->SetFileName(Folder ? QString() : ExtractFileName(Path));
    H->SetDirectory(StoredFolder(Path));
    if (Folder && H->Directory().isEmpty())
        return nullptr;   // the start folder itself: a member without a name would be junk
    H->SetRelativeOffsetOfLocalHeader(FOut->Position());
    H->SetDiskNumberStart(0);
    H->InternalFileAttributes = 0;
    if (!Folder)
        H->CompressionMethod = FPackLevel > 0 && !ListMatches(FNoCompressList, Path) ? 8 : 0;

    if (FNewNames.contains(H->StoredName())) {
        Skipping(skrNotOverwritten, Path);
        FTotalBytes -= Size;
        return nullptr;
    }
    bool Skip = false;
    if (OnStartZip)
        OnStartZip(this, Path, *H, Skip);
    if (Skip) {
        Skipping(skrSkippedByHandler, Path);
        FTotalBytes -= Size;
        return nullptr;
    }
    H->GeneralPurposeFlags &= quint16(~0x0009);
    if (FPackLevel < 3)
        H->GeneralPurposeFlags |= 0x0004;
    if (FPackLevel > 7)
        H->GeneralPurposeFlags |= 0x0002;
    return H;
}

bool TZipper::ZipOne(const QString &Path)
{
    std::unique_ptr<TLFNFileStream> In;
    qint64 Size = 0;
    auto TryOpen = [&] {
        try {
            In = std::make_unique<TLFNFileStream>(Path, fmOpenRead | fmShareDenyNone, false, FileBufferSize);
            return true;
        } catch (const EStreamError &) {
            return false;
        }
    };
    std::unique_ptr<TZipHeaderInfo> H = PlanMember(Path, TryOpen, Size);
    if (!H)
        return false;
    const bool Folder = IsFolderEntry(Path);
    // With a password the file is read once first for its CRC-32, which the
    // encryption header carries; a folder entry holds nothing to encrypt.
    const bool Encrypt = !FPassword.isEmpty() && !Folder;
    quint32 PreCrc = 0;
    qint64 PreSize = 0;
    if (Encrypt) {
        H->GeneralPurposeFlags |= 0x0001;
        std::vector<char> Buf(static_cast<size_t>(FileBufferSize));
        PreCrc = quint32(crc32(0, nullptr, 0));
        for (qint64 N; (N = In->Read(Buf.data(), FileBufferSize)) > 0;) {
            PreCrc = quint32(crc32(PreCrc, reinterpret_cast<const Bytef *>(Buf.data()), uInt(N)));
            PreSize += N;
            CheckCancel();
        }
        In->Seek(0, soBeginning);
    }
    const qint64 HeaderAt = FOut->Position();
    H->WriteLocalHeader(FOut);
    FZipSize = FOut->Position();

    if (Folder) {
        if (FParts)
            PlaceMember(*H);
        if (OnEndZip)
            OnEndZip(this, Path, 0, 0, 0);
        AddToNewList(std::move(H));
        ++FAdded;
        return true;
    }

    quint32 Crc = quint32(crc32(0, nullptr, 0));
    qint64 FileDone = 0;
    const qint64 DataStart = FOut->Position();
    std::unique_ptr<TraditionalCipher> Cipher;
    if (Encrypt) {
        Cipher = std::make_unique<TraditionalCipher>(Cp936::Encode(FPassword));
        FCipherOut = Cipher.get();
        if (OnEncrypt) {
            // The handler encrypts: it gets the header in plain form too.
            QByteArray Head = TraditionalCipher::PlainHeader(PreCrc);
            WriteOut(Head.data(), Head.size(), true);
        } else {
            const QByteArray Head = Cipher->MakeHeader(PreCrc);
            WriteOut(Head.constData(), Head.size());
        }
    }
    struct CipherOff {
        TZipper *Z;
        ~CipherOff() { Z->FCipherOut = nullptr; }
    } Off{this};
    std::vector<char> InBuf(static_cast<size_t>(DeflateBufferSize));
    auto Input = [&](qint64 Want) -> qint64 {
        const qint64 N = In->Read(InBuf.data(), Want);
        if (N > 0) {
            FileDone += N;
            if (OnFilePercentDone)
                OnFilePercentDone(this, Percent(FileDone, Size));
            FTotalDone += N;
            if (OnTotalPercentDone)
                OnTotalPercentDone(this, Percent(FTotalDone, FTotalBytes));
            Crc = quint32(crc32(Crc, reinterpret_cast<const Bytef *>(InBuf.data()), uInt(N)));
        }
        return std::max<qint64>(N, 0);
    };
    if (H->CompressionMethod != 0) {
        H->CompressionMethod = 8;
        z_stream Z {};
        if (deflateInit2(&Z, FPackLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw EZCompressionError(QStringLiteral("error"));
        std::vector<char> OutBuf(static_cast<size_t>(DeflateBufferSize));
        try {
            int Flush = Z_NO_FLUSH;
            int Rc = Z_OK;
            while (Rc != Z_STREAM_END) {
                if (Z.avail_in == 0 && Flush == Z_NO_FLUSH) {
                    const qint64 N = Input(DeflateBufferSize);
                    if (N == 0)
                        Flush = Z_FINISH;
                    Z.next_in = reinterpret_cast<Bytef *>(InBuf.data());
                    Z.avail_in = uInt(N);
                }
                Z.next_out = reinterpret_cast<Bytef *>(OutBuf.data());
                Z.avail_out = uInt(OutBuf.size());
                Rc = deflate(&Z, Flush);
                if (Rc < 0 && Rc != Z_BUF_ERROR)
                    throw EZCompressionError(QStringLiteral("error"));
                WriteOut(OutBuf.data(), qint64(OutBuf.size() - Z.avail_out), Encrypt);
            }
        } catch (...) {
            deflateEnd(&Z);
            throw;
        }
        deflateEnd(&Z);
    } else {
        for (;;) {
            const qint64 N = Input(StoreChunk);
            if (N == 0)
                break;
            WriteOut(InBuf.data(), N, Encrypt);
        }
    }
    In.reset();
    if (Encrypt && (Crc != PreCrc || FileDone != PreSize)) {
        // The file changed between the two readings: its header would carry
        // a check byte that no longer fits. The member is dropped and told.
        FOut->SetSize(HeaderAt);
        FOut->Seek(HeaderAt, soBeginning);
        FZipSize = HeaderAt;
        FTotalBytes -= Size;
        ShowLibraryMessage(208, ZipResourceString(208) + Path, ZipResourceString(198), ZMB_OK);
        Skipping(skrCannotOpen, Path);
        return false;
    }
    if (FileDone < Size)
        ShowLibraryMessage(208, ZipResourceString(208) + Path, ZipResourceString(198), ZMB_OK);
    H->SetUncompressedSize(FileDone);
    H->SetCompressedSize(FOut->Position() - DataStart);
    H->CRC32 = Crc;

    const qint64 End = FOut->Position();
    FOut->Seek(HeaderAt, soBeginning);
    H->WriteLocalHeader(FOut);
    FOut->Seek(End, soBeginning);
    FZipSize = End;
    if (FParts)
        PlaceMember(*H);
    if (OnEndZip)
        OnEndZip(this, Path, H->UncompressedSize(), H->CompressedSize(), FZipSize);
    AddToNewList(std::move(H));
    if (Dispose)
        FDisposeList << Path;
    ++FAdded;
    return true;
}

void TZipper::KeepMember(int Index, TZipHeaderInfo &Old)
{
    if (OnUpdate)
        OnUpdate(this, uaKeeping, Index);
    ReadLazyComment(Old);
    TStream *A = FArchive;
    const qint64 Offset = Old.RelativeOffsetOfLocalHeader();
    // The local header must lie inside the archive (a seek elsewhere fails
    // and leaves the stream where it was).
    if (Offset < 0 || Offset > A->Size())
        throw EBadZipFile(ZipResourceString(183));
    A->Seek(Offset, soBeginning);
    TZipHeaderInfo Local;
    if (!Local.ReadLocalHeader(A))
        throw EBadZipFile(ZipResourceString(183));
    A->Seek(Offset + 30 + Local.FileNameLength(), soBeginning);
    const QByteArray OldExtra = A->ReadBytes(Local.LocalExtraFieldLength);
    if (OldExtra.size() != Local.LocalExtraFieldLength)
        throw EFatalUnzipError(ZipResourceString(194));
    const qint64 DataStart = A->Position();
    const qint64 Comp = Old.CompressedSize();
    if (Comp < 0 || Comp > MemberDataLimit(Old) - DataStart)
        throw EBadZipFile(ZipResourceString(183));

    // The data descriptor that follows the data of a member with flag bit 3
    // goes along: its flags stay as they are, and an encrypted member's
    // check byte keeps meaning what its flags say (the time, not the CRC).
    qint64 Descriptor = 0;
    if (Old.HasDescriptor()) {
        A->Seek(DataStart + Comp, soBeginning);
        unsigned char D[8] = {};
        const bool Wide = Local.Zip64ExtendedInfo() != nullptr;
        if (A->Read(D, 8) == 8) {
            if (GetLE32(D) == SpanningSignature && GetLE32(D + 4) == Old.CRC32)
                Descriptor = Wide ? 24 : 16;
            else if (GetLE32(D) == Old.CRC32)
                Descriptor = Wide ? 20 : 12;
        }
        if (DataStart + Comp + Descriptor > MemberDataLimit(Old))
            Descriptor = 0;
    }

    auto H = std::make_unique<TZipHeaderInfo>();
    H->Assign(Old);
    const QByteArray Extra = WithoutZip64(OldExtra);
    H->LocalExtraFieldLength = quint16(Extra.size());
    H->WriteLocalHeader(FOut);
    WriteOut(Extra.constData(), Extra.size());

    std::vector<char> Buf(static_cast<size_t>(CopyChunk));
    qint64 Left = Comp, Done = 0;
    A->Seek(DataStart, soBeginning);
    while (Left > 0) {
        const qint64 N = std::min(Left, CopyChunk);
        if (A->Read(Buf.data(), N) != N)
            throw EFatalUnzipError(ZipResourceString(194));
        WriteOut(Buf.data(), N);
        Left -= N;
        Done += N;
        if (OnFilePercentDone)
            OnFilePercentDone(this, Percent(Done, Comp));
        FTotalDone += N;
        if (OnTotalPercentDone)
            OnTotalPercentDone(this, Percent(FTotalDone, FTotalBytes));
    }
    if (Descriptor > 0) {
        const QByteArray D = A->ReadBytes(Descriptor);
        if (D.size() != Descriptor)
            throw EFatalUnzipError(ZipResourceString(194));
        WriteOut(D.constData(), D.size());
    }
    AddToNewList(std::move(H));
}

void TZipper::MergeExisting()
{
    // The files to zip by stored name, each name's entries in list order; an
    // entry taken by a member leaves the list afterwards. A member is taken
    // only by a file of exactly its name: readme.txt never replaces README.txt.
    QHash<QString, QList<int>> ByName;
    for (int J = 0; J < FFilesList.Count(); ++J)
        ByName[StoredNameOf(FFilesList.Strings(J))].append(J);
    std::vector<bool> Taken(size_t(FFilesList.Count()), false);
    struct DropTaken {
        TZipper *Z;
        std::vector<bool> &Taken;
        ~DropTaken()
        {
            QStringList Left;
            for (int J = 0; J < Z->FFilesList.Count(); ++J)
                if (!Taken[size_t(J)])
                    Left << Z->FFilesList.Strings(J);
            Z->FFilesList.Clear();
            for (const QString &E : Left)
                Z->FFilesList.Add(E);
        }
    } Drop{this, Taken};
    for (int I = 0; I < FMembers->Count(); ++I) {
        TZipHeaderInfo *M = FMembers->Item(I);
        if (I == 0 && KeepLeadingData && M->RelativeOffsetOfLocalHeader() > 0) {
            FArchive->Seek(0, soBeginning);
            qint64 Left = M->RelativeOffsetOfLocalHeader();
            std::vector<char> Buf(static_cast<size_t>(CopyChunk));
            while (Left > 0) {
                const qint64 N = std::min(Left, CopyChunk);
                if (FArchive->Read(Buf.data(), N) != N)
                    throw EFatalUnzipError(ZipResourceString(194));
                WriteOut(Buf.data(), N);
                Left -= N;
            }
        }
        if (M->Action == 2) {
            bool Skip = false;
            if (OnDeleteEntry)
                OnDeleteEntry(this, M->StoredName(), Skip);
            if (!Skip)
                continue;
        }
        int Match = -1;
        auto Entries = ByName.find(M->StoredName());
        if (Entries != ByName.end() && !Entries->isEmpty())
            Match = Entries->takeFirst();
        if (Match < 0) {
            KeepMember(I, *M);
            continue;
        }
        const QString Entry = FFilesList.Strings(Match);
        Taken[size_t(Match)] = true;
        bool Replace = ZipAction == zaReplace;
        if (!Replace) {
            const qint64 FileDate = FileAge(Entry);
            Replace = FileDate > qint64(M->LastModFileDateTime);
        }
        if (Replace) {
            if (OnUpdate)
                OnUpdate(this, uaReplacing, I);
            ZipOne(Entry);
        } else {
            FTotalBytes += M->CompressedSize() - std::max<qint64>(0, FileSizeOf(Entry));
            KeepMember(I, *M);
        }
    }
}

void TZipper::AdoptNewDirectory(quint32 Disks, TMultiMode Mode)
{
    FOwnedArchive.reset();
    FArchive = nullptr;
    DropDirectory();
    FMembers = std::move(FNewList);
    FEndCentral.Assign(FNewEnd);
    FNumberOfDisks = Disks;
    FCurrentDisk = Disks - 1;
    FMultiMode = Mode;
    FArchiveDate = ArchiveStamp();
    FDirectoryLoaded = true;
    BuildSortedView();
}

void TZipper::NewLists()
{
    FNewList = std::make_unique<TSortedZip>(2);
    FNewList->SortMode = ByNone;
    FNewNames.clear();
    FNewNames.reserve(FFilesList.Count() + MemberCount());
    FNewEnd.SetEntriesOnThisDisk(0);
    FNewEnd.SetTotalEntries(0);
}

void TZipper::WriteSingle(bool Update)
{
    // The output: a temporary file beside the archive (or in TempPath), or
    // memory for an archive held in the application's stream.
    std::unique_ptr<TempFile> Temp;
    std::unique_ptr<TStream> Out;
    if (FZipIsStream) {
        Out = std::make_unique<TMemoryStream>();
    } else {
        const QString Folder = !TempPath.isEmpty() && ZipDirectoryExists(TempPath) ? TempPath : ExtractFilePath(ExpandFileName(FZipName));
        Temp = std::make_unique<TempFile>(Folder);
        if (!Temp->Created())
            throw EFCreateError(CannotCreateFileText(FZipName, errno));
        ApplyAttributes(Temp->Path(), false, 0, 0);
        Out = std::make_unique<TLFNFileStream>(Temp->Path(), fmOpenReadWrite, FlushFilesOnClose, FileBufferSize);
    }
    FOut = Out.get();
    NewLists();

    if (Update)
        MergeExisting();
    const int Threads = PackThreads > 0 ? PackThreads : int(std::max(1u, std::thread::hardware_concurrency()));
    if (Threads > 1 && FPassword.isEmpty() && FFilesList.Count() > 0) {
        ZipParallel(0, Threads);
    } else {
        for (int I = 0; I < FFilesList.Count(); ++I)
            ZipOne(FFilesList.Strings(I));
    }

    const qint64 CentralAt = FOut->Position();
    FNewEnd.SetNumberOfDiskWithStartOfCentral(0);
    for (int I = 0; I < FNewList->Count(); ++I)
        FNewList->Item(I)->WriteCentralHeader(FOut, Update ? FArchive : nullptr);
    FNewEnd.SetOffsetOfCentralDirectory(CentralAt);
    FNewEnd.SetSizeOfCentralDirectory(FOut->Position() - CentralAt);
    FNewEnd.SetNumberOfThisDisk(0);
    FNewEnd.WriteEndOfCentral(FOut);

    // Finish the new archive completely before it replaces anything.
    if (auto *Buffered = dynamic_cast<TS_BufferStream *>(FOut)) {
        if (!Buffered->Finish())
            throw ENotEnoughRoom(ZipResourceString(204));
    }
    FOut = nullptr;
    if (FZipIsStream) {
        auto *Mem = static_cast<TMemoryStream *>(Out.get());
        DropDirectory();
        FArchive->SetSize(0);
        FArchive->Seek(0, soBeginning);
        if (FArchive->Write(Mem->Memory(), Mem->Size()) != Mem->Size())
            throw ENotEnoughRoom(ZipResourceString(204));
        Out.reset();
    } else {
        Out.reset();
        FOwnedArchive.reset();
        FArchive = nullptr;
        DropDirectory();
        const QString Target = ExpandFileName(FZipName);
        if (FArchiveLock >= 0)
            ::close(FArchiveLock);
        FArchiveLock = -1;
        if (!Temp->RenameTo(Target, HoldArchiveLock ? &FArchiveLock : nullptr)) {
            ZipMoveFile(Temp->Path(), Target);
            Temp.reset();
        }
    }
}

int TZipper::PackFiles()
{
    if (FZipName.isEmpty() && !FZipIsStream)
        return 0;
    const bool Multi = FMultiZipInfo.MultiMode != mmNone;
    Restore<bool> BusyFlag(FBusy, true);
    FCancel = false;
    const TZipSortMode SavedSort = FSortMode;
    const bool SavedKeep = FKeepZipOpen;
    struct AtEnd {
        TZipper *Z;
        TZipSortMode Sort;
        bool Keep;
        ~AtEnd()
        {
            Z->FOut = nullptr;
            Z->FNewList.reset();
            Z->FNewNames.clear();
            Z->FKeepZipOpen = Keep;
            Z->CloseArchive();
            if (Z->FSortMode != Sort)
                Z->SetSortMode(Sort);
            Z->FFilesList.Clear();
            Z->FFacts.clear();
        }
    } Guard{this, SavedSort, SavedKeep};
    if (FSortMode != ByNone)
        SetSortMode(ByNone);
    FKeepZipOpen = true;
    FDisposeList.clear();
    FOldNames.clear();
    FFacts.clear();
    FArchiveDev = FArchiveIno = -1;
    FTotalDone = 0;
    FZipSize = 0;
    FAdded = 0;

    // The old archive, when there is one, is read first: freshening needs its names.
    struct stat St;
    // A spanned or split set is always written anew.
    const bool Update = !Multi && (FZipIsStream ? (FArchive && FArchive->Size() > 0)
                                                : ::stat(QFile::encodeName(FZipName).constData(), &St) == 0);
    if (!FZipIsStream && Update) {
        FArchiveDev = qint64(St.st_dev);
        FArchiveIno = qint64(St.st_ino);
    }
    FNewEnd.Clear();
    if (Update) {
        OpenArchive();
        for (int I = 0; I < FMembers->Count(); ++I)
            FOldNames.insert(FMembers->Item(I)->StoredName());
    }
    if (FFilesList.Count() > 0)
        ExpandFilesList();
    if (FFilesList.Count() > 0) {
        bool StopNow = false;
        if (OnStartZipInfo)
            OnStartZipInfo(this, FFilesList.Count(), FTotalBytes, FNewEnd, StopNow);
        if (StopNow)
            throw EUserCanceled(ZipResourceString(187));
    }
    if (Update && !FNewEnd.CommentLoaded() && FEndCentral.ZipCommentLength() > 0) {
        ArchiveComment();
        FNewEnd.SetZipComment(FEndCentral.ZipComment());
    }

    if (Multi) {
        NewLists();
        PackMulti();
    } else {
        WriteSingle(Update);
    }
    for (const QString &Source : FDisposeList) {
        bool Skip = false;
        if (OnDisposeFile)
            OnDisposeFile(this, Source, Skip);
        if (!Skip)
            DeleteFile(Source);
    }
    // The new directory is the one of the file just written. An update is
    // read back (kept members point into the old archive); the members of a
    // new archive are all ours and become the directory as they are.
    if (!Multi && (Update || FZipIsStream))
        OpenArchive();
    else if (!Multi)
        AdoptNewDirectory(1, mmNone);
    if (OnTotalPercentDone)
        OnTotalPercentDone(this, 100);
    if (OnZipComplete)
        OnZipComplete(this, FAdded);
    return FAdded;
}
