#pragma once
// Free routines the grid uses for everything text-shaped: the filter's
// condition language, classification of cell texts, number and date reading,
// line handling for multi-line cells and CSV, name casing, link recognition,
// and a few drawing helpers. None of them keeps state.

#include "platform/core/SysUtils.h"
#include "platform/graphics/Graphics.h"

#include <QChar>
#include <QString>

class QWidget;

// The number conventions the grid reads and writes with. They match the
// platform's conversions ("." is the decimal point). Dates follow the
// platform's ShortDateFormat and DateSeparator, the user's.
namespace GridFormat {
inline constexpr char16_t DecimalSeparator = u'.';
inline constexpr char16_t ThousandSeparator = u',';
} // namespace GridFormat

// Kinds answered by TextKind.
enum : int { tkPlain = 0, tkHTML = 1, tkRichText = 2, tkFormula = 3, tkWideText = 5 };
// Kinds answered by NumberKind.
enum : int { nkInteger = 0, nkFloat = 1, nkOther = 2 };

// ---- condition language
bool MatchStr(const QString &Condition, const QString &Text, bool CaseSensitive);
bool MatchPart(const QString &Part, const QString &Text, bool CaseSensitive);
bool Matches(const QString &Mask, const QString &Text);
bool StrToDateByFormat(const QString &Text, TDateTime &Date);

// ---- text classification
int TextKind(const QString &Text, bool HTMLEnabled);
int NumberKind(const QString &Text);
QString NumericText(const QString &Text);
bool IsURL(const QString &Text);
void StripURLProtocol(QString &Text);
bool ParseCellRef(const QString &Text, int &Col, int &Row);

// ---- lines and characters
void NextLine(QString &Text, bool KeepRest, QString &Line);
int LineCount(const QString &Text, bool MultiLine);
QString BackslashNToCR(const QString &Text);
void QuoteCSV(QString &Text);
void LFToCRLF(QString &Text);
void TildeToCRLF(QString &Text);
void OemToAnsi(QString &Text);
void FillChars(QString &Text, QChar Ch);
QString CollapseDoubled(QChar Ch, const QString &Text);

int CharPos(QChar Ch, const QString &Text);            // 1-based, 0 when absent
int CharPos(QChar Ch, const QString &Text, int &Pos);  // also copies the position into Pos
int PosUpper(const QString &Sub, const QString &Text); // Text upper-cased; Sub as given
int VarPos(const QString &Sub, const QString &Text, int &Pos);
QChar FirstCharInSet(const QString &CharSet, const QString &Text); // #0 when none

int OddRunPos(QChar Ch, const QString &Text, int &Pos);
int SeparatorCount(QChar Ch, const QString &Text);
int CharCount(QChar Ch, const QString &Text);

QChar LowerChar(QChar Ch);
QString NameCase(const QString &Text);

// ---- dates
TDateTime IncDate(int Years, int Months, int Days, TDateTime Date, TDateTime Delta);
TDateTime DateFromMDY(const QString &Text);
TDateTime DateFromDMY(const QString &Text);

// ---- numbers and geometry
int LimitSize(int Value, int Minimum, int Maximum);
int MaxOf(int A, int B);
int MinOf(int A, int B);

bool PtInRectIncl(const TRect &Rect, int X, int Y);

// ---- colours named in cell markup
// "clred", "clbtnface"... compared in lower case; any other name is black.
TColor ColorFromName(const QString &Name);
// "#RRGGBB" (hex digits in either case); missing or invalid digits count as 0.
TColor ColorFromHex(const QString &Text);

// ---- drawing
TColor DarkerColor(TColor Color);
void DrawTransparentBitmap(TCanvas *Canvas, TBitmap *Bitmap, TColor BackColor, const TRect &Rect);
// The grid's own glyph bitmaps by name ("CGCHK01".."CGCHK08", "CGRAD01".."CGRAD08",
// "CGLEAFOPEN", "CGLEAFCLOSE", "CGFILT"), drawn once on a background colour that
// transparent drawing leaves out; an empty bitmap for other names.
const TBitmap &GridGlyph(const QString &Name);
// Draws one of those glyphs transparently; nothing when the name is unknown.
void DrawResourceBitmap(TCanvas *Canvas, TColor BackColor, const TRect &Rect, const QString &ResourceName);
void DrawProgressPie(TCanvas *Canvas, const TRect &Rect, TColor Color, int Percent);
void DrawErrorUnderline(QWidget *Owner, TCanvas *Canvas, const QString &Text, int ErrorLength,
                        int ErrorStart, int YOffset, const TRect &Rect);
