#include "CatalogDialog.h"

#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include "MainWindow.h"
#include "grid/CellGrid.h"
#include "platform/services/Application.h"

#include <QKeyEvent>
#include <QPushButton>

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

void TCatalogDialog::reject()
{
    if (FCancelButton && FCancelButton->isVisible() && FCancelButton->isEnabled()) {
        FCancelButton->click();
        // A handler that keeps the dialog open keeps it open.
        return;
    }
    done(2);
}

void TCatalogDialog::SetDialogButtons(QPushButton *DefaultButton, QPushButton *CancelButton)
{
    for (QPushButton *B : findChildren<QPushButton *>())
        B->setAutoDefault(true);
    FDefaultButton = DefaultButton;
    FCancelButton = CancelButton;
    if (DefaultButton)
        DefaultButton->setDefault(true);
}

void TCatalogDialog::PassDialogKeys(TCellGrid *Grid)
{
    FKeyGrids.append(Grid);
    Grid->installEventFilter(this);
}

void TCatalogDialog::SetTabOrder(std::initializer_list<QWidget *> Widgets)
{
    QWidget *Previous = nullptr;
    for (QWidget *W : Widgets) {
        if (Previous)
            QWidget::setTabOrder(Previous, W);
        Previous = W;
    }
}

bool TCatalogDialog::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::KeyPress)
        for (TCellGrid *Grid : std::as_const(FKeyGrids)) {
            if (Watched != Grid || Grid->Editing())
                continue;
            const auto *Key = static_cast<QKeyEvent *>(Event);
            if (Key->modifiers() & ~Qt::KeypadModifier)
                break;
            if (Key->key() == Qt::Key_Escape) {
                reject();
                return true;
            }
            if ((Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter) && FDefaultButton) {
                if (FDefaultButton->isVisible() && FDefaultButton->isEnabled())
                    FDefaultButton->click();
                return true;
            }
            break;
        }
    return QDialog::eventFilter(Watched, Event);
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
