// The .xls workbook: a "Workbook" (BIFF8) or "Book" (BIFF5/BIFF7) stream in a
// compound file, a sequence of records (type, length, data). The workbook
// globals come first: the sheets and where their records start, the active
// tab, the shared strings, the number formats and cell formats (XF), the date
// system and, for BIFF5, the code page of 8-bit strings. Each sheet follows as
// a substream of its own from BOF to EOF; only the one asked for is read.
//
// What damage can do here: a record's length can run past the stream, a field
// can lie past its record, a count can promise more than the bytes hold, an
// index can point past its table, a string can claim more characters than
// follow. Every field is read through TRecordData or TPieces, which check
// their bounds and throw XlsDamaged; counts only size what the bytes could
// really hold; indexes are checked before use. A sheet that ends before its
// EOF record is damaged too.

#include "grid/detail/XlsReader.h"
#include "grid/detail/XlsCompoundFile.h"

#include "platform/core/ByteOrder.h"
#include "platform/core/Codec.h"

#include <QHash>
#include <QStringDecoder>

#include <cstring>

namespace XlsReader {
namespace {

using WorkbookReader::TReadResult;
using WorkbookReader::TSheet;

[[noreturn]] void Damage()
{
    throw XlsDamaged();
}

// Record types.
constexpr quint16 rtBof = 0x0809;
constexpr quint16 rtEof = 0x000A;
constexpr quint16 rtBoundSheet = 0x0085;
constexpr quint16 rtWindow1 = 0x003D;
constexpr quint16 rtSst = 0x00FC;
constexpr quint16 rtContinue = 0x003C;
constexpr quint16 rtFormat = 0x041E;
constexpr quint16 rtXf = 0x00E0;
constexpr quint16 rtDateMode = 0x0022;
constexpr quint16 rtCodePage = 0x0042;
constexpr quint16 rtFilePass = 0x002F;
constexpr quint16 rtNumber = 0x0203;
constexpr quint16 rtRk = 0x027E;
constexpr quint16 rtMulRk = 0x00BD;
constexpr quint16 rtLabelSst = 0x00FD;
constexpr quint16 rtLabel = 0x0204;
constexpr quint16 rtRString = 0x00D6;
constexpr quint16 rtBoolErr = 0x0205;
constexpr quint16 rtFormula = 0x0006;
constexpr quint16 rtString = 0x0207;
constexpr quint16 rtBlank = 0x0201;
constexpr quint16 rtMulBlank = 0x00BE;

constexpr quint16 BiffVersion8 = 0x0600;
constexpr quint16 BiffVersion5 = 0x0500;   // BIFF5 and BIFF7
constexpr quint16 BofGlobals = 0x0005;
constexpr quint8 SheetTypeWorksheet = 0;

// The largest column the grid takes from a sheet, and the most cells one sheet
// can hold (65,536 rows of 256 columns).
constexpr int MaxColumn = 16383;
constexpr size_t MaxCells = size_t(65536) * 256;

// ---------------------------------------------------------------- bounded reading

// The data of one record; every read past its end is damage.
class TRecordData {
public:
    TRecordData() = default;
    TRecordData(const uchar *Data, qsizetype Size) : FData(Data), FSize(Size) {}

    qsizetype Size() const { return FSize; }
    quint8 U8(qsizetype At) const { return *Need(At, 1); }
    quint16 U16(qsizetype At) const { return GetLE16(Need(At, 2)); }
    quint32 U32(qsizetype At) const { return GetLE32(Need(At, 4)); }
    double F64(qsizetype At) const
    {
        const quint64 Bits = GetLE64(Need(At, 8));
        double Value;
        std::memcpy(&Value, &Bits, sizeof Value);
        return Value;
    }
    const uchar *Bytes(qsizetype At, qsizetype Count) const { return Need(At, Count); }

private:
    const uchar *Need(qsizetype At, qsizetype Count) const
    {
        if (At < 0 || Count < 0 || At > FSize - Count)
            Damage();
        return FData + At;
    }

    const uchar *FData = nullptr;
    qsizetype FSize = 0;
};

struct TRecord {
    quint16 Type = 0;
    TRecordData Data;
};

// The records of the workbook stream from a given offset.
class TRecordReader {
public:
    TRecordReader(const QByteArray &Stream, qsizetype At)
        : FData(reinterpret_cast<const uchar *>(Stream.constData())), FSize(Stream.size()), FPos(At)
    {
        if (At < 0 || At > FSize)
            Damage();
    }

    // The next record; false at the end of the stream. A record cut off by the
    // end is damage.
    bool Next(TRecord &Record)
    {
        if (FPos == FSize)
            return false;
        if (FSize - FPos < 4)
            Damage();
        const quint16 Length = GetLE16(FData + FPos + 2);
        if (FSize - FPos - 4 < Length)
            Damage();
        Record.Type = GetLE16(FData + FPos);
        Record.Data = TRecordData(FData + FPos + 4, Length);
        FPos += 4 + Length;
        return true;
    }

    // The data of a CONTINUE record that follows directly, taking it.
    bool NextContinue(TRecordData &Data)
    {
        if (FSize - FPos < 4 || GetLE16(FData + FPos) != rtContinue)
            return false;
        TRecord Record;
        Next(Record);
        Data = Record.Data;
        return true;
    }

private:
    const uchar *FData;
    qsizetype FSize;
    qsizetype FPos;
};

// A record and the CONTINUE records after it, read as one sequence of bytes.
// Characters of a string may go on in the next piece, which then starts with
// a flag byte of its own saying whether they are one or two bytes wide.
class TPieces {
public:
    void Add(const TRecordData &Data, qsizetype From = 0)
    {
        if (From > Data.Size())
            Damage();
        FPieces.push_back(TRecordData(Data.Bytes(From, Data.Size() - From), Data.Size() - From));
        FTotal += Data.Size() - From;
    }

    qsizetype TotalSize() const { return FTotal; }
    bool AtEnd()
    {
        while (FIndex < FPieces.size() && FAt == FPieces[FIndex].Size())
            NextPiece();
        return FIndex >= FPieces.size();
    }

    quint8 U8()
    {
        if (AtEnd())
            Damage();
        return FPieces[FIndex].U8(FAt++);
    }
    quint16 U16() { return quint16(U8() | (U8() << 8)); }
    quint32 U32() { return quint32(U16()) | (quint32(U16()) << 16); }

    void Skip(quint64 Count)
    {
        while (Count > 0) {
            if (AtEnd())
                Damage();
            const quint64 Here = quint64(FPieces[FIndex].Size() - FAt);
            const quint64 Step = std::min(Count, Here);
            FAt += qsizetype(Step);
            Count -= Step;
        }
    }

    // Count UTF-16 code units, one or two bytes each as the flag says.
    QString Characters(quint32 Count, bool Wide)
    {
        QString Text(qsizetype(Count), Qt::Uninitialized);
        char16_t *Out = reinterpret_cast<char16_t *>(Text.data());
        quint32 Got = 0;
        while (Got < Count) {
            if (FIndex >= FPieces.size())
                Damage();
            if (FAt == FPieces[FIndex].Size()) {
                NextPiece();
                if (FIndex >= FPieces.size())
                    Damage();
                Wide = FPieces[FIndex].U8(0) & 1;
                FAt = 1;
                continue;
            }
            const TRecordData &Piece = FPieces[FIndex];
            const qsizetype Left = Piece.Size() - FAt;
            const quint32 N = quint32(std::min<qsizetype>(Wide ? Left / 2 : Left, Count - Got));
            if (N == 0) {
                // half a character at the end of a piece: the rest comes after the next flag
                FAt = Piece.Size();
                continue;
            }
            const uchar *P = Piece.Bytes(FAt, Wide ? 2 * N : N);
            if (Wide) {
                for (quint32 K = 0; K < N; ++K)
                    Out[Got + K] = char16_t(GetLE16(P + 2 * K));
                FAt += 2 * N;
            } else {
                for (quint32 K = 0; K < N; ++K)
                    Out[Got + K] = char16_t(P[K]);
                FAt += N;
            }
            Got += N;
        }
        return Text;
    }

private:
    void NextPiece()
    {
        ++FIndex;
        FAt = 0;
    }

    std::vector<TRecordData> FPieces;
    size_t FIndex = 0;
    qsizetype FAt = 0;
    qsizetype FTotal = 0;
};

// A BIFF8 string: its length (one or two bytes), flags, then, as the flags
// say, a count of formatting runs and the size of a phonetic block, the
// characters, and those runs and that block (both skipped).
QString ReadUnicodeString(TPieces &In, bool TwoByteLength)
{
    const quint32 Count = TwoByteLength ? In.U16() : In.U8();
    const quint8 Flags = In.U8();
    const quint32 Runs = (Flags & 0x08) ? In.U16() : 0;
    const quint32 Phonetic = (Flags & 0x04) ? In.U32() : 0;
    QString Text = In.Characters(Count, Flags & 0x01);
    In.Skip(quint64(Runs) * 4 + Phonetic);
    return Text;
}

QString ReadUnicodeString(const TRecordData &Data, qsizetype At, bool TwoByteLength)
{
    TPieces In;
    In.Add(Data, At);
    return ReadUnicodeString(In, TwoByteLength);
}

// A BIFF5 string: its length in bytes (one or two bytes), then the bytes.
QByteArray ReadByteString(const TRecordData &Data, qsizetype At, bool TwoByteLength)
{
    const qsizetype Count = TwoByteLength ? Data.U16(At) : Data.U8(At);
    const qsizetype From = At + (TwoByteLength ? 2 : 1);
    return QByteArray(reinterpret_cast<const char *>(Data.Bytes(From, Count)), Count);
}

// 8-bit strings of a BIFF5 workbook in its code page. Without a CODEPAGE
// record they are taken as code page 936, the code page of the program's users.
class TCodePage {
public:
    void Set(int CodePage) { FCodePage = CodePage; }

    QString Decode(const QByteArray &Bytes)
    {
        switch (FCodePage) {
        case 0:
        case 936:
            return Cp936::Decode(Bytes);
        case 367:      // ASCII
        case 20127:
        case 28591:    // ISO 8859-1
        case 1200:     // UTF-16 says nothing about 8-bit strings
            return QString::fromLatin1(Bytes);
        default:
            break;
        }
        if (!FDecoder) {
            QByteArray Name = "CP" + QByteArray::number(FCodePage);
            if (FCodePage == 32769)
                Name = "windows-1252";
            else if (FCodePage == 10000 || FCodePage == 32768)
                Name = "macintosh";
            else if (FCodePage >= 1250 && FCodePage <= 1258)
                Name = "windows-" + QByteArray::number(FCodePage);
            FDecoder.emplace(Name.constData());
        }
        if (!FDecoder->isValid())
            return QString::fromLatin1(Bytes);
        FDecoder->resetState();   // each string stands alone
        return FDecoder->decode(Bytes);
    }

private:
    int FCodePage = 0;
    std::optional<QStringDecoder> FDecoder;
};

// ---------------------------------------------------------------- values

double RkValue(quint32 Rk)
{
    double Value;
    if (Rk & 0x02) {
        Value = double(qint32(Rk) >> 2);
    } else {
        const quint64 Bits = quint64(Rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&Value, &Bits, sizeof Value);
    }
    return (Rk & 0x01) ? Value / 100 : Value;
}

QString ErrorText(quint8 Code)
{
    switch (Code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    case 0x2A: return QStringLiteral("#N/A");
    default: return QString();
    }
}

QString BooleanText(bool Value)
{
    return Value ? QStringLiteral("True") : QStringLiteral("False");
}

// The built-in number formats that show a date or a time.
bool IsBuiltInDateFormat(int Id)
{
    return (Id >= 14 && Id <= 22) || (Id >= 27 && Id <= 36) || (Id >= 45 && Id <= 47) || (Id >= 50 && Id <= 58)
           || (Id >= 71 && Id <= 81);
}

// Whether a format code shows a date: quoted text, the character after "\",
// "_" or "*", the characters $-+/(): and blanks, and bracketed parts ([Red],
// [h], [$-804]) are left out; what remains shows a date when it has more date
// and time letters (y m d h s) than digit placeholders (0 # ?).
bool IsDateFormatCode(const QString &Code)
{
    QString Kept;
    Kept.reserve(Code.size());
    for (qsizetype I = 0; I < Code.size(); ++I) {
        const QChar C = Code.at(I);
        if (C == QLatin1Char('"')) {
            const qsizetype Close = Code.indexOf(QLatin1Char('"'), I + 1);
            I = Close < 0 ? Code.size() : Close;
        } else if (C == QLatin1Char('\\') || C == QLatin1Char('_') || C == QLatin1Char('*')) {
            ++I;
        } else if (!QStringView(u"$-+/(): ").contains(C)) {
            Kept += C;
        }
    }
    if (Kept == QLatin1String("General") || Kept == QLatin1String("GENERAL") || Kept == QLatin1String("general")
        || Kept == QLatin1String("@"))
        return false;
    int Dates = 0, Digits = 0;
    for (qsizetype I = 0; I < Kept.size(); ++I) {
        const QChar C = Kept.at(I);
        if (C == QLatin1Char('[')) {
            const qsizetype Close = Kept.indexOf(QLatin1Char(']'), I + 1);
            if (Close >= 0) {
                I = Close;
                continue;
            }
        }
        if (QStringView(u"ymdhsYMDHS").contains(C))
            ++Dates;
        else if (QStringView(u"0#?").contains(C))
            ++Digits;
    }
    return Dates > Digits;
}

// ---------------------------------------------------------------- globals

struct TSheetEntry {
    QString Name;
    QByteArray RawName;   // BIFF5: decoded once the code page is known
    quint32 Position = 0;
    quint8 Type = 0;
};

class TWorkbook {
public:
    explicit TWorkbook(const QByteArray &Stream) : FStream(Stream) { ReadGlobals(); }

    const TSheetEntry *FindSheet(const QString &SheetName) const
    {
        const TSheetEntry *First = nullptr;
        for (const TSheetEntry &E : FSheets) {
            if (E.Type != SheetTypeWorksheet)
                continue;
            if (!SheetName.isEmpty() && E.Name == SheetName)
                return &E;
            if (!First)
                First = &E;
        }
        if (!SheetName.isEmpty())
            return nullptr;
        if (FActiveTab < FSheets.size() && FSheets[FActiveTab].Type == SheetTypeWorksheet)
            return &FSheets[FActiveTab];
        return First;
    }

    bool HasWorksheet() const { return FindSheet(QString()) != nullptr; }

    void ReadCells(const TSheetEntry &Entry, TSheet &Sheet);

private:
    void ReadGlobals();
    QString NumberText(quint16 Xf, double Value);
    bool IsDateXf(quint16 Xf);
    QString LabelText(const TRecordData &Data, qsizetype At)
    {
        return FBiff8 ? ReadUnicodeString(Data, At, true) : FCodePage.Decode(ReadByteString(Data, At, true));
    }

    const QByteArray &FStream;
    bool FBiff8 = true;
    bool FDate1904 = false;
    size_t FActiveTab = 0;
    std::vector<TSheetEntry> FSheets;
    std::vector<QString> FStrings;
    QHash<quint16, QString> FFormats;
    QHash<quint16, QByteArray> FRawFormats;   // BIFF5
    std::vector<quint16> FXfFormats;
    std::vector<qint8> FXfIsDate;             // -1 until asked
    TCodePage FCodePage;
};

void TWorkbook::ReadGlobals()
{
    TRecordReader Reader(FStream, 0);
    TRecord R;
    if (!Reader.Next(R) || R.Type != rtBof)
        Damage();
    const quint16 Version = R.Data.U16(0);
    if (Version == BiffVersion8)
        FBiff8 = true;
    else if (Version == BiffVersion5)
        FBiff8 = false;
    else
        Damage();
    if (R.Data.U16(2) != BofGlobals)
        Damage();
    bool HaveWindow = false;
    while (Reader.Next(R) && R.Type != rtEof) {
        switch (R.Type) {
        case rtFilePass:
            Damage();   // encrypted: nothing here can be read
        case rtCodePage:
            FCodePage.Set(R.Data.U16(0));
            break;
        case rtDateMode:
            FDate1904 = R.Data.U16(0) == 1;
            break;
        case rtWindow1:
            if (!HaveWindow) {
                FActiveTab = R.Data.U16(10);
                HaveWindow = true;
            }
            break;
        case rtBoundSheet: {
            TSheetEntry E;
            E.Position = R.Data.U32(0);
            E.Type = R.Data.U8(5);
            if (FBiff8)
                E.Name = ReadUnicodeString(R.Data, 6, false);
            else
                E.RawName = ReadByteString(R.Data, 6, false);
            FSheets.push_back(std::move(E));
            break;
        }
        case rtSst: {
            if (!FBiff8)
                break;
            TPieces In;
            In.Add(R.Data, 8);
            TRecordData More;
            while (Reader.NextContinue(More))
                In.Add(More);
            // Each string takes at least three bytes, whatever the count says.
            const quint32 Count = R.Data.U32(4);
            FStrings.clear();
            FStrings.reserve(std::min<size_t>(Count, size_t(In.TotalSize() / 3 + 1)));
            for (quint32 I = 0; I < Count && !In.AtEnd(); ++I)
                FStrings.push_back(ReadUnicodeString(In, true));
            break;
        }
        case rtFormat:
            if (FBiff8)
                FFormats.insert(R.Data.U16(0), ReadUnicodeString(R.Data, 2, true));
            else
                FRawFormats.insert(R.Data.U16(0), ReadByteString(R.Data, 2, false));
            break;
        case rtXf:
            if (FXfFormats.size() < 65536)
                FXfFormats.push_back(R.Data.U16(2));
            break;
        default:
            break;
        }
    }
    if (!FBiff8) {
        for (TSheetEntry &E : FSheets)
            E.Name = FCodePage.Decode(E.RawName);
        for (auto It = FRawFormats.cbegin(); It != FRawFormats.cend(); ++It)
            FFormats.insert(It.key(), FCodePage.Decode(It.value()));
    }
    FXfIsDate.assign(FXfFormats.size(), -1);
}

bool TWorkbook::IsDateXf(quint16 Xf)
{
    if (Xf >= FXfIsDate.size())
        return false;
    qint8 &Known = FXfIsDate[Xf];
    if (Known < 0) {
        // A FORMAT record of the workbook overrides the built-in format of its number.
        const quint16 Format = FXfFormats[Xf];
        const auto Code = FFormats.constFind(Format);
        Known = Code != FFormats.constEnd() ? IsDateFormatCode(*Code) : IsBuiltInDateFormat(Format);
    }
    return Known != 0;
}

QString TWorkbook::NumberText(quint16 Xf, double Value)
{
    return WorkbookReader::NumberCellText(Value, IsDateXf(Xf), FDate1904);
}

// ---------------------------------------------------------------- one sheet

void TWorkbook::ReadCells(const TSheetEntry &Entry, TSheet &Sheet)
{
    if (Entry.Position > quint64(FStream.size()))
        Damage();
    TRecordReader Reader(FStream, qsizetype(Entry.Position));
    TRecord R;
    if (!Reader.Next(R) || R.Type != rtBof)
        Damage();
    auto Add = [&](quint16 Row, quint16 Col, QString &&Text) {
        if (Col > MaxColumn)
            Damage();
        if (Text.isEmpty())
            return;
        if (Sheet.Cells.size() >= MaxCells)
            Damage();
        Sheet.Cells.push_back({Row, Col, std::move(Text)});
    };
    // A formula whose cached result is a string: the STRING record after it holds the text.
    bool StringPending = false;
    quint16 PendingRow = 0, PendingCol = 0;
    int Depth = 1;   // charts embedded in the sheet are substreams of their own
    for (;;) {
        if (!Reader.Next(R))
            Damage();   // the sheet never ends
        if (R.Type == rtBof) {
            ++Depth;
            continue;
        }
        if (R.Type == rtEof) {
            if (--Depth == 0)
                break;
            continue;
        }
        if (Depth != 1)
            continue;
        const TRecordData &D = R.Data;
        switch (R.Type) {
        case rtNumber:
            StringPending = false;
            Add(D.U16(0), D.U16(2), NumberText(D.U16(4), D.F64(6)));
            break;
        case rtRk:
            StringPending = false;
            Add(D.U16(0), D.U16(2), NumberText(D.U16(4), RkValue(D.U32(6))));
            break;
        case rtMulRk: {
            StringPending = false;
            const quint16 Row = D.U16(0);
            const quint16 First = D.U16(2);
            const quint16 Last = D.U16(D.Size() - 2);
            qsizetype Count = (D.Size() - 6) / 6;
            if (Last >= First)
                Count = std::min<qsizetype>(Count, Last - First + 1);
            for (qsizetype K = 0; K < Count; ++K)
                Add(Row, quint16(First + K), NumberText(D.U16(4 + 6 * K), RkValue(D.U32(6 + 6 * K))));
            break;
        }
        case rtLabelSst: {
            StringPending = false;
            const quint32 Index = D.U32(6);
            if (Index >= FStrings.size())
                Damage();
            Add(D.U16(0), D.U16(2), QString(FStrings[Index]));
            break;
        }
        case rtLabel:
        case rtRString:
            StringPending = false;
            Add(D.U16(0), D.U16(2), LabelText(D, 6));
            break;
        case rtBoolErr:
            StringPending = false;
            Add(D.U16(0), D.U16(2), D.U8(7) ? ErrorText(D.U8(6)) : BooleanText(D.U8(6)));
            break;
        case rtFormula: {
            StringPending = false;
            const quint16 Row = D.U16(0), Col = D.U16(2);
            if (D.U16(12) != 0xFFFF) {
                Add(Row, Col, NumberText(D.U16(4), D.F64(6)));
                break;
            }
            switch (D.U8(6)) {
            case 0:
                StringPending = true;
                PendingRow = Row;
                PendingCol = Col;
                break;
            case 1:
                Add(Row, Col, BooleanText(D.U8(8)));
                break;
            case 2:
                Add(Row, Col, ErrorText(D.U8(8)));
                break;
            default:   // an empty string
                break;
            }
            break;
        }
        case rtString: {
            if (!StringPending)
                break;
            StringPending = false;
            if (!FBiff8) {
                Add(PendingRow, PendingCol, LabelText(D, 0));
                break;
            }
            TPieces In;
            In.Add(D);
            TRecordData More;
            while (Reader.NextContinue(More))
                In.Add(More);
            Add(PendingRow, PendingCol, ReadUnicodeString(In, true));
            break;
        }
        case rtBlank:
        case rtMulBlank:
            StringPending = false;
            break;
        default:
            break;
        }
    }
}

} // namespace

bool IsXlsFile(const uchar *Data, qsizetype Size)
{
    return TCompoundFile::HasSignature(Data, Size);
}

TReadResult ReadSheet(const uchar *Data, qsizetype Size, const QString &SheetName, TSheet &Sheet)
{
    Sheet.Cells.clear();
    TReadResult Result = WorkbookReader::rrDamaged;
    try {
        const TCompoundFile File(Data, Size);
        // BIFF8 files name their stream "Workbook", older ones "Book"; the BOF
        // record says which records follow.
        std::optional<QByteArray> Stream = File.Stream(QStringLiteral("Workbook"));
        if (!Stream)
            Stream = File.Stream(QStringLiteral("Book"));
        if (!Stream)
            Damage();
        TWorkbook Workbook(*Stream);
        if (!Workbook.HasWorksheet())
            Damage();
        if (const TSheetEntry *Entry = Workbook.FindSheet(SheetName)) {
            Workbook.ReadCells(*Entry, Sheet);
            Result = WorkbookReader::rrOk;
        } else {
            Result = WorkbookReader::rrSheetNotFound;
        }
    } catch (const XlsDamaged &) {
        Result = WorkbookReader::rrDamaged;
    } catch (const std::bad_alloc &) {
        Result = WorkbookReader::rrDamaged;
    }
    if (Result != WorkbookReader::rrOk)
        Sheet.Cells.clear();
    return Result;
}

} // namespace XlsReader
