#pragma once
// Internal to the PDF writer: the text forms of numbers and names written
// straight into caller-provided character buffers, so that serialising a
// document builds no temporary byte arrays. The public FormatPdfNumber,
// FormatPdfReal and EscapeName give the same texts.

#include "platform/core/Classes.h"

#include <QByteArray>
#include <cstddef>

namespace PdfDetail {

// Room for the plain decimal form of any finite double (309 integer digits,
// or "0." with up to 323 zeros before 15 significant ones) and a sign.
constexpr size_t MaxNumberText = 400;

// Each writes at Out (at least MaxNumberText bytes) and returns the end.
// The value must be finite.
char *FormatNumberTo(char *Out, double Value);   // two decimals, as FormatPdfNumber
char *FormatRealTo(char *Out, double Value);     // 15 significant digits, as FormatPdfReal
char *FormatIntTo(char *Out, long long Value);   // at least 20 bytes

// The escaped name with its slash; Out holds at least EscapedNameRoom(Size) bytes.
constexpr size_t EscapedNameRoom(size_t Size) { return 1 + 3 * Size; }
char *EscapeNameTo(char *Out, const char *Name, size_t Size);

// Writes a literal without measuring it at run time.
template <size_t N> inline void WriteLiteral(TStream *AStream, const char (&Text)[N])
{
    AStream->WriteBuffer(Text, qint64(N - 1));
}

inline void WriteSpan(TStream *AStream, const char *Begin, const char *End)
{
    AStream->WriteBuffer(Begin, qint64(End - Begin));
}

// Writes the escaped name (with its slash) followed by Suffix.
void WriteName(TStream *AStream, const QByteArray &Name, const char *Suffix = "", size_t SuffixSize = 0);

// Builds one short line of content operators on the stack; falls back to the
// heap only for unusually long names.
class LineBuilder {
public:
    void Number(double Value);   // FormatPdfNumber's text; EPdfInvalidValue when not finite
    void Name(const QByteArray &Value);
    template <size_t N> void Literal(const char (&Text)[N]) { Append(Text, N - 1); }
    void Append(const char *Data, size_t Size);
    const char *Data() const { return FOnHeap ? FHeap.constData() : FBuffer; }
    qint64 Size() const { return FOnHeap ? FHeap.size() : qint64(FSize); }

private:
    char FBuffer[1024];
    size_t FSize = 0;
    bool FOnHeap = false;
    QByteArray FHeap;
};

} // namespace PdfDetail
