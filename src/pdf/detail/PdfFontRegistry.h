#pragma once
// Internal to the PDF writer: the font classes by registered name, shared by
// the document (which creates fonts) and the font unit (which fills it).

#include "pdf/PdfDoc.h"

#include <QMap>

QMap<QByteArray, TPdfFontFactory> &PdfFontRegistry();
