#include "ZipObj.h"

#include "detail/ByteIO.h"
#include "platform/core/Codec.h"
#include "platform/core/ComponentStream.h"
#include "platform/core/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <typeinfo>
#include <zlib.h>

using namespace ZipDetail;

// ------------------------------------------------------------ resource strings

QString ZipResourceString(int Id)
{
    switch (Id) {
    case 176: return QStringLiteral("Open a Zip File");
    case 177: return QStringLiteral("Zip Files (*.ZIP)|*.zip|SFX Files (*.EXE)|*.exe|Jar Files (*.JAR)|*.jar|All Files (*.*)|*.*");
    case 178: return QStringLiteral("User canceled Set Desination Directory");
    case 179: return QStringLiteral("Index %d is out of range");
    case 181: return QStringLiteral("User Aborted Operation");
    case 182: return QStringLiteral("Incomplete Zip File");
    case 183: return QStringLiteral("Not a valid zip file!");
    case 184: return QStringLiteral("Please insert disk ");
    case 185: return QStringLiteral(" of the multi-disk set.");
    case 186: return QStringLiteral("User canceled setting zip file name.");
    case 187: return QStringLiteral("User canceled Zip operation");
    case 190: return QStringLiteral("\nSeek error");
    case 191: return QStringLiteral("Invalid seek origin (%d)");
    case 192: return QStringLiteral("Putback overflow");
    case 193: return QStringLiteral("*** inflate out of memory ***");
    case 194: return QStringLiteral("Premature end of file reached");
    case 195: return QStringLiteral("Replace existing file ");
    case 196: return QStringLiteral("File Exists Alert");
    case 197: return QStringLiteral("Unknown Compression Method");
    case 198: return QStringLiteral("Zip Error");
    case 199: return QStringLiteral("File is larger than uncompressed size!");
    case 202: return QStringLiteral("Could not copy from ");
    case 203: return QStringLiteral("Error");
    case 204: return QStringLiteral("Not enough room to write archive");
    case 207: return QStringLiteral("Cant write uncompressed file");
    // The original table has no text for this message; it reports a file
    // that became shorter while it was being zipped.
    case 208: return QStringLiteral("File changed while it was being zipped; only the bytes read were stored: ");
    default: return QString();
    }
}

// ------------------------------------------------------------------ signatures

namespace {
quint32 GCentralSig = 0x02014B50;
quint32 GLocalSig = 0x04034B50;
quint32 GEndSig = 0x06054B50;
}

void SetArchiveSignatures(quint32 Central, quint32 Local, quint32 EndOfCentral)
{
    GCentralSig = Central ? Central : 0x02014B50;
    GLocalSig = Local ? Local : 0x04034B50;
    GEndSig = EndOfCentral ? EndOfCentral : 0x06054B50;
}
quint32 CentralFileHeaderSignature() { return GCentralSig; }
quint32 LocalFileHeaderSignature() { return GLocalSig; }
quint32 EndOfCentralSignature() { return GEndSig; }

// ----------------------------------------------------------------- helpers

quint32 RepairDosDateTime(quint32 Value)
{
    int Year = 0, Month = 0, Day = 0, Hour = 0, Min = 0, Sec = 0;
    DecodeFileDate(Value, Year, Month, Day, Hour, Min, Sec);
    bool Changed = false;
    auto Clamp = [&](int &V, int Max) {
        if (V > Max) {
            V = Max;
            Changed = true;
        }
    };
    Clamp(Hour, 23);
    Clamp(Min, 59);
    Clamp(Sec, 59);
    Clamp(Year, 2099);
    Clamp(Month, 12);
    if (Month == 0) {
        Month = 1;
        Changed = true;
    }
    if (Day == 0) {
        Day = 1;
        Changed = true;
    }
    if (!Changed)
        return Value;
    return EncodeFileDate(Year, Month, Day, Hour, Min, Sec);
}

bool IsValidUtf8(const QByteArray &Bytes)
{
    const auto *P = reinterpret_cast<const unsigned char *>(Bytes.constData());
    const qsizetype N = Bytes.size();
    for (qsizetype I = 0; I < N;) {
        const unsigned char C = P[I];
        if (C < 0x80) {
            ++I;
            continue;
        }
        int More = 0;
        quint32 V = 0, Min = 0;
        if ((C & 0xE0) == 0xC0) {
            More = 1; V = C & 0x1F; Min = 0x80;
        } else if ((C & 0xF0) == 0xE0) {
            More = 2; V = C & 0x0F; Min = 0x800;
        } else if ((C & 0xF8) == 0xF0) {
            More = 3; V = C & 0x07; Min = 0x10000;
        } else {
            return false;
        }
        if (I + More >= N)
            return false;
        for (int K = 1; K <= More; ++K) {
            const unsigned char D = P[I + K];
            if ((D & 0xC0) != 0x80)
                return false;
            V = (V << 6) | (D & 0x3F);
        }
        if (V < Min || V > 0x10FFFF || (V >= 0xD800 && V <= 0xDFFF))
            return false;
        I += More + 1;
    }
    return true;
}

QString DecodeArchiveText(const QByteArray &Bytes, quint16 Flags, int Host)
{
    if ((Flags & 0x0800) || (Host == 3 && IsValidUtf8(Bytes)))
        return QString::fromUtf8(Bytes);
    return Cp936::Decode(Bytes);
}

QString DecodeArchiveName(const QByteArray &Bytes, const QByteArray &Extra, quint16 Flags, int Host)
{
    const QByteArray Unicode = CheckedUnicodeBlock(FindExtraBlock(Extra, 0x7075), Bytes);
    if (!Unicode.isNull())
        return QString::fromUtf8(Unicode);
    return DecodeArchiveText(Bytes, Flags, Host);
}

int LocalHeaderHost(const QByteArray &Extra)
{
    // Owner and group blocks: "ux" (0x7875), "Ux" (0x7855) and the older "UX" (0x5855).
    for (const quint16 Tag : {quint16(0x7875), quint16(0x7855), quint16(0x5855)})
        if (!FindExtraBlock(Extra, Tag).isNull())
            return 3;
    return -1;
}

QByteArray FindExtraBlock(const QByteArray &Extra, quint16 Tag)
{
    const auto *P = reinterpret_cast<const unsigned char *>(Extra.constData());
    qsizetype At = 0;
    while (At + 4 <= Extra.size()) {
        const quint16 T = GetLE16(P + At);
        const quint16 Len = GetLE16(P + At + 2);
        if (At + 4 + Len > Extra.size())
            break;
        if (T == Tag)
            return Extra.mid(At + 4, Len).isNull() ? QByteArray("", 0) : Extra.mid(At + 4, Len);
        At += 4 + Len;
    }
    return QByteArray();
}

QByteArray CheckedUnicodeBlock(const QByteArray &Block, const QByteArray &Original)
{
    if (Block.size() < 5 || Block[0] != 1)
        return QByteArray();
    const auto *P = reinterpret_cast<const unsigned char *>(Block.constData());
    const quint32 Crc = quint32(crc32(0, reinterpret_cast<const Bytef *>(Original.constData()), uInt(Original.size())));
    if (GetLE32(P + 1) != Crc)
        return QByteArray();
    const QByteArray Text = Block.mid(5);
    return IsValidUtf8(Text) ? (Text.isNull() ? QByteArray("", 0) : Text) : QByteArray();
}

int CompressionRate(qint64 Compressed, qint64 Uncompressed)
{
    if (Uncompressed <= 0)
        return 0;
    const qint64 R = qint64(std::llround(double(Compressed) * 100.0 / double(Uncompressed)));
    return int(std::clamp<qint64>(R, 0, 100));
}

// ------------------------------------------------------------- member record

TZipHeaderInfo::TZipHeaderInfo() = default;
TZipHeaderInfo::~TZipHeaderInfo() = default;

void TZipHeaderInfo::Clear()
{
    VersionMadeBy = 45;
    VersionNeeded = 20;
    GeneralPurposeFlags = 0;
    CompressionMethod = 8;
    LastModFileDateTime = 0;
    CRC32 = 0xFFFFFFFF;
    FCompressedSize = 0;
    FUncompressedSize = 0;
    FFileNameLength = 0;
    ExtraFieldLength = 0;
    LocalExtraFieldLength = 0;
    FFileCommentLength = 0;
    FDiskNumberStart = 0;
    InternalFileAttributes = 1;
    ExternalFileAttributes = 0x20;
    FRelativeOffset = 0;
    CentralHeaderPosition = 0;
    FFileName.clear();
    FDirectory.clear();
    FZip64.reset();
    FComment.clear();
    FCommentLoaded = false;
    FNameBytes.clear();
    FUnicodeComment.clear();
    OEMConvert = oemAlways;
    ExtraFieldPosition = 0;
    StoredExtraLength = 0;
    Zip64ExtraLength = 0;
    Selected = Action = MarkedByApplication = 0;
    FLocalZip64Parts = -1;
}

void TZipHeaderInfo::Assign(const TZipHeaderInfo &S)
{
    if (&S == this)
        return;
    VersionMadeBy = S.VersionMadeBy;
    VersionNeeded = S.VersionNeeded;
    GeneralPurposeFlags = S.GeneralPurposeFlags;
    CompressionMethod = S.CompressionMethod;
    LastModFileDateTime = S.LastModFileDateTime;
    CRC32 = S.CRC32;
    FCompressedSize = S.FCompressedSize;
    FUncompressedSize = S.FUncompressedSize;
    ExtraFieldLength = S.ExtraFieldLength;
    LocalExtraFieldLength = S.LocalExtraFieldLength;
    FFileCommentLength = S.FFileCommentLength;
    FDiskNumberStart = S.FDiskNumberStart;
    InternalFileAttributes = S.InternalFileAttributes;
    ExternalFileAttributes = S.ExternalFileAttributes;
    FRelativeOffset = S.FRelativeOffset;
    CentralHeaderPosition = S.CentralHeaderPosition;
    OEMConvert = S.OEMConvert;
    ExtraFieldPosition = S.ExtraFieldPosition;
    StoredExtraLength = S.StoredExtraLength;
    Zip64ExtraLength = S.Zip64ExtraLength;
    Selected = S.Selected;
    Action = S.Action;
    MarkedByApplication = S.MarkedByApplication;
    FZip64.reset(S.FZip64 ? new TZip64ExtendedInfo(*S.FZip64) : nullptr);
    FComment = S.FComment;
    FCommentLoaded = S.FCommentLoaded;
    FFileName = S.FFileName;
    FDirectory = S.FDirectory;
    FFileNameLength = S.FFileNameLength;
    FNameBytes = S.FNameBytes;
    FUnicodeComment = S.FUnicodeComment;
    FLocalZip64Parts = -1;
}

void TZipHeaderInfo::SetFileName(const QString &Value)
{
    if (Value == FFileName)
        return;
    FFileName = Value;
    FNameBytes.clear();
    UpdateNameLength();
}

void TZipHeaderInfo::SetDirectory(const QString &Value)
{
    QString D = Value;
    if (!D.isEmpty() && !D.endsWith(QLatin1Char('\\')))
        D += QLatin1Char('\\');
    if (D == FDirectory)
        return;
    FDirectory = D;
    FNameBytes.clear();
    UpdateNameLength();
}

void TZipHeaderInfo::UpdateNameLength()
{
    FFileNameLength = quint16(std::min<qsizetype>(ArchiveName().size(), 0xFFFF));
}

QByteArray TZipHeaderInfo::ArchiveName()
{
    if (!FNameBytes.isEmpty())
        return FNameBytes;
    QString Name = FDirectory + FFileName;
    Name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Names flagged as UTF-8 (general purpose bit 11) stay UTF-8; all others
    // are code page 936, which is both the OEM and the ANSI code page here.
    if (GeneralPurposeFlags & 0x0800)
        return Name.toUtf8();
    if (OEMConvert == oemFlexible && !Cp936::CanEncode(Name))
        VersionMadeBy = quint16((VersionMadeBy & 0x00FF) | 0x0B00);
    return Cp936::Encode(Name);
}

void TZipHeaderInfo::TakeName(const QByteArray &Bytes, const QByteArray &Extra, int Host)
{
    SplitName(DecodeArchiveName(Bytes, Extra, GeneralPurposeFlags, Host));
    // A name of plain ASCII with "/" between its folders comes back from its
    // text byte for byte (ArchiveName), so only other names keep their bytes.
    bool Plain = FDirectory.size() + FFileName.size() == Bytes.size();
    for (qsizetype I = 0; I < Bytes.size() && Plain; ++I) {
        const char C = Bytes.at(I);
        const QChar T = I < FDirectory.size() ? FDirectory.at(I) : FFileName.at(I - FDirectory.size());
        Plain = C > 0 && C != '\\' && (T.unicode() == uchar(C) || (C == '/' && T == QLatin1Char('\\')));
    }
    if (Plain)
        FNameBytes.clear();
    else
        FNameBytes = QByteArray(Bytes.constData(), Bytes.size());
    FFileNameLength = quint16(Bytes.size());
}

QByteArray TZipHeaderInfo::UnicodePathBlock()
{
    if (!FNameBytes.isEmpty() || (GeneralPurposeFlags & 0x0800))
        return QByteArray();
    const QString Name = QString(FDirectory + FFileName).replace(QLatin1Char('\\'), QLatin1Char('/'));
    bool Ascii = true;
    for (QChar C : Name)
        Ascii = Ascii && C.unicode() < 0x80;
    if (Ascii)
        return QByteArray();
    const QByteArray Bytes = ArchiveName();
    const QByteArray Utf8 = Name.toUtf8();
    if (Utf8.size() + 9 > 0x7FFF)
        return QByteArray();
    RecordWriter W;
    W.U16(0x7075);
    W.U16(quint16(5 + Utf8.size()));
    W.Bytes(QByteArray(1, '\x01'));
    W.U32(quint32(crc32(0, reinterpret_cast<const Bytef *>(Bytes.constData()), uInt(Bytes.size()))));
    W.Bytes(Utf8);
    return W.Data();
}

QString TZipHeaderInfo::DecodedComment() const
{
    const QByteArray Unicode = CheckedUnicodeBlock(FUnicodeComment, FComment);
    if (!Unicode.isNull())
        return QString::fromUtf8(Unicode);
    return DecodeArchiveText(FComment, GeneralPurposeFlags, HostSystem());
}

void TZipHeaderInfo::SplitName(QString Name)
{
    const qsizetype Slash = std::max(Name.lastIndexOf(QLatin1Char('/')), Name.lastIndexOf(QLatin1Char('\\')));
    if (Slash < 0) {
        FDirectory.clear();
        FFileName = std::move(Name);
        return;
    }
    // Members of one folder mostly come one after another: they share the
    // text of their folder instead of each holding a copy.
    thread_local QString LastAsGiven, LastDirectory;
    const QStringView Dir = QStringView(Name).left(Slash + 1);
    if (Dir != QStringView(LastAsGiven)) {
        LastAsGiven = Dir.toString();
        LastDirectory = LastAsGiven;
        LastDirectory.replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    FDirectory = LastDirectory;
    // The file name is what is left of the text once the folder is taken off.
    Name.remove(0, Slash + 1);
    FFileName = std::move(Name);
}

TZip64ExtendedInfo &TZipHeaderInfo::Zip64()
{
    if (!FZip64)
        FZip64 = std::make_unique<TZip64ExtendedInfo>();
    return *FZip64;
}

namespace {

// A 32-bit header field whose value 0xFFFFFFFF says "see the Zip64 block".
qint64 WideField(quint32 Narrow, const TZip64ExtendedInfo *Zip64, quint64 TZip64ExtendedInfo::*Field)
{
    if (Narrow == 0xFFFFFFFF && Zip64)
        return qint64(Zip64->*Field);
    return Narrow;
}

} // namespace

void TZipHeaderInfo::SetWideField(quint32 &Narrow, quint64 TZip64ExtendedInfo::*Field, qint64 Value)
{
    if (quint64(Value) < 0xFFFFFFFFull) {
        Narrow = quint32(Value);
    } else {
        Zip64().*Field = quint64(Value);
        Narrow = 0xFFFFFFFF;
    }
}

qint64 TZipHeaderInfo::UncompressedSize() const
{
    return WideField(FUncompressedSize, FZip64.get(), &TZip64ExtendedInfo::UncompressedSize);
}

void TZipHeaderInfo::SetUncompressedSize(qint64 Value)
{
    SetWideField(FUncompressedSize, &TZip64ExtendedInfo::UncompressedSize, Value);
}

qint64 TZipHeaderInfo::CompressedSize() const
{
    return WideField(FCompressedSize, FZip64.get(), &TZip64ExtendedInfo::CompressedSize);
}

void TZipHeaderInfo::SetCompressedSize(qint64 Value)
{
    SetWideField(FCompressedSize, &TZip64ExtendedInfo::CompressedSize, Value);
}

qint64 TZipHeaderInfo::RelativeOffsetOfLocalHeader() const
{
    return WideField(FRelativeOffset, FZip64.get(), &TZip64ExtendedInfo::RelativeOffsetOfLocalHeader);
}

void TZipHeaderInfo::SetRelativeOffsetOfLocalHeader(qint64 Value)
{
    SetWideField(FRelativeOffset, &TZip64ExtendedInfo::RelativeOffsetOfLocalHeader, Value);
}

quint32 TZipHeaderInfo::DiskNumberStart() const
{
    if (FDiskNumberStart < 0xFFFF)
        return FDiskNumberStart;
    return FZip64 ? FZip64->DiskNumberStart : FDiskNumberStart;
}

void TZipHeaderInfo::SetDiskNumberStart(quint32 Value)
{
    if (Value <= 0xFFFE) {
        FDiskNumberStart = quint16(Value);
    } else {
        Zip64().DiskNumberStart = Value;
        FDiskNumberStart = 0xFFFF;
    }
}

void TZipHeaderInfo::SetFileComment(const QByteArray &Value)
{
    FComment = Value.left(0xFFFF);
    FFileCommentLength = quint16(FComment.size());
    FCommentLoaded = true;
}

int TZipHeaderInfo::Zip64Size(bool ForLocal) const
{
    if (ForLocal)
        return LocalZip64Bytes(LocalZip64Parts());
    int Size = 0;
    if (FUncompressedSize == 0xFFFFFFFF)
        Size += 8;
    if (FCompressedSize == 0xFFFFFFFF)
        Size += 8;
    if (FRelativeOffset == 0xFFFFFFFF)
        Size += 8;
    if (FDiskNumberStart == 0xFFFF)
        Size += 4;
    return Size;
}

// Parts of a local Zip64 block: 1 both sizes (a local block always carries
// both), 2 the header offset, 4 the disk number.
int TZipHeaderInfo::LocalZip64Parts() const
{
    int Parts = 0;
    if (FUncompressedSize == 0xFFFFFFFF || FCompressedSize == 0xFFFFFFFF)
        Parts |= 1;
    if (FRelativeOffset == 0xFFFFFFFF)
        Parts |= 2;
    if (FDiskNumberStart == 0xFFFF)
        Parts |= 4;
    return Parts;
}

int TZipHeaderInfo::LocalZip64Bytes(int Parts)
{
    return (Parts & 1 ? 16 : 0) + (Parts & 2 ? 8 : 0) + (Parts & 4 ? 4 : 0);
}

void TZipHeaderInfo::WriteCentralZip64Block(TStream *Stream, int Size)
{
    RecordWriter W;
    W.U16(1);
    W.U16(quint16(Size));
    if (FUncompressedSize == 0xFFFFFFFF)
        W.U64(quint64(UncompressedSize()));
    if (FCompressedSize == 0xFFFFFFFF)
        W.U64(quint64(CompressedSize()));
    if (FRelativeOffset == 0xFFFFFFFF)
        W.U64(quint64(RelativeOffsetOfLocalHeader()));
    if (FDiskNumberStart == 0xFFFF)
        W.U32(DiskNumberStart());
    W.WriteTo(Stream);
}

void TZipHeaderInfo::WriteCentralHeader(TStream *Stream, TStream *ExtraSource)
{
    const QByteArray Name = FFileNameLength > 0 || !FFileName.isEmpty() || !FDirectory.isEmpty()
        ? ArchiveName() : QByteArray();
    FFileNameLength = quint16(Name.size());
    const int Z64 = Zip64Size(false);
    VersionNeeded = Z64 > 0 ? 45 : 20;

    // Foreign extra blocks of a member read from another archive are kept byte
    // for byte; only its old Zip64 block is dropped (a new one follows).
    const QByteArray Unicode = UnicodePathBlock();
    QByteArray Foreign;
    if (StoredExtraLength > 0 && ExtraSource) {
        const qint64 Keep = ExtraSource->Position();
        ExtraSource->Seek(ExtraFieldPosition, soBeginning);
        QByteArray Stored(StoredExtraLength, '\0');
        const qint64 Got = ExtraSource->Read(Stored.data(), Stored.size());
        ExtraSource->Seek(Keep, soBeginning);
        if (Got == Stored.size()) {
            const auto *P = reinterpret_cast<const unsigned char *>(Stored.constData());
            qsizetype At = 0;
            while (At + 4 <= Stored.size()) {
                const quint16 Tag = GetLE16(P + At);
                const quint16 Len = GetLE16(P + At + 2);
                if (At + 4 + Len > Stored.size())
                    break;
                // A stale Unicode Path block gives way to the one of the new name.
                if (Tag != 1 && !(Tag == 0x7075 && !Unicode.isEmpty()))
                    Foreign.append(Stored.constData() + At, 4 + Len);
                At += 4 + Len;
            }
        }
    }
    Foreign += Unicode;
    if (Foreign.size() + (Z64 ? Z64 + 4 : 0) > 0xFFFF)
        Foreign.clear();
    ExtraFieldLength = quint16(Foreign.size() + (Z64 ? Z64 + 4 : 0));
    // A comment that was never loaded cannot be written, so none is announced.
    if (!FCommentLoaded)
        FFileCommentLength = 0;

    RecordWriter W;
    W.U32(CentralFileHeaderSignature());
    W.U16(VersionMadeBy);
    W.U16(VersionNeeded);
    W.U16(GeneralPurposeFlags);
    W.U16(CompressionMethod);
    W.U32(LastModFileDateTime);
    W.U32(CRC32);
    W.U32(FCompressedSize);
    W.U32(FUncompressedSize);
    W.U16(FFileNameLength);
    W.U16(ExtraFieldLength);
    W.U16(FFileCommentLength);
    W.U16(FDiskNumberStart);
    W.U16(InternalFileAttributes);
    W.U32(ExternalFileAttributes);
    W.U32(FRelativeOffset);
    W.Bytes(Name);
    W.Bytes(Foreign);
    W.WriteTo(Stream);
    if (Z64 > 0)
        WriteCentralZip64Block(Stream, Z64);
    else
        FZip64.reset();
    if (FFileCommentLength > 0) {
        RecordWriter C;
        QByteArray Comment = FComment.left(FFileCommentLength);
        Comment.append(QByteArray(FFileCommentLength - Comment.size(), '\0'));
        C.Bytes(Comment);
        C.WriteTo(Stream);
    }
}

void TZipHeaderInfo::WriteLocalHeader(TStream *Stream)
{
    SetRelativeOffsetOfLocalHeader(Stream->Position());
    const QByteArray Name = ArchiveName();
    FFileNameLength = quint16(Name.size());
    int Parts = LocalZip64Parts();
    if (FLocalZip64Parts < 0) {
        FLocalZip64Parts = Parts;
    } else {
        // A rewrite lies over data that already follows the header, so its
        // layout is the one chosen by the first write; sizes that need Zip64
        // fit only when that write reserved the block for them.
        if ((Parts & ~FLocalZip64Parts) != 0)
            throw EZipperException(ZipResourceString(204));
        Parts = FLocalZip64Parts;
    }
    const int Z64 = LocalZip64Bytes(Parts);
    VersionNeeded = Z64 > 0 ? 45 : 20;
    const QByteArray Unicode = UnicodePathBlock();

    RecordWriter W;
    W.U32(LocalFileHeaderSignature());
    W.U16(VersionNeeded);
    W.U16(GeneralPurposeFlags);
    W.U16(CompressionMethod);
    W.U32(LastModFileDateTime);
    W.U32(CRC32);
    W.U32(Parts & 1 ? 0xFFFFFFFF : FCompressedSize);
    W.U32(Parts & 1 ? 0xFFFFFFFF : FUncompressedSize);
    W.U16(FFileNameLength);
    W.U16(quint16(LocalExtraFieldLength + (Z64 ? Z64 + 4 : 0) + Unicode.size()));
    W.Bytes(Name);
    if (Z64 > 0) {
        W.U16(1);
        W.U16(quint16(Z64));
        if (Parts & 1) {
            W.U64(quint64(UncompressedSize()));
            W.U64(quint64(CompressedSize()));
        }
        if (Parts & 2)
            W.U64(quint64(RelativeOffsetOfLocalHeader()));
        if (Parts & 4)
            W.U32(DiskNumberStart());
    }
    W.Bytes(Unicode);
    W.WriteTo(Stream);
}

bool TZipHeaderInfo::ReadCentralHeader(TStream *Stream, const std::function<TStream *()> &NextDisk)
{
    const qint64 P = Stream->Position();
    unsigned char H[46];
    qint64 Got = Stream->Read(H, 46);
    // A header cut by the end of a part goes on in the next one; a part may
    // also end exactly where a header ends, and the next header begins the
    // next part.
    const bool Cut = Got == 0 || (Got >= 4 && Got < 46 && GetLE32(H) == CentralFileHeaderSignature());
    if (Cut && NextDisk) {
        TStream *Next = NextDisk();
        if (Next) {
            Stream = Next;
            Got += std::max<qint64>(0, Stream->Read(H + Got, 46 - Got));
        }
    }
    if (Got != 46 || GetLE32(H) != CentralFileHeaderSignature()) {
        Stream->Seek(P, soBeginning);
        return false;
    }
    const quint16 NameLen = GetLE16(H + 28);
    // A short name is read into a buffer on the stack; TakeName copies what it keeps.
    char ShortName[512];
    QByteArray NameBytes;
    if (NameLen <= int(sizeof ShortName))
        NameBytes = QByteArray::fromRawData(ShortName, NameLen);
    else
        NameBytes = QByteArray(NameLen, '\0');
    if (NameLen && Stream->Read(const_cast<char *>(NameBytes.constData()), NameLen) != NameLen) {
        Stream->Seek(P, soBeginning);
        return false;
    }
    Clear();
    VersionMadeBy = GetLE16(H + 4);
    VersionNeeded = GetLE16(H + 6);
    GeneralPurposeFlags = GetLE16(H + 8);
    CompressionMethod = GetLE16(H + 10);
    LastModFileDateTime = RepairDosDateTime(GetLE32(H + 12));
    CRC32 = GetLE32(H + 16);
    FCompressedSize = GetLE32(H + 20);
    FUncompressedSize = GetLE32(H + 24);
    ExtraFieldLength = GetLE16(H + 30);
    FFileCommentLength = GetLE16(H + 32);
    FDiskNumberStart = GetLE16(H + 34);
    InternalFileAttributes = GetLE16(H + 36);
    ExternalFileAttributes = GetLE32(H + 38);
    FRelativeOffset = GetLE32(H + 42);
    LocalExtraFieldLength = 0;
    CentralHeaderPosition = P;

    // The extra field is looked at here and not kept: a small one is read
    // into a buffer on the stack (what is taken from it is copied out).
    QByteArray Extra;
    char Small[256];
    if (ExtraFieldLength > 0) {
        ExtraFieldPosition = Stream->Position();
        StoredExtraLength = ExtraFieldLength;
        qint64 N = 0;
        if (ExtraFieldLength <= int(sizeof Small)) {
            N = std::max<qint64>(0, Stream->Read(Small, ExtraFieldLength));
            Extra = QByteArray::fromRawData(Small, qsizetype(N));
        } else {
            Extra = QByteArray(ExtraFieldLength, '\0');
            N = std::max<qint64>(0, Stream->Read(Extra.data(), Extra.size()));
            Extra.truncate(N);
        }
        const auto *E = reinterpret_cast<const unsigned char *>(Extra.constData());
        qint64 At = 0;
        while (At + 4 <= N) {
            const quint16 Tag = GetLE16(E + At);
            const quint16 Len = GetLE16(E + At + 2);
            if (At + 4 + Len > N)
                break;
            if (Tag == 1) {
                Zip64ExtraLength = quint16(Len + 4);
                TZip64ExtendedInfo &Z = Zip64();
                Z.Size = Len;
                const unsigned char *B = E + At + 4;
                int Left = Len;
                auto Take64 = [&](quint64 &V) {
                    if (Left >= 8) {
                        V = GetLE64(B);
                        B += 8;
                        Left -= 8;
                    }
                };
                if (FUncompressedSize == 0xFFFFFFFF)
                    Take64(Z.UncompressedSize);
                if (FCompressedSize == 0xFFFFFFFF)
                    Take64(Z.CompressedSize);
                if (FRelativeOffset == 0xFFFFFFFF)
                    Take64(Z.RelativeOffsetOfLocalHeader);
                if (FDiskNumberStart == 0xFFFF && Left >= 4)
                    Z.DiskNumberStart = GetLE32(B);
            }
            At += 4 + Len;
        }
        Stream->Seek(ExtraFieldPosition, soBeginning);
    }
    TakeName(NameBytes, Extra, HostSystem());
    FUnicodeComment = FindExtraBlock(Extra, 0x6375);
    return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream *Stream)
{
    const qint64 P = Stream->Position();
    unsigned char H[30];
    if (Stream->Read(H, 30) != 30 || GetLE32(H) != LocalFileHeaderSignature()) {
        Stream->Seek(P, soBeginning);
        return false;
    }
    const quint16 NameLen = GetLE16(H + 26);
    QByteArray NameBytes(NameLen, '\0');
    if (NameLen && Stream->Read(NameBytes.data(), NameLen) != NameLen) {
        Stream->Seek(P, soBeginning);
        return false;
    }
    const TOEMConvert Keep = OEMConvert;
    Clear();
    OEMConvert = Keep;
    VersionMadeBy = 0;
    VersionNeeded = GetLE16(H + 4);
    GeneralPurposeFlags = GetLE16(H + 6);
    CompressionMethod = GetLE16(H + 8);
    LastModFileDateTime = RepairDosDateTime(GetLE32(H + 10));
    CRC32 = GetLE32(H + 14);
    FCompressedSize = GetLE32(H + 18);
    FUncompressedSize = GetLE32(H + 22);
    LocalExtraFieldLength = GetLE16(H + 28);
    InternalFileAttributes = 0;
    ExternalFileAttributes = 0;
    SetRelativeOffsetOfLocalHeader(P);
    QByteArray Extra;
    if (LocalExtraFieldLength > 0) {
        const qint64 ExtraAt = Stream->Position();
        Extra = QByteArray(LocalExtraFieldLength, '\0');
        const qint64 N = std::max<qint64>(0, Stream->Read(Extra.data(), Extra.size()));
        Extra.truncate(N);
        const auto *E = reinterpret_cast<const unsigned char *>(Extra.constData());
        qint64 At = 0;
        while (At + 4 <= N) {
            const quint16 Tag = GetLE16(E + At);
            const quint16 Len = GetLE16(E + At + 2);
            if (At + 4 + Len > N)
                break;
            if (Tag == 1) {
                TZip64ExtendedInfo &Z = Zip64();
                Z.Size = Len;
                if (Len >= 8)
                    Z.UncompressedSize = GetLE64(E + At + 4);
                if (Len >= 16)
                    Z.CompressedSize = GetLE64(E + At + 12);
                break;
            }
            At += 4 + Len;
        }
        Stream->Seek(ExtraAt, soBeginning);
    }
    TakeName(NameBytes, Extra, LocalHeaderHost(Extra));
    return true;
}

// ------------------------------------------------------------ end records

TEndCentral::TEndCentral() { Clear(); }

void TEndCentral::Clear()
{
    Signature = EndOfCentralSignature();
    NumberOfThisDisk16 = NumberOfDiskWithStartOfCentral16 = 0;
    EntriesOnThisDisk16 = TotalEntries16 = 0;
    SizeOfCentralDirectory32 = OffsetOfCentralDirectory32 = 0;
    FZipCommentLength = 0;
    FZipComment.clear();
    FCommentLoaded = false;
    ZipCommentPosition = 0;
    Flag = 0;
    FZip64End.reset();
    FZip64Locator.reset();
}

void TEndCentral::Assign(const TEndCentral &S)
{
    if (&S == this)
        return;
    Signature = S.Signature;
    NumberOfThisDisk16 = S.NumberOfThisDisk16;
    NumberOfDiskWithStartOfCentral16 = S.NumberOfDiskWithStartOfCentral16;
    EntriesOnThisDisk16 = S.EntriesOnThisDisk16;
    TotalEntries16 = S.TotalEntries16;
    SizeOfCentralDirectory32 = S.SizeOfCentralDirectory32;
    OffsetOfCentralDirectory32 = S.OffsetOfCentralDirectory32;
    FZipCommentLength = S.FZipCommentLength;
    FZipComment = S.FZipComment;
    FCommentLoaded = S.FCommentLoaded;
    ZipCommentPosition = S.ZipCommentPosition;
    Flag = S.Flag;
    FZip64End.reset(S.FZip64End ? new TZip64EndRecord(*S.FZip64End) : nullptr);
    FZip64Locator.reset(S.FZip64Locator ? new TZip64Locator(*S.FZip64Locator) : nullptr);
}

TZip64EndRecord &TEndCentral::NeedZip64EndRecord()
{
    if (!FZip64End)
        FZip64End = std::make_unique<TZip64EndRecord>();
    return *FZip64End;
}

TZip64Locator &TEndCentral::NeedZip64Locator()
{
    if (!FZip64Locator)
        FZip64Locator = std::make_unique<TZip64Locator>();
    return *FZip64Locator;
}

void TEndCentral::FreeZip64()
{
    FZip64End.reset();
    FZip64Locator.reset();
}

quint32 TEndCentral::NumberOfThisDisk() const
{
    return NumberOfThisDisk16 == 0xFFFF && FZip64End ? FZip64End->NumberOfThisDisk : NumberOfThisDisk16;
}
void TEndCentral::SetNumberOfThisDisk(quint32 V)
{
    if (V > 65534 || FZip64End)
        NeedZip64EndRecord().NumberOfThisDisk = V;
    NumberOfThisDisk16 = V > 65534 ? 0xFFFF : quint16(V);
}
quint32 TEndCentral::NumberOfDiskWithStartOfCentral() const
{
    return NumberOfDiskWithStartOfCentral16 == 0xFFFF && FZip64End ? FZip64End->NumberOfDiskWithStartOfCentral
                                                                   : NumberOfDiskWithStartOfCentral16;
}
void TEndCentral::SetNumberOfDiskWithStartOfCentral(quint32 V)
{
    if (V > 65534 || FZip64End)
        NeedZip64EndRecord().NumberOfDiskWithStartOfCentral = V;
    NumberOfDiskWithStartOfCentral16 = V > 65534 ? 0xFFFF : quint16(V);
}
qint64 TEndCentral::EntriesOnThisDisk() const
{
    return EntriesOnThisDisk16 == 0xFFFF && FZip64End ? qint64(FZip64End->EntriesOnThisDisk) : EntriesOnThisDisk16;
}
void TEndCentral::SetEntriesOnThisDisk(qint64 V)
{
    if (V > 65534 || FZip64End)
        NeedZip64EndRecord().EntriesOnThisDisk = quint64(V);
    EntriesOnThisDisk16 = V > 65534 ? 0xFFFF : quint16(V);
}
qint64 TEndCentral::TotalEntries() const
{
    return TotalEntries16 == 0xFFFF && FZip64End ? qint64(FZip64End->TotalEntries) : TotalEntries16;
}
void TEndCentral::SetTotalEntries(qint64 V)
{
    if (V > 65534 || FZip64End)
        NeedZip64EndRecord().TotalEntries = quint64(V);
    TotalEntries16 = V > 65534 ? 0xFFFF : quint16(V);
}
qint64 TEndCentral::SizeOfCentralDirectory() const
{
    return SizeOfCentralDirectory32 == 0xFFFFFFFF && FZip64End ? qint64(FZip64End->SizeOfCentralDirectory)
                                                               : SizeOfCentralDirectory32;
}
void TEndCentral::SetSizeOfCentralDirectory(qint64 V)
{
    const bool Big = quint64(V) >= 0xFFFFFFFFull;
    if (Big || FZip64End)
        NeedZip64EndRecord().SizeOfCentralDirectory = quint64(V);
    SizeOfCentralDirectory32 = Big ? 0xFFFFFFFF : quint32(V);
}
qint64 TEndCentral::OffsetOfCentralDirectory() const
{
    return OffsetOfCentralDirectory32 == 0xFFFFFFFF && FZip64End ? qint64(FZip64End->OffsetOfCentralDirectory)
                                                                 : OffsetOfCentralDirectory32;
}
void TEndCentral::SetOffsetOfCentralDirectory(qint64 V)
{
    const bool Big = quint64(V) >= 0xFFFFFFFFull;
    if (Big || FZip64End)
        NeedZip64EndRecord().OffsetOfCentralDirectory = quint64(V);
    OffsetOfCentralDirectory32 = Big ? 0xFFFFFFFF : quint32(V);
}

void TEndCentral::SetZipComment(const QByteArray &Value)
{
    FZipComment = Value.left(0xFFFF);
    FZipCommentLength = quint16(FZipComment.size());
    FCommentLoaded = true;
}

void TEndCentral::WriteEndOfCentral(TStream *Stream)
{
    if (FZip64End) {
        TZip64Locator &L = NeedZip64Locator();
        L.OffsetOfZip64End = quint64(Stream->Position());
        L.DiskWithZip64End = NumberOfThisDisk();
        L.TotalDisks = NumberOfThisDisk() + 1;
        TZip64EndRecord &Z = *FZip64End;
        bool AnyMarked = false;
        auto Copy16 = [&](quint16 Raw, auto &Target) {
            if (Raw < 0xFFFF)
                Target = Raw;
            else
                AnyMarked = true;
        };
        auto Copy32 = [&](quint32 Raw, quint64 &Target) {
            if (Raw < 0xFFFFFFFF)
                Target = Raw;
            else
                AnyMarked = true;
        };
        Copy16(NumberOfDiskWithStartOfCentral16, Z.NumberOfDiskWithStartOfCentral);
        Copy16(NumberOfThisDisk16, Z.NumberOfThisDisk);
        Copy16(EntriesOnThisDisk16, Z.EntriesOnThisDisk);
        Copy16(TotalEntries16, Z.TotalEntries);
        Copy32(SizeOfCentralDirectory32, Z.SizeOfCentralDirectory);
        Copy32(OffsetOfCentralDirectory32, Z.OffsetOfCentralDirectory);
        if (AnyMarked) {
            RecordWriter W;
            W.U32(Zip64EndOfCentralSignature);
            W.U64(Z.SizeOfRecord);
            W.U16(Z.VersionMadeBy);
            W.U16(Z.VersionNeeded);
            W.U32(Z.NumberOfThisDisk);
            W.U32(Z.NumberOfDiskWithStartOfCentral);
            W.U64(Z.EntriesOnThisDisk);
            W.U64(Z.TotalEntries);
            W.U64(Z.SizeOfCentralDirectory);
            W.U64(Z.OffsetOfCentralDirectory);
            W.U32(Zip64EndLocatorSignature);
            W.U32(L.DiskWithZip64End);
            W.U64(L.OffsetOfZip64End);
            W.U32(L.TotalDisks);
            W.WriteTo(Stream);
        } else {
            FreeZip64();
        }
    }
    RecordWriter W;
    W.U32(EndOfCentralSignature());
    W.U16(NumberOfThisDisk16);
    W.U16(NumberOfDiskWithStartOfCentral16);
    W.U16(EntriesOnThisDisk16);
    W.U16(TotalEntries16);
    W.U32(SizeOfCentralDirectory32);
    W.U32(OffsetOfCentralDirectory32);
    const QByteArray Comment = FCommentLoaded ? FZipComment.left(FZipCommentLength) : QByteArray();
    // The length written is the length of the text actually written.
    W.U16(quint16(Comment.size()));
    W.Bytes(Comment);
    W.WriteTo(Stream);
}

// ----------------------------------------------------------------- lists

TObjectList::~TObjectList() { Clear(); }

void TObjectList::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
}

void TObjectList::Grow()
{
    const int Delta = FCapacity < 5 ? 4 : FCapacity < 9 ? 8 : 16;
    SetCapacity(FCapacity + Delta);
}

void TObjectList::SetCapacity(int Value)
{
    if (Value < Count())
        throw EListError(QStringLiteral("List capacity out of bounds (%1)").arg(Value));
    FCapacity = Value;
    // The vector grows geometrically on its own; reserving only ahead of it
    // keeps long lists from being copied at every step of 16.
    if (size_t(Value) > FItems.capacity())
        FItems.reserve(std::max(size_t(Value), FItems.capacity() * 2));
}

TObject *TObjectList::Items(int Index) const
{
    CheckIndex(Index);
    return FItems[size_t(Index)];
}

void TObjectList::Put(int Index, TObject *Item)
{
    CheckIndex(Index);
    if (OwnsObjects && FItems[size_t(Index)] != Item)
        delete FItems[size_t(Index)];
    FItems[size_t(Index)] = Item;
}

int TObjectList::Add(TObject *Item)
{
    Insert(Count(), Item);
    return Count() - 1;
}

void TObjectList::Insert(int Index, TObject *Item)
{
    if (Index < 0 || Index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    if (Count() == FCapacity)
        Grow();
    FItems.insert(FItems.begin() + Index, Item);
}

void TObjectList::Delete(int Index)
{
    TObject *Obj = Extract(Index);
    if (OwnsObjects)
        delete Obj;
}

TObject *TObjectList::Extract(int Index)
{
    CheckIndex(Index);
    TObject *Obj = FItems[size_t(Index)];
    FItems.erase(FItems.begin() + Index);
    return Obj;
}

void TObjectList::Clear()
{
    std::vector<TObject *> Items;
    Items.swap(FItems);
    if (OwnsObjects)
        for (TObject *O : Items)
            delete O;
    FCapacity = 0;
}

int TObjectList::IndexOf(const TObject *Item) const
{
    auto It = std::find(FItems.begin(), FItems.end(), Item);
    return It == FItems.end() ? -1 : int(It - FItems.begin());
}

TObject *TObjectList::Neighbour(const TObject *Item, int Direction) const
{
    if (!Item) {
        if (FItems.empty())
            return nullptr;
        return Direction == 0 ? FItems.back() : FItems.front();
    }
    const int I = IndexOf(Item);
    if (I < 0)
        throw EListError(QStringLiteral("tObject %1 not in item list").arg(QString::fromLatin1(typeid(*Item).name())));
    const int J = Direction == 0 ? I - 1 : I + 1;
    return J >= 0 && J < Count() ? FItems[size_t(J)] : nullptr;
}

namespace {

std::map<QString, std::function<TObject *()>> &ObjectClasses()
{
    static std::map<QString, std::function<TObject *()>> Classes;
    return Classes;
}

QString ClassNameText(const char *Format, const QString &Name)
{
    return QString::fromLatin1(Format).replace(QLatin1String("%s"), Name);
}

} // namespace

void RegisterObjectClass(const QString &ClassName, std::function<TObject *()> Create)
{
    if (!ClassName.isEmpty() && Create)
        ObjectClasses()[ClassName] = std::move(Create);
}

void TObjectList::DefineProperties(TFiler &Filer)
{
    const auto &Classes = ObjectClasses();
    Filer.PushPrefix(QStringLiteral("ObjectContainer"));
    struct PopAtEnd {
        TFiler &F;
        ~PopAtEnd() { F.PopPrefix(); }
    } Pop{Filer};
    if (Filer.Writing()) {
        // Every object is checked before anything is written.
        for (TObject *Item : FItems) {
            if (!Item)
                throw EListError(QStringLiteral("Nil Source Class!"));
            auto *S = dynamic_cast<TStreamable *>(Item);
            const QString Name = S ? S->StreamClassName() : QString::fromLatin1(typeid(*Item).name());
            if (!S || Classes.find(Name) == Classes.end())
                throw EListError(ClassNameText("Source Class <%s> not registered", Name));
        }
        int N = Count();
        Filer.Integer(QStringLiteral("Count"), N);
        for (int I = 0; I < N; ++I) {
            auto *S = dynamic_cast<TStreamable *>(FItems[size_t(I)]);
            QString Name = S->StreamClassName();
            Filer.PushPrefix(QString::number(I));
            Filer.String(QStringLiteral("ClassName"), Name);
            S->DefineProperties(Filer);
            Filer.PopPrefix();
        }
        return;
    }
    Clear();
    int N = 0;
    Filer.Enum(QStringLiteral("Count"), N, 0, std::numeric_limits<int>::max());
    // Each object needs its class name in the image, so a count larger than
    // the image holds fails at the first object missing.
    for (int I = 0; I < N; ++I) {
        Filer.PushPrefix(QString::number(I));
        struct PopItem {
            TFiler &F;
            ~PopItem() { F.PopPrefix(); }
        } PopI{Filer};
        QString Name;
        Filer.String(QStringLiteral("ClassName"), Name);
        if (Name.isEmpty())
            throw EReadError(QStringLiteral("Invalid stream format"));
        const auto It = Classes.find(Name);
        std::unique_ptr<TObject> Obj(It != Classes.end() ? It->second() : nullptr);
        auto *S = dynamic_cast<TStreamable *>(Obj.get());
        if (!S)
            throw EListError(ClassNameText("Class <%s> not registered", Name));
        S->DefineProperties(Filer);
        // An object the list declines (an equal key it ignores) is not kept.
        if (Add(Obj.get()) >= 0)
            Obj.release();
    }
}

bool TSortedObjectList::Find(const TObject *Key, int &Index) const
{
    int Lo = 0, Hi = Count() - 1;
    bool Found = false;
    while (Lo <= Hi) {
        const int Mid = (Lo + Hi) / 2;
        const int C = Compare(KeyOf(FItems[size_t(Mid)]), Key);
        if (C < 0) {
            Lo = Mid + 1;
        } else {
            Hi = Mid - 1;
            if (C == 0)
                Found = true;
        }
    }
    Index = Lo;
    return Found;
}

int TSortedObjectList::Add(TObject *Item)
{
    // Items mostly come in order: one comparison with the last settles it.
    if (!FItems.empty() && Compare(KeyOf(FItems.back()), KeyOf(Item)) < 0) {
        Insert(Count(), Item);
        return Count() - 1;
    }
    int Index = 0;
    if (Find(KeyOf(Item), Index)) {
        if (Duplicates == 0)
            return -1;
        if (Duplicates == 2)
            throw EListError(QStringLiteral("Duplicate Object index"));
    }
    Insert(Index, Item);
    return Index;
}

void TSortedObjectList::AddAll(const std::vector<TObject *> &Items)
{
    if (!FItems.empty() || Duplicates != 1) {
        for (TObject *Item : Items)
            Add(Item);
        return;
    }
    // Add puts an item before the items that compare equal to it (Compare
    // 0), or after those that compare lower both ways (orders that never
    // give 0): a stable sort keeps the second kind in their order, and the
    // first kind of run is turned round.
    auto Less = [this](TObject *A, TObject *B) {
        return Compare(KeyOf(A), KeyOf(B)) < 0 && Compare(KeyOf(B), KeyOf(A)) > 0;
    };
    std::vector<TObject *> Sorted(Items);
    std::stable_sort(Sorted.begin(), Sorted.end(), Less);
    for (size_t First = 0; First < Sorted.size();) {
        size_t End = First + 1;
        while (End < Sorted.size() && !Less(Sorted[End - 1], Sorted[End]))
            ++End;
        if (End - First > 1 && Compare(KeyOf(Sorted[First]), KeyOf(Sorted[First + 1])) == 0)
            std::reverse(Sorted.begin() + First, Sorted.begin() + End);
        First = End;
    }
    FItems = std::move(Sorted);
    FCapacity = std::max(FCapacity, Count());
}

void TSortedObjectList::Put(int, TObject *)
{
    throw EListError(QStringLiteral("Cannot <Put> an Object in a sorted list!"));
}

int TSortedZip::Add(TObject *Item)
{
    if (static_cast<TZipHeaderInfo *>(Item)->Zip64ExtendedInfo())
        HasZip64 = true;
    return TSortedObjectList::Add(Item);
}

void TSortedZip::AddAll(const std::vector<TObject *> &Items)
{
    for (TObject *Item : Items)
        if (static_cast<TZipHeaderInfo *>(Item)->Zip64ExtendedInfo())
            HasZip64 = true;
    TSortedObjectList::AddAll(Items);
}

namespace {
// Case-insensitive for ASCII letters, code point order otherwise; A1 + A2
// against B1 + B2, without building the joined texts.
int CompareJoinedAsciiNoCase(const QString &A1, const QString &A2, const QString &B1, const QString &B2)
{
    const qsizetype NA = A1.size() + A2.size(), NB = B1.size() + B2.size();
    const qsizetype N = std::min(NA, NB);
    for (qsizetype I = 0; I < N; ++I) {
        char16_t X = (I < A1.size() ? A1[I] : A2[I - A1.size()]).unicode();
        char16_t Y = (I < B1.size() ? B1[I] : B2[I - B1.size()]).unicode();
        if (X >= 'A' && X <= 'Z')
            X += 32;
        if (Y >= 'A' && Y <= 'Z')
            Y += 32;
        if (X != Y)
            return X < Y ? -1 : 1;
    }
    return NA == NB ? 0 : (NA < NB ? -1 : 1);
}

int CompareAsciiNoCase(const QString &A, const QString &B)
{
    const qsizetype N = std::min(A.size(), B.size());
    for (qsizetype I = 0; I < N; ++I) {
        char16_t X = A[I].unicode(), Y = B[I].unicode();
        if (X >= 'A' && X <= 'Z')
            X += 32;
        if (Y >= 'A' && Y <= 'Z')
            Y += 32;
        if (X != Y)
            return X < Y ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}
}

int TSortedZip::Compare(const TObject *ItemObj, const TObject *KeyObj) const
{
    const auto *Item = static_cast<const TZipHeaderInfo *>(ItemObj);
    const auto *Key = static_cast<const TZipHeaderInfo *>(KeyObj);
    switch (SortMode) {
    case ByName: return CompareJoinedAsciiNoCase(Item->DirectoryRef(), Item->FileNameRef(), Key->DirectoryRef(), Key->FileNameRef());
    case ByFileName: return CompareAsciiNoCase(Item->FileNameRef(), Key->FileNameRef());
    case ByDirectoryName: return CompareAsciiNoCase(Item->DirectoryRef(), Key->DirectoryRef());
    case ByDate: return Key->LastModFileDateTime > Item->LastModFileDateTime ? 1 : -1;
    case ByCompressedSize: return Key->CompressedSize() > Item->CompressedSize() ? 1 : -1;
    case ByUnCompressedSize: return Key->UncompressedSize() > Item->UncompressedSize() ? 1 : -1;
    case ByRate:
        return CompressionRate(Key->CompressedSize(), Key->UncompressedSize())
            - CompressionRate(Item->CompressedSize(), Item->UncompressedSize());
    case ByNone:
    default: {
        const qint64 D = qint64(Item->DiskNumberStart()) - qint64(Key->DiskNumberStart());
        if (D != 0)
            return D < 0 ? -1 : 1;
        const qint64 A = Item->RelativeOffsetOfLocalHeader(), B = Key->RelativeOffsetOfLocalHeader();
        return A > B ? 1 : (A == B ? 0 : -1);
    }
    }
}
