#include "grid/CellGrid.h"

#include "grid/GridUtil.h"
#include "grid/FloatingFooter.h"
#include "grid/HTMLHintWindow.h"
#include "grid/PictureContainer.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"

#include <QApplication>
#include <QEvent>
#include <QRegularExpression>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <numeric>

// =================================================================== creation

TCellGrid::TCellGrid(QWidget *Parent) : TBaseGrid(Parent)
{
    // The footer panel comes first of all: aligned to the bottom, no height yet.
    FFooterPanel = new TFooterPanel(this);

    FFloatingFooter = std::make_unique<TFloatingFooter>(this);
    FPrintSettings = std::make_unique<TPrintSettings>();
    FHTMLSettings = std::make_unique<THTMLSettings>();
    FImageCache = std::make_unique<THTMLPictureCache>();
    FSortSettings = std::make_unique<TSortSettings>(this);
    FDragDropSettings = std::make_unique<TDragDropSettings>(this);
    FControlLook = std::make_unique<TControlLook>(this);
    FNavigation = std::make_unique<TNavigation>();
    FColumnSize = std::make_unique<TColumnSize>(this);
    FCellNode = std::make_unique<TCellNode>(this);
    FBands = std::make_unique<TBands>(this);
    FSizeWhileTyping = std::make_unique<TSizeWhileTyping>();
    FMouseActions = std::make_unique<TMouseActions>(this);
    FBackGround = std::make_unique<TBackGround>(this);
    FFilter = std::make_unique<TFilter>(this);

    FColumnHeaders = std::make_unique<TStringList>();
    FColumnHeaders->OnChange = [this](TObject *) {
        InvalidateGrid();
        RewriteColumnHeaders();
    };
    FFixedFont = std::make_unique<TFont>();
    FFixedFont->OnChange = [this](TObject *) { InvalidateGrid(); };
    FActiveCellFont = std::make_unique<TFont>();
    FActiveCellFont->OnChange = [this](TObject *) { InvalidateGrid(); };
    FRowHeaders = std::make_unique<TStringList>();
    FRowHeaders->OnChange = [this](TObject *) { RewriteRowHeaders(); };
    FLookupItems = std::make_unique<TStringList>();
    FSortIndexes = std::make_unique<TSortIndexList>();
    FMergedColumns = std::make_unique<TIntList>(0, 0);
    FRowIndicator = std::make_unique<TBitmap>();

    Font()->SetName(QStringLiteral("Tahoma"));
    FFixedFont->SetName(QStringLiteral("Tahoma"));
    FActiveCellFont->SetStyle(fsBold);

    SetLook(glSoft);
    SetDefaultRowHeight(21);
    FCreationRowHeight = 21;
    FReferenceRowHeight = 21;
    FScrollWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    ConnectScrollSignals();
    SetVAlignment(vtaTop);
    SetAutoSize(false);
    FColumnShown.assign(513, 1);
    FNumHidden = 0;

    // Form hook: a grid placed directly on a window follows its resizing.
    if (Parent && Parent->isWindow()) {
        FHookedForm = Parent;
        FFormHooked = true;
        FFormSize = Parent->size();
        Parent->installEventFilter(this);
    }

    FThemed = GridXPVS::IsThemeActive();
    FWheelScrollLines = QApplication::wheelScrollLines();

    for (int D = 0; D < 4; ++D)
        FArrows[size_t(D)] = new TArrowWindow(this, D);
}

TCellGrid::~TCellGrid()
{
    FDestroying = true;
    // An editor that has the keyboard is told of it now, while the grid is
    // whole: once this destructor ends, closing the window would tell it again
    // and its handler would reach into what is left of the grid.
    if (QWidget *F = QApplication::focusWidget(); F && F != this && isAncestorOf(F))
        F->clearFocus();
    // Widths are saved on the way out; a store that cannot be written goes to
    // the error handler, since nothing may escape a destructor.
    if (FColumnSize->Save) {
        try {
            SaveColumnSizes();
        } catch (...) {
            HandleException(std::current_exception(), nullptr);
        }
    }
    if (FHookedForm)
        FHookedForm->removeEventFilter(this);
    EmptyAllCells();
    FreeHiddenRows();
}

void TCellGrid::Loaded()
{
    FLoading = true;
    if (FixedRows() > 0)
        for (int I = 0; I < FColumnHeaders->Count() && I < ColCount(); ++I)
            SetCellText(I, 0, BackslashNToCR(FColumnHeaders->Strings(I)));
    if (FixedCols() > 0)
        for (int I = 0; I < FRowHeaders->Count() && I < RowCount(); ++I)
            SetCellText(0, I, BackslashNToCR(FRowHeaders->Strings(I)));
    FReferenceRowHeight = DefaultRowHeight();
    MinColWidth = 10;
    MinRowHeight = DefaultRowHeight();
    FLoading = false;
    if (FColumnSize->Save)
        LoadColumnSizes();
}

TArrowWindow *TCellGrid::ArrowWindow(int Direction) const
{
    if (Direction < 0 || Direction > 3)
        return nullptr;
    return FArrows[size_t(Direction)];
}

void TCellGrid::Resize()
{
    if (OnResize)
        OnResize(this);
}

bool TCellGrid::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Watched == FHookedForm && Event->type() == QEvent::Resize)
        SizeWithForm(FHookedForm->size());
    return TBaseGrid::eventFilter(Watched, Event);
}

// =================================================================== size and fixed area

void TCellGrid::SetRowCount(int Value)
{
    if (RowCount() == FixedRows() && FixedRowAlways && FSelectionParked)
        RestoreSelection();
    TBaseGrid::SetRowCount(Value);
    if (RowCount() >= 2 && FixedRowAlways)
        TStringGrid::SetFixedRows(1);
    SetDataRowCount(Value);
    RepaintFooter();
}

void TCellGrid::SetColCount(int Value)
{
    if (ColCount() == FixedCols() && FixedColAlways && FSelectionParked)
        RestoreSelection();
    TBaseGrid::SetColCount(Value);
    if (int(FColumnShown.size()) < ColCount() + FNumHidden + 1)
        FColumnShown.resize(size_t(ColCount() + FNumHidden + 1), 1);
    if (ColCount() >= 2 && FixedColAlways)
        TStringGrid::SetFixedCols(1);
    RepaintFooter();
}

int TCellGrid::FixedRows() const
{
    const int V = TStringGrid::FixedRows();
    return V == 0 && FixedRowAlways ? 1 : V;
}

int TCellGrid::FixedCols() const
{
    const int V = TStringGrid::FixedCols();
    return V == 0 && FixedColAlways ? 1 : V;
}

void TCellGrid::SetDefaultRowHeight(int Value)
{
    TStringGrid::SetDefaultRowHeight(Value);
    if (FFloatingFooter) {
        FFloatingFooter->SetHeight(Value);
        if (FFooterPanel)
            FFooterPanel->AdjustPlacement();
    }
}

void TCellGrid::SetFixedFooters(int Value)
{
    FFixedFooters = std::max(Value, 0);
    InvalidateGrid();
}

void TCellGrid::SetFixedRightCols(int Value)
{
    FFixedRightCols = std::max(Value, 0);
    InvalidateGrid();
}

void TCellGrid::SetFixedColWidth(int Value)
{
    // Only the designer sizes the fixed columns through this; at run time the
    // stored column widths decide.
    Q_UNUSED(Value);
}

void TCellGrid::SetFixedRowHeight(int Value)
{
    FFixedRowHeight = Value;
}

void TCellGrid::RepaintFooter()
{
    if (FFooterPanel && FFloatingFooter && FFloatingFooter->Visible())
        FFooterPanel->update();
}

// =================================================================== appearance

void TCellGrid::SetFixedFont(const TFont &Value)
{
    FFixedFont->Assign(Value);
    InvalidateGrid();
}

void TCellGrid::SetSelectionColor(TColor Value)
{
    FSelectionColor = Value;
    InvalidateGrid();
}

void TCellGrid::SetSelectionTextColor(TColor Value)
{
    FSelectionTextColor = Value;
    InvalidateGrid();
}

void TCellGrid::SetSelectionRectangle(bool Value)
{
    FSelectionRectangle = Value;
    InvalidateGrid();
}

void TCellGrid::SetSelectionResizer(bool Value)
{
    FSelectionResizer = Value;
    InvalidateGrid();
}

void TCellGrid::SetShowSelection(bool Value)
{
    if (Value == FShowSelection)
        return;
    FShowSelection = Value;
    InvalidateGrid();
}

void TCellGrid::SetVAlignment(TVAlignment Value)
{
    FVAlignment = Value;
    FVAlignmentFlag = Value == vtaCenter ? DT_VCENTER : (Value == vtaBottom ? DT_BOTTOM : DT_TOP);
    if (FUpdateCount == 0)
        InvalidateGrid();
}

void TCellGrid::SetWordWrap(bool Value)
{
    FWordWrap = Value;
    if (InplaceEditor())
        InplaceEditor()->SetWordWrap(Value);
    if (FUpdateCount == 0)
        InvalidateGrid();
}

void TCellGrid::SetFlat(bool Value)
{
    FFlat = Value;
    if (!FLoading)
        InvalidateGrid();
}

void TCellGrid::SetAutoSize(bool Value)
{
    FAutoSize = Value;
    if (!Value)
        return;
    TCanvas *C = Canvas();
    for (int Cl = 0; Cl < ColCount(); ++Cl) {
        int Widest = 0;
        for (int R = 0; R < RowCount(); ++R) {
            C->SetFont(R < FixedRows() || Cl < FixedCols() ? *FFixedFont : *Font());
            Widest = std::max(Widest, C->TextWidth(GetCellText(Cl, R)));
        }
        SetColWidths(Cl, Widest + 10);
    }
}

void TCellGrid::SetMaxEditLength(int Value)
{
    FMaxEditLength = Value;
    if (InplaceEditor())
        InplaceEditor()->SetMaxLength(Value);
}

// =================================================================== headers

void TCellGrid::RewriteColumnHeaders()
{
    if (FixedRows() <= 0)
        return;
    for (int C = 0; C < ColCount(); ++C)
        SetCellText(C, 0, QString());
    for (int I = 0; I < FColumnHeaders->Count() && I < ColCount(); ++I)
        SetCellText(I, 0, BackslashNToCR(FColumnHeaders->Strings(I)));
}

void TCellGrid::RewriteRowHeaders()
{
    if (FixedCols() <= 0)
        return;
    for (int I = 0; I < FRowHeaders->Count() && I < RowCount(); ++I)
        SetCellText(0, I, BackslashNToCR(FRowHeaders->Strings(I)));
}

void TCellGrid::SetColumnHeaders(const TStringList &Value)
{
    FColumnHeaders->Assign(Value);
    RewriteColumnHeaders();
}

void TCellGrid::SetRowHeaders(const TStringList &Value)
{
    FRowHeaders->Assign(Value);
    RewriteRowHeaders();
}

void TCellGrid::SetLookupItems(const TStringList *Value)
{
    if (Value && Value != FLookupItems.get())
        FLookupItems->Assign(*Value);
}

// =================================================================== typed access

int TCellGrid::Ints(int ACol, int ARow)
{
    QString S = GetCellText(ACol, ARow);
    if (S.isEmpty())
        S = QStringLiteral("0");
    int Value = 0;
    if (!TryStrToInt(S, Value))
        throw ECellGridError(QStringLiteral("Cell does not contain integer value"));
    return Value;
}

void TCellGrid::SetInts(int ACol, int ARow, int Value)
{
    SetCellText(ACol, ARow, IntToStr(Value));
}

double TCellGrid::Floats(int ACol, int ARow)
{
    const QString Text = GetCellText(ACol, ARow);
    const QString S = Text.isEmpty() ? QStringLiteral("0") : NumericText(Text);
    double Value = 0;
    if (S.isEmpty() || !TryStrToFloat(S, Value))
        throw ECellGridError(QStringLiteral("Cell does not contain a float value"));
    return Value;
}

QString TCellGrid::FormatFloatValue(double Value) const
{
    // The float format comes from settings: only one floating-point conversion
    // (with modest width and precision) and literal text are passed on, so a
    // format asking for other arguments can never reach the formatter.
    static const QRegularExpression Conversion(QStringLiteral("%([-+ #0]*)(\\d{0,2})(\\.\\d{0,2})?([eEfFgG])"));
    const QString F = FloatFormat;
    QString Result;
    int Conversions = 0;
    for (int I = 0; I < F.size(); ++I) {
        if (F.at(I) != QLatin1Char('%')) {
            Result += F.at(I);
            continue;
        }
        if (I + 1 < F.size() && F.at(I + 1) == QLatin1Char('%')) {
            Result += QLatin1Char('%');
            ++I;
            continue;
        }
        const QRegularExpressionMatch M = Conversion.match(F, I, QRegularExpression::NormalMatch,
                                                     QRegularExpression::AnchorAtOffsetMatchOption);
        if (!M.hasMatch() || ++Conversions > 1)
            return QString::asprintf("%.2f", Value);
        Result += QString::asprintf(M.captured(0).toLatin1().constData(), Value);
        I += int(M.capturedLength(0)) - 1;
    }
    if (Conversions == 0)
        return QString::asprintf("%.2f", Value);
    return Result;
}

void TCellGrid::SetFloats(int ACol, int ARow, double Value)
{
    SetCellText(ACol, ARow, FormatFloatValue(Value));
}

void TCellGrid::SetDates(int ACol, int ARow, TDateTime Value)
{
    SetCellText(ACol, ARow, DateToStr(Value));
}

// =================================================================== selection flags

void TCellGrid::GrowSelectFlags(std::vector<bool> &Flags, int Index)
{
    if (int(Flags.size()) < Index + 1)
        Flags.resize(size_t(Index + 1), false);
}

bool TCellGrid::RowSelect(int ARow)
{
    if (ARow < 0 || ARow >= RowCount())
        throw ECellGridError(QStringLiteral("Invalid row accessed"));
    GrowSelectFlags(FRowSelectFlags, ARow);
    return FRowSelectFlags[size_t(ARow)];
}

void TCellGrid::SetRowSelect(int ARow, bool Value)
{
    if (ARow < 0 || ARow >= RowCount())
        throw ECellGridError(QStringLiteral("Invalid row accessed"));
    GrowSelectFlags(FRowSelectFlags, ARow);
    if (FRowSelectFlags[size_t(ARow)] != Value)
        InvalidateRow(ARow);
    FRowSelectFlags[size_t(ARow)] = Value;
    if (Value)
        FRowFlagsClear = false;
}

bool TCellGrid::ColSelect(int ACol)
{
    if (ACol < 0 || ACol >= ColCount())
        throw ECellGridError(QStringLiteral("Invalid column accessed"));
    GrowSelectFlags(FColSelectFlags, ACol);
    return FColSelectFlags[size_t(ACol)];
}

void TCellGrid::SetColSelect(int ACol, bool Value)
{
    if (ACol < 0 || ACol >= ColCount())
        throw ECellGridError(QStringLiteral("Invalid column accessed"));
    GrowSelectFlags(FColSelectFlags, ACol);
    if (FColSelectFlags[size_t(ACol)] != Value)
        InvalidateCol(ACol);
    FColSelectFlags[size_t(ACol)] = Value;
}

void TCellGrid::ClearRowSelect()
{
    // Every navigation key clears the flags: once cleared they are not looked through again.
    if (FRowFlagsClear)
        return;
    for (int R = 0; R < RowCount() && R < int(FRowSelectFlags.size()); ++R) {
        if (FRowSelectFlags[size_t(R)])
            InvalidateRow(R);
        FRowSelectFlags[size_t(R)] = false;
    }
    // Flags kept past the last row are left as they are. Without them the
    // list holds only cleared flags and is emptied, so that the next clearing
    // looks through the flags set since, not through every row ever flagged.
    FRowFlagsClear = int(FRowSelectFlags.size()) <= RowCount();
    if (FRowFlagsClear)
        FRowSelectFlags.clear();
}

void TCellGrid::ClearColSelect()
{
    for (int C = 0; C < ColCount() && C < int(FColSelectFlags.size()); ++C) {
        if (FColSelectFlags[size_t(C)])
            InvalidateCol(C);
        FColSelectFlags[size_t(C)] = false;
    }
    if (int(FColSelectFlags.size()) <= ColCount())
        FColSelectFlags.clear();
}

void TCellGrid::RowSelectFromRange(bool Replace)
{
    const TGridRect Sel = Selection();
    if (!Replace) {
        // Adding to the flags touches the selected rows only.
        for (int R = std::max(Sel.Top, FixedRows()); R <= Sel.Bottom && R < RowCount(); ++R)
            SetRowSelect(R, true);
        return;
    }
    for (int R = FixedRows(); R < RowCount(); ++R)
        SetRowSelect(R, R >= Sel.Top && R <= Sel.Bottom);
}

void TCellGrid::ColSelectFromRange(bool Replace)
{
    const TGridRect Sel = Selection();
    if (!Replace) {
        for (int C = std::max(Sel.Left, FixedCols()); C <= Sel.Right && C < ColCount(); ++C)
            SetColSelect(C, true);
        return;
    }
    for (int C = FixedCols(); C < ColCount(); ++C)
        SetColSelect(C, C >= Sel.Left && C <= Sel.Right);
}

void TCellGrid::RepaintRect(const TGridRect &R)
{
    if (R.Left < 0 || R.Top < 0 || R.Right < 0 || R.Bottom < 0)
        return;
    const TRect R1 = GetCellRect(R.Left, R.Top);
    const TRect R2 = GetCellRect(R.Right, R.Bottom);
    if (R1.IsEmpty() || R2.IsEmpty()) {
        InvalidateGrid();
        return;
    }
    TRect U;
    UnionRect(U, R1, R2);
    InvalidateRect(U);
}

// =================================================================== filter

bool TCellGrid::RowMatchesFilter(int ARow)
{
    for (int I = 0; I < FFilter->Count(); ++I) {
        const TFilterData *F = FFilter->Items(I);
        if (!MatchStr(F->Condition, GetCellText(F->Column, ARow), F->CaseSensitive))
            return false;
    }
    return true;
}

void TCellGrid::HideDisplayedRows(int First, int Last)
{
    // In pieces of consecutive real rows (rows hidden before stand between
    // them), from the last piece up: hiding a piece may move rows hidden
    // inside a block it widens over, which renumbers the rows from that block
    // on but never those above it.
    std::vector<int> Real;
    for (int D = First; D <= Last; ++D)
        Real.push_back(RealRowIndex(D));
    size_t J = Real.size();
    while (J > 0) {
        size_t I = J - 1;
        while (I > 0 && Real[I - 1] == Real[I] - 1)
            --I;
        HideRows(Real[I], Real[J - 1]);
        J = I;
    }
}

void TCellGrid::ApplyFilter()
{
    const int DataRows = RowCount() - FixedFooters() - FixedRows();
    int Done = 0;
    auto Progress = [&]() {
        if (!OnFilterProgress)
            return;
        const int Percent = DataRows > 0 ? int(std::lround(Done * 100.0 / DataRows)) : 100;
        OnFilterProgress(this, short(Percent));
    };
    int R = FixedRows();
    int RunStart = -1;
    while (R < RowCount() - FixedFooters()) {
        if (!RowMatchesFilter(R)) {
            if (RunStart < 0)
                RunStart = R;
            ++R;
        } else {
            if (RunStart >= 0) {
                const int Before = RowCount(), RunLength = R - RunStart;
                HideDisplayedRows(RunStart, R - 1);
                const int Extra = Before - RowCount() - RunLength;
                RunStart = -1;
                if (Extra > 0) {
                    // A merged block took rows beyond the run with it (above
                    // it, or this matching row below): look again from the
                    // first row that may have moved up unseen.
                    R = std::max(FixedRows(), R - RunLength - Extra);
                    continue;
                }
                R -= RunLength;
            }
            ++R;
        }
        ++Done;
        Progress();
    }
    if (RunStart >= 0)
        HideDisplayedRows(RunStart, R - 1);
    Progress();
}

void TCellGrid::SetFilterActive(bool Value)
{
    if (Value == FFilterActive)
        return;
    FFilterActive = Value;
    if (Value) {
        FSavedFixedRows = FixedRows();
        BeginUpdate();
        ApplyFilter();
        EndUpdate();
        if (RowCount() <= FSavedFixedRows + FixedFooters() && !FixedRowAlways) {
            SetRowCount(RowCount() + 1);
            TStringGrid::SetFixedRows(FSavedFixedRows);
        } else {
            FSavedFixedRows = 0;
        }
    } else {
        int Count = FixedRows();
        if (RowCount() == FSavedFixedRows + FixedFooters() + 1 && FSavedFixedRows > 0) {
            Count = FSavedFixedRows;
            SetRowCount(RowCount() - 1);
        }
        UnHideRowsAll();
        if (Count < RowCount())
            TStringGrid::SetFixedRows(Count);
        FSavedFixedRows = 0;
    }
}

// =================================================================== hidden columns and rows

int TCellGrid::RealColIndex(int ACol) const
{
    if (ACol >= 512 || FNumHidden == 0)
        return ACol;
    int Shown = -1;
    for (int I = 0; I < 512; ++I) {
        if (FColumnShown[size_t(I)])
            ++Shown;
        if (Shown == ACol)
            return I;
    }
    return 0;
}

int TCellGrid::DisplColIndex(int ACol) const
{
    if (ACol < 0)
        return ACol;
    int Hidden = 0;
    for (int I = 0; I < ACol && I < 512; ++I)
        if (!FColumnShown[size_t(I)])
            ++Hidden;
    return ACol - Hidden;
}

// The hidden rows are kept in the order of their real numbers, so that
// finding one, counting those before a row and mapping displayed rows to
// real ones are binary searches.
std::vector<std::unique_ptr<TGridItem>>::const_iterator TCellGrid::FirstHiddenFrom(int ARow) const
{
    return std::lower_bound(FHiddenRows.begin(), FHiddenRows.end(), ARow,
                            [](const std::unique_ptr<TGridItem> &Item, int R) { return Item->Idx < R; });
}

bool TCellGrid::IsHiddenRow(int ARow) const
{
    const auto It = FirstHiddenFrom(ARow);
    return It != FHiddenRows.end() && (*It)->Idx == ARow;
}

int TCellGrid::RealRowIndex(int ARow) const
{
    if (ARow < 0)
        return -1;
    return ARow + int(FirstHiddenPlacedAfter(ARow));
}

size_t TCellGrid::FirstHiddenPlacedAfter(int ARow) const
{
    // The K-th hidden row (in real order) has Idx - K displayed rows before
    // it, a number that never falls from one hidden row to the next: the
    // hidden rows before the displayed row ARow are those with at most ARow.
    size_t Lo = 0, Hi = FHiddenRows.size();
    while (Lo < Hi) {
        const size_t Mid = (Lo + Hi) / 2;
        if (FHiddenRows[Mid]->Idx - int(Mid) <= ARow)
            Lo = Mid + 1;
        else
            Hi = Mid;
    }
    return Lo;
}

int TCellGrid::DisplRowIndex(int ARow) const
{
    return ARow - int(FirstHiddenFrom(ARow) - FHiddenRows.begin());
}

void TCellGrid::SortHiddenRows()
{
    std::stable_sort(FHiddenRows.begin(), FHiddenRows.end(),
                     [](const auto &A, const auto &B) { return A->Idx < B->Idx; });
}

bool TCellGrid::ContinuesBlockAbove(int ARow) const
{
    if (ARow < 0 || ARow >= RowCount())
        return false;
    for (int C = 0; C < ColCount() + FNumHidden; ++C) {
        const TCellProperties *P = PropsOf(C, ARow);
        if (P && !P->IsBaseCell && P->CellSpanX != -1 && P->CellSpanY >= 1)
            return true;
    }
    return false;
}

bool TCellGrid::HiddenRowContinuesBlockAbove(int ARow) const
{
    for (auto It = FirstHiddenFrom(ARow); It != FHiddenRows.end() && (*It)->Idx == ARow; ++It) {
        const TGridItem *Item = It->get();
        for (int C = 0; C < Item->Items.Count(); ++C) {
            const auto *P = dynamic_cast<const TCellProperties *>(Item->Items.Objects(C));
            if (P && !P->IsBaseCell && P->CellSpanX != -1 && P->CellSpanY >= 1)
                return true;
        }
    }
    return false;
}

void TCellGrid::HideRows(int FromRow, int ToRow)
{
    if (FromRow < 0 || ToRow < FromRow || IsHiddenRow(FromRow))
        return;
    int D = DisplRowIndex(FromRow);
    if (D >= RowCount())
        return;
    // Only the run of displayed rows from FromRow can be taken out: it ends
    // before the next hidden row and at the last row.
    if (const auto Next = FirstHiddenFrom(FromRow + 1); Next != FHiddenRows.end() && (*Next)->Idx <= ToRow)
        ToRow = (*Next)->Idx - 1;
    int DEnd = std::min(D + (ToRow - FromRow), RowCount() - 1);
    // A merged block goes out and comes back whole: a block cut by either end
    // widens the run, so that no merge-aware read or write of a remaining row
    // can reach outside its block.
    while (D > 0 && ContinuesBlockAbove(D))
        --D;
    while (DEnd + 1 < RowCount() && ContinuesBlockAbove(DEnd + 1))
        ++DEnd;
    const int Count = DEnd - D + 1;
    // Rows hidden earlier can have their places inside the widened run, when
    // a block was merged across them after they went. As a row never comes
    // back inside a displayed block, each of them moves, keeping its order,
    // to the end of the blocks covering its place. The run's rows and these
    // then take the real numbers from the run's first on in their new order;
    // the rows hidden after the run keep theirs.
    const size_t First = FirstHiddenPlacedAfter(D), Last = FirstHiddenPlacedAfter(DEnd);
    std::vector<int> Before;   // for each of them, the run row it comes back in front of
    Before.reserve(Last - First);
    int Row = D + 1;
    for (size_t K = First; K < Last; ++K) {
        Row = std::max(Row, FHiddenRows[K]->Idx - int(K));
        while (Row <= DEnd && ContinuesBlockAbove(Row))
            ++Row;
        Before.push_back(Row - D);
    }
    const int LastWidth = ColWidths(ColCount() - 1);
    const int Cols = ColCount() + FNumHidden;
    if (FNumHidden > 0)
        TStringGrid::SetColCount(Cols);
    std::vector<std::unique_ptr<TGridItem>> Items;
    Items.reserve(size_t(Count) + (Last - First));
    size_t K = 0;
    for (int I = 0; I <= Count; ++I) {
        for (; K < Before.size() && Before[K] == I; ++K)
            Items.push_back(std::move(FHiddenRows[First + K]));
        if (I == Count)
            break;
        auto Item = std::make_unique<TGridItem>();
        const int Source = D + I;
        for (int C = 0; C < Cols; ++C)
            Item->Items.AddObject(PlainCells(C, Source), PlainObjects(C, Source));
        Items.push_back(std::move(Item));
    }
    const int FromReal = D + int(First);
    for (size_t J = 0; J < Items.size(); ++J)
        Items[J]->Idx = FromReal + int(J);
    const auto At = FHiddenRows.erase(FHiddenRows.begin() + std::ptrdiff_t(First),
                                      FHiddenRows.begin() + std::ptrdiff_t(Last));
    FHiddenRows.insert(At, std::make_move_iterator(Items.begin()), std::make_move_iterator(Items.end()));
    RemoveRowsKeepProps(D, Count);
    if (FNumHidden > 0) {
        TStringGrid::SetColCount(Cols - FNumHidden);
        SetColWidths(ColCount() - 1, LastWidth);
    }
}

std::vector<int> TCellGrid::HiddenRowPlaces() const
{
    // Counting out the hidden rows with smaller numbers (those in front of it
    // in the list) leaves the displayed row a hidden row returns in front of.
    std::vector<int> Places(FHiddenRows.size());
    for (size_t K = 0; K < Places.size(); ++K)
        Places[K] = FHiddenRows[K]->Idx - int(K);
    return Places;
}

void TCellGrid::PlaceHiddenRows(const std::vector<int> &Places)
{
    std::vector<size_t> Order(FHiddenRows.size());
    std::iota(Order.begin(), Order.end(), size_t(0));
    std::sort(Order.begin(), Order.end(), [&](size_t A, size_t B) {
        return Places[A] != Places[B] ? Places[A] < Places[B] : FHiddenRows[A]->Idx < FHiddenRows[B]->Idx;
    });
    // The K-th hidden row in real order has K hidden rows and Places[...]
    // displayed rows in front of it.
    for (size_t K = 0; K < Order.size(); ++K)
        FHiddenRows[Order[K]]->Idx = Places[Order[K]] + int(K);
    SortHiddenRows();
}

void TCellGrid::UnHideRows(int FromRow, int ToRow)
{
    if (!IsHiddenRow(FromRow))
        return;
    // A hidden block comes back whole, whichever of its rows the range names.
    while (HiddenRowContinuesBlockAbove(FromRow) && IsHiddenRow(FromRow - 1))
        --FromRow;
    while (IsHiddenRow(ToRow) && HiddenRowContinuesBlockAbove(ToRow + 1))
        ++ToRow;
    // The rows coming back are a run of the hidden rows, in real order.
    const size_t First = size_t(FirstHiddenFrom(FromRow) - FHiddenRows.cbegin());
    size_t Last = First;
    while (Last < FHiddenRows.size() && FHiddenRows[Last]->Idx <= ToRow)
        ++Last;
    // Nor does a row come back inside a displayed block (one merged across
    // its place after the row was hidden, or moved there by row operations):
    // it returns after the block. The K-th hidden row's place is Idx - K.
    bool Moved = false;
    for (size_t K = First; K < Last && !Moved; ++K) {
        const int P = FHiddenRows[K]->Idx - int(K);
        Moved = P < RowCount() && ContinuesBlockAbove(P);
    }
    std::vector<std::unique_ptr<TGridItem>> Back;
    if (Moved) {
        std::vector<int> Places = HiddenRowPlaces();
        std::vector<const TGridItem *> Returning;
        for (size_t K = First; K < Last; ++K) {
            Returning.push_back(FHiddenRows[K].get());
            while (Places[K] < RowCount() && ContinuesBlockAbove(Places[K]))
                ++Places[K];
        }
        PlaceHiddenRows(Places);
        std::sort(Returning.begin(), Returning.end());
        std::vector<std::unique_ptr<TGridItem>> Keep;
        for (auto &Item : FHiddenRows)
            (std::binary_search(Returning.begin(), Returning.end(), Item.get()) ? Back : Keep).push_back(std::move(Item));
        FHiddenRows = std::move(Keep);
    } else {
        Back.assign(std::make_move_iterator(FHiddenRows.begin() + std::ptrdiff_t(First)),
                    std::make_move_iterator(FHiddenRows.begin() + std::ptrdiff_t(Last)));
        FHiddenRows.erase(FHiddenRows.begin() + std::ptrdiff_t(First), FHiddenRows.begin() + std::ptrdiff_t(Last));
    }
    const int LastWidth = ColWidths(ColCount() - 1);
    const int Cols = ColCount() + FNumHidden;
    if (FNumHidden > 0)
        TStringGrid::SetColCount(Cols);
    // The lowest row comes back first, at the place it has among the rows
    // displayed by then: the rows that stay hidden in front of it are counted
    // out. Rows with consecutive numbers and no hidden row between them come
    // back together.
    for (size_t I = 0; I < Back.size();) {
        const int Hidden = int(FirstHiddenFrom(Back[I]->Idx) - FHiddenRows.cbegin());
        size_t J = I + 1;
        while (J < Back.size() && Back[J]->Idx == Back[J - 1]->Idx + 1
               && int(FirstHiddenFrom(Back[J]->Idx) - FHiddenRows.cbegin()) == Hidden)
            ++J;
        const int D = std::min(Back[I]->Idx - Hidden, RowCount());
        InsertRowsAt(D, int(J - I));
        for (size_t K = I; K < J; ++K) {
            const TGridItem *Item = Back[K].get();
            const int Row = D + int(K - I);
            for (int C = 0; C < Item->Items.Count() && C < ColCount(); ++C) {
                SetPlainCells(C, Row, Item->Items.Strings(C));
                SetPlainObjects(C, Row, Item->Items.Objects(C));
            }
        }
        I = J;
    }
    if (FNumHidden > 0) {
        TStringGrid::SetColCount(Cols - FNumHidden);
        SetColWidths(ColCount() - 1, LastWidth);
    }
}

void TCellGrid::SetColumnHidden(int ACol, bool Hidden)
{
    if (ACol < 0 || ACol >= int(FColumnShown.size()) || (FColumnShown[size_t(ACol)] == 0) == Hidden)
        return;
    FColumnShown[size_t(ACol)] = Hidden ? 0 : 1;
    FNumHidden += Hidden ? 1 : -1;
}

void TCellGrid::UnHideRowsAll()
{
    // Run by run from the last, so that each run leaves the end of the list.
    while (!FHiddenRows.empty()) {
        const int Last = FHiddenRows.back()->Idx;
        int First = Last;
        for (size_t I = FHiddenRows.size() - 1; I > 0 && FHiddenRows[I - 1]->Idx == First - 1; --I)
            First = FHiddenRows[I - 1]->Idx;
        UnHideRows(First, Last);
    }
}

void TCellGrid::FreeHiddenRows()
{
    for (const auto &Item : FHiddenRows)
        for (int C = 0; C < Item->Items.Count(); ++C)
            delete dynamic_cast<TCellProperties *>(Item->Items.Objects(C));
    FHiddenRows.clear();
}

void TCellGrid::ParkSelection()
{
    FParkedSelection = Selection();
    SetSelection(TGridRect{ColCount(), RowCount(), ColCount(), RowCount()});
    FSelectionParked = true;
}

void TCellGrid::RestoreSelection()
{
    FSelectionParked = false;
    SetSelection(FParkedSelection);
}

// =================================================================== re-merge

void TCellGrid::SplitAllColumns()
{
    // Merge data lives in property objects: only rows holding objects are looked at.
    for (int C = 0; C < ColCount(); ++C) {
        int R = NextRowWithObjects(0);
        while (R <= RowCount() - 2 - FixedFooters()) {
            if (IsMergedCell(C, R)) {
                const TPoint B = BaseCell(C, R);
                const int Span = CellSpan(C, R).Y;
                UnmergeCellBlock(C, R);
                R = NextRowWithObjects(B.Y + Span + 1);
            } else {
                R = NextRowWithObjects(R + 1);
            }
        }
    }
}

void TCellGrid::MergeListedColumns()
{
    for (int I = 0; I < FMergedColumns->Count(); ++I)
        MergeEqualCellsInColumn(FMergedColumns->Items(I), I == 0);
}

// =================================================================== event-firing operations

void TCellGrid::GetCellHint(int ACol, int ARow, QString &HintStr)
{
    if (OnGridHint)
        OnGridHint(this, ARow, ACol, HintStr);
}

void TCellGrid::GetCellColor(int ACol, int ARow, TGridDrawState AState, TBrush *ABrush, TFont *AFont)
{
    if (ActiveCellShow()
        && ((ACol == 0 && FixedCols() > 0 && ARow == Row()) || (ARow == 0 && FixedRows() > 0 && ACol == Col()))) {
        AFont->Assign(*FActiveCellFont);
        ABrush->SetColor(ActiveCellColor());
    }
    if (const TCellProperties *P = PropsOf(ACol, ARow)) {
        if (P->BrushColor() != clNone)
            ABrush->SetColor(P->BrushColor());
        if (P->FontColor != clNone)
            AFont->SetColor(P->FontColor);
        if (P->FontStyle)
            AFont->SetStyle(P->FontStyle);
        if (P->FontSize != 0)
            AFont->SetSize(P->FontSize);
        if (!P->FontName.isEmpty())
            AFont->SetName(P->FontName);
    }
    if (OnGetCellColor)
        OnGetCellColor(this, ARow, ACol, AState, ABrush, AFont);
}

void TCellGrid::GetCellPrintColor(int ACol, int ARow, TGridDrawState AState, TBrush *ABrush, TFont *AFont)
{
    if (OnGetCellPrintColor)
        OnGetCellPrintColor(this, ARow, ACol, AState, ABrush, AFont);
}

void TCellGrid::GetCellBorder(int ACol, int ARow, TPen *APen, TCellBorders &Borders)
{
    if (OnGetCellBorder)
        OnGetCellBorder(this, ARow, ACol, APen, Borders);
}

void TCellGrid::GetCellPrintBorder(int ACol, int ARow, TPen *APen, TCellBorders &Borders)
{
    if (OnGetCellPrintBorder)
        OnGetCellPrintBorder(this, ARow, ACol, APen, Borders);
}

void TCellGrid::GetCellAlignment(int ACol, int ARow, TAlignment &HAlign, TVAlignment &VAlign)
{
    if (OnGetAlignment)
        OnGetAlignment(this, ARow, ACol, HAlign, VAlign);
}

void TCellGrid::GetColFormat(int ACol, TSortStyle &AStyle, QString &APrefix, QString &ASuffix)
{
    if (OnGetFormat)
        OnGetFormat(this, ACol, AStyle, APrefix, ASuffix);
}

void TCellGrid::GetCellEditor(int ACol, int ARow, TEditorType &AEditor)
{
    if (OnGetEditorType)
        OnGetEditorType(this, ACol, ARow, AEditor);
}

void TCellGrid::QueryFixedCell(int ACol, int ARow, bool &IsFixed)
{
    if (!IsFixed) {
        IsFixed = ACol < FixedCols() || ARow < FixedRows() || (ARow == 0 && FixedRowAlways && RowCount() == 1)
            || (ACol == 0 && FixedColAlways && ColCount() == 1);
    }
    if (!IsFixed && OnIsFixedCell)
        OnIsFixedCell(this, ARow, ACol, IsFixed);
}

void TCellGrid::CanEditCell(int ACol, int ARow, bool &CanEdit)
{
    const TPoint B = BaseCell(ACol, ARow);
    if (OnCanEditCell)
        OnCanEditCell(this, B.Y, B.X, CanEdit);
}

bool TCellGrid::IsPasswordCell(int ACol, int ARow)
{
    bool IsPassword = false;
    if (OnIsPasswordCell)
        OnIsPasswordCell(this, ARow, ACol, IsPassword);
    return IsPassword;
}

QString TCellGrid::GetCheckTrue(int ACol, int ARow)
{
    QString Value = CheckTrue;
    if (OnGetCheckTrue)
        OnGetCheckTrue(this, ACol, ARow, Value);
    return Value;
}

QString TCellGrid::GetCheckFalse(int ACol, int ARow)
{
    QString Value = CheckFalse;
    if (OnGetCheckFalse)
        OnGetCheckFalse(this, ACol, ARow, Value);
    return Value;
}

// =================================================================== fixed cells and the selection gate

bool TCellGrid::IsFixedCell(int ACol, int ARow)
{
    const TPoint B = BaseCell(RealColIndex(ACol), ARow);
    if (B.Y >= RowCount() - FFixedFooters || B.X >= ColCount() - FFixedRightCols + FNumHidden)
        return true;
    bool IsFixed = false;
    QueryFixedCell(B.X, B.Y, IsFixed);
    return IsFixed;
}

bool TCellGrid::SelectCell(int ACol, int ARow)
{
    // 1. the floating footer keeps its row out of reach and scrolls the target into view
    if (FFloatingFooter->Visible()) {
        const bool FixedLastRow = FFloatingFooter->FooterStyle() == fsFixedLastRow;
        if (!FixedLastRow)
            RepaintFooter();
        const TRect R = GetCellRect(ACol, ARow);
        if (R.Bottom > ClientHeight() - FFloatingFooter->Height() + 2
            && ARow < RowCount() - (FixedLastRow ? 1 : 0))
            SetTopRow(TopRow() + 1);
        if (FixedLastRow && ARow == RowCount() - 1)
            return false;
    }
    // 2.
    if (ACol < 0 || ARow < 0)
        return false;
    // 3. the changing events
    bool Allow = true;
    if (ARow != Row() && OnRowChanging)
        OnRowChanging(this, Row(), ARow, Allow);
    if (ACol != Col() && OnColChanging)
        OnColChanging(this, Col(), ACol, Allow);
    if ((ACol != Col() || ARow != Row()) && !FAdvancing && OnCellChanging)
        OnCellChanging(this, Row(), Col(), ARow, ACol, Allow);
    // 4. column 0 holds the node buttons
    if (ACol == 0 && HasNodes() && !(Options() & goRowSelect))
        return false;
    if (!Allow)
        return false;

    // 5.
    const TGridRect OldSel = Selection();
    const int OldCol = Col(), OldRow = Row();
    const int RC = RealColIndex(ACol);
    QString T = GetCellText(RC, ARow);
    const bool EditorFocused = InplaceEditor() && InplaceEditor()->hasFocus();

    // 6. the per-cell editing switch. Every question starts from the grid's own
    // editing setting, not from what the previous cell switched it to, so a
    // cell that once allowed editing does not leave the later ones editable.
    if (!HasCheckControl(RC, ARow)) {
        bool CanEdit = ((Options() & goEditing) && !FEditingAdded) || FEditingRemoved;
        CanEditCell(RC, ARow, CanEdit);
        if (CanEdit && !(Options() & goEditing)) {
            if (FEditingRemoved) {
                FEditingRemoved = false;   // the grid's own setting comes back
            } else {
                FEditingAdded = true;
                FEditOriginCell = TPoint(RC, ARow);
                FEditOriginText = T;
            }
            SetOptions(Options() | goEditing);
            if (EditorMode()) {
                HideEditor();
                T = GetCellText(RC, ARow);
            }
        } else if (!CanEdit && (Options() & goEditing)) {
            if (FEditingAdded)
                FEditingAdded = false;     // only the switch's own addition goes
            else
                FEditingRemoved = true;
            SetOptions(Options() & ~goEditing);
        }
    }

    // 7. the answer
    bool Result = false;
    if (!EditorMode() || EditorFocused)
        Result = IsFixedCell(ACol, ARow) ? false : TBaseGrid::SelectCell(ACol, ARow);
    else if (ValidateOpenEdit())
        Result = TBaseGrid::SelectCell(ACol, ARow);

    // 8.-9. headers that mark the current cell
    if (!FRowIndicator->Empty() && FixedCols() > 0) {
        RepaintCell(0, OldRow);
        RepaintCell(0, ARow);
    }
    if (ActiveCellShow()) {
        RepaintCell(OldCol, 0);
        RepaintCell(0, OldRow);
        RepaintCell(ACol, 0);
        RepaintCell(0, ARow);
        const int CornerX = OldSel.Left == OldCol ? OldSel.Right : OldSel.Left;
        const int CornerY = OldSel.Top == OldRow ? OldSel.Bottom : OldSel.Top;
        if (CornerX != OldCol && CornerY != OldRow) {
            RepaintCell(CornerX, 0);
            RepaintCell(0, CornerY);
        }
    }
    // 10.
    SavedText = T;
    return Result;
}

// =================================================================== cell graphics

TPicture *TCellGrid::CreateCellPicture(int ACol, int ARow, bool Transparent, quint8 StretchMode, int Padding,
                                       TCellHAlign HAlign, TCellVAlign VAlign)
{
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() + FNumHidden || ARow >= RowCount())
        return nullptr;
    auto Picture = std::make_unique<TPicture>();
    auto Graphic = std::make_unique<TCellGraphic>();
    Graphic->CellType = ctPicture;
    Graphic->SetGraphicObject(Picture.get());
    Graphic->CellTransparent = Transparent;
    Graphic->CellAngle = StretchMode;
    Graphic->CellIndex = Padding;
    Graphic->CellHAlign = HAlign;
    Graphic->CellVAlign = VAlign;
    Graphic->CellCreated = true;
    // The graphic the cell held before is freed (with the objects it created).
    SetCellGraphic(ACol, ARow, Graphic.release());
    return Picture.release();
}

bool TCellGrid::HasCheckBox(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    return G && (G->CellType == ctCheckBox || G->CellType == ctDataCheckBox || G->CellType == ctVirtCheckBox);
}

bool TCellGrid::HasCheckControl(int ACol, int ARow)
{
    const TPoint B = BaseCell(ACol, ARow);
    const TCellGraphic *G = GetCellGraphic(B.X, B.Y);
    return G
        && (G->CellType == ctCheckBox || G->CellType == ctDataCheckBox || G->CellType == ctVirtCheckBox
            || G->CellType == ctRadio);
}

bool TCellGrid::GetCheckState(int ACol, int ARow, bool &State)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    State = false;
    if (!G)
        return false;
    if (G->CellType == ctCheckBox) {
        State = G->CellBoolean;
        return true;
    }
    if (G->CellType == ctDataCheckBox || G->CellType == ctVirtCheckBox) {
        State = GetCellText(ACol, ARow) == CheckTrue;
        return true;
    }
    return false;
}

bool TCellGrid::ToggleCheck(int ACol, int ARow, bool Notify)
{
    TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G || !(G->CellType == ctCheckBox || G->CellType == ctDataCheckBox || G->CellType == ctVirtCheckBox))
        return false;
    if (Notify) {
        bool CanEdit = true;
        CanEditCell(ACol, ARow, CanEdit);
        if (!CanEdit)
            return false;
    }
    if (G->CellType == ctCheckBox)
        G->CellBoolean = !G->CellBoolean;
    else
        SetCellText(ACol, ARow, GetCellText(ACol, ARow) == CheckTrue ? CheckFalse : CheckTrue);
    RepaintCell(ACol, ARow);
    return true;
}

// =================================================================== graphic queries

bool TCellGrid::IsRadio(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    return G && G->CellType == ctRadio;
}

bool TCellGrid::GetRadio(int ACol, int ARow, int &Index)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    Index = G && G->CellType == ctRadio ? G->CellIndex : 0;
    return G && G->CellType == ctRadio;
}

TStringList *TCellGrid::GetRadioStrings(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G || G->CellType != ctRadio)
        return nullptr;
    return dynamic_cast<TStringList *>(G->GraphicObject());
}

bool TCellGrid::ToggleRadio(int ACol, int ARow, bool Notify)
{
    TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G || G->CellType != ctRadio)
        return false;
    if (Notify) {
        bool CanEdit = true;
        CanEditCell(ACol, ARow, CanEdit);
        if (!CanEdit)
            return false;
    }
    const TStringList *Items = dynamic_cast<const TStringList *>(G->GraphicObject());
    const int Count = Items ? Items->Count() : 0;
    if (Count == 0)
        return false;
    int Next = G->CellIndex < 0 ? Items->IndexOf(GetCellText(ACol, ARow)) + 1 : G->CellIndex + 1;
    if (Next >= Count)
        Next = 0;
    if (G->CellIndex >= 0)
        G->CellIndex = Next;
    SetCellText(ACol, ARow, Items->Strings(Next));
    RepaintCell(ACol, ARow);
    return true;
}

bool TCellGrid::IsButton(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    return G && (G->CellType == ctButton || G->CellType == ctBitButton);
}

TRect TCellGrid::CellButtonRect(int ACol, int ARow)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G || !(G->CellType == ctButton || G->CellType == ctBitButton))
        return TRect();
    const TRect R = GetCellRect(DisplColIndex(ACol), ARow);
    const int Offset = int(std::lround(G->CellValue));
    TRect B(R.Left + (Offset & 0xFFFF), R.Top + ((Offset >> 16) & 0xFFFF), 0, 0);
    B.Right = B.Left + (G->CellIndex & 0xFFFF);
    B.Bottom = B.Top + ((G->CellIndex >> 16) & 0xFFFF);
    if (G->CellHAlign == haFull) {
        B.Left = R.Left;
        B.Right = R.Right;
    }
    if (G->CellVAlign == vaFull) {
        B.Top = R.Top;
        B.Bottom = R.Bottom;
    }
    return B;
}

bool TCellGrid::IsRotated(int ACol, int ARow, int &Angle)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G || G->CellType != ctRotated)
        return false;
    Angle = G->CellAngle;
    return true;
}

bool TCellGrid::IsComment(int ACol, int ARow, QString &Comment)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    if (!G || G->CellType != ctComment)
        return false;
    Comment = G->CellText;
    return true;
}

void TCellGrid::GetErrorRange(int ACol, int ARow, int &ErrFrom, int &ErrLen)
{
    const TCellGraphic *G = GetCellGraphic(ACol, ARow);
    ErrFrom = G ? G->CellErrFrom : 0;
    ErrLen = G ? G->CellErrLen : 0;
}

// =================================================================== nodes

bool TCellGrid::IsNode(int ARow)
{
    const TCellGraphic *G = GetCellGraphic(0, ARow);
    return G && G->CellType == ctNode;
}

bool TCellGrid::GetNodeState(int ARow)
{
    return IsNode(ARow) && GetCellGraphic(0, ARow)->CellBoolean;
}

int TCellGrid::GetNodeSpan(int ARow)
{
    return IsNode(ARow) ? GetCellGraphic(0, ARow)->CellIndex : -1;
}

void TCellGrid::SetNodeState(int ACol, int ARow, bool Value)
{
    TCellGraphic *G = GetCellGraphic(RealColIndex(ACol), ARow);
    if (!G)
        return;
    G->CellBoolean = Value;
    RepaintCell(ACol, ARow);
}

void TCellGrid::ContractNode(int ARow)
{
    HideEditor();
    const int D = DisplRowIndex(ARow);
    if (!IsNode(D) || GetNodeState(D))
        return;
    GetCellGraphic(0, D)->CellBoolean = true;
    const int Span = GetNodeSpan(D);
    int E = D + Span;
    if (Span < 1)
        E = NextNodeRow(D + 1);
    E = std::min(E, RowCount());
    // Every displayed row of the group goes, also when rows hidden before
    // (by the filter) stand between them.
    if (E - 1 >= D + 1)
        HideDisplayedRows(D + 1, E - 1);
    RepaintCell(0, D);
}

void TCellGrid::ExpandNode(int ARow)
{
    const int D = DisplRowIndex(ARow);
    if (!IsNode(D) || !GetNodeState(D))
        return;
    GetCellGraphic(0, D)->CellBoolean = false;
    int E = D + 1;
    if (GetNodeSpan(D) < 1)
        E = NextNodeRow(D + 1);
    const int First = RealRowIndex(D) + 1;
    const int Last = RealRowIndex(E) - 1;
    if (Last >= First)
        UnHideRows(First, Last);
    RepaintCell(0, D);
}

int TCellGrid::TreeLineKind(int ARow)
{
    if (IsNode(ARow))
        return 0;
    if (ARow == RowCount() - FFixedFooters - 1)
        return 1;
    // The node above, found among the graphics of column 0.
    const int N = PrevNodeRow(ARow);
    if (N < FixedRows())
        return 0;
    const bool LastOfGroup = GetNodeSpan(N) == ARow - N + 1;
    return LastOfGroup && !GetNodeState(N) ? 1 : 2;
}

// =================================================================== moves

void TCellGrid::ColumnMoved(int FromIndex, int ToIndex)
{
    const int From = RealColIndex(FromIndex), To = RealColIndex(ToIndex);
    auto Follow = [From, To](int C) {
        if (C == From)
            return To;
        if (From < To && C > From && C <= To)
            return C - 1;
        if (From > To && C >= To && C < From)
            return C + 1;
        return C;
    };
    if (EnhRowColMove && From < int(FColumnShown.size()) && To < int(FColumnShown.size())) {
        const quint8 Flag = FColumnShown[size_t(From)];
        FColumnShown.erase(FColumnShown.begin() + From);
        FColumnShown.insert(FColumnShown.begin() + To, Flag);
    }
    FSortSettings->Column = Follow(FSortSettings->Column);
    if (FSortSettings->IndexShow) {
        for (int I = 0; I < FSortIndexes->Count(); ++I) {
            const quint32 V = quint32(FSortIndexes->Items(I));
            const int Column = Follow(int(V & 0x7FFFFFFFu));
            FSortIndexes->Insert(I, int((V & 0x80000000u) | quint32(Column)));
            FSortIndexes->Delete(I + 1);
        }
    }
    const int NewCol = Follow(Col());
    if (NewCol != Col() && NewCol >= FixedCols() && NewCol < ColCount())
        SetCol(NewCol);
    TBaseGrid::ColumnMoved(FromIndex, ToIndex);
}
