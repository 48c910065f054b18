#include "CatalogDialog.h"

#include "platform/services/Prompts.h"
#include "platform/services/Shell.h"

#include "MainWindow.h"
#include "grid/CellGrid.h"
#include "platform/services/Application.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

namespace {

// What a window manager may put around a window: a title bar and thin
// borders. Qt guesses the same when it centres a dialog. A frame known to be
// larger is taken instead.
const QMargins LikelyFrame(10, 40, 10, 10);

QMargins KnownFrame(const QWidget *Window)
{
    const QWindow *Handle = Window->windowHandle();
    return Handle ? Handle->frameMargins() : QMargins();
}

// The frame taken as large as it may be.
QMargins LargestFrame(const QMargins &Known)
{
    return QMargins(qMax(Known.left(), LikelyFrame.left()), qMax(Known.top(), LikelyFrame.top()),
                    qMax(Known.right(), LikelyFrame.right()), qMax(Known.bottom(), LikelyFrame.bottom()));
}

// A maximized window is the window manager's to place and size.
bool Placeable(const QWidget *Window, const QScreen *Screen)
{
    return Window && Screen && !Window->isMaximized() && !Window->isFullScreen();
}

void BoundSize(QWidget *Window, const QRect &Room, const QMargins &Frame)
{
    const QSize Least = Window->minimumSize().expandedTo(Window->minimumSizeHint());
    const QSize Most = QSize(Room.width() - Frame.left() - Frame.right(), Room.height() - Frame.top() - Frame.bottom())
                           .expandedTo(Least);
    if (Window->width() > Most.width() || Window->height() > Most.height())
        Window->resize(Window->size().boundedTo(Most));
}

} // namespace

void KeepScreenSize(QWidget *Window, QScreen *Screen)
{
    if (Placeable(Window, Screen))
        BoundSize(Window, Screen->availableGeometry(), LargestFrame(KnownFrame(Window)));
}

void KeepOnScreen(QWidget *Window, QScreen *Screen)
{
    if (!Placeable(Window, Screen))
        return;
    const QRect Room = Screen->availableGeometry();
    const QMargins Known = KnownFrame(Window);
    const QMargins Frame = LargestFrame(Known);
    BoundSize(Window, Room, Frame);
    // Where the frame, taken as large as it may be, begins. Before the window
    // manager has framed the window its frame is not known: then the frame
    // begins where the window is moved to (pos()), and the window lies inside it.
    const QPoint Inside(Frame.left(), Frame.top());
    const bool Framed = !Known.isNull();
    QPoint At = Framed ? Window->geometry().topLeft() - Inside : Window->pos();
    const QSize Outer = Window->size().grownBy(Frame);
    At.setX(qMax(Room.left(), qMin(At.x(), Room.left() + Room.width() - Outer.width())));
    At.setY(qMax(Room.top(), qMin(At.y(), Room.top() + Room.height() - Outer.height())));
    const QPoint To = Framed ? At + Inside - QPoint(Known.left(), Known.top()) : At;
    if (To != Window->pos()) {
        // Qt places a dialog it shows anew unless the program moved it:
        // this move is no placement of the program's own.
        const bool Moved = Window->testAttribute(Qt::WA_Moved);
        Window->move(To);
        Window->setAttribute(Qt::WA_Moved, Moved);
    }
}

TCatalogDialog::TCatalogDialog(QWidget *Parent, const QString &Name, const QString &Caption)
    : QDialog(Parent)
{
    setObjectName(Name);
    setWindowTitle(Caption);
    setModal(true);
}

void TCatalogDialog::Guard(const std::function<void()> &Handler)
{
    for (QWidget *W = parentWidget(); W; W = W->parentWidget())
        if (auto *Main = qobject_cast<TForm1 *>(W)) {
            Main->Guard(Handler);
            return;
        }
    try {
        Handler();
    } catch (const Exception &E) {
        ShowException(E.Message());
    }
}

void TCatalogDialog::reject()
{
    if (FCancelButton && FCancelButton->isVisible() && FCancelButton->isEnabled()) {
        FCancelButton->click();
        // A handler that keeps the dialog open keeps it open.
        return;
    }
    done(2);
}

void TCatalogDialog::setVisible(bool Visible)
{
    const bool Showing = Visible && !isVisible();
    if (Showing) {
        // The size showing would give it, then no larger than the screen of
        // the window it is centred over allows.
        if (!testAttribute(Qt::WA_Resized)) {
            adjustSize();
            setAttribute(Qt::WA_Resized, false);
        }
        QWidget *Over = parentWidget() ? parentWidget()->window() : this;
        KeepOnScreen(this, Over->screen() ? Over->screen() : QGuiApplication::primaryScreen());
    }
    QDialog::setVisible(Visible);
    // Qt has centred it and the form's own show handler has run.
    if (Showing) {
        KeepOnScreen(this, screen());
        FPlacedAt = pos();
    }
}

bool TCatalogDialog::event(QEvent *Event)
{
    const bool Result = QDialog::event(Event);
    // Contents that grew (a longer text, a list shown) may have made it
    // larger than the screen, or moved its bottom off it. A dialog the user
    // or the window manager moved stays where it is, also partly off the
    // screen: only one still where it was placed is placed again.
    if (Event->type() == QEvent::LayoutRequest && isVisible()) {
        if (pos() == FPlacedAt) {
            KeepOnScreen(this, screen());
            FPlacedAt = pos();
        } else {
            KeepScreenSize(this, screen());
        }
    }
    return Result;
}

void TCatalogDialog::SetDialogButtons(QPushButton *DefaultButton, QPushButton *CancelButton)
{
    for (QPushButton *B : findChildren<QPushButton *>())
        B->setAutoDefault(true);
    FDefaultButton = DefaultButton;
    FCancelButton = CancelButton;
    if (DefaultButton)
        DefaultButton->setDefault(true);
}

void TCatalogDialog::PassDialogKeys(TCellGrid *Grid)
{
    FKeyGrids.append(Grid);
    Grid->installEventFilter(this);
}

void TCatalogDialog::SetTabOrder(std::initializer_list<QWidget *> Widgets)
{
    QWidget *Previous = nullptr;
    for (QWidget *W : Widgets) {
        if (Previous)
            QWidget::setTabOrder(Previous, W);
        Previous = W;
    }
}

bool TCatalogDialog::eventFilter(QObject *Watched, QEvent *Event)
{
    if (Event->type() == QEvent::KeyPress)
        for (TCellGrid *Grid : std::as_const(FKeyGrids)) {
            if (Watched != Grid || Grid->Editing())
                continue;
            const auto *Key = static_cast<QKeyEvent *>(Event);
            if (Key->modifiers() & ~Qt::KeypadModifier)
                break;
            if (Key->key() == Qt::Key_Escape) {
                reject();
                return true;
            }
            if ((Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter) && FDefaultButton) {
                if (FDefaultButton->isVisible() && FDefaultButton->isEnabled())
                    FDefaultButton->click();
                return true;
            }
            break;
        }
    return QDialog::eventFilter(Watched, Event);
}

bool OpenInShell(QWidget *Owner, const QString &Target)
{
    if (Shell().Open(Target))
        return true;
    MessageBox(Owner,
               QStringLiteral("无法打开“%1”。\r\n请检查它是否存在，以及系统中是否有打开它的程序。").arg(Target),
               QStringLiteral("错误"), MB_OK | MB_ICONERROR);
    return false;
}
