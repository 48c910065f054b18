// Times each operation of the zip library on a folder of N small files and
// on one of 4N, and prints the two times and their ratio: a ratio well
// above 4 means work that grows faster than the number of members. Two
// shapes: short names in a few folders, and long names in deep folders.
// Then archives from elsewhere: a central directory in falling offset
// order (written by some tools, and by hand), which the reader must still
// take in n log n.
//
//   zip_scale_bench [N] [work folder] [flat|deep|hostile]
//   zip_scale_bench archive <zip> <work folder> [read]

#include "zip/Zipper.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

void Write(const QString &Path, const QByteArray &Bytes)
{
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile F(Path);
    if (!F.open(QIODevice::WriteOnly) || F.write(Bytes) != Bytes.size())
        qFatal("cannot write %s", qPrintable(Path));
}

// Relative name of file I: "p7/f123.txt", or a long name in a chain of
// twelve folders of twenty characters, three chains of every first folder.
QString FileName(int I, bool Deep, const char *Prefix = "f")
{
    if (!Deep)
        return QStringLiteral("p%1/%2%3.txt").arg(I % 16).arg(QLatin1String(Prefix)).arg(I);
    QString Path;
    for (int Level = 0; Level < 12; ++Level)
        Path += QStringLiteral("folder_level_%1_%2/").arg(Level, 2, 10, QLatin1Char('0')).arg(Level == 11 ? I % 64 : I % 3);
    return Path + QStringLiteral("%1_a_rather_long_member_name_of_the_catalogue_%2.htm").arg(QLatin1String(Prefix)).arg(I);
}

void Generate(const QString &Root, int N, bool Deep, const char *Prefix = "f")
{
    for (int I = 0; I < N; ++I)
        Write(Root + QLatin1Char('/') + FileName(I, Deep, Prefix), QByteArray("price ") + QByteArray::number(I * 7) + "\r\n");
}

double Seconds(const std::function<void()> &Run)
{
    QElapsedTimer T;
    T.start();
    Run();
    return T.nsecsElapsed() / 1e9;
}

// Runs one operation, naming it first (on the error output, in case it fails).
void Op(std::vector<std::pair<QString, double>> &T, const QString &Name, const std::function<void()> &Run)
{
    std::fprintf(stderr, "%s\n", qPrintable(Name));
    try {
        T.emplace_back(Name, Seconds(Run));
    } catch (const Exception &E) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(Name), qPrintable(E.Message()));
        T.emplace_back(Name + QStringLiteral(" FAILED"), -1);
    }
}

void Pack(const QString &Root, const QString &Zip, TZipAction Action = zaUpdate)
{
    TZipper Z;
    Z.SetRootDir(Root);
    Z.SetZipName(Zip);
    Z.ZipAction = Action;
    Z.FilesList().Add(Root + QStringLiteral("/*.*"));
    Z.Recurse = true;
    Z.SetRelativePaths(true);
    Z.PackFiles();
}

int Extract(const QString &Zip, const QString &Dest, const QStringList &Masks, bool Test = false)
{
    TUnZipper U;
    U.SetZipName(Zip);
    U.SetDestDir(Dest);
    U.RecreateDirs = true;
    U.OverwriteMode = TUZOverwriteMode::Always;
    U.DoAll = Masks.isEmpty();
    for (const QString &M : Masks)
        U.FilesList().Add(M);
    return Test ? U.TestFiles() : U.UnpackFiles();
}

// Every operation at one size; the times by operation name.
std::vector<std::pair<QString, double>> Run(const QString &Work, int N, bool Deep)
{
    std::vector<std::pair<QString, double>> T;
    const QString Src = Work + QStringLiteral("/src"), Zip = Work + QStringLiteral("/a.zip");
    Generate(Src, N, Deep);
    Op(T, QStringLiteral("pack"), [&] { Pack(Src, Zip); });
    Op(T, QStringLiteral("read directory"), [&] {
        TUnZipper U;
        U.SetZipName(Zip);
        U.OpenAndReadDirectory();
        if (U.MemberCount() != N)
            qFatal("members %d", U.MemberCount());
    });
    Op(T, QStringLiteral("list, names and comments"), [&] {
        TUnZipper U;
        U.SetZipName(Zip);
        U.OpenAndReadDirectory();
        qint64 Sum = 0;
        for (int I = 0; I < U.MemberCount(); ++I)
            Sum += U.Member(I)->StoredName().size() + U.MemberComment(I).size();
        if (Sum == 0)
            qFatal("no names");
    });
    for (TZipSortMode Mode : {ByName, ByFileName, ByDirectoryName, ByDate, ByUnCompressedSize, ByRate}) {
        TUnZipper U;
        U.SetZipName(Zip);
        U.OpenAndReadDirectory();
        Op(T, QStringLiteral("sorted view %1").arg(int(Mode)), [&] { U.SetSortMode(Mode); });
    }
    Op(T, QStringLiteral("test all"), [&] { Extract(Zip, Work, {}, true); });
    Op(T, QStringLiteral("extract all"), [&] { Extract(Zip, Work + QStringLiteral("/x1"), {}); });
    Op(T, QStringLiteral("extract mask *7.*"), [&] {
        Extract(Zip, Work + QStringLiteral("/x2"), {QStringLiteral("*7.*")});
    });
    // A tenth of the members named one by one, as a caller picking them would.
    QStringList Picked;
    for (int I = 0; I < N; I += 10)
        Picked << FileName(I, Deep).replace(QLatin1Char('/'), QLatin1Char('\\'));
    Op(T, QStringLiteral("extract N/10 by name"), [&] {
        if (Extract(Zip, Work + QStringLiteral("/x3"), Picked) != Picked.size())
            qFatal("picked");
    });
    // Adding a tenth more files to the archive.
    const QString More = Work + QStringLiteral("/more");
    Generate(More, N / 10, Deep, "g");
    Op(T, QStringLiteral("add N/10 files"), [&] { Pack(More, Zip); });
    Op(T, QStringLiteral("freshen all"), [&] { Pack(Src, Zip, zaFreshen); });
    Op(T, QStringLiteral("update all (replace)"), [&] { Pack(Src, Zip, zaReplace); });
    Op(T, QStringLiteral("rename all"), [&] {
        TZipper Z;
        Z.SetZipName(Zip);
        Z.OpenAndReadDirectory();
        for (int I = 0; I < Z.MemberCount(); ++I)
            Z.Member(I)->SetFileName(QLatin1Char('r') + Z.Member(I)->FileName());
        Z.PackFiles();
    });
    Op(T, QStringLiteral("delete half"), [&] {
        TZipper Z;
        Z.SetZipName(Zip);
        Z.OpenAndReadDirectory();
        for (int I = 0; I < Z.MemberCount(); I += 2)
            Z.Member(I)->Action = 2;
        Z.PackFiles();
    });
    Op(T, QStringLiteral("split into parts"), [&] {
        TZipper Z;
        Z.SetZipName(Work + QStringLiteral("/split.zip"));
        Z.MultiZipInfo().MultiMode = mmBlocks;
        Z.MultiZipInfo().BlockSize = 1 << 20;
        Z.SetRootDir(Src);
        Z.FilesList().Add(Src + QStringLiteral("/*.*"));
        Z.Recurse = true;
        Z.SetRelativePaths(true);
        Z.PackFiles();
    });
    Op(T, QStringLiteral("read split set"), [&] {
        TUnZipper U;
        U.SetZipName(Work + QStringLiteral("/split.zip"));
        U.OpenAndReadDirectory();
    });
    return T;
}

// Rewrites a plain archive's central directory in reverse order.
void ReverseDirectory(const QString &Zip)
{
    QFile F(Zip);
    if (!F.open(QIODevice::ReadWrite))
        qFatal("open");
    QByteArray B = F.readAll();
    const qsizetype End = B.lastIndexOf(QByteArray("PK\x05\x06", 4));
    auto U32 = [&](qsizetype At) { return quint32(uchar(B[At])) | quint32(uchar(B[At + 1])) << 8 | quint32(uchar(B[At + 2])) << 16 | quint32(uchar(B[At + 3])) << 24; };
    auto U16 = [&](qsizetype At) { return quint32(uchar(B[At])) | quint32(uchar(B[At + 1])) << 8; };
    const qsizetype Cd = U32(End + 16), CdEnd = Cd + U32(End + 12);
    std::vector<QByteArray> Headers;
    for (qsizetype At = Cd; At < CdEnd;) {
        const qsizetype Len = 46 + U16(At + 28) + U16(At + 30) + U16(At + 32);
        Headers.push_back(B.mid(At, Len));
        At += Len;
    }
    QByteArray Dir;
    for (auto It = Headers.rbegin(); It != Headers.rend(); ++It)
        Dir += *It;
    B.replace(Cd, Dir.size(), Dir);
    F.seek(0);
    F.write(B);
}

std::vector<std::pair<QString, double>> Hostile(const QString &Work, int N)
{
    std::vector<std::pair<QString, double>> T;
    const QString Src = Work + QStringLiteral("/src"), Zip = Work + QStringLiteral("/r.zip");
    Generate(Src, N, false);
    Pack(Src, Zip);
    ReverseDirectory(Zip);
    Op(T, QStringLiteral("read reversed directory"), [&] {
        TUnZipper U;
        U.SetZipName(Zip);
        U.OpenAndReadDirectory();
        if (U.MemberCount() != N)
            qFatal("members %d", U.MemberCount());
    });
    Op(T, QStringLiteral("extract reversed"), [&] { Extract(Zip, Work + QStringLiteral("/x"), {}); });
    return T;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    if (argc > 3 && QByteArray(argv[1]) == "archive") {
        // zip_scale_bench archive <zip> <work folder>: reads, tests and
        // extracts an archive made elsewhere.
        const QString Zip = QString::fromLocal8Bit(argv[2]);
        QTemporaryDir Tmp(QString::fromLocal8Bit(argv[3]) + QStringLiteral("/zipscale-XXXXXX"));
        std::vector<std::pair<QString, double>> T;
        Op(T, QStringLiteral("read directory"), [&] {
            TUnZipper U;
            U.SetZipName(Zip);
            U.OpenAndReadDirectory();
        });
        for (TZipSortMode Mode : {ByName, ByDate}) {
            TUnZipper U;
            U.SetZipName(Zip);
            U.OpenAndReadDirectory();
            Op(T, QStringLiteral("sorted view %1").arg(int(Mode)), [&] { U.SetSortMode(Mode); });
        }
        Op(T, QStringLiteral("test all"), [&] { Extract(Zip, Tmp.path(), {}, true); });
        if (argc < 5 || QByteArray(argv[4]) != "read")
            Op(T, QStringLiteral("extract all"), [&] { Extract(Zip, Tmp.path() + QStringLiteral("/x"), {}); });
        for (const auto &[Name, Time] : T)
            std::printf("%-28s %9.3fs\n", qPrintable(Name), Time);
        return 0;
    }
    const int N = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const QString Base = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    const QByteArray Shape = argc > 3 ? QByteArray(argv[3]) : QByteArray("flat");
    std::map<int, std::vector<std::pair<QString, double>>> Results;
    for (int Size : {N, 4 * N}) {
        QTemporaryDir Tmp(Base + QStringLiteral("/zipscale-XXXXXX"));
        Results[Size] = Shape == "hostile" ? Hostile(Tmp.path(), Size) : Run(Tmp.path(), Size, Shape == "deep");
    }
    std::printf("%-28s %10s %10s %7s\n", "operation", qPrintable(QString::number(N)), qPrintable(QString::number(4 * N)), "ratio");
    const auto &A = Results[N], &B = Results[4 * N];
    for (size_t I = 0; I < A.size(); ++I)
        std::printf("%-28s %9.3fs %9.3fs %7.1f\n", qPrintable(A[I].first), A[I].second, B[I].second, B[I].second / A[I].second);
    return 0;
}
