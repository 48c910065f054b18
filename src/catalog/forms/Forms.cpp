#include "Forms.h"

TCatalogDialog::TCatalogDialog(QWidget *Parent, const QString &Name, const QString &Caption)
    : QDialog(Parent)
{
    setObjectName(Name);
    setWindowTitle(Caption);
    setModal(true);
}

TPictureView::TPictureView(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("PictureView"), QStringLiteral("图片浏览"))
{
}
TForm6::TForm6(QWidget *Parent) : TCatalogDialog(Parent, QStringLiteral("Form6"), QStringLiteral("批量添加文字")) {}
