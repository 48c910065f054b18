#pragma once
// Test-only encoders of the zip format's older methods (shrink, reduce and
// implode), which no tool of the build machine writes, and a small archive
// writer for their output. They favour plainness over compression.

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace LegacyTest {

// Bits in the order the decoders read them: the first bit is a byte's lowest.
class BitWriter {
public:
    void Put(uint32_t Value, int Bits);
    void Byte(uint8_t Value) { Put(Value, 8); }
    QByteArray Finish();

private:
    QByteArray FBytes;
    uint64_t FBuf = 0;
    int FCount = 0;
};

struct ShrinkStats {
    int MaxCodeSize = 9;
    int PartialClears = 0;
    int SelfDefined = 0;   // codes defined by the step that reads them
};
// Dynamic LZW with the code size raised by 256,1 and a partial clear (256,2)
// whenever the dictionary is full and the last code is no leaf.
QByteArray Shrink(const QByteArray &Data, ShrinkStats *Stats = nullptr);

struct ImplodeStats {
    int LongLengths = 0;   // length code 63 with its 8 extra bits
    int Overlapping = 0;   // copies longer than their distance
    int Literals = 0;
    int Copies = 0;
};
// Flags: 2 for the 8 KiB window, 4 for the literal tree.
QByteArray Implode(const QByteArray &Data, int Flags, ImplodeStats *Stats = nullptr);

struct ReduceStats {
    int Escapes = 0;           // the byte 144 written as 144,0
    int ExtraLengths = 0;      // a length field of all ones plus a length byte
    int CopiesBeforeStart = 0; // copies that reach before the first byte
    int SingleSets = 0;        // follower sets of one byte
    int Copies = 0;
};
// Factor 1 to 4 (methods 2 to 5).
QByteArray Reduce(const QByteArray &Data, int Factor, ReduceStats *Stats = nullptr);

struct Member {
    QString Name;
    int Method = 0;
    int Flags = 0;
    QByteArray Compressed;
    QByteArray Source;            // for the CRC and the size
    qint64 StoredSize = -1;       // when not the source's size
};
QByteArray Archive(const QList<Member> &Members);
quint32 Crc32(const QByteArray &Data);

} // namespace LegacyTest
