#include "TraditionalCipher.h"

#include <random>
#include <zlib.h>

namespace ZipDetail {

namespace {

inline quint32 CrcStep(quint32 Crc, unsigned char Byte)
{
    static const z_crc_t *Table = get_crc_table();
    return Table[(Crc ^ Byte) & 0xFF] ^ (Crc >> 8);
}

} // namespace

TraditionalCipher::TraditionalCipher(const QByteArray &Password)
    : FKeys{0x12345678u, 0x23456789u, 0x34567890u}
{
    for (char C : Password)
        Update(static_cast<unsigned char>(C));
}

unsigned char TraditionalCipher::KeyStream() const
{
    const quint32 Temp = (FKeys[2] | 2u) & 0xFFFFu;
    return static_cast<unsigned char>(((Temp * (Temp ^ 1u)) >> 8) & 0xFFu);
}

void TraditionalCipher::Update(unsigned char Plain)
{
    FKeys[0] = CrcStep(FKeys[0], Plain);
    FKeys[1] = (FKeys[1] + (FKeys[0] & 0xFFu)) * 134775813u + 1u;
    FKeys[2] = CrcStep(FKeys[2], static_cast<unsigned char>(FKeys[1] >> 24));
}

void TraditionalCipher::Decrypt(unsigned char *Data, qint64 Count)
{
    for (qint64 I = 0; I < Count; ++I) {
        const unsigned char Plain = Data[I] ^ KeyStream();
        Update(Plain);
        Data[I] = Plain;
    }
}

void TraditionalCipher::Encrypt(unsigned char *Data, qint64 Count)
{
    for (qint64 I = 0; I < Count; ++I) {
        const unsigned char Plain = Data[I];
        Data[I] = Plain ^ KeyStream();
        Update(Plain);
    }
}

QByteArray TraditionalCipher::PlainHeader(quint32 Check)
{
    QByteArray H(HeaderSize, '\0');
    std::random_device Random;
    for (int I = 0; I < HeaderSize - 2; ++I)
        H[I] = char(Random() & 0xFF);
    H[HeaderSize - 2] = char((Check >> 16) & 0xFF);
    H[HeaderSize - 1] = char((Check >> 24) & 0xFF);
    return H;
}

QByteArray TraditionalCipher::MakeHeader(quint32 Check)
{
    QByteArray H = PlainHeader(Check);
    Encrypt(reinterpret_cast<unsigned char *>(H.data()), HeaderSize);
    return H;
}

} // namespace ZipDetail
