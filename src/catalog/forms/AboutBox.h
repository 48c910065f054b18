#pragma once
// The about box of 帮助 › 关于 (the product title, an author line and the
// program's icon) and the icon itself, which every window of the program shows.

#include "CatalogDialog.h"

#include <QIcon>

class QLabel;
class QPushButton;

// The program's icon: icons/quillbook-<size>.png of the program folder, every
// size shipped (a null icon when none is there).
QIcon ProgramIcon();

class TAboutBox : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *Parent);

    QLabel *Image1 = nullptr;   // the icon
    QLabel *Label1 = nullptr;   // the product title
    QLabel *Label2 = nullptr;   // the author line
    QPushButton *Button1 = nullptr;   // 确定
};
