#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication App(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbook 2008"));
    QMainWindow Window;
    Window.setWindowTitle(QStringLiteral("Quillbook 2008"));
    Window.show();
    return App.exec();
}
