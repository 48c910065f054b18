#include "DialogGrids.h"

#include "MainWindow.h"
#include "platform/services/Prompts.h"

#include <QWidget>

namespace DialogGrids {

QString BrowseForFolder(QWidget *Owner, const QString &Caption)
{
    for (QWidget *W = Owner; W; W = W->parentWidget())
        if (auto *Main = qobject_cast<TForm1 *>(W))
            return Main->BrowseForFolder(Caption, Owner);
    return ::BrowseForFolder(Caption, Owner);
}

} // namespace DialogGrids
