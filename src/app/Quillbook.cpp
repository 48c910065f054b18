#include "Quillbook.h"

#include "catalog/forms/CatalogUi.h"
#include "catalog/forms/MainWindow.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

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

void SetupApplication(TApplication &App)
{
    App.setApplicationName(QString::fromUtf8(QuillbookTitle));
    App.SetTitle(QString::fromUtf8(QuillbookTitle));
}

std::unique_ptr<CatalogUi::TScript> PlatformCatalogServices()
{
    auto S = std::make_unique<CatalogUi::TScript>();
    S->MessageBox = [](const QString &Text, const QString &Caption, unsigned Flags) {
        return ::MessageBox(DefaultPromptOwner(), Text, Caption, Flags);
    };
    S->FileDialog = [](const CatalogUi::TFileDialogRequest &R, QString &FileName) {
        std::unique_ptr<TOpenDialog> D = R.Save ? std::make_unique<TSaveDialog>() : std::make_unique<TOpenDialog>();
        D->Filter = R.Filter;
        D->FilterIndex = R.FilterIndex;
        D->InitialDir = R.InitialDir;
        D->FileName = R.FileName;
        if (R.OverwritePrompt)
            D->Options |= OpenOpt(ofOverwritePrompt);
        if (!R.Save)
            D->Options |= OpenOpt(ofFileMustExist);
        if (!D->Execute())
            return false;
        FileName = D->FileName;
        return true;
    };
    S->BrowseForFolder = [](const QString &Caption) { return ::BrowseForFolder(Caption); };
    S->ShellOpen = [](const QString &Target) { Shell().Open(Target); };
    S->RunAndWait = [](const QString &Program, const QStringList &Args) { Shell().RunAndWait(Program, Args); };
    // Modal dialogs and the end of the program stay the catalog's own.
    return S;
}

TQuillbookSession::TQuillbookSession(const QStringList &Args)
    : FCatalogServices(PlatformCatalogServices())
{
    SetParams(Args);
    ProgramFolder();
    CatalogUi::SetScript(FCatalogServices.get());
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
    if (CatalogUi::Script() == FCatalogServices.get())
        CatalogUi::SetScript(nullptr);
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
