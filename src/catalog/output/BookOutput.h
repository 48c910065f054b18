#pragma once
// TBookOutput: publishing a whole catalog book as a framed site: a frameset
// index.htm, the navigation page left.htm, a divider frame and one content page
// per entry, produced by the page output into the site's images folder; other
// listed files are copied beside them. By its flag the site then stays a folder
// or becomes a ZIP, a help file (CHM), one MHT, a book package (.qba), a
// preview, or pictures. No widgets: the main window supplies the page output,
// the questions, the shell and the progress display through TBookOutputHooks.

#include "OutputFolders.h"
#include "PageOutput.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

// The flags of a book output (exactly one per call).
enum : int {
    bfHtml = 2, bfZip = 4, bfChm = 8, bfMht = 16, bfPackage = 32, bfPreview = 64,
    bfOneJpeg = 128, bfJpegs = 256, bfPdf = 512,
};

struct TBookOutputHooks {
    // Produces the page file PagePath into Folder through the page output (mode
    // 5, or 66 for a package) with Entry as the open page's entry; returns the
    // result path, "" when the page's validation was cancelled.
    std::function<QString(const QString &PagePath, const QString &Entry, int Mode, const QString &Folder)> ProducePage;
    // Progress: the bar position (0..100) and the group caption.
    std::function<void(int Position, const QString &Caption)> Progress;
    // An error box.
    std::function<void(const QString &Text)> ShowError;
    std::function<void(const QString &Target)> ShellOpen;
    // One line of the help compiler's report.
    std::function<void(const QString &Text)> ChmProgress;
    // The package writer (folder with trailing "/", main file, book flag, result).
    std::function<void(const QString &Folder, const QString &MainFile, bool IsBook, QString &ResultPath)> WriteQbaPackage;
    // Progress of the zip library while the site's ZIP is written (0..100).
    std::function<void(int Percent)> ZipProgress;
    // Pictures or PDF of the produced pages; false when not done. Listed: the
    // book list's entry each name of Entries was made from (the pictures are
    // named after it).
    std::function<bool(const QStringList &Entries, const QStringList &Listed, const QString &Folder, bool Pdf,
                       bool Single)>
        ConvertToImages;
    // A Yes/No question: the site folder holds a site another book (or nobody
    // known) made. True empties it for this book; false (and an empty hook)
    // leaves it as it is and ends the output.
    std::function<bool(const QString &Text)> AskReplace;
};

class TBookOutput {
public:
    // The mark that earlier versions left in the folder a book output made.
    // A folder that carries it still counts as made by a book output; new
    // outputs record their folders outside them (RecordFile).
    static const QString FolderMark;
    // Where the program records the site folders that book outputs made: only
    // such a folder is ever emptied by a later output. One line per folder,
    // its identity on the disk (device, inode and birth time), "=" and its path.
    static QString RecordFile(const QString &ProgramFolder);

    // BookLines: the whole book file. BookPath: the book file. ProgramFolder
    // with trailing "/". Language: the open page's {输出语言}.
    TBookOutput(const QStringList &BookLines, const QString &BookPath, const QString &ProgramFolder,
                const QString &Language);

    TBookOutputHooks Hooks;
    // Where the site goes instead of the book's Catalog_Output ("" for that).
    QString RootOverride;
    // The book came in a package: its package keeps every entry that names a
    // file inside the book's folder where it is and as it is listed.
    bool KeepPlaces = false;
    // A file the program holds open (the package the book was opened from),
    // which the output leaves where it is when it empties its site folder.
    QString KeepFile;
    // Who the book is (OutputFolders): its site folder is recorded as made by
    // it, and one another book made is emptied only when Hooks.AskReplace
    // says so. Empty: neither.
    QString Maker;

    // The book's output folder D, made when it is missing (and then recorded
    // as made by this book's output): for single files of the book, which go
    // there under names no file of the folder has.
    QString FolderForFiles(bool *Made = nullptr);

    // The entries of the book (as listed, blank lines aside) that name no
    // readable file: a missing page, a folder, "." or "..". Run leaves them
    // out; the caller names them first.
    QStringList EntriesLeftOut() const;
    // The non-blank entry lines of a book, in book order.
    static QStringList ListedEntries(const QStringList &BookLines);
    static bool IsReadableFile(const QString &Path);
    // A page of the book: its extension is ".qbt" (any case), also when the
    // file name ends in blanks.
    static bool IsPageEntry(const QString &Path);

    enum TResult { brDone, brCancelled, brFailed };
    // Runs the output from its folder on (the questions before it are the
    // caller's). ResultPath: the file kept (zip, chm, mht, qba) or the folder.
    TResult Run(int Flags, bool OpenAfterwards, QString &ResultPath);

    // ---- after Run, and pieces the tests look at ----
    QString SiteFolder() const { return FD; }            // D, with trailing "/"
    QString BaseName() const { return FB; }              // B
    QString IndexPage() const { return FX; }             // X
    const QStringList &Entries() const { return FE; }    // E
    const QStringList &EntriesListed() const { return FListed; }   // the book's entry of each name of E
    QString Charset() const { return FCharset; }
    QString OutputRoot() const;
    // The site folder D an output would use, with trailing "/"; nothing is made.
    QString PlannedSiteFolder() const;
    // The names the pages gave their pictures in the pictures folder of the
    // output folder Folder (a page's images/ beside it); each page of a run
    // is produced with the one of its folder.
    TSharedPictureNames &PictureNames(const QString &Folder);

    static QStringList FramesetLines(const QString &Title, const QString &Charset, const QString &IndexPage,
                                     bool ForMht);
    static QString ChmWindowLine(const QString &IndexPage);

private:
    QStringList FBook;
    QString FBookPath;
    QString FExe;
    QString FCharset;
    QString FD, FB, FX;
    QStringList FE;
    QStringList FListed;
    // The names of E without regard to case, and per base name of a page copy
    // the next number to try: a book of many pages of one name finds each
    // copy's name at once.
    QSet<QString> FTaken;
    QHash<QString, int> FNextCopy;
    // Saved web pages copied with their folders: source path -> entry below images/.
    QHash<QString, QString> FSavedPages;
    QHash<QString, TSharedPictureNames> FPictureNames;   // by output folder
    QStringList FLeft, FContents;
    // Every file the run put into the site so far (pages, copied files, the
    // frames' own files): all of them are still there when it is finished.
    QStringList FMade;
    // The user's file each file of the site was made from (its page or the
    // file copied), by the site file's path: messages name the user's.
    QHash<QString, QString> FOrigins;
    // D, claimed while the run writes there (OutputFolders), and the name of
    // the file in it that stays (KeepFile, when it lies in D).
    OutputFolders::TFolderClaim FClaim;
    QString FKept;

    // FB and FD (the output root made when missing).
    QString SiteBaseName() const;
    void NameSiteFolder();
    // Claims D for the book (the question when another book's site is
    // there): false when the user keeps the other site.
    bool ClaimSiteFolder();
    // Empties D (a claimed one, or one an earlier book output made) or makes it.
    void PrepareSiteFolder();
    // D holds an entry other than FKept.
    bool SiteHoldsFiles() const;
    bool MadeByBookOutput(const QString &Folder) const;
    void RememberSiteFolder(const QString &Folder) const;
    void Report(int Position, const QString &Caption) const;
    void PlaceSiteFiles(int Flags);
    // ForPackage: named as a package carries it (QbaPackage::CarriedName).
    // For a help file: named as its compiler takes names (ChmFileName).
    QString CopyOtherFile(const QString &Path, bool ForPackage, bool ForHelpFile = false);
    void CopyFilesFolder(const QString &Source, const QString &Dest);
    void RemoveSiteFiles();
    void CheckSiteWhole() const;
    QString UniquePageEntry(const QString &Path, bool ForPackage);
    // Where an entry stays in the package ("sub/p.qbt"); "" when it cannot
    // (also when the package cannot carry its name).
    QString KeptPlace(const QString &Listed) const;
    void CopyKeptFile(const QString &Path, const QString &Place);
};
