#pragma once
// Internal to the graphics library: whole-stream reads and writes.

#include "platform/core/Classes.h"

#include <algorithm>

namespace GraphicsDetail {

// Everything from the stream's position to its end. A file or memory stream
// says how much is left, so the bytes are read in one piece into a buffer of
// that size; reading then goes on to the real end all the same.
inline QByteArray ReadRest(TStream *Stream)
{
    QByteArray Out;
    if (!Stream)
        return Out;
    if (dynamic_cast<TFileStream *>(Stream) || dynamic_cast<TMemoryStream *>(Stream)) {
        const qint64 Position = Stream->Position();
        const qint64 Left = Position >= 0 ? Stream->Size() - Position : 0;
        if (Left > 0 && Left < (qint64(1) << 40)) {
            Out.resize(qsizetype(Left));
            const qint64 N = Stream->Read(Out.data(), Left);
            Out.resize(qsizetype(std::max<qint64>(N, 0)));
        }
    }
    char Buffer[65536];
    for (;;) {
        const qint64 N = Stream->Read(Buffer, qint64(sizeof Buffer));
        if (N <= 0)
            break;
        Out.append(Buffer, int(N));
    }
    return Out;
}

// Exactly Count bytes, or fewer when the stream ends first.
inline QByteArray ReadUpTo(TStream *Stream, qint64 Count)
{
    QByteArray Out;
    char Buffer[65536];
    while (Count > 0) {
        const qint64 N = Stream->Read(Buffer, std::min<qint64>(Count, qint64(sizeof Buffer)));
        if (N <= 0)
            break;
        Out.append(Buffer, int(N));
        Count -= N;
    }
    return Out;
}

inline void WriteAll(TStream *Stream, const QByteArray &Bytes)
{
    if (!Bytes.isEmpty())
        Stream->WriteBytes(Bytes);
}

} // namespace GraphicsDetail
