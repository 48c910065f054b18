#pragma once
// The search for page files holding a keyword, and for the book that holds a
// page. No widgets: the search dialog shows progress and results.
//
// Pages are searched as text, character by character after decoding, so a
// letter never matches inside a double-byte Chinese character (many of them
// carry an ASCII letter as their second byte). Without case, only the letters
// a-z and A-Z are folded, as the byte search folds them.

#include <QString>
#include <QStringList>
#include <functional>

namespace PageSearch {

// The files a list names (history or book lines): empty lines dropped, relative
// entries joined to Base; "\" counts as a separator.
QStringList ListedFiles(const QStringList &Lines, const QString &Base);

// True when Line holds Keyword; an empty keyword is found nowhere.
bool LineContains(const QString &Line, const QString &Keyword, bool CaseSensitive);

enum TFileResult { frMissing, frNoMatch, frMatch, frStopped };
// Searches the lines of File, read as a page is opened (code page 936, or
// UTF-8 after a UTF-8 mark); Stopped is asked before every line.
TFileResult SearchFile(const QString &File, const QString &Keyword, bool CaseSensitive,
                       const std::function<bool()> &Stopped);

// The first book named by the book history (HistoryFile; relative entries below
// ProgramFolder) that exists and lists a page whose file name is PageName (without
// regard to case); "" when none.
QString FindCatalogOfPage(const QString &HistoryFile, const QString &ProgramFolder, const QString &PageName);

} // namespace PageSearch
