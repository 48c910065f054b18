// Opens a page of 512 products whose pictures are 12-megapixel JPEGs and
// times filling every thumbnail, against decoding each JPEG fully with
// libjpeg in the same run (one thread); then the same page with BMP pictures.
// The program decodes a page's thumbnails on several threads, as here. Prints the
// times and the ratios (thumbnails / full decode; the target is at most 0.2).
//
// Usage: products_thumbnail_bench [products] [distinct files] [folder]
// The products cycle through a few distinct files so the run fits on disk.

#include "catalog/document/PageDocument.h"
#include "catalog/forms/ProductPictures.h"
#include "platform/graphics/Jpeg.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int PictureWidth = 4000;
constexpr int PictureHeight = 3000;
constexpr int ThumbnailHeight = 5 * 32 - 3;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point Since)
{
    return std::chrono::duration<double>(Clock::now() - Since).count();
}

// A photo-like picture: smooth gradients with some noise, so the JPEG has
// realistic detail to decode.
QImage MakePicture(int Seed)
{
    QImage Image(PictureWidth, PictureHeight, QImage::Format_RGB888);
    std::mt19937 Random(Seed);
    std::uniform_int_distribution<int> Noise(-12, 12);
    for (int Y = 0; Y < PictureHeight; ++Y) {
        uchar *Line = Image.scanLine(Y);
        for (int X = 0; X < PictureWidth; ++X) {
            Line[3 * X] = uchar(qBound(0, (X * 255 / PictureWidth + Seed * 40) % 256 + Noise(Random), 255));
            Line[3 * X + 1] = uchar(qBound(0, Y * 255 / PictureHeight + Noise(Random), 255));
            Line[3 * X + 2] = uchar(qBound(0, ((X + Y) / 16 % 2) * 120 + 60 + Noise(Random), 255));
        }
    }
    return Image;
}

// The product grid as far as the page document fills it: texts and thumbnails.
class TBenchGrid : public TProductGridAccess {
public:
    int Rows = 7;
    std::map<std::pair<int, int>, QString> Texts;
    int Thumbnails = 0;
    long long ThumbnailPixels = 0;
    int RowCount() const override { return Rows; }
    QString Cells(int ACol, int ARow) const override
    {
        const auto It = Texts.find({ACol, ARow});
        return It == Texts.end() ? QString() : It->second;
    }
    void SetCells(int ACol, int ARow, const QString &Value) override { Texts[{ACol, ARow}] = Value; }
    void AppendProductBlock() override { Rows += 6; }
    void ResetGrid() override
    {
        Rows = 7;
        Texts.clear();
    }
    // As the program's grid does while a page opens: the files are noted and
    // decoded together when the page is read.
    QStringList Pending;
    void LoadCellPicture(int, int, const QString &FileName) override { Pending << FileName; }
    void FillPictures()
    {
        for (const auto &Bitmap : ProductPictures::MakeThumbnails(Pending, ThumbnailHeight)) {
            ++Thumbnails;
            ThumbnailPixels += qint64(Bitmap->Width()) * Bitmap->Height();
        }
        Pending.clear();
    }
    void ClearCellPicture(int, int) override {}
};

QStringList PageLines(const QStringList &Pictures, int Products)
{
    QStringList L{TPageDocument::Magic};
    for (int I = 1; I < 20; ++I)
        L << QStringLiteral("{key%1}=v").arg(I);
    L << TPageDocument::MarkerComment << TPageDocument::DetailLine << QString();
    for (int N = 1; N <= Products; ++N)
        L << QStringLiteral("{$%1}").arg(N) << QStringLiteral("{$IMG}=") + Pictures.at((N - 1) % Pictures.size())
          << QStringLiteral("{$PID}=%1").arg(N) << QStringLiteral("{$PNAME}=") << QStringLiteral("{$PPRICE}=")
          << QStringLiteral("{$PUNIT}=") << QStringLiteral("{$PWEIGHT}=") << QStringLiteral("{$PSERIAL}=")
          << QStringLiteral("{$PNOTE}=");
    return L;
}

double OpenPage(const QStringList &Pictures, int Products, const QString &Folder, int &Filled)
{
    TPageDocument Page;
    Page.SetLines(PageLines(Pictures, Products));
    TBenchGrid Grid;
    const auto Start = Clock::now();
    Page.LoadGridFromPage(Grid, Folder + QStringLiteral("/page.qbt"), Folder + QLatin1Char('/'));
    Grid.FillPictures();
    const double Time = Seconds(Start);
    Filled = Grid.Thumbnails;
    return Time;
}

struct JpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

// Decodes the whole picture at full size with libjpeg's default settings.
long long FullDecode(const QByteArray &Bytes)
{
    jpeg_decompress_struct Info;
    JpegError Error;
    Info.err = jpeg_std_error(&Error.Manager);
    Error.Manager.error_exit = [](j_common_ptr C) { std::longjmp(reinterpret_cast<JpegError *>(C->err)->Jump, 1); };
    if (setjmp(Error.Jump)) {
        jpeg_destroy_decompress(&Info);
        return -1;
    }
    jpeg_create_decompress(&Info);
    jpeg_mem_src(&Info, reinterpret_cast<const unsigned char *>(Bytes.constData()), static_cast<unsigned long>(Bytes.size()));
    jpeg_read_header(&Info, TRUE);
    jpeg_start_decompress(&Info);
    std::vector<unsigned char> Line(size_t(Info.output_width) * Info.output_components);
    long long Sum = 0;
    while (Info.output_scanline < Info.output_height) {
        JSAMPROW Row = Line.data();
        jpeg_read_scanlines(&Info, &Row, 1);
        Sum += Line[0];
    }
    jpeg_finish_decompress(&Info);
    jpeg_destroy_decompress(&Info);
    return Sum;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication App(argc, argv);
    const int Products = argc > 1 ? std::max(1, std::atoi(argv[1])) : 512;
    const int Distinct = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    // A third argument names a folder that keeps the pictures (for peers such as djpeg).
    QTemporaryDir Dir;
    const QString Folder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : Dir.path();

    std::printf("threads available: %u\n", std::thread::hardware_concurrency());
    std::printf("products: %d, distinct pictures: %d, picture %dx%d, thumbnail height %d\n", Products, Distinct,
                PictureWidth, PictureHeight, ThumbnailHeight);
    QStringList Jpegs, Bmps;
    for (int I = 0; I < Distinct; ++I) {
        const QImage Image = MakePicture(I);
        TBitmap Bitmap;
        Bitmap.SetImage(Image);
        TJPEGImage Jpeg;
        Jpeg.Assign(&Bitmap);
        Jpegs << Folder + QStringLiteral("/p%1.jpg").arg(I);
        Jpeg.SaveToFile(Jpegs.last());
        Bmps << Folder + QStringLiteral("/p%1.bmp").arg(I);
        Bitmap.SaveToFile(Bmps.last());
    }
    std::printf("JPEG file size: %lld bytes\n", static_cast<long long>(QFile(Jpegs.first()).size()));

    // Full decode of every product's picture, file read included.
    const auto FullStart = Clock::now();
    long long Check = 0;
    for (int N = 0; N < Products; ++N) {
        QFile File(Jpegs.at(N % Distinct));
        if (!File.open(QIODevice::ReadOnly))
            return 1;
        Check += FullDecode(File.readAll());
    }
    const double Full = Seconds(FullStart);

    int Filled = 0;
    const double Thumbs = OpenPage(Jpegs, Products, Folder, Filled);
    if (Filled != Products)
        std::printf("warning: %d thumbnails filled of %d\n", Filled, Products);
    // The same thumbnails one after another on one thread, for comparison.
    const auto SerialStart = Clock::now();
    for (int N = 0; N < Products; ++N)
        ProductPictures::MakeThumbnail(Jpegs.at(N % Distinct), ThumbnailHeight);
    const double Serial = Seconds(SerialStart);
    int FilledBmp = 0;
    const double BmpThumbs = OpenPage(Bmps, Products, Folder, FilledBmp);

    std::printf("full libjpeg decode of %d JPEGs: %.3f s (check %lld)\n", Products, Full, Check);
    std::printf("page opened, %d JPEG thumbnails filled: %.3f s\n", Filled, Thumbs);
    std::printf("page opened, %d BMP thumbnails filled: %.3f s\n", FilledBmp, BmpThumbs);
    std::printf("ratio JPEG thumbnails / full decode: %.3f (target <= 0.200) %s\n", Thumbs / Full,
                Thumbs / Full <= 0.2 ? "met" : "NOT met");
    std::printf("JPEG thumbnails on one thread: %.3f s, ratio %.3f\n", Serial, Serial / Full);
    std::printf("ratio BMP thumbnails / full JPEG decode: %.3f\n", BmpThumbs / Full);
    return 0;
}
