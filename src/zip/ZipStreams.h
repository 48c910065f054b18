#pragma once
// Buffered streams and the small file-system utilities of the zip library.
//
// Every header field of an archive is a separate small read or write, so all
// archive access goes through TS_BufferStream. Reads and writes may alternate
// on one stream (a local header is patched after its data was written).
//
// Folders, volume labels, removable drives and short (8.3) names: this system
// has no drive letters, volume labels or short names, so the label functions
// do nothing, no drive is removable and a short path is the path itself.

#include "platform/core/Classes.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class TS_BufferStream : public TStream {
public:
    // Inner is not owned. BufferSize is fixed for the stream's lifetime.
    TS_BufferStream(TStream *Inner, int BufferSize);
    ~TS_BufferStream() override;

    qint64 Read(void *Buffer, qint64 Count) override;
    qint64 Write(const void *Buffer, qint64 Count) override;
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override;
    qint64 Size() override;
    void SetSize(qint64 NewSize) override;

    // Puts one byte back in front of the read position; EStreamError
    // "Putback overflow" when the read position is at the buffer start.
    void PutBack(char C);

    // Writes the unwritten data and, when the stream was made to flush on
    // close, the file system's buffers. False when anything failed, now or in
    // an earlier flush, so a lost write is never reported as success.
    bool Finish();

protected:
    bool FlushBuffer();
    // The inner stream's position, kept as this stream moves it (-1: ask).
    qint64 InnerPosition();
    void Moved(qint64 Count);
    qint64 FInnerPos = -1;
    TStream *FInner;
    bool FFlushOnClose = false;

private:
    std::vector<char> FBuffer;
    qint64 FPos = 0;    // read or write position in the buffer
    qint64 FEnd = 0;    // end of the read-ahead data
    int FState = 0;     // 0 empty, 1 read-ahead, 2 unwritten data
    bool FWritten = false;
    bool FFailed = false;
};

// A buffered stream over a file it opens and owns.
class TLFNFileStream : public TS_BufferStream {
public:
    TLFNFileStream(const QString &FileName, quint16 Mode, bool FlushOnClose, int BufferSize);
    ~TLFNFileStream() override;
    QString FileName() const;

private:
    std::unique_ptr<TFileStream> FFile;
};

// ---- utilities ----

bool ZipDirectoryExists(const QString &Path);
QString ZipStripBackslash(const QString &Path);   // removes one trailing "/" or "\"
void ZipForceDirectories(const QString &Path);

// The message pump run between buffers. The application installs its pump
// (it returns True when the program is quitting); without one nothing runs.
void SetZipMessagePump(std::function<bool()> Pump);
bool ZipYieldMessages();

// A file's modification time as a calendar value after the DOS date-time repair;
// 0 when missing. (The DOS date-time itself is the platform's FileAge; setting it,
// FileSetDosDate.)
double ZipFileDateTime(const QString &Path);

// Volume labels do not exist here: the label is always empty and setting one does nothing.
QString ZipVolumeLabel(const QString &Drive);
bool ZipSetVolumeLabel(const QString &Drive, const QString &Label);
// True when the file system holding Path lies on a removable device (the
// "removable" flag the kernel shows for its block device).
bool ZipIsRemovableDrive(const QString &Path);
// Allocation unit of the file system holding Path; EInOutError when it cannot be read.
qint64 ZipClusterSize(const QString &Path);
// Free bytes for an unprivileged writer on the file system holding Path; -1 when unknown.
qint64 ZipDiskFreeSpace(const QString &Path);

// The drives as the library sees them, behind the three functions above.
// The system's by default; tests put folders in their place (a folder with a
// capacity of its own that counts as removable). Asking for the next disk
// goes through the components' events and messages, not through here.
class TZipDrives {
public:
    virtual ~TZipDrives() = default;
    virtual qint64 FreeSpace(const QString &Path);
    virtual qint64 ClusterSize(const QString &Path);
    virtual bool IsRemovable(const QString &Path);
};
// Installs Drives (not owned); null restores the system's drives.
void SetZipDrives(TZipDrives *Drives);

// Replaces every character that code page 936 cannot hold by "?".
void ZipOemNormalize(QString &Name);
// Short names do not exist here: the path comes back as it is.
QString ZipShortPathName(const QString &Path);

inline QString ZipLeftStr(const QString &S, int N) { return S.left(N); }
inline QString ZipRightStr(const QString &S, int N) { return S.right(N); }
// True when S holds any of "*", "?", "<", ">", "|".
bool ZipHasWildcards(const QString &S);

// Moves a finished file over Target. Target is replaced only by the complete
// file (a rename; across file systems a copy beside Target, then a rename).
// Raises Exception "Error: Could not copy from <source> -> <target>" on failure.
void ZipMoveFile(const QString &Source, const QString &Target);
