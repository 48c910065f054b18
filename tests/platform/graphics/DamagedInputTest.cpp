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
