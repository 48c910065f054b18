// CSV and worksheet import, checked against python3's csv module and, for
// workbooks written by xlwt and openpyxl, against xlrd's reading of them.

#include "grid/CellGrid.h"
#include "grid/GridUtil.h"

#include "platform/core/Codec.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>
#include <memory>

#include <sys/resource.h>

// Readable failures.
inline void PrintTo(const QString &S, std::ostream *Out)
{
    *Out << '"' << S.toStdString() << '"';
}

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

// Runs a python script; its standard output, or an empty array when it failed.
QByteArray RunPython(const QString &Script, const QStringList &Args = {})
{
    QByteArray Out;
    const int Code = TestSupport::RunProgram(Python, QStringList{QStringLiteral("-c"), Script} + Args, &Out);
    EXPECT_EQ(Code, 0) << Out.constData();
    return Code == 0 ? Out : QByteArray();
}

// Whether the python peers are there (the setup script installs them).
bool HavePython(const char *Modules)
{
    QByteArray Out;
    return TestSupport::RunProgram(Python, {QStringLiteral("-c"), QStringLiteral("import ") + QLatin1String(Modules)},
                                   &Out) == 0;
}

QString MessageOf(const std::function<void()> &Call)
{
    try {
        Call();
    } catch (const ECellGridError &E) {
        return E.Message();
    }
    return QStringLiteral("no error");
}

// All texts of a grid, row by row, "|" between cells.
QStringList Texts(TCellGrid &G)
{
    QStringList Rows;
    for (int R = 0; R < G.RowCount(); ++R) {
        QStringList Cells;
        for (int C = 0; C < G.ColCount(); ++C)
            Cells << G.PlainCells(C, R);
        Rows << Cells.join(QLatin1Char('|'));
    }
    return Rows;
}

QString WriteCsv(const TestSupport::TempDir &Dir, const QString &Name, const QString &Text)
{
    const QString File = Dir.File(Name);
    TestSupport::WriteAll(File, Cp936::Encode(Text));
    return File;
}

QStringList LoadCsvText(const QString &Text, QChar Delimiter = QChar(0))
{
    TestSupport::TempDir Dir;
    TCellGrid G;
    G.FieldDelimiter = Delimiter;
    G.LoadCSVFile(WriteCsv(Dir, QStringLiteral("t.csv"), Text));
    EXPECT_EQ(G.FieldDelimiter, Delimiter);
    return Texts(G);
}

// Line breaks inside a field as the grid keeps them: CR LF.
QString CrLf(QString Text)
{
    Text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    Text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return Text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

} // namespace

// =================================================================== CSV

TEST(CsvImport, DelimiterDetectionTriesFiveCandidatesInThreePasses)
{
    EXPECT_EQ(LoadCsvText(QStringLiteral("a;b;c\r\n1;2;3\r\n")), QStringList({"a|b|c||", "1|2|3||"}));
    // Equal counts for both: the first candidate wins.
    EXPECT_EQ(LoadCsvText(QStringLiteral("a,b;c\r\n1,2;3\r\n")), QStringList({"a|b;c|||", "1|2;3|||"}));
    // One line: the third pass finds "|".
    EXPECT_EQ(LoadCsvText(QStringLiteral("x|y|z")), QStringList({"x|y|z||"}));
    // "&" is never tried; a delimiter counted inside quotes does not count in the first pass.
    EXPECT_EQ(LoadCsvText(QStringLiteral("a&b&c\r\nd&e")).first().section(QLatin1Char('|'), 0, 0),
              QStringLiteral("a&b&c"));
    EXPECT_EQ(LoadCsvText(QStringLiteral("\"a,b\";c\r\n\"d\";e,f")).first(),
              QStringLiteral("a,b|c|||"));
    // A tab and a given delimiter.
    EXPECT_EQ(LoadCsvText(QStringLiteral("a\tb\r\nc\td")).first(), QStringLiteral("a|b|||"));
    EXPECT_EQ(LoadCsvText(QStringLiteral("a,b;c"), QLatin1Char(';')).first(), QStringLiteral("a,b|c|||"));
}

TEST(CsvImport, QuotesLineBreaksAndUnterminatedFields)
{
    // Doubled quotes inside a quoted field become one; the enclosing quotes go.
    const QStringList Quoted = LoadCsvText(QStringLiteral("\"say \"\"hi\"\"\",x,\"\"\"\"\r\n"), QLatin1Char(','));
    EXPECT_EQ(Quoted.first(), QStringLiteral("say \"hi\"|x|\"||"));
    // A quoted field across lines is one field with CR LF; the next record follows.
    const QStringList Multi =
        LoadCsvText(QStringLiteral("a,\"one\ntwo\r\nthree\",b\r\nc,d\r\n"), QLatin1Char(','));
    ASSERT_EQ(Multi.size(), 2);
    EXPECT_EQ(Multi.at(0), QStringLiteral("a|one\r\ntwo\r\nthree|b||"));
    EXPECT_EQ(Multi.at(1), QStringLiteral("c|d|||"));
    // A quoted field that never closes keeps its text, and the lines after it
    // are read one each.
    const QStringList Open = LoadCsvText(QStringLiteral("a,\"open\r\nb,c\r\n"), QLatin1Char(','));
    ASSERT_EQ(Open.size(), 2);
    EXPECT_EQ(Open.at(0), QStringLiteral("a|open|||"));
    EXPECT_EQ(Open.at(1), QStringLiteral("b|c|||"));
    // Tilde line breaks, and a UTF-8 file with its byte-order mark.
    TestSupport::TempDir Dir;
    TCellGrid G;
    G.TildeLineBreaks = true;
    G.LoadCSV(WriteCsv(Dir, QStringLiteral("t.csv"), QStringLiteral("a~b;c")), false);
    EXPECT_EQ(G.PlainCells(0, 0), QStringLiteral("a\r\nb"));
    const QString Utf8 = Dir.File(QStringLiteral("u.csv"));
    TestSupport::WriteAll(Utf8, "\xEF\xBB\xBF" + QStringLiteral("名称,价格\r\n茶,5").toUtf8());
    G.TildeLineBreaks = false;
    G.LoadCSVFile(Utf8);
    EXPECT_EQ(G.PlainCells(0, 0), QStringLiteral("名称"));
    EXPECT_EQ(G.PlainCells(1, 1), QStringLiteral("5"));
}

TEST(CsvImport, RowsFixedCellsAppendAndFooter)
{
    TestSupport::TempDir Dir;
    QString Many;
    for (int I = 0; I < 2500; ++I)
        Many += QStringLiteral("%1,x\r\n").arg(I);
    const QString ManyFile = WriteCsv(Dir, QStringLiteral("many.csv"), Many);
    {
        TCellGrid G;
        G.SetFixedRows(1);
        G.SetFixedFooters(1);
        G.IncludeFixedCells = false;
        G.LoadCSVFile(ManyFile);
        EXPECT_EQ(G.RowCount(), 1 + 2500 + 1);
        EXPECT_EQ(G.PlainCells(1, 1), QStringLiteral("0"));
        EXPECT_EQ(G.PlainCells(1, 2500), QStringLiteral("2499"));
        EXPECT_EQ(G.PlainCells(2, 2500), QStringLiteral("x"));
    }
    {
        // Appending below a visible floating footer keeps the footer texts in the last row.
        TCellGrid G;
        G.SetColCount(2);
        G.SetRowCount(3);
        G.SetPlainCells(0, 1, QStringLiteral("kept"));
        G.SetPlainCells(0, 2, QStringLiteral("合计"));
        G.SetPlainCells(1, 2, QStringLiteral("9"));
        G.FloatingFooter()->SetVisible(true);
        G.LoadCSV(WriteCsv(Dir, QStringLiteral("a.csv"), QStringLiteral("p,1\r\nq,2\r\n")), true);
        EXPECT_EQ(Texts(G), QStringList({"|", "kept|", "p|1", "q|2", "合计|9"}));
    }
}

TEST(CsvImport, FailuresLeaveTheDelimiterAndAConsistentGrid)
{
    TestSupport::TempDir Dir;
    TCellGrid G;
    G.SetPlainCells(0, 0, QStringLiteral("old"));
    const QString Missing = Dir.File(QStringLiteral("missing.csv"));
    EXPECT_EQ(MessageOf([&] { G.LoadCSVFile(Missing); }), QStringLiteral("Cannot open file ") + Missing);
    EXPECT_EQ(G.PlainCells(0, 0), QStringLiteral("old"));

    // Progress: counted lines, each whole percentage once, ending at 100.
    QString Text;
    for (int I = 0; I < 300; ++I)
        Text += QStringLiteral("%1;a\r\n").arg(I);
    const QString File = WriteCsv(Dir, QStringLiteral("p.csv"), Text);
    std::vector<int> Seen;
    G.OnFileProgress = [&](TObject *, qint16 P) { Seen.push_back(P); };
    G.LoadCSVFile(File);
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(Seen.begin(), Seen.end()));
    EXPECT_EQ(std::adjacent_find(Seen.begin(), Seen.end()), Seen.end());
    EXPECT_EQ(G.RowCount(), 300);

    // A handler that throws halfway: the rows read stay, the rows allocated
    // ahead go, and the detected delimiter does not outlive the import.
    G.OnFileProgress = [&](TObject *, qint16 P) {
        if (P >= 50)
            throw ECellGridError(QStringLiteral("stop"));
    };
    G.SetRowCount(1);
    EXPECT_EQ(MessageOf([&] { G.LoadCSVFile(File); }), QStringLiteral("stop"));
    EXPECT_TRUE(G.FieldDelimiter.isNull());
    // 149 of 300 lines round to 50%.
    EXPECT_EQ(G.RowCount(), 149);
    EXPECT_EQ(G.PlainCells(0, 148), QStringLiteral("148"));
}

TEST(CsvImport, RandomInputNeverBreaksTheGrid)
{
    // Quotes, delimiters and line ends in any order, and stray lead bytes:
    // every line is read once, the delimiter comes back and the row count
    // never exceeds the lines.
    TestSupport::TempDir Dir;
    const QString File = Dir.File(QStringLiteral("r.csv"));
    const QByteArray Alphabet("a,;|\t\"\"\r\n~\xD6\xD0", 12);
    quint32 Seed = 7;
    auto Next = [&] { return (Seed = Seed * 1664525u + 1013904223u) >> 8; };
    for (int I = 0; I < 300; ++I) {
        QByteArray Bytes;
        const int Size = int(Next() % 200);
        for (int K = 0; K < Size; ++K)
            Bytes += Alphabet.at(int(Next() % quint32(Alphabet.size())));
        TestSupport::WriteAll(File, Bytes);
        TCellGrid G;
        G.OnFileProgress = [](TObject *, qint16 P) { ASSERT_TRUE(P >= 0 && P <= 100); };
        G.LoadCSVFile(File);
        EXPECT_TRUE(G.FieldDelimiter.isNull());
        EXPECT_LE(G.RowCount(), std::max<qsizetype>(1, Bytes.count('\r') + Bytes.count('\n') + 1));
    }
    // A quote that never closes, at the start of a long file: the lines after
    // it are read one each, in one pass.
    QByteArray Long = "\"open,x\r\n";
    for (int I = 0; I < 20000; ++I)
        Long += "\"\"a,b\r\n";   // inside the open quote only doubled quotes
    TestSupport::WriteAll(File, Long);
    TCellGrid G;
    G.LoadCSVFile(File);
    EXPECT_EQ(G.RowCount(), 20001);
    EXPECT_EQ(G.PlainCells(0, 0), QStringLiteral("open,x"));
    EXPECT_EQ(G.PlainCells(1, 20000), QStringLiteral("b"));
}

// Expects the grid's cells to be python's rows (a JSON array of arrays of
// texts), cell by cell; line breaks in a field as the grid keeps them.
void ExpectCells(TCellGrid &G, const QJsonArray &Rows, const std::string &What)
{
    EXPECT_EQ(G.RowCount(), Rows.size()) << What;
    for (int R = 0; R < std::min<int>(int(Rows.size()), G.RowCount()); ++R) {
        const QJsonArray Fields = Rows.at(R).toArray();
        for (int C = 0; C < std::max<int>(int(Fields.size()), G.ColCount()); ++C) {
            const QString Expected = C < Fields.size() ? CrLf(Fields.at(C).toString()) : QString();
            EXPECT_EQ(G.PlainCells(C, R), Expected) << What << " row " << R << " column " << C;
        }
    }
}

TEST(CsvImport, EqualsPythonCsvReaderCellByCell)
{
    // Written by python's csv module in GB18030, in UTF-8 without a
    // byte-order mark and in UTF-16 (both byte orders) with one, as
    // spreadsheets save "Unicode text", with each delimiter: quotes, Chinese
    // (and a character beyond code page 936, two UTF-16 units), empty and
    // multi-line fields, and every candidate delimiter inside quoted fields.
    const char *Script = R"PY(
import csv, io, json, sys
delim, encoding = sys.argv[1], sys.argv[3]
rows = [["名称", "价格", "说明", "备注"],
        ["茶叶", "12.5", "绿茶", "无"],
        ["他说\"好\"", "", "一行\n二行\r\n三行", "a,b;c#d\te|f"],
        ["", "", "", ""],
        ["\"", "x\"y", "𠀀字", " 空格 "],
        ["end", "½", "~", "最后"]]
buf = io.StringIO()
csv.writer(buf, delimiter=delim).writerows(rows)
text = buf.getvalue()
if encoding.startswith("utf-16"):
    text = "\ufeff" + text
raw = text.encode(encoding)
open(sys.argv[2], "wb").write(raw)
back = list(csv.reader(io.StringIO(raw.decode("utf-16" if encoding.startswith("utf-16") else encoding),
                                   newline=""), delimiter=delim))
print(json.dumps(back))
)PY";
    if (!HavePython("csv, json"))
        GTEST_SKIP() << "python3 missing";
    TestSupport::TempDir Dir;
    for (const QString &Encoding : {QStringLiteral("gb18030"), QStringLiteral("utf-8"), QStringLiteral("utf-16-le"),
                                    QStringLiteral("utf-16-be")})
    for (const QString &Delimiter : {QStringLiteral(","), QStringLiteral(";"), QStringLiteral("\t"), QStringLiteral("|")}) {
        const QString File = Dir.File(QStringLiteral("peer.csv"));
        const QJsonArray Rows =
            QJsonDocument::fromJson(RunPython(QString::fromUtf8(Script), {Delimiter, File, Encoding})).array();
        ASSERT_EQ(Rows.size(), 6);
        TCellGrid G;
        G.LoadCSVFile(File);   // detected
        ExpectCells(G, Rows, Encoding.toStdString() + " delimiter " + Delimiter.toStdString());
    }

    // Text between a closing quote and the next delimiter stays in the field,
    // as it is (quotes and spaces too), also after a quoted line break and in
    // the last field; files typed by hand, read by python's reader.
    const char *Reader = R"PY(
import csv, io, json, sys
raw = open(sys.argv[1], "rb").read()
print(json.dumps(list(csv.reader(io.StringIO(raw.decode(sys.argv[3]), newline=""), delimiter=sys.argv[2]))))
)PY";
    const QString Tails = QStringLiteral("\"abc\"def,\"z\" ,x\r\n"
                                         "\"a\"\"b\"c d,\"q\"\"\",  \"lead\" ,\"tail\" \"more\"\r\n"
                                         "\"他\"说,\"一\"\" 二\" 三,\"多\r\n行\"尾,end\r\n"
                                         "\"\"x,\"\"\"\"y,ok,\"z\" \r\n");
    for (const QString &Encoding : {QStringLiteral("gb18030"), QStringLiteral("utf-16")}) {
        const QString File = Dir.File(QStringLiteral("tails.csv"));
        TestSupport::WriteAll(File, Encoding == QStringLiteral("gb18030")
                                        ? Cp936::Encode(Tails)
                                        : QByteArray("\xFF\xFE", 2)
                                              + QByteArray(reinterpret_cast<const char *>(Tails.utf16()),
                                                           Tails.size() * 2));
        const QJsonArray Rows =
            QJsonDocument::fromJson(RunPython(QString::fromUtf8(Reader), {File, QStringLiteral(","), Encoding})).array();
        ASSERT_EQ(Rows.size(), 4);
        TCellGrid G;
        G.LoadCSVFile(File);   // detected
        ExpectCells(G, Rows, "quoted fields with text after them, " + Encoding.toStdString());
        EXPECT_EQ(G.PlainCells(0, 0), QStringLiteral("abcdef"));
        EXPECT_EQ(G.PlainCells(1, 0), QStringLiteral("z "));
    }

    // The whole file decides, read in pieces: a character cut between two
    // pieces is still UTF-8; one byte that is not, far down the file, makes
    // the whole file code page 936 (which reads it whole).
    const QByteArray Head = QStringLiteral("名称,价格\r\n").toUtf8();
    QByteArray Long = Head;
    while (Long.size() < (1 << 16))
        Long += "x,1\r\n";
    Long.truncate((1 << 16) - 3);
    Long += QStringLiteral("\r\n茶,5\r\n").toUtf8();   // 茶 takes the bytes 65535 to 65537
    const QString File = Dir.File(QStringLiteral("long.csv"));
    for (const bool Damaged : {false, true}) {
        TestSupport::WriteAll(File, Damaged ? Long + "\xD6\xD0" : Long);
        TCellGrid G;
        G.LoadCSVFile(File);
        EXPECT_EQ(G.PlainCells(0, 0), Damaged ? Cp936::Decode(QStringLiteral("名称").toUtf8()) : QStringLiteral("名称"));
        EXPECT_EQ(G.PlainCells(0, G.RowCount() - (Damaged ? 2 : 1)),
                  Damaged ? Cp936::Decode(QStringLiteral("茶").toUtf8()) : QStringLiteral("茶"));
    }
    // UTF-16 read in pieces: a character of two units, and a CR LF, cut
    // between the first two pieces (the file's bytes 65534 to 65537).
    QString Units = QStringLiteral("名称,价格\r\n");
    while (Units.size() < 32764)
        Units += QStringLiteral("x,1\r\n");
    Units.truncate(32764);
    Units += QStringLiteral("\r\n");
    for (const QString &Cut : {QStringLiteral("𠀀,5\r\n"), QStringLiteral("\r\n茶,5\r\n")}) {
        const QString Text = Units + Cut;
        TestSupport::WriteAll(File, QByteArray("\xFF\xFE", 2)
                                        + QByteArray(reinterpret_cast<const char *>(Text.utf16()), Text.size() * 2));
        TCellGrid G;
        G.LoadCSVFile(File);
        EXPECT_EQ(G.RowCount(), Text.count(QStringLiteral("\r\n")));
        EXPECT_EQ(G.PlainCells(0, 0), QStringLiteral("名称"));
        EXPECT_EQ(G.PlainCells(0, G.RowCount() - 1), Cut.section(QLatin1Char(','), 0, 0).trimmed());
        EXPECT_EQ(G.PlainCells(1, G.RowCount() - 1), QStringLiteral("5"));
    }
}

// =================================================================== column aggregates

TEST(ColumnAggregates, SumAverageMinimumMaximum)
{
    TCellGrid G;
    G.SetRowCount(6);
    const char *Values[] = {"head", "4", "-1.5", "", "10", "x"};
    for (int R = 0; R < 6; ++R)
        G.SetPlainCells(1, R, QString::fromLatin1(Values[R]));
    EXPECT_DOUBLE_EQ(G.ColumnSum(1, 1, 4), 12.5);
    EXPECT_DOUBLE_EQ(G.ColumnAvg(1, 1, 4), 12.5 / 4);
    EXPECT_DOUBLE_EQ(G.ColumnMin(1, 1, 4), -1.5);
    EXPECT_DOUBLE_EQ(G.ColumnMax(1, 1, 4), 10);
    // An empty or reversed range has an average of 0, not a division by zero or a negative count.
    EXPECT_DOUBLE_EQ(G.ColumnAvg(1, 4, 3), 0);
    EXPECT_DOUBLE_EQ(G.ColumnAvg(1, 4, 1), 0);
    EXPECT_DOUBLE_EQ(G.ColumnSum(1, 4, 1), 0);
    EXPECT_THROW(G.ColumnSum(1, 1, 5), ECellGridError);
}

// =================================================================== worksheets

namespace {

// Writes t.xls with xlwt and t.xlsx with openpyxl (the second sheet, 价格表,
// active in the .xlsx), both with a used block starting at B3, and answers
// xlrd's reading of both: {file: {sheet: [[row, col, kind, value]...]}}.
const char *WorkbookScript = R"PY(
import xlwt, openpyxl, xlrd, datetime, json, sys, os
os.chdir(sys.argv[1])
rows = [
    (2, 1, '名称'), (2, 2, '价格'), (2, 3, '日期'),
    (3, 1, '绿茶'), (3, 2, 12.5), (3, 3, datetime.date(2007, 5, 3)),
    (4, 1, '红茶 “特级”'), (4, 2, 42), (4, 3, datetime.datetime(2008, 1, 2, 13, 45, 30)),
    (5, 2, -0.125), (5, 3, datetime.time(8, 5, 9)),
    (6, 4, 1234567.891), (7, 1, True), (7, 2, 1e-7), (7, 3, '𠀀 and ½'), (9, 5, 3.0),
]
def fmt(v):
    if isinstance(v, datetime.datetime): return 'YYYY-MM-DD HH:MM:SS'
    if isinstance(v, datetime.date): return 'YYYY-MM-DD'
    if isinstance(v, datetime.time): return 'HH:MM:SS'
    return None
wb = xlwt.Workbook(encoding='utf-8')
wb.add_sheet('首页').write(0, 0, 'first')
s = wb.add_sheet('价格表')
for r, c, v in rows:
    f = fmt(v)
    if f: s.write(r, c, v, xlwt.easyxf(num_format_str=f))
    else: s.write(r, c, v)
wb.save('t.xls')
wx = openpyxl.Workbook()
a = wx.active; a.title = '首页'; a['A1'] = 'first'
s = wx.create_sheet('价格表')
for r, c, v in rows:
    cell = s.cell(row=r + 1, column=c + 1, value=v)
    f = fmt(v)
    if f: cell.number_format = f.lower()
wx.active = 1
wx.save('t.xlsx')
out = {}
for name in ('t.xls', 't.xlsx'):
    book = xlrd.open_workbook(name)
    sheets = {}
    for sh in book.sheets():
        cells = []
        for r in range(sh.nrows):
            for c in range(sh.ncols):
                cell = sh.cell(r, c)
                if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK): continue
                if cell.ctype == xlrd.XL_CELL_DATE: t, v = 'date', list(xlrd.xldate_as_tuple(cell.value, book.datemode))
                elif cell.ctype == xlrd.XL_CELL_NUMBER: t, v = 'number', cell.value
                elif cell.ctype == xlrd.XL_CELL_BOOLEAN: t, v = 'bool', cell.value
                else: t, v = 'text', cell.value
                cells.append([r, c, t, v])
        sheets[sh.name] = cells
    out[name] = sheets
print(json.dumps(out))
)PY";

// The text the grid shows for one of xlrd's cells (errors come as their text).
QString ExpectedText(const QJsonArray &Cell)
{
    const QString Kind = Cell.at(2).toString();
    if (Kind == QLatin1String("text"))
        return Cell.at(3).toString();
    if (Kind == QLatin1String("number"))
        return FloatToStr(Cell.at(3).toDouble());
    if (Kind == QLatin1String("bool"))
        return Cell.at(3).toInt() ? QStringLiteral("True") : QStringLiteral("False");
    const QJsonArray T = Cell.at(3).toArray();
    const TDateTime Time = EncodeTime(T.at(3).toInt(), T.at(4).toInt(), T.at(5).toInt(), 0);
    if (T.at(0).toInt() == 0)
        return TimeToStr(Time);
    const TDateTime Date = EncodeDate(T.at(0).toInt(), T.at(1).toInt(), T.at(2).toInt());
    return Time == 0 ? DateToStr(Date) : DateToStr(Date) + QLatin1Char(' ') + TimeToStr(Date + Time);
}

// The grid holds exactly xlrd's cells, the used block's top left at (StartCol,
// StartRow). Cells with an empty text (a formula's empty result) are not there.
void ExpectSheet(TCellGrid &G, const QJsonArray &AllCells, bool Xlsx, int StartCol = 0, int StartRow = 0)
{
    QJsonArray Cells;
    for (const auto &V : AllCells)
        if (!ExpectedText(V.toArray()).isEmpty())
            Cells.append(V);
    int C1 = INT_MAX, R1 = INT_MAX, C2 = 0, R2 = 0;
    for (const auto &V : Cells) {
        const QJsonArray Cell = V.toArray();
        R1 = std::min(R1, Cell.at(0).toInt());
        C1 = std::min(C1, Cell.at(1).toInt());
        R2 = std::max(R2, Cell.at(0).toInt());
        C2 = std::max(C2, Cell.at(1).toInt());
    }
    EXPECT_EQ(G.ColCount(), StartCol + C2 - C1 + 1);
    EXPECT_EQ(G.RowCount(), StartRow + R2 - R1 + 1);
    QSet<QPair<int, int>> Expected;   // (column, row) in the grid
    for (const auto &V : Cells)
        Expected.insert({StartCol + V.toArray().at(1).toInt() - C1, StartRow + V.toArray().at(0).toInt() - R1});
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C)
            if (!G.PlainCells(C, R).isEmpty() && !Expected.contains({C, R}))
                ADD_FAILURE() << "a cell xlrd does not have: grid column " << C << " row " << R << ": "
                              << G.PlainCells(C, R).left(80).toStdString();
    for (const auto &V : Cells) {
        const QJsonArray Cell = V.toArray();
        const int Col = StartCol + Cell.at(1).toInt() - C1;
        const int Row = StartRow + Cell.at(0).toInt() - R1;
        EXPECT_EQ(G.PlainCells(Col, Row).toStdString(), ExpectedText(Cell).toStdString())
            << (Xlsx ? "xlsx" : "xls") << " row " << Cell.at(0).toInt() << " column " << Cell.at(1).toInt();
    }
}

struct Workbooks {
    TestSupport::TempDir Dir;
    QJsonObject Peer;
    QString Xls() const { return Dir.File(QStringLiteral("t.xls")); }
    QString Xlsx() const { return Dir.File(QStringLiteral("t.xlsx")); }
    QJsonArray Cells(const char *File, const QString &Sheet) const
    {
        return Peer.value(QLatin1String(File)).toObject().value(Sheet).toArray();
    }
    Workbooks() { Peer = QJsonDocument::fromJson(RunPython(QString::fromUtf8(WorkbookScript), {Dir.Path()})).object(); }
};

const QString PriceSheet = QStringLiteral("价格表");
const QString FirstSheet = QStringLiteral("首页");

} // namespace

TEST(WorksheetImport, XlsFromXlwtEqualsXlrd)
{
    if (!HavePython("xlwt, openpyxl, xlrd"))
        GTEST_SKIP() << "python3-xlwt, python3-openpyxl or python3-xlrd missing";
    Workbooks W;
    ASSERT_FALSE(W.Peer.isEmpty());
    TCellGrid G;
    G.LoadFromXLS(W.Xls());   // the first sheet
    ExpectSheet(G, W.Cells("t.xls", FirstSheet), false);
    G.LoadXLSSheet(W.Xls(), PriceSheet);
    ExpectSheet(G, W.Cells("t.xls", PriceSheet), false);
    EXPECT_EQ(G.PlainCells(0, 0), QStringLiteral("名称"));
    // A missing sheet changes nothing.
    EXPECT_EQ(MessageOf([&] { G.LoadXLSSheet(W.Xls(), QStringLiteral("无")); }),
              QStringLiteral("Excel worksheet 无 not found"));
    ExpectSheet(G, W.Cells("t.xls", PriceSheet), false);
}

TEST(WorksheetImport, XlsxFromOpenpyxlEqualsXlrd)
{
    if (!HavePython("xlwt, openpyxl, xlrd"))
        GTEST_SKIP() << "python3-xlwt, python3-openpyxl or python3-xlrd missing";
    Workbooks W;
    ASSERT_FALSE(W.Peer.isEmpty());
    TCellGrid G;
    G.LoadFromXLS(W.Xlsx());   // the active tab
    ExpectSheet(G, W.Cells("t.xlsx", PriceSheet), true);
    G.LoadXLSSheet(W.Xlsx(), FirstSheet);
    ExpectSheet(G, W.Cells("t.xlsx", FirstSheet), true);
    EXPECT_EQ(MessageOf([&] { G.LoadXLSSheet(W.Xlsx(), QStringLiteral("Sheet9")); }),
              QStringLiteral("Excel worksheet Sheet9 not found"));

    // Without the fixed cells the block starts after them, and the fixed
    // rows and columns stay what they were.
    TCellGrid F;
    F.SetFixedCols(1);
    F.SetFixedRows(2);
    F.IncludeFixedCells = false;
    F.LoadXLSSheet(W.Xlsx(), PriceSheet);
    ExpectSheet(F, W.Cells("t.xlsx", PriceSheet), true, 1, 2);
    EXPECT_EQ(F.FixedCols(), 1);
    EXPECT_EQ(F.FixedRows(), 2);
}

TEST(WorksheetImport, DamagedWorkbooksChangeNothing)
{
    if (!HavePython("xlwt, openpyxl, xlrd"))
        GTEST_SKIP() << "python3-xlwt, python3-openpyxl or python3-xlrd missing";
    Workbooks W;
    ASSERT_FALSE(W.Peer.isEmpty());
    TCellGrid G;
    G.SetPlainCells(1, 1, QStringLiteral("before"));
    const QStringList Before = Texts(G);
    auto ExpectRefused = [&](const QString &File, const QString &Message) {
        EXPECT_EQ(MessageOf([&] { G.LoadFromXLS(File); }), Message) << File.toStdString();
        EXPECT_EQ(Texts(G), Before);
    };
    auto Variant = [&](const QString &Name, const QByteArray &Bytes) {
        const QString File = W.Dir.File(Name);
        TestSupport::WriteAll(File, Bytes);
        return File;
    };
    const QByteArray Xls = TestSupport::ReadAll(W.Xls());
    const QByteArray Xlsx = TestSupport::ReadAll(W.Xlsx());
    ExpectRefused(Variant(QStringLiteral("text.xls"), "a,b\r\n1,2\r\n"), QStringLiteral("Excel OLE server not found"));
    const QString Missing = W.Dir.File(QStringLiteral("missing.xls"));
    ExpectRefused(Missing, QStringLiteral("Cannot open file ") + Missing);
    for (const QString &File : {Variant(QStringLiteral("half.xls"), Xls.left(Xls.size() / 2)),
                                Variant(QStringLiteral("head.xls"), Xls.left(600)),
                                Variant(QStringLiteral("half.xlsx"), Xlsx.left(Xlsx.size() / 2)),
                                Variant(QStringLiteral("head.xlsx"), Xlsx.left(40))})
        ExpectRefused(File, QStringLiteral("Cannot open file ") + File);

    // Sheets rewritten by python's zipfile: a dimension that claims the
    // largest sheet (the block still comes from the cells), then a reference
    // beyond the largest sheet, a shared string that is not there, broken XML,
    // and a member whose stated size is far beyond what a sheet may take. The
    // texts moved into a shared string table (in runs, with a phonetic part
    // left out) read the same.
    const char *Rewrite = R"PY(
import sys, zipfile, re, html
from xml.sax.saxutils import escape
src, dst, what = sys.argv[1:4]
zin = zipfile.ZipFile(src)
zout = zipfile.ZipFile(dst, 'w', zipfile.ZIP_DEFLATED)
for item in zin.infolist():
    data = zin.read(item.filename)
    if item.filename == 'xl/worksheets/sheet2.xml':
        text = data.decode('utf-8')
        if what == 'dimension': text = re.sub(r'<dimension ref="[^"]*"', '<dimension ref="A1:XFD1048576"', text)
        if what == 'reference': text = text.replace('r="F10"', 'r="XFE10"', 1)
        if what == 'string': text = re.sub(r't="inlineStr"><is><t>[^<]*</t></is>', 't="s"><v>99999</v>', text, count=1)
        if what == 'xml': text = text.replace('</sheetData>', '</sheetDat>')
        if what == 'shared':
            strings = []
            def share(m):
                strings.append(html.unescape(m.group(1)))
                return 't="s"><v>%d</v>' % (len(strings) - 1)
            text = re.sub(r't="inlineStr"><is><t>([^<]*)</t></is>', share, text)
            items = ''.join('<si><r><t>%s</t></r><r><t>%s</t></r><rPh><t>x</t></rPh></si>' % (escape(t[:1]), escape(t[1:]))
                            for t in strings)
            zout.writestr('xl/sharedStrings.xml', ('<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml'
                          '/2006/main">' + items + '</sst>').encode('utf-8'))
        data = text.encode('utf-8')
    if what == 'shared' and item.filename == 'xl/_rels/workbook.xml.rels':
        data = data.replace(b'</Relationships>', b'<Relationship Type="http://schemas.openxmlformats.org/'
                            b'officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml" '
                            b'Id="rId9"/></Relationships>')
    zout.writestr(item, data)
zout.close()
if what == 'size':
    raw = bytearray(open(dst, 'rb').read())
    name = b'xl/worksheets/sheet2.xml'
    at = raw.find(b'PK\x01\x02' + bytes(20))
    pos = 0
    while True:
        pos = raw.find(b'PK\x01\x02', pos)
        if pos < 0: break
        if raw[pos + 46:pos + 46 + len(name)] == name: raw[pos + 24:pos + 28] = (0x7FFFFFF0).to_bytes(4, 'little')
        pos += 4
    open(dst, 'wb').write(bytes(raw))
)PY";
    for (const char *What : {"dimension", "shared", "reference", "string", "xml", "size"}) {
        const QString File = W.Dir.File(QStringLiteral("%1.xlsx").arg(QLatin1String(What)));
        RunPython(QString::fromUtf8(Rewrite), {W.Xlsx(), File, QLatin1String(What)});
        if (QLatin1String(What) == QLatin1String("dimension") || QLatin1String(What) == QLatin1String("shared")) {
            TCellGrid D;
            D.LoadFromXLS(File);
            ExpectSheet(D, W.Cells("t.xlsx", PriceSheet), true);
        } else {
            ExpectRefused(File, QStringLiteral("Cannot open file ") + File);
        }
    }

    // Flipped bytes: a refusal or a sheet, never a crash (the sanitizers watch).
    quint32 Seed = 12345;
    auto Next = [&] { return Seed = Seed * 1103515245u + 12345u; };
    for (const QByteArray &Original : {Xls, Xlsx}) {
        for (int I = 0; I < 60; ++I) {
            QByteArray Bytes = Original;
            for (int K = 0; K < 4; ++K)
                Bytes[int(Next() % quint32(Bytes.size() - 8)) + 8] = char(Next() >> 8);
            const QString File = Variant(Original == Xls ? QStringLiteral("m.xls") : QStringLiteral("m.xlsx"), Bytes);
            TCellGrid M;
            try {
                M.LoadFromXLS(File);
            } catch (const ECellGridError &E) {
                EXPECT_EQ(E.Message(), QStringLiteral("Cannot open file ") + File);
            }
        }
    }
}

TEST(WorksheetImport, DocumentTypesAreRefusedInEveryPartBeforeTheyAreRead)
{
    if (!HavePython("xlwt, openpyxl, xlrd"))
        GTEST_SKIP() << "python3-xlwt, python3-openpyxl or python3-xlrd missing";
    Workbooks W;
    ASSERT_FALSE(W.Peer.isEmpty());
    // Copies of the workbook by python's zipfile: each part the sheet is read
    // from given a small document type declaration (after a comment in the
    // sheet), then an 11 KB workbook whose shared strings part repeats one
    // entity of 4,000 characters 2,000,000 times (8,000,000,000 characters).
    const char *Rewrite = R"PY(
import sys, zipfile, re
src, dst, what = sys.argv[1:4]
zin = zipfile.ZipFile(src)
zout = zipfile.ZipFile(dst, 'w', zipfile.ZIP_DEFLATED)
def declare(data, decl):
    text = data.decode('utf-8')
    at = text.index('?>') + 2 if text.startswith('<?xml') else 0
    return (text[:at] + decl + text[at:]).encode('utf-8')
for item in zin.infolist():
    data = zin.read(item.filename)
    if what == 'bomb':
        if item.filename == 'xl/worksheets/sheet2.xml':
            data = re.sub(rb't="inlineStr"><is><t>[^<]*</t></is>', b't="s"><v>0</v>', data, count=1)
        if item.filename == 'xl/_rels/workbook.xml.rels':
            data = data.replace(b'</Relationships>', b'<Relationship Type="http://schemas.openxmlformats.org/'
                                b'officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml" '
                                b'Id="rId9"/></Relationships>')
    elif item.filename == what:
        decl = '<!-- x --><!DOCTYPE r>' if what.startswith('xl/worksheets/') else '<!DOCTYPE r [<!ENTITY e "e">]>'
        data = declare(data, decl)
    zout.writestr(item, data)
if what == 'bomb':
    zout.writestr('xl/sharedStrings.xml', '<?xml version="1.0" encoding="UTF-8"?><!DOCTYPE sst [<!ENTITY e "'
                  + 'x' * 4000 + '">]><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                  '<si><t>' + '&e;' * 2000000 + '</t></si></sst>')
zout.close()
)PY";
    TCellGrid G;
    G.SetPlainCells(1, 1, QStringLiteral("before"));
    const QStringList Before = Texts(G);
    // Each refusal is required before the bomb is tried: without it the bomb
    // would take tens of gigabytes.
    for (const char *Part : {"_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels", "xl/styles.xml",
                             "xl/worksheets/sheet2.xml"}) {
        SCOPED_TRACE(Part);
        const QString File = W.Dir.File(QStringLiteral("dtd.xlsx"));
        RunPython(QString::fromUtf8(Rewrite), {W.Xlsx(), File, QLatin1String(Part)});
        ASSERT_EQ(MessageOf([&] { G.LoadFromXLS(File); }).toStdString(),
                  (QStringLiteral("Cannot open file ") + File).toStdString());
        ASSERT_TRUE(Texts(G) == Before) << "the grid changed";
    }
    const QString Bomb = W.Dir.File(QStringLiteral("bomb.xlsx"));
    RunPython(QString::fromUtf8(Rewrite), {W.Xlsx(), Bomb, QStringLiteral("bomb")});
    ASSERT_LT(QFileInfo(Bomb).size(), 64 * 1024);
    struct rusage Start {}, End {};
    getrusage(RUSAGE_SELF, &Start);
    EXPECT_EQ(MessageOf([&] { G.LoadFromXLS(Bomb); }).toStdString(),
              (QStringLiteral("Cannot open file ") + Bomb).toStdString());
    getrusage(RUSAGE_SELF, &End);
    EXPECT_LT(End.ru_maxrss - Start.ru_maxrss, 128 * 1024) << "kilobytes more at the peak";
    EXPECT_TRUE(Texts(G) == Before) << "the grid changed";

    // The workbook itself still opens.
    G.LoadFromXLS(W.Xlsx());
    ExpectSheet(G, W.Cells("t.xlsx", PriceSheet), true);
}

// =================================================================== the .xls reader

namespace {

// The workbooks of xls_workbooks.py, written once for the suite, and xlrd's
// reading of the sound ones: {file: {"active": sheet, "sheets": {sheet: cells}}}.
// Beside them lie the damaged ones, each breaking one rule.
class XlsImport : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!HavePython("xlwt, xlrd"))
            return;
        Dir = std::make_unique<TestSupport::TempDir>();
        QByteArray Out;
        const QString Script = TestSupport::SourceDir() + QStringLiteral("/tests/grid/xls_workbooks.py");
        if (TestSupport::RunProgram(Python, {Script, Dir->Path()}, &Out) == 0)
            Peer = QJsonDocument::fromJson(Out).object();
        else
            Failure = Out;
    }
    static void TearDownTestSuite()
    {
        Dir.reset();
        Peer = QJsonObject();
        Failure.clear();
    }
    void SetUp() override
    {
        if (!Dir)
            GTEST_SKIP() << "python3-xlwt or python3-xlrd missing";
        ASSERT_FALSE(Peer.isEmpty()) << Failure.constData();
    }
    static QString File(const QString &Name) { return Dir->File(Name); }

    static inline std::unique_ptr<TestSupport::TempDir> Dir;
    static inline QJsonObject Peer;
    static inline QByteArray Failure;
};

} // namespace

TEST_F(XlsImport, EverySheetEqualsXlrdAndTheActiveSheetOpensFirst)
{
    // Shared strings cut across CONTINUE records (with the character width
    // changing at a cut, rich text runs and phonetic blocks cut too), RK and
    // MULRK numbers, dates of both date systems and of built-in and custom
    // formats, Booleans, errors, cached formula results with STRING records,
    // LABEL and RSTRING records, BIFF5 strings in code pages 936 and 1252;
    // in compound files with 512- and 4096-byte sectors, a mini stream and a
    // DIFAT chain.
    ASSERT_GE(Peer.size(), 8);
    for (auto It = Peer.constBegin(); It != Peer.constEnd(); ++It) {
        SCOPED_TRACE(It.key().toStdString());
        const QJsonObject Book = It.value().toObject();
        const QJsonObject Sheets = Book.value(QLatin1String("sheets")).toObject();
        for (auto S = Sheets.constBegin(); S != Sheets.constEnd(); ++S) {
            SCOPED_TRACE(S.key().toStdString());
            TCellGrid G;
            G.LoadXLSSheet(File(It.key()), S.key());
            ExpectSheet(G, S.value().toArray(), false);
        }
        // Without a name the workbook opens on its active sheet, which in
        // most of these is not the first one.
        TCellGrid G;
        G.LoadFromXLS(File(It.key()));
        ExpectSheet(G, Sheets.value(Book.value(QLatin1String("active")).toString()).toArray(), false);
    }
    TCellGrid G;
    G.LoadFromXLS(File(QStringLiteral("mixed.xls")));
    EXPECT_EQ(G.PlainCells(1, 0), QStringLiteral("名称"));

    // Date cells read back as the same dates through the grid's own date
    // parsing (the used block of that sheet starts at row 2, column 0).
    int Dates = 0;
    const QJsonArray Cells =
        Peer.value(QLatin1String("mixed.xls")).toObject().value(QLatin1String("sheets")).toObject().value(
            QStringLiteral("价格表")).toArray();
    for (const auto &V : Cells) {
        const QJsonArray Cell = V.toArray();
        const QJsonArray T = Cell.at(3).toArray();
        if (Cell.at(2).toString() != QLatin1String("date") || T.at(0).toInt() == 0 || T.at(3).toInt() != 0
            || T.at(4).toInt() != 0 || T.at(5).toInt() != 0)
            continue;
        TDateTime Date = 0;
        const QString Text = G.PlainCells(Cell.at(1).toInt(), Cell.at(0).toInt() - 2);
        ASSERT_TRUE(StrToDateByFormat(Text, Date)) << Text.toStdString();
        EXPECT_EQ(Date, EncodeDate(T.at(0).toInt(), T.at(1).toInt(), T.at(2).toInt())) << Text.toStdString();
        ++Dates;
    }
    EXPECT_GE(Dates, 6);
}

TEST_F(XlsImport, DamagedWorkbooksGiveTheErrorAndChangeNothing)
{
    TCellGrid G;
    G.SetPlainCells(1, 1, QStringLiteral("before"));
    const QStringList Before = Texts(G);
    auto ExpectRefused = [&](const QString &File) {
        EXPECT_EQ(MessageOf([&] { G.LoadFromXLS(File); }).toStdString(),
                  (QStringLiteral("Cannot open file ") + File).toStdString());
        ASSERT_TRUE(Texts(G) == Before) << "the grid changed";
    };
    // A FAT chain, a mini FAT chain, a DIFAT chain and the directory tree
    // that come back on themselves; a stream size far beyond the file; a
    // sheet that starts beyond the stream or not with a BOF record; a shared
    // string index beyond the table and a string longer than its record; a
    // record longer than the stream; no worksheet, no workbook stream, an
    // encrypted workbook.
    for (const char *Name : {"fatcycle.xls", "minicycle.xls", "difatcycle.xls", "dircycle.xls", "hugesize.xls",
                             "sheetpos.xls", "nobof.xls", "sstindex.xls", "sstchars.xls", "reclen.xls",
                             "nosheet.xls", "nostream.xls", "encrypted.xls"}) {
        SCOPED_TRACE(Name);
        ExpectRefused(File(QLatin1String(Name)));
    }
    // Cut short in the header, the tables or the workbook stream.
    for (const char *Name : {"mixed.xls", "mini.xls", "v4.xls"}) {
        const QByteArray Whole = TestSupport::ReadAll(File(QLatin1String(Name)));
        for (const qsizetype Cut : {qsizetype(0), qsizetype(100), qsizetype(512), qsizetype(600), Whole.size() / 3,
                                    Whole.size() / 2}) {
            SCOPED_TRACE(Cut);
            const QString Cuts = File(QStringLiteral("cut.xls"));
            TestSupport::WriteAll(Cuts, Whole.left(Cut));
            if (Cut < 8)
                EXPECT_EQ(MessageOf([&] { G.LoadFromXLS(Cuts); }).toStdString(), "Excel OLE server not found");
            else
                ExpectRefused(Cuts);
        }
    }

    // Flipped bytes in the small workbooks (the fuzz seeds among them): a
    // refusal or a sheet, never a crash (the sanitizers watch).
    QStringList Small = {File(QStringLiteral("mini.xls")), File(QStringLiteral("biff5.xls")),
                         File(QStringLiteral("dates1904.xls"))};
    const QDir Seeds(TestSupport::SourceDir() + QStringLiteral("/tests/fixtures/xls"));
    for (const QString &Seed : Seeds.entryList({QStringLiteral("*.xls")}, QDir::Files)) {
        TCellGrid S;
        S.LoadFromXLS(Seeds.filePath(Seed));   // every seed is a sound workbook
        EXPECT_GT(S.RowCount() * S.ColCount(), 1) << Seed.toStdString();
        Small << Seeds.filePath(Seed);
    }
    quint32 Seed = 2024;
    auto Next = [&] { return Seed = Seed * 1103515245u + 12345u; };
    const QString Flipped = File(QStringLiteral("flipped.xls"));
    TCellGrid M;
    for (const QString &Original : Small) {
        const QByteArray Bytes = TestSupport::ReadAll(Original);
        for (int I = 0; I < 80; ++I) {
            QByteArray Copy = Bytes;
            for (int K = 0, N = 1 + int(Next() >> 16) % 4; K < N; ++K)
                Copy[int((Next() >> 8) % quint32(Copy.size() - 8)) + 8] = char(Next() >> 20);
            TestSupport::WriteAll(Flipped, Copy);
            try {
                M.LoadFromXLS(Flipped);
            } catch (const ECellGridError &E) {
                EXPECT_EQ(E.Message(), QStringLiteral("Cannot open file ") + Flipped);
            }
        }
    }
}
