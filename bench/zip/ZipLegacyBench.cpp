// Tests (decodes and checks) an archive of about 50 MB of shrunk and imploded
// text, once with our library and once with Info-ZIP's "unzip -t", and prints
// the time ratio. The members come from the test-only encoders.
//
//   zip_legacy_bench [megabytes] [work folder]

#include "LegacyEncoders.h"
#include "zip/UnZipper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QByteArray Text(qint64 Size, quint32 Seed)
{
    QRandomGenerator R{Seed};
    static const char *Words[] = {"<tr><td>", "商品名称", "</td><td>", "规格 ", "price ", "12.50", "unit ",
                                  "weight ", "</td></tr>\r\n", "catalog ", "description "};
    QByteArray B;
    B.reserve(Size + 64);
    while (B.size() < Size) {
        B += Words[R.bounded(11)];
        B += QByteArray::number(R.bounded(1000));
    }
    B.truncate(Size);
    return B;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication App(argc, argv);
    const qint64 Megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 50;
    QTemporaryDir Tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/ziplegacybench-XXXXXX") : QString());
    const QString Zip = Tmp.path() + QStringLiteral("/legacy.zip");

    // Members of 2 MB: shrunk, and imploded with each flag combination.
    QList<LegacyTest::Member> Members;
    qint64 Bytes = 0;
    qint64 Packed = 0;
    for (int I = 0; Bytes < Megabytes * 1048576; ++I) {
        const QByteArray Source = Text(2 * 1048576, quint32(I));
        const int Kind = I % 5;
        LegacyTest::Member M;
        M.Name = QStringLiteral("page%1.htm").arg(I);
        M.Source = Source;
        if (Kind == 0) {
            M.Method = 1;
            M.Compressed = LegacyTest::Shrink(Source);
        } else {
            M.Method = 6;
            M.Flags = (Kind - 1) * 2;
            M.Compressed = LegacyTest::Implode(Source, M.Flags);
        }
        Bytes += Source.size();
        Packed += M.Compressed.size();
        Members << M;
    }
    {
        QFile F(Zip);
        const QByteArray Archive = LegacyTest::Archive(Members);
        if (!F.open(QIODevice::WriteOnly) || F.write(Archive) != Archive.size())
            qFatal("cannot write %s", qPrintable(Zip));
    }
    std::printf("archive: %.1f MB of text in %lld members, %.1f MB packed\n", double(Bytes) / 1048576.0,
                static_cast<long long>(Members.size()), double(Packed) / 1048576.0);

    QElapsedTimer T;
    T.start();
    TUnZipper U;
    U.SetZipName(Zip);
    U.DoAll = true;
    const int Tested = U.TestFiles();
    const qint64 Ours = T.nsecsElapsed();
    if (Tested != Members.size())
        qFatal("ours: %d of %lld members tested good", Tested, static_cast<long long>(Members.size()));

    T.restart();
    QProcess P;
    P.start(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip});
    if (!P.waitForFinished(-1) || P.exitCode() != 0)
        qFatal("unzip -t failed");
    const qint64 Theirs = T.nsecsElapsed();
    std::printf("test:   ours %.2f s, unzip -t %.2f s, time ratio %.2f (target at most 2)\n", Ours / 1e9, Theirs / 1e9,
                double(Ours) / double(Theirs));
    return 0;
}
