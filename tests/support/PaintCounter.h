#pragma once
// Counts the paints a widget receives.

#include <QEvent>
#include <QObject>

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

} // namespace TestSupport
