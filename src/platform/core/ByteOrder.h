#pragma once
// Little-endian fields of the binary formats we read and write (archives,
// bitmaps, GIF files), taken from and stored into byte buffers whatever the
// machine's own byte order.

#include <QtGlobal>

inline quint16 GetLE16(const uchar *P)
{
    return quint16(P[0] | (P[1] << 8));
}

inline quint32 GetLE32(const uchar *P)
{
    return quint32(P[0]) | (quint32(P[1]) << 8) | (quint32(P[2]) << 16) | (quint32(P[3]) << 24);
}

inline quint64 GetLE64(const uchar *P)
{
    return quint64(GetLE32(P)) | (quint64(GetLE32(P + 4)) << 32);
}

inline void PutLE16(uchar *P, quint16 V)
{
    P[0] = uchar(V);
    P[1] = uchar(V >> 8);
}

inline void PutLE32(uchar *P, quint32 V)
{
    PutLE16(P, quint16(V));
    PutLE16(P + 2, quint16(V >> 16));
}

inline void PutLE64(uchar *P, quint64 V)
{
    PutLE32(P, quint32(V));
    PutLE32(P + 4, quint32(V >> 32));
}
