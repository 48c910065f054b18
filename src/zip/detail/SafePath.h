#pragma once
// Safe output paths for extraction. Internal to the zip library.

#include <QString>

namespace ZipDetail {

// A member path made relative and clean: "\" and "/" separate folders, empty
// and "." parts are dropped. Returns a null string for a path that must be
// refused: a ".." part, a NUL character, or nothing left (a file needs a name).
QString CleanRelativePath(const QString &Path, bool IsFolder);
// True for a path CleanRelativePath takes as it is: plain parts between
// single separators, none empty, "." or "..", no NUL, no separator at an end.
bool IsPlainRelativePath(const QString &Path);
QString JoinPath(const QString &Base, const QString &Relative);

// Creates the folders of Folder below Base, never through a symbolic link:
// False when a part below Base is a link or not a folder, or cannot be made.
bool MakeFoldersInside(const QString &Base, const QString &Folder);

// A new, empty file with a unique name in Folder, removed unless renamed.
// With KeepOpen its descriptor (read and write) stays open for the caller to
// write through, and where the file system allows, the file has no name at
// all until RenameTo links it in place: making it costs the folder no
// search, and nothing of it is left behind whatever happens.
class TempFile {
public:
    explicit TempFile(const QString &Folder, bool KeepOpen = false);
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    bool Created() const { return FUnnamed || !FPath.isEmpty(); }
    // Empty for a file without a name.
    QString Path() const { return FPath; }
    // The open descriptor (KeepOpen), -1 once closed.
    int Fd() const { return FFd; }
    // Closes the descriptor of a named file: false when the system reports
    // a failed write. A file without a name stays open until RenameTo.
    bool CloseFile();
    // Puts the file in Target's place at once, replacing what is there. With
    // KeepLock, the descriptor that holds the file's lock is handed to the
    // caller (who closes it), so that the file stays locked under its new
    // name; -1 when there is none.
    bool RenameTo(const QString &Target, int *KeepLock = nullptr);
    void Remove();

private:
    void ReleaseLock();

    QString FPath;
    QString FFolder;
    int FFd = -1;
    int FLock = -1;   // holds the lock of a named file not kept open
    bool FUnnamed = false;
};

// Permissions of an extracted file: the default for new files, narrowed to
// read-only or taken from a Unix host's mode of a regular file when the
// attributes are kept.
unsigned AttributeMode(bool Retain, quint16 VersionMadeBy, quint32 External);
void ApplyAttributes(const QString &Path, bool Retain, quint16 VersionMadeBy, quint32 External);

} // namespace ZipDetail
