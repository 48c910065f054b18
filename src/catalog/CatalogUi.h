#pragma once
// Showing a dialog modally and ending the program, the two steps of the main
// window that tests and the driver need to answer in place of a person. Every
// other question goes through the platform's prompts.

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
    // Earlier hooks for questions and the shell. The main window now asks the
    // platform's prompts and shell directly, so these are no longer called.
    std::function<int(const QString &Text, const QString &Caption, unsigned Flags)> MessageBox;
    std::function<bool(const TFileDialogRequest &Request, QString &FileName)> FileDialog;
    std::function<QString(const QString &Caption)> BrowseForFolder;
    std::function<void(const QString &Target)> ShellOpen;
    std::function<void(const QString &Program, const QStringList &Args)> RunAndWait;
};
// Installs a script (nullptr restores the real behaviour). The script is not owned.
void SetScript(TScript *Script);
TScript *Script();

// The dialog's modal result.
int ShowModal(QDialog *Dialog);
// Ends the program's event loop.
void Terminate();

} // namespace CatalogUi
