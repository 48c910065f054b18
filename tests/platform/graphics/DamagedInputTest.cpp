// Damaged picture files: every mutation either loads or raises EInvalidGraphic,
// and a picture that loaded can be drawn and saved.
#include "platform/graphics/Jpeg.h"

#include <QImage>
#include <gtest/gtest.h>
#include <random>

namespace {

QByteArray Saved(TGraphic &G)
{
    TMemoryStream M;
    G.SaveToStream(&M);
    return M.Bytes();
}

template <class Graphic>
void Mutate(const QByteArray &Good, int Rounds, unsigned Seed)
{
    std::mt19937 Rng(Seed);
    for (int Round = 0; Round < Rounds; ++Round) {
        QByteArray Data = Good;
        const int Changes = 1 + int(Rng() % 4);
        for (int I = 0; I < Changes; ++I) {
            // Mostly the headers, sometimes anywhere.
            const int Span = (Rng() % 4) ? std::min<int>(Data.size(), 80) : int(Data.size());
            Data[int(Rng() % unsigned(Span))] = char(Rng());
        }
        if (Rng() % 5 == 0)
            Data.truncate(int(Rng() % unsigned(Data.size())));
        TMemoryStream M;
        M.WriteBytes(Data);
        M.SetPosition(0);
        Graphic G;
        try {
            G.LoadFromStream(&M);
            TBitmap Target(8, 8);
            Target.Canvas()->StretchDraw(Rect(0, 0, 8, 8), &G);
            Saved(G);
        } catch (const EInvalidGraphic &) {
        }
    }
}

} // namespace

TEST(DamagedInput, BitmapsAndJpegsNeverCrash)
{
    QImage Img(9, 5, QImage::Format_RGB32);
    for (int Y = 0; Y < 5; ++Y)
        for (int X = 0; X < 9; ++X)
            Img.setPixel(X, Y, qRgb(X * 28, Y * 50, 100));
    unsigned Seed = 1;
    for (TPixelFormat F : {pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit}) {
        TBitmap B;
        B.SetImage(Img);
        B.SetPixelFormat(F);
        Mutate<TBitmap>(Saved(B), 150, Seed++);
    }
    // An RLE8 file.
    const QByteArray Rle = QByteArray::fromHex(
        "424d4e000000000000003e000000280000000400000002000000010008000100000010000000000000000000000002000000"
        "0000000000000000ffffff00" "0401" "0000" "0004" "01000100" "0001");
    Mutate<TBitmap>(Rle, 300, 99);

    TBitmap B;
    B.SetImage(Img);
    TJPEGImage J;
    J.Assign(&B);
    Mutate<TJPEGImage>(Saved(J), 300, 7);
    TJPEGImage P;
    P.ProgressiveEncoding = true;
    P.Assign(&B);
    Mutate<TJPEGImage>(Saved(P), 200, 8);
}

TEST(DamagedInput, AJpegOfThousandsOfScansIsDamagedAndAnOrdinaryProgressiveOneLoads)
{
    // An ordinary progressive picture: our encoder's ten scans.
    QImage Img(64, 64, QImage::Format_RGB32);
    for (int Y = 0; Y < 64; ++Y)
        for (int X = 0; X < 64; ++X)
            Img.setPixel(X, Y, X < 32 ? qRgb(200, 40, 40) : qRgb(40, 40, 200));
    TBitmap B;
    B.SetImage(Img);
    TJPEGImage P;
    P.ProgressiveEncoding = true;
    P.Assign(&B);
    const QByteArray Good = Saved(P);
    ASSERT_TRUE(Good.endsWith("\xFF\xD9"));
    auto Decoded = [](const QByteArray &Data) {
        TMemoryStream M;
        M.WriteBytes(Data);
        M.SetPosition(0);
        TJPEGImage J;
        J.LoadFromStream(&M);
        TBitmap Out;
        J.AssignTo(&Out);
        return Out.Image().convertToFormat(QImage::Format_RGB32);
    };
    const QImage Shown = Decoded(Good);
    ASSERT_EQ(Shown.size(), QSize(64, 64));
    EXPECT_GT(qRed(Shown.pixel(8, 8)), 150);
    EXPECT_GT(qBlue(Shown.pixel(56, 56)), 150);

    // The same picture with 20,000 more scans before its end, each a few
    // bytes: a refinement of the first component's DC bits (one bit for each
    // of its 64 blocks), as a file made to stall a decoder holds them.
    QByteArray Scan = QByteArray::fromHex("FFDA0008010100000010");
    Scan += QByteArray(8, '\0');
    QByteArray Stalling = Good.left(Good.size() - 2);
    for (int I = 0; I < 20000; ++I)
        Stalling += Scan;
    Stalling += "\xFF\xD9";
    // Its header reads; its pixels are refused as those of a damaged picture.
    TMemoryStream M;
    M.WriteBytes(Stalling);
    M.SetPosition(0);
    TJPEGImage J;
    J.LoadFromStream(&M);
    EXPECT_EQ(J.Width(), 64);
    EXPECT_THROW(J.DIBNeeded(), EInvalidGraphic);
    TBitmap Target(8, 8);
    EXPECT_THROW(Target.Canvas()->StretchDraw(Rect(0, 0, 8, 8), &J), EInvalidGraphic);
}
