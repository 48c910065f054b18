// Package files: written and listed by unzip, unpacked again with the same page
// text, and crafted packages refused before anything lands outside their folder.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "catalog/document/Package.h"
#include "catalog/document/ReceivedPaths.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using TestSupport::TempDir;

namespace {

class Package : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgramFolder(Program.Path());
        ASSERT_TRUE(TestSupport::HaveProgram(QStringLiteral("unzip")));
        ASSERT_TRUE(TestSupport::HaveProgram(QStringLiteral("/usr/bin/python3")));
    }
    void TearDown() override { SetProgramFolder(QString()); }

    QString Unzip(const QStringList &Args, int *Code = nullptr)
    {
        QByteArray Out;
        const int C = TestSupport::RunProgram(QStringLiteral("unzip"), Args, &Out);
        if (Code)
            *Code = C;
        return QString::fromLocal8Bit(Out);
    }

    // A zip made by python3 with the given members (name -> text).
    QString Craft(const QString &Name, const QList<QPair<QString, QByteArray>> &Members)
    {
        const QString Zip = Work.File(Name);
        QString Script = QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n");
        for (const auto &M : Members)
            Script += QStringLiteral("z.writestr(%1,%2)\n")
                          .arg(QStringLiteral("bytes.fromhex('%1').decode('utf-8')").arg(QString::fromLatin1(M.first.toUtf8().toHex())),
                               QStringLiteral("bytes.fromhex('%1')").arg(QString::fromLatin1(M.second.toHex())));
        Script += QStringLiteral("z.close()\n");
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script, Zip}), 0);
        return Zip;
    }

    QStringList PageLines() const
    {
        return {QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{Catalog编号}=包001"),
                QStringLiteral("{Catalog名称}=茶具"), QStringLiteral("{detail}"), QStringLiteral("{$1}"),
                QStringLiteral("{$IMG}=images\\a.jpg"), QStringLiteral("{$PNAME}=紫砂壶€")};
    }

    TempDir Program;
    TempDir Work;
};

const QByteArray Index = "index=catalog.qbt\r\ntype=QBT\r\n";
const QByteArray PageBytes = "QBT FILE TYPE 2.0\r\n{Catalog\xC3\xFB\xB3\xC6}=x\r\n";

} // namespace

TEST_F(Package, PageWrittenCheckedByUnzipAndReadBack)
{
    const QString D = Work.File(QStringLiteral("D/"));
    QDir().mkpath(D + QStringLiteral("images"));
    SaveLines(D + QStringLiteral("catalog.qbt"), PageLines());
    TestSupport::WriteAll(D + QStringLiteral("images/a.jpg"), QByteArray("\xFF\xD8 picture", 10));
    TestSupport::WriteAll(D + QStringLiteral("images/杯子.gif"), QByteArray("GIF89a cup"));
    // An archive of an earlier run sits in the folder: it is replaced, not packed.
    TestSupport::WriteAll(D + QStringLiteral("catalog.qba"), QByteArray("old"));

    const QString Qba = QbaPackage::Write(D, QStringLiteral("catalog.qbt"), QString(), false);
    EXPECT_EQ(Qba, D + QStringLiteral("catalog.qba"));
    // Only the archive stays in the folder.
    EXPECT_EQ(QDir(D).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("catalog.qba")});

    int Code = -1;
    const QString List = Unzip({QStringLiteral("-Z1"), Qba}, &Code);
    ASSERT_EQ(Code, 0) << List.toStdString();
    for (const char *Member : {"catalog.qbt", "index.dat", "images/a.jpg"})
        EXPECT_TRUE(List.contains(QString::fromLatin1(Member))) << Member << List.toStdString();
    EXPECT_FALSE(List.contains(QStringLiteral("catalog.qba")));
    EXPECT_EQ(List.count(QStringLiteral("images/")), 2);
    Unzip({QStringLiteral("-tq"), Qba}, &Code);
    EXPECT_EQ(Code, 0);
    QByteArray IndexBytes;
    TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), Qba, QStringLiteral("index.dat")}, &IndexBytes);
    EXPECT_EQ(IndexBytes, Index);

    // Opened again: the same page text, byte for byte.
    const QString Dest = Work.File(QStringLiteral("open/"));
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Qba, Dest);
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    EXPECT_FALSE(R.IsBook);
    EXPECT_EQ(R.Files, 4);
    EXPECT_EQ(R.MainFile, QFileInfo(Dest + QStringLiteral("catalog.qbt")).absoluteFilePath());
    EXPECT_EQ(LoadLines(R.MainFile), PageLines());
    EXPECT_EQ(TestSupport::ReadAll(Dest + QStringLiteral("images/a.jpg")), QByteArray("\xFF\xD8 picture", 10));

    // A second package of the same name replaces the first one's files.
    SaveLines(D + QStringLiteral("catalog.qbt"), {QStringLiteral("QBT FILE TYPE 2.0")});
    QbaPackage::Write(D, QStringLiteral("catalog.qbt"), QString(), false);
    ASSERT_EQ(QbaPackage::Unpack(Qba, Dest).Status, QbaPackage::osOk);
    EXPECT_EQ(LoadLines(R.MainFile), QStringList{QStringLiteral("QBT FILE TYPE 2.0")});
    EXPECT_FALSE(FileExists(Dest + QStringLiteral("images/a.jpg"))) << "nothing of the first package is left";
}

TEST_F(Package, BookPackageNamesItsBook)
{
    const QString D = Work.File(QStringLiteral("B/"));
    QDir().mkpath(D);
    SaveLines(D + QStringLiteral("book.qbs"), {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"),
                                              QStringLiteral("p.qbt")});
    SaveLines(D + QStringLiteral("p.qbt"), PageLines());
    const QString Qba = QbaPackage::Write(D, QStringLiteral("book.qbs"), QString(), true);
    EXPECT_EQ(Qba, D + QStringLiteral("book.qba"));
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Qba, Work.File(QStringLiteral("o")));
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    EXPECT_TRUE(R.IsBook);
    EXPECT_TRUE(R.MainFile.endsWith(QStringLiteral("/o/book.qbs")));
}

TEST_F(Package, CraftedPackagesAreRefused)
{
    const QString Dest = Work.File(QStringLiteral("x/open/"));
    auto Status = [&](const QString &Zip) { return QbaPackage::Unpack(Zip, Dest).Status; };

    // Members that climb out of the folder or name an absolute path: nothing is unpacked.
    EXPECT_EQ(Status(Craft(QStringLiteral("up.qba"), {{QStringLiteral("index.dat"), Index},
                                                      {QStringLiteral("catalog.qbt"), PageBytes},
                                                      {QStringLiteral("../evil.txt"), "evil"}})),
              QbaPackage::osInvalid);
    EXPECT_FALSE(QFileInfo::exists(Work.File(QStringLiteral("x/evil.txt"))));
    EXPECT_FALSE(QFileInfo::exists(Dest + QStringLiteral("catalog.qbt"))) << "judged before unpacking";
    EXPECT_EQ(Status(Craft(QStringLiteral("deep.qba"), {{QStringLiteral("index.dat"), Index},
                                                        {QStringLiteral("images/../../evil.txt"), "evil"}})),
              QbaPackage::osInvalid);
    EXPECT_EQ(Status(Craft(QStringLiteral("abs.qba"), {{QStringLiteral("index.dat"), Index},
                                                       {QStringLiteral("/tmp/qb-evil.txt"), "evil"}})),
              QbaPackage::osInvalid);
    EXPECT_EQ(Status(Craft(QStringLiteral("back.qba"), {{QStringLiteral("index.dat"), Index},
                                                        {QStringLiteral("..\\evil.txt"), "evil"}})),
              QbaPackage::osInvalid);

    // index.dat must name a page (a book for a book package) inside the package.
    EXPECT_EQ(Status(Craft(QStringLiteral("i1.qba"), {{QStringLiteral("index.dat"), "index=../outside.qbt\r\ntype=QBT\r\n"},
                                                      {QStringLiteral("catalog.qbt"), PageBytes}})),
              QbaPackage::osInvalid);
    EXPECT_EQ(Status(Craft(QStringLiteral("i2.qba"), {{QStringLiteral("index.dat"), "index=notes.txt\r\ntype=QBT\r\n"},
                                                      {QStringLiteral("notes.txt"), "x"}})),
              QbaPackage::osInvalid);
    EXPECT_EQ(Status(Craft(QStringLiteral("i3.qba"), {{QStringLiteral("index.dat"), "index=catalog.qbt\r\ntype=QBS\r\n"},
                                                      {QStringLiteral("catalog.qbt"), PageBytes}})),
              QbaPackage::osInvalid);
    EXPECT_EQ(Status(Craft(QStringLiteral("i4.qba"), {{QStringLiteral("index.dat"), "index=missing.qbt\r\ntype=QBT\r\n"},
                                                      {QStringLiteral("catalog.qbt"), PageBytes}})),
              QbaPackage::osInvalid);
    EXPECT_EQ(Status(Craft(QStringLiteral("i5.qba"), {{QStringLiteral("index.dat"), "index=/etc/passwd.qbt\r\ntype=QBT\r\n"},
                                                      {QStringLiteral("catalog.qbt"), PageBytes}})),
              QbaPackage::osInvalid);

    // One file is no package, also when it is index.dat; two files without index.dat lack it.
    EXPECT_EQ(Status(Craft(QStringLiteral("one.qba"), {{QStringLiteral("index.dat"), Index}})), QbaPackage::osInvalid);
    EXPECT_EQ(Status(Craft(QStringLiteral("two.qba"), {{QStringLiteral("catalog.qbt"), PageBytes},
                                                       {QStringLiteral("a.jpg"), "x"}})),
              QbaPackage::osNoIndex);
    EXPECT_EQ(Status(Craft(QStringLiteral("ok.qba"), {{QStringLiteral("index.dat"), Index},
                                                      {QStringLiteral("catalog.qbt"), PageBytes}})),
              QbaPackage::osOk);

    // Two members declaring sizes that add up past the largest number: no
    // disk holds them.
    const QString Huge = Work.File(QStringLiteral("huge.qba"));
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                      {QStringLiteral("-c"),
                                       QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                                                      "for n in ('index.dat','catalog.qbt'): z.writestr(n,b'x')\n"
                                                      "for i in z.filelist: i.file_size=0x7FFFFFFFFFFFFF00\n"
                                                      "z.close()\n"),
                                       Huge}),
              0);
    EXPECT_THROW(QbaPackage::Unpack(Huge, Dest), EInOutError);
    EXPECT_EQ(TestSupport::ReadAll(Dest + QStringLiteral("index.dat")), Index) << "what was unpacked before stays";

    // Not an archive at all: the zip library's error.
    TestSupport::WriteAll(Work.File(QStringLiteral("text.qba")), QByteArray("just text, no archive"));
    EXPECT_THROW(QbaPackage::Unpack(Work.File(QStringLiteral("text.qba")), Dest), Exception);
}

TEST_F(Package, UnpackFolderIsNamedByTheFileUpToItsFirstDot)
{
    EXPECT_EQ(QbaPackage::DestDirFor(QStringLiteral("/s/"), QStringLiteral("/a/my.cat.qba")), QStringLiteral("/s/my/"));
    EXPECT_EQ(QbaPackage::DestDirFor(QStringLiteral("/s"), QStringLiteral("/a/..qba")), QStringLiteral("/s/package/"));
    EXPECT_TRUE(QbaPackage::IsSafeMemberName(QStringLiteral("images\\a..b.jpg")));
    EXPECT_FALSE(QbaPackage::IsSafeMemberName(QStringLiteral("C:\\x.txt")));
}

TEST_F(Package, WhatAPackageNamesStaysInsideItAndNoLinkIsFollowed)
{
    const QString Root = Work.File(QStringLiteral("r/"));
    QDir().mkpath(Root + QStringLiteral("images"));
    QDir().mkpath(Root + QStringLiteral("sub/images"));
    TestSupport::WriteAll(Root + QStringLiteral("images/a.jpg"), "a");
    TestSupport::WriteAll(Root + QStringLiteral("sub/images/s.jpg"), "s");
    TestSupport::WriteAll(Work.File(QStringLiteral("out.jpg")), "outside");
    ASSERT_TRUE(QFile::link(Work.File(QStringLiteral("out.jpg")), Root + QStringLiteral("images/link.jpg")));
    ASSERT_TRUE(QFile::link(Work.Path(), Root + QStringLiteral("linked")));

    using ReceivedPaths::PathInside;
    EXPECT_EQ(PathInside(Root, Root, QStringLiteral("images\\a.jpg")), Root + QStringLiteral("images/a.jpg"));
    EXPECT_EQ(PathInside(Root, Root + QStringLiteral("sub"), QStringLiteral("images/s.jpg")),
              Root + QStringLiteral("sub/images/s.jpg"));
    for (const char *Refused : {"/etc/passwd", "\\etc\\passwd", "C:\\x.jpg", "c:x.jpg", "\\\\server\\share\\x.jpg",
                                "//server/share/x.jpg", "images/../../out.jpg", "..\\out.jpg", "images/link.jpg",
                                "linked/out.jpg", "linked/r/images/a.jpg", ""})
        EXPECT_EQ(PathInside(Root, Root, QString::fromLatin1(Refused)), QString()) << Refused;
    EXPECT_EQ(PathInside(Root, Work.Path(), QStringLiteral("out.jpg")), QString()) << "a base outside the package";

    // A page: pictures that are not files of the package are emptied, and a
    // block's picture line moves to where the page output reads it.
    SaveLines(Root + QStringLiteral("p.qbt"),
              {QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{背景图片}=images\\"),
               QStringLiteral("{背景音乐}=../out.mid"), QStringLiteral("{detail}"), QString(),
               QStringLiteral("{$1}"), QStringLiteral("{$IMG}=images\\a.jpg"), QStringLiteral("{$PID}=P1"),
               QStringLiteral("{$2}"), QStringLiteral("{$PID}=P2"), QStringLiteral("{$IMG}=images\\link.jpg"),
               QStringLiteral("{$3}"), QStringLiteral("{$PID}=/etc/passwd"), QStringLiteral("{$PNAME}=商品3")});
    QStringList LeftOut = ReceivedPaths::KeepInside(Root, Root + QStringLiteral("p.qbt"), false);
    EXPECT_EQ(LeftOut, (QStringList{QStringLiteral("p.qbt：{背景音乐}=../out.mid"),
                                    QStringLiteral("p.qbt：{$IMG}=images\\link.jpg"),
                                    QStringLiteral("p.qbt：{$PID}=/etc/passwd")}));
    EXPECT_EQ(LoadLines(Root + QStringLiteral("p.qbt")),
              (QStringList{QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{背景图片}=images\\"),
                           QStringLiteral("{背景音乐}="), QStringLiteral("{detail}"), QString(), QStringLiteral("{$1}"),
                           QStringLiteral("{$IMG}=images\\a.jpg"), QStringLiteral("{$PID}=P1"), QStringLiteral("{$2}"),
                           QStringLiteral("{$IMG}="), QStringLiteral("{$PID}=P2"), QStringLiteral("{$3}"),
                           QStringLiteral("{$PID}="), QStringLiteral("{$PNAME}=商品3")}));
    EXPECT_TRUE(ReceivedPaths::KeepInside(Root, Root + QStringLiteral("p.qbt"), false).isEmpty()) << "nothing left";

    // A book: entries outside go, and the pages it keeps are judged from their own folder.
    SaveLines(Root + QStringLiteral("sub/q.qbt"), {QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{$1}"),
                                                   QStringLiteral("{$IMG}=images\\s.jpg"), QStringLiteral("{$2}"),
                                                   QStringLiteral("{$IMG}=images\\a.jpg")});
    SaveLines(Root + QStringLiteral("b.qbs"), {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"),
                                               QStringLiteral("/etc/hosts"), QStringLiteral("sub\\q.qbt"),
                                               QStringLiteral("linked/out.jpg"), QStringLiteral("missing.qbt")});
    LeftOut = ReceivedPaths::KeepInside(Root, Root + QStringLiteral("b.qbs"), true);
    EXPECT_EQ(LeftOut, (QStringList{QStringLiteral("b.qbs：/etc/hosts"), QStringLiteral("b.qbs：linked/out.jpg"),
                                    QStringLiteral("b.qbs：missing.qbt"), QStringLiteral("q.qbt：{$IMG}=images\\a.jpg")}));
    EXPECT_EQ(LoadLines(Root + QStringLiteral("b.qbs")),
              (QStringList{QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), QStringLiteral("sub\\q.qbt")}));
    EXPECT_EQ(TestSupport::ReadAll(Work.File(QStringLiteral("out.jpg"))), QByteArray("outside"));
}

TEST_F(Package, AFileThatCannotBeReadFailsThePackage)
{
    // A file listed for the package that is gone (or cannot be opened) by the
    // time it is packed: the package is not written without it.
    const QString D = Work.File(QStringLiteral("R/"));
    QDir().mkpath(D + QStringLiteral("images"));
    SaveLines(D + QStringLiteral("catalog.qbt"), PageLines());
    const QString Target = Work.File(QStringLiteral("out.qba"));
    TestSupport::WriteAll(Target, QByteArray("earlier package"));
    const QString Gone = D + QStringLiteral("images/a.jpg");
    EXPECT_THROW(QbaPackage::ZipFiles(D, {D + QStringLiteral("catalog.qbt"), Gone}, Target), Exception);
    EXPECT_EQ(TestSupport::ReadAll(Target), QByteArray("earlier package")) << "the earlier package stays whole";
    EXPECT_EQ(QDir(Work.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("out.qba")})
        << "no scratch file is left";

    // Names the zipper reads as patterns find a file twice; each is packed once
    // and that is no error.
    const QStringList Names{QStringLiteral("a?.jpg"), QStringLiteral("ab.jpg"), QStringLiteral("s*t.jpg"),
                            QStringLiteral("st.jpg"), QStringLiteral("p|q.jpg")};
    for (const QString &N : Names)
        TestSupport::WriteAll(D + QStringLiteral("images/") + N, N.toUtf8());
    const QString Qba = QbaPackage::Write(D, QStringLiteral("catalog.qbt"), Target, false);
    QStringList Members = Unzip({QStringLiteral("-Z1"), Qba}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    Members.sort();
    QStringList Expected{QStringLiteral("catalog.qbt"), QStringLiteral("index.dat")};
    for (const QString &N : Names)
        Expected << QStringLiteral("images/") + N;
    Expected.sort();
    EXPECT_EQ(Members, Expected);

    // Only the listed files are packed: a name read as a pattern does not
    // reach into the folders below it for files of the same shape.
    const QString T = Work.File(QStringLiteral("T/"));
    QDir().mkpath(T + QStringLiteral("sub"));
    TestSupport::WriteAll(T + QStringLiteral("a?.jpg"), "listed");
    TestSupport::WriteAll(T + QStringLiteral("sub/ab.jpg"), "not listed");
    const QString Only = Work.File(QStringLiteral("only.zip"));
    QbaPackage::ZipFiles(T, {T + QStringLiteral("a?.jpg")}, Only);
    EXPECT_EQ(Unzip({QStringLiteral("-Z1"), Only}).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              QStringList{QStringLiteral("a?.jpg")});
}

TEST_F(Package, AFileNamedWithPatternCharactersIsPackedUnderItsOwnName)
{
    // "<1>" reads to the zipper as a set of characters, which does not find
    // the file of that name, and "?" finds other files too: each is packed
    // once, under its own name, beside the file its pattern would find.
    const QString D = Work.File(QStringLiteral("S/"));
    QDir().mkpath(D + QStringLiteral("images"));
    SaveLines(D + QStringLiteral("catalog.qbt"), PageLines());
    TestSupport::WriteAll(D + QStringLiteral("images/x<1>.jpg"), QByteArray("picture"));
    TestSupport::WriteAll(D + QStringLiteral("images/a?.jpg"), QByteArray("question"));
    TestSupport::WriteAll(D + QStringLiteral("images/ab.jpg"), QByteArray("ab"));
    const QString Target = Work.File(QStringLiteral("s.qba"));
    ASSERT_EQ(QbaPackage::Write(D, QStringLiteral("catalog.qbt"), Target, false), Target);
    int Code = -1;
    const QString Test = Unzip({QStringLiteral("-t"), Target}, &Code);
    EXPECT_EQ(Code, 0) << Test.toStdString();
    QStringList Members = Unzip({QStringLiteral("-Z1"), Target}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    Members.sort();
    EXPECT_EQ(Members, (QStringList{QStringLiteral("catalog.qbt"), QStringLiteral("images/a?.jpg"),
                                    QStringLiteral("images/ab.jpg"), QStringLiteral("images/x<1>.jpg"),
                                    QStringLiteral("index.dat")}));
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Target, Work.File(QStringLiteral("back")));
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    EXPECT_EQ(TestSupport::ReadAll(Work.File(QStringLiteral("back/images/x<1>.jpg"))), QByteArray("picture"));
    EXPECT_EQ(TestSupport::ReadAll(Work.File(QStringLiteral("back/images/a?.jpg"))), QByteArray("question"));
    EXPECT_EQ(TestSupport::ReadAll(Work.File(QStringLiteral("back/images/ab.jpg"))), QByteArray("ab"));
}

TEST_F(Package, AFolderNamedWithDoubleOrDotPartsStoresItsFilesBelowIt)
{
    // An output folder as typed may read "out//" or "out/./": the files listed
    // in it are still stored by their path below it, never by the path from
    // the file system's root.
    const QString D = Work.File(QStringLiteral("Q/"));
    QDir().mkpath(D + QStringLiteral("images"));
    SaveLines(D + QStringLiteral("catalog.qbt"), PageLines());
    TestSupport::WriteAll(D + QStringLiteral("images/a.jpg"), "x");
    for (const QString &Typed : {Work.File(QStringLiteral("Q//")), Work.File(QStringLiteral("./Q/./"))}) {
        SCOPED_TRACE(Typed.toStdString());
        const QString T = Work.File(QStringLiteral("odd.zip"));
        QbaPackage::ZipFiles(Typed,
                             QbaPackage::FilesBelow(Typed + QStringLiteral("images")) << Typed + QStringLiteral("catalog.qbt"),
                             T);
        QStringList Members = Unzip({QStringLiteral("-Z1"), T}).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        Members.sort();
        EXPECT_EQ(Members, (QStringList{QStringLiteral("catalog.qbt"), QStringLiteral("images/a.jpg")}));
    }
}
