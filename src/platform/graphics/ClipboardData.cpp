#include "platform/graphics/ClipboardData.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

static QClipboard *Board()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

QByteArray ClipboardFormatData(const QString &MimeType)
{
    QClipboard *C = Board();
    const QMimeData *Data = C ? C->mimeData() : nullptr;
    return Data && Data->hasFormat(MimeType) ? Data->data(MimeType) : QByteArray();
}

QByteArray ClipboardImageAsBMP()
{
    QClipboard *C = Board();
    if (!C)
        return QByteArray();
    const QImage Image = C->image();
    if (Image.isNull())
        return QByteArray();
    QByteArray Bytes;
    QBuffer Buffer(&Bytes);
    Buffer.open(QIODevice::WriteOnly);
    Image.convertToFormat(QImage::Format_RGB32).save(&Buffer, "BMP");
    return Bytes;
}

bool SetClipboardData(const QList<QPair<QString, QByteArray>> &Formats, const QImage &Image)
{
    QClipboard *C = Board();
    if (!C)
        return false;
    auto *Data = new QMimeData;
    for (const auto &[Type, Bytes] : Formats)
        Data->setData(Type, Bytes);
    if (!Image.isNull())
        Data->setImageData(Image);
    C->setMimeData(Data);
    // The clipboard holds what it accepted.
    const QMimeData *Now = C->mimeData();
    if (!Now)
        return false;
    for (const auto &Format : Formats)
        if (!Now->hasFormat(Format.first))
            return false;
    return true;
}
