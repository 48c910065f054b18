#pragma once
// The application object and the services every window relies on: the last-resort
// error handler, the wait cursor, one message-pumping helper with a busy lock.

#include "platform/core/Types.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <type_traits>

class QDialog;
class QLocale;

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;

    // The running application object, or nullptr when the QApplication is not ours (some tests).
    static TApplication *Instance();

    // The application's title (captions of the standard boxes). It is not Qt's
    // application display name, which the platform would append to the title of
    // every window.
    QString Title() const;
    void SetTitle(const QString &Value);

    // Application.MessageBox: a message box owned by the active window (or the main window).
    int MessageBox(const QString &Text, const QString &Caption, unsigned Flags = 0);

    // Hints (tool tips): shown at all, and the delay before one shows (ms; the platform's is 500).
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool Value) { FShowHint = Value; }
    int HintPause() const;
    void SetHintPause(int Ms);

    // Called instead of the standard handling when set (Sender, the error).
    std::function<void(TObject *Sender, const Exception &E)> OnException;

    // Catches what escapes an event handler.
    bool notify(QObject *Receiver, QEvent *Event) override;

private:
    bool FShowHint = true;
    QString FTitle;
};

// The title of the running application, else the application's name.
QString ApplicationTitle();

// Installs Qt's own translations for Locale (its standard buttons, the edit menus
// of text fields, the file, font and colour dialogs, the browser's menus) from
// Qt's translations folder. False when Qt's base translation is not installed;
// Qt's texts then stay English.
bool InstallQtTranslations(const QLocale &Locale);

// The box that shows the progress of long operations (the main window's); the error
// handler hides it.
void SetProgressBox(QWidget *Box);
QWidget *ProgressBox();

// The error handler: the normal cursor comes back, the progress box of the running
// operation disappears and the error is shown with the application's standard error box
// (its message, the application title, an error icon, OK). EAbort shows nothing.
// Handles the current exception (call from a catch block).
void HandleException(TObject *Sender = nullptr);
void HandleException(std::exception_ptr E, TObject *Sender = nullptr);
// The standard error box alone.
void ShowException(const QString &Message);

// Runs a handler; whatever it throws goes to the error handler. Use for every slot
// connected to a signal, since exceptions must not unwind through Qt's signal code:
//   connect(Button, &QPushButton::clicked, this, Guarded([this] { Button1Click(this); }));
namespace Detail {
// Calls a handler without the signal's arguments. Taking them keeps the call
// dependent on them, so it is compiled only where it is used.
template <typename H, typename... A>
void CallIgnoringArguments(H &Handler, A &&...)
{
    Handler();
}
} // namespace Detail

template <typename F>
auto Guarded(F Handler)
{
    return [Handler = std::move(Handler)](auto &&...Args) mutable {
        try {
            // A handler may ignore the signal's arguments (clicked(bool) calling a plain function).
            if constexpr (std::is_invocable_v<F &, decltype(Args)...>)
                Handler(std::forward<decltype(Args)>(Args)...);
            else
                Detail::CallIgnoringArguments(Handler, std::forward<decltype(Args)>(Args)...);
        } catch (...) {
            HandleException();
        }
    };
}

// ---- the cursor ----
// The hourglass for the lifetime of the object (nests).
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;

private:
    unsigned FGeneration;
};
// Switch the hourglass on for code that cannot hold a TWaitCursor; RestoreCursor ends it.
void ShowWaitCursor();
// Back to the normal cursor, whatever was set before (the error handler calls it).
void RestoreCursor();
bool WaitCursorShown();

// ---- pumping messages during long work ----
// Handles pending events once. User input for windows held by a TBusyLock is dropped.
void ProcessMessages();

// Locks a window (its controls, menus, shortcuts and the windows it showed before)
// against mouse and keyboard input and closing while long work pumps events. Other
// windows stay usable, and so does every window that comes up while the lock is held:
// the boxes and dialogs the work asks its questions in, a wait box with its cancel
// button. A window that was up before stays locked even when it is shown again
// (restored from minimised, hidden and shown).
class TBusyLock {
public:
    explicit TBusyLock(QWidget *Window);
    ~TBusyLock();
    TBusyLock(const TBusyLock &) = delete;
    TBusyLock &operator=(const TBusyLock &) = delete;

private:
    QPointer<QWidget> FWindow;
};
bool IsBusy(const QWidget *Window);
// A control inside a locked window that stays usable (the cancel button of a
// progress box).
void KeepUsableWhileBusy(QWidget *Widget);

// ---- modal dialogs and the end of the run ----
// Shows Dialog modally and returns its modal result.
int ShowModal(QDialog *Dialog);
// Ends the application's event loop, and with it the program.
void Terminate();
// What tests and the driver put in place of a dialog's own modal loop and of the
// end of the run; an empty hook leaves the real behaviour.
struct TModalHooks {
    std::function<int(QDialog *Dialog)> ShowModal;
    std::function<void()> Terminate;
};
// Installs Hooks and returns the ones installed before.
TModalHooks SetModalHooks(TModalHooks Hooks);

// ---- the warning sound ----
// Plays the system's warning sound (Type names the sound; there is only one here).
// The count of beeps so far lets tests see that an input was refused audibly.
void MessageBeep(unsigned Type);
int MessageBeepCount();
