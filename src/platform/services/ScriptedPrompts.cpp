#include "ScriptedPrompts.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>

QString ScriptedAnswerKindName(TScriptedAnswer::TKind Kind)
{
    switch (Kind) {
    case TScriptedAnswer::Button: return QStringLiteral("button");
    case TScriptedAnswer::Text: return QStringLiteral("text");
    case TScriptedAnswer::File: return QStringLiteral("file");
    case TScriptedAnswer::Files: return QStringLiteral("files");
    case TScriptedAnswer::Folder: return QStringLiteral("folder");
    case TScriptedAnswer::Font: return QStringLiteral("font");
    }
    return QString();
}

static QString &ScriptFailureText()
{
    static QString Text;
    return Text;
}

void NoteScriptFailure(const QString &Msg)
{
    if (ScriptFailureText().isEmpty())
        ScriptFailureText() = Msg;
}

const QString &PendingScriptFailure()
{
    return ScriptFailureText();
}

void ClearScriptFailure()
{
    ScriptFailureText().clear();
}

static QString OneLine(QString S)
{
    return S.replace(QLatin1String("\r\n"), QLatin1String("\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

static QString Describe(const TPromptRecord &R)
{
    QString S = PromptKindName(R.Kind) + QStringLiteral(" \"") + OneLine(R.Caption) + QStringLiteral("\" \"") + OneLine(R.Text) + QLatin1Char('"');
    if (!R.Buttons.isEmpty())
        S += QStringLiteral(" [") + R.Buttons.join(QLatin1Char('/')) + QLatin1Char(']');
    return S;
}

void TScriptedPrompts::Fail(TPromptRecord &Record, const QString &Why)
{
    Record.Answer = QStringLiteral("<failed>");
    FRecords << Record;
    const QString Msg = Why + QStringLiteral(": ") + Describe(Record);
    if (FFailure.isEmpty())
        FFailure = Msg;
    NoteScriptFailure(Msg);
    if (OnPrompt)
        OnPrompt(Record);
    throw EScriptFailure(Msg);
}

void TScriptedPrompts::Done(TPromptRecord &Record, const QString &Answer)
{
    Record.Answer = Answer;
    FRecords << Record;
    if (OnPrompt)
        OnPrompt(Record);
}

TScriptedAnswer TScriptedPrompts::Take(TPromptRecord &Record)
{
    if (FAnswers.isEmpty())
        Fail(Record, QStringLiteral("unscripted prompt"));
    return FAnswers.takeFirst();
}

// Takes the next answer, which must be one of the offered buttons; returns its name as offered.
QString TScriptedPrompts::AskButton(TPromptRecord &Record)
{
    const TScriptedAnswer A = Take(Record);
    if (A.Kind != TScriptedAnswer::Button)
        Fail(Record, QStringLiteral("the queued answer is a %1, not a button").arg(ScriptedAnswerKindName(A.Kind)));
    for (const QString &B : Record.Buttons)
        if (B.compare(A.Values.value(0), Qt::CaseInsensitive) == 0) {
            Done(Record, B);
            return B;
        }
    Fail(Record, QStringLiteral("the queued button \"%1\" is not offered").arg(A.Values.value(0)));
}

int TScriptedPrompts::MessageBox(QWidget *, const QString &Text, const QString &Caption, unsigned Flags)
{
    TPromptRecord R{TPromptKind::MessageBox, Caption, Text, MessageBoxButtons(Flags), {}, Flags};
    return MessageBoxResultFor(AskButton(R));
}

int TScriptedPrompts::MessageDlg(const QString &Msg, const QString &Caption, TMsgDlgType, TMsgDlgButtons Buttons)
{
    QStringList Names = MsgDlgButtonNames(Buttons);
    if (Names.isEmpty())
        Names << QStringLiteral("OK");
    TPromptRecord R{TPromptKind::MessageDlg, Caption, Msg, Names, {}};
    return ModalResultFor(AskButton(R));
}

bool TScriptedPrompts::InputQuery(const QString &Caption, const QString &Prompt, QString &Value)
{
    TPromptRecord R{TPromptKind::InputQuery, Caption, Prompt, {QStringLiteral("OK"), QStringLiteral("Cancel")}, {}};
    const TScriptedAnswer A = Take(R);
    if (A.Kind == TScriptedAnswer::Text) {
        Value = A.Values.value(0);
        Done(R, Value);
        return true;
    }
    if (A.Kind == TScriptedAnswer::Button) {
        const QString B = A.Values.value(0);
        if (B.compare(QLatin1String("OK"), Qt::CaseInsensitive) == 0) {
            Done(R, Value);
            return true;
        }
        if (B.compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0) {
            Done(R, QStringLiteral("Cancel"));
            return false;
        }
    }
    Fail(R, QStringLiteral("the queued answer does not fit an input box"));
}

bool TScriptedPrompts::FileDialog(TFileDialogRequest &Request)
{
    TPromptRecord R{TPromptKind::FileDialog, Request.Title, Request.Filter,
                    {QStringLiteral("OK"), QStringLiteral("Cancel")}, {}};
    const TScriptedAnswer A = Take(R);
    if (A.Kind == TScriptedAnswer::Button && A.Values.value(0).compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0) {
        Done(R, QStringLiteral("Cancel"));
        return false;
    }
    const bool Multi = !IsSaveKind(Request.Kind) && (Request.Options & OpenOpt(ofAllowMultiSelect));
    if (A.Kind != TScriptedAnswer::File && !(A.Kind == TScriptedAnswer::Files && Multi))
        Fail(R, QStringLiteral("the queued answer does not fit this file dialog"));
    if (A.Values.isEmpty())
        Fail(R, QStringLiteral("the queued answer names no file"));

    const QDir Base(Request.InitialDir.isEmpty() ? QDir::currentPath() : Request.InitialDir);
    Request.Files.clear();
    for (const QString &F : A.Values)
        Request.Files << QDir::cleanPath(Base.absoluteFilePath(F));
    // The filter shown stays selected when it lists the file, else the first that does.
    // A name without an extension is judged with the default one the dialog will add.
    const QList<TFileFilter> Filters = ParseFileFilter(Request.Filter);
    QString Judged = Request.Files.first();
    if (!Request.DefaultExt.isEmpty() && QFileInfo(Judged).suffix().isEmpty())
        Judged += QLatin1Char('.') + Request.DefaultExt;
    const int Current = Request.FilterIndex;
    if (Current < 1 || Current > Filters.size() || !FilterMatches(Filters[Current - 1], Judged)) {
        const int Index = FilterIndexFor(Filters, Judged);
        if (Index > 0)
            Request.FilterIndex = Index;
    }
    Done(R, Request.Files.join(QLatin1Char('|')));
    return true;
}

QString TScriptedPrompts::BrowseForFolder(QWidget *, const QString &Title)
{
    TPromptRecord R{TPromptKind::Folder, Title, QString(), {QStringLiteral("OK"), QStringLiteral("Cancel")}, {}};
    const TScriptedAnswer A = Take(R);
    if (A.Kind == TScriptedAnswer::Folder) {
        Done(R, A.Values.value(0));
        return A.Values.value(0);
    }
    if (A.Kind == TScriptedAnswer::Button && A.Values.value(0).compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0) {
        Done(R, QStringLiteral("Cancel"));
        return QString();
    }
    Fail(R, QStringLiteral("the queued answer does not fit a folder browser"));
}

bool TScriptedPrompts::FontDialog(QWidget *, QFont &Font)
{
    TPromptRecord R{TPromptKind::Font, QStringLiteral("字体"), Font.family(), {QStringLiteral("OK"), QStringLiteral("Cancel")}, {}};
    const TScriptedAnswer A = Take(R);
    if (A.Kind == TScriptedAnswer::Button && A.Values.value(0).compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0) {
        Done(R, QStringLiteral("Cancel"));
        return false;
    }
    if (A.Kind != TScriptedAnswer::Font)
        Fail(R, QStringLiteral("the queued answer does not fit a font dialog"));
    const QStringList Parts = A.Values.value(0).split(QLatin1Char(','));
    bool Ok = false;
    const int Points = Parts.value(1).trimmed().toInt(&Ok);
    if (Parts.value(0).trimmed().isEmpty() || !Ok || Points <= 0)
        Fail(R, QStringLiteral("a font answer is \"family,points[,bold][,italic]\""));
    QFont Chosen(Parts.value(0).trimmed(), Points);
    for (const QString &P : Parts.mid(2)) {
        if (P.trimmed().compare(QLatin1String("bold"), Qt::CaseInsensitive) == 0)
            Chosen.setBold(true);
        else if (P.trimmed().compare(QLatin1String("italic"), Qt::CaseInsensitive) == 0)
            Chosen.setItalic(true);
    }
    Font = Chosen;
    Done(R, A.Values.value(0));
    return true;
}
