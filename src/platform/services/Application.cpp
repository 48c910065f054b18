#include "Application.h"
#include "Prompts.h"
#include "ScriptedPrompts.h"
#include "platform/core/SysUtils.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QEvent>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QProxyStyle>
#include <QPointer>
#include <QTranslator>
#include <algorithm>
#include <atomic>
#include <new>

// ---- the application ----

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Dates are written and read the user's way (LC_TIME, else LANG).
    LoadDateSettings(QLocale::system());
}

TApplication::~TApplication() = default;

TApplication *TApplication::Instance()
{
    return qobject_cast<TApplication *>(QCoreApplication::instance());
}

QString TApplication::Title() const
{
    return FTitle.isEmpty() ? applicationName() : FTitle;
}

void TApplication::SetTitle(const QString &Value)
{
    FTitle = Value;
}

QString ApplicationTitle()
{
    if (const TApplication *App = TApplication::Instance())
        return App->Title();
    return QCoreApplication::applicationName();
}

namespace {

// Texts of Qt that its Chinese catalogue leaves out (the file dialogs' kind of
// a folder). Installed before Qt's catalogues, it is asked only after them.
class TChineseTextGaps : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char *Context, const char *Source, const char * /*Disambiguation*/, int /*N*/) const override
    {
        static const struct { const char *Context, *Source, *Text; } Gaps[] = {
            {"QAbstractFileIconProvider", "Folder", "文件夹"},
            {"QAbstractFileIconProvider", "Drive", "驱动器"},
        };
        for (const auto &G : Gaps)
            if (qstrcmp(Context, G.Context) == 0 && qstrcmp(Source, G.Source) == 0)
                return QString::fromUtf8(G.Text);
        return QString();
    }
};

} // namespace

bool InstallQtTranslations(const QLocale &Locale)
{
    QCoreApplication *App = QCoreApplication::instance();
    if (!App)
        return false;
    if (Locale.language() == QLocale::Chinese)
        QCoreApplication::installTranslator(new TChineseTextGaps(App));
    const QString Folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool BaseFound = false;
    // The browser's catalogue is there only where the browser is installed.
    for (const char *Catalogue : {"qtbase", "qtwebengine"}) {
        auto *Translator = new QTranslator(App);
        if (Translator->load(Locale, QString::fromLatin1(Catalogue), QStringLiteral("_"), Folder)
            && QCoreApplication::installTranslator(Translator)) {
            BaseFound = BaseFound || qstrcmp(Catalogue, "qtbase") == 0;
            continue;
        }
        delete Translator;
    }
    return BaseFound;
}

namespace {

// Carries the hint pause, which Qt keeps as a style hint.
class THintStyle : public QProxyStyle {
public:
    explicit THintStyle(int APause) : Pause(APause) {}
    int Pause;
    int styleHint(StyleHint Hint, const QStyleOption *Option, const QWidget *Widget, QStyleHintReturn *Return) const override
    {
        if (Hint == QStyle::SH_ToolTip_WakeUpDelay)
            return Pause;
        return QProxyStyle::styleHint(Hint, Option, Widget, Return);
    }
};

} // namespace

int TApplication::MessageBox(const QString &Text, const QString &Caption, unsigned Flags)
{
    return ::MessageBox(DefaultPromptOwner(), Text, Caption, Flags);
}

int TApplication::HintPause() const
{
    return style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay);
}

void TApplication::SetHintPause(int Ms)
{
    if (auto *S = dynamic_cast<THintStyle *>(style())) {
        S->Pause = Ms;
        return;
    }
    setStyle(new THintStyle(Ms));
}

bool TApplication::notify(QObject *Receiver, QEvent *Event)
{
    if (!FShowHint && Event->type() == QEvent::ToolTip)
        return true;
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        HandleException();
        return false;
    }
}

// ---- the error handler ----

static QPointer<QWidget> &ProgressBoxRef()
{
    static QPointer<QWidget> Box;
    return Box;
}

void SetProgressBox(QWidget *Box)
{
    ProgressBoxRef() = Box;
}

QWidget *ProgressBox()
{
    return ProgressBoxRef().data();
}

static void Report(const Exception &E, TObject *Sender)
{
    TApplication *App = TApplication::Instance();
    if (App && App->OnException) {
        App->OnException(Sender, E);
        return;
    }
    RestoreCursor();
    if (QWidget *Box = ProgressBox())
        Box->hide();
    ShowException(E.Message());
}

void HandleException(std::exception_ptr Ptr, TObject *Sender)
{
    try {
        try {
            std::rethrow_exception(Ptr);
        } catch (const EAbort &) {
            // A silent exception: the operation simply ends.
        } catch (const EScriptFailure &F) {
            NoteScriptFailure(F.Message());
        } catch (const Exception &E) {
            Report(E, Sender);
        } catch (const std::bad_alloc &) {
            Report(EOutOfMemory(QStringLiteral("内存不足")), Sender);
        } catch (const std::exception &E) {
            Report(Exception(QString::fromLocal8Bit(E.what())), Sender);
        } catch (...) {
            Report(Exception(QStringLiteral("未知错误")), Sender);
        }
    } catch (const EScriptFailure &F) {
        // The error box itself was not scripted.
        NoteScriptFailure(F.Message());
    } catch (...) {
        // Nothing may escape the last-resort handler.
    }
}

void HandleException(TObject *Sender)
{
    HandleException(std::current_exception(), Sender);
}

void ShowException(const QString &Message)
{
    MessageBox(DefaultPromptOwner(), Message, ApplicationTitle(), MB_OK | MB_ICONERROR);
}

// ---- the cursor ----

namespace {
int GCursorDepth = 0;          // override cursors we pushed
unsigned GCursorGeneration = 0;
bool GScreenWait = false;      // ShowWaitCursor's own level

bool HaveGui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}
} // namespace

TWaitCursor::TWaitCursor()
    : FGeneration(GCursorGeneration)
{
    if (HaveGui())
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++GCursorDepth;
}

TWaitCursor::~TWaitCursor()
{
    if (FGeneration != GCursorGeneration || GCursorDepth == 0)
        return;     // RestoreCursor already undid it
    if (HaveGui())
        QGuiApplication::restoreOverrideCursor();
    --GCursorDepth;
}

void ShowWaitCursor()
{
    if (GScreenWait)
        return;
    if (HaveGui())
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++GCursorDepth;
    GScreenWait = true;
}

void RestoreCursor()
{
    if (HaveGui())
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    GCursorDepth = 0;
    GScreenWait = false;
    ++GCursorGeneration;
}

bool WaitCursorShown()
{
    return GCursorDepth > 0;
}

// ---- pumping and the busy lock ----

namespace {

constexpr const char *StaysUsableProperty = "qbStaysUsableWhileBusy";
constexpr const char *ShownAtProperty = "qbShownAt";

// A window of its own: a dialog, a message box, another main window. Menus,
// drop-down lists and tool tips belong to the window they drop from.
bool IsOwnWindow(const QWidget *W)
{
    if (!W->isWindow())
        return false;
    const Qt::WindowType Type = W->windowType();
    return Type != Qt::Popup && Type != Qt::ToolTip;
}

// Drops the input of locked windows. A lock covers the window and its
// controls, menus and shortcuts; it does not reach into the windows that came
// up while it is held (the boxes and dialogs the work shows, a program's wait
// box): they are what the user has to answer for the work to go on. Windows
// the locked one showed before the work began stay locked with it, since their
// commands could start the window's work again. They stay locked whatever
// happens to them while the work runs: minimised and restored (the window
// system shows them again), hidden and shown again, they are still the windows
// of before the work, not boxes of the work.
class TInputBlocker : public QObject {
public:
    struct TLock {
        int Count = 0;
        quint64 Since = 0;
        // The windows of the locked one that were up when the lock began.
        QList<QPointer<QWidget>> Open;
    };
    QHash<const QWidget *, TLock> Locks;

    // Orders locks and the showing of windows.
    quint64 Tick() { return ++FClock; }

    static QList<QPointer<QWidget>> OpenWindowsOf(QWidget *Window)
    {
        QList<QPointer<QWidget>> Open;
        for (QWidget *W : QApplication::topLevelWidgets()) {
            if (!IsOwnWindow(W) || !(W->isVisible() || W->isMinimized()))
                continue;
            for (const QWidget *P = W; P; P = P->parentWidget()) {
                if (P == Window) {
                    Open.append(W);
                    break;
                }
            }
        }
        return Open;
    }

    bool OpenWhenLocked(const QWidget *W) const
    {
        for (const TLock &L : Locks)
            for (const QPointer<QWidget> &O : L.Open)
                if (O == W)
                    return true;
        return false;
    }

    bool Locked(const QWidget *W) const
    {
        quint64 LatestShown = 0;   // of the windows passed on the way up
        for (; W; W = W->parentWidget()) {
            if (W->property(StaysUsableProperty).toBool())
                return false;
            const auto It = Locks.constFind(W);
            if (It != Locks.constEnd())
                return LatestShown <= It->Since;
            if (IsOwnWindow(W))
                LatestShown = std::max(LatestShown, W->property(ShownAtProperty).toULongLong());
        }
        return false;
    }

protected:
    bool eventFilter(QObject *Watched, QEvent *Event) override
    {
        switch (Event->type()) {
        case QEvent::Show:
            if (auto *W = qobject_cast<QWidget *>(Watched); W && IsOwnWindow(W) && !OpenWhenLocked(W))
                W->setProperty(ShownAtProperty, Tick());
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::Close:
            break;
        default:
            return false;
        }
        const QWidget *W = qobject_cast<const QWidget *>(Watched);
        if (!W)
            if (const QAction *A = qobject_cast<const QAction *>(Watched))
                W = qobject_cast<const QWidget *>(A->parent());
        if (!W || !Locked(W))
            return false;
        if (Event->type() == QEvent::Close)
            static_cast<QCloseEvent *>(Event)->ignore();
        return true;
    }

private:
    quint64 FClock = 0;
};

TInputBlocker *Blocker()
{
    static TInputBlocker *B = nullptr;
    if (!B && QCoreApplication::instance()) {
        B = new TInputBlocker;
        B->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(B);
        QObject::connect(B, &QObject::destroyed, [] { B = nullptr; });
    }
    return B;
}

} // namespace

void ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

TBusyLock::TBusyLock(QWidget *Window)
    : FWindow(Window)
{
    if (Window)
        if (TInputBlocker *B = Blocker()) {
            TInputBlocker::TLock &L = B->Locks[Window];
            // A nested lock keeps the start of the outer one.
            if (L.Count++ == 0) {
                L.Since = B->Tick();
                L.Open = TInputBlocker::OpenWindowsOf(Window);
            }
        }
}

TBusyLock::~TBusyLock()
{
    if (!FWindow)
        return;
    if (TInputBlocker *B = Blocker()) {
        auto It = B->Locks.find(FWindow.data());
        if (It != B->Locks.end() && --It->Count <= 0)
            B->Locks.erase(It);
    }
}

void KeepUsableWhileBusy(QWidget *Widget)
{
    if (Widget)
        Widget->setProperty(StaysUsableProperty, true);
}

bool IsBusy(const QWidget *Window)
{
    TInputBlocker *B = Blocker();
    return B && B->Locked(Window);
}

namespace {
std::atomic<int> BeepCount{0};
} // namespace

// ---- modal dialogs and the end of the run ----

namespace {
TModalHooks &ModalHooks()
{
    static TModalHooks Hooks;
    return Hooks;
}
} // namespace

int ShowModal(QDialog *Dialog)
{
    // A copy: the hook may install others while it runs.
    const auto Hook = ModalHooks().ShowModal;
    return Hook ? Hook(Dialog) : Dialog->exec();
}

void Terminate()
{
    const auto Hook = ModalHooks().Terminate;
    if (Hook)
        Hook();
    else
        QCoreApplication::exit(0);
}

TModalHooks SetModalHooks(TModalHooks Hooks)
{
    TModalHooks Old = std::move(ModalHooks());
    ModalHooks() = std::move(Hooks);
    return Old;
}

void MessageBeep(unsigned Type)
{
    Q_UNUSED(Type);
    ++BeepCount;
    if (qApp)
        QApplication::beep();
}

int MessageBeepCount()
{
    return BeepCount.load();
}
