// The main window's page output: validation questions, publishing the open page
// and the commands of the output menus.

#include "Forms.h"
#include "MainWindow.h"
#include "OutputProgress.h"
#include "catalog/output/MhtWriter.h"
#include "catalog/output/OutputFolders.h"
#include "catalog/output/PageOutput.h"
#include "catalog/output/PageValidation.h"
#include "catalog/output/WebEffects.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Shell.h"

#include "platform/core/SysUtils.h"
#include "platform/services/Prompts.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <memory>
#include <optional>
#include <utility>
#include <QGroupBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolButton>

namespace {

const QString EmptyPageQuestion =
    QStringLiteral("当前页面文件为空，请先新建Catalog页面，或者打开一个已有的目录册或页面。要新建页面吗？");

} // namespace

// ------------------------------------------------------------ validation

bool TForm1::ValidatePageHeader()
{
    TPageValidation V(FPage.Lines(), ProgramFolder(), *FGridAccess,
                      DocumentFolder(FPagePath));
    V.Ask = [this](const QString &Text, const QString &Caption, unsigned Flags) {
        return MessageBox(this, Text, Caption, Flags);
    };
    V.ShowLine = [this](int Index) {
        // The line stands one line below the top, selected whole.
        RichEdit1->setFocus();
        const QTextBlock Block = RichEdit1->document()->findBlockByNumber(Index);
        if (!Block.isValid())
            return;
        QTextCursor C(Block);
        RichEdit1->setTextCursor(C);
        QScrollBar *Bar = RichEdit1->verticalScrollBar();
        Bar->setValue(Bar->value() + (Index - Bar->value() - 1));
        C.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        RichEdit1->setTextCursor(C);
    };
    V.ShowGridRow = [this](int Row) {
        CellGrid1->SetCurrentCell(CellGrid1->Col() < 0 ? 0 : CellGrid1->Col(), Row);
        CellGrid1->setFocus();
    };
    return V.Run();
}

// ---------------------------------------------------------------- output

QString TForm1::LoadEffectHead(const QString &Effect)
{
    return WebEffects::LoadEffectText(ProgramFolder(), Effect, QStringLiteral("head"));
}

QString TForm1::LoadEffectBody(const QString &Effect)
{
    return WebEffects::LoadEffectText(ProgramFolder(), Effect, QStringLiteral("body"));
}

QString TForm1::FileBaseName(const QString &Path)
{
    return TPageOutput::FileBaseName(Path);
}

QString TForm1::NewGuidString()
{
    return TPageOutput::NewGuidString();
}

void TForm1::WriteMht(const QString &HtmlPath, const QStringList &Files, QString &ResultPath, const QString &MhtPath)
{
    TMhtWriter Writer;
    Writer.PageId = TPageOutput::PageValue(FPage.Lines(), QStringLiteral("{Catalog编号}"));
    Writer.Chinese = Trim(TPageOutput::PageValue(FPage.Lines(), QStringLiteral("{输出语言}"))) != QStringLiteral("英文");
    // The box is painted when its bar moves, not for every part.
    Writer.OnProgress = [this](const QString &Caption, int Position) {
        if (Position == ProgressBar1->value())
            return;
        GroupBox3->setTitle(Caption);
        ProgressBar1->setValue(Position);
        GroupBox3->repaint();
    };
    Writer.Write(HtmlPath, Files, ResultPath, MhtPath);
}

void TForm1::ChmProgress(const QString &Text)
{
    if (!GroupBox3->isVisible())
        return;
    ProgressBar1->setValue(ProgressBar1->value() + 1);
    GroupBox3->setTitle(Text);
    GroupBox3->repaint();
}

QString TForm1::OutputMaker(const QString &File) const
{
    if (File.isEmpty())
        return OutputFolders::NewPageMaker(FNewPageKey);
    // A page or book of a package lies in a scratch folder that goes with the
    // program: it is known by the package and its place inside it, the same
    // each time the package is opened.
    if (!FPackagePath.isEmpty() && !FPackageFolder.isEmpty()) {
        const QString Folder = QDir::cleanPath(FPackageFolder) + QLatin1Char('/');
        const QString Path = QDir::cleanPath(QFileInfo(File).absoluteFilePath());
        if (Path.startsWith(Folder))
            return OutputFolders::PackageMaker(FPackagePath, Path.mid(Folder.size()));
    }
    return OutputFolders::FileMaker(File);
}

void TForm1::PageSavedFirstAs(const QString &Path)
{
    OutputFolders::Rename(ProgramFolder(), OutputFolders::NewPageMaker(FNewPageKey), OutputMaker(Path));
}

void TForm1::OutputPage(int Mode, bool OpenAfterwards, const QString &OutputFolder, QString &ResultPath)
{
    ResultPath.clear();
    if (!ValidatePageHeader())
        return;
    TPageOutput Out(FPage.Lines(), FPagePath, ProgramFolder());
    Out.OpenPageEntry = FOpenPageEntry;
    Out.ScratchFolder = ScratchFolder();
    Out.OwnOutputRoot = CameWithOutputFolder(FPagePath, TPageOutput::PageValue(FPage.Lines(), QStringLiteral("{输出目录}")));
    Out.SharedNames = FBookPictureNames;
    Out.Maker = OutputMaker(FPagePath);
    Out.Hooks.ShowError = [this](const QString &Text) {
        MessageBox(this, Text, QStringLiteral("错误"), MB_OK | MB_ICONERROR);
    };
    Out.Hooks.ShowWarning = [this](const QString &Text) {
        MessageBox(this, Text, QStringLiteral("警告"), MB_OK | MB_ICONWARNING);
    };
    Out.Hooks.BrowseForFolder = [this](const QString &Prompt) { return BrowseForFolder(Prompt, this); };
    Out.Hooks.AskReplace = [this](const QString &Text) {
        return MessageBox(this, Text, QStringLiteral("输出"), MB_YESNO | MB_ICONWARNING) == IDYES;
    };
    Out.Hooks.ShellOpen = [this](const QString &Target) { OpenInShell(this, Target); };
    Out.Hooks.ChmProgress = [this](const QString &Text) { ChmProgress(Text); };
    Out.Hooks.WriteQbaPackage = [this](const QString &Folder, const QString &MainFile, const QString &Target,
                                       bool IsBook, QString &Result) {
        WriteQbaPackage(Folder, MainFile, Target, IsBook, Result);
    };
    // Inside a book output the bar counts the book's pages, not this page's steps.
    const bool Nested = !GroupBox3->isHidden();
    // The box is painted and the window's events (its repaints, the cancel
    // button) are taken when the bar moves on, and then at most every few
    // hundredths of a second, not for every file: painting the box for each
    // picture cost the output as much as copying it. The bar's end is always
    // shown. A step that reports no progress before it asks about a cancel
    // (a help file compiling) takes the events at each question.
    struct TPump {
        int Shown = -1;
        bool Reported = false;
        QElapsedTimer Since;
    };
    auto Pump = std::make_shared<TPump>();
    Out.Hooks.Progress = [this, Nested, Pump](const QString &Caption, int Position) {
        Pump->Reported = true;
        const qint64 Elapsed = Pump->Since.isValid() ? Pump->Since.elapsed() : -1;
        const bool Moved = Position != Pump->Shown && (Position >= 100 || Elapsed < 0 || Elapsed >= 40);
        // While the bar stands still (many slow files a hundredth) the events
        // are still taken every fifth of a second: a cancel is not kept waiting.
        if (!Moved && Elapsed < 200)
            return;
        Pump->Since.start();
        if (Moved) {
            Pump->Shown = Position;
            if (!Nested) {
                GroupBox3->setTitle(Caption);
                ProgressBar1->setRange(0, 100);
                ProgressBar1->setValue(Position);
            }
        }
        ProcessMessages();
    };
    Out.Hooks.Cancelled = [this, Nested, Pump] {
        if (!std::exchange(Pump->Reported, false))
            ProcessMessages();
        return !Nested && FOutputCancelled;
    };
    Out.Hooks.MhtProgress = Out.Hooks.Progress;
    Out.Hooks.ZipProgress = [this](int Percent) {
        Zipper1TotalPercentDone(Percent);
        ProcessMessages();
    };
    TWaitCursor Wait;
    FOutputCopies.clear();
    FOutputMadeFolder.clear();
    FOutputMadeOutputFolder.clear();
    FOutputChm.clear();
    FOutputMadePage = false;
    std::optional<TOutputProgress> Progress;
    if (Mode != omPreview)
        Progress.emplace(this);
    Out.Run(Mode, OpenAfterwards, OutputFolder, ResultPath);
    FOutputCopies = Out.CreatedFiles();
    FOutputMadePage = Out.CreatedPage();
    // A help file is compiled beside the page; the output names no result for it.
    if (Out.OutputType() == otChm && !Out.OutputFolder().isEmpty())
        FOutputChm = Out.OutputFolder() + QLatin1Char('/') + Out.PageId() + QStringLiteral(".chm");
    if (Out.CreatedPicturesFolder())
        FOutputMadeFolder = Out.PicturesFolder();
    if (Out.CreatedOutputFolder())
        FOutputMadeOutputFolder = Out.OutputFolder();
}

// ------------------------------------------------------------ menu commands

namespace {

// The menu commands of the page output: below the minimum number of page lines
// they offer a new page, else they publish the page and open its folder.
void RunPageCommand(TForm1 *Form, int MinLines, int Mode)
{
    if (Form->Page().Count() < MinLines) {
        if (MessageBox(Form, EmptyPageQuestion, QStringLiteral("确认"), MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
            Form->NewPage();
        return;
    }
    QString Result;
    Form->OutputPage(Mode, true, QString(), Result);
}

} // namespace

void TForm1::N53Click()
{
    RunPageCommand(this, 2, omPageOpen);
}

void TForm1::ZIP1Click()
{
    RunPageCommand(this, 2, omZip);
}

void TForm1::RAR1Click()
{
    RunPageCommand(this, 2, omMht);
}

void TForm1::EXE1Click()
{
    RunPageCommand(this, 2, omSfx);
}

void TForm1::HTML1Click()
{
    RunPageCommand(this, 2, omHtml);
}

void TForm1::CHM1Click()
{
    RunPageCommand(this, 5, omChm);
}

void TForm1::QBA1Click()
{
    RunPageCommand(this, 3, omPackage);
}

void TForm1::N57Click()
{
    if (FOpenPageEntry.isEmpty()) {
        MessageBox(this, QStringLiteral("当前没有打开页面，不能预览。"), QStringLiteral("错误"), MB_OK | MB_ICONWARNING);
        return;
    }
    QString Result;
    OutputPage(omPreview, true, QString(), Result);
}

void TForm1::SpeedButton5Click()
{
    PopupMenu2->popup(SpeedButton5->mapToGlobal(QPoint(0, SpeedButton5->height())));
    CycleNoticeLabel();
}

void TForm1::Button7Click()
{
    if (FPage.Count() < 2) {
        MessageBox(this, QStringLiteral("请先新建或打开一个Catalog目录册或页面。"), QStringLiteral("提示"),
                   MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (Form5)
        ShowModal(Form5);
}

void TForm1::SetupOutputMenus()
{
    auto Connect = [this](QAction *A, void (TForm1::*Handler)()) {
        if (A)
            connect(A, &QAction::triggered, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    };
    // The output menu of the main menu.
    Connect(findChild<QAction *>(QStringLiteral("CHM3")), &TForm1::CHM1Click);
    Connect(findChild<QAction *>(QStringLiteral("MHT1")), &TForm1::RAR1Click);
    Connect(findChild<QAction *>(QStringLiteral("HTML3")), &TForm1::HTML1Click);
    Connect(findChild<QAction *>(QStringLiteral("ZIP3")), &TForm1::ZIP1Click);
    Connect(findChild<QAction *>(QStringLiteral("Catalog1")), &TForm1::QBA1Click);

    // The page-output menu the 输出 button drops down.
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    QMenu *PageOut = PopupMenu2->addMenu(QStringLiteral("输出页面"));
    PageOut->menuAction()->setObjectName(QStringLiteral("N108"));
    auto Item = [&](const QString &Name, const QString &Caption, void (TForm1::*Handler)()) {
        QAction *A = PageOut->addAction(Caption);
        A->setObjectName(Name);
        Connect(A, Handler);
        return A;
    };
    Item(QStringLiteral("CHM1"), QStringLiteral("CHM 帮助文件格式（推荐）"), &TForm1::CHM1Click);
    Item(QStringLiteral("RAR1"), QStringLiteral("MHT 单个网页文件"), &TForm1::RAR1Click);
    Item(QStringLiteral("HTML1"), QStringLiteral("HTML 网页格式"), &TForm1::HTML1Click);
    Item(QStringLiteral("ZIP1"), QStringLiteral("ZIP 压缩文件格式"), &TForm1::ZIP1Click);
    Item(QStringLiteral("QBA1"), QStringLiteral("QBA Catalog包文件"), &TForm1::QBA1Click);
    Item(QStringLiteral("EXE1"), QStringLiteral("输出EXE格式"), &TForm1::EXE1Click)->setVisible(false);
    PageOut->addSeparator();
    Item(QStringLiteral("N53"), QStringLiteral("输出到指定目录"), &TForm1::N53Click);
    QAction *Preview = PopupMenu2->addAction(QStringLiteral("预览单个页面"));
    Preview->setObjectName(QStringLiteral("N57"));
    Connect(Preview, &TForm1::N57Click);

    if (SpeedButton5)
        connect(SpeedButton5, &QToolButton::clicked, this, [this] { Guard([this] { SpeedButton5Click(); }); });
    if (SpeedButton10)
        connect(SpeedButton10, &QToolButton::clicked, this, [this] { Guard([this] { N57Click(); }); });
    if (Button7)
        connect(Button7, &QPushButton::clicked, this, [this] { Guard([this] { Button7Click(); }); });
}
