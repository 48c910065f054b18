#pragma once
// Record helpers of the zip library (the little-endian fields come from the
// platform's ByteOrder.h). Internal to the zip library.

#include "platform/core/ByteOrder.h"
#include "platform/core/Classes.h"
#include "zip/ZipObj.h"

#include <cstdint>
#include <cstring>

namespace ZipDetail {

// Collects a record's fields and writes them in one call; a short write means
// the medium is full.
class RecordWriter {
public:
    void U16(quint16 V) { Put(&V, 2, [&](unsigned char *P) { PutLE16(P, V); }); }
    void U32(quint32 V) { Put(&V, 4, [&](unsigned char *P) { PutLE32(P, V); }); }
    void U64(quint64 V) { Put(&V, 8, [&](unsigned char *P) { PutLE64(P, V); }); }
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
