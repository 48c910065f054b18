// The company information dialog: its grid, loading and saving the three
// company files, and the commands that open it.

#include "WindowFixture.h"
#include "catalog/document/CompanyFiles.h"
#include "catalog/forms/Forms.h"
#include "catalog/forms/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPushButton>

using namespace WindowFixture;

namespace {

QStringList Column(TCellGrid *G, int ACol)
{
    QStringList L;
    for (int R = 0; R < G->RowCount(); ++R)
        L << G->Cells(ACol, R);
    return L;
}

} // namespace

TEST(CompanyDialog, FolderRowsGetTheButtonEditor)
{
    TProgramFolder Program;
    TForm4 Form(nullptr);
    TCellGrid *G = Form.CellGrid1;
    EXPECT_TRUE(G->Options() & goEditing);
    EXPECT_TRUE(G->Multilinecells);
    for (int C = 1; C <= 3; ++C)
        for (int R = 1; R < 12; ++R) {
            TEditorType E = edPassword;
            G->GetCellEditor(C, R, E);
            EXPECT_EQ(E, (C < 3 && R >= 10) ? edEditBtn : edNormal) << C << "," << R;
        }
}

TEST(CompanyDialog, WithoutFilesSavingCreatesAllThreeWithTwelveLines)
{
    TProgramFolder Program;
    TScriptedUi Ui;
    TForm4 Form(nullptr);
    Form.show();
    TCellGrid *G = Form.CellGrid1;
    EXPECT_EQ(Column(G, 0), CompanyFiles::RowLabels());
    EXPECT_EQ(G->Cells(0, 11), QStringLiteral("Catalog输出路径"));
    EXPECT_EQ(G->Cells(1, 0), QStringLiteral("中文内容"));
    EXPECT_EQ(G->Cells(2, 0), QStringLiteral("英文内容"));
    EXPECT_EQ(G->Cells(3, 0), QStringLiteral("自定义内容，格式：{name}=text"));
    for (int C = 1; C <= 3; ++C)
        EXPECT_EQ(Column(G, C).mid(1), QStringList(11)) << C;

    G->SetCells(1, CompanyFiles::lnContact, QStringLiteral("王五"));
    G->SetCells(2, CompanyFiles::lnContact, QStringLiteral("Wang\r\nWu"));   // typed over two lines
    G->SetCells(3, 1, QStringLiteral("{$HOTLINE}=400-800"));
    Form.Button1->click();
    EXPECT_EQ(Form.result(), 6);
    const QStringList Cols1 = GbkLines(Program.File(QStringLiteral("cols1.dat")));
    const QStringList Cols2 = GbkLines(Program.File(QStringLiteral("cols2.dat")));
    const QStringList Cols3 = GbkLines(Program.File(QStringLiteral("cols3.dat")));
    ASSERT_EQ(Cols1.size(), 12);
    ASSERT_EQ(Cols2.size(), 12);
    ASSERT_EQ(Cols3.size(), 12);
    EXPECT_EQ(Cols1[0], QStringLiteral("中文内容"));
    EXPECT_EQ(Cols1[2], QStringLiteral("王五"));
    EXPECT_EQ(Cols2[2], QStringLiteral("Wang Wu"));
    EXPECT_EQ(Cols3[0], QStringLiteral("自定义内容，格式：{name}=text"));
    EXPECT_EQ(Cols3[1], QStringLiteral("{$HOTLINE}=400-800"));
    EXPECT_EQ(CompanyFiles::ReadDatLine(Program.File(QStringLiteral("cols1.dat")), CompanyFiles::lnContact),
              QStringLiteral("王五"));
    Form.hide();

    // Shown again, the files fill the columns.
    Form.show();
    EXPECT_EQ(G->Cells(2, 2), QStringLiteral("Wang Wu"));
    EXPECT_EQ(G->Cells(3, 1), QStringLiteral("{$HOTLINE}=400-800"));
    Form.hide();
    EXPECT_TRUE(Ui.Asked().isEmpty());
}

TEST(CompanyDialog, CustomOnlySaveCancelAndLongFiles)
{
    TProgramFolder Program;
    TScriptedUi Ui;
    QStringList Long;
    for (int I = 0; I < 14; ++I)
        Long << QStringLiteral("行%1").arg(I);
    const QString LongText = Long.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    WriteGbk(Program.File(QStringLiteral("cols1.dat")), LongText);
    WriteGbk(Program.File(QStringLiteral("cols3.dat")), QStringLiteral("标题\r\n{a}=1\r\n"));

    TForm4 Form(nullptr);
    Form.show();
    TCellGrid *G = Form.CellGrid1;
    EXPECT_EQ(Column(G, 1), Long.mid(0, 12));
    EXPECT_EQ(G->Cells(2, 0), QStringLiteral("英文内容")) << "no cols2.dat: the heading stays";
    EXPECT_EQ(G->Cells(3, 1), QStringLiteral("{a}=1"));

    G->SetCells(1, 1, QStringLiteral("改过"));
    G->SetCells(3, 2, QStringLiteral("{b}=2"));
    Form.Button2->click();
    EXPECT_EQ(Form.result(), 2);
    EXPECT_EQ(ReadGbk(Program.File(QStringLiteral("cols1.dat"))), LongText);
    EXPECT_EQ(ReadGbk(Program.File(QStringLiteral("cols3.dat"))), QStringLiteral("标题\r\n{a}=1\r\n"));
    Form.hide();

    Form.show();
    EXPECT_EQ(G->Cells(3, 2), QString()) << "cancelled edits are gone";
    G->SetCells(1, 1, QStringLiteral("改过"));
    G->SetCells(3, 2, QStringLiteral("{b}=2"));
    Form.Button3->click();
    EXPECT_EQ(Form.result(), 5);
    EXPECT_EQ(ReadGbk(Program.File(QStringLiteral("cols1.dat"))), LongText) << "only the custom file is saved";
    EXPECT_FALSE(QFile::exists(Program.File(QStringLiteral("cols2.dat"))));
    EXPECT_EQ(GbkLines(Program.File(QStringLiteral("cols3.dat"))).value(2), QStringLiteral("{b}=2"));
    Form.hide();

    Form.show();
    G->SetCells(1, 1, QStringLiteral("改过"));
    Form.Button1->click();
    const QStringList Cols1 = GbkLines(Program.File(QStringLiteral("cols1.dat")));
    ASSERT_EQ(Cols1.size(), 14) << "the lines the grid does not show are kept";
    EXPECT_EQ(Cols1[1], QStringLiteral("改过"));
    EXPECT_EQ(Cols1[12], QStringLiteral("行12"));
    EXPECT_EQ(Cols1[13], QStringLiteral("行13"));
    Form.hide();
    EXPECT_TRUE(Ui.Asked().isEmpty());
}

TEST(CompanyDialog, FolderButtonsOfTheTwoFolderRows)
{
    TProgramFolder Program;
    TScriptedUi Ui;
    TForm4 Form(nullptr);
    QString S = QStringLiteral("/old");
    Ui.AnswerFolders({QStringLiteral("/srv/工程"), QString()});
    Form.CellGrid1EllipsClick(Form.CellGrid1, 2, CompanyFiles::lnProjectFolder, S);
    EXPECT_EQ(S, QStringLiteral("/srv/工程"));
    Form.CellGrid1EllipsClick(Form.CellGrid1, 1, CompanyFiles::lnOutputFolder, S);
    EXPECT_EQ(S, QStringLiteral("/srv/工程")) << "a cancelled browser keeps the folder";
    Form.CellGrid1EllipsClick(Form.CellGrid1, 3, CompanyFiles::lnOutputFolder, S);
    EXPECT_EQ(Ui.FolderCaptions(), (QStringList{QStringLiteral("请选择一个文件夹："), QStringLiteral("请选择一个文件夹：")}));

    // A folder whose name holds "=" is read back whole, not from its "=" on.
    Ui.AnswerFolders({QStringLiteral("/srv/价格=2024")});
    Form.CellGrid1EllipsClick(Form.CellGrid1, 1, CompanyFiles::lnOutputFolder, S);
    Form.CellGrid1->SetCells(1, CompanyFiles::lnOutputFolder, S);
    Form.Button1->click();
    EXPECT_EQ(CompanyFiles::ReadDatLine(CompanyFiles::FileName(1), CompanyFiles::lnOutputFolder),
              QStringLiteral("/srv/价格=2024"));
}

TEST(CompanyDialog, OpenedFromTheMenuAndFromThePageSettingsDialog)
{
    TProgramFolder Program;
    TScriptedUi Ui;
    auto Form = NewWindow({}, true);
    Ui.Dialogs.clear();
    QAction *N18 = Form->findChild<QAction *>(QStringLiteral("N18"));
    ASSERT_NE(N18, nullptr);
    N18->trigger();
    Form->Button2->click();
    Form->Form3->Button3->click();
    EXPECT_EQ(Ui.Dialogs, (QStringList{QStringLiteral("Form4"), QStringLiteral("Form4"), QStringLiteral("Form4")}));
}
