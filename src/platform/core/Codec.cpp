#include "Codec.h"

#include <array>
#include <cerrno>
#include <iconv.h>
#include <memory>
#include <vector>

// The codec is table driven. The tables are built once, on first use, from
// glibc's iconv ("CP936" for the code page itself, "GB18030" for everything the
// code page cannot hold), so the conversions themselves need no iconv state and
// are safe to run from any thread. A table entry is only taken when the bytes
// and the character convert into each other both ways; anything else stays as
// private-use byte characters and is written back byte for byte.

namespace {

constexpr char16_t ByteEscapeBase = 0xF700;   // U+F780..U+F7FF stand for bytes 0x80..0xFF
constexpr int TrailCount = 0xFF - 0x40;       // trail bytes 0x40..0xFE
constexpr int Bmp4Count = 39420;              // four-byte sequences that stand for BMP characters
constexpr qint64 SupplementaryBase = 189000;  // linear index of U+10000 (0x90 0x30 0x81 0x30)

// Encoded form of a BMP character: kind in the top byte, value below.
enum : quint32 { EncNone = 0, EncSingle = 1u << 24, EncDouble = 2u << 24, EncFour = 4u << 24 };
// Marks a two-byte code that only GB18030 gives the character (not code page 936).
constexpr quint32 EncNotCp936 = 1u << 23;

// A two-byte code that stands for a character beyond the BMP holds, in the
// table of two-byte codes, SupplementaryMark + its index in Tables::Supplementary
// (the surrogate range: no code stands for a surrogate of its own).
constexpr char16_t SupplementaryMark = 0xD800;

struct Tables {
    std::vector<char16_t> Double;  // (lead - 0x81) * TrailCount + (trail - 0x40) -> character, 0 when none
    std::vector<char32_t> Supplementary;   // characters of the two-byte codes so marked
    std::vector<char16_t> Four;    // linear index -> BMP character, 0 when none
    std::vector<quint32> Enc;      // BMP character -> encoded form
    bool EuroAt80 = false;
};

class Converter {
public:
    Converter(const char *To, const char *From) : FCd(iconv_open(To, From)) {}
    ~Converter()
    {
        if (Ok())
            iconv_close(FCd);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;
    bool Ok() const { return FCd != reinterpret_cast<iconv_t>(-1); }

    // Converts In completely; false when iconv rejects any of it.
    bool Run(const char *In, size_t InLen, char *Out, size_t OutCap, size_t &OutLen)
    {
        iconv(FCd, nullptr, nullptr, nullptr, nullptr);
        char *Src = const_cast<char *>(In);
        char *Dst = Out;
        size_t Left = InLen, Room = OutCap;
        if (iconv(FCd, &Src, &Left, &Dst, &Room) == size_t(-1) || Left != 0)
            return false;
        if (iconv(FCd, nullptr, nullptr, &Dst, &Room) == size_t(-1))
            return false;
        OutLen = OutCap - Room;
        return true;
    }

private:
    iconv_t FCd;
};

bool IsEscape(char16_t C) { return C >= ByteEscapeBase + 0x80 && C <= ByteEscapeBase + 0xFF; }

// Decodes Bytes to a single character with one of the converters; 0 when it is not exactly one.
char32_t DecodeOne(Converter &C, const char *Bytes, size_t Len)
{
    char16_t Out[4];
    size_t OutLen = 0;
    if (!C.Run(Bytes, Len, reinterpret_cast<char *>(Out), sizeof Out, OutLen))
        return 0;
    if (OutLen == 2)
        return Out[0];
    if (OutLen == 4 && QChar::isHighSurrogate(Out[0]) && QChar::isLowSurrogate(Out[1]))
        return QChar::surrogateToUcs4(Out[0], Out[1]);
    return 0;
}

size_t EncodeOne(Converter &C, char16_t Ch, unsigned char *Out)
{
    size_t OutLen = 0;
    if (!C.Run(reinterpret_cast<const char *>(&Ch), 2, reinterpret_cast<char *>(Out), 8, OutLen))
        return 0;
    return OutLen;
}

qint64 FourLinear(const unsigned char *B)
{
    return ((qint64(B[0] - 0x81) * 10 + (B[1] - 0x30)) * 126 + (B[2] - 0x81)) * 10 + (B[3] - 0x30);
}

void FourFromLinear(qint64 L, unsigned char *Out)
{
    Out[3] = static_cast<unsigned char>(0x30 + L % 10);
    L /= 10;
    Out[2] = static_cast<unsigned char>(0x81 + L % 126);
    L /= 126;
    Out[1] = static_cast<unsigned char>(0x30 + L % 10);
    L /= 10;
    Out[0] = static_cast<unsigned char>(0x81 + L);
}

std::unique_ptr<Tables> BuildTables()
{
    auto T = std::make_unique<Tables>();
    T->Double.assign(size_t(126 * TrailCount), 0);
    T->Four.assign(Bmp4Count, 0);
    T->Enc.assign(0x10000, EncNone);

    Converter Cp936Dec("UTF-16LE", "CP936"), Cp936Enc("CP936", "UTF-16LE");
    Converter GbDec("UTF-16LE", "GB18030"), GbEnc("GB18030", "UTF-16LE");
    unsigned char Buf[8];

    if (Cp936Dec.Ok() && Cp936Enc.Ok()) {
        const char Euro = char(0x80);
        if (DecodeOne(Cp936Dec, &Euro, 1) == 0x20AC) {
            T->EuroAt80 = true;
            T->Enc[0x20AC] = EncSingle | 0x80;
        }
        for (int Lead = 0x81; Lead <= 0xFE; ++Lead)
            for (int Trail = 0x40; Trail <= 0xFE; ++Trail) {
                if (Trail == 0x7F)
                    continue;
                const char In[2] = {char(Lead), char(Trail)};
                const char32_t Wide = DecodeOne(Cp936Dec, In, 2);
                if (Wide > 0xFFFF)
                    continue;
                const char16_t Ch = char16_t(Wide);
                if (Ch < 0x80 || IsEscape(Ch) || (Ch >= 0xD800 && Ch <= 0xDFFF) || T->Enc[Ch] != EncNone)
                    continue;
                if (EncodeOne(Cp936Enc, Ch, Buf) != 2 || Buf[0] != Lead || Buf[1] != Trail)
                    continue;
                T->Double[size_t((Lead - 0x81) * TrailCount + (Trail - 0x40))] = Ch;
                T->Enc[Ch] = EncDouble | quint32(Lead << 8 | Trail);
            }
    }
    if (GbDec.Ok() && GbEnc.Ok()) {
        // Two-byte codes outside the code page (user-defined areas and the
        // like) read as GB18030 reads them. A character that already has a
        // code of the code page keeps that code for writing: A2 E3, GB18030's
        // euro sign, reads as the euro sign, which is written as 0x80.
        for (int Lead = 0x81; Lead <= 0xFE; ++Lead)
            for (int Trail = 0x40; Trail <= 0xFE; ++Trail) {
                const size_t Idx = size_t((Lead - 0x81) * TrailCount + (Trail - 0x40));
                if (Trail == 0x7F || T->Double[Idx] != 0)
                    continue;
                const char In[2] = {char(Lead), char(Trail)};
                const char32_t Wide = DecodeOne(GbDec, In, 2);
                if (Wide > 0xFFFF) {
                    // Written back as its four-byte sequence, as every character beyond the BMP.
                    if (T->Supplementary.size() < 0x400) {
                        T->Double[Idx] = char16_t(SupplementaryMark + T->Supplementary.size());
                        T->Supplementary.push_back(Wide);
                    }
                    continue;
                }
                const char16_t Ch = char16_t(Wide);
                if (Ch < 0x80 || IsEscape(Ch) || (Ch >= 0xD800 && Ch <= 0xDFFF))
                    continue;
                T->Double[Idx] = Ch;
                if (T->Enc[Ch] == EncNone && EncodeOne(GbEnc, Ch, Buf) == 2 && Buf[0] == Lead && Buf[1] == Trail)
                    T->Enc[Ch] = EncDouble | EncNotCp936 | quint32(Lead << 8 | Trail);
            }
        // Four-byte codes for the rest of the BMP.
        for (quint32 Ch = 0x80; Ch <= 0xFFFF; ++Ch) {
            if (T->Enc[Ch] != EncNone || IsEscape(char16_t(Ch)) || (Ch >= 0xD800 && Ch <= 0xDFFF))
                continue;
            if (EncodeOne(GbEnc, char16_t(Ch), Buf) != 4)
                continue;
            const qint64 L = FourLinear(Buf);
            if (L < 0 || L >= Bmp4Count || T->Four[size_t(L)] != 0)
                continue;
            if (DecodeOne(GbDec, reinterpret_cast<const char *>(Buf), 4) != char32_t(Ch))
                continue;
            T->Four[size_t(L)] = char16_t(Ch);
            T->Enc[Ch] = EncFour | quint32(L);
        }
    }
    return T;
}

const Tables &Get()
{
    static const std::unique_ptr<Tables> T = BuildTables();
    return *T;
}

inline void PutEscape(QString &Out, unsigned char B)
{
    Out.append(QChar(char16_t(ByteEscapeBase + B)));
}

// True when Decode takes the byte at P together with the bytes after it as one
// character (the byte is a lead byte with a valid partner).
bool JoinsNext(const Tables &T, const QByteArray &Bytes, qsizetype P)
{
    const auto *B = reinterpret_cast<const unsigned char *>(Bytes.constData());
    const qsizetype Size = Bytes.size();
    if (B[P] < 0x81 || B[P] > 0xFE || P + 1 >= Size)
        return false;
    const unsigned char C2 = B[P + 1];
    if (C2 >= 0x30 && C2 <= 0x39) {
        if (P + 3 >= Size || B[P + 2] < 0x81 || B[P + 2] > 0xFE || B[P + 3] < 0x30 || B[P + 3] > 0x39)
            return false;
        const qint64 L = FourLinear(B + P);
        return (L < Bmp4Count && T.Four[size_t(L)] != 0) || (L >= SupplementaryBase && L < SupplementaryBase + 0x100000);
    }
    return C2 >= 0x40 && C2 != 0x7F && C2 != 0xFF && T.Double[size_t((B[P] - 0x81) * TrailCount + (C2 - 0x40))] != 0;
}

} // namespace

namespace Cp936 {

QString Decode(const char *Data, qsizetype Size)
{
    QString Out;
    if (Size <= 0 || !Data)
        return Out;
    const auto *B = reinterpret_cast<const unsigned char *>(Data);
    qsizetype I = 0;
    while (I < Size && B[I] < 0x80)
        ++I;
    if (I == Size)
        return QString::fromLatin1(Data, Size);
    Out.reserve(Size);
    Out.append(QLatin1StringView(Data, I));
    const Tables &T = Get();
    while (I < Size) {
        const unsigned char C = B[I];
        if (C < 0x80) {
            Out.append(QChar(char16_t(C)));
            ++I;
            continue;
        }
        if (C == 0x80) {
            if (T.EuroAt80)
                Out.append(QChar(char16_t(0x20AC)));
            else
                PutEscape(Out, C);
            ++I;
            continue;
        }
        if (C == 0xFF || I + 1 >= Size) {
            PutEscape(Out, C);
            ++I;
            continue;
        }
        const unsigned char C2 = B[I + 1];
        if (C2 >= 0x30 && C2 <= 0x39) {
            if (I + 3 < Size && B[I + 2] >= 0x81 && B[I + 2] <= 0xFE && B[I + 3] >= 0x30 && B[I + 3] <= 0x39) {
                const qint64 L = FourLinear(B + I);
                if (L < Bmp4Count && T.Four[size_t(L)] != 0) {
                    Out.append(QChar(T.Four[size_t(L)]));
                    I += 4;
                    continue;
                }
                if (L >= SupplementaryBase && L < SupplementaryBase + 0x100000) {
                    const char32_t Cp = char32_t(L - SupplementaryBase + 0x10000);
                    Out.append(QChar(QChar::highSurrogate(Cp)));
                    Out.append(QChar(QChar::lowSurrogate(Cp)));
                    I += 4;
                    continue;
                }
            }
            PutEscape(Out, C);
            ++I;
            continue;
        }
        if (C2 >= 0x40 && C2 != 0x7F && C2 != 0xFF) {
            const char16_t Ch = T.Double[size_t((C - 0x81) * TrailCount + (C2 - 0x40))];
            if (Ch >= SupplementaryMark && Ch < SupplementaryMark + 0x400) {
                const char32_t Cp = T.Supplementary[size_t(Ch - SupplementaryMark)];
                Out.append(QChar(QChar::highSurrogate(Cp)));
                Out.append(QChar(QChar::lowSurrogate(Cp)));
                I += 2;
                continue;
            }
            if (Ch != 0) {
                Out.append(QChar(Ch));
                I += 2;
                continue;
            }
        }
        // A lead byte without a valid partner: keep the byte, go on with the next.
        PutEscape(Out, C);
        ++I;
    }
    return Out;
}

QString Decode(const QByteArray &Bytes)
{
    return Decode(Bytes.constData(), Bytes.size());
}

QByteArray Encode(const QString &Text)
{
    const qsizetype N = Text.size();
    const char16_t *U = reinterpret_cast<const char16_t *>(Text.utf16());
    QByteArray Out;
    qsizetype I = 0;
    while (I < N && U[I] < 0x80)
        ++I;
    if (I == N)
        return Text.toLatin1();
    Out.reserve(N * 2);
    for (qsizetype J = 0; J < I; ++J)
        Out.append(char(U[J]));
    const Tables &T = Get();
    unsigned char Four[4];
    std::vector<qsizetype> Escapes;   // where damaged bytes were written back
    for (; I < N; ++I) {
        const char16_t C = U[I];
        if (C < 0x80) {
            Out.append(char(C));
            continue;
        }
        if (IsEscape(C)) {
            Escapes.push_back(Out.size());
            Out.append(char(C - ByteEscapeBase));
            continue;
        }
        if (QChar::isHighSurrogate(C) && I + 1 < N && QChar::isLowSurrogate(U[I + 1])) {
            const char32_t Cp = QChar::surrogateToUcs4(C, U[I + 1]);
            FourFromLinear(qint64(Cp - 0x10000) + SupplementaryBase, Four);
            Out.append(reinterpret_cast<const char *>(Four), 4);
            ++I;
            continue;
        }
        const quint32 E = T.Enc[C];
        switch (E & 0xFF000000u) {
        case EncSingle:
            Out.append(char(E & 0xFF));
            break;
        case EncDouble:
            Out.append(char((E >> 8) & 0xFF));
            Out.append(char(E & 0xFF));
            break;
        case EncFour:
            FourFromLinear(qint64(E & 0xFFFFFF), Four);
            Out.append(reinterpret_cast<const char *>(Four), 4);
            break;
        default:
            // A lone surrogate, or one of the few private use characters whose
            // old GB18030 code now stands for another character: no code left.
            Out.append('?');
            break;
        }
    }
    // A damaged byte stands alone where it was read. Text put after it (an
    // edit, two lines joined) may give it a partner, which would turn the byte
    // and that text into another character: it is written as "?" instead, so
    // the text after it reads back as it is. From the end, so that each byte
    // is judged by the bytes that are finally written after it.
    for (auto It = Escapes.rbegin(); It != Escapes.rend(); ++It)
        if (JoinsNext(T, Out, *It))
            Out[*It] = '?';
    return Out;
}

namespace {

void AppendReference(QByteArray &Out, char32_t Cp)
{
    Out.append("&#");
    Out.append(QByteArray::number(quint32(Cp)));
    Out.append(';');
}

QByteArray EncodeWithReferences(const QString &Text, bool AsciiOnly)
{
    const qsizetype N = Text.size();
    const char16_t *U = reinterpret_cast<const char16_t *>(Text.utf16());
    qsizetype I = 0;
    while (I < N && U[I] < 0x80)
        ++I;
    if (I == N)
        return Text.toLatin1();
    QByteArray Out;
    Out.reserve(N * 2);
    for (qsizetype J = 0; J < I; ++J)
        Out.append(char(U[J]));
    const Tables *T = AsciiOnly ? nullptr : &Get();
    std::vector<qsizetype> Escapes;   // where damaged bytes were written back
    for (; I < N; ++I) {
        const char16_t C = U[I];
        if (C < 0x80) {
            Out.append(char(C));
            continue;
        }
        if (IsEscape(C)) {
            Escapes.push_back(Out.size());
            Out.append(char(C - ByteEscapeBase));
            continue;
        }
        if (QChar::isHighSurrogate(C) && I + 1 < N && QChar::isLowSurrogate(U[I + 1])) {
            AppendReference(Out, QChar::surrogateToUcs4(C, U[I + 1]));
            ++I;
            continue;
        }
        if (QChar::isSurrogate(C)) {
            Out.append('?');   // half a character: nothing to refer to
            continue;
        }
        const quint32 E = T ? T->Enc[C] : EncNone;
        if ((E & 0xFF000000u) == EncSingle) {
            Out.append(char(E & 0xFF));
        } else if ((E & 0xFF000000u) == EncDouble && !(E & EncNotCp936)) {
            Out.append(char((E >> 8) & 0xFF));
            Out.append(char(E & 0xFF));
        } else {
            AppendReference(Out, C);
        }
    }
    // As in plain text: a damaged byte that the text after it would join into
    // another character in a code page 936 page is written as "?".
    if (T)
        for (auto It = Escapes.rbegin(); It != Escapes.rend(); ++It)
            if (JoinsNext(*T, Out, *It))
                Out[*It] = '?';
    return Out;
}

} // namespace

QByteArray EncodeHtml(const QString &Text)
{
    return EncodeWithReferences(Text, false);
}

QByteArray EncodeHtmlAscii(const QString &Text)
{
    return EncodeWithReferences(Text, true);
}

bool CanEncode(const QString &Text)
{
    const Tables *T = nullptr;
    for (QChar Q : Text) {
        const char16_t C = Q.unicode();
        if (C < 0x80 || IsEscape(C))
            continue;
        if (!T)
            T = &Get();
        const quint32 E = T->Enc[C];
        // Two-byte codes are fine (the user-defined areas read as private use
        // characters on every reader); four-byte sequences are not.
        if (E == EncNone || (E & 0xFF000000u) == EncFour)
            return false;
    }
    return true;
}

qsizetype EncodedLength(const QString &Text)
{
    qsizetype Len = 0;
    const Tables *T = nullptr;
    const qsizetype N = Text.size();
    for (qsizetype I = 0; I < N; ++I) {
        const char16_t C = Text.at(I).unicode();
        if (C < 0x80 || IsEscape(C)) {
            ++Len;
            continue;
        }
        if (QChar::isHighSurrogate(C) && I + 1 < N && Text.at(I + 1).isLowSurrogate()) {
            Len += 4;
            ++I;
            continue;
        }
        if (!T)
            T = &Get();
        const quint32 E = T->Enc[C];
        Len += (E == EncNone) ? 1 : qsizetype(E >> 24);
    }
    return Len;
}

} // namespace Cp936

namespace Utf8 {

bool TValidator::Feed(const char *Data, qsizetype Size)
{
    const auto *B = reinterpret_cast<const unsigned char *>(Data);
    for (qsizetype I = 0; I < Size && FValid; ++I) {
        const unsigned char C = B[I];
        if (FPending > 0) {
            if (C < FLow || C > FHigh) {
                FValid = false;
                break;
            }
            --FPending;
            FLow = 0x80;
            FHigh = 0xBF;
            continue;
        }
        if (C < 0x80)
            continue;
        FNonAscii = true;
        // The first continuation byte's range rules out overlong forms,
        // surrogates and values past U+10FFFF.
        if (C >= 0xC2 && C <= 0xDF) {
            FPending = 1;
        } else if (C >= 0xE0 && C <= 0xEF) {
            FPending = 2;
            if (C == 0xE0)
                FLow = 0xA0;
            else if (C == 0xED)
                FHigh = 0x9F;
        } else if (C >= 0xF0 && C <= 0xF4) {
            FPending = 3;
            if (C == 0xF0)
                FLow = 0x90;
            else if (C == 0xF4)
                FHigh = 0x8F;
        } else {
            FValid = false;
        }
    }
    return FValid;
}

} // namespace Utf8
