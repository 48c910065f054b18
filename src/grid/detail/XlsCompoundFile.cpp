// The compound file inside an .xls file: a header, a table of sector chains
// (FAT) whose own sectors are listed in the header and in a chain of DIFAT
// sectors, a directory of named streams, and a second, finer table (mini FAT)
// for the small streams kept inside one stream of the root (the mini stream).
//
// A damaged file can point anywhere and loop anywhere. Here every sector
// number is checked against the sectors the file really holds before it is
// read, every chain (DIFAT, FAT, mini FAT, directory tree) keeps a record of
// what it visited and a second visit is damage, a stated size must fit in the
// sectors that exist before anything is allocated for it, and a stream is
// either read whole or not at all.

#include "grid/detail/XlsCompoundFile.h"

#include "platform/core/ByteOrder.h"

#include <cstring>

namespace XlsReader {
namespace {

const uchar Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

constexpr qsizetype HeaderSize = 512;
constexpr int HeaderFatEntries = 109;
constexpr quint32 EndOfChain = 0xFFFFFFFE;
constexpr quint32 NoStream = 0xFFFFFFFF;

// Header fields.
constexpr int HeaderMajorVersion = 0x1A;
constexpr int HeaderSectorShift = 0x1E;
constexpr int HeaderMiniSectorShift = 0x20;
constexpr int HeaderFatSectorCount = 0x2C;
constexpr int HeaderFirstDirectorySector = 0x30;
constexpr int HeaderMiniCutoff = 0x38;
constexpr int HeaderFirstMiniFatSector = 0x3C;
constexpr int HeaderFirstDifatSector = 0x44;
constexpr int HeaderFatSectors = 0x4C;

// Directory entry fields.
constexpr int DirectoryEntrySize = 128;
constexpr int EntryNameLength = 0x40;
constexpr int EntryType = 0x42;
constexpr int EntryLeft = 0x44;
constexpr int EntryRight = 0x48;
constexpr int EntryChild = 0x4C;
constexpr int EntryStart = 0x74;
constexpr int EntryStreamSize = 0x78;

constexpr quint8 TypeStream = 2;
constexpr quint8 TypeRoot = 5;

[[noreturn]] void Damage()
{
    throw XlsDamaged();
}

} // namespace

bool TCompoundFile::HasSignature(const uchar *Data, qsizetype Size)
{
    return Size >= qsizetype(sizeof Signature) && std::memcmp(Data, Signature, sizeof Signature) == 0;
}

TCompoundFile::TCompoundFile(const uchar *Data, qsizetype Size) : FData(Data), FSize(Size)
{
    if (Size < HeaderSize || !HasSignature(Data, Size))
        Damage();
    FMajorVersion = GetLE16(Data + HeaderMajorVersion);
    FSectorShift = GetLE16(Data + HeaderSectorShift);
    FMiniSectorShift = GetLE16(Data + HeaderMiniSectorShift);
    if (FSectorShift < 7 || FSectorShift > 16 || FMiniSectorShift < 2 || FMiniSectorShift > FSectorShift)
        Damage();
    FMiniCutoff = GetLE32(Data + HeaderMiniCutoff);
    // Sector n starts at (n + 1) sectors; the last one may be cut short.
    const qsizetype SectorSize = qsizetype(1) << FSectorShift;
    const qsizetype Body = Size > SectorSize ? Size - SectorSize : 0;
    const qint64 Sectors = (Body + SectorSize - 1) / SectorSize;
    if (Sectors >= qint64(EndOfChain) - 4)
        Damage();
    FSectorCount = quint32(Sectors);
    ReadSectorTable();
    ReadDirectory();
}

const uchar *TCompoundFile::SectorData(quint32 Sector, qsizetype &Available) const
{
    if (Sector >= FSectorCount)
        Damage();
    const qsizetype Offset = (qsizetype(Sector) + 1) << FSectorShift;
    Available = std::min<qsizetype>(qsizetype(1) << FSectorShift, FSize - Offset);
    return FData + Offset;
}

void TCompoundFile::ReadSectorTable()
{
    const qsizetype SectorSize = qsizetype(1) << FSectorShift;
    const quint32 PerSector = quint32(SectorSize / 4);
    // Each sector of the table is a sector of the file.
    const quint32 FatSectorCount = GetLE32(FData + HeaderFatSectorCount);
    if (FatSectorCount > FSectorCount)
        Damage();
    std::vector<quint32> FatSectors;
    FatSectors.reserve(FatSectorCount);
    for (int I = 0; I < HeaderFatEntries && FatSectors.size() < FatSectorCount; ++I)
        FatSectors.push_back(GetLE32(FData + HeaderFatSectors + 4 * I));
    std::vector<bool> Seen(FSectorCount);
    quint32 Difat = GetLE32(FData + HeaderFirstDifatSector);
    while (FatSectors.size() < FatSectorCount) {
        if (Difat >= FSectorCount || Seen[Difat])
            Damage();
        Seen[Difat] = true;
        qsizetype Available = 0;
        const uchar *P = SectorData(Difat, Available);
        if (Available < SectorSize)
            Damage();
        for (quint32 K = 0; K + 1 < PerSector && FatSectors.size() < FatSectorCount; ++K)
            FatSectors.push_back(GetLE32(P + 4 * K));
        Difat = GetLE32(P + 4 * (PerSector - 1));
    }
    FFat.resize(size_t(FatSectorCount) * PerSector);
    for (size_t I = 0; I < FatSectors.size(); ++I) {
        qsizetype Available = 0;
        const uchar *P = SectorData(FatSectors[I], Available);
        if (Available < SectorSize)
            Damage();
        for (quint32 K = 0; K < PerSector; ++K)
            FFat[I * PerSector + K] = GetLE32(P + 4 * K);
    }
}

// The sectors of a chain in Table from Start, at most MaxSteps of them; a
// chain that leaves the table or comes back to a sector it passed is damage.
std::vector<quint32> TCompoundFile::Chain(const std::vector<quint32> &Table, quint32 Start, quint64 MaxSteps) const
{
    std::vector<quint32> Result;
    std::vector<bool> Seen;
    quint32 S = Start;
    while (S != EndOfChain && Result.size() < MaxSteps) {
        if (S >= Table.size())
            Damage();
        if (Seen.empty())
            Seen.resize(Table.size());
        if (Seen[S])
            Damage();
        Seen[S] = true;
        Result.push_back(S);
        S = Table[S];
    }
    return Result;
}

QByteArray TCompoundFile::ReadChain(quint32 Start, quint64 Size) const
{
    const qsizetype SectorSize = qsizetype(1) << FSectorShift;
    if (Size > quint64(FSectorCount) * quint64(SectorSize))
        Damage();
    const quint64 Needed = (Size + quint64(SectorSize) - 1) / quint64(SectorSize);
    const std::vector<quint32> Sectors = Chain(FFat, Start, Needed);
    if (Sectors.size() < Needed)
        Damage();
    QByteArray Result(qsizetype(Size), Qt::Uninitialized);
    qsizetype At = 0;
    for (quint32 S : Sectors) {
        qsizetype Available = 0;
        const uchar *P = SectorData(S, Available);
        const qsizetype Take = std::min<qsizetype>(SectorSize, qsizetype(Size) - At);
        if (Available < Take)
            Damage();
        std::memcpy(Result.data() + At, P, size_t(Take));
        At += Take;
    }
    return Result;
}

QByteArray TCompoundFile::ReadAllOfChain(quint32 Start) const
{
    QByteArray Result;
    for (quint32 S : Chain(FFat, Start, FSectorCount)) {
        qsizetype Available = 0;
        const uchar *P = SectorData(S, Available);
        Result.append(reinterpret_cast<const char *>(P), Available);
    }
    return Result;
}

void TCompoundFile::ReadDirectory()
{
    const QByteArray Bytes = ReadAllOfChain(GetLE32(FData + HeaderFirstDirectorySector));
    const qsizetype Count = Bytes.size() / DirectoryEntrySize;
    FEntries.reserve(size_t(Count));
    for (qsizetype I = 0; I < Count; ++I) {
        const uchar *P = reinterpret_cast<const uchar *>(Bytes.constData()) + I * DirectoryEntrySize;
        TEntry E;
        const int NameBytes = GetLE16(P + EntryNameLength);
        if (NameBytes >= 2 && NameBytes <= 64) {
            E.Name.resize(NameBytes / 2 - 1);
            for (int K = 0; K < E.Name.size(); ++K)
                E.Name[K] = QChar(GetLE16(P + 2 * K));
        }
        E.Type = P[EntryType];
        E.Left = GetLE32(P + EntryLeft);
        E.Right = GetLE32(P + EntryRight);
        E.Child = GetLE32(P + EntryChild);
        E.Start = GetLE32(P + EntryStart);
        // Files with 512-byte sectors may leave rubbish in the high half of the size.
        E.Size = FMajorVersion >= 4 ? GetLE64(P + EntryStreamSize) : GetLE32(P + EntryStreamSize);
        FEntries.push_back(E);
    }
    if (FEntries.empty() || FEntries.front().Type != TypeRoot)
        Damage();
}

QByteArray TCompoundFile::ReadMiniChain(quint32 Start, quint64 Size) const
{
    if (!FMiniStream) {
        const TEntry &Root = FEntries.front();
        FMiniStream = ReadChain(Root.Start, Root.Size);
        const QByteArray Table = ReadAllOfChain(GetLE32(FData + HeaderFirstMiniFatSector));
        std::vector<quint32> MiniFat(size_t(Table.size() / 4));
        for (size_t I = 0; I < MiniFat.size(); ++I)
            MiniFat[I] = GetLE32(reinterpret_cast<const uchar *>(Table.constData()) + 4 * I);
        FMiniFat = std::move(MiniFat);
    }
    const qsizetype MiniSize = qsizetype(1) << FMiniSectorShift;
    if (Size > quint64(FMiniStream->size()))
        Damage();
    const quint64 Needed = (Size + quint64(MiniSize) - 1) / quint64(MiniSize);
    const std::vector<quint32> Sectors = Chain(*FMiniFat, Start, Needed);
    if (Sectors.size() < Needed)
        Damage();
    QByteArray Result(qsizetype(Size), Qt::Uninitialized);
    qsizetype At = 0;
    for (quint32 S : Sectors) {
        const qsizetype Offset = qsizetype(S) << FMiniSectorShift;
        const qsizetype Take = std::min<qsizetype>(MiniSize, qsizetype(Size) - At);
        if (Offset > FMiniStream->size() - Take)
            Damage();
        std::memcpy(Result.data() + At, FMiniStream->constData() + Offset, size_t(Take));
        At += Take;
    }
    return Result;
}

std::optional<QByteArray> TCompoundFile::Stream(const QString &Name) const
{
    // The root's children form a tree through their left and right siblings.
    std::vector<bool> Seen(FEntries.size());
    std::vector<quint32> Pending{FEntries.front().Child};
    while (!Pending.empty()) {
        const quint32 Id = Pending.back();
        Pending.pop_back();
        if (Id == NoStream)
            continue;
        if (Id >= FEntries.size() || Seen[Id])
            Damage();
        Seen[Id] = true;
        const TEntry &E = FEntries[Id];
        if (E.Type == TypeStream && E.Name.compare(Name, Qt::CaseInsensitive) == 0)
            return E.Size < FMiniCutoff ? ReadMiniChain(E.Start, E.Size) : ReadChain(E.Start, E.Size);
        Pending.push_back(E.Right);
        Pending.push_back(E.Left);
    }
    return std::nullopt;
}

} // namespace XlsReader
