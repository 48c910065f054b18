#include "MhtWriter.h"

#include "platform/core/Classes.h"
#include "platform/core/Codec.h"
#include "platform/core/FileUtils.h"
#include "platform/core/OutputFiles.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QCursor>
#include <QDir>
#include <cerrno>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QGuiApplication>

#include <algorithm>

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

// True when every character of Bytes (code page 936) is one of GB2312, the
// set a reader decodes under that label: ASCII, the symbol rows as far as
// they are filled, and the two levels of characters.
bool AllGb2312(const QByteArray &Bytes)
{
    struct TRow {
        uchar Lead, From, To;
    };
    static constexpr TRow Symbols[] = {
        {0xA1, 0xA1, 0xFE}, {0xA2, 0xB1, 0xE2}, {0xA2, 0xE5, 0xEE}, {0xA2, 0xF1, 0xFC}, {0xA3, 0xA1, 0xFE},
        {0xA4, 0xA1, 0xF3}, {0xA5, 0xA1, 0xF6}, {0xA6, 0xA1, 0xB8}, {0xA6, 0xC1, 0xD8}, {0xA7, 0xA1, 0xC1},
        {0xA7, 0xD1, 0xF1}, {0xA8, 0xA1, 0xBA}, {0xA8, 0xC5, 0xE9}, {0xA9, 0xA4, 0xEF},
    };
    for (qsizetype I = 0; I < Bytes.size(); ++I) {
        const uchar Lead = uchar(Bytes.at(I));
        if (Lead < 0x80)
            continue;
        if (++I >= Bytes.size())
            return false;
        const uchar Trail = uchar(Bytes.at(I));
        if (Lead >= 0xB0 && Lead <= 0xF7) {
            if (Trail < 0xA1 || Trail > (Lead == 0xD7 ? 0xF9 : 0xFE))
                return false;
        } else if (std::none_of(std::begin(Symbols), std::end(Symbols),
                                [&](const TRow &R) { return R.Lead == Lead && Trail >= R.From && Trail <= R.To; })) {
            return false;
        }
    }
    return true;
}

} // namespace

QString TMhtWriter::EncodeBase64Text(const QString &S)
{
    return QString::fromLatin1(Cp936::Encode(S).toBase64());
}

QString TMhtWriter::SubjectHeader(const QString &Text)
{
    // A header line holds at most 76 characters: 45 bytes make 60 base64
    // characters, and a tab, "=?gb18030?B?", 60 and "?=" are 75; the first
    // line, after "Subject: ", takes 36 bytes (71).
    constexpr qsizetype FirstWordBytes = 36, WordBytes = 45;
    QStringList Words;
    auto Word = [&Words](const QString &Piece) {
        // Code page 936 goes beyond GB2312 (traditional and rarer characters),
        // and readers decode a gb2312 word strictly: a word with any
        // character GB2312 lacks is labelled gb18030, which holds every byte
        // sequence Encode writes.
        const QByteArray Bytes = Cp936::Encode(Piece);
        const QString Charset = AllGb2312(Bytes) ? QStringLiteral("gb2312") : QStringLiteral("gb18030");
        Words << QStringLiteral("=?") + Charset + QStringLiteral("?B?") + QString::fromLatin1(Bytes.toBase64()) + QStringLiteral("?=");
    };
    QString Piece;
    qsizetype PieceBytes = 0;
    for (qsizetype I = 0; I < Text.size();) {
        // A character outside the basic plane is two code units; never split.
        const qsizetype Units = Text.at(I).isHighSurrogate() && I + 1 < Text.size() && Text.at(I + 1).isLowSurrogate() ? 2 : 1;
        const QString C = Text.mid(I, Units);
        const qsizetype Bytes = Cp936::EncodedLength(C);
        if (!Piece.isEmpty() && PieceBytes + Bytes > (Words.isEmpty() ? FirstWordBytes : WordBytes)) {
            Word(Piece);
            Piece.clear();
            PieceBytes = 0;
        }
        Piece += C;
        PieceBytes += Bytes;
        I += Units;
    }
    if (!Piece.isEmpty() || Words.isEmpty())
        Word(Piece);
    return QStringLiteral("Subject: ") + Words.join(QStringLiteral("\r\n\t"));
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
    // A backslash is a character of the file's name here, escaped as the
    // page's address escapes it.
    const QByteArray Bytes = RelativePath.toUtf8();
    for (const char Ch : Bytes) {
        const uchar C = uchar(Ch);
        const bool Plain = C > 0x20 && C < 0x7F && !QByteArray("\"#<>?`{}%\\").contains(char(C));
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

QString TMhtWriter::ContentType(const QString &Name, const QByteArray &Head)
{
    // A part without its type is read as text by mail readers and browsers:
    // every part names one, by the file's extension, else by its first bytes.
    static const QHash<QString, QString> ByExtension{
        {QStringLiteral("JPG"), QStringLiteral("image/jpeg")},   {QStringLiteral("JPEG"), QStringLiteral("image/jpeg")},
        {QStringLiteral("JPE"), QStringLiteral("image/jpeg")},   {QStringLiteral("JFIF"), QStringLiteral("image/jpeg")},
        {QStringLiteral("GIF"), QStringLiteral("image/gif")},    {QStringLiteral("PNG"), QStringLiteral("image/png")},
        {QStringLiteral("BMP"), QStringLiteral("image/bmp")},    {QStringLiteral("DIB"), QStringLiteral("image/bmp")},
        {QStringLiteral("ICO"), QStringLiteral("image/x-icon")}, {QStringLiteral("TIF"), QStringLiteral("image/tiff")},
        {QStringLiteral("TIFF"), QStringLiteral("image/tiff")},  {QStringLiteral("WEBP"), QStringLiteral("image/webp")},
        {QStringLiteral("SVG"), QStringLiteral("image/svg+xml")},
        // The page's own kind keeps the form it always had.
        {QStringLiteral("HTM"), QStringLiteral("text/html;")},   {QStringLiteral("HTML"), QStringLiteral("text/html;")},
        {QStringLiteral("CSS"), QStringLiteral("text/css")},     {QStringLiteral("JS"), QStringLiteral("application/javascript")},
        {QStringLiteral("TXT"), QStringLiteral("text/plain")},   {QStringLiteral("MP3"), QStringLiteral("audio/mpeg")},
        {QStringLiteral("WAV"), QStringLiteral("audio/wav")},    {QStringLiteral("MID"), QStringLiteral("audio/midi")},
        {QStringLiteral("MIDI"), QStringLiteral("audio/midi")},  {QStringLiteral("WMA"), QStringLiteral("audio/x-ms-wma")},
        {QStringLiteral("SWF"), QStringLiteral("application/x-shockwave-flash")},
    };
    const qsizetype Dot = Name.lastIndexOf(QLatin1Char('.'));
    const qsizetype Slash = Name.lastIndexOf(QLatin1Char('/'));
    if (Dot > Slash + 1) {
        const auto It = ByExtension.constFind(Name.mid(Dot + 1).toUpper());
        if (It != ByExtension.constEnd())
            return It.value();
    }
    if (Head.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("image/jpeg");
    if (Head.startsWith("\x89PNG\r\n\x1A\n"))
        return QStringLiteral("image/png");
    if (Head.startsWith("GIF87a") || Head.startsWith("GIF89a"))
        return QStringLiteral("image/gif");
    if (Head.startsWith("BM"))
        return QStringLiteral("image/bmp");
    return QStringLiteral("application/octet-stream");
}

namespace {

// Writes the message into a new file beside the target in large pieces; Commit
// syncs it and puts it in place, anything else leaves the target as it was.
class TMessageFile {
public:
    explicit TMessageFile(const QString &Target) : FTarget(NativePath(Target)), FFile(FFiles.Create(FTarget))
    {
        if (!FFile.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw EFCreateError(CannotCreateFileText(Target, errno));
        FBuffer.reserve(Capacity + 4096);
    }
    void Line(const QString &Text) { Bytes(Cp936::Encode(Text)); }
    void Bytes(const QByteArray &B)
    {
        Raw(B.constData(), B.size());
        Raw("\r\n", 2);
    }
    // Base64 of Data in lines of 76 characters, each ended by CR LF. Data is
    // a whole number of 57-byte lines, or the last piece of the part.
    void Base64Lines(const QByteArray &Data)
    {
        static const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const auto *P = reinterpret_cast<const uchar *>(Data.constData());
        qsizetype Left = Data.size();
        char Line[80];
        while (Left > 0) {
            const qsizetype Take = std::min<qsizetype>(Left, 57);
            int N = 0;
            qsizetype I = 0;
            for (; I + 3 <= Take; I += 3) {
                const quint32 V = (quint32(P[I]) << 16) | (quint32(P[I + 1]) << 8) | P[I + 2];
                Line[N++] = Alphabet[V >> 18];
                Line[N++] = Alphabet[(V >> 12) & 63];
                Line[N++] = Alphabet[(V >> 6) & 63];
                Line[N++] = Alphabet[V & 63];
            }
            if (I < Take) {
                const bool Two = I + 1 < Take;
                const quint32 V = (quint32(P[I]) << 16) | (Two ? quint32(P[I + 1]) << 8 : 0);
                Line[N++] = Alphabet[V >> 18];
                Line[N++] = Alphabet[(V >> 12) & 63];
                Line[N++] = Two ? Alphabet[(V >> 6) & 63] : '=';
                Line[N++] = '=';
            }
            Line[N++] = '\r';
            Line[N++] = '\n';
            Raw(Line, N);
            P += Take;
            Left -= Take;
        }
    }
    void Commit()
    {
        Flush();
        FFile.close();
        FFiles.Commit();
    }

private:
    static constexpr qsizetype Capacity = 1 << 20;
    void Raw(const char *Data, qsizetype Size)
    {
        FBuffer.append(Data, Size);
        if (FBuffer.size() >= Capacity)
            Flush();
    }
    void Flush()
    {
        if (!FBuffer.isEmpty() && FFile.write(FBuffer) != FBuffer.size())
            throw EWriteError(QStringLiteral("写入文件“%1”时出错，磁盘可能已满。").arg(FTarget));
        FBuffer.clear();
    }
    QString FTarget;
    TOutputFiles FFiles;
    QFile FFile;
    QByteArray FBuffer;
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
    const QString Target = !MhtPath.isEmpty()     ? MhtPath
                           : !MessagePath.isEmpty() ? MessagePath
                                                    : HtmlPath + QStringLiteral(".mht");
    const QString Html = LoadLines(HtmlPath).join(QStringLiteral("\r\n"));

    QStringList Present, PresentNames;
    for (qsizetype I = 0; I < Files.size(); ++I) {
        if (QFileInfo(Files.at(I)).isFile()) {
            Present << Files.at(I);
            PresentNames << (I < Names.size() ? Names.at(I) : QString());
        }
    }

    TMessageFile Out(Target);
    for (const QString &L : {QStringLiteral("From: <由 Catalog Quillbook 2007 保存>"),
                             SubjectHeader(PageId),
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
        if (!In.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            throw EFOpenError(CannotOpenFileText(F, errno));
        const QString Name = !PresentNames.at(I).isEmpty() ? PresentNames.at(I)
            : FilesRoot.isEmpty()                  ? QFileInfo(F).fileName()
                                                   : Root.relativeFilePath(F);
        Out.Line(QString());
        Out.Line(Delimiter);
        Out.Line(QStringLiteral("Content-Type: ") + ContentType(Name, In.peek(16)));
        Out.Line(QStringLiteral("Content-Transfer-Encoding: base64"));
        Out.Line(QStringLiteral("Content-Location: ") + BaseUrl + (MhtPath.isEmpty() ? QStringLiteral("images/") : QString())
                 + EncodeLocation(Name));
        Out.Line(QString());
        // 57 bytes make one line of 76 characters; a chunk is many whole lines.
        constexpr qint64 Chunk = 57 * 4096;
        bool Any = false;
        QByteArray Pending;   // bytes short of a whole line, kept for the next read
        for (;;) {
            QByteArray Part = In.read(Chunk);
            if (Part.isEmpty()) {
                if (In.error() != QFileDevice::NoError)
                    throw EReadError(CannotOpenFileText(F));
                if (!Pending.isEmpty())
                    Out.Base64Lines(Pending);
                break;
            }
            if (!Pending.isEmpty())
                Part.prepend(Pending);
            const qsizetype Whole = Part.size() / 57 * 57;
            Pending = Part.mid(Whole);
            Part.truncate(Whole);
            Out.Base64Lines(Part);
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
