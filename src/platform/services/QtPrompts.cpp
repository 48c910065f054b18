#include "QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace {

QString ButtonText(const QString &Name)
{
    static const struct { const char *Name; const char *Text; } Map[] = {
        {"OK", "确定"}, {"Cancel", "取消"}, {"Abort", "中止(&A)"}, {"Retry", "重试(&R)"},
        {"Ignore", "忽略(&I)"}, {"Yes", "是(&Y)"}, {"No", "否(&N)"}, {"All", "全部(&A)"},
        {"NoToAll", "全否(&O)"}, {"YesToAll", "全是(&A)"}, {"Help", "帮助(&H)"}};
    for (const auto &M : Map)
        if (Name == QLatin1String(M.Name))
            return QString::fromUtf8(M.Text);
    return Name;
}

QMessageBox::ButtonRole RoleOf(const QString &Name)
{
    if (Name == QLatin1String("Cancel") || Name == QLatin1String("Abort"))
        return QMessageBox::RejectRole;
    if (Name == QLatin1String("No") || Name == QLatin1String("NoToAll"))
        return QMessageBox::NoRole;
    if (Name == QLatin1String("Yes") || Name == QLatin1String("YesToAll"))
        return QMessageBox::YesRole;
    if (Name == QLatin1String("Help"))
        return QMessageBox::HelpRole;
    return QMessageBox::AcceptRole;
}

// The text as a box shows it. A message that lists many files (an archive
// from elsewhere can name hundreds) or holds a very long value would make the
// box larger than the screen, its buttons out of reach: it shows its first
// lines, each cut after a few hundred characters, and says how many lines
// are left out.
QString ShownText(const QString &Text)
{
    constexpr int MaxLines = 25;
    constexpr int MaxLineChars = 300;
    static const QRegularExpression Breaks(QStringLiteral("\\r\\n|\\r|\\n"));
    QStringList Lines = Text.split(Breaks);
    bool Cut = false;
    const qsizetype Left = Lines.size() - MaxLines;
    if (Left > 0) {
        Lines = Lines.mid(0, MaxLines);
        Cut = true;
    }
    for (QString &L : Lines)
        if (L.size() > MaxLineChars) {
            L = L.left(L.at(MaxLineChars - 1).isHighSurrogate() ? MaxLineChars - 1 : MaxLineChars) + QChar(0x2026);
            Cut = true;
        }
    if (!Cut)
        return Text;
    if (Left > 0)
        Lines << QStringLiteral("……（另有 %1 行未显示）").arg(Left);
    return Lines.join(QLatin1Char('\n'));
}

// Shows a box with the named buttons and returns the name of the one pressed.
// Closing the box answers Cancel when offered, else the only button.
QString AskButtons(QWidget *Owner, const QString &Text, const QString &Caption, QMessageBox::Icon Icon,
                   const QStringList &Names, int DefaultIndex)
{
    QMessageBox Box(Icon, Caption, ShownText(Text), QMessageBox::NoButton, Owner);
    // Messages name files and values the user typed: a "<b>" in them is text.
    Box.setTextFormat(Qt::PlainText);
    QList<QPushButton *> Buttons;
    for (const QString &N : Names)
        Buttons << Box.addButton(ButtonText(N), RoleOf(N));
    if (DefaultIndex >= 0 && DefaultIndex < Buttons.size())
        Box.setDefaultButton(Buttons[DefaultIndex]);
    if (Names.contains(QLatin1String("Cancel")))
        Box.setEscapeButton(Buttons[Names.indexOf(QLatin1String("Cancel"))]);
    else if (Names.size() == 1)
        Box.setEscapeButton(Buttons[0]);
    Box.exec();
    const int Index = int(Buttons.indexOf(qobject_cast<QPushButton *>(Box.clickedButton())));
    if (Index >= 0)
        return Names[Index];
    if (Names.contains(QLatin1String("Cancel")))
        return QStringLiteral("Cancel");
    return Names.size() == 1 ? Names[0] : QString();
}

QMessageBox::Icon IconOfFlags(unsigned Flags)
{
    switch (Flags & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

QMessageBox::Icon IconOfType(TMsgDlgType T)
{
    switch (T) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: break;
    }
    return QMessageBox::NoIcon;
}

// "*.qbt" becomes "*.[qQ][bB][tT]" so that the dialog lists names in any case.
QString CaseInsensitiveMask(const QString &Mask)
{
    QString Result;
    for (QChar C : Mask) {
        if (C.isLetter() && C.toLower() != C.toUpper())
            Result += QLatin1Char('[') + C.toLower() + C.toUpper() + QLatin1Char(']');
        else
            Result += C;
    }
    return Result;
}

} // namespace

QStringList QtNameFilters(const QList<TFileFilter> &Filters)
{
    QStringList Result;
    for (const TFileFilter &F : Filters) {
        QStringList Masks;
        for (const QString &M : F.Masks)
            Masks << (M == QLatin1String("*.*") ? QStringLiteral("*") : CaseInsensitiveMask(M));
        QString Description = F.Description;
        Description.replace(QLatin1Char('('), QChar(0xFF08)).replace(QLatin1Char(')'), QChar(0xFF09));
        Result << Description + QStringLiteral(" (") + Masks.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return Result;
}

int TQtPrompts::MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags)
{
    const QStringList Names = MessageBoxButtons(Flags);
    const int Default = int((Flags & MB_DEFMASK) >> 8);
    const QString Answer = AskButtons(Owner, Text, Caption, IconOfFlags(Flags), Names, Default);
    return MessageBoxResultFor(Answer);
}

int TQtPrompts::MessageDlg(const QString &Msg, const QString &Caption, TMsgDlgType DlgType, TMsgDlgButtons Buttons)
{
    QStringList Names = MsgDlgButtonNames(Buttons);
    if (Names.isEmpty())
        Names << QStringLiteral("OK");
    // The original dialog's default is OK, else Yes; its escape answer is Cancel, else No, else OK.
    int Default = int(Names.indexOf(QLatin1String("OK")));
    if (Default < 0)
        Default = int(Names.indexOf(QLatin1String("Yes")));
    const QString Answer = AskButtons(DefaultPromptOwner(), Msg, Caption, IconOfType(DlgType), Names, Default);
    if (Answer.isEmpty())
        return Names.contains(QLatin1String("No")) ? mrNo : mrCancel;
    return ModalResultFor(Answer);
}

bool TQtPrompts::InputQuery(const QString &Caption, const QString &Prompt, QString &Value)
{
    QInputDialog D(DefaultPromptOwner());
    D.setWindowTitle(Caption);
    D.setLabelText(Prompt);
    // Like the message boxes, the prompt is shown as it stands, tags and all.
    for (QLabel *L : D.findChildren<QLabel *>())
        L->setTextFormat(Qt::PlainText);
    D.setTextValue(Value);
    D.setOkButtonText(ButtonText(QStringLiteral("OK")));
    D.setCancelButtonText(ButtonText(QStringLiteral("Cancel")));
    if (D.exec() != QDialog::Accepted)
        return false;
    Value = D.textValue();
    return true;
}

bool TQtPrompts::FileDialog(TFileDialogRequest &Request)
{
    const QList<TFileFilter> Filters = ParseFileFilter(Request.Filter);
    const QStringList NameFilters = QtNameFilters(Filters);
    const bool Save = IsSaveKind(Request.Kind);

    QString Title = Request.Title;
    if (Title.isEmpty())
        Title = Save ? QStringLiteral("另存为") : QStringLiteral("打开");
    QFileDialog D(Request.Owner, Title);
    D.setOption(QFileDialog::DontUseNativeDialog);
    D.setOption(QFileDialog::HideNameFilterDetails);
    // The overwrite question is asked by the caller, the same way for every implementation.
    D.setOption(QFileDialog::DontConfirmOverwrite);
    D.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (Save)
        D.setFileMode(QFileDialog::AnyFile);
    else if (Request.Options & OpenOpt(ofAllowMultiSelect))
        D.setFileMode(QFileDialog::ExistingFiles);
    else if (Request.Options & OpenOpt(ofFileMustExist))
        D.setFileMode(QFileDialog::ExistingFile);
    else
        D.setFileMode(QFileDialog::AnyFile);
    if (!NameFilters.isEmpty()) {
        D.setNameFilters(NameFilters);
        const int Index = qBound(1, Request.FilterIndex, int(NameFilters.size()));
        D.selectNameFilter(NameFilters[Index - 1]);
    }
    QString Dir = Request.InitialDir;
    if (!Request.FileName.isEmpty()) {
        const QFileInfo Info(Request.FileName);
        if (Info.isAbsolute())
            Dir = Info.absolutePath();
        D.selectFile(Info.fileName());
    }
    if (!Dir.isEmpty())
        D.setDirectory(Dir);

    if (D.exec() != QDialog::Accepted)
        return false;
    Request.Files = D.selectedFiles();
    // With the details hidden the dialog reports the filter without its pattern part.
    const QString Selected = D.selectedNameFilter();
    for (qsizetype I = 0; I < NameFilters.size(); ++I)
        if (NameFilters[I] == Selected || NameFilters[I].left(NameFilters[I].lastIndexOf(QStringLiteral(" ("))) == Selected) {
            Request.FilterIndex = int(I + 1);
            break;
        }
    return !Request.Files.isEmpty();
}

QString TQtPrompts::BrowseForFolder(QWidget *Owner, const QString &Title)
{
    return QFileDialog::getExistingDirectory(Owner, Title, QString(),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

bool TQtPrompts::FontDialog(QWidget *Owner, QFont &Font)
{
    bool Ok = false;
    const QFont Chosen = QFontDialog::getFont(&Ok, Font, Owner, QStringLiteral("字体"), QFontDialog::DontUseNativeDialog);
    if (Ok)
        Font = Chosen;
    return Ok;
}
