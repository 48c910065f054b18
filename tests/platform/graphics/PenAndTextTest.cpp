// Pen styles and modes, text output, copying between canvases and the finer
// DrawText formats.
#include "platform/graphics/Graphics.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

TColor PixelOf(TCanvas &C, const QImage &Img, int X, int Y)
{
    C.Release();
    const QRgb P = Img.pixel(X, Y);
    return RGB(qRed(P), qGreen(P), qBlue(P));
}

int CountColour(TCanvas &C, const QImage &Img, TColor Colour, const TRect &Area)
{
    int N = 0;
    for (int Y = Area.Top; Y < Area.Bottom; ++Y)
        for (int X = Area.Left; X < Area.Right; ++X)
            N += PixelOf(C, Img, X, Y) == Colour;
    return N;
}

} // namespace

TEST(Pen, StylesAndModes)
{
    QImage Img(60, 20, QImage::Format_RGB32);
    Img.fill(Qt::white);
    TCanvas C(&Img);
    C.Pen()->SetColor(clBlack);

    // A dotted pen: runs of three on and three off; gaps take the brush colour when opaque.
    C.Pen()->SetStyle(psDot);
    C.Brush()->SetColor(clYellow);
    C.MoveTo(0, 2);
    C.LineTo(12, 2);
    EXPECT_EQ(PixelOf(C, Img, 0, 2), clBlack);
    EXPECT_EQ(PixelOf(C, Img, 2, 2), clBlack);
    EXPECT_EQ(PixelOf(C, Img, 3, 2), clYellow);
    EXPECT_EQ(PixelOf(C, Img, 6, 2), clBlack);
    C.Brush()->SetStyle(bsClear);
    C.MoveTo(0, 4);
    C.LineTo(12, 4);
    EXPECT_EQ(PixelOf(C, Img, 3, 4), clWhite);

    // psClear draws nothing; pmXor twice restores; pmNot inverts.
    C.Pen()->SetStyle(psClear);
    C.MoveTo(0, 6);
    C.LineTo(20, 6);
    EXPECT_EQ(CountColour(C, Img, clWhite, Rect(0, 6, 20, 7)), 20);
    C.Pen()->SetStyle(psSolid);
    C.Pen()->SetMode(pmXor);
    C.Pen()->SetColor(clRed);
    C.MoveTo(0, 8);
    C.LineTo(10, 8);
    EXPECT_EQ(PixelOf(C, Img, 5, 8), RGB(0, 255, 255));
    C.MoveTo(0, 8);
    C.LineTo(10, 8);
    EXPECT_EQ(PixelOf(C, Img, 5, 8), clWhite);
    C.Pen()->SetMode(pmNot);
    C.MoveTo(0, 10);
    C.LineTo(4, 10);
    EXPECT_EQ(PixelOf(C, Img, 3, 10), clBlack);

    // A wide pen covers more than one row.
    C.Pen()->SetMode(pmCopy);
    C.Pen()->SetWidth(3);
    C.MoveTo(30, 10);
    C.LineTo(50, 10);
    EXPECT_EQ(PixelOf(C, Img, 40, 9), clRed);
    EXPECT_EQ(PixelOf(C, Img, 40, 11), clRed);
}

TEST(Shapes, StayInsideTheirRectangles)
{
    QImage Img(40, 40, QImage::Format_RGB32);
    TCanvas C(&Img);
    auto Inked = [&] {
        C.Release();
        TRect R(1000, 1000, -1, -1);
        for (int Y = 0; Y < 40; ++Y)
            for (int X = 0; X < 40; ++X)
                if ((Img.pixel(X, Y) & 0xFFFFFF) != 0xFFFFFF) {
                    R.Left = std::min(R.Left, X);
                    R.Top = std::min(R.Top, Y);
                    R.Right = std::max(R.Right, X + 1);
                    R.Bottom = std::max(R.Bottom, Y + 1);
                }
        return R;
    };
    C.Pen()->SetColor(clBlack);
    C.Brush()->SetColor(clRed);
    const TRect Box = Rect(5, 6, 25, 20);
    auto Check = [&](const char *What, const std::function<void()> &Draw) {
        Img.fill(Qt::white);
        Draw();
        const TRect R = Inked();
        EXPECT_GE(R.Left, Box.Left) << What;
        EXPECT_GE(R.Top, Box.Top) << What;
        EXPECT_LE(R.Right, Box.Right) << What;
        EXPECT_LE(R.Bottom, Box.Bottom) << What;
        EXPECT_GT(R.Width(), Box.Width() - 3) << What;
    };
    Check("ellipse", [&] { C.Ellipse(Box); });
    Check("round rect", [&] { C.RoundRect(5, 6, 25, 20, 6, 6); });
    Check("pie", [&] { C.Pie(5, 6, 25, 20, 25, 13, 5, 13); });
    Check("arc", [&] { C.Arc(5, 6, 25, 20, 25, 13, 5, 13); });
    // Without a pen, Rectangle fills one pixel less to the right and bottom.
    Img.fill(Qt::white);
    C.Pen()->SetStyle(psClear);
    C.Rectangle(Box);
    EXPECT_EQ(Inked(), Rect(5, 6, 24, 19));
    C.Pen()->SetStyle(psSolid);
    Img.fill(Qt::white);
    C.Polygon({TPoint(5, 6), TPoint(24, 6), TPoint(5, 19)});
    EXPECT_EQ(Inked().Left, 5);
    EXPECT_EQ(PixelOf(C, Img, 8, 9), clRed);
    EXPECT_EQ(PixelOf(C, Img, 22, 17), clWhite);
}

TEST(Text, TextOutAndTextRect)
{
    QImage Img(120, 40, QImage::Format_RGB32);
    Img.fill(Qt::white);
    TCanvas C(&Img);
    C.Brush()->SetColor(clYellow);
    C.Font()->SetColor(clBlack);
    const TSize Ext = C.TextExtent(QStringLiteral("Abc"));
    C.TextOut(10, 5, QStringLiteral("Abc"));
    EXPECT_EQ(C.PenPos(), TPoint(10 + Ext.cx, 5));
    // The opaque brush fills exactly the text cell.
    EXPECT_EQ(PixelOf(C, Img, 10, 5), clYellow);
    EXPECT_EQ(PixelOf(C, Img, 10 + Ext.cx - 1, 5 + Ext.cy - 1), clYellow);
    EXPECT_EQ(PixelOf(C, Img, 10 + Ext.cx, 5), clWhite);
    EXPECT_EQ(PixelOf(C, Img, 9, 5), clWhite);
    EXPECT_GT(CountColour(C, Img, clBlack, Rect(10, 5, 10 + Ext.cx, 5 + Ext.cy)), 0);

    // TextRect fills its rectangle and clips the text to it.
    Img.fill(Qt::white);
    C.Brush()->SetColor(clAqua);
    C.TextRect(Rect(50, 5, 60, 30), 50, 5, QStringLiteral("Wide text here"));
    EXPECT_EQ(PixelOf(C, Img, 59, 29), clAqua);
    EXPECT_EQ(CountColour(C, Img, clWhite, Rect(60, 0, 120, 40)), 60 * 40);

    // Bold text is at least as wide; a taller font is taller.
    const int Plain = C.TextWidth(QStringLiteral("Width"));
    C.Font()->SetStyle(fsBold);
    EXPECT_GE(C.TextWidth(QStringLiteral("Width")), Plain);
    const int Small = C.TextHeight(QStringLiteral("gh"));
    C.Font()->SetSize(20);
    EXPECT_GT(C.TextHeight(QStringLiteral("gh")), Small);
}

TEST(Text, DrawTextFormatDetails)
{
    QImage Img(200, 100, QImage::Format_RGB32);
    Img.fill(Qt::white);
    TCanvas C(&Img);
    C.Brush()->SetStyle(bsClear);
    const int LineH = C.TextHeight(QStringLiteral("gh"));

    // Tabs expand to stops of eight average characters only with DT_EXPANDTABS.
    TRect R = Rect(0, 0, 200, 0);
    DrawText(&C, QStringLiteral("a\tb"), R, DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS);
    const int Expanded = R.Width();
    EXPECT_GT(Expanded, C.TextWidth(QStringLiteral("a b")));

    // Path ellipsis keeps the file name.
    const QString Path = QStringLiteral("C:\\very\\long\\folder\\name\\with\\parts\\picture.jpg");
    const int Room = C.TextWidth(QStringLiteral("...\\picture.jpg")) + C.TextWidth(QStringLiteral("C:\\v"));
    Img.fill(Qt::white);
    R = Rect(0, 0, Room, LineH);
    DrawText(&C, Path, R, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_CALCRECT);
    EXPECT_LE(R.Width(), Room);

    // DT_EDITCONTROL leaves out a partly visible last line.
    auto InkRows = [&](unsigned Format) {
        Img.fill(Qt::white);
        TRect Box = Rect(0, 0, 200, LineH + LineH / 2);
        DrawText(&C, QStringLiteral("Hg\r\nHg"), Box, Format);
        C.Release();
        int Last = -1;
        for (int Y = 0; Y < 100; ++Y)
            for (int X = 0; X < 200; ++X)
                if ((Img.pixel(X, Y) & 0xFFFFFF) != 0xFFFFFF)
                    Last = Y;
        return Last;
    };
    EXPECT_GE(InkRows(0), LineH);
    EXPECT_LT(InkRows(DT_EDITCONTROL), LineH);

    // A mnemonic is underlined; DT_HIDEPREFIX drops the mark but not the text.
    auto Ink = [&](unsigned Format) {
        Img.fill(Qt::white);
        TRect Box = Rect(0, 0, 200, 50);
        DrawText(&C, QStringLiteral("&File"), Box, Format | DT_SINGLELINE);
        return 200 * 100 - CountColour(C, Img, clWhite, Rect(0, 0, 200, 100));
    };
    EXPECT_GT(Ink(0), Ink(DT_HIDEPREFIX));
    EXPECT_GT(Ink(DT_HIDEPREFIX), 0);

    // DT_SINGLELINE keeps line breaks on one line.
    R = Rect(0, 0, 200, 0);
    EXPECT_EQ(DrawText(&C, QStringLiteral("a\r\nb\nc"), R, DT_CALCRECT | DT_SINGLELINE), LineH);
    // DT_WORDBREAK with blanks: no line starts with the blank it broke at.
    R = Rect(0, 0, C.TextWidth(QStringLiteral("aaa ")), 0);
    EXPECT_EQ(DrawText(&C, QStringLiteral("aaa aaa"), R, DT_CALCRECT | DT_WORDBREAK), 2 * LineH);
    EXPECT_EQ(R.Width(), C.TextWidth(QStringLiteral("aaa")));
}

TEST(Canvas, CopyRectBrushCopyAndLocking)
{
    QImage A(20, 20, QImage::Format_RGB32), B(20, 20, QImage::Format_RGB32);
    A.fill(Qt::white);
    B.fill(Qt::white);
    TCanvas CA(&A), CB(&B);
    CA.Brush()->SetColor(clRed);
    CA.FillRect(Rect(0, 0, 5, 5));
    CB.CopyRect(Rect(10, 10, 15, 15), &CA, Rect(0, 0, 5, 5));
    EXPECT_EQ(PixelOf(CB, B, 10, 10), clRed);
    EXPECT_EQ(PixelOf(CB, B, 14, 14), clRed);
    EXPECT_EQ(PixelOf(CB, B, 15, 15), clWhite);
    // Stretching doubles the pixels; a canvas may copy from itself.
    CB.CopyRect(Rect(0, 0, 10, 10), &CB, Rect(10, 10, 15, 15));
    EXPECT_EQ(PixelOf(CB, B, 9, 9), clRed);
    EXPECT_EQ(PixelOf(CB, B, 10, 9), clWhite);

    TBitmap Glyph(4, 4);
    Glyph.Canvas()->Brush()->SetColor(clFuchsia);
    Glyph.Canvas()->FillRect(Rect(0, 0, 4, 4));
    Glyph.Canvas()->SetPixels(1, 1, clBlack);
    CB.Brush()->SetColor(clLime);
    CB.BrushCopy(Rect(0, 0, 4, 4), &Glyph, Rect(0, 0, 4, 4), clFuchsia);
    EXPECT_EQ(PixelOf(CB, B, 0, 0), clLime);
    EXPECT_EQ(PixelOf(CB, B, 1, 1), clBlack);

    CB.Lock();
    CB.Lock();
    EXPECT_EQ(CB.LockCount(), 2);
    EXPECT_TRUE(CB.TryLock());
    CB.Unlock();
    CB.Unlock();
    CB.Unlock();
    EXPECT_EQ(CB.LockCount(), 0);
    CB.Unlock();   // unbalanced: ignored
    EXPECT_EQ(CB.LockCount(), 0);
}
