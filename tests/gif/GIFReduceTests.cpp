// Colour reduction: the palettes and lookups of each method, the octree, the
// ditherers, the bitmap row access, and the quality beside ImageMagick and
// Pillow on generated pictures.

#include "GIFTestSupport.h"
#include "gif/GIFReduce.h"

#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace GIFTest;

namespace {

TBitmap Picture24(const QImage &Image)
{
    TBitmap B;
    B.SetImage(Image.convertToFormat(QImage::Format_RGB888));
    return B;
}

TBitmap Solid(int W, int H, QRgb Color)
{
    QImage I(W, H, QImage::Format_RGB888);
    I.fill(Color);
    return Picture24(I);
}

// The reduced picture's colours as RGB.
QImage Colours(const TBitmap &B)
{
    return B.Image().convertToFormat(QImage::Format_RGB888);
}

std::set<QRgb> DistinctColours(const QImage &I)
{
    std::set<QRgb> S;
    for (int Y = 0; Y < I.height(); ++Y)
        for (int X = 0; X < I.width(); ++X)
            S.insert(I.pixel(X, Y) | 0xFF000000u);
    return S;
}

double Psnr(const QImage &A0, const QImage &B0)
{
    const QImage A = A0.convertToFormat(QImage::Format_RGB888), B = B0.convertToFormat(QImage::Format_RGB888);
    if (A.size() != B.size())
        return -1;
    double Sum = 0;
    for (int Y = 0; Y < A.height(); ++Y) {
        const uint8_t *P = A.constScanLine(Y), *Q = B.constScanLine(Y);
        for (int X = 0; X < A.width() * 3; ++X)
            Sum += double(P[X] - Q[X]) * double(P[X] - Q[X]);
    }
    const double Mse = Sum / (double(A.width()) * A.height() * 3);
    return Mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / Mse);
}

QImage Blur(const QImage &Source)
{
    // A small binomial blur (1 4 6 4 1 each way): how the eye sees a dithered
    // picture from a little way off.
    static constexpr int K[5] = {1, 4, 6, 4, 1};
    const QImage S = Source.convertToFormat(QImage::Format_RGB888);
    const int W = S.width(), H = S.height();
    std::vector<int> Rows(size_t(W) * H * 3);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            for (int C = 0; C < 3; ++C) {
                int Sum = 0, N = 0;
                for (int D = -2; D <= 2; ++D) {
                    const int XX = std::clamp(X + D, 0, W - 1);
                    Sum += K[D + 2] * S.constScanLine(Y)[XX * 3 + C];
                    N += K[D + 2];
                }
                Rows[(size_t(Y) * W + X) * 3 + C] = Sum * 16 / N;
            }
    QImage Out(S.size(), QImage::Format_RGB888);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            for (int C = 0; C < 3; ++C) {
                int Sum = 0;
                for (int D = -2; D <= 2; ++D)
                    Sum += K[D + 2] * Rows[(size_t(std::clamp(Y + D, 0, H - 1)) * W + X) * 3 + C];
                Out.scanLine(Y)[X * 3 + C] = uint8_t((Sum + 128) / 256);
            }
    return Out;
}

QImage ReadRgb(const QString &File, int W, int H)
{
    ToolResult R = RunTool("convert", {File, "-depth", "8", "rgb:-"});
    EXPECT_EQ(R.Out.size(), qsizetype(W) * H * 3) << R.Err.toStdString();
    QImage I(W, H, QImage::Format_RGB888);
    for (int Y = 0; Y < H && R.Out.size() == qsizetype(W) * H * 3; ++Y)
        std::memcpy(I.scanLine(Y), R.Out.constData() + qsizetype(Y) * W * 3, size_t(W) * 3);
    return I;
}

} // namespace

TEST(GIFReduce, LookupsAndPalettesOfTheMethods)
{
    // Web cube: (47, 48, 255) is index 0 x 36 + 1 x 6 + 5 = 11, shown as (0, 51, 255).
    TNetscapeColorLookup Web;
    int R = 47, G = 48, B = 255;
    EXPECT_EQ(Web.Lookup(R, G, B), 11);
    EXPECT_EQ(qRgb(R, G, B), qRgb(0, 51, 255));
    auto Reduced = ReduceBitmap(Solid(2, 2, qRgb(47, 48, 255)), reduceWeb216, ditherNearest, {}, 8);
    EXPECT_EQ(Reduced->PixelFormat(), pf8bit);
    EXPECT_EQ(static_cast<const uint8_t *>(Reduced->ScanLine(1))[1], 11);
    EXPECT_EQ(Colours(*Reduced).pixel(0, 0), qRgb(0, 51, 255));

    // Monochrome: mid grey 127 is black, 128 white.
    EXPECT_EQ(Colours(*ReduceBitmap(Solid(1, 1, qRgb(127, 127, 127)), reduceMono, ditherNearest, {}, 8)).pixel(0, 0),
              qRgb(0, 0, 0));
    EXPECT_EQ(Colours(*ReduceBitmap(Solid(1, 1, qRgb(128, 128, 128)), reduceMono, ditherNearest, {}, 8)).pixel(0, 0),
              qRgb(255, 255, 255));
    // Greys and the fixed palettes.
    EXPECT_EQ(Colours(*ReduceBitmap(Solid(1, 1, qRgb(200, 100, 50)), reduceGray256, ditherNearest, {}, 8)).pixel(0, 0),
              qRgb(124, 124, 124));
    EXPECT_EQ(Colours(*ReduceBitmap(Solid(1, 1, qRgb(170, 170, 170)), reduceGray4, ditherNearest, {}, 8)).pixel(0, 0),
              qRgb(192, 192, 192));
    EXPECT_EQ(Colours(*ReduceBitmap(Solid(1, 1, qRgb(250, 10, 10)), reduceSystem20, ditherNearest, {}, 8)).pixel(0, 0),
              qRgb(255, 0, 0));
    EXPECT_EQ(GIFHalftonePalette().size(), 256);
    EXPECT_EQ(Colours(*ReduceBitmap(Solid(1, 1, qRgb(52, 101, 150)), reduceHalftone, ditherNearest, {}, 8)).pixel(0, 0),
              qRgb(51, 102, 153));
    EXPECT_EQ(Colours(*ReduceBitmap(Solid(1, 1, qRgb(10, 20, 30)), reduceGivenPalette, ditherNearest,
                                    {qRgb(0, 0, 0), qRgb(9, 21, 29)}, 8))
                  .pixel(0, 0),
              qRgb(9, 21, 29));
    // The nearest lookup takes the first of equally near entries.
    TFastColorLookup Near({qRgb(10, 0, 0), qRgb(0, 10, 0), qRgb(0, 0, 10)});
    R = 5, G = 5, B = 0;
    EXPECT_EQ(Near.Lookup(R, G, B), 0);

    // Methods outside 0..9, unknown dither modes and a given palette of the
    // wrong size are errors, not empty pictures.
    const TBitmap Any = Solid(3, 3, qRgb(1, 2, 3));
    EXPECT_THROW(ReduceBitmap(Any, 10, ditherNearest, {}, 8), GIFException);
    EXPECT_THROW(ReduceBitmap(Any, -1, ditherNearest, {}, 8), GIFException);
    EXPECT_THROW(ReduceBitmap(Any, reduceWeb216, 7, {}, 8), GIFException);
    EXPECT_THROW(ReduceBitmap(Any, reduceGivenPalette, ditherNearest, {}, 8), GIFException);
    EXPECT_THROW(ReduceBitmap(Any, reduceGivenPalette, ditherNearest, QVector<QRgb>(257, 0), 8), GIFException);
    // Method 0 is a 24-bit copy.
    EXPECT_EQ(ReduceBitmap(Any, reduceNone, 99, {}, 8)->PixelFormat(), pf24bit);
}

TEST(GIFReduce, OctreeNeverExceedsItsColours)
{
    // Eight colours that part at the first level: with 1 or 2 bits the tree
    // cannot be reduced below 8 leaves; the most used are kept.
    QImage I(8, 8, QImage::Format_RGB888);
    for (int Y = 0; Y < 8; ++Y)
        for (int X = 0; X < 8; ++X) {
            const int C = X < 4 + Y % 2 ? 0 : (X + Y) % 8;   // colour 0 the most used
            I.setPixel(X, Y, qRgb(C & 4 ? 250 : 5, C & 2 ? 250 : 5, C & 1 ? 250 : 5));
        }
    for (int Bits : {1, 2, 3, 4, 8}) {
        TColorQuantizer Q(1 << Bits, 8);
        for (int Y = 0; Y < 8; ++Y)
            for (int X = 0; X < 8; ++X)
                Q.AddColor(qRed(I.pixel(X, Y)), qGreen(I.pixel(X, Y)), qBlue(I.pixel(X, Y)));
        const QVector<QRgb> P = Q.Palette();
        EXPECT_LE(P.size(), 1 << Bits) << Bits;
        EXPECT_TRUE(P.contains(qRgb(5, 5, 5))) << Bits;
        auto Out = ReduceBitmap(Picture24(I), reduceOctree, ditherFloydSteinberg, {}, Bits);
        ASSERT_EQ(Out->Width(), 8);
        EXPECT_LE(DistinctColours(Colours(*Out)).size(), size_t(1) << Bits);
        for (int Y = 0; Y < 8; ++Y) {
            const uint8_t *Row = static_cast<const uint8_t *>(Out->ScanLine(Y));
            for (int X = 0; X < 8; ++X)
                EXPECT_LT(Row[X], 1 << Bits);
        }
    }
    // Method 7 with 4 bits: at most 16 entries on a picture of many colours.
    QImage Many(64, 64, QImage::Format_RGB888);
    for (int Y = 0; Y < 64; ++Y)
        for (int X = 0; X < 64; ++X)
            Many.setPixel(X, Y, qRgb(X * 4, Y * 4, (X ^ Y) * 4));
    EXPECT_LE(DistinctColours(Colours(*ReduceBitmap(Picture24(Many), reduceOctree, ditherNearest, {}, 4))).size(), 16u);
    // Method 8 keeps the system colours at both ends.
    auto Sys = ReduceBitmap(Picture24(Many), reduceOctreeSystem, ditherNearest, {}, 8);
    const QVector<QRgb> Table = Sys->ColorTable();
    ASSERT_EQ(Table.size(), 256);
    EXPECT_EQ(Table[0] | 0xFF000000u, qRgb(0, 0, 0));
    EXPECT_EQ(Table[255] | 0xFF000000u, qRgb(255, 255, 255));
    EXPECT_EQ(Table[9] | 0xFF000000u, qRgb(166, 202, 240));
}

TEST(GIFReduce, DitherersAtEveryWidth)
{
    // A 1 x 1 picture gives the nearest colour with every ditherer; narrow
    // pictures keep every kernel's reach inside its error rows.
    for (int Mode = ditherNearest; Mode <= ditherBurkes; ++Mode) {
        auto One = ReduceBitmap(Solid(1, 1, qRgb(47, 48, 255)), reduceWeb216, Mode, {}, 8);
        EXPECT_EQ(Colours(*One).pixel(0, 0), qRgb(0, 51, 255)) << Mode;
        for (int W : {1, 2, 3, 4, 7}) {
            QImage G(W, 9, QImage::Format_RGB888);
            for (int Y = 0; Y < 9; ++Y)
                for (int X = 0; X < W; ++X)
                    G.setPixel(X, Y, qRgb(X * 30 + Y * 20, 128, 255 - Y * 25));
            auto Out = ReduceBitmap(Picture24(G), reduceGray4, Mode, {}, 8);
            EXPECT_EQ(Out->Width(), W);
            EXPECT_LE(DistinctColours(Colours(*Out)).size(), 4u);
        }
    }
    // Error diffusion keeps the mean: a flat 50 % grey in black and white
    // comes out about half white.
    for (int Mode = ditherFloydSteinberg; Mode <= ditherBurkes; ++Mode) {
        const QImage Out = Colours(*ReduceBitmap(Solid(40, 40, qRgb(128, 128, 128)), reduceMono, Mode, {}, 8));
        int White = 0;
        for (int Y = 0; Y < 40; ++Y)
            for (int X = 0; X < 40; ++X)
                White += Out.pixel(X, Y) == qRgb(255, 255, 255);
        EXPECT_NEAR(White, 800, 60) << Mode;
    }
}

TEST(GIFReduce, DIBWriterHandsOverABitmap)
{
    TBitmap Target;
    EXPECT_THROW(TDIBWriter(&Target, pf4bit, 2, 2, {}), GIFException);
    EXPECT_THROW(TDIBWriter(&Target, pf8bit, 0, 2, {}), GIFException);
    {
        TDIBWriter Unused(&Target, pf24bit, 5, 5, {});
    }
    EXPECT_TRUE(Target.Empty()) << "a writer that was never used hands nothing over";
    {
        TDIBWriter W(&Target, pf8bit, 3, 2, {qRgb(255, 0, 0), qRgb(0, 0, 255)});
        W.ScanLine(0)[2] = 1;
        W.ScanLine(1)[0] = 1;
        EXPECT_THROW(W.ScanLine(2), EInvalidGraphicOperation);
    }
    ASSERT_EQ(Target.Width(), 3);
    ASSERT_EQ(Target.PixelFormat(), pf8bit);
    const QImage C = Colours(Target);
    EXPECT_EQ(C.pixel(2, 0), qRgb(0, 0, 255));
    EXPECT_EQ(C.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(C.pixel(0, 0), qRgb(255, 0, 0));
}

TEST(GIFReduce, QualityBesidePeers)
{
    if (!HavePeers())
        GTEST_SKIP() << "ImageMagick or Pillow missing";
    QTemporaryDir Dir;
    const int W = 400, H = 300;
    // A plasma fractal, a flat drawing and a rendered page.
    std::vector<std::pair<std::string, QImage>> Pictures;
    const QString Plasma = Dir.filePath("plasma.png");
    ASSERT_EQ(RunTool("convert", {"-seed", "3", "-size", "400x300", "plasma:fractal", Plasma}).Code, 0);
    Pictures.push_back({"plasma", ReadRgb(Plasma, W, H)});
    QImage Flat(W, H, QImage::Format_RGB888);
    Flat.fill(qRgb(250, 248, 240));
    {
        QPainter P(&Flat);
        P.setRenderHint(QPainter::Antialiasing);
        for (int I = 0; I < 12; ++I) {
            P.setBrush(QColor::fromHsv(I * 30, 200, 230));
            P.setPen(QPen(QColor::fromHsv(I * 30 + 15, 255, 120), 3));
            P.drawEllipse(QPointF(40 + I * 30, 60 + (I % 4) * 60), 35, 25);
        }
    }
    Pictures.push_back({"flat drawing", Flat});
    QImage Page(W, H, QImage::Format_RGB888);
    Page.fill(Qt::white);
    {
        QPainter P(&Page);
        QLinearGradient Grad(0, 0, W, 0);
        Grad.setColorAt(0, QColor(30, 60, 160));
        Grad.setColorAt(1, QColor(200, 220, 255));
        P.fillRect(0, 0, W, 50, Grad);
        P.setPen(Qt::black);
        P.setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 11));
        for (int L = 0; L < 12; ++L)
            P.drawText(12, 70 + L * 18, QStringLiteral("产品目录 Catalog line %1: price 12.50, weight 3 kg").arg(L));
        P.fillRect(300, 80, 80, 60, QColor(200, 40, 40));
    }
    Pictures.push_back({"rendered page", Page});

    for (const auto &[Name, Image] : Pictures) {
        SCOPED_TRACE(Name);
        const QString Source = Dir.filePath("source.png");
        ASSERT_TRUE(Image.save(Source));
        // Octree with 256 colours, no dither, against both peers.
        auto Ours = ReduceBitmap(Picture24(Image), reduceOctree, ditherNearest, {}, 8);
        const double OurPsnr = Psnr(Image, Colours(*Ours));
        const QString Magick = Dir.filePath("magick.png");
        ASSERT_EQ(RunTool("convert", {Source, "+dither", "-colors", "256", Magick}).Code, 0);
        const double MagickPsnr = Psnr(Image, ReadRgb(Magick, W, H));
        const QString Pil = Dir.filePath("pil.png");
        const QString FastPil = Dir.filePath("fastpil.png");
        ToolResult P = RunTool(PillowPython(),
                               {"-c",
                                "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1]).convert('RGB')\n"
                                "im.quantize(256, dither=0).convert('RGB').save(sys.argv[2])\n"
                                "im.quantize(256, method=2, dither=0).convert('RGB').save(sys.argv[3])\n",
                                Source, Pil, FastPil});
        ASSERT_EQ(P.Code, 0) << P.Err.toStdString();
        const double PilPsnr = Psnr(Image, ReadRgb(Pil, W, H));
        const double FastPsnr = Psnr(Image, ReadRgb(FastPil, W, H));
        std::printf("%s: octree %.2f dB, ImageMagick %.2f, Pillow median cut %.2f, fast octree %.2f\n", Name.c_str(),
                    OurPsnr, MagickPsnr, PilPsnr, FastPsnr);
        // The nearest lookup shares one entry among the colours of each 15-bit
        // cell: on anti-aliased text that alone costs about 6 dB per channel
        // step, so the page only has to stay clear of plainly wrong colours.
        const bool Smooth = Name != "rendered page";
        if (Smooth) {
            EXPECT_GE(OurPsnr, FastPsnr - 0.05);
            EXPECT_GE(OurPsnr, MagickPsnr - 3);
        } else {
            EXPECT_GE(OurPsnr, 32);
            continue;
        }

        // Every ditherer with our palette beside ImageMagick's Floyd-Steinberg
        // with the same palette, seen through a small blur.
        const QVector<QRgb> Palette = Ours->ColorTable().mid(0, 256);
        QImage Swatch(int(Palette.size()), 1, QImage::Format_RGB888);
        for (int I = 0; I < Palette.size(); ++I)
            Swatch.setPixel(I, 0, Palette[I]);
        const QString Map = Dir.filePath("palette.png");
        ASSERT_TRUE(Swatch.save(Map));
        const QString Dithered = Dir.filePath("dithered.png");
        ASSERT_EQ(RunTool("convert", {Source, "-dither", "FloydSteinberg", "-remap", Map, Dithered}).Code, 0);
        const QImage Blurred = Blur(Image);
        const double MagickDither = Psnr(Blurred, Blur(ReadRgb(Dithered, W, H)));
        for (int Mode = ditherFloydSteinberg; Mode <= ditherBurkes; ++Mode) {
            const double Ditherer =
                Psnr(Blurred, Blur(Colours(*ReduceBitmap(Picture24(Image), reduceGivenPalette, Mode, Palette, 8))));
            std::printf("  ditherer %d: %.2f dB (ImageMagick %.2f)\n", Mode, Ditherer, MagickDither);
            // Kernels wider than Floyd-Steinberg's spread the error further and
            // score a little lower under a small blur.
            const bool Narrow = Mode == ditherFloydSteinberg || Mode == ditherBurkes;
            EXPECT_GE(Ditherer, MagickDither - (Narrow ? 1 : 2.5)) << "ditherer " << Mode;
        }
    }
}
