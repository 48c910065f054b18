// Canvas pixel conventions, the emulated drawing calls and system colours.
#include "platform/graphics/Graphics.h"

#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>
#include <thread>

namespace {

// A white 40 x 30 image with a canvas on it.
struct Surface {
    QImage Image{40, 30, QImage::Format_RGB32};
    TCanvas Canvas;
    Surface()
    {
        Image.fill(Qt::white);
        Canvas.SetDevice(&Image);
    }
    TColor At(int X, int Y)
    {
        Canvas.Release();
        const QRgb C = Image.pixel(X, Y);
        return RGB(qRed(C), qGreen(C), qBlue(C));
    }
    // Bounding box of the pixels that are not white.
    TRect Inked()
    {
        Canvas.Release();
        TRect R(1000, 1000, -1, -1);
        for (int Y = 0; Y < Image.height(); ++Y)
            for (int X = 0; X < Image.width(); ++X)
                if ((Image.pixel(X, Y) & 0xFFFFFF) != 0xFFFFFF) {
                    R.Left = std::min(R.Left, X);
                    R.Top = std::min(R.Top, Y);
                    R.Right = std::max(R.Right, X + 1);
                    R.Bottom = std::max(R.Bottom, Y + 1);
                }
        return R.Right < 0 ? TRect() : R;
    }
};

} // namespace

TEST(Canvas, LinesLeaveOutTheirLastPixel)
{
    Surface S;
    S.Canvas.Pen()->SetColor(clBlack);
    S.Canvas.MoveTo(2, 3);
    S.Canvas.LineTo(10, 3);
    EXPECT_EQ(S.At(2, 3), clBlack);
    EXPECT_EQ(S.At(9, 3), clBlack);
    EXPECT_EQ(S.At(10, 3), clWhite);
    EXPECT_EQ(S.Canvas.PenPos(), TPoint(10, 3));

    // Vertical, backwards and diagonal lines too.
    S.Canvas.MoveTo(20, 10);
    S.Canvas.LineTo(20, 5);
    EXPECT_EQ(S.At(20, 10), clBlack);
    EXPECT_EQ(S.At(20, 6), clBlack);
    EXPECT_EQ(S.At(20, 5), clWhite);
    S.Canvas.MoveTo(25, 20);
    S.Canvas.LineTo(30, 25);
    EXPECT_EQ(S.At(25, 20), clBlack);
    EXPECT_EQ(S.At(29, 24), clBlack);
    EXPECT_EQ(S.At(30, 25), clWhite);

    // A polyline shares each joint once; a line of no length draws nothing.
    Surface P;
    P.Canvas.Pen()->SetColor(clRed);
    P.Canvas.Polyline({TPoint(1, 1), TPoint(5, 1), TPoint(5, 5)});
    EXPECT_EQ(P.At(5, 1), clRed);
    EXPECT_EQ(P.At(5, 4), clRed);
    EXPECT_EQ(P.At(5, 5), clWhite);
    Surface Z;
    Z.Canvas.MoveTo(4, 4);
    Z.Canvas.LineTo(4, 4);
    EXPECT_TRUE(Z.Inked().IsEmpty());
}

TEST(Canvas, RectanglesExcludeRightAndBottom)
{
    Surface S;
    S.Canvas.Brush()->SetColor(clRed);
    S.Canvas.FillRect(Rect(2, 2, 6, 5));
    EXPECT_EQ(S.Inked(), Rect(2, 2, 6, 5));
    EXPECT_EQ(S.At(5, 4), clRed);

    Surface R;
    R.Canvas.Pen()->SetColor(clBlack);
    R.Canvas.Brush()->SetColor(clLime);
    R.Canvas.Rectangle(3, 4, 13, 10);
    EXPECT_EQ(R.Inked(), Rect(3, 4, 13, 10));
    EXPECT_EQ(R.At(3, 4), clBlack);
    EXPECT_EQ(R.At(12, 9), clBlack);
    EXPECT_EQ(R.At(4, 5), clLime);
    EXPECT_EQ(R.At(11, 8), clLime);

    // FrameRect uses the brush; a clear brush fills nothing.
    Surface F;
    F.Canvas.Brush()->SetColor(clNavy);
    F.Canvas.FrameRect(Rect(1, 1, 5, 5));
    EXPECT_EQ(F.Inked(), Rect(1, 1, 5, 5));
    EXPECT_EQ(F.At(4, 4), clNavy);
    EXPECT_EQ(F.At(2, 2), clWhite);
    F.Canvas.Brush()->SetStyle(bsClear);
    F.Canvas.FillRect(Rect(10, 10, 20, 20));
    EXPECT_EQ(F.At(15, 15), clWhite);
}

TEST(Canvas, PixelsAndClipping)
{
    Surface S;
    S.Canvas.SetPixels(7, 8, clBlue);
    EXPECT_EQ(S.Canvas.Pixels(7, 8), clBlue);
    EXPECT_EQ(S.Canvas.Pixels(-1, 0), clNone);
    EXPECT_EQ(S.Canvas.Pixels(40, 0), clNone);
    S.Canvas.SetPixels(100, 100, clBlue);   // ignored, no crash
    EXPECT_EQ(S.Canvas.ClipRect(), Rect(0, 0, 40, 30));
    S.Canvas.IntersectClipRect(Rect(5, 5, 10, 10));
    EXPECT_EQ(S.Canvas.ClipRect(), Rect(5, 5, 10, 10));
    S.Canvas.Brush()->SetColor(clRed);
    S.Canvas.FillRect(Rect(0, 0, 40, 30));
    EXPECT_EQ(S.Inked(), Rect(5, 5, 10, 10));
    S.Canvas.SelectClipRect(nullptr);
    EXPECT_EQ(S.Canvas.ClipRect(), Rect(0, 0, 40, 30));

    // A canvas with nothing to draw on says so.
    TCanvas Bare;
    EXPECT_THROW(Bare.LineTo(1, 1), EInvalidOperation);
}

TEST(DrawText, AlignsWrapsAndMeasures)
{
    QImage Img(200, 100, QImage::Format_RGB32);
    Img.fill(Qt::white);
    TCanvas C(&Img);
    C.Font()->SetColor(clBlack);
    C.Brush()->SetStyle(bsClear);
    const int LineH = C.TextHeight(QStringLiteral("gh"));
    const int W = C.TextWidth(QStringLiteral("Hello"));
    ASSERT_GT(LineH, 0);
    ASSERT_GT(W, 0);

    // DT_CALCRECT: single line gives the text extent and draws nothing.
    TRect R = Rect(10, 10, 190, 90);
    EXPECT_EQ(DrawText(&C, QStringLiteral("Hello"), R, DT_CALCRECT | DT_SINGLELINE), LineH);
    EXPECT_EQ(R, Rect(10, 10, 10 + W, 10 + LineH));

    // Two paragraphs, and word breaking that keeps every line inside the width.
    R = Rect(0, 0, 190, 0);
    EXPECT_EQ(DrawText(&C, QStringLiteral("a\r\nb"), R, DT_CALCRECT), 2 * LineH);
    EXPECT_EQ(DrawText(&C, QStringLiteral("a\r\n"), R, DT_CALCRECT), LineH);
    EXPECT_EQ(DrawText(&C, QStringLiteral("a\n\n"), R, DT_CALCRECT), 2 * LineH);
    const QString Long = QStringLiteral("one two three four five six seven eight nine ten");
    const int Narrow = C.TextWidth(QStringLiteral("three four"));
    R = Rect(0, 0, Narrow, 0);
    const int H = DrawText(&C, Long, R, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_GE(H, 4 * LineH);
    EXPECT_EQ(H % LineH, 0);
    EXPECT_LE(R.Width(), Narrow);
    // Chinese text breaks between characters; a long word breaks inside.
    R = Rect(0, 0, C.TextWidth(QStringLiteral("中文中")), 0);
    EXPECT_EQ(DrawText(&C, QStringLiteral("中文中文中文"), R, DT_CALCRECT | DT_WORDBREAK), 2 * LineH);
    R = Rect(0, 0, C.TextWidth(QStringLiteral("abc")), 0);
    EXPECT_GE(DrawText(&C, QStringLiteral("abcdefghi"), R, DT_CALCRECT | DT_WORDBREAK), 3 * LineH);

    // "&&" is one '&' and "&x" just x unless DT_NOPREFIX.
    R = Rect(0, 0, 190, 0);
    DrawText(&C, QStringLiteral("&&A&B"), R, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(R.Width(), C.TextWidth(QStringLiteral("&AB")));
    R = Rect(0, 0, 190, 0);
    DrawText(&C, QStringLiteral("&&A&B"), R, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(R.Width(), C.TextWidth(QStringLiteral("&&A&B")));

    // Horizontal alignment: ink lies at the left, centre or right of the rectangle.
    auto InkSpan = [&](unsigned Format, int &Left, int &Right) {
        Img.fill(Qt::white);
        TRect Box = Rect(20, 20, 180, 20 + LineH);
        DrawText(&C, QStringLiteral("Hello"), Box, Format | DT_SINGLELINE);
        C.Release();
        Left = 1000;
        Right = -1;
        for (int Y = 0; Y < Img.height(); ++Y)
            for (int X = 0; X < Img.width(); ++X)
                if ((Img.pixel(X, Y) & 0xFFFFFF) != 0xFFFFFF) {
                    Left = std::min(Left, X);
                    Right = std::max(Right, X + 1);
                }
    };
    int L, Rt;
    InkSpan(DT_LEFT, L, Rt);
    EXPECT_GE(L, 20);
    EXPECT_LE(Rt, 20 + W + 1);
    InkSpan(DT_RIGHT, L, Rt);
    EXPECT_LE(Rt, 180);
    EXPECT_GE(L, 180 - W - 1);
    InkSpan(DT_CENTER, L, Rt);
    EXPECT_NEAR((L + Rt) / 2.0, 100.0, 3.0);

    // Vertical centring returns the offset to the bottom of the text; the clip holds.
    Img.fill(Qt::white);
    R = Rect(0, 0, 100, 60);
    EXPECT_EQ(DrawText(&C, QStringLiteral("Hello"), R, DT_SINGLELINE | DT_VCENTER), (60 - LineH) / 2 + LineH);
    R = Rect(0, 0, 100, 60);
    EXPECT_EQ(DrawText(&C, QStringLiteral("Hello"), R, DT_SINGLELINE | DT_BOTTOM), 60);
    Img.fill(Qt::white);
    R = Rect(0, 0, W / 2, LineH);
    DrawText(&C, QStringLiteral("Hello"), R, DT_SINGLELINE);
    C.Release();
    for (int Y = 0; Y < Img.height(); ++Y)
        for (int X = W / 2; X < Img.width(); ++X)
            ASSERT_EQ(Img.pixel(X, Y) & 0xFFFFFF, 0xFFFFFFu) << X << "," << Y;

    // An ellipsis keeps the text inside the width.
    R = Rect(0, 0, W, 0);
    DrawText(&C, QStringLiteral("Hello Hello Hello"), R, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(R.Width(), W);
    EXPECT_GT(R.Width(), 0);

    // Empty text: nothing, height 0.
    R = Rect(5, 5, 50, 50);
    EXPECT_EQ(DrawText(&C, QString(), R, DT_CALCRECT), 0);
    EXPECT_EQ(R, Rect(5, 5, 5, 5));
}

TEST(DrawText, OpaqueBackgroundFollowsTheBrush)
{
    QImage Img(100, 40, QImage::Format_RGB32);
    Img.fill(Qt::white);
    TCanvas C(&Img);
    C.Brush()->SetColor(clYellow);
    EXPECT_EQ(C.BkMode(), OPAQUE);
    TRect R = Rect(0, 0, 100, 40);
    DrawText(&C, QStringLiteral("x"), R, DT_SINGLELINE);
    C.Release();
    EXPECT_EQ(Img.pixel(0, 1) & 0xFFFFFF, 0xFFFF00u);   // yellow behind the text
    Img.fill(Qt::white);
    EXPECT_EQ(SetBkMode(&C, TRANSPARENT), OPAQUE);
    DrawText(&C, QStringLiteral("x"), R, DT_SINGLELINE);
    C.Release();
    EXPECT_EQ(Img.pixel(0, 1) & 0xFFFFFF, 0xFFFFFFu);
    // Changing the brush brings back the mode it implies.
    C.Brush()->SetColor(clRed);
    EXPECT_EQ(C.BkMode(), OPAQUE);
    C.Brush()->SetStyle(bsClear);
    EXPECT_EQ(C.BkMode(), TRANSPARENT);
}

TEST(DrawEdge, ClassicColoursAndAdjust)
{
    QImage Img(20, 20, QImage::Format_RGB32);
    Img.fill(Qt::white);
    TCanvas C(&Img);
    auto At = [&](int X, int Y) {
        C.Release();
        const QRgb P = Img.pixel(X, Y);
        return RGB(qRed(P), qGreen(P), qBlue(P));
    };
    TRect R = Rect(2, 2, 12, 10);
    ASSERT_TRUE(DrawEdge(&C, R, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST));
    EXPECT_EQ(R, Rect(4, 4, 10, 8));
    EXPECT_EQ(At(2, 2), ColorToRGB(cl3DLight));            // outer top-left
    EXPECT_EQ(At(11, 9), ColorToRGB(cl3DDkShadow));        // outer bottom-right
    EXPECT_EQ(At(11, 2), ColorToRGB(cl3DDkShadow));        // right side owns the top-right corner
    EXPECT_EQ(At(3, 3), ColorToRGB(clBtnHighlight));       // inner top-left
    EXPECT_EQ(At(10, 8), ColorToRGB(clBtnShadow));         // inner bottom-right
    EXPECT_EQ(At(6, 6), ColorToRGB(clBtnFace));            // middle
    EXPECT_EQ(At(12, 10), clWhite);                        // right/bottom exclusive

    Img.fill(Qt::white);
    R = Rect(2, 2, 12, 10);
    DrawEdge(&C, R, EDGE_SUNKEN, BF_BOTTOM);
    EXPECT_EQ(R, Rect(2, 2, 12, 10));                      // no BF_ADJUST
    EXPECT_EQ(At(5, 9), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(At(5, 8), ColorToRGB(cl3DLight));
    EXPECT_EQ(At(5, 2), clWhite);
    EXPECT_FALSE(DrawEdge(&C, R, 0, BF_RECT));
}

TEST(DrawFrameControl, ButtonsAndFocusRect)
{
    QImage Img(30, 30, QImage::Format_RGB32);
    Img.fill(Qt::white);
    TCanvas C(&Img);
    const QImage Blank = Img.copy();
    // A check box: the tick is the only window-text ink.
    auto TextInk = [&] {
        C.Release();
        int N = 0;
        for (int Y = 0; Y < 30; ++Y)
            for (int X = 0; X < 30; ++X)
                N += QColorToTColor(Img.pixelColor(X, Y)) == ColorToRGB(clWindowText);
        return N;
    };
    EXPECT_TRUE(DrawFrameControl(&C, Rect(0, 0, 15, 15), DFC_BUTTON, DFCS_BUTTONCHECK));
    const int Unchecked = TextInk();
    EXPECT_TRUE(DrawFrameControl(&C, Rect(0, 0, 15, 15), DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED));
    EXPECT_GT(TextInk(), Unchecked + 5);
    EXPECT_TRUE(DrawFrameControl(&C, Rect(0, 0, 13, 13), DFC_BUTTON, DFCS_BUTTONRADIO | DFCS_CHECKED | DFCS_FLAT));
    EXPECT_TRUE(DrawFrameControl(&C, Rect(0, 0, 16, 16), DFC_SCROLL, DFCS_SCROLLCOMBOBOX | DFCS_INACTIVE));
    EXPECT_FALSE(DrawFrameControl(&C, Rect(0, 0, 16, 16), DFC_MENU, 0));
    // Nothing outside the rectangle.
    C.Release();
    for (int Y = 0; Y < 30; ++Y)
        for (int X = 16; X < 30; ++X)
            ASSERT_EQ(Img.pixel(X, Y), Blank.pixel(X, Y));

    // The focus rectangle inverts alternate pixels; twice restores.
    Img.fill(Qt::white);
    DrawFocusRect(&C, Rect(4, 4, 14, 10));
    C.Release();
    EXPECT_NE(Img.copy(), Blank);
    EXPECT_EQ(Img.pixel(4, 4) & 0xFFFFFF, 0u);
    EXPECT_EQ(Img.pixel(5, 4) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(Img.pixel(8, 7) & 0xFFFFFF, 0xFFFFFFu);      // inside untouched
    DrawFocusRect(&C, Rect(4, 4, 14, 10));
    C.Release();
    EXPECT_EQ(Img.convertToFormat(QImage::Format_RGB32), Blank);
}

TEST(Colors, SystemColoursComeFromThePalette)
{
    const QPalette Pal = QGuiApplication::palette();
    EXPECT_EQ(ColorToRGB(clBtnFace), QColorToTColor(Pal.color(QPalette::Active, QPalette::Button)));
    EXPECT_EQ(ColorToRGB(clWindow), QColorToTColor(Pal.color(QPalette::Active, QPalette::Base)));
    EXPECT_EQ(ColorToRGB(clHighlight), QColorToTColor(Pal.color(QPalette::Active, QPalette::Highlight)));
    EXPECT_EQ(ColorToRGB(clInfoBk), QColorToTColor(Pal.color(QPalette::Active, QPalette::ToolTipBase)));
    EXPECT_EQ(ColorToRGB(clGrayText), QColorToTColor(Pal.color(QPalette::Disabled, QPalette::Text)));
    EXPECT_EQ(ColorToRGB(clSystemColor | 99), clBlack);    // unknown index
    EXPECT_EQ(ColorToRGB(clRed), clRed);
    EXPECT_EQ(ColorToRGB(clNone), clNone);

    EXPECT_EQ(RGB(0x12, 0x34, 0x56), 0x563412u);
    EXPECT_EQ(GetRValue(0x563412), 0x12);
    EXPECT_EQ(GetBValue(0x563412), 0x56);
    EXPECT_EQ(TColorToQColor(clNavy), QColor(0, 0, 128));
    EXPECT_EQ(TColorToQColor(clNone).alpha(), 0);
    EXPECT_EQ(QColorToTColor(QColor(255, 128, 0)), 0x0080FFu);

    TFont F;
    F.SetSize(9);
    EXPECT_EQ(F.Height(), -12);
    EXPECT_EQ(F.Size(), 9);
    int Changes = 0;
    F.OnChange = [&](TObject *) { ++Changes; };
    F.SetStyle(F.Style() | fsBold);
    EXPECT_TRUE(F.Style().testFlag(fsBold));
    EXPECT_TRUE(F.ToQFont().bold());
    EXPECT_EQ(F.ToQFont().pixelSize(), 12);
    EXPECT_EQ(Changes, 1);
}

TEST(Rects, Helpers)
{
    TRect R;
    EXPECT_TRUE(IntersectRect(R, Rect(0, 0, 10, 10), Rect(5, 5, 20, 20)));
    EXPECT_EQ(R, Rect(5, 5, 10, 10));
    EXPECT_FALSE(IntersectRect(R, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
    EXPECT_TRUE(R.IsEmpty());
    EXPECT_TRUE(PtInRect(Rect(0, 0, 10, 10), Point(9, 9)));
    EXPECT_FALSE(PtInRect(Rect(0, 0, 10, 10), Point(10, 5)));
    R = Bounds(1, 2, 3, 4);
    EXPECT_EQ(R, Rect(1, 2, 4, 6));
    InflateRect(R, 1, 1);
    OffsetRect(R, 10, 0);
    EXPECT_EQ(R, Rect(10, 1, 15, 7));
    EXPECT_EQ(R.ToQRect(), QRect(10, 1, 5, 6));
    EXPECT_TRUE(UnionRect(R, Rect(0, 0, 2, 2), Rect(5, 5, 6, 6)));
    EXPECT_EQ(R, Rect(0, 0, 6, 6));
}

TEST(Canvas, DrawsOnBitmapsInAnotherThread)
{
    const TColor Face = ColorToRGB(clBtnFace);   // read on the GUI thread first
    TBitmap B(30, 30);
    std::thread Worker([&] {
        TRect R = Rect(0, 0, 30, 30);
        DrawEdge(B.Canvas(), R, EDGE_RAISED, BF_RECT | BF_MIDDLE);
        B.Canvas()->Brush()->SetStyle(bsClear);
        B.Canvas()->TextOut(20, 20, QStringLiteral("x"));
    });
    Worker.join();
    EXPECT_EQ(B.Canvas()->Pixels(10, 10), Face);
    EXPECT_EQ(B.Canvas()->Pixels(29, 29), ColorToRGB(cl3DDkShadow));
}
