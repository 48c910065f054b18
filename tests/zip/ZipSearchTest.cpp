// Mask matching, the folder walker and the selection rules of both components.

#include "ZipTestUtil.h"
#include "platform/core/FileUtils.h"
#include "zip/ZipSearch.h"
#include "zip/Zipper.h"

#include <QDir>
#include <cstdio>

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

namespace {

// The plain recursive reading of the mask language, exponential in the number
// of stars: the answers the fast matcher must give on small cases.
bool ReferenceMatch(const QString &M, const QString &S);

bool ReadRefSet(const QString &M, qsizetype &I, QList<QPair<QChar, QChar>> &Set, bool &Neg, bool Reversed)
{
    qsizetype J = I + 1;
    Neg = J < M.size() && (M[J] == QLatin1Char('^') || M[J] == QLatin1Char('!'));
    if (Neg)
        ++J;
    bool Any = false;
    while (J < M.size() && M[J] != QLatin1Char('>')) {
        if (J + 2 < M.size() && M[J + 1] == QLatin1Char('-') && M[J + 2] != QLatin1Char('>')) {
            if (M[J] <= M[J + 2])
                Set.append({M[J], M[J + 2]});
            else if (Reversed)
                Set.append({M[J + 2], M[J]});
            J += 3;
        } else {
            Set.append({M[J], M[J]});
            ++J;
        }
        Any = true;
    }
    if (J >= M.size() || !Any)
        return false;
    I = J;
    return true;
}

bool InSet(const QList<QPair<QChar, QChar>> &Set, bool Neg, QChar C)
{
    bool In = false;
    for (const auto &R : Set)
        In = In || (C >= R.first && C <= R.second);
    return In != Neg;
}

bool ReferenceStar(const QString &R, const QString &T, const QList<QPair<QChar, QChar>> &Set, bool Neg, bool HasSet)
{
    qsizetype I = 0, K = 0;
    bool Run = false;
    while (I < R.size() && (R[I] == QLatin1Char('*') || R[I] == QLatin1Char('?'))) {
        K += R[I] == QLatin1Char('?');
        ++I;
        Run = true;
    }
    if (K > T.size())
        return false;
    if (Run && I >= R.size())
        return true;
    for (; K < T.size(); ++K) {
        if (I < R.size() && ReferenceMatch(R.mid(I), T.mid(K)))
            return true;
        if (HasSet && !InSet(Set, Neg, T[K]))
            return false;
    }
    return I >= R.size();
}

bool ReferenceMatch(const QString &M, const QString &S)
{
    if (M == QLatin1String("*"))
        return true;
    qsizetype I = 0, J = 0;
    for (; I < M.size(); ++I, ++J) {
        if (J >= S.size())
            return M[I] == QLatin1Char('*') && I == M.size() - 1;
        QList<QPair<QChar, QChar>> Set;
        bool Neg = false;
        if (M[I] == QLatin1Char('*')) {
            qsizetype R = I + 1;
            if (R < M.size() && M[R] == QLatin1Char('<')) {
                if (!ReadRefSet(M, R, Set, Neg, false) || Set.isEmpty())
                    return false;
                return ReferenceStar(M.mid(R + 1), S.mid(J), Set, Neg, true);
            }
            return ReferenceStar(M.mid(I), S.mid(J), Set, Neg, false);
        }
        if (M[I] == QLatin1Char('<')) {
            if (!ReadRefSet(M, I, Set, Neg, true) || !InSet(Set, Neg, S[J]))
                return false;
        } else if (M[I] != QLatin1Char('?') && M[I] != S[J]) {
            return false;
        }
    }
    return J >= S.size();
}

} // namespace

TEST(ZipMasks, ManyStarsAnswerQuicklyAndAsTheRecursiveReading)
{
    // Masks that took the recursive matcher seconds to hours.
    const QString Name80 = QString(QLatin1Char('a')).repeated(79) + QLatin1Char('b');
    EXPECT_FALSE(WildcardMatches(QStringLiteral("*a*a*a*a*a*a*a*c"), Name80));
    EXPECT_TRUE(WildcardMatches(QStringLiteral("*a*a*a*a*a*a*a*b"), Name80));
    const QString Long = QString(QLatin1Char('_')).repeated(4000) + QStringLiteral(".txt");
    EXPECT_FALSE(WildcardMatches(QStringLiteral("*_*_*.htm"), Long));
    EXPECT_FALSE(WildcardMatches(QString(QStringLiteral("*?")).repeated(40) + QLatin1Char('x'), Long));
    EXPECT_TRUE(WildcardMatches(QString(QStringLiteral("*<_>")).repeated(30) + QStringLiteral("*.txt"), Long));

    // Small random masks over a small alphabet give the recursive answers.
    QRandomGenerator R{7};
    const char *Pieces[] = {"a", "b", "?", "*", "*", "<a-b>", "<^a>", "*<a>", "*<!b>", "<b-a>", "<a"};
    for (int N = 0; N < 20000; ++N) {
        QString M, S;
        const int Parts = int(R.bounded(1, 7));
        for (int I = 0; I < Parts; ++I)
            M += QLatin1String(Pieces[R.bounded(int(std::size(Pieces)))]);
        const int Len = int(R.bounded(0, 8));
        for (int I = 0; I < Len; ++I)
            S += QLatin1Char("abc"[R.bounded(3)]);
        ASSERT_EQ(WildcardMatches(M, S), ReferenceMatch(M, S)) << M.toStdString() << " / " << S.toStdString();
    }
}

TEST(ZipSelection, FoldersTooDeepAndNamesNotInUtf8AreReportedAsSkipped)
{
    TestSupport::TempDir D;
    const QString Root = D.File(QStringLiteral("root"));
    QString Deep = Root;
    for (int I = 1; I <= 22; ++I)
        Deep += QStringLiteral("/d%1").arg(I);
    WriteAll(Deep + QStringLiteral("/lost.txt"), "deep");
    WriteAll(Root + QStringLiteral("/ok.txt"), "ok");
    // A name in another encoding (code page 936 bytes of 产品).
    const TestSupport::RawNamedFile Bad(Root, "\xb2\xfa\xc6\xb7.txt", "gbk");
    TZipper Z;
    Z.SetRootDir(Root);
    Z.SetZipName(D.File(QStringLiteral("deep.zip")));
    Z.SetRelativePaths(true);
    Z.FilesList().Add(Root + QStringLiteral("/*.*"));
    QStringList Skipped;
    Z.OnSkippingFile = [&](TObject *, TSkipReason R, const QString &Name, int, bool &) {
        EXPECT_EQ(R, skrCannotOpen);
        Skipped << QDir(Root).relativeFilePath(Name);
    };
    EXPECT_EQ(Z.PackFiles(), 1);
    ASSERT_EQ(Skipped.size(), 2) << Skipped.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(Skipped[0].endsWith(QStringLiteral(".txt")));
    EXPECT_TRUE(Skipped[1].startsWith(QStringLiteral("d1/d2/")));
    EXPECT_TRUE(Skipped[1].endsWith(QStringLiteral("/d21")));
}
