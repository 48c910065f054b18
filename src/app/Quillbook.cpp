#include "Quillbook.h"

#include "catalog/forms/ProgramIcon.h"
#include "catalog/forms/MainWindow.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"

#include <QLocale>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
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

namespace {

int GEndPipe[2] = {-1, -1};

void OnEndSignal(int)
{
    const char C = 1;
    [[maybe_unused]] const ssize_t N = ::write(GEndPipe[1], &C, 1);
}

// The session ending (or a terminal's kill) ends the program as closing it
// does: its event loops end and its windows, its browser and its scratch
// folder are freed and removed in order, instead of the process vanishing
// with them.
void EndOnSignals(QApplication &App)
{
    if (::pipe2(GEndPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *Notifier = new QSocketNotifier(GEndPipe[0], QSocketNotifier::Read, &App);
    QObject::connect(Notifier, &QSocketNotifier::activated, &App, [] { QCoreApplication::exit(0); });
    struct sigaction Action {};
    Action.sa_handler = OnEndSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(Signal, &Action, nullptr);
}

} // namespace

int RunQuillbook(int argc, char **argv)
{
    PrepareProcessEnvironment();
    TApplication App(argc, argv);
    SetupApplication(App);
    TQuillbookSession Session(App.arguments());
    Session.Show();
    EndOnSignals(App);
    return App.exec();
}
