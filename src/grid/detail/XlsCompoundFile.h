#pragma once
// Internal to the grid's .xls reader: the compound file (the file system
// inside an .xls file) read from memory. Everything in it is untrusted:
// sector numbers are checked against the file, every chain is followed at most
// once around (a sector met twice is damage), stated sizes must fit the file,
// and a damaged file throws XlsDamaged rather than give part of a stream.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace XlsReader {

// Thrown for any damage of the file; the reader turns it into its error result.
struct XlsDamaged {};

class TCompoundFile {
public:
    // Reads the header, the sector tables and the directory. Throws XlsDamaged.
    TCompoundFile(const uchar *Data, qsizetype Size);

    // Whether the bytes start with the compound file signature.
    static bool HasSignature(const uchar *Data, qsizetype Size);

    // The whole stream of that name directly below the root storage (names
    // compare without regard to case), or nothing when there is none. Throws
    // XlsDamaged when its sectors are damaged.
    std::optional<QByteArray> Stream(const QString &Name) const;

private:
    struct TEntry {
        QString Name;
        quint8 Type = 0;
        quint32 Left = 0, Right = 0, Child = 0;
        quint32 Start = 0;
        quint64 Size = 0;
    };

    const uchar *SectorData(quint32 Sector, qsizetype &Available) const;
    std::vector<quint32> Chain(const std::vector<quint32> &Table, quint32 Start, quint64 MaxSteps) const;
    QByteArray ReadChain(quint32 Start, quint64 Size) const;
    QByteArray ReadAllOfChain(quint32 Start) const;
    void ReadSectorTable();
    void ReadDirectory();
    QByteArray ReadMiniChain(quint32 Start, quint64 Size) const;

    const uchar *FData;
    qsizetype FSize;
    int FMajorVersion = 3;
    int FSectorShift = 9;
    int FMiniSectorShift = 6;
    quint32 FMiniCutoff = 4096;
    quint32 FSectorCount = 0;          // sectors the file holds (the last may be short)
    std::vector<quint32> FFat;
    std::vector<TEntry> FEntries;
    mutable std::optional<std::vector<quint32>> FMiniFat;
    mutable std::optional<QByteArray> FMiniStream;
};

} // namespace XlsReader
