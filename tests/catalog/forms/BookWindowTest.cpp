// The main window's book: the default book, opening and the page chosen, the
// page list's default page, reordering and removing entries, the book
// information dialog, outside files and packages opened and saved back.

#include "WindowFixture.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/Package.h"
#include "catalog/forms/BookInfoDialog.h"
#include "platform/core/SysUtils.h"

#include <QCheckBox>
#include <QTest>
#include <QGroupBox>
#include <QLineEdit>
#include <QToolButton>

using namespace WindowFixture;

namespace {

const QStringList ThreeEntries{QStringLiteral("a.qbt"), QStringLiteral("b.qbt"), QStringLiteral("c.qbt")};

// A double-click on row Index of a list as a mouse gives it: a click, then the
// second press.
void DoubleClickRow(QListWidget *List, int Index)
{
    QWidget *Rows = List->viewport();
    const QPoint Row = List->visualItemRect(List->item(Index)).center();
    QTest::mouseClick(Rows, Qt::LeftButton, Qt::NoModifier, Row);
    QTest::mousePress(Rows, Qt::LeftButton, Qt::NoModifier, Row);
    QTest::mouseDClick(Rows, Qt::LeftButton, Qt::NoModifier, Row);
    QTest::mouseRelease(Rows, Qt::LeftButton, Qt::NoModifier, Row);
    QApplication::processEvents();
}

} // namespace

TEST_F(BookWindow, NewPagesWithoutABookMakeTheDefaultBook)
{
    TScriptedUi Ui;
    Start();
    Form->NewPage();
    const QString Default = Exe + QStringLiteral("目录册/default.qbs");
    EXPECT_EQ(Form->FCatalogPath, Default);
    EXPECT_EQ(Read(Default), TCatalogBook::DefaultBookLines());
    EXPECT_EQ(Read(Exe + QStringLiteral("cts_history.txt")), QStringList{Default});
    EXPECT_EQ(Items(), QStringList{QStringLiteral("新建页面1.qbt")});
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("新建页面1.qbt"));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());

    // 新建页面 while the first is untitled and unsaved: refused without a word.
    Form->SpeedButton6Click();
    EXPECT_EQ(Items(), QStringList{QStringLiteral("新建页面1.qbt")});
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty());
    // 新建目录页 asks before it drops the unsaved page; 是 goes on and the next free name is taken.
    Ui.Answer({IDYES});
    Form->NewPage();
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("新建页面1.qbt"), QStringLiteral("新建页面2.qbt")}));
    EXPECT_EQ(Read(Default), TCatalogBook::DefaultBookLines()) << "list box only until the page is saved";
    EXPECT_EQ(Ui.CaptionsAndTexts(),
              QStringList{QStringLiteral("关闭页面|该Catalog页面还没保存，没有保存的信息将丢失，是否关闭当前页面？")});
}

TEST_F(BookWindow, OpeningTheBookOpensThePageLastOpen)
{
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A1"), QStringLiteral("甲页"));
    const QString B = WritePage(QStringLiteral("sub/b.qbt"), QStringLiteral("B2"), QStringLiteral("乙页"));
    WritePage(QStringLiteral("c.qbt"), QStringLiteral("C3"), QStringLiteral("丙页"));
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QString(), QStringLiteral("a.qbt"), B, QString(),
                                                                QStringLiteral("c.qbt")},
                                   {QStringLiteral("Catalog_Lost_name=b.qbt")});
    TScriptedUi Ui;
    Start({Book});
    EXPECT_EQ(Form->GroupBox1->title(), Book);
    EXPECT_EQ(Items(), ThreeEntries) << "empty lines are dropped";
    EXPECT_EQ(Form->FPagePath, B);
    EXPECT_EQ(Form->FCatalogName, QStringLiteral("三页目录册"));
    // The open page is drawn bold with the saved page's icon; the others as pages.
    EXPECT_EQ(Form->ListBox1ItemIcon(1), TCatalogBook::icOpenSaved);
    EXPECT_TRUE(Form->ListBox1ItemBold(1));
    EXPECT_EQ(Form->ListBox1ItemIcon(0), TCatalogBook::icPage);
    EXPECT_FALSE(Form->ListBox1ItemBold(0));
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("改"));
    EXPECT_EQ(Form->ListBox1ItemIcon(1), TCatalogBook::icOpenModified);

    // The default page check box: checked names the selected entry, unchecked writes "nil".
    Form->ListBox1->setCurrentRow(0);
    EXPECT_FALSE(Form->CheckBox1->isChecked());
    Form->CheckBox1->click();
    EXPECT_EQ(TCatalogBook::Value(Read(Book), QStringLiteral("catalog_index_name")), QStringLiteral("a.qbt"));
    EXPECT_EQ(Form->ListBox1ItemIcon(0), TCatalogBook::icDefaultPage);
    Form->ListBox1->setCurrentRow(2);
    EXPECT_FALSE(Form->CheckBox1->isChecked());
    Form->ListBox1->setCurrentRow(0);
    EXPECT_TRUE(Form->CheckBox1->isChecked());
    Form->CheckBox1->click();
    EXPECT_EQ(TCatalogBook::Value(Read(Book), QStringLiteral("catalog_index_name")), QStringLiteral("nil"));
    EXPECT_TRUE(Form->FCatalogIndexName.isEmpty());

    // A book of one entry opens it whatever Catalog_Lost_name says.
    const QString One = WriteBook(QStringLiteral("one.qbs"), {QStringLiteral("c.qbt")},
                                  {QStringLiteral("Catalog_Lost_name=b.qbt")});
    Ui.Answer({"Yes"});   // the changed page is closed without saving
    Form->OpenCatalog(One, false);
    EXPECT_EQ(Form->FPagePath, Docs + QStringLiteral("c.qbt"));
}

TEST_F(BookWindow, ReorderingAndRemovingEntries)
{
    for (const QString &E : ThreeEntries)
        WritePage(E, E.left(1).toUpper(), E);
    const QString Book = WriteBook(QStringLiteral("book.qbs"), ThreeEntries);
    TScriptedUi Ui;
    Start({Book});
    ASSERT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));

    Form->ListBox1DragDrop(0, 2);
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("b.qbt"), QStringLiteral("c.qbt"), QStringLiteral("a.qbt")}));
    EXPECT_EQ(TCatalogBook::EntryNames(Read(Book)), Items()) << "the book file is saved";

    // A new, unsaved page: its entry is neither dragged nor dropped on, and
    // while it is last the last place cannot change.
    Form->NewPage();
    ASSERT_EQ(Items().last(), QStringLiteral("新建页面1.qbt"));
    EXPECT_FALSE(Form->ListBox1DragOver(3, 0));
    EXPECT_FALSE(Form->ListBox1DragOver(0, 3));
    EXPECT_TRUE(Form->ListBox1DragOver(0, 1));
    Form->ListBox1DragDrop(0, 3);
    Form->ListBox1DragDrop(3, 1);
    EXPECT_EQ(Items().last(), QStringLiteral("新建页面1.qbt"));
    Form->ListBox1DragDrop(2, 0);
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("b.qbt"), QStringLiteral("c.qbt"),
                                    QStringLiteral("新建页面1.qbt")}));
    EXPECT_EQ(TCatalogBook::EntryNames(Read(Book)), ThreeEntries);

    // Removing the new page's entry asks before its page is closed; the book file is not touched.
    Form->ListBox1->setCurrentRow(3);
    Ui.Answer({"No"});
    Form->SpeedButton13Click();
    EXPECT_EQ(Items().size(), 4) << "the user kept the page";
    Ui.Answer({"Yes"});
    Form->SpeedButton13Click();
    EXPECT_EQ(Items(), ThreeEntries);
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    EXPECT_EQ(TCatalogBook::EntryNames(Read(Book)), ThreeEntries);

    // A book entry: asked, removed from the list and the file; the file on disk stays.
    Form->OpenPage(Docs + QStringLiteral("b.qbt"));
    Form->ListBox1->setCurrentRow(1);
    Ui.Answer({"Yes"});
    Form->SpeedButton13Click();
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("c.qbt")}));
    EXPECT_EQ(TCatalogBook::EntryNames(Read(Book)), Items());
    EXPECT_TRUE(Form->FPagePath.isEmpty()) << "the removed entry was the open page";
    EXPECT_TRUE(QFileInfo::exists(Docs + QStringLiteral("b.qbt")));
    EXPECT_EQ(Ui.CaptionsAndTexts().last(), QStringLiteral("确认文件删除|是否从目录册内删除：b.qbt"));
}

TEST_F(BookWindow, OutsideFilesAndAddedFiles)
{
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A"), QStringLiteral("甲"));
    TestSupport::WriteAll(Docs + QStringLiteral("notes.htm"), "<html></html>");
    TScriptedUi Ui;
    Start();
    Ui.Answer({"OK", "OK"});
    Form->AddFileToCatalog(Docs + QStringLiteral("notes.htm"));
    Form->SpeedButton12Click();
    EXPECT_EQ(Ui.CaptionsAndTexts(), (QStringList{QStringLiteral("添加文件|当前没有打开目录册，不能添加文件。"),
                                       QStringLiteral("错误|您没有打开目录册，不能导入文件。外部文件只能导入到目录册内。")}));

    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("a.qbt")});
    Form->OpenCatalog(Book, false);
    Form->AddFileToCatalog(Docs + QStringLiteral("notes.htm"));
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("notes.htm"), QStringLiteral("a.qbt")}));
    EXPECT_EQ(Read(Book).mid(5), (QStringList{Docs + QStringLiteral("notes.htm"), QStringLiteral("a.qbt")}));
    EXPECT_EQ(Form->ListBox1ItemIcon(0), TCatalogBook::icWebPage);

    // Outside files are only handed to the desktop.
    Form->ListBox1->setCurrentRow(0);
    Ui.Answer({"Yes"});
    Form->ListBox1DblClick();
    EXPECT_EQ(Ui.CaptionsAndTexts().last(), QStringLiteral("外部文件|这是一个外部文件，CatalogQuillbook不能直接编辑，是否调用关联程序打开？"));
    ASSERT_EQ(Ui.Shell->Calls().size(), 1);
    EXPECT_EQ(Ui.Shell->Calls().at(0).Args, QStringList{Docs + QStringLiteral("notes.htm")});
    EXPECT_EQ(Form->ListBox1->currentRow(), 1) << "the open page's entry is selected again";
}

TEST_F(BookWindow, BookInformationDialogMakesAndChangesBooks)
{
    TScriptedUi Ui;
    Start();
    TForm7 *F = Form->Form7;
    ASSERT_NE(F, nullptr);
    QString Proposed, Output, Name;
    Ui.OnModal = [&](QDialog *) {
        F->FormShow();
        Proposed = F->Edit2->text();
        Output = F->Edit3->text();
        Name = F->Edit1->text();
        F->Edit1->setText(QStringLiteral("Spring"));
        F->FNameChanged = true;
        F->Edit1Exit();
        F->CheckBox1->setChecked(true);
        F->Button2Click();
        return F->result();
    };
    Form->SpeedButton7Click(false);
    QApplication::processEvents();
    EXPECT_EQ(Proposed, Exe + QStringLiteral("目录册/新建目录册1.qbs"));
    EXPECT_EQ(Output, Exe + QStringLiteral("输出"));
    EXPECT_EQ(Name, QStringLiteral("新的目录册-") + StoredDateToStr(Date()));
    const QString Spring = Exe + QStringLiteral("目录册/Spring.qbs");
    EXPECT_EQ(Read(Spring), TCatalogBook::NewBookLines(QStringLiteral("Spring"), Exe + QStringLiteral("输出"), true,
                                                       true, false));
    EXPECT_EQ(Read(Exe + QStringLiteral("cts_history.txt")), QStringList{Spring});
    EXPECT_EQ(Form->FCatalogPath, Spring) << "the new book is opened";
    EXPECT_EQ(Read(Exe + QStringLiteral("cts_default.dat")),
              (QStringList{QStringLiteral("Catalog_name=Spring"),
                           QStringLiteral("catalog_save_path=") + Exe + QStringLiteral("目录册/"),
                           QStringLiteral("Catalog_Output=") + Exe + QStringLiteral("输出"),
                           QStringLiteral("Catalog_always_open=true"), QStringLiteral("Catalog_fulltext_search=true"),
                           QStringLiteral("Catalog_move_v=false")}));
    EXPECT_TRUE(F->Edit1->text().isEmpty() && F->Edit2->text().isEmpty() && F->Edit3->text().isEmpty());

    // The defaults come back; a typed name never leaves the book folder.
    Ui.OnModal = [&](QDialog *) {
        F->FormShow();
        Proposed = F->Edit2->text();
        Name = F->Edit1->text();
        F->Edit1->setText(QStringLiteral("../../晚/秋"));
        F->FNameChanged = true;
        F->Edit1Exit();
        Output = F->Edit2->text();
        F->CheckBox1->setChecked(false);
        F->Button3Click();
        return F->result();
    };
    Form->SpeedButton7Click(false);
    EXPECT_EQ(Name, QStringLiteral("Spring"));
    EXPECT_EQ(Proposed, Exe + QStringLiteral("目录册/新建目录册1.qbs"));
    EXPECT_EQ(Output, Exe + QStringLiteral("目录册/....晚秋.qbs"));
    EXPECT_TRUE(QFileInfo::exists(Exe + QStringLiteral("cts_default.dat"))) << "cancel writes nothing";

    // An existing book file: its settings change (notice 100) and are saved;
    // absent keys (read as unchecked) go before the entries.
    const QString Old = WriteBook(QStringLiteral("old.qbs"), {QStringLiteral("x.qbt")});
    Form->OpenCatalog(Old, true);
    Ui.OnModal = [&](QDialog *) {
        F->FormShow();
        EXPECT_EQ(F->Edit2->text(), Old);
        F->Edit1->setText(QStringLiteral("Summer"));
        F->Edit3->setText(QString());
        F->CheckBox2->setChecked(false);
        F->CheckBox1->setChecked(false);
        F->Button2Click();
        return F->result();
    };
    Form->SpeedButton7Click(true);
    QApplication::processEvents();
    EXPECT_EQ(Read(Old), (QStringList{QStringLiteral("Catalog_name=Summer"), QStringLiteral("catalog_index_name="),
                                      QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output= "),
                                      QStringLiteral("Catalog_fulltext_search=false"),
                                      QStringLiteral("Catalog_always_open=false"), QStringLiteral("Catalog_move_v=false"),
                                      QStringLiteral("{$Files}"), QStringLiteral("x.qbt")}));
    EXPECT_EQ(Form->FCatalogName, QStringLiteral("Summer"));
    EXPECT_FALSE(QFileInfo::exists(Exe + QStringLiteral("cts_default.dat"))) << "unchecked: the defaults go";
    EXPECT_EQ(Read(Exe + QStringLiteral("cts_history.txt")), QStringList{Spring}) << "no new file was made";

    // A pasted name with line breaks is remembered on its one line: it adds no
    // setting of its own to the defaults.
    Ui.OnModal = [&](QDialog *) {
        F->FormShow();
        F->Edit1->setText(QStringLiteral("秋\r\nCatalog_Output=/elsewhere"));
        F->FNameChanged = true;
        F->Edit1Exit();
        F->CheckBox1->setChecked(true);
        F->Button2Click();
        return F->result();
    };
    Form->SpeedButton7Click(false);
    QApplication::processEvents();
    const QStringList Defaults = Read(Exe + QStringLiteral("cts_default.dat"));
    ASSERT_EQ(Defaults.size(), 6) << Defaults.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(Defaults.at(0), QStringLiteral("Catalog_name=秋Catalog_Output=/elsewhere"));
    EXPECT_EQ(TCatalogBook::Value(Defaults, QStringLiteral("Catalog_Output")), Exe + QStringLiteral("输出"));

    // With every proposed name taken the path stays empty.
    for (int N = 1; N <= 999; ++N)
        TestSupport::WriteAll(Exe + QStringLiteral("目录册/新建目录册%1.qbs").arg(N), "x");
    Ui.OnModal = [&](QDialog *) {
        F->FormShow();
        Proposed = F->Edit2->text();
        F->Button3Click();
        return F->result();
    };
    Form->SpeedButton7Click(false);
    EXPECT_EQ(Proposed, QString());
}

TEST_F(BookWindow, PackagesOpenedAndSavedBack)
{
    // A page package made the way the page output makes one.
    const QString Folder = Docs + QStringLiteral("pk/");
    QDir().mkpath(Folder + QStringLiteral("images"));
    QStringList Page = BookPageLines(QStringLiteral("PK"), QStringLiteral("包页"), 1);
    Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\PKp1.jpg"), QStringLiteral("{$IMG}=pics\\p1.jpg"));
    Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\p1.jpg"), QStringLiteral("{$IMG}=images\\p1.jpg"));
    SaveLines(Folder + QStringLiteral("catalog.qbt"), Page);
    TestSupport::WriteAll(Folder + QStringLiteral("images/p1.jpg"), "\xFF\xD8 pk picture");
    const QString Qba = QbaPackage::Write(Folder, QStringLiteral("catalog.qbt"), Docs + QStringLiteral("my.page.qba"), false);

    TScriptedUi Ui;
    Start();
    Ui.Prompts->AnswerFile(Qba);
    Form->N82Click(QStringLiteral("N3"));
    ASSERT_TRUE(Form->FOpenedFromPackage);
    EXPECT_FALSE(Form->FPackageIsBook);
    EXPECT_EQ(Form->FPackagePath, Qba);
    EXPECT_EQ(Form->FPagePath, ScratchFolder() + QStringLiteral("packages/my/catalog.qbt"));
    EXPECT_EQ(Form->Page().Lines(), Page);

    // Saved: the package itself is written again and the page counts as saved.
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("改过了"));
    ASSERT_TRUE(Form->SpeedButton9->isEnabled());
    Form->SpeedButton9Click();
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());
    EXPECT_TRUE(Form->FPageSaved);
    const QString Check = Data.Path() + QStringLiteral("/check/");
    const QbaPackage::TOpenResult R = QbaPackage::Unpack(Qba, Check);
    ASSERT_EQ(R.Status, QbaPackage::osOk);
    const QStringList Saved = Read(R.MainFile);
    EXPECT_TRUE(Saved.contains(QStringLiteral("{Catalog说明}=改过了")));
    EXPECT_TRUE(Saved.contains(QStringLiteral("{$IMG}=images\\p1.jpg")));
    EXPECT_EQ(TestSupport::ReadAll(Check + QStringLiteral("images/p1.jpg")), QByteArray("\xFF\xD8 pk picture"));
    QByteArray List;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("unzip"), {QStringLiteral("-tq"), Qba}, &List), 0) << List.toStdString();
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
}

TEST_F(BookWindow, APackageWhosePictureNameHoldsPatternCharactersIsSavedBack)
{
    // A page package from elsewhere whose picture the zipper cannot take by its
    // name: saving it back puts the picture in under a plain name, which the
    // page names.
    const QString Folder = Docs + QStringLiteral("pk/");
    QDir().mkpath(Folder + QStringLiteral("images"));
    QStringList Page = BookPageLines(QStringLiteral("PK"), QStringLiteral("包页"), 1);
    Page.replaceInStrings(QStringLiteral("{$IMG}=pics\\PKp1.jpg"), QStringLiteral("{$IMG}=images\\x<1>.jpg"));
    SaveLines(Folder + QStringLiteral("catalog.qbt"), Page);
    SaveLines(Folder + QStringLiteral("index.dat"), {QStringLiteral("index=catalog.qbt"), QStringLiteral("type=QBT")});
    TestSupport::WriteAll(Folder + QStringLiteral("images/x<1>.jpg"), "\xFF\xD8 pk picture");
    const QString Qba = Docs + QStringLiteral("x.qba");
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                      {QStringLiteral("-c"),
                                       QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                                                      "for n in ('index.dat','catalog.qbt','images/x<1>.jpg'): "
                                                      "z.write(sys.argv[2]+n,n)\nz.close()\n"),
                                       Qba, Folder}),
              0);
    const QByteArray Before = TestSupport::ReadAll(Qba);

    TScriptedUi Ui;
    Start();
    Ui.Prompts->AnswerFile(Qba);
    Form->N82Click(QStringLiteral("N3"));
    ASSERT_TRUE(Form->FOpenedFromPackage);
    ASSERT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("改过了"));
    Form->SpeedButton9Click();
    EXPECT_TRUE(Form->FPageSaved);
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << Ui.CaptionsAndTexts().join(QLatin1Char('\n')).toStdString();
    EXPECT_NE(TestSupport::ReadAll(Qba), Before);
    QByteArray Listing;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                      {QStringLiteral("-c"),
                                       QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1])\n"
                                                      "print(z.read('images/x_1_.jpg')==b'\\xff\\xd8 pk picture')\n"
                                                      "print('{$IMG}=images\\\\x_1_.jpg' in z.read('catalog.qbt').decode('gbk').split('\\r\\n'))\n"),
                                       Qba},
                                      &Listing),
              0)
        << Listing.toStdString();
    EXPECT_EQ(Listing, QByteArray("True\nTrue\n"));
}

TEST_F(BookWindow, CraftedPackagesAreRefusedWithTheirMessages)
{
    auto Craft = [&](const QString &Name, const QString &Members) {
        const QString Zip = Docs + Name;
        const QString Script = QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n") + Members
            + QStringLiteral("z.close()\n");
        EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), Script, Zip}), 0);
        return Zip;
    };
    const QString Up = Craft(QStringLiteral("up.qba"),
                             QStringLiteral("z.writestr('index.dat','index=catalog.qbt\\r\\ntype=QBT\\r\\n')\n"
                                            "z.writestr('catalog.qbt','QBT FILE TYPE 2.0\\r\\n')\n"
                                            "z.writestr('../../escaped.txt','x')\n"));
    const QString BadIndex = Craft(QStringLiteral("bad.qba"),
                                   QStringLiteral("z.writestr('index.dat','index=../../x.qbt\\r\\ntype=QBT\\r\\n')\n"
                                                  "z.writestr('catalog.qbt','QBT FILE TYPE 2.0\\r\\n')\n"));
    const QString NoIndex = Craft(QStringLiteral("noindex.qba"),
                                  QStringLiteral("z.writestr('a.qbt','QBT FILE TYPE 2.0\\r\\n')\n"
                                                 "z.writestr('b.qbt','QBT FILE TYPE 2.0\\r\\n')\n"));
    TScriptedUi Ui;
    Start();
    for (const QString &P : {Up, BadIndex, NoIndex}) {
        Ui.Answer({"OK"});
        Form->OpenQbaPackage(P);
        EXPECT_FALSE(Form->FOpenedFromPackage) << P.toStdString();
        EXPECT_TRUE(Form->FPagePath.isEmpty());
    }
    EXPECT_EQ(Ui.CaptionsAndTexts(), (QStringList{QStringLiteral("出错|不是有效的qba文件，读取出现错误。"),
                                       QStringLiteral("出错|不是有效的qba文件，读取出现错误。"),
                                       QStringLiteral("出错|信息描述文件不存在，文件载入失败。")}));
    EXPECT_FALSE(QFileInfo::exists(ScratchFolder() + QStringLiteral("../escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(ScratchFolder() + QStringLiteral("packages/escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(ScratchFolder() + QStringLiteral("escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(Exe + QStringLiteral("tmp/escaped.txt")));
    EXPECT_FALSE(QFileInfo::exists(Exe + QStringLiteral("escaped.txt")));
}

TEST_F(BookWindow, DoubleClickOpensAnotherPageAskingAboutChanges)
{
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A"), QStringLiteral("甲"));
    WritePage(QStringLiteral("b.qbt"), QStringLiteral("B"), QStringLiteral("乙"));
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("a.qbt"), QStringLiteral("b.qbt")});
    TScriptedUi Ui;
    Start({Book});
    ASSERT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));
    Form->ListBox1->setCurrentRow(0);
    Form->ListBox1DblClick();
    EXPECT_TRUE(Ui.CaptionsAndTexts().isEmpty()) << "the open page's own entry does nothing";

    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("改"));
    Form->ListBox1->setCurrentRow(1);
    Ui.Answer({"Cancel"});
    Form->ListBox1DblClick();
    EXPECT_EQ(Ui.CaptionsAndTexts().last(), QStringLiteral("打开新页面|有页面资料没有保存，是否保存？"));
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));
    EXPECT_EQ(Form->ListBox1->currentRow(), 0) << "the open page's entry is selected again";

    Form->ListBox1->setCurrentRow(1);
    Ui.Answer({"Yes"});
    Form->ListBox1DblClick();
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("b.qbt"));
    EXPECT_TRUE(Read(Docs + QStringLiteral("a.qbt")).contains(QStringLiteral("{Catalog说明}=改"))) << "saved first";
    EXPECT_EQ(TCatalogBook::Value(Read(Book), QStringLiteral("Catalog_Lost_name")), QStringLiteral("a.qbt"));

    // The entry of a new page lives in the list box only: a fresh page text.
    Form->NewPage();
    Form->ListBox1->setCurrentRow(0);
    Ui.Answer({"No"});
    Form->ListBox1DblClick();
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));
    Form->ListBox1->setCurrentRow(2);
    Form->ListBox1DblClick();
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("新建页面1.qbt"));
    EXPECT_TRUE(Form->FPagePath.isEmpty());
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
    EXPECT_EQ(Form->Page().Values(QStringLiteral("{Catalog名称}")), QStringLiteral("新建页面"));
}

TEST_F(BookWindow, AnEntryThatIsNoPageSaysWhyAndTheOpenPageStays)
{
    const QString A = WritePage(QStringLiteral("a.qbt"), QStringLiteral("A"), QStringLiteral("甲"));
    QDir().mkpath(Docs + QStringLiteral("old.qbt"));
    const QString Book = WriteBook(QStringLiteral("book.qbs"),
                                   {QStringLiteral("a.qbt"), QStringLiteral("old.qbt"), QStringLiteral("gone.qbt")});
    TScriptedUi Ui;
    Start({Book});
    ASSERT_EQ(Form->FPagePath, A);
    Form->CellGrid1->SetCells(3, 2, QStringLiteral("77.70"));
    ASSERT_TRUE(Form->SpeedButton9->isEnabled());
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    // A double-click on the row of a folder, then of a missing file: a box for
    // each, and the page with its unsaved edit stays open.
    for (const QString &Entry : {QStringLiteral("old.qbt"), QStringLiteral("gone.qbt")}) {
        SCOPED_TRACE(Entry.toStdString());
        Ui.Answer({"OK"});
        DoubleClickRow(Form->ListBox1, Items().indexOf(Entry));
        EXPECT_EQ(Form->FPagePath, A);
        EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("a.qbt"));
        EXPECT_EQ(Form->CellGrid1->Cells(3, 2), QStringLiteral("77.70"));
        EXPECT_TRUE(Form->SpeedButton9->isEnabled());
        EXPECT_EQ(Form->ListBox1->currentRow(), 0) << "the open page's entry is selected again";
    }
    EXPECT_EQ(Ui.CaptionsAndTexts(),
              (QStringList{QStringLiteral("打开页面|目录册中的“old.qbt”不能作为页面打开（是文件夹）：\r\n") + Docs + QStringLiteral("old.qbt"),
                           QStringLiteral("打开页面|目录册中的“gone.qbt”不能作为页面打开（文件不存在）：\r\n") + Docs + QStringLiteral("gone.qbt")}));
    // The edit is still there to be saved into the page's file.
    Form->SpeedButton9->click();
    EXPECT_TRUE(Read(A).contains(QStringLiteral("{$PPRICE}=77.70")));
    Form->hide();
}

TEST_F(BookWindow, ABookPageWhoseNameEndsInABlankIsOpenedAndSavedUnderItsOwnName)
{
    WritePage(QStringLiteral("a.qbt"), QStringLiteral("A"), QStringLiteral("甲"));
    const QString Trail = WritePage(QStringLiteral("trail.qbt "), QStringLiteral("T"), QStringLiteral("尾"));
    const QString Book = WriteBook(QStringLiteral("book.qbs"), {QStringLiteral("a.qbt"), QStringLiteral("trail.qbt ")});
    TScriptedUi Ui;
    Start({Book});
    ASSERT_EQ(Items(), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("trail.qbt ")}));
    EXPECT_EQ(Form->ListBox1ItemIcon(1), TCatalogBook::icPage);

    // A double-click on its row (a click, then the second press) opens it as a page.
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    DoubleClickRow(Form->ListBox1, 1);
    EXPECT_EQ(Form->FPagePath, Trail);
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("trail.qbt "));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("T-1"));
    EXPECT_EQ(Form->ListBox1ItemIcon(1), TCatalogBook::icOpenSaved);

    // Saved, it is written under that name and no other.
    Form->Page().SetValues(QStringLiteral("{Catalog说明}"), QStringLiteral("改尾"));
    Form->SpeedButton9Click();
    EXPECT_TRUE(Read(Trail).contains(QStringLiteral("{Catalog说明}=改尾")));
    EXPECT_FALSE(QFileInfo::exists(Docs + QStringLiteral("trail.qbt")));
    EXPECT_EQ(Read(Book).mid(5), (QStringList{QStringLiteral("a.qbt"), QStringLiteral("trail.qbt ")}));

    // Chosen in the 打开 dialog, it is a page too: the book closes and the page opens alone.
    Ui.AnswerFile(Trail);
    Form->N82Click(QStringLiteral("N3"));
    EXPECT_TRUE(Form->FCatalogPath.isEmpty());
    EXPECT_EQ(Form->FPagePath, Trail);
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("T-1"));
    // 另存为 such a name writes the page under it, with no second extension.
    const QString Copy = Docs + QStringLiteral("copy.qbt ");
    Ui.AnswerFile(Copy);
    Form->N8Click();
    EXPECT_TRUE(Read(Copy).contains(QStringLiteral("{Catalog说明}=改尾")));
    EXPECT_FALSE(QFileInfo::exists(Copy + QStringLiteral(".qbt")));
    Form->hide();
}

TEST_F(BookWindow, ABookOpenedThroughALinkFindsItsPagesBesideTheFileItIs)
{
    // shared/realbook.qbs lists the pages beside it; docs/b.qbs is a link to it.
    QDir().mkpath(Docs + QStringLiteral("shared/pics"));
    QDir().mkpath(Docs + QStringLiteral("docs"));
    const QString P1 = WritePage(QStringLiteral("shared/p1.qbt"), QStringLiteral("P1"), QStringLiteral("甲"));
    const QString P2 = WritePage(QStringLiteral("shared/p2.qbt"), QStringLiteral("P2"), QStringLiteral("乙"));
    const QString Real = WriteBook(QStringLiteral("shared/realbook.qbs"), {QStringLiteral("p1.qbt"), QStringLiteral("p2.qbt")},
                                   {QStringLiteral("Catalog_Lost_name=p1.qbt")});
    const QString Link = Docs + QStringLiteral("docs/b.qbs");
    ASSERT_TRUE(QFile::link(QStringLiteral("../shared/realbook.qbs"), Link));
    TScriptedUi Ui;
    Start({Link});
    EXPECT_EQ(Form->GroupBox1->title(), Link);
    EXPECT_EQ(QFileInfo(Form->FPagePath).canonicalFilePath(), QFileInfo(P1).canonicalFilePath());
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P1-1"));

    // A double-click on the other page's row opens it, its pictures found.
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    DoubleClickRow(Form->ListBox1, 1);
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("p2.qbt"));
    EXPECT_EQ(QFileInfo(Form->FPagePath).canonicalFilePath(), QFileInfo(P2).canonicalFilePath());
    EXPECT_EQ(Form->CellGrid1->Cells(3, 1), QStringLiteral("P2-1"));
    EXPECT_EQ(Form->CellGrid1->Cells(1, 1), QString()) << "no missing-picture text";

    // A new page saved beside the real book is added to it, and the book,
    // read back, names it.
    Form->SpeedButton6->click();
    Form->CellGrid1->SetCells(3, 1, QStringLiteral("N-1"));
    const QString New = Docs + QStringLiteral("shared/new.qbt");
    Ui.AnswerFile(New);
    Form->SpeedButton9->click();
    EXPECT_TRUE(QFileInfo(Link).isSymLink());
    const QStringList Entries = Read(Real).mid(5);
    ASSERT_EQ(Entries.size(), 3);
    EXPECT_EQ(Entries.mid(0, 2), (QStringList{QStringLiteral("p1.qbt"), QStringLiteral("p2.qbt")}));
    EXPECT_EQ(TCatalogBook::ResolveEntry(Link, Entries.at(2)), New);
    EXPECT_EQ(Read(New).at(25), QStringLiteral("{$PID}=N-1"));
    EXPECT_EQ(Ui.CaptionsAndTexts(), QStringList());
    Form->hide();
}

TEST_F(BookWindow, AnEditOfABookPackageNotWrittenBackAsksBeforeAnotherPageOpens)
{
    const QString Folder = Docs + QStringLiteral("bk/");
    QDir().mkpath(Folder);
    SaveLines(Folder + QStringLiteral("p1.qbt"), BookPageLines(QStringLiteral("P1"), QStringLiteral("甲"), 2));
    SaveLines(Folder + QStringLiteral("p2.qbt"), BookPageLines(QStringLiteral("P2"), QStringLiteral("乙"), 1));
    for (const char *Picture : {"pics/P1p1.jpg", "pics/P1p2.jpg", "pics/P2p1.jpg"})
        TestSupport::WriteAll(Folder + QString::fromLatin1(Picture), QByteArray("\xFF\xD8\xFF\xE0 picture ") + Picture);
    SaveLines(Folder + QStringLiteral("book.qbs"), {QStringLiteral("Catalog_name=包里的书"), QStringLiteral("Catalog_Lost_name=p1.qbt"),
                                                    QStringLiteral("{$Files}"), QStringLiteral("p1.qbt"), QStringLiteral("p2.qbt")});
    const QString Qba = QbaPackage::Write(Folder, QStringLiteral("book.qbs"), Docs + QStringLiteral("book.qba"), true);
    const QByteArray Before = TestSupport::ReadAll(Qba);

    TScriptedUi Ui;
    Start();
    Ui.AnswerFile(Qba);
    Form->N82Click(QStringLiteral("N3"));
    ASSERT_TRUE(Form->FOpenedFromPackage && Form->FPackageIsBook);
    ASSERT_EQ(Form->FOpenPageEntry, QStringLiteral("p1.qbt"));
    const QString Scratch = Form->FPagePath;
    const QByteArray Held = TestSupport::ReadAll(Scratch);
    Form->CellGrid1->SetCells(3, 2, QStringLiteral("77.70"));
    Form->CellGrid1->SetCells(3, 8, QString());
    // 保存, and the question about the empty price answered 取消: not written.
    Ui.Answer({"Cancel"});
    Form->SpeedButton9->click();
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_TRUE(Ui.Asked().first().Text.startsWith(QStringLiteral("第 2 个商品资料的单价为空，")));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
    EXPECT_FALSE(Form->FPageSaved);
    EXPECT_EQ(TestSupport::ReadAll(Qba), Before);
    EXPECT_EQ(TestSupport::ReadAll(Scratch), Held) << "the book's page is what its package holds";

    // Another page of the book asks; 取消 keeps the page and its edit.
    Form->ListBox1->setCurrentRow(1);
    Ui.Answer({"Cancel"});
    Form->ListBox1DblClick();
    EXPECT_EQ(Ui.CaptionsAndTexts().last(), QStringLiteral("打开新页面|有页面资料没有保存，是否保存？"));
    EXPECT_EQ(Form->FOpenPageEntry, QStringLiteral("p1.qbt"));
    EXPECT_EQ(Form->CellGrid1->Cells(3, 2), QStringLiteral("77.70"));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
}
