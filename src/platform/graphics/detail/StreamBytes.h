#pragma once
// Internal to the graphics library: whole-stream reads and writes.

#include "platform/core/Classes.h"

#include <algorithm>

namespace GraphicsDetail {

// Everything from the stream's position to its end.
inline QByteArray ReadRest(TStream *Stream)
{
    QByteArray Out;
    if (!Stream)
        return Out;
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
        Stream->WriteBuffer(Bytes.constData(), Bytes.size());
}

} // namespace GraphicsDetail
