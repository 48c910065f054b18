// How the grid answers keys, characters, the mouse, the wheel and hint
// requests, on top of the platform grid's navigation, selection and sizing.
#include "grid/CellGrid.h"
#include "grid/CellGridEditors.h"
#include "grid/CgHTMLE.h"
#include "grid/GridUtil.h"
#include "grid/HTMLHintWindow.h"
#include "platform/services/Application.h"
#include "platform/services/Shell.h"

#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QHelpEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimerEvent>

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

// The select cursors: a black arrow pointing down (columns), right (rows) or
// down-right (everything), drawn once.
QCursor SelectCursor(int Kind)
{
    QPixmap P(16, 16);
    P.fill(Qt::transparent);
    QPainter G(&P);
    G.setPen(Qt::white);
    G.setBrush(Qt::black);
    QPolygon Arrow;
    if (Kind == 1)
        Arrow << QPoint(5, 0) << QPoint(10, 0) << QPoint(10, 8) << QPoint(14, 8) << QPoint(7, 15) << QPoint(1, 8)
              << QPoint(5, 8);
    else if (Kind == 2)
        Arrow << QPoint(0, 5) << QPoint(8, 5) << QPoint(8, 1) << QPoint(15, 7) << QPoint(8, 14) << QPoint(8, 10)
              << QPoint(0, 10);
    else
        Arrow << QPoint(1, 4) << QPoint(4, 1) << QPoint(11, 8) << QPoint(13, 6) << QPoint(13, 13) << QPoint(6, 13)
              << QPoint(8, 11);
    G.drawPolygon(Arrow);
    G.end();
    return QCursor(P, Kind == 1 ? 7 : (Kind == 2 ? 15 : 13), Kind == 1 ? 15 : (Kind == 2 ? 7 : 13));
}

// Middle-button panning: the pointer at rest within this many pixels of the
// mark; beyond them a row (column) a second for every PanPixelsPerRow pixels.
constexpr int PanRest = 16;
constexpr double PanPixelsPerRow = 4.0;

// The pan cursors: a dot at rest with arrows along the axes panning may take
// (Kind 1), or one arrow showing the way the grid scrolls (2 back, 3 forward).
QCursor PanCursor(int Kind, bool Vertical, bool Horizontal)
{
    // Drawn once for each look: the cursor is set on every move. Never
    // destroyed: cursors must not outlive the application's windowing.
    static auto *const Made = new QHash<int, QCursor>;
    const int Key = Kind * 4 + (Vertical ? 2 : 0) + (Horizontal ? 1 : 0);
    if (const auto It = Made->constFind(Key); It != Made->constEnd())
        return *It;
    QPixmap P(24, 24);
    P.fill(Qt::transparent);
    QPainter G(&P);
    G.setRenderHint(QPainter::Antialiasing);
    G.setPen(Qt::white);
    G.setBrush(Qt::black);
    const QPolygon Up({QPoint(12, 1), QPoint(17, 7), QPoint(7, 7)});
    auto Turned = [](const QPolygon &Arrow, int Degrees) {
        QTransform T;
        T.translate(12, 12).rotate(Degrees).translate(-12, -12);
        return T.map(Arrow);
    };
    if (Kind == 1) {
        G.drawEllipse(QPoint(12, 12), 2, 2);
        if (Vertical) {
            G.drawPolygon(Up);
            G.drawPolygon(Turned(Up, 180));
        }
        if (Horizontal) {
            G.drawPolygon(Turned(Up, 90));
            G.drawPolygon(Turned(Up, 270));
        }
    } else {
        const int Degrees = Vertical ? (Kind == 2 ? 0 : 180) : (Kind == 2 ? 270 : 90);
        G.drawPolygon(Turned(QPolygon({QPoint(12, 2), QPoint(20, 12), QPoint(15, 12), QPoint(15, 21), QPoint(9, 21),
                                       QPoint(9, 12), QPoint(4, 12)}),
                             Degrees));
    }
    G.end();
    return *Made->insert(Key, QCursor(P, 12, 12));
}

bool IsNavigationKey(quint16 Key)
{
    return Key >= VK_PRIOR && Key <= VK_DOWN;
}

} // namespace

// =================================================================== keys

void TCellGrid::KeyDown(quint16 &Key, TShiftState Shift)
{
    // Escape takes back a fill drag under way.
    if (FFillDragging && Key == VK_ESCAPE) {
        EndFillDrag(false);
        Key = 0;
        return;
    }
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
        } else if (IsRadio(B.X, B.Y) && ToggleRadio(B.X, B.Y, true)) {
            int Index = 0;
            GetRadio(B.X, B.Y, Index);
            if (const TStringList *Items = GetRadioStrings(B.X, B.Y); Items && Index < 0)
                Index = Items->IndexOf(GetCellText(B.X, B.Y));
            if (OnRadioClick)
                OnRadioClick(this, B.X, B.Y, Index);
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
                    PasteSelectionFromClipboard();
                else if (CutKey)
                    CutSelectionToClipboard();
                else
                    CopySelectionToClipboard();
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
    // Any key ends middle-button panning, and does nothing else.
    if (FPanning) {
        EndPan();
        Event->accept();
        return;
    }
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
    // A grid whose only row or column is kept fixed has no cell to select:
    // its selection goes outside the grid until a data row or column exists.
    const bool OnlyFixed = (RowCount() == 1 && FixedRowAlways) || (ColCount() == 1 && FixedColAlways);
    if (OnlyFixed && !FSelectionParked && !(Col() < ColCount() && Row() < RowCount() && HasCheckControl(RealCol(), Row())))
        ParkSelection();
    // The grid's own editors hand the focus back with OtherFocusReason;
    // every other arrival is the user entering the grid.
    const Qt::FocusReason Reason = Event->reason();
    const bool Entering = Reason == Qt::TabFocusReason || Reason == Qt::BacktabFocusReason
        || Reason == Qt::ActiveWindowFocusReason || Reason == Qt::ShortcutFocusReason
        || Reason == Qt::MouseFocusReason;
    if (!Entering || Col() >= ColCount() || Row() >= RowCount())
        return;
    if (!EditorActive) {
        FEditStartCell = TPoint(RealCol(), Row());
        FEditStartText = GetCellText(RealCol(), Row());
    }
    if (HasCheckControl(RealCol(), Row()))
        return;
    if (Navigation()->AlwaysEdit && Reason != Qt::MouseFocusReason && (Options() & goEditing) && !EditorMode())
        ShowEditor();
}

void TCellGrid::focusOutEvent(QFocusEvent *Event)
{
    EndPan();
    TBaseGrid::focusOutEvent(Event);
}

// =================================================================== mouse

int TCellGrid::ColBorderAt(int X, int Y, int Margin) const
{
    int FixedH = 0;
    for (int I = 0; I < FixedRows(); ++I)
        FixedH += RowHeights(I);
    if (Y >= FixedH || Y < 0)
        return -1;
    // Only columns on screen have a border there.
    const int Last = std::min(ColCount() - 1, LeftCol() + VisibleColCount() + 1);
    for (int C = 0; C <= Last; ++C) {
        if (C >= FixedCols() && C < LeftCol())
            C = LeftCol();
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
    // Only rows on screen have a border there.
    const int Last = std::min(RowCount() - 1, TopRow() + VisibleRowCount() + 1);
    for (int R = 0; R <= Last; ++R) {
        if (R >= FixedRows() && R < TopRow())
            R = TopRow();
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
        if (Hit.X < 0 || Hit.Y < 0)
            return;
        const TPoint B = BaseCell(RealColIndex(Hit.X), Hit.Y);
        if (OnRightClickCell)
            OnRightClickCell(this, B.Y, B.X);
        if (URLShow() && URLEdit && Hit.X >= FixedCols() && Hit.Y >= FixedRows() && IsURL(GetCellText(B.X, B.Y))) {
            FocusCell(DisplColIndex(B.X), B.Y, true);
            if (Col() == DisplColIndex(B.X) && Row() == B.Y)
                ShowEditor();
        }
        return;
    }
    if (Button == mbMiddle) {
        TBaseGrid::MouseDown(Button, Shift, X, Y);
        if (IntelliPan != ipNone && !FPanning)
            StartPan(X, Y);
        return;
    }
    if (Button != mbLeft) {
        TBaseGrid::MouseDown(Button, Shift, X, Y);
        return;
    }
    if (FPanning)
        EndPan();
    // A press on the border of fixed column 0 starts sizing it (when the
    // handler allows that column to be sized); nothing else happens.
    if (OnFixedColBorder(X, Y)) {
        bool Allow = true;
        if (OnColumnSize)
            OnColumnSize(this, RealColIndex(0), Allow);
        if (Allow) {
            HideCellEditor();
            if (!hasFocus() && !(InplaceEditor() && InplaceEditor()->hasFocus()))
                setFocus();
            FSizingFixedCol = true;
            FFixedColX = X;
            FSizingHint.clear();
            viewport()->setCursor(Qt::SplitHCursor);
            viewport()->update();
            return;
        }
    }
    // A press on the range resizer's handle copies the range and starts a
    // fill drag; the current cell and the range stay as they are.
    if (OnResizerHandle(X, Y)) {
        FFillFrom = Selection();
        CopySelectionToClipboard();
        FFillDragging = true;
        FPressCell = TPoint(-1, -1);
        // Escape must reach the grid to take the drag back.
        if (!hasFocus() && !(InplaceEditor() && InplaceEditor()->hasFocus()))
            setFocus();
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
    const int BorderCol = (Saved & goColSizing) ? ColBorderAt(X, Y, SizingMargin) : -1;
    const int BorderRow = (Saved & goRowSizing) ? RowBorderAt(X, Y, SizingMargin) : -1;
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

    // A node in column 0 contracts or expands its rows; the press ends there.
    if (Cell.X == 0 && Hit.X == 0 && IsNode(Cell.Y)) {
        const int Real = RealRowIndex(Cell.Y);
        if (GetNodeState(Cell.Y)) {
            ExpandNode(Real);
            if (OnExpandNode)
                OnExpandNode(this, Cell.Y, Real);
        } else {
            ContractNode(Real);
            if (OnContractNode)
                OnContractNode(this, Cell.Y, Real);
        }
        return;
    }
    // A radio button of a cell that may be edited is selected; the press ends there.
    if (Cell.X >= 0 && IsRadio(Cell.X, Cell.Y)) {
        const int Index = RadioItemAt(Hit.X, Hit.Y, X, Y);
        if (Index >= 0 && SelectRadio(Cell.X, Cell.Y, Index)) {
            if (OnRadioClick)
                OnRadioClick(this, Cell.X, Cell.Y, Index);
            FPressCell = Cell;
            return;
        }
    }

    // A press in the selection only arms a drag of it.
    if (Cell.X >= 0 && !OnBorder && OleDragArm(Hit.X, Hit.Y, X, Y)) {
        if (OnClickCell)
            OnClickCell(this, Cell.Y, Cell.X);
        return;
    }

    if (FCellEditor && MouseActions()->CaretPositioning) {
        FCellEditor->CaretPositioning = true;
        const TRect R = ViewportRect(GetCellRect(Hit.X, Hit.Y));
        FCellEditor->CaretPoint = ViewportPoint(QPoint(X, Y)) - QPoint(R.Left, R.Top);
    }
    // Enhanced moving is the grid's own; the platform's plain move stays out.
    if (EnhRowColMove)
        During &= ~(goColMoving | goRowMoving);
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

    // With EnhRowColMove a press on a header starts moving its column or row.
    FMoveFrom = -1;
    if (!OnBorder && EnhRowColMove) {
        if ((Options() & goColMoving) && Hit.Y < FixedRows() && Hit.X >= FixedCols()) {
            FMoveFrom = Hit.X;
            FMovingRow = false;
        } else if ((Options() & goRowMoving) && Hit.X < FixedCols() && Hit.Y >= FixedRows()) {
            FMoveFrom = Hit.Y;
            FMovingRow = true;
        }
        FMoveAllowed = false;
        if (FMoveFrom >= 0) {
            FMoveTimer.start(100, this);
            if (OnClickCell)
                OnClickCell(this, Cell.Y, Cell.X);
            return;
        }
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

    // A check box toggles when the press is on the box itself.
    if (HasCheckBox(Cell.X, Cell.Y) && PtInRect(CheckBoxRect(Cell.X, Cell.Y), TPoint(X, Y))) {
        setFocus();
        if (ToggleCheck(Cell.X, Cell.Y, true)) {
            FPressOnCheck = true;
            bool State = false;
            GetCheckState(Cell.X, Cell.Y, State);
            if (OnCheckBoxClick)
                OnCheckBoxClick(this, Cell.X, Cell.Y, State);
        }
    }
    // The markup of an HTML cell: its cell controls, and its anchors (a cell
    // reference goes to that cell, a web or mail address to the desktop).
    THTMLDrawResult Markup;
    if (!OnBorder && Hit.X >= 0 && Hit.Y >= 0 && HTMLHitTest(Cell.X, Cell.Y, X, Y, Markup)) {
        const QString Anchor = Markup.AnchorVal;
        if (!Markup.CtrlType.isEmpty()) {
            HTMLControlPress(Cell, Markup);
        } else if (!Anchor.isEmpty()) {
            bool AutoHandle = true;
            if (OnAnchorClick)
                OnAnchorClick(this, Cell.Y, Cell.X, Anchor, AutoHandle);
            if (AutoHandle) {
                int C = -1, R = -1;
                if (Anchor.toUpper().startsWith(QStringLiteral("CELL://"))) {
                    if (ParseCellRef(Anchor.mid(7).trimmed().toUpper(), C, R) && C >= FixedCols() && R >= FixedRows()
                        && C < ColCount() && R < RowCount())
                        FocusCell(C, R, true);
                } else {
                    OpenLink(Anchor);
                }
            }
        }
    }
    // A URL cell is opened by the desktop.
    if (URLShow() && !URLEdit && Hit.X >= FixedCols() && Hit.Y >= FixedRows() && !OnBorder) {
        const QString Text = GetCellText(Cell.X, Cell.Y);
        if (IsURL(Text))
            OpenLink(Text.trimmed());
    }
    if (OnClickCell)
        OnClickCell(this, Cell.Y, Cell.X);
}

void TCellGrid::MouseMove(TShiftState Shift, int X, int Y)
{
    if (FFillDragging) {
        // The range grows down or right after the pointer; a release that
        // never came (the button is up) takes the drag back.
        if (Shift & ssLeft)
            ShowFillRange(FillDragRange(X, Y));
        else
            EndFillDrag(false);
        return;
    }
    if (FOleDragArmed && (Shift & ssLeft)) {
        OleDragStart();
        return;
    }
    if (FPanning) {
        // A release that never came (the button is up) ends the panning.
        if (!(Shift & ssMiddle)) {
            EndPan();
        } else {
            FPanPoint = TPoint(X, Y);
            const bool Vertical = IntelliPan == ipVertical || IntelliPan == ipBoth;
            const bool Horizontal = IntelliPan == ipHorizontal || IntelliPan == ipBoth;
            // The arrow follows the axis the pointer is further out along.
            const bool AlongRows = Vertical && (!Horizontal || std::abs(Y - FPanOrigin.Y) >= std::abs(X - FPanOrigin.X));
            const int Kind = PanCursorKind();
            viewport()->setCursor(PanCursor(Kind, Kind == 1 ? Vertical : AlongRows, Kind == 1 ? Horizontal : !AlongRows));
        }
        return;
    }
    if (FSizingFixedCol) {
        if (!(Shift & ssLeft)) {
            EndFixedColSizing(false, X);
            return;
        }
        FFixedColX = X;
        viewport()->update();
        if (HintShowSizing) {
            const int Width = std::max(1, X - CellRect(0, TopRow()).Left);
            FSizingHint = QStringLiteral("cw=<b>") + IntToStr(Width) + QStringLiteral("</b>");
            ShowHint(viewport()->mapToGlobal(ViewportPoint(QPoint(X, Y + 16))), FSizingHint, true);
        }
        return;
    }
    TBaseGrid::MouseMove(Shift, X, Y);
    if (!(Shift & (ssLeft | ssRight | ssMiddle))) {
        // The cursor tells what a press would do here.
        const TGridCoord Hit = MouseCoord(X, Y);
        TMouseActions *MA = MouseActions();
        int Kind = 0;
        if (Hit.X >= 0 && Hit.Y >= 0) {
            if (Hit.Y < FixedRows() && Hit.X < FixedCols() && MA->AllSelect)
                Kind = 3;
            else if (Hit.Y < FixedRows() && Hit.X >= FixedCols() && MA->ColSelect)
                Kind = 1;
            else if (Hit.X < FixedCols() && Hit.Y >= FixedRows() && MA->RowSelect)
                Kind = 2;
            else if (OnResizerHandle(X, Y))
                Kind = 5;
        }
        const bool ColEdge =
            ((Options() & goColSizing) && ColBorderAt(X, Y, SizingMargin) >= 0) || OnFixedColBorder(X, Y);
        const bool RowEdge = (Options() & goRowSizing) && RowBorderAt(X, Y, SizingMargin) >= 0;
        FCursorKind = ColEdge || RowEdge ? 0 : Kind;
        if (ColEdge)
            viewport()->setCursor(Qt::SplitHCursor);
        else if (RowEdge)
            viewport()->setCursor(Qt::SplitVCursor);
        else if (FCursorKind > 0)
            viewport()->setCursor(SelectCursor(FCursorKind));
        if (FHovering && Hit.X >= 0 && Hit.Y >= 0)
            RepaintCell(Hit.X, Hit.Y);
        // Entering and leaving anchors of HTML cells; the cell repaints with its hovered link.
        const TPoint Cell = Hit.X >= 0 && Hit.Y >= 0 ? BaseCell(RealColIndex(Hit.X), Hit.Y) : TPoint(-1, -1);
        // A cell's hint goes once the pointer is over another cell.
        if (HintShowing() && !(Cell == FHintCell))
            HideHint();
        THTMLDrawResult Markup;
        if (Cell.X >= 0)
            HTMLHitTest(Cell.X, Cell.Y, X, Y, Markup);
        const QString Anchor = Markup.CtrlType.isEmpty() ? Markup.AnchorVal : QString();
        const int Link = Anchor.isEmpty() ? 0 : Markup.LinkIndex;
        if (Anchor != FHoverAnchor || !(Cell == FHoverAnchorCell) || Link != FHoverLink) {
            if (!FHoverAnchor.isEmpty() && OnAnchorExit)
                OnAnchorExit(this, FHoverAnchorCell.Y, FHoverAnchorCell.X, FHoverAnchor);
            const TPoint Before = FHoverAnchorCell;
            FHoverAnchor = Anchor;
            FHoverLink = Link;
            FHoverAnchorCell = Anchor.isEmpty() ? TPoint(-1, -1) : Cell;
            if (Before.X >= 0)
                RepaintCell(DisplColIndex(Before.X), Before.Y);
            if (FHoverAnchorCell.X >= 0 && !(FHoverAnchorCell == Before))
                RepaintCell(DisplColIndex(Cell.X), Cell.Y);
            if (!Anchor.isEmpty()) {
                viewport()->setCursor(Qt::PointingHandCursor);
                if (OnAnchorEnter)
                    OnAnchorEnter(this, Cell.Y, Cell.X, Anchor);
            }
        }
        return;
    }
    if (!(Shift & ssLeft))
        return;
    if (FMoveFrom >= 0) {
        const TGridCoord Hit = MouseCoord(X, Y);
        const int Target = FMovingRow ? Hit.Y : Hit.X;
        bool Allow = Target >= 0 && (FMovingRow ? Target >= FixedRows() : Target >= FixedCols());
        if (Allow && FMovingRow && OnRowMove)
            OnRowMove(this, Target, Allow);
        else if (Allow && !FMovingRow && OnColumnMove)
            OnColumnMove(this, RealColIndex(Target), Allow);
        FMoveAllowed = Allow;
        if (Allow)
            ShowMoveArrows(Target);
        else
            HideMoveArrows();
        return;
    }
    if (FSizingCol >= 0 && HintShowSizing) {
        FSizingHint = QStringLiteral("cw=<b>") + IntToStr(ColWidths(FSizingCol)) + QStringLiteral("</b>");
        ShowHint(viewport()->mapToGlobal(ViewportPoint(QPoint(X, Y + 16))), FSizingHint, true);
    } else if (FSizingRow >= 0 && HintShowSizing) {
        FSizingHint = QStringLiteral("rh=<b>") + IntToStr(RowHeights(FSizingRow)) + QStringLiteral("</b>");
        ShowHint(viewport()->mapToGlobal(ViewportPoint(QPoint(X, Y + 16))), FSizingHint, true);
    }
}

void TCellGrid::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y)
{
    FOleDragArmed = false;
    TBaseGrid::MouseUp(Button, Shift, X, Y);
    if (Button == mbMiddle && FPanning) {
        EndPan();
        return;
    }
    if (Button != mbLeft)
        return;
    // Sizing fixed column 0 ends: it takes the pointer's x.
    if (FSizingFixedCol) {
        EndFixedColSizing(true, X);
        return;
    }
    // A fill drag fills the range it enlarged; released outside the grid it is taken back.
    if (FFillDragging) {
        const TGridCoord Hit = MouseCoord(X, Y);
        const bool Inside = Hit.X >= 0 && Hit.Y >= 0;
        if (Inside)
            ShowFillRange(FillDragRange(X, Y));
        EndFillDrag(Inside);
        return;
    }
    // A BUTTON control of an HTML cell comes up and reports its click.
    if (FPressedControl.Cell.X >= 0) {
        const TControlRef Pressed = FPressedControl;
        FPressedControl = TControlRef();
        RepaintCell(DisplColIndex(Pressed.Cell.X), Pressed.Cell.Y);
        if (OnControlClick)
            OnControlClick(this, Pressed.Cell.Y, Pressed.Cell.X, Pressed.ID, Pressed.Type, Pressed.Value);
        return;
    }
    if (FSizingCol >= 0) {
        EndColumnSizing();
        return;
    }
    if (FSizingRow >= 0) {
        EndRowSizing();
        return;
    }
    if (FMoveFrom >= 0) {
        const int From = FMoveFrom;
        FMoveFrom = -1;
        FMoveTimer.stop();
        HideMoveArrows();
        const TGridCoord Hit = MouseCoord(X, Y);
        const int Target = FMovingRow ? Hit.Y : Hit.X;
        if (FMoveAllowed && Target >= 0 && Target != From) {
            if (FMovingRow && Target >= FixedRows())
                MoveRow(From, Target);
            else if (!FMovingRow && Target >= FixedCols())
                MoveColumn(From, Target);
        }
        FMoveAllowed = false;
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
    // A click on the sort row sorts by its column: press and release on the
    // same cell, away from a column edge while columns may be sized, and not
    // claimed by a descendant in the cell's last 16 pixels.
    if (FSortSettings->Show && FixedRows() > 0 && Cell.Y == FSortSettings->Row()) {
        const TGridCoord Hit = MouseCoord(X, Y);
        const bool SameCell = Hit.X >= 0 && Hit.Y == Cell.Y && BaseCell(RealColIndex(Hit.X), Hit.Y) == Cell;
        const bool OnEdge = (Options() & goColSizing) && ColBorderAt(X, Y, 4) >= 0;
        const bool FixedOk = Hit.X >= FixedCols() || FSortSettings->FixedCols;
        if (SameCell && !OnEdge && FixedOk) {
            const TRect R = GetCellRect(Hit.X, Hit.Y);
            if (!(X >= R.Right - 16 && ClaimHeaderClick(Cell.X))) {
                ClickSort(Cell.X, Shift);
                return;
            }
        }
    }
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
        if ((G->CellType == ctButton || G->CellType == ctBitButton) && OnButtonClick) {
            const TRect B = CellButtonRect(Cell.X, Cell.Y);
            if (B.IsEmpty() || PtInRect(B, TPoint(X, Y)))
                OnButtonClick(this, Cell.X, Cell.Y);
        }
    }
}

// =================================================================== fixed column sizing

bool TCellGrid::OnFixedColBorder(int X, int Y) const
{
    if (!FMouseActions->SizeFixedCol || FixedCols() < 1 || ColCount() < 1)
        return false;
    const int ARow = MouseCoord(0, Y).Y;
    if (ARow < 0)
        return false;
    // The platform sizes it itself on its header rows.
    if (ARow < FixedRows() && (Options() & goColSizing))
        return false;
    return std::abs(X - CellRect(0, ARow).Right) <= SizingMargin;
}

void TCellGrid::EndFixedColSizing(bool Apply, int X)
{
    FSizingFixedCol = false;
    HideHint();
    viewport()->unsetCursor();
    viewport()->update();
    if (!Apply)
        return;
    SetColWidths(0, std::max(1, X - CellRect(0, TopRow()).Left));
    if (FStretched)
        StretchRightColumn();
    if (OnEndColumnSize)
        OnEndColumnSize(this, RealColIndex(0));
    int Width = ColWidths(0);
    UpdateColSize(0, Width);
    if (Width != ColWidths(0))
        SetColWidths(0, Width);
    RepaintFooter();
}

// =================================================================== panning

void TCellGrid::StartPan(int X, int Y)
{
    // Keys must reach the grid to end it.
    if (!hasFocus())
        setFocus();
    FPanning = true;
    FPanOrigin = FPanPoint = TPoint(X, Y);
    FPanCarryX = FPanCarryY = 0;
    FPanTimer.start(PanInterval, this);
    viewport()->setCursor(
        PanCursor(1, IntelliPan == ipVertical || IntelliPan == ipBoth, IntelliPan == ipHorizontal || IntelliPan == ipBoth));
    viewport()->update(ViewportRect(TRect(X - 16, Y - 16, X + 16, Y + 16)).ToQRect());
}

void TCellGrid::EndPan()
{
    if (!FPanning)
        return;
    FPanning = false;
    FPanTimer.stop();
    viewport()->unsetCursor();
    // The mark goes.
    viewport()->update(ViewportRect(TRect(FPanOrigin.X - 16, FPanOrigin.Y - 16, FPanOrigin.X + 16, FPanOrigin.Y + 16))
                           .ToQRect());
}

int TCellGrid::PanCursorKind() const
{
    const bool Vertical = IntelliPan == ipVertical || IntelliPan == ipBoth;
    const bool Horizontal = IntelliPan == ipHorizontal || IntelliPan == ipBoth;
    const int DY = Vertical ? FPanPoint.Y - FPanOrigin.Y : 0;
    const int DX = Horizontal ? FPanPoint.X - FPanOrigin.X : 0;
    const int D = std::abs(DY) >= std::abs(DX) ? DY : DX;
    if (std::abs(D) <= PanRest)
        return 1;
    return D < 0 ? 2 : 3;
}

void TCellGrid::PanTimerTick()
{
    if (!FPanning) {
        FPanTimer.stop();
        return;
    }
    // Beyond the rest zone the grid scrolls the faster the further the
    // pointer is; parts of a row or column add up over the ticks.
    auto Steps = [](int Distance, double &Carry) {
        const int Beyond = std::abs(Distance) - PanRest;
        if (Beyond <= 0) {
            Carry = 0;
            return 0;
        }
        Carry += Beyond / PanPixelsPerRow * PanInterval / 1000.0;
        const int Whole = int(Carry);
        Carry -= Whole;
        return Distance < 0 ? -Whole : Whole;
    };
    if (IntelliPan == ipVertical || IntelliPan == ipBoth) {
        if (const int Rows = Steps(FPanPoint.Y - FPanOrigin.Y, FPanCarryY))
            verticalScrollBar()->setValue(verticalScrollBar()->value() + Rows);
    }
    if (IntelliPan == ipHorizontal || IntelliPan == ipBoth) {
        if (const int Cols = Steps(FPanPoint.X - FPanOrigin.X, FPanCarryX))
            horizontalScrollBar()->setValue(horizontalScrollBar()->value() + Cols);
    }
}

void TCellGrid::PaintPanMark(TCanvas *C)
{
    QPainter *P = C->Painter();
    if (!P)
        return;
    // A grey ring with arrows along the axes panning may take, at the mark.
    P->save();
    P->setRenderHint(QPainter::Antialiasing);
    P->translate(FPanOrigin.X, FPanOrigin.Y);
    P->setPen(QPen(QColor(96, 96, 96), 1));
    P->setBrush(QColor(255, 255, 255, 200));
    P->drawEllipse(QPointF(0, 0), 14.5, 14.5);
    P->setBrush(QColor(64, 64, 64));
    const QPolygon Up({QPoint(0, -12), QPoint(5, -6), QPoint(-5, -6)});
    P->drawEllipse(QPointF(0, 0), 2, 2);
    const bool Vertical = IntelliPan == ipVertical || IntelliPan == ipBoth;
    const bool Horizontal = IntelliPan == ipHorizontal || IntelliPan == ipBoth;
    for (int Degrees : {0, 90, 180, 270}) {
        if ((Degrees % 180 == 0) ? !Vertical : !Horizontal)
            continue;
        QTransform T;
        T.rotate(Degrees);
        P->drawPolygon(T.map(Up));
    }
    P->restore();
}

// =================================================================== fill drag

TRect TCellGrid::ResizerRect()
{
    if (!FSelectionRectangle || !FSelectionResizer)
        return TRect();
    const TGridRect S = Selection();
    if (S.Right < FixedCols() || S.Bottom < FixedRows() || S.Right >= ColCount() || S.Bottom >= RowCount()
        || IsFixedCell(S.Right, S.Bottom))
        return TRect();
    const TRect Cell = GetCellRect(S.Right, S.Bottom);
    if (Cell.IsEmpty())
        return TRect();
    return TRect(Cell.Right - 4, Cell.Bottom - 4, Cell.Right, Cell.Bottom);
}

bool TCellGrid::OnResizerHandle(int X, int Y)
{
    // The handle answers two pixels around its square, never over fixed cells
    // (where the borders size columns and rows).
    TRect Zone = ResizerRect();
    if (Zone.IsEmpty())
        return false;
    InflateRect(Zone, 2, 2);
    const TGridCoord Hit = MouseCoord(X, Y);
    return PtInRect(Zone, TPoint(X, Y)) && Hit.X >= FixedCols() && Hit.Y >= FixedRows();
}

TGridRect TCellGrid::FillDragRange(int X, int Y)
{
    // The range grows down or right, whichever the pointer went further past
    // its last row or column (data cells only); up and left it stays.
    TGridRect R = FFillFrom;
    const TGridCoord Hit = MouseCoord(X, Y);
    if (Hit.X < 0 || Hit.Y < 0)
        return R;
    const int LastCol = std::max(ColCount() - 1 - FixedRightCols(), FixedCols());
    const int LastRow = std::max(RowCount() - 1 - FixedFooters(), FixedRows());
    const int Down = std::min(Hit.Y, LastRow) - R.Bottom;
    const int Across = std::min(Hit.X, LastCol) - R.Right;
    if (Down > 0 && Down >= Across)
        R.Bottom += Down;
    else if (Across > 0)
        R.Right += Across;
    return R;
}

void TCellGrid::ShowFillRange(const TGridRect &Range)
{
    if (Selection() == Range)
        return;
    auto IsCorner = [&Range](TGridCoord P) {
        return (P.X == Range.Left || P.X == Range.Right) && (P.Y == Range.Top || P.Y == Range.Bottom);
    };
    auto Opposite = [&Range](TGridCoord P) {
        return TGridCoord{P.X == Range.Left ? Range.Right : Range.Left, P.Y == Range.Top ? Range.Bottom : Range.Top};
    };
    // The current cell stays when it is a corner of the range; otherwise the
    // anchor does and the current cell goes to the opposite corner, through
    // the ordinary cell change.
    const TGridCoord Current{Col(), Row()};
    if (IsCorner(Current)) {
        const TGridCoord A = Opposite(Current);
        SetAnchor(A.X, A.Y);
        return;
    }
    const TGridCoord A = IsCorner(Anchor()) ? Anchor() : TGridCoord{Range.Left, Range.Top};
    const TGridCoord C = Opposite(A);
    FocusCell(C.X, C.Y, false);
    if (Col() == C.X && Row() == C.Y)
        SetAnchor(A.X, A.Y);
}

void TCellGrid::EndFillDrag(bool Fill)
{
    FFillDragging = false;
    const TGridRect From = FFillFrom;
    if (!Fill) {
        ShowFillRange(From);
        return;
    }
    const TGridRect To = Selection();
    if (To == From)
        return;
    // The block goes back onto itself as text unless the grid's own format
    // is on, and the text is what the cells show: markup without its tags,
    // formatted numbers, password characters, rich text as plain text. The
    // block's own cells keep what they hold; only the new cells are filled.
    std::vector<QString> Held;
    Held.reserve(size_t(From.Right - From.Left + 1) * size_t(From.Bottom - From.Top + 1));
    for (int R = From.Top; R <= From.Bottom; ++R)
        for (int C = From.Left; C <= From.Right; ++C)
            Held.push_back(GetCellText(RealColIndex(C), R));
    PasteSelectionFromClipboard();
    auto It = Held.cbegin();
    for (int R = From.Top; R <= From.Bottom; ++R)
        for (int C = From.Left; C <= From.Right; ++C, ++It)
            if (GetCellText(RealColIndex(C), R) != *It)
                SetCellText(RealColIndex(C), R, *It);
}

void TCellGrid::DblClick()
{
    TBaseGrid::DblClick();
}

void TCellGrid::mouseDoubleClickEvent(QMouseEvent *Event)
{
    const QPoint P = ViewportPoint(Event->position().toPoint());
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

QString TCellGrid::AnchorAt(int ACol, int ARow, int X, int Y)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount())
        return QString();
    const TPoint B = BaseCell(RealColIndex(ACol), ARow);
    THTMLDrawResult Res;
    if (!HTMLHitTest(B.X, B.Y, X, Y, Res) || !Res.CtrlType.isEmpty())
        return QString();
    return Res.AnchorVal;
}

bool TCellGrid::HTMLHitTest(int ACol, int ARow, int X, int Y, THTMLDrawResult &Result)
{
    Result = THTMLDrawResult();
    if (!EnableHTML || ACol < 0 || ARow < 0 || ARow >= RowCount())
        return false;
    const QString Text = GetFormattedText(ACol, ARow);
    if (TextKind(Text, true) != tkHTML)
        return false;
    const TPaintedLayout L = CellLayout(ACol, ARow);
    if (!PtInRect(L.Cell, TPoint(X, Y)))
        return false;
    // The cell's font as the painting sets it; the renderer lays the text out
    // the same way, without drawing.
    TCanvas *C = Canvas();
    const TFont Saved(*C->Font());
    TBrush Brush;
    TFont Font;
    TGridDrawState State = 0;
    TAlignment HA;
    TVAlignment VA;
    GetCellColorAndFont(DisplColIndex(ACol), ARow, State, false, false, true, &Brush, &Font, HA, VA);
    C->SetFont(Font);
    // Right to left the markup was laid out unmirrored in the mirrored text
    // rectangle: the test runs there, and what it finds is in viewport pixels.
    const bool Mirrored = UseRightToLeftAlignment();
    const QPoint At = ViewportPoint(QPoint(X, Y));
    const TRect TR = AlignHTMLRect(C, Text, ViewportRect(L.TextRect), Mirrored ? MirroredAlignment(L.HAlign) : L.HAlign);
    const bool Hit = HTMLDrawEx(C, Text, TR, nullptr, PictureContainer, FImageCache.get(), At.x(), At.y(), true, 0, 0,
                                clNone, clNone, false, URLColor(), clGray, 1, true, false, false, FWordWrap, true, 1.0,
                                Result);
    C->SetFont(Saved);
    return Hit;
}

void TCellGrid::OpenLink(const QString &Link)
{
    // Links come from cell texts, which come from files: only web and mail
    // addresses go to the desktop, never local files or programs.
    const QString Lower = Link.trimmed().toLower();
    for (const char *Scheme : {"http://", "https://", "ftp://", "mailto:"})
        if (Lower.startsWith(QLatin1String(Scheme))) {
            Shell().Open(Link.trimmed());
            return;
        }
}

// =================================================================== cell controls of HTML cells

void TCellGrid::HTMLControlPress(const TPoint &Cell, const THTMLDrawResult &Hit)
{
    if (Hit.CtrlType == QLatin1String("BUTTON")) {
        FPressedControl = {Cell, Hit.CtrlID, Hit.CtrlType, Hit.CtrlValue, Hit.LinkRect};
        RepaintCell(DisplColIndex(Cell.X), Cell.Y);
    } else if (Hit.CtrlType == QLatin1String("CHECK")) {
        const QString Value =
            Hit.CtrlValue.compare(QLatin1String("TRUE"), Qt::CaseInsensitive) == 0 ? QStringLiteral("FALSE")
                                                                                     : QStringLiteral("TRUE");
        QString Text = GetCellText(Cell.X, Cell.Y);
        if (SetControlValue(Text, Hit.CtrlID, Value))
            SetCellText(Cell.X, Cell.Y, Text);
        if (OnControlClick)
            OnControlClick(this, Cell.Y, Cell.X, Hit.CtrlID, Hit.CtrlType, Value);
    } else if (Hit.CtrlType == QLatin1String("EDIT") || Hit.CtrlType == QLatin1String("COMBO")) {
        OpenControlEditor(Cell, Hit);
    }
}

QWidget *TCellGrid::ControlEditor() const
{
    if (FControlEdit && FControlEdit->isVisible())
        return FControlEdit;
    if (FControlCombo && FControlCombo->isVisible())
        return FControlCombo;
    return nullptr;
}

namespace {
// Ends an HTML cell control's editor on Enter, Escape, TAB, the arrow keys
// and the loss of the focus; the keys then go on to the grid.
class TControlEditorKeys : public QObject {
public:
    TControlEditorKeys(QObject *Parent, std::function<void(bool Write, QKeyEvent *Key)> Close)
        : QObject(Parent), FClose(std::move(Close))
    {
    }
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        if (Event->type() == QEvent::KeyPress) {
            auto *K = static_cast<QKeyEvent *>(Event);
            switch (K->key()) {
            case Qt::Key_Escape: FClose(false, nullptr); return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Up:
            case Qt::Key_Down:
                FClose(true, K);
                return true;
            case Qt::Key_Left:
            case Qt::Key_Right:
                if (qobject_cast<QLineEdit *>(Watched)) {
                    FClose(true, K);
                    return true;
                }
                break;
            default: break;
            }
        } else if (Event->type() == QEvent::FocusOut) {
            auto *F = static_cast<QFocusEvent *>(Event);
            if (F->reason() != Qt::PopupFocusReason)
                FClose(true, nullptr);
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void(bool, QKeyEvent *)> FClose;
};
} // namespace

void TCellGrid::OpenControlEditor(const TPoint &Cell, const THTMLDrawResult &Hit)
{
    CloseControlEditor(true);
    FEditedControl = {Cell, Hit.CtrlID, Hit.CtrlType, Hit.CtrlValue, Hit.LinkRect};
    // The grid's own editor stays closed while a control is edited.
    FControlAlwaysEdit = Navigation()->AlwaysEdit;
    Navigation()->AlwaysEdit = false;
    auto Close = [this](bool Write, QKeyEvent *Key) {
        // Closing may come from the editor's own focus loss; the key is re-sent after.
        std::unique_ptr<QKeyEvent> Copy;
        if (Key)
            Copy = std::make_unique<QKeyEvent>(Key->type(), Key->key(), Key->modifiers(), Key->text());
        QMetaObject::invokeMethod(
            this,
            Guarded([this, Write, Held = std::shared_ptr<QKeyEvent>(std::move(Copy))] {
                CloseControlEditor(Write);
                if (Held) {
                    setFocus();
                    QKeyEvent E(Held->type(), Held->key(), Held->modifiers(), Held->text());
                    QApplication::sendEvent(this, &E);
                }
            }),
            Qt::QueuedConnection);
    };
    const QRect Box = Hit.LinkRect.ToQRect();
    if (Hit.CtrlType == QLatin1String("COMBO")) {
        TStringList Values;
        bool Edit = true;
        int DropCount = 8;
        if (OnControlComboList)
            OnControlComboList(this, Cell.Y, Cell.X, Hit.CtrlID, Hit.CtrlType, Hit.CtrlValue, &Values, Edit, DropCount);
        if (!FControlCombo) {
            FControlCombo = new QComboBox(viewport());
            FControlCombo->installEventFilter(new TControlEditorKeys(FControlCombo, Close));
            connect(FControlCombo, QOverload<int>::of(&QComboBox::activated), this, [this] {
                QMetaObject::invokeMethod(this, Guarded([this] { CloseControlEditor(true); }), Qt::QueuedConnection);
            });
        }
        FControlCombo->clear();
        for (int I = 0; I < Values.Count(); ++I)
            FControlCombo->addItem(Values.Strings(I));
        FControlCombo->setEditable(Edit);
        FControlCombo->setMaxVisibleItems(std::max(1, DropCount));
        FControlCombo->setCurrentText(Hit.CtrlValue);
        if (!Edit) {
            const int I = FControlCombo->findText(Hit.CtrlValue);
            if (I >= 0)
                FControlCombo->setCurrentIndex(I);
        }
        FControlCombo->setGeometry(Box);
        FControlCombo->show();
        FControlCombo->setFocus();
        return;
    }
    if (!FControlEdit) {
        FControlEdit = new QLineEdit(viewport());
        FControlEdit->setFrame(true);
        FControlEdit->installEventFilter(new TControlEditorKeys(FControlEdit, Close));
    }
    FControlEdit->setText(Hit.CtrlValue);
    FControlEdit->selectAll();
    FControlEdit->setGeometry(Box);
    FControlEdit->show();
    FControlEdit->setFocus();
}

void TCellGrid::CloseControlEditor(bool Write)
{
    QWidget *Editor = ControlEditor();
    if (!Editor)
        return;
    const TControlRef Edited = FEditedControl;
    FEditedControl = TControlRef();
    Navigation()->AlwaysEdit = FControlAlwaysEdit;
    QString Value = Edited.Value;
    if (Editor == FControlEdit)
        Value = FControlEdit->text();
    else if (Editor == FControlCombo)
        Value = FControlCombo->currentText();
    Editor->hide();
    if (!Write || Edited.Cell.X < 0)
        return;
    QString Text = GetCellText(Edited.Cell.X, Edited.Cell.Y);
    if (SetControlValue(Text, Edited.ID, Value))
        SetCellText(Edited.Cell.X, Edited.Cell.Y, Text);
    if (OnControlEditDone)
        OnControlEditDone(this, Edited.Cell.Y, Edited.Cell.X, Edited.ID, Edited.Type, Value);
}

// =================================================================== hint window

THTMLHintWindow *TCellGrid::HintWindow()
{
    if (!FHintWindow)
        FHintWindow = std::make_unique<THTMLHintWindow>(nullptr);
    return FHintWindow.get();
}

bool TCellGrid::HintShowing() const { return FHintWindow && FHintWindow->isVisible(); }

void TCellGrid::HideHint()
{
    if (FHintWindow)
        FHintWindow->hide();
    FHintCell = TPoint(-1, -1);
}

void TCellGrid::ShowHint(const QPoint &Global, const QString &Hint, bool HTML)
{
    THTMLHintWindow *W = HintWindow();
    W->Color = HintColor;
    W->HTML = HTML;
    W->Font()->AssignQFont(font());
    W->Font()->SetColor(clInfoText);
    W->ActivateHint(TRect(Global.x(), Global.y(), Global.x(), Global.y()), Hint);
}

TCellGrid::TPaintedLayout TCellGrid::CellLayout(int ACol, int ARow)
{
    const int DC = DisplColIndex(ACol);
    const TRect Cell = GetCellRect(DC, ARow);
    if (const auto It = FPaintedLayouts.find({ACol, ARow}); It != FPaintedLayouts.end() && It->second.Cell == Cell)
        return It->second;
    // Not painted in this place yet: the same steps as the painting, with the
    // grid's font and without the colour events.
    TPaintedLayout L;
    L.Cell = Cell;
    L.Content = Cell;
    if (DC == 0 && ARow >= FixedRows())
        L.Content.Left += GetRowIndent(ARow);
    const int Inset = IsFixedCell(DC, ARow) ? 1 : GridLineWidth();
    InflateRect(L.Content, -Inset, -Inset);
    TVAlignment VA = vtaTop;
    CellAlignment(ACol, ARow, L.HAlign, VA);
    L.TextRect = L.Content;
    L.TextRect.Left += CellTextMargin.X;
    L.TextRect.Right -= CellTextMargin.X;
    L.TextRect.Top += CellTextMargin.Y;
    if (const TCellGraphic *G = GetCellGraphic(ACol, ARow)) {
        const TPoint GS = GetGraphicSize(ACol, ARow);
        if (G->CellHAlign == haBeforeText && L.HAlign != taCenter)
            L.TextRect.Left += GS.X;
        else if (G->CellHAlign == haAfterText && L.HAlign != taCenter)
            L.TextRect.Right -= GS.X;
    }
    const QString Text = GetFormattedText(ACol, ARow);
    TCanvas *C = Canvas();
    C->SetFont(*Font());
    const int Width = TextKind(Text, EnableHTML) == tkHTML ? HTMLTextSize(C, Text, L.TextRect, FWordWrap).cx
                                                           : DrawTextWidth(C, Text, L.TextRect.Width());
    L.TextWidth = Text.isEmpty() ? 0 : std::max(0, std::min(Width, L.TextRect.Width())) + 2;
    return L;
}

TRect TCellGrid::CheckBoxRect(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G || !(G->CellType == ctCheckBox || G->CellType == ctDataCheckBox || G->CellType == ctVirtCheckBox))
        return TRect();
    const TPaintedLayout L = CellLayout(ACol, ARow);
    const TPoint GS = GetGraphicSize(ACol, ARow);
    const TPoint O = GraphicOrigin(G, L.Content, L.TextWidth, L.HAlign, GS.X, GS.Y);
    // Drawing is clipped to the cell.
    TRect Box;
    IntersectRect(Box, TRect(O.X, O.Y, O.X + GS.X, O.Y + GS.Y), L.Content);
    return Box;
}

TRect TCellGrid::RadioItemRect(int ACol, int ARow, int Index)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    const TStringList *Items = GetRadioStrings(ACol, ARow);
    if (!G || G->CellType != ctRadio || !Items || Index < 0 || Index >= Items->Count())
        return TRect();
    const TPaintedLayout L = CellLayout(ACol, ARow);
    TCanvas *C = Canvas();
    C->SetFont(*Font());
    std::vector<TRect> Buttons, Captions;
    RadioLayout(C, L.Content, Items->Count(), Items, G->CellBoolean, Buttons, Captions);
    TRect Item = Buttons[size_t(Index)];
    if (!Captions[size_t(Index)].IsEmpty())
        UnionRect(Item, Item, Captions[size_t(Index)]);
    TRect Shown;
    IntersectRect(Shown, Item, L.Content);
    return Shown;
}

int TCellGrid::RadioItemAt(int ACol, int ARow, int X, int Y)
{
    const TPoint B = BaseCell(RealColIndex(ACol), ARow);
    const TStringList *Items = GetRadioStrings(B.X, B.Y);
    if (!Items)
        return -1;
    for (int I = 0; I < Items->Count(); ++I)
        if (PtInRect(RadioItemRect(B.X, B.Y, I), TPoint(X, Y)))
            return I;
    return -1;
}

bool TCellGrid::SelectRadio(int ACol, int ARow, int Index)
{
    TCellGraphic *G = GetCellGraphic(ACol, ARow);
    const TStringList *Items = GetRadioStrings(ACol, ARow);
    if (!G || !Items || Index < 0 || Index >= Items->Count())
        return false;
    bool CanEdit = true;
    CanEditCell(ACol, ARow, CanEdit);
    if (!CanEdit)
        return false;
    if (G->CellIndex >= 0)
        G->CellIndex = Index;
    SetCellText(ACol, ARow, Items->Strings(Index));
    RepaintCell(DisplColIndex(ACol), ARow);
    return true;
}

// =================================================================== wheel

void TCellGrid::Zoom(int Step)
{
    if (Step < -10 || Step > 10)
        return;
    FZoomStep = Step;
    for (int C = 0; C < ColCount(); ++C)
        if (ColWidths(C) + Step > 0)
            SetColWidths(C, ColWidths(C) + Step);
    for (int R = 0; R < RowCount(); ++R)
        if (RowHeights(R) + Step > 0)
            SetRowHeights(R, RowHeights(R) + Step);
}

bool TCellGrid::DoMouseWheelDown(TShiftState Shift, const QPoint &MousePos)
{
    if ((Shift & ssCtrl) && IntelliZoom) {
        Zoom(-1);
        return true;
    }
    const int Left = LeftCol();
    const bool Result = TBaseGrid::DoMouseWheelDown(Shift, MousePos);
    if ((Options() & goRowSelect) && Navigation()->KeepHorizScroll)
        SetLeftCol(Left);
    return Result;
}

bool TCellGrid::DoMouseWheelUp(TShiftState Shift, const QPoint &MousePos)
{
    if ((Shift & ssCtrl) && IntelliZoom) {
        Zoom(1);
        return true;
    }
    const int Left = LeftCol();
    const bool Result = TBaseGrid::DoMouseWheelUp(Shift, MousePos);
    if ((Options() & goRowSelect) && Navigation()->KeepHorizScroll)
        SetLeftCol(Left);
    return Result;
}

// =================================================================== hints

void TCellGrid::ShowMoveArrows(int Target)
{
    // Arrows on both sides of the line where the moved column or row would go.
    const TRect R = FMovingRow ? GetCellRect(0, Target) : GetCellRect(Target, 0);
    if (FMovingRow) {
        const TRect V = ViewportRect(R);
        const QPoint L = viewport()->mapToGlobal(QPoint(V.Left, V.Top));
        const QPoint Rt = viewport()->mapToGlobal(QPoint(V.Right, V.Top));
        ArrowWindow(2)->move(L.x() - 11, L.y() - 5);
        ArrowWindow(3)->move(Rt.x(), Rt.y() - 5);
        ArrowWindow(2)->show();
        ArrowWindow(3)->show();
    } else {
        // The line where the column would go is its leading edge.
        const int Edge = ViewportPoint(QPoint(R.Left, 0)).x() + (UseRightToLeftAlignment() ? 1 : 0);
        const QPoint T = viewport()->mapToGlobal(QPoint(Edge, R.Top));
        const QPoint B = viewport()->mapToGlobal(QPoint(Edge, R.Bottom));
        ArrowWindow(1)->move(T.x() - 5, T.y() - 11);
        ArrowWindow(0)->move(B.x() - 5, B.y());
        ArrowWindow(1)->show();
        ArrowWindow(0)->show();
    }
}

void TCellGrid::HideMoveArrows()
{
    for (int D = 0; D < 4; ++D)
        if (ArrowWindow(D))
            ArrowWindow(D)->hide();
}

bool TCellGrid::viewportEvent(QEvent *Event)
{
    // No context menu while a column or row is being moved.
    if (Event->type() == QEvent::ContextMenu && FMoveFrom >= 0) {
        Event->accept();
        return true;
    }
    // The hint window goes when the pointer leaves the grid or presses.
    if (Event->type() == QEvent::Leave || Event->type() == QEvent::MouseButtonPress)
        HideHint();
    if (Event->type() != QEvent::ToolTip)
        return TBaseGrid::viewportEvent(Event);
    auto *Help = static_cast<QHelpEvent *>(Event);
    const QPoint Pos = ViewportPoint(Help->pos());
    const TGridCoord Hit = MouseCoord(Pos.x(), Pos.y());
    if (Hit.X < 0 || Hit.Y < 0) {
        HideHint();
        return true;
    }
    const TPoint B = BaseCell(RealColIndex(Hit.X), Hit.Y);
    QString Hint;
    const QString Anchor = AnchorHint ? AnchorAt(Hit.X, Hit.Y, Pos.x(), Pos.y()) : QString();
    if (!Anchor.isEmpty()) {
        Hint = Anchor;
        if (OnAnchorHint)
            OnAnchorHint(this, B.Y, B.X, Hint);
    } else if (Hit.X >= FixedCols() && Hit.Y >= FixedRows()) {
        const QString Text = GetCellText(B.X, B.Y);
        const QString Plain = TextKind(Text, true) == tkHTML ? HTMLStrip(Text) : Text;
        bool Show = HintShowCells;
        if (!Show && HintShowLargeText) {
            const int Room = GetCellRect(Hit.X, Hit.Y).Width();
            Show = DrawTextWidth(Canvas(), Plain, Room + 1) > Room;
        }
        if (Show)
            Hint = HTMLHint ? Text : Plain;
    }
    GetCellHint(B.X, B.Y, Hint);
    if (Hint.isEmpty()) {
        HideHint();
        return true;
    }
    const TRect R = ViewportRect(GetCellRect(Hit.X, Hit.Y));
    ShowHint(viewport()->mapToGlobal(QPoint(R.Left, R.Top)), Hint, HTMLHint);
    FHintCell = B;
    return true;
}

// =================================================================== accelerators, resizing, scrolling

bool TCellGrid::event(QEvent *Event)
{
    // Keys typed in the grid never fire an accelerator of the form unless Alt is held.
    if (Event->type() == QEvent::ShortcutOverride) {
        auto *K = static_cast<QKeyEvent *>(Event);
        if (!(K->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) && !K->text().isEmpty()
            && K->text().at(0).unicode() >= 32) {
            Event->accept();
            return true;
        }
    }
    return TBaseGrid::event(Event);
}

void TCellGrid::SetIntegralHeight(bool Value)
{
    FIntegralHeight = Value;
    if (Value)
        SetBounds(x(), y(), width(), height());
}

void TCellGrid::SetBounds(int ALeft, int ATop, int AWidth, int AHeight)
{
    setGeometry(ALeft, ATop, AWidth, FIntegralHeight ? IntegralHeightFor(AWidth, AHeight) : AHeight);
}

int TCellGrid::IntegralHeightFor(int AWidth, int AHeight) const
{
    // Rows follow each other at their height plus one grid line; the last row
    // needs no line below it. The horizontal scroll bar takes its room only
    // when the columns do not all fit, which is when it shows.
    const int Line = GridLineWidth();
    const int Pitch = std::max(DefaultRowHeight() + Line, 1);
    const int Frame = 2 * frameWidth();
    int Columns = 0;
    for (int C = 0; C < ColCount(); ++C)
        Columns += ColWidths(C) + Line;
    // Only the width decides, so the rule gives the same height again for
    // its own result.
    const bool Fits = Columns - Line <= AWidth - Frame;
    const int HBar = Fits || horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff
        ? 0
        : horizontalScrollBar()->sizeHint().height();
    const int Rows = std::max(1, (AHeight - Frame - HBar + Line) / Pitch);
    return Rows * Pitch - Line + Frame + HBar;
}

void TCellGrid::resizeEvent(QResizeEvent *Event)
{
    TBaseGrid::resizeEvent(Event);
    if (FIntegralHeight) {
        const int H = IntegralHeightFor(width(), height());
        if (H != height()) {
            resize(width(), H);
            // The scroll area does not lay out its viewport again for a resize
            // made while it handles one; setting the margins makes it do so.
            setViewportMargins(viewportMargins());
            return;
        }
    }
    if (ColumnSize()->Stretch())
        StretchRightColumn();
    // Footer rows and right fixed columns stand at the edges, which moved.
    if (FixedFooters() > 0 || FixedRightCols() > 0)
        InvalidateGrid();
}

void TCellGrid::TopLeftChanged()
{
    // A pending edit of the grid's own editors ends when the cells scroll.
    if (EditorActive && IsGridEditorKind(EditorKind))
        HideCellEditor();
    TBaseGrid::TopLeftChanged();
    // The footer strip shows the columns from the left column on.
    RepaintFooter();
    // Controls placed in cells follow their cells; one whose cell left the view shrinks to nothing.
    // Only the rows in view and the controls shown before are visited.
    std::vector<QPointer<QWidget>> Shown;
    const int LastRow = std::min(RowCount() - 1, TopRow() + VisibleRowCount());
    const int FirstCol = LeftCol(), LastCol = LeftCol() + VisibleColCount();
    auto Place = [&](int C, int R) {
        const TCellProperties *P = PropsOf(C, R);
        if (!P || !P->Control)
            return;
        const TRect Rc = ViewportRect(GetCellRect(C, R));
        P->Control->setGeometry(Rc.Left, Rc.Top, Rc.Width(), Rc.Height());
        Shown.emplace_back(P->Control);
    };
    for (int R = NextRowWithObjects(0); R <= LastRow; R = NextRowWithObjects(R + 1)) {
        if (R >= FixedRows() && R < TopRow()) {
            R = NextRowWithObjects(TopRow()) - 1;
            continue;
        }
        // The fixed columns and the columns in view.
        for (int C = 0; C < std::min(FixedCols(), ColCount()); ++C)
            Place(C, R);
        for (int C = std::max(FirstCol, FixedCols()); C <= LastCol && C < ColCount(); ++C)
            Place(C, R);
    }
    for (const QPointer<QWidget> &W : FShownCellControls)
        if (W && std::find(Shown.begin(), Shown.end(), W) == Shown.end())
            W->setGeometry(W->x(), W->y(), 0, 0);
    FShownCellControls = std::move(Shown);
}

// =================================================================== timers

void TCellGrid::SetEnableBlink(bool Value)
{
    FEnableBlink = Value;
    UpdateGridTimer();
}

void TCellGrid::SetHovering(bool Value)
{
    FHovering = Value;
    UpdateGridTimer();
}

void TCellGrid::UpdateGridTimer()
{
    if (FEnableBlink || FHovering) {
        if (!FGridTimer.isActive())
            FGridTimer.start(500, this);
    } else {
        FGridTimer.stop();
    }
}

void TCellGrid::GridTimerTick()
{
    if (FHovering) {
        const QPoint P = ViewportPoint(viewport()->mapFromGlobal(QCursor::pos()));
        if (viewport()->rect().contains(P)) {
            const TGridCoord Hit = MouseCoord(P.x(), P.y());
            if (Hit.X >= FixedCols() && Hit.Y >= FixedRows() && (Hit.X != Col() || Hit.Y != Row()))
                FocusCell(Hit.X, Hit.Y, true);
        }
    }
    if (FEnableBlink) {
        FBlinkPhase = !FBlinkPhase;
        auto RepaintBlinking = [this](int C, int R) {
            if (GetCellText(RealColIndex(C), R).contains(QStringLiteral("<BLI"), Qt::CaseInsensitive))
                RepaintCell(C, R);
        };
        const int LastCol = std::min(ColCount() - 1, LeftCol() + VisibleColCount());
        const int LastRow = std::min(RowCount() - 1, TopRow() + VisibleRowCount());
        // The fixed rows and columns and those in view, not those scrolled past.
        for (int R = 0; R <= LastRow; ++R) {
            if (R >= FixedRows() && R < TopRow())
                R = TopRow();
            for (int C = 0; C <= LastCol; ++C) {
                if (C >= FixedCols() && C < LeftCol())
                    C = LeftCol();
                if (C <= LastCol)
                    RepaintBlinking(C, R);
            }
        }
    }
}

void TCellGrid::MoveTimerTick()
{
    // While a column or row is dragged past the edge, the grid scrolls after it.
    if (FMoveFrom < 0) {
        FMoveTimer.stop();
        return;
    }
    const QPoint P = ViewportPoint(viewport()->mapFromGlobal(QCursor::pos()));
    if (FMovingRow) {
        if (P.y() >= ClientHeight())
            SetTopRow(TopRow() + 1);
        else if (P.y() < 0)
            SetTopRow(TopRow() - 1);
    } else {
        if (P.x() >= ClientWidth())
            SetLeftCol(LeftCol() + 1);
        else if (P.x() < 0)
            SetLeftCol(LeftCol() - 1);
    }
}

void TCellGrid::timerEvent(QTimerEvent *Event)
{
    if (Event->timerId() == FGridTimer.timerId())
        GridTimerTick();
    else if (Event->timerId() == FMoveTimer.timerId())
        MoveTimerTick();
    else if (Event->timerId() == FPanTimer.timerId())
        PanTimerTick();
    else
        TBaseGrid::timerEvent(Event);
}
