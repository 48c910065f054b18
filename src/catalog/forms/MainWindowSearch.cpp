// The main window's search command (the search dialog gets the open book)
// and the picture viewer's notices.

#include "Forms.h"
#include "MainWindow.h"
#include "platform/services/Application.h"

#include <QAction>

void TForm1::ConnectSearchCommand()
{
    if (QAction *N100 = findChild<QAction *>(QStringLiteral("N100")))
        connect(N100, &QAction::triggered, this, [this] { Guard([this] { N100Click(); }); });
}

void TForm1::N100Click()
{
    if (!Form8)
        return;
    Form8->CatalogFile = FCatalogPath;
    ShowModal(Form8);
}

void TForm1::PictureNotice(int Product, const QString &Path, int LParam)
{
    FPictureNotices.append({Product, Path});
    PostMessage(this, WM_FORMNOTIFY, 16, LParam);
}
