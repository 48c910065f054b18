#pragma once
// CellTextEditor: the text conversions of the cell text editor: page values are
// single-line HTML, so line breaks travel as "<br>" inside the editor and as CR
// LF on the clipboard. No widgets here; the main window's editor calls these.

#include <QString>

namespace CellTextEditor {

// The hint of the editor.
extern const QString Hint;

// Copied or cut text: every "<br>" becomes CR LF.
QString CopyText(const QString &Selected);
// Clipboard HTML: the fragment between the start and end markers when both
// are present (the whole text otherwise), without its line breaks.
QString HtmlPasteText(const QString &Html);
// Clipboard plain text: CR LF, lone CR and lone LF become "<br>".
QString PlainPasteText(const QString &Text);
// What Enter types into the cell of the row with RowInBlock = row mod 6:
// "<p>" with Ctrl, "<br>" without, on the description row; nothing elsewhere.
QString EnterText(int RowInBlock, bool Ctrl);
// True when the cell (ACol, ARow) is edited through the editor.
bool IsEditorCell(int ACol, int ARow);
// True when an edit of the cell is written into the page text.
bool IsStoredCell(int ACol, int ARow);

} // namespace CellTextEditor
