// Damaged and hostile archives: the right exception, nothing written outside
// the destination, no partial file left, no existing file destroyed.

#include "ZipTestUtil.h"
#include "zip/Zipper.h"
#include "zip/detail/SafePath.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <limits>
#include <unistd.h>

using namespace ZipTest;

namespace {

// Writes an archive with python's zipfile, then lets Patch (python code working
// on the bytearray b) damage it.
void MakeArchive(const QString &Zip, const QString &Members, const QString &Patch = QString())
{
    const QString Script = QStringLiteral(
        "import sys,zipfile,struct\n"
        "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
        "  for n,d,m in %1:\n"
        "    i=zipfile.ZipInfo(n); i.compress_type=m; z.writestr(i,d)\n"
        "b=bytearray(open(sys.argv[1],'rb').read())\n"
        "def cd(k):\n"
        "  p=0\n"
        "  for _ in range(k+1): p=b.index(b'PK\\x01\\x02',p+1 if _ else 0)\n"
        "  return p\n"
        "%2\n"
        "open(sys.argv[1],'wb').write(bytes(b))\n").arg(Members, Patch);
    QByteArray Out;
    ASSERT_EQ(Python(Script, {Zip}, &Out), 0) << Out.constData();
}

// Writes an archive record by record: Body is python code that sets parts,
// the bytes of each part of a set (one part: a plain archive), with the
// helpers local(), central(), eocd(), z64end() and z64() at hand. The last
// part goes to Zip, the others beside it as .z01, .z02, ...
void RawArchive(const QString &Zip, const QString &Body)
{
    const QString Script = QStringLiteral(
        "import sys,struct,zlib\n"
        "def local(n,d,m=0,comp=None,unc=None,extra=b'',flags=0,crc=None):\n"
        "  return struct.pack('<IHHHHHIIIHH',0x04034b50,20,flags,m,0,0x5021,zlib.crc32(d) if crc is None else crc,\n"
        "    len(d) if comp is None else comp,len(d) if unc is None else unc,len(n),len(extra))+n+extra+d\n"
        "def central(n,off,d=b'',m=0,comp=None,unc=None,extra=b'',flags=0,disk=0,crc=None):\n"
        "  return struct.pack('<IHHHHHHIIIHHHHHII',0x02014b50,0x031e,20,flags,m,0,0x5021,zlib.crc32(d) if crc is None else crc,\n"
        "    len(d) if comp is None else comp,len(d) if unc is None else unc,len(n),len(extra),0,disk,0,0,off)+n+extra\n"
        "def eocd(n,size,off,disk=0,cdisk=0):\n"
        "  return struct.pack('<IHHHHIIH',0x06054b50,disk,cdisk,n,n,size,off,0)\n"
        "def z64(*v):\n"
        "  return struct.pack('<HH',1,8*len(v))+b''.join(struct.pack('<Q',x) for x in v)\n"
        "def z64end(at,disk,cdisk,n,size,off):\n"
        "  return struct.pack('<IQHHIIQQQQ',0x06064b50,44,45,45,disk,cdisk,n,n,size,off)+struct.pack('<IIQI',0x07064b50,0,at,1)\n"
        "%1\n"
        "for i,p in enumerate(parts):\n"
        "  open(sys.argv[1] if i+1==len(parts) else sys.argv[1][:-4]+'.z%02d'%(i+1),'wb').write(p)\n").arg(Body);
    QByteArray Out;
    ASSERT_EQ(Python(Script, {Zip}, &Out), 0) << Out.constData();
}

struct UnzipRun {
    TUnZipper U;
    QList<TSkipReason> Skips;
    QList<int> BadCrc;
    UnzipRun(const QString &Zip, const QString &Dest)
    {
        U.SetZipName(Zip);
        U.SetDestDir(Dest);
        U.RecreateDirs = true;
        U.DoAll = true;
        U.OverwriteMode = TUZOverwriteMode::Always;
        U.OnSkippingFile = [this](TObject *, TSkipReason R, const QString &, int, bool &) { Skips << R; };
        U.OnBadCRC = [this](TObject *, quint32, quint32, int I) { BadCrc << I; };
    }
};

QStringList FilesUnder(const QString &Folder)
{
    QStringList L;
    QDirIterator It(Folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (It.hasNext())
        L << QDir(Folder).relativeFilePath(It.next());
    L.sort();
    return L;
}

} // namespace

TEST(ZipSafety, ZipSlipNamesAreRefusedOrReRootedAndLinksNotFollowed)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("slip.zip"));
    MakeArchive(Zip, QStringLiteral("[('../evil.txt',b'x',0),('a/../../evil2.txt',b'x',0),"
                                    "('/abs/x.txt',b'abs',0),('C:\\\\win\\\\y.txt',b'win',0),"
                                    "('link/through.txt',b'x',0),('ok/./fine.txt',b'fine',8),('..',b'x',0)]"));
    const QString Dest = D.File(QStringLiteral("box/dest"));
    QDir().mkpath(Dest);
    const QString Outside = D.File(QStringLiteral("outside"));
    QDir().mkpath(Outside);
    ASSERT_EQ(::symlink(Outside.toLocal8Bit().constData(), (Dest + QStringLiteral("/link")).toLocal8Bit().constData()), 0);

    UnzipRun R(Zip, Dest);
    EXPECT_EQ(R.U.UnpackFiles(), 3);
    EXPECT_EQ(R.Skips, (QList<TSkipReason>{skrCannotCreate, skrCannotCreate, skrCannotCreate, skrCannotCreate}));
    EXPECT_EQ(ReadAll(Dest + QStringLiteral("/abs/x.txt")), QByteArray("abs"));
    EXPECT_EQ(ReadAll(Dest + QStringLiteral("/win/y.txt")), QByteArray("win"));
    EXPECT_EQ(ReadAll(Dest + QStringLiteral("/ok/fine.txt")), QByteArray("fine"));
    EXPECT_TRUE(FilesUnder(Outside).isEmpty());
    EXPECT_EQ(FilesUnder(D.File(QStringLiteral("box"))),
              (QStringList{QStringLiteral("dest/abs/x.txt"), QStringLiteral("dest/ok/fine.txt"), QStringLiteral("dest/win/y.txt")}));
}

TEST(ZipSafety, BadCrcAndOversizedDataLeaveNoPartialFileAndKeepTheOldOne)
{
    TestSupport::TempDir D;
    const QString Dest = D.File(QStringLiteral("dest"));
    WriteAll(Dest + QStringLiteral("/a.txt"), "old a");
    WriteAll(Dest + QStringLiteral("/b.txt"), "old b");

    // A data byte of the stored member a.txt is changed: its CRC fails.
    const QString Crc = D.File(QStringLiteral("crc.zip"));
    MakeArchive(Crc, QStringLiteral("[('a.txt',b'new content a',0),('c.txt',b'c',0)]"),
                QStringLiteral("b[b.index(b'new content a')]^=1"));
    {
        UnzipRun R(Crc, Dest);
        EXPECT_EQ(R.U.UnpackFiles(), 1);
        EXPECT_EQ(R.BadCrc, QList<int>{0});
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/a.txt")), QByteArray("old a"));
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/c.txt")), QByteArray("c"));
        // Test mode finds the same fault and writes nothing.
        UnzipRun T(Crc, Dest);
        EXPECT_EQ(T.U.TestFiles(), 1);
        EXPECT_EQ(T.BadCrc, QList<int>{0});
    }

    // The central header declares fewer bytes than the member holds.
    const QString Big = D.File(QStringLiteral("big.zip"));
    MakeArchive(Big, QStringLiteral("[('b.txt',b'x'*5000,8)]"),
                QStringLiteral("p=cd(0); struct.pack_into('<I',b,p+24,100)"));
    {
        UnzipRun R(Big, Dest);
        EXPECT_THROW(R.U.UnpackFiles(), EBiggerThanUncompressed);
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/b.txt")), QByteArray("old b"));
    }

    // A damaged deflate stream.
    const QString Bad = D.File(QStringLiteral("inflate.zip"));
    MakeArchive(Bad, QStringLiteral("[('b.txt',bytes(range(256))*40,8)]"),
                QStringLiteral("p=b.index(b'b.txt')+5\nfor k in range(p,p+40): b[k]=0xff"));
    {
        UnzipRun R(Bad, Dest);
        EXPECT_THROW(R.U.UnpackFiles(), EZCompressionError);
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/b.txt")), QByteArray("old b"));
    }
    EXPECT_EQ(FilesUnder(Dest), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")}));
}

TEST(ZipSafety, TruncatedAndNonArchivesRaiseByIncompleteMode)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("t.zip"));
    MakeArchive(Zip, QStringLiteral("[('one.txt',b'1'*3000,8),('two.txt',b'2'*3000,0),('three.txt',b'3'*10,0)]"),
                QStringLiteral("del b[cd(1):]"));
    const QString Dest = D.File(QStringLiteral("dest"));
    {
        UnzipRun R(Zip, Dest);
        EXPECT_THROW(R.U.UnpackFiles(), EIncompleteZip);
    }
    {
        UnzipRun R(Zip, Dest);
        R.U.IncompleteZipMode = izAssumeNotAZip;
        EXPECT_THROW(R.U.UnpackFiles(), ENotAZipFile);
    }
    {
        // The application may decide through the event: the scan of local headers recovers the members.
        UnzipRun R(Zip, Dest);
        R.U.OnInCompleteZip = [](TObject *, TIncompleteZipMode &M) { M = izAssumeBad; };
        EXPECT_EQ(R.U.UnpackFiles(), 3);
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/two.txt")), QByteArray(3000, '2'));
    }
    // Cut inside member data: the scan finds the first member only, and the
    // second's data runs past the end.
    const QString Cut = D.File(QStringLiteral("cut.zip"));
    MakeArchive(Cut, QStringLiteral("[('one.txt',b'1'*30,0),('two.txt',b'2'*3000,0)]"),
                QStringLiteral("del b[b.index(b'2'*100)+100:]"));
    {
        UnzipRun R(Cut, D.File(QStringLiteral("cut")));
        R.U.IncompleteZipMode = izAssumeBad;
        EXPECT_THROW(R.U.UnpackFiles(), EBadZipFile);
        EXPECT_EQ(FilesUnder(D.File(QStringLiteral("cut"))), QStringList{QStringLiteral("one.txt")});
    }
    // Sizes of files that are no archives.
    WriteAll(D.File(QStringLiteral("empty.zip")), QByteArray());
    WriteAll(D.File(QStringLiteral("short.zip")), QByteArray("PK\x05\x06 short", 11));
    TUnZipper U;
    U.SetZipName(D.File(QStringLiteral("empty.zip")));
    U.OpenAndReadDirectory();
    EXPECT_EQ(U.MemberCount(), 0);
    U.SetZipName(D.File(QStringLiteral("short.zip")));
    EXPECT_THROW(U.OpenAndReadDirectory(), EIncompleteZip);
    EXPECT_THROW(U.Member(0), EListError);
}

TEST(ZipSafety, LyingOffsetsCountsAndOverlapsAreRefused)
{
    TestSupport::TempDir D;
    const QString Members = QStringLiteral("[('a.txt',b'a'*100,0),('b.txt',b'b'*100,0)]");
    struct Case {
        const char *Name;
        QString Patch;
        bool AtRead;
    };
    const QList<Case> Cases = {
        // The local header offset points past the end of the file.
        {"offset", QStringLiteral("struct.pack_into('<I',b,cd(1)+42,10**6)"), false},
        // Both members claim the same local header.
        {"overlap", QStringLiteral("struct.pack_into('<I',b,cd(1)+42,0)"), true},
        // The first member's data would run into the second member.
        {"size", QStringLiteral("struct.pack_into('<II',b,cd(0)+20,150,150)"), false},
        // An entry count the file cannot hold.
        {"count", QStringLiteral("e=b.rindex(b'PK\\x05\\x06'); struct.pack_into('<HH',b,e+8,60000,60000)"), true},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        const QString Zip = D.File(QString::fromLatin1(C.Name) + QStringLiteral(".zip"));
        MakeArchive(Zip, Members, C.Patch);
        const QString Dest = D.File(QString::fromLatin1(C.Name));
        UnzipRun R(Zip, Dest);
        if (C.AtRead) {
            EXPECT_THROW(R.U.OpenAndReadDirectory(), EBadZipFile);
        }
        EXPECT_THROW(R.U.UnpackFiles(), EBadZipFile);
    }
    // A Zip64 locator pointing nowhere is ignored; the plain record still serves.
    const QString Loc = D.File(QStringLiteral("locator.zip"));
    MakeArchive(Loc, Members,
                QStringLiteral("e=b.rindex(b'PK\\x05\\x06')\n"
                               "b[e:e]=struct.pack('<IIQI',0x07064b50,0,2**40,1)"));
    UnzipRun R(Loc, D.File(QStringLiteral("loc")));
    EXPECT_EQ(R.U.UnpackFiles(), 2);
}

TEST(ZipSafety, CentralHeaderWithMissingExtraFieldIsReadThroughTheRetry)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("extra.zip"));
    // The first central header claims a 4-byte extra field that is not there.
    MakeArchive(Zip, QStringLiteral("[('a.txt',b'aaa',0),('b.txt',b'bbb',0)]"),
                QStringLiteral("struct.pack_into('<H',b,cd(0)+30,4)"));
    TUnZipper U;
    U.SetZipName(Zip);
    U.OpenAndReadDirectory();
    ASSERT_EQ(U.MemberCount(), 2);
    EXPECT_EQ(U.Member(1)->FileName(), QStringLiteral("b.txt"));
    EXPECT_EQ(U.UnzipToBuffer(1), QByteArray("bbb"));

    // In a split set the header read again may be cut by the end of its
    // part and go on in the next one.
    const QString Split = D.File(QStringLiteral("split.zip"));
    RawArchive(Split, QStringLiteral("La=local(b'a.txt',b'aaa'); Lb=local(b'b.txt',b'bbb')\n"
                                     "C1=central(b'a.txt',4,b'aaa')\n"
                                     "C1=C1[:30]+struct.pack('<H',4)+C1[32:]\n"
                                     "C2=central(b'b.txt',4+len(La),b'bbb')\n"
                                     "parts=[b'PK\\x07\\x08'+La+Lb, C1+C2[:20], C2[20:]+eocd(2,len(C1)+len(C2),0,2,1)]"));
    UnzipRun R(Split, D.File(QStringLiteral("split")));
    R.U.OpenAndReadDirectory();
    ASSERT_EQ(R.U.MemberCount(), 2);
    EXPECT_EQ(R.U.Member(1)->FileName(), QStringLiteral("b.txt"));
    EXPECT_EQ(R.U.UnpackFiles(), 2);
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("split/a.txt"))), QByteArray("aaa"));
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("split/b.txt"))), QByteArray("bbb"));
}

TEST(ZipSafety, CancelAndReadOnlyTargetsLeaveFilesAsTheyWere)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("c.zip"));
    MakeArchive(Zip, QStringLiteral("[('big.bin',bytes(range(256))*1000,8),('ro.txt',b'new',0)]"));
    const QString Dest = D.File(QStringLiteral("dest"));
    WriteAll(Dest + QStringLiteral("/big.bin"), "old big");
    WriteAll(Dest + QStringLiteral("/ro.txt"), "old ro");
    ASSERT_TRUE(QFile::setPermissions(Dest + QStringLiteral("/ro.txt"), QFileDevice::ReadOwner));
    {
        UnzipRun R(Zip, Dest);
        R.U.OnFilePercentDone = [&](TObject *, int P) {
            if (P > 10)
                R.U.Cancel();
        };
        EXPECT_THROW(R.U.UnpackFiles(), EUserCanceled);
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/big.bin")), QByteArray("old big"));
        EXPECT_FALSE(R.U.Busy());
    }
    {
        UnzipRun R(Zip, Dest);
        R.U.FilesList().Add(QStringLiteral("*.TXT"));
        R.U.DoAll = false;
        EXPECT_EQ(R.U.UnpackFiles(), 0);
        EXPECT_EQ(R.Skips, QList<TSkipReason>{skrCannotCreate});
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/ro.txt")), QByteArray("old ro"));
        EXPECT_EQ(R.U.FilesList().Count(), 0);
    }
    {
        UnzipRun R(Zip, Dest);
        R.U.ReplaceReadOnly = true;
        R.U.OverwriteMode = TUZOverwriteMode::Prompt;   // no handler: the cautious answer is No
        EXPECT_EQ(R.U.UnpackFiles(), 0);
        EXPECT_EQ(R.Skips, (QList<TSkipReason>{skrNotOverwritten, skrNotOverwritten}));
        R.Skips.clear();
        R.U.OverwriteMode = TUZOverwriteMode::Always;
        R.U.DoAll = true;
        EXPECT_EQ(R.U.UnpackFiles(), 2);
        EXPECT_EQ(ReadAll(Dest + QStringLiteral("/ro.txt")), QByteArray("new"));
    }
    EXPECT_EQ(FilesUnder(Dest), (QStringList{QStringLiteral("big.bin"), QStringLiteral("ro.txt")}));
}

TEST(ZipSafety, FailedOrCancelledUpdateLeavesTheOldArchiveWhole)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/a.txt"), TextBytes(300000, 5));
    WriteAll(Src + QStringLiteral("/b.txt"), TextBytes(300000, 6));
    const QString Zip = D.File(QStringLiteral("out/arch.zip"));
    WriteAll(Zip, "not touched");
    {
        // A new archive over a file that is none: its directory cannot be read.
        TZipper Z;
        Z.SetZipName(Zip);
        Z.FilesList().Add(Src + QStringLiteral("/*.txt"));
        EXPECT_THROW(Z.PackFiles(), EIncompleteZip);
    }
    EXPECT_EQ(ReadAll(Zip), QByteArray("not touched"));
    QFile::remove(Zip);
    {
        TZipper Z;
        Z.SetZipName(Zip);
        Z.FilesList().Add(Src + QStringLiteral("/*.txt"));
        EXPECT_EQ(Z.PackFiles(), 2);
    }
    const QByteArray Before = ReadAll(Zip);
    SetFileAge(Src + QStringLiteral("/b.txt"), 86400);
    {
        TZipper Z;
        Z.SetZipName(Zip);
        Z.FilesList().Add(Src + QStringLiteral("/*.txt"));
        Z.OnTotalPercentDone = [&](TObject *, int P) {
            if (P > 50 && P < 100)
                Z.Cancel();
        };
        EXPECT_THROW(Z.PackFiles(), EUserCanceled);
        EXPECT_FALSE(Z.Busy());
    }
    EXPECT_EQ(ReadAll(Zip), Before);
    EXPECT_EQ(FilesUnder(D.File(QStringLiteral("out"))), QStringList{QStringLiteral("arch.zip")});
}

TEST(ZipSafety, EndRecordSearchWindowAndSelfExtractorScan)
{
    TestSupport::TempDir D;
    // The largest comment still lets the end record be found; one byte more behind it does not.
    const QString Long = D.File(QStringLiteral("long.zip"));
    MakeArchive(Long, QStringLiteral("[('a.txt',b'a',0)]"),
                QStringLiteral("e=b.rindex(b'PK\\x05\\x06'); struct.pack_into('<H',b,e+20,65535); b+=b'c'*65535"));
    {
        TUnZipper U;
        U.SetZipName(Long);
        U.OpenAndReadDirectory();
        EXPECT_EQ(U.MemberCount(), 1);
        EXPECT_EQ(U.ArchiveComment().size(), 65535);
    }
    QFile F(Long);
    ASSERT_TRUE(F.open(QIODevice::Append));
    F.write("x");
    F.close();
    {
        TUnZipper U;
        U.SetZipName(Long);
        EXPECT_THROW(U.OpenAndReadDirectory(), EIncompleteZip);
    }
    // Two end records: the later one wins (here it lists no members).
    const QString Two = D.File(QStringLiteral("two.zip"));
    MakeArchive(Two, QStringLiteral("[('a.txt',b'a',0)]"),
                QStringLiteral("b+=struct.pack('<IHHHHIIH',0x06054b50,0,0,0,0,0,0,0)"));
    {
        TUnZipper U;
        U.SetZipName(Two);
        U.OpenAndReadDirectory();
        EXPECT_EQ(U.MemberCount(), 0);
    }
    // A self-extractor without an end record is scanned from offset 14000, so
    // a signature inside the stub is never taken for a member.
    const QString Exe = D.File(QStringLiteral("setup.EXE"));
    MakeArchive(Exe, QStringLiteral("[('in.txt',b'payload',0)]"),
                QStringLiteral("del b[b.index(b'PK\\x01\\x02'):]\n"
                               "stub=bytearray(14000); stub[100:104]=b'PK\\x03\\x04'\n"
                               "b[0:0]=stub"));
    TUnZipper U;
    U.SetZipName(Exe);
    U.IncompleteZipMode = izAssumeBad;
    U.OpenAndReadDirectory();
    ASSERT_EQ(U.MemberCount(), 1);
    EXPECT_EQ(U.Member(0)->FileName(), QStringLiteral("in.txt"));
    EXPECT_EQ(U.UnzipToBuffer(0), QByteArray("payload"));
}

TEST(ZipSafety, DamagedCentralHeaderIsRecoveredFromTheLocalHeaders)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("damaged.zip"));
    MakeArchive(Zip, QStringLiteral("[('a.txt',b'a'*50,0),('b.txt',b'b'*60,8),('c.txt',b'c'*70,0),('d.txt',b'd',0)]"),
                QStringLiteral("b[cd(1)]=0"));
    UnzipRun R(Zip, D.File(QStringLiteral("out")));
    EXPECT_EQ(R.U.UnpackFiles(), 4);
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("out/c.txt"))), QByteArray(70, 'c'));
    EXPECT_TRUE(R.BadCrc.isEmpty());
}

TEST(ZipSafety, RandomlyDamagedArchivesNeverCrashOrWriteOutside)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("good.zip"));
    MakeArchive(Zip, QStringLiteral("[('dir/a.txt',b'alpha'*300,8),('b.bin',bytes(range(256))*4,0),('dir/',b'',0),"
                                    "('c.txt',b'gamma'*50,8)]"));
    const QByteArray Good = ReadAll(Zip);
    const QString Box = D.File(QStringLiteral("box"));
    QRandomGenerator Rng{7};
    for (int Round = 0; Round < 300; ++Round) {
        QByteArray Bad = Good;
        const int Flips = 1 + int(Rng.bounded(3));
        for (int F = 0; F < Flips; ++F)
            Bad[int(Rng.bounded(quint32(Bad.size())))] = char(Rng.bounded(256));
        if (Round % 10 == 0)
            Bad.truncate(int(Rng.bounded(quint32(Bad.size()))));
        const QString Damaged = D.File(QStringLiteral("bad.zip"));
        WriteAll(Damaged, Bad);
        QDir(Box).removeRecursively();
        UnzipRun R(Damaged, Box + QStringLiteral("/dest"));
        R.U.IncompleteZipMode = TIncompleteZipMode(Round % 3);
        try {
            R.U.UnpackFiles();
        } catch (const Exception &) {
            // Any of the library's failures is fine; a crash or a stray file is not.
        }
        for (const QString &F : FilesUnder(Box)) {
            ASSERT_TRUE(F.startsWith(QStringLiteral("dest/"))) << F.toStdString();
            ASSERT_FALSE(F.contains(QStringLiteral(".qbz."))) << F.toStdString();
        }
    }
}

TEST(ZipSafety, MembersOfUnknownMethodAreNamedFailedAndNeverEmptyData)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("m99.zip"));
    // The second member's method becomes 99 in both headers.
    MakeArchive(Zip, QStringLiteral("[('ok.txt',b'fine',0),('odd/x.bin',b'data'*50,0)]"),
                QStringLiteral("b[cd(1)+10]=99\nl=b.index(b'PK\\x03\\x04',1)\nb[l+8]=99"));
    UnzipRun Run(Zip, D.File(QStringLiteral("out")));
    QStringList Messages;
    Run.U.OnHandleMessage = [&](TObject *, int Id, const QString &Text, const QString &, quint32, int &) {
        Messages << QString::number(Id) + QLatin1Char(' ') + Text;
    };
    EXPECT_EQ(Run.U.TestFiles(), 1);
    EXPECT_EQ(Run.U.FailedCount(), 1);
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0], QStringLiteral("197 Unknown Compression Method (99): odd/x.bin"));
    EXPECT_EQ(Run.U.UnpackFiles(), 1);
    EXPECT_EQ(Run.U.FailedCount(), 1);
    EXPECT_EQ(FilesUnder(D.File(QStringLiteral("out"))), QStringList{QStringLiteral("ok.txt")});
    Run.U.OpenAndReadDirectory();
    EXPECT_EQ(Run.U.UnzipToBuffer(0), QByteArray("fine"));
    EXPECT_THROW(Run.U.UnzipToBuffer(1), EZipperException);
}

TEST(ZipSafety, ExtractingAndTestingOnSeveralThreadsGiveTheSameFilesAndEventsAsOneThread)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("many.zip"));
    // 60 members, a name twice (the later one wins), one member damaged.
    MakeArchive(Zip,
                QStringLiteral("[('d%d/f%d.txt'%(i%5,i),(b'line %d '%i)*(50+i*300),8) for i in range(60)]"
                               "+[('d0/f0.txt',b'second copy',0),('bad.bin',bytes(range(256))*400,8)]"),
                QStringLiteral("b[b.index(b'bad.bin')+7+500]^=0x55"));
    struct Run {
        QStringList Events;
        int Count = 0;
    };
    auto Extract = [&](int Threads, const QString &Dest) {
        Run R;
        UnzipRun U(Zip, Dest);
        U.U.ExtractThreads = Threads;
        U.U.OnEndUnZip = [&](TObject *, int I, const QString &) { R.Events << QStringLiteral("end %1").arg(I); };
        U.U.OnBadCRC = [&](TObject *, quint32, quint32, int I) { R.Events << QStringLiteral("crc %1").arg(I); };
        QList<int> Percents;
        U.U.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
        R.Count = U.U.UnpackFiles();
        EXPECT_TRUE(std::is_sorted(Percents.begin(), Percents.end()));
        EXPECT_EQ(U.U.FailedCount(), 1);
        return R;
    };
    const Run One = Extract(1, D.File(QStringLiteral("one")));
    const Run Four = Extract(4, D.File(QStringLiteral("four")));
    EXPECT_EQ(One.Count, 61);
    EXPECT_EQ(Four.Count, One.Count);
    EXPECT_EQ(Four.Events, One.Events);
    EXPECT_TRUE(One.Events.contains(QStringLiteral("crc 61")));
    const QStringList Files = FilesUnder(D.File(QStringLiteral("one")));
    EXPECT_EQ(Files.size(), 60);
    EXPECT_EQ(FilesUnder(D.File(QStringLiteral("four"))), Files);
    for (const QString &F : Files)
        EXPECT_EQ(ReadAll(D.File(QStringLiteral("four/") + F)), ReadAll(D.File(QStringLiteral("one/") + F))) << F.toStdString();
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("four/d0/f0.txt"))), QByteArray("second copy"));

    // Testing on several threads: the same count, events and failure.
    auto Test = [&](int Threads) {
        Run R;
        UnzipRun U(Zip, D.File(QStringLiteral("test")));
        U.U.ExtractThreads = Threads;
        U.U.OnEndUnZip = [&](TObject *, int I, const QString &F) { R.Events << QStringLiteral("end %1 %2").arg(I).arg(F); };
        U.U.OnBadCRC = [&](TObject *, quint32, quint32, int I) { R.Events << QStringLiteral("crc %1").arg(I); };
        QList<int> Percents;
        U.U.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
        R.Count = U.U.TestFiles();
        EXPECT_TRUE(std::is_sorted(Percents.begin(), Percents.end()));
        EXPECT_EQ(U.U.FailedCount(), 1);
        return R;
    };
    const Run TestedOnOne = Test(1);
    const Run TestedOnFour = Test(4);
    EXPECT_EQ(TestedOnOne.Count, 61);
    EXPECT_EQ(TestedOnFour.Count, TestedOnOne.Count);
    EXPECT_EQ(TestedOnFour.Events, TestedOnOne.Events);
    EXPECT_TRUE(TestedOnOne.Events.contains(QStringLiteral("crc 61")));
    EXPECT_FALSE(QFileInfo::exists(D.File(QStringLiteral("test"))));
    UnzipRun TC(Zip, D.File(QStringLiteral("test")));
    TC.U.ExtractThreads = 4;
    TC.U.OnTotalPercentDone = [&](TObject *, int P) {
        if (P > 20)
            TC.U.Cancel();
    };
    EXPECT_THROW(TC.U.TestFiles(), EUserCanceled);

    // A cancel stops the run and leaves no temporary file behind.
    UnzipRun C(Zip, D.File(QStringLiteral("cancel")));
    C.U.ExtractThreads = 4;
    C.U.OnTotalPercentDone = [&](TObject *, int P) {
        if (P > 20)
            C.U.Cancel();
    };
    EXPECT_THROW(C.U.UnpackFiles(), EUserCanceled);
    for (const QString &F : FilesUnder(D.File(QStringLiteral("cancel"))))
        EXPECT_TRUE(F.endsWith(QStringLiteral(".txt"))) << F.toStdString();
}

TEST(ZipSafety, AFileAndAFolderOfTheSameNameEndAsOnOneThread)
{
    // The file x comes first, then members inside a folder x: one thread
    // keeps the file and skips those members; more threads must do the same,
    // also when the file x is still being decoded as the folder is needed.
    // The other way round (folder first) the later file gives way.
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("clash.zip"));
    MakeArchive(Zip, QStringLiteral("[('x',b'file x'*20000,8),('x/y.txt',b'inside',8),('x/z/w.txt',b'deeper',0),"
                                    "('a/b.txt',b'in a',8),('a',b'file a',0),('k.txt',b'k'*100,8),"
                                    "('p/q',b'file q'*20000,8),('p/q/r.txt',b'r',0)]"));
    struct Result {
        int Count = 0;
        QStringList Skips;
        QStringList Files;
        QList<QByteArray> Data;
    };
    auto Extract = [&](int Threads) {
        Result R;
        const QString Dest = D.File(QStringLiteral("t%1").arg(Threads));
        UnzipRun U(Zip, Dest);
        U.U.ExtractThreads = Threads;
        U.U.OnSkippingFile = [&](TObject *, TSkipReason Reason, const QString &Name, int, bool &) {
            R.Skips << QStringLiteral("%1 %2").arg(int(Reason)).arg(QDir(Dest).relativeFilePath(Name));
        };
        R.Count = U.U.UnpackFiles();
        R.Files = FilesUnder(Dest);
        for (const QString &F : R.Files)
            R.Data << ReadAll(Dest + QLatin1Char('/') + F);
        return R;
    };
    const Result One = Extract(1);
    EXPECT_EQ(One.Count, 4);
    EXPECT_EQ(One.Files.join(QLatin1Char(' ')).toStdString(), "a/b.txt k.txt p/q x");
    EXPECT_EQ(One.Skips.join(QLatin1Char(',')).toStdString(), "3 x/y.txt,3 x/z/w.txt,3 a,3 p/q/r.txt");
    for (const int Threads : {2, 4, 8}) {
        SCOPED_TRACE(Threads);
        const Result More = Extract(Threads);
        EXPECT_EQ(More.Count, One.Count);
        EXPECT_EQ(More.Files.join(QLatin1Char(' ')).toStdString(), One.Files.join(QLatin1Char(' ')).toStdString());
        EXPECT_EQ(More.Skips.join(QLatin1Char(',')).toStdString(), One.Skips.join(QLatin1Char(',')).toStdString());
        EXPECT_EQ(More.Data, One.Data);
    }
}

TEST(ZipSafety, LinksAndOtherSpecialMembersBecomePlainFilesWithAnOrdinaryMode)
{
    // Members that a Unix host marks as a link, a folder or a pipe are
    // written as plain files holding their data, with the mode a new file
    // gets, as python's zipfile writes them; a regular file keeps its mode.
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("special.zip"));
    const QString Script = QStringLiteral(
        "import sys,zipfile\n"
        "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
        "  for n,m in [('link',0o120777),('dirlike',0o40755),('pipe',0o10777),('exe.sh',0o100755),('bare',0o640)]:\n"
        "    i=zipfile.ZipInfo(n); i.create_system=3; i.external_attr=m<<16; z.writestr(i,b'target.txt')\n"
        "zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])\n");
    QByteArray Out;
    const QString ByPython = D.File(QStringLiteral("python"));
    ASSERT_EQ(Python(Script, {Zip, ByPython}, &Out), 0) << Out.constData();
    const QFile::Permissions Ordinary = QFileInfo(ByPython + QStringLiteral("/link")).permissions();
    ASSERT_FALSE(Ordinary & (QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
    for (const int Threads : {1, 4}) {
        SCOPED_TRACE(Threads);
        const QString Dest = D.File(QStringLiteral("t%1").arg(Threads));
        UnzipRun R(Zip, Dest);
        R.U.ExtractThreads = Threads;
        EXPECT_EQ(R.U.UnpackFiles(), 5);
        for (const QString &Name : {QStringLiteral("link"), QStringLiteral("dirlike"), QStringLiteral("pipe")}) {
            const QFileInfo F(Dest + QLatin1Char('/') + Name);
            EXPECT_TRUE(F.isFile() && !F.isSymLink()) << Name.toStdString();
            EXPECT_EQ(ReadAll(F.filePath()), QByteArray("target.txt")) << Name.toStdString();
            EXPECT_EQ(int(F.permissions()), int(Ordinary)) << Name.toStdString();
        }
        EXPECT_EQ(QFileInfo(Dest + QStringLiteral("/exe.sh")).permissions() & 0x7777, QFile::Permissions(0x7755));
        EXPECT_EQ(QFileInfo(Dest + QStringLiteral("/bare")).permissions() & 0x7777, QFile::Permissions(0x6640));
    }
}

TEST(ZipSafety, ExtractingOnSeveralThreadsKeepsDatesAndModesAndReplacesTargetsWhole)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("modes.zip"));
    const QString Script = QStringLiteral(
        "import sys,zipfile\n"
        "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
        "  for k in range(40):\n"
        "    i=zipfile.ZipInfo('d%d/f%d.txt'%(k%3,k),(2001,2,3,4,5,6)); i.create_system=3\n"
        "    i.external_attr=(0o100750 if k%2 else 0o100444)<<16; i.compress_type=8\n"
        "    z.writestr(i,b'data %d '%k*(k+1))\n");
    QByteArray Out;
    ASSERT_EQ(Python(Script, {Zip}, &Out), 0) << Out.constData();
    const QString Dest = D.File(QStringLiteral("dest"));
    // An older file and a link in the way: the file is replaced, the link
    // itself (not what it points at) gives way.
    WriteAll(Dest + QStringLiteral("/d1/f1.txt"), "old");
    WriteAll(D.File(QStringLiteral("outside.txt")), "keep");
    ASSERT_TRUE(QDir().mkpath(Dest + QStringLiteral("/d0")));
    ASSERT_EQ(::symlink(QFile::encodeName(D.File(QStringLiteral("outside.txt"))).constData(),
                        QFile::encodeName(Dest + QStringLiteral("/d0/f0.txt")).constData()), 0);
    UnzipRun R(Zip, Dest);
    R.U.ExtractThreads = 4;
    EXPECT_EQ(R.U.UnpackFiles(), 40);
    QStringList Names;
    for (int K = 0; K < 40; ++K) {
        const QString Name = QStringLiteral("d%1/f%2.txt").arg(K % 3).arg(K);
        Names << Name;
        const QFileInfo F(Dest + QLatin1Char('/') + Name);
        EXPECT_FALSE(F.isSymLink()) << K;
        EXPECT_EQ(ReadAll(F.filePath()), QByteArray("data ").append(QByteArray::number(K)).append(' ').repeated(K + 1)) << K;
        EXPECT_EQ(F.lastModified(), QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6))) << K;
        const QFile::Permissions Owner = F.permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(Owner, K % 2 ? (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) : QFile::Permissions(QFile::ReadOwner)) << K;
    }
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("outside.txt"))), QByteArray("keep"));
    Names.sort();
    // Nothing else is left in the folders: no temporary file.
    EXPECT_EQ(FilesUnder(Dest), Names);
}

TEST(ZipSafety, DirectoryOutOfArchiveOrderIsReadInArchiveOrderAndNamesPickTheirMembers)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("r.zip"));
    // Thirty members, the central headers written last to first.
    MakeArchive(Zip, QStringLiteral("[('d%d/m%02d.txt'%(i%3,i),b'x'*i,8) for i in range(30)]"),
                QStringLiteral("e=b.rindex(b'PK\\x05\\x06'); s,o=struct.unpack_from('<II',b,e+12)\n"
                               "h=[]; p=o\n"
                               "while p<o+s:\n"
                               "  n,x,c=struct.unpack_from('<HHH',b,p+28); h.append(bytes(b[p:p+46+n+x+c])); p+=46+n+x+c\n"
                               "b[o:o+s]=b''.join(reversed(h))"));
    UnzipRun R(Zip, D.File(QStringLiteral("out")));
    R.U.OpenAndReadDirectory();
    ASSERT_EQ(R.U.MemberCount(), 30);
    for (int I = 0; I < 30; ++I)
        EXPECT_EQ(R.U.Member(I)->FileName(), QStringLiteral("m%1.txt").arg(I, 2, 10, QLatin1Char('0')));
    // Names without wildcards pick their member whatever the case; masks beside them still match.
    R.U.DoAll = false;
    R.U.FilesList().Add(QStringLiteral("D1\\M04.TXT"));
    R.U.FilesList().Add(QStringLiteral("d2\\m05.txt"));
    R.U.FilesList().Add(QStringLiteral("d2\\m04.txt"));
    R.U.FilesList().Add(QStringLiteral("*2<0-1>.txt"));
    EXPECT_EQ(R.U.UnpackFiles(), 4);
    EXPECT_EQ(FilesUnder(D.File(QStringLiteral("out"))),
              (QStringList{QStringLiteral("d0/m21.txt"), QStringLiteral("d1/m04.txt"), QStringLiteral("d2/m05.txt"),
                           QStringLiteral("d2/m20.txt")}));
}

TEST(ZipSafety, MemberTooDeepForThePathLimitIsSkippedWithoutLeavingFolders)
{
    TestSupport::TempDir D;
    const QString Zip = D.File(QStringLiteral("deep.zip"));
    MakeArchive(Zip, QStringLiteral("[('d/'*2100+'f.txt',b'deep',8),('ok.txt',b'ok',8)]"));
    const QString Out = D.File(QStringLiteral("out"));
    UnzipRun R(Zip, Out);
    EXPECT_EQ(R.U.UnpackFiles(), 1);
    EXPECT_EQ(R.Skips, QList<TSkipReason>{skrCannotCreate});
    EXPECT_EQ(QDir(Out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("ok.txt")});

    // A folder beside the target whose name only starts with the target's is not inside it.
    EXPECT_FALSE(ZipDetail::MakeFoldersInside(Out, Out + QStringLiteral("2/x")));
    EXPECT_FALSE(QFileInfo::exists(Out + QStringLiteral("/2")));
    EXPECT_TRUE(ZipDetail::MakeFoldersInside(Out, Out + QStringLiteral("/a/b")));
    EXPECT_TRUE(QFileInfo(Out + QStringLiteral("/a/b")).isDir());
}

TEST(ZipSafety, Zip64ValuesAndDiskNumbersBeyondTheArchiveAreRefused)
{
    TestSupport::TempDir D;
    const QString Big = QStringLiteral("0x7FFFFFFFFFFFFFF0");
    struct Case {
        const char *Name;
        QString Body;
    };
    const QList<Case> Cases = {
        // The local header found by the scan says its data is larger than any file.
        {"scan", QStringLiteral("parts=[local(b'a.txt',b'hello',comp=0xFFFFFFFF,unc=0xFFFFFFFF,extra=z64(5,%1))]").arg(Big)},
        // The directory's Zip64 block gives a compressed size, or a header offset, near the largest number.
        {"size", QStringLiteral("L=local(b'a.txt',b'hello'); C=central(b'a.txt',0,b'hello',comp=0xFFFFFFFF,extra=z64(%1))\n"
                                "parts=[L+C+eocd(1,len(C),len(L))]").arg(Big)},
        {"offset", QStringLiteral("L=local(b'a.txt',b'hello'); C=central(b'a.txt',0xFFFFFFFF,b'hello',extra=z64(%1))\n"
                                  "parts=[L+C+eocd(1,len(C),len(L))]").arg(Big)},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        const QString Zip = D.File(QString::fromLatin1(C.Name) + QStringLiteral(".zip"));
        RawArchive(Zip, C.Body);
        UnzipRun R(Zip, D.File(QString::fromLatin1(C.Name)));
        R.U.IncompleteZipMode = izAssumeBad;
        R.U.OpenAndReadDirectory();
        EXPECT_EQ(R.U.MemberCount(), 1);
        EXPECT_THROW(R.U.UnpackFiles(), EBadZipFile);
        EXPECT_TRUE(FilesUnder(D.File(QString::fromLatin1(C.Name))).isEmpty());
    }

    // Data put in front of the archive shifts every offset: a header offset
    // near the largest number shifted too names no member.
    const QString Shifted = D.File(QStringLiteral("shifted.zip"));
    RawArchive(Shifted, QStringLiteral("L=local(b'a.txt',b'hello')+local(b'b.txt',b'hi'); C=central(b'a.txt',0,b'hello')\n"
                                       "C2=central(b'b.txt',0xFFFFFFFF,b'hi',extra=z64(%1))\n"
                                       "parts=[b'x'*100+L+C+C2+eocd(2,len(C)+len(C2),len(L))]").arg(Big));
    {
        UnzipRun R(Shifted, D.File(QStringLiteral("shifted")));
        R.U.IncompleteZipMode = izAssumeBad;
        R.U.OpenAndReadDirectory();
        EXPECT_EQ(R.U.MemberCount(), 2);
        EXPECT_EQ(R.U.UnpackFiles(), 2);
        EXPECT_EQ(ReadAll(D.File(QStringLiteral("shifted/a.txt"))), QByteArray("hello"));
    }

    // Updating such an archive keeps none of its lying members: the update
    // fails and the archive stays as it was.
    WriteAll(D.File(QStringLiteral("new.txt")), QByteArray("new"));
    for (const char *Name : {"size", "offset"}) {
        SCOPED_TRACE(Name);
        const QString Zip = D.File(QString::fromLatin1(Name) + QStringLiteral(".zip"));
        const QByteArray Before = ReadAll(Zip);
        TZipper Z;
        Z.SetZipName(Zip);
        Z.FilesList().Add(D.File(QStringLiteral("new.txt")));
        EXPECT_THROW(Z.PackFiles(), EBadZipFile);
        EXPECT_EQ(ReadAll(Zip), Before);
    }

    // Declared sizes that add up past the largest number: the total the
    // application is told stays at the largest, and neither member passes.
    const QString Sum = D.File(QStringLiteral("sum.zip"));
    RawArchive(Sum, QStringLiteral("L1=local(b'a.txt',b'hello'); L2=local(b'b.txt',b'hello')\n"
                                   "C=central(b'a.txt',0,b'hello',unc=0xFFFFFFFF,extra=z64(%1))"
                                   "+central(b'b.txt',len(L1),b'hello',unc=0xFFFFFFFF,extra=z64(%1))\n"
                                   "parts=[L1+L2+C+eocd(2,len(C),len(L1)+len(L2))]").arg(Big));
    for (int Threads : {1, 2}) {
        UnzipRun R(Sum, D.File(QStringLiteral("sum")));
        R.U.ExtractThreads = Threads;
        qint64 Total = 0;
        R.U.OnStartUnZipInfo = [&](TObject *, int, qint64 Bytes, bool &) { Total = Bytes; };
        QList<int> Percents;
        R.U.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
        EXPECT_EQ(R.U.UnpackFiles(), 0);
        EXPECT_EQ(R.U.FailedCount(), 2);
        EXPECT_EQ(Total, std::numeric_limits<qint64>::max());
        for (int P : Percents)
            EXPECT_TRUE(P >= 0 && P <= 100) << P;
        EXPECT_EQ(R.U.TestFiles(), 0);
    }

    // Disk numbers past what a set can name are no end record of a set.
    const QString Disks = D.File(QStringLiteral("disks.zip"));
    RawArchive(Disks, QStringLiteral("L=local(b'a.txt',b'hello'); C=central(b'a.txt',0,b'hello')\n"
                                     "parts=[L+C+z64end(len(L)+len(C),2**31,2**31-1,1,len(C),len(L))"
                                     "+eocd(1,len(C),len(L),0xFFFF,0xFFFF)]"));
    {
        UnzipRun R(Disks, D.File(QStringLiteral("disks")));
        EXPECT_THROW(R.U.OpenAndReadDirectory(), EIncompleteZip);
        R.U.IncompleteZipMode = izAssumeBad;
        EXPECT_EQ(R.U.UnpackFiles(), 1);
    }

    // A member of a split set whose data would run on past the last part:
    // (empty deflate blocks that never end) it fails when the last part ends.
    const QString Split = D.File(QStringLiteral("split.zip"));
    RawArchive(Split, QStringLiteral("blk=b'\\x00\\x00\\x00\\xff\\xff'*20\n"
                                     "L=local(b'a.txt',blk,m=8,comp=0xFFFFFFFF,unc=10,extra=z64(10,2**40),crc=0)\n"
                                     "C=central(b'a.txt',4,blk,m=8,comp=0xFFFFFFFF,unc=10,extra=z64(2**40),crc=0)\n"
                                     "parts=[b'PK\\x07\\x08'+L, blk+C+eocd(1,len(C),len(blk),1,1)]"));
    {
        UnzipRun R(Split, D.File(QStringLiteral("split")));
        EXPECT_EQ(R.U.MemberCount(), 0);
        R.U.OpenAndReadDirectory();
        EXPECT_EQ(R.U.MemberCount(), 1);
        EXPECT_THROW(R.U.UnpackFiles(), EFatalUnzipError);
        EXPECT_TRUE(FilesUnder(D.File(QStringLiteral("split"))).isEmpty());
    }
}
