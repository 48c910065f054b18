#include "DragDrop.h"

#include <QDrag>
#include <QMimeData>
#include <memory>

static TDragHook &CurrentHook()
{
    static TDragHook Hook;
    return Hook;
}

Qt::DropAction StartDrag(QObject *Source, QMimeData *Data, Qt::DropActions Actions)
{
    if (const TDragHook Hook = CurrentHook()) {
        std::unique_ptr<QMimeData> Owned(Data);
        return Hook(Source, Owned.get());
    }
    auto *Drag = new QDrag(Source);
    Drag->setMimeData(Data);
    return Drag->exec(Actions);
}

TDragHook SetDragHook(TDragHook Hook)
{
    TDragHook Old = std::move(CurrentHook());
    CurrentHook() = std::move(Hook);
    return Old;
}
