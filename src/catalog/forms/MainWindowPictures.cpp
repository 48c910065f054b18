// Product pictures of the main window: imports of files and folders, the
// picture commands, and what arrives by drag and drop (files and text from
// the file manager, products dragged inside the grid).

#include "CellTextEditor.h"
#include "Forms.h"
#include "MainWindow.h"
#include "ProductPictures.h"
#include "catalog/document/ProductBlocks.h"
#include "grid/CellGridEditors.h"
#include "platform/services/DragDrop.h"

#include "platform/services/Application.h"
#include "platform/services/Clipboard.h"
#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <optional>

using namespace ProductBlocks;

namespace {

const QString NoPageQuestion = QStringLiteral("请先新建Catalog页面，或者打开一个已有的页面文件。要新建吗？");
const QString NoProjectQuestion = QStringLiteral("请先新建Catalog工程，或者打开一个已有的工程。要新建工程吗？");
// Products dragged inside the grid carry this type; nothing else reads it.
const QString ProductDragType = QStringLiteral("application/x-quillbook-product");

// One box names the pictures an import or an insert took that cannot be read.
void TellUnreadablePictures(TForm1 *Form, const QStringList &Unreadable)
{
    if (!Unreadable.isEmpty())
        MessageBox(Form, ProductPictures::UnreadablePicturesMessage(Unreadable), QStringLiteral("导入图片"),
                   MB_OK | MB_ICONWARNING);
}

bool AskNewPage(const QString &Question)
{
    return MessageDlg(Question, mtConfirmation, mbOKCancel) == mrOk;
}

QString PictureFilter()
{
    return QStringLiteral(
        "全部(*.gif;*.jpg;*.bmp)|*.gif;*.jpg;*.bmp;|GIF Image (*.gif)|*.gif|JPEG Image File (*.jpg)|*.jpg|"
        "Bitmaps (*.bmp)|*.bmp|任意文件(*.*)|*.*");
}

// The grid's, the editor's and the buttons' mouse, key and drop events.
class TProductEvents : public QObject {
public:
    explicit TProductEvents(TForm1 *Form) : QObject(Form), FForm(Form) {}

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        // While the window is torn down its children still see events (focus
        // moves); the window's own part is gone by then.
        if (!dynamic_cast<TForm1 *>(parent()))
            return false;
        if (Watched == FForm->Edit1)
            return EditorEvent(Event);
        if (Watched == FForm->CellGrid1->viewport())
            return GridEvent(Event);
        if (Watched == FForm->Button8)
            return Button8Event(Event);
        if (Watched == FForm->ListBox1->viewport())
            return PageListEvent(Event);
        if (Watched == FForm->ScrollBox1->viewport())
            return ScrollBoxEvent(Event);
        if (Watched == FForm->RichEdit1)
            return PageTextEvent(Event);
        return false;
    }

private:
    TForm1 *FForm;
    QPoint FPressAt;
    bool FPressed = false;

    bool EditorEvent(QEvent *Event)
    {
        if (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove) {
            auto *Drag = static_cast<QDragMoveEvent *>(Event);
            Drag->setDropAction(Qt::CopyAction);
            Drag->accept();
            return true;
        }
        if (Event->type() == QEvent::Drop) {
            auto *Drop = static_cast<QDropEvent *>(Event);
            const QMimeData *Data = Drop->mimeData();
            FForm->Guard([=, this] { FForm->DropMimeData(Data); });
            Drop->setDropAction(Qt::CopyAction);
            Drop->accept();
            return true;
        }
        if (Event->type() == QEvent::Wheel) {
            // The wheel scrolls the grid; the editor leaves its cell.
            QCoreApplication::postEvent(FForm->CellGrid1, new QKeyEvent(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier));
            FForm->CellGrid1->setFocus();
            return false;
        }
        if (Event->type() == QEvent::FocusOut) {
            // Another window coming to the front (a dialog, the search) leaves
            // the editor where it is: the keyboard comes back to it.
            const Qt::FocusReason Reason = static_cast<QFocusEvent *>(Event)->reason();
            if (Reason != Qt::PopupFocusReason && Reason != Qt::ActiveWindowFocusReason)
                FForm->Edit1->hide();
            return false;
        }
        if (Event->type() != QEvent::KeyPress)
            return false;
        auto *Key = static_cast<QKeyEvent *>(Event);
        // Tab goes on to the next text of the products, as in the grid.
        if (const int Direction = TProductGrid::TabDirection(Key); Direction != 0) {
            bool Moved = false;
            FForm->Guard([&] { Moved = FForm->CellGrid1->TabToTextCell(Direction > 0); });
            return Moved;
        }
        bool Handled = true;
        if (Key->matches(QKeySequence::Copy))
            FForm->Guard([this] { FForm->Edit1Copy(false); });
        else if (Key->matches(QKeySequence::Cut))
            FForm->Guard([this] { FForm->Edit1Copy(true); });
        else if (Key->matches(QKeySequence::Paste))
            FForm->Guard([this] { FForm->Edit1Paste(); });
        else {
            Handled = false;
            FForm->Guard([&] { Handled = FForm->Edit1KeyDown(Key->key(), Key->modifiers()); });
        }
        return Handled;
    }

    bool GridEvent(QEvent *Event)
    {
        TProductGrid *Grid = FForm->CellGrid1;
        switch (Event->type()) {
        case QEvent::MouseButtonPress: {
            auto *Mouse = static_cast<QMouseEvent *>(Event);
            FPressed = Mouse->button() == Qt::LeftButton;
            FPressAt = Mouse->position().toPoint();
            return false;
        }
        case QEvent::MouseButtonRelease:
            FPressed = false;
            return false;
        case QEvent::MouseMove: {
            auto *Mouse = static_cast<QMouseEvent *>(Event);
            if (!FPressed || !(Mouse->buttons() & Qt::LeftButton)
                || (Mouse->position().toPoint() - FPressAt).manhattanLength() < 10)
                return false;
            FPressed = false;
            auto *Data = new QMimeData;
            Data->setData(ProductDragType, QByteArray::number(Grid->Row()));
            StartDrag(Grid, Data, Qt::MoveAction | Qt::CopyAction);
            return true;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *Drag = static_cast<QDragMoveEvent *>(Event);
            int ACol = -1, ARow = -1;
            Grid->MouseToCell(Drag->position().toPoint().x(), Drag->position().toPoint().y(), ACol, ARow);
            if (ACol >= 0 && ARow >= 1 && (ARow != Grid->Row() || ACol != Grid->Col()))
                Grid->FocusCell(ACol, ARow);
            Drag->setDropAction(Qt::CopyAction);
            Drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto *Drop = static_cast<QDropEvent *>(Event);
            const QMimeData *Data = Drop->mimeData();
            if (TForm1::IsAutoFillDrag(Data)) {
                int ACol = -1, ARow = -1;
                Grid->MouseToCell(Drop->position().toPoint().x(), Drop->position().toPoint().y(), ACol, ARow);
                FForm->Guard([=, this] { FForm->AutoFillDrop(ACol, ARow); });
            } else if (Data->hasFormat(ProductDragType)) {
                int ACol = -1, ARow = -1;
                Grid->MouseToCell(Drop->position().toPoint().x(), Drop->position().toPoint().y(), ACol, ARow);
                const int From = Data->data(ProductDragType).toInt();
                if (ACol >= 0 && ARow >= 1 && From >= 1 && From < Grid->RowCount()) {
                    Grid->FocusCell(Grid->Col(), From);
                    FForm->Guard([=, this] { FForm->GridDragDrop(ACol, ARow); });
                }
            } else {
                FForm->Guard([=, this] { FForm->DropMimeData(Data); });
            }
            Drop->setDropAction(Qt::CopyAction);
            Drop->accept();
            return true;
        }
        default:
            return false;
        }
    }

    // Files from the file manager dropped on the page list; its own drags
    // (reordering the book) are left to it.
    bool PageListEvent(QEvent *Event)
    {
        const QEvent::Type T = Event->type();
        if (T != QEvent::DragEnter && T != QEvent::DragMove && T != QEvent::Drop)
            return false;
        auto *E = static_cast<QDropEvent *>(Event);
        if (E->source() == FForm->ListBox1 || !HasDroppedFiles(E->mimeData()))
            return false;
        E->setDropAction(Qt::CopyAction);
        E->accept();
        if (T == QEvent::Drop) {
            const QMimeData *Data = E->mimeData();
            FForm->Guard([=, this] { FForm->DropMimeData(Data); });
        }
        return true;
    }

    // A product dragged over the scroll box around the grid scrolls it.
    bool ScrollBoxEvent(QEvent *Event)
    {
        if (Event->type() != QEvent::DragEnter && Event->type() != QEvent::DragMove && Event->type() != QEvent::Drop)
            return false;
        auto *E = static_cast<QDropEvent *>(Event);
        if (!E->mimeData()->hasFormat(ProductDragType))
            return false;
        if (Event->type() == QEvent::DragEnter) {
            E->accept();   // the moves that follow do the scrolling
            return true;
        }
        E->ignore();
        if (Event->type() == QEvent::DragMove) {
            TProductGrid *Grid = FForm->CellGrid1;
            const int Y = FForm->ScrollBox1->viewport()->mapTo(FForm->ScrollBox1, E->position().toPoint()).y();
            Grid->SetTopRow(std::max(Grid->FixedRows(), Grid->TopRow() + (Y < 301 ? -1 : 1)));
        }
        return true;
    }

    // The page text is changed through the page settings dialog: typing opens it.
    bool PageTextEvent(QEvent *Event)
    {
        if (Event->type() == QEvent::FocusIn) {
            FForm->RichEdit1->verticalScrollBar()->setValue(0);
            return false;
        }
        if (Event->type() != QEvent::KeyPress)
            return false;
        auto *Key = static_cast<QKeyEvent *>(Event);
        if ((Key->modifiers() & Qt::ControlModifier) || Key->text().isEmpty() || !Key->text().at(0).isPrint())
            return false;
        FForm->Guard([this] { FForm->SpeedButton8Click(); });
        return true;
    }

    bool Button8Event(QEvent *Event)
    {
        if (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove) {
            static_cast<QDragMoveEvent *>(Event)->acceptProposedAction();
            return true;
        }
        if (Event->type() == QEvent::Drop) {
            static_cast<QDropEvent *>(Event)->acceptProposedAction();
            FForm->Guard([this] { FForm->Button8Click(); });
            return true;
        }
        return false;
    }
};

} // namespace

QString TForm1::ProductDragMimeType()
{
    return ProductDragType;
}

std::unique_ptr<TBitmap> TForm1::LoadCellPicture(const QString &FileName)
{
    return ProductPictures::MakeThumbnail(FileName, CellGrid1->ThumbnailHeight());
}

QString TForm1::CollectPictureFiles(const QString &Folder, const QString &Mask, bool Recurse)
{
    return ProductPictures::CollectPictureFiles(Folder, Mask, Recurse);
}

void TForm1::ImportPictureFiles(const QString &List)
{
    const QStringList Entries = ProductPictures::SplitPictureList(List);
    std::optional<TWaitCursor> Wait(std::in_place);
    GroupBox3->show();
    ProgressBar1->setRange(0, int(Entries.size()));
    struct THide {
        QGroupBox *Box;
        ~THide() { Box->hide(); }
    } Hide{GroupBox3};

    // The picture cells made since the bar last moved. Their pictures are
    // read on other threads while the import goes on, once each: a paint
    // that shows one waits for it, and the grid keeps what was read. What
    // cannot be read is known once the last has been read.
    QList<int> Unread;
    QStringList Unreadable;
    struct TReadAll {
        TProductGrid *Grid;
        ~TReadAll() { Grid->FinishDecodingPictures(); }
    } ReadAll{CellGrid1};
    const auto ImportPicture = [this, &Unread](const QString &Entry) {
        const QString Full = QFileInfo(Entry).absoluteFilePath();
        int N = 1;
        if (!FGridAccess->Cells(1, 6).isEmpty()) {
            AppendProductBlock();
            N = (CellGrid1->RowCount() - 1) / 6;
        }
        const int PathRow = PathRowOfBlock(N);
        FGridAccess->SetCells(1, PathRow, ProductPictures::StoredPicturePath(FPagePath, Full));
        StoreProductBlock(1, PathRow);
        FGridAccess->SetCells(1, PathRow, Full);
        FGridAccess->LoadCellPicture(1, FirstRowOfBlock(N), Full);
        Unread << FirstRowOfBlock(N);
    };

    const int Total = int(Entries.size());
    int Shown = -1;
    for (int I = 0; I < Total; ++I) {
        const QString Entry = Entries.at(I).trimmed();
        switch (Entry.isEmpty() ? ProductPictures::ikNone : ProductPictures::ImportKind(Entry)) {
        case ProductPictures::ikFolder:
            for (const QString &File : ProductPictures::SplitPictureList(
                     CollectPictureFiles(Entry, QStringLiteral("*.jpg"), false)))
                ImportPicture(File);
            break;
        case ProductPictures::ikPicture:
            ImportPicture(Entry);
            break;
        case ProductPictures::ikPage:
            AddFileToCatalog(Entry);
            break;
        case ProductPictures::ikNone:
            break;
        }
        // The box, and the grid with the products added since, are painted as
        // the bar moves on by a hundredth and at the last entry: a paint for
        // every picture cost a long import more than the pictures did. The
        // bar is full once every picture has been read.
        const int Percent = int(qint64(I + 1) * 100 / Total);
        if (Percent != Shown || I + 1 == Total) {
            Shown = Percent;
            CellGrid1->StartDecodingPictures(1, Unread);
            Unread.clear();
            if (I + 1 == Total)
                Unreadable = CellGrid1->FinishDecodingPictures();
            ProgressBar1->setValue(I + 1);
            GroupBox3->setTitle(QStringLiteral("总计文件：%1 已经导入：%2").arg(Total).arg(I + 1));
            GroupBox3->repaint();
            // Paint and timers go on during a long import; the user's input waits.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
    // The pictures that will not show are named once the import is over.
    if (!Unreadable.isEmpty()) {
        GroupBox3->hide();
        Wait.reset();
        TellUnreadablePictures(this, Unreadable);
    }
}

void TForm1::ImportPendingFiles()
{
    if (FPage.Count() < 10)
        InitNewPageText();
    if (FPendingFiles.isEmpty())
        return;
    const QString List = FPendingFiles;
    FPendingFiles.clear();
    ImportPictureFiles(List);
}

void TForm1::SpeedButton3Click()
{
    if (!HasPage()) {
        if (AskNewPage(NoPageQuestion))
            NewPage();
        return;
    }
    TOpenPictureDialog Dialog;
    Dialog.OwnerWindow = this;
    Dialog.Filter = PictureFilter();
    Dialog.Options |= OpenOpt(ofAllowMultiSelect);
    if (Dialog.Execute())
        ImportPictureFiles(Dialog.Files().join(QStringLiteral("\r\n")));
    CellGrid1->setFocus();
    CycleNoticeLabel();
}

void TForm1::SpeedButton2Click(bool Recurse)
{
    if (!HasPage()) {
        if (AskNewPage(NoProjectQuestion))
            NewPage();
        return;
    }
    const QString Folder = ::BrowseForFolder(QStringLiteral("请选择一个文件夹："), this);
    if (!Folder.isEmpty())
        ImportPictureFiles(CollectPictureFiles(Folder, QStringLiteral("*.jpg"), Recurse));
    CycleNoticeLabel();
}

void TForm1::Button8Click()
{
    if (!HasPage()) {
        if (MessageDlg(NoProjectQuestion, mtConfirmation, mbOKCancel) == mrOk)
            NewPage();
        return;
    }
    TOpenPictureDialog Dialog;
    Dialog.OwnerWindow = this;
    Dialog.Filter = PictureFilter();
    Dialog.Options |= OpenOpt(ofAllowMultiSelect);
    if (!Dialog.Execute())
        return;
    // Each picture goes in before the current product, so they come in the
    // reverse of their order. The blocks are inserted together where the page
    // allows it: one insert per picture would renumber the rest of the page
    // for every picture.
    const QStringList Files = Dialog.Files();
    std::optional<TWaitCursor> Wait(std::in_place);
    const int First = BlockOfRow(CellGrid1->Row());
    qsizetype Done = 0;
    while (Done < Files.size()) {
        const int Row = CellGrid1->Row();
        const int Count = InsertProductBlocks(Row, int(Files.size() - Done));
        if (Count <= 0)
            break;
        for (int J = 0; J < Count; ++J) {
            const int PathRow = PathRowOfBlock(BlockOfRow(Row) + J);
            const QString Full = QFileInfo(Files.at(Done + Count - 1 - J)).absoluteFilePath();
            FGridAccess->SetCells(1, PathRow, ProductPictures::StoredPicturePath(FPagePath, Full));
            StoreProductBlock(1, PathRow);
            FGridAccess->SetCells(1, PathRow, Full);
            FGridAccess->LoadCellPicture(1, PathRow - 5, Full);
        }
        Done += Count;
    }
    // The new products lie together from the current one on, in the order
    // the page shows them; their pictures are read once, here, as the import's are.
    QList<int> Rows;
    for (int N = First; N < First + Done; ++N)
        Rows << FirstRowOfBlock(N);
    const QStringList Unreadable = CellGrid1->DecodePictures(1, Rows);
    Wait.reset();
    TellUnreadablePictures(this, Unreadable);
}

void TForm1::N78Click()
{
    const int N = BlockOfRow(CellGrid1->Row());
    FGridAccess->ClearCellPicture(1, FirstRowOfBlock(N));
    const QString Path = FGridAccess->Cells(1, PathRowOfBlock(N));
    if (!Path.isEmpty())
        FGridAccess->LoadCellPicture(1, FirstRowOfBlock(N), Path);
}

void TForm1::N79Click()
{
    const QString Path = FGridAccess->Cells(1, PathRowOfBlock(BlockOfRow(CellGrid1->Row())));
    if (!Path.isEmpty())
        OpenInShell(this, Path);
}

void TForm1::N76Click()
{
    if (!PictureView)
        return;
    const int N = BlockOfRow(CellGrid1->Row());
    const QString Picture = FGridAccess->Cells(1, PathRowOfBlock(N));
    if (!QFileInfo(Picture).isFile())
        return;
    // A viewer still open on another picture closes first (its changes asked
    // about), so it never saves one picture's pixels under another's name.
    if (PictureView->isVisible() && !PictureView->close())
        return;
    PictureView->PictureFile = Picture;
    PictureView->ProductIndex = N;
    PictureView->show();
}

void TForm1::DropMimeData(const QMimeData *Data)
{
    if (!Data)
        return;
    if (HasDroppedFiles(Data)) {
        FPendingFiles = DroppedFiles(Data).join(QStringLiteral("\r\n"));
        ImportPendingFiles();
        return;
    }
    const QString Text = DroppedText(Data);
    if (!Text.isEmpty() && Edit1->isVisible())
        Edit1->insert(CellTextEditor::PlainPasteText(Text));
}

void TForm1::GridDragDrop(int ACol, int ARow)
{
    if (ARow < 1)
        return;
    const int A = BlockOfRow(CellGrid1->Row());
    const int B = BlockOfRow(ARow);
    SwapProducts(A, B, ACol == 1);
    CellGrid1->setFocus();
}

// ------------------------------------------------------------ wiring

void TForm1::ConnectProductCommands()
{
    auto Bind = [this](QObject *Source, const std::function<void()> &Handler) {
        if (auto *Button = qobject_cast<QAbstractButton *>(Source))
            connect(Button, &QAbstractButton::clicked, this, [this, Handler] { Guard(Handler); });
        else if (auto *Action = qobject_cast<QAction *>(Source))
            connect(Action, &QAction::triggered, this, [this, Handler] { Guard(Handler); });
    };
    auto Item = [this](const char *Name) { return findChild<QAction *>(QString::fromLatin1(Name)); };

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto Popup = [this](const char *Name, const QString &Caption) {
        QAction *A = PopupMenu1->addAction(Caption);
        A->setObjectName(QString::fromLatin1(Name));
        return A;
    };
    QAction *N51 = Popup("N51", QStringLiteral("清空当前资料"));
    QAction *N60 = Popup("N60", QStringLiteral("添加图片"));
    QAction *N61 = Popup("N61", QStringLiteral("交换图片顺序……"));
    QAction *N62 = Popup("N62", QStringLiteral("交换资料顺序……"));
    QAction *N63 = Popup("N63", QStringLiteral("删除当前资料"));
    QAction *N65 = Popup("N65", QStringLiteral("插入图片"));
    QAction *N126 = Popup("N126", QStringLiteral("插入空行"));
    QAction *N77 = Popup("N77", QStringLiteral("移动到……"));
    QAction *N78 = Popup("N78", QStringLiteral("刷新当前图片"));
    QAction *N79 = Popup("N79", QStringLiteral("调用外部程序打开图片"));
    QAction *N76 = Popup("N76", QStringLiteral("写字到图片……"));
    QAction *N69 = Popup("N69", QStringLiteral("预览"));

    const auto Delete = [this] { SpeedButton4Click(); };
    for (QObject *S : std::initializer_list<QObject *>{SpeedButton4, Item("N24"), N63})
        Bind(S, Delete);
    for (QObject *S : std::initializer_list<QObject *>{BitBtn1, Item("N25")})
        Bind(S, [this] { BitBtn1Click(); });
    Bind(N51, [this] { N51Click(); });
    for (QObject *S : std::initializer_list<QObject *>{Button4, N126})
        Bind(S, [this] { Button4Click(); });
    for (QObject *S : std::initializer_list<QObject *>{N61, Item("N66")})
        Bind(S, [this] { N61Click(); });
    for (QObject *S : std::initializer_list<QObject *>{N62, Item("N68")})
        Bind(S, [this] { N62Click(); });
    Bind(N77, [this] { N77Click(); });
    Bind(Item("N114"), [this] { N114Click(); });
    for (QObject *S : std::initializer_list<QObject *>{SpeedButton3, Item("N10"), N60})
        Bind(S, [this] { SpeedButton3Click(); });
    for (QObject *S : std::initializer_list<QObject *>{SpeedButton2, Item("N12")})
        Bind(S, [this] { SpeedButton2Click(QApplication::keyboardModifiers() & Qt::ControlModifier); });
    for (QObject *S : std::initializer_list<QObject *>{Button8, Item("N64"), N65})
        Bind(S, [this] { Button8Click(); });
    Bind(N78, [this] { N78Click(); });
    Bind(N79, [this] { N79Click(); });
    Bind(N76, [this] { N76Click(); });
    Bind(N69, [this] { N57Click(); });

    CellGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(CellGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint &At) {
        Guard([this] { PopupMenu1Popup(); });
        PopupMenu1->popup(CellGrid1->viewport()->mapToGlobal(At));
    });
    // Any part of a merged cell stands for the whole: its value, its line in
    // the page text and its editor are those of the block's base cell.
    CellGrid1->OnSelectCell = [this](TObject *, int ACol, int ARow, bool &) {
        const TPoint B = CellGrid1->BaseCell(ACol, ARow);
        Guard([=, this] {
            CellGrid1SelectCell(B.X, B.Y);
            PlaceEdit1(B.X, B.Y);
        });
    };
    // The editor follows its cell when the grid scrolls or its columns change
    // width; it has the focus then, so its cell is not drawn as focused.
    CellGrid1->OnTopLeftChanged = [this](TObject *) { FollowEdit1(); };
    CellGrid1->OnDrawCell = [this](TObject *, int ACol, int ARow, const TRect &, TGridDrawState State) {
        if (Edit1->isVisible() && ACol == FEditCol && ARow == FEditRow) {
            FollowEdit1();
            return;
        }
        if (!(State & gdFocused))
            return;
        // The grid got the focus back with the editor hidden: it returns.
        if (!Edit1->isVisible()) {
            if (CellGrid1->hasFocus() && CellTextEditor::IsEditorCell(ACol, ARow))
                QTimer::singleShot(0, this, [=, this] {
                    if (CellGrid1->BaseCell(CellGrid1->Col(), CellGrid1->Row()) == TPoint(ACol, ARow)
                        && !Edit1->isVisible())
                        Guard([=, this] { PlaceEdit1(ACol, ARow); });
                });
            return;
        }
    };
    CellGrid1->OnDblClickCell = [this](TObject *, int ARow, int ACol) {
        const bool Ctrl = QApplication::keyboardModifiers() & Qt::ControlModifier;
        Guard([=, this] { CellGrid1DblClickCell(ARow, ACol, Ctrl); });
    };
    CellGrid1->OnGetEditorType = [](TObject *, int ACol, int ARow, TEditorType &AEditor) {
        if (ACol == 1 && ARow >= 6 && ARow % 6 == 0)
            AEditor = edEditBtn;
    };
    CellGrid1->OnCanEditCell = [](TObject *, int ARow, int ACol, bool &CanEdit) {
        CanEdit = ACol == 1 && ARow >= 6 && ARow % 6 == 0;
    };
    CellGrid1->OnEllipsClick = [this](TObject *, int ACol, int ARow, QString &S) {
        Guard([&] { CellGrid1EllipsClick(ACol, ARow, S); });
    };
    // The path cell's editor takes typing too: what is typed is the path.
    connect(CellGrid1->GridEditBtn(), &QLineEdit::textChanged, this,
            [this](const QString &Text) { Guard([=, this] { PathEditChange(Text); }); });

    Edit1->setToolTip(CellTextEditor::Hint);
    // The editor's own menu copies, cuts and pastes with the same conversions as its keys.
    Edit1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Edit1, &QWidget::customContextMenuRequested, this, [this](const QPoint &At) {
        std::unique_ptr<QMenu> Menu(Edit1->createStandardContextMenu());
        const std::pair<QKeySequence::StandardKey, std::function<void()>> Routed[] = {
            {QKeySequence::Copy, [this] { Edit1Copy(false); }},
            {QKeySequence::Cut, [this] { Edit1Copy(true); }},
            {QKeySequence::Paste, [this] { Edit1Paste(); }}};
        for (QAction *A : Menu->actions())
            for (const auto &R : Routed)
                if (A->text().section(QLatin1Char('\t'), 1) == QKeySequence(R.first).toString(QKeySequence::NativeText)) {
                    A->disconnect();
                    const std::function<void()> Handler = R.second;
                    connect(A, &QAction::triggered, this, [this, Handler] { Guard(Handler); });
                }
        Menu->exec(Edit1->mapToGlobal(At));
    });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Guard([this] { Edit1Change(); }); });

    auto *Events = new TProductEvents(this);
    Edit1->installEventFilter(Events);
    CellGrid1->viewport()->installEventFilter(Events);
    CellGrid1->viewport()->setAcceptDrops(true);
    Button8->installEventFilter(Events);
    ListBox1->viewport()->installEventFilter(Events);
    ScrollBox1->viewport()->installEventFilter(Events);
    ScrollBox1->viewport()->setAcceptDrops(true);
    RichEdit1->installEventFilter(Events);
    Edit1->setAcceptDrops(true);
    Button8->setAcceptDrops(true);
}
