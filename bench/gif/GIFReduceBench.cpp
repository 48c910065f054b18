// Reduces a 2048 x 1536 plasma fractal to 256 colours (octree, no dither) with
// ReduceBitmap and with ImageMagick's "convert -colors 256 +dither" on the
// same picture, and prints the median times, their ratio (ours / ImageMagick;
// below 1 is faster) and both qualities (PSNR against the original).

#include "gif/GIFReduce.h"

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double Psnr(const QImage &A0, const QImage &B0)
{
    const QImage A = A0.convertToFormat(QImage::Format_RGB888), B = B0.convertToFormat(QImage::Format_RGB888);
    if (A.size() != B.size())
        return 0;
    double Sum = 0;
    for (int Y = 0; Y < A.height(); ++Y) {
        const uint8_t *P = A.constScanLine(Y), *Q = B.constScanLine(Y);
        for (int X = 0; X < A.width() * 3; ++X)
            Sum += double(P[X] - Q[X]) * double(P[X] - Q[X]);
    }
    const double Mse = Sum / (double(A.width()) * A.height() * 3);
    return Mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / Mse);
}

bool Convert(const QStringList &Args)
{
    QProcess P;
    P.start(QStringLiteral("convert"), Args);
    return P.waitForFinished(600000) && P.exitStatus() == QProcess::NormalExit && P.exitCode() == 0;
}

double Median(std::vector<double> V)
{
    std::sort(V.begin(), V.end());
    return V[V.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    QTemporaryDir Dir;
    const QString Source = Dir.filePath(QStringLiteral("plasma.png"));
    if (!Convert({QStringLiteral("-seed"), QStringLiteral("5"), QStringLiteral("-size"), QStringLiteral("2048x1536"),
                  QStringLiteral("plasma:fractal"), Source})) {
        std::printf("ImageMagick's convert is needed for this benchmark\n");
        return 1;
    }
    const QImage Picture = QImage(Source).convertToFormat(QImage::Format_RGB888);
    TBitmap Bitmap;
    Bitmap.SetImage(Picture);

    constexpr int Runs = 5;
    std::vector<double> Ours, Theirs;
    std::unique_ptr<TBitmap> Reduced;
    for (int I = 0; I < Runs; ++I) {
        auto Start = std::chrono::steady_clock::now();
        Reduced = ReduceBitmap(Bitmap, reduceOctree, ditherNearest, {}, 8);
        Ours.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count());
    }
    const QString Out = Dir.filePath(QStringLiteral("magick.png"));
    for (int I = 0; I < Runs; ++I) {
        auto Start = std::chrono::steady_clock::now();
        Convert({Source, QStringLiteral("+dither"), QStringLiteral("-colors"), QStringLiteral("256"), Out});
        Theirs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count());
    }
    const double A = Median(Ours), B = Median(Theirs);
    std::printf("%-34s %10s %14s %8s %10s %14s\n", "2048x1536 plasma to 256 colours", "ours ms", "ImageMagick ms",
                "ratio", "ours dB", "ImageMagick dB");
    std::printf("%-34s %10.1f %14.1f %8.2f %10.2f %14.2f\n", "", A, B, A / B,
                Psnr(Picture, Reduced->Image()), Psnr(Picture, QImage(Out)));
    return 0;
}
