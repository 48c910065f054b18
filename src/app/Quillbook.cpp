#include "Quillbook.h"

#include "catalog/Unit1.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"

#include <unistd.h>

const char *const QuillbookTitle = "Quillbook 2008";

void PrepareProcessEnvironment()
{
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

void SetupApplication(TApplication &App)
{
    App.setApplicationName(QString::fromUtf8(QuillbookTitle));
    App.SetTitle(QString::fromUtf8(QuillbookTitle));
}

TQuillbookSession::TQuillbookSession(const QStringList &Args)
{
#ifdef QB_HAVE_CORE_RUNTIME
    SetParams(Args);
    ProgramFolder();
#else
    Q_UNUSED(Args);
#endif
    FForm1 = std::make_unique<TForm1>();
}

TQuillbookSession::~TQuillbookSession()
{
    FForm1.reset();
#ifdef QB_HAVE_CORE_RUNTIME
    RemoveScratchFolder();
#endif
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
