#include "Prompts.h"
#include "QtPrompts.h"
#include "Application.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QMainWindow>
#include <QRegularExpression>
#include <QWidget>

// ---- filters ----

QList<TFileFilter> ParseFileFilter(const QString &Filter)
{
    QList<TFileFilter> Result;
    const QStringList Parts = Filter.split(QLatin1Char('|'));
    for (qsizetype I = 0; I + 1 < Parts.size(); I += 2) {
        TFileFilter F;
        F.Description = Parts[I];
        for (const QString &M : Parts[I + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString Mask = M.trimmed();
            if (!Mask.isEmpty())
                F.Masks << Mask;
        }
        Result << F;
    }
    return Result;
}

static bool MaskMatches(const QString &Mask, const QString &Name)
{
    if (Mask == QLatin1String("*") || Mask == QLatin1String("*.*"))
        return true;
    const QRegularExpression Re(QRegularExpression::wildcardToRegularExpression(Mask, QRegularExpression::UnanchoredWildcardConversion),
                                QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch M = Re.match(Name, 0, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
    return M.hasMatch() && M.capturedLength() == Name.size();
}

bool FilterMatches(const TFileFilter &Filter, const QString &FileName)
{
    const QString Name = QFileInfo(FileName).fileName();
    for (const QString &Mask : Filter.Masks)
        if (MaskMatches(Mask, Name))
            return true;
    return false;
}

int FilterIndexFor(const QList<TFileFilter> &Filters, const QString &FileName)
{
    for (qsizetype I = 0; I < Filters.size(); ++I)
        if (FilterMatches(Filters[I], FileName))
            return int(I + 1);
    return 0;
}

// ---- names ----

QString PromptKindName(TPromptKind Kind)
{
    switch (Kind) {
    case TPromptKind::MessageBox: return QStringLiteral("MessageBox");
    case TPromptKind::MessageDlg: return QStringLiteral("MessageDlg");
    case TPromptKind::InputQuery: return QStringLiteral("InputQuery");
    case TPromptKind::FileDialog: return QStringLiteral("FileDialog");
    case TPromptKind::Folder: return QStringLiteral("BrowseForFolder");
    case TPromptKind::Font: return QStringLiteral("FontDialog");
    }
    return QString();
}

QString MsgDlgBtnName(TMsgDlgBtn B)
{
    static const char *const Names[] = {"Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore",
                                        "All", "NoToAll", "YesToAll", "Help"};
    return QString::fromLatin1(Names[int(B)]);
}

QStringList MessageBoxButtons(unsigned Flags)
{
    switch (Flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {QStringLiteral("OK"), QStringLiteral("Cancel")};
    case MB_ABORTRETRYIGNORE: return {QStringLiteral("Abort"), QStringLiteral("Retry"), QStringLiteral("Ignore")};
    case MB_YESNOCANCEL: return {QStringLiteral("Yes"), QStringLiteral("No"), QStringLiteral("Cancel")};
    case MB_YESNO: return {QStringLiteral("Yes"), QStringLiteral("No")};
    case MB_RETRYCANCEL: return {QStringLiteral("Retry"), QStringLiteral("Cancel")};
    default: return {QStringLiteral("OK")};
    }
}

QStringList MsgDlgButtonNames(TMsgDlgButtons Buttons)
{
    QStringList Result;
    for (int B = mbYes; B <= mbHelp; ++B)
        if (Buttons & MsgDlgBtn(TMsgDlgBtn(B)))
            Result << MsgDlgBtnName(TMsgDlgBtn(B));
    return Result;
}

int MessageBoxResultFor(const QString &ButtonName)
{
    static const struct { const char *Name; int Id; } Map[] = {
        {"OK", IDOK}, {"Cancel", IDCANCEL}, {"Abort", IDABORT}, {"Retry", IDRETRY},
        {"Ignore", IDIGNORE}, {"Yes", IDYES}, {"No", IDNO}};
    for (const auto &M : Map)
        if (ButtonName.compare(QLatin1String(M.Name), Qt::CaseInsensitive) == 0)
            return M.Id;
    return 0;
}

int ModalResultFor(const QString &ButtonName)
{
    static const struct { const char *Name; int Result; } Map[] = {
        {"OK", mrOk}, {"Cancel", mrCancel}, {"Abort", mrAbort}, {"Retry", mrRetry},
        {"Ignore", mrIgnore}, {"Yes", mrYes}, {"No", mrNo}, {"All", mrAll},
        {"NoToAll", mrNoToAll}, {"YesToAll", mrYesToAll}};
    for (const auto &M : Map)
        if (ButtonName.compare(QLatin1String(M.Name), Qt::CaseInsensitive) == 0)
            return M.Result;
    return 0;
}

// ---- the current implementation ----

static std::unique_ptr<TPrompts> &CurrentPrompts()
{
    static std::unique_ptr<TPrompts> Current;
    return Current;
}

TPrompts &Prompts()
{
    auto &Current = CurrentPrompts();
    if (!Current)
        Current = std::make_unique<TQtPrompts>();
    return *Current;
}

std::unique_ptr<TPrompts> SetPrompts(std::unique_ptr<TPrompts> Value)
{
    auto &Current = CurrentPrompts();
    std::unique_ptr<TPrompts> Old = std::move(Current);
    Current = std::move(Value);
    return Old;
}

// ---- the calls ----

QWidget *DefaultPromptOwner()
{
    if (QWidget *W = QApplication::activeModalWidget())
        return W;
    if (QWidget *W = QApplication::activeWindow())
        return W;
    for (QWidget *W : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow *>(W) && W->isVisible())
            return W;
    return nullptr;
}

int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags)
{
    return Prompts().MessageBox(Owner ? Owner : DefaultPromptOwner(), Text, Caption, Flags);
}

QString MsgDlgCaption(TMsgDlgType DlgType)
{
    switch (DlgType) {
    case mtWarning: return QStringLiteral("警告");
    case mtError: return QStringLiteral("错误");
    case mtInformation: return QStringLiteral("信息");
    case mtConfirmation: return QStringLiteral("确认");
    case mtCustom: break;
    }
    return ApplicationTitle();
}

int MessageDlg(const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int /*HelpCtx*/)
{
    return Prompts().MessageDlg(Msg, MsgDlgCaption(DlgType), DlgType, Buttons);
}

void ShowMessage(const QString &Msg)
{
    Prompts().MessageDlg(Msg, ApplicationTitle(), mtCustom, mbOKOnly);
}

QString InputBox(const QString &Caption, const QString &Prompt, const QString &Default)
{
    QString Value = Default;
    if (!Prompts().InputQuery(Caption, Prompt, Value))
        return Default;
    return Value;
}

bool InputQuery(const QString &Caption, const QString &Prompt, QString &Value)
{
    QString Answer = Value;
    if (!Prompts().InputQuery(Caption, Prompt, Answer))
        return false;
    Value = Answer;
    return true;
}

QString BrowseForFolder(const QString &Title, QWidget *Owner)
{
    return Prompts().BrowseForFolder(Owner ? Owner : DefaultPromptOwner(), Title);
}

bool AskReplaceFile(QWidget *Owner, const QString &FileName, const QString &Title)
{
    return ::MessageBox(Owner ? Owner : DefaultPromptOwner(), FileName + QStringLiteral(" 已存在。\r\n要替换它吗？"),
                        Title.isEmpty() ? QStringLiteral("另存为") : Title, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2)
        == IDYES;
}

// ---- dialog components ----

TOpenDialog::TOpenDialog(TComponent *AOwner)
    : TComponent(AOwner)
{
}

bool TOpenDialog::Execute()
{
    const TFileDialogKind K = Kind();
    for (;;) {
        TFileDialogRequest R;
        R.Kind = K;
        R.Owner = OwnerWindow ? OwnerWindow : DefaultPromptOwner();
        R.Title = Title;
        R.Filter = Filter;
        R.FilterIndex = FilterIndex;
        R.InitialDir = InitialDir;
        R.FileName = FileName;
        R.DefaultExt = DefaultExt;
        R.Options = Options;
        if (!Prompts().FileDialog(R) || R.Files.isEmpty())
            return false;

        QStringList Chosen;
        for (QString F : R.Files) {
            // A name typed without an extension gets the default one.
            if (!DefaultExt.isEmpty() && QFileInfo(F).suffix().isEmpty() && !F.endsWith(QLatin1Char('.')))
                F += QLatin1Char('.') + DefaultExt;
            Chosen << F;
        }
        if (!IsSaveKind(K) && (Options & OpenOpt(ofFileMustExist))) {
            bool AllExist = true;
            for (const QString &F : Chosen)
                AllExist = AllExist && QFileInfo(F).isFile();
            if (!AllExist) {
                for (const QString &F : Chosen)
                    if (!QFileInfo(F).isFile())
                        ::MessageBox(R.Owner, F + QStringLiteral("\r\n找不到文件。\r\n请检查文件名是否正确。"),
                                     Title.isEmpty() ? QStringLiteral("打开") : Title, MB_OK | MB_ICONWARNING);
                continue;
            }
        }
        if (IsSaveKind(K) && (Options & OpenOpt(ofOverwritePrompt)) && QFileInfo::exists(Chosen.first())
            && !AskReplaceFile(R.Owner, Chosen.first(), Title))
            continue;
        FFiles = Chosen;
        FileName = Chosen.first();
        if (R.FilterIndex > 0)
            FilterIndex = R.FilterIndex;
        return true;
    }
}

TOpenPictureDialog::TOpenPictureDialog(TComponent *AOwner)
    : TOpenDialog(AOwner)
{
    Filter = QStringLiteral("全部图片 (*.jpg;*.jpeg;*.bmp;*.gif)|*.jpg;*.jpeg;*.bmp;*.gif"
                            "|JPEG 图像文件 (*.jpg)|*.jpg|JPEG 图像文件 (*.jpeg)|*.jpeg"
                            "|位图 (*.bmp)|*.bmp|GIF 图像 (*.gif)|*.gif");
}

TSavePictureDialog::TSavePictureDialog(TComponent *AOwner)
    : TSaveDialog(AOwner)
{
    Filter = QStringLiteral("JPEG 图像文件 (*.jpg)|*.jpg;*.jpeg");
    DefaultExt = QStringLiteral("jpg");
}

TFontDialog::TFontDialog(TComponent *AOwner)
    : TComponent(AOwner), FFont(std::make_unique<QFont>())
{
}

QFont &TFontDialog::Font()
{
    return *FFont;
}

bool TFontDialog::Execute()
{
    QFont Chosen = *FFont;
    if (!Prompts().FontDialog(OwnerWindow ? OwnerWindow : DefaultPromptOwner(), Chosen))
        return false;
    *FFont = Chosen;
    return true;
}
