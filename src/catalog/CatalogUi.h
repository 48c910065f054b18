#pragma once
// Showing a dialog modally and ending the program, the two steps of the main
// window that tests and the driver need to answer in place of a person. Every
// other question goes through the platform's prompts.

#include "platform/services/Application.h"

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;

namespace CatalogUi {

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
    // Hooks for questions and the shell: while the script is installed they stand
    // in front of the platform's prompts and shell, so every question and shell
    // call of the program reaches them.
    std::function<int(const QString &Text, const QString &Caption, unsigned Flags)> MessageBox;
    std::function<bool(const TFileDialogRequest &Request, QString &FileName)> FileDialog;
    std::function<QString(const QString &Caption)> BrowseForFolder;
    std::function<void(const QString &Target)> ShellOpen;
    std::function<void(const QString &Program, const QStringList &Args)> RunAndWait;
};
// Installs a script (nullptr restores the real behaviour). The script is not owned.
void SetScript(TScript *Script);
TScript *Script();

// The platform's wait cursor and message pump, also under this namespace.
using ::ProcessMessages;
using ::TWaitCursor;
// Opens a file, folder or address with the desktop's program (the platform's shell).
void ShellOpen(const QString &Target);
// Runs a program in its own folder and waits for its end (the platform's shell).
void RunAndWait(const QString &Program, const QStringList &Args);

// The dialog's modal result.
int ShowModal(QDialog *Dialog);
// Ends the program's event loop.
void Terminate();

} // namespace CatalogUi
