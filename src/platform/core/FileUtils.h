#pragma once
// Files, folders and paths. Paths inside the program are native ("/"); a stored
// path may use "\" as a separator and may be a drive path from Windows
// ("X:\..."), which is absolute but cannot resolve here (it counts as missing).

#include "SysUtils.h"

#include <QString>
#include <cstdint>

// ---- path pieces (accept "/" and "\" as separators) ----
QString ExtractFilePath(const QString &FileName);     // with trailing separator
QString ExtractFileDir(const QString &FileName);      // without trailing separator
QString ExtractFileName(const QString &FileName);
QString ExtractFileExt(const QString &FileName);      // with the dot, "" when none
// The file name up to its first "."; a name without "." stays whole.
QString ExtractFileBaseName(const QString &FileName);
QString ChangeFileExt(const QString &FileName, const QString &Extension);
QString IncludeTrailingPathDelimiter(const QString &S);
QString ExcludeTrailingPathDelimiter(const QString &S);
QString ExpandFileName(const QString &FileName);      // absolute, "." and ".." resolved
// FileName made absolute against the current folder, naming the file the system
// would open for it (a path as a terminal gives it): "." parts and doubled
// separators go, and a ".." part steps up from where the links before it lead.
QString AbsolutePath(const QString &FileName);
// DestName relative to the folder of BaseName (BaseName ends in "/" for a folder), with "../" steps.
QString ExtractRelativePath(const QString &BaseName, const QString &DestName);

// ---- stored paths ----
bool IsDrivePath(const QString &Path);                 // "X:\..." or "X:/..."
bool IsAbsoluteStoredPath(const QString &Path);        // starts with "/" or a drive
QString NativePath(const QString &StoredPath);         // "\" becomes "/"
// Resolves a stored path against Base (a folder): absolute paths stay, relative
// ones are joined to Base. A drive path resolves to itself (and never exists here).
QString ResolveStoredPath(const QString &Base, const QString &StoredPath);
// True when Path (after resolving "." and "..", without following links) lies inside Folder
// or is Folder itself. A drive path lies inside nothing.
bool IsPathInside(const QString &Path, const QString &Folder);

// ---- files and folders ----
bool FileExists(const QString &FileName);              // a regular file (drive paths: false)
bool DirectoryExists(const QString &Directory);
bool ForceDirectories(const QString &Dir);
bool CreateDir(const QString &Dir);
bool RemoveDir(const QString &Dir);                    // empty folder only
bool DeleteFile(const QString &FileName);
bool RenameFile(const QString &OldName, const QString &NewName);
// Copies a file (replacing Dest through a temporary file beside it unless FailIfExists).
// A Dest replaced keeps its owner and mode, and a Dest that is a symbolic link to
// a file stays a link: the file it points to is replaced.
bool CopyFile(const QString &Source, const QString &Dest, bool FailIfExists);
// Copies Source into DestFolder; when a file of that name exists there with other
// content, the copy gets a new name "name(2).ext", "name(3).ext"... Returns the
// path written, or "" on failure.
QString CopyFileRenaming(const QString &Source, const QString &DestFolder);
// True when both are regular files of the same bytes (compared piece by piece).
bool SameFileContent(const QString &A, const QString &B);
qint64 FileSizeOf(const QString &FileName);            // -1 when missing
TDateTime FileAgeDateTime(const QString &FileName);    // 0 when missing
bool FileSetDate(const QString &FileName, TDateTime Age); // sets the modification time
// The modification time as a DOS date-time (UnixTimeToFileDate); -1 when missing.
// One trailing separator is ignored, so a folder may be named "dir/".
qint64 FileAge(const QString &FileName);
// Sets the access and modification times from a DOS date-time (FileDateToUnixTime);
// a symbolic link gets the times itself, its target is left alone.
bool FileSetDosDate(const QString &FileName, quint32 FileDate);
qint64 DiskFree(const QString &Path);                  // bytes free for us on Path's file system, -1 on error
QString GetCurrentDir();
bool SetCurrentDir(const QString &Dir);
QString GetTempFolder();
// Raises EFCreateError (CannotCreateFileText) when FileName is an existing
// regular file the user has made read-only or may not write. A save writes a
// new file beside the old one and renames it over it, which the folder allows
// whatever the file's own mode says; a document the user saves over calls this
// first, so a file made read-only stays as it is. The mode bits are read
// themselves, since the administrator may write any file. A missing file passes.
void CheckFileReplaceable(const QString &FileName);
// True when FileName is an existing regular file whose mode bits say it is
// read-only (for its owner when that is us, else for everybody).
bool MadeReadOnly(const QString &FileName);
// Writes Bytes to FileName through a temporary file beside it and a rename, so an
// existing file is replaced only by a complete new one, with the replaced file's
// mode and, where the process may set them, its owner and group. A FileName that
// is a symbolic link to a file stays a link: the new file goes beside the file
// it points to and replaces that.
bool WriteFileAtomic(const QString &FileName, const QByteArray &Bytes);
// The file a save into Target replaces: when Target is a symbolic link to an
// existing regular file, that file (the link stays a link and its target gets
// the new content); otherwise Target itself. The save's temporary file goes
// into its folder.
QString ReplacedFile(const QString &Target);
// The folder, with a trailing "/", where what a document (a page, a book)
// names relative to itself lies: the folder of the file FileName really is,
// so a document opened through a symbolic link finds its pictures and pages
// beside the file the link points to (the file its saves write). FileName
// itself stays the document's name. "" for "".
QString DocumentFolder(const QString &FileName);
QByteArray ReadFileBytes(const QString &FileName, bool *Ok = nullptr);

// Deletes the content of Folder (files and sub-folders) but not Folder itself.
// Never follows symbolic links (a link is removed, not its target). Refuses "/",
// the home folder, the program folder and any folder that contains the program
// folder, and returns false then. With KeepFolders only the files go, in Folder
// and in all its sub-folders, which stay; a file that cannot be deleted then ends
// the walk of the folder that holds it, and the walk of its parent goes on.
// KeepFile names an entry of Folder itself that stays (a file the program
// holds open there).
bool EmptyFolder(const QString &Folder, bool KeepFolders = false, const QString &KeepFile = {});
// EmptyFolder and then removes Folder itself.
bool DeleteFolderTree(const QString &Folder);

// ---- FindFirst-style enumeration, sorted by name ----
enum : int {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faSymLink = 0x40,
    faAnyFile = 0x3F,
};

struct TSearchRec {
    QString Name;          // name only
    qint64 Size = 0;
    int Attr = 0;
    TDateTime Time = 0;    // modification time
    qint64 UnixTime = 0;   // the same in seconds since 1970 (UTC)
    quint32 Mode = 0;      // the file's type and permission bits (st_mode)
    QString FindPath;      // folder searched, with trailing "/"
    // Entries of the folder whose names are not valid in the file name
    // encoding (UTF-8): they cannot be named, so they are left out of the
    // search; here they stand decoded with replacement characters.
    QStringList Undecodable;
    // internal
    QStringList Pending;
    QString Mask;
    int Attrs = 0;
};

// Path is "folder/mask" with the wildcards * and ? (matched case-insensitively).
// Returns 0 when a first entry was found. Entries "." and ".." are reported
// when faDirectory is asked for, as on the original platform.
int FindFirst(const QString &Path, int Attr, TSearchRec &F);
int FindNext(TSearchRec &F);
void FindClose(TSearchRec &F);
// Wildcard match of a file name against a mask (* and ?, case-insensitive).
bool MatchesMask(const QString &FileName, const QString &Mask);

// ---- the program folder ----
// $QUILLBOOK_HOME when set, else the folder of the executable; with trailing "/".
QString ProgramFolder();
void SetProgramFolder(const QString &Folder);          // for tests
// This running program's own scratch folder under <program>/tmp/, created on
// first use and removed by RemoveScratchFolder (at exit).
QString ScratchFolder();
void RemoveScratchFolder();
