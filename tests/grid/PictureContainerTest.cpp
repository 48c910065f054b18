#include "grid/PictureContainer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace TestSupport;

namespace {

QImage Shown(THTMLPicture &P)
{
    QImage I(P.Width(), P.Height(), QImage::Format_ARGB32);
    I.fill(Qt::white);
    {
        TCanvas C(&I);
        P.Draw(C, TRect(0, 0, I.width(), I.height()));
    }
    return I;
}

TEST(HTMLPicture, ResourceAddressesAreUpperCasedAndMissingOnesStayEmpty)
{
    THTMLPicture P;
    P.LoadFromURL(QStringLiteral("res://logo"));
    ASSERT_FALSE(P.Empty());
    EXPECT_EQ(P.Width(), 5);
    EXPECT_EQ(P.Height(), 3);
    const QImage I = Shown(P);
    EXPECT_EQ(I.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(I.pixel(4, 2) & 0xFFFFFF, 0x0080FFu);

    THTMLPicture Missing;
    Missing.LoadFromURL(QStringLiteral("res://nothing"));
    EXPECT_TRUE(Missing.Empty());

    // A web address is kept, never fetched.
    THTMLPicture Web;
    Web.LoadFromURL(QStringLiteral("http://example.invalid/a.gif"));
    EXPECT_TRUE(Web.Empty());
    EXPECT_EQ(Web.URL(), QStringLiteral("http://example.invalid/a.gif"));
    Web.AsynchDownLoad = true;
    Web.LoadFromURL(QStringLiteral("https://example.invalid/b.gif"));
    EXPECT_TRUE(Web.Empty());
    EXPECT_FALSE(Web.DownLoading());
}

TEST(HTMLPicture, GIFFrameMatchesGifsiclesExplodedFrame)
{
    if (!HaveProgram(QStringLiteral("gifsicle")) || !HaveProgram(QStringLiteral("convert")))
        GTEST_SKIP() << "gifsicle or ImageMagick missing";
    TempDir D;
    // Three frames of different pictures, put together and taken apart by gifsicle.
    ASSERT_EQ(RunProgram(QStringLiteral("convert"), {QStringLiteral("-size"), QStringLiteral("12x9"),
                                                     QStringLiteral("gradient:red-blue"), D.File("f1.gif")}), 0);
    ASSERT_EQ(RunProgram(QStringLiteral("convert"), {QStringLiteral("-size"), QStringLiteral("12x9"),
                                                     QStringLiteral("plasma:fractal"), QStringLiteral("-seed"),
                                                     QStringLiteral("3"), D.File("f2.gif")}), 0);
    ASSERT_EQ(RunProgram(QStringLiteral("convert"), {QStringLiteral("-size"), QStringLiteral("12x9"),
                                                     QStringLiteral("xc:green"), D.File("f3.gif")}), 0);
    ASSERT_EQ(RunProgram(QStringLiteral("gifsicle"), {QStringLiteral("--no-warnings"), D.File("f1.gif"),
                                                      D.File("f2.gif"), D.File("f3.gif"), QStringLiteral("-o"),
                                                      D.File("anim.gif")}), 0);
    ASSERT_EQ(RunProgram(QStringLiteral("gifsicle"), {QStringLiteral("--explode"), D.File("anim.gif"),
                                                      QStringLiteral("-o"), D.File("part")}), 0);
    ASSERT_EQ(RunProgram(QStringLiteral("convert"), {D.File("part.001"), D.File("frame2.png")}), 0);
    const QImage Expected = QImage(D.File("frame2.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(Expected.isNull());

    THTMLPicture P;
    int Changes = 0;
    P.OnFrameChange = [&](TObject *) { ++Changes; };
    P.LoadFromURL(QStringLiteral("FILE://") + D.File("anim.gif"));
    EXPECT_EQ(P.FrameCount(), 3);
    P.SetFrame(2);
    EXPECT_EQ(Changes, 1);
    const QImage Got = Shown(P).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(Got.size(), Expected.size());
    for (int Y = 0; Y < Got.height(); ++Y)
        for (int X = 0; X < Got.width(); ++X)
            ASSERT_EQ(Got.pixel(X, Y), Expected.pixel(X, Y)) << X << "," << Y;
    // Frame 1 differs from frame 2.
    P.SetFrame(1);
    EXPECT_NE(Shown(P).convertToFormat(QImage::Format_RGB32), Got);
}

TEST(HTMLPicture, DamagedDataRaisesAndKeepsThePicture)
{
    TempDir D;
    THTMLPicture P;
    P.LoadFromURL(QStringLiteral("RES://LOGO"));
    ASSERT_FALSE(P.Empty());
    const QByteArray Good = P.Data();

    // A GIF header with nothing behind it, a truncated BMP and plain text.
    for (const QByteArray &Bad : {QByteArray("GIF89a\x05\x00", 8), QByteArray("BM\x10\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00", 14),
                                  QByteArray("not a picture")}) {
        WriteAll(D.File("bad.gif"), Bad);
        try {
            P.LoadFromURL(QStringLiteral("file://") + D.File("bad.gif"));
            ADD_FAILURE() << "no error for " << Bad.toHex().constData();
        } catch (const EInvalidGraphic &E) {
            EXPECT_EQ(E.Message(), QStringLiteral("Could not load image. Invalid format"));
        }
        EXPECT_EQ(P.Data(), Good);
        EXPECT_EQ(P.Width(), 5);
    }
    // Only regular files are read: a device would never end.
    EXPECT_THROW(P.LoadFromURL(QStringLiteral("FILE:///dev/zero")), EInvalidGraphic);
    EXPECT_EQ(P.Data(), Good);

    // The path after FILE:// keeps its case.
    WriteAll(D.File("MixedCase.bmp"), Good);
    THTMLPicture Q;
    Q.LoadFromURL(QStringLiteral("FiLe://") + D.File("MixedCase.bmp"));
    EXPECT_EQ(Q.Width(), 5);

    // Streams round-trip the bytes unchanged; Assign copies them.
    TMemoryStream S;
    Q.SaveToStream(&S);
    EXPECT_EQ(S.Bytes(), Good);
    THTMLPicture R;
    R.Assign(&Q);
    EXPECT_EQ(R.Data(), Good);
    EXPECT_FALSE(R.Empty());
}

TEST(PictureContainer, FindPictureComparesUpperCasedNames)
{
    TPictureContainer Box;
    TPictureItem *Item = Box.Items()->Add();
    Item->Name = QStringLiteral("Logo");
    Item->Picture()->LoadFromURL(QStringLiteral("res://logo"));
    EXPECT_EQ(Box.FindPicture(QStringLiteral("LOGO")), Item->Picture());
    EXPECT_EQ(Box.FindPicture(QStringLiteral("Logo")), nullptr);

    THTMLPictureCache Cache;
    THTMLPicture *A = Cache.AddPicture();
    A->ID = QStringLiteral("res://logo");
    EXPECT_EQ(Cache.FindPicture(QStringLiteral("res://logo")), A);
    EXPECT_EQ(Cache.FindPicture(QStringLiteral("RES://LOGO")), nullptr);
}

} // namespace
