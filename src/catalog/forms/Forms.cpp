#include "Forms.h"

TPictureView::TPictureView(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("PictureView"), QStringLiteral("图片浏览"))
{
}
TForm6::TForm6(QWidget *Parent) : TCatalogDialog(Parent, QStringLiteral("Form6"), QStringLiteral("批量添加文字")) {}
