// Archives we write are accepted by unzip, 7-Zip and python's zipfile, and
// archives they write are read and extracted by us.

#include "ZipTestUtil.h"
#include "platform/core/Codec.h"
#include "zip/Zipper.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

using namespace ZipTest;

namespace {

struct Site {
    TestSupport::TempDir Dir;
    QString Root() const { return Dir.File(QStringLiteral("site")); }
    void Make()
    {
        WriteAll(Root() + QStringLiteral("/index.htm"), TextBytes(200000, 1));
        WriteAll(Root() + QStringLiteral("/images/a.jpg"), RandomBytes(70000, 2));
        WriteAll(Root() + QStringLiteral("/images/empty.gif"), QByteArray());
        WriteAll(Root() + QStringLiteral("/css/style.css"), TextBytes(5000, 3));
        WriteAll(Root() + QStringLiteral("/README"), "no extension\r\n");
        WriteAll(Root() + QString::fromUtf8("/产品/价格表.htm"), TextBytes(3000, 4));
    }
};

// Zips a folder the way the application does.
int ZipFolder(const QString &Folder, const QString &ZipName, int Level = 6)
{
    TZipper Z;
    Z.SetRootDir(Folder);
    Z.SetZipName(ZipName);
    Z.SetPackLevel(Level);
    Z.FilesList().Clear();
    Z.FilesList().Add(Folder + QStringLiteral("/*.*"));
    Z.Recurse = true;
    Z.SetRelativePaths(true);
    return Z.PackFiles();
}

int Unpack(const QString &ZipName, const QString &Dest)
{
    TUnZipper U;
    U.SetZipName(ZipName);
    U.SetDestDir(Dest);
    U.RecreateDirs = true;
    U.DoAll = true;
    U.OverwriteMode = TUZOverwriteMode::Always;
    return U.UnpackFiles();
}

void ExpectSameTree(const QString &A, const QString &B)
{
    QDir DA(A);
    const QStringList Files = [&] {
        QStringList L;
        QDirIterator It(A, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (It.hasNext())
            L << DA.relativeFilePath(It.next());
        L.sort();
        return L;
    }();
    ASSERT_FALSE(Files.isEmpty());
    for (const QString &F : Files) {
        SCOPED_TRACE(F.toStdString());
        ASSERT_TRUE(QFileInfo::exists(B + QLatin1Char('/') + F));
        EXPECT_EQ(ReadAll(A + QLatin1Char('/') + F), ReadAll(B + QLatin1Char('/') + F));
    }
}

} // namespace

TEST(ZipPeers, WrittenArchivePassesUnzip7zAndPythonAndExtractsByteIdentical)
{
    Site S;
    S.Make();
    const QString Zip = S.Dir.File(QStringLiteral("out.zip"));
    const QString Stored = S.Dir.File(QStringLiteral("stored.zip"));
    EXPECT_EQ(ZipFolder(S.Root(), Zip), 6);
    EXPECT_EQ(ZipFolder(S.Root(), Stored, 0), 6);

    for (const QString &Z : {Zip, Stored}) {
        SCOPED_TRACE(Z.toStdString());
        QByteArray Out;
        EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Z}, &Out), 0) << Out.constData();
        EXPECT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("t"), Z}, &Out), 0) << Out.constData();
        EXPECT_EQ(Python(QStringLiteral("import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
                                        "assert z.testzip() is None\n"
                                        "print(sorted(n for n in z.namelist()))"),
                         {Z}, &Out),
                  0)
            << Out.constData();
        // No folder prefix, "/" separators.
        EXPECT_TRUE(Out.contains("'images/a.jpg'")) << Out.constData();
        EXPECT_TRUE(Out.contains("'index.htm'"));
    }
    // Level 0 stores every member, with flag bit 2.
    EXPECT_EQ(Python(QStringLiteral("import sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                                    "  assert i.compress_type==0 and i.flag_bits&4, i\n"),
                     {Stored}),
              0);

    // Info-ZIP extracts what we wrote; we extract it again; all identical.
    const QString ByUnzip = S.Dir.File(QStringLiteral("by-unzip"));
    ASSERT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-q"), Zip, QStringLiteral("-d"), ByUnzip}), 0);
    const QString ByUs = S.Dir.File(QStringLiteral("by-us"));
    EXPECT_EQ(Unpack(Zip, ByUs), 6);
    ExpectSameTree(S.Root(), ByUs);
    // Info-ZIP reads our code page 936 names as bytes; python with cp936 decodes them right.
    QByteArray Names;
    Python(QStringLiteral("import sys,zipfile\nfor i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                          "  print(i.filename.encode('cp437').decode('gbk') if not i.flag_bits&0x800 else i.filename)"),
           {Zip}, &Names);
    EXPECT_TRUE(QString::fromUtf8(Names).contains(QString::fromUtf8("产品/价格表.htm"))) << Names.constData();
}

TEST(ZipPeers, ReadsInfoZipArchivesStoredDeflatedCommentedStreamedAndZip64)
{
    Site S;
    S.Make();
    // Info-ZIP stores names here as raw UTF-8 bytes without the UTF-8 flag,
    // which a code page 936 reader cannot know: keep this tree ASCII.
    QDir(S.Root() + QString::fromUtf8("/产品")).removeRecursively();
    const QString Work = S.Root();
    struct Case {
        const char *Name;
        QStringList Args;
    };
    const QList<Case> Cases = {
        {"deflated.zip", {QStringLiteral("-qr"), QStringLiteral("-6")}},
        {"stored.zip", {QStringLiteral("-qr"), QStringLiteral("-0")}},
        {"zip64.zip", {QStringLiteral("-qr"), QStringLiteral("-fz")}},
    };
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        const QString Zip = S.Dir.File(QString::fromLatin1(C.Name));
        ASSERT_EQ(RunProgram(QStringLiteral("zip"), C.Args + QStringList{Zip, QStringLiteral(".")}, nullptr, Work), 0);
        const QString Dest = S.Dir.File(QString::fromLatin1(C.Name) + QStringLiteral(".out"));
        // Five files and the two folder entries.
        EXPECT_EQ(Unpack(Zip, Dest), 7);
        ExpectSameTree(Work, Dest);
    }

    // Archive and member comments (zip -z and -c read them from standard input).
    const QString Commented = S.Dir.File(QStringLiteral("commented.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("sh"),
                         {QStringLiteral("-c"),
                          QStringLiteral("printf 'archive note\\n.\\n' | zip -qz \"$1\" index.htm && "
                                         "printf 'member note\\n' | zip -qc \"$1\" index.htm"),
                          QStringLiteral("sh"), Commented},
                         nullptr, Work),
              0);
    {
        TUnZipper U;
        U.SetZipName(Commented);
        U.OpenAndReadDirectory();
        ASSERT_EQ(U.MemberCount(), 1);
        EXPECT_EQ(U.ArchiveComment().trimmed(), QStringLiteral("archive note"));
        EXPECT_EQ(U.MemberComment(0).trimmed(), QStringLiteral("member note"));
        EXPECT_THROW(U.MemberComment(1), EListError);
    }

    // Data descriptors: zip writes one when its input is a pipe.
    const QString Streamed = S.Dir.File(QStringLiteral("streamed.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("cat index.htm | zip -q - - | cat > \"$1\""), QStringLiteral("sh"), Streamed},
                         nullptr, Work),
              0);
    {
        TUnZipper U;
        U.SetZipName(Streamed);
        U.OpenAndReadDirectory();
        ASSERT_EQ(U.MemberCount(), 1);
        EXPECT_TRUE(U.Member(0)->HasDescriptor());
        EXPECT_EQ(U.UnzipToBuffer(0), ReadAll(Work + QStringLiteral("/index.htm")));
    }
}

TEST(ZipPeers, ReadsSevenZipAndPythonZip64Archives)
{
    Site S;
    S.Make();
    const QString Seven = S.Dir.File(QStringLiteral("seven.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-tzip"), Seven, S.Root() + QStringLiteral("/*")}), 0);
    const QString Dest = S.Dir.File(QStringLiteral("seven.out"));
    // 7-Zip also stores the three folders as entries: they count too.
    EXPECT_EQ(Unpack(Seven, Dest), 9);
    ExpectSameTree(S.Root(), Dest);

    // python's force_zip64 writes Zip64 blocks in the local and central headers.
    const QString Py = S.Dir.File(QStringLiteral("py64.zip"));
    ASSERT_EQ(Python(QStringLiteral("import sys,zipfile\n"
                                    "with zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED) as z:\n"
                                    "  for n,d in (('a.txt',b'alpha'*1000),('dir/b.bin',bytes(range(256))*50)):\n"
                                    "    with z.open(n,'w',force_zip64=True) as f: f.write(d)\n"),
                     {Py}),
              0);
    TUnZipper U;
    U.SetZipName(Py);
    U.OpenAndReadDirectory();
    ASSERT_EQ(U.MemberCount(), 2);
    EXPECT_EQ(U.UnzipToBuffer(0), QByteArray("alpha").repeated(1000));
    QByteArray Bytes;
    for (int I = 0; I < 256; ++I)
        Bytes += char(I);
    EXPECT_EQ(U.UnzipToBuffer(1), Bytes.repeated(50));
}

TEST(ZipPeers, CodePage936NamesRoundTripAndUtf8FlaggedNamesRead)
{
    TestSupport::TempDir D;
    // Our writer stores the names in code page 936 (no UTF-8 flag); python
    // sees exactly the GBK bytes and we read the name back.
    const QString Src = D.File(QString::fromUtf8("源/图片/产品.txt"));
    WriteAll(Src, "gbk name");
    const QString Ours = D.File(QStringLiteral("ours.zip"));
    EXPECT_EQ(ZipFolder(D.File(QString::fromUtf8("源")), Ours), 1);
    QByteArray Out;
    ASSERT_EQ(Python(QStringLiteral("import sys,zipfile\n"
                                    "i=zipfile.ZipFile(sys.argv[1]).infolist()[0]\n"
                                    "assert not i.flag_bits&0x800\n"
                                    "print(i.filename.encode('cp437').hex())"),
                     {Ours}, &Out),
              0);
    EXPECT_EQ(Out.trimmed(), Cp936::Encode(QString::fromUtf8("图片/产品.txt")).toHex());
    const QString Dest = D.File(QStringLiteral("out"));
    EXPECT_EQ(Unpack(Ours, Dest), 1);
    EXPECT_EQ(ReadAll(Dest + QString::fromUtf8("/图片/产品.txt")), QByteArray("gbk name"));

    // Python marks non-ASCII names as UTF-8 (bit 11).
    const QString Utf = D.File(QStringLiteral("utf8.zip"));
    ASSERT_EQ(Python(QStringLiteral("import sys,zipfile\n"
                                    "with zipfile.ZipFile(sys.argv[1],'w') as z: z.writestr('目录/文件€.txt', b'utf8')\n"),
                     {Utf}),
              0);
    TUnZipper U;
    U.SetZipName(Utf);
    U.OpenAndReadDirectory();
    ASSERT_EQ(U.MemberCount(), 1);
    EXPECT_EQ(U.Member(0)->Directory(), QString::fromUtf8("目录\\"));
    EXPECT_EQ(U.Member(0)->FileName(), QString::fromUtf8("文件€.txt"));
}

TEST(ZipPeers, UpdatedArchiveKeepsMembersAndStaysValid)
{
    Site S;
    S.Make();
    const QString Zip = S.Dir.File(QStringLiteral("upd.zip"));
    ASSERT_EQ(ZipFolder(S.Root(), Zip), 6);
    // Add one file, replace one with newer content: kept members are copied.
    WriteAll(S.Root() + QStringLiteral("/new.txt"), "new");
    WriteAll(S.Root() + QStringLiteral("/index.htm"), TextBytes(1000, 9));
    SetFileAge(S.Root() + QStringLiteral("/index.htm"), 86400);
    TZipper Z;
    Z.SetRootDir(S.Root());
    Z.SetZipName(Zip);
    Z.SetRelativePaths(true);
    Z.FilesList().Add(S.Root() + QStringLiteral("/index.htm"));
    Z.FilesList().Add(S.Root() + QStringLiteral("/new.txt"));
    EXPECT_EQ(Z.PackFiles(), 2);
    EXPECT_EQ(Z.MemberCount(), 7);
    QByteArray Out;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}, &Out), 0) << Out.constData();
    const QString Dest = S.Dir.File(QStringLiteral("upd.out"));
    EXPECT_EQ(Unpack(Zip, Dest), 7);
    ExpectSameTree(S.Root(), Dest);
}


TEST(ZipPeers, NamesThatDifferOnlyInCaseAreSeparateMembersAndUpdatesTouchOnlyTheExactName)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/readme.txt"), "lower");
    WriteAll(Src + QStringLiteral("/README.txt"), "UPPER");
    WriteAll(Src + QStringLiteral("/inc/Types.h"), TextBytes(70000, 5));   // big enough for the workers' blocks
    WriteAll(Src + QStringLiteral("/inc/types.h"), TextBytes(90000, 6));
    WriteAll(Src + QStringLiteral("/INC/types.h"), "folder in capitals");
    const QStringList Expected{QStringLiteral("INC/types.h"), QStringLiteral("README.txt"), QStringLiteral("inc/Types.h"),
                               QStringLiteral("inc/types.h"), QStringLiteral("readme.txt")};
    for (const int Threads : {1, 4}) {
        SCOPED_TRACE(Threads);
        const QString Zip = D.File(QStringLiteral("case%1.zip").arg(Threads));
        TZipper Z;
        Z.SetRootDir(Src);
        Z.SetZipName(Zip);
        Z.SetRelativePaths(true);
        Z.PackThreads = Threads;
        Z.FilesList().Add(Src + QStringLiteral("/*.*"));
        QStringList Skipped;
        Z.OnSkippingFile = [&](TObject *, TSkipReason, const QString &Name, int, bool &) { Skipped << Name; };
        EXPECT_EQ(Z.PackFiles(), 5);
        EXPECT_EQ(Skipped, QStringList());
        QByteArray Out;
        ASSERT_EQ(Python(QStringLiteral("import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n"
                                        "print('|'.join(sorted(z.namelist())))"),
                         {Zip}, &Out), 0) << Out.constData();
        EXPECT_EQ(QString::fromUtf8(Out.trimmed()), Expected.join(QLatin1Char('|')));
        const QString Dest = D.File(QStringLiteral("out%1").arg(Threads));
        EXPECT_EQ(Unpack(Zip, Dest), 5);
        ExpectSameTree(Src, Dest);
    }

    // An update replaces README.txt only; readme.txt keeps its old data.
    // Freshening with Readme.txt adds nothing: no member has that exact name.
    const QString Zip = D.File(QStringLiteral("case1.zip"));
    WriteAll(Src + QStringLiteral("/README.txt"), "UPPER, newer");
    SetFileAge(Src + QStringLiteral("/README.txt"), 86400);
    WriteAll(Src + QStringLiteral("/Readme.txt"), "mixed");
    for (const TZipAction Action : {zaUpdate, zaFreshen}) {
        TZipper Z;
        Z.SetRootDir(Src);
        Z.SetZipName(Zip);
        Z.SetRelativePaths(true);
        Z.ZipAction = Action;
        Z.FilesList().Add(Src + (Action == zaUpdate ? QStringLiteral("/README.txt") : QStringLiteral("/Readme.txt")));
        QList<TSkipReason> Skips;
        Z.OnSkippingFile = [&](TObject *, TSkipReason R, const QString &, int, bool &) { Skips << R; };
        EXPECT_EQ(Z.PackFiles(), Action == zaUpdate ? 1 : 0);
        EXPECT_EQ(Skips, Action == zaUpdate ? QList<TSkipReason>() : QList<TSkipReason>{skrNotInArchive});
        EXPECT_EQ(Z.MemberCount(), 5);
    }
    QByteArray Out;
    ASSERT_EQ(Python(QStringLiteral("import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\n"
                                    "print(z.read('readme.txt').decode(),z.read('README.txt').decode(),len(z.namelist()),sep='|')"),
                     {Zip}, &Out), 0) << Out.constData();
    EXPECT_EQ(Out.trimmed(), QByteArray("lower|UPPER, newer|5"));
}

TEST(ZipPeers, ReadsInfoZipSplitArchivesAndDirectoryCopies)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/r.bin"), RandomBytes(200000, 11));
    WriteAll(Src + QStringLiteral("/t.txt"), QByteArray("hello split ").repeated(5000));
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-s"), QStringLiteral("64k"),
                                                 D.File(QStringLiteral("sp.zip")), QStringLiteral("r.bin"), QStringLiteral("t.txt")},
                         nullptr, Src),
              0);
    ASSERT_TRUE(QFileInfo::exists(D.File(QStringLiteral("sp.z03"))));
    TUnZipper U;
    U.SetZipName(D.File(QStringLiteral("sp.zip")));
    U.OpenAndReadDirectory();
    EXPECT_EQ(U.MultiMode(), mmBlocks);
    ASSERT_EQ(U.MemberCount(), 2);
    const QString Out = D.File(QStringLiteral("out"));
    EXPECT_EQ(Unpack(D.File(QStringLiteral("sp.zip")), Out), 2);
    ExpectSameTree(Src, Out);

    // A copy of the directory (".zfc") serves when the archive has lost its own.
    const QString Zip = D.File(QStringLiteral("whole.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), Zip, QStringLiteral("r.bin"), QStringLiteral("t.txt")}, nullptr, Src), 0);
    const QByteArray Bytes = ReadAll(Zip);
    const int Central = Bytes.indexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(Central, 0);
    WriteAll(D.File(QStringLiteral("whole.zfc")), Bytes.mid(Central));
    WriteAll(Zip, Bytes.left(Central));
    const QString Out2 = D.File(QStringLiteral("out2"));
    EXPECT_EQ(Unpack(Zip, Out2), 2);
    ExpectSameTree(Src, Out2);
}

TEST(ZipPeers, InfoZipUtf8NamesAndCommentsReadAndOurChineseNamesReachUnzipAnd7z)
{
    TestSupport::TempDir D;
    qputenv("LC_ALL", "C.UTF-8");
    // Info-ZIP on Linux: UTF-8 names without flag bit 11, host 3, comment from stdin.
    WriteAll(D.File(QString::fromUtf8("src/sub/深层/文件.txt")), "deep");
    const QString Iz = D.File(QStringLiteral("iz.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("sh"), {QStringLiteral("-c"), QString::fromUtf8("printf '注释\\n' | zip -q -r -z ../iz.zip sub")},
                         nullptr, D.File(QStringLiteral("src"))),
              0);
    {
        TUnZipper U;
        U.SetZipName(Iz);
        U.OpenAndReadDirectory();
        ASSERT_EQ(U.MemberCount(), 3);
        EXPECT_EQ(U.Member(2)->StoredName(), QString::fromUtf8("sub\\深层\\文件.txt"));
        EXPECT_EQ(U.ArchiveComment().trimmed(), QString::fromUtf8("注释"));
    }
    EXPECT_EQ(Unpack(Iz, D.File(QStringLiteral("iz.out"))), 3);
    EXPECT_EQ(ReadAll(D.File(QString::fromUtf8("iz.out/sub/深层/文件.txt"))), QByteArray("deep"));

    // Ours: code page 936 names (what the original program reads) with the
    // Unicode Path block beside them, which unzip, 7-Zip and python follow.
    const QString Ours = D.File(QStringLiteral("ours.zip"));
    EXPECT_EQ(ZipFolder(D.File(QStringLiteral("src")), Ours), 1);
    const QByteArray Gbk = Cp936::Encode(QString::fromUtf8("sub/深层/文件.txt"));
    EXPECT_TRUE(ReadAll(Ours).contains(Gbk));
    ASSERT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-q"), Ours, QStringLiteral("-d"), D.File(QStringLiteral("by-unzip"))}), 0);
    EXPECT_EQ(ReadAll(D.File(QString::fromUtf8("by-unzip/sub/深层/文件.txt"))), QByteArray("deep"));
    ASSERT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + D.File(QStringLiteral("by-7z")), Ours}), 0);
    EXPECT_EQ(ReadAll(D.File(QString::fromUtf8("by-7z/sub/深层/文件.txt"))), QByteArray("deep"));

    // A Unicode Path block whose CRC no longer fits the name (renamed by a
    // tool that does not know it) is ignored: the name itself counts.
    QByteArray Bytes = ReadAll(Ours);
    const QByteArray Renamed = Cp936::Encode(QString::fromUtf8("sub/深层/文档.txt"));
    ASSERT_EQ(Renamed.size(), Gbk.size());
    Bytes.replace(Gbk, Renamed);
    const QString Patched = D.File(QStringLiteral("renamed.zip"));
    WriteAll(Patched, Bytes);
    TUnZipper U;
    U.SetZipName(Patched);
    U.OpenAndReadDirectory();
    EXPECT_EQ(U.Member(0)->StoredName(), QString::fromUtf8("sub\\深层\\文档.txt"));
}

TEST(ZipPeers, InfoZipNamesReadAlikeThroughTheDirectoryAndThroughTheRecovery)
{
    TestSupport::TempDir D;
    qputenv("LC_ALL", "C.UTF-8");
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QString::fromUtf8("/说明.txt"), "read me");
    WriteAll(Src + QString::fromUtf8("/目录/数据.txt"), TextBytes(20000, 8));
    WriteAll(Src + QStringLiteral("/plain.txt"), "ascii");
    const QString Iz = D.File(QStringLiteral("iz.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), Iz, QStringLiteral(".")}, nullptr, Src), 0);
    const QByteArray Whole = ReadAll(Iz);
    QByteArray Names;
    ASSERT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Iz}, &Names), 0) << Names.constData();
    QStringList Expected = QString::fromUtf8(Names).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    Expected.sort();
    ASSERT_EQ(Expected.size(), 4);

    auto Read = [&](const QString &Zip, TIncompleteZipMode Mode) {
        TUnZipper U;
        U.SetZipName(Zip);
        U.IncompleteZipMode = Mode;
        U.OpenAndReadDirectory();
        QStringList Got;
        for (int I = 0; I < U.MemberCount(); ++I)
            Got << QString(U.Member(I)->StoredName()).replace(QLatin1Char('\\'), QLatin1Char('/'));
        Got.sort();
        return Got.join(QLatin1Char('|')).toStdString();
    };
    EXPECT_EQ(Read(Iz, izAssumeMulti), Expected.join(QLatin1Char('|')).toStdString());

    // Data in front, offsets not adjusted: the directory points short of
    // every member, so the members come from the local headers, and their
    // names still follow the directory's rules. unzip reads it too.
    const QString Prefixed = D.File(QStringLiteral("prefixed.zip"));
    WriteAll(Prefixed, QByteArray(3000, 'M') + Whole);
    QByteArray Out;
    RunProgram(QStringLiteral("unzip"), {QStringLiteral("-Z1"), Prefixed}, &Out);
    EXPECT_TRUE(Out.contains(QString::fromUtf8("说明.txt").toUtf8())) << Out.constData();
    EXPECT_EQ(Read(Prefixed, izAssumeMulti), Expected.join(QLatin1Char('|')).toStdString());
    EXPECT_EQ(Unpack(Prefixed, D.File(QStringLiteral("out"))), 4);
    ExpectSameTree(Src, D.File(QStringLiteral("out")));

    // Without any directory the local headers alone tell the names: their
    // Unix extra blocks say where the archive was made.
    const QString Cut = D.File(QStringLiteral("cut.zip"));
    WriteAll(Cut, Whole.left(Whole.indexOf(QByteArray("PK\x01\x02", 4))));
    EXPECT_EQ(Read(Cut, izAssumeBad), Expected.join(QLatin1Char('|')).toStdString());
}

TEST(ZipPeers, EncryptedMembersOfInfoZipKeepTheirPasswordWhenTheArchiveIsUpdated)
{
    TestSupport::TempDir D;
    WriteAll(D.File(QStringLiteral("src/secret.txt")), TextBytes(20000, 5));
    WriteAll(D.File(QStringLiteral("src/small.bin")), RandomBytes(300, 6));
    const QString Zip = D.File(QStringLiteral("enc.zip"));
    ASSERT_EQ(RunProgram(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-P"), QStringLiteral("secret"), Zip,
                                                 QStringLiteral("secret.txt"), QStringLiteral("small.bin")},
                         nullptr, D.File(QStringLiteral("src"))),
              0);
    WriteAll(D.File(QStringLiteral("src/plain.txt")), "added later");
    TZipper Z;
    Z.SetZipName(Zip);
    Z.FilesList().Add(D.File(QStringLiteral("src/plain.txt")));
    EXPECT_EQ(Z.PackFiles(), 1);
    EXPECT_EQ(Z.MemberCount(), 3);
    QByteArray Out;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-P"), QStringLiteral("secret"), QStringLiteral("-t"), Zip}, &Out), 0)
        << Out.constData();
    EXPECT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-psecret"), Zip}, &Out), 0) << Out.constData();
}

TEST(ZipPeers, PackingOnSeveralThreadsGivesTheSameValidArchiveEveryRunWithEventsInOrder)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/big.htm"), TextBytes(3500000, 1));       // several blocks
    WriteAll(Src + QStringLiteral("/noise.bin"), RandomBytes(2500000, 2));
    WriteAll(Src + QStringLiteral("/empty.txt"), QByteArray());
    for (int I = 0; I < 150; ++I)
        WriteAll(Src + QStringLiteral("/small/f%1.txt").arg(I, 3, 10, QLatin1Char('0')), TextBytes(100 + I * 37, I));
    auto Pack = [&](const QString &Zip, int Threads, QStringList *Ended) {
        TZipper Z;
        Z.SetRootDir(Src);
        Z.SetZipName(Zip);
        Z.SetRelativePaths(true);
        Z.AddDirEntriesOnRecurse = true;
        Z.PackThreads = Threads;
        Z.NoCompressList().Add(QStringLiteral("*.bin"));
        Z.FilesList().Add(Src + QStringLiteral("/*.*"));
        QList<int> Percents;
        Z.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
        if (Ended)
            Z.OnEndZip = [&](TObject *, const QString &Name, qint64, qint64, qint64) { *Ended << Name; };
        EXPECT_EQ(Z.PackFiles(), 154);
        EXPECT_TRUE(std::is_sorted(Percents.begin(), Percents.end()));
        EXPECT_EQ(Percents.last(), 100);
    };
    QStringList One, Four;
    Pack(D.File(QStringLiteral("one.zip")), 1, &One);
    Pack(D.File(QStringLiteral("four.zip")), 4, &Four);
    Pack(D.File(QStringLiteral("four-again.zip")), 4, nullptr);
    Pack(D.File(QStringLiteral("three.zip")), 3, nullptr);
    EXPECT_EQ(Four, One);
    const QByteArray Bytes = ReadAll(D.File(QStringLiteral("four.zip")));
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("four-again.zip"))), Bytes);
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("three.zip"))), Bytes);
    const double Ratio = double(Bytes.size()) / double(QFileInfo(D.File(QStringLiteral("one.zip"))).size());
    EXPECT_LT(std::abs(Ratio - 1.0), 0.01) << Ratio;

    const QString Zip = D.File(QStringLiteral("four.zip"));
    QByteArray Out;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}, &Out), 0) << Out.constData();
    EXPECT_EQ(RunProgram(QStringLiteral("7z"), {QStringLiteral("t"), Zip}, &Out), 0) << Out.constData();
    EXPECT_EQ(Python(QStringLiteral("import sys,zipfile\nassert zipfile.ZipFile(sys.argv[1]).testzip() is None"), {Zip}, &Out), 0)
        << Out.constData();
    EXPECT_EQ(Unpack(Zip, D.File(QStringLiteral("out"))), 154);
    ExpectSameTree(Src, D.File(QStringLiteral("out")));
}

TEST(ZipPeers, AFileThatShrinksUnderTheWorkersIsZippedAgainWhole)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    const QString Shrinking = Src + QStringLiteral("/shrinking.htm");
    WriteAll(Shrinking, TextBytes(3000000, 3));
    WriteAll(Src + QStringLiteral("/after.htm"), TextBytes(2500000, 4));
    const QString Zip = D.File(QStringLiteral("s.zip"));
    TZipper Z;
    Z.SetRootDir(Src);
    Z.SetZipName(Zip);
    Z.SetRelativePaths(true);
    Z.PackThreads = 4;
    Z.FilesList().Add(Src + QStringLiteral("/*.*"));
    bool Cut = false;
    Z.OnStartZip = [&](TObject *, const QString &Name, TZipHeaderInfo &, bool &) {
        // Cut to half after the size was taken: the second block comes up short.
        if (Name == Shrinking && !Cut) {
            Cut = true;
            QFile F(Shrinking);
            ASSERT_TRUE(F.resize(1500000));
        }
    };
    QList<int> Messages;
    Z.OnHandleMessage = [&](TObject *, int Id, const QString &, const QString &, quint32, int &) { Messages << Id; };
    EXPECT_EQ(Z.PackFiles(), 2);
    EXPECT_EQ(Messages, QList<int>{208});
    QByteArray Out;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}, &Out), 0) << Out.constData();
    EXPECT_EQ(Unpack(Zip, D.File(QStringLiteral("out"))), 2);
    ExpectSameTree(Src, D.File(QStringLiteral("out")));
}
