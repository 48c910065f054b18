// Row and column operations of the grid control: inserting, removing and
// emptying rows and columns with their texts, property objects, sizes and
// merges, and the update bracket that suspends painting during bulk changes.

#include "grid/CellGrid.h"

void TCellGrid::BeginUpdate()
{
    ++FUpdateCount;
    viewport()->setUpdatesEnabled(false);
}

void TCellGrid::EndUpdate()
{
    if (FUpdateCount > 0)
        --FUpdateCount;
    if (FUpdateCount == 0) {
        viewport()->setUpdatesEnabled(true);
        InvalidateGrid();
    }
}

void TCellGrid::ResetUpdate()
{
    FUpdateCount = 0;
    viewport()->setUpdatesEnabled(true);
}

void TCellGrid::CellsChanged(const TRect &R)
{
    if (OnCellsChanged)
        OnCellsChanged(this, R);
    for (const auto &Observer : FObservers)
        Observer(R);
    RefreshFooter();
}

void TCellGrid::InsertRowsAt(int RowIndex, int Count)
{
    if (Count < 1)
        return;
    RowIndex = std::clamp(RowIndex, 0, RowCount());
    const int LastWidth = ColWidths(ColCount() - 1);
    if (FNumHidden > 0)
        TStringGrid::SetColCount(ColCount() + FNumHidden);
    const int Cols = ColCount();
    // What assigning the larger row count does, with the rows from RowIndex
    // moved down as they are (texts, objects and heights go along by
    // reference) and empty rows of the default height in their place.
    if (RowCount() == FixedRows() && FixedRowAlways && FSelectionParked)
        RestoreSelection();
    InsertEmptyRows(RowIndex, Count);
    // The rows' selection flags move down with them; the new rows are not selected.
    if (FMouseActions->DisjunctRowSelect && RowIndex < int(FRowSelectFlags.size()))
        FRowSelectFlags.insert(FRowSelectFlags.begin() + RowIndex, size_t(Count), false);
    if (RowCount() >= 2 && FixedRowAlways)
        TStringGrid::SetFixedRows(1);
    SetDataRowCount(RowCount());
    RepaintFooter();
    if (FooterInLastRow() && RowIndex + Count >= RowCount())
        RefreshFooter();
    if (FNumHidden > 0) {
        TStringGrid::SetColCount(Cols - FNumHidden);
        SetColWidths(ColCount() - 1, LastWidth);
    }
}

void TCellGrid::RemoveRows(int RowIndex, int Count)
{
    if (Count < 1)
        return;
    if (RowIndex < 0 || RowIndex > RowCount()) {
        FreeCellProperties(0, RowIndex, ColCount() - 1 + FNumHidden, RowIndex + Count - 1);
        return;
    }
    const std::vector<TMergeBlock> Remerge = DetachMergesFromRows(RowIndex, Count);
    FreeCellProperties(0, RowIndex, ColCount() - 1 + FNumHidden, RowIndex + Count - 1);
    const int LastWidth = ColWidths(ColCount() - 1);
    const bool WasEditing = EditorMode();
    if (WasEditing)
        HideEditor();
    BeginUpdate();
    if (FNumHidden > 0)
        TStringGrid::SetColCount(ColCount() + FNumHidden);
    const int OldTop = TopRow(), OldRow = Row();
    // One row always stays.
    const int Gone = std::max(0, std::min({Count, RowCount() - RowIndex, RowCount() - 1}));
    DeleteRows(RowIndex, Gone);
    DropRowSelectFlags(RowIndex, Gone);
    const int DataEnd = RowCount() - FFixedFooters;
    if (DataEnd <= OldRow) {
        if (DataEnd > FixedRows())
            SetRow(DataEnd - 1);
        else
            SetSelection(TGridRect{ColCount(), RowCount(), ColCount(), RowCount()});
    } else {
        if (OldRow >= FixedRows() && OldRow != Row())
            SetRow(OldRow);
        SetTopRow(OldTop);
    }
    if (FNumHidden > 0) {
        TStringGrid::SetColCount(ColCount() - FNumHidden);
        SetColWidths(ColCount() - 1, LastWidth);
    }
    MergeAgain(Remerge);
    EndUpdate();
    Q_UNUSED(WasEditing);
    CellsChanged(TRect(0, RowIndex, ColCount() - 1, RowIndex + Count));
    if (TopRow() >= RowCount() - 1)
        SetTopRow(RowCount() - 1);
}

void TCellGrid::RemoveRowsKeepProps(int RowIndex, int Count)
{
    if (Count < 1 || RowIndex < 0 || RowIndex > RowCount())
        return;
    const int LastWidth = ColWidths(ColCount() - 1);
    if (EditorMode())
        HideEditor();
    BeginUpdate();
    if (FNumHidden > 0)
        TStringGrid::SetColCount(ColCount() + FNumHidden);
    const int OldTop = TopRow(), OldRow = Row();
    // The last row cannot go: when every row is taken, one stays, emptied.
    const int Gone = std::max(0, std::min(Count, RowCount() - RowIndex));
    const int Removed = Gone >= RowCount() ? Gone - 1 : Gone;
    DeleteRows(RowIndex, Gone);
    DropRowSelectFlags(RowIndex, Removed);
    if (OldRow >= RowCount()) {
        if (FixedRows() < RowCount()) {
            SetRow(FixedRows());
            SetTopRow(FixedRows());
        }
    } else {
        if (OldRow >= FixedRows() && OldRow != Row())
            SetRow(OldRow);
        SetTopRow(OldTop);
    }
    if (FNumHidden > 0) {
        TStringGrid::SetColCount(ColCount() - FNumHidden);
        SetColWidths(ColCount() - 1, LastWidth);
    }
    EndUpdate();
    CellsChanged(TRect(0, RowIndex, ColCount() - 1, RowIndex + Count));
}

void TCellGrid::DropRowSelectFlags(int RowIndex, int Count)
{
    if (!FMouseActions->DisjunctRowSelect || Count < 1 || int(FRowSelectFlags.size()) <= RowIndex)
        return;
    const int N = std::min(Count, int(FRowSelectFlags.size()) - RowIndex);
    FRowSelectFlags.erase(FRowSelectFlags.begin() + RowIndex, FRowSelectFlags.begin() + RowIndex + N);
}

void TCellGrid::RowMoved(int FromIndex, int ToIndex)
{
    if (FMouseActions->DisjunctRowSelect && std::max(FromIndex, ToIndex) < RowCount()) {
        const size_t Need = size_t(std::max(FromIndex, ToIndex)) + 1;
        if (FRowSelectFlags.size() < Need)
            FRowSelectFlags.resize(Need, false);
        const bool Flag = FRowSelectFlags[size_t(FromIndex)];
        FRowSelectFlags.erase(FRowSelectFlags.begin() + FromIndex);
        FRowSelectFlags.insert(FRowSelectFlags.begin() + ToIndex, Flag);
    }
    TBaseGrid::RowMoved(FromIndex, ToIndex);
}

void TCellGrid::AddRow()
{
    if (FFloatingFooter->Visible())
        InsertRowsAt(RowCount() - 1, 1);
    else
        InsertRowsAt(RowCount(), 1);
}

void TCellGrid::RemoveSelectedRows()
{
    BeginUpdate();
    const bool Disjunct = FMouseActions->DisjunctRowSelect;
    if (!Disjunct)
        RowSelectFromRange(true);
    // The flags of the rows from the walk's place down are set aside and the
    // list holds only those of the rows walked past, so that removing a row
    // never moves the flags of every row below it; the flags of the rows the
    // walk did not reach are put back at the end.
    const int Start = FixedRows();
    std::vector<bool> Below;
    if (int(FRowSelectFlags.size()) > Start) {
        Below.assign(FRowSelectFlags.begin() + Start, FRowSelectFlags.end());
        FRowSelectFlags.resize(size_t(Start));
    }
    size_t Next = 0;
    int R = Start;
    while (R < RowCount() - FFixedFooters && Next < Below.size()) {
        if (Below[Next]) {
            // Without disjunct row selection the row's flag goes before the
            // removal; with it RemoveRows drops the flag (here: the list ends
            // at the row, so there is none to drop).
            if (!Disjunct)
                ++Next;
            const int Before = RowCount();
            FRowSelectFlags.resize(size_t(R));
            RemoveRows(R, 1);
            if (RowCount() == Before)
                break;
            if (Disjunct)
                ++Next;
        } else {
            FRowSelectFlags.resize(size_t(R) + 1, false);
            ++Next;
            ++R;
        }
    }
    if (!Below.empty())
        FRowSelectFlags.resize(size_t(R));
    FRowSelectFlags.insert(FRowSelectFlags.end(), Below.begin() + std::ptrdiff_t(Next), Below.end());
    EndUpdate();
}

void TCellGrid::InsertColumns(int ColIndex, int Count)
{
    if (Count < 1)
        return;
    ColIndex = std::clamp(ColIndex, 0, ColCount());
    SetColCount(ColCount() + Count);
    const int LastReal = ColCount() - 1 + FNumHidden;
    for (int C = LastReal; C >= ColIndex + Count; --C) {
        if (C < int(FColumnShown.size()) && C - Count < int(FColumnShown.size()))
            FColumnShown[size_t(C)] = FColumnShown[size_t(C - Count)];
        if (C < ColCount())
            SetColWidths(C, ColWidths(C - Count));
    }
    // The cells move in one pass over the rows, each row's cells at once: a
    // wide sparse grid costs its rows and cells, not rows times columns. The
    // new columns come out empty; their object references went along with
    // the moved cells.
    ShiftColumnCells(ColIndex, Count);
    for (int C = ColIndex; C < ColIndex + Count; ++C) {
        SetColWidths(C, DefaultColWidth());
        if (C < int(FColumnShown.size()))
            FColumnShown[size_t(C)] = 1;
        // What emptying the column's cells shows: the in-place editor of the
        // current row and a footer kept in the last row take the empty text.
        if (EditorMode())
            SetCellText(C, Row(), QString());
        SetCellText(C, RowCount() - 1, QString());
    }
}

void TCellGrid::RemoveColumns(int ColIndex, int Count)
{
    if (Count < 1 || ColIndex < 0 || ColIndex >= ColCount())
        return;
    Count = std::min(Count, ColCount() - ColIndex);
    ClearColumnBlock(ColIndex, Count);
    const int Cols = ColCount();
    for (int C = ColIndex; C < Cols; ++C) {
        if (C + Count < Cols)
            SetColWidths(C, ColWidths(C + Count));
        if (C + Count < int(FColumnShown.size()))
            FColumnShown[size_t(C)] = FColumnShown[size_t(C + Count)];
    }
    // The columns right of the removed ones move left over them in one pass
    // over the rows; the last Count columns are left empty and then go.
    ShiftColumnCells(ColIndex + Count, -Count);
    if (EditorMode())
        for (int C = Cols - Count; C < Cols; ++C)
            SetPlainCells(C, Row(), QString());
    SetColCount(Cols - Count);
    CellsChanged(TRect(ColIndex, 0, ColIndex + Count, RowCount() - 1));
}

void TCellGrid::ClearCellBlock(int ACol1, int ARow1, int ACol2, int ARow2)
{
    ACol1 = std::max(ACol1, 0);
    ARow1 = std::max(ARow1, 0);
    ACol2 = std::min(ACol2, ColCount() - 1 + FNumHidden);
    ARow2 = std::min(ARow2, RowCount() - 1);
    // Only the cells a row holds are looked at (rows keep only those): a wide
    // grid of short rows clears in the time of its cells, not of its area.
    std::vector<int> DisplayOf;   // by real column, -1 outside the block
    for (int C = ACol1; C <= ACol2; ++C) {
        const int RC = RealColIndex(C);
        if (RC >= int(DisplayOf.size()))
            DisplayOf.resize(size_t(RC) + 1, -1);
        DisplayOf[size_t(RC)] = C;
    }
    for (int R = ARow1; R <= ARow2; ++R) {
        for (const int RC : StoredCols(R)) {
            if (RC >= int(DisplayOf.size()) || DisplayOf[size_t(RC)] < 0)
                continue;
            const int C = DisplayOf[size_t(RC)];
            if (TCellProperties *P = PropsOf(RC, R)) {
                if (FClearingSortScratch) {
                    SetPlainCells(RC, R, QString());
                    SetPlainObjects(RC, R, nullptr);
                } else {
                    if (P->CellGraphic() && P->CellGraphic()->CellType == ctVirtCheckBox)
                        P->DetachCellGraphic();   // shared by every virtual check box
                    SetPlainObjects(RC, R, nullptr);
                    delete P;
                }
            }
            if (!FDestroying && !PlainCells(RC, R).isEmpty()) {
                SetPlainCells(RC, R, QString());
                if (RC != C)
                    RepaintCell(C, R);
            }
        }
    }
    if (!FDestroying)
        CellsChanged(TRect(ACol1, ARow1, ACol2, ARow2));
}

void TCellGrid::ClearRowBlock(int RowIndex, int Count)
{
    ClearCellBlock(0, RowIndex, ColCount() - 1 + FNumHidden, RowIndex + Count - 1);
}

void TCellGrid::ClearColumnBlock(int ColIndex, int Count)
{
    ClearCellBlock(ColIndex, 0, ColIndex + Count - 1, RowCount() - 1);
}

void TCellGrid::EmptyAllCells()
{
    ClearCellBlock(0, 0, ColCount() - 1 + FNumHidden, RowCount() - 1);
    IncrementalText.clear();
}

void TCellGrid::UnmergeColumn(int ACol)
{
    // Merge data lives in property objects: only rows holding objects are looked at.
    int R = NextRowWithObjects(0);
    while (R < RowCount() - 1 - FFixedFooters) {
        if (IsMergedCell(ACol, R)) {
            const TPoint B = BaseCell(ACol, R);
            const int Span = CellSpan(ACol, R).Y;
            UnmergeCellBlock(ACol, R);
            R = NextRowWithObjects(std::max(R + 1, B.Y + Span + 1));
        } else {
            R = NextRowWithObjects(R + 1);
        }
    }
}

void TCellGrid::MergeEqualCellsInColumn(int ACol, bool MergeAlways)
{
    const int Last = RowCount() - 1 - FFixedFooters;
    int Start = FixedRows();
    if (Start > Last)
        return;
    for (int R = FixedRows() + 1; R <= Last; ++R) {
        const bool Same = GetCellText(ACol, R) == GetCellText(ACol, R - 1) && (MergeAlways || RowsInSameMerge(R - 1, R));
        if (Same)
            continue;
        MergeCellBlock(ACol, Start, 1, R - Start);
        Start = R;
    }
    if (Last + 1 - Start > 1)
        MergeCellBlock(ACol, Start, 1, Last + 1 - Start);
}

int TCellGrid::FindRowByPrefix(const QString &S)
{
    if (RowCount() < 2)
        return -1;
    const int LookupCol = FSortSettings->Show ? FSortSettings->Column : 1;
    for (int R = FixedRows(); R < RowCount(); ++R)
        if (GetCellText(LookupCol, R).left(S.size()).toUpper() == S)
            return R;
    return -1;
}

void TCellGrid::InsertRowEvent(int ARow)
{
    InsertRowsAt(ARow, 1);
    if (OnAutoInsertRow)
        OnAutoInsertRow(this, ARow);
}

void TCellGrid::DeleteRowEvent(int ARow)
{
    if (RowCount() - FixedRows() - FFixedFooters == 1 && !FixedRowAlways)
        ClearRowBlock(ARow, 1);
    else
        RemoveRows(ARow, 1);
    if (OnAutoDeleteRow)
        OnAutoDeleteRow(this, ARow);
}

int TCellGrid::RowEventResult(int ARow)
{
    Q_UNUSED(ARow);
    return 0;
}
