#pragma once
// Private window messages: numbered messages between windows, delivered later
// (PostMessage, through the event queue) or at once (SendMessage). A receiver derives
// from TMessageTarget (beside its QWidget base) and handles them in WndProc.

#include <QtGlobal>
#include <memory>

constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_COPYDATA = 0x004A;

// The record a WM_COPYDATA message (or a private one of the same layout) points to.
struct TCopyDataStruct {
    quintptr dwData = 0;
    quint32 cbData = 0;
    const void *lpData = nullptr;
};

class TMessageReceiver;

class TMessageTarget {
public:
    TMessageTarget();
    virtual ~TMessageTarget();
    TMessageTarget(const TMessageTarget &) = delete;
    TMessageTarget &operator=(const TMessageTarget &) = delete;

    // Handles one message; the result goes back to SendMessage.
    virtual qintptr WndProc(unsigned Msg, qintptr WParam, qintptr LParam) = 0;

private:
    friend bool PostMessage(TMessageTarget *, unsigned, qintptr, qintptr);
    std::unique_ptr<TMessageReceiver> FReceiver;
};

// Queues the message; it is handled after the events already waiting. A message still
// queued when the target is destroyed is dropped. An exception escaping the handler goes
// to the application's error handler. False when there is no target.
bool PostMessage(TMessageTarget *Target, unsigned Msg, qintptr WParam = 0, qintptr LParam = 0);
// Handles the message now and returns the handler's result (0 without a target, and 0
// when the handler failed: its error went to the error handler).
qintptr SendMessage(TMessageTarget *Target, unsigned Msg, qintptr WParam = 0, qintptr LParam = 0);
