#pragma once
// Internal to the grid: reads one worksheet of an .xls workbook (BIFF8, and
// BIFF5/BIFF7 with the 8-bit strings of its code page) from the bytes of the
// whole file into cell texts, the way WorkbookReader hands them to the grid.
//
// Only the workbook globals and the one sheet asked for are read; a number
// becomes a date text only when its cell format shows a date, decided once
// per format. Nothing the file says is trusted: every record is read through
// a view bounded by its length, counts are capped by the bytes that could
// hold them, and damage of any kind gives rrDamaged, never part of a sheet.

#include "grid/detail/WorkbookReader.h"

namespace XlsReader {

// Whether the bytes start like an .xls file (a compound file).
bool IsXlsFile(const uchar *Data, qsizetype Size);

// The sheet named SheetName, or without a name the workbook's active
// worksheet (the first worksheet when the active tab is not one).
WorkbookReader::TReadResult ReadSheet(const uchar *Data, qsizetype Size, const QString &SheetName,
                                      WorkbookReader::TSheet &Sheet);

} // namespace XlsReader
