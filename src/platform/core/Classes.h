#pragma once
// Streams and string lists.

#include "Types.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

// ------------------------------------------------------------------ streams

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
public:
    // Read returns the number of bytes read (0 at the end); Write the number written.
    virtual qint64 Read(void *Buffer, qint64 Count) = 0;
    virtual qint64 Write(const void *Buffer, qint64 Count) = 0;
    virtual qint64 Seek(qint64 Offset, TSeekOrigin Origin) = 0;

    qint64 Position();
    void SetPosition(qint64 Pos);
    virtual qint64 Size();
    virtual void SetSize(qint64 NewSize);

    // Raise EReadError / EWriteError (Chinese texts) on a short transfer.
    void ReadBuffer(void *Buffer, qint64 Count);
    void WriteBuffer(const void *Buffer, qint64 Count);
    // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
    qint64 CopyFrom(TStream *Source, qint64 Count);

    QByteArray ReadBytes(qint64 Count);     // reads up to Count bytes
    // As WriteBuffer of the bytes; a stream may keep a shared copy instead of copying.
    virtual void WriteBytes(const QByteArray &Bytes);

    // Component images (ComponentStream.h): the instance must be a TStreamable.
    // ReadComponent raises EReadError "Invalid stream format" for a damaged image.
    void WriteComponent(TComponent *Instance);
    void ReadComponent(TComponent *Instance);
};

// File open modes (combine one access mode with one share mode).
enum : quint16 {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,
};

// A file on disk with 64-bit positions. Raises EFCreateError or EFOpenError with
// the texts of CannotCreateFileText / CannotOpenFileText (file name and reason).
class TFileStream : public TStream {
public:
    TFileStream(const QString &FileName, quint16 Mode);
    ~TFileStream() override;
    qint64 Read(void *Buffer, qint64 Count) override;
    qint64 Write(const void *Buffer, qint64 Count) override;
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override;
    void SetSize(qint64 NewSize) override;
    QString FileName() const { return FFileName; }
    int Handle() const { return FHandle; }
    void Flush();   // fsync

private:
    QString FFileName;
    int FHandle = -1;
};

class TMemoryStream : public TStream {
public:
    qint64 Read(void *Buffer, qint64 Count) override;
    qint64 Write(const void *Buffer, qint64 Count) override;
    qint64 Seek(qint64 Offset, TSeekOrigin Origin) override;
    qint64 Size() override { return FData.size(); }
    void SetSize(qint64 NewSize) override;
    // Writing whole bytes over all of the stream's content shares them instead of copying.
    void WriteBytes(const QByteArray &Bytes) override;
    void Clear();
    char *Memory() { return FData.data(); }
    const QByteArray &Bytes() const { return FData; }
    void LoadFromStream(TStream *Stream);
    void SaveToStream(TStream *Stream);
    void LoadFromFile(const QString &FileName);
    void SaveToFile(const QString &FileName);

private:
    QByteArray FData;
    qint64 FPosition = 0;
};

// ------------------------------------------------------------- string list

enum TDuplicates { dupIgnore, dupAccept, dupError };

// A list of strings with attached object pointers (not owned) and access by name
// to lines of the form name=value. Names compare case-insensitively. Files are
// read and written whole in code page 936; reading accepts CR LF, LF and CR,
// writing uses CR LF.
class TStringList : public TObject {
public:
    TStringList() = default;
    TStringList(const TStringList &Other);
    TStringList &operator=(const TStringList &Other);
    explicit TStringList(const QStringList &Lines);

    int Count() const { return int(FItems.size()); }
    QString Strings(int Index) const;                 // EListError "List index out of bounds (i)"
    void SetStrings(int Index, const QString &S);
    QString operator[](int Index) const { return Strings(Index); }
    TObject *Objects(int Index) const;
    void SetObjects(int Index, TObject *Obj);

    int Add(const QString &S);                        // returns the index (sorted lists insert in order)
    int AddObject(const QString &S, TObject *Obj);
    void Append(const QString &S) { Add(S); }
    void AddStrings(const TStringList &Strings);
    void Insert(int Index, const QString &S);
    void InsertObject(int Index, const QString &S, TObject *Obj);
    void Delete(int Index);
    void Clear();
    void Exchange(int Index1, int Index2);
    void Move(int CurIndex, int NewIndex);
    void Assign(const TStringList &Source);
    int IndexOf(const QString &S) const;              // case-insensitive unless CaseSensitive
    int IndexOfObject(TObject *Obj) const;

    // Text: lines joined with CR LF, each line followed by one; setting splits on CR LF, LF or CR.
    QString Text() const;
    void SetText(const QString &Value);
    QString CommaText() const;
    void SetCommaText(const QString &Value);
    QString DelimitedText() const;
    void SetDelimitedText(const QString &Value);
    QChar Delimiter = QLatin1Char(',');
    QChar QuoteChar = QLatin1Char('"');

    // name=value access. Names(i) is the part before the first '='. Setting a
    // value to "" deletes the line; setting an absent name appends "name=value".
    QString Names(int Index) const;
    QString ValueFromIndex(int Index) const;
    QString Values(const QString &Name) const;
    void SetValues(const QString &Name, const QString &Value);
    int IndexOfName(const QString &Name) const;

    bool Sorted() const { return FSorted; }
    void SetSorted(bool Value);
    TDuplicates Duplicates = dupIgnore;
    bool CaseSensitive = false;
    bool Find(const QString &S, int &Index) const;    // binary search in a sorted list
    void Sort();
    void CustomSort(const std::function<int(TStringList *List, int Index1, int Index2)> &Compare);

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    std::function<void(TObject *Sender)> OnChange;

    void LoadFromFile(const QString &FileName);       // EFOpenError when it cannot be read
    void SaveToFile(const QString &FileName) const;   // EFCreateError; replaces the file whole
    void LoadFromStream(TStream *Stream);
    void SaveToStream(TStream *Stream) const;

    QStringList ToQStringList() const;

private:
    struct Item {
        QString S;
        TObject *Obj = nullptr;
    };
    std::vector<Item> FItems;
    bool FSorted = false;
    int FUpdateCount = 0;
    int CompareStrings(const QString &A, const QString &B) const;
    void Changed();
    void CheckIndex(int Index) const;
};

using TStrings = TStringList;

// A whole text file as its list of lines, the way a string list reads and
// writes it (code page 936, CR LF; an existing file is replaced only by a
// complete new one). LoadLines raises EFOpenError, SaveLines EFCreateError.
QStringList LoadLines(const QString &FileName);
void SaveLines(const QString &FileName, const QStringList &Lines);
