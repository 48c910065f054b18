#include "detail/GIFStreamUtil.h"
#include "detail/GIFStrings.h"
#include "GIFException.h"

#include <algorithm>

namespace gifdetail {

void ReadCheck(TStream *Stream, void *Buffer, qint64 Count)
{
    if (Count <= 0)
        return;
    if (Stream->Read(Buffer, Count) != Count)
        throw GIFException(QString::fromLatin1(gifstr::PrematureEnd));
}

uint8_t ReadByteOrZero(TStream *Stream)
{
    uint8_t B = 0;
    if (Stream->Read(&B, 1) != 1)
        return 0;
    return B;
}

void WriteByte(TStream *Stream, uint8_t Value)
{
    Stream->WriteBuffer(&Value, 1);
}

void SkipBytes(TStream *Stream, qint64 Count)
{
    if (Count <= 0)
        return;
    qint64 Left = Stream->Size() - Stream->Position();
    Stream->Seek(std::min(Count, std::max<qint64>(Left, 0)), soCurrent);
}

void SkipSubBlocks(TStream *Stream)
{
    uint8_t Size = 0;
    while (Stream->Read(&Size, 1) == 1 && Size != 0)
        SkipBytes(Stream, Size);
}

} // namespace gifdetail
