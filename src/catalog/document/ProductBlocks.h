#pragma once
// ProductBlocks: product block arithmetic and the product commands' work on the
// page text. No widgets: the main window applies the results to its grid and
// text box. Block lines are matched as whole lines "{$n}", so "{$1}" never
// matches the "{$12}" of a later block, nor text that merely contains it.

#include <QString>
#include <QStringList>
#include <functional>

namespace ProductBlocks {

// Block n of grid row R (R >= 1), its first row and its picture path row.
int BlockOfRow(int Row);
int FirstRowOfBlock(int N);
int PathRowOfBlock(int N);

// The nine lines of an empty block n.
QStringList EmptyBlockLines(int N);

// Index of the first line, from From on, that is exactly "{$n}"; -1 when none.
int FindBlockLine(const QStringList &Lines, int N, int From);

// Removes block n (its line and its value lines after it: nine lines on a
// page as the program writes it, never past the end of the text) and
// renumbers the later blocks so that they close the gap. False when the
// block's line is missing (the text is unchanged).
bool DeleteProduct(QStringList &Lines, int N);

// Inserts an empty block before block K+1 (K blocks stay in front of it) and
// renumbers the blocks after it. False when that block's line is missing.
bool InsertProduct(QStringList &Lines, int K);

// Inserts Count empty blocks before block K+1 and renumbers the blocks after
// them, in one pass: the text Count calls of InsertProduct(Lines, K) would
// make. False (the text unchanged) when that block's line is missing or the
// blocks from it on are not numbered one after another; the caller then
// inserts one block at a time.
bool InsertProducts(QStringList &Lines, int K, int Count);

// Removes every product line after the last "{detail}" line (and the empty
// line that follows it, which stays).
void DeleteAllProducts(QStringList &Lines);

// The page text line that cell (ACol, ARow) shows, or -1.
int LineOfCell(const QStringList &Lines, int ACol, int ARow);
// The same, given the line of the cell's block line ("{$n}", -1 when it is
// missing) in a text of LineCount lines.
int LineOfCell(int BlockLine, int LineCount, int ACol, int ARow);
// Position of the caret for that line: just after its first "=" (0 when none).
int CaretInLine(const QString &Line);

// The answer of the exchange box.
enum TSwapInput { siEmpty, siInvalid, siNumbers };
// Splits "a b"; the numbers are converted with StrToInt, so a non-numeric
// answer raises the conversion error before anything changes.
TSwapInput ParseSwapInput(const QString &Answer, int &A, int &B);
// True when both products exist in a grid of RowCount rows.
bool ProductsExist(int A, int B, int RowCount);

// The steps of moving product C to T: pairs to exchange in order. Empty when
// nothing moves or either position lies outside the grid.
QList<QPair<int, int>> MoveSteps(int C, int T, int RowCount);

// Searches columns 3 then 5 of each row from StartRow to RowCount-1 for Text
// (case-sensitive). Returns true with ACol, ARow of the match.
bool FindProduct(const std::function<QString(int, int)> &Cells, int RowCount, const QString &Text, int StartRow,
                 int &ACol, int &ARow);

} // namespace ProductBlocks
