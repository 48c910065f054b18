// Mask matching, the folder walker and the selection rules of both components.

#include "ZipTestUtil.h"
#include "platform/core/FileUtils.h"
#include "zip/ZipSearch.h"
#include "zip/Zipper.h"

#include <QDir>

using namespace ZipTest;

TEST(ZipMasks, WildcardsSetsAndRanges)
{
    struct Case {
        const char *Mask, *Name;
        bool Match;
    };
    const Case Cases[] = {
        {"*.txt", "Readme.TXT", true},      {"*.txt", "a.txt.bak", false},
        {"<a-c>*", "b1", true},             {"<^a-c>*", "b1", false},
        {"<!a-c>*", "d1", true},            {"<c-a>x", "bx", true},
        {"*<0-9>.log", "123.log", true},    {"*<0-9>.log", "12a.log", false},
        {"<>x", "x", false},                {"<ab", "a", false},
        {"*", "", true},                    {"a?c", "abc", true},
        {"a?c", "ac", false},               {"*.*", "readme.", true},
        {"docs\\*.htm", "Docs\\Index.HTM", true}, {"*b*", "abc", true},
        {"a*", "a", true},                  {"*<a-b>", "abba", true},
        {"*<a-b>", "abca", false},
    };
    for (const Case &C : Cases)
        EXPECT_EQ(WildcardMatches(QString::fromLatin1(C.Mask), QString::fromLatin1(C.Name)), C.Match)
            << C.Mask << " / " << C.Name;
}

TEST(ZipMasks, FolderWalkReturnsFoldersBeforeTheirFilesAndExpandsWildcardFolders)
{
    TestSupport::TempDir D;
    const QString Site = D.File(QStringLiteral("site"));
    WriteAll(Site + QStringLiteral("/index.htm"), "i");
    WriteAll(Site + QStringLiteral("/README"), "r");
    WriteAll(Site + QStringLiteral("/images/a.jpg"), "a");
    WriteAll(Site + QStringLiteral("/.hidden"), "h");
    TDirSearch S(Site, 0x39, true, QStringLiteral("*.*"));
    QStringList Got;
    TSearchRec R;
    for (QString P = S.NextMatch(R); !P.isEmpty(); P = S.NextMatch(R))
        Got << QDir(Site).relativeFilePath(P) + (P.endsWith(QLatin1Char('/')) ? QStringLiteral("/") : QString());
    EXPECT_EQ(Got, (QStringList{QStringLiteral("images/"), QStringLiteral("images/a.jpg"), QStringLiteral("index.htm"),
                                QStringLiteral("README")}));

    const QString Data = D.File(QStringLiteral("data"));
    WriteAll(Data + QStringLiteral("/2001/x.txt"), "1");
    WriteAll(Data + QStringLiteral("/2002/y.txt"), "2");
    WriteAll(Data + QStringLiteral("/1999/z.txt"), "3");
    TDirSearch W(Data + QStringLiteral("/20*/"), 0x39, false, QStringLiteral("*.txt"));
    Got.clear();
    for (QString P = W.NextMatch(R); !P.isEmpty(); P = W.NextMatch(R))
        Got << QDir(Data).relativeFilePath(P);
    EXPECT_EQ(Got, (QStringList{QStringLiteral("2001/x.txt"), QStringLiteral("2002/y.txt")}));
}

TEST(ZipSelection, MasksExclusionsDuplicatesAndTheArchiveItself)
{
    TestSupport::TempDir D;
    const QString Site = D.File(QStringLiteral("site"));
    WriteAll(Site + QStringLiteral("/index.htm"), TextBytes(5000, 1));
    WriteAll(Site + QStringLiteral("/pic.jpg"), RandomBytes(5000, 2));
    WriteAll(Site + QStringLiteral("/skip.bak"), "bak");
    WriteAll(Site + QStringLiteral("/sub/deep.htm"), "deep");
    const QString Zip = Site + QStringLiteral("/site.zip");
    WriteAll(Zip, QByteArray());   // an empty archive inside the folder being zipped

    TZipper Z;
    Z.SetRootDir(Site);
    Z.SetZipName(Zip);
    Z.SetRelativePaths(true);
    Z.AddDirEntriesOnRecurse = true;
    Z.ExcludeList().Add(QStringLiteral("*.bak"));
    Z.NoCompressList().Add(QStringLiteral("*.jpg"));
    Z.FilesList().Add(Site + QStringLiteral("/index.htm"));
    Z.FilesList().Add(Site + QStringLiteral("/*.*"));
    QList<TSkipReason> Skips;
    Z.OnSkippingFile = [&](TObject *, TSkipReason R, const QString &, int, bool &) { Skips << R; };
    QList<int> Percents;
    Z.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
    EXPECT_EQ(Z.PackFiles(), 4);   // index.htm, pic.jpg, sub/, sub/deep.htm
    EXPECT_EQ(Skips, (QList<TSkipReason>{skrExcluded, skrNotOverwritten}));
    ASSERT_FALSE(Percents.isEmpty());
    EXPECT_EQ(Percents.last(), 100);
    EXPECT_EQ(Z.FilesList().Count(), 0);

    QStringList Names;
    for (int I = 0; I < Z.MemberCount(); ++I)
        Names << Z.Member(I)->StoredName() + QLatin1Char(':') + QString::number(Z.Member(I)->CompressionMethod);
    EXPECT_EQ(Names, (QStringList{QStringLiteral("index.htm:8"), QStringLiteral("pic.jpg:0"), QStringLiteral("sub\\:0"),
                                  QStringLiteral("sub\\deep.htm:8")}));
    QByteArray Out;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Zip}, &Out), 0) << Out.constData();

    // An empty run still ends at 100.
    Percents.clear();
    TZipper E;
    E.SetZipName(D.File(QStringLiteral("empty.zip")));
    E.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
    EXPECT_EQ(E.PackFiles(), 0);
    EXPECT_EQ(Percents, QList<int>{100});
    EXPECT_EQ(Python(QStringLiteral("import sys,zipfile\nassert zipfile.ZipFile(sys.argv[1]).namelist()==[]"),
                     {D.File(QStringLiteral("empty.zip"))}),
              0);
}

TEST(ZipSelection, FreshenDeleteMarksSortingAndReReadOfAChangedArchive)
{
    TestSupport::TempDir D;
    const QString Src = D.File(QStringLiteral("src"));
    WriteAll(Src + QStringLiteral("/a.txt"), "a1");
    WriteAll(Src + QStringLiteral("/Docs/B.TXT"), "bb1");
    WriteAll(Src + QStringLiteral("/c.dat"), "ccc1");
    const QString Zip = D.File(QStringLiteral("f.zip"));
    {
        TZipper Z;
        Z.SetRootDir(Src);
        Z.SetZipName(Zip);
        Z.SetRelativePaths(true);
        Z.FilesList().Add(Src + QStringLiteral("/*.*"));
        EXPECT_EQ(Z.PackFiles(), 3);
    }
    WriteAll(Src + QStringLiteral("/a.txt"), "a2 newer");
    SetFileAge(Src + QStringLiteral("/a.txt"), 86400);
    WriteAll(Src + QStringLiteral("/new.txt"), "not in archive");
    TZipper Z;
    Z.SetRootDir(Src);
    Z.SetZipName(Zip);
    Z.SetRelativePaths(true);
    Z.ZipAction = zaFreshen;
    Z.FilesList().Add(Src + QStringLiteral("/*.*"));
    QList<TSkipReason> Skips;
    Z.OnSkippingFile = [&](TObject *, TSkipReason R, const QString &, int, bool &) { Skips << R; };
    EXPECT_EQ(Z.PackFiles(), 1);
    EXPECT_EQ(Skips, QList<TSkipReason>{skrNotInArchive});
    ASSERT_EQ(Z.MemberCount(), 3);
    EXPECT_EQ(Z.Member(0)->FileName(), QStringLiteral("a.txt"));   // replaced in place
    EXPECT_EQ(Z.UnzipToBuffer(0), QByteArray("a2 newer"));

    // Sorted view by name; the archive order comes back with ByNone.
    Z.SetSortMode(ByName);
    EXPECT_EQ(Z.Member(0)->StoredName(), QStringLiteral("a.txt"));
    EXPECT_EQ(Z.Member(1)->StoredName(), QStringLiteral("c.dat"));
    EXPECT_EQ(Z.Member(2)->StoredName(), QStringLiteral("Docs\\B.TXT"));
    Z.SetSortMode(ByNone);

    // A member marked for deletion is dropped by the next rewrite.
    EXPECT_EQ(Z.Member(1)->FileName(), QStringLiteral("c.dat"));
    Z.Member(1)->Action = 2;
    QStringList Deleted;
    Z.OnDeleteEntry = [&](TObject *, const QString &N, bool &) { Deleted << N; };
    Z.ZipAction = zaUpdate;
    EXPECT_EQ(Z.PackFiles(), 0);
    EXPECT_EQ(Deleted, QStringList{QStringLiteral("c.dat")});
    EXPECT_EQ(Z.MemberCount(), 2);

    // A mask selects Docs/B.TXT wherever it lies; the archive changed on disk
    // since this reader loaded it, so it reads the directory again.
    TUnZipper U;
    U.SetZipName(Zip);
    U.OpenAndReadDirectory();
    const int Before = U.MemberCount();
    {
        TZipper Add;
        Add.SetZipName(Zip);
        Add.FilesList().Add(Src + QStringLiteral("/new.txt"));
        EXPECT_EQ(Add.PackFiles(), 1);
    }
    U.SetDestDir(D.File(QStringLiteral("out")));
    U.FilesList().Add(QStringLiteral("*.txt"));
    U.RecreateDirs = true;
    QList<int> Percents;
    U.OnTotalPercentDone = [&](TObject *, int P) { Percents << P; };
    EXPECT_EQ(U.UnpackFiles(), 3);
    EXPECT_EQ(U.MemberCount(), Before + 1);
    EXPECT_EQ(ReadAll(D.File(QStringLiteral("out/Docs/B.TXT"))), QByteArray("bb1"));
    ASSERT_FALSE(Percents.isEmpty());
    EXPECT_EQ(Percents.last(), 100);
}

TEST(ZipSelection, ArchiveHeldInTheApplicationsStream)
{
    TestSupport::TempDir D;
    WriteAll(D.File(QStringLiteral("a.txt")), "alpha");
    WriteAll(D.File(QStringLiteral("b.txt")), "beta");
    TMemoryStream M;
    TZipper Z;
    Z.SetZipStream(&M);
    Z.FilesList().Add(D.File(QStringLiteral("a.txt")));
    EXPECT_EQ(Z.PackFiles(), 1);
    Z.FilesList().Add(D.File(QStringLiteral("b.txt")));
    EXPECT_EQ(Z.PackFiles(), 1);
    EXPECT_EQ(Z.MemberCount(), 2);
    M.SaveToFile(D.File(QStringLiteral("m.zip")));
    QByteArray Out;
    EXPECT_EQ(RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), D.File(QStringLiteral("m.zip"))}, &Out), 0) << Out.constData();
    TUnZipper U;
    U.SetZipStream(&M);
    U.OpenAndReadDirectory();
    ASSERT_EQ(U.MemberCount(), 2);
    EXPECT_EQ(U.UnzipToBuffer(1), QByteArray("beta"));
}

TEST(ZipSelection, OverwriteModesAndChoiceHooks)
{
    TestSupport::TempDir D;
    WriteAll(D.File(QStringLiteral("src/a.txt")), "archived");
    SetFileAge(D.File(QStringLiteral("src/a.txt")), -3 * 86400);
    const QString Zip = D.File(QStringLiteral("o.zip"));
    {
        TZipper Z;
        Z.SetZipName(Zip);
        Z.FilesList().Add(D.File(QStringLiteral("src/a.txt")));
        ASSERT_EQ(Z.PackFiles(), 1);
    }
    const QString Target = D.File(QStringLiteral("out/a.txt"));
    WriteAll(Target, "on disk");
    TUnZipper U;
    // "?" asks the application; no answer counts as cancelled.
    EXPECT_THROW(U.SetZipName(D.File(QStringLiteral("?"))), EUserCanceled);
    U.OnSelectZipName = [&](TObject *, const QString &Title, const QString &, const QString &, QString &Name) {
        EXPECT_EQ(Title, QStringLiteral("Open a Zip File"));
        Name = Zip;
        return true;
    };
    U.SetZipName(D.File(QStringLiteral("?")));
    EXPECT_EQ(U.ZipName(), Zip);
    EXPECT_THROW(U.SetDestDir(QStringLiteral("?")), EUserCanceled);
    U.SetDestDir(D.File(QStringLiteral("out/")));
    EXPECT_EQ(U.DestDir(), D.File(QStringLiteral("out")));

    auto Extract = [&](TUZOverwriteMode Mode) {
        U.OverwriteMode = Mode;
        U.DoAll = true;
        return U.UnpackFiles();
    };
    // The file on disk is newer than the member.
    EXPECT_EQ(Extract(TUZOverwriteMode::Never), 0);
    EXPECT_EQ(Extract(TUZOverwriteMode::ifNewer), 0);
    EXPECT_EQ(ReadAll(Target), QByteArray("on disk"));
    EXPECT_EQ(Extract(TUZOverwriteMode::ifOlder), 1);
    EXPECT_EQ(ReadAll(Target), QByteArray("archived"));
    WriteAll(Target, "on disk");
    QList<int> Asked;
    U.OnPromptForOverwrite = [&](TObject *, bool &Over, int Index, QString &) {
        Asked << Index;
        Over = true;
    };
    EXPECT_EQ(Extract(TUZOverwriteMode::Prompt), 1);
    EXPECT_EQ(Asked, QList<int>{0});
    EXPECT_EQ(ReadAll(Target), QByteArray("archived"));
    // The member's date comes back on the extracted file.
    EXPECT_EQ(quint32(FileAge(Target)), U.Member(0)->LastModFileDateTime);
}
