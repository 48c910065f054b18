// Less common BMP layouts, paletted bitmaps, icons and JPEG output options.
#include "platform/graphics/Jpeg.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

// A BMP file from an info header's fields, optional masks/palette and pixel bytes.
QByteArray MakeBmp(int W, int H, int Bits, quint32 Compression, const QByteArray &Extra, const QByteArray &Pixels,
                   quint32 ClrUsed = 0)
{
    QByteArray F;
    auto Put32 = [&](quint32 V) { for (int I = 0; I < 4; ++I) F.append(char(V >> (8 * I))); };
    auto Put16 = [&](quint16 V) { F.append(char(V)).append(char(V >> 8)); };
    const quint32 Off = 14 + 40 + quint32(Extra.size());
    F.append("BM");
    Put32(Off + quint32(Pixels.size()));
    Put32(0);
    Put32(Off);
    Put32(40); Put32(quint32(W)); Put32(quint32(H)); Put16(1); Put16(quint16(Bits)); Put32(Compression);
    Put32(quint32(Pixels.size())); Put32(0); Put32(0); Put32(ClrUsed); Put32(0);
    F.append(Extra);
    F.append(Pixels);
    return F;
}

QByteArray Le32(quint32 V)
{
    QByteArray B;
    for (int I = 0; I < 4; ++I)
        B.append(char(V >> (8 * I)));
    return B;
}

TBitmap LoadBytes(const QByteArray &Data)
{
    TMemoryStream M;
    M.WriteBytes(Data);
    M.SetPosition(0);
    TBitmap B;
    B.LoadFromStream(&M);
    return B;
}

} // namespace

TEST(BmpLayouts, TopDownRle4AndBitFields)
{
    // Top-down 24-bit, 2 x 2: first row in the file is the top row.
    const QByteArray Rows = QByteArray::fromHex("0000ff" "00ff00" "0000" "ff0000" "ffffff" "0000");
    TBitmap T = LoadBytes(MakeBmp(2, -2, 24, 0, {}, Rows));
    EXPECT_EQ(T.Canvas()->Pixels(0, 0), clRed);
    EXPECT_EQ(T.Canvas()->Pixels(1, 0), clLime);
    EXPECT_EQ(T.Canvas()->Pixels(0, 1), clBlue);

    // RLE4, 4 x 1: a run of 4 pixels alternating index 1 and 2.
    QByteArray Palette;
    for (QRgb C : {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)})
        Palette.append(char(qBlue(C))).append(char(qGreen(C))).append(char(qRed(C))).append(char(0));
    TBitmap R = LoadBytes(MakeBmp(4, 1, 4, 2, Palette, QByteArray::fromHex("0412" "0001"), 3));
    EXPECT_EQ(R.PixelFormat(), pf4bit);
    EXPECT_EQ(R.Canvas()->Pixels(0, 0), clRed);
    EXPECT_EQ(R.Canvas()->Pixels(1, 0), clBlue);
    EXPECT_EQ(R.Canvas()->Pixels(3, 0), clBlue);

    // 32-bit with unusual masks (10 bits per channel) is read through the masks.
    const QByteArray Masks = Le32(0x3FF00000) + Le32(0x000FFC00) + Le32(0x000003FF);
    TBitmap F = LoadBytes(MakeBmp(1, 1, 32, 3, Masks, Le32(0x3FF00000)));
    EXPECT_EQ(F.PixelFormat(), pfCustom);
    EXPECT_EQ(F.Canvas()->Pixels(0, 0), clRed);
    // 16-bit 5-6-5 bit fields become pf16bit.
    const QByteArray M565 = Le32(0xF800) + Le32(0x07E0) + Le32(0x001F);
    TBitmap S = LoadBytes(MakeBmp(1, 1, 16, 3, M565, QByteArray::fromHex("e0070000")));
    EXPECT_EQ(S.PixelFormat(), pf16bit);
    EXPECT_EQ(S.Canvas()->Pixels(0, 0), clLime);

    // An empty stream gives an empty bitmap; an empty bitmap saves nothing.
    TMemoryStream Empty;
    TBitmap E(3, 3);
    E.LoadFromStream(&Empty);
    EXPECT_TRUE(E.Empty());
    E.SaveToStream(&Empty);
    EXPECT_EQ(Empty.Size(), 0);
}

TEST(BitmapFormats, PalettesAndMonochrome)
{
    TBitmap B(6, 2);
    B.SetPixelFormat(pf8bit);
    QVector<QRgb> Table = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 10, 10)};
    B.SetColorTable(Table);
    EXPECT_EQ(B.ColorTable().size(), 256);
    // A new table recolours the indexes in place; white now finds entry 1.
    B.Canvas()->Brush()->SetColor(clWhite);
    B.Canvas()->FillRect(Rect(0, 0, 6, 2));
    EXPECT_EQ(static_cast<uchar *>(B.ScanLine(1))[5], 1);
    EXPECT_EQ(B.ColorTable()[2], qRgb(200, 10, 10));
    static_cast<uchar *>(B.ScanLine(0))[0] = 2;
    EXPECT_EQ(B.Canvas()->Pixels(0, 0), RGB(200, 10, 10));
    // Painting a colour near a table entry maps to that entry.
    B.Canvas()->SetPixels(1, 0, RGB(190, 20, 20));
    EXPECT_EQ(static_cast<uchar *>(B.ScanLine(0))[1], 2);

    // Down to pf4bit the table fits and stays; pf1bit uses black and white.
    B.SetPixelFormat(pf4bit);
    EXPECT_EQ(B.ColorTable()[2], qRgb(200, 10, 10));
    EXPECT_EQ(B.Canvas()->Pixels(0, 0), RGB(200, 10, 10));
    B.SetMonochrome(true);
    EXPECT_EQ(B.PixelFormat(), pf1bit);
    EXPECT_TRUE(B.Monochrome());
    EXPECT_EQ(B.Canvas()->Pixels(5, 1), clWhite);
    B.SetMonochrome(false);
    EXPECT_EQ(B.PixelFormat(), pfDevice);
    EXPECT_TRUE(B.ColorTable().isEmpty());

    // A fixed transparent colour wins over the bottom-left pixel.
    TBitmap T(2, 2);
    T.SetTransparentColor(clRed);
    EXPECT_EQ(T.TransparentMode(), tmFixed);
    EXPECT_EQ(T.TransparentColor(), clRed);
    T.SetTransparentMode(tmAuto);
    EXPECT_EQ(T.TransparentColor(), clWhite);
}

TEST(Icons, LoadLargestImageAndKeepBytes)
{
    QByteArray Data;
    {
        QBuffer Buf(&Data);
        Buf.open(QIODevice::WriteOnly);
        QImage Img(16, 16, QImage::Format_ARGB32);
        Img.fill(Qt::red);
        QImageWriter W(&Buf, "ico");
        ASSERT_TRUE(W.write(Img));
    }
    TempDir Dir;
    WriteAll(Dir.File(QStringLiteral("a.ICO")), Data);
    TPicture P;
    P.LoadFromFile(Dir.File(QStringLiteral("a.ICO")));
    ASSERT_NE(dynamic_cast<TIcon *>(P.Graphic()), nullptr);
    EXPECT_EQ(P.Width(), 16);
    TMemoryStream M;
    P.Graphic()->SaveToStream(&M);
    EXPECT_EQ(M.Bytes(), Data);
    TBitmap Target(20, 20);
    Target.Canvas()->Draw(2, 2, P.Graphic());
    EXPECT_EQ(Target.Canvas()->Pixels(5, 5), clRed);
    EXPECT_EQ(Target.Canvas()->Pixels(1, 1), clWhite);

    WriteAll(Dir.File(QStringLiteral("b.ico")), "not an icon");
    TIcon I;
    EXPECT_THROW(I.LoadFromFile(Dir.File(QStringLiteral("b.ico"))), EInvalidGraphic);
}

TEST(JpegOptions, EightBitOutputAndOtherSources)
{
    QImage Img(32, 16, QImage::Format_RGB32);
    for (int X = 0; X < 32; ++X)
        for (int Y = 0; Y < 16; ++Y)
            Img.setPixel(X, Y, X < 16 ? qRgb(250, 0, 0) : qRgb(0, 0, 250));
    TBitmap B;
    B.SetImage(Img);
    TJPEGImage J;
    J.Assign(&B);
    J.Compress();
    TJPEGImage Q;
    Q.Assign(&J);
    Q.SetPixelFormat(jf8Bit);
    TBitmap Out;
    Out.Assign(&Q);
    EXPECT_EQ(Out.PixelFormat(), pf8bit);
    EXPECT_GT(GetRValue(Out.Canvas()->Pixels(4, 8)), 200);
    EXPECT_GT(GetBValue(Out.Canvas()->Pixels(28, 8)), 200);

    // A progressive file decodes the same way.
    TJPEGImage P;
    P.ProgressiveEncoding = true;
    P.Assign(&B);
    TMemoryStream M;
    P.SaveToStream(&M);
    M.SetPosition(0);
    TJPEGImage Back;
    Back.LoadFromStream(&M);
    EXPECT_EQ(Back.Width(), 32);
    TBitmap Dec;
    Dec.Assign(&Back);
    EXPECT_GT(GetRValue(Dec.Canvas()->Pixels(4, 8)), 200);

    // Another graphic is drawn on white and encoded; an empty stream gives an empty picture.
    TIcon Empty;
    TJPEGImage FromIcon;
    FromIcon.Assign(&Empty);
    EXPECT_TRUE(FromIcon.Empty());
    TMemoryStream None;
    FromIcon.LoadFromStream(&None);
    EXPECT_TRUE(FromIcon.Empty());
    EXPECT_EQ(FromIcon.Width(), 0);
}
