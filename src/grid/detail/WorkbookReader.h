#pragma once
// Internal to the grid: reads one worksheet of a workbook file (.xls through
// XlsReader, .xlsx through our zip library) into a list of cell texts. Nothing
// the file claims about its size is trusted: the used block is what the cells
// read span, members are read only up to a fixed bound, and every index and
// cell reference is checked. Values become text as the grid shows them:
// numbers through FloatToStr, dates through DateToStr and TimeToStr, Booleans
// as True and False, errors as their code (#DIV/0!).

#include <QString>

#include <vector>

namespace WorkbookReader {

enum TReadResult {
    rrOk,
    rrNoReader,       // neither reader takes the file
    rrSheetNotFound,  // no sheet of the given name
    rrDamaged,        // unreadable or damaged
};

struct TCell {
    int Row = 0;   // 0-based sheet row and column
    int Col = 0;
    QString Text;  // never empty
};

struct TSheet {
    std::vector<TCell> Cells;
};

// Reads the sheet named SheetName, or without a name the sheet the workbook
// shows first (its active tab).
TReadResult ReadSheet(const QString &FileName, const QString &SheetName, TSheet &Sheet);

// Biggest member of an .xlsx workbook read (uncompressed bytes), and biggest
// .xls file read.
inline constexpr qint64 MaxMemberSize = qint64(256) << 20;
inline constexpr qint64 MaxXlsFileSize = qint64(512) << 20;

// The text of a number cell for both readers: a date (or time) when its format
// shows one and the number is a date of the workbook's date system (1900, or
// 1904 when Date1904), otherwise the number.
QString NumberCellText(double Value, bool DateFormat, bool Date1904);

} // namespace WorkbookReader
