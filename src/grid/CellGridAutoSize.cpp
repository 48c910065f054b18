// Fitting column widths and row heights to their contents, a few cell and
// selection queries, rotated-text measuring and the component's version.

#include "grid/CellGrid.h"

#include <cmath>

namespace {

// The limits of automatic sizing (0 = none): equal limits leave the value as
// measured; otherwise a positive maximum below the value wins, else a positive
// minimum above it.
int ClampSize(int Value, int Min, int Max)
{
    if (Min == Max)
        return Value;
    if (Max > 0 && Value > Max)
        return Max;
    if (Min > 0 && Value < Min)
        return Min;
    return Value;
}

} // namespace

// =================================================================== auto-size

void TCellGrid::AutoSizeColumn(int ACol)
{
    if (ACol < 0 || ACol >= ColCount())
        return;
    const int RC = RealColIndex(ACol);
    int Widest = 0;
    for (int R = 0; R < RowCount(); ++R) {
        if (!IsBaseCell(RC, R))
            continue;
        // CellTextSize measures with the cell's painting font and adds the text margins.
        const int W = CellTextSize(RC, R, false).X - 2 * CellTextMargin.X;
        Widest = std::max(Widest, W);
    }
    int NewWidth = 2 * (GridLineWidth() + 1) + Widest + CellMargin;
    if (NoShrink && NewWidth <= ColWidths(ACol))
        return;
    NewWidth = ClampSize(NewWidth, MinColWidth, MaxColWidth);
    UpdateAutoColSize(ACol, NewWidth);
    SetColWidths(ACol, NewWidth);
}

void TCellGrid::AutoSizeColumns(bool DoFixedCols, int Extra)
{
    for (int C = DoFixedCols ? 0 : FixedCols(); C < ColCount(); ++C) {
        AutoSizeColumn(C);
        if (Extra != 0)
            SetColWidths(C, ClampSize(ColWidths(C) + Extra, MinColWidth, MaxColWidth));
    }
}

void TCellGrid::AutoSizeRow(int ARow)
{
    if (ARow < 0 || ARow >= RowCount())
        return;
    int Tallest = 0;
    for (int C = 0; C < ColCount(); ++C) {
        const int RC = RealColIndex(C);
        if (!IsBaseCell(RC, ARow))
            continue;
        Tallest = std::max(Tallest, CellTextSize(RC, ARow, FWordWrap).Y);
    }
    const int NewHeight = ClampSize(Tallest, MinRowHeight, MaxRowHeight);
    if (NoShrink && NewHeight <= RowHeights(ARow))
        return;
    SetRowHeights(ARow, NewHeight);
}

void TCellGrid::AutoSizeRows(bool DoFixedRows, int Extra)
{
    for (int R = DoFixedRows ? 0 : FixedRows(); R < RowCount(); ++R) {
        AutoSizeRow(R);
        if (Extra != 0)
            SetRowHeights(R, ClampSize(RowHeights(R) + Extra, MinRowHeight, MaxRowHeight));
    }
}

void TCellGrid::SetRowHeightForLines(int ARow, int Lines, int Extra)
{
    if (ARow < 0 || ARow >= RowCount())
        return;
    TCanvas *C = Canvas();
    C->SetFont(*Font());
    const int H = C->TextHeight(QStringLiteral("gh"));
    SetRowHeights(ARow, ClampSize((H + H / 8) * Lines + Extra, MinRowHeight, MaxRowHeight));
}

int TCellGrid::MaxLinesInRow(int ARow)
{
    if (!Multilinecells || ARow < 0 || ARow >= RowCount())
        return 1;
    int Most = 1;
    for (int C = 0; C < ColCount() + NumHiddenColumns(); ++C) {
        const QString Text = GetCellText(C, ARow);
        if (Text.isEmpty())
            continue;
        // Lines end at a carriage return (a line feed after it belongs to it) or a lone line feed.
        int Lines = 1;
        for (qsizetype I = 0; I < Text.size(); ++I) {
            if (Text[I] == QLatin1Char('\r')) {
                ++Lines;
                if (I + 1 < Text.size() && Text[I + 1] == QLatin1Char('\n'))
                    ++I;
            } else if (Text[I] == QLatin1Char('\n')) {
                ++Lines;
            }
        }
        Most = std::max(Most, Lines);
    }
    return Most;
}

// =================================================================== queries

bool TCellGrid::IsCellSelected(int ACol, int ARow)
{
    if (ACol < FixedCols() || ARow < FixedRows())
        return false;
    if (MouseActions()->DisjunctRowSelect)
        return RowSelect(ARow);
    if (MouseActions()->DisjunctColSelect)
        return ColSelect(ACol);
    const TGridRect S = Selection();
    return ACol >= S.Left && ACol <= S.Right && ARow >= S.Top && ARow <= S.Bottom;
}

void TCellGrid::RepaintCellBlock(const TGridRect &R)
{
    TRect Area;
    UnionRect(Area, CellRect(R.Left, R.Top), CellRect(R.Right, R.Bottom));
    InvalidateRect(Area);
}

QString TCellGrid::CurrentCell(int ACol)
{
    return GetCellText(RealColIndex(ACol), Row());
}

void TCellGrid::SetCurrentCell(int ACol, const QString &Value)
{
    SetCellText(RealColIndex(ACol), Row(), Value);
}

void TCellGrid::SetCursor(Qt::CursorShape Value)
{
    FCursor = Value;
    viewport()->setCursor(Value);
}

QWidget *TCellGrid::CellControl(int ACol, int ARow)
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    return P ? P->Control : nullptr;
}

TColor TCellGrid::CellBrushColor(int ACol, int ARow)
{
    const TCellProperties *P = PropsOf(ACol, ARow);
    return P ? P->BrushColor() : TColor(0x1FFFFFFF);
}

int TCellGrid::GetVersionNr()
{
    constexpr int A = 2, B = 4, C = 0, D = 4;
    return (A << 24) | (B << 16) | (C << 8) | D;
}

QString TCellGrid::GetVersionString()
{
    const int V = GetVersionNr();
    return QStringLiteral("%1.%2.%3.%4 Jan, 2003")
        .arg((V >> 24) & 0xFF)
        .arg((V >> 16) & 0xFF)
        .arg((V >> 8) & 0xFF)
        .arg(V & 0xFF);
}

// =================================================================== rotated text

TPoint TCellGrid::RotatedExtent(int Width, int Height, int Angle)
{
    const double A = Angle * M_PI / 180.0;
    const double C = std::abs(std::cos(A)), S = std::abs(std::sin(A));
    return TPoint(int(std::lround(Width * C + Height * S)), int(std::lround(Width * S + Height * C)));
}
