// A wide grid holding few cells: inserting and removing columns and a sort's
// ties over the columns give what the cell-by-cell rules give, and cost the
// cells the grid holds, not its rows times its columns.
#include "grid/CellGrid.h"
#include "GridChecks.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace {

// Deterministic numbers for placing cells.
struct TDice {
    quint32 State;
    int operator()(int N)
    {
        State = State * 1103515245u + 12345u;
        return int((State >> 8) % quint32(N));
    }
};

using TCellMap = std::map<std::pair<int, int>, std::pair<QString, TObject *>>;   // (col, row) -> text, object

TCellMap StoredCells(TCellGrid &G)
{
    TCellMap M;
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C)
            if (!G.PlainCells(C, R).isEmpty() || G.PlainObjects(C, R))
                M[{C, R}] = {G.PlainCells(C, R), G.PlainObjects(C, R)};
    return M;
}

// Scattered texts of few values (so that rows tie), some cells with
// property objects, one with an object and no text, and a merged block.
void FillSparse(TCellGrid &G, int Cols, int Rows, int Cells, quint32 Seed)
{
    G.SetColCount(Cols);
    G.SetRowCount(Rows);
    TDice D{Seed};
    const char *Texts[] = {"x", "y", "10", "9", "b"};
    for (int R = 1; R < Rows; ++R) {
        G.SetCellText(0, R, QStringLiteral("r%1").arg(R));
        if (D(3) > 0)
            G.SetCellText(1, R, QString::fromLatin1(Texts[D(5)]));
    }
    for (int I = 0; I < Cells; ++I) {
        const int C = 2 + D(Cols - 2), R = 1 + D(Rows - 1);
        G.SetCellText(C, R, QString::fromLatin1(Texts[D(5)]));
        if (I % 7 == 0)
            G.GetCellProperties(C, R)->FontSize = 8 + I % 5;
    }
    G.GetCellProperties(Cols / 2, 3)->FontSize = 11;
    G.MergeCellBlock(Cols / 3, Rows / 2, 3, 2);
    for (int C = 0; C < Cols; C += 5)
        G.SetColWidths(C, 20 + C % 50);
}

std::vector<int> Widths(TCellGrid &G)
{
    std::vector<int> W;
    for (int C = 0; C < G.ColCount(); ++C)
        W.push_back(G.ColWidths(C));
    return W;
}

QStringList Ids(TCellGrid &G)
{
    QStringList L;
    for (int R = 1; R < G.RowCount(); ++R)
        L << G.PlainCells(0, R);
    return L;
}

} // namespace

TEST(WideSparseGrid, ColumnsMoveAndTiesOrderAsCellByCell)
{
    // Columns in and out: every cell, its object (the same one), the merged
    // block and the widths land where moving the columns one by one puts
    // them; removing fires the clearing's change and its own.
    TCellGrid G;
    FillSparse(G, 300, 60, 500, 7);
    TCellMap Cells = StoredCells(G);
    std::vector<int> W = Widths(G);
    std::vector<TRect> Changes;
    G.OnCellsChanged = [&](TObject *, const TRect &R) { Changes.push_back(R); };
    const std::vector<std::pair<int, int>> Steps = {{40, 3}, {45, -5}, {0, 2}, {290, -20}, {305, 1}, {0, -1}};
    for (const auto &[At, N] : Steps) {
        Changes.clear();
        TCellMap Want;
        if (N > 0) {
            G.InsertColumns(At, N);
            const int Pos = std::min(At, int(W.size()));
            for (const auto &[Cell, V] : Cells)
                Want[{Cell.first >= Pos ? Cell.first + N : Cell.first, Cell.second}] = V;
            W.insert(W.begin() + Pos, size_t(N), G.DefaultColWidth());
            EXPECT_TRUE(Changes.empty());
        } else {
            const int Gone = std::min(-N, int(W.size()) - At);
            G.RemoveColumns(At, -N);
            for (const auto &[Cell, V] : Cells)
                if (Cell.first < At || Cell.first >= At + Gone)
                    Want[{Cell.first < At ? Cell.first : Cell.first - Gone, Cell.second}] = V;
            W.erase(W.begin() + At, W.begin() + At + Gone);
            const int Last = G.RowCount() - 1;
            EXPECT_EQ(Changes, (std::vector<TRect>{TRect(At, 0, At + Gone - 1, Last), TRect(At, 0, At + Gone, Last)}));
        }
        Cells = Want;
        ASSERT_EQ(G.ColCount(), int(W.size()));
        EXPECT_EQ(StoredCells(G), Cells) << "after " << At << ", " << N;
        EXPECT_EQ(Widths(G), W);
        EXPECT_EQ(MergeFaults(G), QStringList());
        for (const auto &[Cell, V] : Cells)
            if (V.second) {
                EXPECT_EQ(G.GetCellProperties(Cell.first, Cell.second)->OwnerCol, Cell.first);
            }
    }

    // Ties: a grid reading every cell (a display-text hook makes any empty
    // cell a possible text) and the same grid without one sort alike, with
    // the same comparisons counted, the same columns asked for their style
    // in the same order, and the raw comparison of an empty column asked for
    // the same rows.
    TCellGrid A, B;
    FillSparse(A, 400, 150, 300, 11);
    FillSparse(B, 400, 150, 300, 11);
    B.OnGetDisplText = [](TObject *, int, int, QString &) {};
    struct TSeen {
        std::vector<int> Formats;
        std::vector<std::pair<QString, QString>> Raw;
    };
    TSeen SeenA, SeenB;
    for (auto [G2, Seen] : {std::pair(&A, &SeenA), std::pair(&B, &SeenB)}) {
        G2->OnGetFormat = [Seen](TObject *, int ACol, TSortStyle &S, QString &, QString &) {
            Seen->Formats.push_back(ACol);
            if (ACol == 250)
                S = soRaw;
        };
        G2->OnRawCompare = [Seen](TObject *Sender, int, int R1, int R2, int &Res) {
            auto *Grid = static_cast<TCellGrid *>(Sender);
            const int A1 = Grid->PlainCells(0, R1).mid(1).toInt(), A2 = Grid->PlainCells(0, R2).mid(1).toInt();
            Seen->Raw.emplace_back(Grid->PlainCells(0, R1), Grid->PlainCells(0, R2));
            Res = A1 % 3 - A2 % 3;
        };
        G2->SortSettings()->Column = 1;
    }
    for (TSortDirection Dir : {sdAscending, sdDescending}) {
        for (TCellGrid *G2 : {&A, &B}) {
            G2->SortSettings()->Direction = Dir;
            G2->SortByColumn();
        }
        EXPECT_EQ(Ids(A), Ids(B));
        EXPECT_EQ(A.SortCompares(), B.SortCompares());
        EXPECT_EQ(SeenA.Formats, SeenB.Formats);
        EXPECT_EQ(SeenA.Raw, SeenB.Raw);
        EXPECT_FALSE(SeenA.Raw.empty());
    }
    // The columns are asked for in turn, each once a sort, as far as a tie reached.
    ASSERT_GT(SeenA.Formats.size(), 251u);
    for (size_t I = 1; I < SeenA.Formats.size() && SeenA.Formats[I] != 1; ++I)
        EXPECT_EQ(SeenA.Formats[I], SeenA.Formats[I - 1] + 1);
}

TEST(WideSparseGrid, ColumnsAndTiesCostTheStoredCells)
{
    // 30,000 x 30,000 cells with a few thousand stored: moving the columns
    // cell by cell, or ties walking every column with a key per row for each,
    // would take hours (and the keys tens of gigabytes); what the grid holds
    // takes milliseconds.
    const int N = 30000;
    TCellGrid G;
    G.SetColCount(N);
    G.SetRowCount(N);
    TDice D{5};
    std::map<int, std::map<int, int>> Placed;   // row -> col -> value (1..50)
    for (int I = 0; I < 4000; ++I) {
        const int C = 1 + D(N - 1), R = 1 + D(N - 1), V = 1 + D(50);
        G.SetCellText(C, R, QString::number(V));
        Placed[R][C] = V;
    }
    for (int R = 1; R < N; ++R)
        G.SetCellText(0, R, QString::number(R));
    TCellProperties *P = G.GetCellProperties(N - 1, N - 1);
    P->FontSize = 9;
    G.InsertColumns(1, 2);
    EXPECT_EQ(G.ColCount(), N + 2);
    for (const auto &[R, Cols] : Placed)
        for (const auto &[C, V] : Cols)
            ASSERT_EQ(G.PlainCells(C + 2, R), QString::number(V));
    EXPECT_EQ(G.PlainObjects(N + 1, N - 1), P);
    G.RemoveColumns(1, 2);
    EXPECT_EQ(G.ColCount(), N);
    for (const auto &[R, Cols] : Placed)
        for (const auto &[C, V] : Cols)
            ASSERT_EQ(G.PlainCells(C, R), QString::number(V));

    // Nearly every row is empty in the sort column and ties on the columns
    // after it. Empty goes before any number; two numbers by value; rows
    // tied on every column keep their order.
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    auto Before = [&](int R1, int R2) {
        const std::map<int, int> &A = Placed[R1], &B = Placed[R2];
        auto I = A.begin(), J = B.begin();
        for (;;) {
            if (I == A.end() || J == B.end())
                return I == A.end() && J != B.end() ? 1 : (J == B.end() && I != A.end() ? -1 : (R1 < R2 ? 1 : -1));
            if (I->first != J->first)
                return I->first < J->first ? -1 : 1;   // the other row is empty there
            if (I->second != J->second)
                return I->second < J->second ? 1 : -1;
            ++I, ++J;
        }
    };
    int Previous = G.PlainCells(0, 1).toInt();
    for (int R = 2; R < N; ++R) {
        const int Id = G.PlainCells(0, R).toInt();
        ASSERT_EQ(Before(Previous, Id), 1) << "rows " << Previous << " and " << Id;
        Previous = Id;
    }
    EXPECT_EQ(G.PlainObjects(N - 1, P->OwnerRow), P);
    EXPECT_EQ(G.PlainCells(0, P->OwnerRow), QString::number(N - 1));
}
