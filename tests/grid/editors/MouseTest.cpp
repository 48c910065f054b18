// Clicks, sizing by dragging and by the header double-click, hints, and the
// argument order of the events fired on the way.
#include "GridFixture.h"

#include <QHelpEvent>

namespace {

// The x of the right border of a column in the viewport.
int BorderX(TCellGrid *Grid, int ACol)
{
    return Grid->GetCellRect(ACol, 0).Right;
}

} // namespace

TEST_F(GridTest, ClicksFireTheirEventsWithRowBeforeColumn)
{
    // A covered cell of a merged block answers as its base cell.
    Grid->MergeCellBlock(2, 2, 2, 2);
    std::vector<std::pair<int, int>> Clicked, Right, Double;
    Grid->OnClickCell = [&](TObject *, int ARow, int ACol) { Clicked.emplace_back(ARow, ACol); };
    Grid->OnRightClickCell = [&](TObject *, int ARow, int ACol) { Right.emplace_back(ARow, ACol); };
    Grid->OnDblClickCell = [&](TObject *, int ARow, int ACol) { Double.emplace_back(ARow, ACol); };
    Click(1, 4);
    EXPECT_EQ(Grid->Col(), 1);
    EXPECT_EQ(Grid->Row(), 4);
    Click(3, 3);
    EXPECT_EQ(Grid->Col(), 2);
    EXPECT_EQ(Grid->Row(), 2);
    Click(4, 1, Qt::RightButton);
    QTest::mouseDClick(Grid->viewport(), Qt::LeftButton, {}, CellPoint(1, 3));
    ASSERT_GE(Clicked.size(), 2u);
    EXPECT_EQ(Clicked[0], std::make_pair(4, 1));
    EXPECT_EQ(Clicked[1], std::make_pair(2, 2));
    ASSERT_EQ(Right.size(), 1u);
    EXPECT_EQ(Right[0], std::make_pair(1, 4));
    ASSERT_EQ(Double.size(), 1u);
    EXPECT_EQ(Double[0], std::make_pair(3, 1));
}

TEST_F(GridTest, LeftPressStepsSelectEditAndToggle)
{
    // A press on the current cell of an editable grid opens the editor.
    Grid->SetCells(2, 2, QStringLiteral("text"));
    Click(2, 2);
    EXPECT_FALSE(EditorOpen());
    Click(2, 2);
    EXPECT_TRUE(EditorOpen());
    // A press elsewhere closes it and moves the cursor.
    Click(3, 3);
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Grid->Col(), 3);

    // A grid editor open on another cell ends with the press.
    Grid->OnGetEditorType = [](TObject *, int ACol, int, TEditorType &E) {
        if (ACol == 1)
            E = edEditBtn;
    };
    Goto(1, 1);
    Key(Qt::Key_F2);
    ASSERT_TRUE(Grid->GridEditBtn()->isVisible());
    Grid->GridEditBtn()->setText(QStringLiteral("typed"));
    Click(3, 1);
    EXPECT_FALSE(Grid->GridEditBtn()->isVisible());
    EXPECT_EQ(Grid->Cells(1, 1), "typed");
    EXPECT_FALSE(Grid->EditorActive);

    // A check box toggles on the press and tells its state, column first.
    auto *G = new TCellGraphic;
    G->CellType = ctCheckBox;
    Grid->SetCellGraphic(4, 4, G);
    std::vector<std::tuple<int, int, bool>> Toggles, Ups;
    Grid->OnCheckBoxClick = [&](TObject *, int ACol, int ARow, bool State) { Toggles.emplace_back(ACol, ARow, State); };
    Grid->OnCheckBoxMouseUp = [&](TObject *, int ACol, int ARow, bool State) { Ups.emplace_back(ACol, ARow, State); };
    Click(4, 4);
    Click(4, 4);
    ASSERT_EQ(Toggles.size(), 2u);
    EXPECT_EQ(Toggles[0], std::make_tuple(4, 4, true));
    EXPECT_EQ(Toggles[1], std::make_tuple(4, 4, false));
    ASSERT_EQ(Ups.size(), 2u);
    EXPECT_EQ(Ups[1], std::make_tuple(4, 4, false));
    EXPECT_EQ(Grid->Col(), 4);
    EXPECT_FALSE(EditorOpen());

    // A cell that may not be edited keeps its check box as it is.
    Grid->OnCanEditCell = [](TObject *, int, int, bool &CanEdit) { CanEdit = false; };
    Click(4, 4);
    EXPECT_EQ(Toggles.size(), 2u);
}

TEST_F(GridTest, FixedCellPressesSelectColumnsRowsOrEverything)
{
    Grid->MouseActions()->ColSelect = true;
    Grid->MouseActions()->RowSelect = true;
    Grid->MouseActions()->AllSelect = true;
    Click(3, 0);
    TGridRect S = Grid->Selection();
    EXPECT_EQ(S.Left, 3);
    EXPECT_EQ(S.Right, 3);
    EXPECT_EQ(S.Top, 1);
    EXPECT_EQ(S.Bottom, 5);
    Click(0, 2);
    S = Grid->Selection();
    EXPECT_EQ(S.Top, 2);
    EXPECT_EQ(S.Bottom, 2);
    EXPECT_EQ(S.Left, 1);
    EXPECT_EQ(S.Right, 4);
    Click(0, 0);
    S = Grid->Selection();
    EXPECT_EQ(S.Left, 1);
    EXPECT_EQ(S.Top, 1);
    EXPECT_EQ(S.Right, 4);
    EXPECT_EQ(S.Bottom, 5);
}

TEST_F(GridTest, DraggingAColumnBorderSizesItWhenTheHandlerAllows)
{
    Grid->SetOptions(Grid->Options() | goColSizing);
    Grid->HintShowSizing = true;
    const int Start = Grid->ColWidths(2);
    std::vector<int> Asked, Ended;
    bool Allow = false;
    Grid->OnColumnSize = [&](TObject *, int ACol, bool &A) {
        Asked.push_back(ACol);
        A = Allow;
    };
    Grid->OnEndColumnSize = [&](TObject *, int ACol) { Ended.push_back(ACol); };
    auto Drag = [&](int From, int To) {
        QTest::mousePress(Grid->viewport(), Qt::LeftButton, {}, QPoint(From, 5));
        QMouseEvent Move(QEvent::MouseMove, QPointF(To, 5), Grid->viewport()->mapToGlobal(QPointF(To, 5)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Grid->viewport(), &Move);
        QTest::mouseRelease(Grid->viewport(), Qt::LeftButton, {}, QPoint(To, 5));
    };
    const int X = BorderX(Grid, 2);
    Drag(X, X + 30);
    EXPECT_EQ(Grid->ColWidths(2), Start);
    ASSERT_FALSE(Asked.empty());
    EXPECT_EQ(Asked.back(), 2);
    EXPECT_TRUE(Ended.empty());

    Allow = true;
    Drag(X, X + 30);
    EXPECT_EQ(Grid->ColWidths(2), Start + 30);
    EXPECT_EQ(Grid->SizingHint(), QStringLiteral("cw=<b>%1</b>").arg(Start + 30));
    ASSERT_EQ(Ended.size(), 1u);
    EXPECT_EQ(Ended[0], 2);
}

TEST_F(GridTest, HeaderDoubleClickAutoSizesOnlyWithColSizingAndPermission)
{
    Grid->SetCells(2, 3, QStringLiteral("a rather long text in this column"));
    const int Start = Grid->ColWidths(2);
    auto DoubleClickBorder = [&]() {
        QTest::mouseDClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(BorderX(Grid, 2) - 2, 5));
    };
    DoubleClickBorder();
    EXPECT_EQ(Grid->ColWidths(2), Start);

    Grid->SetOptions(Grid->Options() | goColSizing);
    bool Allow = false;
    Grid->OnColumnSize = [&](TObject *, int, bool &A) { A = Allow; };
    DoubleClickBorder();
    EXPECT_EQ(Grid->ColWidths(2), Start);

    Allow = true;
    int Ended = -1;
    Grid->OnEndColumnSize = [&](TObject *, int ACol) { Ended = ACol; };
    DoubleClickBorder();
    EXPECT_GT(Grid->ColWidths(2), Start);
    EXPECT_GE(Grid->ColWidths(2), Grid->Canvas()->TextWidth(Grid->Cells(2, 3)));
    EXPECT_EQ(Ended, 2);
    EXPECT_EQ(Grid->ColWidths(1), Grid->DefaultColWidth());
}

TEST_F(GridTest, HintsShowCellTextThroughTheHintEvent)
{
    Grid->SetCells(2, 2, QStringLiteral("<b>short</b>"));
    std::vector<std::tuple<int, int, QString>> Hints;
    Grid->OnGridHint = [&](TObject *, int ARow, int ACol, QString &Hint) {
        Hints.emplace_back(ARow, ACol, Hint);
        if (ACol == 3)
            Hint = QStringLiteral("changed");
    };
    auto Ask = [&](int ACol, int ARow) {
        const QPoint P = CellPoint(ACol, ARow);
        QHelpEvent Help(QEvent::ToolTip, P, Grid->viewport()->mapToGlobal(P));
        QApplication::sendEvent(Grid->viewport(), &Help);
    };
    Ask(2, 2);
    ASSERT_EQ(Hints.size(), 1u);
    EXPECT_EQ(std::get<2>(Hints[0]), QString());
    Grid->HintShowCells = true;
    Ask(2, 2);
    EXPECT_EQ(Hints.back(), std::make_tuple(2, 2, QStringLiteral("short")));
    Grid->HTMLHint = true;
    Ask(2, 2);
    EXPECT_EQ(std::get<2>(Hints.back()), "<b>short</b>");
    // Only text wider than its column with the large-text setting.
    Grid->HintShowCells = false;
    Grid->HintShowLargeText = true;
    Ask(2, 2);
    EXPECT_EQ(std::get<2>(Hints.back()), QString());
    Ask(3, 1);
    EXPECT_EQ(std::get<0>(Hints.back()), 1);
    EXPECT_EQ(std::get<1>(Hints.back()), 3);
}
