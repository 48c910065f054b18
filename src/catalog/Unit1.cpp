#include "Unit1.h"

TForm1::TForm1(QWidget *Parent)
    : QMainWindow(Parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillbook 2008"));
    resize(800, 600);
}

TForm1::~TForm1() = default;
