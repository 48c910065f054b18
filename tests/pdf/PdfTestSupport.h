#pragma once
// Checks of written PDF files: our own reading of the cross-reference table and
// the peer tools (qpdf, pdfinfo, pdffonts, pdfimages, pdftoppm).

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>

class TPdfDoc;

namespace PdfTest {

QByteArray SaveToBytes(TPdfDoc &Doc);
void WriteFile(const QString &FileName, const QByteArray &Bytes);

// Checks header, xref entries (20 bytes each, every offset at the first digit
// of its "n 0 obj" line), trailer and startxref. Returns "" or a description of the fault.
QString CheckLayout(const QByteArray &Pdf);

// The file with the 14 digits of its "ModDate" as zeros, so that two writings
// of one document compare equal.
QByteArray WithoutModDate(QByteArray Pdf);

// The bytes of object Number (from "n 0 obj" to "endobj"), found through the xref.
QByteArray ObjectText(const QByteArray &Pdf, int Number);

// Bytes the allocator holds for live allocations now (the sanitizer's count
// under AddressSanitizer, whose freed memory waits in quarantine).
qint64 HeapInUse();
// Open files of this process that lie in the program's scratch folder (the
// document's scratch file has no name there, but its handle says where it lies).
int ScratchHandles();
// The names in the program's scratch folder.
QStringList ScratchNames();

// Runs a peer tool; skips the calling test when it is missing.
bool HavePeer(const QString &Program);
int RunPeer(const QString &Program, const QStringList &Args, QByteArray *Output = nullptr);
// "key: value" lines of pdfinfo.
QMap<QString, QString> PdfInfo(const QString &FileName);

} // namespace PdfTest

namespace PdfTest {

// Writes a JPEG file with libjpeg: Components 1 (grey), 3 (RGB) or 4 (CMYK,
// with the Adobe marker libjpeg adds). Pixel(x, y, c) gives component c.
void WriteJpeg(const QString &FileName, int Width, int Height, int Components,
               const std::function<int(int X, int Y, int C)> &Pixel, int Quality = 95);

// A page rendered by pdftoppm as RGB pixels.
struct Rendered {
    int Width = 0;
    int Height = 0;
    QByteArray Rgb;
    bool Valid() const { return Width > 0; }
    int R(int X, int Y) const { return static_cast<unsigned char>(Rgb[(qsizetype(Y) * Width + X) * 3]); }
    int G(int X, int Y) const { return static_cast<unsigned char>(Rgb[(qsizetype(Y) * Width + X) * 3 + 1]); }
    int B(int X, int Y) const { return static_cast<unsigned char>(Rgb[(qsizetype(Y) * Width + X) * 3 + 2]); }
    // True when the pixel is within Tolerance of (R, G, B) in every channel.
    bool Near(int X, int Y, int Red, int Green, int Blue, int Tolerance = 24) const;
};
// Renders page Page at 72 dpi, so a pixel is a PDF unit.
Rendered RenderPage(const QString &PdfFile, int Page);

} // namespace PdfTest
