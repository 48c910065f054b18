// The cell text editor Edit1: laid over the focused text cell of the product
// grid, every change goes to the cell and the page text at once. Line breaks
// are the page's HTML tags inside it and real line ends on the clipboard.

#include "CellTextEditor.h"
#include "MainWindow.h"

#include "grid/CellGridEditors.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Clipboard.h"
#include "platform/services/Prompts.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>

using namespace CellTextEditor;

namespace {

void PostKey(QWidget *Target, int Key, int Times = 1)
{
    for (int I = 0; I < Times; ++I) {
        QCoreApplication::postEvent(Target, new QKeyEvent(QEvent::KeyPress, Key, Qt::NoModifier));
        QCoreApplication::postEvent(Target, new QKeyEvent(QEvent::KeyRelease, Key, Qt::NoModifier));
    }
}

// Hides the editor; the keyboard it had stays in the grid under it (Qt would
// hand it on to the next widget of the window, where the user's keys are lost).
// The same while another window is in front: the keyboard comes back to the grid.
void HideEditor(QLineEdit *Edit, QWidget *Grid)
{
    if (Edit->hasFocus() || Edit->window()->focusWidget() == Edit)
        Grid->setFocus();
    Edit->hide();
}

} // namespace

void TForm1::PlaceEdit1(int ACol, int ARow)
{
    // A click may land on any part of a merged cell (the description's lower
    // row, its right columns): the editor edits the cell the whole block
    // stands for, whose value the page holds.
    const TPoint B = CellGrid1->BaseCell(ACol, ARow);
    ACol = B.X;
    ARow = B.Y;
    if (!IsEditorCell(ACol, ARow)) {
        HideEditor(Edit1, CellGrid1);
        return;
    }
    FEditCol = ACol;
    FEditRow = ARow;
    const TRect R = CellGrid1->GetCellRect(ACol, ARow);
    const QRect Box(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
    Edit1->setGeometry(Box);
    {
        const QSignalBlocker Quiet(Edit1);
        Edit1->setText(FGridAccess->Cells(ACol, ARow));
    }
    Edit1->show();
    Edit1->setFocus();
}

void TForm1::FollowEdit1()
{
    if (!Edit1->isVisible())
        return;
    // A cell scrolled out of sight has an empty rectangle: the editor shrinks
    // with it rather than standing over another cell.
    const TRect R = CellGrid1->GetCellRect(FEditCol, FEditRow);
    const QRect Box(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
    if (Edit1->geometry() != Box)
        Edit1->setGeometry(Box);
    // The cell may have changed under the editor (a load, an insert, a delete).
    SyncEdit1();
}

void TForm1::SyncEdit1()
{
    if (!Edit1->isVisible())
        return;
    if (!IsEditorCell(FEditCol, FEditRow) || FEditRow >= CellGrid1->RowCount()) {
        HideEditor(Edit1, CellGrid1);
        return;
    }
    const QString Text = FGridAccess->Cells(FEditCol, FEditRow);
    if (Edit1->text() == Text)
        return;
    // The caret goes to the end, as when the editor comes to a cell.
    const QSignalBlocker Quiet(Edit1);
    Edit1->setText(Text);
}

void TForm1::Edit1Change()
{
    if (FPage.Count() < 5) {
        if (MessageDlg(QStringLiteral("请先新建Catalog页面，或者打开一个已有的目录册或页面。要新建吗？"), mtConfirmation,
                       mbOKCancel) == mrOk)
            NewPage();
        return;
    }
    if (!IsStoredCell(FEditCol, FEditRow) || Edit1->text() == FGridAccess->Cells(FEditCol, FEditRow))
        return;
    FGridAccess->SetCells(FEditCol, FEditRow, Edit1->text());
    StoreProductBlock(FEditCol, FEditRow);
}

bool TForm1::Edit1KeyDown(int Key, Qt::KeyboardModifiers Shift)
{
    const bool Plain = !Edit1->hasSelectedText();
    switch (Key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        HideEditor(Edit1, CellGrid1);
        PostKey(CellGrid1, Key);
        return true;
    // The edited cell's column, not the grid's current one, which may be a
    // covered part of the description.
    case Qt::Key_Left:
        if (Plain && Edit1->cursorPosition() == 0 && FEditCol == 5) {
            HideEditor(Edit1, CellGrid1);
            PostKey(CellGrid1, Key, 2);
            return true;
        }
        return false;
    case Qt::Key_Right:
        if (Plain && Edit1->cursorPosition() == Edit1->text().size() && FEditCol == 3) {
            HideEditor(Edit1, CellGrid1);
            PostKey(CellGrid1, Key, 2);
            return true;
        }
        return false;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const QString Tag = EnterText(FEditRow % 6, Shift & Qt::ControlModifier);
        if (Tag.isEmpty())
            return false;
        Edit1->insert(Tag);
        return true;
    }
    default:
        return false;
    }
}

void TForm1::Edit1Copy(bool Cut)
{
    if (!Edit1->hasSelectedText())
        return;
    SetClipboardText(CopyText(Edit1->selectedText()));
    if (Cut)
        Edit1->del();
}

void TForm1::Edit1Paste()
{
    if (ClipboardHasHtml())
        Edit1->insert(HtmlPasteText(ClipboardHtml()));
    else if (ClipboardHasText())
        Edit1->insert(PlainPasteText(ClipboardText()));
}

void TForm1::PathEditChange(const QString &Text)
{
    // Only the path cell's own editor, while it is open: it is also filled
    // (with the cell's text) when it opens and when Esc takes the typing back.
    const int ACol = CellGrid1->RealCol(), ARow = CellGrid1->Row();
    if (!CellGrid1->GridEditBtn()->isVisible() || !TProductGrid::IsPathCell(ACol, ARow)
        || FGridAccess->Cells(ACol, ARow) == Text)
        return;
    FGridAccess->SetCells(ACol, ARow, Text);
    const QString PageFolder = DocumentFolder(FPagePath);
    TPageDocument::ShowBlockPicture(*FGridAccess, ARow - 5,
                                    TPageDocument::PictureFileOf(Text, PageFolder, ProgramFolder()));
    StoreProductBlock(ACol, ARow);
}
