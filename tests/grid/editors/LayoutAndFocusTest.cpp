// Whole-row heights, moved rows and columns with and without their sizes,
// and the selection of grids that hold only a fixed row or column.
#include "GridFixture.h"

#include <QFocusEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace {

void DragOn(QWidget *W, QPoint From, QPoint To)
{
    QTest::mousePress(W, Qt::LeftButton, {}, From);
    QMouseEvent Move(QEvent::MouseMove, QPointF(To), W->mapToGlobal(QPointF(To)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(W, &Move);
    QTest::mouseRelease(W, Qt::LeftButton, {}, To);
}

void FocusIn(QWidget *W)
{
    QFocusEvent In(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(W, &In);
}

} // namespace

TEST_F(GridTest, IntegralHeightShowsWholeRowsOnly)
{
    Grid->SetDefaultRowHeight(20);
    const int Pitch = 20 + Grid->GridLineWidth();
    auto WholeRows = [&] { return (Grid->ClientHeight() + Grid->GridLineWidth()) % Pitch == 0; };

    // Off: the bounds are taken as given.
    Grid->SetBounds(0, 0, 600, 333);
    EXPECT_EQ(Grid->height(), 333);

    // The setter shortens at once; the result is never taller than asked.
    Grid->SetIntegralHeight(true);
    EXPECT_LE(Grid->height(), 333);
    EXPECT_GT(Grid->height(), 333 - Pitch);
    EXPECT_TRUE(WholeRows()) << Grid->ClientHeight();

    // SetBounds and plain resizes follow the same rule; it is stable for its own result.
    Grid->SetBounds(0, 0, 600, 250);
    const int H = Grid->height();
    EXPECT_TRUE(WholeRows());
    Grid->SetBounds(0, 0, 600, H);
    EXPECT_EQ(Grid->height(), H);
    Grid->resize(600, 301);
    EXPECT_TRUE(WholeRows()) << Grid->ClientHeight();

    // Columns wider than the grid bring the horizontal scroll bar; rows still end whole.
    Grid->SetColCount(30);
    Grid->SetBounds(0, 0, 300, 300);
    QApplication::processEvents();
    EXPECT_TRUE(Grid->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(WholeRows()) << Grid->ClientHeight();

    // A very low grid keeps one row.
    Grid->SetBounds(0, 0, 600, 5);
    EXPECT_GE(Grid->ClientHeight(), 20);
}

TEST_F(GridTest, MovedRowsAndColumnsTakeTheirSizesOnlyWithEnhancedMoving)
{
    Grid->SetOptions(Grid->Options() | goRowMoving | goColMoving);
    const int DefaultH = Grid->DefaultRowHeight(), DefaultW = Grid->DefaultColWidth();
    Grid->SetRowHeights(2, 40);
    Grid->SetColWidths(2, 90);
    Grid->SetCells(2, 2, QStringLiteral("two"));

    // Plain moves: the texts move, the sizes stay where they were.
    DragOn(Grid->viewport(), CellPoint(0, 2), CellPoint(0, 4));
    ASSERT_EQ(Grid->Cells(2, 4), "two");
    EXPECT_EQ(Grid->RowHeights(2), 40);
    EXPECT_EQ(Grid->RowHeights(4), DefaultH);
    DragOn(Grid->viewport(), CellPoint(2, 0), CellPoint(3, 0));
    ASSERT_EQ(Grid->Cells(3, 4), "two");
    EXPECT_EQ(Grid->ColWidths(2), 90);
    EXPECT_EQ(Grid->ColWidths(3), DefaultW);

    // Enhanced moves carry the sizes along.
    Grid->EnhRowColMove = true;
    Grid->SetRowHeights(4, 44);
    DragOn(Grid->viewport(), CellPoint(0, 4), CellPoint(0, 1));
    ASSERT_EQ(Grid->Cells(3, 1), "two");
    EXPECT_EQ(Grid->RowHeights(1), 44);
    EXPECT_EQ(Grid->RowHeights(3), 40);
    EXPECT_EQ(Grid->RowHeights(4), DefaultH);
    Grid->SetColWidths(3, 77);
    DragOn(Grid->viewport(), CellPoint(3, 0), CellPoint(1, 0));
    ASSERT_EQ(Grid->Cells(1, 1), "two");
    EXPECT_EQ(Grid->ColWidths(1), 77);
    EXPECT_EQ(Grid->ColWidths(3), 90);
}

TEST_F(GridTest, FocusClearsTheSelectionOfGridsWithOnlyTheirFixedRowOrColumn)
{
    Grid->FixedRowAlways = true;
    Grid->SetFixedRows(0);
    Grid->SetRowCount(1);
    FocusIn(Grid);
    EXPECT_TRUE(Grid->SelectionParked());
    EXPECT_EQ(Grid->Selection().Left, Grid->ColCount());
    EXPECT_EQ(Grid->Selection().Top, Grid->RowCount());

    // A data row brings the selection back.
    Grid->SetRowCount(3);
    EXPECT_FALSE(Grid->SelectionParked());
    EXPECT_LT(Grid->Selection().Top, Grid->RowCount());

    // A grid with data rows keeps its selection on focus.
    FocusIn(Grid);
    EXPECT_FALSE(Grid->SelectionParked());

    // The same for the one fixed column.
    Grid->FixedRowAlways = false;
    Grid->FixedColAlways = true;
    Grid->SetFixedCols(0);
    Grid->SetColCount(1);
    FocusIn(Grid);
    EXPECT_TRUE(Grid->SelectionParked());
    Grid->SetColCount(4);
    EXPECT_FALSE(Grid->SelectionParked());
    EXPECT_LT(Grid->Selection().Left, Grid->ColCount());
}

// A grid destroyed while one of its editors has the keyboard, inside a form
// and as a window of its own: the editor's focus-out handling must not reach
// into the grid that is being torn down.
TEST_F(GridTest, AGridDestroyedWithItsEditorFocusedLeavesQuietly)
{
    for (bool Alone : {false, true}) {
        for (TEditorType K : {edNormal, edSpinEdit, edComboEdit, edComboList, edEditBtn, edDateEdit, edUnitEditBtn,
                              edUniEdit, edUniComboEdit}) {
            SCOPED_TRACE(testing::Message() << "editor " << int(K) << (Alone ? ", alone" : ", in a form"));
            if (!Grid) {
                Grid = new TCellGrid(Alone ? nullptr : Form.get());
                Grid->setGeometry(0, 0, 600, 400);
                Grid->SetColCount(5);
                Grid->SetRowCount(6);
                Grid->SetOptions(Grid->Options() | goEditing);
                Grid->show();
                QApplication::setActiveWindow(Grid->window());
                Grid->setFocus();
            }
            Kind(K);
            Goto(1, 1);
            Grid->SetCells(1, 1, QStringLiteral("12"));
            Grid->ShowEditor();
            QApplication::processEvents();
            QWidget *F = QApplication::focusWidget();
            ASSERT_TRUE(F && F != Grid && Grid->isAncestorOf(F));
            delete Grid;
            Grid = nullptr;
            QApplication::processEvents();
        }
    }
}
