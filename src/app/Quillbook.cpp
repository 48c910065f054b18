#include "Quillbook.h"

#include "catalog/forms/ProgramIcon.h"
#include "catalog/forms/MainWindow.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"

#include <QLocale>

#include <unistd.h>

const char *const QuillbookTitle = "Quillbook 2008";

void PrepareProcessEnvironment()
{
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The browser engine shares its rendering contexts with the application's;
    // this must be said before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void SetupApplication(QApplication &App)
{
    App.setApplicationName(QString::fromUtf8(QuillbookTitle));
    // The title captions the program's own boxes; each window keeps its own
    // caption as it is (Qt's display name would be appended to every one).
    if (auto *Own = qobject_cast<TApplication *>(&App))
        Own->SetTitle(QString::fromUtf8(QuillbookTitle));
    // Qt's own texts (standard buttons, edit menus, file and font dialogs, the
    // kinds of files these list) speak the program's language.
    InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China));
    // Every window and box shows the program's own icon, the ones without a
    // parent window too.
    App.setWindowIcon(ProgramIcon());
}

TQuillbookSession::TQuillbookSession(const QStringList &Args)
{
    // The paths named on the command line are taken from the folder the program
    // was started in, once, here: later they are joined to nothing else.
    QStringList Absolute = Args;
    for (qsizetype I = 1; I < Absolute.size(); ++I)
        Absolute[I] = AbsolutePath(Absolute.at(I));
    SetParams(Absolute);
    ProgramFolder();
    FForm1 = std::make_unique<TForm1>();
    FForm1->CreateForms();
    // Whatever escapes an event handler lands in the main window's handler.
    if (TApplication *App = TApplication::Instance()) {
        TForm1 *Form = FForm1.get();
        App->OnException = [Form](TObject *Sender, const Exception &E) { Form->ApplicationEvents1Exception(Sender, E); };
    }
}

TQuillbookSession::~TQuillbookSession()
{
    if (TApplication *App = TApplication::Instance())
        App->OnException = nullptr;
    FForm1.reset();
    RemoveScratchFolder();
}

void TQuillbookSession::Show()
{
    FForm1->show();
}

int RunQuillbook(int argc, char **argv)
{
    PrepareProcessEnvironment();
    TApplication App(argc, argv);
    SetupApplication(App);
    TQuillbookSession Session(App.arguments());
    Session.Show();
    return App.exec();
}
