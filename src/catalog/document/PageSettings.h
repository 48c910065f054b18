#pragma once
// PageSettings: what the page settings dialog edits: its grid rows with their
// page keys and defaults, the output types, and the defaults file of new pages
// (defaultset.txt). No widgets.

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace PageSettings {

// Rows of the settings grid (column 0 the label, column 1 the value).
enum : int {
    rowCatalogId = 1,
    rowCatalogName = 2,
    rowSalesman = 3,
    rowCustomerId = 4,
    rowCustomerName = 5,
    rowCustomerCompany = 6,
    rowDate = 7,
    rowCurrency = 8,
    rowUnit = 9,
    rowWeightUnit = 10,
    rowPictureWidth = 11,
    rowPictureHeight = 12,
    rowOutputFolder = 13,
    rowOutputType = 14,
    rowOrderMail = 15,
    rowRemark = 16,          // merged over rows 16 and 17
    rowPicturePercent = 18,
    GridRowCount = 19,
};

struct TSettingRow {
    int Row;
    QString Label;
    QString Key;             // the page key, braces included
};

// The value rows, top down (rows 1-16 and 18).
const QList<TSettingRow> &Rows();
// The label of a grid row ("" for row 0 and row 17).
QString RowLabel(int Row);

// Page keys the dialog sets apart from its grid rows.
extern const QString StyleKey;      // {输出风格}
extern const QString LanguageKey;   // {输出语言}
extern const QString Chinese;       // "中文"
extern const QString English;       // "英文"

// The drop-down list of row 14 and its default (the first item).
const QStringList &OutputTypes();
// The hint of row 14: three lines joined by CR LF.
QString OutputTypeHint();
// The hint of a grid row, "" when it has none.
QString RowHint(int Row);

// The default of the page ID: "CT" + the date without its first two "-" + "-".
QString DefaultCatalogId(const QString &Today);
// The defaults of the value rows as the dialog starts; rows 13 and 15 come from
// the company file of the language (Chinese unless English).
QMap<int, QString> DefaultRowValues(const QString &Today, bool English);

// The text of a currency when the output language changes: "$" and "￥" swap,
// every other sign stays.
QString CurrencyForLanguage(const QString &Currency, bool English);

// The defaults file of new pages in the program folder.
QString DefaultsFileName();
// Its lines: the page magic, then the nineteen header lines in page order with
// the values of Values (by key; a missing key gives an empty value). A value
// never takes more than its line.
QStringList DefaultsFileLines(const QMap<QString, QString> &Values);
void SaveDefaultsFile(const QMap<QString, QString> &Values);
// Removes the defaults file when it exists; false when it exists and cannot be removed.
bool DeleteDefaultsFile();

} // namespace PageSettings
