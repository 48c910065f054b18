#include "pdf/PdfTypes.h"

#include "platform/core/Codec.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

// A decimal number as its significant digits and the place of the decimal
// point: the value is 0.<digits> x 10^PointPos, so PointPos counts the
// digits before the point (negative or zero for values below 0.1).
struct DecimalDigits {
    bool Negative = false;
    std::string Digits;
    int PointPos = 0;
};

void CheckFinite(double Value, const char *Operation)
{
    if (!std::isfinite(Value))
        throw EPdfInvalidValue(QString::fromLatin1(Operation) + QStringLiteral(" --invalid number."));
}

// Significant digits of Value; Precision 0 asks for the shortest form that reads back exactly.
DecimalDigits ToDigits(double Value, int Precision)
{
    char Buffer[64];
    std::to_chars_result R = Precision > 0
        ? std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific, Precision - 1)
        : std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific);
    std::string Text(Buffer, R.ptr);
    DecimalDigits D;
    size_t I = 0;
    if (I < Text.size() && Text[I] == '-') {
        D.Negative = true;
        ++I;
    }
    size_t E = Text.find('e', I);
    for (size_t J = I; J < E; ++J)
        if (Text[J] >= '0' && Text[J] <= '9')
            D.Digits += Text[J];
    D.PointPos = std::stoi(Text.substr(E + 1)) + 1;
    return D;
}

// Rounds half away from zero to Decimals places after the point.
void RoundDigits(DecimalDigits &D, int Decimals)
{
    int Keep = D.PointPos + Decimals;
    if (Keep >= int(D.Digits.size()))
        return;
    if (Keep < 0) {
        D.Digits.clear();
        return;
    }
    bool Up = D.Digits[size_t(Keep)] >= '5';
    D.Digits.resize(size_t(Keep));
    if (!Up)
        return;
    int I = Keep - 1;
    while (I >= 0 && D.Digits[size_t(I)] == '9') {
        D.Digits[size_t(I)] = '0';
        --I;
    }
    if (I >= 0) {
        ++D.Digits[size_t(I)];
    } else {
        D.Digits.insert(D.Digits.begin(), '1');
        ++D.PointPos;
    }
}

QByteArray PlainDecimal(DecimalDigits D)
{
    while (!D.Digits.empty() && D.Digits.back() == '0')
        D.Digits.pop_back();
    while (!D.Digits.empty() && D.Digits.front() == '0') {
        D.Digits.erase(D.Digits.begin());
        --D.PointPos;
    }
    if (D.Digits.empty())
        return QByteArrayLiteral("0");
    std::string S;
    int Len = int(D.Digits.size());
    if (D.PointPos <= 0)
        S = "0." + std::string(size_t(-D.PointPos), '0') + D.Digits;
    else if (D.PointPos >= Len)
        S = D.Digits + std::string(size_t(D.PointPos - Len), '0');
    else
        S = D.Digits.substr(0, size_t(D.PointPos)) + "." + D.Digits.substr(size_t(D.PointPos));
    if (D.Negative)
        S.insert(S.begin(), '-');
    return QByteArray::fromStdString(S);
}

bool IsLeadByte(unsigned char B)
{
    return B >= 0x81 && B <= 0xFE;
}

const char HexDigits[] = "0123456789ABCDEF";

} // namespace

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
    // Round the shortest exact decimal form, not the binary product Value x 100,
    // so 1.005 becomes 1.01 and -1.236 becomes -1.24.
    DecimalDigits D = ToDigits(Value, 0);
    RoundDigits(D, 2);
    return PlainDecimal(D);
}

QByteArray FormatPdfReal(double Value)
{
    CheckFinite(Value, "FormatPdfReal");
    return PlainDecimal(ToDigits(Value, 15));
}

QByteArray EscapeName(const QByteArray &Value)
{
    static const QByteArray Delimiters("#%()/<>[]{}");
    QByteArray Result("/");
    Result.reserve(Value.size() + 1);
    for (char C : Value) {
        unsigned char B = static_cast<unsigned char>(C);
        if (B >= 33 && B <= 126 && !Delimiters.contains(C)) {
            Result += C;
        } else {
            Result += '#';
            Result += HexDigits[B >> 4];
            Result += HexDigits[B & 15];
        }
    }
    return Result;
}

QByteArray EscapeText(const QByteArray &Value)
{
    bool HasLeadByte = false;
    for (char C : Value)
        if (IsLeadByte(static_cast<unsigned char>(C))) {
            HasLeadByte = true;
            break;
        }
    QByteArray Result;
    if (HasLeadByte) {
        // UTF-16BE with a byte-order mark and a language escape ("en").
        // Decoding is bounded by the string: a lead byte at its end forms no
        // character and never reaches past the string.
        const QString Text = Cp936::Decode(Value);
        Result.reserve(Text.size() * 4 + 20);
        Result += "<FEFF001B656E001B";
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
    Result.reserve(Value.size() + 2);
    Result += '(';
    for (char C : Value) {
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

// ---------------------------------------------------------------- TPdfObject

void TPdfObject::SetObjectNumber(int Value)
{
    FObjectNumber = Value;
    FObjectType = Value > 0 ? otIndirectObject : otDirectObject;
}

void TPdfObject::WriteOwnText(TStream *)
{
}

void TPdfObject::WriteAsValue(TStream *AStream)
{
    if (FObjectType != otDirectObject)
        WriteText(QByteArray::number(FObjectNumber) + ' ' + QByteArray::number(FGenerationNumber) + " R",
                  AStream);
    else
        WriteOwnText(AStream);
}

void TPdfObject::WriteAsObject(TStream *AStream)
{
    if (FObjectType != otIndirectObject)
        throw EPdfInvalidOperation(QStringLiteral("internal error wrong object type"));
    WriteText(QByteArray::number(FObjectNumber) + ' ' + QByteArray::number(FGenerationNumber) + " obj\r\n",
              AStream);
    WriteOwnText(AStream);
    WriteText("\r\nendobj\r\n", AStream);
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
    WriteText("null", AStream);
}

void TPdfBoolean::WriteOwnText(TStream *AStream)
{
    WriteText(FValue ? "true" : "false", AStream);
}

void TPdfNumber::WriteOwnText(TStream *AStream)
{
    WriteText(QByteArray::number(FValue), AStream);
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
    WriteText(FormatPdfReal(FValue), AStream);
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
    WriteText(EscapeName(FValue), AStream);
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
    FArray.push_back(HoldItem(AItem));
}

TPdfObject *TPdfArray::Items(int Index) const
{
    return Resolve(FArray.at(size_t(Index)).get(), FObjectMgr);
}

TPdfName *TPdfArray::FindName(const QByteArray &AName) const
{
    for (int I = 0; I < ItemCount(); ++I)
        if (auto *Name = dynamic_cast<TPdfName *>(Items(I)); Name && Name->Value() == AName)
            return Name;
    return nullptr;
}

bool TPdfArray::RemoveName(const QByteArray &AName)
{
    for (size_t I = 0; I < FArray.size(); ++I) {
        auto *Name = dynamic_cast<TPdfName *>(Resolve(FArray[I].get(), FObjectMgr));
        if (Name && Name->Value() == AName) {
            FArray.erase(FArray.begin() + qsizetype(I));
            return true;
        }
    }
    return false;
}

void TPdfArray::WriteOwnText(TStream *AStream)
{
    WriteText("[", AStream);
    for (const auto &Item : FArray) {
        Item->WriteAsValue(AStream);
        WriteText(" ", AStream);
    }
    WriteText("]", AStream);
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

int TPdfDictionary::IndexOfKey(const QByteArray &AKey) const
{
    for (size_t I = 0; I < FArray.size(); ++I)
        if (FArray[I]->Key() == AKey)
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

void TPdfDictionary::Remove(const QByteArray &AKey)
{
    const int I = IndexOfKey(AKey);
    if (I >= 0)
        FArray.erase(FArray.begin() + I);
}

TPdfObject *TPdfDictionary::ValueByName(const QByteArray &AKey) const
{
    const int I = IndexOfKey(AKey);
    return I >= 0 ? Resolve(FArray[size_t(I)]->Value(), FObjectMgr) : nullptr;
}

TPdfNumber *TPdfDictionary::PdfNumberByName(const QByteArray &AKey) const
{
    return dynamic_cast<TPdfNumber *>(ValueByName(AKey));
}

TPdfReal *TPdfDictionary::PdfRealByName(const QByteArray &AKey) const
{
    return dynamic_cast<TPdfReal *>(ValueByName(AKey));
}

TPdfText *TPdfDictionary::PdfTextByName(const QByteArray &AKey) const
{
    return dynamic_cast<TPdfText *>(ValueByName(AKey));
}

TPdfName *TPdfDictionary::PdfNameByName(const QByteArray &AKey) const
{
    return dynamic_cast<TPdfName *>(ValueByName(AKey));
}

TPdfArray *TPdfDictionary::PdfArrayByName(const QByteArray &AKey) const
{
    return dynamic_cast<TPdfArray *>(ValueByName(AKey));
}

TPdfDictionary *TPdfDictionary::PdfDictionaryByName(const QByteArray &AKey) const
{
    return dynamic_cast<TPdfDictionary *>(ValueByName(AKey));
}

TPdfBoolean *TPdfDictionary::PdfBooleanByName(const QByteArray &AKey) const
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
    WriteText("<<\r\n", AStream);
    for (const auto &Element : FArray) {
        if (Element->IsHidden())
            continue;
        Element->KeyName()->WriteAsValue(AStream);
        WriteText(" ", AStream);
        Element->Value()->WriteAsValue(AStream);
        WriteText("\r\n", AStream);
    }
    WriteText(">>", AStream);
}

// ---------------------------------------------------------------- streams

TPdfStream::TPdfStream(TPdfObjectMgr *AObjectMgr)
    : FAttributes(std::make_unique<TPdfDictionary>(AObjectMgr)), FStream(std::make_unique<TMemoryStream>())
{
    FAttributes->Put("Length", new TPdfNumber(0));
    FAttributes->Put("Filter", new TPdfArray(AObjectMgr));
}

TPdfStream::~TPdfStream() = default;

void TPdfStream::WriteOwnText(TStream *AStream)
{
    // Bodies are never compressed, so a compression filter must not be announced.
    if (TPdfArray *Filter = FAttributes->PdfArrayByName("Filter"))
        Filter->RemoveName("FlateDecode");
    // The body is what was written into it, and "Length" says exactly that.
    const QByteArray &Body = FStream->Bytes();
    if (Body.size() > 0x7FFFFFFF)
        throw EPdfInvalidOperation(QStringLiteral("WriteStream --stream too large."));
    if (TPdfNumber *Length = FAttributes->PdfNumberByName("Length"))
        Length->SetValue(qint32(Body.size()));
    else
        FAttributes->Put("Length", new TPdfNumber(qint32(Body.size())));
    FAttributes->WriteAsValue(AStream);
    WriteText("\r\nstream\r\n", AStream);
    WriteText(Body, AStream);
    WriteText("\nendstream", AStream);
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
