// Shrunk, reduced and imploded members: vectors of the test encoders pass
// Info-ZIP's unzip and 7-Zip before our extractor must return their bytes;
// reduce, which no peer decodes, has hand-assembled vectors; damaged members
// end in OnBadCRC with no file left and little output.

#include "LegacyEncoders.h"
#include "LegacyFuzzHarness.h"
#include "ZipTestUtil.h"
#include "zip/UnZipper.h"

#include <QDir>
#include <QFileInfo>

#include <random>

using namespace ZipTest;
using namespace LegacyTest;

namespace {

struct Extraction {
    QList<int> BadCrc;
    QStringList Messages;
    int Count = 0;
};

Extraction Extract(const QString &Zip, const QString &Dest)
{
    Extraction R;
    TUnZipper U;
    U.SetZipName(Zip);
    U.SetDestDir(Dest);
    U.DoAll = true;
    U.OverwriteMode = TUZOverwriteMode::Always;
    U.OnBadCRC = [&](TObject *, quint32, quint32, int I) { R.BadCrc << I; };
    U.OnHandleMessage = [&](TObject *, int Id, const QString &Msg1, const QString &, quint32, int &Return) {
        R.Messages << QString::number(Id) + QLatin1Char(' ') + Msg1;
        Return = ZID_OK;
    };
    R.Count = U.UnpackFiles();
    return R;
}

// Writes the members, lets unzip and 7-Zip test the archive when Peers is
// set, then extracts it with ours and compares every file with its source.
void CheckRoundTrip(const QList<Member> &Members, bool Peers)
{
    TestSupport::TempDir T;
    const QString Zip = T.File(QStringLiteral("legacy.zip"));
    WriteAll(Zip, Archive(Members));
    if (Peers) {
        QByteArray Out;
        ASSERT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}, &Out), 0) << Out.constData();
        ASSERT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("t"), Zip}, &Out), 0) << Out.constData();
    }
    const QString Dest = T.File(QStringLiteral("out"));
    const Extraction R = Extract(Zip, Dest);
    EXPECT_TRUE(R.BadCrc.isEmpty());
    EXPECT_TRUE(R.Messages.isEmpty()) << R.Messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(R.Count, Members.size());
    for (const Member &M : Members) {
        SCOPED_TRACE(M.Name.toStdString());
        const QString File = Dest + QLatin1Char('/') + M.Name;
        ASSERT_TRUE(QFileInfo::exists(File));
        EXPECT_TRUE(ReadAll(File) == M.Source);
    }
}

// Text with long runs (long and overlapping copies), the byte 144 and pairs
// whose first byte has a single follower.
QByteArray MixedText(int Size, int Seed)
{
    QByteArray B(64, '\0');
    QByteArray Text = TextBytes(Size, Seed);
    for (int I = 0; I < Text.size(); I += 997)
        Text.insert(I, QByteArray(I % 3 ? 3 : 700, char('a' + I % 26)));
    for (int I = 500; I < Text.size(); I += 1511)
        Text[I] = char(0x90);
    B += Text;
    B += "quack quilt quota";
    return B;
}

} // namespace

TEST(ZipLegacy, ShrunkMembersPassPeersAndExtract)
{
    ShrinkStats Text, Mixed, Run;
    QList<Member> Members;
    const QByteArray A = TextBytes(200000, 3) + RandomBytes(20000, 4) + TextBytes(60000, 5);
    Members << Member{QStringLiteral("text.txt"), 1, 0, Shrink(A, &Text), A};
    const QByteArray B = MixedText(30000, 6);
    Members << Member{QStringLiteral("mixed.txt"), 1, 0, Shrink(B, &Mixed), B};
    const QByteArray C(3000, 'a');
    Members << Member{QStringLiteral("run.txt"), 1, 0, Shrink(C, &Run), C};
    Members << Member{QStringLiteral("one.txt"), 1, 0, Shrink("x"), "x"};
    Members << Member{QStringLiteral("empty.txt"), 1, 0, QByteArray(), QByteArray()};
    // The vectors reach 13-bit codes, clear partially more than once and use
    // codes defined by the step that reads them.
    EXPECT_EQ(Text.MaxCodeSize, 13);
    EXPECT_GE(Text.PartialClears, 2);
    EXPECT_GT(Text.SelfDefined, 0);
    EXPECT_GT(Run.SelfDefined, 0);
    CheckRoundTrip(Members, true);
}

TEST(ZipLegacy, ImplodedMembersOfEveryFlagPassPeersAndExtract)
{
    QList<Member> Members;
    const QByteArray Text = MixedText(60000, 7);
    for (int Flags : {0, 2, 4, 6}) {
        ImplodeStats S;
        Members << Member{QStringLiteral("text%1.txt").arg(Flags), 6, Flags, Implode(Text, Flags, &S), Text};
        EXPECT_GT(S.LongLengths, 0) << Flags;
        EXPECT_GT(S.Overlapping, 0) << Flags;
        const QByteArray Short = "abcabcabcabcx";
        Members << Member{QStringLiteral("short%1.txt").arg(Flags), 6, Flags, Implode(Short, Flags), Short};
    }
    // Over 200,000 compressed bytes: an 8-bit distance table.
    const QByteArray Big = RandomBytes(150000, 8) + TextBytes(200000, 9) + RandomBytes(100000, 10);
    const QByteArray BigPacked = Implode(Big, 6);
    EXPECT_GT(BigPacked.size(), 200000);
    Members << Member{QStringLiteral("big.bin"), 6, 6, BigPacked, Big};
    CheckRoundTrip(Members, true);
}

// Reduce, hand-assembled for each factor: the sets of 'A' ({'B'}, one byte,
// indexed with one bit) and 'B' ({'C','D','E'}, two-bit index) are the only
// ones; every other byte is read as 8 bits.
TEST(ZipLegacy, ReducedHandAssembledVectorsOfEachFactor)
{
    QList<Member> Members;
    for (int F = 1; F <= 4; ++F) {
        BitWriter W;
        for (int X = 255; X >= 0; --X) {
            if (X == 'A') {
                W.Put(1, 6);
                W.Byte('B');
            } else if (X == 'B') {
                W.Put(3, 6);
                W.Byte('C');
                W.Byte('D');
                W.Byte('E');
            } else {
                W.Put(0, 6);
            }
        }
        const int L = 0xFF >> F;   // the length field of all ones
        W.Byte('A');               // "A"
        W.Put(0, 1);               // from the set of 'A': index 0 in one bit
        W.Put(0, 1);               // "B"
        W.Put(1, 1);               // not from the set of 'B'
        W.Byte(0x90);
        W.Byte(0x00);              // 144,0: the byte 144
        W.Byte(0x90);
        W.Byte(0x01);              // length 1 + 3, high distance bits 0
        W.Byte(0x02);              // distance 3: "AB\x90A", overlapping itself
        W.Byte(0x90);
        W.Byte(uint8_t(L));        // all ones: a length byte follows
        W.Byte(uint8_t(137 - L));  // length L + 137 - L + 3 = 140
        W.Byte(0x00);              // distance 1: 140 times 'A'
        W.Byte(0x90);
        W.Byte(uint8_t(((1 << F) - 1) << (8 - F)));   // all high distance bits, length 3
        W.Byte(0xFF);              // distance 256 << F: before the start, 3 zero bytes
        W.Byte('B');
        W.Put(0, 1);
        W.Put(2, 2);               // from the set of 'B': index 2, "E"
        const QByteArray Expected = QByteArray("AB\x90" "AB\x90" "A") + QByteArray(140, 'A') + QByteArray(3, '\0') + "BE";
        Members << Member{QStringLiteral("hand%1.bin").arg(F), F + 1, 0, W.Finish(), Expected};
    }
    CheckRoundTrip(Members, false);
}

TEST(ZipLegacy, ReducedEncoderRoundTripsOfEachFactor)
{
    QList<Member> Members;
    // 127 occurs only before 1 in the text: a follower set of one byte.
    const QByteArray Text = MixedText(40000, 11) + "\x7f\x01 end";
    const QByteArray Random = RandomBytes(5000, 12);
    for (int F = 1; F <= 4; ++F) {
        Members << Member{QStringLiteral("random%1.bin").arg(F), F + 1, 0, Reduce(Random, F), Random};
        ReduceStats S;
        Members << Member{QStringLiteral("text%1.txt").arg(F), F + 1, 0, Reduce(Text, F, &S), Text};
        EXPECT_GT(S.Escapes, 0);
        EXPECT_GT(S.ExtraLengths, 0);
        EXPECT_GT(S.CopiesBeforeStart, 0);
        EXPECT_GT(S.SingleSets, 0);
        Members << Member{QStringLiteral("empty%1.txt").arg(F), F + 1, 0, Reduce(QByteArray(), F), QByteArray()};
    }
    CheckRoundTrip(Members, false);
}

// Each damaged member fails its CRC check: no file, no exception, the other
// members still extract; a member with a large stored size and little data
// produces only a few bytes.
TEST(ZipLegacy, DamagedMembersFailTheirCheckWithoutFileOrRunaway)
{
    const QByteArray Text = MixedText(20000, 13);
    const QByteArray Shrunk = Shrink(Text);
    const QByteArray Imploded = Implode(Text, 6);
    const QByteArray Reduced = Reduce(Text, 2);
    auto Shrink9 = [](std::initializer_list<std::pair<int, int>> Codes) {
        BitWriter W;
        for (auto [Code, Bits] : Codes)
            W.Put(uint32_t(Code), Bits);
        return W.Finish();
    };
    auto Trees = [](std::initializer_list<uint8_t> Length, std::initializer_list<uint8_t> Distance) {
        QByteArray B;
        for (uint8_t C : Length)
            B += char(C);
        for (uint8_t C : Distance)
            B += char(C);
        return B + QByteArray(20, '\x55');
    };
    const std::initializer_list<uint8_t> Good = {0x03, 0xF5, 0xF5, 0xF5, 0xF5};   // 64 codes of 6 bits
    QByteArray EmptySets;
    {
        BitWriter W;
        for (int X = 0; X < 256; ++X)
            W.Put(0, 6);
        EmptySets = W.Finish();
    }
    QByteArray BadIndex;
    {
        BitWriter W;
        for (int X = 255; X >= 0; --X) {
            W.Put(X == 'A' ? 3 : 0, 6);
            if (X == 'A')
                for (char C : {'B', 'C', 'D'})
                    W.Byte(uint8_t(C));
        }
        W.Byte('A');
        W.Put(0, 1);
        W.Put(3, 2);   // the set of 'A' has no fourth byte
        W.Byte('Z');
        BadIndex = W.Finish();
    }
    const QByteArray Ten(10, 'x');
    const qint64 Huge = 100000000;
    QList<Member> Members = {
        {QStringLiteral("cut.shr"), 1, 0, Shrunk.left(Shrunk.size() / 2), Text},
        // 256,1 five times: a 14-bit code size.
        {QStringLiteral("wide.shr"), 1, 0,
         Shrink9({{'A', 9}, {256, 9}, {1, 9}, {256, 10}, {1, 10}, {256, 11}, {1, 11}, {256, 12}, {1, 12},
                  {256, 13}, {1, 13}, {'B', 14}}),
         "AB"},
        // After a partial clear frees code 257, it is defined as its own prefix: a cycle.
        {QStringLiteral("cycle.shr"), 1, 0,
         Shrink9({{'A', 9}, {257, 9}, {256, 9}, {2, 9}, {'A', 9}, {257, 9}}), Ten},
        // A free code whose previous code is itself free: a chain that never ends.
        {QStringLiteral("free.shr"), 1, 0, Shrink9({{'A', 9}, {257, 9}, {256, 9}, {2, 9}, {257, 9}}), Ten},
        {QStringLiteral("long.shr"), 1, 0, Shrink9({{'A', 9}, {257, 9}}), Ten, Huge},
        {QStringLiteral("cut.imp"), 6, 6, Imploded.left(Imploded.size() / 2), Text},
        {QStringLiteral("over.imp"), 6, 0, Trees({0x03, 0xF0, 0xF0, 0xF0, 0xF0}, Good), Ten},
        {QStringLiteral("incomplete.imp"), 6, 0, Trees({0x03, 0xF6, 0xF6, 0xF6, 0xF6}, Good), Ten},
        {QStringLiteral("toomany.imp"), 6, 0, Trees({0x04, 0xF5, 0xF5, 0xF5, 0xF5, 0xF5}, Good), Ten},
        {QStringLiteral("long.imp"), 6, 0, Trees(Good, Good), Ten, Huge},
        {QStringLiteral("none.imp"), 6, 4, QByteArray(), Ten, Huge},
        {QStringLiteral("cut.red"), 3, 0, Reduced.left(Reduced.size() / 2), Text},
        {QStringLiteral("long.red"), 2, 0, EmptySets + "abc", Ten, Huge},
        {QStringLiteral("index.red"), 2, 0, BadIndex, "AZ"},
        {QStringLiteral("method7.bin"), 7, 0, Shrunk, Text},
        {QStringLiteral("good.txt"), 1, 0, Shrunk, Text},
    };
    TestSupport::TempDir T;
    const QString Zip = T.File(QStringLiteral("damaged.zip"));
    WriteAll(Zip, Archive(Members));

    const Extraction R = Extract(Zip, T.File(QStringLiteral("out")));
    EXPECT_EQ(R.Count, 1);
    EXPECT_EQ(R.BadCrc.size(), Members.size() - 2);
    // The one unknown method is reported, naming its method and member.
    ASSERT_EQ(R.Messages.size(), 1);
    EXPECT_TRUE(R.Messages[0].startsWith(QStringLiteral("197 Unknown Compression Method"))) << qPrintable(R.Messages[0]);
    EXPECT_TRUE(R.Messages[0].contains(QStringLiteral("method7.bin"))) << qPrintable(R.Messages[0]);
    EXPECT_EQ(QDir(T.File(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("good.txt")});

    // A member that decodes to more than its stated size stops the run.
    const QString Over = T.File(QStringLiteral("over.zip"));
    WriteAll(Over, Archive({{QStringLiteral("over.txt"), 1, 0, Shrunk, Text, Text.size() - 1}}));
    TUnZipper O;
    O.SetZipName(Over);
    O.SetDestDir(T.File(QStringLiteral("over")));
    O.DoAll = true;
    EXPECT_THROW(O.UnpackFiles(), EBiggerThanUncompressed);
    EXPECT_TRUE(QDir(T.File(QStringLiteral("over"))).entryList(QDir::Files | QDir::Hidden).isEmpty());

    // What the damaged members produce, member by member.
    TUnZipper U;
    U.SetZipName(Zip);
    for (int I = 0; I < U.MemberCount(); ++I) {
        const QString Name = U.Member(I)->FileName();
        SCOPED_TRACE(Name.toStdString());
        TMemoryStream Out;
        EXPECT_EQ(U.UnzipToStream(I, &Out), Name == QLatin1String("good.txt"));
        if (Name.startsWith(QLatin1String("long")) || Name == QLatin1String("none.imp")) {
            EXPECT_LT(Out.Size(), 4096);
        }
        if (Name == QLatin1String("cycle.shr")) {
            EXPECT_EQ(Out.Bytes(), QByteArray("AAAA"));
        }
        if (Name == QLatin1String("free.shr")) {
            EXPECT_EQ(Out.Bytes(), QByteArray("AAA"));
        }
        if (Name == QLatin1String("wide.shr") || Name == QLatin1String("index.red")) {
            EXPECT_EQ(Out.Bytes(), QByteArray("A"));
        }
        if (Name == QLatin1String("over.imp") || Name == QLatin1String("incomplete.imp")
            || Name == QLatin1String("toomany.imp") || Name == QLatin1String("none.imp")) {
            EXPECT_EQ(Out.Size(), 0);
        }
    }
}

// The fuzz harness's seeds decode to their sources; thousands of damaged
// copies run under the sanitizers without a fault. With
// QB_WRITE_LEGACY_SEEDS set to a folder the seeds are written there (the
// fuzz target's seed files in tests/fixtures/ziplegacy come from it).
TEST(ZipLegacy, MutatedMembersNeverFault)
{
    const QByteArray Text = MixedText(3000, 14);
    QList<QPair<QString, QByteArray>> Seeds;
    Seeds << qMakePair(QStringLiteral("shrink"), LegacyFuzz::Input(1, 0, Text.size(), Shrink(Text)));
    for (int Flags : {0, 2, 4, 6})
        Seeds << qMakePair(QStringLiteral("implode%1").arg(Flags),
                           LegacyFuzz::Input(6, Flags, Text.size(), Implode(Text, Flags)));
    for (int F = 1; F <= 4; ++F)
        Seeds << qMakePair(QStringLiteral("reduce%1").arg(F), LegacyFuzz::Input(F + 1, 0, Text.size(), Reduce(Text, F)));
    const QString SeedDir = qEnvironmentVariable("QB_WRITE_LEGACY_SEEDS");
    std::mt19937 Rng(26);
    for (const auto &[Name, Seed] : Seeds) {
        SCOPED_TRACE(Name.toStdString());
        if (!SeedDir.isEmpty())
            WriteAll(SeedDir + QLatin1Char('/') + Name, Seed);
        const auto *P = reinterpret_cast<const uint8_t *>(Seed.constData());
        EXPECT_TRUE(LegacyFuzz::Run(P, size_t(Seed.size())).Output == Text);
        for (int I = 0; I < 400; ++I) {
            QByteArray D = Seed;
            for (int N = 1 + int(Rng() % 4); N > 0 && D.size() > 5; --N) {
                const qsizetype At = 5 + qsizetype(Rng() % uint32_t(D.size() - 5));
                switch (Rng() % 3) {
                case 0: D[At] = char(D[At] ^ char(1 << (Rng() % 8))); break;
                case 1: D.truncate(At); break;
                default: D[At] = char(Rng() & 0xFF); break;
                }
            }
            const LegacyFuzz::Result R = LegacyFuzz::Run(reinterpret_cast<const uint8_t *>(D.constData()), size_t(D.size()));
            EXPECT_LE(R.Output.size(), Text.size());
        }
    }
}
