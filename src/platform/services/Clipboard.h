#pragma once
// Small adapters over the clipboard and drag-and-drop data: plain text, HTML and
// dropped files.

#include <QString>
#include <QStringList>

class QMimeData;

QString ClipboardText();
void SetClipboardText(const QString &Text);
bool ClipboardHasText();
// The HTML fragment on the clipboard ("" when there is none).
QString ClipboardHtml();
bool ClipboardHasHtml();
// Puts HTML with a plain-text alternative on the clipboard.
void SetClipboardHtml(const QString &Html, const QString &Text);

// Local files carried by dropped or pasted data, in their order (other URLs are left out).
QStringList DroppedFiles(const QMimeData *Data);
bool HasDroppedFiles(const QMimeData *Data);
// Data that carries the files as file URLs, for a drag or the clipboard (the caller owns it).
QMimeData *MakeFileMimeData(const QStringList &Files);
QString DroppedText(const QMimeData *Data);
QString DroppedHtml(const QMimeData *Data);
