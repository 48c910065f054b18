#include "CatalogDialog.h"

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
