// Soundness checks of a grid's merged blocks and hidden rows, shared by the
// grid tests. Each returns the faults it found, empty when all is sound.
#pragma once

#include "grid/CellGrid.h"

#include <QStringList>

#include <algorithm>
#include <map>
#include <utility>

// Every merge covers exactly its own rectangle: each covered cell points at a
// base whose block reaches it, and no cell is claimed by two blocks.
inline QStringList MergeFaults(TCellGrid &G)
{
    QStringList Faults;
    std::map<std::pair<int, int>, std::pair<int, int>> Claimed;   // cell -> base
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C) {
            if (!G.HasCellProperties(C, R))
                continue;
            const TCellProperties *P = G.GetCellProperties(C, R);
            if (!P->IsBaseCell || P->CellSpanX < 0 || P->CellSpanY < 0)
                continue;
            for (int Y = R; Y <= R + P->CellSpanY; ++Y)
                for (int X = C; X <= C + P->CellSpanX; ++X) {
                    if (!Claimed.emplace(std::pair(X, Y), std::pair(C, R)).second)
                        Faults << QStringLiteral("(%1,%2) claimed twice").arg(X).arg(Y);
                    if (Y >= G.RowCount() || X >= G.ColCount() || G.BaseCell(X, Y) != TPoint(C, R))
                        Faults << QStringLiteral("(%1,%2) outside its block of (%3,%4)").arg(X).arg(Y).arg(C).arg(R);
                }
        }
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C)
            if (G.HasCellProperties(C, R) && !G.GetCellProperties(C, R)->IsBaseCell
                && Claimed.find(std::pair(C, R)) == Claimed.end())
                Faults << QStringLiteral("(%1,%2) covered by no block").arg(C).arg(R);
    return Faults;
}

// The displayed and hidden rows together number the real rows 0 .. Rows - 1,
// each exactly once: the displayed ones rising and mapping both ways, every
// other number a hidden row, and as many hidden numbers as hidden rows.
inline QStringList HiddenRowFaults(TCellGrid &G, int Rows)
{
    QStringList Faults;
    if (G.RowCount() + G.NumHiddenRows() != Rows)
        Faults << QStringLiteral("%1 rows shown and %2 hidden of %3").arg(G.RowCount()).arg(G.NumHiddenRows()).arg(Rows);
    int Previous = -1, HiddenBetween = 0;
    for (int D = 0; D < G.RowCount(); ++D) {
        const int R = G.RealRowIndex(D);
        if (R <= Previous || R >= Rows || G.IsHiddenRow(R) || G.DisplRowIndex(R) != D)
            Faults << QStringLiteral("displayed row %1 maps to real row %2").arg(D).arg(R);
        for (int H = Previous + 1; H < R && H < Rows; ++H)
            HiddenBetween += G.IsHiddenRow(H) ? 1 : 0;
        Previous = std::max(Previous, R);
    }
    for (int H = Previous + 1; H < Rows; ++H)
        HiddenBetween += G.IsHiddenRow(H) ? 1 : 0;
    if (HiddenBetween != G.NumHiddenRows())
        Faults << QStringLiteral("%1 real numbers hidden for %2 hidden rows").arg(HiddenBetween).arg(G.NumHiddenRows());
    return Faults;
}
