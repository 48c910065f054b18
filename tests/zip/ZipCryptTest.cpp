// The traditional cipher: what we encrypt, unzip and 7-Zip open with the
// password; what Info-ZIP and 7-Zip encrypt, we open; wrong passwords are
// asked about and then skipped.

#include "ZipTestUtil.h"
#include "zip/Zipper.h"
#include "zip/detail/TraditionalCipher.h"

#include <QFileInfo>

using namespace ZipTest;

namespace {

struct Files {
    TestSupport::TempDir Dir;
    QString Src() const { return Dir.File(QStringLiteral("src")); }
    Files()
    {
        WriteAll(Src() + QStringLiteral("/text.htm"), TextBytes(150000, 1));
        WriteAll(Src() + QStringLiteral("/random.bin"), RandomBytes(40000, 2));
        WriteAll(Src() + QStringLiteral("/empty.txt"), QByteArray());
    }
};

int PackWithPassword(const QString &Folder, const QString &Zip, const QString &Password, int Level = 6)
{
    TZipper Z;
    Z.SetRootDir(Folder);
    Z.SetZipName(Zip);
    Z.SetPackLevel(Level);
    Z.SetPassword(Password);
    Z.SetRelativePaths(true);
    Z.FilesList().Add(Folder + QStringLiteral("/*.*"));
    return Z.PackFiles();
}

struct Reader {
    TUnZipper U;
    QList<TSkipReason> Skips;
    QStringList Asked;
    Reader(const QString &Zip, const QString &Dest, const QString &Password)
    {
        U.SetZipName(Zip);
        U.SetDestDir(Dest);
        U.DoAll = true;
        U.RecreateDirs = true;
        U.OverwriteMode = TUZOverwriteMode::Always;
        U.SetPassword(Password);
        U.OnSkippingFile = [this](TObject *, TSkipReason R, const QString &, int, bool &) { Skips << R; };
    }
};

QByteArray Flags(const QString &Zip)
{
    QByteArray Out;
    Python(QStringLiteral("import sys,zipfile\nprint(' '.join('%s:%d:%d'%(i.filename,i.flag_bits&9,i.compress_type) for i in "
                          "sorted(zipfile.ZipFile(sys.argv[1]).infolist(),key=lambda i:i.filename)))"),
           {Zip}, &Out);
    return Out.trimmed();
}

} // namespace

TEST(ZipCrypt, OurEncryptedArchivesOpenInUnzipAnd7zAndInOurs)
{
    Files F;
    for (int Level : {6, 0}) {
        SCOPED_TRACE(Level);
        const QString Zip = F.Dir.File(QStringLiteral("enc%1.zip").arg(Level));
        ASSERT_EQ(PackWithPassword(F.Src(), Zip, QStringLiteral("secret"), Level), 3);
        EXPECT_EQ(Flags(Zip), Level ? QByteArray("empty.txt:1:8 random.bin:1:8 text.htm:1:8")
                                    : QByteArray("empty.txt:1:0 random.bin:1:0 text.htm:1:0"));
        QByteArray Out;
        EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-P"), QStringLiteral("secret"), QStringLiteral("-t"), Zip}, &Out), 0)
            << Out.constData();
        EXPECT_NE(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-P"), QStringLiteral("wrong"), QStringLiteral("-t"), Zip}, &Out), 0);
        const QString By7z = F.Dir.File(QStringLiteral("7z%1").arg(Level));
        ASSERT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("x"), QStringLiteral("-psecret"), QStringLiteral("-o") + By7z, Zip}, &Out), 0)
            << Out.constData();
        EXPECT_EQ(ReadAll(By7z + QStringLiteral("/text.htm")), ReadAll(F.Src() + QStringLiteral("/text.htm")));

        Reader R(Zip, F.Dir.File(QStringLiteral("ours%1").arg(Level)), QStringLiteral("secret"));
        EXPECT_EQ(R.U.UnpackFiles(), 3);
        EXPECT_EQ(ReadAll(F.Dir.File(QStringLiteral("ours%1/random.bin").arg(Level))), ReadAll(F.Src() + QStringLiteral("/random.bin")));
        EXPECT_TRUE(R.Skips.isEmpty());
    }

    // No password, no cipher; and every run draws new header bytes.
    const QString Plain = F.Dir.File(QStringLiteral("plain.zip"));
    ASSERT_EQ(PackWithPassword(F.Src(), Plain, QString()), 3);
    EXPECT_EQ(Flags(Plain), QByteArray("empty.txt:0:8 random.bin:0:8 text.htm:0:8"));
    const QString A = F.Dir.File(QStringLiteral("a.zip")), B = F.Dir.File(QStringLiteral("b.zip"));
    PackWithPassword(F.Src(), A, QStringLiteral("secret"));
    PackWithPassword(F.Src(), B, QStringLiteral("secret"));
    const int Head = 30 + 9;   // the first member is empty.txt: its header starts at 39
    ASSERT_EQ(ReadAll(A).mid(30, 9), QByteArray("empty.txt"));
    EXPECT_NE(ReadAll(A).mid(Head, 12), ReadAll(B).mid(Head, 12));
}

TEST(ZipCrypt, InfoZipAnd7zEncryptedArchivesReadAndWrongPasswordsAskedThenSkipped)
{
    Files F;
    const QString Iz = F.Dir.File(QStringLiteral("iz.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("secret"), Iz,
                                                 QStringLiteral("text.htm"), QStringLiteral("random.bin"), QStringLiteral("empty.txt")},
                         nullptr, F.Src()),
              0);
    EXPECT_EQ(Flags(Iz), QByteArray("empty.txt:9:0 random.bin:9:8 text.htm:9:8"));   // data descriptors: time check byte
    const QString Sz = F.Dir.File(QStringLiteral("7z.zip"));
    QByteArray Out;
    ASSERT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mem=ZipCrypto"), QStringLiteral("-psecret"),
                                               Sz, QStringLiteral("text.htm"), QStringLiteral("random.bin")},
                         &Out, F.Src()),
              0)
        << Out.constData();

    for (const QString &Zip : {Iz, Sz}) {
        SCOPED_TRACE(Zip.toStdString());
        const QString Dest = Zip + QStringLiteral(".out");
        Reader R(Zip, Dest, QStringLiteral("secret"));
        EXPECT_GE(R.U.UnpackFiles(), 2);
        EXPECT_TRUE(R.Skips.isEmpty());
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/text.htm")), ReadAll(F.Src() + QStringLiteral("/text.htm")));
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/random.bin")), ReadAll(F.Src() + QStringLiteral("/random.bin")));
    }

    // A wrong password: OnBadPassword is asked; the right answer opens the
    // member (and stays for the next ones); no answer skips it.
    {
        Reader R(Sz, F.Dir.File(QStringLiteral("retry")), QStringLiteral("wrong"));
        int Asked = 0;
        R.U.OnBadPassword = [&](TObject *, int, QString &P) {
            ++Asked;
            P = QStringLiteral("secret");
        };
        EXPECT_EQ(R.U.UnpackFiles(), 2);
        EXPECT_EQ(Asked, 1);
        EXPECT_EQ(R.U.Password(), QStringLiteral("secret"));
    }
    for (const QString &Answer : {QString(), QStringLiteral("wrong")}) {
        Reader R(Sz, F.Dir.File(QStringLiteral("skip")), QStringLiteral("wrong"));
        int Asked = 0;
        R.U.OnBadPassword = [&](TObject *, int, QString &P) {
            ++Asked;
            P = Answer;   // empty, or the same wrong one again: the retries end
        };
        EXPECT_EQ(R.U.UnpackFiles(), 0);
        EXPECT_EQ(Asked, 2);
        EXPECT_EQ(R.Skips, (QList<TSkipReason>{skrBadPassword, skrBadPassword}));
        EXPECT_EQ(R.U.FailedCount(), 2);
        EXPECT_FALSE(QFileInfo::exists(F.Dir.File(QStringLiteral("skip/text.htm"))));
    }
    Reader None(Sz, F.Dir.File(QStringLiteral("none")), QString());
    EXPECT_EQ(None.U.TestFiles(), 0);
    EXPECT_EQ(None.Skips, (QList<TSkipReason>{skrBadPassword, skrBadPassword}));
}

TEST(ZipCrypt, HandlersReplaceTheCipherAndAFileChangedBetweenReadingsIsDropped)
{
    Files F;
    auto Xor = [](TObject *, uchar *B, int N, const QString &P) {
        ASSERT_EQ(P, QStringLiteral("key"));
        for (int I = 0; I < N; ++I)
            B[I] ^= 0x5A;
    };
    const QString Zip = F.Dir.File(QStringLiteral("xor.zip"));
    {
        TZipper Z;
        Z.SetZipName(Zip);
        Z.SetPassword(QStringLiteral("key"));
        Z.OnEncrypt = Xor;
        Z.FilesList().Add(F.Src() + QStringLiteral("/text.htm"));
        ASSERT_EQ(Z.PackFiles(), 1);
    }
    Reader R(Zip, F.Dir.File(QStringLiteral("xor")), QStringLiteral("key"));
    R.U.OnDecrypt = Xor;
    EXPECT_EQ(R.U.UnpackFiles(), 1);
    EXPECT_EQ(ReadAll(F.Dir.File(QStringLiteral("xor/text.htm"))), ReadAll(F.Src() + QStringLiteral("/text.htm")));

    // The file changes after its CRC was taken: it is reported, not stored
    // under a check byte and CRC that no longer fit.
    const QString Changing = F.Src() + QStringLiteral("/text.htm");
    TZipper Z;
    const QString Out = F.Dir.File(QStringLiteral("changed.zip"));
    Z.SetZipName(Out);
    Z.SetPassword(QStringLiteral("secret"));
    Z.FilesList().Add(Changing);
    Z.FilesList().Add(F.Src() + QStringLiteral("/random.bin"));
    bool Changed = false;
    Z.OnFilePercentDone = [&](TObject *, int) {
        if (!Changed) {
            Changed = true;
            QFile File(Changing);
            ASSERT_TRUE(File.open(QIODevice::ReadWrite));
            File.seek(140000);
            File.write("changed!");
        }
    };
    QList<int> Messages;
    Z.OnHandleMessage = [&](TObject *, int Id, const QString &, const QString &, quint32, int &) { Messages << Id; };
    QStringList Skipped;
    Z.OnSkippingFile = [&](TObject *, TSkipReason, const QString &Name, int, bool &) { Skipped << Name; };
    EXPECT_EQ(Z.PackFiles(), 1);
    EXPECT_EQ(Messages, QList<int>{208});
    EXPECT_EQ(Skipped, QStringList{Changing});
    QByteArray Log;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-P"), QStringLiteral("secret"), QStringLiteral("-t"), Out}, &Log), 0) << Log.constData();
    EXPECT_EQ(Z.MemberCount(), 1);
}

// A wrong password passes the one-byte header check once in 256 tries; the
// data it gives then does not inflate. That is news of a wrong password like
// a CRC mismatch: asked about, then skipped, never an error that ends the run.
TEST(ZipCrypt, AWrongPasswordThatPassesTheHeaderCheckIsAskedAboutAndSkipped)
{
    Files F;
    const QString Zip = F.Dir.File(QStringLiteral("one.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("secret"), Zip,
                                                 QStringLiteral("text.htm")},
                         nullptr, F.Src()),
              0);
    const QByteArray Bytes = ReadAll(Zip);
    ASSERT_EQ(Bytes.mid(30, 8), QByteArray("text.htm"));
    const auto U16 = [&Bytes](int At) { return quint8(Bytes[At]) | quint8(Bytes[At + 1]) << 8; };
    ASSERT_TRUE(U16(6) & 1);
    // The byte the header's last byte must match: the time's high byte with a
    // data descriptor, else the CRC's.
    const quint8 Check = (U16(6) & 8) ? quint8(U16(10) >> 8) : quint8(Bytes[17]);
    const int Head = 30 + U16(26) + U16(28);
    QString Passing;
    for (int N = 0; Passing.isEmpty() && N < 100000; ++N) {
        const QString Candidate = QStringLiteral("wrong%1").arg(N);
        ZipDetail::TraditionalCipher C(Candidate.toLatin1());
        QByteArray H = Bytes.mid(Head, ZipDetail::TraditionalCipher::HeaderSize);
        C.Decrypt(reinterpret_cast<unsigned char *>(H.data()), H.size());
        if (quint8(H.back()) == Check)
            Passing = Candidate;
    }
    ASSERT_FALSE(Passing.isEmpty());

    for (bool Test : {false, true}) {
        SCOPED_TRACE(Test ? "test" : "extract");
        Reader R(Zip, F.Dir.File(QStringLiteral("out")), Passing);
        int Asked = 0;
        R.U.OnBadPassword = [&](TObject *, int, QString &P) {
            ++Asked;
            P = Asked == 1 ? QStringLiteral("secret") : QString();
        };
        EXPECT_EQ(Test ? R.U.TestFiles() : R.U.UnpackFiles(), 1);
        EXPECT_EQ(Asked, 1);
        EXPECT_TRUE(R.Skips.isEmpty());
    }
    EXPECT_EQ(ReadAll(F.Dir.File(QStringLiteral("out/text.htm"))), ReadAll(F.Src() + QStringLiteral("/text.htm")));
}
