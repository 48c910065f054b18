// Presses on check boxes, radio items and anchors hit what the painting drew,
// wherever the cell's alignment and graphic placement put it.
#include "GridFixture.h"

namespace {

QPoint Centre(const TRect &R) { return QPoint((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2); }

} // namespace

TEST_F(GridTest, CheckBoxTogglesOnlyOnItsBoxWhereverItIsDrawn)
{
    Grid->SetColWidths(2, 150);
    auto *G = new TCellGraphic;
    G->CellType = ctCheckBox;
    Grid->SetCellGraphic(2, 3, G);
    Grid->SetCells(2, 3, QStringLiteral("agree"));
    Grid->OnGetAlignment = [](TObject *, int ARow, int ACol, TAlignment &H, TVAlignment &) {
        if (ACol == 2 && ARow == 3)
            H = taRightJustify;
    };
    int Toggles = 0;
    Grid->OnCheckBoxClick = [&](TObject *, int, int, bool) { ++Toggles; };
    Grid->viewport()->repaint();

    // Right-aligned text pushes the box left of the text, away from the cell's left edge.
    const TRect Cell = Grid->GetCellRect(2, 3);
    const TRect Box = Grid->CheckBoxRect(2, 3);
    ASSERT_FALSE(Box.IsEmpty());
    EXPECT_EQ(Box.Width(), Grid->ControlLook()->CheckSize());
    EXPECT_GT(Box.Left, Cell.Left + 40);
    EXPECT_LE(Box.Right, Cell.Right);

    // The painted box is there: its frame differs from the cell's background.
    const QImage Shot = Grid->viewport()->grab().toImage();
    const QRgb Background = Shot.pixel(Cell.Left + 3, Cell.Bottom - 3);
    bool Drawn = false;
    for (int X = Box.Left; X < Box.Right && !Drawn; ++X)
        Drawn = Shot.pixel(X, Box.Top + 1) != Background;
    EXPECT_TRUE(Drawn);

    // A press in the cell but off the box selects the cell and nothing more.
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(Cell.Left + 4, Cell.Top + 4));
    EXPECT_EQ(Toggles, 0);
    EXPECT_EQ(Grid->Col(), 2);
    EXPECT_EQ(Grid->Row(), 3);
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, Centre(Box));
    EXPECT_EQ(Toggles, 1);
    bool State = false;
    Grid->GetCheckState(2, 3, State);
    EXPECT_TRUE(State);

    // The space key still toggles the box of the current cell.
    Key(Qt::Key_Space);
    EXPECT_EQ(Toggles, 2);
}

TEST_F(GridTest, RadioItemsAreHitWhereTheirButtonsAndCaptionsStand)
{
    Grid->SetColWidths(3, 200);
    auto *G = new TCellGraphic;
    G->CellType = ctRadio;
    G->CellIndex = 0;
    G->CellBoolean = true;   // side by side
    auto *Items = new TStringList;
    Items->Add(QStringLiteral("small"));
    Items->Add(QStringLiteral("large"));
    G->SetGraphicObject(Items);
    G->CellCreated = true;
    Grid->SetCellGraphic(3, 2, G);
    std::vector<int> Picked;
    Grid->OnRadioClick = [&](TObject *, int, int, int AIdx) { Picked.push_back(AIdx); };
    Grid->viewport()->repaint();

    const TRect First = Grid->RadioItemRect(3, 2, 0), Second = Grid->RadioItemRect(3, 2, 1);
    ASSERT_FALSE(First.IsEmpty());
    ASSERT_FALSE(Second.IsEmpty());
    EXPECT_GE(Second.Left, First.Right - 2);
    EXPECT_TRUE(Grid->RadioItemRect(3, 2, 2).IsEmpty());

    // The caption of the second item picks it; the empty space after the group picks nothing.
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(Second.Right - 2, Centre(Second).y()));
    ASSERT_EQ(Picked.size(), 1u);
    EXPECT_EQ(Picked[0], 1);
    EXPECT_EQ(Grid->Cells(3, 2), "large");
    const TRect Cell = Grid->GetCellRect(3, 2);
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(Cell.Right - 4, Centre(Second).y()));
    EXPECT_EQ(Picked.size(), 1u);
}

TEST_F(GridTest, AnchorsFollowTheCellAlignment)
{
    Grid->SetColWidths(1, 220);
    Grid->SetCells(1, 4, QStringLiteral("<a href=\"http://x.org\">here</a>"));
    Grid->OnGetAlignment = [](TObject *, int ARow, int ACol, TAlignment &H, TVAlignment &) {
        if (ACol == 1 && ARow == 4)
            H = taRightJustify;
    };
    Grid->viewport()->repaint();
    const TRect Cell = Grid->GetCellRect(1, 4);
    const int Y = Cell.Top + 5;
    EXPECT_TRUE(Grid->AnchorAt(1, 4, Cell.Left + 8, Y).isEmpty());
    EXPECT_EQ(Grid->AnchorAt(1, 4, Cell.Right - 8, Y), "http://x.org");
}
