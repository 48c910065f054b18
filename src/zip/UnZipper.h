#pragma once
// TUnZipper: reads an archive's directory and extracts its members.
//
// Paths on disk are native ("/"); member names keep "\" between folders as
// the archive records hold them (ZipObj.h). Member names are code page 936,
// or UTF-8 when the member's general purpose bit 11 says so.
//
// Message boxes go through OnHandleMessage; without a handler the library
// answers conservatively (No to a question, Cancel to OK/Cancel). The file
// and folder dialogs that a ZipName or DestDir of "?" opens are the
// application's: OnSelectZipName and OnSelectDestDir; without them the
// choice counts as cancelled.

#include "ZipObj.h"
#include "ZipStreams.h"

#include <QString>
#include <QSet>
#include <atomic>

namespace ZipDetail {
class MemberIO;
class TraditionalCipher;
}
#include <functional>
#include <memory>

enum TIncompleteZipMode { izAssumeMulti = 0, izAssumeBad = 1, izAssumeNotAZip = 2 };
enum class TUZOverwriteMode { Prompt = 0, Always = 1, Never = 2, ifNewer = 3, ifOlder = 4 };
enum TSkipReason {
    skrBadPassword = 0,
    skrNotOverwritten = 1,
    skrCannotOpen = 2,
    skrCannotCreate = 3,
    skrExcluded = 4,
    skrArchiveBitClear = 5,
    skrNotInArchive = 6,
    skrSkippedByHandler = 7,
};
enum TMultiMode { mmNone = 0, mmSpan = 1, mmBlocks = 2 };
enum TBlockMode { bmStandard = 0, bmClassic = 1 };
enum TSplitPartType { sptFirst = 0, sptMiddle = 1, sptLast = 2 };

// Message box flags and answers used with ShowLibraryMessage.
enum : quint32 { ZMB_OK = 0x00, ZMB_OKCANCEL = 0x01, ZMB_YESNO = 0x04, ZMB_ICONERROR = 0x10, ZMB_ICONQUESTION = 0x20 };
enum : int { ZID_OK = 1, ZID_CANCEL = 2, ZID_YES = 6, ZID_NO = 7 };

class TUnZipper : public TComponent {
public:
    explicit TUnZipper(TComponent *AOwner = nullptr);
    ~TUnZipper() override;
    void Assign(const TUnZipper &Source);

    // ---- the archive ----
    QString ZipName() const { return FZipName; }
    virtual void SetZipName(const QString &Value);
    // Uses an archive stream of the application (not owned) instead of a file.
    void SetZipStream(TStream *Stream);
    int MemberCount() const;
    void OpenAndReadDirectory();
    void CloseAndForgetArchive();
    // A member in the order of SortMode; EListError "Index %d is out of range".
    TZipHeaderInfo *Member(int Index) const;
    QString MemberComment(int Index);
    QString ArchiveComment();
    TEndCentral &EndCentralRecord() { return FEndCentral; }
    TMultiMode MultiMode() const { return FMultiMode; }

    // ---- extraction ----
    int UnpackFiles();
    // Test mode: decompresses the selected members and checks them, writing nothing.
    int TestFiles();
    // Members of the last UnpackFiles or TestFiles that failed (bad CRC or
    // password, a method this library cannot decode, damaged data).
    int FailedCount() const { return FFailed; }
    // Compression methods DecodeMember can decode.
    static bool CanDecodeMethod(quint16 Method);
    // Extracts one member (index in the current view) into Stream or memory;
    // the size and CRC are checked (False and OnBadCRC when they differ). A
    // member whose method cannot be decoded raises EZipperException naming it;
    // a cancel raises ECanceledUnzipToBuffer.
    bool UnzipToStream(int Index, TStream *Stream);
    QByteArray UnzipToBuffer(int Index);
    // Threads that decode members going to separate files (0: one per core;
    // 1, or an OnFilePercentDone handler, decodes one member at a time).
    // Questions and events still come in member order on the caller's thread.
    int ExtractThreads = 0;
    // Application marks: with UseMarks, UnpackFiles selects exactly the marked members.
    void MarkMember(int Index, bool Marked = true);
    bool UseMarks = false;

    // Stop or hold a running operation (safe from another thread or a handler).
    void Cancel() { FCancel = true; }
    void SetPaused(bool Value) { FPause = Value; }
    bool Busy() const { return FBusy; }

    // The password of the traditional cipher (not a published property):
    // encrypted members are read, and TZipper writes members encrypted, only
    // when it is not empty. It goes into the cipher as code page 936 bytes.
    QString Password() const { return FPassword; }
    void SetPassword(const QString &Value) { FPassword = Value; }

    int ShowLibraryMessage(int MessageID, const QString &Msg1, const QString &Msg2, quint32 Flags);

    // ---- properties ----
    QString DestDir() const { return FDestDir; }
    void SetDestDir(const QString &Value);
    QString RootDir() const { return FRootDir; }
    void SetRootDir(const QString &Value);
    TStrings &FilesList() { return FFilesList; }
    TStrings &RelativePathList() { return FRelativePathList; }
    TZipSortMode SortMode() const { return FSortMode; }
    void SetSortMode(TZipSortMode Value);
    bool KeepZipOpen() const { return FKeepZipOpen; }
    void SetKeepZipOpen(bool Value);
    int ThisVersion() const { return FThisVersion; }
    void SetThisVersion(int) { FThisVersion = 306; }
    int ThisBuild() const { return FThisBuild; }
    void SetThisBuild(int) { FThisBuild = 1; }

    bool DoAll = false;
    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
    bool RetainAttributes = true;
    bool ReplaceReadOnly = false;
    bool FlushFilesOnClose = false;
    bool DoProcessMessages = true;
    TIncompleteZipMode IncompleteZipMode = izAssumeMulti;
    TBlockMode BlockMode = bmStandard;
    TOEMConvert OEMConvert = oemAlways;
    // Disk labels do not exist here; kept for settings that carry the value.
    bool CheckDiskLabels = true;

    // ---- events ----
    std::function<void(TObject *Sender, int NumFiles, qint64 TotalBytes, bool &StopNow)> OnStartUnZipInfo;
    std::function<void(TObject *Sender, int FileIndex, QString &FName, bool &Skip)> OnStartUnZip;
    std::function<void(TObject *Sender, bool &OverWriteIt, int FileIndex, QString &FName)> OnPromptForOverwrite;
    std::function<void(TObject *Sender, TSkipReason Reason, const QString &FName, int FileIndex, bool &Retry)> OnSkippingFile;
    std::function<void(TObject *Sender, int FileIndex, QString &NewPassword)> OnBadPassword;
    std::function<void(TObject *Sender, quint32 CalcCRC, quint32 StoredCRC, int FileIndex)> OnBadCRC;
    std::function<void(TObject *Sender, int Percent)> OnFilePercentDone;
    std::function<void(TObject *Sender, int Percent)> OnTotalPercentDone;
    std::function<void(TObject *Sender, int FileIndex, const QString &FName)> OnEndUnZip;
    std::function<void(TObject *Sender, int FileCount)> OnUnZipComplete;
    std::function<void(TObject *Sender, uchar *Buffer, int Length, const QString &Password)> OnDecrypt;
    std::function<void(TObject *Sender, int MessageID, const QString &Msg1, const QString &Msg2, quint32 Flags, int &Return)> OnHandleMessage;
    std::function<void(TObject *Sender, TIncompleteZipMode &IncompleteMode)> OnInCompleteZip;
    std::function<void(TObject *Sender, QString &FName, int PartNum, TSplitPartType SplitType)> OnFileNameForSplitPart;
    std::function<void(TObject *Sender, int NextDisk, QString &FName)> OnGetNextDisk;
    // The application's file and folder dialogs for "?" (True: chosen).
    std::function<bool(TObject *Sender, const QString &Title, const QString &Filter, const QString &InitialDir, QString &FileName)> OnSelectZipName;
    std::function<bool(TObject *Sender, const QString &InitialDir, QString &Folder)> OnSelectDestDir;

protected:
    // Opens the archive stream and loads the directory when needed.
    void OpenArchive();
    void CloseArchive();
    void ReadArchiveDirectory(TStream *Stream);
    bool LocateEndOfCentralDir(TStream *Stream);
    bool ScanLocalHeaders(TStream *Stream);
    void DropDirectory();
    void BuildSortedView();
    void CheckIndex(int Index) const;
    // Messages, cancel and pause between buffers; raises EUserCanceled (181).
    void CheckCancel();
    void SwitchToDisk(quint32 Disk);
    QString PartName(quint32 Disk);
    // The name of a part of a split set (OnFileNameForSplitPart decides alone
    // when assigned): bmStandard base.z01, base.z02, ..., the last base.zip;
    // bmClassic base.001, base.002, ...
    QString SplitPartName(int PartNum, TSplitPartType Type);
    // Asks for a disk of a set (1-based): OnGetNextDisk, else message 184.
    // False when cancelled.
    bool AskForDisk(int NextDisk, QString &FName);
    TStream *Archive() const { return FArchive; }
    int Percent(qint64 Done, qint64 Total) const;
    void ReadLazyComment(TZipHeaderInfo &H);
    // Where a member's data must end: the next member or the central directory.
    qint64 MemberDataLimit(const TZipHeaderInfo &H) const;
    // The size of the open archive (or part), asked once while it stays open.
    qint64 ArchiveSize() const;
    mutable qint64 FArchiveSize = 0;
    mutable int FLastLimitIndex = -1;
    mutable bool FSizeKnown = false;

    struct FileStamp {
        qint64 Seconds = 0;
        qint64 Nanoseconds = 0;
        qint64 Size = -1;
        bool operator==(const FileStamp &) const = default;
    };
    FileStamp ArchiveStamp() const;

    QString FZipName;
    QString FBaseName;
    QString FDestDir;
    QString FRootDir;
    TStringList FFilesList;
    TStringList FRelativePathList;
    TZipSortMode FSortMode = ByNone;
    bool FKeepZipOpen = false;
    int FThisVersion = 306;
    int FThisBuild = 1;

    TStream *FArchive = nullptr;                   // the open archive stream
    std::unique_ptr<TLFNFileStream> FOwnedArchive; // when it is a file we opened
    bool FZipIsStream = false;
    std::unique_ptr<TSortedZip> FMembers;          // archive order
    std::unique_ptr<TSortedZip> FSortedView;       // null when SortMode is ByNone
    TSortedZip *View() const { return FSortedView ? FSortedView.get() : FMembers.get(); }
    FileStamp FArchiveDate;
    bool FDirectoryLoaded = false;
    TEndCentral FEndCentral;
    quint32 FNumberOfDisks = 1;
    quint32 FCurrentDisk = 0;
    TMultiMode FMultiMode = mmNone;
    bool FScanning = false;
    bool FFromZfc = false;
    std::atomic<bool> FCancel{false};
    std::atomic<bool> FPause{false};
    bool FBusy = false;
    QString FPassword;

private:
    enum class RunKind { Extract, Test };
    int RunExtraction(RunKind Kind);
    class Sink;
    class NullSink;
    class StreamSink;
    class FileSink;
    // MakeFoldersInside, remembering the folders made or found in this run.
    bool MakeFolders(const QString &Base, const QString &Folder);
    QSet<QString> FMadeFolders;
    // Decodes one member into Out; returns True when size and CRC match.
    // What a member decoded off the caller's thread works with.
    struct WorkerContext {
        TStream *Archive;              // the worker's own stream on the archive
        qint64 Limit;                  // where the member's data must end
        const std::atomic<bool> *Stop; // set when the run ends early
    };
    bool DecodeMember(TZipHeaderInfo &H, Sink &Out, quint32 &CalcCRC, const WorkerContext *Worker = nullptr);
    bool ExtractOne(int Index, TZipHeaderInfo &H, RunKind Kind, int &Count, bool &Retry);
    // ExtractOne of a test run.
    bool MayDecode(int Index, const TZipHeaderInfo &H, QString &FName);
    bool TestOne(int Index, TZipHeaderInfo &H, int &Count, bool &Retry);
    // The three steps of ExtractOne: everything up to the temporary output
    // file (a Job when the member is to be decoded), the decoding (on a
    // worker when Worker is given), and the check, rename and events.
    // BeforeFolders, when given, is called with the output path just before
    // the member's folders are made.
    struct ExtractJob;
    bool PrepareExtract(int Index, TZipHeaderInfo &Listed, RunKind Kind, int &Count, bool &Retry,
                        std::unique_ptr<ExtractJob> &Job,
                        const std::function<void(const QString &FName)> &BeforeFolders = {});
    void DecodeJob(ExtractJob &J, const WorkerContext *Worker);
    bool FinishExtract(ExtractJob &J, int &Count, bool &Retry);
    bool BadMemberData(ExtractJob &J, bool &Retry);
    // Extracts the selected members of List with decoding on Threads workers.
    void ExtractParallel(TSortedZip *List, int Threads, int &Count);
    // Tests them so.
    void TestParallel(TSortedZip *List, int Threads, int &Count);
    class MemberStream;
    friend class MemberStream;
    // Seeks to a member's data after its local header; returns the
    // compressed size and the local header's DOS date-time.
    qint64 SeekMemberData(const TZipHeaderInfo &H, quint32 &CheckTime, const WorkerContext *Worker = nullptr);
    void Inflate(ZipDetail::MemberIO &IO);
    // The password check of an encrypted member (its 12-byte header).
    bool PasswordFits(const TZipHeaderInfo &H);
    // OnBadPassword; False when it gives no new password.
    bool AskNewPassword(int Index);
    // True for a plain member or once a password fits (asking for new ones).
    bool AcceptPassword(int Index, const TZipHeaderInfo &H);
    // Decrypts member data in place: OnDecrypt when assigned, else the cipher.
    void DecryptData(unsigned char *Data, qint64 Count);
    std::unique_ptr<ZipDetail::TraditionalCipher> FCipher;
    QString OutputPath(const TZipHeaderInfo &H, bool &Refused) const;
    // The folder outputs go below: DestDir, else the current folder (taken
    // once at the start of a run).
    QString RunBase() const;
    QString FRunBase;
    void ReportFile(qint64 Done, qint64 Size);
    void ReportTotal(qint64 Done);
    qint64 FTotalBytes = 0;
    qint64 FTotalDone = 0;
    qint64 FFileDone = 0;
    qint64 FFileSize = 0;
    int FFailed = 0;
    // Message 197 naming the member and its method.
    QString UnknownMethodText(const TZipHeaderInfo &H) const;
};
