#pragma once
// Delphi-compatible string, number and date conversions. The decimal separator
// is always "." whatever the locale; string positions are 1-based where the
// original routines are.

#include "Types.h"

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <cstdint>

class QDateTime;
class QLocale;

// ---- integers ----
QString IntToStr(qint64 Value);
QString IntToHex(qint64 Value, int Digits);
int StrToInt(const QString &S);                      // EConvertError "“S”不是有效的整数。"
qint64 StrToInt64(const QString &S);
int StrToIntDef(const QString &S, int Default);
qint64 StrToInt64Def(const QString &S, qint64 Default);
bool TryStrToInt(const QString &S, int &Value);
bool TryStrToInt64(const QString &S, qint64 &Value);

// ---- floating point ----
// The number settings the program runs with; conversions here always use "." whatever these say.
extern QChar DecimalSeparator;                       // '.'
extern QChar ThousandSeparator;                      // ','
double StrToFloat(const QString &S);                 // EConvertError "“S”不是有效的数值。"
double StrToFloatDef(const QString &S, double Default);
bool TryStrToFloat(const QString &S, double &Value);
QString FloatToStr(double Value);                    // 15 significant digits, general format
// Format strings "0", "0.00", "0.##", "#,##0.00", "0.0E+00", sections ";"... with
// half-away-from-zero rounding.
QString FormatFloat(const QString &Format, double Value);

qint64 Round(double X);                              // banker's rounding (half to even)
qint64 Trunc(double X);
int MulDiv(int Number, int Numerator, int Denominator); // rounded; -1 when Denominator is 0

// ---- strings (1-based positions) ----
QString Trim(const QString &S);                      // removes characters <= ' ' at both ends
QString TrimLeft(const QString &S);
QString TrimRight(const QString &S);
QString UpperCase(const QString &S);
QString LowerCase(const QString &S);
int CompareText(const QString &S1, const QString &S2); // case-insensitive
int CompareStr(const QString &S1, const QString &S2);
bool SameText(const QString &S1, const QString &S2);
int Pos(const QString &Substr, const QString &S);      // 0 when absent
QString Copy(const QString &S, int Index, int Count);
QString QuotedStr(const QString &S);
// printf-style formatting with the original's specifiers %d %u %x %s %f %e %g %n %m %p,
// each as %[index:][-][width][.precision]type; "*" takes width or precision from Args;
// "%%" is a percent sign. A missing or mismatched argument raises EConvertError
// "Format '...' invalid or incompatible with argument". %n and %m group thousands with ",".
QString Format(const QString &Fmt, const QVariantList &Args);

enum TReplaceFlag { rfReplaceAll = 1, rfIgnoreCase = 2 };
QString StringReplace(const QString &S, const QString &OldPattern, const QString &NewPattern, int Flags);

// ---- system ----
// The text of an errno value, in Chinese as the program's system would give it
// ("系统错误 " + the number for a value without a text of its own).
QString SysErrorMessage(int ErrorCode);
// The messages of a file that cannot be created or opened, naming the file and,
// when ErrorCode is not 0, the reason.
QString CannotCreateFileText(const QString &FileName, int ErrorCode = 0);
QString CannotOpenFileText(const QString &FileName, int ErrorCode = 0);
quint32 GetTickCount();                              // milliseconds of a monotonic clock
// True on the application's main thread, and on any thread while there is no application object.
bool IsMainThread();

// ---- dates: TDateTime counts days since 1899-12-30, the fraction is the time ----
using TDateTime = double;
// The date and time settings the program runs with. The short date format
// and the date separator are those of a Chinese system ("yyyy-m-d", '-')
// until LoadDateSettings takes the user's (the application does at start).
extern QString ShortDateFormat;                      // "yyyy-m-d"
extern QString LongTimeFormat;                       // "hh:nn:ss"
extern QChar DateSeparator;                          // '-'
extern QChar TimeSeparator;                          // ':'
// Takes ShortDateFormat and DateSeparator from a locale's short date: its
// order of day, month and year, its separator and its number widths, in the
// letters d, m and y; a year is always written with four digits, so that no
// text the program writes loses its century. A locale whose short date is not
// three numbers with one separator (the C locale names the month) leaves
// "yyyy-m-d" and '-'.
void LoadDateSettings(const QLocale &Locale);
// The order of the day, month and year fields in a date format: "ymd",
// "dmy", "mdy"...; quoted text does not count. "ymd" when a field is missing.
QString DateOrder(const QString &Format);
TDateTime Now();
TDateTime Date();
TDateTime EncodeDate(int Year, int Month, int Day);  // EConvertError on an invalid date
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
void DecodeDate(TDateTime D, int &Year, int &Month, int &Day);
void DecodeTime(TDateTime D, int &Hour, int &Min, int &Sec, int &MSec);
bool IsValidDate(int Year, int Month, int Day);
// The same moment as Qt's local date and time, and back (to the millisecond).
// DecodeDate's and EncodeDate's errors pass through.
QDateTime DateTimeToQDateTime(TDateTime D);
TDateTime QDateTimeToDateTime(const QDateTime &D);
// Format specifiers: yyyy yy mm m dd d hh h nn n ss s zzz am/pm ampm, "text" 'text', / : as literals.
QString FormatDateTime(const QString &Format, TDateTime DateTime);
QString DateToStr(TDateTime D);                      // in ShortDateFormat
// The date in the texts the program keeps in its own files and names things
// with (page IDs, page dates, book names): "yyyy-m-d" whatever the settings,
// since a locale's "/" would turn a page ID into a path.
QString StoredDateToStr(TDateTime D);
QString TimeToStr(TDateTime D);                      // hh:nn:ss
QString DateTimeToStr(TDateTime D);
// Reads three numbers split by '-', '/' or DateSeparator (blanks and one
// separator after the last number allowed) in the order of ShortDateFormat;
// a first number of three or more digits is a year, so the stored form
// yyyy-m-d always reads. A two-digit year is 1950-2049.
TDateTime StrToDate(const QString &S);
bool TryStrToDate(const QString &S, TDateTime &D);

// DOS date and time (local time), as stored in archives and file times: the date
// in the high 16 bits (years since 1980 << 9 | month << 5 | day), the time in the
// low 16 bits (hour << 11 | minute << 5 | seconds / 2).
quint32 EncodeFileDate(int Year, int Month, int Day, int Hour, int Min, int Sec);   // fields unchecked
void DecodeFileDate(quint32 FileDate, int &Year, int &Month, int &Day, int &Hour, int &Min, int &Sec);
quint32 DateTimeToFileDate(TDateTime D);              // 0 outside the years 1980..2107
TDateTime FileDateToDateTime(quint32 FileDate);        // 0 for an impossible stamp
// POSIX time in DOS form. A DOS stamp cannot hold earlier times: anything before
// 1980 becomes 1980-01-01 00:00, and a year after 2107 becomes 2107.
quint32 UnixTimeToFileDate(qint64 UnixTime);
// A DOS stamp as POSIX time; fields out of range carry over (31 February is 3 March).
qint64 FileDateToUnixTime(quint32 FileDate);

// ---- the command line (ParamStr(0) is the program) ----
int ParamCount();
QString ParamStr(int Index);
void SetParams(const QStringList &Args);   // Args[0] is the program; set by main() and the test driver
