#pragma once
// The program's forms besides the main window: the start dialog (TForm2), page
// settings (TForm3), company information (TForm4) and book information (TForm7)
// from their own headers, and the web effects (TForm5), picture viewer
// (TPictureView), batch text (TForm6) and search (TForm8) dialogs, which have
// their captions and names only so far.

#include "BookInfoDialog.h"
#include "CatalogDialog.h"
#include "CompanyDialog.h"
#include "PageSettingsDialog.h"
#include "StartDialog.h"

#include <QString>

// Web effects.
class TForm5 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget *Parent);
};

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

// Search.
class TForm8 : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TForm8(QWidget *Parent);
    QString SearchText;
};
