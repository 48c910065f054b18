// Drag and drop of cells: synthesized Qt drag events on the grid's viewport
// and drags out through the platform's drag seam.

#include "grid/CellGrid.h"
#include "grid/CellGridDragDrop.h"

#include "platform/services/DragDrop.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMouseEvent>
#include <QUrl>

inline void PrintTo(const QString &S, std::ostream *Out)
{
    *Out << '"' << S.toStdString() << '"';
}

namespace {

class DragGrid : public ::testing::Test {
protected:
    void SetUp() override
    {
        G.SetColCount(4);
        G.SetRowCount(6);
        G.SetOptions(G.Options() | goEditing);
        G.resize(400, 300);
        G.show();
        for (int R = 1; R < 6; ++R)
            G.SetCellText(1, R, QStringLiteral("r%1").arg(R));
    }
    void TearDown() override { SetDragHook({}); }

    QPoint CellPoint(int ACol, int ARow)
    {
        const TRect R = G.GetCellRect(ACol, ARow);
        return QPoint((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
    }
    // A drag enter, a move and a drop of Data on a cell; the drop's action.
    Qt::DropAction DropOn(int ACol, int ARow, const QMimeData &Data, bool *MoveAccepted = nullptr)
    {
        const QPoint P = CellPoint(ACol, ARow);
        QDragEnterEvent Enter(P, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(G.viewport(), &Enter);
        QDragMoveEvent Move(P, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(G.viewport(), &Move);
        if (MoveAccepted)
            *MoveAccepted = Move.isAccepted();
        if (!Move.isAccepted())
            return Qt::IgnoreAction;
        QDropEvent Drop(P, Qt::CopyAction | Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(G.viewport(), &Drop);
        return Drop.isAccepted() ? Drop.dropAction() : Qt::IgnoreAction;
    }
    void Mouse(QEvent::Type T, const QPoint &P, Qt::MouseButton Button, Qt::MouseButtons Buttons)
    {
        QMouseEvent E(T, QPointF(P), G.viewport()->mapToGlobal(QPointF(P)), Button, Buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(G.viewport(), &E);
    }
    QStringList Column1()
    {
        QStringList L;
        for (int R = 1; R < G.RowCount(); ++R)
            L << G.GetCellText(1, R);
        return L;
    }

    TCellGrid G;
};

TEST_F(DragGrid, RegisteringKeepsTheWindowsOwnDrops)
{
    TDragDropSettings *DD = G.DragDropSettings();
    EXPECT_FALSE(G.viewport()->acceptDrops());
    DD->SetOleDropTarget(true);
    EXPECT_TRUE(G.viewport()->acceptDrops());
    ASSERT_TRUE(DD->DropTarget());
    DD->SetOleDropTarget(false);
    EXPECT_FALSE(G.viewport()->acceptDrops());
    EXPECT_FALSE(DD->DropTarget());
    // A window that took drops before keeps taking them.
    G.viewport()->setAcceptDrops(true);
    DD->SetOleDropTarget(true);
    DD->SetOleDropTarget(false);
    EXPECT_TRUE(G.viewport()->acceptDrops());

    DD->SetOleDropRTF(true);
    EXPECT_TRUE(OleDropRTFAllowed);
    DD->SetOleDropRTF(false);
    EXPECT_FALSE(OleDropRTFAllowed);
}

TEST_F(DragGrid, TextDropsInsertRowsAndHeaderRefuses)
{
    TDragDropSettings *DD = G.DragDropSettings();
    DD->SetOleDropTarget(true);
    DD->OleInsertRows = true;
    G.SetOptions(G.Options() | goRowSelect);
    TRect Dropped;
    G.OnOleDropped = [&](TObject *, const TRect &R) { Dropped = R; };
    QMimeData Text;
    Text.setText(QStringLiteral("a\tb\r\nc\td\r\ne\tf\r\n"));

    // Over the header row a text drag is refused and shows no arrow.
    bool Accepted = true;
    EXPECT_EQ(DropOn(2, 0, Text, &Accepted), Qt::IgnoreAction);
    EXPECT_FALSE(Accepted);
    EXPECT_FALSE(G.ArrowWindow(2)->isVisible());
    // Over a data row the row arrow shows.
    QDragEnterEvent Enter(CellPoint(2, 2), Qt::MoveAction, &Text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(G.viewport(), &Enter);
    EXPECT_TRUE(G.ArrowWindow(2)->isVisible());
    QDragLeaveEvent Leave;
    QCoreApplication::sendEvent(G.viewport(), &Leave);
    EXPECT_FALSE(G.ArrowWindow(2)->isVisible());

    // Three lines are three new rows at the drop row, from the first data column.
    EXPECT_EQ(DropOn(2, 2, Text), Qt::MoveAction);
    EXPECT_EQ(G.RowCount(), 9);
    EXPECT_EQ(Column1(), (QStringList{QStringLiteral("r1"), QStringLiteral("a"), QStringLiteral("c"),
                                      QStringLiteral("e"), QStringLiteral("r2"), QStringLiteral("r3"),
                                      QStringLiteral("r4"), QStringLiteral("r5")}));
    EXPECT_EQ(G.GetCellText(2, 4), QStringLiteral("f"));
    EXPECT_EQ(Dropped, TRect(1, 2, 2, 4));

    // The drop event may refuse; refused drops take no effect.
    G.OnOleDrop = [](TObject *, int, int, const QString &, bool &Allow) { Allow = false; };
    EXPECT_EQ(DropOn(2, 2, Text), Qt::IgnoreAction);
    EXPECT_EQ(G.RowCount(), 9);
}

TEST_F(DragGrid, RichTextOnlyIntoEditableCellsAndFilesOneAtATime)
{
    TestSupport::TempDir Dir;
    TDragDropSettings *DD = G.DragDropSettings();
    DD->SetOleDropTarget(true);
    DD->SetOleDropRTF(true);
    G.OnCanEditCell = [](TObject *, int ARow, int, bool &CanEdit) { CanEdit = ARow != 3; };
    QMimeData Rich;
    Rich.setData(QStringLiteral("text/rtf"), QByteArray("{\\rtf1 z}"));
    EXPECT_EQ(DropOn(2, 2, Rich), Qt::MoveAction);
    EXPECT_EQ(G.GetCellText(2, 2), QStringLiteral("{\\rtf1 z}"));
    EXPECT_EQ(DropOn(2, 3, Rich), Qt::IgnoreAction);
    EXPECT_EQ(G.GetCellText(2, 3), QString());
    DD->SetOleDropRTF(false);

    // One file whose name holds ".CSV" is imported; two files do nothing.
    const QString Csv = Dir.File(QStringLiteral("表.csv.txt"));
    TestSupport::WriteAll(Csv, "x;y\r\n1;2\r\n");
    QStringList Asked;
    G.OnOleDropFile = [&](TObject *, int, int, const QString &Name, bool &) { Asked << Name; };
    QMimeData Two;
    Two.setUrls({QUrl::fromLocalFile(Csv), QUrl::fromLocalFile(Csv)});
    DropOn(2, 2, Two);
    EXPECT_TRUE(Asked.isEmpty());
    QMimeData One;
    One.setUrls({QUrl::fromLocalFile(Csv)});
    DropOn(2, 2, One);
    EXPECT_EQ(Asked, QStringList{Csv});
    EXPECT_EQ(G.GetCellText(0, 0), QStringLiteral("x"));
    EXPECT_EQ(G.GetCellText(1, 1), QStringLiteral("2"));
}

TEST_F(DragGrid, ColumnsDragBetweenHeaders)
{
    TDragDropSettings *DD = G.DragDropSettings();
    DD->SetOleDropTarget(true);
    DD->OleDropSource = true;
    DD->OleColumnDragDrop = true;
    int DropCol = -1, AtCol = -1;
    G.OnOleDropCol = [&](TObject *, int, int ACol, int Col) {
        DropCol = Col;
        AtCol = ACol;
    };
    // The column dragged from header 1 is dropped on header 3 of the same grid.
    bool PictureShown = false;
    SetDragHook([&](QObject *, QMimeData *Data) {
        PictureShown = G.DragPicture()->isVisible();
        QMimeData Copy;
        for (const QString &F : Data->formats())
            Copy.setData(F, Data->data(F));
        return DropOn(3, 0, Copy);
    });
    Mouse(QEvent::MouseButtonPress, CellPoint(1, 0), Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(G.OleDragArmed());
    Mouse(QEvent::MouseMove, CellPoint(1, 0) + QPoint(9, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(PictureShown);
    EXPECT_FALSE(G.DragPicture()->isVisible());
    EXPECT_EQ(DropCol, 1);
    EXPECT_EQ(AtCol, 3);
}

TEST_F(DragGrid, DragsOutMoveRemoveOrKeepRows)
{
    TDragDropSettings *DD = G.DragDropSettings();
    DD->OleDropSource = true;
    DD->OleRemoveRows = true;
    G.SetOptions(G.Options() | goRowSelect);
    G.MouseActions()->DisjunctRowSelect = true;
    auto Arm = [&](int Row) {
        TGridRect S;
        S.Left = 1;
        S.Top = Row;
        S.Right = 3;
        S.Bottom = Row + 1;
        G.SetSelection(S);
        G.ClearRowSelect();
        G.SetRowSelect(Row, true);
        G.SetRowSelect(Row + 1, true);
    };
    std::vector<int> Stops;
    QString Dragged;
    G.OnOleDragStop = [&](TObject *, int Effect) { Stops.push_back(Effect); };
    Qt::DropAction Answer = Qt::IgnoreAction;
    SetDragHook([&](QObject *, QMimeData *Data) {
        Dragged = Data->text();
        return Answer;
    });
    auto Drag = [&](int Row) {
        Mouse(QEvent::MouseButtonPress, CellPoint(2, Row), Qt::LeftButton, Qt::LeftButton);
        Mouse(QEvent::MouseMove, CellPoint(2, Row) + QPoint(6, 0), Qt::NoButton, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, CellPoint(2, Row) + QPoint(6, 0), Qt::LeftButton, Qt::NoButton);
    };

    // Cancelled: nothing changes.
    Arm(2);
    Drag(2);
    EXPECT_EQ(Dragged, QStringLiteral("r2\t\t\r\nr3\t\t\r\n"));
    EXPECT_EQ(G.RowCount(), 6);
    // Moved elsewhere: the dragged rows go.
    Answer = Qt::MoveAction;
    Arm(2);
    Drag(2);
    EXPECT_EQ(Column1(), (QStringList{QStringLiteral("r1"), QStringLiteral("r4"), QStringLiteral("r5")}));
    ASSERT_EQ(Stops.size(), 2u);
    EXPECT_EQ(Stops[0], 0);
    EXPECT_EQ(Stops[1], 2);

    // Moved within the grid with rows inserted above: the rows arrive and the sources go.
    DD->SetOleDropTarget(true);
    DD->OleInsertRows = true;
    SetDragHook([&](QObject *, QMimeData *Data) {
        QMimeData Copy;
        Copy.setText(Data->text());
        return DropOn(2, 1, Copy);
    });
    Arm(2);
    Drag(2);
    EXPECT_EQ(Column1(), (QStringList{QStringLiteral("r4"), QStringLiteral("r5"), QStringLiteral("r1")}));

    // Dropped onto its own rows: nothing changes at all.
    SetDragHook([&](QObject *, QMimeData *Data) {
        QMimeData Copy;
        Copy.setText(Data->text());
        return DropOn(2, 2, Copy);
    });
    Arm(1);
    Drag(1);
    EXPECT_EQ(Column1(), (QStringList{QStringLiteral("r4"), QStringLiteral("r5"), QStringLiteral("r1")}));
    EXPECT_EQ(Stops.back(), 0);
}

} // namespace
