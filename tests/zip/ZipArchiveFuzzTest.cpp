// The archive reader's fuzz harness on its seed archives: every seed lists,
// tests and extracts whole, and damaged copies of them break none of the
// harness's rules. With QB_WRITE_ARCHIVE_SEEDS set to a folder the seeds the
// library makes itself are written there (the fuzz target's seed files
// tests/fixtures/ziparchive/qb-* come from it; the zip-* ones from Debian's
// zip, see ZipArchiveFuzzer.cpp).

#include "ArchiveFuzzHarness.h"
#include "LegacyEncoders.h"
#include "ZipTestUtil.h"
#include "zip/Zipper.h"

#include <QDir>
#include <QFileInfo>

#include <random>

using namespace ZipTest;

namespace {

// The source folder of the library's seeds: text, a stored picture-like
// file, a sub-folder with a Chinese name.
void MakeSources(const QString &Src)
{
    WriteAll(Src + QStringLiteral("/index.dat"), QByteArray("index=page.qbt\r\ntype=QBT\r\n"));
    WriteAll(Src + QStringLiteral("/page.qbt"), TextBytes(900, 3));
    WriteAll(Src + QStringLiteral("/images/logo.jpg"), RandomBytes(300, 4));
    WriteAll(Src + QStringLiteral("/images/商品/说明.txt"), TextBytes(400, 5));
}

QByteArray Pack(const QString &Src, const QString &Zip, const QString &Password, bool Split)
{
    TZipper Z;
    Z.DoProcessMessages = false;
    Z.SetRootDir(Src);
    Z.SetZipName(Zip);
    Z.SetRelativePaths(true);
    Z.Recurse = true;
    Z.AddDirEntriesOnRecurse = true;
    Z.SetPassword(Password);
    Z.NoCompressList().Add(QStringLiteral("*.jpg"));
    Z.FilesList().Add(Src + QStringLiteral("/*.*"));
    if (Split) {
        Z.MultiZipInfo().MultiMode = mmBlocks;
        Z.MultiZipInfo().BlockSize = 600;
    }
    EXPECT_GE(Z.PackFiles(), 4);
    const QString Base = Zip.left(Zip.size() - 4);
    QList<QByteArray> Parts;
    for (int I = 1; Split && QFileInfo::exists(Base + QStringLiteral(".z%1").arg(I, 2, 10, QLatin1Char('0'))); ++I)
        Parts << ReadAll(Base + QStringLiteral(".z%1").arg(I, 2, 10, QLatin1Char('0')));
    Parts << ReadAll(Zip);
    return ArchiveFuzz::Join(Parts);
}

} // namespace

TEST(ZipArchiveFuzz, SeedArchivesExtractWholeAndDamagedCopiesBreakNoRule)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    MakeSources(Src);
    QList<QPair<QString, QByteArray>> Seeds;
    Seeds << qMakePair(QStringLiteral("qb-deflated.zip"), Pack(Src, D.File(QStringLiteral("a.zip")), QString(), false));
    Seeds << qMakePair(QStringLiteral("qb-encrypted.zip"), Pack(Src, D.File(QStringLiteral("b.zip")), ArchiveFuzz::Password, false));
    Seeds << qMakePair(QStringLiteral("qb-split.zip"), Pack(Src, D.File(QStringLiteral("c.zip")), QString(), true));
    const QByteArray Text = TextBytes(700, 6);
    Seeds << qMakePair(QStringLiteral("qb-legacy.zip"),
                       LegacyTest::Archive({{QStringLiteral("shrunk.txt"), 1, 0, LegacyTest::Shrink(Text), Text},
                                            {QStringLiteral("reduced.txt"), 3, 0, LegacyTest::Reduce(Text, 2), Text},
                                            {QStringLiteral("imploded.txt"), 6, 6, LegacyTest::Implode(Text, 6), Text}}));
    EXPECT_GT(ArchiveFuzz::Parts(reinterpret_cast<const uint8_t *>(Seeds[2].second.constData()),
                                 size_t(Seeds[2].second.size())).size(), 2);
    const QString SeedDir = qEnvironmentVariable("QB_WRITE_ARCHIVE_SEEDS");
    for (const auto &[Name, Bytes] : Seeds)
        if (!SeedDir.isEmpty())
            WriteAll(SeedDir + QLatin1Char('/') + Name, Bytes);
    const QDir Fixtures(TestSupport::SourceDir() + QStringLiteral("/tests/fixtures/ziparchive"));
    const QStringList Stored = Fixtures.entryList(QDir::Files, QDir::Name);
    EXPECT_GE(Stored.size(), 10);
    for (const QString &Name : Stored)
        if (!Name.startsWith(QStringLiteral("qb-")))
            Seeds << qMakePair(Name, ReadAll(Fixtures.filePath(Name)));

    ArchiveFuzz::Runner Runner;
    std::mt19937 Rng(31);
    for (const auto &[Name, Seed] : Seeds) {
        SCOPED_TRACE(Name.toStdString());
        const auto *P = reinterpret_cast<const uint8_t *>(Seed.constData());
        const ArchiveFuzz::Result R = Runner.Run(P, size_t(Seed.size()));
        EXPECT_TRUE(R.Problems.isEmpty()) << R.Problems.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(R.Opened);
        EXPECT_GE(R.Members, 1);
        EXPECT_EQ(R.Selected, R.Members);
        EXPECT_EQ(R.Tested, R.Members);
        EXPECT_EQ(R.Extracted, R.Members);
        EXPECT_EQ(R.Failed, 0);
        for (int I = 0; I < 40; ++I) {
            QByteArray B = Seed;
            for (int N = 1 + int(Rng() % 3); N > 0 && !B.isEmpty(); --N) {
                const qsizetype At = qsizetype(Rng() % uint32_t(B.size()));
                switch (Rng() % 4) {
                case 0: B[At] = char(B[At] ^ char(1 << (Rng() % 8))); break;
                case 1: B.truncate(At); break;
                case 2: B[At] = char(0xFF); break;
                default: B[At] = char(Rng() & 0xFF); break;
                }
            }
            const ArchiveFuzz::Result M = Runner.Run(reinterpret_cast<const uint8_t *>(B.constData()), size_t(B.size()));
            ASSERT_TRUE(M.Problems.isEmpty()) << M.Problems.join(QLatin1Char('\n')).toStdString();
        }
    }
}
