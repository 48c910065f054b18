#pragma once
// TForm1, the main window: book pane, page text, start page and product grid.
// Its handlers are short; the page document does the work on the page text.

#include "ProductGrid.h"
#include "catalog/document/CatalogBook.h"
#include "catalog/document/PageDocument.h"
#include "platform/core/Types.h"
#include "platform/services/Messages.h"
#include "platform/services/Prompts.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMimeData;
class TBitmap;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSplitter;
class QStatusBar;
class QToolButton;
class QWidget;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class TPictureView;
struct TSharedPictureNames;

// Private window messages of the main window.
constexpr unsigned WM_STARTUPOPEN = 0x1408;
constexpr unsigned WM_OPENPAGEFILE = 0x1409;
constexpr unsigned WM_FORMNOTIFY = 0x1410;

class TForm1 : public QMainWindow, public TObject, public TMessageTarget {
    Q_OBJECT
public:
    explicit TForm1(QWidget *Parent = nullptr);
    ~TForm1() override;

    // The browser pane shows the start page unless switched off (tests).
    static bool BrowserEnabled;
    static bool BrowserWanted();
    // Creates WebBrowser1 and shows the start page in it.
    void CreateBrowser();
    // The addresses the maker's commands open; local pages of the program folder by default.
    QString StartPageUrl() const;
    QString MakerPageUrl(const QString &Anchor) const;

    // Creates the dialogs in their start-up order, parented to this window.
    void CreateForms();

    // ---- private window messages ----
    qintptr WndProc(unsigned Msg, qintptr WParam, qintptr LParam) override;
    // Posts WM_OPENPAGEFILE for a page path. The path travels as text inside this
    // process; the message's own parameters carry no pointer.
    void PostOpenPageFile(const QString &Path);
    void WMStartupOpen();
    void WMOpenPageFile(const QString &Path);
    // Says at start-up when the program folder cannot be written to.
    void CheckProgramFolderWritable();
    void WMFormNotify(qintptr WParam, qintptr LParam);

    // ---- form events ----
    void FormCreate();
    void FormCloseQuery(TObject *Sender, bool &CanClose);
    void FormClose(TObject *Sender);
    void ApplicationEvents1Exception(TObject *Sender, const Exception &E);
    // Runs a handler; an error escaping it reaches the application's error handler.
    void Guard(const std::function<void()> &Handler);

    // ---- shared routines ----
    QString BrowseForFolder(const QString &Caption, QWidget *Owner);
    static QString NonEmptyOrSpace(const QString &S);
    static void DeleteFolderFiles(const QString &Folder);
    bool CopyFolderTree(const QString &Source, const QString &Dest, const QString &Name);
    void RunAndWait(const QString &Program, const QString &Arguments);

    // ---- page document ----
    void InitNewPageText();
    void LoadGridFromPage();
    Q_INVOKABLE void StoreProductBlock(int ACol, int ARow);
    static int BlockFirstRow(int Row) { return TPageDocument::BlockFirstRow(Row); }
    Q_INVOKABLE void SpeedButton9Click();
    void N8Click();
    Q_INVOKABLE void OpenPage(const QString &Path);
    void ClosePage();
    void AddPageHistory(const QString &Path);
    // The page is the file NewPath now: a caption that named its file OldPath
    // names NewPath; an empty one becomes Prefix and NewPath.
    void ShowPageFileInCaption(const QString &OldPath, const QString &NewPath, const QString &Prefix);
    // A page is saved as a page only: true, after a box that says why, when
    // Path is the open book's own file or, with OtherPages, a file its list
    // names (saving there would overwrite another page of the book).
    bool RefusePageTarget(const QString &Path, bool OtherPages);
    // True when Path is no file yet or the user agrees to replace it.
    bool ConfirmPageOverwrite(const QString &Path);
    // The line of the open book's list that names the file Path, or -1.
    int CatalogEntryLineOf(const QString &Path) const;
    void RepairPageFile();
    void RebuildPageHeader();
    void RebuildProductBlocks();
    void QBT1Click();
    void RichEdit1Change();
    void Button5Click();
    void Button1Click();

    // ---- product grid set-up ----
    void ResetGrid();
    void AppendProductBlock();
    void LoadCellPicture(int ACol, int ARow, const QString &FileName);

    // ---- book, package and pictures (the parts start-up reaches) ----
    void NewPage();
    void SpeedButton6Click();
    void OpenCatalog(const QString &Path, bool KeepPage);
    void FillPageList();
    void CreateDefaultCatalog(bool KeepPage);
    bool CloseCatalog();
    void SaveCatalogFile();
    // What a save of the page changes in the open book's file, with LastPage
    // recorded as the page open last (a book file that cannot be read counts
    // as changed). A change of more than that record, which a book file that
    // cannot be replaced would not take, refuses the save before anything is
    // written (EFCreateError).
    TCatalogBook::TFileChange CheckCatalogTakesPage(const QString &LastPage) const;
    // The book's file after a save of its page wrote the page: a change of its
    // list is written (the save checked first that the file takes it); the
    // record of the page open last alone is written when the file may be
    // written, and left as it is otherwise; an unchanged book is not written.
    void SaveCatalogWithPage(TCatalogBook::TFileChange Change);
    void OpenPackage(const QString &Path);
    void ImportPictures(const QStringList &Files);
    void CycleNoticeLabel();

    // ---- page settings, company information, output language (MainWindowDialogs.cpp) ----
    void SpeedButton8Click();
    void Button2Click();
    void N124Click();
    // Connects the buttons and menu items of these commands.
    void ConnectDialogCommands();

    // ---- small commands of the main menu ----
    void OpenTemplateFolder();
    void OpenHelp();
    void ContactAuthor();
    void About();
    void Label1Click();

    TPageDocument &Page() { return FPage; }
    TProductGridAccess &GridAccess() { return *FGridAccess; }

    // ---- components ----
    QMenuBar *MainMenu1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QListWidget *ListBox1 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QToolButton *SpeedButton2 = nullptr, *SpeedButton3 = nullptr, *SpeedButton4 = nullptr,
                *SpeedButton5 = nullptr, *SpeedButton6 = nullptr, *SpeedButton7 = nullptr,
                *SpeedButton8 = nullptr, *SpeedButton9 = nullptr, *SpeedButton10 = nullptr,
                *SpeedButton11 = nullptr, *SpeedButton12 = nullptr, *SpeedButton13 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr,
                *Button5 = nullptr, *Button6 = nullptr, *Button7 = nullptr, *Button8 = nullptr;
    QPlainTextEdit *RichEdit1 = nullptr;
    QWidget *WebBrowserPane = nullptr;
    QWidget *WebBrowser1 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QScrollArea *ScrollBox1 = nullptr;
    TProductGrid *CellGrid1 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    // Stops the page output that is running (shown with its progress only).
    QPushButton *ProgressCancel = nullptr;
    bool FOutputCancelled = false;
    QLineEdit *Edit1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QLabel *Label1 = nullptr;
    int Label1Tag = 0;
    std::unique_ptr<TOpenDialog> OpenDialog1;
    std::unique_ptr<TSaveDialog> SaveDialog1;

    // ---- dialogs, in creation order ----
    QPointer<TForm2> Form2;
    QPointer<TForm3> Form3;
    QPointer<TForm4> Form4;
    QPointer<TForm5> Form5;
    QPointer<TPictureView> PictureView;
    QPointer<TForm6> Form6;
    QPointer<TForm7> Form7;
    QPointer<TForm8> Form8;

    // The command line start-up walks: the program's own path, then the arguments.
    QStringList CommandLine;

    // ---- private state ----
    QString FPendingFiles;
    QString FPagePath;
    QString FOpenPageEntry;
    // While a book output produces a page: the names its pages gave their pictures.
    TSharedPictureNames *FBookPictureNames = nullptr;
    bool FPageSaved = true;
    std::unique_ptr<QStringList> FCatalogList;
    QString FCatalogPath;
    QString FCatalogName;
    QString FCatalogIndexName;
    QString FNewCatalogPath;
    bool FOpenedFromPackage = false;
    bool FPackageIsBook = false;
    QString FPackagePath;
    // Where the open package was unpacked (with trailing "/").
    QString FPackageFolder;
    // The page open in the window while it has no file: who it is in the
    // record of output folders, until its first save gives it a file.
    QString FNewPageKey = NewGuidString();
    // Who the page or book File is in the record of output folders (a
    // document of the open package by its place in the package; File ""
    // is the page never saved).
    QString OutputMaker(const QString &File) const;
    // The page never saved becomes the page of the file Path.
    void PageSavedFirstAs(const QString &Path);
    // The output folders that the pages and books of opened packages named,
    // by file: while a file still names the folder it came with, its outputs
    // go to the program folder's 输出 instead.
    QHash<QString, QString> FReceivedOutputFolders;
    bool CameWithOutputFolder(const QString &File, const QString &Folder) const;
    int FSearchRow = 1;
    int ListBox1Tag = 0;

    bool SaveButtonEnabled() const;

    // ---- Output: page validation and page output ----
    bool ValidatePageHeader();
    void OutputPage(int Mode, bool OpenAfterwards, const QString &OutputFolder, QString &ResultPath);
    QString LoadEffectHead(const QString &Effect);
    QString LoadEffectBody(const QString &Effect);
    static QString FileBaseName(const QString &Path);
    static QString NewGuidString();
    void WriteMht(const QString &HtmlPath, const QStringList &Files, QString &ResultPath, const QString &MhtPath);
    void ChmProgress(const QString &Text);
    void N53Click();
    void ZIP1Click();
    void RAR1Click();
    void EXE1Click();
    void HTML1Click();
    void CHM1Click();
    void QBA1Click();
    void N57Click();
    void SpeedButton5Click();
    void Button7Click();
    void SetupOutputMenus();
    QMenu *PopupMenu2 = nullptr;
    // ---- end of Output ----

    // ---- Book and packages ----
    // The open-file command of N3, N82 and N85 (Sender: the item's name).
    void N82Click(const QString &Sender);
    // New book (EditInfo false) or the open book's settings (N97, EditInfo true).
    void SpeedButton7Click(bool EditInfo = false);
    // Notice 100 of the book information dialog: its values go into the open book.
    void ApplyBookInformation();
    void AddFileToCatalog(const QString &Path);
    void SpeedButton12Click();
    void SpeedButton13Click();
    void ListBox1Click();
    void CheckBox1MouseUp();
    void ListBox1DblClick();
    // Reordering by dragging inside the page list (item indexes; -1 for none).
    bool ListBox1DragOver(int Source, int Target);
    void ListBox1DragDrop(int Source, int Target);
    // The icon and the weight the page list draws item Index with.
    int ListBox1ItemIcon(int Index) const;
    bool ListBox1ItemBold(int Index) const;
    void SetupBookPane();

    // Book output (flags 2, 4, 8, 16, 32, 64, 128, 256, 512). SavingPackage:
    // the run saves the open book package (flag 32), written back into it.
    bool OutputCatalog(int Flags, bool OpenAfterwards, bool SavingPackage = false);
    // The open book's output folder, made when missing (Made: whether it was).
    QString BookOutputFolder(bool *Made = nullptr);
    void HTML6Click();
    void ZIP5Click();
    void CHM5Click();
    void HTML5Click();
    void QBACatalog1Click();
    void N54Click();
    void JPG3Click();
    void JPG4Click();
    void PDFpdf2Click();
    // Pictures or PDF of the produced pages (Entries: the page files in D's
    // images folder; Listed: the book's entry each was made from, which names
    // its pictures); set by the page-picture unit. False when not done.
    std::function<bool(const QStringList &Entries, const QStringList &Listed, const QString &Folder, bool Pdf,
                       bool Single)>
        ConvertCatalogToImages;

    // Packages (.qba).
    void WriteQbaPackage(const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
                         QString &ResultPath);
    void OpenQbaPackage(const QString &Path);
    bool SavePackage();
    // True (after saying so) when the book package command, writing into the
    // site folder SiteFolder, would replace the open package.
    bool RefuseToReplaceOpenPackage(const QString &SiteFolder);
    // The message of a package that could not be written back (ErrorCode: errno, 0 when unknown;
    // Reason: why the new package could not be made, when that is known).
    void ShowPackageSaveError(int ErrorCode, const QString &Reason = QString());
    // ---- end of Book and packages ----

    // ---- Page pictures and PDF (MainWindowImages.cpp) ----
    void PageToImageOrPdf(bool Single, bool Pdf, QString &ResultPath, bool &Open);
    // BesideUsersFiles: the page is a web page of the user's, whose folder may
    // hold pictures of the names the pictures would take.
    // PictureFolder: where the pictures go ("" beside the page).
    void ConvertPageToImage(const QString &HtmPath, bool Split, QString &ResultPath, bool &Open, bool &Pdf,
                            bool BesideUsersFiles = false, const QString &PictureFolder = QString());
    void JPG1Click();
    void JPG2Click();
    void PDFpdf1Click();
    // Creates the picture commands of the output menus and sets ConvertCatalogToImages.
    void SetupPictureCommands();
    // What the last page output copied into its pictures folder, and that folder
    // when the output made it ("" otherwise): the picture commands remove only these.
    QStringList FOutputCopies;
    QString FOutputMadeFolder;
    QString FOutputMadeOutputFolder;   // its output folder, when the output made it
    bool FOutputMadePage = false;   // its .htm was new
    // The help file the last page output compiled ("" when it made none).
    QString FOutputChm;

    // ---- Mail and FTP hand-off (MainWindowMail.cpp) ----
    void Email1Click();
    void SendMailMapi(const QString &Path);
    void N52Click();
    // The server of an FTP answer (host or address, optional :port); "" when it is none.
    static QString FtpServerAddress(const QString &Answer);

    // ---- Output menu states and small commands (MainWindowMenus.cpp) ----
    void DisablePageOutputItems();
    void EnablePageOutputItems();
    void PopupMenu2Popup();
    // The 输出 menu of the main menu is about to show.
    void WMMenuSelect();
    void Zipper1TotalPercentDone(int Percent);
    void N96Click();
    void Button3Click();
    void SetupMenuStates();


    // ---- Product grid, editor and pictures ----
    // Connects the grid's, the editor's and the picture commands' handlers.
    void ConnectProductCommands();
    bool HasPage() const { return FPage.Count() >= 5; }
    // True when a page is open; otherwise says so in a box titled Caption.
    bool CheckPageOpen(const QString &Caption);
    // Product grid (MainWindowProducts.cpp).
    void InsertProductBlock(int Row);
    // Count empty blocks before the block of Row at once, where the page's
    // blocks allow it; else one. Returns how many were inserted.
    int InsertProductBlocks(int Row, int Count);
    void CellGrid1SelectCell(int ACol, int ARow);
    void CellGrid1DblClickCell(int ARow, int ACol, bool Ctrl);
    void CellGrid1EllipsClick(int ACol, int ARow, QString &S);
    void SpeedButton4Click();
    void BitBtn1Click();
    void N51Click();
    void Button4Click();
    void SwapProducts(int A, int B, bool PicturesOnly);
    void N61Click();
    void N62Click();
    void N77Click();
    void FindNextProduct(const QString &Text, bool Continue);
    void N114Click();
    QMenu *PopupMenu1 = nullptr;
    int Button6Tag = 0;
    void PopupMenu1Popup();
    // Cell text editor (MainWindowEdit.cpp).
    int FEditCol = 3;
    int FEditRow = 1;
    void PlaceEdit1(int ACol, int ARow);
    // The editor shows the text of the cell it covers (after a load, a new page,
    // an insert, a delete); it hides when that cell is gone.
    void SyncEdit1();
    // Puts the editor back over its cell (after a scroll or a change of widths).
    void FollowEdit1();
    // A page that lost its "{detail}" line: says so and offers the repair;
    // without it the page is closed again.
    void OfferRepairOfDamagedPage();
    void Edit1Change();
    // True when the key was handled (and is swallowed).
    bool Edit1KeyDown(int Key, Qt::KeyboardModifiers Shift);
    void Edit1Copy(bool Cut);
    void Edit1Paste();
    // A change of the picture path typed into its cell: the cell, the block's
    // picture and the page text follow at once, as after the picture dialog.
    void PathEditChange(const QString &Text);
    // Pictures and drops (MainWindowPictures.cpp).
    // A new thumbnail of the picture file for a block's picture cell.
    std::unique_ptr<TBitmap> LoadCellPicture(const QString &FileName);
    static QString CollectPictureFiles(const QString &Folder, const QString &Mask, bool Recurse);
    void ImportPictureFiles(const QString &List);
    void ImportPendingFiles();
    void SpeedButton3Click();
    void SpeedButton2Click(bool Recurse);
    void Button8Click();
    void N78Click();
    void N79Click();
    void N76Click();
    // A drop from the file manager or of text at a point of the grid (-1, -1: elsewhere).
    void DropMimeData(const QMimeData *Data);
    // Drags of the grid inside the window: from the current block onto block Target.
    void GridDragDrop(int ACol, int ARow);
    // ---- end of Product grid, editor and pictures ----

    // ---- Auto-fill commands (MainWindowAutoFill.cpp) ----
    void ConnectAutoFillCommands();
    void N29Click();
    void N30Click();
    void N32Click();
    void N33Click();
    void N35Click();
    void N36Click();
    void N37Click();
    void N49Click();
    void N39Click();
    void N40Click();
    void N42Click();
    void N48Click();
    void N44Click();
    void N46Click();
    void Button6Click();
    // The auto-fill command for the field of cell (ACol, ARow): the auto-fill
    // button dropped on the cell, or the grid (its current cell) dropped on the button.
    void AutoFillDrop(int ACol, int ARow);
    // True when Data is the auto-fill button being dragged (a drop target then runs AutoFillDrop).
    static bool IsAutoFillDrag(const QMimeData *Data);
    // The data type of products dragged inside the grid.
    static QString ProductDragMimeType();
    // ---- end of Auto-fill commands ----

    // ---- Search and the picture viewer's notices (MainWindowSearch.cpp) ----
    void ConnectSearchCommand();
    void N100Click();
    // The picture viewer's notice that product Product's picture was rewritten
    // (LParam 0) or is now the file Path (LParam 5): posted as WM_FORMNOTIFY 16,
    // each notice keeping its own product and file until it is handled.
    void PictureNotice(int Product, const QString &Path, int LParam);
    struct TPictureNotice {
        int Product;
        QString Path;
    };
    QList<TPictureNotice> FPictureNotices;

protected:
    void closeEvent(QCloseEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;
    bool event(QEvent *Event) override;

private:
    TPageDocument FPage;
    std::unique_ptr<TProductGridAccess> FGridAccess;
    bool FClosed = false;
    bool FStartupWalked = false;
    QStringList FOpenPageQueue;
    bool FShowingPage = false;

    void BuildLayout();
    void BuildMenu();
    QAction *AddItem(QMenu *Menu, const QString &Name, const QString &Caption, const QString &Shortcut,
                     void (TForm1::*Handler)() = nullptr);
    void ShowPageText(const TPageChange &Change);
    void SetupBlock(int First, int Number);
    // Count blocks of grid rows before the block of Row; Lines (when given) is
    // the page text with them.
    void InsertBlocksAt(int Row, int Count, const QStringList *Lines);
    // Block N's path cell shows File; its page line holds File in the form
    // the picture Stored had (PictureValueLike).
    void StorePicturePath(int N, const QString &File, const QString &Stored);
    TNewPageDefaults NewPageDefaults() const;
    QString ProjectFolder() const;
    void SetPageCaptionIfEmpty(const QString &Caption);
    QString CatalogValue(const QString &Name) const;
    void SetCatalogValue(const QString &Name, const QString &Value);
    void RepaintPageList();
};
