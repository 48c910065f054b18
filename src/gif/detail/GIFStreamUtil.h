#pragma once
// Byte-level helpers of the GIF reader. Internal to the GIF library.

#include "platform/core/Classes.h"

#include <cstdint>

namespace gifdetail {

inline uint16_t GetLE16(const uint8_t *P)
{
    return uint16_t(P[0] | (P[1] << 8));
}

inline uint32_t GetLE32(const uint8_t *P)
{
    return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}

inline void PutLE16(uint8_t *P, uint16_t V)
{
    P[0] = uint8_t(V);
    P[1] = uint8_t(V >> 8);
}

inline void PutLE32(uint8_t *P, uint32_t V)
{
    for (int I = 0; I < 4; ++I)
        P[I] = uint8_t(V >> (8 * I));
}

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
