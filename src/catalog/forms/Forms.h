#pragma once
// The dialogs of the catalog application. Each is created at start-up, parented
// to the main window, and filled in by its own unit.

#include <QDialog>
#include <QString>

class TCatalogDialog : public QDialog {
    Q_OBJECT
public:
    TCatalogDialog(QWidget *Parent, const QString &Name, const QString &Caption);
    // Closes the dialog with a modal result (1 OK, 2 cancel, 3 open, 5 new, 6 all saved...).
    void SetModalResult(int Result) { done(Result); }
};

// Start dialog (Unit2).
#include "StartDialog.h"

// Page settings (Unit3) and company information (Unit4).
#include "PageSettingsDialog.h"
#include "CompanyDialog.h"

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

// Book information: its own unit.
#include "BookInfoDialog.h"
