#include "Messages.h"
#include "Application.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace {

QEvent::Type MessageEventType()
{
    static const QEvent::Type Type = QEvent::Type(QEvent::registerEventType());
    return Type;
}

class TMessageEvent : public QEvent {
public:
    TMessageEvent(unsigned AMsg, qintptr AWParam, qintptr ALParam)
        : QEvent(MessageEventType()), Msg(AMsg), WParam(AWParam), LParam(ALParam)
    {
    }
    unsigned Msg;
    qintptr WParam;
    qintptr LParam;
};

} // namespace

// The queue end of a target: posted messages wait in Qt's event queue addressed to it,
// and die with it.
class TMessageReceiver : public QObject {
public:
    explicit TMessageReceiver(TMessageTarget *ATarget) : Target(ATarget) {}
    TMessageTarget *Target;

protected:
    bool event(QEvent *E) override
    {
        if (E->type() != MessageEventType())
            return QObject::event(E);
        const auto *M = static_cast<TMessageEvent *>(E);
        try {
            Target->WndProc(M->Msg, M->WParam, M->LParam);
        } catch (...) {
            HandleException();
        }
        return true;
    }
};

TMessageTarget::TMessageTarget()
    : FReceiver(std::make_unique<TMessageReceiver>(this))
{
}

TMessageTarget::~TMessageTarget() = default;

bool PostMessage(TMessageTarget *Target, unsigned Msg, qintptr WParam, qintptr LParam)
{
    if (!Target)
        return false;
    QCoreApplication::postEvent(Target->FReceiver.get(), new TMessageEvent(Msg, WParam, LParam));
    return true;
}

qintptr SendMessage(TMessageTarget *Target, unsigned Msg, qintptr WParam, qintptr LParam)
{
    if (!Target)
        return 0;
    // As with a posted message, an error of the receiver is the receiver's: the error
    // handler shows it and the sender goes on with the result 0.
    try {
        return Target->WndProc(Msg, WParam, LParam);
    } catch (...) {
        HandleException();
        return 0;
    }
}
