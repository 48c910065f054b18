#pragma once
// TCatalogDialog: the base of the program's dialogs. Each is created at
// start-up, parented to the main window, named after its form ("Form3") so
// tests and the driver find it, and closed with a modal result.

#include <QDialog>
#include <QString>
#include <functional>

class TCatalogDialog : public QDialog {
    Q_OBJECT
public:
    TCatalogDialog(QWidget *Parent, const QString &Name, const QString &Caption);
    // Closes the dialog with a modal result (1 OK, 2 cancel, 3 open, 5 new, 6 all saved...).
    void SetModalResult(int Result) { done(Result); }

protected:
    // Runs an event handler: what it raises goes to the main window's error
    // handler when the dialog belongs to one, else to the standard error box.
    void Guard(const std::function<void()> &Handler);
};

// Opens a file, a folder or an address with the desktop's program; when that
// fails the user is told so (naming the target) and false is returned.
bool OpenInShell(QWidget *Owner, const QString &Target);
