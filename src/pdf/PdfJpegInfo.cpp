#include "pdf/PdfJpegInfo.h"

namespace {

int ReadU16(const QByteArray &Data, qsizetype Pos)
{
    return (static_cast<unsigned char>(Data[Pos]) << 8) | static_cast<unsigned char>(Data[Pos + 1]);
}

unsigned char ByteAt(const QByteArray &Data, qsizetype Pos)
{
    return static_cast<unsigned char>(Data[Pos]);
}

bool IsStartOfFrame(unsigned char M)
{
    return M >= 0xC0 && M <= 0xCF && M != 0xC4 && M != 0xC8 && M != 0xCC;
}

} // namespace

bool ReadPdfJpegInfo(const QByteArray &Data, TPdfJpegInfo &Info)
{
    Info = TPdfJpegInfo();
    const qsizetype Size = Data.size();
    if (Size < 4 || ByteAt(Data, 0) != 0xFF || ByteAt(Data, 1) != 0xD8)
        return false;
    qsizetype Pos = 2;
    bool HaveFrame = false;
    for (;;) {
        if (Pos >= Size || ByteAt(Data, Pos) != 0xFF)
            return false;
        while (Pos < Size && ByteAt(Data, Pos) == 0xFF)   // fill bytes
            ++Pos;
        if (Pos >= Size)
            return false;
        const unsigned char Marker = ByteAt(Data, Pos++);
        if (Marker == 0x01 || (Marker >= 0xD0 && Marker <= 0xD7))
            continue;   // markers without a segment
        if (Marker == 0xD8 || Marker == 0xD9)
            return false;   // a second start or an end before any scan
        if (Pos + 2 > Size)
            return false;
        const int Length = ReadU16(Data, Pos);
        if (Length < 2 || Pos + Length > Size)
            return false;
        const qsizetype Body = Pos + 2;
        const int BodyLength = Length - 2;
        if (IsStartOfFrame(Marker)) {
            // Lossless and arithmetic-coded frames cannot be shown by DCTDecode readers.
            if (Marker == 0xC3 || Marker >= 0xC9 || BodyLength < 6 || HaveFrame)
                return false;
            Info.BitsPerComponent = ByteAt(Data, Body);
            Info.Height = ReadU16(Data, Body + 1);
            Info.Width = ReadU16(Data, Body + 3);
            Info.Components = ByteAt(Data, Body + 5);
            if (BodyLength < 6 + 3 * Info.Components)
                return false;
            HaveFrame = true;
        } else if (Marker == 0xEE && BodyLength >= 5 && Data.mid(Body, 5) == "Adobe") {
            Info.AdobeMarker = true;
        } else if (Marker == 0xDA) {
            if (!HaveFrame)
                return false;
            // The entropy-coded data must be followed by an end-of-image marker.
            const qsizetype End = Data.lastIndexOf(QByteArray("\xFF\xD9", 2));
            if (End < Body + BodyLength)
                return false;
            break;
        }
        Pos += Length;
    }
    return Info.Width > 0 && Info.Height > 0 && Info.BitsPerComponent == 8
        && (Info.Components == 1 || Info.Components == 3 || Info.Components == 4);
}
