#pragma once
// The user-facing services the catalog forms call: message boxes, file and
// folder dialogs, modal dialogs, the wait cursor, the shell and the process
// runner. Each is one function here, so the forms have one call site per
// service; a test installs a script that answers instead of the user and
// records every question.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;
class QDialog;

namespace CatalogUi {

// Buttons and icons of a message box, and its answers (the values the forms compare).
enum : unsigned {
    MB_OK = 0x00,
    MB_OKCANCEL = 0x01,
    MB_YESNOCANCEL = 0x03,
    MB_YESNO = 0x04,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct TFileDialogRequest {
    bool Save = false;
    QString Filter;        // "text|mask|text|mask..."
    int FilterIndex = 1;
    QString InitialDir;
    QString FileName;
    bool OverwritePrompt = false;
};

// Answers given instead of the user. Every function left empty falls back to
// the real dialog; a script sets the ones its test expects.
struct TScript {
    std::function<int(const QString &Text, const QString &Caption, unsigned Flags)> MessageBox;
    std::function<bool(const TFileDialogRequest &Request, QString &FileName)> FileDialog;
    std::function<QString(const QString &Caption)> BrowseForFolder;
    std::function<int(QDialog *Dialog)> ShowModal;
    std::function<void(const QString &Target)> ShellOpen;
    std::function<void(const QString &Program, const QStringList &Args)> RunAndWait;
    std::function<void()> Terminate;
};
// Installs a script (nullptr restores the real services). The script is not owned.
void SetScript(TScript *Script);
TScript *Script();

int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags);
bool FileDialog(QWidget *Owner, const TFileDialogRequest &Request, QString &FileName);
QString BrowseForFolder(QWidget *Owner, const QString &Caption);
int ShowModal(QDialog *Dialog);
void ShellOpen(const QString &Target);
// Starts Program with Args in Program's folder and waits for it to end; a failed start is ignored.
void RunAndWait(const QString &Program, const QStringList &Args);
void ShowError(QWidget *Owner, const QString &Text);
void ProcessMessages();
void BeginWait();
void EndWait();
// Ends the program's event loop.
void Terminate();

// The wait cursor for the life of a scope.
class TWaitCursor {
public:
    TWaitCursor() { BeginWait(); }
    ~TWaitCursor() { EndWait(); }
    TWaitCursor(const TWaitCursor &) = delete;
    TWaitCursor &operator=(const TWaitCursor &) = delete;
};

} // namespace CatalogUi
