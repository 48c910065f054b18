// The program started by quillbook-drive with documents on its command line:
// what opens, and a page edited through the product grid and saved.

#include "WindowFixture.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/Package.h"
#include "platform/core/OutputFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace WindowFixture;

namespace {

class CatalogDrive : public TDriveTest {
protected:
    void SetUp() override
    {
        TDriveTest::SetUp();
        QImage Image(4, 4, QImage::Format_RGB32);
        Image.fill(Qt::red);
        ASSERT_TRUE(Image.save(Docs.File(QStringLiteral("b.jpg"))));
        // A page as the program writes it, with code page 936 text.
        QStringList Header{QStringLiteral("{Catalog编号}=春季"), QStringLiteral("{Catalog名称}=春季报价")};
        for (int I = 3; I <= 19; ++I)
            Header << QStringLiteral("{key%1}=").arg(I);
        Page = Docs.File(QStringLiteral("a.qbt"));
        SaveLines(Page, PageLines(Header, 2));
    }

    QString Page;
};

} // namespace

TEST_F(CatalogDrive, APageOnTheCommandLineIsEditedThroughTheGridAndSaved)
{
    const TestSupport::DriveRun R = Drive(QStringLiteral("wait\ncell CellGrid1 3 1\ncell CellGrid1 5 7\n"
                                                         "set-cell CellGrid1 3 8 12.50\nset-cell CellGrid1 5 1 丝绸\n"
                                                         "click SpeedButton9\nwait\ntext GroupBox1\nquit\n"),
                                          {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("P1\n商品2\n页面文件：") + Page + QStringLiteral("\n"));
    const QByteArray Bytes = TestSupport::ReadAll(Page);
    // "{$PNAME}=丝绸" and the new price, in code page 936 with CR LF.
    EXPECT_TRUE(Bytes.contains(QByteArray("{$PNAME}=\xCB\xBF\xB3\xF1\r\n"))) << Bytes.toStdString();
    const QStringList Lines = LoadLines(Page);
    ASSERT_EQ(Lines.size(), 41);
    EXPECT_EQ(Lines.at(26), QStringLiteral("{$PNAME}=丝绸"));
    EXPECT_EQ(Lines.at(36), QStringLiteral("{$PPRICE}=12.50"));
    EXPECT_EQ(Lines.at(2), QStringLiteral("{Catalog名称}=春季报价"));
}

TEST_F(CatalogDrive, StartupWalkByArgumentKind)
{
    const QString Ask = QStringLiteral("wait\ntext GroupBox1\ncell CellGrid1 3 1\nquit\n");
    TestSupport::DriveRun R = Drive(Ask, {Page, Docs.File(QStringLiteral("b.jpg"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：") + Page + QStringLiteral("\nP1\n"));

    R = Drive(Ask, {Docs.File(QStringLiteral("b.jpg")), Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：") + Page + QStringLiteral("\nP1\n"));

    // A page whose file name ends in a blank opens under that very name.
    const QString Blank = Docs.File(QStringLiteral("tp.qbt "));
    ASSERT_TRUE(QFile::copy(Page, Blank));
    R = Drive(Ask, {Docs.File(QStringLiteral("b.jpg")), Blank});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：") + Blank + QStringLiteral("\nP1\n"));

    // A book, then a new page that receives the picture collected before it.
    SaveLines(Docs.File(QStringLiteral("c.qbs")),
              {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), QStringLiteral("a.qbt")});
    R = Drive(QStringLiteral("wait\ntext GroupBox1\ncell CellGrid1 1 6\nanswer button No\nquit\n"),
              {Docs.File(QStringLiteral("b.jpg")), Docs.File(QStringLiteral("c.qbs"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, Docs.File(QStringLiteral("c.qbs")) + QStringLiteral("\n") + Docs.File(QStringLiteral("b.jpg"))
                         + QStringLiteral("\n"));

    // A package ends the walk and the picture before it is dropped: no new page, nothing to save.
    QDir().mkpath(Docs.File(QStringLiteral("pkg")));
    SaveLines(Docs.File(QStringLiteral("pkg/catalog.qbt")),
              {QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{Catalog名称}=包")});
    QbaPackage::Write(Docs.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"),
                      Docs.File(QStringLiteral("c.qba")), false);
    R = Drive(QStringLiteral("wait\ncell CellGrid1 1 6\nquit\n"),
              {Docs.File(QStringLiteral("b.jpg")), Docs.File(QStringLiteral("c.qba"))});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("\n"));

    // A folder without pictures: the warning, then the program ends.
    QDir().mkpath(Docs.File(QStringLiteral("empty")));
    R = Drive(QStringLiteral("wait\nquit\n"), {Docs.File(QStringLiteral("empty"))});
    EXPECT_NE(R.Code, 0);
    EXPECT_TRUE(R.Err.contains(QStringLiteral("没有发现图片文件，系统右键支持jpg格式的图片。"))) << R.Err.toStdString();
}

TEST_F(CatalogDrive, NewPageAsksBeforeAnEditIsDroppedAndNoKeepsTheEdit)
{
    const QString Asked = QStringLiteral("MessageBox | 关闭页面 | 该Catalog页面还没保存，没有保存的信息将丢失，是否关闭当前页面？ | ");
    const QString Edit = QStringLiteral("wait\nset-cell CellGrid1 3 2 77.70\nanswer button No\nclick N2\nwait\ntext GroupBox1\n"
                                        "cell CellGrid1 3 2\nenabled SpeedButton9\n");

    // A page alone: 否 keeps the page, its edit and its file; 保存 then writes the edit.
    TestSupport::DriveRun R = Drive(Edit + QStringLiteral("click SpeedButton9\nwait\nprompts\nquit\n"), {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：") + Page + QStringLiteral("\n77.70\ntrue\n") + Asked + QStringLiteral("No\n"));
    EXPECT_EQ(LoadLines(Page).at(27), QStringLiteral("{$PPRICE}=77.70"));

    // In a book: the same question; 是 then drops the edit (the file keeps the
    // saved value) and shows the new, empty page.
    const QString Book = Docs.File(QStringLiteral("c.qbs"));
    SaveLines(Book, {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), QStringLiteral("a.qbt")});
    R = Drive(QStringLiteral("wait\nset-cell CellGrid1 3 2 88.80\nanswer button No\nclick N2\nwait\ncell CellGrid1 3 2\n"
                             "enabled SpeedButton9\nanswer button Yes\nclick N2\nwait\ncell CellGrid1 3 2\ncell CellGrid1 5 1\n"
                             "prompts\nquit\n"),
              {Book});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("88.80\ntrue\n\n\n") + Asked + QStringLiteral("No\n") + Asked + QStringLiteral("Yes\n"));
    EXPECT_EQ(LoadLines(Page).at(27), QStringLiteral("{$PPRICE}=77.70"));

    // A received page package: 否 keeps the edit, which 保存 writes into the package.
    QDir().mkpath(Docs.File(QStringLiteral("pkg")));
    QFile::copy(Page, Docs.File(QStringLiteral("pkg/catalog.qbt")));
    const QString Package = Docs.File(QStringLiteral("received.qba"));
    QbaPackage::Write(Docs.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"), Package, false);
    R = Drive(QStringLiteral("wait\nset-cell CellGrid1 3 2 99.90\nanswer button No\nclick N2\nwait\ncell CellGrid1 3 2\n"
                             "enabled SpeedButton9\nclick SpeedButton9\nwait\nenabled SpeedButton9\nexpect-prompts 1\nquit\n"),
              {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("99.90\ntrue\nfalse\n"));
    QByteArray Inside;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-p"), Package, QStringLiteral("catalog.qbt")},
                                      &Inside),
              0);
    EXPECT_TRUE(Inside.contains("{$PPRICE}=99.90\r\n")) << Inside.toStdString();
}

TEST_F(CatalogDrive, AReadOnlyPageIsRefusedAndStaysUnsaved)
{
    // The user's own page, made read-only, in a folder the user may write to.
    // Whoever runs the program (the administrator too) finds it refused.
    const QByteArray Before = TestSupport::ReadAll(Page);
    ASSERT_TRUE(QFile::setPermissions(Page, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    const TestSupport::DriveRun R =
        Drive(QStringLiteral("wait\nset-cell CellGrid1 3 2 77.70\nanswer button OK\nclick SpeedButton9\nwait\n"
                             "enabled SpeedButton9\nanswer button Yes\nanswer button OK\nclick ExitItem\nwait\n"
                             "enabled SpeedButton9\nprompts\nquit\n"),
              {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_EQ(Out.size(), 6) << R.Out.toStdString();
    EXPECT_EQ(Out.at(0), QStringLiteral("true"));
    EXPECT_EQ(Out.at(1), QStringLiteral("true")) << "closing with 是 keeps the window while the page is not written";
    const QString Refused = QStringLiteral(" | 无法创建文件“") + Page + QStringLiteral("”。拒绝访问，没有该文件或文件夹的权限。 | OK");
    EXPECT_TRUE(Out.at(2).startsWith(QStringLiteral("MessageBox | ")) && Out.at(2).endsWith(Refused)) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(3).endsWith(QStringLiteral(" | 有资料修改后尚未保存，是否存盘？ | Yes"))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(4).endsWith(Refused)) << R.Out.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(Page), Before);
    EXPECT_EQ(QFileInfo(Page).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther), 0);
    EXPECT_EQ(QDir(Docs.Path()).entryList(QDir::Files | QDir::Hidden), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("b.jpg")}));
}

TEST_F(CatalogDrive, AReadOnlyBookOrSaveAsTargetIsRefusedAndStaysUnsaved)
{
    // The user's own book, made read-only, in a folder the user may write to;
    // its page stays writable. Saving the page would change only the book's
    // record of the page open last: the page is saved and the book left as it
    // is. A new page would join the book's list: its save is refused before
    // anything is written, and the administrator finds it refused as well.
    const QString Book = Docs.File(QStringLiteral("春季册.qbs"));
    SaveLines(Book, {QStringLiteral("Catalog_name=春季册"), QStringLiteral("catalog_index_name="),
                     QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output="),
                     QStringLiteral("Catalog_always_open=true"), QStringLiteral("{$Files}"), Page});
    const QByteArray Before = TestSupport::ReadAll(Book);
    const QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(Book, ReadOnly));
    // 另存为 onto another read-only page of the user's is refused.
    const QString Other = Docs.File(QStringLiteral("c.qbt"));
    ASSERT_TRUE(QFile::copy(Page, Other));
    const QByteArray OtherBefore = TestSupport::ReadAll(Other);
    ASSERT_TRUE(QFile::setPermissions(Other, ReadOnly));
    const QString New = Docs.File(QStringLiteral("n1.qbt"));
    const TestSupport::DriveRun R =
        Drive(QStringLiteral("wait\nset-cell CellGrid1 3 2 77.70\nclick SpeedButton9\nwait\nenabled SpeedButton9\n"
                             "answer file %1\nanswer button OK\nclick N8\nwait\nenabled SpeedButton9\n"
                             "click N2\nwait\nset-cell CellGrid1 3 1 新1\nanswer file %2\nanswer button OK\nclick SpeedButton9\nwait\n"
                             "enabled SpeedButton9\nanswer button Yes\nanswer file %2\nanswer button OK\nclick ExitItem\nwait\n"
                             "enabled SpeedButton9\nprompts\nquit\n")
                  .arg(Other, New),
              {Book});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_EQ(Out.size(), 12) << R.Out.toStdString();
    EXPECT_EQ(Out.mid(0, 4), (QStringList{QStringLiteral("false"), QStringLiteral("false"), QStringLiteral("true"), QStringLiteral("true")}))
        << "the page is saved; the new page is not, and closing with 是 keeps the window";
    const auto Refused = [](const QString &File) {
        return QStringLiteral(" | 无法创建文件“") + File + QStringLiteral("”。拒绝访问，没有该文件或文件夹的权限。 | OK");
    };
    EXPECT_TRUE(Out.at(4).startsWith(QStringLiteral("FileDialog | "))) << R.Out.toStdString();
    // The read-only target is refused before any question about replacing it.
    EXPECT_TRUE(Out.at(5).startsWith(QStringLiteral("MessageBox | ")) && Out.at(5).endsWith(Refused(Other))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(6).startsWith(QStringLiteral("FileDialog | "))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(7).startsWith(QStringLiteral("MessageBox | ")) && Out.at(7).endsWith(Refused(Book))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(8).endsWith(QStringLiteral(" | 有资料修改后尚未保存，是否存盘？ | Yes"))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(9).startsWith(QStringLiteral("FileDialog | "))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(10).endsWith(Refused(Book))) << R.Out.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(Book), Before);
    // The mode bits as stored (the "User" flags say what this process may do).
    const QFile::Permissions Mode(0x7077);
    EXPECT_EQ(QFileInfo(Book).permissions() & Mode, ReadOnly);
    EXPECT_EQ(TestSupport::ReadAll(Other), OtherBefore);
    EXPECT_EQ(QFileInfo(Other).permissions() & Mode, ReadOnly);
    // The page itself took the edit; no new page was written and nothing is left beside the files.
    EXPECT_EQ(LoadLines(Page).at(27), QStringLiteral("{$PPRICE}=77.70"));
    EXPECT_EQ(QDir(Docs.Path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("a.qbt"), QStringLiteral("b.jpg"), QStringLiteral("c.qbt"), QStringLiteral("春季册.qbs")}));
    EXPECT_FALSE(QFileInfo::exists(Home.File(QStringLiteral("history.txt")))) << "no page was saved under a new name";

    // Adding the page to another book the user made read-only leaves that book as it was.
    const TestSupport::DriveRun Add =
        Drive(QStringLiteral("wait\nanswer file %1\nanswer button OK\nclick N96\nwait\nprompts\nquit\n").arg(Book), {Page});
    ASSERT_EQ(Add.Code, 0) << Add.Err.toStdString();
    EXPECT_TRUE(Add.Out.trimmed().endsWith(Refused(Book))) << Add.Out.toStdString();
    EXPECT_FALSE(Add.Out.contains(QStringLiteral("添加成功。"))) << Add.Out.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(Book), Before);
    EXPECT_EQ(QFileInfo(Book).permissions() & Mode, ReadOnly);
}

TEST_F(CatalogDrive, SaveAsMakesTheHeaderNameTheNewFile)
{
    const QString Other = Docs.File(QStringLiteral("另一页.qbt"));
    const QByteArray Before = TestSupport::ReadAll(Page);
    const TestSupport::DriveRun R =
        Drive(QStringLiteral("wait\ntext GroupBox1\nanswer file %1\nclick N8\nwait\ntext GroupBox1\n"
                             "set-cell CellGrid1 3 2 77.70\nclick SpeedButton9\nwait\nexpect-prompts 1\nquit\n")
                  .arg(Other),
              {Page});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：") + Page + QStringLiteral("\n页面文件：") + Other + QStringLiteral("\n"));
    EXPECT_EQ(LoadLines(Other).at(27), QStringLiteral("{$PPRICE}=77.70"));
    EXPECT_EQ(TestSupport::ReadAll(Page), Before);
}

TEST_F(CatalogDrive, ABookNamedByARelativePathOpensAndSavesItsOwnPage)
{
    // docs/b.qbs lists a.qbt and c.qbt, typed from the folder above docs.
    QDir().mkpath(Docs.File(QStringLiteral("docs/docs")));
    const QString Mine = Docs.File(QStringLiteral("docs/a.qbt"));
    ASSERT_TRUE(QFile::copy(Page, Mine));
    ASSERT_TRUE(QFile::copy(Page, Docs.File(QStringLiteral("docs/c.qbt"))));
    SaveLines(Docs.File(QStringLiteral("docs/b.qbs")),
              {QStringLiteral("Catalog_name=书"), QStringLiteral("Catalog_Lost_name=a.qbt"), QStringLiteral("{$Files}"),
               QStringLiteral("a.qbt"), QStringLiteral("c.qbt")});
    const QString Edit = QStringLiteral("wait\ntext GroupBox1\ncell CellGrid1 3 1\nset-cell CellGrid1 3 2 77.70\n"
                                        "click SpeedButton9\nwait\nexpect-prompts 0\nquit\n");
    const QString Shown = Docs.File(QStringLiteral("docs/b.qbs")) + QStringLiteral("\nP1\n");

    // Without an older docs/docs/a.qbt: the book's own page opens and takes the edit.
    // The book already names it as the page open last, so the book is not written.
    struct stat BookBefore {}, BookAfter {};
    ASSERT_EQ(::stat(QFile::encodeName(Docs.File(QStringLiteral("docs/b.qbs"))).constData(), &BookBefore), 0);
    TestSupport::DriveRun R = Drive(Edit, {QStringLiteral("docs/b.qbs")}, Docs.Path());
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, Shown);
    EXPECT_EQ(LoadLines(Mine).at(27), QStringLiteral("{$PPRICE}=77.70"));
    ASSERT_EQ(::stat(QFile::encodeName(Docs.File(QStringLiteral("docs/b.qbs"))).constData(), &BookAfter), 0);
    EXPECT_EQ(BookAfter.st_ino, BookBefore.st_ino) << "an unchanged book is not rewritten";
    EXPECT_EQ(TCatalogBook::Value(LoadLines(Docs.File(QStringLiteral("docs/b.qbs"))), QStringLiteral("Catalog_Lost_name")),
              QStringLiteral("a.qbt"));

    // With one present, it is neither shown nor written.
    QStringList Stale = LoadLines(Page);
    Stale[25] = QStringLiteral("{$PID}=旧");
    const QString Old = Docs.File(QStringLiteral("docs/docs/a.qbt"));
    SaveLines(Old, Stale);
    const QByteArray OldBytes = TestSupport::ReadAll(Old);
    R = Drive(QString(Edit).replace(QStringLiteral("77.70"), QStringLiteral("88.80")),
              {QStringLiteral("./docs/../docs/b.qbs")}, Docs.Path());
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, Shown);
    EXPECT_EQ(LoadLines(Mine).at(27), QStringLiteral("{$PPRICE}=88.80"));
    EXPECT_EQ(TestSupport::ReadAll(Old), OldBytes);
}

TEST_F(CatalogDrive, SavingThroughALinkWritesItsTargetWithItsModeAndOwner)
{
    // Page, book and received package live in shared/ and are opened through
    // links in docs/. Another user's files keep their owner when the
    // administrator saves them.
    const bool Root = ::geteuid() == 0;
    QDir().mkpath(Docs.File(QStringLiteral("shared")));
    QDir().mkpath(Docs.File(QStringLiteral("docs")));
    const auto Share = [&](const QString &Name) {
        const QString Real = Docs.File(QStringLiteral("shared/") + Name);
        const QString Link = Docs.File(QStringLiteral("docs/") + Name);
        EXPECT_TRUE(QFile::link(QStringLiteral("../shared/") + Name, Link));
        EXPECT_EQ(::chmod(QFile::encodeName(Real).constData(), 0664), 0);
        if (Root) {
            EXPECT_EQ(::chown(QFile::encodeName(Real).constData(), 65534, 65534), 0);
        }
        return Link;
    };
    // A save killed half way left its temporary file beside the file it
    // replaces: the next save through the link takes it away.
    const pid_t Killed = ::fork();
    if (Killed == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(Killed, nullptr, 0), Killed);
    const auto HalfSaved = [&](const QString &Name) {
        const QString Left = Docs.File(QStringLiteral("shared/.%1.qbtmp-%2-%3-x1.tmp").arg(Name, HostIdentity()).arg(Killed));
        TestSupport::WriteAll(Left, "half saved");
    };
    const auto Kept = [&](const QString &Link) {
        const QString Real = QFileInfo(Link).symLinkTarget();
        EXPECT_TRUE(QFileInfo(Link).isSymLink()) << Link.toStdString();
        struct stat St {};
        ASSERT_EQ(::stat(QFile::encodeName(Real).constData(), &St), 0);
        EXPECT_EQ(St.st_mode & 07777, 0664u) << Real.toStdString();
        if (Root) {
            EXPECT_EQ(St.st_uid, 65534u) << Real.toStdString();
            EXPECT_EQ(St.st_gid, 65534u) << Real.toStdString();
        }
        EXPECT_EQ(QDir(Docs.File(QStringLiteral("shared"))).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".tmp")),
                  QStringList());
    };
    ASSERT_TRUE(QFile::copy(Page, Docs.File(QStringLiteral("shared/a.qbt"))));
    const QString PageLink = Share(QStringLiteral("a.qbt"));
    SaveLines(Docs.File(QStringLiteral("shared/b.qbs")),
              {QStringLiteral("Catalog_name=书"), QStringLiteral("Catalog_Lost_name= "), QStringLiteral("{$Files}"), PageLink});
    const QString BookLink = Share(QStringLiteral("b.qbs"));
    const QString Edit = QStringLiteral("wait\nset-cell CellGrid1 3 2 %1\nclick SpeedButton9\nwait\nexpect-prompts 0\nquit\n");
    HalfSaved(QStringLiteral("a.qbt"));
    HalfSaved(QStringLiteral("b.qbs"));

    TestSupport::DriveRun R = Drive(Edit.arg(QStringLiteral("77.70")), {BookLink});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(LoadLines(Docs.File(QStringLiteral("shared/a.qbt"))).at(27), QStringLiteral("{$PPRICE}=77.70"));
    EXPECT_EQ(TCatalogBook::Value(LoadLines(Docs.File(QStringLiteral("shared/b.qbs"))), QStringLiteral("Catalog_Lost_name")),
              QStringLiteral("a.qbt"));
    Kept(PageLink);
    Kept(BookLink);

    QDir().mkpath(Docs.File(QStringLiteral("pkg")));
    ASSERT_TRUE(QFile::copy(Page, Docs.File(QStringLiteral("pkg/catalog.qbt"))));
    QbaPackage::Write(Docs.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"), Docs.File(QStringLiteral("shared/r.qba")),
                      false);
    const QString PackageLink = Share(QStringLiteral("r.qba"));
    HalfSaved(QStringLiteral("r.qba"));
    R = Drive(Edit.arg(QStringLiteral("99.90")), {PackageLink});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    QByteArray Inside;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"),
                                      {QStringLiteral("-p"), Docs.File(QStringLiteral("shared/r.qba")), QStringLiteral("catalog.qbt")},
                                      &Inside),
              0);
    EXPECT_TRUE(Inside.contains("{$PPRICE}=99.90\r\n")) << Inside.toStdString();
    Kept(PackageLink);
}

TEST_F(CatalogDrive, APageOpenedThroughALinkFindsItsPicturesBesideTheFileItIs)
{
    // shared/pp.qbt names its pictures pics\s1.jpg and pics\s2.jpg, relative
    // to itself; docs/pp.qbt is a link to it.
    for (const char *Folder : {"shared/pics", "docs", "other"})
        QDir().mkpath(Docs.File(QString::fromUtf8(Folder)));
    QStringList Pictures;
    for (const char *Name : {"s1", "s2"}) {
        Pictures << Docs.File(QStringLiteral("shared/pics/%1.jpg").arg(QString::fromUtf8(Name)));
        QImage Image(8, 8, QImage::Format_RGB32);
        Image.fill(Qt::blue);
        ASSERT_TRUE(Image.save(Pictures.last()));
        Pictures.last() = QFileInfo(Pictures.last()).canonicalFilePath();
    }
    QStringList Lines = BookPageLines(QStringLiteral("pp"), QStringLiteral("共享页"), 2);
    Lines[24] = QStringLiteral("{$IMG}=pics\\s1.jpg");
    Lines[33] = QStringLiteral("{$IMG}=pics\\s2.jpg");
    SaveLines(Docs.File(QStringLiteral("shared/pp.qbt")), Lines);
    const QString Link = Docs.File(QStringLiteral("docs/pp.qbt"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../shared/pp.qbt"), Link));
    const QString Copy = Docs.File(QStringLiteral("other/copy.qbt"));

    // The page keeps the name it was opened by; the grid shows both pictures
    // (no missing-picture text), the HTML output takes them without a
    // warning, and 另存为 elsewhere asks nothing but the file's name.
    const TestSupport::DriveRun R =
        Drive(QStringLiteral("wait\ntext GroupBox1\ncell CellGrid1 1 1\ncell CellGrid1 1 6\ncell CellGrid1 1 7\n"
                             "click HTML3\nwait\nexpect-prompts 0\nanswer file %1\nclick N8\nwait\nexpect-prompts 1\nquit\n")
                  .arg(Copy),
              {Link});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("页面文件：%1\n\n%2\n\n").arg(Link, Pictures.at(0)));

    // The output page's pictures, as a browser finds them from the page.
    const QString Htm = Home.File(QStringLiteral("输出/pp/pp.htm"));
    QByteArray Found;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                      {QStringLiteral("-c"),
                                       QStringLiteral("import os,re,sys\nh=sys.argv[1]\n"
                                                      "for s in re.findall(r'<img src=\"([^\"]+)\"',open(h,encoding='gbk').read()):\n"
                                                      "    f=os.path.join(os.path.dirname(h),s)\n"
                                                      "    print(s, os.path.getsize(f) if os.path.isfile(f) else -1)"),
                                       Htm},
                                      &Found),
              0)
        << Found.toStdString();
    for (const QString &P : Pictures)
        EXPECT_TRUE(QString::fromUtf8(Found).contains(QStringLiteral("images/%1 %2\n").arg(ExtractFileName(P)).arg(QFileInfo(P).size())))
            << Found.toStdString();

    // The copy names the same pictures from where it lies.
    const QStringList Saved = LoadLines(Copy);
    for (int N = 0; N < 2; ++N) {
        const QString Value = Saved.value(24 + 9 * N).mid(7);
        EXPECT_EQ(QFileInfo(ResolveStoredPath(Docs.File(QStringLiteral("other")), Value)).canonicalFilePath(), Pictures.at(N))
            << Value.toStdString();
    }
}

TEST_F(CatalogDrive, AReadOnlyReceivedPackageIsRefusedLikeAReadOnlyPage)
{
    QDir().mkpath(Docs.File(QStringLiteral("pkg")));
    ASSERT_TRUE(QFile::copy(Page, Docs.File(QStringLiteral("pkg/catalog.qbt"))));
    SaveLines(Docs.File(QStringLiteral("pkg/book.qbs")),
              {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), QStringLiteral("catalog.qbt")});
    const QString PagePackage = Docs.File(QStringLiteral("page.qba"));
    QbaPackage::Write(Docs.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"), PagePackage, false);
    ASSERT_TRUE(QFile::copy(Page, Docs.File(QStringLiteral("pkg/catalog.qbt"))));
    const QString BookPackage = Docs.File(QStringLiteral("book.qba"));
    QbaPackage::Write(Docs.File(QStringLiteral("pkg/")), QStringLiteral("book.qbs"), BookPackage, true);
    for (const QString &Package : {PagePackage, BookPackage}) {
        SCOPED_TRACE(Package.toStdString());
        ASSERT_EQ(::chmod(QFile::encodeName(Package).constData(), 0444), 0);
        const QByteArray Before = TestSupport::ReadAll(Package);
        const TestSupport::DriveRun R =
            Drive(QStringLiteral("wait\nset-cell CellGrid1 3 2 77.70\nanswer button OK\nclick SpeedButton9\nwait\n"
                                 "enabled SpeedButton9\nanswer button Yes\nanswer button OK\nclick ExitItem\nwait\n"
                                 "enabled SpeedButton9\nprompts\nquit\n"),
                  {Package});
        ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
        const QStringList Out = R.Out.split(QLatin1Char('\n'));
        ASSERT_EQ(Out.size(), 6) << R.Out.toStdString();
        EXPECT_EQ(Out.at(0), QStringLiteral("true"));
        EXPECT_EQ(Out.at(1), QStringLiteral("true"));
        const QString Refused = QStringLiteral(" | 无法创建文件“") + Package + QStringLiteral("”。拒绝访问，没有该文件或文件夹的权限。 | OK");
        EXPECT_TRUE(Out.at(2).endsWith(Refused)) << R.Out.toStdString();
        EXPECT_TRUE(Out.at(3).endsWith(QStringLiteral(" | 有资料修改后尚未保存，是否存盘？ | Yes"))) << R.Out.toStdString();
        EXPECT_TRUE(Out.at(4).endsWith(Refused)) << R.Out.toStdString();
        EXPECT_EQ(TestSupport::ReadAll(Package), Before);
        struct stat St {};
        ASSERT_EQ(::stat(QFile::encodeName(Package).constData(), &St), 0);
        EXPECT_EQ(St.st_mode & 07777, 0444u);
    }
}

TEST_F(CatalogDrive, AFirstSaveWritesAPageAndNeverTheBookOrAnotherOfItsPages)
{
    const QString Book = Docs.File(QStringLiteral("b.qbs"));
    SaveLines(Book, {QStringLiteral("Catalog_name=书"), QStringLiteral("Catalog_Lost_name=a.qbt"), QStringLiteral("{$Files}"),
                     QStringLiteral("a.qbt")});
    const QString Notes = Docs.File(QStringLiteral("notes.txt"));
    TestSupport::WriteAll(Notes, "mine\r\n");
    const QByteArray PageBefore = TestSupport::ReadAll(Page);
    // The open book, typed; another page of the book; a text file. None is asked
    // about: the files the page would be written to do not exist.
    const TestSupport::DriveRun R =
        Drive(QStringLiteral("wait\nclick N2\nwait\nset-cell CellGrid1 3 1 新1\n"
                             "answer file %1\nclick SpeedButton9\nwait\nenabled SpeedButton9\n"
                             "click N2\nwait\nset-cell CellGrid1 3 1 新2\n"
                             "answer file %2\nanswer button OK\nclick SpeedButton9\nwait\nenabled SpeedButton9\n"
                             "answer file %3\nclick SpeedButton9\nwait\nenabled SpeedButton9\nexpect-prompts 4\nprompts\nquit\n")
                  .arg(Book, Page, Notes),
              {Book});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_EQ(Out.size(), 8) << R.Out.toStdString();
    EXPECT_EQ(Out.mid(0, 3), (QStringList{QStringLiteral("false"), QStringLiteral("true"), QStringLiteral("false")}));
    EXPECT_TRUE(Out.at(5).endsWith(QStringLiteral("页面没有保存到“") + Page
                                   + QStringLiteral("”：它是目录册中的页面“a.qbt”，保存会覆盖这个页面。请另选一个文件名。 | OK")))
        << R.Out.toStdString();
    // The first page is b.qbs.qbt, the second notes.txt.qbt; the book lists both and stays a book.
    EXPECT_EQ(TestSupport::ReadAll(Page), PageBefore);
    EXPECT_EQ(TestSupport::ReadAll(Notes), QByteArray("mine\r\n"));
    EXPECT_EQ(LoadLines(Book + QStringLiteral(".qbt")).at(25), QStringLiteral("{$PID}=新1"));
    EXPECT_EQ(LoadLines(Notes + QStringLiteral(".qbt")).at(25), QStringLiteral("{$PID}=新2"));
    const QStringList Lines = LoadLines(Book);
    EXPECT_EQ(TCatalogBook::EntryNames(Lines),
              (QStringList{QStringLiteral("a.qbt"), QStringLiteral("b.qbs.qbt"), QStringLiteral("notes.txt.qbt")}));
    EXPECT_EQ(TCatalogBook::Value(Lines, QStringLiteral("Catalog_Lost_name")), QStringLiteral("notes.txt.qbt"));
    EXPECT_EQ(LoadLines(Home.File(QStringLiteral("history.txt"))),
              (QStringList{Book + QStringLiteral(".qbt"), Notes + QStringLiteral(".qbt")}));
}

TEST_F(CatalogDrive, TheOverwriteQuestionNamesTheFileThePageIsWrittenTo)
{
    const QString Book = Docs.File(QStringLiteral("b.qbs"));
    SaveLines(Book, {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), QStringLiteral("a.qbt")});
    const QString Notes = Docs.File(QStringLiteral("notes.txt"));
    TestSupport::WriteAll(Notes, "mine\r\n");
    const QString Written = Notes + QStringLiteral(".qbt");
    ASSERT_TRUE(QFile::copy(Page, Written));
    // 保存 of a new page as notes.txt: one question, about notes.txt.qbt, answered
    // 否; then as the open book's name, which makes b.qbs.qbt, asked about by
    // nobody. 另存为 notes.txt: one question about notes.txt.qbt, answered 是.
    const TestSupport::DriveRun R =
        Drive(QStringLiteral("wait\nclick N2\nwait\nset-cell CellGrid1 3 1 新1\n"
                             "answer file %1\nanswer button No\nclick SpeedButton9\nwait\nenabled SpeedButton9\n"
                             "answer file %2\nclick SpeedButton9\nwait\nenabled SpeedButton9\n"
                             "answer file %1\nanswer button Yes\nclick N8\nwait\nprompts\nquit\n")
                  .arg(Notes, Book),
              {Book});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    const QStringList Out = R.Out.split(QLatin1Char('\n'));
    ASSERT_EQ(Out.size(), 8) << R.Out.toStdString();
    EXPECT_EQ(Out.mid(0, 2), (QStringList{QStringLiteral("true"), QStringLiteral("false")}));
    const QString Asked = QStringLiteral(" | ") + Written + QStringLiteral("\\n该页面文件已经存在，覆盖已存在的文件吗？（不推荐） | ");
    EXPECT_TRUE(Out.at(2).startsWith(QStringLiteral("FileDialog | "))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(3).startsWith(QStringLiteral("MessageBox | ")) && Out.at(3).endsWith(Asked + QStringLiteral("No")))
        << R.Out.toStdString();
    EXPECT_TRUE(Out.at(4).startsWith(QStringLiteral("FileDialog | "))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(5).startsWith(QStringLiteral("FileDialog | "))) << R.Out.toStdString();
    EXPECT_TRUE(Out.at(6).startsWith(QStringLiteral("MessageBox | ")) && Out.at(6).endsWith(Asked + QStringLiteral("Yes")))
        << R.Out.toStdString();
    // notes.txt is never touched; the page went to b.qbs.qbt and then to notes.txt.qbt.
    EXPECT_EQ(TestSupport::ReadAll(Notes), QByteArray("mine\r\n"));
    EXPECT_EQ(LoadLines(Book + QStringLiteral(".qbt")).at(25), QStringLiteral("{$PID}=新1"));
    EXPECT_EQ(LoadLines(Written).at(25), QStringLiteral("{$PID}=新1"));
    EXPECT_EQ(TCatalogBook::EntryNames(LoadLines(Book)), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("b.qbs.qbt")}));
}

TEST_F(CatalogDrive, AfterSaveAsTheOldDocumentIsNoLongerWritten)
{
    // A received page package, saved as mine.qbt: later saves write mine.qbt alone.
    QDir().mkpath(Docs.File(QStringLiteral("pkg")));
    ASSERT_TRUE(QFile::copy(Page, Docs.File(QStringLiteral("pkg/catalog.qbt"))));
    const QString Package = Docs.File(QStringLiteral("received.qba"));
    QbaPackage::Write(Docs.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"), Package, false);
    const QByteArray PackageBefore = TestSupport::ReadAll(Package);
    const QString Mine = Docs.File(QStringLiteral("mine.qbt"));
    TestSupport::DriveRun R = Drive(QStringLiteral("wait\nanswer file %1\nclick N8\nwait\nset-cell CellGrid1 3 2 77.70\n"
                                                   "click SpeedButton9\nwait\nenabled SpeedButton9\nexpect-prompts 1\nquit\n")
                                        .arg(Mine),
                                    {Package});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(R.Out, QStringLiteral("false\n"));
    EXPECT_EQ(LoadLines(Mine).at(27), QStringLiteral("{$PPRICE}=77.70"));
    EXPECT_EQ(TestSupport::ReadAll(Package), PackageBefore);

    // A page of a book saved as another page of the book (confirmed): the book follows it.
    const QString Other = Docs.File(QStringLiteral("c.qbt"));
    ASSERT_TRUE(QFile::copy(Page, Other));
    const QString Book = Docs.File(QStringLiteral("b.qbs"));
    SaveLines(Book, {QStringLiteral("Catalog_name=书"), QStringLiteral("Catalog_Lost_name=a.qbt"), QStringLiteral("{$Files}"),
                     QStringLiteral("a.qbt"), QStringLiteral("c.qbt")});
    const QByteArray PageBefore = TestSupport::ReadAll(Page);
    R = Drive(QStringLiteral("wait\nset-cell CellGrid1 3 2 66.60\nanswer file %1\nanswer button Yes\nclick N8\nwait\n"
                             "set-cell CellGrid1 3 2 55.50\nclick SpeedButton9\nwait\nquit\n")
                  .arg(Other),
              {Book});
    ASSERT_EQ(R.Code, 0) << R.Err.toStdString();
    EXPECT_EQ(TestSupport::ReadAll(Page), PageBefore);
    EXPECT_EQ(LoadLines(Other).at(27), QStringLiteral("{$PPRICE}=55.50"));
    EXPECT_EQ(TCatalogBook::Value(LoadLines(Book), QStringLiteral("Catalog_Lost_name")), QStringLiteral("c.qbt"));
    EXPECT_EQ(TCatalogBook::EntryNames(LoadLines(Book)), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("c.qbt")}));
}
