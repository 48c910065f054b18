// The main window's product grid: blocks of six rows, one per product, and
// the commands that insert, delete, clear, exchange, move and search them.
// Every change reaches the page text at once.

#include "Forms.h"
#include "MainWindow.h"
#include "ProductPictures.h"
#include "catalog/document/ProductBlocks.h"

#include "platform/services/Application.h"
#include "platform/services/Prompts.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Shell.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <tuple>

using namespace ProductBlocks;

namespace {

const QString NoProjectQuestion =
    QStringLiteral("请先新建Catalog工程，或者打开一个已有的工程。要新建工程吗？");

bool Confirm(const QString &Text)
{
    return MessageDlg(Text, mtConfirmation, mbYesNo) == mrYes;
}

} // namespace

void TForm1::InsertProductBlock(int Row)
{
    QStringList Lines = FPage.Lines();
    const bool InText = InsertProduct(Lines, (Row - 1) / 6);
    InsertBlocksAt(Row, 1, InText ? &Lines : nullptr);
}

int TForm1::InsertProductBlocks(int Row, int Count)
{
    QStringList Lines = FPage.Lines();
    if (Count > 1 && InsertProducts(Lines, (Row - 1) / 6, Count)) {
        InsertBlocksAt(Row, Count, &Lines);
        return Count;
    }
    InsertProductBlock(Row);
    return 1;
}

void TForm1::InsertBlocksAt(int Row, int Count, const QStringList *Lines)
{
    const int K = (Row - 1) / 6;
    const int First = 6 * K + 1;
    const int CurrentCol = CellGrid1->Col(), CurrentRow = CellGrid1->Row();
    CellGrid1->InsertRows(First, 6 * Count);
    // Rows below moved down with their merges; the new rows get their own.
    for (int J = 0; J < Count; ++J)
        SetupBlock(First + 6 * J, K + 1 + J);
    if (Lines)
        FPage.SetLines(*Lines);
    for (int I = 1; I < CellGrid1->RowCount(); ++I)
        if (I % 6 == 1)
            FGridAccess->SetCells(0, I, QString::number((I - 1) / 6 + 1));
    // The current row stays where it was, so it now lies in the new block.
    if (CurrentRow >= 1)
        CellGrid1->SetCurrentCell(CurrentCol, CurrentRow);
}

void TForm1::CellGrid1SelectCell(int ACol, int ARow)
{
    // The block's line is found where the page document writes the cell's
    // value, without a search of the page for every cell the user steps on.
    if (ARow < 1)
        return;
    const int Line = LineOfCell(FPage.FindBlockLine(BlockOfRow(ARow)), FPage.Count(), ACol, ARow);
    if (Line < 0)
        return;
    const QTextBlock Block = RichEdit1->document()->findBlockByNumber(Line);
    if (!Block.isValid())
        return;
    QTextCursor C(Block);
    C.setPosition(Block.position() + CaretInLine(Block.text()));
    RichEdit1->setTextCursor(C);
    // The line becomes the second visible line of the text box.
    RichEdit1->verticalScrollBar()->setValue(qMax(0, Line - 1));
}

void TForm1::CellGrid1DblClickCell(int ARow, int ACol, bool Ctrl)
{
    if (ACol != 1) {
        GroupBox1->setVisible(GroupBox1->isHidden());
        return;
    }
    if (ARow < 1 || ARow % 6 == 0)
        return;
    const QString Path = FGridAccess->Cells(1, ARow + (6 - ARow % 6));
    if (Path.isEmpty())
        return;
    CellGrid1->SetCurrentCell(ACol, ARow);
    if (Ctrl)
        OpenInShell(this, Path);
    else
        N76Click();
}

void TForm1::CellGrid1EllipsClick(int ACol, int ARow, QString &S)
{
    if (ACol != 1 || ARow < 6 || ARow % 6 != 0)
        return;
    TOpenPictureDialog Dialog;
    Dialog.OwnerWindow = this;
    Dialog.Filter = QStringLiteral(
        "全部(*.gif;*.jpg;*.bmp)|*.gif;*.jpg;*.bmp;|GIF Image (*.gif)|*.gif|JPEG Image File (*.jpg)|*.jpg|"
        "Bitmaps (*.bmp)|*.bmp|任意文件(*.*)|*.*");
    if (!Dialog.Execute())
        return;
    // The page stores the picture as every added picture is stored (relative
    // to its folder when it lies below it); the cell shows the file itself.
    S = QFileInfo(Dialog.FileName).absoluteFilePath();
    FGridAccess->ClearCellPicture(1, ARow - 5);
    FGridAccess->LoadCellPicture(1, ARow - 5, S);
    FGridAccess->SetCells(1, ARow, ProductPictures::StoredPicturePath(FPagePath, S));
    StoreProductBlock(1, ARow);
    FGridAccess->SetCells(1, ARow, S);
}

void TForm1::SpeedButton4Click()
{
    if (!CheckPageOpen(QStringLiteral("删除单个")))
        return;
    const int N = BlockOfRow(CellGrid1->Row());
    if (!Confirm(QStringLiteral("是否确定删除第%1个商品资料？").arg(N)))
        return;
    TWaitCursor Wait;
    CellGrid1->SetCurrentCell(CellGrid1->Col(), 1);
    QStringList Lines = FPage.Lines();
    if (DeleteProduct(Lines, N))
        FPage.SetLines(Lines);
    ResetGrid();
    LoadGridFromPage();
}

void TForm1::BitBtn1Click()
{
    if (!CheckPageOpen(QStringLiteral("删除全部")))
        return;
    if (!Confirm(QStringLiteral("确定删除此catalog内的全部商品资料？")))
        return;
    ResetGrid();
    QStringList Lines = FPage.Lines();
    DeleteAllProducts(Lines);
    FPage.SetLines(Lines);
}

void TForm1::N51Click()
{
    const int N = BlockOfRow(CellGrid1->Row());
    if (!Confirm(QStringLiteral("是否清除第%1个商品资料？").arg(N)))
        return;
    const int R = FirstRowOfBlock(N);
    const QList<QPair<int, int>> Cells{{3, R}, {5, R}, {3, R + 1}, {5, R + 1}, {3, R + 2}, {5, R + 2},
                                       {1, R + 5}, {3, R + 3}};
    for (const auto &Cell : Cells) {
        FGridAccess->SetCells(Cell.first, Cell.second, QString());
        StoreProductBlock(Cell.first, Cell.second);
    }
    FGridAccess->ClearCellPicture(1, R);
}

void TForm1::Button4Click()
{
    if (!HasPage()) {
        if (MessageDlg(NoProjectQuestion, mtConfirmation, mbOKCancel) == mrOk)
            NewPage();
        return;
    }
    const int Row = CellGrid1->Row();
    InsertProductBlock(Row);
    StoreProductBlock(1, PathRowOfBlock(BlockOfRow(Row)));
}

void TForm1::StorePicturePath(int N, const QString &File, const QString &Stored)
{
    const QString PageFolder = DocumentFolder(FPagePath);
    const int Row = PathRowOfBlock(N);
    // The page line is written from the cell: the cell holds the stored form
    // while it is written, then the file it names, as a loaded page shows it.
    FGridAccess->SetCells(1, Row, TPageDocument::PictureValueLike(Stored, File, PageFolder, ProgramFolder()));
    StoreProductBlock(1, Row);
    FGridAccess->SetCells(1, Row, File);
}

void TForm1::SwapProducts(int A, int B, bool PicturesOnly)
{
    if (A == B)
        return;
    if (!ProductsExist(A, B, CellGrid1->RowCount())) {
        MessageDlg(QStringLiteral("资料序号不存在"), mtWarning, mbOKOnly);
        return;
    }
    // The cells show where the pictures are; each picture goes with the form
    // its page line had (a relative path stays relative).
    const QString PathA = FGridAccess->Cells(1, PathRowOfBlock(A));
    const QString PathB = FGridAccess->Cells(1, PathRowOfBlock(B));
    const QString StoredA = FPage.StoredPicture(A), StoredB = FPage.StoredPicture(B);
    for (const auto &[N, Path, Stored] : {std::tuple{A, PathB, StoredB}, std::tuple{B, PathA, StoredA}}) {
        const int First = FirstRowOfBlock(N);
        FGridAccess->ClearCellPicture(1, First);
        if (!Path.isEmpty())
            FGridAccess->LoadCellPicture(1, First, Path);
        StorePicturePath(N, Path, Stored);
    }
    if (PicturesOnly)
        return;
    const int RA = FirstRowOfBlock(A), RB = FirstRowOfBlock(B);
    const QList<QPair<int, int>> Cells{{3, 0}, {5, 0}, {3, 1}, {5, 1}, {3, 2}, {5, 2}, {3, 3}};
    for (const auto &Cell : Cells) {
        const QString ValueA = FGridAccess->Cells(Cell.first, RA + Cell.second);
        const QString ValueB = FGridAccess->Cells(Cell.first, RB + Cell.second);
        FGridAccess->SetCells(Cell.first, RA + Cell.second, ValueB);
        StoreProductBlock(Cell.first, RA + Cell.second);
        FGridAccess->SetCells(Cell.first, RB + Cell.second, ValueA);
        StoreProductBlock(Cell.first, RB + Cell.second);
    }
}

namespace {

// The exchange box; false when nothing is to be exchanged.
bool AskSwap(int &A, int &B)
{
    QString Answer;
    if (!InputQuery(QStringLiteral("请输入"), QStringLiteral("输入要交换的资料序号用空格隔开，比如 3 5     "), Answer))
        return false;
    switch (ParseSwapInput(Answer, A, B)) {
    case siEmpty:
        return false;
    case siInvalid:
        ShowMessage(QStringLiteral("无效的输入，格式必须为 “资料序号 空格 资料序号”例：3 7"));
        return false;
    case siNumbers:
        break;
    }
    return true;
}

} // namespace

void TForm1::N61Click()
{
    int A = 0, B = 0;
    if (AskSwap(A, B))
        SwapProducts(A, B, true);
}

void TForm1::N62Click()
{
    int A = 0, B = 0;
    if (AskSwap(A, B))
        SwapProducts(A, B, false);
}

void TForm1::N77Click()
{
    const int C = BlockOfRow(CellGrid1->Row());
    QString Answer = QString::number(C);
    if (!InputQuery(QStringLiteral("请输入"),
                    QStringLiteral("请输入要把当前资料移动到的目的序号，例如 5，其间的资料会自动后退或前移     "), Answer))
        return;
    const int T = StrToInt(Answer.trimmed());
    const QList<QPair<int, int>> Steps = MoveSteps(C, T, CellGrid1->RowCount());
    if (Steps.isEmpty())
        return;
    TWaitCursor Wait;
    for (const auto &Step : Steps)
        SwapProducts(Step.first, Step.second, false);
}

void TForm1::FindNextProduct(const QString &Text, bool Continue)
{
    const int Start = Continue ? FSearchRow : 1;
    int ACol = 0, ARow = 0;
    const bool Found = FindProduct([this](int C, int R) { return FGridAccess->Cells(C, R); },
                                   CellGrid1->RowCount(), Text, Start, ACol, ARow);
    if (Found) {
        // The grid takes the focus first: the cell's editor, which opens as
        // the cell becomes current, then has it, and what is typed next goes
        // into the found cell (also when the search dialog closes after this).
        CellGrid1->setFocus();
        CellGrid1->SetCurrentCell(ACol, ARow);
        CellGrid1->ScrollBlockIntoView(ACol, ARow);
        FSearchRow = ARow + 1;
        return;
    }
    // A continued search that starts past the last row ends silently.
    if (Start < CellGrid1->RowCount())
        MessageBox(this, QStringLiteral("查找完毕，没有匹配的关键字。"), QStringLiteral("完毕"),
                   MB_OK | MB_ICONINFORMATION);
}

void TForm1::N114Click()
{
    if (Form8 && !Form8->Edit1->text().isEmpty())
        FindNextProduct(Form8->Edit1->text(), true);
}

void TForm1::PopupMenu1Popup()
{
    static const char *const Records[] = {"N51", "N60", "N61", "N62", "N63", "N65", "N69", "N77", "N78", "N79"};
    const bool FromAutoFill = Button6Tag == 9;
    for (const char *Name : Records)
        if (QAction *A = PopupMenu1->findChild<QAction *>(QString::fromLatin1(Name)))
            A->setVisible(!FromAutoFill);
    Button6Tag = 0;
}
