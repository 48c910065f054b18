#pragma once
// One run of the shrink, reduce and implode decoders on arbitrary bytes,
// shared by the libFuzzer target and the unit test of mutated seeds.
//
// Input: byte 0 picks the method (1 + value % 6), byte 1 the flags (its bits
// 1 and 2), bytes 2-4 the stated size (little-endian, at most 1 MiB); the
// rest is the member's data, handed over in pieces of 61 bytes. As in the
// extractor, output past the stated size raises EBiggerThanUncompressed.

#include "zip/ZipObj.h"
#include "zip/detail/LegacyMethods.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace LegacyFuzz {

constexpr qint64 MaxSize = 1 << 20;

inline QByteArray Input(int Method, int Flags, qint64 Size, const QByteArray &Compressed)
{
    QByteArray B;
    B += char(Method - 1);
    B += char(Flags);
    B += char(Size & 0xFF);
    B += char((Size >> 8) & 0xFF);
    B += char((Size >> 16) & 0xFF);
    return B + Compressed;
}

struct Result {
    QByteArray Output;
    bool Overflow = false;
};

inline Result Run(const uint8_t *Data, size_t Size)
{
    Result R;
    if (Size < 5)
        return R;
    ZipDetail::LegacyMember M;
    M.Method = quint16(1 + Data[0] % 6);
    M.Flags = quint16(Data[1] & 6);
    M.UncompressedSize = std::min<qint64>(MaxSize, Data[2] | (Data[3] << 8) | (Data[4] << 16));
    const uint8_t *In = Data + 5;
    qint64 Left = qint64(Size - 5);
    M.CompressedSize = Left;
    M.Input = [&](const uchar *&P) -> qint64 {
        const qint64 N = std::min<qint64>(61, Left);
        P = In;
        In += N;
        Left -= N;
        return N;
    };
    M.Output = [&](const char *P, qint64 N) {
        if (R.Output.size() + N > M.UncompressedSize)
            throw EBiggerThanUncompressed(ZipResourceString(199));
        R.Output.append(P, N);
    };
    M.Message = [](int, const QString &, const QString &, quint32) {};
    try {
        ZipDetail::DecodeLegacyMember(M);
    } catch (const EBiggerThanUncompressed &) {
        R.Overflow = true;
    }
    return R;
}

} // namespace LegacyFuzz
