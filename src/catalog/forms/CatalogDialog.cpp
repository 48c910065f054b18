#include "CatalogDialog.h"

#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include "MainWindow.h"
#include "platform/services/Application.h"

TCatalogDialog::TCatalogDialog(QWidget *Parent, const QString &Name, const QString &Caption)
    : QDialog(Parent)
{
    setObjectName(Name);
    setWindowTitle(Caption);
    setModal(true);
}

void TCatalogDialog::Guard(const std::function<void()> &Handler)
{
    for (QWidget *W = parentWidget(); W; W = W->parentWidget())
        if (auto *Main = qobject_cast<TForm1 *>(W)) {
            Main->Guard(Handler);
            return;
        }
    try {
        Handler();
    } catch (const Exception &E) {
        ShowException(E.Message());
    }
}

bool OpenInShell(QWidget *Owner, const QString &Target)
{
    if (Shell().Open(Target))
        return true;
    MessageBox(Owner,
               QStringLiteral("无法打开“%1”。\r\n请检查它是否存在，以及系统中是否有打开它的程序。").arg(Target),
               QStringLiteral("错误"), MB_OK | MB_ICONERROR);
    return false;
}
