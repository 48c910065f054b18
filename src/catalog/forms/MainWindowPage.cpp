// The main window's page commands: new, open, save, save as, close, repair,
// and the product grid's block set-up.

#include "Forms.h"
#include "MainWindow.h"
#include "catalog/document/CatalogBook.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Classes.h"
#include "platform/services/Application.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QLineEdit>


namespace {

const QString PageFilter = QStringLiteral("页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs|Catalog包文件 *.qba|*.qba");

// Lines From .. From+N-1 as the page text box holds them, one block a line
// joined by line ends. A character that would end or split a block there
// (a line end, a paragraph or frame mark, which a page read as UTF-8 or
// GB18030 may hold) is shown as U+FFFD, so block k of the box stays line k.
QString ShownLines(const QStringList &Lines, qsizetype From, qsizetype N)
{
    qsizetype Size = N;
    for (qsizetype I = From; I < From + N; ++I)
        Size += Lines.at(I).size();
    QString Text;
    Text.reserve(Size);
    for (qsizetype I = From; I < From + N; ++I) {
        if (I > From)
            Text += QLatin1Char('\n');
        const qsizetype Start = Text.size();
        Text += Lines.at(I);
        for (QChar *C = Text.data() + Start, *End = Text.data() + Text.size(); C < End; ++C) {
            const char16_t U = C->unicode();
            if (U == u'\n' || U == u'\r' || U == 0x2029 || U == 0xFDD0 || U == 0xFDD1)
                *C = QChar(0xFFFD);
        }
    }
    return Text;
}

// Puts Lines[First .. First+Added-1] in place of the box's blocks First ..
// First+Removed-1, in one edit. The box held OldCount lines (one empty block
// for none); the line ends around the replaced blocks stay where they were.
void ReplaceShownLines(QTextDocument *Doc, const QStringList &Lines, int OldCount, const TPageChange &Change)
{
    QString Text = ShownLines(Lines, Change.First, Change.Added);
    int From, To;
    if (Change.First + Change.Removed < OldCount) {
        // A line follows: the replaced lines take their own line ends along.
        From = Doc->findBlockByNumber(Change.First).position();
        To = Doc->findBlockByNumber(Change.First + Change.Removed).position();
        if (Change.Added > 0)
            Text += QLatin1Char('\n');
    } else if (Change.First > 0) {
        // Up to the end, after a line: the line end before them goes along.
        const QTextBlock Before = Doc->findBlockByNumber(Change.First - 1);
        From = Before.position() + Before.length() - 1;
        To = Doc->characterCount() - 1;
        if (Change.Added > 0)
            Text.prepend(QLatin1Char('\n'));
    } else {
        From = 0;
        To = Doc->characterCount() - 1;
    }
    QTextCursor C(Doc);
    C.setPosition(From);
    C.setPosition(To, QTextCursor::KeepAnchor);
    C.beginEditBlock();
    C.insertText(Text);
    C.endEditBlock();
}

} // namespace

// ---------------------------------------------------------------- the text

void TForm1::ShowPageText(const TPageChange &Change)
{
    // The text box shows the document: the lines a change replaced are
    // replaced there alone, and its change runs RichEdit1Change once.
    FShowingPage = true;
    QScrollBar *Bar = RichEdit1->verticalScrollBar();
    const int Scroll = Bar->value();
    QTextDocument *Doc = RichEdit1->document();
    const int OldCount = FPage.Count() - Change.Added + Change.Removed;
    if (Change.Everything || Doc->blockCount() != qMax(1, OldCount))
        RichEdit1->setPlainText(ShownLines(FPage.Lines(), 0, FPage.Count()));
    else if (Change.Removed > 0 || Change.Added > 0)
        ReplaceShownLines(Doc, FPage.Lines(), OldCount, Change);
    Bar->setValue(Scroll);
    FShowingPage = false;
    RichEdit1Change();
}

void TForm1::RichEdit1Change()
{
    if (FPage.Count() > 3 && !SpeedButton9->isEnabled()) {
        SpeedButton9->setEnabled(true);
        FPageSaved = false;
        RepaintPageList();
    }
}

TNewPageDefaults TForm1::NewPageDefaults() const
{
    TNewPageDefaults D;
    D.DefaultsFile = ProgramFolder() + QStringLiteral("defaultset.txt");
    const QDate Today = QDate::currentDate();
    D.Today = QStringLiteral("%1-%2-%3").arg(Today.year()).arg(Today.month()).arg(Today.day());
    D.Salesman = TPageDocument::ReadDatLine(ProgramFolder() + QStringLiteral("cols1.dat"), 2);
    D.OrderMail = TPageDocument::ReadDatLine(ProgramFolder() + QStringLiteral("cols1.dat"), 7);
    return D;
}

QString TForm1::ProjectFolder() const
{
    return TPageDocument::ReadDatLine(ProgramFolder() + QStringLiteral("cols1.dat"), 10).trimmed();
}

void TForm1::SetPageCaptionIfEmpty(const QString &Caption)
{
    if (GroupBox1->title().isEmpty())
        GroupBox1->setTitle(Caption);
}

void TForm1::InitNewPageText()
{
    if (FPage.InitNewPageText(NewPageDefaults()) && Form3)
        Form3->CheckBox1->setChecked(true);
}

// ---------------------------------------------------------------- the grid

void TForm1::SetupBlock(int First, int Number)
{
    for (int R = First; R < First + 5; ++R)
        CellGrid1->SetRowHeights(R, 32);
    CellGrid1->SetRowHeights(First + 5, CellGrid1->DefaultRowHeight());
    CellGrid1->MergeCellBlock(0, First, 1, 5);
    CellGrid1->MergeCellBlock(1, First, 1, 5);
    CellGrid1->MergeCellBlock(3, First + 3, 3, 2);
    CellGrid1->SetCellText(0, First, QString::number(Number));
    CellGrid1->SetCellText(2, First, QStringLiteral("编号："));
    CellGrid1->SetCellText(4, First, QStringLiteral("名称："));
    CellGrid1->SetCellText(2, First + 1, QStringLiteral("单价："));
    CellGrid1->SetCellText(4, First + 1, QStringLiteral("单位："));
    CellGrid1->SetCellText(2, First + 2, QStringLiteral("重量："));
    CellGrid1->SetCellText(4, First + 2, QStringLiteral("规格："));
    CellGrid1->SetCellText(2, First + 3, QStringLiteral("描述："));
}

void TForm1::ResetGrid()
{
    CellGrid1->EmptyAllCells();
    CellGrid1->SetRowCount(7);
    CellGrid1->SetCellText(0, 0, QStringLiteral("序号"));
    CellGrid1->SetCellText(1, 0, QStringLiteral("图片"));
    SetupBlock(1, 1);
    SyncEdit1();
}

void TForm1::AppendProductBlock()
{
    const int Old = CellGrid1->RowCount();
    CellGrid1->SetRowCount(Old + 6);
    SetupBlock(Old, (Old + 5) / 6);
}

void TForm1::LoadCellPicture(int ACol, int ARow, const QString &FileName)
{
    CellGrid1->CreatePicture(ACol, ARow, FileName);
}

void TForm1::LoadGridFromPage()
{
    GroupBox3->show();
    ProgressBar1->setRange(0, qMax(1, FPage.Count()));
    {
        // The grid is painted once it holds the page, not with each step of the progress box.
        struct TUpdatesOff {
            QWidget *Grid;
            bool Was;
            ~TUpdatesOff() { Grid->setUpdatesEnabled(Was); }
        } Off{CellGrid1, CellGrid1->updatesEnabled()};
        CellGrid1->setUpdatesEnabled(false);
        FPage.LoadGridFromPage(*FGridAccess, FPagePath, ProgramFolder());
    }
    GroupBox3->hide();
    SyncEdit1();
}

void TForm1::StoreProductBlock(int ACol, int ARow)
{
    if (FPage.StoreProductBlock(*FGridAccess, ACol, ARow) != TPageDocument::srNeedsRepair)
        return;
    if (MessageBox(this,
                   QStringLiteral("定位行号出错，可能您打开的qbt文件版本过老或者是文件结构被改变。是否修正此问题？"),
                   QStringLiteral("需要修正错误"), MB_YESNO | MB_ICONWARNING)
        != IDYES)
        return;
    RepairPageFile();
    MessageBox(this, QStringLiteral("修复结束。"), QStringLiteral("修复"), MB_OK | MB_ICONINFORMATION);
}

// ------------------------------------------------------------ open, close

void TForm1::ClosePage()
{
    FPage.Clear();
    ResetGrid();
    FPagePath.clear();
    // The next page without a file is another page.
    FNewPageKey = NewGuidString();
    FOpenPageEntry.clear();
    SpeedButton9->setEnabled(false);
    // The page of a page package is gone: what comes next is no longer written
    // into that package. A book package stays tied to its book's pages.
    if (!FPackageIsBook)
        FOpenedFromPackage = false;
}

void TForm1::Button5Click()
{
    if (SaveButtonEnabled()
        && MessageBox(this, QStringLiteral("该Catalog页面还没保存，没有保存的信息将丢失，是否关闭当前页面？"),
                      QStringLiteral("关闭页面"), MB_YESNO | MB_ICONWARNING)
            != IDYES)
        return;
    ClosePage();
}

void TForm1::OpenPage(const QString &Path)
{
    CycleNoticeLabel();
    ClosePage();
    // A page's file name may end in blanks; it is opened under that very name.
    if (!TCatalogBook::IsPageEntry(Path))
        return;
    TWaitCursor Wait;
    // A book's entry comes here resolved against the book's folder already;
    // what is still relative is taken from the current folder, never joined
    // to the book's folder a second time.
    const QString Full = AbsolutePath(Path);
    if (!FileExists(Full))
        return;
    // Only a page is opened: saving anything else as a page would destroy it.
    if (!TPageDocument::IsPageFile(Full)) {
        MessageBox(this, QStringLiteral("文件“%1”不是Catalog页面文件，不能打开。").arg(Full), QStringLiteral("打开页面"),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    FPage.LoadFromFile(Full);
    FPagePath = Full;
    FOpenPageEntry = ExtractFileName(Full);
    SetPageCaptionIfEmpty(QStringLiteral("页面文件：") + Full);
    FPendingFiles.clear();
    SpeedButton9->setEnabled(false);
    FPageSaved = true;
    LoadGridFromPage();
    RepaintPageList();
    FOpenedFromPackage = false;
    FPackageIsBook = false;
    OfferRepairOfDamagedPage();
}

void TForm1::OfferRepairOfDamagedPage()
{
    if (!FPage.LacksDetailLine())
        return;
    // Its products are not where they are read and written: editing it as it is
    // would change the wrong lines.
    if (MessageBox(this,
                   QStringLiteral("页面文件“%1”已经损坏（缺少{detail}行），商品资料不能正确读取和保存。是否修复此页面？")
                       .arg(FPagePath),
                   QStringLiteral("需要修正错误"), MB_YESNO | MB_ICONWARNING)
        != IDYES) {
        ClosePage();
        return;
    }
    QBT1Click();
}

// ------------------------------------------------------------ save, save as

void TForm1::SpeedButton9Click()
{
    if (FPageSaved)
        return;
    // A document that came out of a package is saved only when the package was
    // written: its files are scratch copies that go when the program ends.
    const bool IntoPackage = FOpenedFromPackage;
    // A package the user made read-only is refused as a read-only page is,
    // before anything is written: the document stays unsaved. (A package that
    // cannot be written for another reason says so when it is written.)
    if (IntoPackage && MadeReadOnly(FPackagePath))
        CheckFileReplaceable(FPackagePath);
    // A page of a book package whose save does not reach the package goes back
    // to what the package holds: the next save of any page writes the whole
    // book into the package, and must not take in changes the user may drop.
    QByteArray Held;
    bool Holds = false;
    if (!FPagePath.isEmpty()) {
        // The book records this page as the one open last. Whether its file
        // must change is decided before anything is written: a list the book
        // file cannot take refuses the save while nothing is written yet.
        const TCatalogBook::TFileChange Change = CheckCatalogTakesPage(NonEmptyOrSpace(FOpenPageEntry));
        if (IntoPackage && FPackageIsBook)
            Held = ReadFileBytes(FPagePath, &Holds);
        FPage.SaveToFile(FPagePath);
        SetCatalogValue(QStringLiteral("Catalog_Lost_name"), NonEmptyOrSpace(FOpenPageEntry));
        if (!IntoPackage)
            SpeedButton9->setEnabled(false);
        SaveCatalogWithPage(Change);
        if (!IntoPackage)
            FPageSaved = true;
    } else {
        // The dialog itself asks about no existing file: the page goes to the
        // chosen name made a page's name, and that file alone is asked about.
        SaveDialog1->Filter = PageFilter;
        SaveDialog1->Options &= ~OpenOpt(ofOverwritePrompt);
        SaveDialog1->InitialDir = ProjectFolder();
        SaveDialog1->FileName = SaveDialog1->InitialDir.isEmpty() ? QString() : FOpenPageEntry;
        if (!SaveDialog1->Execute())
            return;
        // A page is saved as a page: any other name gets the page extension.
        QString Path = SaveDialog1->FileName;
        if (TCatalogBook::EntryExt(Path).toUpper() != QLatin1String(".QBT"))
            Path += QStringLiteral(".qbt");
        if (RefusePageTarget(Path, true) || !ConfirmPageOverwrite(Path))
            return;
        // The page joins the book's list: a book file that cannot take it
        // refuses the save before the page is written.
        if (!FCatalogPath.isEmpty())
            CheckFileReplaceable(FCatalogPath);
        const QString Name = ExtractFileName(Path);
        // The page takes its file only once it is written there: a file that
        // cannot be written leaves the page as it was, still without a file.
        const QStringList Before = FPage.Lines();
        if (FPage.Values(QStringLiteral("{Catalog名称}")) == QStringLiteral("新建页面"))
            FPage.SetValues(QStringLiteral("{Catalog名称}"), Name.left(qMax(0, int(Name.size()) - 4)));
        // Its pictures keep showing from where it now lies.
        FPage.RebasePicturePaths(QString(), Path, ProgramFolder(), ScratchFolder());
        try {
            FPage.SaveToFile(Path);
        } catch (...) {
            if (FPage.Lines() != Before)
                FPage.SetLines(Before);
            throw;
        }
        SetPageCaptionIfEmpty(QStringLiteral("页面文件：") + Path);
        const int Shown = FOpenPageEntry.isEmpty() ? -1 : [&] {
            for (int I = 0; I < ListBox1->count(); ++I)
                if (ListBox1->item(I)->text() == FOpenPageEntry)
                    return I;
            return -1;
        }();
        if (Shown >= 0)
            ListBox1->item(Shown)->setText(Name);
        else
            ListBox1->addItem(Name);
        FOpenPageEntry = Name;
        PageSavedFirstAs(Path);
        FPagePath = Path;
        SetCatalogValue(QStringLiteral("Catalog_Lost_name"), NonEmptyOrSpace(FOpenPageEntry));
        if (!FCatalogPath.isEmpty()) {
            FCatalogList->append(Path);
            SaveCatalogFile();
        }
        AddPageHistory(Path);
        if (!IntoPackage) {
            FPageSaved = true;
            SpeedButton9->setEnabled(false);
        }
    }
    // A document that came out of a package is written back into it; until
    // that is done (a question answered 取消, a package that cannot be
    // written) the page keeps its changes unsaved, and every way out asks.
    if (IntoPackage) {
        const auto NotWritten = [&] {
            FPageSaved = false;
            SpeedButton9->setEnabled(true);
            RepaintPageList();
            if (Holds && !WriteFileAtomic(FPagePath, Held))
                throw EFCreateError(CannotCreateFileText(FPagePath, errno));
        };
        bool Written = false;
        try {
            Written = SavePackage();
        } catch (...) {
            NotWritten();
            throw;
        }
        if (!Written)
            NotWritten();
        FPageSaved = Written;
        SpeedButton9->setEnabled(!Written);
    }
    RepaintPageList();
}

// The caption names the page file while it shows one (and not the book or the
// package the page came with): it follows the page to the file it now is.
void TForm1::ShowPageFileInCaption(const QString &OldPath, const QString &NewPath, const QString &Prefix)
{
    const QString Title = GroupBox1->title();
    if (Title.isEmpty()) {
        GroupBox1->setTitle(Prefix + NewPath);
        return;
    }
    if (OldPath.isEmpty() || !Title.endsWith(OldPath))
        return;
    const QString Before = Title.left(Title.size() - OldPath.size());
    for (const QString &Page : {QStringLiteral("页面文件："), QStringLiteral("页面文件 "), QStringLiteral("工程源文件  ")})
        if (Before == Page) {
            GroupBox1->setTitle(Before + NewPath);
            return;
        }
}

void TForm1::N8Click()
{
    if (!CheckPageOpen(QStringLiteral("另存为")))
        return;
    SaveDialog1->Filter = PageFilter;
    SaveDialog1->Options &= ~OpenOpt(ofOverwritePrompt);
    SaveDialog1->InitialDir = ProjectFolder();
    SaveDialog1->FileName.clear();
    if (!SaveDialog1->Execute())
        return;
    QString Path = SaveDialog1->FileName;
    if (TCatalogBook::EntryExt(Path).toUpper() != QLatin1String(".QBT"))
        Path += QStringLiteral(".qbt");
    if (RefusePageTarget(Path, false) || !ConfirmPageOverwrite(Path))
        return;
    // Saved onto another page of the open book, it becomes that page of the
    // book, which records it as the page open last. That record alone never
    // stops the save; other changes of the list the book file cannot take do,
    // before anything is written.
    const int Line = CatalogEntryLineOf(Path);
    const bool BookPage = Line >= 0 && Line - ListBox1Tag < ListBox1->count();
    const QString Entry = BookPage ? ListBox1->item(Line - ListBox1Tag)->text() : QString();
    const bool NewEntry = BookPage && Entry != FOpenPageEntry;
    const TCatalogBook::TFileChange Change = NewEntry ? CheckCatalogTakesPage(Entry) : TCatalogBook::fcNone;
    // The pictures stay where they are and the page names them from its new
    // place; that change is saved with it, so a page without unsaved changes
    // still has none.
    const bool WasSaved = FPageSaved;
    const bool WasEnabled = SaveButtonEnabled();
    const QStringList Before = FPage.Lines();
    const bool Rebased = FPage.RebasePicturePaths(FPagePath, Path, ProgramFolder(), ScratchFolder());
    try {
        FPage.SaveToFile(Path);
    } catch (...) {
        // Not written: the page stays the page of its own file, as it was.
        if (Rebased) {
            FPage.SetLines(Before);
            FPageSaved = WasSaved;
            SpeedButton9->setEnabled(WasEnabled);
            RepaintPageList();
        }
        throw;
    }
    const QString OldPath = FPagePath;
    const bool HadNoFile = FPagePath.isEmpty();
    FPagePath = Path;
    ShowPageFileInCaption(OldPath, Path, QStringLiteral("页面文件 "));
    // A page saved before stays that file's page (its outputs stay its
    // own); a page that had no file is the page of this one now.
    if (HadNoFile)
        PageSavedFirstAs(Path);
    AddPageHistory(Path);
    SpeedButton9->setEnabled(false);
    if (Rebased) {
        FPageSaved = WasSaved;
        RepaintPageList();
    }
    // The page belongs to its new file alone: a page package it came from is
    // no longer written by its saves.
    if (FOpenedFromPackage && !FPackageIsBook)
        FOpenedFromPackage = false;
    // Saved onto another page of the open book, it is that page of the book now:
    // the list marks it as the open page and the book reopens it.
    if (BookPage) {
        if (NewEntry) {
            // The entry of a page that had no file stood in the list alone.
            const int Listed = int(FCatalogList->size()) - ListBox1Tag;
            for (int I = ListBox1->count() - 1; I >= Listed; --I)
                if (ListBox1->item(I)->text() == FOpenPageEntry)
                    delete ListBox1->takeItem(I);
            FOpenPageEntry = Entry;
            SetCatalogValue(QStringLiteral("Catalog_Lost_name"), Entry);
            ListBox1->setCurrentRow(Line - ListBox1Tag);
            SaveCatalogWithPage(Change);
        }
        RepaintPageList();
    }
}

namespace {

// Whether A and B name the same file: the same file on disk when both exist
// (through links too), else the same full path.
bool SameFile(const QString &A, const QString &B)
{
    const QString RealA = QFileInfo(A).canonicalFilePath();
    if (!RealA.isEmpty() && RealA == QFileInfo(B).canonicalFilePath())
        return true;
    return AbsolutePath(A) == AbsolutePath(B);
}

} // namespace

int TForm1::CatalogEntryLineOf(const QString &Path) const
{
    if (!FCatalogList || FCatalogPath.isEmpty())
        return -1;
    const int First = TCatalogBook::FirstEntryLine(*FCatalogList);
    for (int I = qMax(0, First); First >= 0 && I < FCatalogList->size(); ++I)
        if (SameFile(TCatalogBook::ResolveEntry(FCatalogPath, FCatalogList->at(I)), Path))
            return I;
    return -1;
}

bool TForm1::ConfirmPageOverwrite(const QString &Path)
{
    // The file named is the one the page is written to, the page extension and
    // all. A file that cannot be replaced (made read-only, here or where its
    // link leads) is refused before anything is asked about it.
    CheckFileReplaceable(Path);
    return !FileExists(Path)
        || MessageBox(this, Path + QStringLiteral("\r\n该页面文件已经存在，覆盖已存在的文件吗？（不推荐）"),
                      QCoreApplication::applicationName(), MB_YESNO | MB_ICONQUESTION)
        == IDYES;
}

bool TForm1::RefusePageTarget(const QString &Path, bool OtherPages)
{
    QString Why;
    if (!FCatalogPath.isEmpty() && SameFile(Path, FCatalogPath))
        Why = QStringLiteral("它是打开的目录册文件，页面不能保存到目录册文件中。");
    else if (const int Line = OtherPages ? CatalogEntryLineOf(Path) : -1; Line >= 0)
        Why = QStringLiteral("它是目录册中的页面“%1”，保存会覆盖这个页面。").arg(ExtractFileName(FCatalogList->at(Line)));
    if (Why.isEmpty())
        return false;
    MessageBox(this, QStringLiteral("页面没有保存到“%1”：").arg(Path) + Why + QStringLiteral("请另选一个文件名。"),
               QStringLiteral("保存页面"), MB_OK | MB_ICONWARNING);
    return true;
}

void TForm1::AddPageHistory(const QString &Path)
{
    TPageDocument::AddPageHistory(ProgramFolder() + QStringLiteral("history.txt"), Path);
}

// ------------------------------------------------------------------ repair

void TForm1::RepairPageFile()
{
    RichEdit1->setFocus();
    Edit1->hide();
    TWaitCursor Wait;
    const bool Reload = FPage.RepairPageFile(NewPageDefaults(), [this] {
        return MessageBox(this, QStringLiteral("文件头无法修复，是否重建？"), QStringLiteral("重建"),
                          MB_YESNO | MB_ICONWARNING)
            == IDYES;
    });
    if (Reload) {
        ResetGrid();
        LoadGridFromPage();
    }
}

void TForm1::RebuildPageHeader()
{
    FPage.RebuildPageHeader(NewPageDefaults());
}

void TForm1::RebuildProductBlocks()
{
    FPage.RebuildProductBlocks();
}

void TForm1::QBT1Click()
{
    RepairPageFile();
    RepairPageFile();
    ResetGrid();
    LoadGridFromPage();
    MessageBox(this, QStringLiteral("修复结束。"), QStringLiteral("修复"), MB_OK | MB_ICONINFORMATION);
}
