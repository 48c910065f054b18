// The block sequence behind the grid's rows and sizes, checked against a
// plain vector through long random edit runs, and the string grid's row
// operations and geometry on many rows.
#include "platform/controls/Grids.h"
#include "platform/controls/detail/BlockSequence.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <random>
#include <vector>

namespace {

struct WeighInt {
    std::int64_t operator()(int V) const { return V; }
};

using Sequence = GridDetail::TBlockSequence<int, WeighInt>;

void ExpectSame(const Sequence &S, const std::vector<int> &Model)
{
    ASSERT_EQ(S.Size(), int(Model.size()));
    std::int64_t W = 0;
    for (size_t I = 0; I < Model.size(); ++I) {
        ASSERT_EQ(S.At(int(I)), Model[I]) << I;
        ASSERT_EQ(S.WeightBefore(int(I)), W) << I;
        W += Model[I];
    }
    ASSERT_EQ(S.TotalWeight(), W);
    ASSERT_EQ(S.WeightBefore(int(Model.size())), W);
}

// The first index whose items up to it weigh more than Offset, by walking.
int ModelIndexAt(const std::vector<int> &Model, std::int64_t Offset)
{
    if (Offset < 0)
        return 0;
    std::int64_t W = 0;
    for (size_t I = 0; I < Model.size(); ++I) {
        W += Model[I];
        if (W > Offset)
            return int(I);
    }
    return int(Model.size());
}

TEST(GridRowIndex, BlockSequenceAgreesWithAVectorThroughRandomEdits)
{
    std::mt19937 Random(7);
    Sequence S;
    std::vector<int> Model;
    auto Pick = [&](int N) { return N <= 0 ? 0 : int(Random() % unsigned(N)); };
    for (int Step = 0; Step < 3000; ++Step) {
        const int Op = Pick(8);
        const int N = int(Model.size());
        if (Op == 0 || N < 10) {
            // Bulk inserts make and split blocks; most values are 0 or small,
            // as row heights and object flags are.
            const int At = Pick(N + 1), Count = 1 + Pick(Step % 50 == 0 ? 2000 : 40), V = Pick(3) * Pick(30);
            S.Insert(At, Count, V);
            Model.insert(Model.begin() + At, size_t(Count), V);
        } else if (Op == 1) {
            const int At = Pick(N), Count = 1 + Pick(Step % 40 == 0 ? 1500 : 30);
            S.Erase(At, Count);
            Model.erase(Model.begin() + At, Model.begin() + std::min(N, At + Count));
        } else if (Op == 2) {
            const int From = Pick(N), To = Pick(N);
            S.Move(From, To);
            const int V = Model[size_t(From)];
            Model.erase(Model.begin() + From);
            Model.insert(Model.begin() + To, V);
        } else if (Op == 3) {
            const int A = Pick(N), B = Pick(N);
            S.Exchange(A, B);
            std::swap(Model[size_t(A)], Model[size_t(B)]);
        } else if (Op == 4) {
            const int At = Pick(N), V = Pick(50);
            S.Modify(At, [V](int &X) { X = V; });
            Model[size_t(At)] = V;
        } else if (Op == 5) {
            const int At = Pick(N + 1), V = Pick(4);
            S.InsertOne(At, int(V));
            Model.insert(Model.begin() + At, V);
        } else if (Op == 6 && Step % 10 == 0) {
            // Every item changed at once (a new default size): totals follow.
            const int V = Pick(5);
            S.ForEach([V](int &X) { X = X % 3 + V; });
            for (int &X : Model)
                X = X % 3 + V;
            ASSERT_EQ(S.WeightBefore(S.Size()), S.TotalWeight());
            ExpectSame(S, Model);
        } else {
            for (int Probe = 0; Probe < 5; ++Probe) {
                const std::int64_t Off = std::int64_t(Pick(int(S.TotalWeight()) + 3)) - 1;
                ASSERT_EQ(S.IndexAtWeight(Off), ModelIndexAt(Model, Off)) << Off;
                const int From = Pick(N + 1);
                int Next = From;
                while (Next < N && Model[size_t(Next)] == 0)
                    ++Next;
                ASSERT_EQ(S.NextWeighted(From), Next);
            }
        }
        if (Step % 97 == 0)
            ExpectSame(S, Model);
    }
    ExpectSame(S, Model);
}

TEST(GridRowIndex, InsertOneLandsWhereAsked)
{
    Sequence S;
    std::vector<int> Model;
    std::mt19937 Random(3);
    for (int I = 0; I < 5000; ++I) {
        const int At = int(Random() % unsigned(Model.size() + 1));
        S.InsertOne(At, int(I % 7));
        Model.insert(Model.begin() + At, I % 7);
    }
    ExpectSame(S, Model);
}

class TestGrid : public TStringGrid {
public:
    using TStringGrid::DeleteRows;
    using TStringGrid::ExchangeRows;
    using TStringGrid::InsertEmptyRows;
    using TStringGrid::MoveRow;
};

TEST(GridRowIndex, RowsMoveWithTheirCellsObjectsAndHeightsAtScale)
{
    TestGrid G;
    G.setFrameShape(QFrame::NoFrame);
    G.resize(400, 300);
    G.show();
    QApplication::processEvents();
    constexpr int Rows = 200000;
    G.SetRowCount(Rows);
    TObject Marker;
    for (int R = 0; R < Rows; R += 1000) {
        G.SetCells(1, R, QString::number(R));
        G.SetRowHeights(R, 10 + R / 1000 % 7);
    }
    G.SetObjects(2, 150000, &Marker);
    EXPECT_EQ(G.NextRowWithObjects(0), 150000);

    // Inserting at the top moves every row down with its height and object.
    G.InsertEmptyRows(1, 5);
    EXPECT_EQ(G.RowCount(), Rows + 5);
    EXPECT_EQ(G.Cells(1, 1005), "1000");
    EXPECT_EQ(G.RowHeights(1005), 10 + 1);
    EXPECT_EQ(G.RowHeights(1), G.DefaultRowHeight());
    EXPECT_EQ(G.Objects(2, 150005), &Marker);
    EXPECT_EQ(G.NextRowWithObjects(0), 150005);

    // Positions follow every size change.
    std::int64_t Sum = 0;
    for (int R = 0; R < 3000; ++R)
        Sum += G.RowHeights(R) + 1;
    EXPECT_EQ(G.RowOffset(3000), Sum);
    EXPECT_EQ(G.RowAtOffset(int(Sum)), 3000);
    EXPECT_EQ(G.RowAtOffset(int(Sum) - 1), 2999);

    // Exchanging and moving take cells, objects and (when asked) heights along.
    G.ExchangeRows(1005, 150005, true);
    EXPECT_EQ(G.Cells(1, 150005), "1000");
    EXPECT_EQ(G.Objects(2, 1005), &Marker);
    EXPECT_EQ(G.NextRowWithObjects(0), 1005);
    EXPECT_EQ(G.RowHeights(150005), 11);
    G.MoveRow(150005, 2);
    EXPECT_EQ(G.Cells(1, 2), "1000");

    // Removing rows closes the gap; the object goes with its row.
    G.DeleteRows(1000, 10);
    EXPECT_EQ(G.RowCount(), Rows + 5 - 10);
    EXPECT_EQ(G.NextRowWithObjects(0), G.RowCount());
    EXPECT_EQ(G.Cells(1, 2), "1000");
    EXPECT_EQ(G.Cells(1, 2000 + 5 + 1 - 10), "2000");   // inserted, moved past, then removed above

    // A new default height reaches every row at once.
    G.SetDefaultRowHeight(30);
    EXPECT_EQ(G.RowOffset(G.RowCount()), std::int64_t(G.RowCount()) * 31);
    EXPECT_EQ(G.RowAtOffset(31 * 1000 + 5), 1000);

    // Ctrl+End and back: the view ends exactly at the last row.
    G.SetRow(G.RowCount() - 1);
    const TRect Last = G.CellRect(1, G.RowCount() - 1);
    EXPECT_GT(Last.Bottom, Last.Top);
    EXPECT_LE(Last.Bottom, G.ClientHeight());
    EXPECT_EQ(G.TopRow() + G.VisibleRowCount() - 1, G.RowCount() - 1);
    EXPECT_EQ(G.MouseCoord(Last.Left + 1, Last.Top + 1).Y, G.RowCount() - 1);
    G.SetRow(1);
    EXPECT_EQ(G.TopRow(), 1);
}

} // namespace
