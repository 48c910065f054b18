// Bitmaps (BMP files), JPEG pictures checked against cjpeg/djpeg, and the
// picture class registry.
#include "platform/graphics/Jpeg.h"

#include "TestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace TestSupport;

namespace {

// A test pattern: four quadrants red, green, blue and white.
QRgb Quadrant(int X, int Y, int W, int H)
{
    const bool Right = X >= W / 2, Bottom = Y >= H / 2;
    if (!Right && !Bottom)
        return qRgb(255, 0, 0);
    if (Right && !Bottom)
        return qRgb(0, 255, 0);
    if (!Right && Bottom)
        return qRgb(0, 0, 255);
    return qRgb(255, 255, 255);
}

QImage Pattern(int W, int H)
{
    QImage Img(W, H, QImage::Format_RGB32);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            Img.setPixel(X, Y, Quadrant(X, Y, W, H));
    return Img;
}

QByteArray Ppm(const QImage &Img)
{
    QByteArray Out = QStringLiteral("P6\n%1 %2\n255\n").arg(Img.width()).arg(Img.height()).toLatin1();
    for (int Y = 0; Y < Img.height(); ++Y)
        for (int X = 0; X < Img.width(); ++X) {
            const QRgb C = Img.pixel(X, Y);
            Out.append(char(qRed(C))).append(char(qGreen(C))).append(char(qBlue(C)));
        }
    return Out;
}

// Reads a binary PPM as djpeg writes it.
QImage ReadPpm(const QByteArray &Data)
{
    QList<QByteArray> Fields;
    int Pos = 0;
    while (Fields.size() < 4 && Pos < Data.size()) {
        while (Pos < Data.size() && QChar(Data[Pos]).isSpace())
            ++Pos;
        int Start = Pos;
        while (Pos < Data.size() && !QChar(Data[Pos]).isSpace())
            ++Pos;
        Fields << Data.mid(Start, Pos - Start);
    }
    ++Pos;
    if (Fields.size() < 4 || Fields[0] != "P6")
        return QImage();
    const int W = Fields[1].toInt(), H = Fields[2].toInt();
    QImage Img(W, H, QImage::Format_RGB32);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            const int I = Pos + 3 * (Y * W + X);
            if (I + 2 >= Data.size())
                return QImage();
            Img.setPixel(X, Y, qRgb(uchar(Data[I]), uchar(Data[I + 1]), uchar(Data[I + 2])));
        }
    return Img;
}

bool Near(QRgb A, QRgb B, int Tolerance = 40)
{
    return std::abs(qRed(A) - qRed(B)) <= Tolerance && std::abs(qGreen(A) - qGreen(B)) <= Tolerance
        && std::abs(qBlue(A) - qBlue(B)) <= Tolerance;
}

// The centres of the four quadrants match the pattern.
void ExpectPattern(const QImage &Img)
{
    const int W = Img.width(), H = Img.height();
    for (int Q = 0; Q < 4; ++Q) {
        const int X = (Q % 2) ? (3 * W) / 4 : W / 4, Y = (Q / 2) ? (3 * H) / 4 : H / 4;
        EXPECT_TRUE(Near(Img.pixel(X, Y), Quadrant(X, Y, W, H)))
            << "quadrant " << Q << " of " << W << "x" << H << ": " << std::hex << Img.pixel(X, Y);
    }
}

QString MakeJpeg(const TempDir &Dir, int W, int H)
{
    WriteAll(Dir.File(QStringLiteral("in.ppm")), Ppm(Pattern(W, H)));
    const QString Out = Dir.File(QStringLiteral("pattern.jpg"));
    const int Rc = RunProgram(QStringLiteral("cjpeg"),
                              {QStringLiteral("-quality"), QStringLiteral("95"), QStringLiteral("-outfile"), Out,
                               Dir.File(QStringLiteral("in.ppm"))});
    return Rc == 0 ? Out : QString();
}

QByteArray SaveBytes(TGraphic &G)
{
    TMemoryStream M;
    G.SaveToStream(&M);
    return M.Bytes();
}

} // namespace

TEST(Jpeg, DecodesPeerFilesAtEveryScale)
{
    if (!HaveProgram(QStringLiteral("cjpeg")))
        GTEST_SKIP() << "cjpeg not installed";
    TempDir Dir;
    const QString File = MakeJpeg(Dir, 67, 45);
    ASSERT_FALSE(File.isEmpty());
    const struct {
        TJPEGScale Scale;
        int W, H;
    } Cases[] = {{jsFullSize, 67, 45}, {jsHalf, 34, 23}, {jsQuarter, 17, 12}, {jsEighth, 9, 6}};
    for (TJPEGPerformance Perf : {jpBestQuality, jpBestSpeed}) {
        for (const auto &C : Cases) {
            TJPEGImage J;
            J.SetScale(C.Scale);
            J.SetPerformance(Perf);
            J.LoadFromFile(File);
            EXPECT_EQ(J.ImageWidth(), 67);
            EXPECT_EQ(J.Width(), C.W);          // known from the header, before decoding
            EXPECT_EQ(J.Height(), C.H);
            TBitmap B;
            B.Assign(&J);
            EXPECT_EQ(B.Width(), C.W);
            EXPECT_EQ(B.Height(), C.H);
            EXPECT_EQ(B.PixelFormat(), pf24bit);
            ExpectPattern(B.Image());
        }
    }
    // Grayscale decoding gives an 8-bit grey bitmap.
    TJPEGImage J;
    J.SetGrayscale(true);
    J.LoadFromFile(File);
    TBitmap B;
    B.Assign(&J);
    EXPECT_EQ(B.PixelFormat(), pf8bit);
    const QRgb Red = B.Image().pixel(5, 5);
    EXPECT_EQ(qRed(Red), qGreen(Red));
    // Drawing stretches the decoded picture into the rectangle.
    TBitmap Target(20, 10);
    Target.Canvas()->StretchDraw(Rect(0, 0, 20, 10), &J);
    EXPECT_EQ(qRed(Target.Image().pixel(3, 3)), qGreen(Target.Image().pixel(3, 3)));
}

TEST(Jpeg, KeepsOriginalBytesUntilChanged)
{
    if (!HaveProgram(QStringLiteral("cjpeg")))
        GTEST_SKIP() << "cjpeg not installed";
    TempDir Dir;
    const QString File = MakeJpeg(Dir, 32, 32);
    ASSERT_FALSE(File.isEmpty());
    const QByteArray Original = ReadAll(File);
    TJPEGImage J;
    J.LoadFromFile(File);
    J.SetCompressionQuality(10);
    J.SetScale(jsQuarter);
    J.DIBNeeded();
    EXPECT_EQ(SaveBytes(J), Original);
    TJPEGImage Copy;
    Copy.Assign(&J);
    EXPECT_EQ(SaveBytes(Copy), Original);
    // Through a picture loaded by extension, too.
    TPicture P;
    P.LoadFromFile(File);
    ASSERT_NE(dynamic_cast<TJPEGImage *>(P.Graphic()), nullptr);
    P.SaveToFile(Dir.File(QStringLiteral("again.jpg")));
    EXPECT_EQ(ReadAll(Dir.File(QStringLiteral("again.jpg"))), Original);
}

TEST(Jpeg, LoadsTheRestOfAStreamFromItsPosition)
{
    if (!HaveProgram(QStringLiteral("cjpeg")))
        GTEST_SKIP() << "cjpeg not installed";
    TempDir Dir;
    const QString File = MakeJpeg(Dir, 16, 8);
    ASSERT_FALSE(File.isEmpty());
    const QByteArray Original = ReadAll(File);
    const QByteArray Prefixed = "prefix" + Original;

    TMemoryStream M;
    M.WriteBytes(Prefixed);
    M.SetPosition(6);
    TJPEGImage J;
    J.LoadFromStream(&M);
    EXPECT_EQ(J.ImageWidth(), 16);
    EXPECT_EQ(SaveBytes(J), Original);

    const QString Both = Dir.File(QStringLiteral("prefixed.bin"));
    WriteAll(Both, Prefixed);
    TFileStream F(Both, fmOpenRead);
    F.SetPosition(6);
    TJPEGImage K;
    K.LoadFromStream(&F);
    EXPECT_EQ(F.Position(), Prefixed.size());
    EXPECT_EQ(K.ImageHeight(), 8);
    // What a memory stream receives is its own copy to change.
    TMemoryStream Out;
    K.SaveToStream(&Out);
    Out.Memory()[0] = 'x';
    EXPECT_EQ(SaveBytes(K), Original);
}

TEST(Jpeg, EncodesFilesPeersRead)
{
    if (!HaveProgram(QStringLiteral("djpeg")))
        GTEST_SKIP() << "djpeg not installed";
    TempDir Dir;
    TBitmap B;
    B.SetImage(Pattern(50, 30));
    TJPEGImage J;
    J.Assign(&B);
    EXPECT_EQ(J.Width(), 50);
    J.SetCompressionQuality(80);
    J.SaveToFile(Dir.File(QStringLiteral("ours.jpg")));
    QByteArray Out;
    ASSERT_EQ(RunProgram(QStringLiteral("djpeg"), {QStringLiteral("-pnm"), Dir.File(QStringLiteral("ours.jpg"))}, &Out), 0);
    const QImage Back = ReadPpm(Out);
    ASSERT_EQ(Back.size(), QSize(50, 30));
    ExpectPattern(Back);

    // Lower quality makes a smaller file; the quality is clamped to 1..100.
    TJPEGImage Low;
    Low.SetCompressionQuality(0);
    EXPECT_EQ(Low.CompressionQuality(), 1);
    Low.Assign(&B);
    EXPECT_LT(SaveBytes(Low).size(), ReadAll(Dir.File(QStringLiteral("ours.jpg"))).size());
    // Grayscale encoding writes one component.
    TJPEGImage Gray;
    Gray.SetGrayscale(true);
    Gray.Assign(&B);
    Gray.Compress();
    EXPECT_TRUE(Gray.IsGrayscaleFile());
}

TEST(Jpeg, DamagedDataRaisesInvalidGraphic)
{
    TempDir Dir;
    TBitmap B;
    B.SetImage(Pattern(40, 40));
    TJPEGImage J;
    J.Assign(&B);
    const QByteArray Good = SaveBytes(J);
    ASSERT_GT(Good.size(), 200);

    const QList<QByteArray> Bad = {
        QByteArray(),                               // empty
        QByteArray("not a jpeg at all"),
        Good.left(2),                               // only the start marker
        Good.left(40),                              // cut inside the headers
        [&] { QByteArray D = Good; for (int I = 2; I < 60; ++I) D[I] = char(0xFF); return D; }(),
    };
    for (const QByteArray &Data : Bad) {
        WriteAll(Dir.File(QStringLiteral("bad.jpg")), Data);
        TJPEGImage X;
        EXPECT_THROW(X.LoadFromFile(Dir.File(QStringLiteral("bad.jpg"))), EInvalidGraphic) << Data.size();
        EXPECT_TRUE(X.Empty());
    }
    // Damage inside the scan: either it decodes (the rest grey) or raises; never crashes.
    QByteArray Mid = Good;
    for (int I = Good.size() / 2; I < Good.size() - 2; ++I)
        Mid[I] = char(I * 37);
    WriteAll(Dir.File(QStringLiteral("mid.jpg")), Mid);
    TJPEGImage M;
    try {
        M.LoadFromFile(Dir.File(QStringLiteral("mid.jpg")));
        M.DIBNeeded();
    } catch (const EInvalidGraphic &) {
    }
    // A picture loading a damaged file keeps what it had.
    TPicture P;
    P.SetGraphic(&B);
    WriteAll(Dir.File(QStringLiteral("bad.jpg")), "garbage");
    EXPECT_THROW(P.LoadFromFile(Dir.File(QStringLiteral("bad.jpg"))), EInvalidGraphic);
    EXPECT_EQ(P.Width(), 40);
}

TEST(Bitmap, BmpRoundTripAtEveryDepth)
{
    TempDir Dir;
    const QImage Src = Pattern(13, 7);   // odd width: row padding matters
    for (TPixelFormat F : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
        TBitmap B;
        B.SetImage(Src);
        B.SetPixelFormat(F);
        B.Canvas()->SetPixels(0, 6, clBlack);
        const QString File = Dir.File(QStringLiteral("p%1.bmp").arg(int(F)));
        B.SaveToFile(File);
        // The header says what depth was written; Qt's own reader agrees on the pixels.
        const QByteArray Data = ReadAll(File);
        const int Bits = uchar(Data[28]) | (uchar(Data[29]) << 8);
        const int Want[] = {24, 1, 4, 8, 16, 16, 24, 32};
        EXPECT_EQ(Bits, Want[F]) << F;
        TBitmap Back;
        Back.LoadFromFile(File);
        EXPECT_EQ(Back.Width(), 13);
        EXPECT_EQ(Back.Height(), 7);
        EXPECT_EQ(Back.PixelFormat(), F == pfDevice ? pf24bit : F);
        const QImage A = B.Image().convertToFormat(QImage::Format_RGB32);
        const QImage C = Back.Image().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(A, C) << F;
        EXPECT_EQ(Back.Image().pixel(0, 6) & 0xFFFFFF, 0u) << F;
        QImage Peer;
        ASSERT_TRUE(Peer.load(File, "BMP")) << F;
        // 5-bit channels widen to 8 bits a little differently in each reader.
        const QImage PeerRgb = Peer.convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(PeerRgb.size(), C.size());
        for (int Y = 0; Y < C.height(); ++Y)
            for (int X = 0; X < C.width(); ++X)
                ASSERT_TRUE(Near(PeerRgb.pixel(X, Y), C.pixel(X, Y), 8)) << F << " at " << X << "," << Y;
        if (F >= pf15bit)
            ExpectPattern(C);
    }
}

TEST(Bitmap, ReadsRleAndRejectsDamagedFiles)
{
    // A 4 x 2 RLE8 bitmap: bottom row 1 1 2 2, top row absolute 3 0 3 0.
    QByteArray Pixels = QByteArray::fromHex("02010202" "0000" "0004" "03000300" "0001");
    QByteArray File;
    auto Put32 = [&](quint32 V) { for (int I = 0; I < 4; ++I) File.append(char(V >> (8 * I))); };
    auto Put16 = [&](quint16 V) { File.append(char(V)).append(char(V >> 8)); };
    const quint32 Off = 14 + 40 + 4 * 4;
    File.append("BM");
    Put32(Off + Pixels.size());
    Put32(0);
    Put32(Off);
    Put32(40); Put32(4); Put32(2); Put16(1); Put16(8); Put32(1); Put32(Pixels.size());
    Put32(0); Put32(0); Put32(4); Put32(0);
    for (QRgb C : {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)})
        File.append(char(qBlue(C))).append(char(qGreen(C))).append(char(qRed(C))).append(char(0));
    File.append(Pixels);
    TempDir Dir;
    WriteAll(Dir.File(QStringLiteral("rle.bmp")), File);
    TBitmap B;
    B.LoadFromFile(Dir.File(QStringLiteral("rle.bmp")));
    ASSERT_EQ(B.Width(), 4);
    EXPECT_EQ(B.PixelFormat(), pf8bit);
    EXPECT_EQ(B.Canvas()->Pixels(0, 1), clRed);
    EXPECT_EQ(B.Canvas()->Pixels(3, 1), clLime);
    EXPECT_EQ(B.Canvas()->Pixels(0, 0), clBlue);
    EXPECT_EQ(B.Canvas()->Pixels(1, 0), clBlack);

    // Damaged headers and short pixel data raise and never crash.
    QList<QByteArray> Bad;
    Bad << QByteArray("BM") << File.left(30) << File.left(File.size() - 60);
    QByteArray Huge = File;
    Huge[18] = char(0xFF); Huge[19] = char(0xFF); Huge[20] = char(0xFF); Huge[21] = char(0x7F);
    Bad << Huge;
    QByteArray Depth = File;
    Depth[28] = 7;
    Bad << Depth;
    QByteArray Colours = File;
    Colours[46] = char(0xFF); Colours[47] = char(0xFF);
    Bad << Colours;
    TBitmap Plain(2, 2);
    Plain.SetPixelFormat(pf24bit);
    TMemoryStream M;
    Plain.SaveToStream(&M);
    Bad << M.Bytes().left(M.Bytes().size() - 5);
    for (const QByteArray &Data : Bad) {
        WriteAll(Dir.File(QStringLiteral("bad.bmp")), Data);
        TBitmap X;
        EXPECT_THROW(X.LoadFromFile(Dir.File(QStringLiteral("bad.bmp"))), EInvalidGraphic) << Data.size();
    }
}

TEST(Bitmap, CanvasScanLinesAndTransparency)
{
    TBitmap B(4, 3);
    EXPECT_EQ(B.Canvas()->Pixels(3, 2), clWhite);      // new pixels are white
    B.SetPixelFormat(pf24bit);
    B.Canvas()->SetPixels(1, 0, RGB(10, 20, 30));
    const uchar *Row = static_cast<const uchar *>(B.ScanLine(0));
    EXPECT_EQ(Row[3], 30);                             // B, G, R order
    EXPECT_EQ(Row[4], 20);
    EXPECT_EQ(Row[5], 10);
    EXPECT_THROW(B.ScanLine(3), EInvalidGraphicOperation);
    B.SetSize(6, 3);                                   // keeps the pixels it had
    EXPECT_EQ(B.Canvas()->Pixels(1, 0), RGB(10, 20, 30));
    EXPECT_EQ(B.Canvas()->Pixels(5, 0), clWhite);

    // A paletted bitmap is painted in colour and maps back to its table.
    TBitmap P(8, 8);
    P.SetPixelFormat(pf8bit);
    P.Canvas()->Brush()->SetColor(clRed);
    P.Canvas()->FillRect(Rect(0, 0, 4, 8));
    EXPECT_EQ(P.PixelFormat(), pf8bit);
    EXPECT_EQ(P.Image().format(), QImage::Format_Indexed8);
    EXPECT_EQ(P.Canvas()->Pixels(1, 1), clRed);
    EXPECT_EQ(P.Canvas()->Pixels(6, 1), clWhite);

    // Transparent drawing leaves out the bottom-left pixel's colour.
    TBitmap T(3, 3);
    T.Canvas()->Brush()->SetColor(clLime);
    T.Canvas()->FillRect(Rect(0, 0, 3, 3));
    T.Canvas()->SetPixels(1, 1, clRed);
    T.SetTransparent(true);
    EXPECT_EQ(T.TransparentColor(), clLime);
    TBitmap Back(3, 3);
    Back.Canvas()->Brush()->SetColor(clBlue);
    Back.Canvas()->FillRect(Rect(0, 0, 3, 3));
    Back.Canvas()->Draw(0, 0, &T);
    EXPECT_EQ(Back.Canvas()->Pixels(0, 0), clBlue);
    EXPECT_EQ(Back.Canvas()->Pixels(1, 1), clRed);

    // A copy does not share later painting.
    TBitmap Copy(T);
    T.Canvas()->SetPixels(0, 0, clBlack);
    EXPECT_EQ(Copy.Canvas()->Pixels(0, 0), clLime);
    int Changes = 0;
    T.OnChange = [&](TObject *) { ++Changes; };
    T.Canvas()->SetPixels(2, 2, clBlack);
    EXPECT_GE(Changes, 1);
}

TEST(Picture, RegistryByExtension)
{
    const QString Filter = TPicture::GraphicFilter();
    EXPECT_TRUE(Filter.startsWith(QStringLiteral("All (*.jpg;*.jpeg;*.bmp;*.ico)|*.jpg;*.jpeg;*.bmp;*.ico|")));
    EXPECT_TRUE(Filter.contains(QStringLiteral("|Bitmaps (*.bmp)|*.bmp")));
    EXPECT_EQ(TPicture::GraphicFileMask([](const TGraphic &G) { return dynamic_cast<const TBitmap *>(&G) != nullptr; }),
              QStringLiteral("*.bmp"));

    TempDir Dir;
    TBitmap B(5, 4);
    B.SaveToFile(Dir.File(QStringLiteral("UPPER.BMP")));
    TPicture P;
    int Changes = 0;
    P.OnChange = [&](TObject *) { ++Changes; };
    P.LoadFromFile(Dir.File(QStringLiteral("UPPER.BMP")));
    EXPECT_NE(dynamic_cast<TBitmap *>(P.Graphic()), nullptr);
    EXPECT_EQ(P.Width(), 5);
    EXPECT_GE(Changes, 1);

    WriteAll(Dir.File(QStringLiteral("a.xyz")), "data");
    try {
        P.LoadFromFile(Dir.File(QStringLiteral("a.xyz")));
        FAIL() << "no exception";
    } catch (const EInvalidGraphic &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("Unknown picture file extension (.xyz)"));
    }

    // A later registration is used and listed first; unregistering removes it.
    TPicture::RegisterFileFormat(QStringLiteral(".XYZ"), QStringLiteral("Test Picture"),
                                 [] { return std::make_unique<TBitmap>(); });
    EXPECT_TRUE(TPicture::GraphicFilter().startsWith(QStringLiteral("All (*.xyz;")));
    EXPECT_NE(TPicture::CreateGraphicForExtension(QStringLiteral("Xyz")), nullptr);
    TPicture::UnregisterGraphicClass(QStringLiteral("TBitmap"));
    EXPECT_EQ(TPicture::CreateGraphicForExtension(QStringLiteral("xyz")), nullptr);
    EXPECT_EQ(TPicture::CreateGraphicForExtension(QStringLiteral("bmp")), nullptr);
    TPicture::RegisterFileFormat(QStringLiteral("bmp"), QStringLiteral("Bitmaps"), [] { return std::make_unique<TBitmap>(); });

    // Graphic copies; Bitmap replaces another class by an empty bitmap.
    TJPEGImage J;
    P.SetGraphic(&J);
    EXPECT_NE(P.Graphic(), &J);
    EXPECT_NE(dynamic_cast<TJPEGImage *>(P.Graphic()), nullptr);
    EXPECT_TRUE(P.Bitmap()->Empty());
    TIcon Icon;
    EXPECT_THROW(Icon.Assign(&B), EConvertError);

    // Clipboard formats: bitmaps travel as BMP bytes; unknown formats are refused.
    QString Format;
    QByteArray Data;
    TPicture Src;
    Src.Bitmap()->SetSize(3, 2);
    Src.SaveToClipboardFormat(Format, Data);
    EXPECT_EQ(Format, QString::fromLatin1(CF_BITMAP));
    EXPECT_TRUE(Data.startsWith("BM"));
    TPicture Dst;
    Dst.LoadFromClipboardFormat(Format, Data);
    EXPECT_EQ(Dst.Width(), 3);
    EXPECT_THROW(Dst.LoadFromClipboardFormat(QStringLiteral("Nothing"), Data), EInvalidGraphic);
    EXPECT_THROW(Dst.LoadFromClipboardFormat(Format, QByteArray("BMxx")), EInvalidGraphic);
    EXPECT_EQ(Dst.Width(), 3);
    EXPECT_FALSE(TPicture::SupportsClipboardFormat(QStringLiteral("Nothing")));
}
