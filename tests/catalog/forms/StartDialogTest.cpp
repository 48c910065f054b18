// The start dialog on its own: the history list, the clean-up of entries whose
// book is gone, and the modal result and chosen file of every choice.

#include "WindowFixture.h"
#include "catalog/forms/BookInfoDialog.h"
#include "catalog/forms/StartDialog.h"
#include "platform/services/ScriptedPrompts.h"
#include "platform/services/Shell.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

using namespace WindowFixture;

namespace {

const QString Filter = QStringLiteral("全部文件*.qbs;*.qbt;*.qba|*.qbs;*.qbt;*.qba|目录册文件 *.qbs|*.qbs|"
                                      "页面文件 *.qbt|*.qbt|Catalog包文件 *.qba|*.qba");

class StartDialog : public ::testing::Test {
protected:
    void SetUp() override { Form2 = new TForm2(&Main); }
    QStringList Items() const
    {
        QStringList L;
        for (int I = 0; I < Form2->ListBox1->count(); ++I)
            L << Form2->ListBox1->item(I)->text();
        return L;
    }
    // A book file below the program folder.
    QString MakeBook(const QString &Relative)
    {
        const QString Path = Folder.File(Relative);
        QDir().mkpath(QFileInfo(Path).absolutePath());
        WriteGbk(Path, QStringLiteral("Catalog_name=样本\r\n{$Files}\r\n"));
        return Path;
    }
    // The dialog shown afresh, as the main window shows it at start-up.
    void Show()
    {
        Form2->setResult(0);
        Form2->show();
    }

    TProgramFolder Folder;
    TScriptedUi Ui;
    TScriptedPrompts *Prompts = Ui.Prompts;
    TScriptedShell *ScriptedShell = Ui.Shell;
    QWidget Main;
    TForm2 *Form2 = nullptr;
};

} // namespace

TEST_F(StartDialog, ShowsItsControlsAndTheHistoryAsStored)
{
    EXPECT_EQ(Form2->objectName(), QStringLiteral("Form2"));
    EXPECT_EQ(Form2->windowTitle(), QStringLiteral("开始"));
    EXPECT_EQ(Form2->Label1->text(), QStringLiteral("已经存在的目录册："));
    EXPECT_EQ(Form2->ListBox1->toolTip(), QStringLiteral("已经存在的目录册，双击鼠标打开。"));
    const QList<QPair<QPushButton *, QString>> Buttons = {
        {Form2->Button2, QStringLiteral("打开现有的目录册")}, {Form2->Button1, QStringLiteral("新建目录页面")},
        {Form2->Button7, QStringLiteral("新建目录册")},       {Form2->Button3, QStringLiteral("仅删除不存在的记录")},
        {Form2->Button4, QStringLiteral("清空全部历史记录")}, {Form2->Button6, QStringLiteral("打开学习教程")},
        {Form2->Button5, QStringLiteral("关闭")}};
    for (const auto &[Button, Caption] : Buttons) {
        EXPECT_EQ(Button->text(), Caption);
        EXPECT_EQ(Form2->findChild<QPushButton *>(Button->objectName()), Button);
    }

    // No history file: an empty list, and nothing is created.
    Show();
    EXPECT_TRUE(Items().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Folder.File(QStringLiteral("cts_history.txt"))));
    Form2->hide();

    const QString Absolute = MakeBook(QStringLiteral("别处/乙.qbs"));
    WriteGbk(Folder.File(QStringLiteral("cts_history.txt")),
             QStringLiteral("目录册\\甲.qbs\r\n") + Absolute + QStringLiteral("\r\nD:\\旧\\丙.qbs\r\n"));
    Show();
    EXPECT_EQ(Items(), (QStringList{QStringLiteral("目录册\\甲.qbs"), Absolute, QStringLiteral("D:\\旧\\丙.qbs")}));
    Form2->hide();
}

TEST_F(StartDialog, DoubleClickOpensAnExistingEntryOnly)
{
    const QString Relative = MakeBook(QStringLiteral("目录册/甲.qbs"));
    const QString Absolute = MakeBook(QStringLiteral("别处/乙.qbs"));
    WriteGbk(Folder.File(QStringLiteral("cts_history.txt")),
             QStringLiteral("目录册\\甲.qbs\r\n") + Absolute + QStringLiteral("\r\n目录册\\没了.qbs\r\nD:\\旧\\丙.qbs\r\n"));
    Show();

    // A relative entry lies below the program folder.
    Form2->ListBox1->setCurrentRow(0);
    Form2->ListBox1DblClick();
    EXPECT_EQ(Form2->result(), 3);
    EXPECT_EQ(QFileInfo(Form2->FChosenFile).canonicalFilePath(), QFileInfo(Relative).canonicalFilePath());

    Show();
    Form2->ListBox1->setCurrentRow(1);
    Form2->ListBox1DblClick();
    EXPECT_EQ(Form2->result(), 3);
    EXPECT_EQ(Form2->FChosenFile, Absolute);

    // Deleted books and paths of another machine are refused with a warning.
    for (int Row : {2, 3}) {
        Show();
        Prompts->AnswerButton(QStringLiteral("OK"));
        Form2->ListBox1->setCurrentRow(Row);
        Form2->ListBox1DblClick();
        EXPECT_EQ(Form2->result(), 0) << Row;
        EXPECT_TRUE(Form2->FChosenFile.isEmpty()) << "a new showing forgets the earlier choice";
        ASSERT_FALSE(Prompts->Records().isEmpty());
        EXPECT_EQ(Prompts->Records().last().Text, QStringLiteral("该记录已经不存在，请重新选择。"));
        EXPECT_EQ(Prompts->Records().last().Caption, MsgDlgCaption(mtWarning));
        EXPECT_EQ(Prompts->Records().last().Buttons, QStringList{QStringLiteral("OK")});
    }
    Form2->hide();
}

TEST_F(StartDialog, CleanUpRemovesMissingBooksAndRewritesTheHistory)
{
    MakeBook(QStringLiteral("目录册/甲.qbs"));
    const QString Absolute = MakeBook(QStringLiteral("别处/乙.qbs"));
    const QString History = Folder.File(QStringLiteral("cts_history.txt"));
    WriteGbk(History, QStringLiteral("目录册\\没了.qbs\r\n目录册\\甲.qbs\r\nD:\\旧\\丙.qbs\r\n") + Absolute
                          + QStringLiteral("\r\n") + Absolute + QStringLiteral("\r\n/没有/丁.qbs\r\n"));
    Show();
    Prompts->AnswerButton(QStringLiteral("OK"));
    Form2->Button3->click();
    EXPECT_EQ(Prompts->Records().last().Text, QStringLiteral("操作完成。"));
    EXPECT_EQ(Prompts->Records().last().Caption, MsgDlgCaption(mtInformation));
    const QStringList Kept = {QStringLiteral("目录册\\甲.qbs"), Absolute, Absolute};
    EXPECT_EQ(Items(), Kept);
    EXPECT_EQ(GbkLines(History), Kept) << "entries are written back as they were stored";
    EXPECT_EQ(Form2->result(), 0) << "the dialog stays open";

    // Shown again, the list is what the file now holds.
    Form2->hide();
    Show();
    EXPECT_EQ(Items(), Kept);
    Form2->hide();
}

TEST_F(StartDialog, ClearingTheHistoryAsksFirst)
{
    const QString History = Folder.File(QStringLiteral("cts_history.txt"));
    WriteGbk(History, QStringLiteral("目录册\\甲.qbs\r\n"));
    Show();
    Prompts->AnswerButton(QStringLiteral("No"));
    Form2->Button4->click();
    EXPECT_EQ(Prompts->Records().last().Text, QStringLiteral("真的清空历史记录？"));
    EXPECT_EQ(Prompts->Records().last().Buttons, (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));
    EXPECT_EQ(Items().size(), 1);
    EXPECT_TRUE(QFileInfo::exists(History));

    Prompts->AnswerButton(QStringLiteral("Yes"));
    Form2->Button4->click();
    EXPECT_TRUE(Items().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(History));

    // Nothing left to delete is no error.
    Prompts->AnswerButton(QStringLiteral("Yes"));
    Form2->Button4->click();
    EXPECT_EQ(Form2->result(), 0);
    Form2->hide();
}

TEST_F(StartDialog, EveryChoiceEndsWithItsResult)
{
    Show();
    Form2->Button1->click();
    EXPECT_EQ(Form2->result(), 5) << "new page";

    Show();
    Form2->Button5->click();
    EXPECT_EQ(Form2->result(), 2) << "close";

    Show();
    Form2->reject();
    EXPECT_EQ(Form2->result(), 2) << "the window's own close button does nothing either";

    // Open any file, starting in the project folder of the company file.
    const QString Project = Folder.File(QStringLiteral("工程"));
    QDir().mkpath(Project);
    WriteGbk(Folder.File(QStringLiteral("cols1.dat")),
             QStringLiteral("中文内容\r\n甲\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n") + Project + QStringLiteral("\r\n\r\n"));
    TestSupport::WriteAll(Project + QStringLiteral("/页.qbt"), QByteArray());   // only an existing file opens
    Show();
    Prompts->AnswerFile(QStringLiteral("页.qbt"));
    Form2->Button2->click();
    EXPECT_EQ(Prompts->Records().last().Text, Filter);
    EXPECT_EQ(Form2->result(), 3);
    EXPECT_EQ(Form2->FChosenFile, Project + QStringLiteral("/页.qbt"));

    Show();
    Prompts->AnswerButton(QStringLiteral("Cancel"));
    Form2->Button2->click();
    EXPECT_EQ(Form2->result(), 0);
    EXPECT_TRUE(Form2->FChosenFile.isEmpty());

    // The tutorial opens in the desktop's browser; the dialog stays.
    TestSupport::WriteAll(Folder.Path() + QStringLiteral("/help/help2.htm"), "<html></html>");
    Form2->Button6->click();
    ASSERT_EQ(ScriptedShell->Calls().size(), 1);
    EXPECT_EQ(ScriptedShell->Calls().first().Kind, QStringLiteral("Open"));
    EXPECT_EQ(ScriptedShell->Calls().first().Args, QStringList{Folder.Path() + QStringLiteral("/help/help2.htm")});
    EXPECT_EQ(Form2->result(), 0);
    Form2->hide();
}

TEST_F(StartDialog, NewBookClosesTheDialogOnlyWhenTheBookDialogSaved)
{
    auto *Form7 = new TForm7(&Main);
    Form7->Edit1->setText(QStringLiteral("旧名"));
    Form7->CheckBox4->setChecked(true);
    Ui.ModalResult = 2;
    Show();
    Form2->Button7->click();
    EXPECT_EQ(Ui.Dialogs, QStringList{QStringLiteral("Form7")});
    EXPECT_EQ(Form2->result(), 0) << "cancelled: the start dialog stays";
    EXPECT_TRUE(Form7->Edit1->text().isEmpty()) << "a new book starts from empty fields";
    EXPECT_FALSE(Form7->CheckBox4->isChecked());
    EXPECT_TRUE(Form7->CheckBox2->isChecked());
    EXPECT_TRUE(Form7->CheckBox3->isChecked());

    Ui.ModalResult = 1;
    Form2->Button7->click();
    EXPECT_EQ(Form2->result(), 2) << "the new book reaches the main window through the book dialog";
    Form2->hide();
}
