// Thumbnails, the stored path rule and the folder walk, on real files.

#include "TestSupport.h"
#include "catalog/forms/ProductPictures.h"
#include "platform/graphics/Jpeg.h"
#include "gif/GIFImage.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace ProductPictures;
using TestSupport::TempDir;

namespace {

void WriteJpeg(const QString &FileName, int W, int H)
{
    TBitmap B(W, H);
    B.Canvas()->Brush()->SetColor(clRed);
    B.Canvas()->FillRect(TRect(0, 0, W, H));
    TJPEGImage J;
    J.Assign(&B);
    J.SaveToFile(FileName);
}

void WriteBmp(const QString &FileName, int W, int H)
{
    TBitmap B(W, H);
    B.SetPixelFormat(pf24bit);
    B.SaveToFile(FileName);
}

// The notice thumbnails draw their text on white at (8, 8): some pixel near
// there is dark.
bool HasNotice(const TBitmap &B)
{
    if (B.Width() != NoticeWidth || B.Height() != NoticeHeight)
        return false;
    const QImage &I = B.Image();
    for (int Y = 8; Y < 30; ++Y)
        for (int X = 8; X < 60; ++X)
            if (qGray(I.pixel(X, Y)) < 128)
                return true;
    return false;
}

} // namespace

TEST(ProductPictures, ScaleIsSmallestStillCoveringTheCell)
{
    EXPECT_EQ(JpegScaleDivisor(3000, 157), 8);   // 375 >= 157
    EXPECT_EQ(JpegScaleDivisor(1000, 157), 4);   // 125 < 157 at 8, 250 at 4
    EXPECT_EQ(JpegScaleDivisor(400, 157), 2);
    EXPECT_EQ(JpegScaleDivisor(100, 157), 2);    // never less than half
    EXPECT_EQ(JpegScaleDivisor(1256, 157), 8);   // rounded up: exactly 157
}

TEST(ProductPictures, ThumbnailSizesKeepAspect)
{
    TempDir Dir;
    WriteJpeg(Dir.File(QStringLiteral("wide.jpg")), 1600, 800);
    WriteJpeg(Dir.File(QStringLiteral("TALL.JPG")), 300, 900);
    WriteBmp(Dir.File(QStringLiteral("b.bmp")), 40, 30);
    QFile Gif(Dir.File(QStringLiteral("dot.gif")));
    ASSERT_TRUE(Gif.open(QIODevice::WriteOnly));
    static const char Dot[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                              ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    Gif.write(QByteArray(Dot, sizeof Dot - 1));
    Gif.close();

    auto W = MakeThumbnail(Dir.File(QStringLiteral("wide.jpg")), 157);
    EXPECT_EQ(W->Height(), 157);
    EXPECT_EQ(W->Width(), 314);
    const QRgb Pixel = W->Image().pixel(100, 80);
    EXPECT_GT(qRed(Pixel), 200);
    EXPECT_LT(qGreen(Pixel), 60);

    auto T = MakeThumbnail(Dir.File(QStringLiteral("TALL.JPG")), 157);
    EXPECT_EQ(T->Height(), 157);
    EXPECT_EQ(T->Width(), 52);   // 300 * 157 / 900 = 52.33

    auto B = MakeThumbnail(Dir.File(QStringLiteral("b.bmp")), 157);
    EXPECT_EQ(B->Width(), 40);   // loaded as it is; the grid shrinks, never enlarges
    EXPECT_EQ(B->Height(), 30);

    auto G = MakeThumbnail(Dir.File(QStringLiteral("dot.gif")), 157);
    EXPECT_EQ(G->Height(), 157);
    EXPECT_EQ(G->Width(), 157);
}

TEST(ProductPictures, AFarWidePictureMakesASmallThumbnail)
{
    // A picture many times wider than high (a few kilobytes on disk) is shrunk
    // to the widest thumbnail a cell can show, not stretched to the cell's
    // height: that would take a gigabyte for one JPEG, and a GIF so wide got
    // the load-error notice.
    TempDir Dir;
    WriteJpeg(Dir.File(QStringLiteral("wide.jpg")), 65000, 8);
    {
        TBitmap B(60000, 2);
        B.SetPixelFormat(pf8bit);
        TGIFImage G;
        G.Assign(&B);
        G.SaveToFile(Dir.File(QStringLiteral("wide.gif")));
    }
    for (const char *Name : {"wide.jpg", "wide.gif"}) {
        SCOPED_TRACE(Name);
        const auto T = MakeThumbnail(Dir.File(QString::fromLatin1(Name)), 157);
        EXPECT_EQ(T->Width(), MaxThumbnailWidth);
        EXPECT_EQ(T->Height(), 1);
        EXPECT_FALSE(HasNotice(*T));
    }
}

TEST(ProductPictures, NoticeThumbnailsNeverRaise)
{
    TempDir Dir;
    TestSupport::WriteAll(Dir.File(QStringLiteral("p.png")), QByteArray("\x89PNG", 4));
    TestSupport::WriteAll(Dir.File(QStringLiteral("bad.jpg")), QByteArray("not a jpeg at all"));
    TestSupport::WriteAll(Dir.File(QStringLiteral("bad.gif")), QByteArray("GIF89a\x05"));
    TestSupport::WriteAll(Dir.File(QStringLiteral("x.tif")), QByteArray("II*"));
    // A JPEG cut short after its header.
    WriteJpeg(Dir.File(QStringLiteral("full.jpg")), 64, 64);
    TestSupport::WriteAll(Dir.File(QStringLiteral("cut.jpg")),
                          TestSupport::ReadAll(Dir.File(QStringLiteral("full.jpg"))).left(40));

    EXPECT_EQ(PngText, QStringLiteral("当前版本不支持PNG文件。"));
    EXPECT_EQ(UnsupportedText, QStringLiteral("不支持的图片格式。"));
    EXPECT_EQ(LoadErrorText, QStringLiteral("非标准图片，载入出错。"));
    for (const char *Name : {"p.png", "bad.jpg", "bad.gif", "x.tif", "cut.jpg", "missing.jpg"}) {
        SCOPED_TRACE(Name);
        std::unique_ptr<TBitmap> B;
        ASSERT_NO_THROW(B = MakeThumbnail(Dir.File(QString::fromLatin1(Name)), 157));
        EXPECT_TRUE(HasNotice(*B));
    }
}

TEST(ProductPictures, StoredPathIsRelativeOnlyBelowThePageFolder)
{
    const QString Page = QStringLiteral("/data/pages/tea.qbt");
    EXPECT_EQ(StoredPicturePath(Page, QStringLiteral("/data/pages/img/a.jpg")), QStringLiteral("img/a.jpg"));
    EXPECT_EQ(StoredPicturePath(Page, QStringLiteral("/data/pages/a.jpg")), QStringLiteral("a.jpg"));
    // A folder whose name only begins like the page folder, or holds it further in.
    EXPECT_EQ(StoredPicturePath(Page, QStringLiteral("/data/pages2/a.jpg")), QStringLiteral("/data/pages2/a.jpg"));
    EXPECT_EQ(StoredPicturePath(Page, QStringLiteral("/x/data/pages/a.jpg")), QStringLiteral("/x/data/pages/a.jpg"));
    EXPECT_EQ(StoredPicturePath(QString(), QStringLiteral("/data/pages/a.jpg")), QStringLiteral("/data/pages/a.jpg"));
    const QString Long = QStringLiteral("/data/pages/") + QString(300, QLatin1Char('n'));
    EXPECT_EQ(StoredPicturePath(Page, Long).size(), 256);
}

TEST(ProductPictures, FolderWalkWithAndWithoutRecursion)
{
    TempDir Dir;
    const QString Root = Dir.Path();
    ASSERT_TRUE(QDir(Root).mkpath(QStringLiteral("sub/deeper")));
    for (const char *Name : {"b.jpg", "A.JPG", "c.bmp", "sub/d.jpg", "sub/deeper/e.jpg"})
        TestSupport::WriteAll(Dir.File(QString::fromLatin1(Name)), QByteArray("x"));
    // A link back to the root would walk forever if followed blindly.
    ASSERT_TRUE(QFile::link(Root, Dir.File(QStringLiteral("sub/loop"))));

    const QString Flat = CollectPictureFiles(Root, QStringLiteral("*.jpg"), false);
    EXPECT_EQ(Flat, Root + QStringLiteral("/A.JPG\r\n") + Root + QStringLiteral("/b.jpg\r\n"));

    const QStringList Deep = SplitPictureList(CollectPictureFiles(Root, QStringLiteral("*.jpg"), true));
    EXPECT_EQ(Deep, (QStringList{Root + QStringLiteral("/A.JPG"), Root + QStringLiteral("/b.jpg"),
                                 Root + QStringLiteral("/sub/d.jpg"), Root + QStringLiteral("/sub/deeper/e.jpg")}));
}

TEST(ProductPictures, ImportKindsAndLists)
{
    TempDir Dir;
    EXPECT_EQ(ImportKind(Dir.Path()), ikFolder);
    EXPECT_EQ(ImportKind(QStringLiteral("/a/b.Jpg")), ikPicture);
    EXPECT_EQ(ImportKind(QStringLiteral("/a/b.gif")), ikPicture);
    EXPECT_EQ(ImportKind(QStringLiteral("/a/b.BMP")), ikPicture);
    EXPECT_EQ(ImportKind(QStringLiteral("/a/b.qbt")), ikPage);
    EXPECT_EQ(ImportKind(QStringLiteral("/a/b.htm")), ikPage);
    EXPECT_EQ(ImportKind(QStringLiteral("/a/b.png")), ikPicture);   // its thumbnail says it cannot be shown
    EXPECT_EQ(ImportKind(QStringLiteral("/a/b.tif")), ikNone);
    EXPECT_EQ(SplitPictureList(QStringLiteral("a\r\n\r\nb\nc\r")), (QStringList{"a", "b", "c"}));
}

TEST(ProductPictures, ManyThumbnailsAtOnceKeepTheirOrder)
{
    TempDir Dir;
    QStringList Files;
    for (int I = 0; I < 24; ++I) {
        Files << Dir.File(QStringLiteral("p%1.jpg").arg(I));
        if (I % 5 == 4)
            TestSupport::WriteAll(Files.last(), QByteArray("damaged"));
        else
            WriteJpeg(Files.last(), 40 + 10 * I, 100);
    }
    const auto Thumbnails = MakeThumbnails(Files, 50);
    ASSERT_EQ(Thumbnails.size(), size_t(Files.size()));
    for (int I = 0; I < Files.size(); ++I) {
        SCOPED_TRACE(I);
        ASSERT_TRUE(Thumbnails[size_t(I)]);
        if (I % 5 == 4) {
            EXPECT_TRUE(HasNotice(*Thumbnails[size_t(I)]));
        } else {
            EXPECT_EQ(Thumbnails[size_t(I)]->Height(), 50);
            EXPECT_EQ(Thumbnails[size_t(I)]->Width(), (40 + 10 * I) / 2);
        }
    }
    EXPECT_TRUE(MakeThumbnails({}, 50).empty());
}

TEST(ProductPictures, ThumbnailsDecodeOnFirstUseOnceAndCopyAsBitmaps)
{
    TempDir Dir;
    WriteJpeg(Dir.File(QStringLiteral("wide.jpg")), 300, 100);
    const int Start = TThumbnail::DecodeCount();
    TThumbnail Wide(Dir.File(QStringLiteral("wide.jpg")), 50);
    EXPECT_FALSE(Wide.Decoded());
    EXPECT_EQ(TThumbnail::DecodeCount(), Start);
    EXPECT_EQ(Wide.Width(), 150);
    EXPECT_EQ(Wide.Height(), 50);
    EXPECT_TRUE(Wide.Decoded());
    TBitmap Canvas(200, 60);
    Canvas.Canvas()->Draw(0, 0, &Wide);
    EXPECT_GT(QColor(Canvas.Image().pixel(100, 25)).red(), 200);
    EXPECT_LT(QColor(Canvas.Image().pixel(100, 25)).green(), 60);
    EXPECT_EQ(TThumbnail::DecodeCount(), Start + 1);

    // A copy, as the grid's cell stream takes one, is the decoded bitmap.
    TPicture Copy;
    Copy.SetGraphic(static_cast<const TGraphic *>(&Wide));
    ASSERT_NE(dynamic_cast<TBitmap *>(Copy.Graphic()), nullptr);
    EXPECT_EQ(Copy.Width(), 150);

    // Many at once on several threads; a missing or damaged file gets its notice.
    TestSupport::WriteAll(Dir.File(QStringLiteral("bad.jpg")), QByteArray("damaged"));
    std::vector<std::unique_ptr<TThumbnail>> Many;
    std::vector<TThumbnail *> Pointers{&Wide};
    for (int I = 0; I < 12; ++I) {
        const char *Name = I % 4 == 1 ? "bad.jpg" : I % 4 == 2 ? "none.jpg" : "wide.jpg";
        Many.push_back(std::make_unique<TThumbnail>(Dir.File(QString::fromLatin1(Name)), 40));
        Pointers.push_back(Many.back().get());
    }
    TThumbnail::DecodeAll(Pointers);
    EXPECT_EQ(TThumbnail::DecodeCount(), Start + 1 + 12);
    for (int I = 0; I < 12; ++I) {
        SCOPED_TRACE(I);
        ASSERT_TRUE(Many[size_t(I)]->Decoded());
        EXPECT_EQ(Many[size_t(I)]->Width(), I % 4 == 1 || I % 4 == 2 ? NoticeWidth : 120);
    }
}

TEST(ProductPictures, AThumbnailGoneIsTakenBackOnlyWhileItsFileIsUnchanged)
{
    TempDir Dir;
    const QString File = Dir.File(QStringLiteral("p.jpg"));
    WriteJpeg(File, 300, 100);
    const int Start = TThumbnail::DecodeCount();
    { TThumbnail First(File, 50); EXPECT_EQ(First.Width(), 150); }
    EXPECT_EQ(TThumbnail::DecodeCount(), Start + 1);

    // The same file at the same height comes back without decoding (alone and
    // among many); another height is decoded.
    {
        TThumbnail Again(File, 50), Other(File, 40);
        TThumbnail::DecodeAll({&Again, &Other});
        EXPECT_EQ(Again.Width(), 150);
        EXPECT_EQ(Other.Width(), 120);
        EXPECT_EQ(TThumbnail::DecodeCount(), Start + 2);
    }
    // The file replaced by another picture: decoded afresh, never the old one.
    WriteJpeg(File + QStringLiteral(".new"), 100, 100);
    ASSERT_TRUE(QFile::remove(File));
    ASSERT_TRUE(QFile::rename(File + QStringLiteral(".new"), File));
    {
        TThumbnail Replaced(File, 50);
        EXPECT_EQ(Replaced.Width(), 50);
        EXPECT_EQ(TThumbnail::DecodeCount(), Start + 3);
        // A bitmap assigned to a thumbnail is not its file's: it is not kept.
        TBitmap Blue(10, 50);
        Replaced.Assign(&Blue);
    }
    TThumbnail Last(File, 50);
    EXPECT_EQ(Last.Width(), 50);
    EXPECT_EQ(TThumbnail::DecodeCount(), Start + 4);
}

TEST(ProductPictures, ThumbnailsForADenserScreenHaveItsPixelsAndKeepTheirSize)
{
    TempDir Dir;
    WriteJpeg(Dir.File(QStringLiteral("wide.jpg")), 300, 100);
    WriteBmp(Dir.File(QStringLiteral("b.bmp")), 40, 30);
    TestSupport::WriteAll(Dir.File(QStringLiteral("p.png")), QByteArray("\x89PNG"));

    // Pictures are made with twice the pixels, notices drawn twice as large; a
    // bitmap file shows at its own size whatever the screen.
    const TScreenThumbnail Jpeg = MakeScreenThumbnail(Dir.File(QStringLiteral("wide.jpg")), 50, 2);
    EXPECT_EQ(Jpeg.Ratio, 2);
    EXPECT_EQ(Jpeg.Bitmap->Height(), 100);
    EXPECT_EQ(Jpeg.Bitmap->Width(), 300);
    const TScreenThumbnail Png = MakeScreenThumbnail(Dir.File(QStringLiteral("p.png")), 50, 2);
    EXPECT_EQ(Png.Bitmap->Width(), 2 * NoticeWidth);
    EXPECT_EQ(Png.Bitmap->Height(), 2 * NoticeHeight);
    const TScreenThumbnail Bmp = MakeScreenThumbnail(Dir.File(QStringLiteral("b.bmp")), 50, 2);
    EXPECT_EQ(Bmp.Ratio, 1);
    EXPECT_EQ(Bmp.Bitmap->Width(), 40);

    // Measured, drawn and copied, a thumbnail has the same size at every ratio.
    for (const char *Name : {"wide.jpg", "b.bmp", "p.png"}) {
        SCOPED_TRACE(Name);
        const QString File = Dir.File(QString::fromLatin1(Name));
        TThumbnail One(File, 50), Two(File, 50, 2), Half(File, 50, 1.5);
        EXPECT_EQ(Two.Width(), One.Width());
        EXPECT_EQ(Two.Height(), One.Height());
        EXPECT_NEAR(Half.Width(), One.Width(), 1);
        EXPECT_NEAR(Half.Height(), One.Height(), 1);
        TPicture Copy;
        Copy.SetGraphic(static_cast<const TGraphic *>(&Two));
        EXPECT_EQ(Copy.Width(), One.Width());
        EXPECT_EQ(Copy.Height(), One.Height());
    }

    // Moved to a screen of another ratio, a thumbnail is made again for it.
    TThumbnail Moved(Dir.File(QStringLiteral("wide.jpg")), 40);
    ASSERT_EQ(Moved.Width(), 120);
    const int Before = TThumbnail::DecodeCount();
    Moved.SetPixelRatio(2);
    EXPECT_FALSE(Moved.Decoded());
    EXPECT_EQ(Moved.Width(), 120);
    EXPECT_EQ(TThumbnail::DecodeCount(), Before + 1);
    TBitmap Drawn(120, 40);
    Moved.Draw(*Drawn.Canvas(), TRect(0, 0, 120, 40));
    EXPECT_GT(QColor(Drawn.Image().pixel(60, 20)).red(), 200);
    // Back at ratio 1 the first one is taken back without decoding.
    Moved.SetPixelRatio(1);
    EXPECT_EQ(Moved.Height(), 40);
    EXPECT_EQ(TThumbnail::DecodeCount(), Before + 1);
}
