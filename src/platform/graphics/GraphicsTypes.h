#pragma once
// Points, sizes and rectangles with the original coordinate conventions (a
// rectangle's Right and Bottom lie just outside it, so Right - Left is its
// width), and the horizontal alignment of text.

#include <QPoint>
#include <QRect>
#include <QSize>

struct TPoint {
    int X = 0;
    int Y = 0;

    constexpr TPoint() = default;
    constexpr TPoint(int AX, int AY) : X(AX), Y(AY) {}
    QPoint ToQPoint() const { return QPoint(X, Y); }
    static TPoint FromQPoint(const QPoint &P) { return TPoint(P.x(), P.y()); }
    friend constexpr bool operator==(const TPoint &A, const TPoint &B) { return A.X == B.X && A.Y == B.Y; }
};

struct TSize {
    int cx = 0;
    int cy = 0;

    constexpr TSize() = default;
    constexpr TSize(int ACx, int ACy) : cx(ACx), cy(ACy) {}
    QSize ToQSize() const { return QSize(cx, cy); }
    friend constexpr bool operator==(const TSize &A, const TSize &B) { return A.cx == B.cx && A.cy == B.cy; }
};

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr TRect() = default;
    constexpr TRect(int ALeft, int ATop, int ARight, int ABottom)
        : Left(ALeft), Top(ATop), Right(ARight), Bottom(ABottom) {}
    constexpr TRect(const TPoint &TopLeft, const TPoint &BottomRight)
        : Left(TopLeft.X), Top(TopLeft.Y), Right(BottomRight.X), Bottom(BottomRight.Y) {}

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr TPoint TopLeft() const { return TPoint(Left, Top); }
    constexpr TPoint BottomRight() const { return TPoint(Right, Bottom); }
    // True when the rectangle holds no pixel (Right <= Left or Bottom <= Top).
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }

    // The same pixels as a QRect (whose right/bottom are inclusive); an empty
    // rectangle gives an empty QRect.
    QRect ToQRect() const { return IsEmpty() ? QRect(Left, Top, 0, 0) : QRect(Left, Top, Right - Left, Bottom - Top); }
    static TRect FromQRect(const QRect &R) { return TRect(R.left(), R.top(), R.left() + R.width(), R.top() + R.height()); }

    friend constexpr bool operator==(const TRect &A, const TRect &B)
    {
        return A.Left == B.Left && A.Top == B.Top && A.Right == B.Right && A.Bottom == B.Bottom;
    }
};

// Horizontal alignment of text in a control or a cell.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

constexpr TPoint Point(int X, int Y) { return TPoint(X, Y); }
constexpr TRect Rect(int Left, int Top, int Right, int Bottom) { return TRect(Left, Top, Right, Bottom); }
constexpr TRect Bounds(int Left, int Top, int Width, int Height) { return TRect(Left, Top, Left + Width, Top + Height); }

// P lies inside R when Left <= X < Right and Top <= Y < Bottom.
bool PtInRect(const TRect &R, const TPoint &P);
// Dst becomes the common part of R1 and R2; an empty result is all zeros and gives false.
bool IntersectRect(TRect &Dst, const TRect &R1, const TRect &R2);
// Dst becomes the smallest rectangle holding both; empty inputs are ignored. False when both are empty.
bool UnionRect(TRect &Dst, const TRect &R1, const TRect &R2);
void InflateRect(TRect &R, int DX, int DY);
void OffsetRect(TRect &R, int DX, int DY);
bool IsRectEmpty(const TRect &R);
bool EqualRect(const TRect &R1, const TRect &R2);
void SetRect(TRect &R, int Left, int Top, int Right, int Bottom);
void SetRectEmpty(TRect &R);
// Centre point of a rectangle (integer division, as the original helpers do).
TPoint CenterPoint(const TRect &R);
