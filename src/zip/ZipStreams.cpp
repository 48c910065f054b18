#include "ZipStreams.h"

#include "ZipObj.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// ------------------------------------------------------------ TS_BufferStream

TS_BufferStream::TS_BufferStream(TStream *Inner, int BufferSize)
    : FInner(Inner), FBuffer(size_t(std::max(BufferSize, 16)))
{
}

TS_BufferStream::~TS_BufferStream()
{
    // Errors cannot be reported from here; callers that care call Finish().
    Finish();
}

bool TS_BufferStream::FlushBuffer()
{
    if (FState != 2)
        return true;
    bool Ok = true;
    if (FPos > 0) {
        Ok = FInner && FInner->Write(FBuffer.data(), FPos) == FPos;
        Moved(Ok ? FPos : -1);
    }
    FPos = FEnd = 0;
    FState = 0;
    if (!Ok)
        FFailed = true;
    return Ok;
}

bool TS_BufferStream::Finish()
{
    bool Ok = FlushBuffer();
    if (FFlushOnClose && FWritten) {
        if (auto *File = dynamic_cast<TFileStream *>(FInner)) {
            if (File->Handle() >= 0 && ::fsync(File->Handle()) != 0)
                Ok = false;
        }
        FWritten = false;
    }
    if (!Ok)
        FFailed = true;
    return !FFailed;
}

qint64 TS_BufferStream::Read(void *Buffer, qint64 Count)
{
    if (FState == 2 && !FlushBuffer())
        return 0;
    auto *Out = static_cast<char *>(Buffer);
    qint64 Total = 0;
    const qint64 Size = qint64(FBuffer.size());
    while (Count > 0) {
        if (FState != 1 || FPos >= FEnd) {
            if (Count >= Size) {
                // Large reads skip the buffer.
                FState = 0;
                FPos = FEnd = 0;
                const qint64 N = FInner->Read(Out, Count);
                Moved(std::max<qint64>(N, 0));
                if (N > 0)
                    Total += N;
                break;
            }
            const qint64 N = FInner->Read(FBuffer.data(), Size);
            Moved(std::max<qint64>(N, 0));
            FPos = 0;
            FEnd = std::max<qint64>(N, 0);
            FState = FEnd > 0 ? 1 : 0;
            if (FEnd == 0)
                break;
        }
        const qint64 M = std::min(Count, FEnd - FPos);
        std::memcpy(Out, FBuffer.data() + FPos, size_t(M));
        FPos += M;
        Out += M;
        Count -= M;
        Total += M;
    }
    return Total;
}

qint64 TS_BufferStream::Write(const void *Buffer, qint64 Count)
{
    if (FState == 1) {
        // Drop the read-ahead: the inner stream goes back to the logical position.
        const qint64 Back = FEnd - FPos;
        const qint64 Expected = FInnerPos >= 0 ? FInnerPos - Back : -1;
        FInnerPos = FInner->Seek(-Back, soCurrent);
        FState = 0;
        FPos = FEnd = 0;
        if (FInnerPos < 0 || (Expected >= 0 && FInnerPos != Expected)) {
            // Writing here would land somewhere else in the file.
            FFailed = true;
            return 0;
        }
    }
    const auto *In = static_cast<const char *>(Buffer);
    qint64 Total = 0;
    const qint64 Size = qint64(FBuffer.size());
    while (Count > 0) {
        if (FState == 0 && Count >= Size) {
            const qint64 N = FInner->Write(In, Count);
            Moved(N == Count ? N : -1);
            FWritten = true;
            if (N != Count)
                FFailed = true;
            return Total + std::max<qint64>(N, 0);
        }
        const qint64 M = std::min(Count, Size - FPos);
        std::memcpy(FBuffer.data() + FPos, In, size_t(M));
        FPos += M;
        FState = 2;
        FWritten = true;
        if (FPos == Size && !FlushBuffer())
            return Total;
        In += M;
        Count -= M;
        Total += M;
    }
    if (FState == 2 && FPos == 0)
        FState = 0;
    return Total;
}

void TS_BufferStream::Moved(qint64 Count)
{
    if (Count < 0)
        FInnerPos = -1;
    else if (FInnerPos >= 0)
        FInnerPos += Count;
}

qint64 TS_BufferStream::InnerPosition()
{
    // The inner stream moves only through this one, so its position is
    // known without asking the system each time.
    if (FInnerPos < 0)
        FInnerPos = FInner->Seek(0, soCurrent);
    return FInnerPos;
}

qint64 TS_BufferStream::Seek(qint64 Offset, TSeekOrigin Origin)
{
    const qint64 Inner = InnerPosition();
    qint64 Logical = Inner;
    if (FState == 1)
        Logical = Inner - (FEnd - FPos);
    else if (FState == 2)
        Logical = Inner + FPos;
    qint64 NewPos = 0;
    switch (int(Origin)) {
    case 0: NewPos = Offset; break;
    case 1: NewPos = Logical + Offset; break;
    case 2: {
        const qint64 InnerSize = FInner->Size();
        const qint64 End = std::max(InnerSize, FState == 2 ? Inner + FPos : InnerSize);
        NewPos = End + Offset;
        break;
    }
    default:
        throw Exception(ZipResourceString(191).replace(QLatin1String("%d"), QString::number(int(Origin))));
    }
    if (NewPos != Logical && FState == 1 && NewPos >= Logical - FPos && NewPos <= Logical + (FEnd - FPos)) {
        // Inside the read-ahead: only the buffer position moves.
        FPos += NewPos - Logical;
        return NewPos;
    }
    if (NewPos != Logical) {
        if (!FlushBuffer())
            throw Exception(ZipResourceString(190));
        FInnerPos = FInner->Seek(NewPos, soBeginning);
        FState = 0;
        FPos = FEnd = 0;
        if (FInnerPos != NewPos) {
            // The inner stream did not get there: report it as the inner
            // stream does, stay where we were, and fail the stream so that
            // nothing written after this at the wrong place is taken as done.
            FInnerPos = FInner->Seek(Logical, soBeginning);
            FFailed = true;
            return -1;
        }
    }
    return NewPos;
}

qint64 TS_BufferStream::Size()
{
    const qint64 InnerSize = FInner->Size();
    if (FState == 2)
        return std::max(InnerSize, InnerPosition() + FPos);
    return InnerSize;
}

void TS_BufferStream::SetSize(qint64 NewSize)
{
    const qint64 Pos = Seek(0, soCurrent);
    if (!FlushBuffer())
        throw Exception(ZipResourceString(190));
    if (FState == 1) {
        FInnerPos = FInner->Seek(Pos, soBeginning);
        FState = 0;
        FPos = FEnd = 0;
    }
    FInner->SetSize(NewSize);
    FInnerPos = FInner->Seek(std::min(Pos, NewSize), soBeginning);
}

void TS_BufferStream::PutBack(char C)
{
    if (FState != 1 || FPos <= 0)
        throw EStreamError(ZipResourceString(192));
    FBuffer[size_t(--FPos)] = C;
}

// ------------------------------------------------------------- TLFNFileStream

TLFNFileStream::TLFNFileStream(const QString &FileName, quint16 Mode, bool FlushOnClose, int BufferSize)
    : TS_BufferStream(nullptr, BufferSize)
{
    FFile = std::make_unique<TFileStream>(FileName, Mode);
    FInner = FFile.get();
    FFlushOnClose = FlushOnClose && (Mode == fmCreate || (Mode & 3) != 0);
}

TLFNFileStream::~TLFNFileStream()
{
    Finish();
}

QString TLFNFileStream::FileName() const
{
    return FFile->FileName();
}

// ----------------------------------------------------------------- utilities

bool ZipDirectoryExists(const QString &Path)
{
    return DirectoryExists(Path);
}

QString ZipStripBackslash(const QString &Path)
{
    if (Path.endsWith(QLatin1Char('/')) || Path.endsWith(QLatin1Char('\\')))
        return Path.left(Path.size() - 1);
    return Path;
}

void ZipForceDirectories(const QString &Path)
{
    const QString Dir = ZipStripBackslash(Path);
    // Too short for a folder below a root ("C:", "a"): nothing to make.
    if (Dir.size() < 3 && !Dir.startsWith(QLatin1Char('/')))
        return;
    ForceDirectories(Dir);
}

namespace {
std::function<bool()> &MessagePump()
{
    static std::function<bool()> Pump;
    return Pump;
}
}

void SetZipMessagePump(std::function<bool()> Pump)
{
    MessagePump() = std::move(Pump);
}

bool ZipYieldMessages()
{
    auto &Pump = MessagePump();
    return Pump ? Pump() : false;
}

double ZipFileDateTime(const QString &Path)
{
    const qint64 Dos = FileAge(Path);
    if (Dos < 0)
        return 0;
    return FileDateToDateTime(RepairDosDateTime(quint32(Dos)));
}

QString ZipVolumeLabel(const QString &)
{
    return QString();
}

bool ZipSetVolumeLabel(const QString &, const QString &)
{
    return false;
}

namespace {

TZipDrives GSystemDrives;
TZipDrives *GDrives = &GSystemDrives;

QByteArray ReadSmallFile(const QString &Path)
{
    QFile F(Path);
    return F.open(QIODevice::ReadOnly) ? F.read(64).trimmed() : QByteArray();
}

} // namespace

void SetZipDrives(TZipDrives *Drives)
{
    GDrives = Drives ? Drives : &GSystemDrives;
}

bool TZipDrives::IsRemovable(const QString &Path)
{
    // The block device of the file system holding Path: its own "removable"
    // flag, or that of the disk a partition belongs to.
    QString Existing = Path;
    struct stat St;
    while (::stat(QFile::encodeName(Existing).constData(), &St) != 0) {
        const QString Up = ExtractFilePath(ZipStripBackslash(Existing));
        if (Up.isEmpty() || Up == Existing)
            return false;
        Existing = Up;
    }
    const QString Dev = QStringLiteral("/sys/dev/block/%1:%2").arg(major(St.st_dev)).arg(minor(St.st_dev));
    const QString Real = QFileInfo(Dev).canonicalFilePath();
    if (Real.isEmpty())
        return false;
    QByteArray Flag = ReadSmallFile(Real + QStringLiteral("/removable"));
    if (Flag.isEmpty() && QFileInfo::exists(Real + QStringLiteral("/partition")))
        Flag = ReadSmallFile(QFileInfo(Real).path() + QStringLiteral("/removable"));
    return Flag == "1";
}

qint64 TZipDrives::ClusterSize(const QString &Path)
{
    struct statvfs Vfs;
    if (::statvfs(QFile::encodeName(Path).constData(), &Vfs) != 0)
        throw EInOutError(SysErrorMessage(errno));
    return qint64(Vfs.f_frsize ? Vfs.f_frsize : Vfs.f_bsize);
}

qint64 TZipDrives::FreeSpace(const QString &Path)
{
    return DiskFree(Path);
}

bool ZipIsRemovableDrive(const QString &Path)
{
    return GDrives->IsRemovable(Path);
}

qint64 ZipClusterSize(const QString &Path)
{
    return GDrives->ClusterSize(Path);
}

qint64 ZipDiskFreeSpace(const QString &Path)
{
    return GDrives->FreeSpace(Path);
}

void ZipOemNormalize(QString &Name)
{
    QString Out;
    Out.reserve(Name.size());
    for (qsizetype I = 0; I < Name.size(); ++I) {
        // Keep surrogate pairs together.
        const qsizetype Len = Name[I].isHighSurrogate() && I + 1 < Name.size() ? 2 : 1;
        const QString Ch = Name.mid(I, Len);
        Out += Cp936::CanEncode(Ch) ? Ch : QStringLiteral("?");
        I += Len - 1;
    }
    Name = Out;
}

QString ZipShortPathName(const QString &Path)
{
    return Path;
}

bool ZipHasWildcards(const QString &S)
{
    for (QChar C : S)
        if (C == QLatin1Char('*') || C == QLatin1Char('?') || C == QLatin1Char('<') || C == QLatin1Char('>')
            || C == QLatin1Char('|'))
            return true;
    return false;
}

void ZipMoveFile(const QString &Source, const QString &Target)
{
    const QByteArray Src = QFile::encodeName(Source), Dst = QFile::encodeName(Target);
    if (::rename(Src.constData(), Dst.constData()) == 0)
        return;
    // Another file system: copy beside the target, then rename over it.
    bool Ok = CopyFile(Source, Target, false);
    if (Ok)
        ::unlink(Src.constData());
    else
        throw Exception(ZipResourceString(203) + QStringLiteral(": ") + ZipResourceString(202) + Source
                        + QStringLiteral(" -> ") + Target);
}
