// The main window's page pictures and PDF: the open page (or an .htm of the
// book) published as HTML and turned into JPEG pictures or a PDF by the
// picture form, and the same for every page of a book output.
//
// The clean-up after a page picture removes only what this output made: the
// .htm when it was new, the picture copies it put into the pictures folder,
// and that folder when it made it. A picture that could not be made says
// "转换失败。", followed by the reason when there is one; a failed output
// leaves none of its pictures, and not its output folder when it made it.
//
// While pictures are rendered and a PDF is written the bar moves with every
// tile and every page, and the progress box's 取消 stops the output: it then
// leaves what a failed one leaves, and says that it was cancelled.

#include "MainWindow.h"
#include "OutputProgress.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/ReceivedPaths.h"
#include "catalog/output/Htm2Jpg.h"
#include "catalog/output/HtmlText.h"
#include "catalog/output/PageOutput.h"
#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace {

const QString ConversionFailed = QStringLiteral("转换失败。");
const QString ConversionCancelled = QStringLiteral("转换已取消。");

void ShowConversionFailed(TForm1 *Form, const QString &Reason)
{
    MessageBox(Form, ConversionFailed + Reason, QStringLiteral("错误"), MB_OK | MB_ICONERROR);
}

void ShowConversionCancelled(TForm1 *Form)
{
    MessageBox(Form, ConversionCancelled, QStringLiteral("提示"), MB_OK | MB_ICONINFORMATION);
}

void DeleteFiles(const QStringList &Files)
{
    for (qsizetype I = Files.size() - 1; I >= 0; --I)
        DeleteFile(Files.at(I));
}

void ShowStep(TForm1 *Form, int Position, const QString &Caption)
{
    Form->ProgressBar1->setRange(0, 100);
    Form->ProgressBar1->setValue(Position);
    Form->GroupBox3->setTitle(Caption);
    Form->GroupBox3->repaint();
}

// The picture form with the main window's questions; the progress box's
// cancel button stops it (also when it was pressed before the form was made).
std::unique_ptr<Thtm2jpg2> NewPictureForm(TForm1 *Form)
{
    auto F = std::make_unique<Thtm2jpg2>();
    F->AskYesNo = [Form](const QString &Text, const QString &Caption) {
        return MessageBox(Form, Text, Caption, MB_YESNO | MB_ICONWARNING) == IDYES;
    };
    F->Tell = [Form](const QString &Text) { MessageBox(Form, Text, QStringLiteral("提示"), MB_OK | MB_ICONINFORMATION); };
    Thtm2jpg2 *Picture = F.get();
    QObject::connect(Form->ProgressCancel, &QPushButton::clicked, Picture, [Picture] { Picture->Cancel(); });
    if (Form->FOutputCancelled)
        F->Cancel();
    return F;
}

// The bar runs from From to To with the form's steps (Caption, when given,
// names the position), and the window's events are taken at each: the bar
// is painted and the cancel button answers also while a PDF is written,
// which waits for nothing.
void FollowSteps(TForm1 *Form, Thtm2jpg2 &Picture, int From, int To,
                 const std::function<QString(int Position)> &Caption = {})
{
    Picture.OnProgress = [=](int Done, int Total) {
        const int Position = From + int(qint64(To - From) * std::clamp(Done, 0, Total) / std::max(Total, 1));
        if (Position != Form->ProgressBar1->value()) {
            Form->ProgressBar1->setValue(Position);
            if (Caption)
                Form->GroupBox3->setTitle(Caption(Position));
        }
        ProcessMessages();
    };
}

// Paths written with doubled separators (from joined folder names) collapse.
QString CollapseSeparators(QString Path)
{
    Path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (Path.contains(QStringLiteral("//")))
        Path.replace(QStringLiteral("//"), QStringLiteral("/"));
    return Path;
}

// The pictures a PDF is made of are removed once it is written; they get a
// name no picture of the folder has yet, so an earlier picture output stays.
QString FreePictureBase(const QString &Base)
{
    QString Name = Base;
    for (int K = 2; FileExists(Name + QStringLiteral(".jpg")) || FileExists(Thtm2jpg2::PieceName(Name + QStringLiteral(".jpg"), 1));
         ++K)
        Name = Base + QStringLiteral("(%1)").arg(K);
    return Name;
}

class TProgressShown {
public:
    explicit TProgressShown(TForm1 *Form) : FForm(Form) { FForm->GroupBox3->show(); }
    ~TProgressShown() { FForm->GroupBox3->hide(); }
    TProgressShown(const TProgressShown &) = delete;
    TProgressShown &operator=(const TProgressShown &) = delete;

private:
    TForm1 *FForm;
};

// The file a row of the book's page list stands for, resolved as the book
// output resolves the entry; "" when the book names none that may be used.
QString ListedFile(const TForm1 *Form, int Row)
{
    // The list shows file names only; the book stores each entry as a path
    // (relative to the book's folder, or full). Rows and entries go in step,
    // but a new page not yet saved into the book is shown without its entry.
    if (!Form->FCatalogList || Row < 0 || !Form->ListBox1->item(Row))
        return QString();
    const QString Shown = Form->ListBox1->item(Row)->text();
    QString Entry;
    const int First = TCatalogBook::FirstEntryLine(*Form->FCatalogList);
    if (First >= 0) {
        const int K = Form->ListBox1Tag + Row;
        if (K >= First && K < Form->FCatalogList->size() && ExtractFileName(Form->FCatalogList->at(K)) == Shown)
            Entry = Form->FCatalogList->at(K);
        for (int I = First; Entry.isEmpty() && I < Form->FCatalogList->size(); ++I)
            if (ExtractFileName(Form->FCatalogList->at(I)) == Shown)
                Entry = Form->FCatalogList->at(I);
    }
    if (Entry.isEmpty())
        return QString();
    // A book that came in a package names only files inside the package, as
    // when it was opened: no "..", no link is followed.
    if (!Form->FPackageFolder.isEmpty() && !IsAbsoluteStoredPath(Entry)) {
        const QString Package = QDir::cleanPath(Form->FPackageFolder) + QLatin1Char('/');
        if (QDir::cleanPath(QFileInfo(Form->FCatalogPath).absoluteFilePath()).startsWith(Package))
            return ReceivedPaths::PathInside(Form->FPackageFolder, ExtractFilePath(Form->FCatalogPath), Entry);
    }
    return TCatalogBook::ResolveEntry(Form->FCatalogPath, Entry);
}

} // namespace

void TForm1::PageToImageOrPdf(bool Single, bool Pdf, QString &ResultPath, bool &Open)
{
    ResultPath.clear();
    // The window takes no input while the browser engine pumps events.
    TBusyLock Busy(this);
    TProgressShown Shown(this);
    ShowStep(this, 10, QStringLiteral("正在创建htm文件……"));
    QString Htm;
    bool ListedHtm = false;
    QString PictureFolder;
    bool MadePictureFolder = false;
    const QListWidgetItem *Selected = ListBox1->currentItem();
    if (!Selected || !Selected->isSelected()) {
        if (FPage.Count() < 2) {
            if (MessageBox(this,
                           QStringLiteral("当前页面文件为空，请先新建Catalog页面，或者打开一个已有的目录册或页面。要新建页面吗？"),
                           QStringLiteral("确认"), MB_OKCANCEL | MB_ICONQUESTION)
                == IDOK)
                NewPage();
            Open = false;
            return;
        }
        OutputPage(omHtml, false, QString(), Htm);
    } else {
        const QString Entry = Selected->text();
        const QString Ext = ExtractFileExt(Entry).toLower();
        if (Ext == QLatin1String(".htm")) {
            Htm = ListedFile(this, ListBox1->row(Selected));
            ListedHtm = true;
            if (Htm.isEmpty() || !FileExists(Htm)) {
                MessageBox(this,
                           QStringLiteral("找不到文件“%1”，不能转换为图片或PDF。")
                               .arg(Htm.isEmpty() ? Entry : QDir::toNativeSeparators(Htm)),
                           QStringLiteral("错误"), MB_OK | MB_ICONERROR);
                Open = false;
                return;
            }
            // A web page of a book opened from a package lies in the scratch
            // folder, which goes when the program ends: its pictures go to the
            // book's output folder, where its other outputs are.
            if (QDir::cleanPath(QFileInfo(Htm).absoluteFilePath()).startsWith(QDir::cleanPath(ScratchFolder()) + QLatin1Char('/'))) {
                PictureFolder = BookOutputFolder(&MadePictureFolder);
            }
        } else if (TCatalogBook::IsPageEntry(Entry)) {
            if (Entry != FOpenPageEntry) {
                MessageBox(this,
                           QStringLiteral("您选择了文件：") + Entry
                               + QStringLiteral(" 但没有保存或者打开，只能转换已经打开的qbt文件为图片或PDF文件，htm文件则只需选中即可转换。"),
                           QStringLiteral("错误"), MB_OK | MB_ICONERROR);
                Open = false;
                return;
            }
            OutputPage(omHtml, false, QString(), Htm);
        } else {
            MessageBox(this, QStringLiteral("不能转换除qbt,htm文件外的其他文件到图片或PDF。"), QStringLiteral("错误"),
                       MB_OK | MB_ICONERROR);
            Open = false;
            return;
        }
    }
    if (Htm.isEmpty() || !FileExists(Htm)) {
        // The page output was cancelled or said why it failed.
        Open = false;
        return;
    }
    TWaitCursor Wait;
    if (ListedHtm) {
        // Nothing of this output is to be removed afterwards.
        FOutputCopies.clear();
        FOutputMadeFolder.clear();
    }
    std::optional<TCancelOffered> Cancel(std::in_place, this);
    ConvertPageToImage(Htm, !Single, ResultPath, Open, Pdf, ListedHtm, PictureFolder);
    Cancel.reset();
    // Set by the conversion: true only when it stopped at the cancel.
    const bool Cancelled = FOutputCancelled;
    if (!ListedHtm) {
        ShowStep(this, 90, QStringLiteral("清理临时文件……"));
        // A page an earlier HTML output left there stays (with this output's text).
        if (FOutputMadePage)
            DeleteFile(CollapseSeparators(Htm));
        for (const QString &F : std::as_const(FOutputCopies))
            DeleteFile(F);
        if (!FOutputMadeFolder.isEmpty())
            QDir().rmdir(FOutputMadeFolder);
        // Without a picture the folder the output made for it goes too (when empty).
        if (ResultPath.isEmpty() && !FOutputMadeOutputFolder.isEmpty())
            QDir().rmdir(FOutputMadeOutputFolder);
        FOutputCopies.clear();
        FOutputMadeFolder.clear();
        FOutputMadeOutputFolder.clear();
    }
    // Without a picture the book's folder made for it goes too.
    if (ResultPath.isEmpty() && MadePictureFolder)
        QDir().rmdir(PictureFolder);
    if (Cancelled) {
        ShowConversionCancelled(this);
        return;
    }
    ShowStep(this, 100, QStringLiteral("完毕……"));
}

void TForm1::ConvertPageToImage(const QString &HtmPath, bool Split, QString &ResultPath, bool &Open, bool &Pdf,
                                bool BesideUsersFiles, const QString &PictureFolder)
{
    const QString Htm = CollapseSeparators(HtmPath);
    ShowStep(this, 35, QStringLiteral("正在创建htm2jpg模块……"));
    std::unique_ptr<Thtm2jpg2> Form = NewPictureForm(this);
    const QString Base = (PictureFolder.isEmpty() ? ExtractFilePath(Htm) : IncludeTrailingPathDelimiter(PictureFolder))
        + TPageOutput::FileBaseName(ExtractFileName(Htm));
    // Beside a web page of the user's, "page.jpg" or "page_1.jpg" may well be
    // a picture the page shows: the pictures take names no file has there.
    const QString Jpg = (Pdf || BesideUsersFiles ? FreePictureBase(Base) : Base) + QStringLiteral(".jpg");
    ShowStep(this, 60, QStringLiteral("正在生成图片……"));
    FollowSteps(this, *Form, 60, Pdf ? 80 : 90);
    const QString Url = QUrl::fromLocalFile(Htm).toString();
    bool Done = Split || Pdf ? Form->HtmlToJpgPages(Url, Jpg, true, 0) : Form->HtmlToJpg(Url, Jpg);
    QString Result = Jpg;
    if (Done && Pdf) {
        ShowStep(this, 80, QStringLiteral("写入pdf格式……"));
        FollowSteps(this, *Form, 80, 90);
        // Beside the user's web page a PDF of its name may be the user's own
        // document (the page and a PDF of it side by side): it stays.
        QString PdfBase = Base;
        for (int K = 2; BesideUsersFiles && FileExists(PdfBase + QStringLiteral(".pdf")); ++K)
            PdfBase = Base + QStringLiteral("(%1)").arg(K);
        Result = PdfBase + QStringLiteral(".pdf");
        Done = Form->JpgListToPdf(Result);
        // The pictures were made for the PDF only.
        if (!Done)
            DeleteFiles(Form->JpgList());
    }
    const QString Reason = Done ? QString() : Form->LastError();
    FOutputCancelled = !Done && Form->Cancelled();
    Form.reset();
    ResultPath = Done ? Result : QString();
    if (Done) {
        Open = true;
    } else if (FOutputCancelled) {
        // The caller says so once it has cleaned up.
        Open = false;
    } else if (!Reason.isEmpty()) {
        // Said here with its reason; otherwise Open stays as it was and the
        // command says the conversion failed.
        ShowConversionFailed(this, Reason);
        Open = false;
    }
}

namespace {

void RunPictureCommand(TForm1 *Form, bool Single, bool Pdf)
{
    QString Result;
    bool Open = true;
    Form->PageToImageOrPdf(Single, Pdf, Result, Open);
    if (!Result.isEmpty()) {
        if (Open)
            Shell().Open(ExtractFilePath(Result));
    } else if (Open) {
        // Open stays set only when a conversion was started and failed without saying why.
        ShowConversionFailed(Form, QString());
    }
}

} // namespace

void TForm1::JPG1Click()
{
    RunPictureCommand(this, true, false);
}

void TForm1::JPG2Click()
{
    RunPictureCommand(this, false, false);
}

void TForm1::PDFpdf1Click()
{
    RunPictureCommand(this, false, true);
}

void TForm1::SetupPictureCommands()
{
    auto Add = [this](QMenu *Menu, const QString &Name, const QString &Caption, void (TForm1::*Handler)()) {
        if (!Menu || findChild<QAction *>(Name))
            return;
        QAction *A = Menu->addAction(Caption);
        A->setObjectName(Name);
        connect(A, &QAction::triggered, this, [this, Handler] { Guard([this, Handler] { (this->*Handler)(); }); });
    };
    // The page pictures in the page-output menu, the book's in the book-output menu.
    const auto N108 = findChild<QAction *>(QStringLiteral("N108"));
    if (QMenu *PageOut = N108 ? N108->menu() : nullptr) {
        PageOut->addSeparator();
        Add(PageOut, QStringLiteral("JPG1"), QStringLiteral("JPG 单张图片"), &TForm1::JPG1Click);
        Add(PageOut, QStringLiteral("JPG2"), QStringLiteral("JPG 按屏幕高度拆分的多张图片"), &TForm1::JPG2Click);
        Add(PageOut, QStringLiteral("PDFpdf1"), QStringLiteral("PDF 文件格式"), &TForm1::PDFpdf1Click);
    }
    QAction *BookOut = findChild<QAction *>(QStringLiteral("N106"));
    if (BookOut && BookOut->menu()) {
        BookOut->menu()->addSeparator();
        Add(BookOut->menu(), QStringLiteral("JPG3"), QStringLiteral("JPG 每页一张图片"), &TForm1::JPG3Click);
        Add(BookOut->menu(), QStringLiteral("JPG4"), QStringLiteral("JPG 按屏幕高度拆分的多张图片"), &TForm1::JPG4Click);
        Add(BookOut->menu(), QStringLiteral("PDFpdf2"), QStringLiteral("PDF 文件格式"), &TForm1::PDFpdf2Click);
    }

    ConvertCatalogToImages = [this](const QStringList &Files, const QStringList &Listed, const QString &Folder, bool Pdf,
                                    bool Single) {
        // The pictures are named after the book's entries the pages were made
        // from, each name once.
        const QString D = IncludeTrailingPathDelimiter(Folder);
        TBusyLock Busy(this);
        std::optional<TCancelOffered> Cancel(std::in_place, this);
        QSet<QString> Taken;
        QStringList Made;   // every picture of this output, so far
        // A stopped output leaves none of its pictures, and says so once they are gone.
        const auto Stop = [&] {
            DeleteFiles(Made);
            Cancel.reset();
            ShowConversionCancelled(this);
            return false;
        };
        const int Count = int(Files.size());
        // The pictures fill the second half of the bar; a PDF's pages take its last tenth.
        const int PicturesEnd = Pdf ? 90 : 100;
        const auto PictureCaption = [](int Position) { return QStringLiteral("写入图片……%1%").arg(Position); };
        bool First = true;
        for (int I = 0; I < Count; ++I) {
            const QString Name = Files.at(I);
            const QString Ext = ExtractFileExt(Name).toLower();
            if (Ext != QLatin1String(".htm") && Ext != QLatin1String(".html"))
                continue;   // a listed picture or file is no page to photograph
            if (FOutputCancelled)
                return Stop();
            const int From = 50 + int(std::lround(I * double(PicturesEnd - 50) / Count));
            const int To = 50 + int(std::lround((I + 1) * double(PicturesEnd - 50) / Count));
            ShowStep(this, From, PictureCaption(From));
            const QString Source = CollapseSeparators(D + QStringLiteral("images/") + Name);
            QString Base = TCatalogBook::SafeFileName(
                TPageOutput::FileBaseName(ExtractFileName(QString(Listed.value(I, Name)).replace(QLatin1Char('\\'), QLatin1Char('/')))));
            if (Base.isEmpty())
                Base = QStringLiteral("page");
            QString Unique = Base;
            for (int K = 2; Taken.contains(Unique.toLower()); ++K)
                Unique = Base + QStringLiteral("(%1)").arg(K);
            Taken.insert(Unique.toLower());
            const QString Jpg = (Pdf ? FreePictureBase(D + Unique) : D + Unique) + QStringLiteral(".jpg");
            std::unique_ptr<Thtm2jpg2> Form = NewPictureForm(this);
            FollowSteps(this, *Form, From, To, PictureCaption);
            const QString Url = QUrl::fromLocalFile(Source).toString();
            const bool OnePicture = Single && !Pdf;
            const bool Done = OnePicture ? Form->HtmlToJpg(Url, Jpg) : Form->HtmlToJpgPages(Url, Jpg, First, 0);
            First = false;
            if (!Done && Form->Cancelled())
                return Stop();
            if (!Done) {
                // A failed output leaves none of its pictures.
                ShowConversionFailed(this, Form->LastError());
                DeleteFiles(Made);
                return false;
            }
            const qsizetype Before = Made.size();
            Form->GetJpgList(Made);
            // One picture of the whole page is the one the form does not list.
            if (OnePicture && Made.size() == Before && FileExists(Jpg))
                Made << Jpg;
        }
        if (FOutputCancelled)
            return Stop();
        if (!Pdf)
            return true;
        ShowStep(this, PicturesEnd, QStringLiteral("写入PDF格式……"));
        // Named by the text the book's name shows, without its markup.
        QString PdfBase = FCatalogList ? TCatalogBook::SafeFileName(
                              HtmlText::PlainText(TCatalogBook::Value(*FCatalogList, QStringLiteral("Catalog_name"))).trimmed())
                                       : QString();
        // One file name of a length every file system takes; the cut keeps
        // a character outside the basic plane whole or leaves it out.
        PdfBase = PdfBase.left(80);
        if (!PdfBase.isEmpty() && PdfBase.back().isHighSurrogate())
            PdfBase.chop(1);
        PdfBase = PdfBase.trimmed();
        if (PdfBase.isEmpty() || PdfBase.startsWith(QLatin1Char('.')))
            PdfBase = QStringLiteral("catalog");
        std::unique_ptr<Thtm2jpg2> Form = NewPictureForm(this);
        FollowSteps(this, *Form, PicturesEnd, 100);
        if (!Form->StringsToPdf(Made, D + PdfBase + QStringLiteral(".pdf"))) {
            if (Form->Cancelled())
                return Stop();
            ShowConversionFailed(this, Form->LastError());
            DeleteFiles(Made);
            return false;
        }
        return true;
    };
}
