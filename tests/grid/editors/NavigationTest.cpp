// Advance after an edit, the per-cell edit switch, and the grid's own keys.
#include "GridFixture.h"

#include "platform/services/Clipboard.h"

TEST_F(GridTest, AdvanceOnEnterWrapsAndStopsWhereItShould)
{
    // Off (the catalog's grids): Enter closes the editor and the cursor stays.
    Goto(4, 5);
    Type(QStringLiteral("a"));
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Col(), 4);
    EXPECT_EQ(Grid->Row(), 5);
    Grid->AdvanceEdit(4, 5, true, false, false);
    EXPECT_EQ(Grid->Col(), 4);
    Grid->AdvanceEdit(1, 1, true, false, true);
    EXPECT_EQ(Grid->Col(), 2);
    EXPECT_EQ(Grid->Row(), 1);

    // On: Enter in the editor moves on and opens the editor there; the last
    // cell wraps to the first non-fixed one.
    Grid->Navigation()->AdvanceOnEnter = true;
    Goto(4, 5);
    Type(QStringLiteral("b"));
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(4, 5), "b");
    EXPECT_EQ(Grid->Col(), 1);
    EXPECT_EQ(Grid->Row(), 1);
    EXPECT_TRUE(EditorOpen());
    Key(Qt::Key_Escape);

    // With insertion refused by the handler the cursor stays.
    Grid->Navigation()->AdvanceInsert = true;
    bool Asked = false;
    Grid->OnCanAddRow = [&](TObject *, bool &CanAdd) {
        Asked = true;
        CanAdd = false;
    };
    Goto(4, 5);
    Grid->AdvanceEdit(4, 5, true, false, false);
    EXPECT_TRUE(Asked);
    EXPECT_EQ(Grid->Col(), 4);
    EXPECT_EQ(Grid->Row(), 5);
    EXPECT_EQ(Grid->RowCount(), 6);
    // Allowed: one row is added and the cursor goes there.
    int Added = -1;
    Grid->OnCanAddRow = nullptr;
    Grid->OnAutoAddRow = [&](TObject *, int ARow) { Added = ARow; };
    Grid->AdvanceEdit(4, 5, true, false, false);
    EXPECT_EQ(Grid->RowCount(), 7);
    EXPECT_EQ(Added, 6);
    EXPECT_EQ(Grid->Row(), 6);
    EXPECT_EQ(Grid->Col(), 1);
}

TEST_F(GridTest, AdvanceSkipsCellsThatCannotBeEditedAndStopsAfterOnePass)
{
    Grid->Navigation()->AdvanceOnEnter = true;
    Grid->MergeCellBlock(2, 1, 2, 1);
    Grid->OnCanEditCell = [](TObject *, int ARow, int ACol, bool &CanEdit) { CanEdit = !(ARow == 1 && ACol == 4); };
    Goto(1, 1);
    // Past the merged block (its covered cell is no place to stop) and the refused cell.
    Grid->AdvanceEdit(1, 1, true, false, false);
    EXPECT_EQ(Grid->Col(), 2);
    Grid->AdvanceEdit(2, 1, true, false, false);
    EXPECT_EQ(Grid->Col(), 1);
    EXPECT_EQ(Grid->Row(), 2);

    // Backward from the first data cell goes to the last one.
    Goto(1, 1);
    Grid->AdvanceEdit(1, 1, false, false, false);
    EXPECT_EQ(Grid->Col(), 4);
    EXPECT_EQ(Grid->Row(), 5);

    // Nothing editable at all: the walk ends and the cursor stays.
    Grid->OnCanEditCell = [](TObject *, int, int, bool &CanEdit) { CanEdit = false; };
    Goto(3, 3);
    Grid->AdvanceEdit(3, 3, true, false, false);
    EXPECT_EQ(Grid->Col(), 3);
    EXPECT_EQ(Grid->Row(), 3);
}

TEST_F(GridTest, PerCellEditSwitchIsAskedForEveryCell)
{
    // As the product grid: no goEditing; one editable cell opened by the handler.
    Grid->SetOptions(Grid->Options() & ~goEditing);
    int Asked = 0;
    Grid->OnCanEditCell = [&](TObject *, int ARow, int ACol, bool &CanEdit) {
        ++Asked;
        CanEdit = ACol == 1 && ARow == 1;
    };
    Goto(1, 1);
    Goto(2, 2);
    Goto(1, 1);
    Type(QStringLiteral("x"));
    ASSERT_TRUE(EditorOpen());
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), "x");
    Key(Qt::Key_Right);
    EXPECT_EQ(Grid->Col(), 2);
    Type(QStringLiteral("y"));
    EXPECT_FALSE(EditorOpen());
    EXPECT_TRUE(Grid->Cells(2, 1).isEmpty());
    Key(Qt::Key_Down);
    Type(QStringLiteral("z"));
    EXPECT_FALSE(EditorOpen());
    EXPECT_TRUE(Grid->Cells(2, 2).isEmpty());
    EXPECT_GT(Asked, 3);
}

TEST_F(GridTest, KeyNavigationOverMergedBlocksAndTabs)
{
    Grid->MergeCellBlock(2, 2, 2, 2);
    Goto(1, 2);
    Key(Qt::Key_Right);
    EXPECT_EQ(Grid->Col(), 2);
    Key(Qt::Key_Right);
    EXPECT_EQ(Grid->Col(), 4);
    Key(Qt::Key_Left);
    EXPECT_EQ(Grid->Col(), 3 - 1);
    Goto(2, 1);
    Key(Qt::Key_Down);
    EXPECT_EQ(Grid->Row(), 2);
    Key(Qt::Key_Down);
    EXPECT_EQ(Grid->Row(), 4);

    // Backward tabbing walks the previous row from its end.
    Grid->SetOptions(Grid->Options() | goTabs);
    Goto(1, 3);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Grid->Col(), 4);
    EXPECT_EQ(Grid->Row(), 2);
    Goto(1, 1);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Grid->Col(), 4);
    EXPECT_EQ(Grid->Row(), 5);
    Grid->Navigation()->TabAdvanceDirection = adTopBottom;
    Goto(2, 1);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Grid->Col(), 1);
    EXPECT_EQ(Grid->Row(), 5);
}

TEST_F(GridTest, HomeEndInsertDeleteAndSelectAllKeys)
{
    Grid->Navigation()->HomeEndKey = heFirstLastRow;
    Grid->SetFixedFooters(1);
    Goto(2, 3);
    Key(Qt::Key_End);
    EXPECT_EQ(Grid->Row(), 4);
    Key(Qt::Key_Home);
    EXPECT_EQ(Grid->Row(), 1);
    EXPECT_EQ(Grid->Col(), 2);

    // Insert and Delete do nothing unless switched on (the product grid's
    // six-row blocks are never broken by a single row from the keyboard).
    Key(Qt::Key_Insert);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Grid->RowCount(), 6);
    Grid->Navigation()->AllowInsertRow = true;
    Grid->Navigation()->AllowDeleteRow = true;
    int AskedRow = -1;
    Grid->OnCanInsertRow = [&](TObject *, int ARow, bool &) { AskedRow = ARow; };
    Grid->SetCells(1, 1, QStringLiteral("first"));
    Key(Qt::Key_Insert);
    EXPECT_EQ(AskedRow, 1);
    EXPECT_EQ(Grid->RowCount(), 7);
    EXPECT_EQ(Grid->Cells(1, 2), "first");
    Grid->OnCanDeleteRow = [](TObject *, int, bool &CanDelete) { CanDelete = false; };
    Key(Qt::Key_Delete);
    EXPECT_EQ(Grid->RowCount(), 7);
    EXPECT_EQ(Grid->Cells(1, 2), "first");
    Grid->OnCanDeleteRow = nullptr;
    Key(Qt::Key_Delete);
    EXPECT_EQ(Grid->RowCount(), 6);
    EXPECT_EQ(Grid->Cells(1, 1), "first");

    Grid->SetOptions(Grid->Options() | goRowSelect | goRangeSelect);
    Key(Qt::Key_A, Qt::ControlModifier);
    const TGridRect S = Grid->Selection();
    EXPECT_EQ(S.Left, 1);
    EXPECT_EQ(S.Top, 1);
    EXPECT_EQ(S.Right, 4);
    EXPECT_EQ(S.Bottom, 4);
}

TEST_F(GridTest, ClipboardShortCutsOnlyWhenAllowed)
{
    Grid->SetCells(1, 1, QStringLiteral("a"));
    Grid->SetCells(2, 1, QStringLiteral("b"));
    Grid->SetSelection(TGridRect{1, 1, 2, 1});
    SetClipboardText(QStringLiteral("before"));
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardText(), "before");

    Grid->Navigation()->AllowClipboardShortCuts = true;
    int Copies = 0;
    Grid->OnClipboardCopy = [&](TObject *, bool &Allow) { Allow = ++Copies > 1; };
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardText(), "before");
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardText(), "a\tb");
    Goto(3, 4);
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Grid->Cells(3, 4), "a");
    EXPECT_EQ(Grid->Cells(4, 4), "b");
}

TEST_F(GridTest, CheckBoxCellsToggleWithSpaceAndEnterAdvances)
{
    auto *G = new TCellGraphic;
    G->CellType = ctCheckBox;
    Grid->SetCellGraphic(2, 2, G);
    std::vector<std::tuple<int, int, bool>> Clicks;
    Grid->OnCheckBoxClick = [&](TObject *, int ACol, int ARow, bool State) { Clicks.emplace_back(ACol, ARow, State); };
    Goto(2, 2);
    Key(Qt::Key_Space);
    ASSERT_EQ(Clicks.size(), 1u);
    EXPECT_EQ(Clicks[0], std::make_tuple(2, 2, true));
    Key(Qt::Key_F2);
    EXPECT_FALSE(EditorOpen());
    // Enter on it goes through the advance even with the grid focused.
    Grid->Navigation()->AdvanceOnEnter = true;
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Col(), 3);
    EXPECT_EQ(Grid->Row(), 2);
}
