#include "grid/CellRichEdit.h"

#include "grid/CellGrid.h"
#include "platform/controls/Controls.h"
#include "platform/services/Application.h"

#include <QApplication>
#include <QKeyEvent>

namespace {
// Parsed cell documents kept for painting; the cache starts over when full.
constexpr int MaxCachedDocuments = 64;
} // namespace

TCellRichEdit::TCellRichEdit(TCellGrid *AGrid, bool Editor)
    : TRichEdit(Editor ? AGrid->viewport() : nullptr), FGrid(AGrid), FEditor(Editor)
{
    setObjectName(Editor ? QStringLiteral("InplaceRichEdit") : QStringLiteral("RichEditRenderer"));
    setFrameShape(QFrame::NoFrame);
    hide();
    OnResizeRequest = [this](TObject *, const QSize &Requested) { ResizeRequest(Requested); };
    if (Editor)
        OnSelectionChange = [this](TObject *) {
            if (FGrid->OnRichEditSelectionChange)
                FGrid->OnRichEditSelectionChange(FGrid);
        };
}

void TCellRichEdit::LoadCell(const QString &Text, const QFont &CellFont)
{
    SetDefaultFont(CellFont);
    if (Text.isEmpty()) {
        SetRTF(QString());
        return;
    }
    auto It = FCache.constFind(Text);
    if (It == FCache.constEnd()) {
        if (FCache.size() >= MaxCachedDocuments)
            FCache.clear();
        It = FCache.insert(Text, Rtf::Read(Text));
    }
    SetRTF(*It);
}

void TCellRichEdit::ResizeRequest(const QSize &Requested)
{
    if (!FEditor) {
        FRequested = Requested;
        return;
    }
    // The editor grows the row while typing when the content needs more height.
    if (!isVisible() || NoGrowth || !FGrid->SizeWhileTyping()->Height)
        return;
    const int Row = FGrid->Row();
    const int H = Requested.height();
    if (H <= FGrid->RowHeights(Row) || y() + H + 5 > FGrid->ClientHeight())
        return;
    resize(width(), H + 4);
    FGrid->SetRowHeights(Row, H + 5);
    if (FGrid->OnEndRowSize)
        FGrid->OnEndRowSize(FGrid, Row);
}

void TCellRichEdit::focusOutEvent(QFocusEvent *Event)
{
    TRichEdit::focusOutEvent(Event);
    if (!FEditor || !isVisible())
        return;
    // Losing the focus to the grid ends the edit.
    QWidget *To = QApplication::focusWidget();
    if (To == FGrid || To == FGrid->viewport()) {
        try {
            FGrid->HideCellEditor();
        } catch (...) {
            HandleException();
        }
    }
}

void TCellRichEdit::keyPressEvent(QKeyEvent *Event)
{
    if (FEditor && (Event->key() == Qt::Key_Up || Event->key() == Qt::Key_Down) && !FGrid->WordWrap()
        && !FGrid->Multilinecells) {
        // One-line cells: the grid moves to the previous or next row.
        try {
            FGrid->EditorLeaveKey(Event->key() == Qt::Key_Up ? VK_UP : VK_DOWN, ShiftStateOf(Event->modifiers()));
        } catch (...) {
            HandleException();
        }
        return;
    }
    if (FEditor && Event->key() == Qt::Key_Escape) {
        FGrid->EditorLeaveKey(VK_ESCAPE, 0);
        return;
    }
    TRichEdit::keyPressEvent(Event);
}
