#include "catalog/Unit1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbook 2008"));
    TForm1 Form1;
    Form1.CreateForms();
    Form1.show();
    return App.exec();
}
