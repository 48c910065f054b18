#pragma once
// The about box of 帮助 › 关于: the product title, an author line and the
// program's icon.

#include "CatalogDialog.h"

class QLabel;
class QPushButton;

class TAboutBox : public TCatalogDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *Parent);

    QLabel *Image1 = nullptr;   // the icon
    QLabel *Label1 = nullptr;   // the product title
    QLabel *Label2 = nullptr;   // the author line
    QPushButton *Button1 = nullptr;   // 确定
};
