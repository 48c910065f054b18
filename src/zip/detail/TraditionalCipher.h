#pragma once
// The traditional PKWARE cipher of the zip format: three 32-bit keys set up
// from the password and moved on with every plain byte through the CRC-32
// table. Internal to the zip library.
//
// It is weak by today's measures; the library offers it because archives
// made with it must still be read, and because readers everywhere accept it.

#include <QByteArray>
#include <cstdint>

namespace ZipDetail {

class TraditionalCipher {
public:
    // Sets the keys up from the password's bytes.
    explicit TraditionalCipher(const QByteArray &Password);

    void Decrypt(unsigned char *Data, qint64 Count);
    void Encrypt(unsigned char *Data, qint64 Count);

    // The 12-byte header in front of a member's data.
    static constexpr int HeaderSize = 12;
    // A header before encryption: 10 random bytes from the system, then the
    // two high bytes of Check (the member's CRC-32).
    static QByteArray PlainHeader(quint32 Check);
    // The same, encrypted with these keys.
    QByteArray MakeHeader(quint32 Check);

private:
    unsigned char KeyStream() const;
    void Update(unsigned char Plain);
    quint32 FKeys[3];
};

} // namespace ZipDetail
