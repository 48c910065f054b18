#include "CatalogUi.h"

#include "platform/services/Shell.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>

namespace CatalogUi {

namespace {

TScript *GScript = nullptr;

// A hook that itself asks the platform (as the program's own services do)
// reaches the implementation below the adapter, never the hook again.
bool GInHook = false;

struct THookScope {
    THookScope() { GInHook = true; }
    ~THookScope() { GInHook = false; }
};

// The platform's prompts answered by a script's hooks; what the script leaves
// empty goes to the prompts that were installed before.
class TScriptPrompts : public TPrompts {
public:
    TScriptPrompts(TScript *Script, std::unique_ptr<TPrompts> Before) : Previous(std::move(Before)), FScript(Script) {}
    int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags) override
    {
        if (FScript->MessageBox && !GInHook) {
            THookScope Scope;
            return FScript->MessageBox(Text, Caption, Flags);
        }
        return Previous->MessageBox(Owner, Text, Caption, Flags);
    }
    int MessageDlg(const QString &Msg, const QString &Caption, TMsgDlgType DlgType, TMsgDlgButtons Buttons) override
    {
        return Previous->MessageDlg(Msg, Caption, DlgType, Buttons);
    }
    bool InputQuery(const QString &Caption, const QString &Prompt, QString &Value) override
    {
        return Previous->InputQuery(Caption, Prompt, Value);
    }
    bool FileDialog(::TFileDialogRequest &Request) override
    {
        if (!FScript->FileDialog || GInHook || Request.Kind == TFileDialogKind::OpenPicture)
            return Previous->FileDialog(Request);
        THookScope Scope;
        TFileDialogRequest R;
        R.Save = Request.Kind == TFileDialogKind::Save;
        R.Filter = Request.Filter;
        R.FilterIndex = Request.FilterIndex;
        R.InitialDir = Request.InitialDir;
        R.FileName = Request.FileName;
        R.OverwritePrompt = Request.Options & OpenOpt(ofOverwritePrompt);
        QString Chosen;
        if (!FScript->FileDialog(R, Chosen))
            return false;
        Request.Files = QStringList{QFileInfo(Chosen).absoluteFilePath()};
        return true;
    }
    QString BrowseForFolder(QWidget *Owner, const QString &Title) override
    {
        if (FScript->BrowseForFolder && !GInHook) {
            THookScope Scope;
            return FScript->BrowseForFolder(Title);
        }
        return Previous->BrowseForFolder(Owner, Title);
    }

    std::unique_ptr<TPrompts> Previous;

private:
    TScript *FScript;
};

class TScriptShell : public TShell {
public:
    TScriptShell(TScript *Script, std::unique_ptr<TShell> Before) : Previous(std::move(Before)), FScript(Script) {}
    bool Open(const QString &FileOrUrl) override
    {
        if (!FScript->ShellOpen || GInHook)
            return Previous->Open(FileOrUrl);
        THookScope Scope;
        FScript->ShellOpen(FileOrUrl);
        return true;
    }
    bool StartProgram(const QString &Program, const QStringList &Args, const QString &WorkingDir) override
    {
        return Previous->StartProgram(Program, Args, WorkingDir);
    }
    // The result of a run matters to its caller: runs always go below.
    TRunResult RunAndWait(const QString &Program, const QStringList &Args, const QString &WorkingDir) override
    {
        return Previous->RunAndWait(Program, Args, WorkingDir);
    }
    bool SendMail(const QString &To, const QString &Subject, const QString &Body, const QStringList &Attachments) override
    {
        return Previous->SendMail(To, Subject, Body, Attachments);
    }
    bool PlayMusic(const QString &File) override { return Previous->PlayMusic(File); }
    void StopMusic() override { Previous->StopMusic(); }
    bool MusicPlaying() const override { return Previous->MusicPlaying(); }

    std::unique_ptr<TShell> Previous;

private:
    TScript *FScript;
};

// The adapters installed for the current script (only compared, never used
// once someone else replaced them).
TPrompts *GPromptsAdapter = nullptr;
TShell *GShellAdapter = nullptr;

void Uninstall()
{
    if (GPromptsAdapter && &Prompts() == GPromptsAdapter) {
        auto *A = static_cast<TScriptPrompts *>(GPromptsAdapter);
        SetPrompts(std::move(A->Previous));   // the adapter goes with the returned pointer
    }
    if (GShellAdapter && &Shell() == GShellAdapter) {
        auto *A = static_cast<TScriptShell *>(GShellAdapter);
        SetShell(std::move(A->Previous));
    }
    GPromptsAdapter = nullptr;
    GShellAdapter = nullptr;
}

} // namespace

void SetScript(TScript *Script)
{
    Uninstall();
    GScript = Script;
    if (!Script)
        return;
    if (Script->MessageBox || Script->FileDialog || Script->BrowseForFolder) {
        Prompts();   // makes sure there is an implementation to fall back on
        auto Adapter = std::make_unique<TScriptPrompts>(Script, nullptr);
        TScriptPrompts *Raw = Adapter.get();
        Raw->Previous = SetPrompts(std::move(Adapter));
        GPromptsAdapter = Raw;
    }
    if (Script->ShellOpen) {
        Shell();
        auto Adapter = std::make_unique<TScriptShell>(Script, nullptr);
        TScriptShell *Raw = Adapter.get();
        Raw->Previous = SetShell(std::move(Adapter));
        GShellAdapter = Raw;
    }
}

TScript *Script()
{
    return GScript;
}

int ShowModal(QDialog *Dialog)
{
    if (GScript && GScript->ShowModal)
        return GScript->ShowModal(Dialog);
    return Dialog->exec();
}

void Terminate()
{
    if (GScript && GScript->Terminate) {
        GScript->Terminate();
        return;
    }
    QCoreApplication::exit(0);
}

bool FileDialog(QWidget *Owner, const TFileDialogRequest &Request, QString &FileName)
{
    std::unique_ptr<TOpenDialog> Dialog = Request.Save ? std::make_unique<TSaveDialog>() : std::make_unique<TOpenDialog>();
    Dialog->OwnerWindow = Owner;
    Dialog->Filter = Request.Filter;
    Dialog->FilterIndex = Request.FilterIndex;
    Dialog->InitialDir = Request.InitialDir;
    Dialog->FileName = Request.FileName;
    if (Request.OverwritePrompt)
        Dialog->Options |= OpenOpt(ofOverwritePrompt);
    if (!Dialog->Execute())
        return false;
    FileName = Dialog->FileName;
    return true;
}

QString BrowseForFolder(QWidget *Owner, const QString &Caption)
{
    return ::BrowseForFolder(Caption, Owner);
}

void ShellOpen(const QString &Target)
{
    Shell().Open(Target);
}

void RunAndWait(const QString &Program, const QStringList &Args)
{
    if (GScript && GScript->RunAndWait && !GInHook) {
        THookScope Scope;
        GScript->RunAndWait(Program, Args);
        return;
    }
    Shell().RunAndWait(Program, Args, QFileInfo(Program).absolutePath());
}

void ShowError(QWidget *Owner, const QString &Text)
{
    ::MessageBox(Owner, Text, QCoreApplication::applicationName(), MB_OK | MB_ICONERROR);
}

} // namespace CatalogUi
