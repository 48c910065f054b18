#include "CatalogUi.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace CatalogUi {

namespace {

TScript *GScript = nullptr;

// "text|mask|text|mask" into Qt's "text (mask mask)" filters.
QStringList QtFilters(const QString &Filter, int FilterIndex, QString &Selected)
{
    QStringList Result;
    const QStringList Parts = Filter.split(QLatin1Char('|'));
    for (int I = 0; I + 1 < Parts.size(); I += 2) {
        QString Masks = Parts.at(I + 1);
        Masks.replace(QLatin1Char(';'), QLatin1Char(' '));
        Result.append(QStringLiteral("%1 (%2)").arg(Parts.at(I), Masks.trimmed()));
        if (I / 2 + 1 == FilterIndex)
            Selected = Result.last();
    }
    return Result;
}

} // namespace

void SetScript(TScript *Script)
{
    GScript = Script;
}

TScript *Script()
{
    return GScript;
}

int MessageBox(QWidget *Owner, const QString &Text, const QString &Caption, unsigned Flags)
{
    if (GScript && GScript->MessageBox)
        return GScript->MessageBox(Text, Caption, Flags);
    QMessageBox Box(Owner);
    Box.setWindowTitle(Caption);
    Box.setText(Text);
    switch (Flags & 0xF0) {
    case MB_ICONERROR: Box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: Box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: Box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: Box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    switch (Flags & 0x0F) {
    case MB_OKCANCEL: Box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL: Box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MB_YESNO: Box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: Box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (Box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDCANCEL;
    }
}

bool FileDialog(QWidget *Owner, const TFileDialogRequest &Request, QString &FileName)
{
    if (GScript && GScript->FileDialog)
        return GScript->FileDialog(Request, FileName);
    QString Selected;
    const QStringList Filters = QtFilters(Request.Filter, Request.FilterIndex, Selected);
    QFileDialog Dialog(Owner);
    Dialog.setNameFilters(Filters);
    if (!Selected.isEmpty())
        Dialog.selectNameFilter(Selected);
    Dialog.setDirectory(Request.InitialDir);
    Dialog.setAcceptMode(Request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    Dialog.setFileMode(Request.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!Request.OverwritePrompt)
        Dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!Request.FileName.isEmpty())
        Dialog.selectFile(Request.FileName);
    if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
        return false;
    FileName = Dialog.selectedFiles().constFirst();
    return true;
}

QString BrowseForFolder(QWidget *Owner, const QString &Caption)
{
    if (GScript && GScript->BrowseForFolder)
        return GScript->BrowseForFolder(Caption);
    return QFileDialog::getExistingDirectory(Owner, Caption);
}

int ShowModal(QDialog *Dialog)
{
    if (GScript && GScript->ShowModal)
        return GScript->ShowModal(Dialog);
    return Dialog->exec();
}

void ShellOpen(const QString &Target)
{
    if (GScript && GScript->ShellOpen) {
        GScript->ShellOpen(Target);
        return;
    }
    const QUrl Url = QFileInfo::exists(Target) ? QUrl::fromLocalFile(Target) : QUrl(Target);
    QDesktopServices::openUrl(Url);
}

void RunAndWait(const QString &Program, const QStringList &Args)
{
    if (GScript && GScript->RunAndWait) {
        GScript->RunAndWait(Program, Args);
        return;
    }
    QProcess P;
    P.setWorkingDirectory(QFileInfo(Program).absolutePath());
    P.setProcessChannelMode(QProcess::ForwardedChannels);
    P.start(Program, Args);
    if (P.waitForStarted())
        P.waitForFinished(-1);
}

void ShowError(QWidget *Owner, const QString &Text)
{
    MessageBox(Owner, Text, QCoreApplication::applicationName(), MB_OK | MB_ICONERROR);
}

void ProcessMessages()
{
    QCoreApplication::processEvents();
}

void BeginWait()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndWait()
{
    if (qobject_cast<QApplication *>(QCoreApplication::instance()) && QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void Terminate()
{
    if (GScript && GScript->Terminate) {
        GScript->Terminate();
        return;
    }
    QCoreApplication::exit(0);
}

} // namespace CatalogUi
