// Spanned and split sets: parts of the right names and sizes that 7-Zip and
// Info-ZIP accept, spanning over folders that stand in for removable disks,
// and the refusals that come before anything is written.

#include "ZipTestUtil.h"
#include "zip/Zipper.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

using namespace ZipTest;

namespace {

// Folders as disks: the drive folder counts as removable and holds
// Capacity bytes; every other folder is a fixed drive with plenty of room.
class FolderDrives : public TZipDrives {
public:
    QString Drive;
    qint64 Capacity = 0;
    qint64 FreeSpace(const QString &Path) override
    {
        if (!IsRemovable(Path))
            return qint64(1) << 40;
        qint64 Used = 0;
        QDirIterator It(Drive, QDir::Files | QDir::Hidden);
        while (It.hasNext())
            Used += QFileInfo(It.next()).size();
        return Capacity - Used;
    }
    qint64 ClusterSize(const QString &) override { return 512; }
    bool IsRemovable(const QString &Path) override
    {
        return QDir(Path).canonicalPath() == QDir(Drive).canonicalPath();
    }
};

struct DrivesInstalled {
    explicit DrivesInstalled(TZipDrives *D) { SetZipDrives(D); }
    ~DrivesInstalled() { SetZipDrives(nullptr); }
};

QStringList Listing(const QString &Folder)
{
    QStringList L = QDir(Folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    return L;
}

void Pack(TZipper &Z, const QString &Src, const QString &Zip)
{
    Z.SetRootDir(Src);
    Z.SetZipName(Zip);
    Z.SetRelativePaths(true);
    Z.FilesList().Add(Src + QStringLiteral("/*.*"));
}

void ExpectSameFiles(const QString &A, const QString &B)
{
    const QStringList Files = Listing(A);
    ASSERT_FALSE(Files.isEmpty());
    for (const QString &F : Files)
        EXPECT_EQ(ReadAll(A + QLatin1Char('/') + F), ReadAll(B + QLatin1Char('/') + F)) << F.toStdString();
}

int UnpackAll(TUnZipper &U, const QString &Zip, const QString &Dest)
{
    U.SetZipName(Zip);
    U.SetDestDir(Dest);
    U.DoAll = true;
    U.OverwriteMode = TUZOverwriteMode::Always;
    return U.UnpackFiles();
}

} // namespace

TEST(ZipSpan, SplitSetsGetStandardPartsThatPeersReadAndBothNamingsAreRead)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/a.bin"), RandomBytes(1000000, 1));
    WriteAll(Src + QStringLiteral("/b.bin"), RandomBytes(1000000, 2));
    WriteAll(Src + QStringLiteral("/c.bin"), RandomBytes(1000000, 3));
    WriteAll(Src + QStringLiteral("/d.htm"), TextBytes(100000, 4));
    const QString Out = D.File(QStringLiteral("out"));
    QDir().mkpath(Out);
    TZipper Z;
    Pack(Z, Src, Out + QStringLiteral("/set.zip"));
    Z.MultiZipInfo().MultiMode = mmBlocks;
    QList<int> Percents;
    Z.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
    EXPECT_EQ(Z.PackFiles(), 4);
    EXPECT_EQ(Listing(Out), (QStringList{QStringLiteral("set.z01"), QStringLiteral("set.z02"), QStringLiteral("set.zip")}));
    EXPECT_EQ(QFileInfo(Out + QStringLiteral("/set.z01")).size(), 1457600);
    EXPECT_EQ(QFileInfo(Out + QStringLiteral("/set.z02")).size(), 1457600);
    EXPECT_TRUE(ReadAll(Out + QStringLiteral("/set.z01")).startsWith(QByteArray("PK\x07\x08", 4)));
    EXPECT_TRUE(std::is_sorted(Percents.begin(), Percents.end()));
    EXPECT_EQ(Percents.last(), 100);
    EXPECT_EQ(Z.MemberCount(), 4);

    QByteArray Log;
    EXPECT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("t"), Out + QStringLiteral("/set.zip")}, &Log), 0) << Log.constData();
    TUnZipper U;
    EXPECT_EQ(UnpackAll(U, Out + QStringLiteral("/set.zip"), D.File(QStringLiteral("ours"))), 4);
    ExpectSameFiles(Src, D.File(QStringLiteral("ours")));

    // The naming name.zip.z01 is read as well.
    QFile::rename(Out + QStringLiteral("/set.z01"), Out + QStringLiteral("/set.zip.z01"));
    QFile::rename(Out + QStringLiteral("/set.z02"), Out + QStringLiteral("/set.zip.z02"));
    TUnZipper U2;
    EXPECT_EQ(UnpackAll(U2, Out + QStringLiteral("/set.zip"), D.File(QStringLiteral("ours2"))), 4);
    ExpectSameFiles(Src, D.File(QStringLiteral("ours2")));

    // Where no member spans three parts, Info-ZIP joins the set and tests it.
    const QString Two = D.File(QStringLiteral("two"));
    QDir().mkpath(Two);
    QFile::remove(Src + QStringLiteral("/c.bin"));
    TZipper Z2;
    Pack(Z2, Src, Two + QStringLiteral("/j.zip"));
    Z2.MultiZipInfo().MultiMode = mmBlocks;
    Z2.MultiZipInfo().FirstBlockSize = 1200000;
    EXPECT_EQ(Z2.PackFiles(), 3);
    EXPECT_EQ(QFileInfo(Two + QStringLiteral("/j.z01")).size(), 1200000);
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("0"), QStringLiteral("j.zip"),
                                                 QStringLiteral("--out"), QStringLiteral("whole.zip")},
                         &Log, Two),
              0)
        << Log.constData();
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Two + QStringLiteral("/whole.zip")}, &Log), 0) << Log.constData();

    // Classic names: name.001, name.002, ...
    const QString Classic = D.File(QStringLiteral("classic"));
    QDir().mkpath(Classic);
    TZipper Z3;
    Pack(Z3, Src, Classic + QStringLiteral("/set.zip"));
    Z3.MultiZipInfo().MultiMode = mmBlocks;
    Z3.BlockMode = bmClassic;
    EXPECT_EQ(Z3.PackFiles(), 3);
    EXPECT_EQ(Listing(Classic), (QStringList{QStringLiteral("set.001"), QStringLiteral("set.002")}));
}

TEST(ZipSpan, InfoZipSetsOpenThroughTheirRenamedLastPartAndAMissingPartIsNamed)
{
    // zip -s names the parts after the archive less its extension (a.b.z01
    // for a.b.zip); the last part reaches the user under another name.
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/a.bin"), RandomBytes(200000, 21));
    WriteAll(Src + QStringLiteral("/b.htm"), TextBytes(50000, 22));
    const QString Out = D.File(QStringLiteral("out"));
    QDir().mkpath(Out);
    QByteArray Log;
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-s"),
                                                 QStringLiteral("64k"), Out + QStringLiteral("/a.b.zip"), QStringLiteral(".")},
                         &Log, Src),
              0)
        << Log.constData();
    ASSERT_TRUE(QFileInfo::exists(Out + QStringLiteral("/a.b.z03")));
    const QString Last = Out + QStringLiteral("/a.b.qba");
    ASSERT_TRUE(QFile::rename(Out + QStringLiteral("/a.b.zip"), Last));
    TUnZipper U;
    EXPECT_EQ(UnpackAll(U, Last, D.File(QStringLiteral("back"))), 2);
    ExpectSameFiles(Src, D.File(QStringLiteral("back")));

    // Without the second part: nobody was asked, so it is named, not cancelled.
    QFile::rename(Out + QStringLiteral("/a.b.z02"), Out + QStringLiteral("/elsewhere"));
    TUnZipper Missing;
    try {
        UnpackAll(Missing, Last, D.File(QStringLiteral("back2")));
        ADD_FAILURE() << "no exception";
    } catch (const EMissingSplitPart &E) {
        EXPECT_EQ(E.PartName(), Out + QStringLiteral("/a.b.z02"));
    }
    // A handler asked for it may give it, or cancel.
    TUnZipper Asked;
    QList<int> Disks;
    Asked.OnGetNextDisk = [&](TObject *, int Disk, QString &Name) {
        Disks << Disk;
        Name = Out + QStringLiteral("/elsewhere");
    };
    EXPECT_EQ(UnpackAll(Asked, Last, D.File(QStringLiteral("back3"))), 2);
    EXPECT_TRUE(Disks.contains(2));
    TUnZipper Cancelled;
    Cancelled.OnGetNextDisk = [](TObject *, int, QString &Name) { Name.clear(); };
    EXPECT_THROW(UnpackAll(Cancelled, Last, D.File(QStringLiteral("back4"))), EUserCanceled);
}

TEST(ZipSpan, PartsTooSmallAreRefusedAndACancelledSplitLeavesNoPart)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/") + QString(QLatin1Char('n')).repeated(200) + QStringLiteral(".txt"), "x");
    const QString Out = D.File(QStringLiteral("out"));
    QDir().mkpath(Out);
    {
        TZipper Z;
        Pack(Z, Src, Out + QStringLiteral("/small.zip"));
        Z.MultiZipInfo().MultiMode = mmBlocks;
        Z.MultiZipInfo().BlockSize = 200;
        EXPECT_THROW(Z.PackFiles(), EZipperException);
    }
    {
        TZipper Z;
        Pack(Z, Src, Out + QStringLiteral("/small.zip"));
        Z.MultiZipInfo().MultiMode = mmBlocks;
        Z.MultiZipInfo().SaveOnFirstDisk = 1457600 - 100;
        EXPECT_THROW(Z.PackFiles(), EZipperException);
    }
    {
        // Spanning needs a removable disk.
        TZipper Z;
        Pack(Z, Src, Out + QStringLiteral("/span.zip"));
        Z.MultiZipInfo().MultiMode = mmSpan;
        EXPECT_THROW(Z.PackFiles(), EZipperException);
    }
    EXPECT_EQ(Listing(Out), QStringList());

    // Cancelled in the third part: the two complete parts go as well.
    WriteAll(Src + QStringLiteral("/r.bin"), RandomBytes(300000, 9));
    TZipper Z;
    Pack(Z, Src, Out + QStringLiteral("/c.zip"));
    Z.MultiZipInfo().MultiMode = mmBlocks;
    Z.MultiZipInfo().BlockSize = 100000;
    Z.OnTotalPercentDone = [&](TObject *, int P) {
        if (P > 80)
            Z.Cancel();
    };
    EXPECT_THROW(Z.PackFiles(), EUserCanceled);
    EXPECT_EQ(Listing(Out), QStringList());
}

TEST(ZipSpan, SpanningOverFoldersAsRemovableDisks)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/big.bin"), RandomBytes(1500000, 5));
    WriteAll(Src + QStringLiteral("/page.htm"), TextBytes(50000, 6));
    FolderDrives Drives;
    Drives.Drive = D.File(QStringLiteral("drive"));
    Drives.Capacity = 700000;
    QDir().mkpath(Drives.Drive);
    DrivesInstalled Installed(&Drives);
    const QString Zip = Drives.Drive + QStringLiteral("/span.zip");

    // Taking a disk out moves what is in the drive to that disk's folder.
    int InDrive = 1;
    auto Eject = [&] {
        const QString Disk = D.File(QStringLiteral("disk%1").arg(InDrive));
        QDir().mkpath(Disk);
        for (const QString &F : Listing(Drives.Drive))
            QFile::rename(Drives.Drive + QLatin1Char('/') + F, Disk + QLatin1Char('/') + F);
    };
    {
        TZipper Z;
        Pack(Z, Src, Zip);
        Z.MultiZipInfo().MultiMode = mmSpan;
        Z.MultiZipInfo().SaveZipInfoOnFirstDisk = true;
        QList<int> Asked, Prepared;
        Z.OnGetNextDisk = [&](TObject *, int Next, QString &) {
            Asked << Next;
            Eject();
            InDrive = Next;
        };
        Z.OnPrepareNextDisk = [&](TObject *, int Disk) { Prepared << Disk; };
        EXPECT_EQ(Z.PackFiles(), 2);
        EXPECT_EQ(Asked, (QList<int>{2, 3}));
        EXPECT_EQ(Prepared, (QList<int>{2, 3}));
    }
    EXPECT_TRUE(ReadAll(D.File(QStringLiteral("disk1/span.zip"))).startsWith(QByteArray("PK\x07\x08", 4)));
    EXPECT_EQ(Listing(D.File(QStringLiteral("disk1"))), QStringList{QStringLiteral("span.zip")});
    EXPECT_EQ(Listing(Drives.Drive), (QStringList{QStringLiteral("span.zfc"), QStringLiteral("span.zip")}));

    // Reading: the user is asked for each disk, which is then in the drive.
    auto Insert = [&](int Disk) {
        Eject();
        const QString From = D.File(QStringLiteral("disk%1").arg(Disk));
        for (const QString &F : Listing(From))
            QFile::rename(From + QLatin1Char('/') + F, Drives.Drive + QLatin1Char('/') + F);
        InDrive = Disk;
    };
    {
        TUnZipper U;
        U.OnGetNextDisk = [&](TObject *, int Disk, QString &) { Insert(Disk); };
        EXPECT_EQ(UnpackAll(U, Zip, D.File(QStringLiteral("out"))), 2);
        ExpectSameFiles(Src, D.File(QStringLiteral("out")));
    }
    // With the first disk in the drive, the directory copy lists the set.
    Insert(1);
    QFile::copy(D.File(QStringLiteral("disk3/span.zfc")), Drives.Drive + QStringLiteral("/span.zfc"));
    {
        TUnZipper U;
        U.SetZipName(Zip);
        U.OpenAndReadDirectory();
        EXPECT_EQ(U.MemberCount(), 2);
    }

    // Cancelling the prompt for the next disk: the words of the prompt, the
    // run's texts, and nothing left on the disk in the drive.
    for (const QString &F : Listing(Drives.Drive))
        QFile::remove(Drives.Drive + QLatin1Char('/') + F);
    TZipper Z;
    Pack(Z, Src, Zip);
    Z.MultiZipInfo().MultiMode = mmSpan;
    QStringList Prompts;
    Z.OnHandleMessage = [&](TObject *, int Id, const QString &Text, const QString &, quint32, int &Return) {
        Prompts << QString::number(Id) + QLatin1Char(' ') + Text;
        Return = ZID_CANCEL;
    };
    try {
        Z.PackFiles();
        ADD_FAILURE() << "no exception";
    } catch (const EUserCanceled &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("User canceled Zip operation"));
    }
    EXPECT_EQ(Prompts, QStringList{QStringLiteral("184 Please insert disk 2 of the multi-disk set.")});
    EXPECT_EQ(Listing(Drives.Drive), QStringList{QStringLiteral("span.zip")});   // the finished first disk
}

TEST(ZipSpan, ASpanThatFitsOneDiskIsMarkedAndReadByPeers)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/page.htm"), TextBytes(30000, 7));
    WriteAll(Src + QStringLiteral("/pic.bin"), RandomBytes(20000, 8));
    FolderDrives Drives;
    Drives.Drive = D.File(QStringLiteral("drive"));
    Drives.Capacity = 1 << 20;
    QDir().mkpath(Drives.Drive);
    DrivesInstalled Installed(&Drives);
    const QString Zip = Drives.Drive + QStringLiteral("/one.zip");
    TZipper Z;
    Pack(Z, Src, Zip);
    Z.MultiZipInfo().MultiMode = mmSpan;
    EXPECT_EQ(Z.PackFiles(), 2);
    EXPECT_TRUE(ReadAll(Zip).startsWith("PK00"));
    QByteArray Log;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}, &Log), 0) << Log.constData();
    EXPECT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("t"), Zip}, &Log), 0) << Log.constData();
    TUnZipper U;
    EXPECT_EQ(UnpackAll(U, Zip, D.File(QStringLiteral("out"))), 2);
    ExpectSameFiles(Src, D.File(QStringLiteral("out")));
}

TEST(ZipSpan, EncryptedMembersSplitAcrossPartsOpenWithThePassword)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/a.bin"), RandomBytes(250000, 11));
    WriteAll(Src + QStringLiteral("/b.htm"), TextBytes(400000, 12));
    const QString Out = D.File(QStringLiteral("out"));
    QDir().mkpath(Out);
    TZipper Z;
    Pack(Z, Src, Out + QStringLiteral("/enc.zip"));
    Z.MultiZipInfo().MultiMode = mmBlocks;
    Z.MultiZipInfo().BlockSize = 100000;
    Z.SetPassword(QStringLiteral("secret"));
    EXPECT_EQ(Z.PackFiles(), 2);
    EXPECT_GE(Listing(Out).size(), 3);
    QByteArray Log;
    EXPECT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-psecret"), Out + QStringLiteral("/enc.zip")}, &Log), 0)
        << Log.constData();
    TUnZipper U;
    U.SetPassword(QStringLiteral("secret"));
    EXPECT_EQ(UnpackAll(U, Out + QStringLiteral("/enc.zip"), D.File(QStringLiteral("back"))), 2);
    ExpectSameFiles(Src, D.File(QStringLiteral("back")));
}

TEST(ZipSpan, DirectoryCopyOfASplitSetListsItAndAFailedCopyIsReported)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/a.bin"), RandomBytes(300000, 13));
    WriteAll(Src + QStringLiteral("/b.bin"), RandomBytes(10000, 14));
    const QString Out = D.File(QStringLiteral("out"));
    QDir().mkpath(Out);
    auto Make = [&] {
        TZipper Z;
        Pack(Z, Src, Out + QStringLiteral("/set.zip"));
        Z.MultiZipInfo().MultiMode = mmBlocks;
        Z.MultiZipInfo().BlockSize = 120000;
        Z.MultiZipInfo().SaveZipInfoOnFirstDisk = true;
        return Z.PackFiles();
    };
    EXPECT_EQ(Make(), 2);
    ASSERT_TRUE(QFileInfo::exists(Out + QStringLiteral("/set.zfc")));
    // The last part lost: the copy still lists the set.
    QFile::remove(Out + QStringLiteral("/set.zip"));
    WriteAll(Out + QStringLiteral("/set.zip"), QByteArray(100, 'x'));
    TUnZipper U;
    U.SetZipName(Out + QStringLiteral("/set.zip"));
    U.OpenAndReadDirectory();
    EXPECT_EQ(U.MemberCount(), 2);

    QFile::remove(Out + QStringLiteral("/set.zfc"));
    QDir().mkpath(Out + QStringLiteral("/set.zfc/in-the-way"));
    try {
        Make();
        ADD_FAILURE() << "no exception";
    } catch (const EConfigFileSaveError &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("Unable to save Zip Configuration File to disk"));
    }
}

TEST(ZipSpan, SplitSetsWhosePartEndsBetweenTwoCentralHeadersAreRead)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    for (int I = 0; I < 40; ++I)
        WriteAll(Src + QStringLiteral("/m%1.txt").arg(I, 2, 10, QLatin1Char('0')), QByteArray::number(I));
    // Where the directory begins in one file: the first part ends inside
    // the directory for the block sizes just beyond, once exactly after one
    // of its headers, whose successor then begins the second part.
    qint64 Central = 0;
    {
        TZipper Z;
        Pack(Z, Src, D.File(QStringLiteral("one.zip")));
        ASSERT_EQ(Z.PackFiles(), 40);
        Central = Z.EndCentralRecord().OffsetOfCentralDirectory();
    }
    for (qint64 Block = Central + 8; Block < Central + 108; ++Block) {
        SCOPED_TRACE(Block);
        const QString Out = D.File(QStringLiteral("set%1").arg(Block));
        QDir().mkpath(Out);
        TZipper Z;
        Pack(Z, Src, Out + QStringLiteral("/set.zip"));
        Z.MultiZipInfo().MultiMode = mmBlocks;
        Z.MultiZipInfo().BlockSize = Block;
        ASSERT_EQ(Z.PackFiles(), 40);
        EXPECT_TRUE(QFileInfo::exists(Out + QStringLiteral("/set.z01")));
        TUnZipper U;
        U.SetZipName(Out + QStringLiteral("/set.zip"));
        ASSERT_NO_THROW(U.OpenAndReadDirectory());
        ASSERT_EQ(U.MemberCount(), 40);
        EXPECT_EQ(U.Member(39)->FileName(), QStringLiteral("m39.txt"));
    }
}
