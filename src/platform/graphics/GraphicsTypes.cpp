#include "platform/graphics/GraphicsTypes.h"

#include <algorithm>

bool PtInRect(const TRect &R, const TPoint &P)
{
    return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

bool IntersectRect(TRect &Dst, const TRect &R1, const TRect &R2)
{
    TRect R(std::max(R1.Left, R2.Left), std::max(R1.Top, R2.Top),
            std::min(R1.Right, R2.Right), std::min(R1.Bottom, R2.Bottom));
    if (R.IsEmpty()) {
        Dst = TRect();
        return false;
    }
    Dst = R;
    return true;
}

bool UnionRect(TRect &Dst, const TRect &R1, const TRect &R2)
{
    if (R1.IsEmpty()) {
        Dst = R2.IsEmpty() ? TRect() : R2;
        return !R2.IsEmpty();
    }
    if (R2.IsEmpty()) {
        Dst = R1;
        return true;
    }
    Dst = TRect(std::min(R1.Left, R2.Left), std::min(R1.Top, R2.Top),
                std::max(R1.Right, R2.Right), std::max(R1.Bottom, R2.Bottom));
    return true;
}

void InflateRect(TRect &R, int DX, int DY)
{
    R.Left -= DX;
    R.Right += DX;
    R.Top -= DY;
    R.Bottom += DY;
}

void OffsetRect(TRect &R, int DX, int DY)
{
    R.Left += DX;
    R.Right += DX;
    R.Top += DY;
    R.Bottom += DY;
}

bool IsRectEmpty(const TRect &R) { return R.IsEmpty(); }

bool EqualRect(const TRect &R1, const TRect &R2) { return R1 == R2; }

void SetRect(TRect &R, int Left, int Top, int Right, int Bottom) { R = TRect(Left, Top, Right, Bottom); }

void SetRectEmpty(TRect &R) { R = TRect(); }

TPoint CenterPoint(const TRect &R)
{
    return TPoint((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
}
