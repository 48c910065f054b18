// libFuzzer entry for the RTF reader: any bytes read as RTF (with the header
// put in front, so the reader's RTF paths are reached), and the document read
// written and read back, end without a fault.

#include "platform/core/RichText.h"

#include <cstddef>
#include <cstdint>

namespace {

// The text the writer keeps: control characters other than line breaks and tabs carry none.
QString Kept(QString S)
{
    S.removeIf([](QChar C) { return C.unicode() < 0x20 && C != QLatin1Char('\n') && C != QLatin1Char('\t')
                                    && C != QLatin1Char('\r'); });
    return S;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    const QByteArray Bytes(reinterpret_cast<const char *>(Data), qsizetype(Size));
    const TRtfDocument Raw = Rtf::Read(Bytes);
    const TRtfDocument D = Rtf::Read(QByteArray("{\\rtf1\\ansi\\ansicpg936 ") + Bytes);
    // Whatever was read can be written, and the writing reads back to the same text.
    const TRtfDocument Back = Rtf::Read(Rtf::Write(D));
    if (Kept(Back.PlainText()) != Kept(D.PlainText()) && !D.Paragraphs.empty() && !D.Paragraphs.back().Runs.empty())
        __builtin_trap();
    (void)Raw.PlainText();
    return 0;
}
