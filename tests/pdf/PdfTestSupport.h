#pragma once
// Checks of written PDF files: our own reading of the cross-reference table and
// the peer tools (qpdf, pdfinfo, pdffonts, pdfimages, pdftoppm).

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

class TPdfDoc;

namespace PdfTest {

QByteArray SaveToBytes(TPdfDoc &Doc);
void WriteFile(const QString &FileName, const QByteArray &Bytes);

// Checks header, xref entries (20 bytes each, every offset at the first digit
// of its "n 0 obj" line), trailer and startxref. Returns "" or a description of the fault.
QString CheckLayout(const QByteArray &Pdf);

// The bytes of object Number (from "n 0 obj" to "endobj"), found through the xref.
QByteArray ObjectText(const QByteArray &Pdf, int Number);

// Runs a peer tool; skips the calling test when it is missing.
bool HavePeer(const QString &Program);
int RunPeer(const QString &Program, const QStringList &Args, QByteArray *Output = nullptr);
// "key: value" lines of pdfinfo.
QMap<QString, QString> PdfInfo(const QString &FileName);

} // namespace PdfTest
