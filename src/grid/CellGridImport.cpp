// CSV and worksheet import into the grid, and the column aggregates.
//
// Both imports read untrusted files. A CSV file is read a line at a time;
// whatever happens on the way (a read error, an exception from the progress
// handler), the import ends the same way: the rows read so far stay, the rows
// allocated ahead are cut back, the saved footer texts return to the last row
// and FieldDelimiter gets back the value it had at entry. A worksheet is read
// completely into memory before the grid changes, so a damaged workbook
// leaves the grid as it was.

#include "grid/CellGrid.h"
#include "grid/GridUtil.h"
#include "grid/detail/WorkbookReader.h"

#include "platform/core/Codec.h"
#include "platform/services/Application.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

const QChar Quote = QLatin1Char('"');
const QString DoubledQuote = QStringLiteral("\"\"");

// The delimiters detection tries, in order; the rest of the ten stored
// candidates ("@", "*", "-", "+", "&") are never tried.
const QChar DetectedDelimiters[] = {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('#'), QLatin1Char('\t'),
                                    QLatin1Char('|')};

QString CannotOpen(const QString &FileName)
{
    return QStringLiteral("Cannot open file ") + FileName;
}

// The physical lines of a text file: CR LF, LF and a lone CR each end a line.
// A file that starts with a byte-order mark is UTF-8, UTF-16 LE or UTF-16 BE
// as the mark says (spreadsheets save "Unicode text" as UTF-16); a file
// without one is UTF-8 when all of its bytes are UTF-8 and some are not ASCII
// (as python's csv module and other programs write it), and code page 936
// otherwise. Line ends never occur inside a character of the byte encodings;
// UTF-16 is decoded before its lines are split, since its line ends take two
// bytes, one of them 0.
class CsvLineReader {
public:
    explicit CsvLineReader(QFile &AFile) : FFile(AFile), FBuffer(1 << 16) {}

    // Back to the first line. False when the file cannot be read.
    bool Rewind()
    {
        if (!FEncodingKnown) {
            if (!FindEncoding())
                return false;
            FEncodingKnown = true;
        }
        FPos = FLen = 0;
        FSkipLF = false;
        if (Utf16()) {
            FText.clear();
            FTextPos = 0;
            FDecoder.resetState();
            return FFile.seek(2);
        }
        if (!FFile.seek(0))
            return false;
        if (!Fill())
            return !FError;
        if (FByteOrderMark)
            FPos = std::min<qint64>(3, FLen);
        return true;
    }

    // The next line without its line end; false at the end of the file or on a
    // read error (Failed tells which).
    bool Next(QString &Line)
    {
        if (Utf16())
            return NextDecoded(Line);
        FBytes.clear();
        bool Any = false;
        for (;;) {
            if (FPos >= FLen && !Fill())
                break;
            if (FSkipLF) {
                FSkipLF = false;
                if (FBuffer[size_t(FPos)] == '\n') {
                    ++FPos;
                    continue;
                }
            }
            Any = true;
            const char *Start = FBuffer.data() + FPos;
            const char *End = FBuffer.data() + FLen;
            const char *P = Start;
            while (P < End && *P != '\n' && *P != '\r')
                ++P;
            FBytes.append(Start, P - Start);
            if (P < End) {
                FSkipLF = *P == '\r';
                FPos = P - FBuffer.data() + 1;
                Line = Decode();
                return true;
            }
            FPos = FLen;
        }
        if (Any && !FError) {
            Line = Decode();
            return true;
        }
        return false;
    }

    bool Failed() const { return FError; }

private:
    enum class TEncoding { Cp936, Utf8, Utf16LE, Utf16BE };

    bool Utf16() const { return FEncoding == TEncoding::Utf16LE || FEncoding == TEncoding::Utf16BE; }

    // Reads the file once, up to its first byte that cannot be UTF-8.
    bool FindEncoding()
    {
        if (!FFile.seek(0))
            return false;
        Utf8::TValidator Check;
        bool First = true;
        while (Fill()) {
            if (First && FLen >= 3 && FBuffer[0] == '\xEF' && FBuffer[1] == '\xBB' && FBuffer[2] == '\xBF') {
                FByteOrderMark = true;
                FEncoding = TEncoding::Utf8;
                return true;
            }
            if (First && FLen >= 2 && (FBuffer[0] == '\xFF' || FBuffer[0] == '\xFE')
                && FBuffer[1] == (FBuffer[0] == '\xFF' ? '\xFE' : '\xFF')) {
                // Neither pair can begin code page 936 or UTF-8 text.
                FByteOrderMark = true;
                FEncoding = FBuffer[0] == '\xFF' ? TEncoding::Utf16LE : TEncoding::Utf16BE;
                FDecoder = QStringDecoder(FEncoding == TEncoding::Utf16LE ? QStringConverter::Utf16LE
                                                                           : QStringConverter::Utf16BE);
                return true;
            }
            First = false;
            if (!Check.Feed(FBuffer.data(), FLen))
                return true;
        }
        if (FError)
            return false;
        if (Check.Complete() && Check.NonAscii())
            FEncoding = TEncoding::Utf8;
        return true;
    }

    bool Fill()
    {
        FPos = 0;
        FLen = FFile.read(FBuffer.data(), qint64(FBuffer.size()));
        if (FLen < 0) {
            FError = true;
            FLen = 0;
        }
        return FLen > 0;
    }

    // The next piece of decoded text (a character cut between two reads is
    // kept by the decoder for the next); false at the end of the file.
    bool FillText()
    {
        FTextPos = 0;
        while (Fill()) {
            FText = FDecoder.decode(QByteArrayView(FBuffer.data(), FLen));
            if (!FText.isEmpty())
                return true;
        }
        FText.clear();
        return false;
    }

    // Next() over decoded text.
    bool NextDecoded(QString &Line)
    {
        Line.clear();
        bool Any = false;
        for (;;) {
            if (FTextPos >= FText.size() && !FillText())
                break;
            if (FSkipLF) {
                FSkipLF = false;
                if (FText.at(FTextPos) == QLatin1Char('\n')) {
                    ++FTextPos;
                    continue;
                }
            }
            Any = true;
            const QChar *Start = FText.constData() + FTextPos;
            const QChar *End = FText.constData() + FText.size();
            const QChar *P = Start;
            while (P < End && *P != QLatin1Char('\n') && *P != QLatin1Char('\r'))
                ++P;
            Line.append(Start, P - Start);
            if (P < End) {
                FSkipLF = *P == QLatin1Char('\r');
                FTextPos = P - FText.constData() + 1;
                return true;
            }
            FTextPos = FText.size();
        }
        return Any && !FError;
    }

    QString Decode() const
    {
        return FEncoding == TEncoding::Utf8 ? QString::fromUtf8(FBytes) : Cp936::Decode(FBytes);
    }

    QFile &FFile;
    std::vector<char> FBuffer;
    QByteArray FBytes;
    qint64 FPos = 0;
    qint64 FLen = 0;
    bool FSkipLF = false;
    bool FEncodingKnown = false;
    bool FByteOrderMark = false;
    TEncoding FEncoding = TEncoding::Cp936;
    bool FError = false;
    // UTF-16 only: the decoded piece of the file and the place in it.
    QStringDecoder FDecoder;
    QString FText;
    qsizetype FTextPos = 0;
};

// Occurrences of Ch outside double-quoted parts (each quote opens or closes one).
int CountOutsideQuotes(QChar Ch, const QString &Text)
{
    int Count = 0;
    bool InQuotes = false;
    for (QChar C : Text) {
        if (C == Quote)
            InQuotes = !InQuotes;
        else if (C == Ch && !InQuotes)
            ++Count;
    }
    return Count;
}

// The delimiter of a file from its first two lines, #0 when none fits.
QChar DetectDelimiter(const QString &Line1, const QString &Line2)
{
    QChar Found;
    int Best = 0;
    for (QChar Ch : DetectedDelimiters) {
        const int N1 = CountOutsideQuotes(Ch, Line1);
        if (N1 == CountOutsideQuotes(Ch, Line2) && N1 > Best) {
            Found = Ch;
            Best = N1;
        }
    }
    if (!Found.isNull())
        return Found;
    for (QChar Ch : DetectedDelimiters) {
        const int N1 = CharCount(Ch, Line1);
        if (N1 == CharCount(Ch, Line2) && N1 > Best) {
            Found = Ch;
            Best = N1;
        }
    }
    if (!Found.isNull())
        return Found;
    for (QChar Ch : DetectedDelimiters) {
        const int N1 = CharCount(Ch, Line1);
        const int N2 = CharCount(Ch, Line2);
        if (N1 > Best || N2 > Best) {
            Found = Ch;
            Best = std::max(N1, N2);
        }
    }
    return Found;
}

// Whether a record is still inside a quoted field at the end of a line: a
// field that begins with a double quote runs to its closing quote (a doubled
// quote does not close it), across line ends, as RFC 4180 writers put it.
struct QuotedFieldScan {
    bool InQuotedField = false;
    bool AtFieldStart = true;

    void Line(const QString &Text, QChar Delimiter)
    {
        const qsizetype N = Text.size();
        for (qsizetype I = 0; I < N; ++I) {
            const QChar C = Text.at(I);
            if (InQuotedField) {
                if (C == Quote) {
                    if (I + 1 < N && Text.at(I + 1) == Quote)
                        ++I;
                    else
                        InQuotedField = false;
                }
            } else if (AtFieldStart) {
                AtFieldStart = !Delimiter.isNull() && C == Delimiter;
                InQuotedField = C == Quote;
            } else if (!Delimiter.isNull() && C == Delimiter) {
                AtFieldStart = true;
            }
        }
    }
};

// The last field of a record: a leading and a trailing quote go, doubled quotes become one.
QString RestField(QString Text)
{
    if (Text.startsWith(Quote))
        Text.remove(0, 1);
    if (Text.endsWith(Quote))
        Text.chop(1);
    return Text.replace(DoubledQuote, QString(Quote));
}

// Splits one record into its fields. A field that begins with a double quote
// runs to its closing quote; text between the closing quote and the next
// delimiter belongs to the field too, as it is (so "abc"def is abcdef, as
// other readers of such files take it). The rest after the last delimiter,
// when not empty, is the last field; a quoted field that never closes keeps
// its text there.
template <typename Store>
void SplitRecord(const QString &Record, QChar Delimiter, Store &&StoreField)
{
    const qsizetype N = Record.size();
    // Without a delimiter the whole record is one field.
    auto FindDelimiter = [&](qsizetype From) { return Delimiter.isNull() ? -1 : Record.indexOf(Delimiter, From); };
    qsizetype Pos = 0;
    while (Pos < N) {
        if (Record.at(Pos) == Quote) {
            qsizetype Q = Pos + 1;
            bool Closed = false;
            while (Q < N) {
                if (Record.at(Q) == Quote) {
                    if (Q + 1 < N && Record.at(Q + 1) == Quote) {
                        Q += 2;
                        continue;
                    }
                    Closed = true;
                    break;
                }
                ++Q;
            }
            if (!Closed) {
                StoreField(RestField(Record.mid(Pos)));
                return;
            }
            const qsizetype D = FindDelimiter(Q + 1);
            const qsizetype TailEnd = D < 0 ? N : D;
            StoreField(Record.mid(Pos + 1, Q - Pos - 1).replace(DoubledQuote, QString(Quote))
                       + Record.mid(Q + 1, TailEnd - Q - 1));
            if (D < 0)
                return;
            Pos = D + 1;
            continue;
        }
        const qsizetype D = FindDelimiter(Pos);
        if (D < 0) {
            StoreField(RestField(Record.mid(Pos)));
            return;
        }
        QString Field = Record.mid(Pos, D - Pos);
        if (Field.contains(Quote))
            Field.replace(DoubledQuote, QString(Quote));
        StoreField(Field);
        Pos = D + 1;
    }
}

} // namespace

// =================================================================== CSV

void TCellGrid::LoadCSVFile(const QString &FileName)
{
    LoadCSV(FileName, false);
}

void TCellGrid::LoadCSV(const QString &FileName, bool Append)
{
    const int StartCol = IncludeFixedCells ? 0 : FixedCols();
    const int StartRow = IncludeFixedCells ? 0 : FixedRows();
    QFile File(FileName);
    CsvLineReader Reader(File);
    if (!File.open(QIODevice::ReadOnly) || !Reader.Rewind())
        throw ECellGridError(CannotOpen(FileName));

    const QChar EntryDelimiter = FieldDelimiter;
    QChar Delimiter = FieldDelimiter;
    if (Delimiter.isNull()) {
        QString Line1, Line2;
        if (Reader.Next(Line1))
            Reader.Next(Line2);
        if (Reader.Failed())
            throw ECellGridError(CannotOpen(FileName));
        Delimiter = DetectDelimiter(Line1, Line2);
    }
    qint64 LinesCounted = 0;
    if (OnFileProgress) {
        if (!Reader.Rewind())
            throw ECellGridError(CannotOpen(FileName));
        QString Line;
        while (Reader.Next(Line))
            ++LinesCounted;
        if (Reader.Failed())
            throw ECellGridError(CannotOpen(FileName));
    }
    if (!Reader.Rewind())
        throw ECellGridError(CannotOpen(FileName));

    // From here on the grid changes; every way out goes through Finish.
    FieldDelimiter = Delimiter;
    int Row = Append ? RowCount() : StartRow;
    QStringList FooterTexts;
    bool FooterSaved = false;
    if (Append && FFloatingFooter->Visible()) {
        const int Last = RowCount() - 1;
        for (int C = 0; C < ColCount(); ++C) {
            FooterTexts << PlainCells(C, Last);
            SetPlainCells(C, Last, QString());
        }
        FooterSaved = true;
        Row = Last;
    }
    auto Finish = [&]() {
        // The footer texts get a row of their own below the rows read (the
        // visible footer is itself the fixed footer row).
        SetRowCount(Row + std::max(FFixedFooters, FooterSaved ? 1 : 0));
        if (FooterSaved) {
            const int Last = RowCount() - 1;
            for (int C = 0; C < FooterTexts.size() && C < ColCount(); ++C)
                SetPlainCells(C, Last, FooterTexts.at(C));
        }
        FieldDelimiter = EntryDelimiter;
        CellsChanged(TRect(0, 0, ColCount(), RowCount()));
        RefreshFooter();
    };

    try {
        if (OnFileProgress) {
            const qint64 Lines = std::min<qint64>(LinesCounted, std::numeric_limits<int>::max() / 2);
            SetRowCount(int(Append ? RowCount() + Lines : StartRow + Lines + FFixedFooters));
        }
        qint64 LinesRead = 0;
        int LastPercent = 0;
        auto LineRead = [&]() {
            ++LinesRead;
            if (!OnFileProgress || LinesCounted <= 0)
                return;
            const int Percent = int(std::lround(double(LinesRead) / double(LinesCounted) * 100.0));
            if (Percent != LastPercent) {
                LastPercent = Percent;
                OnFileProgress(this, qint16(Percent));
            }
        };
        auto StoreRecord = [&](const QString &Record) {
            if (RowCount() - FFixedFooters <= Row)
                SetRowCount(Row + 1000);
            int Col = StartCol;
            SplitRecord(Record, Delimiter, [&](QString Field) {
                if (TildeLineBreaks)
                    TildeToCRLF(Field);
                else if (Field.contains(QLatin1Char('\n')))
                    LFToCRLF(Field);
                if (Col >= ColCount())
                    SetColCount(Col + 1);
                SetPlainCells(Col, Row, Field);
                ++Col;
            });
            ++Row;
        };

        // Lines of a quoted field that has not closed yet wait here; should the
        // file end before the closing quote, they are read one line each.
        QStringList Pending;
        QString Record;
        QuotedFieldScan Scan;
        QString Line;
        while (Reader.Next(Line)) {
            if (OemConvert)
                OemToAnsi(Line);
            if (Pending.isEmpty()) {
                Scan = QuotedFieldScan();
                Record = Line;
            } else {
                Record += QLatin1String("\r\n");
                Record += Line;
            }
            Scan.Line(Line, Delimiter);
            if (Scan.InQuotedField) {
                Pending << Line;
                LineRead();
                continue;
            }
            Pending.clear();
            StoreRecord(Record);
            LineRead();
        }
        if (Reader.Failed())
            throw ECellGridError(CannotOpen(FileName));
        for (const QString &Held : Pending)
            StoreRecord(Held);
    } catch (...) {
        Finish();
        throw;
    }
    Finish();
}

// =================================================================== worksheets

void TCellGrid::LoadFromXLS(const QString &FileName)
{
    LoadXLSSheet(FileName, QString());
}

void TCellGrid::LoadXLSSheet(const QString &FileName, const QString &SheetName)
{
    TWaitCursor Wait;
    WorkbookReader::TSheet Sheet;
    switch (WorkbookReader::ReadSheet(FileName, SheetName, Sheet)) {
    case WorkbookReader::rrOk:
        break;
    case WorkbookReader::rrNoReader:
        throw ECellGridError(QStringLiteral("Excel OLE server not found"));
    case WorkbookReader::rrSheetNotFound:
        throw ECellGridError(QStringLiteral("Excel worksheet ") + SheetName + QStringLiteral(" not found"));
    case WorkbookReader::rrDamaged:
        throw ECellGridError(CannotOpen(FileName));
    }

    // The used block comes from the cells read, never from the size the file claims.
    int C1 = 0, R1 = 0, C2 = 0, R2 = 0;
    if (!Sheet.Cells.empty()) {
        C1 = R1 = std::numeric_limits<int>::max();
        for (const auto &Cell : Sheet.Cells) {
            C1 = std::min(C1, Cell.Col);
            C2 = std::max(C2, Cell.Col);
            R1 = std::min(R1, Cell.Row);
            R2 = std::max(R2, Cell.Row);
        }
    }
    const int OldFixedCols = TStringGrid::FixedCols();
    const int OldFixedRows = TStringGrid::FixedRows();
    int Cols = C2 - C1 + 1;
    int Rows = R2 - R1 + 1;
    int StartCol = 0, StartRow = 0;
    if (!IncludeFixedCells) {
        StartCol = FixedCols();
        StartRow = FixedRows();
        Cols += StartCol;
        Rows += StartRow;
    }
    SetColCount(Cols);
    SetRowCount(Rows);
    if (OldFixedCols < ColCount() && TStringGrid::FixedCols() != OldFixedCols)
        SetFixedCols(OldFixedCols);
    if (OldFixedRows < RowCount() && TStringGrid::FixedRows() != OldFixedRows)
        SetFixedRows(OldFixedRows);
    for (const auto &Cell : Sheet.Cells)
        SetPlainCells(StartCol + Cell.Col - C1, StartRow + Cell.Row - R1, Cell.Text);
    CellsChanged(TRect(0, 0, ColCount(), RowCount()));
    RefreshFooter();
}

// =================================================================== column aggregates

double TCellGrid::ColumnSum(int ACol, int FromRow, int ToRow)
{
    double Sum = 0;
    for (int R = FromRow; R <= ToRow; ++R)
        Sum += Floats(ACol, R);
    return Sum;
}

double TCellGrid::ColumnAvg(int ACol, int FromRow, int ToRow)
{
    // An empty or reversed range has no average; 0 rather than a division by
    // zero or by a negative count.
    const qint64 Count = qint64(ToRow) - FromRow + 1;
    if (Count <= 0)
        return 0;
    return ColumnSum(ACol, FromRow, ToRow) / double(Count);
}

double TCellGrid::ColumnMin(int ACol, int FromRow, int ToRow)
{
    double Result = Floats(ACol, FromRow);
    for (int R = FromRow + 1; R <= ToRow; ++R)
        Result = std::min(Result, Floats(ACol, R));
    return Result;
}

double TCellGrid::ColumnMax(int ACol, int FromRow, int ToRow)
{
    double Result = Floats(ACol, FromRow);
    for (int R = FromRow + 1; R <= ToRow; ++R)
        Result = std::max(Result, Floats(ACol, R));
    return Result;
}
