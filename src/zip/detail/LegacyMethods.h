#pragma once
// Decoders of the zip format's three older methods: shrunk (1), reduced (2-5)
// and imploded (6). Internal to the zip library.
//
// A decoder reports nothing: it takes the member's bytes through the input
// step and hands what it decodes to the output step, which checks the size,
// keeps the CRC and reports progress. Damaged data shows as wrong or missing
// bytes, which the caller's CRC check reports.

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <functional>

namespace ZipDetail {

// What a decoder gets of the member being extracted.
struct LegacyMember {
    quint16 Method = 0;
    quint16 Flags = 0;              // general purpose flags
    qint64 UncompressedSize = 0;
    qint64 CompressedSize = 0;      // compressed bytes still to come at the start
    // The input step: points Data at the next bytes of the member's data and
    // returns their number; 0 once the member's data is used up.
    std::function<qint64(const uchar *&Data)> Input;
    // The output step for Count bytes.
    std::function<void(const char *Data, qint64 Count)> Output;
    // The library's message box (message id, text, caption, flags).
    std::function<void(int MessageID, const QString &Msg1, const QString &Msg2, quint32 Flags)> Message;
};

// Methods 1 to 6.
bool IsLegacyMethod(int Method);

// Runs the member's decoder: UnShrink, UnReduce or Explode.
void DecodeLegacyMember(const LegacyMember &Member);

// How many bytes past the end of a member's data a decoder may make up (zero
// bits for reduce, the repeated last byte for implode) before it gives up the
// member: enough for the bits of the last code, not enough to invent output.
constexpr int LegacyPaddingBytes = 4;

} // namespace ZipDetail
