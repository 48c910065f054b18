// Editing and merge faults seen through real keys and clicks: the first edit
// of a grid, kinds without an editor, removing rows of merged blocks, the
// float spin editor's stored value, cutting and the editor over a block.
#include "GridFixture.h"

#include "platform/services/Clipboard.h"

#include <QLineEdit>

TEST_F(GridTest, TheFirstEditOfAGridTakesItsKindsSettings)
{
    // A fresh grid: its text editor does not exist before this edit.
    ASSERT_EQ(Editor(), nullptr);
    Kind(edPassword);
    Grid->SetMaxEditLength(4);
    Goto(1, 1);
    Type(QStringLiteral("secret"));
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Editor()->text(), "secr");
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), "secr");

    // The next edit of another kind shows its text again.
    Kind(edNormal);
    Goto(2, 1);
    Type(QStringLiteral("ab"));
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->echoMode(), QLineEdit::Normal);
}

TEST_F(GridTest, KindsWithoutAnEditorLeaveTheNextCellEditable)
{
    for (TEditorType K : {edDataCheckBox, edCustom}) {
        SCOPED_TRACE(int(K));
        Grid->OnGetEditorType = [K](TObject *, int ACol, int, TEditorType &E) {
            if (ACol == 1)
                E = K;
        };
        Grid->SetCells(1, 1, QStringLiteral("keep"));
        Goto(1, 1);
        Type(QStringLiteral("x"));
        EXPECT_FALSE(EditorOpen());
        EXPECT_FALSE(Grid->EditorActive);
        EXPECT_EQ(Grid->Cells(1, 1), "keep");
        // A key on another cell opens its editor without any mouse press.
        Key(Qt::Key_Right);
        Type(QStringLiteral("y"));
        ASSERT_TRUE(EditorOpen());
        Key(Qt::Key_Return);
        EXPECT_EQ(Grid->Cells(2, 1), "y");
        Key(Qt::Key_Left);
    }
}

TEST_F(GridTest, RemovingTheBaseRowOfABlockMovesItsBaseDown)
{
    Grid->SetRowCount(8);
    Grid->SetCells(1, 1, QStringLiteral("above"));
    Grid->SetCells(1, 2, QStringLiteral("block"));
    Grid->MergeCellBlock(1, 2, 2, 3);   // columns 1-2, rows 2-4
    Grid->SetCells(1, 6, QStringLiteral("below"));
    Grid->Navigation()->AllowDeleteRow = true;
    Goto(3, 2);
    Key(Qt::Key_Delete);
    ASSERT_EQ(Grid->RowCount(), 7);

    // Rows 2-3 are what is left of the block, based on row 2 with its text.
    EXPECT_EQ(Grid->BaseCell(2, 3).X, 1);
    EXPECT_EQ(Grid->BaseCell(2, 3).Y, 2);
    EXPECT_EQ(Grid->CellSpan(1, 2).X, 1);
    EXPECT_EQ(Grid->CellSpan(1, 2).Y, 1);
    EXPECT_EQ(Grid->Cells(2, 3), "block");
    EXPECT_EQ(Grid->Cells(1, 1), "above");
    EXPECT_EQ(Grid->Cells(1, 5), "below");
    // A write through the block reaches its base, never the row above.
    Grid->SetCells(2, 3, QStringLiteral("new"));
    EXPECT_EQ(Grid->PlainCells(1, 2), "new");
    EXPECT_EQ(Grid->Cells(1, 1), "above");

    // Removing the base row of a two-row block leaves one row of it; a single
    // cell left over is unmerged; removing a middle row shortens a block.
    Goto(3, 2);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Grid->CellSpan(2, 2).X, 1);
    EXPECT_EQ(Grid->CellSpan(2, 2).Y, 0);
    EXPECT_EQ(Grid->Cells(2, 2), "new");
    Grid->MergeCellBlock(3, 3, 1, 2);
    Grid->SetCells(3, 3, QStringLiteral("pair"));
    Goto(1, 3);
    Key(Qt::Key_Delete);
    EXPECT_FALSE(Grid->IsMergedCell(3, 3));
    EXPECT_EQ(Grid->Cells(3, 3), "pair");
    Goto(3, 2);
    Grid->SetCells(3, 2, QString());
    EXPECT_EQ(Grid->Cells(1, 1), "above");
    Grid->MergeCellBlock(4, 1, 1, 3);
    Grid->SetCells(4, 1, QStringLiteral("tall"));
    Goto(3, 2);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Grid->CellSpan(4, 2).Y, 1);
    EXPECT_EQ(Grid->Cells(4, 2), "tall");
    EXPECT_EQ(Grid->Cells(4, 3), "");

    // Merge data left pointing outside its block is not followed.
    Grid->SetRowCount(8);
    Grid->MergeCellBlock(2, 4, 1, 2);
    Grid->SetCells(2, 4, QStringLiteral("mine"));
    Grid->GetCellProperties(2, 4)->CellSpanY = 0;
    EXPECT_EQ(Grid->Cells(2, 5), "");
    Grid->SetCells(2, 5, QStringLiteral("other"));
    EXPECT_EQ(Grid->Cells(2, 4), "mine");
    Grid->RenderToImage();
}

TEST_F(GridTest, FloatSpinStoresItsFormattedValueOnEnter)
{
    Kind(edFloatSpinEdit);
    Goto(1, 1);
    Type(QStringLiteral("3"));
    ASSERT_TRUE(Grid->GridSpin()->isVisible());
    Key(Qt::Key_Return);
    EXPECT_FALSE(Grid->GridSpin()->isVisible());
    EXPECT_EQ(Grid->Cells(1, 1), "3.00");
    Goto(2, 1);
    Type(QStringLiteral("2.5"));
    Key(Qt::Key_Down);
    EXPECT_EQ(Grid->Cells(2, 1), "2.50");
}

TEST_F(GridTest, CutEmptiesOnlyTheCellsThatMayBeEdited)
{
    Grid->Navigation()->AllowClipboardShortCuts = true;
    Grid->OnCanEditCell = [](TObject *, int, int ACol, bool &CanEdit) { CanEdit = ACol != 2; };
    for (int C = 1; C <= 3; ++C)
        Grid->SetCells(C, 1, QStringLiteral("v%1").arg(C));
    Goto(1, 1);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_Right, Qt::ShiftModifier);
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(ClipboardText(), "v1\tv2\tv3");
    EXPECT_EQ(Grid->Cells(1, 1), "");
    EXPECT_EQ(Grid->Cells(2, 1), "v2");
    EXPECT_EQ(Grid->Cells(3, 1), "");
}

TEST_F(GridTest, TheTextEditorOfABlockCoversTheBlock)
{
    Grid->SetCells(1, 1, QStringLiteral("wide"));
    Grid->MergeCellBlock(1, 1, 2, 2);
    Click(2, 2);
    Type(QStringLiteral("n"));
    ASSERT_TRUE(EditorOpen());
    const TRect R = Grid->GetCellRect(1, 1);
    EXPECT_EQ(Editor()->geometry(), QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top));
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(2, 2), "n");
}
