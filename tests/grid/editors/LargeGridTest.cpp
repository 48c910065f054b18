// A grid of many rows driven by keys: cell controls follow scrolling, row
// insertion and removal keep texts, property objects and merges with their
// rows, and the cursor lands where the keys say.
#include "GridFixture.h"

#include <QLabel>

TEST_F(GridTest, CellControlsFollowTheViewInALargeGrid)
{
    constexpr int Rows = 60000;
    Grid->SetRowCount(Rows);
    for (int R = 1; R < Rows; R += 997)
        Grid->SetCells(1, R, QString::number(R));
    QLabel Near(Grid->viewport()), Far(Grid->viewport());
    Grid->GetCellProperties(2, 2)->Control = &Near;
    Grid->GetCellProperties(3, Rows - 2)->Control = &Far;

    // Ctrl+End: the far control goes onto its cell, the near one shrinks.
    Grid->SetTopRow(2);
    Grid->SetTopRow(1);
    EXPECT_EQ(Near.geometry(), Grid->GetCellRect(2, 2).ToQRect());
    Key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Grid->Row(), Rows - 1);
    EXPECT_EQ(Far.geometry(), Grid->GetCellRect(3, Rows - 2).ToQRect());
    EXPECT_EQ(Near.size(), QSize(0, 0));
    Key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(Grid->TopRow(), 1);
    EXPECT_EQ(Far.size(), QSize(0, 0));
    EXPECT_EQ(Near.geometry(), Grid->GetCellRect(2, 2).ToQRect());

    // Inserting and removing rows at the top moves texts, objects and blocks along.
    Grid->SetCells(4, 30000, QStringLiteral("base"));
    Grid->MergeCellBlock(4, 30000, 1, 3);
    Grid->InsertRowsAt(1, 500);
    EXPECT_EQ(Grid->RowCount(), Rows + 500);
    EXPECT_EQ(Grid->Cells(1, 998 + 500), "998");
    EXPECT_EQ(Grid->GetCellProperties(3, Rows - 2 + 500)->Control, &Far);
    EXPECT_EQ(Grid->Cells(4, 30002 + 500), "base");
    Grid->RemoveRows(1, 600);
    EXPECT_EQ(Grid->Cells(1, 998 - 100), "998");
    EXPECT_EQ(Grid->Cells(4, 30001 - 100), "base");
    EXPECT_EQ(Grid->CellSpan(4, 29900).Y, 2);

    // Page Down moves by a page of the same height everywhere.
    Key(Qt::Key_Home, Qt::ControlModifier);
    const int Page = Grid->VisibleRowCount();
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Grid->Row(), 1 + Page);
    Key(Qt::Key_End, Qt::ControlModifier);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Grid->Row(), Grid->RowCount() - 1 - Page);
}

TEST_F(GridTest, CellControlsFollowTheViewInAWideGrid)
{
    // Controls in the fixed column and in columns far apart: End takes the
    // view to the last columns, Home back.
    Grid->SetColCount(2000);
    Grid->SetRowCount(10);
    QLabel Fixed(Grid->viewport()), Near(Grid->viewport()), Far(Grid->viewport());
    Grid->GetCellProperties(0, 3)->Control = &Fixed;
    Grid->GetCellProperties(2, 2)->Control = &Near;
    Grid->GetCellProperties(1998, 4)->Control = &Far;
    Grid->SetLeftCol(2);
    Grid->SetLeftCol(1);
    EXPECT_EQ(Near.geometry(), Grid->GetCellRect(2, 2).ToQRect());
    EXPECT_EQ(Fixed.geometry(), Grid->GetCellRect(0, 3).ToQRect());
    Key(Qt::Key_End);
    EXPECT_EQ(Grid->Col(), 1999);
    EXPECT_EQ(Far.geometry(), Grid->GetCellRect(1998, 4).ToQRect());
    EXPECT_EQ(Fixed.geometry(), Grid->GetCellRect(0, 3).ToQRect());
    EXPECT_EQ(Near.size(), QSize(0, 0));
    Key(Qt::Key_Home);
    EXPECT_EQ(Grid->LeftCol(), 1);
    EXPECT_EQ(Far.size(), QSize(0, 0));
    EXPECT_EQ(Near.geometry(), Grid->GetCellRect(2, 2).ToQRect());
}
