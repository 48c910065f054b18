#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

static QClipboard *Board()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

QString ClipboardText()
{
    QClipboard *C = Board();
    return C ? C->text() : QString();
}

void SetClipboardText(const QString &Text)
{
    if (QClipboard *C = Board())
        C->setText(Text);
}

bool ClipboardHasText()
{
    QClipboard *C = Board();
    return C && C->mimeData() && C->mimeData()->hasText();
}

QString ClipboardHtml()
{
    QClipboard *C = Board();
    return C ? DroppedHtml(C->mimeData()) : QString();
}

bool ClipboardHasHtml()
{
    QClipboard *C = Board();
    return C && C->mimeData() && C->mimeData()->hasHtml();
}

void SetClipboardHtml(const QString &Html, const QString &Text)
{
    QClipboard *C = Board();
    if (!C)
        return;
    auto *Data = new QMimeData;
    Data->setHtml(Html);
    Data->setText(Text);
    C->setMimeData(Data);
}

QStringList DroppedFiles(const QMimeData *Data)
{
    QStringList Files;
    if (!Data || !Data->hasUrls())
        return Files;
    for (const QUrl &U : Data->urls())
        if (U.isLocalFile() && !U.toLocalFile().isEmpty())
            Files << U.toLocalFile();
    return Files;
}

bool HasDroppedFiles(const QMimeData *Data)
{
    return !DroppedFiles(Data).isEmpty();
}

QMimeData *MakeFileMimeData(const QStringList &Files)
{
    auto *Data = new QMimeData;
    QList<QUrl> Urls;
    for (const QString &F : Files)
        Urls << QUrl::fromLocalFile(F);
    Data->setUrls(Urls);
    return Data;
}

QString DroppedText(const QMimeData *Data)
{
    return Data && Data->hasText() ? Data->text() : QString();
}

QString DroppedHtml(const QMimeData *Data)
{
    return Data && Data->hasHtml() ? Data->html() : QString();
}
