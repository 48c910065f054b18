// The main window's book: its page list, opening, new pages, the book
// information dialog, adding, removing and reordering entries.

#include "Forms.h"
#include "MainWindow.h"
#include "catalog/document/CatalogBook.h"
#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/services/Application.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include <QAction>
#include <QCheckBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>
#include <QToolButton>


namespace {

const QString OpenFilter = QStringLiteral(
    "页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs|Catalog包文件 *.qba|*.qba|catlog文件 "
    "*.qbt,*.qbs,*.qba|*.qbt;*.qbs;*.qba|网页文件|*.htm|文本文件|*.txt|任意文件|*.*");

// The pictures of the page list, drawn here rather than loaded: a sheet whose
// colour and mark tell the kind of entry.
QPixmap EntryPixmap(int Icon)
{
    static QHash<int, QPixmap> Cache;
    auto It = Cache.find(Icon);
    if (It != Cache.end())
        return *It;
    QPixmap Pix(16, 16);
    Pix.fill(Qt::transparent);
    QPainter P(&Pix);
    P.setRenderHint(QPainter::Antialiasing);
    QColor Sheet(Qt::white), Edge(90, 90, 90), Mark;
    switch (Icon) {
    case TCatalogBook::icOpenSaved: Mark = QColor(0, 150, 0); break;
    case TCatalogBook::icOpenModified: Mark = QColor(210, 30, 30); break;
    case TCatalogBook::icDefaultPage: Mark = QColor(230, 170, 0); break;
    case TCatalogBook::icPage: Mark = QColor(40, 90, 200); break;
    case TCatalogBook::icWebPage: Mark = QColor(0, 140, 170); break;
    default: Sheet = QColor(235, 235, 235); break;
    }
    QPainterPath Path;
    Path.moveTo(2.5, 0.5);
    Path.lineTo(10.5, 0.5);
    Path.lineTo(13.5, 3.5);
    Path.lineTo(13.5, 15.5);
    Path.lineTo(2.5, 15.5);
    Path.closeSubpath();
    P.setPen(Edge);
    P.setBrush(Sheet);
    P.drawPath(Path);
    if (Icon == TCatalogBook::icWebPage) {
        P.setBrush(Qt::NoBrush);
        P.setPen(QPen(Mark, 1.2));
        P.drawEllipse(QRectF(4, 5, 8, 8));
        P.drawLine(QPointF(4, 9), QPointF(12, 9));
    } else if (Icon == TCatalogBook::icDefaultPage) {
        P.setPen(Qt::NoPen);
        P.setBrush(Mark);
        QPolygonF Star;
        for (int K = 0; K < 10; ++K) {
            const double R = K % 2 ? 2.0 : 5.0;
            const double A = -M_PI / 2 + K * M_PI / 5;
            Star << QPointF(8 + R * std::cos(A), 9 + R * std::sin(A));
        }
        P.drawPolygon(Star);
    } else if (Mark.isValid()) {
        P.setPen(QPen(Mark, 1));
        for (int Y = 5; Y <= 12; Y += 2)
            P.drawLine(QPointF(4.5, Y + 0.5), QPointF(11.5, Y + 0.5));
        if (Icon == TCatalogBook::icOpenSaved || Icon == TCatalogBook::icOpenModified) {
            P.setPen(Qt::NoPen);
            P.setBrush(Mark);
            P.drawEllipse(QRectF(8, 9, 7, 7));
        }
    } else {
        P.setPen(QPen(QColor(150, 150, 150), 1));
        for (int Y = 5; Y <= 12; Y += 3)
            P.drawLine(QPointF(4.5, Y + 0.5), QPointF(11.5, Y + 0.5));
    }
    P.end();
    Cache.insert(Icon, Pix);
    return Pix;
}

// The owner-drawn page list: the entry's picture at the left, its name 20
// pixels further, the open page in bold.
class TPageListDelegate : public QStyledItemDelegate {
public:
    TPageListDelegate(TForm1 *Form, QObject *Parent) : QStyledItemDelegate(Parent), FForm(Form) {}

    QSize sizeHint(const QStyleOptionViewItem &Option, const QModelIndex &Index) const override
    {
        QSize S = QStyledItemDelegate::sizeHint(Option, Index);
        S.setHeight(Option.fontMetrics.height() + 6);
        return S;
    }

    void paint(QPainter *Painter, const QStyleOptionViewItem &Option, const QModelIndex &Index) const override
    {
        const bool Selected = Option.state & QStyle::State_Selected;
        Painter->save();
        Painter->fillRect(Option.rect, Option.palette.brush(Selected ? QPalette::Highlight : QPalette::Base));
        const QPixmap Pix = EntryPixmap(FForm->ListBox1ItemIcon(Index.row()));
        Painter->drawPixmap(Option.rect.left() + 2, Option.rect.top() + (Option.rect.height() - Pix.height()) / 2, Pix);
        QFont F = Option.font;
        F.setBold(FForm->ListBox1ItemBold(Index.row()));
        Painter->setFont(F);
        Painter->setPen(Option.palette.color(Selected ? QPalette::HighlightedText : QPalette::Text));
        const QRect TextRect = Option.rect.adjusted(2 + 20, 0, 0, 0);
        Painter->drawText(TextRect, Qt::AlignLeft | Qt::AlignVCenter, Index.data(Qt::DisplayRole).toString());
        if (Option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect Focus;
            Focus.rect = Option.rect;
            Focus.palette = Option.palette;
            Option.widget->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &Focus, Painter, Option.widget);
        }
        Painter->restore();
    }

private:
    TForm1 *FForm;
};

// Drags inside the page list reorder the book; other drops pass on.
class TPageListDragFilter : public QObject {
public:
    explicit TPageListDragFilter(TForm1 *Form) : QObject(Form), FForm(Form) {}

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        const QEvent::Type T = Event->type();
        if (T != QEvent::DragEnter && T != QEvent::DragMove && T != QEvent::Drop)
            return false;
        auto *E = static_cast<QDropEvent *>(Event);
        QListWidget *List = FForm->ListBox1;
        if (E->source() != List)
            return false;
        const int Source = List->currentRow();
        const QListWidgetItem *Item = List->itemAt(E->position().toPoint());
        const int Target = Item ? List->row(Item) : -1;
        if (T == QEvent::DragEnter) {
            E->setDropAction(Qt::CopyAction);
            E->accept();
            return true;
        }
        bool Accept = false;
        FForm->Guard([&] { Accept = FForm->ListBox1DragOver(Source, Target); });
        if (T == QEvent::DragMove) {
            if (Accept) {
                E->setDropAction(Qt::CopyAction);
                E->accept();
            } else {
                E->ignore();
            }
            return true;
        }
        // A copy action keeps the view from removing the dragged row itself.
        E->setDropAction(Qt::CopyAction);
        E->accept();
        if (Accept)
            FForm->Guard([&] { FForm->ListBox1DragDrop(Source, Target); });
        Q_UNUSED(Watched);
        return true;
    }

private:
    TForm1 *FForm;
};

QString TrueFalse(bool B)
{
    return B ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

// ------------------------------------------------------------ book values

QString TForm1::CatalogValue(const QString &Name) const
{
    return FCatalogList ? TCatalogBook::Value(*FCatalogList, Name) : QString();
}

void TForm1::SetCatalogValue(const QString &Name, const QString &Value)
{
    if (FCatalogList)
        TCatalogBook::SetValue(*FCatalogList, Name, Value);
}

void TForm1::SaveCatalogFile()
{
    if (FCatalogList && !FCatalogPath.isEmpty()) {
        try {
            // A book file the user made read-only is refused, not replaced.
            CheckFileReplaceable(FCatalogPath);
            SaveLines(FCatalogPath, *FCatalogList);
        } catch (...) {
            // The book's changes are saved with the page: until the book file
            // is written they count as unsaved, and every way out asks.
            FPageSaved = false;
            SpeedButton9->setEnabled(true);
            RepaintPageList();
            throw;
        }
        RemoveSaveLeftovers(FCatalogPath);
    }
}

TCatalogBook::TFileChange TForm1::CheckCatalogTakesPage(const QString &LastPage) const
{
    if (!FCatalogList || FCatalogPath.isEmpty())
        return TCatalogBook::fcNone;
    QStringList Lines = *FCatalogList;
    TCatalogBook::SetValue(Lines, QStringLiteral("Catalog_Lost_name"), LastPage);
    TCatalogBook::TFileChange Change = TCatalogBook::fcMore;
    try {
        Change = TCatalogBook::FileChange(LoadLines(FCatalogPath), Lines);
    } catch (const Exception &) {
    }
    if (Change == TCatalogBook::fcMore)
        CheckFileReplaceable(FCatalogPath);
    return Change;
}

void TForm1::SaveCatalogWithPage(TCatalogBook::TFileChange Change)
{
    if (!FCatalogList || FCatalogPath.isEmpty() || Change == TCatalogBook::fcNone)
        return;
    if (Change == TCatalogBook::fcMore) {
        SaveCatalogFile();
        return;
    }
    // Which page was open last only spares the user a click when the book is
    // opened again: a book the user made read-only (or one that cannot be
    // written now) keeps its old record, and the page is saved all the same.
    try {
        CheckFileReplaceable(FCatalogPath);
        SaveLines(FCatalogPath, *FCatalogList);
    } catch (const Exception &) {
        return;
    }
    RemoveSaveLeftovers(FCatalogPath);
}

void TForm1::RepaintPageList()
{
    ListBox1->viewport()->update();
}

// ------------------------------------------------------------ the page list

void TForm1::SetupBookPane()
{
    ListBox1->setItemDelegate(new TPageListDelegate(this, ListBox1));
    ListBox1->setDragEnabled(true);
    ListBox1->setDragDropMode(QAbstractItemView::DragDrop);
    ListBox1->setDefaultDropAction(Qt::CopyAction);
    ListBox1->setDropIndicatorShown(true);
    ListBox1->viewport()->installEventFilter(new TPageListDragFilter(this));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { Guard([this] { ListBox1DblClick(); }); });
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { Guard([this] { ListBox1Click(); }); });
    connect(CheckBox1, &QCheckBox::clicked, this, [this] { Guard([this] { CheckBox1MouseUp(); }); });
    auto Button = [this](QToolButton *B, const std::function<void()> &Handler) {
        if (B)
            connect(B, &QToolButton::clicked, this, [this, Handler] { Guard(Handler); });
    };
    Button(SpeedButton7, [this] { SpeedButton7Click(false); });
    Button(SpeedButton12, [this] { SpeedButton12Click(); });
    Button(SpeedButton13, [this] { SpeedButton13Click(); });
    Button(SpeedButton11, [this] { N54Click(); });

    auto Item = [this](const QString &Name, const std::function<void()> &Handler) {
        for (QAction *A : findChildren<QAction *>(Name))
            connect(A, &QAction::triggered, this, [this, Handler] { Guard(Handler); });
    };
    Item(QStringLiteral("N3"), [this] { N82Click(QStringLiteral("N3")); });
    Item(QStringLiteral("N82"), [this] { N82Click(QStringLiteral("N82")); });
    Item(QStringLiteral("N85"), [this] { N82Click(QStringLiteral("N85")); });
    Item(QStringLiteral("N81"), [this] { SpeedButton7Click(false); });
    Item(QStringLiteral("N97"), [this] { SpeedButton7Click(true); });
    Item(QStringLiteral("N95"), [this] { SpeedButton12Click(); });

    // The book outputs: the items of the main menu, and the same commands in
    // the output button's menu.
    const struct {
        const char *MainItem;
        const char *PopupItem;
        const char *Caption;
        void (TForm1::*Handler)();
    } BookCommands[] = {
        {"CHM4", "CHM5", "CHM 帮助文件格式（推荐）", &TForm1::CHM5Click},
        {"MHT2", "HTML5", "MHT 单个网页文件", &TForm1::HTML5Click},
        {"HTML4", "HTML6", "HTML 网页格式", &TForm1::HTML6Click},
        {"ZIP4", "ZIP5", "ZIP 压缩文件格式", &TForm1::ZIP5Click},
        {"Catalog2", "QBACatalog1", "QBA Catalog包文件", &TForm1::QBACatalog1Click},
    };
    QMenu *BookOut = nullptr;
    if (PopupMenu2 && !findChild<QAction *>(QStringLiteral("CHM5"))) {
        BookOut = PopupMenu2->addMenu(QStringLiteral("输出目录册"));
        BookOut->menuAction()->setObjectName(QStringLiteral("N106"));
    }
    for (const auto &C : BookCommands) {
        const auto Handler = C.Handler;
        Item(QString::fromLatin1(C.MainItem), [this, Handler] { (this->*Handler)(); });
        if (BookOut) {
            QAction *A = BookOut->addAction(QString::fromUtf8(C.Caption));
            A->setObjectName(QString::fromLatin1(C.PopupItem));
        }
        Item(QString::fromLatin1(C.PopupItem), [this, Handler] { (this->*Handler)(); });
    }
    if (PopupMenu2 && !findChild<QAction *>(QStringLiteral("N54"))) {
        QAction *A = PopupMenu2->addAction(QStringLiteral("预览目录册"));
        A->setObjectName(QStringLiteral("N54"));
    }
    Item(QStringLiteral("N54"), [this] { N54Click(); });
    Item(QStringLiteral("JPG3"), [this] { JPG3Click(); });
    Item(QStringLiteral("JPG4"), [this] { JPG4Click(); });
    Item(QStringLiteral("PDFpdf2"), [this] { PDFpdf2Click(); });
}

int TForm1::ListBox1ItemIcon(int Index) const
{
    const QListWidgetItem *Item = ListBox1->item(Index);
    if (!Item)
        return TCatalogBook::icOther;
    const QString Text = Item->text();
    const bool Open = !FOpenPageEntry.isEmpty() && Text == FOpenPageEntry;
    const bool IsDefault = !FCatalogIndexName.isEmpty() && Text == FCatalogIndexName;
    return TCatalogBook::EntryIcon(Text, Open, !SpeedButton9->isEnabled(), IsDefault);
}

bool TForm1::ListBox1ItemBold(int Index) const
{
    const QListWidgetItem *Item = ListBox1->item(Index);
    return Item && !FOpenPageEntry.isEmpty() && Item->text() == FOpenPageEntry;
}

void TForm1::FillPageList()
{
    ListBox1->clear();
    FCatalogName = CatalogValue(QStringLiteral("Catalog_name"));
    FCatalogIndexName = CatalogValue(QStringLiteral("catalog_index_name"));
    const int First = TCatalogBook::FirstEntryLine(*FCatalogList);
    ListBox1Tag = First < 0 ? 0 : First;
    if (First < 0)
        return;
    for (int I = int(FCatalogList->size()) - 1; I >= First; --I)
        if (FCatalogList->at(I).isEmpty())
            FCatalogList->removeAt(I);
    ListBox1->addItems(TCatalogBook::EntryNames(*FCatalogList));
}

// ------------------------------------------------------------ open, close

void TForm1::OpenCatalog(const QString &BookPath, bool KeepPage)
{
    // The book's entries are resolved against its folder: a full path, so that
    // no later join takes them from another folder.
    const QString Path = AbsolutePath(BookPath);
    if (SaveButtonEnabled()) {
        if (MessageBox(this, QStringLiteral("当前的页面没有关闭，不能载入新的目录册，是否强制关闭当前页面？"),
                       QStringLiteral("是否强制关闭"), MB_YESNO | MB_ICONWARNING)
            != IDYES)
            return;
        ClosePage();
    }
    QStringList Lines = LoadLines(Path);
    TCatalogBook::RemoveEmptyLines(Lines);
    GroupBox1->setTitle(Path);
    FCatalogPath = Path;
    *FCatalogList = Lines;
    FillPageList();
    QStringList Shown;
    for (int I = 0; I < ListBox1->count(); ++I)
        Shown << ListBox1->item(I)->text();
    const int Chosen = TCatalogBook::ChoosePageToOpen(*FCatalogList, Shown);
    if (Chosen >= 0 && !KeepPage)
        OpenPage(TCatalogBook::ResolveEntry(Path, FCatalogList->value(ListBox1Tag + Chosen)));
    FNewCatalogPath.clear();
    FOpenedFromPackage = false;
    FPackageIsBook = false;
}

void TForm1::CreateDefaultCatalog(bool KeepPage)
{
    const QString Path = ProgramFolder() + QStringLiteral("目录册/default.qbs");
    if (!FileExists(Path)) {
        // The program's own book folder is made when it is missing.
        ForceDirectories(ExtractFilePath(Path));
        SaveLines(Path, TCatalogBook::DefaultBookLines());
        TCatalogBook::AppendHistory(ProgramFolder() + QStringLiteral("cts_history.txt"), Path);
    }
    OpenCatalog(Path, KeepPage);
}

bool TForm1::CloseCatalog()
{
    Button5Click();
    if (SaveButtonEnabled())
        return false;
    ListBox1->clear();
    GroupBox1->setTitle(QString());
    FOpenPageEntry.clear();
    FCatalogName.clear();
    FCatalogIndexName.clear();
    FCatalogList->clear();
    FCatalogPath.clear();
    SpeedButton9->setEnabled(false);
    FPageSaved = true;
    return true;
}

void TForm1::N82Click(const QString &Sender)
{
    OpenDialog1->Filter = OpenFilter;
    OpenDialog1->FilterIndex = Sender == QLatin1String("N82") ? 2 : Sender == QLatin1String("N85") ? 1 : 4;
    OpenDialog1->FileName.clear();
    if (!OpenDialog1->Execute())
        return;
    const QString Path = OpenDialog1->FileName;
    // The kind comes from the extension without the name's end blanks; the
    // file opens under its real name.
    const QString Ext = TCatalogBook::EntryExt(Path).toUpper();
    if (Ext == QLatin1String(".QBS")) {
        OpenCatalog(Path, false);
    } else if (Ext == QLatin1String(".QBT")) {
        if (CloseCatalog())
            OpenPage(Path);
    } else if (Ext == QLatin1String(".QBA")) {
        if (CloseCatalog())
            OpenQbaPackage(Path);
    }
}

// ------------------------------------------------------------ new page

void TForm1::NewPage()
{
    // A page with changes not saved is closed first, with the question every
    // command that leaves it asks; a page the user keeps stays, changes and all.
    if (SaveButtonEnabled()) {
        Button5Click();
        if (SaveButtonEnabled())
            return;
    }
    if (FCatalogPath.isEmpty())
        CreateDefaultCatalog(true);
    FOpenPageEntry.clear();
    // A page package's page is closed now: the new page must not be saved into
    // that package. A book package takes its new page along.
    if (!FPackageIsBook)
        FOpenedFromPackage = false;
    // The grid shows the new, empty page rather than the products of the last one.
    ResetGrid();
    InitNewPageText();
    QStringList Taken;
    for (int I = 0; I < ListBox1->count(); ++I)
        Taken << ListBox1->item(I)->text();
    const QString Entry = TCatalogBook::NewEntryName(FPage.Values(QStringLiteral("{Catalog名称}")), Taken);
    if (!Entry.isEmpty()) {
        FOpenPageEntry = Entry;
        ListBox1->addItem(Entry);
    }
    FPagePath.clear();
    FNewPageKey = NewGuidString();
    SpeedButton9->setEnabled(true);
    FPageSaved = false;
    RepaintPageList();
}

void TForm1::SpeedButton6Click()
{
    if (FPagePath.isEmpty() && !FPageSaved && FPage.Count() > 0)
        return;
    Button5Click();
    if (!SaveButtonEnabled())
        NewPage();
}

// ------------------------------------------------------------ book information

void TForm1::SpeedButton7Click(bool EditInfo)
{
    if (!Form7)
        return;
    const bool HaveBook = !FCatalogPath.isEmpty();
    Form7->Edit1->setText(EditInfo ? FCatalogName : QString());
    Form7->Edit2->setText(EditInfo ? FCatalogPath : QString());
    Form7->Edit3->setText(EditInfo ? CatalogValue(QStringLiteral("Catalog_Output")).trimmed() : QString());
    Form7->CheckBox3->setChecked(HaveBook ? CatalogValue(QStringLiteral("Catalog_fulltext_search")) == QLatin1String("true")
                                          : true);
    Form7->CheckBox2->setChecked(HaveBook ? CatalogValue(QStringLiteral("Catalog_always_open")) == QLatin1String("true")
                                          : true);
    Form7->CheckBox4->setChecked(HaveBook ? CatalogValue(QStringLiteral("Catalog_move_v")) == QLatin1String("true")
                                          : false);
    ShowModal(Form7);
}

// The book information dialog changed the open book's settings (notice 100).
void TForm1::ApplyBookInformation()
{
    if (!Form7)
        return;
    FCatalogName = Form7->CatalogName;
    SetCatalogValue(QStringLiteral("Catalog_name"), NonEmptyOrSpace(Form7->CatalogName));
    SetCatalogValue(QStringLiteral("Catalog_Output"), NonEmptyOrSpace(Form7->CatalogOutput));
    SetCatalogValue(QStringLiteral("Catalog_fulltext_search"), TrueFalse(Form7->FullTextSearch));
    SetCatalogValue(QStringLiteral("Catalog_always_open"), TrueFalse(Form7->AlwaysOpen));
    SetCatalogValue(QStringLiteral("Catalog_move_v"), TrueFalse(Form7->MoveV));
    // The settings belong to the book file: without a save they would be lost
    // when the book closes.
    SaveCatalogFile();
}

// ------------------------------------------------------------ entries

void TForm1::AddFileToCatalog(const QString &Path)
{
    if (FCatalogName.isEmpty() || FCatalogPath.isEmpty()) {
        MessageBox(this, QStringLiteral("当前没有打开目录册，不能添加文件。"), QStringLiteral("添加文件"),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    ListBox1->insertItem(0, ExtractFileName(Path));
    FCatalogList->insert(ListBox1Tag, Path);
    SaveCatalogFile();
    RepaintPageList();
}

void TForm1::SpeedButton12Click()
{
    if (FCatalogList->size() < 5 || FCatalogPath.isEmpty()) {
        MessageBox(this, QStringLiteral("您没有打开目录册，不能导入文件。外部文件只能导入到目录册内。"),
                   QStringLiteral("错误"), MB_OK | MB_ICONERROR);
        return;
    }
    OpenDialog1->Filter = OpenFilter;
    OpenDialog1->FilterIndex = 5;
    OpenDialog1->FileName.clear();
    if (OpenDialog1->Execute()) {
        ListBox1->insertItem(0, ExtractFileName(OpenDialog1->FileName));
        FCatalogList->insert(ListBox1Tag, OpenDialog1->FileName);
    }
    SaveCatalogFile();
    RepaintPageList();
}

void TForm1::SpeedButton13Click()
{
    const int Index = ListBox1->currentRow();
    if (Index < 0 || Index >= ListBox1->count())
        return;
    const QString Entry = ListBox1->item(Index)->text();
    const bool InBook = !FCatalogPath.isEmpty() && ListBox1Tag > 0 && ListBox1Tag + Index < FCatalogList->size();
    if (!InBook) {
        // An entry of the list alone (the new page): it goes with its page, and
        // the page is closed only once the user agreed to lose its changes.
        if (Entry == FOpenPageEntry) {
            Button5Click();
            if (SaveButtonEnabled())
                return;
        }
        delete ListBox1->takeItem(Index);
        RepaintPageList();
        return;
    }
    if (MessageBox(this, QStringLiteral("是否从目录册内删除：") + Entry, QStringLiteral("确认文件删除"),
                   MB_YESNO | MB_ICONWARNING)
        != IDYES)
        return;
    if (!FPagePath.isEmpty() && Entry == FOpenPageEntry) {
        Button5Click();
        if (SaveButtonEnabled())
            return;
    }
    FCatalogList->removeAt(ListBox1Tag + Index);
    SaveCatalogFile();
    delete ListBox1->takeItem(Index);
    RepaintPageList();
}

void TForm1::ListBox1Click()
{
    const QListWidgetItem *Item = ListBox1->currentItem();
    CheckBox1->setChecked(Item && !FCatalogIndexName.isEmpty() && Item->text() == FCatalogIndexName);
}

void TForm1::CheckBox1MouseUp()
{
    if (FCatalogPath.isEmpty())
        return;
    const QListWidgetItem *Item = ListBox1->currentItem();
    if (CheckBox1->isChecked()) {
        if (!Item) {
            CheckBox1->setChecked(false);
            return;
        }
        FCatalogIndexName = Item->text();
        SetCatalogValue(QStringLiteral("catalog_index_name"), FCatalogIndexName);
    } else {
        SetCatalogValue(QStringLiteral("catalog_index_name"), QStringLiteral("nil"));
        FCatalogIndexName.clear();
    }
    SaveCatalogFile();
    RepaintPageList();
}

namespace {

// Why the file Full cannot be opened as a page, in the words the book's
// outputs use for the entries they leave out; "" when it can.
QString WhyNoPage(const QString &Full)
{
    const QFileInfo F(Full);
    if (F.isDir())
        return QStringLiteral("是文件夹");
    if (!F.exists())
        return QStringLiteral("文件不存在");
    if (!F.isFile() || !F.isReadable() || !QFile(Full).open(QIODevice::ReadOnly))
        return QStringLiteral("不能读取");
    if (!TCatalogBook::IsPageEntry(Full) || !TPageDocument::IsPageFile(Full))
        return QStringLiteral("不是Catalog页面文件");
    return QString();
}

} // namespace

void TForm1::ListBox1DblClick()
{
    const int Index = ListBox1->currentRow();
    if (FCatalogList->size() < 5 || Index < 0 || Index >= ListBox1->count())
        return;
    auto SelectOpenPage = [this] {
        for (int I = 0; I < ListBox1->count(); ++I)
            if (ListBox1->item(I)->text() == FOpenPageEntry) {
                ListBox1->setCurrentRow(I);
                return;
            }
    };
    const QString Entry = ListBox1->item(Index)->text();
    const int K = ListBox1Tag + Index;
    const QString Ext = ExtractFileExt(Entry).toUpper();
    if (!TCatalogBook::IsPageEntry(Entry) && Ext != QLatin1String(".QBS") && Ext != QLatin1String(".QBA")) {
        if (MessageBox(this, QStringLiteral("这是一个外部文件，CatalogQuillbook不能直接编辑，是否调用关联程序打开？"),
                       QStringLiteral("外部文件"), MB_YESNO | MB_ICONQUESTION)
                == IDYES
            && K < FCatalogList->size())
            OpenInShell(this, TCatalogBook::ResolveEntry(FCatalogPath, FCatalogList->at(K)));
        SelectOpenPage();
        return;
    }
    if (!FOpenPageEntry.isEmpty() && Entry == FOpenPageEntry)
        return;
    // An entry that cannot be opened as a page says why, and the open page
    // stays as it is, unsaved edits and all.
    if (K < FCatalogList->size()) {
        const QString Full = TCatalogBook::ResolveEntry(FCatalogPath, FCatalogList->at(K));
        const QString Why = WhyNoPage(Full);
        if (!Why.isEmpty()) {
            MessageBox(this, QStringLiteral("目录册中的“%1”不能作为页面打开（%2）：\r\n%3").arg(Entry, Why, Full),
                       QStringLiteral("打开页面"), MB_OK | MB_ICONWARNING);
            SelectOpenPage();
            return;
        }
    }
    if (SaveButtonEnabled()) {
        switch (MessageBox(this, QStringLiteral("有页面资料没有保存，是否保存？"), QStringLiteral("打开新页面"),
                           MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES:
            SpeedButton9Click();
            // A save dialog the user cancelled leaves the changes; they are not dropped.
            if (SaveButtonEnabled()) {
                SelectOpenPage();
                return;
            }
            break;
        case IDNO:
            break;
        default:
            SelectOpenPage();
            return;
        }
    }
    if (K < FCatalogList->size()) {
        // Every page of a book that came out of a package is saved back into it.
        const bool BookPackage = FOpenedFromPackage && FPackageIsBook;
        OpenPage(TCatalogBook::ResolveEntry(FCatalogPath, FCatalogList->at(K)));
        if (BookPackage) {
            FOpenedFromPackage = true;
            FPackageIsBook = true;
        }
    } else {
        ClosePage();
        InitNewPageText();
        FOpenPageEntry = Entry;
        FPageSaved = false;
        SpeedButton9->setEnabled(true);
    }
    RepaintPageList();
}

bool TForm1::ListBox1DragOver(int Source, int Target)
{
    if (Source < 0 || Source >= ListBox1->count())
        return false;
    if (FPagePath.isEmpty() && !FOpenPageEntry.isEmpty()) {
        if (ListBox1->item(Source)->text() == FOpenPageEntry)
            return false;
        if (Target >= 0 && Target < ListBox1->count() && ListBox1->item(Target)->text() == FOpenPageEntry)
            return false;
    }
    return true;
}

void TForm1::ListBox1DragDrop(int Source, int Target)
{
    const int Count = ListBox1->count();
    if (Source < 0 || Target < 0 || Source >= Count || Target >= Count || Source == Target)
        return;
    if (!ListBox1DragOver(Source, Target))
        return;
    const bool NewPageLast = FPagePath.isEmpty() && !FOpenPageEntry.isEmpty()
        && ListBox1->item(Count - 1)->text() == FOpenPageEntry;
    if (NewPageLast && (Source == Count - 1 || Target == Count - 1))
        return;
    const int First = TCatalogBook::FirstEntryLine(*FCatalogList);
    if (First < 0 || !TCatalogBook::MoveEntry(*FCatalogList, Source, Target))
        return;
    SaveCatalogFile();
    QListWidgetItem *Item = ListBox1->takeItem(Source);
    ListBox1->insertItem(Target, Item);
    ListBox1->setCurrentRow(Target);
    RepaintPageList();
}

// ------------------------------------------------------------ pictures

void TForm1::ImportPictures(const QStringList &Files)
{
    ImportPictureFiles(Files.join(QStringLiteral("\r\n")));
}
