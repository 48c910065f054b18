#pragma once
// Paths that came from another computer: the member names of a package, the
// entries of the book list inside it and the picture values of its pages.
// One rule decides whether such a path may be used; everything read from a
// package asks it, and what it refuses is never opened, followed, copied or
// written. Pictures the user adds later through the program's own dialogs
// are the user's choice and are not judged here.

#include <QString>
#include <QStringList>

namespace ReceivedPaths {

// True when Name is a plain relative path: not empty, no NUL, not absolute
// ("/" or "\", which covers "\\server\share"), no drive ("X:") and no ".."
// part. "\" separates folders as "/" does.
bool IsPlainRelative(const QString &Name);

// The full path that Stored names below the folder Base, when it may be used:
// Stored is plain relative, Base lies inside Root, and no part of the path
// below Root is a symbolic link (a link is not followed, wherever it points).
// Otherwise an empty text. Whether the file exists is the caller's question.
QString PathInside(const QString &Root, const QString &Base, const QString &Stored);

// Makes a package unpacked into Root name only what is inside it. MainFile is
// its page or, with IsBook, its book list. A book entry that is not a file
// inside Root is removed from the list; in the page and in every page the
// book lists, a picture value (the "{$IMG}=" lines, the line after each block
// marker, which the page output reads as the picture, and the background
// picture and music) that is not a file inside Root is emptied. A block whose
// picture line stands elsewhere among its lines gets it moved to the line
// after its marker, so every reader takes the same picture. Files are
// rewritten only when something changed. Returns what was left out, one
// "file：line" text each, in file order.
QStringList KeepInside(const QString &Root, const QString &MainFile, bool IsBook);

} // namespace ReceivedPaths
