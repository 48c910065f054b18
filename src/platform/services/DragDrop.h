#pragma once
// Starting a drag: QDrag on screen; the scripted driver installs a hook that
// delivers the data to the drop target it was told, since an offscreen session
// has no pointer to carry it.

#include <Qt>
#include <functional>

class QMimeData;
class QObject;

// Drags Data (taken over) from Source and returns the action the target chose
// (Qt::IgnoreAction when nobody took it).
Qt::DropAction StartDrag(QObject *Source, QMimeData *Data, Qt::DropActions Actions);

// A hook in place of the pointer; it does not own Data. Returns the hook installed before.
using TDragHook = std::function<Qt::DropAction(QObject *Source, QMimeData *Data)>;
TDragHook SetDragHook(TDragHook Hook);
