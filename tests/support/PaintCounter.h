#pragma once
// Counts the paints a widget receives, and the events that reach the program
// while it paints.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

namespace TestSupport {

class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QObject *Widget) { Widget->installEventFilter(this); }
    int Paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *Event) override
    {
        Paints += Event->type() == QEvent::Paint;
        return false;
    }
};

// Repaints widgets and counts the timers, queued calls and posted events
// delivered while they paint: repaint() only paints, so they arrive there only
// when something in a paint runs the event loop. A timer that always fires
// and an event posted before each repaint make sure something is waiting.
class TEventsInPaint : public QObject {
public:
    TEventsInPaint()
    {
        QCoreApplication::instance()->installEventFilter(this);
        FTick.setInterval(0);
        FTick.start();
    }
    ~TEventsInPaint() override { QCoreApplication::instance()->removeEventFilter(this); }

    void Repaint(QWidget *Widget)
    {
        QCoreApplication::postEvent(this, new QEvent(QEvent::User));
        FPainting = true;
        Widget->repaint();
        FPainting = false;
    }

    int Taken = 0;   // delivered inside a repaint
    int Seen = 0;    // delivered at all

protected:
    bool eventFilter(QObject *, QEvent *Event) override
    {
        switch (Event->type()) {
        case QEvent::Timer:
        case QEvent::MetaCall:
        case QEvent::User:
        case QEvent::DeferredDelete:
            ++Seen;
            Taken += FPainting;
            break;
        default:
            break;
        }
        return false;
    }

private:
    QTimer FTick;
    bool FPainting = false;
};

} // namespace TestSupport
