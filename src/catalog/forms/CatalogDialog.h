#pragma once
// TCatalogDialog: the base of the program's dialogs. Each is created at
// start-up, parented to the main window, named after its form ("Form3") so
// tests and the driver find it, and closed with a modal result.
//
// Keys: Enter presses the dialog's default button (from a text field, and from
// a grid of the dialog while none of its cells is being edited); Escape presses
// its cancel button, or closes it with result 2 (cancel) when it has none. An
// open cell editor takes both keys first (Escape cancels the edit).
//
// Screen: a dialog never comes out larger than the screen it shows on, title
// bar and buttons included (a small screen, or a large scale, gives it less
// room than it would like: its grids and lists scroll instead). Each time it is
// shown it is placed on the screen. After that the window manager and the user
// place it: when its contents lay out again it stays where they put it, only
// kept no larger than the screen; while it is still where it was placed,
// contents that grew keep it on the screen.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <initializer_list>

class QPushButton;
class QScreen;
class TCellGrid;

class TCatalogDialog : public QDialog {
    Q_OBJECT
public:
    TCatalogDialog(QWidget *Parent, const QString &Name, const QString &Caption);
    // Closes the dialog with a modal result (1 OK, 2 cancel, 3 open, 5 new, 6 all saved...).
    void SetModalResult(int Result) { done(Result); }

    // Escape and the window's close button: the cancel button's handler, else result 2.
    void reject() override;
    // Showing fits the dialog to its screen first (see above).
    void setVisible(bool Visible) override;

protected:
    // Runs an event handler: what it raises goes to the main window's error
    // handler when the dialog belongs to one, else to the standard error box.
    void Guard(const std::function<void()> &Handler);

    // The buttons Enter and Escape press (either may be null). Every push
    // button of the dialog takes Enter while it has the focus.
    void SetDialogButtons(QPushButton *DefaultButton, QPushButton *CancelButton);
    // Enter and Escape typed into Grid while it edits no cell go to the dialog.
    void PassDialogKeys(TCellGrid *Grid);
    // The Tab key visits Widgets in this order.
    static void SetTabOrder(std::initializer_list<QWidget *> Widgets);

    bool eventFilter(QObject *Watched, QEvent *Event) override;
    bool event(QEvent *Event) override;

private:
    // Where the dialog was last placed on the screen; a dialog found
    // elsewhere has been moved by the user or the window manager since.
    QPoint FPlacedAt;
    QPointer<QPushButton> FDefaultButton;
    QPointer<QPushButton> FCancelButton;
    QList<TCellGrid *> FKeyGrids;
};

// Keeps a window within the available part of Screen with room for what a
// window manager puts around it: it is made no larger than that room allows
// (never below its least size), then moved as little as needed to lie inside.
void KeepOnScreen(QWidget *Window, QScreen *Screen);
// Makes the window no larger than KeepOnScreen would, where it is.
void KeepScreenSize(QWidget *Window, QScreen *Screen);

// Opens a file, a folder or an address with the desktop's program; when that
// fails the user is told so (naming the target) and false is returned.
bool OpenInShell(QWidget *Owner, const QString &Target);
