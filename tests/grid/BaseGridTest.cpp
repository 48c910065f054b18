#include "grid/BaseGrid.h"
#include "grid/CellGraphic.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMetaObject>

namespace {

// A shown base grid of 5 x 8 cells, 64 x 24 pixels each, one fixed row and column.
struct ShownGrid {
    TBaseGrid Grid;
    ShownGrid()
    {
        Grid.setFrameShape(QFrame::NoFrame);
        Grid.SetRowCount(8);
        Grid.resize(400, 300);
        Grid.show();
        QApplication::processEvents();
    }
};

TEST(CellProperties, MadeOnFirstRequestWithTheirStartingValues)
{
    TBaseGrid G;
    G.SetCellText(2, 2, QStringLiteral("x"));
    EXPECT_EQ(G.GetCellText(2, 2), QStringLiteral("x"));
    EXPECT_FALSE(G.HasCellProperties(2, 2));   // text access never creates one
    EXPECT_EQ(G.GetCellGraphic(2, 2), nullptr);
    EXPECT_FALSE(G.HasCellProperties(2, 2));

    TCellProperties *P = G.GetCellProperties(2, 3);
    ASSERT_NE(P, nullptr);
    EXPECT_TRUE(G.HasCellProperties(2, 3));
    EXPECT_EQ(G.GetCellProperties(2, 3), P);
    EXPECT_EQ(P->OwnerGrid(), &G);
    EXPECT_EQ(P->OwnerCol, 2);
    EXPECT_EQ(P->OwnerRow, 3);
    EXPECT_TRUE(P->IsBaseCell);
    EXPECT_EQ(P->CellSpanX, -1);
    EXPECT_EQ(P->CellSpanY, -1);
    EXPECT_EQ(P->BrushColor(), clNone);
    EXPECT_EQ(P->FontColor, clNone);
    EXPECT_EQ(P->BrushStyle, bsSolid);
    EXPECT_EQ(P->Alignment, taLeftJustify);
    EXPECT_EQ(P->VAlignment(), vtaTop);
    EXPECT_EQ(P->Editor, edNormal);
    EXPECT_EQ(P->FontSize, 0);
    EXPECT_FALSE(P->FontStyle);
    EXPECT_TRUE(P->FontName.isEmpty());
    EXPECT_EQ(P->FooterCalc, fcNone);
    EXPECT_EQ(P->PaintStamp, 0);
    EXPECT_FALSE(P->WordWrap());
    EXPECT_FALSE(P->ReadOnly);
    EXPECT_EQ(P->CellObject, nullptr);
    EXPECT_EQ(P->CellGraphic(), nullptr);
}

TEST(CellProperties, AssignLeavesObjectGraphicFooterAndStampAlone)
{
    TBaseGrid G;
    TCellProperties *A = G.GetCellProperties(1, 1);
    TCellProperties *B = G.GetCellProperties(2, 2);
    TObject Marker;
    A->CellSpanX = 2;
    A->FontName = QStringLiteral("Arial");
    A->SetBrushColor(clRed);
    A->SetWordWrap(true);
    A->Editor = edEditBtn;
    A->CellObject = &Marker;
    A->FooterCalc = fcSum;
    A->PaintStamp = 7;
    A->SetCellGraphic(new TCellGraphic);
    B->Assign(*A);
    EXPECT_EQ(B->CellSpanX, 2);
    EXPECT_EQ(B->FontName, QStringLiteral("Arial"));
    EXPECT_EQ(B->BrushColor(), clRed);
    EXPECT_TRUE(B->WordWrap());
    EXPECT_EQ(B->Editor, edEditBtn);
    EXPECT_EQ(B->OwnerCol, 1);   // the owner cell is copied too
    EXPECT_EQ(B->CellObject, nullptr);
    EXPECT_EQ(B->CellGraphic(), nullptr);
    EXPECT_EQ(B->FooterCalc, fcNone);
    EXPECT_EQ(B->PaintStamp, 0);
}

TEST(CellProperties, SetFreeAndGraphicOnAnEmptyCell)
{
    TBaseGrid G;
    auto *Graphic = new TCellGraphic;
    G.SetCellGraphic(3, 3, Graphic);
    EXPECT_TRUE(G.HasCellProperties(3, 3));
    EXPECT_EQ(G.GetCellGraphic(3, 3), Graphic);
    EXPECT_TRUE(G.GetCellText(3, 3).isEmpty());   // the blank used while storing is gone again

    G.SetCellProperties(3, 3, new TCellProperties(&G, 3, 3));
    EXPECT_EQ(G.GetCellGraphic(3, 3), nullptr);
    G.GetCellProperties(1, 1);
    G.GetCellProperties(4, 4);
    G.FreeCellProperties(0, 0, 3, 3);
    EXPECT_FALSE(G.HasCellProperties(1, 1));
    EXPECT_FALSE(G.HasCellProperties(3, 3));
    EXPECT_TRUE(G.HasCellProperties(4, 4));
    // Out-of-grid cells get nothing and hold nothing.
    EXPECT_EQ(G.GetCellProperties(40, 1), nullptr);
}

TEST(Merges, BlockEncodingQueriesAndText)
{
    TBaseGrid G;
    G.MergeCellBlock(1, 1, 2, 3);
    const TCellProperties *Base = G.GetCellProperties(1, 1);
    EXPECT_TRUE(Base->IsBaseCell);
    EXPECT_EQ(Base->CellSpanX, 1);
    EXPECT_EQ(Base->CellSpanY, 2);
    const TCellProperties *Covered = G.GetCellProperties(2, 3);
    EXPECT_FALSE(Covered->IsBaseCell);
    EXPECT_EQ(Covered->CellSpanX, 1);
    EXPECT_EQ(Covered->CellSpanY, 2);
    EXPECT_EQ(G.CellSpan(2, 3), TPoint(1, 2));
    EXPECT_EQ(G.BaseCell(2, 3), TPoint(1, 1));
    EXPECT_EQ(G.BaseCell(4, 4), TPoint(4, 4));
    EXPECT_TRUE(G.IsMergedCell(1, 1));
    EXPECT_TRUE(G.IsMergedCell(2, 3));
    EXPECT_FALSE(G.IsBaseCell(2, 3));
    EXPECT_TRUE(G.IsXMergedCell(1, 2));
    EXPECT_TRUE(G.IsYMergedCell(2, 1));
    EXPECT_FALSE(G.IsMergedCell(3, 1));

    G.SetCellText(2, 3, QStringLiteral("block"));
    EXPECT_EQ(G.PlainCells(1, 1), QStringLiteral("block"));
    EXPECT_TRUE(G.PlainCells(2, 3).isEmpty());
    for (int C = 1; C <= 2; ++C)
        for (int R = 1; R <= 3; ++R)
            EXPECT_EQ(G.GetCellText(C, R), QStringLiteral("block"));

    // Access by name (as a script drives the program) sees the same merged text.
    QString ByName;
    ASSERT_TRUE(QMetaObject::invokeMethod(&G, "Cells", Q_RETURN_ARG(QString, ByName), Q_ARG(int, 2), Q_ARG(int, 2)));
    EXPECT_EQ(ByName, QStringLiteral("block"));
    ASSERT_TRUE(QMetaObject::invokeMethod(&G, "SetCells", Q_ARG(int, 1), Q_ARG(int, 3), Q_ARG(QString, QStringLiteral("b2"))));
    EXPECT_EQ(G.PlainCells(1, 1), QStringLiteral("b2"));
}

TEST(Merges, OneByOneIsNotMergedAndUnmergeRestoresTheWholeBlock)
{
    TBaseGrid G;
    G.MergeCellBlock(2, 2, 1, 1);
    EXPECT_TRUE(G.HasCellProperties(2, 2));
    EXPECT_FALSE(G.IsMergedCell(2, 2));
    EXPECT_EQ(G.CellSpan(2, 2), TPoint(0, 0));

    G.MergeCellBlock(1, 1, 3, 2);
    G.UnmergeCellBlock(3, 2);   // a covered cell
    for (int C = 1; C <= 3; ++C)
        for (int R = 1; R <= 2; ++R) {
            EXPECT_TRUE(G.IsBaseCell(C, R));
            EXPECT_EQ(G.GetCellProperties(C, R)->CellSpanX, -1);
            EXPECT_FALSE(G.IsMergedCell(C, R));
        }
    G.UnmergeCellBlock(4, 4);   // in no block: changes nothing
    EXPECT_FALSE(G.IsMergedCell(4, 4));

    G.MergeCellBlock(1, 1, 0, 3);   // no columns: nothing
    EXPECT_FALSE(G.IsMergedCell(1, 1));
}

TEST(Merges, MergeClipsToTheGridAndSplitsBlocksItOverlaps)
{
    TBaseGrid G;   // 5 x 5
    G.MergeCellBlock(3, 3, 10, 10);
    EXPECT_EQ(G.CellSpan(3, 3), TPoint(1, 1));
    EXPECT_EQ(G.BaseCell(4, 4), TPoint(3, 3));

    G.MergeCellBlock(1, 1, 2, 2);
    G.MergeCellBlock(2, 2, 2, 2);   // overlaps both blocks
    EXPECT_EQ(G.BaseCell(1, 2), TPoint(1, 2));   // the first block is split
    EXPECT_FALSE(G.IsMergedCell(1, 1));
    EXPECT_FALSE(G.IsMergedCell(4, 4));          // so is the second
    EXPECT_EQ(G.BaseCell(3, 3), TPoint(2, 2));
    EXPECT_EQ(G.CellSpan(3, 3), TPoint(1, 1));
}

TEST(Merges, RowsInSameMerge)
{
    TBaseGrid G;
    G.SetRowCount(10);
    G.MergeCellBlock(1, 1, 1, 3);
    G.MergeCellBlock(2, 1, 1, 2);
    EXPECT_TRUE(G.RowsInSameMerge(1, 2));
    EXPECT_TRUE(G.RowsInSameMerge(2, 3));    // column 1 agrees; column 2 has no block at 3 and is not compared
    G.MergeCellBlock(2, 3, 1, 2);
    EXPECT_FALSE(G.RowsInSameMerge(2, 3));   // column 2 has different blocks
    EXPECT_FALSE(G.RowsInSameMerge(6, 7));   // no merged column at all
}

TEST(Geometry, RectanglesFollowScrollingAndFixedCells)
{
    ShownGrid S;
    TBaseGrid &G = S.Grid;
    EXPECT_EQ(G.GetSingleCellRect(2, 2), TRect(128, 48, 192, 72));
    EXPECT_EQ(G.GetSingleCellRect(0, 3), TRect(0, 72, 64, 96));
    G.SetLeftCol(2);
    G.SetTopRow(3);
    EXPECT_EQ(G.GetSingleCellRect(2, 3), TRect(64, 24, 128, 48));
    EXPECT_EQ(G.GetSingleCellRect(1, 3), TRect(0, 24, 64, 48));   // scrolled under the fixed column
    EXPECT_EQ(G.GetSingleCellRect(0, 3), TRect(0, 24, 64, 48));
    EXPECT_EQ(G.GetSingleCellRect(2, 0), TRect(64, 0, 128, 24));
    G.SetLeftCol(1);
    G.SetTopRow(1);

    G.MergeCellBlock(1, 1, 2, 3);
    EXPECT_EQ(G.GetCellRect(2, 2), TRect(64, 24, 192, 96));
    EXPECT_EQ(G.CellExtent(1, 3), TPoint(128, 72));
    G.SetRowHeights(2, 40);
    EXPECT_EQ(G.CellExtent(1, 1), TPoint(128, 88));
}

TEST(CursorOverMerges, RightAndDownLeaveTheBlock)
{
    ShownGrid S;
    TBaseGrid &G = S.Grid;
    G.MergeCellBlock(1, 1, 3, 1);
    G.SetCol(1);
    G.SetRow(1);
    quint16 Key = VK_RIGHT;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Col(), 4);

    G.MergeCellBlock(1, 3, 1, 3);
    G.SetCol(1);
    G.SetRow(3);
    Key = VK_DOWN;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Row(), 6);
}

TEST(CursorOverMerges, RightOnABlockAtTheLastColumnStaysOnTheBlock)
{
    ShownGrid S;
    TBaseGrid &G = S.Grid;
    G.MergeCellBlock(2, 1, 3, 1);
    G.SetCol(2);
    G.SetRow(1);
    quint16 Key = VK_RIGHT;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Col(), 2);   // re-based onto the block
}

TEST(CursorOverMerges, LeftAndUpFromACoveredCellLandNextToTheBlock)
{
    ShownGrid S;
    TBaseGrid &G = S.Grid;
    G.MergeCellBlock(2, 1, 3, 1);
    G.SetRow(1);
    G.SetCol(4);   // covered cell
    quint16 Key = VK_LEFT;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Col(), 1);   // the column just left of the block, not a skipped or fixed one

    G.MergeCellBlock(1, 3, 1, 3);
    G.SetCol(1);
    G.SetRow(5);
    Key = VK_UP;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Row(), 2);   // the row just above the block

    G.MergeCellBlock(3, 1, 1, 2);   // a block at the first data row
    G.SetCol(3);
    G.SetRow(2);
    Key = VK_UP;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Row(), 1);   // lands on the block itself
}

TEST(CursorOverMerges, ArrowsReBaseTheCurrentCell)
{
    ShownGrid S;
    TBaseGrid &G = S.Grid;
    G.MergeCellBlock(2, 2, 2, 2);
    G.SetCol(2);
    G.SetRow(1);
    quint16 Key = VK_DOWN;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Col(), 2);
    EXPECT_EQ(G.Row(), 2);
    G.SetCol(3);
    G.SetRow(1);
    Key = VK_DOWN;
    G.KeyDown(Key, 0);   // lands on a covered cell, then moves to its base
    EXPECT_EQ(G.Col(), 2);
    EXPECT_EQ(G.Row(), 2);
}

TEST(DisplayText, HookSeesBaseCellsOfDataRowsOnly)
{
    TBaseGrid G;
    G.SetRowCount(6);
    std::vector<std::tuple<TObject *, int, int, QString>> Calls;
    G.OnGetDisplText = [&](TObject *Sender, int ACol, int ARow, QString &Value) {
        Calls.emplace_back(Sender, ACol, ARow, Value);
        Value += QStringLiteral("!");
    };
    G.MergeCellBlock(1, 1, 2, 1);
    G.SetCellText(1, 1, QStringLiteral("a"));
    EXPECT_EQ(G.GetCellText(2, 1), QStringLiteral("a!"));
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(std::get<0>(Calls[0]), &G);
    EXPECT_EQ(std::get<1>(Calls[0]), 1);   // column before row
    EXPECT_EQ(std::get<2>(Calls[0]), 1);
    EXPECT_EQ(std::get<3>(Calls[0]), QStringLiteral("a"));

    G.SetDataRowCount(3);
    G.SetCellText(1, 4, QStringLiteral("b"));
    EXPECT_EQ(G.GetCellText(1, 4), QStringLiteral("b"));
    EXPECT_EQ(Calls.size(), 1u);
}

TEST(Footer, PageDownStopsAboveTheFooterRowWhichIsPaintedInTheGridColour)
{
    ShownGrid S;
    TBaseGrid &G = S.Grid;
    G.SetCellText(1, 7, QStringLiteral("sum"));
    G.SetFooterInLastRow(true);
    // The grid component refuses the footer row itself; here a handler does.
    G.OnSelectCell = [](TObject *, int, int ARow, bool &CanSelect) { CanSelect = ARow != 7; };
    G.SetRow(3);
    ASSERT_EQ(G.VisibleRowCount() + G.TopRow() - G.FixedRows(), G.RowCount() - 1);
    quint16 Key = VK_NEXT;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Row(), 6);
    G.SetColor(clYellow);
    const QImage Image = G.RenderToImage();
    const TRect R = G.GetCellRect(1, 7);
    for (int X = R.Left; X < R.Right; ++X)
        for (int Y = R.Top; Y < R.Bottom; ++Y)
            ASSERT_EQ(QColorToTColor(Image.pixelColor(X, Y)), ColorToRGB(clYellow)) << X << "," << Y;
}

TEST(Painting, BlocksDrawOnceAndGridLinesStayInsideCells)
{
    ShownGrid S;
    TBaseGrid &G = S.Grid;
    G.MergeCellBlock(1, 1, 2, 2);
    const int Before = G.PaintGeneration();
    const QImage Image = G.RenderToImage();
    EXPECT_EQ(G.PaintGeneration(), Before + 1);
    // The grid line of a data cell is its own last pixel column, in the line colour.
    const TRect R = G.GetCellRect(3, 3);
    EXPECT_EQ(QColorToTColor(Image.pixelColor(R.Right - 1, R.Top + 5)), clSilver);
    // Inside the block there is no line between its cells.
    const TRect B = G.GetCellRect(1, 1);
    EXPECT_NE(QColorToTColor(Image.pixelColor(B.Left + 64 - 1, B.Top + 5)), clSilver);
}

} // namespace
