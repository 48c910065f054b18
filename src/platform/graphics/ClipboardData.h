#pragma once
// The system clipboard for pictures: data by MIME type and the clipboard's
// image. Without a GUI application there is no clipboard: reads give nothing
// and writes fail.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

// The clipboard's data of the MIME type ("" when there is none).
QByteArray ClipboardFormatData(const QString &MimeType);
// The clipboard's image as the bytes of a BMP file ("" when there is none).
QByteArray ClipboardImageAsBMP();
// Replaces the clipboard's content with the formats and, when not null, the
// image; false when the clipboard refused them.
bool SetClipboardData(const QList<QPair<QString, QByteArray>> &Formats, const QImage &Image);
