// Zips a generated folder (HTML and text pages, incompressible picture data)
// at level 6 and extracts it again, once with our library and once with
// Info-ZIP's zip and unzip, and prints the time and size ratios; then the
// same for a folder of many tiny files. The core count is printed with them.
//
//   zip_bench [megabytes] [work folder] [tiny files]

#include "zip/Zipper.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <thread>

namespace {

void Write(const QString &Path, const QByteArray &Bytes)
{
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile F(Path);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size())
        qFatal("cannot write %s", qPrintable(Path));
}

qint64 Generate(const QString &Root, qint64 Total)
{
    QRandomGenerator R{2024};
    static const char *Words[] = {"<tr><td>", "商品名称", "</td><td>", "规格 ", "price ", "12.50", "unit ",
                                  "weight ", "</td></tr>\r\n", "catalog ", "description "};
    qint64 Done = 0;
    for (int I = 0; Done < Total; ++I) {
        QByteArray B;
        if (I % 3 == 2) {
            // Picture data does not compress.
            B.resize(150000 + int(R.bounded(200000)));
            for (char &C : B)
                C = char(R.bounded(256));
            Write(Root + QStringLiteral("/images/p%1.jpg").arg(I), B);
        } else {
            const int Size = 20000 + int(R.bounded(300000));
            while (B.size() < Size) {
                B += Words[R.bounded(11)];
                B += QByteArray::number(R.bounded(1000));
            }
            Write(Root + QStringLiteral("/pages/%1/page%2.htm").arg(I % 7).arg(I), B);
        }
        Done += B.size();
    }
    return Done;
}

qint64 Time(const std::function<void()> &Run)
{
    QElapsedTimer T;
    T.start();
    Run();
    return T.nsecsElapsed();
}

void Program(const QString &Name, const QStringList &Args, const QString &Dir)
{
    QProcess P;
    P.setWorkingDirectory(Dir);
    P.start(Name, Args);
    if (!P.waitForFinished(-1) || P.exitCode() != 0)
        qFatal("%s failed", qPrintable(Name));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    const qint64 Megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    QTemporaryDir Tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/zipbench-XXXXXX") : QString());
    const QString Root = Tmp.path() + QStringLiteral("/site");
    const qint64 Bytes = Generate(Root, Megabytes * 1024 * 1024);
    std::printf("folder: %.1f MB\n", double(Bytes) / 1048576.0);

    const QString Ours = Tmp.path() + QStringLiteral("/ours.zip");
    const QString Theirs = Tmp.path() + QStringLiteral("/theirs.zip");
    const qint64 OurZip = Time([&] {
        TZipper Z;
        Z.SetRootDir(Root);
        Z.SetZipName(Ours);
        Z.SetPackLevel(6);
        Z.FilesList().Add(Root + QStringLiteral("/*.*"));
        Z.SetRelativePaths(true);
        Z.PackFiles();
    });
    const qint64 TheirZip = Time([&] { Program(QStringLiteral("zip"), {QStringLiteral("-6qr"), Theirs, QStringLiteral(".")}, Root); });

    const QString OutOurs = Tmp.path() + QStringLiteral("/out-ours");
    const QString OutTheirs = Tmp.path() + QStringLiteral("/out-theirs");
    const qint64 OurUnzip = Time([&] {
        TUnZipper U;
        U.SetZipName(Ours);
        U.SetDestDir(OutOurs);
        U.RecreateDirs = true;
        U.DoAll = true;
        U.OverwriteMode = TUZOverwriteMode::Always;
        U.UnpackFiles();
    });
    const qint64 TheirUnzip = Time([&] { Program(QStringLiteral("unzip"), {QStringLiteral("-q"), Theirs, QStringLiteral("-d"), OutTheirs}, Root); });

    const double OurSize = double(QFileInfo(Ours).size()), TheirSize = double(QFileInfo(Theirs).size());
    std::printf("zip:    ours %.2f s, Info-ZIP %.2f s, time ratio %.2f\n", OurZip / 1e9, TheirZip / 1e9, double(OurZip) / double(TheirZip));
    std::printf("unzip:  ours %.2f s, Info-ZIP %.2f s, time ratio %.2f\n", OurUnzip / 1e9, TheirUnzip / 1e9, double(OurUnzip) / double(TheirUnzip));
    std::printf("size:   ours %.0f, Info-ZIP %.0f, size ratio %.4f\n", OurSize, TheirSize, OurSize / TheirSize);

    // Many tiny files: the cost per file.
    const int Tiny = argc > 3 ? QByteArray(argv[3]).toInt() : 70000;
    const QString Small = Tmp.path() + QStringLiteral("/tiny");
    QRandomGenerator R{7};
    for (int I = 0; I < Tiny; ++I)
        Write(Small + QStringLiteral("/d%1/f%2.txt").arg(I % 100).arg(I), QByteArray("item ").repeated(1 + int(R.bounded(40))));
    const QString OursTiny = Tmp.path() + QStringLiteral("/ours-tiny.zip");
    const QString TheirsTiny = Tmp.path() + QStringLiteral("/theirs-tiny.zip");
    const qint64 OurTiny = Time([&] {
        TZipper Z;
        Z.SetRootDir(Small);
        Z.SetZipName(OursTiny);
        Z.SetPackLevel(6);
        Z.FilesList().Add(Small + QStringLiteral("/*.*"));
        Z.SetRelativePaths(true);
        Z.PackFiles();
    });
    const qint64 TheirTiny = Time([&] { Program(QStringLiteral("zip"), {QStringLiteral("-6qr"), TheirsTiny, QStringLiteral(".")}, Small); });
    std::printf("tiny:   %d files, ours %.2f s, Info-ZIP %.2f s, time ratio %.2f\n", Tiny, OurTiny / 1e9, TheirTiny / 1e9,
                double(OurTiny) / double(TheirTiny));
    std::printf("cores:  %u\n", std::thread::hardware_concurrency());
    return 0;
}
