// Leave keys of the editors, Tab with goTabs, combo lookup, accelerators,
// disjunct selection, scrolling and the stretch column.
#include "GridFixture.h"

#include <QLineEdit>
#include <QShortcut>

TEST_F(GridTest, TabInAnEditorCommitsAndMovesOnWithGoTabs)
{
    Grid->SetOptions(Grid->Options() | goTabs);
    Goto(1, 1);
    Type(QStringLiteral("a"));
    Key(Qt::Key_Tab);
    EXPECT_EQ(Grid->Cells(1, 1), "a");
    EXPECT_EQ(Grid->Col(), 2);
    EXPECT_FALSE(EditorOpen());

    Kind(edEditBtn);
    Key(Qt::Key_F2);
    ASSERT_TRUE(Grid->GridEditBtn()->isVisible());
    Type(QStringLiteral("b"));
    Key(Qt::Key_Tab);
    EXPECT_FALSE(Grid->GridEditBtn()->isVisible());
    EXPECT_EQ(Grid->Cells(2, 1), "b");
    EXPECT_EQ(Grid->Col(), 3);
    Key(Qt::Key_F2);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Grid->Col(), 2);
    EXPECT_EQ(Grid->Cells(3, 1), "");
}

TEST_F(GridTest, GridEditorLeaveKeysGoOnToTheGrid)
{
    Kind(edEditBtn);
    Grid->SetCells(2, 2, QStringLiteral("start"));
    Goto(2, 2);
    Key(Qt::Key_F2);
    Type(QStringLiteral("x"));
    Key(Qt::Key_Down);
    EXPECT_EQ(Grid->Cells(2, 2), "x");
    EXPECT_EQ(Grid->Row(), 3);
    EXPECT_EQ(QApplication::focusWidget(), Grid);
    Goto(2, 2);
    Key(Qt::Key_F2);
    Type(QStringLiteral("y"));
    Key(Qt::Key_Escape);
    EXPECT_EQ(Grid->Cells(2, 2), "x");
    EXPECT_EQ(Grid->Row(), 2);

    // The check box editor: Enter hides it and advances.
    Kind(edCheckBox);
    Grid->Navigation()->AdvanceOnEnter = true;
    Goto(1, 3);
    Key(Qt::Key_F2);
    ASSERT_TRUE(Grid->GridCheckBox()->isVisible());
    Key(Qt::Key_Space);
    EXPECT_EQ(Grid->Cells(1, 3), Grid->CheckTrue);
    Key(Qt::Key_Return);
    EXPECT_FALSE(Grid->GridCheckBox()->isVisible());
    EXPECT_EQ(Grid->Col(), 2);

    // The date picker: Esc restores the date read from the cell.
    Kind(edDateEdit);
    Grid->SetCells(3, 4, QStringLiteral("2024-2-29"));
    Goto(3, 4);
    Key(Qt::Key_F2);
    TGridDatePicker *P = Grid->GridDatePicker();
    ASSERT_TRUE(P->isVisible());
    EXPECT_EQ(DateToStr(P->Date()), "2024-2-29");
    P->SetDate(EncodeDate(2025, 1, 2));
    Key(Qt::Key_Escape);
    EXPECT_FALSE(P->isVisible());
    EXPECT_EQ(Grid->Cells(3, 4), "2024-2-29");
    Key(Qt::Key_F2);
    P->SetDate(EncodeDate(2025, 1, 2));
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(3, 4), "2025-1-2");
}

TEST_F(GridTest, ComboCompletesTheTypedPrefixAndReportsChanges)
{
    Kind(edComboEdit);
    Grid->Lookup = true;
    TGridCombo *Cb = Grid->InplaceCombo();
    Cb->addItems({QStringLiteral("Apple"), QStringLiteral("Banana"), QStringLiteral("Blueberry")});
    std::vector<std::pair<int, QString>> Changes;
    Grid->OnComboChange = [&](TObject *, int ACol, int ARow, int AItemIndex, const QString &ASelection) {
        EXPECT_EQ(ACol, 1);
        EXPECT_EQ(ARow, 1);
        Changes.emplace_back(AItemIndex, ASelection);
    };
    Goto(1, 1);
    Type(QStringLiteral("bl"));
    ASSERT_TRUE(Cb->isVisible());
    EXPECT_EQ(Cb->lineEdit()->text(), "blueberry");
    EXPECT_EQ(Cb->lineEdit()->selectedText(), "ueberry");
    EXPECT_EQ(Cb->currentIndex(), 2);
    EXPECT_FALSE(Changes.empty());
    Key(Qt::Key_Return);
    EXPECT_FALSE(Cb->isVisible());
    EXPECT_EQ(Grid->Cells(1, 1), "blueberry");

    // The drop-down width fits the widest item.
    Cb->addItem(QStringLiteral("a very very long item that is wider than the cell"));
    Grid->Navigation()->AutoComboDropSize = true;
    Goto(2, 1);
    Key(Qt::Key_F2);
    EXPECT_GT(Cb->DropWidth(), Cb->width());
    Grid->HideCellEditor();
}

TEST_F(GridTest, KeysTypedInTheGridFireNoAcceleratorOfTheForm)
{
    int Fired = 0;
    auto *Shortcut = new QShortcut(QKeySequence(Qt::Key_B), Form.get());
    QObject::connect(Shortcut, &QShortcut::activated, [&]() { ++Fired; });
    Goto(1, 1);
    QTest::keyClick(Grid, Qt::Key_B);
    EXPECT_EQ(Fired, 0);
    EXPECT_TRUE(EditorOpen());
}

TEST_F(GridTest, DisjunctRowSelectionByClicksAndKeys)
{
    Grid->MouseActions()->DisjunctRowSelect = true;
    Click(1, 1);
    Click(1, 3, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_TRUE(Grid->RowSelect(1));
    EXPECT_TRUE(Grid->RowSelect(3));
    EXPECT_FALSE(Grid->RowSelect(2));
    Click(1, 4);
    EXPECT_FALSE(Grid->RowSelect(1));
    EXPECT_TRUE(Grid->RowSelect(4));
    Key(Qt::Key_Space);
    EXPECT_FALSE(Grid->RowSelect(4));
    Key(Qt::Key_Space);
    Key(Qt::Key_Down);
    EXPECT_FALSE(Grid->RowSelect(4));
}

TEST_F(GridTest, ScrollingEndsAGridEditAndTheStretchColumnFillsTheWidth)
{
    Kind(edEditBtn);
    Goto(1, 1);
    Key(Qt::Key_F2);
    Grid->GridEditBtn()->setText(QStringLiteral("kept"));
    Grid->SetRowCount(60);
    Grid->SetTopRow(10);
    EXPECT_FALSE(Grid->GridEditBtn()->isVisible());
    EXPECT_EQ(Grid->Cells(1, 1), "kept");

    Grid->ColumnSize()->SetStretch(true);
    Grid->resize(500, 300);
    QApplication::processEvents();
    int Total = 0;
    for (int C = 0; C < Grid->ColCount(); ++C)
        Total += Grid->ColWidths(C);
    // The stretched column ends one pixel short of the client width.
    EXPECT_EQ(Total, Grid->ClientWidth() - 1);
}

TEST_F(GridTest, SpinButtonsFireTheSpinEventByDirection)
{
    Kind(edSpinEdit);
    Grid->SetCells(1, 1, QStringLiteral("5"));
    std::vector<std::pair<int, bool>> Spins;
    Grid->OnSpinClick = [&](TObject *, int, int, int AValue, bool UpDown) { Spins.emplace_back(AValue, UpDown); };
    Goto(1, 1);
    Key(Qt::Key_F2);
    TGridSpin *S = Grid->GridSpin();
    ASSERT_TRUE(S->isVisible());
    QTest::mouseClick(S->UpButton(), Qt::LeftButton);
    QTest::mouseClick(S->DownButton(), Qt::LeftButton);
    QTest::mouseClick(S->DownButton(), Qt::LeftButton);
    ASSERT_EQ(Spins.size(), 3u);
    EXPECT_EQ(Spins[0], std::make_pair(6, true));
    EXPECT_EQ(Spins[2], std::make_pair(4, false));
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), "4");
}

TEST_F(GridTest, EscInAGridEditorNeverWritesTheCell)
{
    Kind(edUnitEditBtn);
    Grid->SetCells(1, 1, QStringLiteral("12.5 kg"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    Grid->GridUnitEditBtn()->setText(QStringLiteral("99"));
    Key(Qt::Key_Escape);
    EXPECT_EQ(Grid->Cells(1, 1), "12.5 kg");

    Kind(edComboList);
    Grid->InplaceCombo()->addItems({QStringLiteral("one"), QStringLiteral("two")});
    Grid->SetCells(2, 1, QStringLiteral("other"));
    Goto(2, 1);
    Key(Qt::Key_F2);
    Grid->InplaceCombo()->setCurrentIndex(1);
    Key(Qt::Key_Escape);
    EXPECT_EQ(Grid->Cells(2, 1), "other");
    EXPECT_EQ(QApplication::focusWidget(), Grid);
}

TEST_F(GridTest, EditableComboLeavesOnEndAndUpWhileItsListIsClosed)
{
    Kind(edComboEdit);
    Grid->InplaceCombo()->addItems({QStringLiteral("one"), QStringLiteral("two")});
    Goto(2, 3);
    Type(QStringLiteral("x"));
    ASSERT_TRUE(Grid->InplaceCombo()->isVisible());
    Key(Qt::Key_Up);
    EXPECT_FALSE(Grid->InplaceCombo()->isVisible());
    EXPECT_EQ(Grid->Cells(2, 3), "x");
    EXPECT_EQ(Grid->Row(), 2);
    Goto(2, 3);
    Type(QStringLiteral("y"));
    Key(Qt::Key_End);
    EXPECT_FALSE(Grid->InplaceCombo()->isVisible());
    EXPECT_EQ(Grid->Cells(2, 3), "y");
}
