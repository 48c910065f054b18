#pragma once
// Showing a dialog modally and ending the program, the two steps of the main
// window that tests and the driver need to answer in place of a person. Every
// other question goes through the platform's prompts.

#include "platform/services/Application.h"
#include "platform/services/Prompts.h"

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

namespace CatalogUi {

// The message box, its flags and answers, and the wait cursor, as the forms
// reached them through this header: the platform's own under their old names.
using ::IDCANCEL;
using ::IDNO;
using ::IDOK;
using ::IDYES;
using ::MB_ICONERROR;
using ::MB_ICONINFORMATION;
using ::MB_ICONQUESTION;
using ::MB_ICONWARNING;
using ::MB_OK;
using ::MB_OKCANCEL;
using ::MB_YESNO;
using ::MB_YESNOCANCEL;
using ::MessageBox;
using ::ProcessMessages;
using ::TWaitCursor;

// A file dialog as the earlier hooks described it.
struct TFileDialogRequest {
    bool Save = false;
    QString Filter;
    int FilterIndex = 1;
    QString InitialDir;
    QString FileName;
    bool OverwritePrompt = false;
};

struct TScript {
    std::function<int(QDialog *Dialog)> ShowModal;
    std::function<void()> Terminate;
    // Hooks for questions and the shell: while set, the platform's prompts and
    // shell answer through them.
    std::function<int(const QString &Text, const QString &Caption, unsigned Flags)> MessageBox;
    std::function<bool(const TFileDialogRequest &Request, QString &FileName)> FileDialog;
    std::function<QString(const QString &Caption)> BrowseForFolder;
    std::function<void(const QString &Target)> ShellOpen;
    std::function<void(const QString &Program, const QStringList &Args)> RunAndWait;
};
// Installs a script (nullptr restores the real behaviour). The script is not owned.
// While a script with question or shell hooks is installed, the platform's
// prompts and shell answer through those hooks (and through the prompts and
// shell installed before for everything the script leaves empty).
void SetScript(TScript *Script);
TScript *Script();

// The dialog's modal result.
int ShowModal(QDialog *Dialog);
// Ends the program's event loop.
void Terminate();

// The earlier calls for the services the platform now provides.
bool FileDialog(QWidget *Owner, const TFileDialogRequest &Request, QString &FileName);
QString BrowseForFolder(QWidget *Owner, const QString &Caption);
void ShellOpen(const QString &Target);
void RunAndWait(const QString &Program, const QStringList &Args);
void ShowError(QWidget *Owner, const QString &Text);

} // namespace CatalogUi
