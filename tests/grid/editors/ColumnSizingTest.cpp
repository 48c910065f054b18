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

TEST_F(GridTest, SizeFixedColSizesColumnZeroFromItsBorderInAnyRow)
{
    Grid->HintShowSizing = true;
    QWidget *View = Grid->viewport();
    std::vector<int> Ended;
    Grid->OnEndColumnSize = [&](TObject *, int ACol) { Ended.push_back(ACol); };
    const int Start = Grid->ColWidths(0);
    const TRect Cell = Grid->GetCellRect(0, 3);
    const QPoint Border(Cell.Right, Cell.Top + 5);

    // Without the action a data row's border is no place to size from.
    Drag(Grid, Border, Border + QPoint(30, 0));
    EXPECT_EQ(Grid->ColWidths(0), Start);
    EXPECT_TRUE(Ended.empty());

    Grid->MouseActions()->SizeFixedCol = true;
    Goto(2, 1);
    // The pointer over the border shows the sizing cursor.
    QMouseEvent Hover(QEvent::MouseMove, QPointF(Border), View->mapToGlobal(QPointF(Border)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(View, &Hover);
    EXPECT_EQ(View->cursor().shape(), Qt::SplitHCursor);
    // Pressed within the border zone, dragged: the hint tells the width to be,
    // the column keeps its width until the release gives it the pointer's x.
    QTest::mousePress(View, Qt::LeftButton, {}, Border + QPoint(2, 0));
    ASSERT_TRUE(Grid->SizingFixedCol());
    EXPECT_EQ(View->cursor().shape(), Qt::SplitHCursor);
    const QPoint To = Border + QPoint(40, 20);
    QMouseEvent Move(QEvent::MouseMove, QPointF(To), View->mapToGlobal(QPointF(To)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(View, &Move);
    EXPECT_EQ(Grid->SizingHint(), QStringLiteral("cw=<b>%1</b>").arg(To.x()));
    EXPECT_EQ(Grid->ColWidths(0), Start);
    EXPECT_NE(Grid->RenderToImage().pixel(To.x(), 5), Grid->RenderToImage().pixel(To.x() + 3, 5))
        << "a line shows where the column would end";
    QTest::mouseRelease(View, Qt::LeftButton, {}, To);
    EXPECT_FALSE(Grid->SizingFixedCol());
    EXPECT_EQ(Grid->ColWidths(0), To.x());
    EXPECT_EQ(Ended, std::vector<int>{0});
    EXPECT_NE(View->cursor().shape(), Qt::SplitHCursor);
    EXPECT_EQ(Grid->Row(), 1) << "the press selected no cell";
    EXPECT_EQ(Grid->Col(), 2);

    // Outside the zone a press is a press on a cell.
    const TRect Cell4 = Grid->GetCellRect(1, 4);
    QTest::mouseClick(View, Qt::LeftButton, {}, QPoint(Cell4.Left + TStringGrid::SizingMargin + 3, Cell4.Top + 5));
    EXPECT_FALSE(Grid->SizingFixedCol());
    EXPECT_EQ(Grid->Row(), 4);
    // A handler that refuses column 0 keeps it as it is.
    Grid->OnColumnSize = [](TObject *, int ACol, bool &Allow) { Allow = ACol != 0; };
    const QPoint Now(Grid->GetCellRect(0, 2).Right, Grid->GetCellRect(0, 2).Top + 5);
    Drag(Grid, Now, Now + QPoint(25, 0));
    EXPECT_EQ(Grid->ColWidths(0), To.x());
}
