// Drag and drop of cells. Dropped data is untrusted like pasted data: it goes
// through PasteText or the file import, only into cells the user may change,
// and a drop the grid refuses takes no effect, so a source that moved rows
// keeps them.

#include "grid/CellGridDragDrop.h"

#include "grid/CellGrid.h"
#include "platform/services/Application.h"

#include <QCursor>
#include <QEvent>

// =================================================================== settings

TDragDropSettings::TDragDropSettings(TCellGrid *AGrid) : FGrid(AGrid) {}

TDragDropSettings::~TDragDropSettings() = default;

void TDragDropSettings::SetOleDropTarget(bool Value)
{
    FOleDropTarget = Value;
    if (!FGrid)
        return;
    if (Value) {
        if (FRegistered)
            return;
        FDropTarget = std::make_unique<TGridDropTarget>(FGrid);
        FDropTarget->AcceptDrop = true;
        FRegistered = FDropTarget->Register(FGrid->viewport());
    } else if (FRegistered) {
        FDropTarget->Revoke();
        FDropTarget.reset();
        FRegistered = false;
    }
}

void TDragDropSettings::SetOleDropRTF(bool Value)
{
    FOleDropRTF = Value;
    OleDropRTFAllowed = Value;
}

// =================================================================== target and source

TGridDropTarget::TGridDropTarget(TCellGrid *AGrid) : FGrid(AGrid) {}

bool TGridDropTarget::eventFilter(QObject *Watched, QEvent *Event)
{
    const QEvent::Type T = Event->type();
    if (T != QEvent::DragEnter && T != QEvent::DragMove && T != QEvent::DragLeave && T != QEvent::Drop)
        return TCGDropTarget::eventFilter(Watched, Event);
    TDragDropSettings *S = FGrid->DragDropSettings();
    AcceptText = S->OleAcceptText;
    AcceptFiles = S->OleAcceptFiles;
    AcceptCols = S->OleColumnDragDrop;
    // What a drop raises goes to the error handler, never into Qt's event loop.
    try {
        return TCGDropTarget::eventFilter(Watched, Event);
    } catch (...) {
        FGrid->HideMoveArrows();
        HandleException(FGrid);
        return true;
    }
}

void TGridDropTarget::DropText(const TPoint &Pt, const QString &S)
{
    if (!FGrid->OleDropText(Pt, S))
        RefuseDrop();
}

void TGridDropTarget::DropCol(const TPoint &Pt, int Col)
{
    FGrid->OleDropCol(Pt, Col);
}

void TGridDropTarget::DropRTF(const TPoint &Pt, const QString &S)
{
    if (!FGrid->OleDropRTF(Pt, S))
        RefuseDrop();
}

void TGridDropTarget::DropFiles(const TPoint &Pt, TStringList *Files)
{
    FGrid->OleDropFiles(Pt, Files);
}

void TGridDropTarget::DragMouseMove(const TPoint &Pt, bool &Allow, int Formats)
{
    TCGDropTarget::DragMouseMove(Pt, Allow, Formats);
    FGrid->OleDragOver(Pt, Allow, Formats);
}

void TGridDropTarget::DragMouseLeave()
{
    FGrid->HideMoveArrows();
}

TGridDropSource::TGridDropSource(TCellGrid *AGrid) : TCGDropSource(AGrid->viewport()), FGrid(AGrid) {}

void TGridDropSource::DragNotify()
{
    QWidget *P = FGrid->DragPicture();
    if (P->isVisible())
        P->move(QCursor::pos() + QPoint(8, 8));
}

// =================================================================== drag out

QWidget *TCellGrid::DragPicture()
{
    if (!FDragPicture) {
        FDragPicture = std::make_unique<TPopupButton>(this);
        FDragPicture->hide();
    }
    return FDragPicture.get();
}

bool TCellGrid::OleDragArm(int HitCol, int HitRow, int X, int Y)
{
    TDragDropSettings *DD = DragDropSettings();
    FOleDragArmed = false;
    if (!DD->OleDropSource || MouseActions()->ColSelect || MouseActions()->AllSelect)
        return false;
    const TGridRect S = Selection();
    const bool InSelection = HitCol >= S.Left && HitCol <= S.Right && HitRow >= S.Top && HitRow <= S.Bottom;
    const bool OnHeader = HitRow < FixedRows() && HitCol >= FixedCols() && DD->OleColumnDragDrop;
    if (!InSelection && !OnHeader)
        return false;
    if (Options() & goColSizing) {
        const TRect R = GetSingleCellRect(HitCol, HitRow);
        if (X < R.Left + 4 || X > R.Right - 4)
            return false;
    }
    Q_UNUSED(Y);
    FOleDragArmed = true;
    FOleDragHit = TPoint(HitCol, HitRow);
    return true;
}

void TCellGrid::OleDragStart()
{
    FOleDragArmed = false;
    TDragDropSettings *DD = DragDropSettings();
    if (!DD->OleDropSource || FSizingCol >= 0)
        return;
    const int ACol = RealColIndex(FOleDragHit.X), ARow = FOleDragHit.Y;
    bool Allow = true;
    if (OnOleDrag)
        OnOleDrag(this, ARow, ACol, GetCellText(ACol, ARow), Allow);
    if (!Allow)
        return;
    TGridDropSource Source(this);
    if (OnOleDragStart)
        OnOleDragStart(this, ARow, ACol);
    quint32 Effect = DROPEFFECT_NONE;
    const quint32 Allowed = DD->OleCopyAlways ? DROPEFFECT_COPY : DROPEFFECT_COPY | DROPEFFECT_MOVE;
    if (ARow < FixedRows() && DD->OleColumnDragDrop) {
        // The column travels with a picture of its header.
        auto *P = static_cast<TPopupButton *>(DragPicture());
        const TRect R = GetCellRect(FOleDragHit.X, ARow);
        P->SetCaption(GetCellText(ACol, ARow));
        P->resize(R.Right - R.Left, R.Bottom - R.Top);
        P->move(viewport()->mapToGlobal(QPoint(R.Left, R.Top)));
        P->show();
        StartColumnDoDragDrop(&Source, FOleDragHit.X, Allowed, Effect);
        P->hide();
    } else {
        TGridRect S = Selection();
        if ((Options() & goRowSelect) && DD->OleEntireRows) {
            S.Left = 0;
            S.Right = ColCount() - 1;
        }
        const bool Disjunct = MouseActions()->DisjunctRowSelect;
        if (Disjunct) {
            // Only the flagged rows travel; the block reaches from the first to the last.
            int First = -1, Last = -1;
            for (int R = 0; R < RowCount(); ++R)
                if (RowSelect(R)) {
                    if (First < 0)
                        First = R;
                    Last = R;
                }
            if (First >= 0) {
                S.Top = First;
                S.Bottom = Last;
            }
        }
        const QString Text = BlockText(TRect(S.Left, S.Top, S.Right, S.Bottom), Disjunct);
        const QString TopLeft = GetCellText(RealColIndex(S.Left), S.Top);
        const QString RTF = DD->OleDropRTF() && TopLeft.contains(QLatin1String("{\\")) ? TopLeft : QString();
        FOleDragSelection = S;
        FOleDragging = true;
        const HRESULT Result = StartTextDoDragDrop(&Source, Text, RTF, Allowed, Effect);
        FOleDragging = false;
        if (Result == DRAGDROP_S_DROP && Effect == DROPEFFECT_MOVE && DD->OleRemoveRows && (Options() & goRowSelect)
            && MouseActions()->DisjunctRowSelect)
            RemoveSelectedRows();
    }
    Source.LastEffect = Effect;
    if (OnOleDragStop)
        OnOleDragStop(this, int(Effect));
    HideMoveArrows();
}

// =================================================================== drop target side

TPoint TCellGrid::OleCellAt(const TPoint &ScreenPt)
{
    int ACol = -1, ARow = -1;
    CellAtScreenPoint(ScreenPt.ToQPoint(), ACol, ARow);
    return ACol >= 0 && ARow >= 0 ? TPoint(ACol, ARow) : TPoint(-1, -1);
}

bool TCellGrid::OleDraggedRow(int ARow)
{
    if (!FOleDragging)
        return false;
    if (MouseActions()->DisjunctRowSelect)
        return RowSelect(ARow);
    return ARow >= FOleDragSelection.Top && ARow <= FOleDragSelection.Bottom;
}

void TCellGrid::ShowDropArrows(int ACol, int ARow, bool Column)
{
    HideMoveArrows();
    const TRect R = GetSingleCellRect(ACol, ARow);
    if (Column) {
        // Two arrows on the target column's left edge, above and below its header.
        const QPoint T = viewport()->mapToGlobal(QPoint(R.Left, R.Top));
        const QPoint B = viewport()->mapToGlobal(QPoint(R.Left, R.Bottom));
        ArrowWindow(1)->move(T.x() - 5, T.y() - 11);
        ArrowWindow(0)->move(B.x() - 5, B.y());
        ArrowWindow(1)->show();
        ArrowWindow(0)->show();
    } else {
        const int X = DragDropSettings()->OleEntireRows ? GetSingleCellRect(FixedCols(), ARow).Left : R.Left;
        const QPoint P = viewport()->mapToGlobal(QPoint(X - 10, R.Top));
        ArrowWindow(2)->move(P.x() - 11, P.y() + (R.Bottom - R.Top) / 2 - 5);
        ArrowWindow(2)->show();
    }
}

void TCellGrid::OleDragOver(const TPoint &Pt, bool &Allow, int Formats)
{
    const TPoint C = OleCellAt(Pt);
    Allow = Allow && C.X >= 0 && C.Y >= 0;
    if (Allow) {
        // Near the edges the grid scrolls by one row.
        if (C.Y == 0 && TopRow() > FixedRows())
            SetTopRow(TopRow() - 1);
        else if (C.Y == TopRow() + VisibleRowCount() && C.Y < RowCount())
            SetTopRow(TopRow() + 1);
    }
    const bool Column = (Formats & 4) != 0;
    if (Column)
        Allow = Allow && C.Y < FixedRows() && C.X >= FixedCols();
    else if (C.Y < FixedRows() && !(FixedRowAlways && RowCount() == 1))
        Allow = false;
    if (OnOleDragOver)
        OnOleDragOver(this, C.Y, C.X, Allow);
    if (Allow)
        ShowDropArrows(C.X, C.Y, Column);
    else
        HideMoveArrows();
}

bool TCellGrid::OleDropText(const TPoint &Pt, const QString &S)
{
    TPoint C = OleCellAt(Pt);
    if (C.X < 0 || C.Y < 0) {
        HideMoveArrows();
        return false;
    }
    TDragDropSettings *DD = DragDropSettings();
    int Cols = 0, Rows = 0;
    TextSize(S, Cols, Rows);
    if (Options() & goRowSelect)
        C.X = DD->OleEntireRows ? 0 : FixedCols();
    bool Allow = true;
    if (OnOleDrop)
        OnOleDrop(this, C.Y, C.X, S, Allow);
    // Rows moved onto themselves would be pasted and then removed: nothing happens.
    if (!Allow || (DD->OleRemoveRows && OleDraggedRow(C.Y))) {
        HideMoveArrows();
        return false;
    }
    if (DD->OleRemoveRows && DD->OleInsertRows && FOleDragging && C.Y <= FOleDragSelection.Top) {
        // The source rows move down with the inserted ones (their flags move in InsertRowsAt).
        FOleDragSelection.Top += Rows;
        FOleDragSelection.Bottom += Rows;
    }
    if (C.Y == 0 && RowCount() == 1 && FixedRowAlways)
        C.Y = 1;
    if (DD->OleInsertRows) {
        const int Top = TopRow();
        InsertRowsAt(C.Y, Rows);
        SetTopRow(Top > FixedRows() ? std::min(Top + 1, RowCount() - 1) : Top);
    }
    PasteText(C.X, C.Y, S);
    TGridRect Block;
    Block.Left = std::max(C.X, FixedCols());
    Block.Top = C.Y;
    Block.Right = std::max(Block.Left, std::min(C.X + Cols - 1, ColCount() - 1));
    Block.Bottom = std::min(C.Y + Rows - 1, RowCount() - 1);
    SetSelection(Block);
    HideMoveArrows();
    if (OnOleDropped)
        OnOleDropped(this, TRect(Block.Left, Block.Top, Block.Right, Block.Bottom));
    return true;
}

void TCellGrid::OleDropCol(const TPoint &Pt, int DropCol)
{
    HideMoveArrows();
    const TPoint C = OleCellAt(Pt);
    if (OnOleDropCol)
        OnOleDropCol(this, C.Y, C.X, DropCol);
}

bool TCellGrid::OleDropRTF(const TPoint &Pt, const QString &S)
{
    HideMoveArrows();
    const TPoint C = OleCellAt(Pt);
    if (C.X < 0 || C.Y < 0)
        return false;
    bool Allow = true;
    if (OnOleDrop)
        OnOleDrop(this, C.Y, C.X, S, Allow);
    // Only a cell the user may change takes the text.
    const int RC = RealColIndex(C.X);
    if (!Allow || !IsEditable(RC, C.Y))
        return false;
    SetCellText(RC, C.Y, S);
    return true;
}

void TCellGrid::OleDropFiles(const TPoint &Pt, TStringList *Files)
{
    HideMoveArrows();
    if (Files->Count() != 1)
        return;
    const TPoint C = OleCellAt(Pt);
    const QString Name = Files->Strings(0);
    bool Allow = true;
    if (OnOleDropFile)
        OnOleDropFile(this, C.Y, C.X, Name, Allow);
    if (!Allow)
        return;
    const QString Upper = Name.toUpper();
    const bool CSV = Upper.contains(QLatin1String(".CSV"));
    if (!CSV && !Upper.contains(QLatin1String(".XLS")))
        return;
    if (OnOleDrop)
        OnOleDrop(this, C.Y, C.X, Name, Allow);
    if (!Allow)
        return;
    if (CSV)
        LoadCSVFile(Name);
    else
        LoadFromXLS(Name);
}
