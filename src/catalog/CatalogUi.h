#pragma once
// Showing a dialog modally and ending the program, the two steps of the main
// window that tests and the driver need to answer in place of a person. Every
// other question goes through the platform's prompts.

#include <functional>

class QDialog;

namespace CatalogUi {

struct TScript {
    std::function<int(QDialog *Dialog)> ShowModal;
    std::function<void()> Terminate;
};
// Installs a script (nullptr restores the real behaviour). The script is not owned.
void SetScript(TScript *Script);

// The dialog's modal result.
int ShowModal(QDialog *Dialog);
// Ends the program's event loop.
void Terminate();

} // namespace CatalogUi
