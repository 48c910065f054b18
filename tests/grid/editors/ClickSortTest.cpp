// Sorting by a click on the sort row.
#include "GridFixture.h"

namespace {

QStringList DataColumn(TCellGrid *G, int ACol)
{
    QStringList L;
    for (int R = G->FixedRows(); R < G->RowCount(); ++R)
        L << G->GetCellText(ACol, R);
    return L;
}

TEST_F(GridTest, HeaderClicksSortAndReverse)
{
    const QStringList B{"3", "1", "2", "5", "4"}, C{"b", "a", "e", "c", "d"};
    for (int R = 1; R < 6; ++R) {
        Grid->SetCellText(0, R, QString::number(R));
        Grid->SetCellText(1, R, B[R - 1]);
        Grid->SetCellText(2, R, C[R - 1]);
    }
    int Clicked = -1;
    Grid->OnClickSort = [&](TObject *, int ACol) { Clicked = ACol; };
    // Without Show a click does nothing.
    Click(1, 0);
    EXPECT_EQ(DataColumn(Grid, 1), B);
    Grid->SortSettings()->Show = true;
    Grid->SortSettings()->NormalCellsOnly = true;
    Click(1, 0);
    EXPECT_EQ(DataColumn(Grid, 1), (QStringList{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(Clicked, 1);
    Click(1, 0);
    EXPECT_EQ(DataColumn(Grid, 1), (QStringList{"5", "4", "3", "2", "1"}));
    EXPECT_EQ(Grid->SortSettings()->Direction, sdDescending);
    Click(2, 0);
    EXPECT_EQ(DataColumn(Grid, 2), (QStringList{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(Grid->SortSettings()->Direction, sdAscending);
    // Row numbers in the fixed column stay in order.
    EXPECT_EQ(DataColumn(Grid, 0), (QStringList{"1", "2", "3", "4", "5"}));

    // OnCanSort may refuse.
    Grid->OnCanSort = [](TObject *, int, bool &DoSort) { DoSort = false; };
    Click(1, 0);
    EXPECT_EQ(DataColumn(Grid, 2), (QStringList{"a", "b", "c", "d", "e"}));
    Grid->OnCanSort = nullptr;

    // With IndexShow, Shift adds a column to the index list.
    Grid->SortSettings()->IndexShow = true;
    Click(2, 0);
    Click(1, 0, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(Grid->SortIndexes()->Count(), 2);
    Click(2, 0);
    EXPECT_EQ(Grid->SortIndexes()->Count(), 1);
    EXPECT_EQ(DataColumn(Grid, 2), (QStringList{"a", "b", "c", "d", "e"}));
    Click(2, 0);   // the only entry: its direction turns
    EXPECT_EQ(DataColumn(Grid, 2), (QStringList{"e", "d", "c", "b", "a"}));

    // A header and one row do not sort.
    Grid->SetRowCount(2);
    Grid->SetCellText(2, 1, QStringLiteral("z"));
    Clicked = -1;
    Click(2, 0);
    EXPECT_EQ(Clicked, -1);
}

} // namespace
