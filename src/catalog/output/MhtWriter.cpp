#include "MhtWriter.h"

#include "platform/core/Classes.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QCursor>
#include <QDir>
#include <QSaveFile>
#include <cerrno>
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

QString TMhtWriter::EncodeLocation(const QString &RelativePath)
{
    // The bytes an address path keeps as they are; everything else (controls,
    // blanks, quotes, "#", "<", ">", "?", "`", "{", "}", "%" and every
    // non-ASCII byte) is escaped.
    static const QByteArray Hex = "0123456789ABCDEF";
    QString Out;
    const QByteArray Bytes = QString(RelativePath).replace(QLatin1Char('\\'), QLatin1Char('/')).toUtf8();
    for (const char Ch : Bytes) {
        const uchar C = uchar(Ch);
        const bool Plain = C > 0x20 && C < 0x7F && !QByteArray("\"#<>?`{}%").contains(char(C));
        if (Plain) {
            Out += QLatin1Char(char(C));
        } else {
            Out += QLatin1Char('%');
            Out += QLatin1Char(Hex.at(C >> 4));
            Out += QLatin1Char(Hex.at(C & 15));
        }
    }
    return Out;
}

namespace {

// Writes the message line by line into a file beside the target; Commit puts it
// in place, anything else leaves the target as it was.
class TMessageFile {
public:
    explicit TMessageFile(const QString &Target) : FFile(NativePath(Target))
    {
        if (!FFile.open(QIODevice::WriteOnly))
            throw EFCreateError(CannotCreateFileText(Target, errno));
    }
    void Line(const QString &Text) { Bytes(Cp936::Encode(Text)); }
    void Bytes(const QByteArray &B)
    {
        if (FFile.write(B) != B.size() || FFile.write("\r\n", 2) != 2)
            throw EWriteError(QStringLiteral("写入文件“%1”时出错，磁盘可能已满。").arg(FFile.fileName()));
    }
    void Commit()
    {
        if (!FFile.commit())
            throw EFCreateError(CannotCreateFileText(FFile.fileName(), errno));
    }

private:
    QSaveFile FFile;
};

} // namespace

void TMhtWriter::Write(const QString &HtmlPath, const QStringList &Files, QString &ResultPath, const QString &MhtPath)
{
    TBusyCursor Cursor;
    auto CheckCancel = [this] {
        if (Cancelled && Cancelled())
            Abort();
    };
    const QString Delimiter = QStringLiteral("--") + Boundary;
    const QString Target = MhtPath.isEmpty() ? HtmlPath + QStringLiteral(".mht") : MhtPath;
    const QString Html = LoadLines(HtmlPath).join(QStringLiteral("\r\n"));

    QStringList Present;
    for (const QString &F : Files) {
        if (QFileInfo(F).isFile())
            Present << F;
    }

    TMessageFile Out(Target);
    for (const QString &L : {QStringLiteral("From: <由 Catalog Quillbook 2007 保存>"),
                             QStringLiteral("Subject: =?gb2312?B?") + EncodeBase64Text(PageId) + QStringLiteral("?="),
                             QStringLiteral("Date: Sun, 15 Apr 2007 18:30:10 +0800"), QStringLiteral("MIME-Version: 1.0"),
                             QStringLiteral("Content-Type: multipart/related;"), QStringLiteral("\ttype=\"text/html\";"),
                             QStringLiteral("\tboundary=\"") + Boundary + QLatin1Char('"'),
                             QStringLiteral("X-MimeOLE: Produced By Quillbook 2007"), QString(),
                             QStringLiteral("This is a multi-part message in MIME format."), QString(), Delimiter,
                             QStringLiteral("Content-Type: text/html;"),
                             Chinese ? QStringLiteral("\tcharset=\"gb2312\"") : QStringLiteral("\tcharset=\"iso-8859-1\""),
                             QStringLiteral("Content-Transfer-Encoding: Base64"), QStringLiteral("Content-Location: ") + BaseUrl,
                             QString()})
        Out.Line(L);
    Out.Bytes(Cp936::Encode(Html).toBase64());

    const int Count = int(Present.size());
    const QDir Root(FilesRoot);
    for (int I = 0; I < Count; ++I) {
        CheckCancel();
        const QString &F = Present.at(I);
        if (OnProgress)
            OnProgress(QStringLiteral("总计文件 %1 个，当前正在处理第 %2 个。").arg(Count).arg(I + 1),
                       50 + 50 * (I + 1) / Count);
        QFile In(F);
        if (!In.open(QIODevice::ReadOnly))
            throw EFOpenError(CannotOpenFileText(F, errno));
        Out.Line(QString());
        Out.Line(Delimiter);
        const QString Ext = QFileInfo(F).suffix().toUpper();
        if (Ext == QStringLiteral("JPG"))
            Out.Line(QStringLiteral("Content-Type: image/jpeg"));
        else if (Ext == QStringLiteral("HTM"))
            Out.Line(QStringLiteral("Content-Type: text/html;"));
        else if (Ext == QStringLiteral("GIF"))
            Out.Line(QStringLiteral("Content-Type: image/gif"));
        Out.Line(QStringLiteral("Content-Transfer-Encoding: base64"));
        const QString Name = FilesRoot.isEmpty() ? QFileInfo(F).fileName() : Root.relativeFilePath(F);
        Out.Line(QStringLiteral("Content-Location: ") + BaseUrl + (MhtPath.isEmpty() ? QStringLiteral("images/") : QString())
                 + EncodeLocation(Name));
        Out.Line(QString());
        // 57 bytes make one line of 76 characters; a chunk is many whole lines.
        constexpr qint64 Chunk = 57 * 4096;
        bool Any = false;
        for (;;) {
            const QByteArray Part = In.read(Chunk);
            if (Part.isEmpty()) {
                if (In.error() != QFileDevice::NoError)
                    throw EReadError(CannotOpenFileText(F));
                break;
            }
            const QByteArray B = Part.toBase64();
            for (qsizetype P = 0; P < B.size(); P += 76)
                Out.Bytes(B.mid(P, 76));
            Any = true;
            CheckCancel();
        }
        if (!Any)
            Out.Line(QString());
        Out.Line(QString());
    }
    Out.Line(Delimiter + QStringLiteral("--"));
    Out.Commit();
    ResultPath = MhtPath.isEmpty() ? Target + QLatin1Char(' ') : Target;
}
