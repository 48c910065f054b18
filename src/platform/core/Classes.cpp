#include "Classes.h"

#include "Codec.h"
#include "FileUtils.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ------------------------------------------------------------------ TStream

qint64 TStream::Position()
{
    return Seek(0, soCurrent);
}

void TStream::SetPosition(qint64 Pos)
{
    Seek(Pos, soBeginning);
}

qint64 TStream::Size()
{
    const qint64 Pos = Seek(0, soCurrent);
    const qint64 Result = Seek(0, soEnd);
    Seek(Pos, soBeginning);
    return Result;
}

void TStream::SetSize(qint64)
{
}

void TStream::ReadBuffer(void *Buffer, qint64 Count)
{
    if (Count != 0 && Read(Buffer, Count) != Count)
        throw EReadError(QStringLiteral("读取数据时出错。"));
}

void TStream::WriteBuffer(const void *Buffer, qint64 Count)
{
    if (Count != 0 && Write(Buffer, Count) != Count)
        throw EWriteError(QStringLiteral("写入数据时出错，磁盘可能已满。"));
}

qint64 TStream::CopyFrom(TStream *Source, qint64 Count)
{
    if (Count == 0) {
        Source->SetPosition(0);
        Count = Source->Size();
    }
    const qint64 Result = Count;
    const qint64 BufSize = 64 * 1024;
    QByteArray Buf(int(qMin(Count, BufSize)), Qt::Uninitialized);
    while (Count > 0) {
        const qint64 N = qMin(Count, BufSize);
        Source->ReadBuffer(Buf.data(), N);
        WriteBuffer(Buf.constData(), N);
        Count -= N;
    }
    return Result;
}

QByteArray TStream::ReadBytes(qint64 Count)
{
    QByteArray Out;
    // The count may come from untrusted data: grow as bytes arrive rather than
    // allocating it up front.
    const qint64 Chunk = 1 << 20;
    while (Count > 0) {
        const qint64 Want = qMin(Count, Chunk);
        const qsizetype Old = Out.size();
        Out.resize(Old + Want);
        const qint64 Got = Read(Out.data() + Old, Want);
        Out.resize(Old + qMax<qint64>(Got, 0));
        if (Got < Want)
            break;
        Count -= Got;
    }
    return Out;
}

void TStream::WriteBytes(const QByteArray &Bytes)
{
    WriteBuffer(Bytes.constData(), Bytes.size());
}

// -------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const QString &FileName, quint16 Mode) : FFileName(FileName)
{
    const QByteArray Path = QFile::encodeName(NativePath(FileName));
    if (Mode == fmCreate) {
        FHandle = IsDrivePath(FileName) ? -1 : ::open(Path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (FHandle < 0) {
            const int Err = IsDrivePath(FileName) ? ENOENT : errno;
            throw EFCreateError(CannotCreateFileText(FileName, Err));
        }
        return;
    }
    int Flags = O_RDONLY;
    switch (Mode & 0x0F) {
    case fmOpenWrite: Flags = O_WRONLY; break;
    case fmOpenReadWrite: Flags = O_RDWR; break;
    default: break;
    }
    int Err = ENOENT;
    if (!IsDrivePath(FileName)) {
        FHandle = ::open(Path.constData(), Flags | O_CLOEXEC);
        Err = errno;
        struct stat St {};
        if (FHandle >= 0 && fstat(FHandle, &St) == 0 && S_ISDIR(St.st_mode)) {
            ::close(FHandle);
            FHandle = -1;
            Err = EISDIR;
        }
    }
    if (FHandle < 0)
        throw EFOpenError(CannotOpenFileText(FileName, Err));
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

qint64 TFileStream::Read(void *Buffer, qint64 Count)
{
    qint64 Done = 0;
    auto *P = static_cast<char *>(Buffer);
    while (Done < Count) {
        const ssize_t N = ::read(FHandle, P + Done, size_t(qMin<qint64>(Count - Done, 1 << 30)));
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0)
            break;
        Done += N;
    }
    return Done;
}

qint64 TFileStream::Write(const void *Buffer, qint64 Count)
{
    qint64 Done = 0;
    const auto *P = static_cast<const char *>(Buffer);
    while (Done < Count) {
        const ssize_t N = ::write(FHandle, P + Done, size_t(qMin<qint64>(Count - Done, 1 << 30)));
        if (N < 0 && errno == EINTR)
            continue;
        if (N <= 0)
            break;
        Done += N;
    }
    return Done;
}

qint64 TFileStream::Seek(qint64 Offset, TSeekOrigin Origin)
{
    const int Whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
    const off_t R = ::lseek(FHandle, off_t(Offset), Whence);
    return R < 0 ? -1 : qint64(R);
}

void TFileStream::SetSize(qint64 NewSize)
{
    const qint64 Pos = Position();
    if (::ftruncate(FHandle, off_t(NewSize)) != 0)
        throw EWriteError(QStringLiteral("写入数据时出错，磁盘可能已满。"));
    if (Pos > NewSize)
        Seek(NewSize, soBeginning);
}

void TFileStream::Flush()
{
    if (::fsync(FHandle) != 0)
        throw EWriteError(QStringLiteral("写入数据时出错，磁盘可能已满。"));
}

// ------------------------------------------------------------ TMemoryStream

qint64 TMemoryStream::Read(void *Buffer, qint64 Count)
{
    if (FPosition < 0 || Count <= 0)
        return 0;
    const qint64 N = qMin(Count, qint64(FData.size()) - FPosition);
    if (N <= 0)
        return 0;
    std::memcpy(Buffer, FData.constData() + FPosition, size_t(N));
    FPosition += N;
    return N;
}

qint64 TMemoryStream::Write(const void *Buffer, qint64 Count)
{
    if (FPosition < 0 || Count <= 0)
        return 0;
    const qint64 End = FPosition + Count;
    if (End > FData.size()) {
        const qsizetype Old = FData.size();
        FData.resize(End);
        if (FPosition > Old)
            std::memset(FData.data() + Old, 0, size_t(FPosition - Old));
    }
    std::memcpy(FData.data() + FPosition, Buffer, size_t(Count));
    FPosition = End;
    return Count;
}

qint64 TMemoryStream::Seek(qint64 Offset, TSeekOrigin Origin)
{
    switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition += Offset; break;
    case soEnd: FPosition = FData.size() + Offset; break;
    }
    return FPosition;
}

void TMemoryStream::SetSize(qint64 NewSize)
{
    const qsizetype Old = FData.size();
    FData.resize(qMax<qint64>(NewSize, 0));
    if (FData.size() > Old)
        std::memset(FData.data() + Old, 0, size_t(FData.size() - Old));
    if (FPosition > NewSize)
        FPosition = NewSize;
}

void TMemoryStream::WriteBytes(const QByteArray &Bytes)
{
    // The result is the same as copying: the content becomes Bytes and the
    // position its end. The shared buffer is copied on the first change.
    if (FPosition == 0 && FData.size() <= Bytes.size() && !Bytes.isEmpty()) {
        FData = Bytes;
        FPosition = Bytes.size();
        return;
    }
    TStream::WriteBytes(Bytes);
}

void TMemoryStream::Clear()
{
    FData.clear();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream *Stream)
{
    Stream->SetPosition(0);
    const qint64 Count = Stream->Size();
    QByteArray Data(Count, Qt::Uninitialized);
    Stream->ReadBuffer(Data.data(), Count);
    FData = Data;
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream *Stream)
{
    Stream->WriteBuffer(FData.constData(), FData.size());
}

void TMemoryStream::LoadFromFile(const QString &FileName)
{
    TFileStream S(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(&S);
}

void TMemoryStream::SaveToFile(const QString &FileName)
{
    if (!WriteFileAtomic(FileName, FData)) {
        const int Err = errno;
        throw EFCreateError(CannotCreateFileText(FileName, Err));
    }
}

// -------------------------------------------------------------- TStringList

TStringList::TStringList(const TStringList &Other)
    : TObject(), Delimiter(Other.Delimiter), QuoteChar(Other.QuoteChar), Duplicates(Other.Duplicates),
      CaseSensitive(Other.CaseSensitive), FItems(Other.FItems), FSorted(Other.FSorted)
{
}

TStringList &TStringList::operator=(const TStringList &Other)
{
    if (this != &Other) {
        FItems = Other.FItems;
        FSorted = Other.FSorted;
        Duplicates = Other.Duplicates;
        CaseSensitive = Other.CaseSensitive;
        Delimiter = Other.Delimiter;
        QuoteChar = Other.QuoteChar;
        Changed();
    }
    return *this;
}

TStringList::TStringList(const QStringList &Lines)
{
    FItems.reserve(size_t(Lines.size()));
    for (const QString &S : Lines)
        FItems.push_back({S, nullptr});
}

void TStringList::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
}

int TStringList::CompareStrings(const QString &A, const QString &B) const
{
    return CaseSensitive ? A.compare(B, Qt::CaseSensitive) : A.compare(B, Qt::CaseInsensitive);
}

void TStringList::Changed()
{
    if (FUpdateCount == 0 && OnChange)
        OnChange(this);
}

void TStringList::EndUpdate()
{
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
}

QString TStringList::Strings(int Index) const
{
    CheckIndex(Index);
    return FItems[size_t(Index)].S;
}

void TStringList::SetStrings(int Index, const QString &S)
{
    if (FSorted)
        throw EListError(QStringLiteral("Operation not allowed on sorted list"));
    CheckIndex(Index);
    FItems[size_t(Index)].S = S;
    Changed();
}

TObject *TStringList::Objects(int Index) const
{
    CheckIndex(Index);
    return FItems[size_t(Index)].Obj;
}

void TStringList::SetObjects(int Index, TObject *Obj)
{
    CheckIndex(Index);
    FItems[size_t(Index)].Obj = Obj;
    Changed();
}

int TStringList::Add(const QString &S)
{
    return AddObject(S, nullptr);
}

int TStringList::AddObject(const QString &S, TObject *Obj)
{
    int Index = Count();
    if (FSorted) {
        if (Find(S, Index)) {
            if (Duplicates == dupIgnore)
                return Index;
            if (Duplicates == dupError)
                throw EListError(QStringLiteral("String list does not allow duplicates"));
        }
    }
    FItems.insert(FItems.begin() + Index, Item{S, Obj});
    Changed();
    return Index;
}

void TStringList::AddStrings(const TStringList &Strings)
{
    BeginUpdate();
    const std::vector<Item> Copy = Strings.FItems;   // Strings may be this list
    for (const Item &I : Copy)
        AddObject(I.S, I.Obj);
    EndUpdate();
}

void TStringList::Insert(int Index, const QString &S)
{
    InsertObject(Index, S, nullptr);
}

void TStringList::InsertObject(int Index, const QString &S, TObject *Obj)
{
    if (FSorted)
        throw EListError(QStringLiteral("Operation not allowed on sorted list"));
    if (Index < 0 || Index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    FItems.insert(FItems.begin() + Index, Item{S, Obj});
    Changed();
}

void TStringList::Delete(int Index)
{
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
    Changed();
}

void TStringList::Clear()
{
    if (FItems.empty())
        return;
    FItems.clear();
    Changed();
}

void TStringList::Exchange(int Index1, int Index2)
{
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(FItems[size_t(Index1)], FItems[size_t(Index2)]);
    Changed();
}

void TStringList::Move(int CurIndex, int NewIndex)
{
    if (CurIndex == NewIndex)
        return;
    CheckIndex(CurIndex);
    CheckIndex(NewIndex);
    if (FSorted)
        throw EListError(QStringLiteral("Operation not allowed on sorted list"));
    const Item It = FItems[size_t(CurIndex)];
    FItems.erase(FItems.begin() + CurIndex);
    FItems.insert(FItems.begin() + NewIndex, It);
    Changed();
}

void TStringList::Assign(const TStringList &Source)
{
    if (this == &Source)
        return;
    BeginUpdate();
    FItems.clear();
    Delimiter = Source.Delimiter;
    QuoteChar = Source.QuoteChar;
    AddStrings(Source);
    EndUpdate();
}

int TStringList::IndexOf(const QString &S) const
{
    if (FSorted) {
        int Index = 0;
        return Find(S, Index) ? Index : -1;
    }
    for (int I = 0; I < Count(); ++I)
        if (CompareStrings(FItems[size_t(I)].S, S) == 0)
            return I;
    return -1;
}

int TStringList::IndexOfObject(TObject *Obj) const
{
    for (int I = 0; I < Count(); ++I)
        if (FItems[size_t(I)].Obj == Obj)
            return I;
    return -1;
}

QString TStringList::Text() const
{
    QString Out;
    qsizetype Len = 0;
    for (const Item &I : FItems)
        Len += I.S.size() + 2;
    Out.reserve(Len);
    for (const Item &I : FItems) {
        Out += I.S;
        Out += QLatin1String("\r\n");
    }
    return Out;
}

void TStringList::SetText(const QString &Value)
{
    BeginUpdate();
    Clear();
    const qsizetype N = Value.size();
    qsizetype I = 0;
    while (I < N) {
        qsizetype J = I;
        while (J < N && Value[J] != QLatin1Char('\r') && Value[J] != QLatin1Char('\n'))
            ++J;
        Add(Value.mid(I, J - I));
        if (J < N && Value[J] == QLatin1Char('\r'))
            ++J;
        if (J < N && Value[J] == QLatin1Char('\n'))
            ++J;
        I = J;
    }
    EndUpdate();
}

namespace {

QString QuoteIfNeeded(const QString &S, QChar Delim, QChar Quote)
{
    bool Need = false;
    for (QChar C : S)
        if (C.unicode() <= ' ' || C == Quote || C == Delim) {
            Need = true;
            break;
        }
    if (!Need)
        return S;
    QString R = S;
    R.replace(Quote, QString(2, Quote));
    return Quote + R + Quote;
}

} // namespace

QString TStringList::DelimitedText() const
{
    if (Count() == 1 && FItems[0].S.isEmpty())
        return QString(2, QuoteChar);
    QString Out;
    for (int I = 0; I < Count(); ++I) {
        if (I > 0)
            Out += Delimiter;
        Out += QuoteIfNeeded(FItems[size_t(I)].S, Delimiter, QuoteChar);
    }
    return Out;
}

void TStringList::SetDelimitedText(const QString &Value)
{
    // Items are separated by the delimiter or by blanks; a quoted item keeps its
    // blanks and delimiters, a doubled quote inside it stands for one quote.
    BeginUpdate();
    Clear();
    const qsizetype N = Value.size();
    auto Blank = [&](qsizetype I) { return I < N && Value[I].unicode() >= 1 && Value[I].unicode() <= ' '; };
    qsizetype P = 0;
    while (Blank(P))
        ++P;
    while (P < N) {
        QString S;
        if (Value[P] == QuoteChar) {
            ++P;
            while (P < N) {
                if (Value[P] == QuoteChar) {
                    if (P + 1 < N && Value[P + 1] == QuoteChar) {
                        S += QuoteChar;
                        P += 2;
                        continue;
                    }
                    ++P;
                    break;
                }
                S += Value[P++];
            }
        } else {
            const qsizetype P1 = P;
            while (P < N && Value[P].unicode() > ' ' && Value[P] != Delimiter)
                ++P;
            S = Value.mid(P1, P - P1);
        }
        Add(S);
        while (Blank(P))
            ++P;
        if (P < N && Value[P] == Delimiter) {
            if (P + 1 >= N)
                Add(QString());
            do
                ++P;
            while (Blank(P));
        } else if (P < N && Value[P].unicode() == 0) {
            ++P;   // a stray NUL separates like a blank
        }
    }
    EndUpdate();
}

QString TStringList::CommaText() const
{
    TStringList Tmp;
    Tmp.FItems = FItems;
    return Tmp.DelimitedText();
}

void TStringList::SetCommaText(const QString &Value)
{
    const QChar D = Delimiter, Q = QuoteChar;
    Delimiter = QLatin1Char(',');
    QuoteChar = QLatin1Char('"');
    try {
        SetDelimitedText(Value);
    } catch (...) {
        Delimiter = D;
        QuoteChar = Q;
        throw;
    }
    Delimiter = D;
    QuoteChar = Q;
}

QString TStringList::Names(int Index) const
{
    const QString S = Strings(Index);
    const qsizetype P = S.indexOf(QLatin1Char('='));
    return P >= 0 ? S.left(P) : QString();
}

QString TStringList::ValueFromIndex(int Index) const
{
    const QString S = Strings(Index);
    const qsizetype P = S.indexOf(QLatin1Char('='));
    return P >= 0 ? S.mid(P + 1) : QString();
}

int TStringList::IndexOfName(const QString &Name) const
{
    for (int I = 0; I < Count(); ++I) {
        const QString &S = FItems[size_t(I)].S;
        const qsizetype P = S.indexOf(QLatin1Char('='));
        if (P >= 0 && S.left(P).compare(Name, CaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0)
            return I;
    }
    return -1;
}

QString TStringList::Values(const QString &Name) const
{
    const int I = IndexOfName(Name);
    return I >= 0 ? ValueFromIndex(I) : QString();
}

void TStringList::SetValues(const QString &Name, const QString &Value)
{
    const int I = IndexOfName(Name);
    if (Value.isEmpty()) {
        if (I >= 0)
            Delete(I);
        return;
    }
    const QString Line = Name + QLatin1Char('=') + Value;
    if (I < 0) {
        Add(Line);
    } else if (FSorted) {
        BeginUpdate();
        TObject *Obj = FItems[size_t(I)].Obj;
        Delete(I);
        AddObject(Line, Obj);
        EndUpdate();
    } else {
        SetStrings(I, Line);
    }
}

void TStringList::SetSorted(bool Value)
{
    if (FSorted == Value)
        return;
    if (Value)
        Sort();
    FSorted = Value;
}

bool TStringList::Find(const QString &S, int &Index) const
{
    bool Result = false;
    int L = 0, H = Count() - 1;
    while (L <= H) {
        const int I = (L + H) / 2;
        const int C = CompareStrings(FItems[size_t(I)].S, S);
        if (C < 0) {
            L = I + 1;
        } else {
            H = I - 1;
            if (C == 0) {
                Result = true;
                if (Duplicates != dupAccept)
                    L = I;
            }
        }
    }
    Index = L;
    return Result;
}

void TStringList::Sort()
{
    CustomSort([](TStringList *List, int A, int B) {
        return List->CompareStrings(List->FItems[size_t(A)].S, List->FItems[size_t(B)].S);
    });
}

void TStringList::CustomSort(const std::function<int(TStringList *List, int Index1, int Index2)> &Compare)
{
    if (FSorted || Count() < 2)
        return;
    // Quicksort over the list itself, so Compare always sees the current order.
    std::function<void(int, int)> QuickSort = [&](int L, int R) {
        int I = L;
        do {
            I = L;
            int J = R, P = (L + R) / 2;
            do {
                while (I < R && Compare(this, I, P) < 0)
                    ++I;
                while (J > L && Compare(this, J, P) > 0)
                    --J;
                if (I <= J) {
                    if (I != J)
                        std::swap(FItems[size_t(I)], FItems[size_t(J)]);
                    if (P == I)
                        P = J;
                    else if (P == J)
                        P = I;
                    ++I;
                    --J;
                }
            } while (I <= J);
            if (L < J)
                QuickSort(L, J);
            L = I;
        } while (I < R);
    };
    QuickSort(0, Count() - 1);
    Changed();
}

void TStringList::LoadFromFile(const QString &FileName)
{
    bool Ok = false;
    const QByteArray Bytes = ReadFileBytes(FileName, &Ok);
    if (!Ok) {
        const int Err = errno;
        throw EFOpenError(CannotOpenFileText(FileName, Err));
    }
    SetText(Cp936::Decode(Bytes));
}

void TStringList::SaveToFile(const QString &FileName) const
{
    if (!WriteFileAtomic(FileName, Cp936::Encode(Text()))) {
        const int Err = errno;
        throw EFCreateError(CannotCreateFileText(FileName, Err));
    }
}

void TStringList::LoadFromStream(TStream *Stream)
{
    const qint64 Left = Stream->Size() - Stream->Position();
    SetText(Cp936::Decode(Stream->ReadBytes(qMax<qint64>(Left, 0))));
}

void TStringList::SaveToStream(TStream *Stream) const
{
    Stream->WriteBytes(Cp936::Encode(Text()));
}

QStringList TStringList::ToQStringList() const
{
    QStringList Out;
    Out.reserve(Count());
    for (const Item &I : FItems)
        Out << I.S;
    return Out;
}

QStringList LoadLines(const QString &FileName)
{
    TStringList List;
    List.LoadFromFile(FileName);
    return List.ToQStringList();
}

void SaveLines(const QString &FileName, const QStringList &Lines)
{
    TStringList(Lines).SaveToFile(FileName);
}
