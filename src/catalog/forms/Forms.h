#pragma once
// The program's forms besides the main window: the start dialog (TForm2), page
// settings (TForm3), company information (TForm4), web effects (TForm5), book
// information (TForm7) and search (TForm8) from their own headers, and the
// picture viewer (TPictureView) and batch text (TForm6) dialogs, which have
// their captions and names only so far.

#include "BookInfoDialog.h"
#include "CatalogDialog.h"
#include "CompanyDialog.h"
#include "PageSettingsDialog.h"
#include "SearchDialog.h"
#include "StartDialog.h"
#include "WebEffectsDialog.h"

#include <QString>

// Picture viewer: the product it shows and its picture file.
class TPictureView : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TPictureView(QWidget *Parent);
    int ProductNumber = 0;
    QString PictureFile;
};

// Batch text on pictures (owned by the picture viewer's window).
class TForm6 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget *Parent);
};
