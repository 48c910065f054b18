// Commands of quillbook-drive that work a grid as a user would with the mouse:
//   select-cell GRID COL ROW   makes a cell the current one (the grid's own
//                              selection events follow)
//   drag FROM TO               drags from one place to another; a place is a
//                              widget's name or GRID:COL:ROW for a grid cell.
// The source starts its drag itself (pressed and moved with the left button);
// the data it gives is carried to the target as enter, move and drop events.

#include "DriveCommands.h"

#include "catalog/forms/ProductGrid.h"
#include "platform/services/DragDrop.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace {

int Number(const QString &S, const char *What)
{
    bool Ok = false;
    const int V = S.toInt(&Ok);
    if (!Ok)
        throw EDriveError(QStringLiteral("%1 must be a whole number, not \"%2\"").arg(QString::fromLatin1(What), S));
    return V;
}

TStringGrid *GridNamed(TDriveContext &C, const QString &Name)
{
    auto *Grid = qobject_cast<TStringGrid *>(C.FindWidget(Name));
    if (!Grid)
        throw EDriveError(QStringLiteral("%1 is not a grid").arg(Name));
    return Grid;
}

void CheckCell(TStringGrid *Grid, const QString &Name, int ACol, int ARow)
{
    if (ACol < 0 || ARow < 0 || ACol >= Grid->ColCount() || ARow >= Grid->RowCount())
        throw EDriveError(QStringLiteral("%1 has no cell %2, %3").arg(Name).arg(ACol).arg(ARow));
}

void SelectCell(TDriveContext &C, const QStringList &A)
{
    TStringGrid *Grid = GridNamed(C, A[0]);
    const int ACol = Number(A[1], "COL"), ARow = Number(A[2], "ROW");
    CheckCell(Grid, A[0], ACol, ARow);
    if (auto *Products = qobject_cast<TProductGrid *>(Grid)) {
        Products->FocusCell(ACol, ARow);
    } else {
        Grid->SetCol(ACol);
        Grid->SetRow(ARow);
    }
    if (Grid->Col() != ACol || Grid->Row() != ARow)
        throw EDriveError(QStringLiteral("%1 refused cell %2, %3").arg(A[0]).arg(ACol).arg(ARow));
}

// One end of a drag: the widget that gets the events and the point in it.
struct TPlace {
    QWidget *Widget = nullptr;
    QPoint At;
};

TPlace PlaceOf(TDriveContext &C, const QString &Place)
{
    const QStringList Fields = Place.split(QLatin1Char(':'));
    if (Fields.size() == 1) {
        QWidget *W = C.FindWidget(Place);
        if (!W->isVisible())
            throw EDriveError(QStringLiteral("%1 is hidden").arg(Place));
        return {W, QPoint(W->width() / 2, W->height() / 2)};
    }
    if (Fields.size() != 3)
        throw EDriveError(QStringLiteral("a place is NAME or GRID:COL:ROW, not \"%1\"").arg(Place));
    TStringGrid *Grid = GridNamed(C, Fields[0]);
    const int ACol = Number(Fields[1], "COL"), ARow = Number(Fields[2], "ROW");
    CheckCell(Grid, Fields[0], ACol, ARow);
    TRect R = Grid->CellRect(ACol, ARow);
    if (R.Right <= R.Left) {
        Grid->SetTopRow(qMax(Grid->FixedRows(), ARow));
        R = Grid->CellRect(ACol, ARow);
    }
    if (R.Right <= R.Left)
        throw EDriveError(QStringLiteral("cell %1 of %2 cannot be shown").arg(Place, Fields[0]));
    return {Grid->viewport(), QPoint((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2)};
}

void SendMouse(QWidget *W, QEvent::Type Type, const QPoint &At, Qt::MouseButton Button, Qt::MouseButtons Buttons)
{
    QMouseEvent E(Type, QPointF(At), QPointF(W->mapToGlobal(At)), Button, Buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(W, &E);
}

Qt::DropAction Deliver(const TPlace &Target, QMimeData *Data)
{
    const Qt::DropActions Actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent Enter(Target.At, Actions, Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target.Widget, &Enter);
    if (!Enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent Move(Target.At, Actions, Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target.Widget, &Move);
    if (!Move.isAccepted())
        return Qt::IgnoreAction;
    QDropEvent Drop(QPointF(Target.At), Actions, Data, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Target.Widget, &Drop);
    return Drop.isAccepted() ? Drop.dropAction() : Qt::IgnoreAction;
}

void Drag(TDriveContext &C, const QStringList &A)
{
    const TPlace From = PlaceOf(C, A[0]);
    const TPlace To = PlaceOf(C, A[1]);
    bool Started = false;
    Qt::DropAction Result = Qt::IgnoreAction;
    TDragHook Before = SetDragHook([&](QObject *, QMimeData *Data) {
        Started = true;
        Result = Deliver(To, Data);
        return Result;
    });
    struct TRestore {
        TDragHook &Hook;
        ~TRestore() { SetDragHook(std::move(Hook)); }
    } Restore{Before};
    const QPoint Away = From.At + QPoint(QApplication::startDragDistance() + 12, 0);
    SendMouse(From.Widget, QEvent::MouseButtonPress, From.At, Qt::LeftButton, Qt::LeftButton);
    SendMouse(From.Widget, QEvent::MouseMove, Away, Qt::NoButton, Qt::LeftButton);
    SendMouse(From.Widget, QEvent::MouseButtonRelease, Away, Qt::LeftButton, Qt::NoButton);
    if (!Started)
        throw EDriveError(QStringLiteral("%1 started no drag").arg(A[0]));
    if (Result == Qt::IgnoreAction)
        throw EDriveError(QStringLiteral("%1 did not take the drop").arg(A[1]));
}

const bool Registered = [] {
    RegisterDriveCommand({QStringLiteral("select-cell"), QStringLiteral("GRID COL ROW"),
                          QStringLiteral("make a cell of a named grid the current cell"), 3, 3, false, true, SelectCell});
    RegisterDriveCommand({QStringLiteral("drag"), QStringLiteral("FROM TO"),
                          QStringLiteral("drag with the left button from FROM to TO; each is a widget's name or "
                                         "GRID:COL:ROW for a grid cell"),
                          2, 2, false, true, Drag});
    return true;
}();

} // namespace
