// The canvas operations the GIF library draws with.

#include "detail/GIFCanvas.h"
#include "GIFException.h"

#include <QPainter>

namespace gifdetail {

std::unique_ptr<TBitmap> MakeBitmap(int W, int H, TColor Fill)
{
    auto Bitmap = std::make_unique<TBitmap>(std::max(W, 1), std::max(H, 1));
    if (Bitmap->Image().isNull())
        throw EOutOfResources(QStringLiteral("Out of system resources"));
    FillCanvasRect(Bitmap->Canvas(), TRect(0, 0, Bitmap->Width(), Bitmap->Height()), Fill);
    return Bitmap;
}

QImage BitmapImage(TBitmap *Bitmap)
{
    return Bitmap ? Bitmap->Image() : QImage();
}

void CopyCanvasRect(TCanvas *Dest, const TRect &DestRect, TCanvas *Source, const TRect &SourceRect)
{
    const TCopyMode Mode = Dest->CopyMode;
    Dest->CopyMode = cmSrcCopy;
    Dest->CopyRect(DestRect, Source, SourceRect);
    Dest->CopyMode = Mode;
}

void FillCanvasRect(TCanvas *Canvas, const TRect &Rect, TColor Color)
{
    // The caller's brush is left as it was.
    const TBrush Saved = *Canvas->Brush();
    Canvas->Brush()->SetStyle(bsSolid);
    Canvas->Brush()->SetColor(Color);
    Canvas->FillRect(Rect);
    Canvas->SetBrush(Saved);
}

void DrawImageStretched(TCanvas *Canvas, const TRect &Dest, const QImage &Image, const TRect *Clip)
{
    if (Dest.IsEmpty() || Image.isNull())
        return;
    QPainter *P = Canvas->Painter();
    P->save();
    if (Clip)
        P->setClipRect(Clip->ToQRect(), Qt::IntersectClip);
    P->setRenderHint(QPainter::SmoothPixmapTransform, false);
    P->setCompositionMode(QPainter::CompositionMode_SourceOver);
    P->drawImage(Dest.ToQRect(), Image);
    P->restore();
}

const void *CanvasHandle(TCanvas *Canvas)
{
    return Canvas ? Canvas->Device() : nullptr;
}

bool CanvasHandleValid(TCanvas *Canvas, const void *Handle)
{
    // A canvas without a device of its own cannot be checked.
    if (!Handle)
        return true;
    return Canvas && Canvas->Device() == Handle;
}

} // namespace gifdetail
