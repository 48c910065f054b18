#include "PictureViewer.h"

#include "BatchTextDialog.h"
#include "MainWindow.h"
#include "PictureText.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/services/Application.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

// Image1: paints the viewer's picture stretched to its own size.
class TShownPicture : public QWidget {
public:
    TShownPicture(QWidget *Parent, const std::unique_ptr<TBitmap> &Picture) : QWidget(Parent), FPicture(Picture) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter P(this);
        if (FPicture && !FPicture->Empty())
            P.drawImage(rect(), FPicture->Image());
        else
            P.fillRect(rect(), palette().window());
    }

private:
    const std::unique_ptr<TBitmap> &FPicture;
};

QToolButton *ToolButton(QWidget *Parent, const char *Name, const QString &Caption)
{
    auto *B = new QToolButton(Parent);
    B->setObjectName(QString::fromLatin1(Name));
    B->setText(Caption);
    B->setAutoRaise(true);
    return B;
}

} // namespace

TPictureView::TPictureView(QWidget *Parent)
    : TCatalogDialog(Parent, QStringLiteral("PictureView"), QStringLiteral("图片浏览，点击鼠标右键可在图片上添加文字。"))
{
    setModal(false);
    SpeedButton1 = ToolButton(this, "SpeedButton1", QStringLiteral("添加文字"));
    SpeedButton2 = ToolButton(this, "SpeedButton2", QStringLiteral("批量添加"));
    SpeedButton3 = ToolButton(this, "SpeedButton3", QStringLiteral("设置字体"));
    SpeedButton4 = ToolButton(this, "SpeedButton4", QStringLiteral("保存"));
    SpeedButton5 = ToolButton(this, "SpeedButton5", QStringLiteral("保存副本"));
    SpeedButton6 = ToolButton(this, "SpeedButton6", QStringLiteral("另存"));
    SpeedButton7 = ToolButton(this, "SpeedButton7", QStringLiteral("取消更改"));

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    auto *Content = new QWidget;
    Content->setObjectName(QStringLiteral("ScrollBox1Content"));
    ScrollBox1->setWidget(Content);
    Panel1 = new QWidget(Content);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Image1 = new TShownPicture(Panel1, Image2);
    Image1->setObjectName(QStringLiteral("Image1"));
    auto *PanelLayout = new QVBoxLayout(Panel1);
    PanelLayout->setContentsMargins(0, 0, 0, 0);
    PanelLayout->addWidget(Image1);
    Edit1 = new QLineEdit(Content);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(160);
    Edit1->hide();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto Item = [this](const char *Name, const QString &Caption) {
        QAction *A = PopupMenu1->addAction(Caption);
        A->setObjectName(QString::fromLatin1(Name));
        return A;
    };
    N1 = Item("N1", QStringLiteral("写字……"));
    N9 = Item("N9", QStringLiteral("批量写字……"));
    N5 = Item("N5", QStringLiteral("设置字体……"));
    PopupMenu1->addSeparator();
    N3 = Item("N3", QStringLiteral("保存"));
    N6 = Item("N6", QStringLiteral("保存副本"));
    N7 = Item("N7", QStringLiteral("另存"));

    FontDialog1 = std::make_unique<TFontDialog>();
    FontDialog1->OwnerWindow = this;
    SavePictureDialog1 = std::make_unique<TSavePictureDialog>();
    SavePictureDialog1->OwnerWindow = this;

    auto *Tools = new QHBoxLayout;
    for (QToolButton *B : {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton5, SpeedButton6, SpeedButton7})
        Tools->addWidget(B);
    Tools->addStretch(1);
    auto *Layout = new QVBoxLayout(this);
    Layout->addLayout(Tools);
    Layout->addWidget(ScrollBox1, 1);
    resize(640, 480);

    auto Bind = [this](QObject *Source, void (TPictureView::*Handler)()) {
        if (auto *B = qobject_cast<QToolButton *>(Source))
            connect(B, &QToolButton::clicked, this, Guarded([this, Handler] { (this->*Handler)(); }));
        else if (auto *A = qobject_cast<QAction *>(Source))
            connect(A, &QAction::triggered, this, Guarded([this, Handler] { (this->*Handler)(); }));
    };
    Bind(N1, &TPictureView::N1Click);
    Bind(SpeedButton1, &TPictureView::SpeedButton1Click);
    Bind(N5, &TPictureView::N5Click);
    Bind(SpeedButton3, &TPictureView::N5Click);
    Bind(N3, &TPictureView::N3Click);
    Bind(SpeedButton4, &TPictureView::N3Click);
    Bind(N6, &TPictureView::N6Click);
    Bind(SpeedButton5, &TPictureView::N6Click);
    Bind(N7, &TPictureView::N7Click);
    Bind(SpeedButton6, &TPictureView::N7Click);
    Bind(SpeedButton7, &TPictureView::SpeedButton7Click);
    Bind(N9, &TPictureView::N9Click);
    Bind(SpeedButton2, &TPictureView::N9Click);

    Image1->installEventFilter(this);
    Edit1->installEventFilter(this);
    ScrollBox1->viewport()->installEventFilter(this);
    Content->installEventFilter(this);
}

TPictureView::~TPictureView() = default;

TForm1 *TPictureView::MainForm() const
{
    return qobject_cast<TForm1 *>(parentWidget());
}

TForm6 *TPictureView::Form6() const
{
    return findChild<TForm6 *>(QString(), Qt::FindDirectChildrenOnly);
}

QSize TPictureView::PictureSize() const
{
    return Image2 ? QSize(Image2->Width(), Image2->Height()) : QSize();
}

QRect TPictureView::ShownRect() const
{
    return Panel1->geometry();
}

void TPictureView::SetShownRect(const QRect &R)
{
    Panel1->setGeometry(R);
    FitContent();
    UpdateCaption();
}

void TPictureView::FitContent()
{
    QWidget *Content = ScrollBox1->widget();
    const QSize View = ScrollBox1->viewport()->size();
    const QRect R = Panel1->geometry();
    Content->resize(qMax(View.width(), R.right() + 1), qMax(View.height(), R.bottom() + 1));
}

void TPictureView::UpdateCaption()
{
    const QSize P = PictureSize();
    if (P.width() > 0)
        setWindowTitle(QStringLiteral("图片浏览 缩放：") + FormatFloat(QStringLiteral("0.#"), double(Panel1->width()) / P.width()));
}

void TPictureView::EnableSaveButtons(bool Enabled)
{
    for (QToolButton *B : {SpeedButton4, SpeedButton5, SpeedButton6})
        B->setEnabled(Enabled);
    for (QAction *A : {N3, N6, N7})
        A->setEnabled(Enabled);
}

// ---- showing and closing ----

void TPictureView::showEvent(QShowEvent *Event)
{
    TCatalogDialog::showEvent(Event);
    FClosingChecked = false;
    Guarded([this] { FormShow(); })();
}

void TPictureView::FormShow()
{
    setWindowTitle(QStringLiteral("图片浏览，点击鼠标右键可在图片上添加文字。"));
    EnableSaveButtons(false);
    FTexts.clear();
    FModified = false;
    Edit1->hide();
    Image2.reset();
    Image2 = PictureText::LoadPicture(PictureFile);
    const QSize P = PictureSize();
    const QSize View = ScrollBox1->viewport()->size();
    Panel1->setGeometry(qMax(0, (View.width() - P.width()) / 2), qMax(0, (View.height() - P.height()) / 2), P.width(),
                        P.height());
    FitContent();
    Image1->update();
}

void TPictureView::FormCloseQuery(bool &CanClose)
{
    CanClose = true;
    if (!FModified)
        return;
    switch (MessageBox(this, QStringLiteral("图片已经更改，是否保存一个副本？"), windowTitle(), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        SaveCopy();
        break;
    case IDNO:
        FModified = false;
        break;
    default:
        CanClose = false;
    }
}

void TPictureView::closeEvent(QCloseEvent *Event)
{
    bool CanClose = true;
    Guarded([&] { FormCloseQuery(CanClose); })();
    if (!CanClose) {
        Event->ignore();
        return;
    }
    TCatalogDialog::closeEvent(Event);
}

// ---- mouse and wheel ----

void TPictureView::WndProcMouseWheel(int Delta)
{
    if (!Image2)
        return;
    SetShownRect(PictureText::Zoom(ShownRect(), PictureSize(), ScrollBox1->viewport()->size(), Delta));
}

void TPictureView::Image1MouseDown(Qt::MouseButton Button, const QPoint &At)
{
    if (Button == Qt::LeftButton) {
        // Leaving the editor writes its text, as its focus going elsewhere would.
        if (Edit1->isVisible())
            Edit1Exit();
        FDraggingPanel = true;
        FDragFrom = At;
        Image1->setCursor(Qt::ClosedHandCursor);
    } else if (Button == Qt::RightButton) {
        FRightClick = At;
    }
}

void TPictureView::Image1MouseMove(const QPoint &At)
{
    if (!FDraggingPanel)
        return;
    Panel1->move(Panel1->pos() + At - FDragFrom);
    FitContent();
}

void TPictureView::Image1DblClick()
{
    close();
}

void TPictureView::ScrollBox1DblClick()
{
    close();
}

// ---- writing ----

void TPictureView::ShowEditor(const QPoint &At)
{
    Edit1->move(Panel1->pos() + At);
    Edit1->clear();
    Edit1->show();
    Edit1->raise();
    Edit1->setFocus();
}

void TPictureView::N1Click()
{
    ShowEditor(FRightClick);
}

void TPictureView::SpeedButton1Click()
{
    ShowEditor(QPoint(20, 20));
}

void TPictureView::Edit1Exit()
{
    const QString Text = Edit1->text();
    Edit1->clear();
    Edit1->hide();
    if (Text.isEmpty() || !Image2)
        return;
    const QPoint At = PictureText::PicturePoint(Edit1->pos() - Panel1->pos(), Panel1->size(), PictureSize());
    TFont Font;
    Font.AssignQFont(Edit1->font());
    PictureText::DrawText(*Image2, Font, At.x(), At.y(), Text);
    FTexts << PictureText::FormatEntry(At.x(), At.y(), Text);
    FModified = true;
    EnableSaveButtons(true);
    Image1->update();
}

void TPictureView::Edit1KeyPress(QChar &Key)
{
    if (Key == QChar(13)) {
        Key = QChar();
        Edit1Exit();
    }
}

void TPictureView::Edit1MouseDown(const QPoint &At)
{
    // The editor is moved with the mouse, like a window by its caption.
    FDraggingEditor = true;
    FDragFrom = At;
}

void TPictureView::N5Click()
{
    FontDialog1->Font() = Edit1->font();
    if (FontDialog1->Execute())
        Edit1->setFont(FontDialog1->Font());
}

// ---- saving ----

void TPictureView::SaveJpeg(const QString &Path)
{
    if (Image2)
        PictureText::SaveJpeg(*Image2, Path, 80);
}

void TPictureView::Notify(int Product, const QString &Path, int LParam)
{
    if (TForm1 *Main = MainForm())
        Main->PictureNotice(Product, Path, LParam);
}

void TPictureView::SaveOverOriginal()
{
    if (!PictureText::IsJpegName(PictureFile)) {
        // A GIF or BMP keeps its bytes: the JPEG goes beside it and the product takes it.
        const QString Target = PictureText::JpegTargetFor(PictureFile);
        SaveJpeg(Target);
        PictureFile = Target;
        FModified = false;
        EnableSaveButtons(false);
        Notify(ProductIndex, PictureFile, 5);
        close();
        return;
    }
    // A picture the user made read-only is refused, not replaced.
    CheckFileReplaceable(PictureFile);
    if (MessageDlg(QStringLiteral("图片文件已经存在，是否覆盖？如果不想覆盖原图，请点击“cancel”（推荐）并可使用“保存副本”或者“另存”功能来创建新图。"),
                   mtConfirmation, mbOKCancel) != mrOk)
        return;
    SaveJpeg(PictureFile);
    FModified = false;
    EnableSaveButtons(false);
    Notify(ProductIndex, PictureFile, 0);
    close();
}

void TPictureView::N3Click()
{
    SaveOverOriginal();
}

void TPictureView::SaveCopy()
{
    const QString Target = PictureText::IsJpegName(PictureFile) ? PictureText::CopyName(PictureFile)
                                                                : PictureText::JpegTargetFor(PictureFile);
    SaveJpeg(Target);
    PictureFile = Target;
    FModified = false;
    EnableSaveButtons(false);
    Notify(ProductIndex, PictureFile, 5);
}

void TPictureView::N6Click()
{
    SaveCopy();
    close();
}

void TPictureView::N7Click()
{
    const QString Folder = ExtractFilePath(PictureFile);
    QString Proposed = QStringLiteral("2") + ExtractFileName(PictureFile);
    if (!PictureText::IsJpegName(Proposed))
        Proposed = ChangeFileExt(Proposed, QStringLiteral(".jpg"));
    SavePictureDialog1->InitialDir = Folder;
    SavePictureDialog1->FileName = Folder + Proposed;
    QString Target;
    for (;;) {
        if (!SavePictureDialog1->Execute())
            return;
        // What is written is JPEG: the name says so. The question whether to
        // replace a file is about that name, not the one typed, so the dialog
        // does not ask it itself; No goes back to the dialog, as there.
        Target = SavePictureDialog1->FileName;
        if (!PictureText::IsJpegName(Target))
            Target = ChangeFileExt(Target, QStringLiteral(".jpg"));
        // A picture the user made read-only is refused, not replaced.
        CheckFileReplaceable(Target);
        if (!QFileInfo::exists(Target) || AskReplaceFile(this, Target, SavePictureDialog1->Title))
            break;
    }
    SaveJpeg(Target);
    PictureFile = Target;
    FModified = false;
    EnableSaveButtons(false);
}

void TPictureView::SpeedButton7Click()
{
    FModified = false;
    close();
}

// ---- batch ----

void TPictureView::N9Click()
{
    if (FTexts.isEmpty()) {
        MessageDlg(QStringLiteral("请先在当前图片上添加文字，然后在执行批量添加操作。"), mtWarning, mbOKOnly);
        return;
    }
    TForm6 *Batch = Form6();
    if (!Batch)
        return;
    Batch->ComboBox2->clear();
    Batch->ComboBox2->addItems(FTexts);
    Batch->Button2->setText(QStringLiteral("取消"));
    Batch->Edit2->setText(QString::number(Batch->ProductCount()));
    ShowModal(Batch);
}

bool TPictureView::BatchWriteText(int N, bool Relative, const QStringList &Texts, bool MakeCopy, QString *Reason)
{
    const auto Skip = [Reason](const QString &Why) {
        if (Reason)
            *Reason = Why;
        return false;
    };
    TForm1 *Main = MainForm();
    if (!Main || N < 1 || 6 * N >= Main->CellGrid1->RowCount())
        return Skip(QStringLiteral("没有这个商品。"));
    TProductGridAccess &Grid = Main->GridAccess();
    QString Picture = Grid.Cells(1, 6 * N).trimmed();
    if (Picture.isEmpty())
        return Skip(QStringLiteral("没有图片。"));
    Picture = ResolveStoredPath(Main->FPagePath.isEmpty() ? ProgramFolder() : DocumentFolder(Main->FPagePath), Picture);
    const QString Name = ExtractFileName(Picture);
    if (!FileExists(Picture))
        return Skip(Name + QStringLiteral("：图片文件不存在。"));
    if (!PictureText::IsJpegName(Picture))
        return Skip(Name + QStringLiteral("：不是JPEG图片，批量写字只处理JPEG图片。"));
    if (!MakeCopy) {
        // A picture the user made read-only keeps its bytes: passed over, with the reason.
        try {
            CheckFileReplaceable(Picture);
        } catch (const EFCreateError &E) {
            return Skip(Name + QStringLiteral("：") + E.Message());
        }
    }
    TFont Font;
    Font.AssignQFont(Edit1->font());
    QString Target;
    bool Done = false;
    try {
        Done = PictureText::WriteEntries(Picture, N, Relative, Texts, PictureSize(), Font, MakeCopy,
                                         [&Grid](int ACol, int ARow) { return Grid.Cells(ACol, ARow); }, Target);
    } catch (const EFOpenError &E) {
        // Not damaged: the file could not be opened (the text says why).
        return Skip(Name + QStringLiteral("：") + E.Message());
    } catch (const EInvalidGraphic &) {
        return Skip(Name + QStringLiteral("：图片已损坏，不能作为JPEG图片读取。"));
    } catch (const EStreamError &E) {
        return Skip(Name + QStringLiteral("：写字后不能保存。") + E.Message());
    }
    if (!Done)
        return Skip(Name + QStringLiteral("：图片文件不存在。"));
    Notify(N, Target, 5);
    if (N == ProductIndex)
        EnableSaveButtons(FModified);
    return true;
}

// ---- events ----

void TPictureView::wheelEvent(QWheelEvent *Event)
{
    const int Delta = Event->angleDelta().y();
    Event->accept();
    if (Delta != 0)
        Guarded([=, this] { WndProcMouseWheel(Delta); })();
}

bool TPictureView::eventFilter(QObject *Watched, QEvent *Event)
{
    const QEvent::Type T = Event->type();
    const bool Mouse = T == QEvent::MouseButtonPress || T == QEvent::MouseMove || T == QEvent::MouseButtonRelease;
    auto *M = Mouse ? static_cast<QMouseEvent *>(Event) : nullptr;
    if (Watched == Image1) {
        if (T == QEvent::MouseButtonPress) {
            const Qt::MouseButton B = M->button();
            const QPoint At = M->position().toPoint();
            Guarded([=, this] { Image1MouseDown(B, At); })();
            if (B == Qt::RightButton)
                PopupMenu1->popup(M->globalPosition().toPoint());
            return true;
        }
        if (T == QEvent::MouseMove) {
            const QPoint At = M->position().toPoint();
            Guarded([=, this] { Image1MouseMove(At); })();
            return true;
        }
        if (T == QEvent::MouseButtonRelease) {
            FDraggingPanel = false;
            Image1->unsetCursor();
            return true;
        }
        if (T == QEvent::MouseButtonDblClick) {
            Guarded([this] { Image1DblClick(); })();
            return true;
        }
        return false;
    }
    if (Watched == Edit1) {
        if (T == QEvent::FocusOut) {
            Guarded([this] { Edit1Exit(); })();
            return false;
        }
        if (T == QEvent::KeyPress) {
            auto *K = static_cast<QKeyEvent *>(Event);
            QChar Key = (K->key() == Qt::Key_Return || K->key() == Qt::Key_Enter) ? QChar(13)
                        : K->text().isEmpty()                                    ? QChar()
                                                                                 : K->text().at(0);
            Guarded([&] { Edit1KeyPress(Key); })();
            return Key.isNull() && !K->text().isEmpty();
        }
        if (T == QEvent::MouseButtonPress && M->button() == Qt::LeftButton) {
            const QPoint At = M->position().toPoint();
            Guarded([=, this] { Edit1MouseDown(At); })();
            return false;
        }
        if (T == QEvent::MouseMove && FDraggingEditor && (M->buttons() & Qt::LeftButton)) {
            Edit1->move(Edit1->pos() + M->position().toPoint() - FDragFrom);
            return true;
        }
        if (T == QEvent::MouseButtonRelease)
            FDraggingEditor = false;
        return false;
    }
    if (Watched == ScrollBox1->viewport() && T == QEvent::Wheel) {
        // Not the scroll box's scrolling: the window's own wheel handling.
        wheelEvent(static_cast<QWheelEvent *>(Event));
        return true;
    }
    if ((Watched == ScrollBox1->viewport() || Watched == ScrollBox1->widget()) && T == QEvent::MouseButtonDblClick) {
        Guarded([this] { ScrollBox1DblClick(); })();
        return true;
    }
    return TCatalogDialog::eventFilter(Watched, Event);
}
