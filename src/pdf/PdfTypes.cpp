#include "pdf/PdfTypes.h"

#include "platform/core/Codec.h"

#include "pdf/detail/PdfFormat.h"
#include "pdf/detail/PdfScratch.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// A decimal number as its significant digits and the place of the decimal
// point: the value is 0.<digits> x 10^PointPos, so PointPos counts the
// digits before the point (negative or zero for values below 0.1).
struct DecimalDigits {
    bool Negative = false;
    char Digits[24];   // at most 17 significant digits, and one carried by rounding
    int Count = 0;
    int PointPos = 0;
};

void CheckFinite(double Value, const char *Operation)
{
    if (!std::isfinite(Value))
        throw EPdfInvalidValue(QString::fromLatin1(Operation) + QStringLiteral(" --invalid number."));
}

// Significant digits of Value; Precision 0 asks for the shortest form that reads back exactly.
void ToDigits(double Value, int Precision, DecimalDigits &D)
{
    char Buffer[64];
    std::to_chars_result R = Precision > 0
        ? std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific, Precision - 1)
        : std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific);
    const char *P = Buffer;
    const char *End = R.ptr;
    D.Negative = P < End && *P == '-';
    if (D.Negative)
        ++P;
    D.Count = 0;
    for (; P < End && *P != 'e'; ++P)
        if (*P >= '0' && *P <= '9' && D.Count < int(sizeof D.Digits) - 1)
            D.Digits[D.Count++] = *P;
    int Exponent = 0;
    if (P < End) {
        ++P;
        const bool NegativeExponent = P < End && *P == '-';
        if (P < End && (*P == '-' || *P == '+'))
            ++P;
        for (; P < End; ++P)
            Exponent = Exponent * 10 + (*P - '0');
        if (NegativeExponent)
            Exponent = -Exponent;
    }
    D.PointPos = Exponent + 1;
}

// Rounds half away from zero to Decimals places after the point.
void RoundDigits(DecimalDigits &D, int Decimals)
{
    const int Keep = D.PointPos + Decimals;
    if (Keep >= D.Count)
        return;
    if (Keep < 0) {
        D.Count = 0;
        return;
    }
    const bool Up = D.Digits[Keep] >= '5';
    D.Count = Keep;
    if (!Up)
        return;
    int I = Keep - 1;
    while (I >= 0 && D.Digits[I] == '9') {
        D.Digits[I] = '0';
        --I;
    }
    if (I >= 0) {
        ++D.Digits[I];
    } else {
        std::memmove(D.Digits + 1, D.Digits, size_t(D.Count));
        D.Digits[0] = '1';
        ++D.Count;
        ++D.PointPos;
    }
}

char *Fill(char *Out, char C, int Count)
{
    for (int I = 0; I < Count; ++I)
        *Out++ = C;
    return Out;
}

char *PlainDecimal(const DecimalDigits &D, char *Out)
{
    int First = 0;
    int Last = D.Count;
    while (Last > First && D.Digits[Last - 1] == '0')
        --Last;
    int PointPos = D.PointPos;
    while (First < Last && D.Digits[First] == '0') {
        ++First;
        --PointPos;
    }
    if (First == Last) {
        *Out++ = '0';
        return Out;
    }
    const char *Digits = D.Digits + First;
    const int Len = Last - First;
    if (D.Negative)
        *Out++ = '-';
    if (PointPos <= 0) {
        *Out++ = '0';
        *Out++ = '.';
        Out = Fill(Out, '0', -PointPos);
        std::memcpy(Out, Digits, size_t(Len));
        Out += Len;
    } else if (PointPos >= Len) {
        std::memcpy(Out, Digits, size_t(Len));
        Out = Fill(Out + Len, '0', PointPos - Len);
    } else {
        std::memcpy(Out, Digits, size_t(PointPos));
        Out += PointPos;
        *Out++ = '.';
        std::memcpy(Out, Digits + PointPos, size_t(Len - PointPos));
        Out += Len - PointPos;
    }
    return Out;
}

// A whole number whose every digit is exact in a double (and so in its shortest form).
bool IsSmallWhole(double Value, double Limit)
{
    return Value > -Limit && Value < Limit && Value == std::trunc(Value);
}

const char HexDigits[] = "0123456789ABCDEF";

// The bytes a name writes as themselves: printable ASCII except the delimiters and '#'.
struct NameBytes {
    bool Plain[256] = {};
    constexpr NameBytes()
    {
        for (int B = 33; B <= 126; ++B)
            Plain[B] = true;
        for (const char *D = "#%()/<>[]{}"; *D; ++D)
            Plain[static_cast<unsigned char>(*D)] = false;
    }
};
constexpr NameBytes PlainNameBytes;

QByteArray ToByteArray(const char *Begin, const char *End)
{
    return QByteArray(Begin, qsizetype(End - Begin));
}

} // namespace

// ---------------------------------------------------------------- formatting

namespace PdfDetail {

char *FormatIntTo(char *Out, long long Value)
{
    return std::to_chars(Out, Out + 24, Value).ptr;
}

char *FormatNumberTo(char *Out, double Value)
{
    // Whole numbers, the common case, need no rounding and no digit analysis.
    if (IsSmallWhole(Value, 9007199254740992.0))
        return FormatIntTo(Out, static_cast<long long>(Value));
    // Round the shortest exact decimal form, not the binary product Value x 100,
    // so 1.005 becomes 1.01 and -1.236 becomes -1.24.
    DecimalDigits D;
    ToDigits(Value, 0, D);
    RoundDigits(D, 2);
    return PlainDecimal(D, Out);
}

char *FormatRealTo(char *Out, double Value)
{
    // Fifteen significant digits hold every whole number below 10^15 exactly.
    if (IsSmallWhole(Value, 1e15))
        return FormatIntTo(Out, static_cast<long long>(Value));
    DecimalDigits D;
    ToDigits(Value, 15, D);
    return PlainDecimal(D, Out);
}

char *EscapeNameTo(char *Out, const char *Name, size_t Size)
{
    *Out++ = '/';
    for (size_t I = 0; I < Size; ++I) {
        const unsigned char B = static_cast<unsigned char>(Name[I]);
        if (PlainNameBytes.Plain[B]) {
            *Out++ = char(B);
        } else {
            *Out++ = '#';
            *Out++ = HexDigits[B >> 4];
            *Out++ = HexDigits[B & 15];
        }
    }
    return Out;
}

void WriteName(TStream *AStream, const QByteArray &Name, const char *Suffix, size_t SuffixSize)
{
    char Buffer[256];
    const size_t Size = size_t(Name.size());
    if (EscapedNameRoom(Size) + SuffixSize <= sizeof Buffer) {
        char *End = EscapeNameTo(Buffer, Name.constData(), Size);
        if (SuffixSize > 0) {
            std::memcpy(End, Suffix, SuffixSize);
            End += SuffixSize;
        }
        WriteSpan(AStream, Buffer, End);
        return;
    }
    WriteText(EscapeName(Name), AStream);
    if (SuffixSize > 0)
        AStream->WriteBuffer(Suffix, qint64(SuffixSize));
}

void LineBuilder::Append(const char *Data, size_t Size)
{
    if (!FOnHeap && FSize + Size <= sizeof FBuffer) {
        std::memcpy(FBuffer + FSize, Data, Size);
        FSize += Size;
        return;
    }
    if (!FOnHeap) {
        FHeap.reserve(qsizetype(FSize + Size) * 2);
        FHeap.append(FBuffer, qsizetype(FSize));
        FOnHeap = true;
    }
    FHeap.append(Data, qsizetype(Size));
}

void LineBuilder::Number(double Value)
{
    CheckFinite(Value, "FormatPdfNumber");
    char Text[MaxNumberText];
    Append(Text, size_t(FormatNumberTo(Text, Value) - Text));
}

void LineBuilder::Name(const QByteArray &Value)
{
    const size_t Size = size_t(Value.size());
    if (EscapedNameRoom(Size) <= 256) {
        char Text[256];
        Append(Text, size_t(EscapeNameTo(Text, Value.constData(), Size) - Text));
    } else {
        const QByteArray Text = EscapeName(Value);
        Append(Text.constData(), size_t(Text.size()));
    }
}

} // namespace PdfDetail

using namespace PdfDetail;

// ---------------------------------------------------------------- routines

void WriteText(const QByteArray &Text, TStream *AStream)
{
    if (!Text.isEmpty())
        AStream->WriteBuffer(Text.constData(), Text.size());
}

void WriteText(const char *Text, TStream *AStream)
{
    AStream->WriteBuffer(Text, qint64(std::char_traits<char>::length(Text)));
}

QByteArray PdfDate(TDateTime Value)
{
    return FormatDateTime(QStringLiteral("\"D:\"yyyymmddhhnnss"), Value).toLatin1();
}

QByteArray FormatPdfNumber(double Value)
{
    CheckFinite(Value, "FormatPdfNumber");
    char Text[MaxNumberText];
    return ToByteArray(Text, FormatNumberTo(Text, Value));
}

QByteArray FormatPdfReal(double Value)
{
    CheckFinite(Value, "FormatPdfReal");
    char Text[MaxNumberText];
    return ToByteArray(Text, FormatRealTo(Text, Value));
}

QByteArray EscapeName(const QByteArray &Value)
{
    QByteArray Result(qsizetype(EscapedNameRoom(size_t(Value.size()))), Qt::Uninitialized);
    Result.truncate(EscapeNameTo(Result.data(), Value.constData(), size_t(Value.size())) - Result.constData());
    return Result;
}

namespace {

// PDFDocEncoding's byte for a character, or -1 when the encoding has none.
// Below 0x18 and from 0x20 to 0x7E it is the character's own code, from 0xA1 to
// 0xFF Latin-1 except the soft hyphen; the rest holds the typographic marks.
int PdfDocByte(char16_t U)
{
    if (U < 0x18 || (U >= 0x20 && U < 0x7F) || (U >= 0xA1 && U <= 0xFF && U != 0xAD))
        return U;
    static constexpr struct { char16_t Char; unsigned char Byte; } Marks[] = {
        {0x02D8, 0x18}, {0x02C7, 0x19}, {0x02C6, 0x1A}, {0x02D9, 0x1B}, {0x02DD, 0x1C}, {0x02DB, 0x1D},
        {0x02DA, 0x1E}, {0x02DC, 0x1F}, {0x2022, 0x80}, {0x2020, 0x81}, {0x2021, 0x82}, {0x2026, 0x83},
        {0x2014, 0x84}, {0x2013, 0x85}, {0x0192, 0x86}, {0x2044, 0x87}, {0x2039, 0x88}, {0x203A, 0x89},
        {0x2212, 0x8A}, {0x2030, 0x8B}, {0x201E, 0x8C}, {0x201C, 0x8D}, {0x201D, 0x8E}, {0x2018, 0x8F},
        {0x2019, 0x90}, {0x201A, 0x91}, {0x2122, 0x92}, {0xFB01, 0x93}, {0xFB02, 0x94}, {0x0141, 0x95},
        {0x0152, 0x96}, {0x0160, 0x97}, {0x0178, 0x98}, {0x017D, 0x99}, {0x0131, 0x9A}, {0x0142, 0x9B},
        {0x0153, 0x9C}, {0x0161, 0x9D}, {0x017E, 0x9E}, {0x20AC, 0xA0},
    };
    for (const auto &M : Marks)
        if (M.Char == U)
            return M.Byte;
    return -1;
}

QByteArray LiteralString(const QByteArray &Bytes)
{
    QByteArray Result;
    Result.reserve(Bytes.size() + 2);
    Result += '(';
    for (char C : Bytes) {
        switch (C) {
        case '(': Result += "\\("; break;
        case ')': Result += "\\)"; break;
        case '\\': Result += "\\\\"; break;
        case '\r': Result += "\\r"; break;
        case '\n': Result += "\\n"; break;
        case '\t': Result += "\\t"; break;
        case '\b': Result += "\\b"; break;
        case '\f': Result += "\\f"; break;
        default: Result += C;
        }
    }
    Result += ')';
    return Result;
}

} // namespace

QByteArray EscapeText(const QByteArray &Value)
{
    // Readers take a text string as PDFDocEncoding unless it starts with a
    // UTF-16 byte-order mark, so the code page bytes never go out as they are:
    // 0x80 is the euro sign here but a bullet there. Plain ASCII needs no
    // decoding. Decoding is bounded by the string: a lead byte at its end forms
    // no character and never reaches past the string.
    bool Ascii = true;
    for (char C : Value) {
        const auto B = static_cast<unsigned char>(C);
        if (B >= 0x7F || (B >= 0x18 && B < 0x20)) {
            Ascii = false;
            break;
        }
    }
    if (Ascii)
        return LiteralString(Value);
    const QString Text = Cp936::Decode(Value);
    QByteArray DocBytes;
    DocBytes.reserve(Text.size());
    for (QChar Ch : Text) {
        const int B = PdfDocByte(Ch.unicode());
        if (B < 0) {
            DocBytes.clear();
            break;
        }
        DocBytes += char(B);
    }
    if (!DocBytes.isEmpty())
        return LiteralString(DocBytes);
    QByteArray Result;
    Result.reserve(Text.size() * 4 + 6);
    Result += "<FEFF";
    for (QChar Ch : Text) {
        const char16_t U = Ch.unicode();
        Result += HexDigits[(U >> 12) & 15];
        Result += HexDigits[(U >> 8) & 15];
        Result += HexDigits[(U >> 4) & 15];
        Result += HexDigits[U & 15];
    }
    Result += '>';
    return Result;
}

// ---------------------------------------------------------------- TPdfObject

void TPdfObject::SetObjectNumber(int Value)
{
    FObjectNumber = Value;
    FObjectType = Value > 0 ? otIndirectObject : otDirectObject;
}

void TPdfObject::WriteOwnText(TStream *)
{
}

namespace {

// "n g" and a suffix, as references and object headers begin.
template <size_t N>
void WriteNumberPair(TStream *AStream, int Number, int Generation, const char (&Suffix)[N])
{
    char Text[64];
    char *P = FormatIntTo(Text, Number);
    *P++ = ' ';
    P = FormatIntTo(P, Generation);
    std::memcpy(P, Suffix, N - 1);
    WriteSpan(AStream, Text, P + N - 1);
}

} // namespace

void TPdfObject::WriteAsValue(TStream *AStream)
{
    if (FObjectType != otDirectObject)
        WriteNumberPair(AStream, FObjectNumber, FGenerationNumber, " R");
    else
        WriteOwnText(AStream);
}

void TPdfObject::WriteAsObject(TStream *AStream)
{
    if (FObjectType != otIndirectObject)
        throw EPdfInvalidOperation(QStringLiteral("internal error wrong object type"));
    WriteNumberPair(AStream, FObjectNumber, FGenerationNumber, " obj\r\n");
    WriteOwnText(AStream);
    WriteLiteral(AStream, "\r\nendobj\r\n");
}

TPdfVirtualObject::TPdfVirtualObject()
{
    throw Exception(QStringLiteral("virtualObject must be create by CreateVirtual method."));
}

TPdfVirtualObject::TPdfVirtualObject(NumberTag, int AObjectID)
{
    FObjectNumber = AObjectID;
    FObjectType = otVirtualObject;
}

std::unique_ptr<TPdfVirtualObject> TPdfVirtualObject::CreateVirtual(int AObjectID)
{
    return std::unique_ptr<TPdfVirtualObject>(new TPdfVirtualObject(NumberTag{}, AObjectID));
}

void TPdfNull::WriteOwnText(TStream *AStream)
{
    WriteLiteral(AStream, "null");
}

void TPdfBoolean::WriteOwnText(TStream *AStream)
{
    if (FValue)
        WriteLiteral(AStream, "true");
    else
        WriteLiteral(AStream, "false");
}

void TPdfNumber::WriteOwnText(TStream *AStream)
{
    char Text[24];
    WriteSpan(AStream, Text, FormatIntTo(Text, FValue));
}

TPdfReal::TPdfReal(double AValue)
{
    SetValue(AValue);
}

void TPdfReal::SetValue(double AValue)
{
    CheckFinite(AValue, "SetValue");
    FValue = AValue;
}

void TPdfReal::WriteOwnText(TStream *AStream)
{
    char Text[MaxNumberText];
    WriteSpan(AStream, Text, FormatRealTo(Text, FValue));
}

TPdfText::TPdfText(const QString &AValue)
    : FValue(Cp936::Encode(AValue))
{
}

QString TPdfText::Text() const
{
    return Cp936::Decode(FValue);
}

void TPdfText::WriteOwnText(TStream *AStream)
{
    WriteText(EscapeText(FValue), AStream);
}

void TPdfName::WriteOwnText(TStream *AStream)
{
    WriteName(AStream, FValue);
}

// ---------------------------------------------------------------- containers

namespace {

// What a container keeps for AItem: the item itself when direct (ownership
// passes to the container), a new reference otherwise.
std::unique_ptr<TPdfObject> HoldItem(TPdfObject *AItem)
{
    if (AItem->ObjectType() == otDirectObject)
        return std::unique_ptr<TPdfObject>(AItem);
    return TPdfVirtualObject::CreateVirtual(AItem->ObjectNumber());
}

bool SameBytes(const QByteArray &A, QByteArrayView B)
{
    return A.size() == B.size() && (B.empty() || std::memcmp(A.constData(), B.data(), size_t(B.size())) == 0);
}

TPdfObject *Resolve(TPdfObject *AItem, TPdfObjectMgr *AObjectMgr)
{
    if (AItem && AItem->ObjectType() == otVirtualObject && AObjectMgr)
        return AObjectMgr->ObjectByNumber(AItem->ObjectNumber());
    return AItem;
}

} // namespace

TPdfArray::~TPdfArray() = default;

void TPdfArray::AddItem(TPdfObject *AItem)
{
    if (!AItem || AItem == this)
        throw EPdfInvalidValue(QStringLiteral("internal error. wrong object."));
    // Only a direct item can already be held as itself; references are new each time.
    if (AItem->ObjectType() == otDirectObject)
        for (const auto &Item : FArray)
            if (Item.get() == AItem)
                return;
    // Most arrays are short; room for a few items saves the first regrowths.
    if (FArray.capacity() == 0)
        FArray.reserve(4);
    FArray.push_back(HoldItem(AItem));
}

TPdfObject *TPdfArray::Items(int Index) const
{
    return Resolve(FArray.at(size_t(Index)).get(), FObjectMgr);
}

TPdfName *TPdfArray::FindName(QByteArrayView AName) const
{
    for (int I = 0; I < ItemCount(); ++I)
        if (auto *Name = dynamic_cast<TPdfName *>(Items(I)); Name && SameBytes(Name->Value(), AName))
            return Name;
    return nullptr;
}

bool TPdfArray::RemoveName(QByteArrayView AName)
{
    for (size_t I = 0; I < FArray.size(); ++I) {
        auto *Name = dynamic_cast<TPdfName *>(Resolve(FArray[I].get(), FObjectMgr));
        if (Name && SameBytes(Name->Value(), AName)) {
            FArray.erase(FArray.begin() + qsizetype(I));
            return true;
        }
    }
    return false;
}

void TPdfArray::WriteOwnText(TStream *AStream)
{
    WriteLiteral(AStream, "[");
    for (const auto &Item : FArray) {
        Item->WriteAsValue(AStream);
        WriteLiteral(AStream, " ");
    }
    WriteLiteral(AStream, "]");
}

TPdfDictionaryElement::TPdfDictionaryElement(const QByteArray &AKey, TPdfObject *AValue, bool AIsHidden)
    : FKey(AKey), FIsHidden(AIsHidden)
{
    if (!AValue)
        throw EPdfInvalidValue(QStringLiteral("internal error. wrong object."));
    FValue = HoldItem(AValue);
}

TPdfDictionaryElement::~TPdfDictionaryElement() = default;

TPdfDictionary::~TPdfDictionary() = default;

int TPdfDictionary::IndexOfKey(QByteArrayView AKey) const
{
    for (size_t I = 0; I < FArray.size(); ++I)
        if (SameBytes(FArray[I]->Key(), AKey))
            return int(I);
    return -1;
}

void TPdfDictionary::PutElement(const QByteArray &AKey, TPdfObject *AValue, bool AIsHidden)
{
    if (!AValue || AValue == this)
        throw EPdfInvalidValue(QStringLiteral("internal error. wrong object."));
    const int I = IndexOfKey(AKey);
    // The value the key already holds is moved to the end, never freed and reused.
    if (I >= 0 && FArray[size_t(I)]->Value() == AValue && AValue->ObjectType() == otDirectObject)
        FArray[size_t(I)]->ReleaseValue();
    auto Element = std::make_unique<TPdfDictionaryElement>(AKey, AValue, AIsHidden);
    if (I >= 0)
        FArray.erase(FArray.begin() + I);
    // Room for a typical dictionary at once rather than regrowing it key by key.
    if (FArray.capacity() == 0)
        FArray.reserve(8);
    FArray.push_back(std::move(Element));
}

void TPdfDictionary::Put(const QByteArray &AKey, TPdfObject *AValue)
{
    PutElement(AKey, AValue, false);
}

void TPdfDictionary::PutHidden(const QByteArray &AKey, TPdfObject *AValue)
{
    PutElement(AKey, AValue, true);
}

void TPdfDictionary::Remove(QByteArrayView AKey)
{
    const int I = IndexOfKey(AKey);
    if (I >= 0)
        FArray.erase(FArray.begin() + I);
}

TPdfObject *TPdfDictionary::ValueByName(QByteArrayView AKey) const
{
    const int I = IndexOfKey(AKey);
    return I >= 0 ? Resolve(FArray[size_t(I)]->Value(), FObjectMgr) : nullptr;
}

TPdfNumber *TPdfDictionary::PdfNumberByName(QByteArrayView AKey) const
{
    return dynamic_cast<TPdfNumber *>(ValueByName(AKey));
}

TPdfReal *TPdfDictionary::PdfRealByName(QByteArrayView AKey) const
{
    return dynamic_cast<TPdfReal *>(ValueByName(AKey));
}

TPdfText *TPdfDictionary::PdfTextByName(QByteArrayView AKey) const
{
    return dynamic_cast<TPdfText *>(ValueByName(AKey));
}

TPdfName *TPdfDictionary::PdfNameByName(QByteArrayView AKey) const
{
    return dynamic_cast<TPdfName *>(ValueByName(AKey));
}

TPdfArray *TPdfDictionary::PdfArrayByName(QByteArrayView AKey) const
{
    return dynamic_cast<TPdfArray *>(ValueByName(AKey));
}

TPdfDictionary *TPdfDictionary::PdfDictionaryByName(QByteArrayView AKey) const
{
    return dynamic_cast<TPdfDictionary *>(ValueByName(AKey));
}

TPdfBoolean *TPdfDictionary::PdfBooleanByName(QByteArrayView AKey) const
{
    return dynamic_cast<TPdfBoolean *>(ValueByName(AKey));
}

QByteArray TPdfDictionary::TypeName() const
{
    const TPdfName *Name = PdfNameByName("Type");
    return Name ? Name->Value() : QByteArray();
}

void TPdfDictionary::WriteOwnText(TStream *AStream)
{
    WriteLiteral(AStream, "<<\r\n");
    for (const auto &Element : FArray) {
        if (Element->IsHidden())
            continue;
        if (Element->KeyName()->ObjectType() == otDirectObject) {
            WriteName(AStream, Element->Key(), " ", 1);
        } else {
            Element->KeyName()->WriteAsValue(AStream);
            WriteLiteral(AStream, " ");
        }
        Element->Value()->WriteAsValue(AStream);
        WriteLiteral(AStream, "\r\n");
    }
    WriteLiteral(AStream, ">>");
}

// ---------------------------------------------------------------- streams

TPdfStream::TPdfStream(TPdfObjectMgr *AObjectMgr)
    : FAttributes(std::make_unique<TPdfDictionary>(AObjectMgr)), FStream(std::make_unique<TMemoryStream>())
{
    FAttributes->Put(QByteArrayLiteral("Length"), new TPdfNumber(0));
    FAttributes->Put(QByteArrayLiteral("Filter"), new TPdfArray(AObjectMgr));
}

TPdfStream::~TPdfStream() = default;

void TPdfStream::WriteOwnText(TStream *AStream)
{
    // Bodies are never compressed, so a compression filter must not be announced.
    if (TPdfArray *Filter = FAttributes->PdfArrayByName("Filter"))
        Filter->RemoveName("FlateDecode");
    // The body is what was written into it, and "Length" says exactly that.
    const QByteArray &Body = FStream->Bytes();
    const qint64 Size = FScratchSize + Body.size();
    if (Size > 0x7FFFFFFF)
        throw EPdfInvalidOperation(QStringLiteral("WriteStream --stream too large."));
    if (TPdfNumber *Length = FAttributes->PdfNumberByName("Length"))
        Length->SetValue(qint32(Size));
    else
        FAttributes->Put("Length", new TPdfNumber(qint32(Size)));
    FAttributes->WriteAsValue(AStream);
    WriteLiteral(AStream, "\r\nstream\r\n");
    if (FScratch)
        FScratch->CopyTo(FScratchOffset, FScratchSize, AStream);
    WriteText(Body, AStream);
    WriteLiteral(AStream, "\nendstream");
}

void TPdfStream::MoveBodyTo(const std::shared_ptr<PdfDetail::ScratchFile> &Scratch)
{
    // Moved once: what is written into Stream() afterwards follows it from memory.
    const QByteArray &Body = FStream->Bytes();
    if (FScratch || Body.isEmpty())
        return;
    FScratchOffset = Scratch->Append(Body.constData(), Body.size());
    FScratchSize = Body.size();
    FScratch = Scratch;
    FStream->Clear();
}

TPdfBinary::TPdfBinary()
    : FStream(std::make_unique<TMemoryStream>())
{
}

TPdfBinary::~TPdfBinary() = default;

void TPdfBinary::WriteOwnText(TStream *AStream)
{
    WriteText(FStream->Bytes(), AStream);
}
