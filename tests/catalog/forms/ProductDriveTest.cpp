// A folder of JPEG and BMP pictures imported into a new page through the
// program started by quillbook-drive: one block per picture, with its
// thumbnail, and the blocks in the page text. The screenshot stays in the
// test folder (products_import.png) for a look.

#include "WindowFixture.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>

using namespace WindowFixture;

namespace {

// A one-colour GIF of the given size, written without compression: 2-bit
// codes, a clear code before every pair of pixels keeps the code width at 3.
QByteArray SolidGif(int Width, int Height, QRgb Colour)
{
    QByteArray G("GIF89a");
    auto Word = [&G](int V) { G.append(char(V & 0xFF)).append(char((V >> 8) & 0xFF)); };
    Word(Width);
    Word(Height);
    G.append(char(0x81)).append('\0').append('\0'); // global map of 4 colours
    G.append(char(qRed(Colour))).append(char(qGreen(Colour))).append(char(qBlue(Colour)));
    G.append(QByteArray(9, '\0'));
    G.append(',');
    Word(0);
    Word(0);
    Word(Width);
    Word(Height);
    G.append('\0').append(char(2)); // no local map; minimum code size 2
    QByteArray Data;
    quint32 Bits = 0;
    int Count = 0;
    auto Put = [&](int Code) {
        Bits |= quint32(Code) << Count;
        Count += 3;
        while (Count >= 8) {
            Data.append(char(Bits & 0xFF));
            Bits >>= 8;
            Count -= 8;
        }
    };
    const qint64 Pixels = qint64(Width) * Height;
    for (qint64 I = 0; I < Pixels; I += 2) {
        Put(4); // clear
        Put(0);
        if (I + 1 < Pixels)
            Put(0);
    }
    Put(5); // end of information
    if (Count > 0)
        Data.append(char(Bits & 0xFF));
    for (qsizetype At = 0; At < Data.size(); At += 255) {
        const QByteArray Block = Data.mid(At, 255);
        G.append(char(Block.size())).append(Block);
    }
    G.append('\0').append(';');
    return G;
}

class ProductDrive : public TDriveTest {};

} // namespace

TEST_F(ProductDrive, FolderOfPicturesImportedIntoNewPage)
{
    ASSERT_TRUE(QDir().mkpath(Home.File(QStringLiteral("目录册"))));
    const QString Pictures = Docs.File(QStringLiteral("pictures"));
    ASSERT_TRUE(QDir().mkpath(Pictures + QStringLiteral("/sub")));
    const struct {
        const char *Name, *Format;
        Qt::GlobalColor Color;
    } Files[] = {{"a.jpg", "JPEG", Qt::red}, {"b.jpg", "JPEG", Qt::blue}, {"c.bmp", "BMP", Qt::darkGreen},
                 {"sub/d.jpg", "JPEG", Qt::yellow}};
    for (const auto &F : Files) {
        QImage Image(320, 240, QImage::Format_RGB32);
        Image.fill(F.Color);
        ASSERT_TRUE(Image.save(Pictures + QLatin1Char('/') + QString::fromLatin1(F.Name), F.Format));
    }
    // The BMP comes in through the picture dialog, the folder's JPEGs (not
    // those of its sub-folder) through the folder import.
    const QString Shot = QDir::current().absoluteFilePath(QStringLiteral("products_import.png"));
    QFile::remove(Shot);
    const QString Script = QStringLiteral(
                               "wait\nclick N2\nwait\n"
                               "answer folder %1\nclick SpeedButton2\nwait\n"
                               "answer files %1/c.bmp\nclick SpeedButton3\nwait\n"
                               "cell CellGrid1 0 13\ncell CellGrid1 1 6\ncell CellGrid1 1 12\ncell CellGrid1 1 18\n"
                               "cell CellGrid1 1 24\npage-text\nscreenshot Form1 %2\nquit\n")
                               .arg(Pictures, Shot);
    const TestSupport::DriveRun R = Drive(Script);
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_GE(Out.size(), 5);
    EXPECT_EQ(Out.at(0), QStringLiteral("3"));
    EXPECT_EQ(Out.at(1), Pictures + QStringLiteral("/a.jpg"));
    EXPECT_EQ(Out.at(2), Pictures + QStringLiteral("/b.jpg"));
    EXPECT_EQ(Out.at(3), Pictures + QStringLiteral("/c.bmp"));
    EXPECT_EQ(Out.at(4), QString()) << "the sub-folder is left out without Ctrl";
    for (int N = 1; N <= 3; ++N)
        EXPECT_TRUE(R.Out.contains(QStringLiteral("{$%1}").arg(N))) << N;
    EXPECT_TRUE(R.Out.contains(QStringLiteral("{$IMG}=") + Pictures + QStringLiteral("/c.bmp")));
    EXPECT_FALSE(R.Out.contains(QStringLiteral("{$4}")));
    const QImage Picture(Shot);
    ASSERT_FALSE(Picture.isNull());
    EXPECT_GT(Picture.width(), 200);
}

TEST_F(ProductDrive, GifPictureGetsItsThumbnail)
{
    ASSERT_TRUE(QDir().mkpath(Home.File(QStringLiteral("目录册"))));
    const QString Gif = Docs.File(QStringLiteral("magenta.gif"));
    TestSupport::WriteAll(Gif, SolidGif(320, 240, qRgb(255, 0, 255)));
    ASSERT_FALSE(QImage(Gif).isNull()) << "the test picture itself must be a valid GIF";
    const QString Shot = QDir::current().absoluteFilePath(QStringLiteral("products_gif.png"));
    QFile::remove(Shot);
    const QString Script = QStringLiteral("wait\nclick N2\nwait\nanswer files %1\nclick SpeedButton3\nwait\n"
                                          "cell CellGrid1 1 6\nscreenshot CellGrid1 %2\nquit\n")
                               .arg(Gif, Shot);
    const TestSupport::DriveRun R = Drive(Script);
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
    EXPECT_TRUE(R.Out.startsWith(Gif)) << R.Out.toStdString();
    const QImage Picture(Shot);
    ASSERT_FALSE(Picture.isNull());
    // The thumbnail paints the picture's own colour into the grid.
    int Magenta = 0;
    for (int Y = 0; Y < Picture.height(); ++Y)
        for (int X = 0; X < Picture.width(); ++X)
            if (Picture.pixel(X, Y) == qRgb(255, 0, 255))
                ++Magenta;
    EXPECT_GT(Magenta, 1000);
    // Shrunk keeping its 4:3 aspect, never stretched to the cell's own shape:
    // the magenta area is wider than it is high.
    int Left = Picture.width(), Right = -1, Top = Picture.height(), Bottom = -1;
    for (int Y = 0; Y < Picture.height(); ++Y)
        for (int X = 0; X < Picture.width(); ++X)
            if (Picture.pixel(X, Y) == qRgb(255, 0, 255)) {
                Left = std::min(Left, X);
                Right = std::max(Right, X);
                Top = std::min(Top, Y);
                Bottom = std::max(Bottom, Y);
            }
    const int W = Right - Left + 1, H = Bottom - Top + 1;
    EXPECT_NEAR(double(W) / H, 4.0 / 3.0, 0.1) << W << "x" << H;
}

TEST_F(ProductDrive, KeysTypedIntoALongPageReachItsTextBoxAndFile)
{
    // Keys into the description of product 150 of 300, a name set through the
    // grid, the page saved: the text box shows exactly the saved lines.
    const QString Page = Docs.File(QStringLiteral("long.qbt"));
    SaveLines(Page, PageLines(NumberedHeader(), 300));
    const QString Script = QStringLiteral("wait\nselect-cell CellGrid1 3 %1\nwait\nkeys Edit1 新描述 abc\nwait\n"
                                          "set-cell CellGrid1 5 %2 改名\nwait\nclick SpeedButton9\nwait\n"
                                          "page-text\nquit\n")
                               .arg(6 * 150 - 2)
                               .arg(6 * 200 - 5);
    const TestSupport::DriveRun R = Drive(Script, {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Saved = LoadLines(Page);
    ASSERT_EQ(Saved.size(), 23 + 9 * 300);
    EXPECT_EQ(Saved.at(23 + 9 * 149 + 8), QStringLiteral("{$PNOTE}=好新描述 abc"));
    EXPECT_EQ(Saved.at(23 + 9 * 199 + 3), QStringLiteral("{$PNAME}=改名"));
    QString Shown = R.Out;
    if (Shown.endsWith(QLatin1Char('\n')))
        Shown.chop(1);
    EXPECT_TRUE(Shown.split(QLatin1Char('\n')) == Saved);
}
