#include "platform/controls/Grids.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>

namespace {

// Exposes the storage operations descendants use.
class TestGrid : public TStringGrid {
public:
    using TStringGrid::AssignRow;
    using TStringGrid::DeleteColumn;
    using TStringGrid::DeleteRow;
    using TStringGrid::MoveColumn;
    using TStringGrid::MoveRow;
    using TStringGrid::CellCount;
};

struct Shown {
    TestGrid Grid;
    explicit Shown(int W = 400, int H = 300)
    {
        Grid.setFrameShape(QFrame::NoFrame);
        Grid.resize(W, H);
        Grid.show();
        QApplication::processEvents();
    }
};

void Press(QWidget *W, int Key, Qt::KeyboardModifiers Mods = Qt::NoModifier, const QString &Text = QString())
{
    QKeyEvent E(QEvent::KeyPress, Key, Mods, Text);
    QApplication::sendEvent(W, &E);
}

void Click(TStringGrid &G, int X, int Y)
{
    const QPointF P(X, Y);
    QMouseEvent Down(QEvent::MouseButtonPress, P, G.viewport()->mapToGlobal(P), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Down);
    QMouseEvent Up(QEvent::MouseButtonRelease, P, G.viewport()->mapToGlobal(P), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Up);
}

TEST(StringGrid, DefaultsAndSparseCells)
{
    TestGrid G;
    EXPECT_EQ(G.ColCount(), 5);
    EXPECT_EQ(G.RowCount(), 5);
    EXPECT_EQ(G.FixedCols(), 1);
    EXPECT_EQ(G.FixedRows(), 1);
    EXPECT_EQ(G.DefaultColWidth(), 64);
    EXPECT_EQ(G.DefaultRowHeight(), 24);
    EXPECT_EQ(G.Col(), 1);
    EXPECT_EQ(G.Row(), 1);
    EXPECT_EQ(G.Options(), goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect);

    EXPECT_EQ(G.CellCount(), 0);
    G.SetCells(2, 3, QStringLiteral("x"));
    G.SetCells(9, 3, QStringLiteral("outside"));
    G.SetCells(-1, 0, QStringLiteral("outside"));
    EXPECT_EQ(G.Cells(2, 3), QStringLiteral("x"));
    EXPECT_TRUE(G.Cells(9, 3).isEmpty());
    EXPECT_EQ(G.CellCount(), 1);
    G.SetCells(2, 3, QString());
    EXPECT_EQ(G.CellCount(), 0);   // an emptied cell takes no room
    TObject O;
    G.SetObjects(1, 1, &O);
    EXPECT_EQ(G.Objects(1, 1), &O);
    EXPECT_EQ(G.Objects(1, 2), nullptr);
}

TEST(StringGrid, CellsAreReachableByName)
{
    TestGrid G;
    G.setObjectName(QStringLiteral("CellGrid1"));
    ASSERT_TRUE(QMetaObject::invokeMethod(&G, "SetCells", Q_ARG(int, 2), Q_ARG(int, 1), Q_ARG(QString, QStringLiteral("名称"))));
    QString Value;
    ASSERT_TRUE(QMetaObject::invokeMethod(&G, "Cells", Q_RETURN_ARG(QString, Value), Q_ARG(int, 2), Q_ARG(int, 1)));
    EXPECT_EQ(Value, QStringLiteral("名称"));
}

TEST(StringGrid, SizeRules)
{
    TestGrid G;
    G.SetCells(4, 4, QStringLiteral("gone"));
    G.SetColCount(3);
    G.SetColCount(5);
    EXPECT_TRUE(G.Cells(4, 4).isEmpty());
    EXPECT_EQ(G.ColWidths(4), 64);
    EXPECT_THROW(G.SetFixedCols(5), EInvalidGridOperation);
    EXPECT_THROW(G.SetFixedRows(-1), EInvalidGridOperation);
    G.SetRowCount(1);
    EXPECT_EQ(G.FixedRows(), 0);
    G.SetRowCount(0);
    EXPECT_EQ(G.RowCount(), 1);
    G.SetRowCount(6);
    G.SetFixedRows(2);
    EXPECT_EQ(G.Row(), 2);   // the current cell leaves the fixed area
    G.SetDefaultRowHeight(30);
    EXPECT_EQ(G.RowHeights(5), 30);
    G.SetRowHeights(5, 10);
    EXPECT_EQ(G.RowHeights(5), 10);
    EXPECT_EQ(G.RowHeights(99), 30);
}

TEST(StringGrid, GeometryWithGridLinesAndScrolling)
{
    Shown S(200, 150);
    TestGrid &G = S.Grid;
    G.SetRowCount(20);
    G.SetColCount(10);
    EXPECT_EQ(G.CellRect(2, 1), TRect(130, 25, 194, 49));
    EXPECT_EQ(G.CellRect(0, 0), TRect(0, 0, 64, 24));
    int C = -2, R = -2;
    G.MouseToCell(131, 26, C, R);
    EXPECT_EQ(C, 2);
    EXPECT_EQ(R, 1);
    G.MouseToCell(5000, 5, C, R);
    EXPECT_EQ(C, -1);
    const int Visible = G.VisibleRowCount();
    EXPECT_GT(Visible, 0);
    G.SetTopRow(5);
    EXPECT_EQ(G.CellRect(1, 5).Top, 25);
    EXPECT_TRUE(G.CellRect(1, 4).IsEmpty());   // scrolled away
    EXPECT_EQ(G.CellRect(1, 0).Top, 0);        // fixed rows stay
    int Changes = 0;
    G.OnTopLeftChanged = [&](TObject *) { ++Changes; };
    G.SetRow(19);
    EXPECT_EQ(Changes, 1);
    EXPECT_GE(19, G.TopRow());
    EXPECT_LE(19, G.TopRow() + G.VisibleRowCount() - 1);   // the current row was scrolled into view
}

TEST(StringGrid, KeyNavigationStaysInTheDataAreaAndObeysSelectCell)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.SetRowCount(8);
    Press(&G, Qt::Key_Left);
    EXPECT_EQ(G.Col(), 1);   // never into the fixed column
    Press(&G, Qt::Key_Right);
    Press(&G, Qt::Key_Down);
    EXPECT_EQ(G.Col(), 2);
    EXPECT_EQ(G.Row(), 2);
    Press(&G, Qt::Key_End);
    EXPECT_EQ(G.Col(), 4);
    Press(&G, Qt::Key_Home);
    EXPECT_EQ(G.Col(), 1);
    Press(&G, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(G.Row(), 7);
    Press(&G, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(G.Row(), 1);

    // Shift extends the range selection from the anchor.
    Press(&G, Qt::Key_Down, Qt::ShiftModifier);
    Press(&G, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(G.Selection(), (TGridRect{1, 1, 2, 2}));

    std::vector<std::tuple<TObject *, int, int>> Asked;
    G.OnSelectCell = [&](TObject *Sender, int ACol, int ARow, bool &CanSelect) {
        Asked.emplace_back(Sender, ACol, ARow);
        CanSelect = ARow != 3;
    };
    Press(&G, Qt::Key_Down);
    EXPECT_EQ(G.Row(), 2);   // refused
    ASSERT_EQ(Asked.size(), 1u);
    EXPECT_EQ(Asked[0], std::make_tuple(static_cast<TObject *>(&G), 2, 3));
}

TEST(StringGrid, TabsWrapOnlyWithTheTabsOption)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.SetOptions(G.Options() | goTabs);
    G.SetCol(4);
    quint16 Key = VK_TAB;
    G.KeyDown(Key, 0);
    EXPECT_EQ(G.Col(), 1);
    EXPECT_EQ(G.Row(), 2);
    Key = VK_TAB;
    G.KeyDown(Key, ssShift);
    EXPECT_EQ(G.Col(), 4);
    EXPECT_EQ(G.Row(), 1);
}

TEST(StringGrid, InplaceEditorWritesBackAndEscapeRestores)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.SetCells(1, 1, QStringLiteral("old"));
    std::vector<QString> Sets;
    G.OnSetEditText = [&](TObject *, int ACol, int ARow, const QString &Value) {
        Sets.push_back(QStringLiteral("%1,%2=%3").arg(ACol).arg(ARow).arg(Value));
    };
    QChar Key(QLatin1Char('n'));
    G.KeyPress(Key);
    EXPECT_FALSE(G.EditorMode());   // no editing option: typing does nothing
    G.SetOptions(G.Options() | goEditing);
    G.OnGetEditText = [](TObject *, int, int, QString &Value) { Value = Value.toUpper(); };
    Press(&G, Qt::Key_F2);
    ASSERT_TRUE(G.EditorMode());
    ASSERT_NE(G.InplaceEditor(), nullptr);
    EXPECT_EQ(G.InplaceEditor()->Text(), QStringLiteral("OLD"));
    Press(G.InplaceEditor(), Qt::Key_Escape);
    EXPECT_FALSE(G.EditorMode());
    EXPECT_EQ(G.Cells(1, 1), QStringLiteral("OLD"));   // the edit text the editor started with

    G.OnGetEditText = nullptr;
    Key = QLatin1Char('n');
    G.KeyPress(Key);
    ASSERT_TRUE(G.EditorMode());
    Press(G.InplaceEditor(), Qt::Key_E, Qt::NoModifier, QStringLiteral("e"));
    Press(G.InplaceEditor(), Qt::Key_W, Qt::NoModifier, QStringLiteral("w"));
    EXPECT_EQ(G.Cells(1, 1), QStringLiteral("new"));   // every change goes back at once
    Press(G.InplaceEditor(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    EXPECT_FALSE(G.EditorMode());
    EXPECT_EQ(G.Cells(1, 1), QStringLiteral("new"));
    EXPECT_EQ(Sets.back(), QStringLiteral("1,1=new"));

    G.SetOptions(G.Options() | goRowSelect);
    Press(&G, Qt::Key_F2);
    EXPECT_FALSE(G.EditorMode());   // row selection never edits
}

TEST(StringGrid, MovingToAnotherCellClosesTheEditor)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.SetOptions(G.Options() | goEditing);
    G.ShowEditor();
    ASSERT_TRUE(G.EditorMode());
    G.InplaceEditor()->SetText(QStringLiteral("typed"));
    G.SetRow(2);
    EXPECT_FALSE(G.EditorMode());
    EXPECT_EQ(G.Cells(1, 1), QStringLiteral("typed"));
    EXPECT_TRUE(G.Cells(1, 2).isEmpty());
}

TEST(StringGrid, MouseSelectsAndSizesColumns)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.SetOptions(G.Options() | goColSizing);
    int Clicks = 0;
    G.OnClick = [&](TObject *) { ++Clicks; };
    const TRect R = G.CellRect(3, 2);
    Click(G, R.Left + 5, R.Top + 5);
    EXPECT_EQ(G.Col(), 3);
    EXPECT_EQ(G.Row(), 2);
    EXPECT_EQ(Clicks, 1);
    Click(G, 10, 30);   // a fixed cell selects nothing
    EXPECT_EQ(G.Col(), 3);

    // Drag the line right of column 1 in the header row by 20 pixels.
    const int Edge = G.CellRect(1, 0).Right;
    const QPointF From(Edge, 5), To(Edge + 20, 5);
    QMouseEvent Down(QEvent::MouseButtonPress, From, G.viewport()->mapToGlobal(From), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Down);
    QMouseEvent Move(QEvent::MouseMove, To, G.viewport()->mapToGlobal(To), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Move);
    QMouseEvent Up(QEvent::MouseButtonRelease, To, G.viewport()->mapToGlobal(To), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Up);
    EXPECT_EQ(G.ColWidths(1), 84);
}

void Drag(TStringGrid &G, const QPointF &From, const QPointF &To)
{
    QMouseEvent Down(QEvent::MouseButtonPress, From, G.viewport()->mapToGlobal(From), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Down);
    QMouseEvent Move(QEvent::MouseMove, To, G.viewport()->mapToGlobal(To), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Move);
    QMouseEvent Up(QEvent::MouseButtonRelease, To, G.viewport()->mapToGlobal(To), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(G.viewport(), &Up);
}

TEST(StringGrid, HeadersDragColumnsAndRowsToNewPlaces)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.SetCells(1, 0, QStringLiteral("A"));
    G.SetCells(3, 0, QStringLiteral("C"));
    G.SetCells(0, 1, QStringLiteral("r1"));
    std::pair<int, int> ColMove{-1, -1};
    G.OnColumnMoved = [&](TObject *, int From, int To) { ColMove = {From, To}; };
    Drag(G, QPointF(G.CellRect(1, 0).Left + 20, 5), QPointF(G.CellRect(3, 0).Left + 20, 5));
    EXPECT_EQ(ColMove, std::make_pair(-1, -1));   // no moving without the option
    G.SetOptions(G.Options() | goColMoving | goRowMoving);
    Drag(G, QPointF(G.CellRect(1, 0).Left + 20, 5), QPointF(G.CellRect(3, 0).Left + 20, 5));
    EXPECT_EQ(ColMove, std::make_pair(1, 3));
    EXPECT_EQ(G.Cells(3, 0), QStringLiteral("A"));
    EXPECT_EQ(G.Cells(2, 0), QStringLiteral("C"));
    Drag(G, QPointF(10, G.CellRect(0, 1).Top + 5), QPointF(10, G.CellRect(0, 3).Top + 5));
    EXPECT_EQ(G.Cells(0, 3), QStringLiteral("r1"));
}

TEST(StringGrid, WheelMovesTheCurrentRow)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.DoMouseWheelDown(0, QPoint());
    EXPECT_EQ(G.Row(), 2);
    G.DoMouseWheelUp(0, QPoint());
    G.DoMouseWheelUp(0, QPoint());
    EXPECT_EQ(G.Row(), 1);
}

TEST(StringGrid, RowAndColumnStorageMoves)
{
    TestGrid G;
    for (int R = 0; R < 5; ++R)
        G.SetCells(1, R, QString::number(R));
    G.SetRowHeights(1, 40);
    std::pair<int, int> Moved{-1, -1};
    G.OnRowMoved = [&](TObject *, int From, int To) { Moved = {From, To}; };
    G.MoveRow(1, 3);
    EXPECT_EQ(Moved, std::make_pair(1, 3));
    EXPECT_EQ(G.Cells(1, 1), QStringLiteral("2"));
    EXPECT_EQ(G.Cells(1, 3), QStringLiteral("1"));
    EXPECT_EQ(G.RowHeights(3), 40);
    G.DeleteRow(3);
    EXPECT_EQ(G.RowCount(), 4);
    EXPECT_EQ(G.Cells(1, 3), QStringLiteral("4"));
    G.AssignRow(0, 1);
    EXPECT_EQ(G.Cells(1, 0), QStringLiteral("2"));

    G.SetCells(3, 2, QStringLiteral("c3"));
    G.MoveColumn(3, 1);
    EXPECT_EQ(G.Cells(1, 2), QStringLiteral("c3"));
    EXPECT_EQ(G.Cells(2, 2), QStringLiteral("3"));
    G.DeleteColumn(1);
    EXPECT_EQ(G.ColCount(), 4);
    EXPECT_EQ(G.Cells(1, 2), QStringLiteral("3"));
}

TEST(StringGrid, DefaultDrawingPaintsTextAndDrawCellEvent)
{
    Shown S;
    TestGrid &G = S.Grid;
    G.SetCells(2, 2, QStringLiteral("WWW"));
    int Drawn = 0;
    G.OnDrawCell = [&](TObject *, int ACol, int ARow, const TRect &Rect, TGridDrawState State) {
        if (ACol == 2 && ARow == 2) {
            ++Drawn;
            EXPECT_EQ(Rect, G.CellRect(2, 2));
            EXPECT_FALSE(State & gdFixed);
        }
        if (ACol == 0) {
            EXPECT_TRUE(State & gdFixed);
        }
    };
    const QImage Image = G.RenderToImage();
    EXPECT_EQ(Drawn, 1);
    const TRect R = G.CellRect(2, 2);
    int Dark = 0;
    for (int X = R.Left; X < R.Right; ++X)
        for (int Y = R.Top; Y < R.Bottom; ++Y)
            if (qGray(Image.pixel(X, Y)) < 100)
                ++Dark;
    EXPECT_GT(Dark, 10);
}

} // namespace
