#pragma once
// Starting a drag: QDrag::exec behind a seam. The program runs Qt's drag loop;
// tests install a runner that plays the part of the user and the drop target
// (offscreen, Qt's loop ends at once with Qt::IgnoreAction).

#include <QMimeData>
#include <QWidget>

#include <functional>

// What the drag loop tells its source while it runs.
struct TDragCallbacks {
    // The action the target under the pointer would take (Qt::IgnoreAction: none).
    std::function<void(Qt::DropAction Action)> Feedback;
    // Asked while the drag runs: 0 go on, 1 drop, 2 cancel.
    std::function<int(bool EscapePressed, Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers)> QueryContinue;
};

using TDragRunner = std::function<Qt::DropAction(QWidget *Source, const QMimeData *Data, Qt::DropActions Allowed,
                                                 const TDragCallbacks &Callbacks)>;

// Runs a drag of Data (taken over) from Source and returns the action the
// drop took, Qt::IgnoreAction when it was cancelled or nobody took it.
Qt::DropAction ExecDrag(QWidget *Source, QMimeData *Data, Qt::DropActions Allowed, Qt::DropAction Default,
                        const TDragCallbacks &Callbacks);
// Replaces Qt's drag loop (an empty runner restores it).
void SetDragRunner(TDragRunner Runner);
