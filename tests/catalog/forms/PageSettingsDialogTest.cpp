// The page settings dialog: its grid, the language and style choices, the
// checks and writes of OK, the defaults file, and the main window's commands
// that open it and switch the output language.

#include "WindowFixture.h"
#include "catalog/document/CompanyFiles.h"
#include "catalog/document/PageDocument.h"
#include "catalog/document/PageSettings.h"
#include "catalog/forms/Forms.h"
#include "catalog/forms/MainWindow.h"
#include "grid/CellGridEditors.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace WindowFixture;
using namespace PageSettings;

namespace {

const QString Cols1Text = QStringLiteral(
    "中文内容\r\n甲公司\r\n联系人=Wang\r\n\r\n\r\n\r\n\r\n邮件=cn@example.cn\r\n\r\n\r\n/srv/工程\r\n/srv/输出\r\n");
const QString Cols2Text = QStringLiteral(
    "英文内容\r\nACME\r\nWang\r\n\r\n\r\n\r\n\r\nen@example.com\r\n\r\n\r\n/srv/project\r\n/srv/out\r\n");

// Picks a combo box item as the user does (the select handler runs).
void Pick(QComboBox *Box, int Index)
{
    Box->setCurrentIndex(Index);
    emit Box->activated(Index);
}

class PageSettingsDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        TForm1::BrowserEnabled = false;
        WriteGbk(Program.File(QStringLiteral("cols1.dat")), Cols1Text);
        WriteGbk(Program.File(QStringLiteral("cols2.dat")), Cols2Text);
    }

    // A page as a new one starts, without a defaults file.
    TPageDocument NewPage()
    {
        TPageDocument Page;
        TNewPageDefaults D;
        D.Today = QStringLiteral("2026-12-7");
        D.Salesman = QStringLiteral("Wang");
        D.OrderMail = QStringLiteral("cn@example.cn");
        Page.InitNewPageText(D);
        return Page;
    }

    void MakeStyle(const QString &Name, const QString &Description)
    {
        QDir().mkpath(Program.File(QStringLiteral("html/") + Name));
        if (!Description.isNull())
            WriteGbk(Program.File(QStringLiteral("html/") + Name + QStringLiteral("/简介.txt")), Description);
    }

    TProgramFolder Program;
};

} // namespace

TEST_F(PageSettingsDialog, GridRowsDefaultsEditorsAndHints)
{
    TForm3 Form(nullptr);
    TCellGrid *G = Form.CellGrid1;
    EXPECT_EQ(G->RowCount(), 19);
    EXPECT_EQ(G->Cells(0, 0), QStringLiteral("类型"));
    EXPECT_EQ(G->Cells(1, 0), QStringLiteral("值"));

    const QString Today = StoredDateToStr(Date());
    const struct {
        int Row;
        const char *Label;
        QString Value;
        TEditorType Editor;
    } Expected[] = {
        {1, "Catalog编号", DefaultCatalogId(Today), edNormal},
        {2, "Catalog名称", QString(), edNormal},
        {3, "业务员名", QString(), edNormal},
        {4, "客户编号", QString(), edNormal},
        {5, "客户名称", QString(), edNormal},
        {6, "客户公司名", QString(), edNormal},
        {7, "日期", Today, edNormal},
        {8, "货币符号", QStringLiteral("￥"), edNormal},
        {9, "产品单位", QStringLiteral("个"), edNormal},
        {10, "重量单位", QStringLiteral("克"), edNormal},
        {11, "图片宽(象素)", QStringLiteral("自动"), edNumeric},
        {12, "图片高(象素)", QStringLiteral("自动"), edNumeric},
        {13, "输出目录", QStringLiteral("/srv/输出"), edEditBtn},
        {14, "输出方式(请选择)", QStringLiteral("CHM(帮助文件类型)"), edComboList},
        {15, "订单接收email地址", QStringLiteral("cn@example.cn"), edNormal},
        {16, "Catalog说明", QString(), edNormal},
        {18, "图片栏所占百分比", QStringLiteral("75"), edNormal},
    };
    for (const auto &E : Expected) {
        EXPECT_EQ(G->Cells(0, E.Row), QString::fromUtf8(E.Label)) << E.Row;
        EXPECT_EQ(G->Cells(1, E.Row), E.Value) << E.Row;
        TEditorType Editor = edPassword;
        G->GetCellEditor(1, E.Row, Editor);
        EXPECT_EQ(Editor, E.Editor) << E.Row;
    }
    // The remark's value cell covers rows 16 and 17.
    EXPECT_EQ(G->CellSpan(1, 16), TPoint(0, 1));
    EXPECT_EQ(G->BaseCell(1, 17), TPoint(1, 16));
    EXPECT_EQ(G->Cells(0, 17), QString());

    auto Hint = [G](int Row) {
        QString H;
        G->GetCellHint(1, Row, H);
        return H;
    };
    EXPECT_EQ(Hint(1), QStringLiteral("Catalog编号必填"));
    EXPECT_EQ(Hint(11), QStringLiteral("宽设为零表示自动"));
    EXPECT_EQ(Hint(12), QStringLiteral("高设为零表示自动"));
    EXPECT_EQ(Hint(14), OutputTypeHint());
    EXPECT_EQ(Hint(15), QStringLiteral("email必填"));

    EXPECT_EQ(TForm3::ReadDatLine(Program.File(QStringLiteral("cols1.dat")), 2), QStringLiteral("Wang"));
}

TEST_F(PageSettingsDialog, DefaultIdAndDateKeepTheirFormWhateverTheUsersDateFormat)
{
    struct Restore {
        ~Restore() { LoadDateSettings(QLocale::c()); }
    } Guard;
    LoadDateSettings(QLocale(QStringLiteral("en_US")));   // m/d/yyyy: a "/" in the ID would be a path
    TForm3 Form(nullptr);
    const QString Today = StoredDateToStr(Date());
    EXPECT_EQ(Form.CellGrid1->Cells(1, 7), Today);
    EXPECT_EQ(Form.CellGrid1->Cells(1, 1), DefaultCatalogId(Today));
    EXPECT_FALSE(Form.CellGrid1->Cells(1, 1).contains(QLatin1Char('/')));
}

TEST_F(PageSettingsDialog, RequiredRowsKeepTheDialogOpenAndThePageUntouched)
{
    TScriptedUi Ui;
    TPageDocument Page = NewPage();
    const QStringList Before = Page.Lines();
    TForm3 Form(nullptr);
    Form.PageText = &Page;
    Form.LoadFromPage(Page);

    Form.CellGrid1->SetCells(1, rowCatalogId, QString());
    Ui.Answer({IDOK});
    Form.Button1->click();
    Form.CellGrid1->SetCells(1, rowCatalogId, QStringLiteral("  "));
    Ui.Answer({IDOK});
    Form.Button1->click();
    Form.CellGrid1->SetCells(1, rowCatalogId, QStringLiteral("CT1"));
    Form.CellGrid1->SetCells(1, rowOrderMail, QString());
    Ui.Answer({IDOK});
    Form.Button1->click();
    ASSERT_EQ(Ui.Asked().size(), 3);
    EXPECT_EQ(Ui.Asked()[0].Text, QStringLiteral("Catalog编号不能为空。"));
    EXPECT_EQ(Ui.Asked()[0].Flags, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(Ui.Asked()[1].Text, QStringLiteral("Catalog编号不能为空。"));
    EXPECT_EQ(Ui.Asked()[2].Text, QStringLiteral("订单接收email不能为空。"));
    EXPECT_EQ(Form.result(), 0) << "the dialog stays";
    EXPECT_EQ(Page.Lines(), Before);
    EXPECT_FALSE(QFile::exists(DefaultsFileName()));
}

TEST_F(PageSettingsDialog, OkWritesEveryValueOnItsOwnLine)
{
    TScriptedUi Ui;
    TPageDocument Page = NewPage();
    Page.SetLines(Page.Lines() + QStringList{TPageDocument::MarkerComment, TPageDocument::DetailLine, QString(),
                                              QStringLiteral("{$1}"), QStringLiteral("{$IMG}="), QStringLiteral("{$PID}=A1")});
    TForm3 Form(nullptr);
    Form.PageText = &Page;
    Form.LoadFromPage(Page);
    EXPECT_EQ(Form.CellGrid1->Cells(1, rowSalesman), QStringLiteral("Wang"));
    EXPECT_EQ(Form.CellGrid1->Cells(1, rowPictureWidth), QStringLiteral("0"));
    EXPECT_EQ(Form.ComboBox1->currentIndex(), 0);

    TCellGrid *G = Form.CellGrid1;
    G->SetCells(1, rowCatalogName, QStringLiteral("春季\r\n报价"));   // a line break typed into the cell
    G->SetCells(1, rowPictureWidth, QString());
    G->SetCells(1, rowPictureHeight, QStringLiteral("120"));
    G->SetCells(1, rowRemark, QString());
    G->SetCells(1, rowCustomerName, QStringLiteral("李四"));
    Form.ComboBox2->setEditText(QStringLiteral("夏天系列"));
    Form.Button1->click();
    EXPECT_TRUE(Ui.Asked().isEmpty());
    EXPECT_EQ(Form.result(), 1);

    EXPECT_EQ(Page.Count(), 26) << "no line was added or lost";
    EXPECT_EQ(Page.Strings(0), QStringLiteral("QBT FILE TYPE 2.0"));
    EXPECT_EQ(Page.Strings(2), QStringLiteral("{Catalog名称}=春季 报价"));
    EXPECT_EQ(Page.Strings(3), QStringLiteral("{业务员名}=Wang"));
    EXPECT_EQ(Page.Strings(4), QStringLiteral("{客户编号}= "));
    EXPECT_EQ(Page.Strings(5), QStringLiteral("{客户名称}=李四"));
    EXPECT_EQ(Page.Strings(11), QStringLiteral("{图片宽}=0"));
    EXPECT_EQ(Page.Strings(12), QStringLiteral("{图片高}=120"));
    EXPECT_EQ(Page.Strings(15), QStringLiteral("{输出风格}=夏天系列"));
    EXPECT_EQ(Page.Strings(16), QStringLiteral("{输出语言}=中文"));
    EXPECT_EQ(Page.Strings(17), QStringLiteral("{订单接收email地址}=cn@example.cn"));
    EXPECT_EQ(Page.Strings(19), QStringLiteral("{Catalog说明}= "));
    EXPECT_EQ(Page.Strings(20), TPageDocument::MarkerComment);
    EXPECT_EQ(Page.Strings(25), QStringLiteral("{$PID}=A1"));
    EXPECT_FALSE(QFile::exists(DefaultsFileName())) << "not asked to save the defaults";

    // The blank that kept an empty value's line reads as empty again.
    TForm3 Again(nullptr);
    Again.LoadFromPage(Page);
    EXPECT_EQ(Again.CellGrid1->Cells(1, rowRemark), QString());
    EXPECT_EQ(Again.CellGrid1->Cells(1, rowCustomerId), QString());
}

TEST_F(PageSettingsDialog, LanguageSwapsCurrencyAndCompanyRowsAndWarnsForEnglish)
{
    TScriptedUi Ui;
    TForm3 Form(nullptr);
    TCellGrid *G = Form.CellGrid1;
    G->SetCells(1, rowOutputFolder, QStringLiteral("/elsewhere"));
    Ui.Answer({IDOK});
    Pick(Form.ComboBox1, 1);
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked()[0].Text,
              QStringLiteral("注意，使用英文输出方式时，使用了西欧编码，图片文件名当中不能含有中文，否则会不能正常显示。"));
    EXPECT_EQ(G->Cells(1, rowCurrency), QStringLiteral("$"));
    EXPECT_EQ(G->Cells(1, rowOutputFolder), QStringLiteral("/srv/out"));
    EXPECT_EQ(G->Cells(1, rowOrderMail), QStringLiteral("en@example.com"));

    Pick(Form.ComboBox1, 0);
    EXPECT_EQ(Ui.Asked().size(), 1) << "no warning for Chinese";
    EXPECT_EQ(G->Cells(1, rowCurrency), QStringLiteral("￥"));
    EXPECT_EQ(G->Cells(1, rowOutputFolder), QStringLiteral("/srv/输出"));
    EXPECT_EQ(G->Cells(1, rowOrderMail), QStringLiteral("cn@example.cn"));

    // Another sign is left alone both ways; each switch to English warns once.
    G->SetCells(1, rowCurrency, QStringLiteral("HK$"));
    Ui.Answer({IDOK});
    Pick(Form.ComboBox1, 1);
    EXPECT_EQ(G->Cells(1, rowCurrency), QStringLiteral("HK$"));
    EXPECT_EQ(Ui.Asked().size(), 2);

    // A page in English shows 英文 without a warning; OK stores it.
    TPageDocument Page = NewPage();
    Page.SetValues(LanguageKey, English);
    TForm3 Other(nullptr);
    Other.PageText = &Page;
    Other.LoadFromPage(Page);
    EXPECT_EQ(Other.ComboBox1->currentIndex(), 1);
    Other.Button1->click();
    EXPECT_EQ(Page.Values(LanguageKey), English);
    EXPECT_EQ(Ui.Asked().size(), 2);

    // A language the output reads as Chinese stays Chinese.
    Page.SetValues(LanguageKey, QStringLiteral(" "));
    Other.LoadFromPage(Page);
    EXPECT_EQ(Other.ComboBox1->currentIndex(), 0);
    Other.Button1->click();
    EXPECT_EQ(Page.Values(LanguageKey), Chinese);
}

TEST_F(PageSettingsDialog, StylesComeFromTheHtmlFolderWithTheirDescription)
{
    MakeStyle(QStringLiteral("春天系列"), QStringLiteral("春天的\r\n颜色\r\n"));
    MakeStyle(QStringLiteral("冬天系列"), QStringLiteral("白色"));
    MakeStyle(QStringLiteral("无简介"), QString());
    TScriptedUi Ui;
    TForm3 Form(nullptr);
    Form.ComboBox2->setEditText(QStringLiteral("春天系列"));
    Form.show();
    QStringList Items;
    for (int I = 0; I < Form.ComboBox2->count(); ++I)
        Items << Form.ComboBox2->itemText(I);
    EXPECT_EQ(Items.size(), 3);
    EXPECT_TRUE(Items.contains(QStringLiteral("无简介")));
    EXPECT_EQ(Form.ComboBox2->currentText(), QStringLiteral("春天系列")) << "the page's style stays";
    EXPECT_EQ(Form.Label3->text(), QStringLiteral("春天的颜色"));
    EXPECT_EQ(Form.StyleDescription()->Count(), 2);

    Pick(Form.ComboBox2, int(Items.indexOf(QStringLiteral("冬天系列"))));
    EXPECT_EQ(Form.Label3->text(), QStringLiteral("白色"));

    // Choosing a style without a description is an error the user sees.
    Ui.Answer({IDOK});
    Pick(Form.ComboBox2, int(Items.indexOf(QStringLiteral("无简介"))));
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_TRUE(Ui.Asked()[0].Text.contains(QStringLiteral("简介.txt"))) << Ui.Asked()[0].Text.toStdString();
    EXPECT_EQ(Form.Label3->text(), QString());
    Form.hide();

    // A style that is no folder gives way to the first one; the dialog still opens
    // when that one has no description.
    Form.ComboBox2->setEditText(QStringLiteral("../etc"));
    Form.show();
    EXPECT_EQ(Form.ComboBox2->currentIndex(), 0);
    EXPECT_EQ(Form.ComboBox2->currentText(), Items.first());
    Form.hide();
}

TEST_F(PageSettingsDialog, DefaultsFileFollowsTheCheckBoxOnlyWhenConfirmed)
{
    TScriptedUi Ui;
    TPageDocument Page = NewPage();
    TForm3 Form(nullptr);
    Form.PageText = &Page;
    Form.LoadFromPage(Page);
    Form.CheckBox1->click();
    ASSERT_TRUE(Form.CheckBox1->isChecked());
    Form.CellGrid1->SetCells(1, rowCatalogName, QStringLiteral("默认名称"));
    Form.CellGrid1->SetCells(1, rowRemark, QString());
    Form.CellGrid1->SetCells(1, rowCustomerName, QStringLiteral("甲\r\n乙"));
    Form.Button1->click();
    const QStringList Lines = GbkLines(DefaultsFileName());
    ASSERT_EQ(Lines.size(), 20);
    QStringList Keys;
    for (const QString &L : Lines.mid(1))
        Keys << L.left(L.indexOf(QLatin1Char('=')) + 1);
    QStringList Want;
    for (const QString &K : TPageDocument::HeaderKeys)
        Want << K + QLatin1Char('=');
    EXPECT_EQ(Keys, Want);
    EXPECT_EQ(Lines[2], QStringLiteral("{Catalog名称}=默认名称"));
    EXPECT_EQ(Lines[11], QStringLiteral("{图片宽}=0"));
    EXPECT_EQ(Lines[5], QStringLiteral("{客户名称}=甲 乙"));
    EXPECT_EQ(Lines[19], QStringLiteral("{Catalog说明}="));

    // The next new page starts from exactly these values.
    TPageDocument Next;
    TNewPageDefaults D;
    D.DefaultsFile = DefaultsFileName();
    EXPECT_TRUE(Next.InitNewPageText(D));
    for (const QString &K : TPageDocument::HeaderKeys)
        EXPECT_EQ(Next.Values(K).trimmed(), Page.Values(K).trimmed()) << K.toStdString();

    // Unticking and cancelling keeps the file; unticking and confirming removes it.
    Form.show();
    Form.CheckBox1->click();
    Form.Button2->click();
    EXPECT_EQ(Form.result(), 2);
    EXPECT_TRUE(QFile::exists(DefaultsFileName()));
    Form.show();
    EXPECT_FALSE(Form.CheckBox1->isChecked());
    Form.Button1->click();
    EXPECT_TRUE(QFile::exists(DefaultsFileName())) << "the box was not unticked this time";
    Form.show();
    Form.CheckBox1->click();
    Form.CheckBox1->click();
    ASSERT_FALSE(Form.CheckBox1->isChecked());
    Form.Button1->click();
    EXPECT_EQ(Form.result(), 1);
    EXPECT_FALSE(QFile::exists(DefaultsFileName()));
    EXPECT_TRUE(Ui.Asked().isEmpty());
}

TEST_F(PageSettingsDialog, FolderButtonPutsTheChosenFolderAndCancelKeepsTheOld)
{
    TScriptedUi Ui;
    TForm3 Form(nullptr);
    QString S = QStringLiteral("/old");
    Ui.AnswerFolders({QStringLiteral("/srv/新输出")});
    Form.CellGrid1EllipsClick(Form.CellGrid1, 1, rowOutputFolder, S);
    EXPECT_EQ(S, QStringLiteral("/srv/新输出"));
    EXPECT_EQ(Ui.FolderCaptions(), QStringList{QStringLiteral("请选择一个文件夹：")});
    Ui.AnswerFolders({QString()});
    Form.CellGrid1EllipsClick(Form.CellGrid1, 1, rowOutputFolder, S);
    EXPECT_EQ(S, QStringLiteral("/srv/新输出"));
    Form.CellGrid1EllipsClick(Form.CellGrid1, 1, rowOrderMail, S);   // no browser for other rows
    EXPECT_EQ(Ui.FolderCaptions().size(), 2);
}

// ---------------------------------------------------------------- main window

namespace {

class MainWindowDialogs : public PageSettingsDialog {
protected:
    std::unique_ptr<TForm1> Start(const QStringList &Args)
    {
        QDir().mkpath(Program.File(QStringLiteral("目录册")));
        return NewWindow(Args, true);
    }
    QString WritePage()
    {
        TPageDocument Page = NewPage();
        Page.SetLines(Page.Lines() + QStringList{TPageDocument::MarkerComment, TPageDocument::DetailLine, QString()});
        const QString Path = Program.File(QStringLiteral("页面.qbt"));
        Page.SaveToFile(Path);
        return Path;
    }
};

} // namespace

TEST_F(MainWindowDialogs, PageHeaderAfterOkAndAfterCancel)
{
    TScriptedUi Ui;
    auto Form = Start({WritePage()});
    ASSERT_FALSE(Form->SpeedButton9->isEnabled());
    const QStringList Before = Form->Page().Lines();

    Ui.InDialog([](QDialog *D) {
        auto *F = qobject_cast<TForm3 *>(D);
        ASSERT_NE(F, nullptr);
        F->CellGrid1->SetCells(1, rowCustomerCompany, QStringLiteral("乙公司"));
        F->Button2->click();
    });
    Form->SpeedButton8->click();
    EXPECT_EQ(Ui.Dialogs, QStringList{QStringLiteral("Form3")});
    EXPECT_EQ(Form->Page().Lines(), Before);
    EXPECT_FALSE(Form->SpeedButton9->isEnabled());

    Ui.InDialog([](QDialog *D) {
        auto *F = qobject_cast<TForm3 *>(D);
        EXPECT_EQ(F->CellGrid1->Cells(1, rowCustomerCompany), QString()) << "the page's value, not the cancelled one";
        F->CellGrid1->SetCells(1, rowCustomerCompany, QStringLiteral("乙公司"));
        F->Button1->click();
    });
    Form->findChild<QAction *>(QStringLiteral("N120"))->trigger();
    EXPECT_EQ(Form->Page().Values(QStringLiteral("{客户公司名}")), QStringLiteral("乙公司"));
    EXPECT_EQ(Form->Page().Strings(6), QStringLiteral("{客户公司名}=乙公司"));
    EXPECT_EQ(Form->RichEdit1->toPlainText().split(QLatin1Char('\n')).value(6), QStringLiteral("{客户公司名}=乙公司"));
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
    EXPECT_FALSE(Form->FPageSaved);
    EXPECT_EQ(Form->Page().Count(), Before.size());
}

TEST_F(MainWindowDialogs, NewPageTakesTheContactFromEitherFormOfTheCompanyLine)
{
    for (const QString &Line : {QStringLiteral("联系人=Wang"), QStringLiteral("Wang")}) {
        WriteGbk(Program.File(QStringLiteral("cols1.dat")),
                 QStringLiteral("中文内容\r\n甲公司\r\n") + Line + QStringLiteral("\r\n\r\n\r\n\r\n\r\n邮件=cn@example.cn\r\n"));
        TScriptedUi Ui;
        auto Form = Start({});
        Form->NewPage();
        EXPECT_EQ(Form->Page().Values(QStringLiteral("{业务员名}")), QStringLiteral("Wang")) << Line.toStdString();
        EXPECT_EQ(Form->Page().Values(QStringLiteral("{订单接收email地址}")), QStringLiteral("cn@example.cn"));
        Ui.Answer({IDNO});
        Form->close();
    }
}

TEST_F(MainWindowDialogs, OutputLanguageSwitch)
{
    TScriptedUi Ui;
    auto Form = Start({});
    QAction *N124 = Form->findChild<QAction *>(QStringLiteral("N124"));
    ASSERT_NE(N124, nullptr);
    EXPECT_EQ(N124->text(), QStringLiteral("切换"));
    EXPECT_EQ(Form->findChild<QAction *>(QStringLiteral("N122"))->menu()->actions().value(0), N124);

    Ui.Answer({IDOK});
    N124->trigger();
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked()[0].Text, QStringLiteral("当前没有打开页面，不能执行此操作。"));
    EXPECT_EQ(Ui.Asked()[0].Caption, QStringLiteral("输出语言改变"));
    EXPECT_EQ(Ui.Asked()[0].Flags, MB_OK | MB_ICONINFORMATION);
    Form.reset();

    Form = Start({WritePage()});
    Ui.ClearAsked();
    N124 = Form->findChild<QAction *>(QStringLiteral("N124"));
    Ui.Answer({IDNO});
    N124->trigger();
    EXPECT_EQ(Form->Page().Values(LanguageKey), Chinese);
    Ui.Answer({IDYES, IDOK});
    N124->trigger();
    EXPECT_EQ(Form->Page().Values(LanguageKey), English);
    Ui.Answer({IDOK});
    N124->trigger();
    EXPECT_EQ(Form->Page().Values(LanguageKey), Chinese);
    EXPECT_EQ(Ui.Texts(), (QStringList{
                              Ui.Asked()[0].Text, Ui.Asked()[0].Text,
                              QStringLiteral("输出语言已经更改为“英文”。"),
                              QStringLiteral("输出语言已经更改为“中文”。"),
                          }));
    EXPECT_TRUE(Ui.Asked()[0].Text.startsWith(QStringLiteral("输出语言如果从“中文”改为英文")));
    EXPECT_EQ(Ui.Asked()[0].Flags, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(Form->Page().Count(), 23) << "the language line changes in place";
    EXPECT_TRUE(Form->SpeedButton9->isEnabled());
    Ui.Answer({IDNO});
    Form->close();
}

// ---------------------------------------------------------------- editing in the grid

namespace {

void Activate(QWidget *W)
{
    W->show();
    W->activateWindow();
    QApplication::setActiveWindow(W);
    QApplication::processEvents();
}

QWidget *Focused()
{
    QWidget *W = QApplication::focusWidget();
    return W ? W : QApplication::activeWindow();
}

void Goto(TCellGrid *G, int ACol, int ARow)
{
    G->setFocus();
    G->SetCol(ACol);
    G->SetRow(ARow);
    QApplication::processEvents();
}

} // namespace

TEST_F(PageSettingsDialog, CellsEditWithTheirEditorKinds)
{
    TScriptedUi Ui;
    TForm3 Form(nullptr);
    Form.resize(500, 700);
    Activate(&Form);
    TCellGrid *G = Form.CellGrid1;

    // Picture width: digits only.
    Goto(G, 1, rowPictureWidth);
    QTest::keyClick(Focused(), Qt::Key_F2);
    ASSERT_TRUE(G->CellEditor() && G->CellEditor()->isVisible());
    G->CellEditor()->selectAll();
    QTest::keyClicks(Focused(), QStringLiteral("1a2"));
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(G->Cells(1, rowPictureWidth), QStringLiteral("12"));

    // Output type: a drop-down list of the five types.
    Goto(G, 1, rowOutputType);
    QTest::keyClick(Focused(), Qt::Key_F2);
    TGridCombo *Combo = G->InplaceCombo();
    ASSERT_TRUE(Combo->isVisible());
    EXPECT_EQ(Combo->count(), 5);
    EXPECT_EQ(Combo->currentText(), QStringLiteral("CHM(帮助文件类型)"));
    Combo->setCurrentIndex(3);
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_FALSE(Combo->isVisible());
    EXPECT_EQ(G->Cells(1, rowOutputType), QStringLiteral("ZIP(压缩文件类型)"));

    // Output folder: the button opens the folder browser.
    Goto(G, 1, rowOutputFolder);
    QTest::keyClick(Focused(), Qt::Key_F2);
    TGridEditBtn *Btn = G->GridEditBtn();
    ASSERT_TRUE(Btn->isVisible());
    Ui.AnswerFolders({QStringLiteral("/srv/目录")});
    QString S = Btn->text();
    G->EllipsClick(1, rowOutputFolder, S);
    EXPECT_EQ(S, QStringLiteral("/srv/目录"));
    EXPECT_EQ(Ui.FolderCaptions(), QStringList{QStringLiteral("请选择一个文件夹：")});
    Form.hide();
}

// ---------------------------------------------------------------- keys in the dialogs

namespace {

// The names of the widgets the Tab key visits from the focused one, Count presses.
QStringList TabWalk(int Count)
{
    QStringList Names;
    for (int I = 0; I < Count; ++I) {
        QTest::keyClick(Focused(), Qt::Key_Tab);
        Names << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    return Names;
}

// Types Text key by key, each key going where the focus is then (the first
// key into a grid opens its editor, which takes the rest).
void Type(const QString &Text)
{
    for (QChar C : Text)
        QTest::sendKeyEvent(QTest::Click, Focused(), Qt::Key_unknown, QString(C), Qt::NoModifier);
}

} // namespace

TEST_F(PageSettingsDialog, EnterEscapeAndTabInTheDialogs)
{
    TScriptedUi Ui;

    // 公司信息 opens with the focus in its grid: Escape cancels, Enter saves.
    TForm4 Company(nullptr);
    Activate(&Company);
    ASSERT_EQ(QApplication::focusWidget(), Company.CellGrid1);
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_FALSE(Company.isVisible());
    EXPECT_EQ(Company.result(), 2);
    EXPECT_FALSE(QFile::exists(Program.File(QStringLiteral("cols3.dat"))));
    Activate(&Company);
    Goto(Company.CellGrid1, 3, 1);
    // An open cell editor takes Escape first: the edit is cancelled, the dialog stays.
    Type(QStringLiteral("{x}=y"));
    ASSERT_TRUE(Company.CellGrid1->Editing());
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_FALSE(Company.CellGrid1->Editing());
    EXPECT_TRUE(Company.isVisible());
    EXPECT_EQ(Company.CellGrid1->Cells(3, 1), QString());
    // Enter ends an edit; a second Enter presses 保存.
    Type(QStringLiteral("{x}=y"));
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_TRUE(Company.isVisible());
    EXPECT_EQ(Company.CellGrid1->Cells(3, 1), QStringLiteral("{x}=y"));
    Goto(Company.CellGrid1, 3, 1);
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_FALSE(Company.isVisible());
    EXPECT_EQ(Company.result(), 6);
    EXPECT_EQ(LoadLines(Program.File(QStringLiteral("cols3.dat"))).value(1), QStringLiteral("{x}=y"));
    // Tab goes as the eye does: 仅保存自定义信息, 保存, 取消, back to the grid.
    Activate(&Company);
    Company.CellGrid1->setFocus();
    EXPECT_EQ(TabWalk(4), (QStringList{QStringLiteral("Button3"), QStringLiteral("Button1"), QStringLiteral("Button2"),
                                       QStringLiteral("CellGrid1")}));
    // Enter on a focused button presses that button.
    TabWalk(3);
    ASSERT_EQ(QApplication::focusWidget(), Company.Button2);
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_EQ(Company.result(), 2);

    // 页面设置: the same in its grid; Enter presses 确定.
    TForm3 Settings(nullptr);
    Activate(&Settings);
    ASSERT_EQ(QApplication::focusWidget(), Settings.CellGrid1);
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_FALSE(Settings.isVisible());
    EXPECT_EQ(Settings.result(), 2);
    Activate(&Settings);
    Settings.CellGrid1->setFocus();
    EXPECT_EQ(TabWalk(7), (QStringList{QStringLiteral("ComboBox1"), QStringLiteral("ComboBox2"), QStringLiteral("CheckBox1"),
                                       QStringLiteral("Button3"), QStringLiteral("Button1"), QStringLiteral("Button2"),
                                       QStringLiteral("CellGrid1")}));
    Goto(Settings.CellGrid1, 1, rowCatalogName);
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_FALSE(Settings.isVisible());
    EXPECT_EQ(Settings.result(), 1);

    // 目录册信息: Enter in the name field presses 保存 (no save dialog); Escape is 取消.
    TForm7 Book(nullptr);
    Activate(&Book);
    Book.Edit1->setFocus();
    EXPECT_EQ(TabWalk(9), (QStringList{QStringLiteral("Edit2"), QStringLiteral("Button1"), QStringLiteral("Edit3"),
                                       QStringLiteral("Button4"), QStringLiteral("CheckBox1"), QStringLiteral("CheckBox2"),
                                       QStringLiteral("CheckBox3"), QStringLiteral("Button2"), QStringLiteral("Button3")}));
    Book.Edit1->setFocus();
    Book.Edit1->selectAll();
    Type(QStringLiteral("春季"));
    QTest::keyClick(Focused(), Qt::Key_Return);
    EXPECT_FALSE(Book.isVisible());
    EXPECT_EQ(Book.result(), 1);
    EXPECT_EQ(Book.CatalogPath, Program.File(QStringLiteral("目录册/春季.qbs")));
    EXPECT_TRUE(QFile::exists(Book.CatalogPath));
    Activate(&Book);
    Book.Edit3->setFocus();
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_FALSE(Book.isVisible());
    EXPECT_EQ(Book.result(), 2);
    EXPECT_TRUE(Book.Edit2->text().isEmpty()) << "取消 empties the fields";

    // 开始: the history and its buttons, then the commands; Escape closes it.
    TForm2 Start(nullptr);
    Activate(&Start);
    Start.ListBox1->setFocus();
    EXPECT_EQ(TabWalk(7), (QStringList{QStringLiteral("Button3"), QStringLiteral("Button4"), QStringLiteral("Button2"),
                                       QStringLiteral("Button1"), QStringLiteral("Button7"), QStringLiteral("Button6"),
                                       QStringLiteral("Button5")}));
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_FALSE(Start.isVisible());
    EXPECT_EQ(Start.result(), 2);

    // 搜索: Enter after the keyword searches; Escape closes.
    SaveLines(Program.File(QStringLiteral("history.txt")), {Program.File(QStringLiteral("目录册/春季.qbs"))});
    TForm8 Search(nullptr);
    Activate(&Search);
    Search.Edit1->setFocus();
    Type(QStringLiteral("春季"));
    Ui.Answer({IDOK});
    QTest::keyClick(Focused(), Qt::Key_Return);
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked().at(0).Text, QStringLiteral("搜索完毕，一共搜索了 1 个文件"));
    EXPECT_EQ(Search.ListBox1->count(), 1);
    EXPECT_TRUE(Search.isVisible());
    QTest::keyClick(Focused(), Qt::Key_Escape);
    EXPECT_FALSE(Search.isVisible());
    EXPECT_EQ(Search.result(), 2);
}
