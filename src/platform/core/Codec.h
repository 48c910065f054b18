#pragma once
// Code page 936 text, the encoding of every text file the program reads or writes.
//
// Encoding never loses a character: a character that code page 936 cannot hold
// is written as its 4-byte GB18030 sequence, and decoding reads such sequences
// back. Every code page 936 byte sequence decodes and re-encodes unchanged
// (0x80 is the euro sign). The two-byte codes the code page lacks read as
// GB18030 reads them; one that stands for a character the code page has a code
// for (A2 E3, the euro sign) is written back with the code page's code (0x80).
// A byte that forms no character decodes to a private use character
// U+F780 + byte (U+F700 range), which encodes back to the same byte, so damaged
// input is kept rather than silently dropped (a four-byte GB18030 code of one
// of those private use characters is kept as its four bytes the same way).
// Only where text put after such a byte would join it into a character is it
// written as "?", so that the text after it reads back unchanged.

#include <QByteArray>
#include <QString>

namespace Cp936 {

QString Decode(const QByteArray &Bytes);
QString Decode(const char *Data, qsizetype Size);
QByteArray Encode(const QString &Text);

// True when Text can be written in code page 936 without four-byte GB18030 sequences.
bool CanEncode(const QString &Text);

// Bytes taken by Text once encoded.
qsizetype EncodedLength(const QString &Text);

// Text of a web page labelled "gb2312": code page 936 bytes, and every
// character the code page cannot hold (those Encode writes as GB18030 only) as
// a numeric character reference ("&#128512;"), which every reader shows as
// that character. Byte characters of damaged input go out as their bytes.
QByteArray EncodeHtml(const QString &Text);
// The same for a page labelled with a single-byte character set
// ("iso-8859-1"): ASCII bytes, every other character as a reference.
QByteArray EncodeHtmlAscii(const QString &Text);

} // namespace Cp936

namespace Utf8 {

// Tells whether bytes are strict UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF), read piece by piece: a character may be split
// between two pieces.
class TValidator {
public:
    // Takes the next piece; false once the bytes so far cannot be UTF-8.
    bool Feed(const char *Data, qsizetype Size);
    // Every byte taken is UTF-8 and no character is left unfinished.
    bool Complete() const { return FValid && FPending == 0; }
    // A byte taken was not ASCII.
    bool NonAscii() const { return FNonAscii; }

private:
    bool FValid = true;
    bool FNonAscii = false;
    int FPending = 0;                          // continuation bytes still to come
    unsigned char FLow = 0x80, FHigh = 0xBF;   // range of the next continuation byte
};

} // namespace Utf8
