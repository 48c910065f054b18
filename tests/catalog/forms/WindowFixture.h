#pragma once
// The shared set-up of the window tests: scripted answers in place of the user
// (the platform's scripted prompts and shell, and modal dialogs answered without
// a loop of their own), main windows over a fresh program folder, pages written
// as the program writes them, and the program itself run by quillbook-drive.

#include "CatalogFixture.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/forms/MainWindow.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/QtPrompts.h"
#include "platform/services/ScriptedPrompts.h"
#include "platform/services/Shell.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>

namespace WindowFixture {

using namespace CatalogFixture;

// Every question goes to scripted prompts and every shell call to a scripted
// shell while this lives; a question nobody answered fails the test. Modal
// dialogs are recorded by name and answered with ModalResult (or by OnModal).
class TScriptedUi {
public:
    TScriptedUi()
    {
        auto P = std::make_unique<TScriptedPrompts>();
        auto S = std::make_unique<TScriptedShell>();
        Prompts = P.get();
        Shell = S.get();
        FPromptsBefore = SetPrompts(std::move(P));
        FShellBefore = SetShell(std::move(S));
        ClearScriptFailure();
        TModalHooks Hooks;
        Hooks.ShowModal = [this](QDialog *Dialog) {
            Dialogs.append(Dialog->objectName());
            return OnModal ? OnModal(Dialog) : ModalResult;
        };
        Hooks.Terminate = [this] { ++Terminated; };
        FHooksBefore = SetModalHooks(std::move(Hooks));
    }
    ~TScriptedUi()
    {
        EXPECT_EQ(Prompts->PendingAnswers(), 0) << "answers left over";
        EXPECT_EQ(PendingScriptFailure().toStdString(), std::string());
        SetModalHooks(std::move(FHooksBefore));
        SetPrompts(std::move(FPromptsBefore));
        SetShell(std::move(FShellBefore));
    }
    TScriptedUi(const TScriptedUi &) = delete;
    TScriptedUi &operator=(const TScriptedUi &) = delete;

    // Queues button answers in the order asked: IDYES, IDNO, IDOK, IDCANCEL ...
    void Answer(std::initializer_list<int> Ids)
    {
        for (int Id : Ids)
            Prompts->AnswerButton(Id == IDYES ? QStringLiteral("Yes")
                                  : Id == IDNO ? QStringLiteral("No")
                                  : Id == IDOK ? QStringLiteral("OK")
                                               : QStringLiteral("Cancel"));
    }
    // ... or by the buttons' names.
    void Answer(std::initializer_list<const char *> Buttons)
    {
        for (const char *B : Buttons)
            Prompts->AnswerButton(QString::fromLatin1(B));
    }
    // A file dialog's answer; an empty name cancels it.
    void AnswerFile(const QString &File)
    {
        if (File.isEmpty())
            Prompts->AnswerButton(QStringLiteral("Cancel"));
        else
            Prompts->AnswerFile(File);
    }
    // Folder browsers' answers in order; an empty folder cancels one.
    void AnswerFolders(const QStringList &Folders)
    {
        for (const QString &F : Folders)
            Prompts->AnswerFolder(F);
    }
    // Each modal dialog shows, Act works in it, and the result its buttons set comes back.
    void InDialog(std::function<void(QDialog *)> Act)
    {
        OnModal = [Act = std::move(Act)](QDialog *Dialog) {
            Dialog->setResult(0);
            Dialog->show();
            Act(Dialog);
            Dialog->hide();
            return Dialog->result();
        };
    }

    // The message boxes asked so far.
    QList<TPromptRecord> Asked() const
    {
        QList<TPromptRecord> R;
        for (const TPromptRecord &P : Prompts->Records())
            if (P.Kind == TPromptKind::MessageBox)
                R.append(P);
        return R;
    }
    // The message boxes asked so far as "caption|text".
    QStringList CaptionsAndTexts() const
    {
        QStringList R;
        for (const TPromptRecord &P : Asked())
            R << P.Caption + QLatin1Char('|') + P.Text;
        return R;
    }
    // The texts of every question asked so far.
    QStringList Texts() const
    {
        QStringList R;
        for (const TPromptRecord &P : Prompts->Records())
            R << P.Text;
        return R;
    }
    // The captions of the folder browsers shown so far.
    QStringList FolderCaptions() const
    {
        QStringList R;
        for (const TPromptRecord &P : Prompts->Records())
            if (P.Kind == TPromptKind::Folder)
                R << P.Caption;
        return R;
    }
    void ClearAsked() { Prompts->ClearRecords(); }
    QStringList ShellCalls() const
    {
        QStringList R;
        for (const TShellCall &C : Shell->Calls())
            R << C.Describe();
        return R;
    }
    // What the shell was asked to open.
    QStringList Opened() const
    {
        QStringList R;
        for (const TShellCall &C : Shell->Calls())
            if (C.Kind == QLatin1String("Open"))
                R << C.Args;
        return R;
    }

    TScriptedPrompts *Prompts;
    TScriptedShell *Shell;
    QStringList Dialogs;
    int ModalResult = 2;
    std::function<int(QDialog *)> OnModal;
    int Terminated = 0;

private:
    std::unique_ptr<TPrompts> FPromptsBefore;
    std::unique_ptr<TShell> FShellBefore;
    TModalHooks FHooksBefore;
};

// ---- real boxes on the (offscreen) screen ----

// The program's own boxes as the user meets them, on the screen; only the
// choices of files and folders come from the test. Restores the prompts it
// replaced.
class TRealBoxes : public TQtPrompts {
public:
    // Installs a TRealBoxes for the life of the returned holder.
    struct THolder {
        TRealBoxes *Boxes;
        std::unique_ptr<TPrompts> Before;
        ~THolder() { SetPrompts(std::move(Before)); }
    };
    static std::unique_ptr<THolder> Install()
    {
        auto Own = std::make_unique<TRealBoxes>();
        TRealBoxes *Boxes = Own.get();
        auto Before = SetPrompts(std::move(Own));
        return std::unique_ptr<THolder>(new THolder{Boxes, std::move(Before)});
    }

    QStringList Files;   // what the next file dialogs choose (none: cancelled)
    QString Folder;      // what the next folder browsers choose ("": cancelled)
    bool FileDialog(TFileDialogRequest &Request) override
    {
        Request.Files = Files;
        return !Files.isEmpty();
    }
    QString BrowseForFolder(QWidget *, const QString &) override { return Folder; }
};

// Acts once on the first modal dialog of type Dialog that is open while this
// lives (a box that the program shows and waits on).
template <typename Dialog>
class TWhenShown {
public:
    explicit TWhenShown(std::function<void(Dialog *)> Action)
    {
        QObject::connect(&FPoll, &QTimer::timeout, [this, Action = std::move(Action)] {
            auto *D = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            if (!D || !D->isVisible())
                return;
            FPoll.stop();
            ++Shown;
            Action(D);
        });
        FPoll.start(10);
    }
    int Shown = 0;

private:
    QTimer FPoll;
};

// A main window (without the browser) after its start-up walk over Args; with
// WithDialogs its dialogs are created as the program creates them.
inline std::unique_ptr<TForm1> NewWindow(const QStringList &Args, bool WithDialogs = false)
{
    TForm1::BrowserEnabled = false;
    auto Window = std::make_unique<TForm1>();
    if (WithDialogs)
        Window->CreateForms();
    Window->CommandLine = QStringList{QStringLiteral("/opt/quillbook/quillbook")} + Args;
    QApplication::processEvents();
    return Window;
}

// The header lines of a page: "{key1}=值1" ... "{key19}=值19".
inline QStringList NumberedHeader()
{
    QStringList L;
    for (int I = 1; I <= 19; ++I)
        L << QStringLiteral("{key%1}=值%1").arg(I);
    return L;
}

// A page: its header lines, the marker and Blocks products P1 商品1 1.00 件 ...
inline QStringList PageLines(const QStringList &Header, int Blocks)
{
    QStringList L{QStringLiteral("QBT FILE TYPE 2.0")};
    L << Header;
    L << QStringLiteral("/*以下内容均由程序自动生成，一般用户无需自行修改。") << QStringLiteral("{detail}") << QString();
    for (int N = 1; N <= Blocks; ++N)
        L << QStringLiteral("{$%1}").arg(N) << QStringLiteral("{$IMG}=") << QStringLiteral("{$PID}=P%1").arg(N)
          << QStringLiteral("{$PNAME}=商品%1").arg(N) << QStringLiteral("{$PPRICE}=%1.00").arg(N)
          << QStringLiteral("{$PUNIT}=件") << QStringLiteral("{$PWEIGHT}=5") << QStringLiteral("{$PSERIAL}=大")
          << QStringLiteral("{$PNOTE}=好");
    return L;
}

// A main window's test over a fresh program folder with its book folder.
class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TForm1::BrowserEnabled = false;
        SetProgramFolder(ProgramPath());
        QDir().mkpath(ProgramPath() + QStringLiteral("/目录册"));
    }
    void TearDown() override { SetProgramFolder(QString()); }
    virtual QString ProgramPath() const { return Program.Path(); }

    std::unique_ptr<TForm1> Start(const QStringList &Args) { return NewWindow(Args); }

    // A page of Blocks products in the data folder.
    QString WritePage(const QString &Name, int Blocks)
    {
        const QString Path = Data.File(Name);
        SaveLines(Path, PageLines(NumberedHeader(), Blocks));
        return Path;
    }

    TestSupport::TempDir Program;
    TestSupport::TempDir Data;
};

// ---- books ----

// A page of a book as the program writes it; its products' pictures are
// pics\<Id>p<N>.jpg.
inline QStringList BookPageLines(const QString &Id, const QString &Title, int Products)
{
    QStringList L{QStringLiteral("QBT FILE TYPE 2.0"),
                  QStringLiteral("{Catalog编号}=") + Id,
                  QStringLiteral("{Catalog名称}=") + Title,
                  QStringLiteral("{业务员名}=张三"),
                  QStringLiteral("{客户编号}="),
                  QStringLiteral("{客户名称}="),
                  QStringLiteral("{客户公司名}="),
                  QStringLiteral("{日期}=2026-12-7"),
                  QStringLiteral("{货币符号}=￥"),
                  QStringLiteral("{产品单位}=个"),
                  QStringLiteral("{重量单位}=克"),
                  QStringLiteral("{图片宽}=0"),
                  QStringLiteral("{图片高}=0"),
                  QStringLiteral("{输出目录}="),
                  QStringLiteral("{输出方式}=HTML(网页文件类型)"),
                  QStringLiteral("{输出风格}=春天系列"),
                  QStringLiteral("{输出语言}=中文"),
                  QStringLiteral("{订单接收email地址}=order@example.invalid"),
                  QStringLiteral("{图片框百分比}=75"),
                  QStringLiteral("{Catalog说明}=说明"),
                  QStringLiteral("/*以下内容均由程序自动生成，一般用户无需自行修改。"),
                  QStringLiteral("{detail}"),
                  QString()};
    for (int N = 1; N <= Products; ++N)
        L << QStringLiteral("{$%1}").arg(N) << QStringLiteral("{$IMG}=pics\\%2p%1.jpg").arg(N).arg(Id)
          << QStringLiteral("{$PID}=%1-%2").arg(Id).arg(N) << QStringLiteral("{$PNAME}=%1商品%2").arg(Title).arg(N)
          << QStringLiteral("{$PPRICE}=%1.50").arg(N) << QStringLiteral("{$PUNIT}=件") << QStringLiteral("{$PWEIGHT}=5")
          << QStringLiteral("{$PSERIAL}=S%1").arg(N) << QStringLiteral("{$PNOTE}=好");
    return L;
}

// A main window over a program folder with the shipped data, its pages and
// books in a documents folder.
class BookWindow : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        Exe = Program.Path() + QLatin1Char('/');
        TestSupport::CopyDataTo(Program.Path());
        QDir().mkpath(Exe + QStringLiteral("输出"));
        Docs = Data.Path() + QLatin1Char('/');
        QDir().mkpath(Docs + QStringLiteral("pics"));
    }
    void TearDown() override
    {
        Form.reset();
        TWindowTest::TearDown();
    }

    // A window after its start-up walk over Args (no argument: the start dialog is closed).
    TForm1 *Start(const QStringList &Args = {})
    {
        Form = NewWindow(Args);
        return Form.get();
    }

    QString WritePage(const QString &Name, const QString &Id, const QString &Title, int Products = 2)
    {
        const QString Path = Docs + Name;
        QDir().mkpath(QFileInfo(Path).absolutePath());
        SaveLines(Path, BookPageLines(Id, Title, Products));
        for (int N = 1; N <= Products; ++N)
            TestSupport::WriteAll(QFileInfo(Path).absolutePath() + QStringLiteral("/pics/%2p%1.jpg").arg(N).arg(Id),
                                  QByteArray("\xFF\xD8\xFF\xE0 picture ") + Id.toUtf8() + QByteArray::number(N));
        return Path;
    }

    QString WriteBook(const QString &Name, const QStringList &Entries, const QStringList &Settings = {})
    {
        QStringList L{QStringLiteral("Catalog_name=三页目录册"), QStringLiteral("catalog_index_name="),
                      QStringLiteral("Catalog_Lost_name="), QStringLiteral("Catalog_Output=")};
        L << QStringLiteral("{$Files}") << Entries;
        for (const QString &S : Settings) {
            const int Eq = int(S.indexOf(QLatin1Char('=')));
            TCatalogBook::SetValue(L, S.left(Eq), S.mid(Eq + 1));
        }
        SaveLines(Docs + Name, L);
        return Docs + Name;
    }

    QStringList Items() const
    {
        QStringList R;
        for (int I = 0; I < Form->ListBox1->count(); ++I)
            R << Form->ListBox1->item(I)->text();
        return R;
    }

    QStringList Read(const QString &File) const { return LoadLines(File); }

    QString Exe, Docs;
    std::unique_ptr<TForm1> Form;
};

// ---- the program run by quillbook-drive ----

// A program folder (Home) with the shipped data, and a documents folder.
class TDriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(TestSupport::DriverPath()).isExecutable()) << TestSupport::DriverPath().toStdString();
        TestSupport::CopyDataTo(Home.Path());
    }

    // One run of the program with Args on its command line.
    TestSupport::DriveRun Drive(const QString &Script, const QStringList &Args = {}, const QString &WorkingDir = {})
    {
        return TestSupport::RunDrive(Home.Path(), Script, Args, WorkingDir);
    }

    TestSupport::TempDir Home;
    TestSupport::TempDir Docs;
};

} // namespace WindowFixture
