// How the grid answers keys, characters, the mouse, the wheel and hint
// requests, on top of the platform grid's navigation, selection and sizing.
#include "grid/CellGrid.h"
#include "grid/CellGridEditors.h"
#include "grid/GridUtil.h"
#include "platform/services/Clipboard.h"

#include <QApplication>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QToolTip>

namespace {

// Runs the platform's handling without firing OnKeyDown a second time.
class TKeyDownEventHold {
public:
    explicit TKeyDownEventHold(std::function<void(TObject *, quint16 &, TShiftState)> &Event)
        : FEvent(Event), FSaved(std::move(Event))
    {
        FEvent = nullptr;
    }
    ~TKeyDownEventHold() { FEvent = std::move(FSaved); }

private:
    std::function<void(TObject *, quint16 &, TShiftState)> &FEvent;
    std::function<void(TObject *, quint16 &, TShiftState)> FSaved;
};

bool IsNavigationKey(quint16 Key)
{
    return Key >= VK_PRIOR && Key <= VK_DOWN;
}

} // namespace

// =================================================================== keys

void TCellGrid::KeyDown(quint16 &Key, TShiftState Shift)
{
    if (OnKeyDown) {
        OnKeyDown(this, Key, Shift);
        if (Key == 0)
            return;
    }
    TKeyDownEventHold Hold(OnKeyDown);
    const int RC = RealCol(), R = Row();
    const bool Ctrl = Shift & ssCtrl;
    const bool ShiftDown = Shift & ssShift;
    TNavigation *Nav = Navigation();
    TMouseActions *MA = MouseActions();

    // Space toggles a check box.
    if (Key == VK_SPACE && HasCheckControl(RC, R)) {
        const TPoint B = BaseCell(RC, R);
        if (HasCheckBox(B.X, B.Y) && ToggleCheck(B.X, B.Y, true)) {
            bool State = false;
            GetCheckState(B.X, B.Y, State);
            if (OnCheckBoxClick)
                OnCheckBoxClick(this, B.X, B.Y, State);
        }
        Key = 0;
        return;
    }

    // Home and End by the navigation setting.
    if ((Key == VK_HOME || Key == VK_END) && !Ctrl) {
        if (Nav->HomeEndKey == heFirstLastRow) {
            if (RowCount() > FixedRows()) {
                int Target = FixedRows();
                if (Key == VK_END) {
                    Target = FloatingFooter()->Visible() && RowCount() > 2 ? RowCount() - 2
                                                                           : RowCount() - 1 - FixedFooters();
                }
                Target = std::clamp(Target, FixedRows(), RowCount() - 1);
                FocusCell(Col(), Target, !ShiftDown);
                RebaseCurrent();
            }
            Key = 0;
            return;
        }
        if (Options() & goRowSelect) {
            if (Key == VK_HOME) {
                SetLeftCol(FixedCols());
                FocusCell(FixedCols(), Row(), true);
            } else {
                FocusCell(std::max(ColCount() - 1 - FixedRightCols(), FixedCols()), Row(), true);
            }
            Key = 0;
            return;
        }
    }

    // Clipboard shortcuts.
    if (Nav->AllowClipboardShortCuts) {
        const bool Copy = Ctrl && Key == 'C';
        const bool CutKey = (Ctrl && Key == 'X') || (ShiftDown && Key == VK_DELETE);
        const bool Paste = (Ctrl && Key == 'V') || (ShiftDown && Key == VK_INSERT);
        if (Copy || CutKey || Paste) {
            bool Allow = true;
            if (Copy && OnClipboardCopy)
                OnClipboardCopy(this, Allow);
            if (CutKey && OnClipboardCut)
                OnClipboardCut(this, Allow);
            if (Paste && OnClipboardPaste)
                OnClipboardPaste(this, Allow);
            if (Allow) {
                if (Paste)
                    PasteSelectionText();
                else
                    CopySelectionText(CutKey);
            }
            Key = 0;
            return;
        }
    }

    // Row insertion and removal.
    if (Key == VK_INSERT && !ShiftDown && !Ctrl && Nav->AllowInsertRow) {
        bool CanInsert = true;
        if (OnCanInsertRow)
            OnCanInsertRow(this, R, CanInsert);
        if (CanInsert)
            InsertRowsAt(Nav->InsertPosition == pInsertBefore ? R : R + 1, 1);
        Key = 0;
        return;
    }
    if (Key == VK_DELETE && !ShiftDown && !Ctrl && Nav->AllowDeleteRow) {
        bool CanDelete = true;
        if (OnCanDeleteRow)
            OnCanDeleteRow(this, R, CanDelete);
        if (CanDelete && RowCount() - FixedRows() - FixedFooters() > 0 && R >= FixedRows())
            RemoveRows(R, 1);
        Key = 0;
        return;
    }

    // Selecting everything; disjunct selection flags.
    if (Ctrl && Key == 'A' && (Options() & goRowSelect) && (Options() & goRangeSelect)) {
        SetSelection(TGridRect{FixedCols(), FixedRows(), std::max(ColCount() - FixedRightCols() - 1, FixedCols()),
                               std::max(RowCount() - FixedFooters() - 1, FixedRows())});
        Key = 0;
        return;
    }
    if (Key == VK_SPACE && (MA->DisjunctRowSelect || MA->DisjunctColSelect)) {
        if (MA->DisjunctRowSelect)
            SetRowSelect(R, !RowSelect(R));
        if (MA->DisjunctColSelect)
            SetColSelect(Col(), !ColSelect(Col()));
        Key = 0;
        return;
    }
    const bool ClearFlags = MA->DisjunctRowSelect && IsNavigationKey(Key) && !ShiftDown && !Ctrl;
    if (ClearFlags)
        ClearRowSelect();

    // Backward tabbing.
    if (Key == VK_TAB && ShiftDown && (Options() & goTabs) && !Ctrl) {
        const int FirstCol = FixedCols(), LastCol = std::max(ColCount() - 1 - FixedRightCols(), FirstCol);
        const int FirstRow = FixedRows(), LastRow = std::max(RowCount() - 1 - FixedFooters(), FirstRow);
        int C = Col(), Rw = Row();
        if (Nav->TabAdvanceDirection == adTopBottom) {
            if (Rw <= FirstRow) {
                Rw = LastRow;
                C = C <= FirstCol ? LastCol : C - 1;
            } else {
                --Rw;
            }
        } else {
            if (C <= FirstCol) {
                C = LastCol;
                Rw = Rw <= FirstRow ? LastRow : Rw - 1;
            } else {
                --C;
            }
        }
        const TPoint B = BaseCell(C, Rw);
        FocusCell(B.X, B.Y, true);
    } else {
        TBaseGrid::KeyDown(Key, Shift);
    }

    if (MA->DisjunctRowSelect && IsNavigationKey(Key) && ShiftDown)
        RowSelectFromRange(false);

    // The editor follows the cursor.
    const bool Arrow = Key >= VK_LEFT && Key <= VK_DOWN;
    if ((Nav->AlwaysEdit && Arrow) || (Key == VK_TAB && (Options() & goTabs) && Nav->AlwaysEdit)) {
        if ((Options() & goEditing) && !EditorMode())
            ShowEditor();
    }
}

void TCellGrid::StartEditWith(const QString &Text)
{
    if (!(InplaceEditor() && InplaceEditor()->isVisible())) {
        StartKey = Text;
        ShowEditor();
    }
    if (FCellEditor && FCellEditor->isVisible() && !StartKey.isEmpty()) {
        // The typed text replaces the cell text, as typing into a fully
        // selected edit does.
        const QString Keys = StartKey;
        StartKey.clear();
        FCellEditor->selectAll();
        FCellEditor->TypeText(Keys);
    }
    StartKey.clear();
}

void TCellGrid::KeyPress(QChar &Key)
{
    if (OnKeyPress) {
        OnKeyPress(this, Key);
        if (Key.isNull())
            return;
    }
    const int RC = RealCol(), R = Row();
    const ushort K = Key.unicode();

    if (MouseActions()->RangeSelectAndEdit && K >= 32 && IsEditable(RC, R) && !HasCheckControl(RC, R)
        && !(Options() & goEditing)) {
        SetOptions(Options() | goEditing);
    }
    if (ExcelStyleDecimalSeparator && Key == QLatin1Char('.') && FKeypadChar) {
        const QString P = QLocale().decimalPoint();
        if (!P.isEmpty())
            Key = P.at(0);
    }
    // A check box cell takes no characters but Enter.
    if (HasCheckControl(RC, R) && K != 13) {
        Key = QChar();
        return;
    }
    if (K == 27) {
        if ((Options() & goEditing) && Editing())
            RestoreEditText();
        Key = QChar();
        return;
    }
    if ((Options() & goEditing) && (K == 8 || K >= 32)) {
        StartEditWith(QString(Key));
        Key = QChar();
        return;
    }
    if (K == 13) {
        if (!(hasFocus() && !HasCheckControl(RC, R))) {
            AdvanceEdit(Col(), Row(), true, false, false);
            if (HasCheckControl(RealCol(), Row())) {
                Key = QChar();
                return;
            }
        }
    }
    if (!(Options() & goEditing) && Navigation()->AutoGotoWhenSorted && (K == 8 || K >= 32)) {
        if (!Navigation()->AutoGotoIncremental)
            IncrementalText = QString(Key);
        else if (K == 8)
            IncrementalText.chop(1);
        else
            IncrementalText += Key;
        const int Found = FindRowByPrefix(IncrementalText.toUpper());
        if (Found >= 0)
            SetRow(Found);
    }
    // The platform's own handling, with OnKeyPress already fired.
    auto Saved = std::move(OnKeyPress);
    OnKeyPress = nullptr;
    TBaseGrid::KeyPress(Key);
    OnKeyPress = std::move(Saved);
}

void TCellGrid::keyPressEvent(QKeyEvent *Event)
{
    const quint16 VK = VirtualKeyOf(Event);
    quint16 Key = VK;
    const TShiftState Shift = ShiftStateOf(Event->modifiers());
    if (Key != 0)
        KeyDown(Key, Shift);
    // A key handled on key down (Space on a check box...) types nothing.
    const bool Consumed = VK != 0 && Key == 0;
    const QString Text = Event->text();
    if (!Consumed && !Text.isEmpty() && VK != VK_TAB && !(Shift & ssCtrl)) {
        QChar Ch = Text.at(0);
        if (Ch.unicode() == 13 || Ch.unicode() == 8 || Ch.unicode() == 27 || Ch.unicode() >= 32) {
            FKeypadChar = Event->modifiers() & Qt::KeypadModifier;
            KeyPress(Ch);
            FKeypadChar = false;
        }
    }
    Event->accept();
}

void TCellGrid::inputMethodEvent(QInputMethodEvent *Event)
{
    const QString Commit = Event->commitString();
    Event->accept();
    if (Commit.isEmpty())
        return;
    // An input method commits whole strings: they open the editor whole.
    if ((Options() & goEditing) && !HasCheckControl(RealCol(), Row())) {
        StartEditWith(Commit);
        return;
    }
    for (QChar C : Commit) {
        QChar K = C;
        KeyPress(K);
    }
}

void TCellGrid::focusInEvent(QFocusEvent *Event)
{
    setAttribute(Qt::WA_InputMethodEnabled);
    TBaseGrid::focusInEvent(Event);
}

// =================================================================== clipboard text

void TCellGrid::CopySelectionText(bool Cut)
{
    const TGridRect S = Selection();
    QStringList Lines;
    for (int R = S.Top; R <= S.Bottom && R < RowCount(); ++R) {
        QStringList Cells;
        for (int C = S.Left; C <= S.Right && C < ColCount(); ++C)
            Cells << GetCellText(RealColIndex(C), R);
        Lines << Cells.join(QLatin1Char('\t'));
    }
    SetClipboardText(Lines.join(QStringLiteral("\r\n")));
    if (Cut)
        for (int R = S.Top; R <= S.Bottom && R < RowCount(); ++R)
            for (int C = S.Left; C <= S.Right && C < ColCount(); ++C)
                SetCellText(RealColIndex(C), R, QString());
}

void TCellGrid::PasteSelectionText()
{
    QString Text = ClipboardText();
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (Text.endsWith(QLatin1Char('\n')))
        Text.chop(1);
    const QStringList Lines = Text.split(QLatin1Char('\n'));
    // Nothing is written outside the grid.
    for (int I = 0; I < Lines.size() && Row() + I < RowCount(); ++I) {
        const QStringList Cells = Lines[I].split(QLatin1Char('\t'));
        for (int J = 0; J < Cells.size() && Col() + J < ColCount(); ++J)
            SetCellText(RealColIndex(Col() + J), Row() + I, Cells[J]);
    }
}

// =================================================================== mouse

int TCellGrid::ColBorderAt(int X, int Y, int Margin) const
{
    int FixedH = 0;
    for (int I = 0; I < FixedRows(); ++I)
        FixedH += RowHeights(I);
    if (Y >= FixedH || Y < 0)
        return -1;
    for (int C = 0; C < ColCount(); ++C) {
        const TRect R = CellRect(C, 0);
        if (R.Right <= R.Left)
            continue;
        if (std::abs(X - R.Right) <= Margin)
            return C;
    }
    return -1;
}

int TCellGrid::RowBorderAt(int X, int Y, int Margin) const
{
    int FixedW = 0;
    for (int I = 0; I < FixedCols(); ++I)
        FixedW += ColWidths(I);
    if (X >= FixedW || X < 0)
        return -1;
    for (int R = 0; R < RowCount(); ++R) {
        const TRect Rc = CellRect(0, R);
        if (Rc.Bottom <= Rc.Top)
            continue;
        if (std::abs(Y - Rc.Bottom) <= Margin)
            return R;
    }
    return -1;
}

void TCellGrid::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    const TGridCoord Hit = MouseCoord(X, Y);
    if (Button == mbRight) {
        TBaseGrid::MouseDown(Button, Shift, X, Y);
        if (Hit.X >= 0 && Hit.Y >= 0 && OnRightClickCell)
            OnRightClickCell(this, Hit.Y, RealColIndex(Hit.X));
        return;
    }
    if (Button != mbLeft) {
        TBaseGrid::MouseDown(Button, Shift, X, Y);
        return;
    }
    FPressOnCheck = false;
    FDisjunctDrag = false;
    FSizingCol = -1;
    FSizingRow = -1;
    FSizingHint.clear();

    // Sizing permission: a border the handlers refuse cannot be dragged.
    TGridOptions Saved = Options();
    TGridOptions During = Saved;
    const int BorderCol = (Saved & goColSizing) ? ColBorderAt(X, Y, 3) : -1;
    const int BorderRow = (Saved & goRowSizing) ? RowBorderAt(X, Y, 3) : -1;
    if (BorderCol >= 0) {
        bool Allow = true;
        const TGridCoord Left = MouseCoord(std::max(X - 6, 0), Y);
        if (OnColumnSize)
            OnColumnSize(this, Left.X >= 0 ? RealColIndex(Left.X) : BorderCol, Allow);
        if (Allow) {
            FSizingCol = BorderCol;
            FSizingStartWidth = ColWidths(BorderCol);
        } else {
            During &= ~goColSizing;
        }
    }
    if (BorderRow >= 0) {
        bool Allow = true;
        const TGridCoord Above = MouseCoord(X, std::max(Y - 6, 0));
        if (OnRowSize)
            OnRowSize(this, Above.Y >= 0 ? Above.Y : BorderRow, Allow);
        if (Allow) {
            FSizingRow = BorderRow;
            FSizingStartWidth = RowHeights(BorderRow);
        } else {
            During &= ~goRowSizing;
        }
    }
    const bool OnBorder = FSizingCol >= 0 || FSizingRow >= 0;

    TPoint Cell(-1, -1);
    if (Hit.X >= 0 && Hit.Y >= 0) {
        const TPoint B = BaseCell(RealColIndex(Hit.X), Hit.Y);
        Cell = TPoint(B.X, B.Y);
    }
    // A pending edit of a grid editor ends.
    HideCellEditor();

    if (FCellEditor && MouseActions()->CaretPositioning) {
        FCellEditor->CaretPositioning = true;
        const TRect R = GetCellRect(Hit.X, Hit.Y);
        FCellEditor->CaretPoint = QPoint(X - R.Left, Y - R.Top);
    }
    if (During != Saved)
        SetOptions(During);
    TBaseGrid::MouseDown(Button, Shift, X, Y);
    if (During != Saved)
        SetOptions(Saved);
    if (FCellEditor)
        FCellEditor->CaretPositioning = FCellEditor->CaretPositioning && FCellEditor->isVisible();
    FPressCell = Cell;
    if (Cell.X < 0)
        return;

    // Disjunct selection.
    TMouseActions *MA = MouseActions();
    if (MA->DisjunctRowSelect && Hit.Y >= FixedRows() && Hit.X >= FixedCols()) {
        if (!(Shift & ssCtrl))
            ClearRowSelect();
        FDisjunctDrag = true;
    }
    if (MA->DisjunctColSelect && Hit.Y >= FixedRows() && Hit.X >= FixedCols()) {
        if (!(Shift & ssCtrl))
            ClearColSelect();
        FDisjunctDrag = true;
    }

    // Presses in fixed cells select whole columns, rows or everything.
    if (!OnBorder) {
        const int LastCol = ColCount() - 1, LastRow = RowCount() - 1;
        if (Hit.Y < FixedRows() && Hit.X < FixedCols() && MA->AllSelect && RowCount() > FixedRows()
            && ColCount() > FixedCols()) {
            SetSelection(TGridRect{FixedCols(), FixedRows(), LastCol, LastRow});
        } else if (Hit.Y < FixedRows() && Hit.X >= FixedCols() && MA->ColSelect && RowCount() > FixedRows()) {
            SetSelection(TGridRect{Hit.X, FixedRows(), Hit.X, LastRow});
        } else if (Hit.X < FixedCols() && Hit.Y >= FixedRows() && MA->RowSelect && ColCount() > FixedCols()) {
            SetSelection(TGridRect{FixedCols(), Hit.Y, LastCol, Hit.Y});
        }
    }

    // A check box toggles.
    if (HasCheckBox(Cell.X, Cell.Y)) {
        setFocus();
        if (ToggleCheck(Cell.X, Cell.Y, true)) {
            FPressOnCheck = true;
            bool State = false;
            GetCheckState(Cell.X, Cell.Y, State);
            if (OnCheckBoxClick)
                OnCheckBoxClick(this, Cell.X, Cell.Y, State);
        }
    }
    if (OnClickCell)
        OnClickCell(this, Cell.Y, Cell.X);
}

void TCellGrid::MouseMove(TShiftState Shift, int X, int Y)
{
    TBaseGrid::MouseMove(Shift, X, Y);
    if (!(Shift & ssLeft))
        return;
    if (FSizingCol >= 0 && HintShowSizing) {
        FSizingHint = QStringLiteral("cw=<b>") + IntToStr(ColWidths(FSizingCol)) + QStringLiteral("</b>");
        QToolTip::showText(viewport()->mapToGlobal(QPoint(X, Y)), FSizingHint, viewport());
    } else if (FSizingRow >= 0 && HintShowSizing) {
        FSizingHint = QStringLiteral("rh=<b>") + IntToStr(RowHeights(FSizingRow)) + QStringLiteral("</b>");
        QToolTip::showText(viewport()->mapToGlobal(QPoint(X, Y)), FSizingHint, viewport());
    }
}

void TCellGrid::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    TBaseGrid::MouseUp(Button, Shift, X, Y);
    if (Button != mbLeft)
        return;
    if (FSizingCol >= 0) {
        const int C = FSizingCol;
        FSizingCol = -1;
        QToolTip::hideText();
        if (ColWidths(C) != FSizingStartWidth && OnEndColumnSize)
            OnEndColumnSize(this, RealColIndex(C));
        return;
    }
    if (FSizingRow >= 0) {
        FSizingRow = -1;
        QToolTip::hideText();
        return;
    }
    if (FDisjunctDrag) {
        FDisjunctDrag = false;
        if (MouseActions()->DisjunctRowSelect) {
            if ((Shift & ssCtrl) && FPressCell.Y >= 0 && Selection().Top == Selection().Bottom
                && RowSelect(FPressCell.Y) && FPressCell.Y == Row())
                SetRowSelect(FPressCell.Y, false);
            else
                RowSelectFromRange(false);
        }
        if (MouseActions()->DisjunctColSelect)
            ColSelectFromRange(false);
    }
    const TPoint Cell = FPressCell;
    if (Cell.X < 0 || Cell.Y < 0 || Cell.X >= ColCount() + NumHiddenColumns() || Cell.Y >= RowCount())
        return;
    if (FPressOnCheck) {
        FPressOnCheck = false;
        bool State = false;
        GetCheckState(Cell.X, Cell.Y, State);
        if (OnCheckBoxMouseUp)
            OnCheckBoxMouseUp(this, Cell.X, Cell.Y, State);
    }
    if (const TCellGraphic *G = GetCellGraphic(Cell.X, Cell.Y)) {
        if (G->CellType == ctRadio && OnRadioMouseUp)
            OnRadioMouseUp(this, Cell.X, Cell.Y, G->CellIndex);
        if ((G->CellType == ctButton || G->CellType == ctBitButton) && OnButtonClick)
            OnButtonClick(this, Cell.X, Cell.Y);
    }
}

void TCellGrid::AutoSizeColumn(int ACol)
{
    if (ACol < 0 || ACol >= ColCount())
        return;
    TCanvas *C = Canvas();
    const int RC = RealColIndex(ACol);
    int Widest = 0;
    for (int R = 0; R < RowCount(); ++R) {
        C->SetFont(R < FixedRows() || ACol < FixedCols() ? *FixedFont() : *Font());
        const QStringList Lines = GetCellText(RC, R).split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
        for (const QString &L : Lines)
            Widest = std::max(Widest, C->TextWidth(L));
    }
    SetColWidths(ACol, Widest + 2 * CellTextMargin.X + 6);
}

void TCellGrid::DblClick()
{
    TBaseGrid::DblClick();
}

void TCellGrid::mouseDoubleClickEvent(QMouseEvent *Event)
{
    const QPoint P = Event->position().toPoint();
    const TGridCoord Hit = MouseCoord(P.x(), P.y());
    if (Event->button() != Qt::LeftButton) {
        TBaseGrid::mouseDoubleClickEvent(Event);
        return;
    }
    // A double click on a column border in the header sizes that column to its text.
    if ((Options() & goColSizing) && Hit.Y == 0) {
        const int C = ColBorderAt(P.x(), P.y(), 4);
        if (C >= FixedCols()) {
            bool Allow = true;
            if (OnColumnSize)
                OnColumnSize(this, RealColIndex(C), Allow);
            if (Allow) {
                AutoSizeColumn(C);
                if (OnEndColumnSize)
                    OnEndColumnSize(this, RealColIndex(C));
            }
        }
    }
    DblClick();
    if (Hit.X >= 0 && Hit.Y >= 0) {
        const TPoint B = BaseCell(RealColIndex(Hit.X), Hit.Y);
        if (OnDblClickCell)
            OnDblClickCell(this, B.Y, B.X);
        if (MouseActions()->RangeSelectAndEdit && IsEditable(B.X, B.Y)) {
            if (!(Options() & goEditing))
                SetOptions(Options() | goEditing);
            ShowEditor();
        }
    }
}

// =================================================================== wheel

bool TCellGrid::DoMouseWheelDown(TShiftState Shift, const QPoint &MousePos)
{
    const int Left = LeftCol();
    const bool Result = TBaseGrid::DoMouseWheelDown(Shift, MousePos);
    if ((Options() & goRowSelect) && Navigation()->KeepHorizScroll)
        SetLeftCol(Left);
    return Result;
}

bool TCellGrid::DoMouseWheelUp(TShiftState Shift, const QPoint &MousePos)
{
    const int Left = LeftCol();
    const bool Result = TBaseGrid::DoMouseWheelUp(Shift, MousePos);
    if ((Options() & goRowSelect) && Navigation()->KeepHorizScroll)
        SetLeftCol(Left);
    return Result;
}

// =================================================================== hints

bool TCellGrid::viewportEvent(QEvent *Event)
{
    if (Event->type() != QEvent::ToolTip)
        return TBaseGrid::viewportEvent(Event);
    auto *Help = static_cast<QHelpEvent *>(Event);
    const TGridCoord Hit = MouseCoord(Help->pos().x(), Help->pos().y());
    if (Hit.X < 0 || Hit.Y < 0) {
        QToolTip::hideText();
        return true;
    }
    const TPoint B = BaseCell(RealColIndex(Hit.X), Hit.Y);
    QString Hint;
    if (Hit.X >= FixedCols() && Hit.Y >= FixedRows()) {
        const QString Text = GetCellText(B.X, B.Y);
        const QString Plain = StripCellHTML(Text);
        bool Show = HintShowCells;
        if (!Show && HintShowLargeText)
            Show = Canvas()->TextWidth(Plain) > GetCellRect(Hit.X, Hit.Y).Width();
        if (Show)
            Hint = HTMLHint ? Text : Plain;
    }
    GetCellHint(B.X, B.Y, Hint);
    if (Hint.isEmpty()) {
        QToolTip::hideText();
        return true;
    }
    QPalette Pal = QToolTip::palette();
    Pal.setColor(QPalette::ToolTipBase, TColorToQColor(HintColor));
    QToolTip::setPalette(Pal);
    const TRect R = GetCellRect(Hit.X, Hit.Y);
    QToolTip::showText(viewport()->mapToGlobal(QPoint(R.Left, R.Top)), Hint, viewport());
    return true;
}
