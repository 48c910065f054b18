#pragma once
// TCatalogBook: the catalog book file (.qbs): a few name=value settings, the
// marker line "{$Files}" and then one page entry per line, in book order. An
// entry is a full path or a path relative to the book file's folder. No
// widgets: the main window keeps one of these lists and shows its entries in
// its page list.

#include <QString>
#include <QStringList>

class TCatalogBook {
public:
    static const QString FilesMarker;      // "{$Files}"

    // The lines of a new default book and of a book made by the book
    // information dialog, in the order they are written. A typed name or
    // folder keeps its line: line breaks in it are taken out.
    static QStringList DefaultBookLines();
    static QStringList NewBookLines(const QString &Name, const QString &Output, bool FullTextSearch,
                                    bool AlwaysOpen, bool MoveV);
    // The new-book dialog's remembered choices (cts_default.dat), a line each.
    static QStringList DefaultsLines(const QString &Name, const QString &SaveFolder, const QString &Output,
                                     bool AlwaysOpen, bool FullTextSearch, bool MoveV);

    // ---- settings by name (names compare without regard to case) ----
    static int IndexOfName(const QStringList &Lines, const QString &Name);
    static QString Value(const QStringList &Lines, const QString &Name);
    // An empty value removes the line. An absent name is inserted before the
    // marker, so it never turns into a page entry.
    static void SetValue(QStringList &Lines, const QString &Name, const QString &Value);

    // What writing Lines over a book file that holds OnDisk changes there:
    // nothing (empty lines aside, which reading drops), only the record of
    // the page open last (Catalog_Lost_name), or more.
    enum TFileChange { fcNone, fcLastPage, fcMore };
    static TFileChange FileChange(QStringList OnDisk, const QStringList &Lines);

    // ---- entries ----
    // Index of the first entry line (the line after the marker), or -1 without a marker.
    static int FirstEntryLine(const QStringList &Lines);
    // Drops empty lines (the whole file when loading, as the book is read).
    static void RemoveEmptyLines(QStringList &Lines);
    // The file names of the entries, in book order.
    static QStringList EntryNames(const QStringList &Lines);
    // An entry as a path on this machine: relative entries are joined to the
    // book file's folder; "\" counts as a separator.
    static QString ResolveEntry(const QString &BookPath, const QString &Entry);
    // The extension of an entry's file name without the blanks that may end
    // the name ("trail.qbt " has ".qbt"); its case stays.
    static QString EntryExt(const QString &Entry);
    // An entry that names a page: its extension is ".qbt" (any case), also
    // when the file name ends in blanks.
    static bool IsPageEntry(const QString &Entry);
    // The list index of the page to open with the book: the only entry, else
    // the one named by Catalog_Lost_name, else the first; -1 for no entry.
    static int ChoosePageToOpen(const QStringList &Lines, const QStringList &Shown);
    // The first Title + k + ".qbt" (k = 1..999) that is not in Taken; "" when none is free.
    static QString NewEntryName(const QString &Title, const QStringList &Taken);
    // Moves entry From to position To (both entry indexes). False when either is out of range.
    static bool MoveEntry(QStringList &Lines, int From, int To);

    // ---- the page list's icons ----
    enum : int { icOpenSaved = 37, icOpenModified = 36, icDefaultPage = 38, icPage = 26, icWebPage = 9, icOther = 13 };
    static int EntryIcon(const QString &Entry, bool IsOpenPage, bool Saved, bool IsDefaultPage);

    // ---- program-folder files ----
    // Appends Path to a history file (one path per line, oldest first; line
    // breaks in it become blanks).
    static void AppendHistory(const QString &HistoryFile, const QString &Path);

    // A name typed by the user, made fit to stand as one file name: path
    // separators, drive colons and control characters are removed.
    static QString SafeFileName(const QString &Name);
};
