#include "DragDrop.h"

#include <QDrag>

#include <memory>

namespace {
TDragRunner &Runner()
{
    static TDragRunner R;
    return R;
}
} // namespace

void SetDragRunner(TDragRunner R)
{
    Runner() = std::move(R);
}

Qt::DropAction ExecDrag(QWidget *Source, QMimeData *Data, Qt::DropActions Allowed, Qt::DropAction Default,
                        const TDragCallbacks &Callbacks)
{
    if (Runner()) {
        std::unique_ptr<QMimeData> Owned(Data);
        return Runner()(Source, Owned.get(), Allowed, Callbacks);
    }
    auto *Drag = new QDrag(Source);
    Drag->setMimeData(Data);
    if (Callbacks.Feedback)
        QObject::connect(Drag, &QDrag::actionChanged, Drag, [F = Callbacks.Feedback](Qt::DropAction A) { F(A); });
    const Qt::DropAction Result = Drag->exec(Allowed, Default);
    Drag->deleteLater();
    return Result;
}
