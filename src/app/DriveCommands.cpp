#include "DriveCommands.h"

#include "platform/core/FileUtils.h"
#include "platform/services/Application.h"
#include "platform/services/ScriptedPrompts.h"
#include "platform/services/Shell.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>

// ---- finding things ----

namespace {

bool HasAncestorNamed(const QObject *O, const QString &Name)
{
    for (const QObject *P = O->parent(); P; P = P->parent())
        if (P->objectName() == Name)
            return true;
    return false;
}

const QWidget *WidgetOf(const QObject *O)
{
    if (const auto *W = qobject_cast<const QWidget *>(O))
        return W;
    for (const QObject *P = O->parent(); P; P = P->parent())
        if (const auto *W = qobject_cast<const QWidget *>(P))
            return W;
    return nullptr;
}

int Rank(const QObject *O)
{
    const QWidget *W = WidgetOf(O);
    if (!W)
        return 4;
    const QWidget *Window = W->window();
    if (QApplication::activeModalWidget() && Window == QApplication::activeModalWidget())
        return 0;
    if (QApplication::activeWindow() && Window == QApplication::activeWindow())
        return 1;
    if (Window->isVisible())
        return 2;
    return 3;
}

} // namespace

QObject *TDriveContext::Find(const QString &Name) const
{
    QString Owner;
    QString Leaf = Name;
    const qsizetype Dot = Name.lastIndexOf(QLatin1Char('.'));
    if (Dot > 0) {
        Owner = Name.left(Dot);
        Leaf = Name.mid(Dot + 1);
    }
    if (Leaf.isEmpty())
        throw EDriveError(QStringLiteral("empty name"));

    QList<QObject *> Found;
    auto Consider = [&](QObject *O) {
        if (O->objectName() == Leaf && !Found.contains(O) && (Owner.isEmpty() || HasAncestorNamed(O, Owner)))
            Found << O;
    };
    for (QWidget *Top : QApplication::topLevelWidgets()) {
        Consider(Top);
        for (QObject *O : Top->findChildren<QObject *>(Leaf))
            Consider(O);
    }
    if (Found.isEmpty())
        throw EDriveError(QStringLiteral("nothing is named %1").arg(Name));
    QObject *Best = Found.first();
    for (QObject *O : Found)
        if (Rank(O) < Rank(Best))
            Best = O;
    return Best;
}

QWidget *TDriveContext::FindWidget(const QString &Name) const
{
    QObject *O = Find(Name);
    auto *W = qobject_cast<QWidget *>(O);
    if (!W)
        throw EDriveError(QStringLiteral("%1 is not a widget (%2)").arg(Name, QString::fromLatin1(O->metaObject()->className())));
    return W;
}

void TDriveContext::Print(const QString &Line)
{
    Out << Line << '\n';
    Out.flush();
}

// ---- parsing ----

QString UnescapeDriveText(const QString &Text)
{
    QString R;
    for (qsizetype I = 0; I < Text.size(); ++I) {
        const QChar C = Text[I];
        if (C != QLatin1Char('\\') || I + 1 == Text.size()) {
            R += C;
            continue;
        }
        const QChar N = Text[++I];
        if (N == QLatin1Char('n'))
            R += QLatin1Char('\n');
        else if (N == QLatin1Char('r'))
            R += QLatin1Char('\r');
        else if (N == QLatin1Char('t'))
            R += QLatin1Char('\t');
        else if (N == QLatin1Char('\\'))
            R += QLatin1Char('\\');
        else
            R += QLatin1Char('\\') + N;
    }
    return R;
}

QStringList ParseDriveLine(const QString &Line, const TDriveCommand **Command)
{
    *Command = nullptr;
    QString Rest = Line;
    while (Rest.endsWith(QLatin1Char('\r')) || Rest.endsWith(QLatin1Char('\n')))
        Rest.chop(1);
    Rest = Rest.trimmed();
    if (Rest.isEmpty() || Rest.startsWith(QLatin1Char('#')))
        return {};

    static const QRegularExpression Blank(QStringLiteral("\\s+"));
    auto TakeWord = [&Rest]() {
        const QRegularExpressionMatch M = Blank.match(Rest);
        QString Word;
        if (M.hasMatch()) {
            Word = Rest.left(M.capturedStart());
            Rest = Rest.mid(M.capturedEnd());
        } else {
            Word = Rest;
            Rest.clear();
        }
        return Word;
    };
    const QString Name = TakeWord();
    const TDriveCommand *C = FindDriveCommand(Name);
    if (!C)
        throw EDriveError(QStringLiteral("unknown command \"%1\" (see --help)").arg(Name));

    QStringList Args;
    while (!Rest.isEmpty()) {
        if (C->TextLast && Args.size() == C->MaxArgs - 1) {
            Args << Rest;
            Rest.clear();
        } else {
            Args << TakeWord();
        }
    }
    if (Args.size() < C->MinArgs || Args.size() > C->MaxArgs)
        throw EDriveError(QStringLiteral("usage: %1 %2").arg(C->Name, C->Arguments));
    *Command = C;
    return Args;
}

// ---- helpers of the commands ----

namespace {

int IntArg(const QString &S, const char *What)
{
    bool Ok = false;
    const int V = S.toInt(&Ok);
    if (!Ok)
        throw EDriveError(QStringLiteral("%1 must be a whole number, not \"%2\"").arg(QString::fromLatin1(What), S));
    return V;
}

QString TextOf(QObject *O, const QString &Name)
{
    if (auto *E = qobject_cast<QPlainTextEdit *>(O))
        return E->toPlainText();
    if (auto *E = qobject_cast<QTextEdit *>(O))
        return E->toPlainText();
    if (auto *E = qobject_cast<QLineEdit *>(O))
        return E->text();
    if (auto *L = qobject_cast<QLabel *>(O))
        return L->text();
    if (auto *C = qobject_cast<QComboBox *>(O))
        return C->currentText();
    if (auto *B = qobject_cast<QAbstractButton *>(O))
        return B->text();
    if (auto *G = qobject_cast<QGroupBox *>(O))
        return G->title();
    if (auto *A = qobject_cast<QAction *>(O))
        return A->text();
    if (auto *W = qobject_cast<QWidget *>(O); W && W->isWindow())
        return W->windowTitle();
    throw EDriveError(QStringLiteral("%1 has no text (%2)").arg(Name, QString::fromLatin1(O->metaObject()->className())));
}

void ClickWidget(QWidget *W)
{
    const QPointF Centre(W->width() / 2.0, W->height() / 2.0);
    const QPointF Global = W->mapToGlobal(Centre);
    QMouseEvent Press(QEvent::MouseButtonPress, Centre, Global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(W, &Press);
    QMouseEvent Release(QEvent::MouseButtonRelease, Centre, Global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(W, &Release);
}

void Click(TDriveContext &C, const QStringList &A)
{
    QObject *O = C.Find(A[0]);
    if (auto *Act = qobject_cast<QAction *>(O)) {
        if (!Act->isEnabled())
            throw EDriveError(QStringLiteral("%1 is disabled").arg(A[0]));
        if (!Act->isVisible())
            throw EDriveError(QStringLiteral("%1 is hidden").arg(A[0]));
        Act->trigger();
        return;
    }
    auto *W = qobject_cast<QWidget *>(O);
    if (!W)
        throw EDriveError(QStringLiteral("%1 cannot be clicked").arg(A[0]));
    if (!W->isEnabled())
        throw EDriveError(QStringLiteral("%1 is disabled").arg(A[0]));
    if (!W->isVisible())
        throw EDriveError(QStringLiteral("%1 is hidden").arg(A[0]));
    if (auto *B = qobject_cast<QAbstractButton *>(W))
        B->click();
    else
        ClickWidget(W);
}

void Answer(TDriveContext &C, const QStringList &A)
{
    const QString Kind = A[0].toLower();
    const QString Value = A.value(1);
    if (Kind == QLatin1String("button")) {
        if (Value.isEmpty())
            throw EDriveError(QStringLiteral("answer button needs a button name (OK, Cancel, Yes, No, ...)"));
        C.Prompts.AnswerButton(Value);
    } else if (Kind == QLatin1String("text")) {
        C.Prompts.AnswerText(UnescapeDriveText(Value));
    } else if (Kind == QLatin1String("file")) {
        if (Value.isEmpty())
            throw EDriveError(QStringLiteral("answer file needs a file"));
        // A file dialog names its file by its full path.
        C.Prompts.AnswerFile(AbsolutePath(Value));
    } else if (Kind == QLatin1String("files")) {
        const QStringList Files = Value.split(QLatin1Char('|'), Qt::SkipEmptyParts);
        if (Files.isEmpty())
            throw EDriveError(QStringLiteral("answer files needs files separated by |"));
        QStringList Full;
        for (const QString &F : Files)
            Full << AbsolutePath(F);
        C.Prompts.AnswerFiles(Full);
    } else if (Kind == QLatin1String("folder")) {
        C.Prompts.AnswerFolder(Value);
    } else if (Kind == QLatin1String("font")) {
        C.Prompts.AnswerFont(Value);
    } else {
        throw EDriveError(QStringLiteral("answer takes button, text, file, files, folder or font, not \"%1\"").arg(A[0]));
    }
}

void SetCell(TDriveContext &C, const QStringList &A)
{
    QObject *Grid = C.Find(A[0]);
    const int Col = IntArg(A[1], "COL");
    const int Row = IntArg(A[2], "ROW");
    const QString Text = UnescapeDriveText(A.value(3));
    if (!QMetaObject::invokeMethod(Grid, "SetCells", Qt::DirectConnection, Q_ARG(int, Col), Q_ARG(int, Row), Q_ARG(QString, Text)))
        throw EDriveError(QStringLiteral("%1 has no invokable SetCells(int, int, QString)").arg(A[0]));
}

void Cell(TDriveContext &C, const QStringList &A)
{
    QObject *Grid = C.Find(A[0]);
    const int Col = IntArg(A[1], "COL");
    const int Row = IntArg(A[2], "ROW");
    QString Text;
    if (!QMetaObject::invokeMethod(Grid, "Cells", Qt::DirectConnection, Q_RETURN_ARG(QString, Text), Q_ARG(int, Col), Q_ARG(int, Row)))
        throw EDriveError(QStringLiteral("%1 has no invokable Cells(int, int)").arg(A[0]));
    C.Print(Text);
}

void TypeText(TDriveContext &C, const QStringList &A)
{
    QWidget *W = C.FindWidget(A[0]);
    const QString Text = UnescapeDriveText(A.value(1));
    if (!W->isEnabled())
        throw EDriveError(QStringLiteral("%1 is disabled").arg(A[0]));
    QLineEdit *Edit = qobject_cast<QLineEdit *>(W);
    if (auto *Combo = qobject_cast<QComboBox *>(W))
        Edit = Combo->lineEdit();
    if (Edit) {
        if (Edit->isReadOnly())
            throw EDriveError(QStringLiteral("%1 is read-only").arg(A[0]));
        // As typed: textEdited and textChanged both follow.
        Edit->selectAll();
        Edit->insert(Text);
        return;
    }
    if (auto *P = qobject_cast<QPlainTextEdit *>(W); P && !P->isReadOnly()) {
        P->setPlainText(Text);
        return;
    }
    if (auto *T = qobject_cast<QTextEdit *>(W); T && !T->isReadOnly()) {
        T->setPlainText(Text);
        return;
    }
    throw EDriveError(QStringLiteral("%1 is not an editable text field").arg(A[0]));
}

QString OneLine(QString S)
{
    return S.replace(QLatin1String("\r\n"), QLatin1String("\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\n"));
}

void ListPrompts(TDriveContext &C, const QStringList &)
{
    for (const TPromptRecord &R : C.Prompts.Records())
        C.Print(PromptKindName(R.Kind) + QStringLiteral(" | ") + OneLine(R.Caption) + QStringLiteral(" | ") + OneLine(R.Text)
                + QStringLiteral(" | ") + R.Answer);
}

void ListShellCalls(TDriveContext &C, const QStringList &)
{
    for (const TShellCall &Call : C.Shell.Calls())
        C.Print(OneLine(Call.Describe()));
}

// A window's picture with a caption bar above it, since an offscreen window has none.
QImage WindowPicture(QWidget *W)
{
    const QImage Body = W->grab().toImage();
    if (!W->isWindow())
        return Body;
    QFont Font = QApplication::font();
    Font.setBold(true);
    const QFontMetrics Metrics(Font);
    const int BarHeight = Metrics.height() + 10;
    QImage Image(Body.width(), Body.height() + BarHeight, QImage::Format_RGB32);
    Image.setDevicePixelRatio(1);
    const QPalette Pal = W->palette();
    QPainter P(&Image);
    P.fillRect(0, 0, Image.width(), BarHeight, Pal.color(QPalette::Active, QPalette::Highlight));
    P.setFont(Font);
    P.setPen(Pal.color(QPalette::Active, QPalette::HighlightedText));
    P.drawText(QRect(8, 0, Image.width() - 16, BarHeight), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
               W->windowTitle());
    P.drawImage(QRect(0, BarHeight, Body.width(), Body.height()), Body);
    return Image;
}

void Screenshot(TDriveContext &C, const QStringList &A)
{
    QWidget *W = C.FindWidget(A[0]);
    const QString File = QFileInfo(A[1]).absoluteFilePath();
    QDir().mkpath(QFileInfo(File).absolutePath());
    if (!WindowPicture(W).save(File, "PNG"))
        throw EDriveError(QStringLiteral("cannot save the screenshot as %1").arg(File));
}

void Sleep(TDriveContext &, const QStringList &A)
{
    const int Ms = IntArg(A[0], "MS");
    if (Ms < 0)
        throw EDriveError(QStringLiteral("MS must not be negative"));
    QEventLoop Loop;
    QTimer::singleShot(Ms, &Loop, &QEventLoop::quit);
    Loop.exec();
}

// The menu that holds an action (none for an action of the menu bar or of no menu).
QMenu *MenuOf(const QAction *Action)
{
    for (QObject *O : Action->associatedObjects())
        if (auto *M = qobject_cast<QMenu *>(O))
            return M;
    return nullptr;
}

// Prints whether a widget or a menu item is enabled. A menu item is looked at as
// the user sees it: the menus that hold it are opened, outermost first (so
// their about-to-show handlers set the states), and closed again.
void Enabled(TDriveContext &C, const QStringList &A)
{
    QObject *O = C.Find(A[0]);
    if (auto *Act = qobject_cast<QAction *>(O)) {
        QList<QMenu *> Chain;
        for (QMenu *M = MenuOf(Act); M && !Chain.contains(M); M = MenuOf(M->menuAction()))
            Chain.prepend(M);
        for (QMenu *M : std::as_const(Chain))
            M->popup(QPoint(0, 0));
        const bool On = Act->isEnabled();
        for (qsizetype I = Chain.size() - 1; I >= 0; --I)
            Chain.at(I)->hide();
        C.Print(On ? QStringLiteral("true") : QStringLiteral("false"));
        return;
    }
    auto *W = qobject_cast<QWidget *>(O);
    if (!W)
        throw EDriveError(QStringLiteral("%1 is neither a widget nor a menu item").arg(A[0]));
    C.Print(W->isEnabled() ? QStringLiteral("true") : QStringLiteral("false"));
}

// Chooses row ROW of a list (-1: none), as a click on it would.
void SelectRow(TDriveContext &C, const QStringList &A)
{
    auto *List = qobject_cast<QListWidget *>(C.FindWidget(A[0]));
    if (!List)
        throw EDriveError(QStringLiteral("%1 is not a list").arg(A[0]));
    const int Row = IntArg(A[1], "ROW");
    if (Row < -1 || Row >= List->count())
        throw EDriveError(QStringLiteral("%1 has no row %2").arg(A[0]).arg(Row));
    if (Row < 0) {
        List->clearSelection();
        List->setCurrentRow(-1);
        return;
    }
    List->setCurrentRow(Row, QItemSelectionModel::ClearAndSelect);
}

void ExpectPrompts(TDriveContext &C, const QStringList &A)
{
    const int Want = IntArg(A[0], "N");
    const int Have = int(C.Prompts.Records().size());
    if (Want != Have) {
        QStringList Shown;
        for (const TPromptRecord &R : C.Prompts.Records())
            Shown << QStringLiteral("  ") + R.Caption + QStringLiteral(": ") + OneLine(R.Text);
        throw EDriveError(QStringLiteral("expected %1 prompts, %2 were shown%3").arg(Want).arg(Have)
                              .arg(Shown.isEmpty() ? QString() : QStringLiteral(":\n") + Shown.join(QLatin1Char('\n'))));
    }
}

QList<TDriveCommand> StandardCommands()
{
    return {
        {QStringLiteral("click"), QStringLiteral("NAME"), QStringLiteral("click a button, a menu item (action) or another widget by its name"),
         1, 1, false, true, Click},
        {QStringLiteral("answer"), QStringLiteral("button|text|file|files|folder|font [VALUE]"),
         QStringLiteral("queue the answer to the next prompt (files: paths separated by |; folder without value: cancel; font: family,points[,bold][,italic])"),
         1, 2, true, false, Answer, true},
        {QStringLiteral("set-cell"), QStringLiteral("GRID COL ROW TEXT"), QStringLiteral("set a cell of a named grid"), 3, 4, true, true, SetCell},
        {QStringLiteral("cell"), QStringLiteral("GRID COL ROW"), QStringLiteral("print a cell of a named grid"), 3, 3, false, false, Cell},
        {QStringLiteral("text"), QStringLiteral("NAME"), QStringLiteral("print the text of a named text field, label, combo box, button, group box, menu item or the caption of a window"),
         1, 1, false, false, [](TDriveContext &C, const QStringList &A) { C.Print(TextOf(C.Find(A[0]), A[0])); }},
        {QStringLiteral("page-text"), QString(), QStringLiteral("print the page text of the main window (RichEdit1)"), 0, 0, false, false,
         [](TDriveContext &C, const QStringList &) {
             QObject *Box = C.MainWindow ? C.MainWindow->findChild<QObject *>(QStringLiteral("RichEdit1")) : nullptr;
             if (!Box)
                 throw EDriveError(QStringLiteral("the main window has no RichEdit1"));
             C.Print(TextOf(Box, QStringLiteral("RichEdit1")));
         }},
        {QStringLiteral("type"), QStringLiteral("NAME TEXT"), QStringLiteral("replace the text of a named edit field as if typed"), 1, 2, true, true, TypeText},
        {QStringLiteral("enabled"), QStringLiteral("NAME"),
         QStringLiteral("print true or false: whether a widget or a menu item (with its menus opened) is enabled"), 1, 1,
         false, false, Enabled},
        {QStringLiteral("select"), QStringLiteral("LIST ROW"), QStringLiteral("choose row ROW (from 0; -1: none) of a named list"), 2, 2,
         false, true, SelectRow},
        {QStringLiteral("prompts"), QString(), QStringLiteral("list the prompts shown: kind | caption | text | answer"), 0, 0, false, false, ListPrompts},
        {QStringLiteral("shell"), QString(), QStringLiteral("list the shell calls made"), 0, 0, false, false, ListShellCalls},
        {QStringLiteral("screenshot"), QStringLiteral("NAME FILE.png"), QStringLiteral("save a picture of a window (with its caption) or a widget as PNG"),
         2, 2, true, false, Screenshot},
        {QStringLiteral("wait"), QString(), QStringLiteral("handle pending events until the program is idle (bounded)"), 0, 0, false, true,
         [](TDriveContext &, const QStringList &) { WaitUntilIdle(); }},
        {QStringLiteral("sleep"), QStringLiteral("MS"), QStringLiteral("handle events for MS milliseconds"), 1, 1, false, true, Sleep},
        {QStringLiteral("expect-prompts"), QStringLiteral("N"), QStringLiteral("fail unless exactly N prompts were shown so far"), 1, 1, false, false, ExpectPrompts},
        {QStringLiteral("quit"), QString(), QStringLiteral("end the run (exit code 0)"), 0, 0, false, false,
         [](TDriveContext &C, const QStringList &) { C.QuitRequested = true; }},
    };
}

} // namespace

QList<TDriveCommand> &DriveCommands()
{
    static QList<TDriveCommand> Table = StandardCommands();
    return Table;
}

void RegisterDriveCommand(const TDriveCommand &Command)
{
    QList<TDriveCommand> &Table = DriveCommands();
    for (TDriveCommand &C : Table)
        if (C.Name == Command.Name) {
            C = Command;
            return;
        }
    Table << Command;
}

const TDriveCommand *FindDriveCommand(const QString &Name)
{
    for (const TDriveCommand &C : DriveCommands())
        if (C.Name == Name)
            return &C;
    return nullptr;
}

QString DriveHelp()
{
    QString S = QStringLiteral(
        "usage: quillbook-drive [--home DIR] [SCRIPT | -] [-- PROGRAM-ARGS...]\n"
        "Starts Quillbook offscreen with the program folder DIR and the given arguments,\n"
        "answers its prompts from the script and records its shell calls. The script is read\n"
        "from SCRIPT or standard input, one command a line; # starts a comment.\n"
        "Exit code 0 when every command succeeded, 1 when a command failed or a prompt was not\n"
        "scripted, 2 for a script error, 3 when the run took too long.\n\ncommands:\n");
    for (const TDriveCommand &C : DriveCommands())
        S += QStringLiteral("  %1 %2\n      %3\n").arg(C.Name, C.Arguments, C.Help);
    S += QStringLiteral("Texts may hold \\n, \\r, \\t and \\\\.\n");
    return S;
}

void WaitUntilIdle()
{
    QAbstractEventDispatcher *D = QAbstractEventDispatcher::instance();
    int Quiet = 0;
    for (int Round = 0; Round < 500 && Quiet < 3; ++Round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const bool Busy = D ? D->processEvents(QEventLoop::AllEvents) : false;
        Quiet = Busy ? 0 : Quiet + 1;
    }
}

// ---- the runner ----

TDriveRunner::TDriveRunner(TDriveContext &Context, const QStringList &Lines)
    : FContext(Context), FLines(Lines)
{
}

void TDriveRunner::Start()
{
    QTimer::singleShot(0, this, [this] { Step(); });
}

void TDriveRunner::Finish(int Code, const QString &Message)
{
    if (FFinished)
        return;
    FFinished = true;
    FExitCode = Code;
    if (!Message.isEmpty()) {
        std::fputs(("quillbook-drive: " + Message + "\n").toUtf8().constData(), stderr);
        std::fflush(stderr);
    }
    QCoreApplication::exit(Code);
}

bool TDriveRunner::HasMoreCommands() const
{
    for (qsizetype I = FNext; I < FLines.size(); ++I) {
        const QString L = FLines[I].trimmed();
        if (!L.isEmpty() && !L.startsWith(QLatin1Char('#')))
            return true;
    }
    return false;
}

bool TDriveRunner::RunLeading()
{
    while (!FFinished && FNext < FLines.size()) {
        const QString Line = FLines[FNext];
        const QString Where = QStringLiteral("line %1 (%2): ").arg(FNext + 1).arg(Line.trimmed());
        const TDriveCommand *Cmd = nullptr;
        QStringList Args;
        try {
            Args = ParseDriveLine(Line, &Cmd);
            if (Cmd && !Cmd->BeforeStart)
                return true;
            ++FNext;
            if (Cmd)
                Cmd->Run(FContext, Args);
        } catch (const EDriveError &E) {
            FFinished = true;
            FExitCode = 2;
            std::fputs(("quillbook-drive: " + Where + E.Message() + "\n").toUtf8().constData(), stderr);
            return false;
        }
    }
    return true;
}

QString TDriveRunner::CurrentFailure() const
{
    if (FContext.Prompts.Failed())
        return FContext.Prompts.Failure();
    return PendingScriptFailure();
}

namespace {
// One running command: whether it has returned, and whether the script already went on
// (inside a modal window it opened).
struct TStepState {
    bool Returned = false;
    bool WentOn = false;
    QWidget *ModalAtStart = nullptr;
};
} // namespace

void TDriveRunner::Step()
{
    // A question the program asked on its own (from a posted message, a timer) and
    // nobody answered ends the run before the next command.
    if (!FFinished && !CurrentFailure().isEmpty()) {
        Finish(1, CurrentFailure());
        return;
    }
    while (!FFinished && FNext < FLines.size()) {
        const int LineNo = FNext + 1;
        const QString Line = FLines[FNext++];
        const QString Where = QStringLiteral("line %1 (%2): ").arg(LineNo).arg(Line.trimmed());
        const TDriveCommand *Cmd = nullptr;
        QStringList Args;
        try {
            Args = ParseDriveLine(Line, &Cmd);
        } catch (const EDriveError &E) {
            Finish(2, Where + E.Message());
            return;
        }
        if (!Cmd)
            continue;

        auto State = std::make_shared<TStepState>();
        State->ModalAtStart = QApplication::activeModalWidget();
        if (Cmd->MayBlock) {
            // When the command opens a modal window, the script goes on inside it.
            auto *Watch = new QTimer(this);
            Watch->setInterval(20);
            connect(Watch, &QTimer::timeout, this, [this, State, Watch]() {
                if (State->Returned || State->WentOn || FFinished) {
                    Watch->stop();
                    Watch->deleteLater();
                    return;
                }
                QWidget *Modal = QApplication::activeModalWidget();
                if (Modal && Modal != State->ModalAtStart) {
                    State->WentOn = true;
                    Watch->stop();
                    Watch->deleteLater();
                    Step();
                }
            });
            Watch->start();
        }

        QString Error;
        try {
            Cmd->Run(FContext, Args);
        } catch (const EDriveError &E) {
            Error = E.Message();
        } catch (const EScriptFailure &E) {
            Error = E.Message();
        } catch (...) {
            // What a handler lets escape goes to the application's error handler, as in the program.
            HandleException();
        }
        State->Returned = true;
        if (FFinished)
            return;
        if (Error.isEmpty())
            Error = CurrentFailure();
        if (!Error.isEmpty()) {
            Finish(1, Where + Error);
            return;
        }
        if (FContext.QuitRequested) {
            Finish(0);
            return;
        }
        if (!State->WentOn) {
            State->WentOn = true;
            QTimer::singleShot(0, this, [this] { Step(); });
        }
        return;
    }
    if (!FFinished)
        Finish(0);
}
