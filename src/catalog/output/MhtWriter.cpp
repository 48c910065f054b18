#include "MhtWriter.h"

#include "platform/core/Classes.h"
#include "platform/core/FileUtils.h"
#include "platform/core/Codec.h"
#include "platform/core/Types.h"

#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

const QString TMhtWriter::Boundary = QStringLiteral("----=_NextPart_000_0000_01C77F8C.1961B050");
const QString TMhtWriter::BaseUrl = QStringLiteral("http://catalog.quillbook.invalid/");

namespace {

// The hourglass while the message is built, back whatever happens.
class TBusyCursor {
public:
    TBusyCursor()
    {
        if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            QGuiApplication::setOverrideCursor(Qt::WaitCursor), FSet = true;
    }
    ~TBusyCursor()
    {
        if (FSet)
            QGuiApplication::restoreOverrideCursor();
    }
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;

private:
    bool FSet = false;
};

} // namespace

QString TMhtWriter::EncodeBase64Text(const QString &S)
{
    return QString::fromLatin1(Cp936::Encode(S).toBase64());
}

QString TMhtWriter::EncodeBase64Lines(const QByteArray &Bytes)
{
    const QByteArray B = Bytes.toBase64();
    QString R;
    R.reserve(B.size() + B.size() / 38 + 2);
    for (qsizetype I = 0; I < B.size(); I += 76) {
        if (I > 0)
            R += QStringLiteral("\r\n");
        R += QString::fromLatin1(B.mid(I, 76));
    }
    return R;
}

void TMhtWriter::Write(const QString &HtmlPath, const QStringList &Files, QString &ResultPath, const QString &MhtPath)
{
    TBusyCursor Cursor;
    const QString Delimiter = QStringLiteral("--") + Boundary;
    QStringList L;
    L << QStringLiteral("From: <由 Catalog Quillbook 2007 保存>")
      << QStringLiteral("Subject: =?gb2312?B?") + EncodeBase64Text(PageId) + QStringLiteral("?=")
      << QStringLiteral("Date: Sun, 15 Apr 2007 18:30:10 +0800")
      << QStringLiteral("MIME-Version: 1.0")
      << QStringLiteral("Content-Type: multipart/related;")
      << QStringLiteral("\ttype=\"text/html\";")
      << QStringLiteral("\tboundary=\"") + Boundary + QLatin1Char('"')
      << QStringLiteral("X-MimeOLE: Produced By Quillbook 2007")
      << QString() << QStringLiteral("This is a multi-part message in MIME format.") << QString();

    L << Delimiter << QStringLiteral("Content-Type: text/html;")
      << (Chinese ? QStringLiteral("\tcharset=\"gb2312\"") : QStringLiteral("\tcharset=\"iso-8859-1\""))
      << QStringLiteral("Content-Transfer-Encoding: Base64") << QStringLiteral("Content-Location: ") + BaseUrl
      << QString() << EncodeBase64Text(LoadLines(HtmlPath).join(QStringLiteral("\r\n")));

    QStringList Present;
    for (const QString &F : Files) {
        if (QFileInfo(F).isFile())
            Present << F;
    }
    const int Count = int(Present.size());
    for (int I = 0; I < Count; ++I) {
        const QString &F = Present.at(I);
        if (OnProgress)
            OnProgress(QStringLiteral("总计文件 %1 个，当前正在处理第 %2 个。").arg(Count).arg(I + 1),
                       50 + 50 * (I + 1) / Count);
        QFile In(F);
        if (!In.open(QIODevice::ReadOnly))
            throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(F, In.errorString()));
        const QByteArray Bytes = In.readAll();
        L << QString() << Delimiter;
        const QString Ext = QFileInfo(F).suffix().toUpper();
        if (Ext == QStringLiteral("JPG"))
            L << QStringLiteral("Content-Type: image/jpeg");
        else if (Ext == QStringLiteral("HTM"))
            L << QStringLiteral("Content-Type: text/html;");
        else if (Ext == QStringLiteral("GIF"))
            L << QStringLiteral("Content-Type: image/gif");
        L << QStringLiteral("Content-Transfer-Encoding: base64");
        const QString Name = QFileInfo(F).fileName();
        L << QStringLiteral("Content-Location: ") + BaseUrl + (MhtPath.isEmpty() ? QStringLiteral("images/") : QString()) + Name;
        L << QString() << EncodeBase64Lines(Bytes) << QString();
    }
    L << Delimiter + QStringLiteral("--");

    const QString Target = MhtPath.isEmpty() ? HtmlPath + QStringLiteral(".mht") : MhtPath;
    SaveLines(Target, L);
    ResultPath = MhtPath.isEmpty() ? Target + QLatin1Char(' ') : Target;
}
