#pragma once
// The few canvas operations the GIF library draws with. Internal.

#include "platform/graphics/Graphics.h"

#include <QImage>
#include <memory>

namespace gifdetail {

// A bitmap of W x H filled with Fill.
std::unique_ptr<TBitmap> MakeBitmap(int W, int H, TColor Fill);
// The bitmap's pixels.
QImage BitmapImage(TBitmap *Bitmap);
// Copies SourceRect of Source into DestRect of Dest, stretching when the sizes differ.
void CopyCanvasRect(TCanvas *Dest, const TRect &DestRect, TCanvas *Source, const TRect &SourceRect);
void FillCanvasRect(TCanvas *Canvas, const TRect &Rect, TColor Color);
// Draws Image stretched (nearest pixel) into Dest, clipped to Clip when given;
// the image's alpha leaves the canvas as it was.
void DrawImageStretched(TCanvas *Canvas, const TRect &Dest, const QImage &Image, const TRect *Clip);
// An identity of the canvas's drawing surface, and whether it is still there.
const void *CanvasHandle(TCanvas *Canvas);
bool CanvasHandleValid(TCanvas *Canvas, const void *Handle);

} // namespace gifdetail
