// Column geometry and the grid's frame: stretching and proportional sizing,
// the sizing-border test, column widths kept in a settings store, centring a
// cell, the scroll bars' looks and thumb hints, the sums of the footer row and
// the settings whose setters repaint.
//
// Widths read back from a store are untrusted: anything that is not a
// sensible width leaves the column at DefaultColWidth. Saving happens from the
// destructor too, so a store that cannot be written reaches the application's
// error handler instead of escaping the destructor.

#include "grid/CellGrid.h"

#include "grid/CellGridEditors.h"
#include "grid/FloatingFooter.h"
#include "grid/GridUtil.h"
#include "grid/HTMLHintWindow.h"
#include "platform/core/IniFiles.h"
#include "platform/graphics/ImgList.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"

#include <QCursor>
#include <QHash>
#include <QLayout>
#include <QScrollBar>

#include <cmath>
#include <limits>
#include <optional>

namespace {

// Widths above this are no width a user sized: a damaged or foreign store.
constexpr int MaxStoredColWidth = 10000;

QString ColValueName(int I)
{
    return QStringLiteral("Col") + IntToStr(I);
}

QString ColorCss(TColor C)
{
    const QColor Q = TColorToQColor(C);
    return Q.name();
}

} // namespace

// =================================================================== stretching

void TCellGrid::StretchColumn(int ACol)
{
    if (FLoading)
        return;
    if (ACol == -1)
        ACol = ColCount() - 1;
    if (ACol >= ColCount())
        throw ECellGridError(QStringLiteral("Stretch column index out of range"));
    if (ColCount() == 0 || !FColumnSize->Stretch() || ACol < 0)
        return;
    FStretched = false;
    if (ColCount() == 1) {
        SetColWidths(ACol, ClientWidth());
        return;
    }
    int Others = 0;
    for (int C = 0; C < ColCount(); ++C)
        if (C != ACol)
            Others += ColWidths(C);
    if (ClientWidth() <= Others)
        SetColWidths(ACol, DefaultColWidth());
    else
        SetColWidths(ACol, ClientWidth() - Others - 1);
    FStretched = true;
    if (FFloatingFooter->Visible() && FFooterPanel)
        FFooterPanel->AdjustPlacement();
}

void TCellGrid::StretchRightColumn()
{
    // The resize and sizing paths: a stored stretch column beyond the grid
    // (columns were removed since) stretches the last one.
    const int Target = FColumnSize->StretchColumn >= ColCount() ? -1 : FColumnSize->StretchColumn;
    StretchColumn(Target);
}

// =================================================================== sizing

bool TCellGrid::IsSizingBorder(int X, int Y)
{
    int C = -1, R = -1;
    MouseToCell(X, Y, C, R);
    if (C < 0 || R < 0)
        return false;
    const TRect Rc = CellRect(C, R);
    if (R <= FixedRows() && (Options() & goColSizing))
        if (std::abs(X - Rc.Left) < 4 || std::abs(X - Rc.Right) < 4)
            return true;
    if (C <= FixedCols() && (Options() & goRowSizing))
        if (std::abs(Y - Rc.Top) < 4 || std::abs(Y - Rc.Bottom) < 4)
            return true;
    return false;
}

void TCellGrid::UpdateColSize(int ACol, int &AWidth)
{
    if (OnUpdateColumnSize)
        OnUpdateColumnSize(this, ACol, AWidth);
}

void TCellGrid::UpdateAutoColSize(int ACol, int &AWidth)
{
    if (OnUpdateColumnSize)
        OnUpdateColumnSize(this, ACol, AWidth);
}

void TCellGrid::EndColumnSizing()
{
    if (FStretched)
        StretchRightColumn();
    HideHint();
    const int C = FSizingCol;
    if (MouseActions()->AllColumnSize && C >= 0 && FSizingStartWidth > 0) {
        const double Ratio = double(ColWidths(C)) / FSizingStartWidth;
        for (int I = FixedCols(); I < ColCount(); ++I)
            if (I != C)
                SetColWidths(I, int(std::lround(ColWidths(I) * Ratio)));
    }
    if (C >= 0) {
        if (OnEndColumnSize)
            OnEndColumnSize(this, RealColIndex(C));
        int W = ColWidths(C);
        UpdateColSize(C, W);
        if (W != ColWidths(C))
            SetColWidths(C, W);
    }
    FSizingCol = -1;
    FSizingRow = -1;
    if (HasCheckBox(RealColIndex(Col()), Row()))
        SetEditorMode(false);
    RepaintFooter();
}

void TCellGrid::EndRowSizing()
{
    HideHint();
    const int R = FSizingRow;
    if (MouseActions()->AllRowSize && R >= 0 && FSizingStartWidth > 0) {
        const double Ratio = double(RowHeights(R)) / FSizingStartWidth;
        for (int I = FixedRows(); I < RowCount(); ++I)
            if (I != R)
                SetRowHeights(I, int(std::lround(RowHeights(I) * Ratio)));
    }
    if (R >= 0 && OnEndRowSize)
        OnEndRowSize(this, R);
    FSizingCol = -1;
    FSizingRow = -1;
    if (HasCheckBox(RealColIndex(Col()), Row()))
        SetEditorMode(false);
    RepaintFooter();
}

// =================================================================== width persistence

void TCellGrid::SaveColumnSizes()
{
    if (FColumnSize->Key.isEmpty() || FColumnSize->Section.isEmpty())
        return;
    std::vector<std::pair<QString, int>> Values;
    Values.reserve(size_t(ColCount()));
    for (int I = 0; I < ColCount(); ++I)
        Values.emplace_back(ColValueName(I), ColWidths(I));
    // All columns go in one save, so a failure leaves the old file whole.
    if (FColumnSize->Location == clIniFile)
        TIniFile(FColumnSize->Key).WriteIntegers(FColumnSize->Section, Values);
    else
        TRegistryIniFile(FColumnSize->Key).WriteIntegers(FColumnSize->Section, Values);
}

void TCellGrid::LoadColumnSizes()
{
    if (FColumnSize->Key.isEmpty() || FColumnSize->Section.isEmpty())
        return;
    // The section is read once; a name stored twice counts with its first value.
    TStringList Lines;
    if (FColumnSize->Location == clIniFile)
        TIniFile(FColumnSize->Key).ReadSectionValues(FColumnSize->Section, Lines);
    else
        TRegistryIniFile(FColumnSize->Key).ReadSectionValues(FColumnSize->Section, Lines);
    QHash<QString, QString> Values;
    for (int I = 0; I < Lines.Count(); ++I) {
        const QString Line = Lines.Strings(I);
        const qsizetype Eq = Line.indexOf(QLatin1Char('='));
        const QString Name = UpperCase(Line.left(Eq));
        if (!Values.contains(Name))
            Values.insert(Name, Line.mid(Eq + 1));
    }
    for (int I = 0; I < ColCount(); ++I) {
        const QString Stored = Values.value(UpperCase(ColValueName(I)));
        bool Ok = false;
        const int W = Stored.trimmed().toInt(&Ok);
        const int Width = Ok && W >= 0 && W <= MaxStoredColWidth ? W : DefaultColWidth();
        if (Width != ColWidths(I))
            SetColWidths(I, Width);
    }
}

// =================================================================== view and cells

void TCellGrid::ScrollInView(int ACol, int ARow)
{
    if (ACol >= ColCount() || ARow >= RowCount() || ACol < 0 || ARow < 0)
        return;
    int Left = LeftCol(), Top = TopRow();
    if (ACol < LeftCol() || ACol >= LeftCol() + VisibleColCount()) {
        SetCol(ACol);
        Left = std::max(ACol - VisibleColCount() / 2, FixedCols());
    }
    if (ARow < TopRow() || ARow >= TopRow() + VisibleRowCount()) {
        SetRow(ARow);
        Top = std::max(ARow - VisibleRowCount() / 2, FixedRows());
    }
    Left = std::max(std::min(Left, ColCount() - VisibleColCount() + 1), FixedCols());
    Top = std::max(std::min(Top, RowCount() - VisibleRowCount() + 1), FixedRows());
    SetLeftCol(Left);
    SetTopRow(Top);
}

void TCellGrid::CellAtScreenPoint(const QPoint &P, int &ACol, int &ARow)
{
    const QPoint Client = ViewportPoint(viewport()->mapFromGlobal(P));
    MouseToCell(Client.x(), Client.y(), ACol, ARow);
}

void TCellGrid::ClearComboItems()
{
    InplaceCombo()->clear();
}

void TCellGrid::AddComboItem(const QString &S)
{
    InplaceCombo()->addItem(S);
}

TGridRect TCellGrid::WholeGridRange() const
{
    if (IncludeFixedCells)
        return TGridRect{0, 0, ColCount() - 1, RowCount() - 1};
    return TGridRect{FixedCols(), FixedRows(), ColCount() - FFixedRightCols - 1, RowCount() - FFixedFooters - 1};
}

void TCellGrid::MoveColumnTo(int FromIndex, int ToIndex)
{
    MoveColumn(FromIndex, ToIndex);
}

void TCellGrid::MoveRowTo(int FromIndex, int ToIndex)
{
    MoveRow(FromIndex, ToIndex);
}

// =================================================================== footer sums

void TCellGrid::RefreshFooter()
{
    TBaseGrid::RefreshFooter();
    RepaintFooter();
}

void TCellGrid::RecalcFooter(int ACol)
{
    if (!FFloatingFooter->Visible() || FFloatingFooter->FooterStyle() != fsFixedLastRow)
        return;
    const int Last = RowCount() - 1;
    if (Last < 0)
        return;
    const int First = ACol < 0 ? 0 : ACol;
    const int Stop = ACol < 0 ? ColCount() - 1 : std::min(ACol, ColCount() - 1);
    const int FromRow = FixedRows(), ToRow = RowCount() - 2;
    for (int C = First; C <= Stop; ++C) {
        const int RC = RealColIndex(C);
        TCellProperties *P = PropsOf(RC, Last);
        if (!P)
            continue;
        const int Kind = P->FooterCalc & 0x7F;
        if (Kind == fcNone) {
            SetCellText(RC, Last, QString());
            continue;
        }
        if (Kind == fcCount) {
            SetFloats(RC, Last, double(std::max(RowCount() - 1 - FixedRows(), 0)));
            continue;
        }
        // Cells that hold no number take no part; without any number the
        // average, minimum and maximum have no value and the cell stays empty.
        double Sum = 0, Min = std::numeric_limits<double>::max(), Max = std::numeric_limits<double>::lowest();
        int Numbers = 0;
        for (int R = FromRow; R <= ToRow; ++R) {
            const QString Text = GetCellText(RC, R);
            double V = 0;
            const QString S = Text.isEmpty() ? QString() : NumericText(Text);
            if (S.isEmpty() || !TryStrToFloat(S, V))
                continue;
            Sum += V;
            Min = std::min(Min, V);
            Max = std::max(Max, V);
            ++Numbers;
        }
        if (Kind == fcSum) {
            SetFloats(RC, Last, Sum);
            continue;
        }
        if (Numbers == 0) {
            SetCellText(RC, Last, QString());
            continue;
        }
        switch (Kind) {
        case fcAverage: SetFloats(RC, Last, Sum / Numbers); break;
        case fcMinimum: SetFloats(RC, Last, Min); break;
        case fcMaximum: SetFloats(RC, Last, Max); break;
        default: break;
        }
    }
    RepaintFooter();
}

// =================================================================== scroll bars

void TCellGrid::ApplyScrollLooks()
{
    QScrollBar *Bars[2] = {verticalScrollBar(), horizontalScrollBar()};
    if (!FFlatScrollBars) {
        for (QScrollBar *B : Bars)
            B->setStyleSheet(QString());
        return;
    }
    // The flat looks: a plain groove in ScrollColor (unless clNone) and a
    // thumb drawn flat; the sunken-thumb look has a framed thumb.
    for (int I = 0; I < 2; ++I) {
        const bool Vertical = I == 0;
        QString Css = QStringLiteral("QScrollBar:%1 { border: none; %2: %3px; %4 }")
                          .arg(Vertical ? QStringLiteral("vertical") : QStringLiteral("horizontal"))
                          .arg(Vertical ? QStringLiteral("width") : QStringLiteral("height"))
                          .arg(std::max(FScrollWidth, 1))
                          .arg(FScrollColor != clNone ? QStringLiteral("background: %1;").arg(ColorCss(FScrollColor))
                                                      : QString());
        Css += QStringLiteral(" QScrollBar::handle { background: %1; %2 }")
                   .arg(ColorCss(clBtnShadow))
                   .arg(FScrollType == ssEncarta ? QStringLiteral("border: 1px solid %1;").arg(ColorCss(clBtnText))
                                                 : QStringLiteral("border: none;"));
        Bars[I]->setStyleSheet(Css);
    }
}

void TCellGrid::UpdateProportionalThumbs()
{
    // Qt's thumbs are proportional to the page already; the flat looks only
    // need to follow the bars' sizes, which the style sheet does.
    if (FFlatScrollBars)
        ApplyScrollLooks();
}

void TCellGrid::SetScrollType(TScrollType Value)
{
    if (Value == FScrollType)
        return;
    FScrollType = Value;
    FFlatScrollBars = Value != ssNormal || FScrollProportional;
    ApplyScrollLooks();
}

void TCellGrid::SetScrollColor(TColor Value)
{
    FScrollColor = Value;
    if (Value != clNone && FFlatScrollBars)
        ApplyScrollLooks();
}

void TCellGrid::SetScrollWidth(int Value)
{
    FScrollWidth = Value;
    if (FFlatScrollBars)
        ApplyScrollLooks();
}

void TCellGrid::SetScrollProportional(bool Value)
{
    FScrollProportional = Value;
    if (Value) {
        FFlatScrollBars = true;
        ApplyScrollLooks();
    } else if (FFlatScrollBars && FScrollType == ssNormal) {
        FFlatScrollBars = false;
        ApplyScrollLooks();
    }
}

void TCellGrid::ConnectScrollSignals()
{
    if (FScrollSignalsConnected)
        return;
    FScrollSignalsConnected = true;
    for (bool Vertical : {true, false}) {
        QScrollBar *B = Vertical ? verticalScrollBar() : horizontalScrollBar();
        connect(B, &QScrollBar::sliderMoved, this, Guarded([this, B, Vertical](int Value) {
                    const int Span = B->maximum() - B->minimum();
                    ScrollThumbTrack(Vertical, Span > 0 ? MulDiv(Value - B->minimum(), 127, Span) : 0);
                }));
        connect(B, &QScrollBar::sliderReleased, this, Guarded([this, Vertical] { ScrollThumbEnd(Vertical); }));
    }
}

void TCellGrid::ScrollThumbTrack(bool Vertical, int Pos)
{
    Pos = std::clamp(Pos, 0, 127);
    const bool Hints = Vertical ? (ScrollHints == shVertical || ScrollHints == shBoth)
                                : (ScrollHints == shHorizontal || ScrollHints == shBoth);
    const int Target = Vertical ? MulDiv(Pos, RowCount() - VisibleRowCount() - FixedRows(), 127) + FixedRows()
                                : MulDiv(Pos, ColCount() - VisibleColCount() - FixedCols(), 127) + FixedCols();
    if (Hints) {
        QString Hint = (Vertical ? QStringLiteral("Row : ") : QStringLiteral("Col : ")) + IntToStr(Target);
        if (OnScrollHint)
            OnScrollHint(this, Target, Hint);
        FScrollHintText = Hint;
        THTMLHintWindow *W = HintWindow();
        W->Color = HintColor;
        W->HTML = true;
        TRect R = W->CalcHintRect(100, Hint);
        const QPoint M = QCursor::pos();
        OffsetRect(R, M.x() + 10, M.y());
        W->ActivateHint(R, Hint);
    }
    if (ScrollSynch) {
        if (Vertical)
            SetTopRow(std::clamp(Target, FixedRows(), std::max(RowCount() - 1, FixedRows())));
        else
            SetLeftCol(std::clamp(Target, FixedCols(), std::max(ColCount() - 1, FixedCols())));
    }
    UpdateProportionalThumbs();
    if (HasCheckBox(RealColIndex(Col()), Row()))
        SetEditorMode(false);
}

void TCellGrid::ScrollThumbEnd(bool Vertical)
{
    const bool Hints = Vertical ? (ScrollHints == shVertical || ScrollHints == shBoth)
                                : (ScrollHints == shHorizontal || ScrollHints == shBoth);
    if (Hints)
        HideHint();
}

// =================================================================== setters that repaint

void TCellGrid::SetURLColor(TColor Value)
{
    FURLColor = Value;
    if (FURLShow)
        InvalidateGrid();
}

void TCellGrid::SetURLFull(bool Value)
{
    FURLFull = Value;
    if (FURLShow)
        InvalidateGrid();
}

void TCellGrid::SetURLShow(bool Value)
{
    FURLShow = Value;
    InvalidateGrid();
}

void TCellGrid::SetLook(TGridLook Value)
{
    const bool Changed = Value != FLook;
    FLook = Value;
    InvalidateGrid();
    if (Changed)
        RepaintFooter();
}

void TCellGrid::SetActiveCellShow(bool Value)
{
    FActiveCellShow = Value;
    InvalidateGrid();
}

void TCellGrid::SetActiveCellColor(TColor Value)
{
    FActiveCellColor = Value;
    InvalidateGrid();
}

void TCellGrid::SetActiveCellFont(const TFont &Value)
{
    FActiveCellFont->Assign(Value);
    InvalidateGrid();
}

void TCellGrid::SetBackGround(const TBackGround &Value)
{
    FBackGround->Assign(Value);
    InvalidateGrid();
}

void TCellGrid::SetRowIndicator(const TBitmap *Value)
{
    FRowIndicator->Assign(Value);
    if (Row() >= 0 && Row() < RowCount())
        InvalidateCell(0, Row());
}

// =================================================================== following the form

void TCellGrid::SizeWithForm(const QSize &NewSize)
{
    // The grid grows and shrinks with the form's client area, never below one pixel.
    const QSize Delta = NewSize - FFormSize;
    FFormSize = NewSize;
    // A grid placed by a layout already follows the form through it.
    if (Delta.isNull() || (parentWidget() && parentWidget()->layout()
                           && parentWidget()->layout()->indexOf(this) >= 0))
        return;
    resize(std::max(width() + Delta.width(), 1), std::max(height() + Delta.height(), 1));
    if (FColumnSize->Stretch())
        StretchRightColumn();
}

void TCellGrid::SetGridImages(TImageList *Value)
{
    FGridImages = Value;
}
