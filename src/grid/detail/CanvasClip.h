#pragma once
// Internal to the grid library: a clip on a canvas for the life of a scope.
// The painter's state is saved and restored around it, so leaving the scope
// removes the clip even on a painter the canvas only borrows.

#include "platform/graphics/Graphics.h"

#include <QPainter>

namespace GridDetail {

class ScopedClip {
public:
    ScopedClip(TCanvas *Canvas, const TRect &R, bool Intersect) : FCanvas(Canvas), FPainter(Canvas->Painter())
    {
        if (FPainter)
            FPainter->save();
        if (Intersect)
            FCanvas->IntersectClipRect(R);
        else
            FCanvas->SelectClipRect(&R);
    }
    ~ScopedClip()
    {
        FCanvas->SelectClipRect(nullptr);
        if (FPainter)
            FPainter->restore();
    }
    ScopedClip(const ScopedClip &) = delete;
    ScopedClip &operator=(const ScopedClip &) = delete;

private:
    TCanvas *FCanvas;
    QPainter *FPainter;
};

} // namespace GridDetail
