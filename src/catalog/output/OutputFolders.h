#pragma once
// OutputFolders: which page or book made the outputs in an output folder.
//
// A page's outputs are named by its 目录编号 (<root>/<ID>/<ID>.htm, .zip,
// pictures), a book's by its file name, and two documents may well have the
// same one: two new pages of one day, a page received from another computer,
// two books called default.qbs. An output replaces the earlier outputs of its
// own document as a matter of course; the outputs another document made it
// replaces only when the user says so. This record tells them apart.
//
// The record lives in the program folder (outputfolders.dat), never in the
// output folder, which is uploaded as it stands. One line per folder: its
// identity on the disk (device, inode, birth time), the maker and the folder's
// path, the last two percent-encoded (so a path may hold any character),
// separated by tabs. A folder removed and made again under the same path is
// another folder, of no known maker.
//
// An output looks at its own folder only: the record never asks the disk
// about the other folders it names, which may be on a share that is offline
// now. It keeps the folders last recorded, within a size it reads whole;
// whatever lies before the newest lines of that size, or is not a sound line,
// is dropped the next time the record is written. Programs sharing the program
// folder change the record one at a time (a lock file beside it), so none
// loses another's line.
//
// A maker is a text naming the document: "file:" + the page or book file's
// full path, "qba:" + the package's full path + "|" + the document's path
// inside it (each with "%" and "|" written as %25 and %7C), or "new:" + a key
// of a page never saved.

#include <QString>

#include <functional>

namespace OutputFolders {

// The record file of the program folder.
QString RecordFile(const QString &ProgramFolder);

// The folder's identity on the disk; "" when Folder is no folder.
QString Identity(const QString &Folder);

// The maker recorded for Folder as it is on the disk now; "" when none is.
QString MadeBy(const QString &ProgramFolder, const QString &Folder);

// Records Maker as the maker of Folder (an existing folder), in place of what
// was recorded for its path. The record keeps the last few thousand folders.
void Remember(const QString &ProgramFolder, const QString &Folder, const QString &Maker);

// A document's claim on its output folder, held while its output writes
// there. Two programs on one program folder may publish two pages of one
// 目录编号, or two books of one file name, at the same moment: the claim
// looks at the folder, makes it when it is missing and records the new maker
// in one step under the record's lock, before any file is written, so the
// second program always finds the first one recorded and asks before it
// replaces its outputs.
class TFolderClaim {
public:
    TFolderClaim() = default;
    ~TFolderClaim();
    TFolderClaim(const TFolderClaim &) = delete;
    TFolderClaim &operator=(const TFolderClaim &) = delete;

    // Claims Folder for Maker. True when the folder is Maker's now: it was
    // missing (and is made), recorded as Maker's, empty and not held by
    // another program, or Force is set; it is recorded as Maker's then. False,
    // with Other() naming who made what is there ("" when unknown), when the
    // folder holds another document's outputs, or another program is writing
    // them there now; with nobody recorded, HoldsOthers decides. A folder that
    // cannot be made is left for the caller to report (true, not Made()).
    // Kept names an entry of Folder that is no output (a file the program
    // holds open there): a folder that holds nothing else counts as empty.
    bool Take(const QString &ProgramFolder, const QString &Folder, const QString &Maker,
              const std::function<bool()> &HoldsOthers, bool Force = false, const QString &Kept = QString());
    // The last Take made the folder.
    bool Made() const { return FMade; }
    QString Other() const { return FOther; }
    // The output has ended: another program may take the folder without a
    // question once it is empty again.
    void Release();

private:
    int FFd = -1;
    bool FMade = false;
    QString FOther;
};

// The folders From made are now made by To: a page never saved is the same
// page once it has a file.
void Rename(const QString &ProgramFolder, const QString &From, const QString &To);

// The folders book outputs made their sites in, recorded the same way
// (bookfolders.dat; earlier versions wrote "identity=path" lines, still read).
QString SiteRecordFile(const QString &ProgramFolder);
// True when Folder, as it is on the disk now, is recorded as a book's site.
bool IsSiteFolder(const QString &ProgramFolder, const QString &Folder);
// Records Folder (an existing folder) as a book's site. False when the record
// cannot be written (a folder in its place, a program folder the user cannot
// write to): the output goes on, and the maker recorded for the folder tells
// its next output whose site it is.
bool RememberSiteFolder(const QString &ProgramFolder, const QString &Folder);

// True when Folder holds no entry at all.
bool IsEmpty(const QString &Folder);

// Makers.
QString FileMaker(const QString &File);
QString PackageMaker(const QString &Package, const QString &Inside);
QString NewPageMaker(const QString &Key);

// The maker as the user knows it, for a question: "页面“…”", "目录册“…”",
// "qba文件“…”中的页面", "一个没有保存过的新页面"; "" for an empty maker.
QString Describe(const QString &Maker);

// The question asked before the outputs another document made in Folder are
// replaced (Maker: who made them, "" when unknown; Kind: "页面" or "目录册",
// the document that asks).
QString ReplaceQuestion(const QString &Folder, const QString &Maker, const QString &Kind);

} // namespace OutputFolders
