#pragma once
// Writing the files of one output (a published folder, an archive, a message).
//
// Each file is written once, where it ends up: under a temporary name beside
// its final name (".<name>.qbtmp-<host>-<pid>-<tag>.tmp"), and renamed when
// the whole output is done. Durability is one step at the end of the output:
// the files written are synced together, then renamed into place, then their
// folders are synced; no file is synced on its own while the output runs. An
// output that fails or is cancelled (the TOutputFiles destroyed without
// Commit) removes its temporary files: it leaves nothing behind, and never a
// half file under a final name. What a killed program left is removed by the
// next output or save into the same folder.
//
// A temporary file is locked (flock) by its program while it is written. The
// sweep removes only names of that form (no user file carries the marker),
// of a program that is gone: on this machine one whose pid no longer runs,
// from another machine (a shared folder) one untouched for a day; and never
// one whose lock another program holds.
//
// Copies go through the kernel: a reflink where the file system offers one,
// else copy_file_range, else read and write through a small buffer. Memory
// does not grow with the size of a file.

#include <QSet>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <vector>

// A name beside Target for a file that becomes Target when it is whole:
// ".<name>.qbtmp-<host>-<pid>-<tag>.tmp" in Target's folder.
QString TempNameBeside(const QString &Target);
// Removes from Folder the temporary files (named as above) of programs that no
// longer hold them (a program killed while it wrote an output or a save leaves
// them behind). A file of a program that runs or holds its lock, one of
// another user, or any other file stays. The number of files removed.
int RemoveLeftoverTemps(const QString &Folder);
// RemoveLeftoverTemps after a save of File, in the folder its temporary file
// went to: beside the file a symbolic link File points to.
int RemoveSaveLeftovers(const QString &File);
// While one lives on a thread, RemoveLeftoverTemps reads each folder once:
// the pages of one book output write into one pictures folder, which is not
// read again for every page (the cost would grow with pages times pictures).
// A scope opened inside another one is part of it.
class TSweepOnce {
public:
    TSweepOnce();
    ~TSweepOnce();
    TSweepOnce(const TSweepOnce &) = delete;
    TSweepOnce &operator=(const TSweepOnce &) = delete;
    // False when Folder was swept already while this scope lives.
    static bool First(const QString &Folder);

private:
    QSet<QString> FSwept;
    TSweepOnce *FOuter;
};
// False only when no process of this machine has the number Pid: one of
// another user, or one we may not look at, counts as running.
bool ProcessMayRun(long Pid);

// The machine (and process-number space) this program runs on, as a short
// token of [0-9a-z]: a number in a name means a process only there. Taken from
// QUILLBOOK_HOST_ID when it is set (a token as it stands, other text hashed),
// else from the machine's identity, its host name and its pid namespace.
QString HostIdentity();
// Whether what the program Pid of Host left, last changed at Changed (seconds
// since the epoch), may be removed without asking its lock: never our own,
// nor that of a process that may run here; of another machine only once it
// is older than Grace seconds (its processes cannot be seen from here).
bool LeftBehind(const QString &Host, long Pid, qint64 Changed, qint64 Grace);
// How long a temporary file, or a scratch folder, of another machine is left
// alone after its last change.
qint64 OtherHostFileGrace();
qint64 OtherHostFolderGrace();
// Tests: both graces at once (seconds); a negative value restores them.
void SetOtherHostGrace(qint64 Seconds);
// Opens Path (a regular file of ours) and takes its lock without waiting.
// Returns the descriptor, holding the lock where the file system has locks,
// or -1 when the file is gone, is not what Expected describes (device and
// inode, when given), or another program holds its lock.
int LockIfFree(const QByteArray &Path, const struct stat *Expected = nullptr);

// Opens a new file under such a name that nobody else uses (its name in Temp),
// locked while the descriptor stays open. Returns the descriptor, or -1 with
// errno set.
int CreateTempBeside(const QString &Target, QString &Temp);
// Writes all Size bytes to Fd. False with errno set on failure (ENOSPC when a
// write takes nothing).
bool WriteAll(int Fd, const char *Data, qint64 Size);

// Copies the open file In from its position to its end into the open file Out
// at its position. Returns 0, or the errno of the failure.
int CopyFileData(int In, int Out);

// The message of a copy that failed: the source, the target and the reason,
// in Chinese ("不能复制文件“a.jpg”到“images/a.jpg”。磁盘空间不足。").
QString CopyFailedText(const QString &Source, const QString &Dest, int ErrorCode);

class TOutputFiles {
public:
    // Durable: Commit syncs the files and their folders (an output the user
    // keeps). Without it Commit only renames (scratch files).
    explicit TOutputFiles(bool Durable = true);
    ~TOutputFiles();
    TOutputFiles(const TOutputFiles &) = delete;
    TOutputFiles &operator=(const TOutputFiles &) = delete;

    // Copies Source to a temporary file for Dest. Raises EInOutError with
    // CopyFailedText when the copy fails (nothing of it is left then).
    void Copy(const QString &Source, const QString &Dest);
    // A new, empty temporary file for Dest, for a writer that writes it by
    // name. Raises EFCreateError when it cannot be made.
    QString Create(const QString &Dest);
    // An unused temporary name for Dest that the writer creates itself (a
    // writer that must make its file). Removed by Discard when it exists.
    QString Reserve(const QString &Dest);
    // The writer of the reserved name Temp made the file and hands over the
    // descriptor that holds its lock (kept until the file is in place or
    // removed; -1: none).
    void Hold(const QString &Temp, int Lock);

    // Syncs (when Durable) and puts every file in its place, replacing what
    // is there. Raises EInOutError naming the file when that fails; the files
    // not yet in place are removed then.
    void Commit();
    // Removes every temporary file that is not in place yet.
    void Discard();

    // The final names of the files of this output, in the order they came.
    QStringList Targets() const;
    // True when Dest is one of them.
    bool Has(const QString &Dest) const;

private:
    struct TEntry {
        QString Temp;
        QString Target;
        // Holds the lock of the file (a copy, a file another writer writes
        // by name, a reserved name once its writer has made it)
        // until it is in place or removed; -1 for the others.
        int Lock = -1;
    };
    static void Unlock(TEntry &E);
    // Clears what killed outputs left in Target's folder, once a folder.
    void SweepFolderOf(const QString &Target);

    std::vector<TEntry> FEntries;
    QSet<QString> FTargets;
    QSet<QString> FSwept;
    bool FDurable;
};
