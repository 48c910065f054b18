#pragma once
// Byte-level helpers of the GIF reader. Internal to the GIF library.

#include "platform/core/ByteOrder.h"
#include "platform/core/Classes.h"

#include <cstdint>

namespace gifdetail {

// A fixed-size read: raises GIFException "Premature end of data" when short.
void ReadCheck(TStream *Stream, void *Buffer, qint64 Count);
// A single byte, 0 at the end of the stream.
uint8_t ReadByteOrZero(TStream *Stream);
void WriteByte(TStream *Stream, uint8_t Value);
// Skips up to Count bytes, never past the end of the stream.
void SkipBytes(TStream *Stream, qint64 Count);
// Skips data sub-blocks up to and including the 0 terminator (or the end).
void SkipSubBlocks(TStream *Stream);

} // namespace gifdetail
