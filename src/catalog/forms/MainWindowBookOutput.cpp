// The main window's book output: the questions before it, the pages produced
// through the page output, the progress box and the package save-back.

#include "CatalogDialog.h"
#include "MainWindow.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/output/BookOutput.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <optional>
#include <QGroupBox>
#include <QProgressBar>
#include <QToolButton>

namespace {

// While it lives, loading a page into the grid reports no lines: the bar of a
// book output shows the pages of the book, not the lines of each page.
class TNoLineProgress {
public:
    explicit TNoLineProgress(TPageDocument &Page) : FPage(Page), FProgress(std::move(Page.OnProgress))
    {
        FPage.OnProgress = nullptr;
    }
    ~TNoLineProgress() { FPage.OnProgress = std::move(FProgress); }
    TNoLineProgress(const TNoLineProgress &) = delete;
    TNoLineProgress &operator=(const TNoLineProgress &) = delete;

private:
    TPageDocument &FPage;
    decltype(TPageDocument::OnProgress) FProgress;
};

// The editor's page, its path, its entry and its modified state, as they were
// before the output loaded the book's pages one by one; put back on every path.
class TKeepEditor {
public:
    explicit TKeepEditor(TForm1 *Form)
        : FForm(Form)
        , FLines(Form->Page().Lines())
        , FPath(Form->FPagePath)
        , FEntry(Form->FOpenPageEntry)
        , FSaved(Form->FPageSaved)
        , FEnabled(Form->SpeedButton9->isEnabled())
        , FFromPackage(Form->FOpenedFromPackage)
        , FPackageIsBook(Form->FPackageIsBook)
    {
    }
    // The page the output loaded into the grid last, once it is loaded whole
    // (nothing while a load is under way).
    void GridHolds(const QString &Path, const QStringList &Lines)
    {
        FGridPath = Path;
        FGridLines = Lines;
        FGridWhole = !Path.isEmpty();
    }
    ~TKeepEditor()
    {
        // The grid shows the page in the editor again; it shows it already
        // when the last page the output loaded into it was this very page
        // (its pictures are then not decoded again).
        const bool Shown = FGridWhole && !FLines.isEmpty() && FGridLines == FLines && FGridPath == FPath
            && FForm->Page().Lines() == FLines;
        FForm->FPagePath = FPath;
        if (!Shown) {
            FForm->Page().SetLines(FLines);
            FForm->ResetGrid();
            if (!FLines.isEmpty()) {
                TNoLineProgress Quiet(FForm->Page());
                FForm->LoadGridFromPage();
            }
        }
        FForm->FOpenPageEntry = FEntry;
        FForm->FPageSaved = FSaved;
        FForm->SpeedButton9->setEnabled(FEnabled);
        FForm->FOpenedFromPackage = FFromPackage;
        FForm->FPackageIsBook = FPackageIsBook;
    }
    TKeepEditor(const TKeepEditor &) = delete;
    TKeepEditor &operator=(const TKeepEditor &) = delete;

private:
    TForm1 *FForm;
    QStringList FLines;
    QString FPath, FEntry;
    bool FSaved, FEnabled, FFromPackage, FPackageIsBook;
    QString FGridPath;
    QStringList FGridLines;
    bool FGridWhole = false;
};

class TShowProgress {
public:
    explicit TShowProgress(TForm1 *Form) : FForm(Form)
    {
        FForm->GroupBox3->show();
        FForm->ProgressBar1->setRange(0, 100);
        FForm->ProgressBar1->setValue(0);
    }
    ~TShowProgress() { FForm->GroupBox3->hide(); }
    TShowProgress(const TShowProgress &) = delete;
    TShowProgress &operator=(const TShowProgress &) = delete;

private:
    TForm1 *FForm;
};

} // namespace

bool TForm1::OutputCatalog(int Flags, bool OpenAfterwards, bool SavingPackage)
{
    if (SaveButtonEnabled()
        && MessageBox(this, QStringLiteral("注意：在输出目录册时，没有保存的内容不会被输出，是否继续？"),
                      QStringLiteral("注意"), MB_YESNO | MB_ICONWARNING)
            != IDYES)
        return false;
    if (FCatalogPath.isEmpty()) {
        MessageBox(this, QStringLiteral("当前目录册路径为空，输出不能完成。"), QStringLiteral("错误"),
                   MB_OK | MB_ICONERROR);
        return false;
    }

    TBookOutput Out(*FCatalogList, FCatalogPath, ProgramFolder(), FPage.Values(QStringLiteral("{输出语言}")));
    // An entry that names no readable file would be a link to nowhere (or the
    // page the site opens on): the user learns which before anything is made.
    if (const QStringList LeftOut = Out.EntriesLeftOut(); !LeftOut.isEmpty()) {
        QString Names;
        for (int I = 0; I < LeftOut.size() && I < 20; ++I) {
            const QFileInfo F(TCatalogBook::ResolveEntry(FCatalogPath, LeftOut.at(I)));
            Names += QStringLiteral("\r\n    ") + LeftOut.at(I)
                + (F.isDir()      ? QStringLiteral("（是文件夹）")
                   : F.exists()   ? QStringLiteral("（不能读取）")
                                  : QStringLiteral("（文件不存在）"));
        }
        if (LeftOut.size() > 20)
            Names += QStringLiteral("\r\n    ……还有%1项").arg(LeftOut.size() - 20);
        if (LeftOut.size() == TBookOutput::ListedEntries(*FCatalogList).size()) {
            MessageBox(this, QStringLiteral("目录册中没有可以输出的页面或文件，输出不能完成：") + Names,
                       QStringLiteral("错误"), MB_OK | MB_ICONERROR);
            return false;
        }
        if (MessageBox(this,
                       QStringLiteral("目录册中的以下条目不是可以读取的页面或文件：") + Names
                           + QStringLiteral("\r\n\r\n是否略去这些条目，继续输出目录册？"),
                       QStringLiteral("输出"), MB_YESNO | MB_ICONWARNING)
            != IDYES)
            return false;
    }
    const bool Received = FOpenedFromPackage && FPackageIsBook;
    // Saving the book writes it back into its package; the package command
    // makes a package in the book's output folder, like its other outputs,
    // and leaves the package the user opened as it is.
    const bool SaveBack = Flags == bfPackage && Received && SavingPackage;
    Out.KeepPlaces = Received;
    // Opened from its own output folder, the package stays while the output
    // empties that folder: only 保存 writes it.
    if (Received)
        Out.KeepFile = FPackagePath;
    // The package's own settings never choose where its site is built.
    if (SaveBack) {
        Out.RootOverride = ScratchFolder() + QStringLiteral("bookpackage/");
        ForceDirectories(Out.RootOverride);
    } else {
        if (CameWithOutputFolder(FCatalogPath, TCatalogBook::Value(*FCatalogList, QStringLiteral("Catalog_Output"))))
            Out.RootOverride = ProgramFolder() + QStringLiteral("输出/");
        Out.Maker = OutputMaker(FCatalogPath);
    }
    if (Flags == bfPackage && Received && !SaveBack && RefuseToReplaceOpenPackage(Out.PlannedSiteFolder()))
        return false;
    Out.Hooks.AskReplace = [this](const QString &Text) {
        return MessageBox(this, Text, QStringLiteral("输出"), MB_YESNO | MB_ICONWARNING) == IDYES;
    };
    Out.Hooks.Progress = [this](int Position, const QString &Caption) {
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(Position);
        GroupBox3->setTitle(Caption);
        GroupBox3->repaint();
    };
    Out.Hooks.ShowError = [this](const QString &Text) {
        MessageBox(this, Text, QStringLiteral("错误"), MB_OK | MB_ICONERROR);
    };
    Out.Hooks.ShellOpen = [this](const QString &Target) { OpenInShell(this, Target); };
    Out.Hooks.ChmProgress = [this](const QString &Text) { ChmProgress(Text); };
    Out.Hooks.WriteQbaPackage = [this](const QString &Folder, const QString &MainFile, bool IsBook, QString &Result) {
        WriteQbaPackage(Folder, MainFile, QString(), IsBook, Result);
    };
    Out.Hooks.ConvertToImages = ConvertCatalogToImages;
    Out.Hooks.ZipProgress = [this](int Percent) {
        Zipper1TotalPercentDone(Percent);
        ProcessMessages();
    };
    std::optional<TKeepEditor> Keep;
    Out.Hooks.ProducePage = [this, &Keep, &Out](const QString &Path, const QString &Entry, int Mode,
                                                const QString &Folder) {
        // The page is checked and published as its own products, so the grid
        // shows it too while it is produced.
        FPagePath = Path;
        FPage.SetLines(TPageDocument::LoadPageLines(Path));
        FOpenPageEntry = Entry;
        if (Keep)
            Keep->GridHolds(QString(), {});
        ResetGrid();
        {
            TNoLineProgress Quiet(FPage);
            LoadGridFromPage();
        }
        if (Keep)
            Keep->GridHolds(Path, FPage.Lines());
        GroupBox3->show();
        ProgressBar1->setRange(0, 100);
        QString Result;
        FBookPictureNames = &Out.PictureNames(Folder);
        struct TForget {
            TSharedPictureNames *&Names;
            ~TForget() { Names = nullptr; }
        } Forget{FBookPictureNames};
        OutputPage(Mode, false, Folder, Result);
        return Result;
    };

    TWaitCursor Wait;
    // The whole run keeps the window busy, also between its pages (an archive
    // being packed takes the window's events): a command of the window cannot
    // start in the middle of it.
    TBusyLock Busy(this);
    TShowProgress Progress(this);
    QString Result;
    TBookOutput::TResult R;
    {
        Keep.emplace(this);
        struct TRestore {
            std::optional<TKeepEditor> &Keep;
            ~TRestore() { Keep.reset(); }
        } Restore{Keep};
        R = Out.Run(Flags, OpenAfterwards, Result);
    }
    RepaintPageList();
    if (R != TBookOutput::brDone)
        return false;
    if (SaveBack) {
        const bool Copied = CopyFile(Result, FPackagePath, false);
        const int Error = errno;
        DeleteFile(Result);
        if (!Copied) {
            ShowPackageSaveError(Error);
            return false;
        }
        RemoveSaveLeftovers(FPackagePath);
    } else if (Flags == bfPackage && Received) {
        // Where it went, since the user may look for it in the package opened.
        MessageBox(this,
                   QStringLiteral("目录册的qba文件已经输出到“%1”。\r\n打开的qba文件“%2”没有改变。")
                       .arg(NativePath(Result), NativePath(FPackagePath)),
                   QStringLiteral("输出"), MB_OK | MB_ICONINFORMATION);
    }
    return true;
}

QString TForm1::BookOutputFolder(bool *Made)
{
    TBookOutput Out(*FCatalogList, FCatalogPath, ProgramFolder(), FPage.Values(QStringLiteral("{输出语言}")));
    if (CameWithOutputFolder(FCatalogPath, TCatalogBook::Value(*FCatalogList, QStringLiteral("Catalog_Output"))))
        Out.RootOverride = ProgramFolder() + QStringLiteral("输出/");
    Out.Maker = OutputMaker(FCatalogPath);
    return Out.FolderForFiles(Made);
}

namespace {

bool AlwaysOpen(const TForm1 *Form)
{
    return Form->FCatalogList && TCatalogBook::Value(*Form->FCatalogList, QStringLiteral("Catalog_always_open")).trimmed()
        == QLatin1String("true");
}

} // namespace

void TForm1::HTML6Click()
{
    OutputCatalog(bfHtml, AlwaysOpen(this));
}

void TForm1::ZIP5Click()
{
    OutputCatalog(bfZip, AlwaysOpen(this));
}

void TForm1::CHM5Click()
{
    OutputCatalog(bfChm, AlwaysOpen(this));
}

void TForm1::HTML5Click()
{
    OutputCatalog(bfMht, AlwaysOpen(this));
}

void TForm1::QBACatalog1Click()
{
    OutputCatalog(bfPackage, AlwaysOpen(this));
}

void TForm1::N54Click()
{
    OutputCatalog(bfPreview, false);
}

void TForm1::JPG3Click()
{
    OutputCatalog(bfOneJpeg, AlwaysOpen(this));
}

void TForm1::JPG4Click()
{
    OutputCatalog(bfJpegs, AlwaysOpen(this));
}

void TForm1::PDFpdf2Click()
{
    OutputCatalog(bfPdf, AlwaysOpen(this));
}
