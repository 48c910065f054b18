#include "CatalogUi.h"

#include "platform/services/Prompts.h"
#include "platform/services/QtPrompts.h"
#include "platform/services/QtShell.h"
#include "platform/services/Shell.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFileInfo>

namespace CatalogUi {

namespace {

TScript *GScript = nullptr;

// Clears a flag when a hook call ends.
struct TReentry {
    bool &Flag;
    explicit TReentry(bool &F) : Flag(F) { Flag = true; }
    ~TReentry() { Flag = false; }
};

// Puts a script's question hooks in front of the platform's prompts, so every
// question of the program reaches them. A hook that asks the platform itself
// reaches the prompts that were there before.
class THookPrompts : public TPrompts {
public:
    THookPrompts(TScript *Script, std::unique_ptr<TPrompts> Previous)
        : FScript(Script), FPrevious(Previous ? std::move(Previous) : std::make_unique<TQtPrompts>())
    {
    }
    std::unique_ptr<TPrompts> TakePrevious() { return std::move(FPrevious); }

    int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags) override
    {
        if (!FScript->MessageBox || FBusy)
            return FPrevious->MessageBox(Owner, Text, Caption, Flags);
        TReentry R(FBusy);
        return FScript->MessageBox(Text, Caption, Flags);
    }
    int MessageDlg(const QString &Msg, const QString &Caption, TMsgDlgType DlgType, TMsgDlgButtons Buttons) override
    {
        return FPrevious->MessageDlg(Msg, Caption, DlgType, Buttons);
    }
    bool InputQuery(const QString &Caption, const QString &Prompt, QString &Value) override
    {
        return FPrevious->InputQuery(Caption, Prompt, Value);
    }
    bool FileDialog(::TFileDialogRequest &Request) override
    {
        if (!FScript->FileDialog || FBusy)
            return FPrevious->FileDialog(Request);
        TReentry R(FBusy);
        TFileDialogRequest Hook;
        Hook.Save = Request.Kind == TFileDialogKind::Save;
        Hook.Filter = Request.Filter;
        Hook.FilterIndex = Request.FilterIndex;
        Hook.InitialDir = Request.InitialDir;
        Hook.FileName = Request.FileName;
        Hook.OverwritePrompt = Request.Options & OpenOpt(ofOverwritePrompt);
        QString FileName;
        if (!FScript->FileDialog(Hook, FileName) || FileName.isEmpty())
            return false;
        Request.Files = QStringList{QFileInfo(FileName).absoluteFilePath()};
        return true;
    }
    QString BrowseForFolder(QWidget *Owner, const QString &Title) override
    {
        if (!FScript->BrowseForFolder || FBusy)
            return FPrevious->BrowseForFolder(Owner, Title);
        TReentry R(FBusy);
        return FScript->BrowseForFolder(Title);
    }

private:
    TScript *FScript;
    std::unique_ptr<TPrompts> FPrevious;
    bool FBusy = false;
};

// The same for the shell's open and run-and-wait.
class THookShell : public TShell {
public:
    THookShell(TScript *Script, std::unique_ptr<TShell> Previous)
        : FScript(Script), FPrevious(Previous ? std::move(Previous) : std::make_unique<TQtShell>())
    {
    }
    std::unique_ptr<TShell> TakePrevious() { return std::move(FPrevious); }

    bool Open(const QString &FileOrUrl) override
    {
        if (!FScript->ShellOpen || FBusy)
            return FPrevious->Open(FileOrUrl);
        TReentry R(FBusy);
        FScript->ShellOpen(FileOrUrl);
        return true;
    }
    bool StartProgram(const QString &Program, const QStringList &Args, const QString &WorkingDir) override
    {
        return FPrevious->StartProgram(Program, Args, WorkingDir);
    }
    TRunResult RunAndWait(const QString &Program, const QStringList &Args, const QString &WorkingDir) override
    {
        if (!FScript->RunAndWait || FBusy)
            return FPrevious->RunAndWait(Program, Args, WorkingDir);
        TReentry R(FBusy);
        FScript->RunAndWait(Program, Args);
        TRunResult Result;
        Result.Started = true;
        Result.ExitCode = 0;
        return Result;
    }
    bool SendMail(const QString &To, const QString &Subject, const QString &Body, const QStringList &Attachments) override
    {
        return FPrevious->SendMail(To, Subject, Body, Attachments);
    }
    bool PlayMusic(const QString &File) override { return FPrevious->PlayMusic(File); }
    void StopMusic() override { FPrevious->StopMusic(); }
    bool MusicPlaying() const override { return FPrevious->MusicPlaying(); }

private:
    TScript *FScript;
    std::unique_ptr<TShell> FPrevious;
    bool FBusy = false;
};

THookPrompts *GHookPrompts = nullptr;
THookShell *GHookShell = nullptr;

void RemoveHooks()
{
    if (GHookPrompts && &Prompts() == GHookPrompts) {
        std::unique_ptr<TPrompts> Hook = SetPrompts(nullptr);
        SetPrompts(GHookPrompts->TakePrevious());
    }
    GHookPrompts = nullptr;
    if (GHookShell && &Shell() == GHookShell) {
        std::unique_ptr<TShell> Hook = SetShell(nullptr);
        SetShell(GHookShell->TakePrevious());
    }
    GHookShell = nullptr;
}

} // namespace

void SetScript(TScript *Script)
{
    RemoveHooks();
    GScript = Script;
    if (!Script)
        return;
    if (Script->MessageBox || Script->FileDialog || Script->BrowseForFolder) {
        auto Hook = std::make_unique<THookPrompts>(Script, SetPrompts(nullptr));
        GHookPrompts = Hook.get();
        SetPrompts(std::move(Hook));
    }
    if (Script->ShellOpen || Script->RunAndWait) {
        auto Hook = std::make_unique<THookShell>(Script, SetShell(nullptr));
        GHookShell = Hook.get();
        SetShell(std::move(Hook));
    }
}

void ShellOpen(const QString &Target)
{
    Shell().Open(Target);
}

void RunAndWait(const QString &Program, const QStringList &Args)
{
    Shell().RunAndWait(Program, Args, QFileInfo(Program).absolutePath());
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

} // namespace CatalogUi
