// Zips a generated folder (HTML and text pages, incompressible picture data)
// at level 6 and extracts it again, once with our library and once with
// Info-ZIP's zip and unzip, and prints the time and size ratios; then the
// same for a folder of many tiny files, whose archive is then listed and
// tested beside "unzip -l", "unzip -t", "7z l" and "7z t". Each case runs
// several times, ours and the peer's in turn, since the machine is shared:
// every ratio is printed with the median. The core count and load average
// are printed too.
//
//   zip_bench [megabytes] [work folder] [tiny files] [runs] [big|tiny|list]
//
// "list" makes the tiny files' archive with Info-ZIP's zip and only lists
// and tests it.

#include "zip/UnZipper.h"
#include "zip/Zipper.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

void Write(const QString &Path, const QByteArray &Bytes)
{
    static QSet<QString> Made;
    const QString Folder = QFileInfo(Path).absolutePath();
    if (!Made.contains(Folder)) {
        QDir().mkpath(Folder);
        Made.insert(Folder);
    }
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
    // What a peer prints goes nowhere, as the listing we make goes nowhere.
    P.setStandardOutputFile(QProcess::nullDevice());
    P.start(Name, Args);
    if (!P.waitForFinished(-1) || P.exitCode() != 0)
        qFatal("%s failed", qPrintable(Name));
}

QString LoadAverage()
{
    QFile F(QStringLiteral("/proc/loadavg"));
    if (!F.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(F.readAll().split(' ').mid(0, 3).join(' '));
}

// Runs ours and theirs Runs times in turn (Fresh(true) before ours,
// Fresh(false) before theirs), prints every ratio and the median.
void Compare(const char *Name, int Runs, const std::function<void(bool)> &Fresh, const std::function<void()> &Ours,
             const std::function<void()> &Theirs)
{
    std::vector<double> Ratios;
    std::printf("%-7s", Name);
    for (int I = 0; I < Runs; ++I) {
        // The disk writes back what the previous run left before the next begins.
        Fresh(true);
        ::sync();
        const qint64 A = Time(Ours);
        Fresh(false);
        ::sync();
        const qint64 B = Time(Theirs);
        Ratios.push_back(double(A) / double(B));
        std::printf(" %.2f/%.2f s=%.2f", A / 1e9, B / 1e9, Ratios.back());
        std::fflush(stdout);
    }
    std::sort(Ratios.begin(), Ratios.end());
    std::printf("  median ratio %.2f\n", Ratios[Ratios.size() / 2]);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    const qint64 Megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    QTemporaryDir Tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/zipbench-XXXXXX") : QString());
    const int Tiny = argc > 3 ? QByteArray(argv[3]).toInt() : 70000;
    const int Runs = std::max(1, argc > 4 ? QByteArray(argv[4]).toInt() : 3);
    const QByteArray Only = argc > 5 ? QByteArray(argv[5]) : QByteArray();
    std::printf("cores:  %u, load average %s; each case: ours/Info-ZIP seconds = ratio\n",
                std::thread::hardware_concurrency(), qPrintable(LoadAverage()));

    auto Pack = [](const QString &Root, const QString &Zip) {
        TZipper Z;
        Z.SetRootDir(Root);
        Z.SetZipName(Zip);
        Z.SetPackLevel(6);
        Z.FilesList().Add(Root + QStringLiteral("/*.*"));
        Z.SetRelativePaths(true);
        Z.PackFiles();
    };
    auto Unpack = [](const QString &Zip, const QString &Out) {
        TUnZipper U;
        U.SetZipName(Zip);
        U.SetDestDir(Out);
        U.RecreateDirs = true;
        U.DoAll = true;
        U.OverwriteMode = TUZOverwriteMode::Always;
        U.UnpackFiles();
    };
    // One case: pack Root both ways, then extract both archives.
    auto Case = [&](const QString &Label, const QString &Root) {
        const QString Ours = Tmp.path() + QStringLiteral("/ours-") + Label + QStringLiteral(".zip");
        const QString Theirs = Tmp.path() + QStringLiteral("/theirs-") + Label + QStringLiteral(".zip");
        auto Fresh = [&](bool Our) { QFile::remove(Our ? Ours : Theirs); };
        Compare(qPrintable(Label + QStringLiteral(":")), Runs, Fresh, [&] { Pack(Root, Ours); },
                [&] { Program(QStringLiteral("zip"), {QStringLiteral("-6qr"), Theirs, QStringLiteral(".")}, Root); });
        const double OurSize = double(QFileInfo(Ours).size()), TheirSize = double(QFileInfo(Theirs).size());
        std::printf("size:   ours %.0f, Info-ZIP %.0f, size ratio %.4f\n", OurSize, TheirSize, OurSize / TheirSize);
        // Each run extracts into a new folder: a file system just after a
        // mass deletion creates files many times slower (freed inodes wait
        // for their journal commit), which would measure the deletion.
        QString OutOurs, OutTheirs;
        int Run = 0;
        auto Next = [&](bool Our) {
            const QString Out = Tmp.path() + QStringLiteral("/out-%1-%2").arg(Our ? "ours" : "theirs").arg(++Run);
            (Our ? OutOurs : OutTheirs) = Out;
        };
        Compare("unzip:", Runs, Next, [&] { Unpack(Ours, OutOurs); },
                [&] { Program(QStringLiteral("unzip"), {QStringLiteral("-q"), Theirs, QStringLiteral("-d"), OutTheirs}, Root); });
    };

    if (Only.isEmpty() || Only == "big") {
        const QString Root = Tmp.path() + QStringLiteral("/site");
        const qint64 Bytes = Generate(Root, Megabytes * 1024 * 1024);
        std::printf("folder: %.1f MB\n", double(Bytes) / 1048576.0);
        Case(QStringLiteral("zip"), Root);
    }
    // Listing and testing an archive of many members, beside unzip and 7z:
    // each lists names, sizes and dates, and tests every member's data.
    auto ListAndTest = [&](const QString &Zip) {
        auto Nothing = [](bool) {};
        auto List = [&] {
            TUnZipper U;
            U.SetZipName(Zip);
            U.OpenAndReadDirectory();
            qint64 Sum = 0;
            for (int I = 0; I < U.MemberCount(); ++I) {
                const TZipHeaderInfo *H = U.Member(I);
                Sum += H->FileName().size() + H->UncompressedSize() + H->LastModFileDateTime;
            }
            if (Sum == 0)
                qFatal("nothing listed");
        };
        auto Test = [&] {
            TUnZipper U;
            U.SetZipName(Zip);
            U.DoAll = true;
            U.TestFiles();
            if (U.FailedCount() != 0)
                qFatal("members failed their test");
        };
        const QString Dir = QFileInfo(Zip).absolutePath();
        Compare("list/unzip:", Runs, Nothing, List, [&] { Program(QStringLiteral("unzip"), {QStringLiteral("-l"), Zip}, Dir); });
        Compare("list/7z:", Runs, Nothing, List, [&] { Program(QStringLiteral("7z"), {QStringLiteral("l"), Zip}, Dir); });
        Compare("test/unzip:", Runs, Nothing, Test, [&] { Program(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}, Dir); });
        Compare("test/7z:", Runs, Nothing, Test, [&] { Program(QStringLiteral("7z"), {QStringLiteral("t"), Zip}, Dir); });
    };

    if (Only.isEmpty() || Only == "tiny" || Only == "list") {
        // Many tiny files: the cost per file.
        const QString Small = Tmp.path() + QStringLiteral("/tiny");
        QRandomGenerator R{7};
        for (int I = 0; I < Tiny; ++I)
            Write(Small + QStringLiteral("/d%1/f%2.txt").arg(I % 100).arg(I), QByteArray("item ").repeated(1 + int(R.bounded(40))));
        std::printf("folder: %d tiny files\n", Tiny);
        if (Only == "list") {
            const QString Zip = Tmp.path() + QStringLiteral("/theirs-tiny.zip");
            Program(QStringLiteral("zip"), {QStringLiteral("-6qr"), Zip, QStringLiteral(".")}, Small);
            ListAndTest(Zip);
        } else {
            Case(QStringLiteral("tiny"), Small);
            ListAndTest(Tmp.path() + QStringLiteral("/ours-tiny.zip"));
        }
    }
    std::printf("load average at the end: %s\n", qPrintable(LoadAverage()));
    return 0;
}
