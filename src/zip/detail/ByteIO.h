#pragma once
// Little-endian field helpers of the zip records. Internal to the zip library.

#include "platform/core/Classes.h"
#include "zip/ZipObj.h"

#include <cstdint>
#include <cstring>

namespace ZipDetail {

inline quint16 GetU16(const unsigned char *P) { return quint16(P[0] | (P[1] << 8)); }
inline quint32 GetU32(const unsigned char *P)
{
    return quint32(P[0]) | (quint32(P[1]) << 8) | (quint32(P[2]) << 16) | (quint32(P[3]) << 24);
}
inline quint64 GetU64(const unsigned char *P) { return quint64(GetU32(P)) | (quint64(GetU32(P + 4)) << 32); }

inline void PutU16(unsigned char *P, quint16 V)
{
    P[0] = uchar(V);
    P[1] = uchar(V >> 8);
}
inline void PutU32(unsigned char *P, quint32 V)
{
    PutU16(P, quint16(V));
    PutU16(P + 2, quint16(V >> 16));
}
inline void PutU64(unsigned char *P, quint64 V)
{
    PutU32(P, quint32(V));
    PutU32(P + 4, quint32(V >> 32));
}

// Collects a record's fields and writes them in one call; a short write means
// the medium is full.
class RecordWriter {
public:
    void U16(quint16 V) { Put(&V, 2, [&](unsigned char *P) { PutU16(P, V); }); }
    void U32(quint32 V) { Put(&V, 4, [&](unsigned char *P) { PutU32(P, V); }); }
    void U64(quint64 V) { Put(&V, 8, [&](unsigned char *P) { PutU64(P, V); }); }
    void Bytes(const QByteArray &B) { FData.append(B); }
    void Bytes(const char *P, qsizetype N) { FData.append(P, N); }
    const QByteArray &Data() const { return FData; }
    void WriteTo(TStream *Stream) const
    {
        if (Stream->Write(FData.constData(), FData.size()) != FData.size())
            throw ENotEnoughRoom(ZipResourceString(204));
    }

private:
    template <typename F>
    void Put(const void *, int N, F Store)
    {
        const qsizetype At = FData.size();
        FData.resize(At + N);
        Store(reinterpret_cast<unsigned char *>(FData.data()) + At);
    }
    QByteArray FData;
};

// Restores a value when a scope ends, also on an exception.
template <typename T>
class Restore {
public:
    Restore(T &Ref, T NewValue) : FRef(Ref), FOld(Ref) { FRef = NewValue; }
    ~Restore() { FRef = FOld; }
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

private:
    T &FRef;
    T FOld;
};

} // namespace ZipDetail
