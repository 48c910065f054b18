#pragma once
// QbaPackage: package files (.qba): a zip archive of a folder that holds a page
// or a book with its pictures and a two-line description file, index.dat
// ("index=" the main file, "type=QBT" or "type=QBS"). A package comes from
// another computer: nothing of it is trusted before it was checked.

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

class Exception;
class TZipper;

namespace QbaPackage {

// Writes index.dat into Folder (with trailing "/") and packs every file below
// Folder into Target (Folder + the main file name less its last four characters
// + ".qba" when Target is empty); Target is replaced only by a complete new
// archive and never packs itself. Then removes what was packed for the
// package's sake: the files of Folder/images and that folder, index.dat and
// the page copy Folder + main file less four characters + ".qbt". Returns the
// package path; raises Exception when it could not be written.
// Progress gets 0..100 while the archive is written.
QString Write(const QString &Folder, const QString &MainFile, const QString &Target, bool IsBook,
              const std::function<void(int Percent)> &Progress = {});

// Where a package is unpacked: Scratch + the package's file name up to its
// first "." (a name fit for one folder).
QString DestDirFor(const QString &Scratch, const QString &PackagePath);

enum TOpenStatus { osOk, osInvalid, osNoIndex };
struct TOpenResult {
    TOpenStatus Status = osInvalid;
    QString MainFile;     // full path of the page or book inside DestDir
    bool IsBook = false;
    int Files = 0;        // members unpacked
    QStringList Damaged;  // members that could not be unpacked (damaged data)
    QStringList LeftOut;  // what the book and pages named outside the package
};

// Unpacks PackagePath into DestDir (emptied first) and checks what it names.
// osInvalid: a member would land outside DestDir, fewer than two files came
// out, or index.dat names no .qbt (.qbs for a book) inside DestDir; nothing is
// unpacked for a member outside. osNoIndex: no index.dat. With osOk the book
// and its pages name only files inside DestDir (ReceivedPaths::KeepInside).
// Zip errors raise the zip library's exceptions.
TOpenResult Unpack(const QString &PackagePath, const QString &DestDir,
                   const std::function<void(int Percent)> &Progress = {});

// Packs Files (full paths below Root, stored relative to Root) into Target,
// which is replaced only by a complete new archive. Raises Exception on failure,
// also when one of Files cannot be found or read (nothing is written then).
void ZipFiles(const QString &Root, const QStringList &Files, const QString &Target,
              const std::function<void(int Percent)> &Progress = {});

// What the user is told when an archive could not be written for want of
// room (the zip library's ENotEnoughRoom, whose own text is English).
QString NoRoomForArchiveText(const QString &Archive);

// What the user is told when the zip library failed to write Archive with E:
// "" when E carries one of the program's own (Chinese) texts, which stands;
// for the library's English ones a Chinese text that names the archive and,
// where it can tell, why (no room, its folder gone).
QString ArchiveFailureText(const QString &Archive, const Exception &E);

// Raises the failure E of writing Archive through its temporary file Temp (a
// hidden name beside it) again, with a text that names Archive, the file the
// user asked for, wherever it named Temp. Called from the handler of E.
[[noreturn]] void RaiseArchiveFailure(const QString &Archive, const QString &Temp, const Exception &E);

// Every regular file below Folder (links left out), sorted; Except is left out.
QStringList FilesBelow(const QString &Folder, const QString &Except = QString());

// True when a member name stays inside the folder it is unpacked into.
bool IsSafeMemberName(const QString &Name);

// The name a package carries a file named Name under (a file name, not a
// path): every computer and the zip library take it as a plain name. "<",
// ">", "|", "*" and "?" (the zip library's patterns) and a backslash (a
// separator in pages and books) become "_". Whoever names the file makes a
// name taken already unique.
QString CarriedName(const QString &Name);

// Makes Zipper store each file listed as a key of Names (a scratch copy of a
// plain name) under the value, a path below the archive's root with "/".
void StoreUnderNames(TZipper &Zipper, const QHash<QString, QString> &Names);

} // namespace QbaPackage
