// Sorting: styles, ties, blanks, the index list, groups, events, merged
// blocks, and the grid put back after a failing event.
#include "grid/CellGrid.h"
#include "grid/CgUni.h"
#include "GridChecks.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>

namespace {

// A grid of 3 columns with a header row and the given rows of texts.
void Fill(TCellGrid &G, const std::vector<QStringList> &Rows)
{
    G.SetColCount(3);
    G.SetRowCount(int(Rows.size()) + 1);
    for (int R = 0; R < int(Rows.size()); ++R)
        for (int C = 0; C < Rows[size_t(R)].size(); ++C)
            G.SetCellText(C, R + 1, Rows[size_t(R)][C]);
}

QStringList Column(TCellGrid &G, int ACol)
{
    QStringList L;
    for (int R = G.FixedRows(); R < G.RowCount(); ++R)
        L << G.GetCellText(ACol, R);
    return L;
}

TEST(Sorting, AutoFormatNumbersTiesAndBlanks)
{
    TCellGrid G;
    Fill(G, {{"", "10"}, {"", "9"}, {"", "100"}});
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"9", "10", "100"}));
    G.SortSettings()->AutoFormat = false;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"10", "100", "9"}));

    // Ties go to the next column with Full; without it equal rows keep their order.
    Fill(G, {{"", "b", "2"}, {"", "a", "9"}, {"", "b", "1"}, {"", "a", "3"}});
    G.SortByColumn();
    EXPECT_EQ(Column(G, 2), (QStringList{"3", "9", "1", "2"}));
    G.SortSettings()->Full = false;
    G.SortSettings()->Direction = sdDescending;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 2), (QStringList{"1", "2", "3", "9"}));

    // Blanks stay last in both directions.
    Fill(G, {{"", ""}, {"", "2"}, {"", ""}, {"", "1"}});
    G.SortSettings()->AutoFormat = true;
    G.SortSettings()->IgnoreBlanks = true;
    G.SortSettings()->BlankPos = blLast;
    for (TSortDirection D : {sdAscending, sdDescending}) {
        G.SortSettings()->Direction = D;
        G.SortByColumn();
        EXPECT_EQ(Column(G, 1), D == sdAscending ? (QStringList{"1", "2", "", ""}) : (QStringList{"2", "1", "", ""}));
    }
    EXPECT_GT(G.SortCompares(), 0);
}

TEST(Sorting, RowsThatTieAcrossAWideGridAreOrderedByTheirLastColumn)
{
    // Each column's sort state is found by its number: a tie that walks
    // 40,000 columns costs 40,000 look-ups, not a walk of the columns seen so
    // far for each (a minute and a half under the sanitizers).
    TCellGrid G;
    G.SetColCount(40000);
    G.SetRowCount(4);
    for (int R = 1; R < 4; ++R) {
        G.SetCellText(1, R, QStringLiteral("same"));
        G.SetCellText(39999, R, QString::number(4 - R));
    }
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 39999), (QStringList{"1", "2", "3"}));
}

TEST(Sorting, TextIsCodePage936ByteOrderAsAPeerSortsIt)
{
    const QStringList Words{"中国", "阿姨", "abc", "ABC", "北京", "z", "啊", "乤", "丄", "€uro", "中", "Zebra", "123", "𠮷", "é", "。", "～"};
    TCellGrid G;
    std::vector<QStringList> Rows;
    for (const QString &W : Words)
        Rows.push_back({"", W});
    Fill(G, Rows);
    G.SortSettings()->Column = 1;
    G.SortSettings()->AutoFormat = false;
    G.SortByColumn();

    // The peer: GB18030 bytes, except that code page 936's own byte for the
    // euro sign (0x80) stands, as the program's codec writes it.
    QProcess Py;
    Py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"), QStringLiteral("import sys\n"
                                                   "w = sys.stdin.buffer.read().decode('utf-8').split('\\n')\n"
                                                   "def enc(c):\n"
                                                   "    return b'\\x80' if c == '\\u20ac' else c.encode('gb18030')\n"
                                                   "key = lambda s: b''.join(enc(c) for c in s)\n"
                                                   "sys.stdout.buffer.write('\\n'.join(sorted(w, key=key)).encode('utf-8'))\n")});
    ASSERT_TRUE(Py.waitForStarted());
    Py.write(Words.join(QLatin1Char('\n')).toUtf8());
    Py.closeWriteChannel();
    ASSERT_TRUE(Py.waitForFinished());
    const QStringList Expected = QString::fromUtf8(Py.readAllStandardOutput()).split(QLatin1Char('\n'));
    EXPECT_EQ(Column(G, 1), Expected);
    EXPECT_LT(Column(G, 1).indexOf("阿姨"), Column(G, 1).indexOf("中国"));

    // Upper-casing touches ASCII letters only, never a trail byte.
    Fill(G, {{"", "乤"}, {"", "丄"}, {"", "b"}, {"", "A"}});
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soTextUpper; };
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"A", "b", "丄", "乤"}));
}

TEST(Sorting, AutoFormatOrdersEachKindAmongItselfAsPythonSortsTheSameKey)
{
    // A price column holding a text here and there: the numbers in order, the
    // texts after them, whichever cell of a pair is compared first.
    TCellGrid G;
    Fill(G, {{"", ""}, {"", "8"}, {"", "12.5"}, {"", "面议"}, {"", "9.9"}, {"", "100"}, {"", "面议"}, {"", "3"},
             {"", "7.5"}, {"", "25"}});
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"", "3", "7.5", "8", "9.9", "12.5", "25", "100", "面议", "面议"}));
    EXPECT_EQ(G.CompareCells(1, 2, 9), -1);
    EXPECT_EQ(G.CompareCells(1, 9, 2), 1);

    // 3,000 rows of random kinds, with many equal values, beside their
    // numbers in column 0; a second time with check boxes, which the sort
    // compares one pair at a time. The peer sorts (kind, value): empty cells,
    // numbers, dates (two-digit year first, the form the default short date
    // reads), texts by their GB18030 bytes, check boxes by their state; its
    // sort is stable, in both directions.
    LoadDateSettings(QLocale::c());
    const char *Peer = R"PY(
import sys, datetime
rows = [l.split('\t') for l in open(sys.argv[1], encoding='utf-8').read().split('\n') if l]
rank = {'empty': 0, 'number': 1, 'date': 2, 'text': 3, 'check': 4}
def key(r):
    kind, text = r[1], r[2]
    if kind == 'number': return (1, float(text))
    if kind == 'date':
        y, m, d = map(int, text.split('/'))
        return (2, datetime.date(2000 + y, m, d).toordinal())
    if kind == 'text': return (3, text.encode('gb18030'))
    if kind == 'check': return (4, int(r[3]))
    return (0, 0)
for desc in (False, True):
    print(' '.join(r[0] for r in sorted(rows, key=key, reverse=desc)))
)PY";
    const QStringList Texts{"面议", "电议", "缺货", "张", "李", "abc", "ABC", "N/A", "x-1", "中国", "阿姨", "z"};
    QRandomGenerator Random(44);
    for (const bool Checks : {false, true}) {
        SCOPED_TRACE(Checks ? "with check boxes" : "without check boxes");
        const int N = 3000;
        TCellGrid M;
        M.SetColCount(2);
        M.SetRowCount(N + 1);
        QByteArray Input;
        for (int R = 1; R <= N; ++R) {
            const int Pick = int(Random.bounded(100));
            QString Kind, Text, State = QStringLiteral("0");
            if (Pick < 8) {
                Kind = QStringLiteral("empty");
            } else if (Pick < 48) {
                Kind = QStringLiteral("number");
                const int V = int(Random.bounded(-40, 200));
                Text = Random.bounded(2) ? QString::number(V) : QString::number(V / 4.0, 'f', 2);
            } else if (Pick < 68) {
                Kind = QStringLiteral("date");
                Text = QStringLiteral("%1/%2/%3").arg(10 + Random.bounded(30)).arg(1 + Random.bounded(12)).arg(
                    1 + Random.bounded(28));
            } else if (Pick < 93 || !Checks) {
                Kind = QStringLiteral("text");
                Text = Texts[Random.bounded(Texts.size())];
            } else {
                Kind = QStringLiteral("check");
                Text = Texts[Random.bounded(Texts.size())];
                const bool Ticked = Random.bounded(2);
                State = Ticked ? QStringLiteral("1") : QStringLiteral("0");
                TCellGraphic *Check = M.NewCellGraphic(1, R);
                Check->CellType = ctCheckBox;
                Check->CellBoolean = Ticked;
            }
            M.SetCellText(0, R, QString::number(R));
            M.SetCellText(1, R, Text);
            Input += (QStringList{QString::number(R), Kind, Text, State}.join(QLatin1Char('\t')) + QLatin1Char('\n')).toUtf8();
        }
        TestSupport::TempDir Dir;
        TestSupport::WriteAll(Dir.File(QStringLiteral("rows.txt")), Input);
        QByteArray Out;
        ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                          {QStringLiteral("-c"), QString::fromUtf8(Peer), Dir.File(QStringLiteral("rows.txt"))},
                                          &Out),
                  0)
            << Out.constData();
        const QStringList Orders = QString::fromUtf8(Out).trimmed().split(QLatin1Char('\n'));
        ASSERT_EQ(Orders.size(), 2);
        M.SortSettings()->Column = 1;
        for (const TSortDirection D : {sdAscending, sdDescending}) {
            // From the rows' first order each time, as the peer sorts them.
            M.SortSettings()->Direction = sdAscending;
            M.SortSettings()->Column = 0;
            M.OnGetFormat = [](TObject *, int ACol, TSortStyle &S, QString &, QString &) {
                if (ACol == 0)
                    S = soNumber;
            };
            M.SortByColumn();
            M.SortSettings()->Column = 1;
            M.SortSettings()->Direction = D;
            M.SortByColumn();
            EXPECT_EQ(Column(M, 0).join(QLatin1Char(' ')), Orders[D == sdAscending ? 0 : 1].trimmed());
        }
    }
}

TEST(Sorting, StylesFromOnGetFormatAndEvents)
{
    TCellGrid G;
    Fill(G, {{"", "$1,200 kg"}, {"", "$900 kg"}, {"", "$1,000 kg"}});
    G.SortSettings()->Column = 1;
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &Prefix, QString &Suffix) {
        S = soNumberGrouped;
        Prefix = QStringLiteral("$");
        Suffix = QStringLiteral(" kg");
    };
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"$900 kg", "$1,000 kg", "$1,200 kg"}));

    // Dates that do not read count as 0, like empty ones, and nothing raises.
    Fill(G, {{"", "2024-1-5"}, {"", "not a date"}, {"", "2023-12-31"}, {"", ""}});
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soDate; };
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"not a date", "", "2023-12-31", "2024-1-5"}));

    // Custom and raw comparisons: the raw one sees the rows as they stood before the sort.
    Fill(G, {{"", "ccc"}, {"", "a"}, {"", "bb"}});
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soCustom; };
    G.OnCustomCompare = [](TObject *, const QString &A, const QString &B, int &Res) { Res = int(B.size() - A.size()); };
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"ccc", "bb", "a"}));
    std::vector<QString> Seen;
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soRaw; };
    G.OnRawCompare = [&](TObject *Sender, int ACol, int R1, int R2, int &Res) {
        auto *Grid = static_cast<TCellGrid *>(Sender);
        Res = Grid->GetCellText(ACol, R1).compare(Grid->GetCellText(ACol, R2));
    };
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"a", "bb", "ccc"}));
    EXPECT_EQ(G.CompareCells(1, 1, 2), -1);

    // Wide cells compare by their decoded text.
    Fill(G, {{"", ""}, {"", ""}});
    G.SetWideCellText(1, 1, QStringLiteral("b"));
    G.SetWideCellText(1, 2, QStringLiteral("A"));
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soWideText; };
    G.SortByColumn();
    EXPECT_EQ(G.GetWideCellText(1, 1), QStringLiteral("A"));
}

TEST(Sorting, IndexListWithDirectionsAndGroups)
{
    TCellGrid G;
    Fill(G, {{"", "a", "1"}, {"", "b", "2"}, {"", "a", "3"}, {"", "b", "4"}});
    EXPECT_THROW(G.SortByIndexList(), ECellGridError);
    EXPECT_EQ(Column(G, 2), (QStringList{"1", "2", "3", "4"}));
    G.SortIndexes()->AddIndex(1, false);
    G.SortIndexes()->AddIndex(2, true);
    G.SortByIndexList();
    EXPECT_EQ(Column(G, 2), (QStringList{"2", "4", "1", "3"}));
    G.SortIndexes()->ToggleIndex(2);
    G.SortByIndexList();
    EXPECT_EQ(Column(G, 2), (QStringList{"4", "2", "3", "1"}));

    // Groups under nodes are sorted each on their own; node rows stay.
    Fill(G, {{"", "n1"}, {"", "c"}, {"", "a"}, {"", "b"}, {"", "n2"}, {"", "z"}, {"", "y"}});
    for (int R : {1, 5})
        G.NewCellGraphic(0, R)->CellType = ctNode;
    G.SortSettings()->Column = 1;
    G.SortWithinGroups();
    EXPECT_EQ(Column(G, 1), (QStringList{"n1", "a", "b", "c", "n2", "y", "z"}));
}

TEST(Sorting, MergedBlocksMoveWholeAndFixedTextsStay)
{
    TCellGrid G;
    Fill(G, {{"1", "d"}, {"2", "b", "x"}, {"3", "", "y"}, {"4", "a"}, {"5", "c"}});
    G.MergeCellBlock(1, 2, 1, 2);   // "b" over rows 2-3
    G.SortSettings()->Column = 1;
    G.SortSettings()->NormalCellsOnly = true;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 1), (QStringList{"a", "b", "b", "c", "d"}));
    EXPECT_EQ(Column(G, 2), (QStringList{"", "x", "y", "", ""}));
    EXPECT_EQ(G.CellSpan(1, 2), TPoint(0, 1));
    EXPECT_EQ(Column(G, 0), (QStringList{"1", "2", "3", "4", "5"}));
}

TEST(Sorting, AFailingEventLeavesTheGridAsItWas)
{
    TCellGrid G;
    Fill(G, {{"", "b"}, {"", "a"}, {"", "c"}});
    G.SetColumnHidden(2, true);
    G.SetColWidths(2, 55);
    G.SetRow(2);
    G.OnGetFormat = [](TObject *, int, TSortStyle &S, QString &, QString &) { S = soCustom; };
    G.OnCustomCompare = [](TObject *, const QString &, const QString &, int &) { throw Exception(QStringLiteral("停")); };
    G.SortSettings()->Column = 1;
    EXPECT_THROW(G.SortByColumn(), Exception);
    EXPECT_EQ(G.RowCount(), 4);
    EXPECT_EQ(G.ColCount(), 3);
    EXPECT_EQ(G.ColWidths(2), 55);
    EXPECT_EQ(G.UpdateCount(), 0);
    EXPECT_EQ(G.Row(), 2);
    EXPECT_EQ(Column(G, 1), (QStringList{"b", "a", "c"}));
}

} // namespace

namespace {

TEST(Sorting, CurrentRowFollowsItsRowWithMoveRowOnSortAndIndexesTravel)
{
    TCellGrid G;
    Fill(G, {{"", "c"}, {"", "a"}, {"", "b"}});
    G.RowIndexes = {0, 10, 20, 30};
    G.SetRow(1);   // "c"
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    EXPECT_EQ(G.Row(), 1);
    EXPECT_EQ(G.RowIndexes, (std::vector<int>{0, 20, 30, 10}));
    G.Navigation()->MoveRowOnSort = true;
    G.SortSettings()->Direction = sdDescending;
    G.SetRow(3);   // "c"
    G.SortByColumn();
    EXPECT_EQ(G.GetCellText(1, G.Row()), QStringLiteral("c"));
    EXPECT_EQ(G.Row(), 1);
    EXPECT_GT(G.SortSwaps(), 0);
}

} // namespace

namespace {

// Rows 1..10 with a key in column 1 and the row's own tag in column 2; the
// keys of rows 2-4, 6-7 and 9-10 are merged blocks of column 1.
void FillBlocks(TCellGrid &G)
{
    Fill(G, {{"", "e", "r1"}, {"", "b", "r2"}, {"", "", "r3"}, {"", "", "r4"}, {"", "d", "r5"},
             {"", "a", "r6"}, {"", "", "r7"}, {"", "c", "r8"}, {"", "f", "r9"}, {"", "", "r10"}});
    G.MergeCellBlock(1, 2, 1, 3);
    G.MergeCellBlock(1, 6, 1, 2);
    G.MergeCellBlock(1, 9, 1, 2);
}

TEST(Sorting, HiddenRowsComeBackBesideTheRowsTheyWereHiddenBelowAndBlocksStayWhole)
{
    TCellGrid G;
    FillBlocks(G);
    // Hidden: the first data row, a row after block b and one after block a.
    for (int R : {8, 5, 1})
        G.HideRows(R, R);
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 2), (QStringList{"r6", "r7", "r2", "r3", "r4", "r9", "r10"}));
    G.UnHideRowsAll();
    EXPECT_EQ(MergeFaults(G), QStringList());
    // Each hidden row follows the row it was hidden below: rows 5 and 8 the
    // ends of the blocks b and a, row 1 the header.
    EXPECT_EQ(Column(G, 2), (QStringList{"r1", "r6", "r7", "r8", "r2", "r3", "r4", "r5", "r9", "r10"}));
    EXPECT_EQ(Column(G, 1), (QStringList{"e", "a", "a", "c", "b", "b", "b", "d", "f", "f"}));
    EXPECT_EQ(G.CellSpan(1, 5), TPoint(0, 2));

    // Descending, with rows of a block's neighbourhood brought back one range at a time.
    TCellGrid H;
    FillBlocks(H);
    H.HideRows(5, 5);
    H.HideRows(8, 8);
    H.SortSettings()->Column = 1;
    H.SortSettings()->Direction = sdDescending;
    H.SortByColumn();
    EXPECT_EQ(Column(H, 2), (QStringList{"r9", "r10", "r1", "r2", "r3", "r4", "r6", "r7"}));
    for (int R = 0; R <= 20 && H.NumHiddenRows() > 0; ++R)
        if (H.IsHiddenRow(R))
            H.UnHideRows(R, R);
    EXPECT_EQ(MergeFaults(H), QStringList());
    EXPECT_EQ(Column(H, 2), (QStringList{"r9", "r10", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8"}));

    // Within node groups every group keeps its own hidden rows.
    TCellGrid N;
    Fill(N, {{"", "n1", "n1"}, {"", "c", "r2"}, {"", "a", "r3"}, {"", "b", "r4"},
             {"", "n2", "n2"}, {"", "z", "r6"}, {"", "y", "r7"}, {"", "x", "r8"}});
    for (int R : {1, 5})
        N.NewCellGraphic(0, R)->CellType = ctNode;
    N.HideRows(7, 7);
    N.HideRows(3, 3);
    N.SortSettings()->Column = 1;
    N.SortWithinGroups();
    N.UnHideRowsAll();
    EXPECT_EQ(Column(N, 2), (QStringList{"n1", "r4", "r2", "r3", "n2", "r8", "r6", "r7"}));

    // A block merged across a hidden row's place after it was hidden: the row
    // comes back after the block, and the row still hidden keeps its own place.
    TCellGrid M;
    Fill(M, {{"", "", "r1"}, {"", "", "r2"}, {"", "", "r3"}, {"", "", "r4"}, {"", "", "r5"}, {"", "", "r6"}});
    M.HideRows(3, 3);
    M.HideRows(5, 5);
    M.MergeCellBlock(1, 2, 1, 2);   // displayed rows 2-3: real rows 2 and 4
    M.UnHideRows(3, 3);
    EXPECT_EQ(MergeFaults(M), QStringList());
    EXPECT_EQ(Column(M, 2), (QStringList{"r1", "r2", "r4", "r3", "r6"}));
    EXPECT_TRUE(M.IsHiddenRow(5));
    M.UnHideRowsAll();
    EXPECT_EQ(Column(M, 2), (QStringList{"r1", "r2", "r4", "r3", "r5", "r6"}));
    EXPECT_EQ(M.CellSpan(1, 3), TPoint(0, 1));
}

TEST(Sorting, ABlockHiddenWithTheRowsHiddenInsideItSortsAndComesBackWhole)
{
    // r4 was hidden before block b was merged over r3 and r5; hiding the block
    // sends r4 after it, and all three follow r2 through the sort.
    TCellGrid G;
    Fill(G, {{"", "e", "r1"}, {"", "c", "r2"}, {"", "b", "r3"}, {"", "x", "r4"},
             {"", "", "r5"}, {"", "a", "r6"}, {"", "d", "r7"}, {"", "f", "r8"}});
    G.HideRows(4, 4);
    G.MergeCellBlock(1, 3, 1, 2);   // displayed rows 3-4: r3 and r5
    G.HideRows(3, 3);
    EXPECT_EQ(Column(G, 2), (QStringList{"r1", "r2", "r6", "r7", "r8"}));
    G.SortSettings()->Column = 1;
    G.SortByColumn();
    EXPECT_EQ(Column(G, 2), (QStringList{"r6", "r2", "r7", "r1", "r8"}));
    EXPECT_EQ(HiddenRowFaults(G, 9), QStringList());
    G.UnHideRowsAll();
    EXPECT_EQ(MergeFaults(G), QStringList());
    EXPECT_EQ(HiddenRowFaults(G, 9), QStringList());
    EXPECT_EQ(Column(G, 2), (QStringList{"r6", "r2", "r3", "r5", "r4", "r7", "r1", "r8"}));
    EXPECT_EQ(Column(G, 1), (QStringList{"a", "c", "b", "b", "x", "d", "e", "f"}));
    EXPECT_EQ(G.CellSpan(1, 3), TPoint(0, 1));
}

} // namespace
