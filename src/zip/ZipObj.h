#pragma once
// Archive records of the zip library: the member record (central and local
// headers), the end-of-central-directory record with its Zip64 companions,
// the record signatures, the library's exceptions and resource strings, and
// the member list with its sort orders.

#include "platform/core/Classes.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// ------------------------------------------------------------ resource strings

// The library's numbered message texts.
QString ZipResourceString(int Id);

// ------------------------------------------------------------------ exceptions

QB_DECLARE_EXCEPTION(EZipperException, Exception)
QB_DECLARE_EXCEPTION(EBadZipFile, EZipperException)
QB_DECLARE_EXCEPTION(EIncompleteZip, EZipperException)
QB_DECLARE_EXCEPTION(ENotAZipFile, EZipperException)
QB_DECLARE_EXCEPTION(EFatalUnzipError, EZipperException)
QB_DECLARE_EXCEPTION(EUserCanceled, EZipperException)
QB_DECLARE_EXCEPTION(EBiggerThanUncompressed, EZipperException)
QB_DECLARE_EXCEPTION(ENotEnoughRoom, EZipperException)
QB_DECLARE_EXCEPTION(ECantWriteUCF, EZipperException)
QB_DECLARE_EXCEPTION(ECanceledUnzipToBuffer, EZipperException)
QB_DECLARE_EXCEPTION(EConfigFileSaveError, EZipperException)
// A part of a split set that is not there (and that no OnGetNextDisk
// handler supplied): nobody was asked, so it is no cancel. PartName is the
// file the part was looked for under.
class EMissingSplitPart : public EZipperException {
public:
    explicit EMissingSplitPart(const QString &APartName)
        : EZipperException(QStringLiteral("Part of the split archive missing: ") + APartName), FPartName(APartName)
    {
    }
    QString PartName() const { return FPartName; }

private:
    QString FPartName;
};
QB_DECLARE_EXCEPTION(EZLibError, Exception)
QB_DECLARE_EXCEPTION(EZCompressionError, EZLibError)

// ------------------------------------------------------------------ signatures

// Process-wide record signatures; 0 selects the default of each.
void SetArchiveSignatures(quint32 Central, quint32 Local, quint32 EndOfCentral);
quint32 CentralFileHeaderSignature();
quint32 LocalFileHeaderSignature();
quint32 EndOfCentralSignature();
inline constexpr quint32 Zip64EndOfCentralSignature = 0x06064B50;
inline constexpr quint32 Zip64EndLocatorSignature = 0x07064B50;
inline constexpr quint32 SpanningSignature = 0x08074B50;

// ---------------------------------------------------------------- enumerations

enum TOEMConvert : quint8 { oemAlways = 0, oemNever = 1, oemFlexible = 2 };

enum TZipSortMode {
    ByName = 0,
    ByFileName = 1,
    ByDirectoryName = 2,
    ByDate = 3,
    ByCompressedSize = 4,
    ByUnCompressedSize = 5,
    ByRate = 6,
    ByNone = 7,
};

// ------------------------------------------------------------- member record

// The Zip64 extra block as it lies in an archive (tag 1).
struct TZip64ExtendedInfo {
    quint16 Tag = 1;
    quint16 Size = 0;
    quint64 UncompressedSize = 0;
    quint64 CompressedSize = 0;
    quint64 RelativeOffsetOfLocalHeader = 0;
    quint32 DiskNumberStart = 0;
};

class TZipHeaderInfo : public TObject {
public:
    TZipHeaderInfo();
    ~TZipHeaderInfo() override;

    void Clear();
    void Assign(const TZipHeaderInfo &Source);
    void AssignTo(TZipHeaderInfo &Dest) const { Dest.Assign(*this); }

    // Reads a central header at the stream's position. NextDisk, when given,
    // replaces the stream by the next part of a spanned set and returns it.
    bool ReadCentralHeader(TStream *Stream, const std::function<TStream *()> &NextDisk = {});
    // ExtraSource is the archive the stored extra field was read from (may be null).
    void WriteCentralHeader(TStream *Stream, TStream *ExtraSource);
    bool ReadLocalHeader(TStream *Stream);
    void WriteLocalHeader(TStream *Stream);

    // Plain fields.
    quint16 VersionMadeBy = 45;
    quint16 VersionNeeded = 20;
    quint16 GeneralPurposeFlags = 0;
    quint16 CompressionMethod = 8;
    quint32 LastModFileDateTime = 0;
    quint32 CRC32 = 0xFFFFFFFF;
    quint16 ExtraFieldLength = 0;
    quint16 LocalExtraFieldLength = 0;
    quint16 InternalFileAttributes = 1;
    quint32 ExternalFileAttributes = 0x20;
    qint64 CentralHeaderPosition = 0;
    TOEMConvert OEMConvert = oemAlways;
    qint64 ExtraFieldPosition = 0;
    quint16 StoredExtraLength = 0;
    quint16 Zip64ExtraLength = 0;
    // Marks: selected for this extraction run, action (2 drops the member when
    // the archive is rewritten), application mark.
    quint8 Selected = 0;
    quint8 Action = 0;
    quint8 MarkedByApplication = 0;

    // Name parts; "\" separates folders. Directory, when not empty, ends with "\".
    QString FileName() const { return FFileName; }
    const QString &FileNameRef() const { return FFileName; }
    const QString &DirectoryRef() const { return FDirectory; }
    void SetFileName(const QString &Value);
    QString Directory() const { return FDirectory; }
    void SetDirectory(const QString &Value);
    // Bytes of the name as stored in the archive.
    quint16 FileNameLength() const { return FFileNameLength; }

    // 64-bit views of the Zip64-capable fields.
    qint64 UncompressedSize() const;
    void SetUncompressedSize(qint64 Value);
    qint64 CompressedSize() const;
    void SetCompressedSize(qint64 Value);
    qint64 RelativeOffsetOfLocalHeader() const;
    void SetRelativeOffsetOfLocalHeader(qint64 Value);
    quint32 DiskNumberStart() const;
    void SetDiskNumberStart(quint32 Value);
    // The raw header fields (all ones means "in the Zip64 block").
    quint32 UncompressedSize32() const { return FUncompressedSize; }
    quint32 CompressedSize32() const { return FCompressedSize; }
    quint32 RelativeOffset32() const { return FRelativeOffset; }
    quint16 DiskNumberStart16() const { return FDiskNumberStart; }

    TZip64ExtendedInfo *Zip64ExtendedInfo() const { return FZip64.get(); }

    QByteArray FileComment() const { return FComment; }
    void SetFileComment(const QByteArray &Value);
    // The loaded comment as text: its Info-ZIP Unicode Comment block when that
    // block's CRC matches the comment, else decoded like the name.
    QString DecodedComment() const;
    quint16 FileCommentLength() const { return FFileCommentLength; }
    void SetFileCommentLength(quint16 Value) { FFileCommentLength = Value; }
    bool CommentLoaded() const { return FCommentLoaded; }

    bool IsEncrypted() const { return GeneralPurposeFlags & 0x0001; }
    bool HasDescriptor() const { return GeneralPurposeFlags & 0x0008; }
    bool HasComment() const { return FFileCommentLength > 0; }
    qint64 LocalSize() const { return 30 + FFileNameLength + LocalExtraFieldLength; }
    qint64 CentralSize() const { return 46 + FFileNameLength + ExtraFieldLength + FFileCommentLength; }

    // Directory + FileName with "\" separators.
    QString StoredName() const { return FDirectory + FFileName; }
    // The name's bytes in the archive ("/" separators, code page 936 or UTF-8).
    // A name read from an archive and not changed since keeps its bytes.
    QByteArray ArchiveName();
    // The Info-ZIP Unicode Path block (tag 0x7075) written beside a name that
    // goes out as code page 936 with characters beyond ASCII, so readers that
    // take UTF-8 names find the right one; empty when none is due.
    QByteArray UnicodePathBlock();
    // Host system of VersionMadeBy (0 MS-DOS, 3 Unix, ...).
    int HostSystem() const { return VersionMadeBy >> 8; }

private:
    TZip64ExtendedInfo &Zip64();
    // Stores Value in the 32-bit field, or 0xFFFFFFFF there and Value in the Zip64 block.
    void SetWideField(quint32 &Narrow, quint64 TZip64ExtendedInfo::*Field, qint64 Value);
    int Zip64Size(bool ForLocal) const;
    int LocalZip64Parts() const;
    static int LocalZip64Bytes(int Parts);
    void WriteCentralZip64Block(TStream *Stream, int Size);
    void SplitName(QString Name);
    void UpdateNameLength();
    // Sets the name from its archive bytes by DecodeArchiveName.
    void TakeName(const QByteArray &Bytes, const QByteArray &Extra, int Host);

    quint32 FCompressedSize = 0;
    quint32 FUncompressedSize = 0;
    quint16 FFileNameLength = 0;
    quint16 FFileCommentLength = 0;
    quint16 FDiskNumberStart = 0;
    quint32 FRelativeOffset = 0;
    QString FFileName;
    QString FDirectory;
    std::unique_ptr<TZip64ExtendedInfo> FZip64;
    QByteArray FComment;
    bool FCommentLoaded = false;
    QByteArray FNameBytes;          // as read; empty once the name is changed
    QByteArray FUnicodeComment;     // Info-ZIP Unicode Comment block (version 1)
    // Layout of the local Zip64 block chosen when the local header was first
    // written (-1: not yet written); a rewrite keeps it so the header never grows.
    int FLocalZip64Parts = -1;
};

// ------------------------------------------------------------ end records

struct TZip64EndRecord {
    quint32 Signature = Zip64EndOfCentralSignature;
    quint64 SizeOfRecord = 44;
    quint16 VersionMadeBy = 45;
    quint16 VersionNeeded = 45;
    quint32 NumberOfThisDisk = 0;
    quint32 NumberOfDiskWithStartOfCentral = 0;
    quint64 EntriesOnThisDisk = 0;
    quint64 TotalEntries = 0;
    quint64 SizeOfCentralDirectory = 0;
    quint64 OffsetOfCentralDirectory = 0;
};

struct TZip64Locator {
    quint32 Signature = Zip64EndLocatorSignature;
    quint32 DiskWithZip64End = 0;
    quint64 OffsetOfZip64End = 0;
    quint32 TotalDisks = 1;
};

class TEndCentral : public TObject {
public:
    TEndCentral();
    void Clear();
    void Assign(const TEndCentral &Source);
    void WriteEndOfCentral(TStream *Stream);

    quint32 Signature = 0;
    qint64 ZipCommentPosition = 0;
    quint8 Flag = 0;

    quint32 NumberOfThisDisk() const;
    void SetNumberOfThisDisk(quint32 Value);
    quint32 NumberOfDiskWithStartOfCentral() const;
    void SetNumberOfDiskWithStartOfCentral(quint32 Value);
    qint64 EntriesOnThisDisk() const;
    void SetEntriesOnThisDisk(qint64 Value);
    qint64 TotalEntries() const;
    void SetTotalEntries(qint64 Value);
    qint64 SizeOfCentralDirectory() const;
    void SetSizeOfCentralDirectory(qint64 Value);
    qint64 OffsetOfCentralDirectory() const;
    void SetOffsetOfCentralDirectory(qint64 Value);

    quint16 ZipCommentLength() const { return FZipCommentLength; }
    void SetZipCommentLength(quint16 Value) { FZipCommentLength = Value; }
    QByteArray ZipComment() const { return FZipComment; }
    void SetZipComment(const QByteArray &Value);
    bool CommentLoaded() const { return FCommentLoaded; }
    qint64 RecordSize() const { return 22 + FZipCommentLength; }

    // Raw 16/32-bit fields as found in the record.
    quint16 NumberOfThisDisk16 = 0;
    quint16 NumberOfDiskWithStartOfCentral16 = 0;
    quint16 EntriesOnThisDisk16 = 0;
    quint16 TotalEntries16 = 0;
    quint32 SizeOfCentralDirectory32 = 0;
    quint32 OffsetOfCentralDirectory32 = 0;

    TZip64EndRecord *Zip64EndRecord() const { return FZip64End.get(); }
    TZip64Locator *Zip64Locator() const { return FZip64Locator.get(); }
    TZip64EndRecord &NeedZip64EndRecord();
    TZip64Locator &NeedZip64Locator();
    void FreeZip64();

private:
    quint16 FZipCommentLength = 0;
    QByteArray FZipComment;
    bool FCommentLoaded = false;
    std::unique_ptr<TZip64EndRecord> FZip64End;
    std::unique_ptr<TZip64Locator> FZip64Locator;
};

// ----------------------------------------------------------------- lists

class TFiler;

// The classes whose objects the lists below can stream, by the name their
// objects give as TStreamable::StreamClassName. Create makes a new, empty
// object, which must be a TStreamable. Registering a name again replaces
// its maker.
void RegisterObjectClass(const QString &ClassName, std::function<TObject *()> Create);

// The library's own object list. Index errors raise EListError.
class TObjectList : public TObject {
public:
    explicit TObjectList(bool AOwnsObjects = true) : OwnsObjects(AOwnsObjects) {}
    ~TObjectList() override;

    int Count() const { return int(FItems.size()); }
    int Capacity() const { return FCapacity; }
    void SetCapacity(int Value);
    TObject *Items(int Index) const;
    virtual void Put(int Index, TObject *Item);
    virtual int Add(TObject *Item);
    void Insert(int Index, TObject *Item);
    void Delete(int Index);
    TObject *Extract(int Index);   // removes without freeing
    void Clear();
    int IndexOf(const TObject *Item) const;
    // Neighbour of Item: Direction 0 the previous, 1 the next; without an item the
    // last (previous) or the first (next) item; null past either end.
    TObject *Neighbour(const TObject *Item, int Direction) const;

    // Streams the objects through the filer as the property "ObjectContainer":
    // ObjectContainer.Count, then for object N its class name as
    // ObjectContainer.N.ClassName and its own properties under
    // ObjectContainer.N. Every object must be of a registered class:
    // writing raises EListError "Nil Source Class!" for an empty slot and
    // "Source Class <name> not registered" for any other class. Reading
    // first clears the list, then makes and adds (through Add) an object of
    // each class named, raising EListError "Class <name> not registered" for
    // a class that is not; an image with a class name or a count missing or
    // damaged raises EReadError "Invalid stream format".
    void DefineProperties(TFiler &Filer);

    bool OwnsObjects;

protected:
    void CheckIndex(int Index) const;
    void Grow();
    std::vector<TObject *> FItems;
    int FCapacity = 0;
};

class TSortedObjectList : public TObjectList {
public:
    // Duplicates: 0 ignore, 1 accept, 2 error.
    explicit TSortedObjectList(int ADuplicates, bool AOwnsObjects = true)
        : TObjectList(AOwnsObjects), Duplicates(ADuplicates) {}
    int Add(TObject *Item) override;
    // Adds Items in their order with the same result as Add, one by one;
    // into an empty list that keeps duplicates, in one sort instead of
    // moving the list for each item that comes out of order.
    virtual void AddAll(const std::vector<TObject *> &Items);
    void Put(int Index, TObject *Item) override;
    // Binary search: True when an equal key was found; Index is where it is or would go.
    bool Find(const TObject *Key, int &Index) const;
    virtual const TObject *KeyOf(const TObject *Item) const { return Item; }
    virtual int Compare(const TObject *Item, const TObject *Key) const = 0;

    int Duplicates;
};

class TSortedZip : public TSortedObjectList {
public:
    explicit TSortedZip(int ADuplicates, bool AOwnsObjects = true)
        : TSortedObjectList(ADuplicates, AOwnsObjects) {}
    int Add(TObject *Item) override;
    void AddAll(const std::vector<TObject *> &Items) override;
    int Compare(const TObject *Item, const TObject *Key) const override;
    TZipHeaderInfo *Item(int Index) const { return static_cast<TZipHeaderInfo *>(Items(Index)); }

    TZipSortMode SortMode = ByNone;
    bool HasZip64 = false;
};

// ----------------------------------------------------------------- helpers

// Text of an archive record: flag bit 11 or a Unix host with valid UTF-8
// bytes give UTF-8, anything else code page 936.
QString DecodeArchiveText(const QByteArray &Bytes, quint16 Flags, int Host);
// The one rule for member names, whichever header they come from: a Unicode
// Path block (in Extra) whose CRC matches the name bytes, else the text rule
// above. Separators are left as they are.
QString DecodeArchiveName(const QByteArray &Bytes, const QByteArray &Extra, quint16 Flags, int Host);
// The host system a local header's extra field reveals: 3 (Unix) when it
// holds a Unix owner block, which only Unix hosts write; else -1 (unknown).
// A local header carries no host byte of its own.
int LocalHeaderHost(const QByteArray &Extra);
// Strict UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(const QByteArray &Bytes);
// Finds an extra block by tag in an extra field; its data, or a null array.
QByteArray FindExtraBlock(const QByteArray &Extra, quint16 Tag);
// The data of an Info-ZIP Unicode Path or Comment block when its version is 1
// and its CRC matches Original; else a null array.
QByteArray CheckedUnicodeBlock(const QByteArray &Block, const QByteArray &Original);

// DOS date-time repair: clamps out-of-range fields (hour 23, minute 59,
// seconds 59, year 2099, month 12, month and day at least 1).
quint32 RepairDosDateTime(quint32 Value);
// Compression percentage: compressed * 100 / uncompressed, rounded, 0..100.
int CompressionRate(qint64 Compressed, qint64 Uncompressed);
