#include "CompanyDialog.h"

#include "DialogGrids.h"
#include "MainWindow.h"
#include "catalog/document/CompanyFiles.h"
#include "platform/services/Prompts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QString FolderCaption = QStringLiteral("请选择一个文件夹：");

bool IsFolderCell(int ACol, int ARow)
{
    return (ACol == 1 || ACol == 2)
        && (ARow == CompanyFiles::lnProjectFolder || ARow == CompanyFiles::lnOutputFolder);
}

} // namespace

TForm4::TForm4(QWidget *Parent) : TCatalogDialog(Parent, QStringLiteral("Form4"), QStringLiteral("公司信息"))
{
    CellGrid1 = new TCellGrid(this);
    CellGrid1->setObjectName(QStringLiteral("CellGrid1"));
    CellGrid1->SetColCount(4);
    CellGrid1->SetRowCount(CompanyFiles::LineCount);
    CellGrid1->SetFixedCols(1);
    CellGrid1->SetFixedRows(1);
    const int Widths[] = {102, 285, 279, 271};
    for (int C = 0; C < 4; ++C)
        CellGrid1->SetColWidths(C, Widths[C]);
    CellGrid1->SetDefaultRowHeight(21);
    for (int R = 0; R < CompanyFiles::LineCount; ++R)
        CellGrid1->SetRowHeights(R, 21);
    CellGrid1->SetOptions(CellGrid1->Options() | goEditing);
    CellGrid1->Multilinecells = true;
    // The columns are wider than a small screen: the grid scrolls sideways
    // inside a dialog that fits an 800 x 600 screen, with room for its bar.
    CellGrid1->setMinimumSize(360, 12 * 22 + 8 + style()->pixelMetric(QStyle::PM_ScrollBarExtent));

    Button1 = new QPushButton(QStringLiteral("保存"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("取消"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("仅保存自定义信息"), this);
    Button3->setObjectName(QStringLiteral("Button3"));

    auto *Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(Button3);
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto *Main = new QVBoxLayout(this);
    Main->addWidget(CellGrid1, 1);
    Main->addLayout(Buttons);
    resize(760, sizeHint().height());
    SetDialogButtons(Button1, Button2);
    PassDialogKeys(CellGrid1);
    SetTabOrder({CellGrid1, Button3, Button1, Button2});

    connect(Button1, &QPushButton::clicked, this, [this] { Guard([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guard([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guard([this] { Button3Click(); }); });
    CellGrid1->OnGetEditorType = [this](TObject *Sender, int ACol, int ARow, TEditorType &AEditor) {
        CellGrid1GetEditorType(Sender, ACol, ARow, AEditor);
    };
    CellGrid1->OnEllipsClick = [this](TObject *Sender, int ACol, int ARow, QString &S) {
        CellGrid1EllipsClick(Sender, ACol, ARow, S);
    };
}

void TForm4::showEvent(QShowEvent *Event)
{
    TCatalogDialog::showEvent(Event);
    Guard([this] { FormShow(); });
}

void TForm4::FormShow()
{
    const QStringList &Labels = CompanyFiles::RowLabels();
    const QStringList &Headings = CompanyFiles::Headings();
    for (int R = 0; R < CompanyFiles::LineCount; ++R)
        for (int C = 1; C <= 3; ++C)
            CellGrid1->SetCells(C, R, QString());
    for (int R = 0; R < CompanyFiles::LineCount; ++R)
        CellGrid1->SetCells(0, R, Labels.at(R));
    for (int C = 1; C <= 3; ++C)
        CellGrid1->SetCells(C, 0, Headings.at(C - 1));
    DialogGrids::FitLabelColumn(CellGrid1);
    // Each existing file fills its column from row 0 down.
    for (int C = 1; C <= 3; ++C) {
        const QStringList Lines = CompanyFiles::LoadFile(CompanyFiles::FileName(C));
        for (int R = 0; R < CompanyFiles::LineCount && R < Lines.size(); ++R)
            CellGrid1->SetCells(C, R, Lines.at(R));
    }
}

QStringList TForm4::ColumnCells(int ACol) const
{
    QStringList Cells;
    for (int R = 0; R < CompanyFiles::LineCount; ++R)
        Cells << CellGrid1->Cells(ACol, R);
    return Cells;
}

void TForm4::Button1Click()
{
    for (int C = 1; C <= 3; ++C)
        CompanyFiles::SaveFile(CompanyFiles::FileName(C), ColumnCells(C));
    SetModalResult(6);
}

void TForm4::Button2Click()
{
    SetModalResult(2);
}

void TForm4::Button3Click()
{
    CompanyFiles::SaveFile(CompanyFiles::FileName(3), ColumnCells(3));
    SetModalResult(5);
}

void TForm4::CellGrid1GetEditorType(TObject *, int ACol, int ARow, TEditorType &AEditor)
{
    AEditor = IsFolderCell(ACol, ARow) ? edEditBtn : edNormal;
}

void TForm4::CellGrid1EllipsClick(TObject *, int ACol, int ARow, QString &S)
{
    if (!IsFolderCell(ACol, ARow))
        return;
    // A cancelled browser leaves the folder as it was.
    const QString Folder = DialogGrids::BrowseForFolder(this, FolderCaption);
    if (Folder.isEmpty())
        return;
    // A line holding "=" is read from its first "=" on: a folder whose name
    // holds one goes in after its label, so that it is read back whole.
    S = Folder.contains(QLatin1Char('=')) ? CompanyFiles::RowLabels().at(ARow) + QLatin1Char('=') + Folder : Folder;
}
