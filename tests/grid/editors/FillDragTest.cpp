// The range resizer's fill drag, with real mouse events on the viewport: the
// cursor over the handle, the copy on the press, the range growing down or
// right while dragging, the smart fill on the release, and the ways a drag is
// taken back.
#include "GridFixture.h"

#include "platform/services/Clipboard.h"

#include <ostream>

static void PrintTo(const QString &S, std::ostream *Out)
{
    *Out << '"' << S.toStdString() << '"';
}

static void PrintTo(const TGridRect &R, std::ostream *Out)
{
    *Out << '(' << R.Left << ',' << R.Top << ")-(" << R.Right << ',' << R.Bottom << ')';
}

namespace {

class FillDragTest : public GridTest {
protected:
    void SetUp() override
    {
        GridTest::SetUp();
        Grid->SetRowCount(10);
        Grid->SetSelectionRectangle(true);
        Grid->SetSelectionResizer(true);
        Grid->Navigation()->AllowSmartClipboard = true;
    }
    void Select(int Left, int Top, int Right, int Bottom) { Grid->SetSelection(TGridRect{Left, Top, Right, Bottom}); }
    QPoint Handle() const
    {
        const TRect H = Grid->ResizerRect();
        return QPoint(H.Left + 1, H.Top + 1);
    }
    void Press() { QTest::mousePress(Grid->viewport(), Qt::LeftButton, {}, Handle()); }
    void MoveHeld(QPoint To)
    {
        QMouseEvent Move(QEvent::MouseMove, QPointF(To), Grid->viewport()->mapToGlobal(QPointF(To)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Grid->viewport(), &Move);
    }
    void Release(QPoint At) { QTest::mouseRelease(Grid->viewport(), Qt::LeftButton, {}, At); }
    void Drag(QPoint To)
    {
        Press();
        MoveHeld(To);
        Release(To);
    }
    void Put(int ACol, int ARow, const QString &Text) { Grid->SetCellText(ACol, ARow, Text); }
    QString Cells(int Col1, int Row1, int Col2, int Row2) const
    {
        QStringList L;
        for (int R = Row1; R <= Row2; ++R)
            for (int C = Col1; C <= Col2; ++C)
                L << Grid->GetCellText(C, R);
        return L.join(QLatin1Char(' '));
    }
};

TEST_F(FillDragTest, HandleCursorPressCopiesDragGrowsReleaseFillsSeriesDatesAndRepeats)
{
    Put(1, 1, QStringLiteral("1"));
    Put(1, 2, QStringLiteral("2"));
    Select(1, 1, 1, 2);

    // The cursor tells the handle from the rest of the cell.
    QTest::mouseMove(Grid->viewport(), CellPoint(1, 2));
    EXPECT_EQ(Grid->CursorKind(), 0);
    QTest::mouseMove(Grid->viewport(), Handle());
    EXPECT_EQ(Grid->CursorKind(), 5);
    EXPECT_EQ(Grid->viewport()->cursor().shape(), Qt::BitmapCursor);

    // The press copies the range and changes neither it nor the current cell.
    SetClipboardText(QStringLiteral("old"));
    Press();
    EXPECT_TRUE(Grid->FillDragging());
    EXPECT_EQ(ClipboardText(), QStringLiteral("1\r\n2\r\n"));
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 1, 2}));
    EXPECT_EQ(Grid->Col(), 1);
    EXPECT_EQ(Grid->Row(), 2);

    // The range follows the pointer down; three rows down gives 1 2 3 4 5.
    MoveHeld(CellPoint(1, 4));
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 1, 4}));
    MoveHeld(CellPoint(1, 5));
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 1, 5}));
    Release(CellPoint(1, 5));
    EXPECT_FALSE(Grid->FillDragging());
    EXPECT_EQ(Cells(1, 1, 1, 6), QStringLiteral("1 2 3 4 5 "));
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 1, 5}));

    // Dates step by their difference; a drag further right than down fills the row.
    Put(2, 1, QStringLiteral("2024-1-15"));
    Put(3, 1, QStringLiteral("2024-2-15"));
    Put(2, 2, QStringLiteral("x"));
    Select(2, 1, 3, 1);
    Drag(CellPoint(4, 1));
    EXPECT_EQ(Cells(2, 1, 4, 2), QStringLiteral("2024-1-15 2024-2-15 2024-3-15 x  "));

    // Text repeats, with the current cell kept when it is a corner of the new range.
    Put(1, 7, QStringLiteral("甲"));
    Put(1, 8, QStringLiteral("乙"));
    Grid->SetCol(1);
    Grid->SetRow(7);
    Grid->SetAnchor(1, 8);
    Drag(CellPoint(1, 9));
    EXPECT_EQ(Cells(1, 7, 1, 9), QStringLiteral("甲 乙 甲"));
    EXPECT_EQ(Grid->Row(), 7);
}

TEST_F(FillDragTest, UpLeftEscapeAndAReleaseOutsideTheGridChangeNothing)
{
    Put(2, 3, QStringLiteral("5"));
    Put(2, 4, QStringLiteral("6"));
    Put(2, 5, QStringLiteral("kept"));
    Put(3, 5, QStringLiteral("kept"));
    const QString Before = Cells(1, 1, 4, 9);
    auto Unchanged = [&](const char *What) {
        EXPECT_FALSE(Grid->FillDragging()) << What;
        EXPECT_EQ(Grid->Selection(), (TGridRect{2, 3, 2, 4})) << What;
        EXPECT_EQ(Cells(1, 1, 4, 9), Before) << What;
    };

    Select(2, 3, 2, 4);
    Drag(CellPoint(2, 1));
    Unchanged("up");
    Drag(CellPoint(1, 4));
    Unchanged("left");
    Drag(CellPoint(1, 1));
    Unchanged("up and left");

    // Escape while the button is down takes the grown range back; the
    // release that follows does nothing more.
    Press();
    MoveHeld(CellPoint(3, 8));
    EXPECT_EQ(Grid->Selection(), (TGridRect{2, 3, 2, 8}));
    QTest::keyClick(Grid, Qt::Key_Escape);
    Release(CellPoint(3, 8));
    Unchanged("escape");

    // Released outside the grid.
    Press();
    MoveHeld(CellPoint(2, 7));
    Release(QPoint(Grid->viewport()->width() + 20, 30));
    Unchanged("outside");
}

TEST_F(FillDragTest, TheDraggedCellsKeepWhatTheyHoldWhenTheyShowSomethingElse)
{
    // Without the grid's own format the block travels as the text the cells
    // show: markup without its tags here. Only the new cells get that text.
    Grid->Navigation()->CopyHTMLTagsToClipboard = false;
    Put(1, 1, QStringLiteral("<b>1</b>"));
    Put(1, 2, QStringLiteral("<b>2</b>"));
    Select(1, 1, 1, 2);
    Drag(CellPoint(1, 4));
    EXPECT_EQ(Cells(1, 1, 1, 4), QStringLiteral("<b>1</b> <b>2</b> 3 4"));
}

} // namespace
