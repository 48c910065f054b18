// Shrunk, reduced and imploded members: vectors of the test encoders pass
// Info-ZIP's unzip and 7-Zip before our extractor must return their bytes;
// reduce, which no peer decodes, has hand-assembled vectors; damaged members
// end in OnBadCRC with no file left and little output.

#include "LegacyEncoders.h"
#include "ZipTestUtil.h"
#include "zip/UnZipper.h"

#include <QDir>
#include <QFileInfo>

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
