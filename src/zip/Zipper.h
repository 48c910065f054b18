#pragma once
// TZipper: builds and updates archives.
//
// FilesList holds file names, folder entries (ending in "/") and masks
// (ZipSearch.h); a mask starting with "|" is searched without and one
// starting with ">" with sub-folders. An existing archive is updated according
// to ZipAction; unchanged members are copied without recompression. The new
// archive is written under a temporary name and replaces the old file only
// when it is complete.
//
// Files here carry no archive attribute: every file counts as having it, so
// SkipIfArchiveBitNotSet skips nothing and ResetArchiveBitOnZip changes
// nothing. Short names do not exist: Store83Names stores the names as they are.

#include "UnZipper.h"

#include <QHash>
#include <QSet>

enum TZipAction { zaUpdate = 0, zaReplace = 1, zaFreshen = 2 };
enum TUpdateAction { uaReplacing = 0, uaKeeping = 1 };

// Settings for archives written across several disks or part files.
class TMultiZipInfo : public TObject {
public:
    void Assign(const TMultiZipInfo &Source);
    qint64 BlockSize = 1457600;
    qint64 FirstBlockSize = 0;
    qint64 SaveOnFirstDisk = 0;
    bool SaveZipInfoOnFirstDisk = false;
    TMultiMode MultiMode = mmNone;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;
};

class TZipper : public TUnZipper {
public:
    explicit TZipper(TComponent *AOwner = nullptr);
    ~TZipper() override;

    // Zips FilesList into ZipName; returns the number of files and folder
    // entries zipped in this run (members only copied are not counted).
    int PackFiles();

    int PackLevel() const { return FPackLevel; }
    void SetPackLevel(int Value);
    bool StorePaths() const { return FStorePaths; }
    void SetStorePaths(bool Value);
    bool RelativePaths() const { return FRelativePaths; }
    void SetRelativePaths(bool Value);
    bool StoreVolumes() const { return FStoreVolumes; }
    void SetStoreVolumes(bool Value);
    TMultiZipInfo &MultiZipInfo() { return FMultiZipInfo; }
    TStrings &ExcludeList() { return FExcludeList; }
    TStrings &NoCompressList() { return FNoCompressList; }

    bool IncludeHiddenFiles() const { return FSearchAttributes & 0x02; }
    void SetIncludeHiddenFiles(bool Value) { SetAttributeBit(0x02, Value); }
    bool IncludeSysFiles() const { return FSearchAttributes & 0x04; }
    void SetIncludeSysFiles(bool Value) { SetAttributeBit(0x04, Value); }
    bool IncludeReadOnlyFiles() const { return FSearchAttributes & 0x01; }
    void SetIncludeReadOnlyFiles(bool Value) { SetAttributeBit(0x01, Value); }
    bool IncludeArchiveFiles() const { return FSearchAttributes & 0x20; }
    void SetIncludeArchiveFiles(bool Value) { SetAttributeBit(0x20, Value); }
    int SearchAttributes() const { return FSearchAttributes; }

    bool Recurse = false;
    bool Dispose = false;
    TZipAction ZipAction = zaUpdate;
    bool Store83Names = false;
    QString TempPath;
    bool SkipIfArchiveBitNotSet = false;
    bool ResetArchiveBitOnZip = false;
    bool AddDirEntriesOnRecurse = false;
    // Copy the data in front of the first member (a self-extractor stub) when updating.
    bool KeepLeadingData = false;
    // Threads that read and deflate new members (0: one per core). Members
    // with a password, and sets across several parts, are zipped on the
    // caller's thread. The archive does not depend on the number.
    int PackThreads = 0;
    // The archive's file is written under a temporary name, locked, and
    // renamed to ZipName when whole. With HoldArchiveLock the lock stays
    // held after the rename, until TakeArchiveLock hands its descriptor over
    // (or the zipper ends): for a ZipName that is itself a temporary name of
    // the caller's, which no sweep may take while it waits to be put in place.
    bool HoldArchiveLock = false;
    // The descriptor holding the lock of the archive last written (the caller
    // closes it); -1 when none is held.
    int TakeArchiveLock();

    std::function<void(TObject *Sender, int NumFiles, qint64 TotalBytes, TEndCentral &EndCentralRecord, bool &StopNow)> OnStartZipInfo;
    std::function<void(TObject *Sender, const QString &FName, TZipHeaderInfo &ZipHeader, bool &Skip)> OnStartZip;
    std::function<void(TObject *Sender, const QString &FName, qint64 UncompressedSize, qint64 CompressedSize, qint64 CurrentZipSize)> OnEndZip;
    std::function<void(TObject *Sender, int FileCount)> OnZipComplete;
    std::function<void(TObject *Sender, const QString &FName)> OnNoSuchFile;
    std::function<void(TObject *Sender, const QString &FName)> OnRecursingFile;
    std::function<void(TObject *Sender, TUpdateAction UDAction, int FileIndex)> OnUpdate;
    std::function<void(TObject *Sender, const QString &FName, bool &Skip)> OnDeleteEntry;
    std::function<void(TObject *Sender, const QString &FName, bool &Skip)> OnDisposeFile;
    std::function<void(TObject *Sender, uchar *Buffer, int Length, const QString &Password)> OnEncrypt;
    // Called once the next disk of a spanned set was accepted (DiskNum 1-based).
    std::function<void(TObject *Sender, int DiskNum)> OnPrepareNextDisk;

private:
    // Writes a spanned or split set part by part (ZipperSpan.cpp).
    class PartWriter;
    friend class PartWriter;
    // The multi-disk build: members are zipped into a scratch file one by one
    // and then placed across the parts.
    void PackMulti();
    void NewLists();
    // The list just written becomes the component's directory.
    void AdoptNewDirectory(quint32 Disks, TMultiMode Mode);
    // The one-file build: a new archive, or an update of the existing one.
    void WriteSingle(bool Update);
    void PlaceMember(TZipHeaderInfo &H);
    void WriteMultiDirectory();
    void WriteDirectoryCopy();
    // Bytes that the directory copy and the end record may take: kept free
    // on the first disk when SaveZipInfoOnFirstDisk.
    qint64 DirectoryEstimate() const;
    // The largest local and central header of the files to zip.
    void LargestHeaders(qint64 &Local, qint64 &Central) const;
    std::unique_ptr<PartWriter> FParts;

    void SetAttributeBit(int Bit, bool Value);
    bool Skipping(TSkipReason Reason, const QString &FName);
    bool ListMatches(const TStrings &List, const QString &Path) const;
    QString StoredFolder(const QString &Path) const;
    // Directory + FileName of the member a file or folder entry becomes.
    QString StoredNameOf(const QString &Path) const;
    void ExpandFilesList();
    bool IsTheArchive(const QString &Path) const;
    bool ZipOne(const QString &Path);
    // The member record of a file or folder entry, with the events that may
    // refuse it (no such file, cannot open (TryOpen), a duplicate name,
    // OnStartZip); null when it is not zipped. Size is the file's size.
    std::unique_ptr<TZipHeaderInfo> PlanMember(const QString &Path, const std::function<bool()> &TryOpen, qint64 &Size);
    // Zips FilesList from First on with the block workers (ZipperParallel.cpp).
    void ZipParallel(int First, int Threads);
    void KeepMember(int Index, TZipHeaderInfo &Old);
    void MergeExisting();
    void WriteOut(const char *Data, qint64 Count);
    // Encrypts Data in place first when Encrypt (OnEncrypt or the cipher).
    void WriteOut(char *Data, qint64 Count, bool Encrypt);
    void AddToNewList(std::unique_ptr<TZipHeaderInfo> H);

    int FPackLevel = 6;
    bool FStorePaths = false;
    bool FRelativePaths = false;
    bool FStoreVolumes = false;
    int FSearchAttributes = 0x39;
    TMultiZipInfo FMultiZipInfo;
    int FArchiveLock = -1;
    TStringList FExcludeList;
    TStringList FNoCompressList;

    // Run state.
    TStream *FOut = nullptr;
    std::unique_ptr<TSortedZip> FNewList;
    // Stored names taken in the new archive, for finding a second file of
    // the same name. Names compare exactly: on this file system readme.txt
    // and README.txt are two files, and both are zipped.
    QSet<QString> FNewNames;
    TEndCentral FNewEnd;
    qint64 FTotalBytes = 0;
    qint64 FTotalDone = 0;
    qint64 FZipSize = 0;
    int FAdded = 0;
    QStringList FDisposeList;
    QSet<QString> FOldNames;     // stored names of the old members
    // What the folder search learnt of each file it found, so that zipping
    // it needs no second look at the file system.
    struct FileFacts {
        qint64 Size;
        qint64 UnixTime;
        quint32 Mode;
    };
    QHash<QString, FileFacts> FFacts;
    qint64 FArchiveDev = -1, FArchiveIno = -1;
    ZipDetail::TraditionalCipher *FCipherOut = nullptr;   // the member being encrypted
};
