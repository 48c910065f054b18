// Clicks, sizing by dragging and by the header double-click, hints, and the
// argument order of the events fired on the way.
#include "GridFixture.h"

#include <QHelpEvent>
#include <QWheelEvent>

#include "platform/services/Shell.h"

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

TEST_F(GridTest, RadioAndNodeClicksEndThePress)
{
    auto *G = new TCellGraphic;
    G->CellType = ctRadio;
    G->CellIndex = 0;
    TStringList Items;
    Items.Add(QStringLiteral("red"));
    Items.Add(QStringLiteral("green"));
    Items.Add(QStringLiteral("blue"));
    G->SetGraphicObject(&Items);
    Grid->SetRowHeights(2, 80);
    Grid->SetCellGraphic(3, 2, G);
    std::vector<std::tuple<int, int, int>> Radios;
    Grid->OnRadioClick = [&](TObject *, int ACol, int ARow, int AIdx) { Radios.emplace_back(ACol, ARow, AIdx); };
    const int Line = Grid->Canvas()->TextHeight(QStringLiteral("gh"));
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, CellPoint(3, 2, 6, 3 + Line + Line / 2));
    ASSERT_EQ(Radios.size(), 1u);
    EXPECT_EQ(Radios[0], std::make_tuple(3, 2, 1));
    EXPECT_EQ(Grid->Cells(3, 2), "green");
    // Space steps to the next item.
    Goto(3, 2);
    Key(Qt::Key_Space);
    EXPECT_EQ(Radios.back(), std::make_tuple(3, 2, 2));
    EXPECT_EQ(Grid->Cells(3, 2), "blue");

    // A node contracts its rows and expands them again.
    auto *N = new TCellGraphic;
    N->CellType = ctNode;
    N->CellIndex = 3;
    Grid->SetCellGraphic(0, 3, N);
    Grid->SetCells(1, 4, QStringLiteral("child"));
    std::vector<std::pair<int, int>> Contracted, Expanded;
    Grid->OnContractNode = [&](TObject *, int ARow, int ARowreal) { Contracted.emplace_back(ARow, ARowreal); };
    Grid->OnExpandNode = [&](TObject *, int ARow, int ARowreal) { Expanded.emplace_back(ARow, ARowreal); };
    Click(0, 3);
    ASSERT_EQ(Contracted.size(), 1u);
    EXPECT_EQ(Contracted[0], std::make_pair(3, 3));
    EXPECT_EQ(Grid->RowCount(), 4);
    Click(0, 3);
    ASSERT_EQ(Expanded.size(), 1u);
    EXPECT_EQ(Grid->RowCount(), 6);
    EXPECT_EQ(Grid->Cells(1, 4), "child");
    G->SetGraphicObject(nullptr);
}

TEST_F(GridTest, UrlCellsOpenOnAClickOrEditOnARightClick)
{
    auto Scripted = std::make_unique<TScriptedShell>();
    TScriptedShell *Calls = Scripted.get();
    auto Previous = SetShell(std::move(Scripted));
    Grid->SetCells(2, 2, QStringLiteral("http://example.com/a"));
    Click(2, 2);
    EXPECT_TRUE(Calls->Calls().isEmpty());
    Grid->SetURLShow(true);
    Click(2, 2);
    ASSERT_EQ(Calls->Calls().size(), 1);
    EXPECT_EQ(Calls->Calls().at(0).Kind, "Open");
    EXPECT_EQ(Calls->Calls().at(0).Args.value(0), "http://example.com/a");
    Grid->URLEdit = true;
    Goto(1, 1);
    Click(2, 2, Qt::RightButton);
    EXPECT_EQ(Calls->Calls().size(), 1);
    EXPECT_EQ(Grid->Col(), 2);
    EXPECT_TRUE(EditorOpen());
    SetShell(std::move(Previous));
}

TEST_F(GridTest, CursorTellsWhatAPressInTheFixedCellsWouldSelect)
{
    Grid->MouseActions()->ColSelect = true;
    QTest::mouseMove(Grid->viewport(), CellPoint(2, 0));
    EXPECT_EQ(Grid->CursorKind(), 1);
    QTest::mouseMove(Grid->viewport(), CellPoint(0, 2));
    EXPECT_EQ(Grid->CursorKind(), 0);
    Grid->MouseActions()->RowSelect = true;
    QTest::mouseMove(Grid->viewport(), CellPoint(0, 3));
    EXPECT_EQ(Grid->CursorKind(), 2);
    EXPECT_EQ(Grid->viewport()->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(GridTest, WheelKeepsTheLeftColumnWithRowSelect)
{
    Grid->SetColCount(30);
    Grid->SetRowCount(60);
    Grid->SetOptions(Grid->Options() | goRowSelect);
    Grid->Navigation()->KeepHorizScroll = true;
    Grid->SetLeftCol(5);
    Grid->DoMouseWheelDown(0, QPoint(10, 10));
    EXPECT_EQ(Grid->LeftCol(), 5);
    EXPECT_EQ(Grid->Row(), 2);
}

TEST_F(GridTest, WheelStepsOverMergedBlocksAndShowsThemWhole)
{
    Grid->SetRowCount(60);
    Grid->MergeCellBlock(1, 3, 2, 3);    // rows 3-5
    Grid->MergeCellBlock(1, 20, 2, 3);   // rows 20-22
    Goto(1, 2);
    const auto Wheel = [&](int Delta) {
        QWheelEvent E(QPointF(50, 50), Grid->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, Delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Grid->viewport(), &E);
    };
    Wheel(-120);
    EXPECT_EQ(Grid->Row(), 3);
    Wheel(-120);
    EXPECT_EQ(Grid->Row(), 6) << "the wheel goes on below the block";
    Wheel(120);
    EXPECT_EQ(Grid->Row(), 3) << "and back onto it";
    for (int I = 0; I < 60 && Grid->Row() < 20; ++I)
        Wheel(-120);
    ASSERT_EQ(Grid->Row(), 20);
    // The block came in at the bottom: the view shows all of it.
    EXPECT_LE(Grid->GetCellRect(1, 20).Bottom, Grid->viewport()->height());
    EXPECT_GE(Grid->GetCellRect(1, 20).Top, Grid->GetCellRect(1, 0).Bottom);
}

TEST_F(GridTest, AnchorsGoToCellsOrToTheDesktop)
{
    auto Scripted = std::make_unique<TScriptedShell>();
    TScriptedShell *Calls = Scripted.get();
    auto Previous = SetShell(std::move(Scripted));
    Grid->SetColWidths(1, 300);
    Grid->SetCells(1, 1, QStringLiteral("go <a href=\"cell://R4C3\">there</a> or <A HREF=\"http://x.org\">out</A>"));
    TCanvas *C = Grid->Canvas();
    C->SetFont(*Grid->Font());
    const TRect R = Grid->GetCellRect(1, 1);
    const int Left = R.Left + 1 + Grid->CellTextMargin.X;
    const int InThere = Left + C->TextWidth(QStringLiteral("go ")) + 3;
    const int InOut = Left + C->TextWidth(QStringLiteral("go there or ")) + 3;
    EXPECT_EQ(Grid->AnchorAt(1, 1, InThere, R.Top + 5), "cell://R4C3");
    EXPECT_EQ(Grid->AnchorAt(1, 1, Left + 1, R.Top + 5), "");

    std::vector<std::tuple<int, int, QString>> Clicks;
    bool Handle = true;
    Grid->OnAnchorClick = [&](TObject *, int ARow, int ACol, const QString &Anchor, bool &AutoHandle) {
        Clicks.emplace_back(ARow, ACol, Anchor);
        AutoHandle = Handle;
    };
    Handle = false;
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(InThere, R.Top + 5));
    EXPECT_EQ(Grid->Col(), 1);
    EXPECT_EQ(Grid->Row(), 1);
    Handle = true;
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(InThere, R.Top + 5));
    EXPECT_EQ(Grid->Col(), 3);
    EXPECT_EQ(Grid->Row(), 4);
    QTest::mouseClick(Grid->viewport(), Qt::LeftButton, {}, QPoint(InOut, R.Top + 5));
    ASSERT_EQ(Clicks.size(), 3u);
    EXPECT_EQ(Clicks[0], std::make_tuple(1, 1, QStringLiteral("cell://R4C3")));
    ASSERT_EQ(Calls->Calls().size(), 1);
    EXPECT_EQ(Calls->Calls().at(0).Args.value(0), "http://x.org");
    SetShell(std::move(Previous));

    // Entering and leaving an anchor.
    std::vector<QString> Entered, Left2;
    Grid->OnAnchorEnter = [&](TObject *, int, int, const QString &A) { Entered.push_back(A); };
    Grid->OnAnchorExit = [&](TObject *, int, int, const QString &A) { Left2.push_back(A); };
    QTest::mouseMove(Grid->viewport(), QPoint(InThere, R.Top + 5));
    QTest::mouseMove(Grid->viewport(), QPoint(Left + 1, R.Top + 5));
    ASSERT_EQ(Entered.size(), 1u);
    ASSERT_EQ(Left2.size(), 1u);
    EXPECT_EQ(Left2[0], "cell://R4C3");
}

TEST_F(GridTest, HeaderDragMovesAColumnWithEnhancedMoving)
{
    Grid->EnhRowColMove = true;
    Grid->SetOptions(Grid->Options() | goColMoving | goRowMoving);
    Grid->SetCells(1, 0, QStringLiteral("H1"));
    Grid->SetCells(1, 2, QStringLiteral("one"));
    Grid->SetCells(3, 2, QStringLiteral("three"));
    bool Allow = false;
    std::vector<int> Asked;
    Grid->OnColumnMove = [&](TObject *, int ACol, bool &A) {
        Asked.push_back(ACol);
        A = Allow;
    };
    auto Drag = [&](QPoint From, QPoint To) {
        QTest::mousePress(Grid->viewport(), Qt::LeftButton, {}, From);
        QMouseEvent Move(QEvent::MouseMove, QPointF(To), Grid->viewport()->mapToGlobal(QPointF(To)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Grid->viewport(), &Move);
        QTest::mouseRelease(Grid->viewport(), Qt::LeftButton, {}, To);
    };
    Drag(CellPoint(1, 0), CellPoint(3, 0));
    ASSERT_FALSE(Asked.empty());
    EXPECT_EQ(Asked.back(), 3);
    EXPECT_EQ(Grid->Cells(1, 2), "one");
    Allow = true;
    Drag(CellPoint(1, 0), CellPoint(3, 0));
    EXPECT_EQ(Grid->Cells(3, 2), "one");
    EXPECT_EQ(Grid->Cells(2, 2), "three");
    EXPECT_EQ(Grid->Cells(3, 0), "H1");
    EXPECT_FALSE(Grid->ArrowWindow(0)->isVisible());

    // Rows move the same way from the fixed column.
    Grid->SetCells(2, 4, QStringLiteral("row4"));
    Drag(CellPoint(0, 4), CellPoint(0, 1));
    EXPECT_EQ(Grid->Cells(2, 1), "row4");
}

TEST_F(GridTest, ZoomStepsStayInRangeAndKeepSizesPositive)
{
    Grid->SetColWidths(1, 3);
    const int W2 = Grid->ColWidths(2), H1 = Grid->RowHeights(1);
    Grid->Zoom(11);
    EXPECT_EQ(Grid->ColWidths(2), W2);
    Grid->Zoom(-5);
    EXPECT_EQ(Grid->ZoomStep(), -5);
    EXPECT_EQ(Grid->ColWidths(1), 3);
    EXPECT_EQ(Grid->ColWidths(2), W2 - 5);
    EXPECT_EQ(Grid->RowHeights(1), H1 - 5);
    QWheelEvent Wheel(QPointF(50, 50), Grid->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(Grid->viewport(), &Wheel);
    EXPECT_EQ(Grid->ColWidths(2), W2 - 4);
    EXPECT_EQ(Grid->Row(), 1);
}

TEST_F(GridTest, TimerTicksBlinkAndFollowTheHoveringPointer)
{
    Grid->SetEnableBlink(true);
    const bool Phase = Grid->BlinkPhase();
    Grid->GridTimerTick();
    EXPECT_NE(Grid->BlinkPhase(), Phase);
    Grid->SetEnableBlink(false);

    Grid->SetHovering(true);
    QCursor::setPos(Grid->viewport()->mapToGlobal(CellPoint(3, 4)));
    if (Grid->viewport()->mapFromGlobal(QCursor::pos()) != CellPoint(3, 4))
        GTEST_SKIP() << "the platform cannot place the pointer";
    Grid->GridTimerTick();
    EXPECT_EQ(Grid->Col(), 3);
    EXPECT_EQ(Grid->Row(), 4);
}

TEST_F(GridTest, MiddleButtonPansFasterFurtherFromTheMarkUntilReleasedOrAKey)
{
    Grid->SetRowCount(2000);
    Grid->SetColCount(80);
    QWidget *View = Grid->viewport();
    // A move with the middle button held.
    auto MoveHeld = [&](const QPoint &P) {
        QMouseEvent Move(QEvent::MouseMove, QPointF(P), View->mapToGlobal(QPointF(P)), Qt::NoButton,
                         Qt::MiddleButton, Qt::NoModifier);
        QApplication::sendEvent(View, &Move);
    };
    auto Ticks = [&](int N) {
        for (int I = 0; I < N; ++I)
            Grid->PanTimerTick();
    };
    const QPoint Mark(200, 150);
    const QRect MarkArea(Mark - QPoint(16, 16), QSize(32, 32));
    const QImage Before = Grid->RenderToImage().copy(MarkArea);
    QTest::mousePress(View, Qt::MiddleButton, {}, Mark);
    ASSERT_TRUE(Grid->Panning());
    EXPECT_EQ(Grid->PanOrigin(), TPoint(Mark.x(), Mark.y()));
    EXPECT_NE(Grid->RenderToImage().copy(MarkArea), Before) << "the mark shows where panning started";

    // Near the mark nothing moves; below it the rows scroll down, the faster
    // the further away; above it they scroll back up.
    MoveHeld(Mark + QPoint(0, 10));
    Ticks(20);
    EXPECT_EQ(Grid->TopRow(), 1);
    MoveHeld(Mark + QPoint(0, 40));
    Ticks(20);
    const int Slow = Grid->TopRow() - 1;
    EXPECT_GT(Slow, 0);
    MoveHeld(Mark + QPoint(0, 200));
    const int Top = Grid->TopRow();
    Ticks(20);
    const int Fast = Grid->TopRow() - Top;
    EXPECT_GT(Fast, 3 * Slow);
    MoveHeld(Mark - QPoint(0, 100));
    Ticks(20);
    EXPECT_LT(Grid->TopRow(), Top + Fast);
    EXPECT_GT(Grid->TopRow(), 1);
    // Panning is vertical unless IntelliPan says otherwise.
    MoveHeld(Mark + QPoint(300, 0));
    Ticks(20);
    EXPECT_EQ(Grid->LeftCol(), 1);

    // The release ends it: nothing scrolls any more and the mark goes.
    QTest::mouseRelease(View, Qt::MiddleButton, {}, Mark + QPoint(0, 200));
    EXPECT_FALSE(Grid->Panning());
    const int Stopped = Grid->TopRow();
    Ticks(20);
    EXPECT_EQ(Grid->TopRow(), Stopped);
    Grid->SetTopRow(1);
    EXPECT_EQ(Grid->RenderToImage().copy(MarkArea), Before);

    // Both ways: the columns follow the pointer too; a key ends it and does nothing else.
    Grid->IntelliPan = ipBoth;
    QTest::mousePress(View, Qt::MiddleButton, {}, Mark);
    MoveHeld(Mark + QPoint(200, 0));
    Ticks(20);
    EXPECT_GT(Grid->LeftCol(), 1);
    EXPECT_EQ(Grid->TopRow(), 1);
    const int Col = Grid->Col();
    Key(Qt::Key_Right);
    EXPECT_FALSE(Grid->Panning());
    EXPECT_EQ(Grid->Col(), Col);
    QTest::mouseRelease(View, Qt::MiddleButton, {}, Mark + QPoint(200, 0));

    // Switched off, the middle button pans nothing.
    Grid->IntelliPan = ipNone;
    QTest::mousePress(View, Qt::MiddleButton, {}, Mark);
    EXPECT_FALSE(Grid->Panning());
    QTest::mouseRelease(View, Qt::MiddleButton, {}, Mark);
}
