#include "PdfTestSupport.h"

#include "TestSupport.h"
#include "pdf/PdfDoc.h"

#include "platform/core/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator statistic (its header does not come with every compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#else
#include <malloc.h>
#endif

namespace PdfTest {

qint64 HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 M = mallinfo2();
    return qint64(M.uordblks + M.hblkhd);
#endif
}

int ScratchHandles()
{
    const QString Folder = QDir(ScratchFolder()).canonicalPath() + QLatin1Char('/');
    int Count = 0;
    const QDir Fds(QStringLiteral("/proc/self/fd"));
    for (const QString &Fd : Fds.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        char Target[4096];
        const ssize_t N = ::readlink(QFile::encodeName(Fds.filePath(Fd)).constData(), Target, sizeof Target - 1);
        if (N > 0 && QFile::decodeName(QByteArray(Target, N)).startsWith(Folder))
            ++Count;
    }
    return Count;
}

QStringList ScratchNames()
{
    return QDir(ScratchFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray SaveToBytes(TPdfDoc &Doc)
{
    TMemoryStream S;
    Doc.SaveToStream(&S);
    return S.Bytes();
}

QByteArray WithoutModDate(QByteArray Pdf)
{
    const qsizetype At = Pdf.indexOf("/ModDate (D:");
    if (At >= 0)
        Pdf.replace(At + 12, 14, QByteArray(14, '0'));
    return Pdf;
}

void WriteFile(const QString &FileName, const QByteArray &Bytes)
{
    TestSupport::WriteAll(FileName, Bytes);
}

QString CheckLayout(const QByteArray &Pdf)
{
    if (!Pdf.startsWith("%PDF-1.2 \r\n"))
        return QStringLiteral("bad header");
    if (!Pdf.endsWith("%%EOF\r\n"))
        return QStringLiteral("bad end");
    const qsizetype StartXref = Pdf.lastIndexOf("startxref\r\n");
    if (StartXref < 0)
        return QStringLiteral("no startxref");
    const qsizetype LineEnd = Pdf.indexOf("\r\n", StartXref + 11);
    const qint64 XrefPos = Pdf.mid(StartXref + 11, LineEnd - StartXref - 11).toLongLong();
    if (Pdf.mid(XrefPos, 6) != "xref\r\n")
        return QStringLiteral("startxref does not point at xref");
    const qsizetype CountEnd = Pdf.indexOf("\r\n", XrefPos + 6);
    const QByteArray Section = Pdf.mid(XrefPos + 6, CountEnd - XrefPos - 6);
    if (!Section.startsWith("0 "))
        return QStringLiteral("bad subsection");
    const int Count = Section.mid(2).toInt();
    const qsizetype First = CountEnd + 2;
    if (Pdf.mid(First, 20) != "0000000000 65535 f\r\n")
        return QStringLiteral("entry 0 is not free with generation 65535");
    static const QRegularExpression Entry(QStringLiteral("^\\d{10} \\d{5} n\\r\\n$"));
    for (int I = 1; I < Count; ++I) {
        const QByteArray Line = Pdf.mid(First + 20 * I, 20);
        if (!Entry.match(QString::fromLatin1(Line)).hasMatch())
            return QStringLiteral("entry %1 malformed").arg(I);
        const qint64 Offset = Line.left(10).toLongLong();
        const QByteArray Head = QByteArray::number(I) + " 0 obj\r\n";
        if (Pdf.mid(Offset, Head.size()) != Head)
            return QStringLiteral("entry %1 does not point at its object").arg(I);
    }
    if (Pdf.mid(First + 20 * Count, 9) != "trailer\r\n")
        return QStringLiteral("no trailer after the xref");
    const QByteArray Trailer = Pdf.mid(First + 20 * Count);
    if (!Trailer.contains("/Size " + QByteArray::number(Count) + "\r\n"))
        return QStringLiteral("trailer Size wrong");
    return QString();
}

QByteArray ObjectText(const QByteArray &Pdf, int Number)
{
    const QByteArray Head = "\r\n" + QByteArray::number(Number) + " 0 obj\r\n";
    const qsizetype Start = Pdf.indexOf(Head);
    if (Start < 0)
        return QByteArray();
    const qsizetype End = Pdf.indexOf("endobj\r\n", Start);
    return Pdf.mid(Start + 2, End + 8 - Start - 2);
}

bool HavePeer(const QString &Program)
{
    return TestSupport::HaveProgram(Program);
}

int RunPeer(const QString &Program, const QStringList &Args, QByteArray *Output)
{
    return TestSupport::RunProgram(Program, Args, Output);
}

QMap<QString, QString> PdfInfo(const QString &FileName)
{
    QByteArray Out;
    QMap<QString, QString> Result;
    if (RunPeer(QStringLiteral("pdfinfo"), {FileName}, &Out) != 0)
        return Result;
    for (const QByteArray &Line : Out.split('\n')) {
        const qsizetype Colon = Line.indexOf(':');
        if (Colon > 0)
            Result.insert(QString::fromUtf8(Line.left(Colon)), QString::fromUtf8(Line.mid(Colon + 1)).trimmed());
    }
    return Result;
}

} // namespace PdfTest

#include <QDir>
#include <QFile>
#include <cstdio>
#include <jpeglib.h>
#include <stdexcept>
#include <vector>

namespace PdfTest {

void WriteJpeg(const QString &FileName, int Width, int Height, int Components,
               const std::function<int(int X, int Y, int C)> &Pixel, int Quality)
{
    FILE *Out = std::fopen(QFile::encodeName(FileName).constData(), "wb");
    if (!Out)
        throw std::runtime_error("cannot write test JPEG");
    jpeg_compress_struct Info;
    jpeg_error_mgr Err;
    Info.err = jpeg_std_error(&Err);
    jpeg_create_compress(&Info);
    jpeg_stdio_dest(&Info, Out);
    Info.image_width = JDIMENSION(Width);
    Info.image_height = JDIMENSION(Height);
    Info.input_components = Components;
    Info.in_color_space = Components == 1 ? JCS_GRAYSCALE : Components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&Info);
    jpeg_set_quality(&Info, Quality, TRUE);
    jpeg_start_compress(&Info, TRUE);
    std::vector<JSAMPLE> Row(size_t(Width) * size_t(Components));
    for (int Y = 0; Y < Height; ++Y) {
        for (int X = 0; X < Width; ++X)
            for (int C = 0; C < Components; ++C)
                Row[size_t(X * Components + C)] = JSAMPLE(Pixel(X, Y, C));
        JSAMPROW Rows[1] = {Row.data()};
        jpeg_write_scanlines(&Info, Rows, 1);
    }
    jpeg_finish_compress(&Info);
    jpeg_destroy_compress(&Info);
    std::fclose(Out);
}

bool Rendered::Near(int X, int Y, int Red, int Green, int Blue, int Tolerance) const
{
    if (X < 0 || Y < 0 || X >= Width || Y >= Height)
        return false;
    return std::abs(R(X, Y) - Red) <= Tolerance && std::abs(G(X, Y) - Green) <= Tolerance
        && std::abs(B(X, Y) - Blue) <= Tolerance;
}

Rendered RenderPage(const QString &PdfFile, int Page)
{
    Rendered Result;
    const QString Prefix = PdfFile + QStringLiteral(".render");
    const QString Num = QString::number(Page);
    QByteArray Out;
    if (RunPeer(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-f"), Num,
                                             QStringLiteral("-l"), Num, QStringLiteral("-singlefile"), PdfFile, Prefix},
                &Out) != 0)
        return Result;
    const QByteArray Ppm = TestSupport::ReadAll(Prefix + QStringLiteral(".ppm"));
    // P6 <w> <h> <max> then the bytes.
    QList<QByteArray> Fields;
    qsizetype Pos = 0;
    while (Fields.size() < 4 && Pos < Ppm.size()) {
        while (Pos < Ppm.size() && QChar(Ppm[Pos]).isSpace())
            ++Pos;
        qsizetype Start = Pos;
        while (Pos < Ppm.size() && !QChar(Ppm[Pos]).isSpace())
            ++Pos;
        Fields.append(Ppm.mid(Start, Pos - Start));
    }
    if (Fields.size() < 4 || Fields[0] != "P6")
        return Result;
    Result.Width = Fields[1].toInt();
    Result.Height = Fields[2].toInt();
    Result.Rgb = Ppm.mid(Pos + 1);
    if (Result.Rgb.size() < qsizetype(Result.Width) * Result.Height * 3)
        Result.Width = 0;
    return Result;
}

} // namespace PdfTest
