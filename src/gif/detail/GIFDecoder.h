#pragma once
// LZW decoding of one GIF frame's pixel data. Internal to the GIF library.

#include "platform/core/Classes.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace gifdetail {

using WarnFunc = std::function<void(const QString &Message)>;

// Reads the frame's LZW data (code size byte and data sub-blocks) from Stream
// and places the pixels into Pixels (Width x Height bytes, already filled with
// the fill value). Pixels that the data does not reach keep the fill value.
// The stream is left after the frame's block terminator (or at its end).
// Raises GIFException "Circular decoder table entry" on a self-referencing
// table entry; every other damage is a warning.
void DecodeFramePixels(TStream *Stream, uint8_t *Pixels, int Width, int Height, bool Interlaced,
                       const WarnFunc &Warn);

// The most pixels that Bytes of LZW data (sub-block counts included) can
// decode to: every code as narrow and its string as long as the table allows.
int64_t MaxDecodablePixels(int64_t Bytes);

} // namespace gifdetail
