#pragma once
// CompanyFiles: the seller's company files in the program folder: cols1.dat
// (Chinese), cols2.dat (English) and cols3.dat (custom "{name}=text" pairs).
// Each is a plain list of lines, one per row of the company dialog's grid; line
// 0 is the grid's column heading. No widgets: the dialogs and the outputs call
// these.

#include <QString>
#include <QStringList>

namespace CompanyFiles {

// Lines (grid rows) of a company file.
enum : int {
    lnHeading = 0,
    lnCompany = 1,
    lnContact = 2,
    lnMobile = 3,
    lnTelephone = 4,
    lnFax = 5,
    lnWeb = 6,
    lnMail = 7,
    lnAddress = 8,
    lnPostCode = 9,
    lnProjectFolder = 10,
    lnOutputFolder = 11,
    LineCount = 12,
};

// The labels of the dialog's column 0, line 0 ("类型") included.
const QStringList &RowLabels();
// The column headings of the three files ("中文内容", "英文内容", the custom one).
const QStringList &Headings();

// The file behind a column of the dialog: 1 cols1.dat, 2 cols2.dat, 3 cols3.dat,
// in the program folder.
QString FileName(int Column);
// cols1.dat for Chinese outputs, cols2.dat for English ones.
QString LanguageFile(bool English);

// The value a line of a company file holds, whole: a line of a label, "="
// and a value ("联系人=Wang") gives the value, any other line is the value
// itself. The text before the first "=" is a label only when it could not be
// the start of the value: an address ("http://shop.example/?id=3",
// "mailto:a@b?subject=x"), a folder or markup ("<font size=2>") stays whole.
QString LineValue(const QString &Line);

// Line k (0-based) of a company file, as LineValue reads it; a labelled value
// is cut to at most 240 characters. A missing file or line gives "".
QString ReadDatLine(const QString &FileName, int Line);

// The lines of a company file, or an empty list when the file does not exist.
QStringList LoadFile(const QString &FileName);

// Writes the cells of one grid column (row 0 first) as the file's first lines.
// A cell never takes more than its own line: line breaks typed into a cell
// become blanks. Lines the file holds beyond the cells are kept. The file is
// replaced only by a complete new one; failures raise the platform's file error.
void SaveFile(const QString &FileName, const QStringList &Cells);

} // namespace CompanyFiles
