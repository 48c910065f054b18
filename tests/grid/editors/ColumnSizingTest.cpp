// The end of a column or row sizing by dragging: proportional sizing of the
// other columns or rows and the events fired.
#include "GridFixture.h"

namespace {

void Drag(TCellGrid *Grid, QPoint From, QPoint To)
{
    QTest::mousePress(Grid->viewport(), Qt::LeftButton, {}, From);
    QMouseEvent Move(QEvent::MouseMove, QPointF(To), Grid->viewport()->mapToGlobal(QPointF(To)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Grid->viewport(), &Move);
    QTest::mouseRelease(Grid->viewport(), Qt::LeftButton, {}, To);
}

} // namespace

TEST_F(GridTest, AllColumnSizeScalesTheOtherColumnsAndUpdateEventMayChangeTheWidth)
{
    Grid->SetOptions(Grid->Options() | goColSizing | goRowSizing);
    for (int C = 0; C < Grid->ColCount(); ++C)
        Grid->SetColWidths(C, 40);
    Grid->MouseActions()->AllColumnSize = true;
    std::vector<int> Ended;
    Grid->OnEndColumnSize = [&](TObject *, int ACol) { Ended.push_back(ACol); };
    Grid->OnUpdateColumnSize = [](TObject *, int, int &W) { W += 1; };
    const int X = Grid->GetCellRect(2, 0).Right;
    Drag(Grid, QPoint(X, 5), QPoint(X + 40, 5));
    EXPECT_EQ(Grid->ColWidths(2), 81);      // 80 by dragging, + 1 by the update event
    EXPECT_EQ(Grid->ColWidths(1), 80);      // scaled by 80 / 40
    EXPECT_EQ(Grid->ColWidths(4), 80);
    EXPECT_EQ(Grid->ColWidths(0), 40);      // fixed column
    EXPECT_EQ(Ended, std::vector<int>{2});

    Grid->MouseActions()->AllRowSize = true;
    for (int R = 0; R < Grid->RowCount(); ++R)
        Grid->SetRowHeights(R, 20);
    std::vector<int> RowsEnded;
    Grid->OnEndRowSize = [&](TObject *, int ARow) { RowsEnded.push_back(ARow); };
    const int Y = Grid->GetCellRect(0, 2).Bottom;
    Drag(Grid, QPoint(5, Y), QPoint(5, Y + 10));
    EXPECT_EQ(Grid->RowHeights(2), 30);
    EXPECT_EQ(Grid->RowHeights(4), 30);
    EXPECT_EQ(Grid->RowHeights(0), 20);
    EXPECT_EQ(RowsEnded, std::vector<int>{2});
}
