// The main window: its components, the start-up walk, editing through the grid
// and saving, the close question. Prompts are answered by a script that fails
// the test on any question it does not expect.

#include "WindowFixture.h"
#include "catalog/document/Package.h"
#include "catalog/forms/AboutBox.h"
#include "catalog/forms/Forms.h"
#include "catalog/output/ChmCompiler.h"
#include "catalog/output/PageOutput.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

using TestSupport::TempDir;
using namespace WindowFixture;

namespace {

// A fresh program folder per test.
class MainWindow : public TWindowTest {
protected:
    // A package of one page, c.qba in the data folder.
    QString WritePagePackage()
    {
        QDir().mkpath(Data.File(QStringLiteral("pkg")));
        QFile::copy(WritePage(QStringLiteral("pkgpage.qbt"), 1), Data.File(QStringLiteral("pkg/catalog.qbt")));
        const QString Qba = Data.File(QStringLiteral("c.qba"));
        QbaPackage::Write(Data.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"), Qba, false);
        return Qba;
    }
};

} // namespace

TEST_F(MainWindow, ComponentsMenusAndHintPause)
{
    TScriptedUi Ui;
    auto Form = Start({});
    EXPECT_EQ(Ui.Dialogs, QStringList{QStringLiteral("Form2")}) << "no argument shows the start dialog";
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("Quillbook 2007 Beta3"));
    for (const char *Name : {"GroupBox1", "ListBox1", "CheckBox1", "SpeedButton2", "SpeedButton3", "SpeedButton4",
                             "SpeedButton5", "SpeedButton6", "SpeedButton7", "SpeedButton8", "SpeedButton9",
                             "SpeedButton10", "SpeedButton11", "SpeedButton12", "SpeedButton13", "BitBtn1", "Button4",
                             "Button5", "Button6", "Button7", "Button8", "RichEdit1", "Splitter1", "GroupBox2",
                             "ScrollBox1", "CellGrid1", "GroupBox3", "ProgressBar1", "Edit1", "StatusBar1", "Label1",
                             "MainMenu1"})
        EXPECT_NE(Form->findChild<QWidget *>(QString::fromLatin1(Name)), nullptr) << Name;
    const struct {
        const char *Name, *Caption, *Key;
    } Items[] = {{"N2", "新建目录页", "Ctrl+N"},  {"N3", "打开……", "Ctrl+O"},       {"N7", "保存", "Ctrl+S"},
                 {"N8", "另存为……", ""},          {"N4", "关闭当前页面", ""},       {"ExitItem", "退出", "Ctrl+Q"},
                 {"N12", "导入文件夹", "Ctrl+M"}, {"N10", "添加图片", "Ctrl+I"},   {"N24", "删除单个", "Ctrl+D"},
                 {"N25", "删除全部", "Ctrl+Alt+D"}, {"N100", "搜索……", "Ctrl+F"}, {"N114", "继续搜索", "F3"},
                 {"N18", "修改联系人信息", "F8"}, {"QBT1", "修复 QBT 文件", ""},   {"HelpItem", "帮助", "F1"}};
    for (const auto &I : Items) {
        auto *A = Form->findChild<QAction *>(QString::fromLatin1(I.Name));
        ASSERT_NE(A, nullptr) << I.Name;
        EXPECT_EQ(A->text(), QString::fromUtf8(I.Caption));
        EXPECT_EQ(A->shortcut(), QKeySequence(QString::fromLatin1(I.Key))) << I.Name;
    }
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    EXPECT_FALSE(Form->GroupBox3->isVisible());
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 3000);
    EXPECT_EQ(Form->CellGrid1->RowCount(), 7);
    EXPECT_EQ(Form->CellGrid1->Cells(0, 1), QStringLiteral("1"));
    EXPECT_EQ(Form->CellGrid1->Cells(2, 4), QStringLiteral("描述："));
    // The block's merges: the number over five rows, the description over three columns and two rows.
    EXPECT_EQ(Form->CellGrid1->Cells(0, 5), QStringLiteral("1"));
    Form->CellGrid1->SetCellText(3, 4, QStringLiteral("说明"));
    EXPECT_EQ(Form->CellGrid1->Cells(5, 5), QStringLiteral("说明"));
    EXPECT_EQ(Form->CellGrid1->Cells(1, 6), QString());
    // The dialogs exist in their order, parented to the main window.
    EXPECT_EQ(Form->Form2->parentWidget(), Form.get());
    EXPECT_EQ(Form->Form6->parentWidget(), Form->PictureView.data());
}

TEST_F(MainWindow, StartupWalkByArgumentKind)
{
    const QString Page = WritePage(QStringLiteral("a.qbt"), 2);
    QImage Image(4, 4, QImage::Format_RGB32);
    Image.fill(Qt::blue);
    ASSERT_TRUE(Image.save(Data.File(QStringLiteral("b.jpg"))));
    {
        TScriptedUi Ui;
        auto Form = Start({Page, Data.File(QStringLiteral("b.jpg"))});
        EXPECT_EQ(Form->FPagePath, Page);
        EXPECT_EQ(Form->CellGrid1->RowCount(), 13);
        EXPECT_EQ(Form->CellGrid1->Cells(3, 7), QStringLiteral("P2"));
        EXPECT_TRUE(Form->Page().Lines().indexOf(QStringLiteral("{$3}")) < 0) << "b.jpg is ignored";
        EXPECT_FALSE(Form->SpeedButton9->isEnabled());
        EXPECT_EQ(Form->GroupBox1->title(), QStringLiteral("页面文件：") + Page);
    }
    {
        TScriptedUi Ui;
        auto Form = Start({Data.File(QStringLiteral("b.jpg")), Page});
        EXPECT_EQ(Form->FPagePath, Page);
        EXPECT_EQ(Form->CellGrid1->RowCount(), 13);
    }
    {
        // A book, then the collected picture goes into a new page.
        SaveLines(Data.File(QStringLiteral("c.qbs")),
                  {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}"), QStringLiteral("a.qbt")});
        TScriptedUi Ui;
        auto Form = Start({Data.File(QStringLiteral("b.jpg")), Data.File(QStringLiteral("c.qbs"))});
        EXPECT_EQ(Form->FCatalogPath, Data.File(QStringLiteral("c.qbs")));
        EXPECT_TRUE(Form->FPagePath.isEmpty()) << "a new page was made";
        EXPECT_TRUE(Form->SpeedButton9->isEnabled());
        EXPECT_EQ(Form->CellGrid1->Cells(1, 6), Data.File(QStringLiteral("b.jpg")));
        EXPECT_TRUE(Form->Page().Lines().contains(QStringLiteral("{$IMG}=") + Data.File(QStringLiteral("b.jpg"))));
        EXPECT_EQ(Form->ListBox1->count(), 2);
        // Leaving it unsaved: the close question is answered No.
        Ui.Answer({IDNO});
        EXPECT_TRUE(Form->close());
    }
    {
        QDir().mkpath(Data.File(QStringLiteral("empty")));
        TScriptedUi Ui;
        Ui.Answer({IDOK});
        auto Form = Start({Data.File(QStringLiteral("empty"))});
        ASSERT_EQ(Ui.Asked().size(), 1);
        EXPECT_EQ(Ui.Asked().at(0).Text,
                  QStringLiteral("没有发现图片文件，系统右键支持jpg格式的图片。\r\n您可以同时选择多个文件夹，程序不搜索子文件夹。"));
        EXPECT_EQ(Ui.Terminated, 1);
    }
    {
        // A package of one page.
        WritePagePackage();
        TScriptedUi Ui;
        auto Form = Start({Data.File(QStringLiteral("b.jpg")), Data.File(QStringLiteral("c.qba"))});
        EXPECT_EQ(Form->FPackagePath, Data.File(QStringLiteral("c.qba")));
        EXPECT_FALSE(Form->SpeedButton9->isEnabled()) << "b.jpg is ignored";
    }
}

TEST_F(MainWindow, EditThroughTheGridAndSave)
{
    const QString Page = WritePage(QStringLiteral("p.qbt"), 2);
    TScriptedUi Ui;
    auto Form = Start({Page});
    Form->resize(1000, 760);
    Form->show();
    // An edit of a cell from outside goes to the page text at once.
    Form->CellGrid1->SetCells(5, 7, QStringLiteral("新商品名"));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
    EXPECT_TRUE(Form->RichEdit1->toPlainText().contains(QStringLiteral("{$PNAME}=新商品名")));
    QApplication::processEvents();
    Form->SpeedButton9->click();
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    const QStringList Back = LoadLines(Page);
    EXPECT_EQ(Back.at(32 + 3), QStringLiteral("{$PNAME}=新商品名"));
    EXPECT_TRUE(TestSupport::ReadAll(Page).contains(QByteArray("{$PNAME}=\xD0\xC2\xC9\xCC\xC6\xB7\xC3\xFB\r\n")));
    // 打开工程…… later asks the start dialog instead of walking the command line again.
    Form->Button1Click();
    QApplication::processEvents();
    EXPECT_EQ(Ui.Dialogs, QStringList{QStringLiteral("Form2")});
    EXPECT_TRUE(Form->close()) << "nothing unsaved, no question";
}

TEST_F(MainWindow, CloseQuestionAnswers)
{
    TScriptedUi Ui;
    auto Form = Start({});
    Form->show();
    Form->NewPage();
    ASSERT_TRUE(Form->SpeedButton9->isEnabled());

    Ui.Answer({IDCANCEL});
    EXPECT_FALSE(Form->close());
    EXPECT_EQ(Ui.Asked().last().Text, QStringLiteral("有资料修改后尚未保存，是否存盘？"));

    // Yes, then the save dialog of the untitled page is cancelled: the changes stay, so does the program.
    Ui.Answer({IDYES});
    Ui.AnswerFile(QString());
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());

    // Yes and a name: saved as list.qbt, with history, then closed.
    Ui.Answer({IDYES});
    Ui.AnswerFile(Data.File(QStringLiteral("list")));
    EXPECT_TRUE(Form->close());
    EXPECT_TRUE(QFileInfo::exists(Data.File(QStringLiteral("list.qbt"))));
    EXPECT_EQ(LoadLines(Program.File(QStringLiteral("history.txt"))),
              QStringList{Data.File(QStringLiteral("list.qbt"))});
    EXPECT_EQ(LoadLines(Data.File(QStringLiteral("list.qbt"))).at(2), QStringLiteral("{Catalog名称}=list"));
}

TEST_F(MainWindow, SaveAsNamesAndRepairCommand)
{
    const QString Page = WritePage(QStringLiteral("p.qbt"), 1);
    TScriptedUi Ui;
    auto Form = Start({Page});
    // Save as: any extension but .qbt gets one; an existing file is asked about.
    Ui.AnswerFile(Data.File(QStringLiteral("list.txt")));
    Form->N8Click();
    EXPECT_TRUE(QFileInfo::exists(Data.File(QStringLiteral("list.txt.qbt"))));
    EXPECT_EQ(Form->FPagePath, Data.File(QStringLiteral("list.txt.qbt")));
    Ui.AnswerFile(Data.File(QStringLiteral("list.txt.qbt")));
    Ui.Answer({IDNO});
    Form->N8Click();
    EXPECT_EQ(Ui.Asked().last().Text,
              Data.File(QStringLiteral("list.txt.qbt")) + QStringLiteral("\r\n该页面文件已经存在，覆盖已存在的文件吗？（不推荐）"));

    // Saved as into another folder, a page names its picture from there; what
    // that changed in its text is saved with it: nothing is left unsaved.
    QStringList WithPicture = LoadLines(Page);
    WithPicture.replaceInStrings(QStringLiteral("{$IMG}="), QStringLiteral("{$IMG}=pics\\x.jpg"));
    SaveLines(Page, WithPicture);
    TestSupport::WriteAll(Data.File(QStringLiteral("pics/x.jpg")), "\xFF\xD8\xFF\xD9");
    Form->OpenPage(Page);
    QDir().mkpath(Data.File(QStringLiteral("sub")));
    Ui.AnswerFile(Data.File(QStringLiteral("sub/p.qbt")));
    Form->N8Click();
    EXPECT_TRUE(LoadLines(Data.File(QStringLiteral("sub/p.qbt"))).contains(QStringLiteral("{$IMG}=") + Data.File(QStringLiteral("pics/x.jpg"))));
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    EXPECT_TRUE(Form->FPageSaved);
    EXPECT_EQ(Form->CellGrid1->Cells(1, 6), Data.File(QStringLiteral("pics/x.jpg")));

    // The repair command on a page with misplaced lines.
    QStringList Lines = Form->Page().Lines();
    Lines.insert(23, QStringLiteral("stray text"));
    Form->Page().SetLines(Lines);
    Ui.Answer({IDOK});
    Form->QBT1Click();
    EXPECT_EQ(Ui.Asked().last().Text, QStringLiteral("修复结束。"));
    EXPECT_EQ(Form->Page().Strings(23), QStringLiteral("{$1}"));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P1"));

    // A broken block: the writer asks, and No writes nothing.
    Lines = Form->Page().Lines();
    Lines.removeAt(25);
    Form->Page().SetLines(Lines);
    Ui.Answer({IDNO});
    Form->CellGrid1->SetCells(3, 1, QStringLiteral("changed"));
    EXPECT_EQ(Ui.Asked().last().Caption, QStringLiteral("需要修正错误"));
    EXPECT_EQ(Form->Page().Lines(), Lines);
    Ui.Answer({IDNO});
    Form->close();
}

TEST_F(MainWindow, MessagesAndErrorHandler)
{
    const QString Page = WritePage(QStringLiteral("p.qbt"), 1);
    TScriptedUi Ui;
    auto Form = Start({});
    Form->PostOpenPageFile(Page);
    QApplication::processEvents();
    EXPECT_EQ(Form->FPagePath, Page);
    EXPECT_EQ(Form->GroupBox1->title(), QStringLiteral("工程源文件  ") + Page);

    // A missing page reaches the error handler, which hides the progress box.
    Ui.Answer({IDOK});
    Form->GroupBox3->show();
    Form->PostOpenPageFile(Data.File(QStringLiteral("missing.qbt")));
    QApplication::processEvents();
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_TRUE(Ui.Asked().at(0).Text.contains(QStringLiteral("missing.qbt")));
    EXPECT_FALSE(Form->GroupBox3->isVisibleTo(Form.get()));

    // The picture viewer hands back a new picture for product 1.
    QImage Image(4, 4, QImage::Format_RGB32);
    Image.fill(Qt::green);
    ASSERT_TRUE(Image.save(Data.File(QStringLiteral("v.jpg"))));
    Form->PictureNotice(1, Data.File(QStringLiteral("v.jpg")), 5);
    QApplication::processEvents();
    EXPECT_TRUE(Form->CellGrid1->HasPicture(1, 1));
    EXPECT_TRUE(Form->Page().Lines().contains(QStringLiteral("{$IMG}=") + Data.File(QStringLiteral("v.jpg"))));
    Form->Form7->CatalogPath = QStringLiteral("/books/new.qbs");
    SendMessage(Form.get(), WM_FORMNOTIFY, 101, 0);
    EXPECT_EQ(Form->FNewCatalogPath, QStringLiteral("/books/new.qbs"));
    Ui.Answer({IDNO});
    Form->close();
}

TEST_F(MainWindow, PageOpenedByMessageIsNoLongerThePackagesPage)
{
    const QString Qba = WritePagePackage();
    const QByteArray Before = TestSupport::ReadAll(Qba);
    const QString Other = WritePage(QStringLiteral("other.qbt"), 2);

    TScriptedUi Ui;
    auto Form = Start({});
    Form->OpenQbaPackage(Qba);
    ASSERT_TRUE(Form->FOpenedFromPackage);
    Form->PostOpenPageFile(Other);
    QApplication::processEvents();
    ASSERT_EQ(Form->FPagePath, Other);
    // Another page is open now: saving it must not write it into the package.
    EXPECT_FALSE(Form->FOpenedFromPackage);
    EXPECT_FALSE(Form->FPackageIsBook);
    Form->CellGrid1->SetCells(3, 1, QStringLiteral("changed"));
    Form->SpeedButton9Click();
    EXPECT_TRUE(LoadLines(Other).contains(QStringLiteral("{$PID}=changed")));
    EXPECT_EQ(TestSupport::ReadAll(Qba), Before);
    Form->close();
}

TEST_F(MainWindow, NewPageBesideAnOpenBookIsNoLongerThePackagesPage)
{
    const QString Qba = WritePagePackage();
    const QByteArray Before = TestSupport::ReadAll(Qba);
    const QString Book = Data.File(QStringLiteral("b.qbs"));
    SaveLines(Book, {QStringLiteral("Catalog_name=书"), QStringLiteral("{$Files}")});

    TScriptedUi Ui;
    auto Form = Start({});
    // The start dialog opens a page package while a book stays open.
    Form->OpenCatalog(Book, false);
    Form->OpenQbaPackage(Qba);
    ASSERT_TRUE(Form->FOpenedFromPackage);
    Form->NewPage();
    EXPECT_FALSE(Form->FOpenedFromPackage) << "the new page is no page of the package";
    EXPECT_EQ(TestSupport::ReadAll(Qba), Before);
    Ui.Answer({IDNO});
    Form->close();
}

TEST_F(MainWindow, ClosingThePageOfAPagePackageEndsItsTieToThePackage)
{
    const QString Qba = WritePagePackage();

    TScriptedUi Ui;
    auto Form = Start({});
    Form->OpenQbaPackage(Qba);
    ASSERT_TRUE(Form->FOpenedFromPackage);
    Form->Button5Click();
    // Pictures dropped now start a page of their own, which must not be saved into the package.
    EXPECT_FALSE(Form->FOpenedFromPackage);
    Form->close();
}

TEST_F(MainWindow, PackageNamedLikeAWorkFolderSurvivesAHelpFileOutput)
{
    // A package named after the help compiler's work folder: that folder is
    // emptied by every help-file output, and must not be where the package lies.
    QDir().mkpath(Data.File(QStringLiteral("pkg/images")));
    QStringList Page = LoadLines(WritePage(QStringLiteral("pkgpage.qbt"), 1));
    Page.insert(1, QStringLiteral("{Catalog编号}=P1"));
    Page.insert(2, QStringLiteral("{输出目录}=") + Data.Path());
    Page[Page.indexOf(QStringLiteral("{$IMG}="))] = QStringLiteral("{$IMG}=images\\a.jpg");
    SaveLines(Data.File(QStringLiteral("pkg/catalog.qbt")), Page);
    TestSupport::WriteAll(Data.File(QStringLiteral("pkg/images/a.jpg")), "picture");
    const QString Qba = Data.File(QStringLiteral("chmfiles.qba"));
    QbaPackage::Write(Data.File(QStringLiteral("pkg/")), QStringLiteral("catalog.qbt"), Qba, false);

    TestSupport::CopyDataTo(Program.Path());
    TScriptedUi Ui;
    auto Form = Start({});
    Form->OpenQbaPackage(Qba);
    const QString Opened = Form->FPagePath;
    ASSERT_TRUE(QFileInfo(Opened).isFile());
    const QString Picture = QFileInfo(Opened).absolutePath() + QStringLiteral("/images/a.jpg");
    ASSERT_TRUE(QFileInfo(Picture).isFile());

    TChmCompiler::SetCompilerOverride(QStringLiteral("/bin/false"));
    Ui.Answer({IDOK});   // the failed compile says so
    QString Result;
    Form->OutputPage(omChm, false, QString(), Result);
    TChmCompiler::SetCompilerOverride(QString());
    EXPECT_TRUE(QFileInfo(Opened).isFile()) << "the open page's file is gone";
    EXPECT_TRUE(QFileInfo(Picture).isFile()) << "the package's picture is gone";
    Form->close();
}

TEST(MainWindowRoutines, FolderFilesAndBlanks)
{
    EXPECT_EQ(TForm1::NonEmptyOrSpace(QString()), QStringLiteral(" "));
    EXPECT_EQ(TForm1::NonEmptyOrSpace(QStringLiteral("x")), QStringLiteral("x"));
    TempDir Dir;
    TestSupport::WriteAll(Dir.File(QStringLiteral("tmp/a.txt")), "a");
    TestSupport::WriteAll(Dir.File(QStringLiteral("tmp/sub/b.txt")), "b");
    TestSupport::WriteAll(Dir.File(QStringLiteral("keep/c.txt")), "c");
    QFile::link(Dir.File(QStringLiteral("keep")), Dir.File(QStringLiteral("tmp/link")));
    TForm1::DeleteFolderFiles(Dir.File(QStringLiteral("tmp")));
    EXPECT_FALSE(QFileInfo::exists(Dir.File(QStringLiteral("tmp/a.txt"))));
    EXPECT_FALSE(QFileInfo::exists(Dir.File(QStringLiteral("tmp/sub/b.txt"))));
    EXPECT_TRUE(QFileInfo(Dir.File(QStringLiteral("tmp/sub"))).isDir()) << "folders stay";
    EXPECT_TRUE(QFileInfo::exists(Dir.File(QStringLiteral("keep/c.txt")))) << "links are not followed";
    // The program folder and what holds it are never emptied.
    TestSupport::WriteAll(Dir.File(QStringLiteral("prog/quillbook")), "x");
    SetProgramFolder(Dir.File(QStringLiteral("prog")));
    TForm1::DeleteFolderFiles(Dir.Path());
    TForm1::DeleteFolderFiles(Dir.File(QStringLiteral("prog")));
    SetProgramFolder(QString());
    EXPECT_TRUE(QFileInfo::exists(Dir.File(QStringLiteral("prog/quillbook"))));
    EXPECT_TRUE(QFileInfo::exists(Dir.File(QStringLiteral("keep/c.txt"))));
}

TEST_F(MainWindow, CopyFolderTreeFilesOnlyRenamingCollisions)
{
    TScriptedUi Ui;
    auto Form = Start({});
    TestSupport::WriteAll(Data.File(QStringLiteral("src/a.htm")), "new");
    TestSupport::WriteAll(Data.File(QStringLiteral("src/sub/b.htm")), "b");
    TestSupport::WriteAll(Data.File(QStringLiteral("dst/a.htm")), "old");
    EXPECT_TRUE(Form->CopyFolderTree(Data.File(QStringLiteral("src/")), Data.File(QStringLiteral("dst")),
                                     QStringLiteral("*.*")));
    EXPECT_EQ(TestSupport::ReadAll(Data.File(QStringLiteral("dst/a.htm"))), "old");
    EXPECT_EQ(TestSupport::ReadAll(Data.File(QStringLiteral("dst/a(2).htm"))), "new");
    EXPECT_FALSE(QFileInfo::exists(Data.File(QStringLiteral("dst/b.htm"))));
    // A destination two levels down cannot be made: the user is told, nothing is copied.
    Ui.Answer({IDOK});
    EXPECT_FALSE(Form->CopyFolderTree(Data.File(QStringLiteral("src/")), Data.File(QStringLiteral("x/y")),
                                      QStringLiteral("*.*")));
    EXPECT_EQ(Ui.Asked().last().Text,
              QStringLiteral("不能创建目录") + Data.File(QStringLiteral("x/y")) + QStringLiteral("\r\n或无该目录权限"));
}

TEST_F(MainWindow, FirstSaveMakesAnyNameAPageAndNewPagesWait)
{
    TScriptedUi Ui;
    auto Form = Start({});
    Form->SpeedButton6Click();
    ASSERT_TRUE(Form->SpeedButton9->isEnabled());
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("新建页面1.qbt"));
    // A second new page is refused silently while the first is untitled and unsaved.
    Form->SpeedButton6Click();
    EXPECT_EQ(Form->ListBox1->count(), 1);
    EXPECT_TRUE(Ui.Asked().isEmpty());

    // A name that is not a page's gets the page extension.
    Ui.AnswerFile(Data.File(QStringLiteral("list.txt")));
    Form->SpeedButton9Click();
    EXPECT_FALSE(QFileInfo::exists(Data.File(QStringLiteral("list.txt"))));
    EXPECT_TRUE(QFileInfo::exists(Data.File(QStringLiteral("list.txt.qbt"))));
    EXPECT_EQ(Form->FPagePath, Data.File(QStringLiteral("list.txt.qbt")));
    EXPECT_EQ(Form->ListBox1->item(0)->text(), QStringLiteral("list.txt.qbt"));
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    // The default book now lists the page and remembers it as the open one.
    const QStringList Book = LoadLines(Program.File(QStringLiteral("目录册/default.qbs")));
    EXPECT_EQ(Book.last(), Data.File(QStringLiteral("list.txt.qbt")));
    EXPECT_TRUE(Book.contains(QStringLiteral("Catalog_Lost_name=list.txt.qbt")));

    // The book information dialog created a new book: asked only while the page has changes.
    SaveLines(Data.File(QStringLiteral("new.qbs")),
              {QStringLiteral("Catalog_name=新书"), QStringLiteral("{$Files}")});
    Form->Form7->CatalogPath = Data.File(QStringLiteral("new.qbs"));
    SendMessage(Form.get(), WM_FORMNOTIFY, 101, 0);
    SendMessage(Form.get(), WM_FORMNOTIFY, 102, 0);
    EXPECT_EQ(Form->FCatalogPath, Data.File(QStringLiteral("new.qbs")));
    EXPECT_EQ(Form->FCatalogName, QStringLiteral("新书"));
    EXPECT_TRUE(Ui.Asked().isEmpty());
}

namespace {

// A main window whose native window can be made anew, as the platform does
// when a pane needing a surface of another kind (the browser) joins it.
class TRemadeWindow : public TForm1 {
public:
    void MakeNativeWindowAnew()
    {
        destroy();
        create();
    }
};

bool Maximised(QWidget *W)
{
    return (W->windowState() & Qt::WindowMaximized) && W->windowHandle()
        && (W->windowHandle()->windowStates() & Qt::WindowMaximized);
}

} // namespace

TEST_F(MainWindow, OpensMaximisedAndStaysSoWhenItsWindowIsMadeAnew)
{
    TScriptedUi Ui;
    TRemadeWindow Form;
    Form.show();
    QApplication::processEvents();
    EXPECT_TRUE(Maximised(&Form));
    Form.MakeNativeWindowAnew();
    QApplication::processEvents();
    EXPECT_TRUE(Maximised(&Form)) << "state " << int(Form.windowState()) << ", window "
                                  << int(Form.windowHandle()->windowStates());
    Form.close();
}

TEST_F(MainWindow, CommandsOnAnEmptyWindowAndHelp)
{
    TScriptedUi Ui;
    auto Form = Start({});
    ASSERT_FALSE(Form->HasPage());
    // 删除单个 (its button and both menu items), 删除全部 and 另存为 say that no page is open.
    for (const char *Name : {"SpeedButton4", "N24", "N63", "BitBtn1", "N25", "N8"}) {
        Ui.ClearAsked();
        Ui.Answer({IDOK});
        if (auto *A = Form->findChild<QAction *>(QString::fromLatin1(Name)))
            A->trigger();
        else if (auto *B = Form->findChild<QAbstractButton *>(QString::fromLatin1(Name)))
            B->click();
        else
            ADD_FAILURE() << Name << " is missing";
        ASSERT_EQ(Ui.Asked().size(), 1) << Name;
        EXPECT_EQ(Ui.Asked().at(0).Text, QStringLiteral("当前没有打开页面，不能执行此操作。")) << Name;
        EXPECT_EQ(Ui.Asked().at(0).Flags, MB_OK | MB_ICONINFORMATION) << Name;
    }
    EXPECT_FALSE(Form->HasPage()) << "no page was made or saved";
    EXPECT_TRUE(Ui.Prompts->Records().size() == 1 && Ui.Prompts->Records().at(0).Kind == TPromptKind::MessageBox)
        << "no save dialog";

    // F1: the help file, else the same help as a web page in the browser, else a word.
    const QString Help = ProgramFolder() + QStringLiteral("help/");
    QDir().mkpath(Help);
    TestSupport::WriteAll(Help + QStringLiteral("help.chm"), "ITSF");
    TestSupport::WriteAll(Help + QStringLiteral("help2.htm"), "<html></html>");
    auto *F1 = Form->findChild<QAction *>(QStringLiteral("HelpItem"));
    ASSERT_NE(F1, nullptr);
    Ui.ClearAsked();
    F1->trigger();
    EXPECT_EQ(Ui.Opened(), QStringList{Help + QStringLiteral("help.chm")});
    Ui.Shell->ClearCalls();
    Ui.Shell->UnhandledSuffixes = {QStringLiteral(".chm")};
    F1->trigger();
    EXPECT_EQ(Ui.Opened(), (QStringList{Help + QStringLiteral("help.chm"), Help + QStringLiteral("help2.htm")}));
    EXPECT_TRUE(Ui.Asked().isEmpty());
    Ui.Shell->ClearCalls();
    Ui.Shell->UnhandledSuffixes << QStringLiteral(".htm");
    Ui.Answer({IDOK});
    F1->trigger();
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked().at(0).Caption, QStringLiteral("帮助"));
    EXPECT_TRUE(Ui.Asked().at(0).Text.contains(QStringLiteral("不能打开帮助文件“") + Help + QStringLiteral("help.chm”")));
    EXPECT_TRUE(Ui.Asked().at(0).Text.contains(Help + QStringLiteral("help2.htm")));
}

TEST_F(MainWindow, AboutShowsTheProgramsIconAndItsWholeTitle)
{
    TestSupport::CopyDataTo(Program.Path());
    TScriptedUi Ui;
    auto Form = Start({});
    // The program's icon, in the sizes a desktop asks for, is the main window's.
    const QIcon Icon = Form->windowIcon();
    ASSERT_FALSE(Icon.isNull());
    for (int Size : {16, 32, 48, 256})
        EXPECT_TRUE(Icon.availableSizes().contains(QSize(Size, Size))) << Size;

    QString Caption, Title, Author;
    QImage Shown;
    int Width = 0, Needed = 0;
    Ui.InDialog([&](QDialog *D) {
        Caption = D->windowTitle();
        if (auto *Image = D->findChild<QLabel *>(QStringLiteral("Image1")))
            Shown = Image->pixmap().toImage();
        if (auto *L = D->findChild<QLabel *>(QStringLiteral("Label1")))
            Title = L->text();
        if (auto *L = D->findChild<QLabel *>(QStringLiteral("Label2")))
            Author = L->text();
        // Room for the whole caption in a bold title font, beside the title
        // bar's icon and its three buttons.
        QFont Bold = D->font();
        Bold.setBold(true);
        Width = D->width();
        Needed = QFontMetrics(Bold).horizontalAdvance(Caption) + 4 * D->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        // Return closes it.
        QWidget *Focus = QApplication::focusWidget();
        QTest::keyClick(Focus && D->isAncestorOf(Focus) ? Focus : D, Qt::Key_Return);
    });
    // A box of Qt's own would not come through the program's dialogs: it is closed, and the test fails.
    TWhenShown<QMessageBox> Other([](QMessageBox *B) { B->reject(); });
    auto *About = Form->findChild<QAction *>(QStringLiteral("AboutItem"));
    ASSERT_NE(About, nullptr);
    Ui.Dialogs.clear();
    About->trigger();
    EXPECT_EQ(Other.Shown, 0);
    EXPECT_EQ(Ui.Dialogs, QStringList{QStringLiteral("AboutBox")});
    EXPECT_EQ(Caption, QStringLiteral("关于 Quillbook 2007"));
    EXPECT_EQ(Title, QStringLiteral("Quillbook 2007"));
    EXPECT_FALSE(Author.isEmpty());
    EXPECT_GE(Width, Needed);
    // The icon it shows is the program's.
    ASSERT_FALSE(Shown.isNull());
    EXPECT_EQ(Shown.convertToFormat(QImage::Format_ARGB32), Icon.pixmap(Shown.size()).toImage().convertToFormat(QImage::Format_ARGB32));
}
