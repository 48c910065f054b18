#include "Forms.h"

TForm5::TForm5(QWidget *Parent) : TCatalogDialog(Parent, QStringLiteral("Form5"), QStringLiteral("网页特效")) {}
TPictureView::TPictureView(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("PictureView"), QStringLiteral("图片浏览"))
{
}
TForm6::TForm6(QWidget *Parent) : TCatalogDialog(Parent, QStringLiteral("Form6"), QStringLiteral("批量添加文字")) {}
TForm8::TForm8(QWidget *Parent) : TCatalogDialog(Parent, QStringLiteral("Form8"), QStringLiteral("搜索")) {}
