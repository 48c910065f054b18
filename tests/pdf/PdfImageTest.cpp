// Image objects from JPEG files and bitmaps, checked with pdfimages and pdftoppm.

#include "PdfTestSupport.h"
#include "TestSupport.h"
#include "pdf/PdfImages.h"

#include <gtest/gtest.h>

using namespace PdfTest;

namespace {

// Left half red, right half blue.
int TwoColours(int X, int Y, int C, int Width)
{
    (void)Y;
    static const int Red[3] = {255, 0, 0};
    static const int Blue[3] = {0, 0, 255};
    return X < Width / 2 ? Red[C] : Blue[C];
}

std::unique_ptr<TJPEGImage> LoadJpeg(const QString &FileName)
{
    auto Jpeg = std::make_unique<TJPEGImage>();
    Jpeg->LoadFromFile(FileName);
    return Jpeg;
}

QByteArray AttributesText(TPdfImage &Image)
{
    Image.SetObjectNumber(1);
    TMemoryStream S;
    Image.WriteAsObject(&S);
    const QByteArray All = S.Bytes();
    return All.left(All.indexOf("stream\r\n"));
}

// A document of one page of Width x Height with the image drawn at (X, Y) from the top left.
QByteArray DocumentWith(std::unique_ptr<TPdfImage> Image, int Width, int Height, int X, int Y)
{
    TPdfDoc Doc;
    Doc.OpenDocument();
    Doc.AddPage();
    TPdfCanvas *C = Doc.GetCanvas();
    C->SetPageWidth(Width);
    C->SetPageHeight(Height);
    const int W = Image->Attributes()->PdfNumberByName("Width")->Value();
    const int H = Image->Attributes()->PdfNumberByName("Height")->Value();
    Doc.AddImage("Im1", std::move(Image));
    C->DrawXObject(X, Height - Y - H, W, H, "Im1");
    return SaveToBytes(Doc);
}

} // namespace

TEST(PdfJpegImage, EmbedsTheFileUnchangedWithItsColourModel)
{
    TestSupport::TempDir Dir;
    struct Case {
        int Components;
        const char *ColorSpace;
    };
    for (Case K : {Case{1, "/DeviceGray"}, Case{3, "/DeviceRGB"}, Case{4, "/DeviceCMYK"}}) {
        const QString File = Dir.File(QStringLiteral("c%1.jpg").arg(K.Components));
        WriteJpeg(File, 60, 40, K.Components, [](int X, int, int C) { return (X * 4 + C * 60) % 256; });
        auto Jpeg = LoadJpeg(File);
        auto Image = MakePdfImage(Jpeg.get(), "Pdf-Jpeg");
        EXPECT_EQ(Image->Stream()->Bytes(), TestSupport::ReadAll(File)) << K.Components;
        const QByteArray Text = AttributesText(*Image);
        EXPECT_TRUE(Text.contains(QByteArray("/Filter [/DCTDecode ]\r\n/Type /XObject\r\n/Subtype /Image\r\n/ColorSpace ")
                                  + K.ColorSpace + "\r\n/Width 60\r\n/Height 40\r\n/BitsPerComponent 8\r\n"))
            << Text.constData();
        EXPECT_EQ(Text.contains("/Decode [1 0 1 0 1 0 1 0 ]"), K.Components == 4) << Text.constData();
    }
}

TEST(PdfJpegImage, PeersGetTheJpegBackAndShowItAtItsPlace)
{
    if (!HavePeer(QStringLiteral("pdfimages")) || !HavePeer(QStringLiteral("pdftoppm")) || !HavePeer(QStringLiteral("qpdf")))
        GTEST_SKIP() << "poppler-utils or qpdf missing";
    TestSupport::TempDir Dir;
    const QString Jpg = Dir.File(QStringLiteral("pic.jpg"));
    WriteJpeg(Jpg, 120, 80, 3, [](int X, int Y, int C) { return TwoColours(X, Y, C, 120); });
    auto Jpeg = LoadJpeg(Jpg);
    const QString Pdf = Dir.File(QStringLiteral("pic.pdf"));
    WriteFile(Pdf, DocumentWith(MakePdfImage(Jpeg.get(), "Pdf-Jpeg"), 200, 160, 33, 40));

    QByteArray Out;
    EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Pdf}, &Out), 0) << Out.constData();
    ASSERT_EQ(RunPeer(QStringLiteral("pdfimages"), {QStringLiteral("-list"), Pdf}, &Out), 0);
    const QString List = QString::fromUtf8(Out).simplified();
    EXPECT_TRUE(List.contains(QStringLiteral("1 0 image 120 80 rgb 3 8 jpeg"))) << Out.constData();

    ASSERT_EQ(RunPeer(QStringLiteral("pdfimages"), {QStringLiteral("-j"), Pdf, Dir.File(QStringLiteral("out"))}, &Out), 0);
    EXPECT_EQ(TestSupport::ReadAll(Dir.File(QStringLiteral("out-000.jpg"))), TestSupport::ReadAll(Jpg));

    const Rendered Page = RenderPage(Pdf, 1);
    ASSERT_TRUE(Page.Valid());
    EXPECT_EQ(Page.Width, 200);
    EXPECT_EQ(Page.Height, 160);
    EXPECT_TRUE(Page.Near(33 + 10, 40 + 10, 255, 0, 0));     // red half
    EXPECT_TRUE(Page.Near(33 + 110, 40 + 70, 0, 0, 255));    // blue half
    EXPECT_TRUE(Page.Near(33 + 119, 40 + 79, 0, 0, 255));    // the last column and row are shown
    EXPECT_TRUE(Page.Near(20, 20, 255, 255, 255));           // outside: white
    EXPECT_TRUE(Page.Near(33 + 125, 40 + 40, 255, 255, 255));
}

TEST(PdfJpegImage, GreyAndAdobeCmykRenderInTheirColours)
{
    if (!HavePeer(QStringLiteral("pdftoppm")))
        GTEST_SKIP() << "pdftoppm missing";
    TestSupport::TempDir Dir;
    const QString Grey = Dir.File(QStringLiteral("grey.jpg"));
    WriteJpeg(Grey, 40, 40, 1, [](int, int, int) { return 64; });
    const QString Pdf1 = Dir.File(QStringLiteral("grey.pdf"));
    auto G = LoadJpeg(Grey);
    WriteFile(Pdf1, DocumentWith(MakePdfImage(G.get(), "Pdf-Jpeg"), 100, 100, 10, 10));
    const Rendered P1 = RenderPage(Pdf1, 1);
    ASSERT_TRUE(P1.Valid());
    EXPECT_TRUE(P1.Near(30, 30, 64, 64, 64, 8));

    // Inverted CMYK as written with the Adobe marker: stored 0 is full ink.
    // Full cyan must show as cyan, not as its inverse.
    const QString Cmyk = Dir.File(QStringLiteral("cmyk.jpg"));
    WriteJpeg(Cmyk, 40, 40, 4, [](int, int, int C) { return C == 0 ? 0 : 255; });
    const QString Pdf2 = Dir.File(QStringLiteral("cmyk.pdf"));
    auto K = LoadJpeg(Cmyk);
    WriteFile(Pdf2, DocumentWith(MakePdfImage(K.get(), "Pdf-Jpeg"), 100, 100, 10, 10));
    const Rendered P2 = RenderPage(Pdf2, 1);
    ASSERT_TRUE(P2.Valid());
    EXPECT_LT(P2.R(30, 30), 80);
    EXPECT_GT(P2.G(30, 30), 120);
    EXPECT_GT(P2.B(30, 30), 180);
}

TEST(PdfJpegImage, DamagedOrForeignPicturesAreRefused)
{
    TestSupport::TempDir Dir;
    const QString Good = Dir.File(QStringLiteral("good.jpg"));
    WriteJpeg(Good, 64, 64, 3, [](int X, int Y, int C) { return (X * Y + C) % 256; });
    const QByteArray Bytes = TestSupport::ReadAll(Good);
    const QString Cut = Dir.File(QStringLiteral("cut.jpg"));
    TestSupport::WriteAll(Cut, Bytes.left(Bytes.size() / 2));
    // Refused either by the picture when loaded or by the image object: never embedded.
    bool Refused = false;
    try {
        auto Jpeg = LoadJpeg(Cut);
        MakePdfImage(Jpeg.get(), "Pdf-Jpeg");
    } catch (const EInvalidGraphic &) {
        Refused = true;
    } catch (const EPdfInvalidImageFormat &) {
        Refused = true;
    }
    EXPECT_TRUE(Refused);

    TBitmap Bitmap(4, 4);
    try {
        MakePdfImage(&Bitmap, "Pdf-Jpeg");
        ADD_FAILURE();
    } catch (const EPdfInvalidValue &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("only jpeg image is allowed."));
    }
    try {
        MakePdfImage(&Bitmap, "Pdf-Gif");
        ADD_FAILURE();
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("AddImage --InvalidImageClassName:Pdf-Gif"));
    }
}

TEST(PdfBitmapImage, TrueColourAndPalettePixels)
{
    TBitmap True(3, 2);
    True.SetPixelFormat(pf24bit);
    True.Canvas()->SetPixels(0, 0, RGB(255, 0, 0));
    True.Canvas()->SetPixels(1, 0, RGB(0, 255, 0));
    True.Canvas()->SetPixels(2, 0, RGB(0, 0, 255));
    True.Canvas()->SetPixels(0, 1, RGB(1, 2, 3));
    True.Canvas()->SetPixels(1, 1, RGB(4, 5, 6));
    True.Canvas()->SetPixels(2, 1, RGB(7, 8, 9));
    auto Image = MakePdfImage(&True, "Pdf-Bitmap");
    EXPECT_EQ(Image->Stream()->Bytes(),
              QByteArray("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\x01\x02\x03\x04\x05\x06\x07\x08\x09", 18));
    EXPECT_TRUE(AttributesText(*Image).contains("/Filter []\r\n/Type /XObject\r\n/Subtype /Image\r\n"
                                                "/ColorSpace /DeviceRGB\r\n/Width 3\r\n/Height 2\r\n/BitsPerComponent 8\r\n"));

    TBitmap Indexed(2, 1);
    Indexed.SetPixelFormat(pf8bit);
    QVector<QRgb> Table(256, qRgb(0, 0, 0));
    Table[1] = qRgb(0x12, 0x34, 0x56);
    Table[2] = qRgb(0xFF, 0x80, 0x00);
    Indexed.SetColorTable(Table);
    auto *Row = static_cast<unsigned char *>(Indexed.ScanLine(0));
    Row[0] = 2;
    Row[1] = 1;
    auto Pal = MakePdfImage(&Indexed, "Pdf-Bitmap");
    EXPECT_EQ(Pal->Stream()->Bytes(), QByteArray("\x02\x01", 2));
    const QByteArray Text = AttributesText(*Pal);
    EXPECT_TRUE(Text.contains("/ColorSpace [/Indexed /DeviceRGB 255 <00 00 00 12 34 56 FF 80 00 00 00 00 "))
        << Text.constData();
    EXPECT_TRUE(Text.contains(" > ]\r\n/Width 2\r\n/Height 1\r\n/BitsPerComponent 8\r\n"));
}

TEST(PdfBitmapImage, PeersShowBitmapColours)
{
    if (!HavePeer(QStringLiteral("pdftoppm")) || !HavePeer(QStringLiteral("qpdf")))
        GTEST_SKIP() << "pdftoppm or qpdf missing";
    TestSupport::TempDir Dir;
    for (TPixelFormat Format : {pf24bit, pf8bit}) {
        TBitmap Bitmap(20, 10);
        Bitmap.SetPixelFormat(pf24bit);
        Bitmap.Canvas()->Brush()->SetColor(RGB(255, 0, 0));
        Bitmap.Canvas()->FillRect(Rect(0, 0, 10, 10));
        Bitmap.Canvas()->Brush()->SetColor(RGB(0, 0, 255));
        Bitmap.Canvas()->FillRect(Rect(10, 0, 20, 10));
        Bitmap.SetPixelFormat(Format);
        const QString Pdf = Dir.File(QStringLiteral("bmp%1.pdf").arg(int(Format)));
        WriteFile(Pdf, DocumentWith(MakePdfImage(&Bitmap, "Pdf-Bitmap"), 60, 40, 5, 5));
        QByteArray Out;
        EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Pdf}, &Out), 0) << Out.constData();
        const Rendered Page = RenderPage(Pdf, 1);
        ASSERT_TRUE(Page.Valid());
        EXPECT_TRUE(Page.Near(5 + 2, 5 + 5, 255, 0, 0, 8)) << int(Format);
        EXPECT_TRUE(Page.Near(5 + 17, 5 + 5, 0, 0, 255, 8)) << int(Format);
    }
}

TEST(PdfImages, JpegAndBitmapBodiesAreWrittenFromDiskAsFromMemory)
{
    // JPEG files of each colour model and bitmaps of both pixel formats.
    TestSupport::TempDir Dir;
    std::vector<std::unique_ptr<TGraphic>> Pictures;
    for (int Components : {3, 1, 4}) {
        const QString File = Dir.File(QStringLiteral("p%1.jpg").arg(Components));
        WriteJpeg(File, 90 + Components, 60, Components, [](int X, int Y, int C) { return (X * 5 + Y * 3 + C * 70) % 256; });
        Pictures.push_back(LoadJpeg(File));
    }
    for (TPixelFormat Format : {pf24bit, pf8bit}) {
        auto Bitmap = std::make_unique<TBitmap>(33, 17);
        Bitmap->SetPixelFormat(pf24bit);
        for (int Y = 0; Y < 17; ++Y)
            for (int X = 0; X < 33; ++X)
                Bitmap->Canvas()->SetPixels(X, Y, RGB(X * 7, Y * 15, (X + Y) % 2 ? 255 : 0));
        Bitmap->SetPixelFormat(Format);
        Pictures.push_back(std::move(Bitmap));
    }

    // The same document twice: its images given to the document, which moves
    // their bodies to disk, and put into the cross-reference table first,
    // which leaves them in memory. The files are the same.
    QByteArray Files[2];
    for (bool Moved : {true, false}) {
        TPdfDoc Doc;
        Doc.OpenDocument();
        Doc.SetCreationDate(EncodeDate(2007, 5, 3) + EncodeTime(23, 22, 37, 0));
        for (size_t I = 0; I < Pictures.size(); ++I) {
            Doc.AddPage();
            const bool Jpeg = dynamic_cast<TJPEGImage *>(Pictures[I].get()) != nullptr;
            auto Image = MakePdfImage(Pictures[I].get(), Jpeg ? "Pdf-Jpeg" : "Pdf-Bitmap");
            const QByteArray Name = "Im" + QByteArray::number(qsizetype(I));
            if (Moved) {
                Doc.AddImage(Name, std::move(Image));
            } else {
                TPdfImage *Held = Image.release();
                Doc.Xref()->AddObject(Held);
                Doc.RegisterXObject(Held, Name);
            }
            Doc.GetCanvas()->DrawXObject(10, 10, 100, 80, Name);
            Doc.GetCanvas()->DrawXObject(120, 10, 30, 20, "Im0");
        }
        Files[Moved ? 0 : 1] = WithoutModDate(SaveToBytes(Doc));
    }
    EXPECT_EQ(CheckLayout(Files[0]), QString());
    EXPECT_TRUE(Files[0] == Files[1]);
    EXPECT_TRUE(Files[0].contains(TestSupport::ReadAll(Dir.File(QStringLiteral("p4.jpg")))));

    if (!HavePeer(QStringLiteral("qpdf")) || !HavePeer(QStringLiteral("pdfimages")))
        GTEST_SKIP() << "qpdf or pdfimages missing";
    const QString Pdf = Dir.File(QStringLiteral("all.pdf"));
    WriteFile(Pdf, Files[0]);
    QByteArray Out;
    EXPECT_EQ(RunPeer(QStringLiteral("qpdf"), {QStringLiteral("--check"), Pdf}, &Out), 0) << Out.constData();
    ASSERT_EQ(RunPeer(QStringLiteral("pdfimages"), {QStringLiteral("-list"), Pdf}, &Out), 0);
    const QString List = QString::fromUtf8(Out).simplified();
    EXPECT_TRUE(List.contains(QStringLiteral("1 0 image 93 60 rgb 3 8 jpeg"))) << Out.constData();
    EXPECT_TRUE(List.contains(QStringLiteral("3 4 image 94 60 cmyk 4 8 jpeg"))) << Out.constData();
    EXPECT_TRUE(List.contains(QStringLiteral("5 8 image 33 17 index 1 8 image"))) << Out.constData();
}
