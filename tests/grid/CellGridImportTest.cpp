// CSV and worksheet import, checked against python3's csv module and, for
// workbooks written by xlwt and openpyxl, against xlrd's reading of them.

#include "grid/CellGrid.h"

#include "platform/core/Codec.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

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

TEST(CsvImport, EqualsPythonCsvReaderCellByCell)
{
    // Written by python's csv module in GB18030 with each delimiter: quotes,
    // Chinese (and a character beyond code page 936), empty and multi-line
    // fields, and every candidate delimiter inside quoted fields.
    const char *Script = R"PY(
import csv, io, json, sys
delim = sys.argv[1]
rows = [["名称", "价格", "说明", "备注"],
        ["茶叶", "12.5", "绿茶", "无"],
        ["他说\"好\"", "", "一行\n二行\r\n三行", "a,b;c#d\te|f"],
        ["", "", "", ""],
        ["\"", "x\"y", "𠀀字", " 空格 "],
        ["end", "½", "~", "最后"]]
buf = io.StringIO()
csv.writer(buf, delimiter=delim).writerows(rows)
raw = buf.getvalue().encode("gb18030")
open(sys.argv[2], "wb").write(raw)
back = list(csv.reader(io.StringIO(raw.decode("gb18030"), newline=""), delimiter=delim))
print(json.dumps(back))
)PY";
    TestSupport::TempDir Dir;
    for (const QString &Delimiter : {QStringLiteral(","), QStringLiteral(";"), QStringLiteral("\t"), QStringLiteral("|")}) {
        const QString File = Dir.File(QStringLiteral("peer.csv"));
        const QJsonArray Rows = QJsonDocument::fromJson(RunPython(QString::fromUtf8(Script), {Delimiter, File})).array();
        ASSERT_EQ(Rows.size(), 6);
        TCellGrid G;
        G.LoadCSVFile(File);   // detected
        EXPECT_EQ(G.RowCount(), Rows.size());
        for (int R = 0; R < Rows.size(); ++R) {
            const QJsonArray Fields = Rows.at(R).toArray();
            for (int C = 0; C < std::max<int>(int(Fields.size()), G.ColCount()); ++C) {
                const QString Expected = C < Fields.size() ? CrLf(Fields.at(C).toString()) : QString();
                EXPECT_EQ(G.PlainCells(C, R), Expected) << "delimiter " << Delimiter.toStdString() << " row " << R
                                                        << " column " << C;
            }
        }
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
