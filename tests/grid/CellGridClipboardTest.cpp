// Clipboard and cell stream: text copy and paste with growth and quoting, the
// own format between two grids, damaged streams and the smart series fill.

#include "grid/CellGrid.h"
#include "grid/CellGridClipboard.h"

#include "platform/graphics/ClipboardData.h"
#include "platform/services/Clipboard.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QRegularExpression>

inline void PrintTo(const QString &S, std::ostream *Out)
{
    *Out << '"' << S.toStdString() << '"';
}

namespace {

void Editable(TCellGrid &G, int Cols = 5, int Rows = 6)
{
    G.SetColCount(Cols);
    G.SetRowCount(Rows);
    G.SetOptions(G.Options() | goEditing);
}

void Select(TCellGrid &G, int L, int T, int R, int B)
{
    TGridRect S;
    S.Left = L;
    S.Top = T;
    S.Right = R;
    S.Bottom = B;
    G.SetSelection(S);
}

// Texts and the properties that matter of every cell, to tell whether a grid changed.
QStringList Snapshot(TCellGrid &G)
{
    QStringList L;
    L << QStringLiteral("%1x%2").arg(G.ColCount()).arg(G.RowCount());
    for (int C = 0; C < G.ColCount(); ++C)
        for (int R = 0; R < G.RowCount(); ++R) {
            QString S = G.GetCellText(C, R);
            if (G.HasCellProperties(C, R)) {
                TCellProperties *P = G.GetCellProperties(C, R);
                S += QStringLiteral("|%1,%2,%3,%4").arg(P->BrushColor()).arg(P->CellSpanX).arg(P->CellSpanY)
                         .arg(P->CellGraphic() ? int(P->CellGraphic()->CellType) : -1);
            }
            L << S;
        }
    return L;
}

TEST(CellClipboard, TextCopyRowsTabsHtmlAndQuoting)
{
    TCellGrid G;
    Editable(G);
    G.SetCellText(1, 1, QStringLiteral("a"));
    G.SetCellText(2, 1, QStringLiteral("b"));
    G.SetCellText(1, 2, QStringLiteral("c"));
    G.SetCellText(2, 2, QStringLiteral("d"));
    G.CopyToClipboard(TRect(1, 1, 2, 2), false);
    EXPECT_EQ(ClipboardText(), QStringLiteral("a\tb\r\nc\td\r\n"));
    G.CopyToClipboard(TRect(1, 1, 2, 1), false);
    EXPECT_EQ(ClipboardText(), QStringLiteral("a\tb"));

    G.SetCellText(3, 1, QStringLiteral("<b>粗</b>体"));
    G.Navigation()->CopyHTMLTagsToClipboard = false;
    G.CopyToClipboard(TRect(3, 1, 3, 1), false);
    EXPECT_EQ(ClipboardText(), QStringLiteral("粗体"));

    // A multi-line cell travels in quotes and comes back whole.
    G.SetCellText(4, 1, QStringLiteral("x\r\ny"));
    G.ClipboardQuoting = true;
    G.CopyToClipboard(TRect(3, 1, 4, 1), false);
    EXPECT_EQ(ClipboardText(), QStringLiteral("粗体\t\"x\ny\""));
    TCellGrid H;
    Editable(H);
    H.ClipboardQuoting = true;
    EXPECT_EQ(H.PasteText(1, 1, ClipboardText()), 2);
    EXPECT_EQ(H.GetCellText(2, 1), QStringLiteral("x\r\ny"));
    EXPECT_EQ(H.GetCellText(1, 2), QString());

    // Text a spreadsheet copied, as python's excel-tab dialect writes it:
    // quoted cells with doubled quotes inside, over lines and tabs, arrive as
    // python's reader reads them (line breaks as the grid keeps them, CR LF).
    const char *Peer = R"PY(
import csv, io, json, sys
rows = [["名称", "说明", "备注"],
        ["茶", 'say "hi"\nthere', "a\tb"],
        ['"quoted"', "", 'x"y'],
        ["一行\r\n二行", "½ 𠀀", '"'],
        ["", "end\rcr", ""]]
buf = io.StringIO()
csv.writer(buf, dialect="excel-tab").writerows(rows)
open(sys.argv[1], "w", encoding="utf-8", newline="").write(buf.getvalue())
print(json.dumps(list(csv.reader(io.StringIO(buf.getvalue(), newline=""), dialect="excel-tab"))))
)PY";
    TestSupport::TempDir Dir;
    QByteArray Out;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("/usr/bin/python3"),
                                      {QStringLiteral("-c"), QString::fromUtf8(Peer), Dir.File(QStringLiteral("s.txt"))},
                                      &Out),
              0)
        << Out.constData();
    const QJsonArray Read = QJsonDocument::fromJson(Out).array();
    ASSERT_EQ(Read.size(), 5);
    const QString Sheet = QString::fromUtf8(TestSupport::ReadAll(Dir.File(QStringLiteral("s.txt"))));
    ASSERT_TRUE(Sheet.contains(QStringLiteral("\"say \"\"hi\"\"\nthere\"")));
    TCellGrid P;
    Editable(P, 5, 7);
    P.ClipboardQuoting = true;
    EXPECT_EQ(P.PasteText(1, 1, Sheet), 15);
    for (int R = 0; R < Read.size(); ++R)
        for (int C = 0; C < 3; ++C) {
            QString Expected = Read.at(R).toArray().at(C).toString();
            Expected.replace(QRegularExpression(QStringLiteral("(?<!\r)\n")), QStringLiteral("\r\n"));
            EXPECT_EQ(P.GetCellText(1 + C, 1 + R), Expected) << "row " << R << " column " << C;
        }
    EXPECT_EQ(P.RowCount(), 7);

    // The grid's own copy and paste gives back every text: quotes anywhere,
    // tabs, line breaks, Chinese, empty cells.
    const QStringList Pieces{"a", "中", "\"", "\t", "\r\n", " ", "\"\""};
    QRandomGenerator Random(5);
    TCellGrid Source;
    Editable(Source, 6, 8);
    Source.ClipboardQuoting = true;
    for (int Round = 0; Round < 20; ++Round) {
        for (int R = 1; R < 7; ++R)
            for (int C = 1; C < 5; ++C) {
                QString T;
                for (int K = int(Random.bounded(6)); K > 0; --K)
                    T += Pieces[Random.bounded(Pieces.size())];
                Source.SetCellText(C, R, T);
            }
        Source.CopyToClipboard(TRect(1, 1, 4, 6), false);
        TCellGrid Target;
        Editable(Target, 6, 8);
        Target.ClipboardQuoting = true;
        Target.PasteText(1, 1, ClipboardText());
        for (int R = 1; R < 7; ++R)
            for (int C = 1; C < 5; ++C)
                EXPECT_EQ(Target.GetCellText(C, R), Source.GetCellText(C, R)) << "round " << Round << " row " << R
                                                                              << " column " << C;
    }

    // Rich-text cells give their plain text, wide cells their decoded text.
    G.ClipboardQuoting = false;
    G.SetCellText(1, 3, QStringLiteral("{\\rtf1\\ansi Hello {\\b world}}"));
    G.SetWideCellText(2, 3, QStringLiteral("宽𠀀"));
    G.CopyToClipboard(TRect(1, 3, 2, 3), false);
    EXPECT_EQ(ClipboardText(), QStringLiteral("Hello world\t宽𠀀"));

    int Cols = 0, Rows = 0;
    TCellGrid::TextSize(QStringLiteral("a\tb\tc\r\nd\r\n"), Cols, Rows);
    EXPECT_EQ(Cols, 3);
    EXPECT_EQ(Rows, 2);
    TCellGrid::TextSize(QStringLiteral("a\tb"), Cols, Rows);
    EXPECT_EQ(Rows, 1);
}

TEST(CellClipboard, PasteTextGrowsRefusesAndKeepsLockedCells)
{
    TCellGrid G;
    Editable(G, 3, 3);
    // Three parts at the last column: the grid grows by two and every part is stored.
    EXPECT_EQ(G.PasteText(2, 2, QStringLiteral("1\t2\t3\r\n4\r\n")), 4);
    EXPECT_EQ(G.ColCount(), 5);
    EXPECT_EQ(G.RowCount(), 4);
    EXPECT_EQ(G.GetCellText(4, 2), QStringLiteral("3"));
    EXPECT_EQ(G.GetCellText(2, 3), QStringLiteral("4"));

    // Without growth, parts past the grid are counted, not stored.
    G.Navigation()->AllowClipboardColGrow = false;
    G.Navigation()->AllowClipboardRowGrow = false;
    EXPECT_EQ(G.PasteText(4, 3, QStringLiteral("a\tb\r\nc\r\n")), 3);
    EXPECT_EQ(G.ColCount(), 5);
    EXPECT_EQ(G.RowCount(), 4);
    EXPECT_EQ(G.GetCellText(4, 3), QStringLiteral("a"));

    // The event may change or refuse a value; cells the edit switch refuses stay.
    G.OnClipboardBeforePasteCell = [](TObject *, int ACol, int, QString &Value, bool &Allow) {
        Allow = ACol != 1;
        Value = Value.toUpper();
    };
    G.OnCanEditCell = [](TObject *, int ARow, int ACol, bool &CanEdit) { CanEdit = !(ACol == 3 && ARow == 1); };
    G.SetCellText(3, 1, QStringLiteral("locked"));
    EXPECT_EQ(G.PasteText(1, 1, QStringLiteral("p\tq\tr")), 3);
    EXPECT_EQ(G.GetCellText(1, 1), QString());
    EXPECT_EQ(G.GetCellText(2, 1), QStringLiteral("Q"));
    EXPECT_EQ(G.GetCellText(3, 1), QStringLiteral("locked"));

    // Not editable and no AllowClipboardAlways: nothing at all.
    TCellGrid N;
    N.SetColCount(3);
    N.SetRowCount(3);
    const QStringList Before = Snapshot(N);
    EXPECT_EQ(N.PasteText(0, 0, QStringLiteral("x\ty")), 0);
    EXPECT_EQ(Snapshot(N), Before);
    EXPECT_EQ(N.PasteText(-1, 0, QStringLiteral("x")), 0);
}

TEST(CellClipboard, CutEmptiesOnlyEditableCells)
{
    TCellGrid G;
    Editable(G, 3, 3);
    G.Navigation()->AllowFmtClipboard = true;
    G.SetCellText(1, 1, QStringLiteral("a"));
    G.SetCellText(2, 1, QStringLiteral("b"));
    G.OnCanEditCell = [](TObject *, int, int ACol, bool &CanEdit) { CanEdit = ACol != 2; };
    Select(G, 1, 1, 2, 1);
    // Through the shortcut, as the user does it.
    G.Navigation()->AllowClipboardShortCuts = true;
    SetClipboardText(QStringLiteral("before"));
    QKeyEvent Cut(QEvent::KeyPress, Qt::Key_X, Qt::ControlModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(&G, &Cut);
    EXPECT_EQ(ClipboardText(), QStringLiteral("a\tb"));
    EXPECT_EQ(G.GetCellText(1, 1), QString());
    EXPECT_EQ(G.GetCellText(2, 1), QStringLiteral("b"));
    G.Navigation()->AllowClipboardAlways = true;
    G.CutSelectionToClipboard();
    EXPECT_EQ(G.GetCellText(2, 1), QString());
}

// A grid with texts, properties, a merge, a grid-made picture and an application's bitmap.
void FillSource(TCellGrid &S, TBitmap &AppBitmap)
{
    Editable(S, 5, 6);
    S.SetCellText(1, 1, QStringLiteral("合并"));
    S.MergeCellBlock(1, 1, 2, 2);
    S.GetCellProperties(3, 1)->SetBrushColor(clRed);
    S.GetCellProperties(3, 1)->FontStyle = fsBold;
    S.SetCellText(3, 2, QStringLiteral("pic"));
    TPicture *Pic = S.CreateCellPicture(3, 2, false, 0, 0, haLeft, vaTop);
    TBitmap B(4, 3);
    Pic->SetGraphic(&B);
    AppBitmap.SetSize(2, 2);
    auto *G = new TCellGraphic;
    G->CellType = ctBitmap;
    G->SetGraphicObject(&AppBitmap);
    S.SetCellGraphic(3, 3, G);
    S.SetCellText(3, 3, QStringLiteral("app"));
}

TEST(CellClipboard, OwnFormatTravelsBetweenTwoGrids)
{
    TCellGrid S, T;
    TBitmap AppBitmap;
    FillSource(S, AppBitmap);
    S.Navigation()->AllowFmtClipboard = true;
    Editable(T, 8, 8);
    T.Navigation()->AllowFmtClipboard = true;
    T.SetCellText(7, 7, QStringLiteral("stays"));

    Select(S, 1, 1, 3, 3);
    S.CopySelectionToClipboard();
    ASSERT_FALSE(ClipboardFormatData(CellGridMimeType(CellGridCellsFormat)).isEmpty());

    TPoint From(9, 9);
    TRect Pasted;
    struct Probe : TCellGrid {
        TPoint *From;
        TRect *Pasted;
        void CellsPasted(const TPoint &O, const TRect &R, bool) override
        {
            *From = O;
            *Pasted = R;
        }
    };
    Probe P;
    P.From = &From;
    P.Pasted = &Pasted;
    Editable(P, 8, 8);
    P.Navigation()->AllowFmtClipboard = true;
    EXPECT_EQ(P.PasteFromClipboard(2, 3), 9);
    EXPECT_EQ(From, TPoint(-1, -1));
    EXPECT_EQ(Pasted, TRect(2, 3, 4, 5));
    EXPECT_EQ(P.GetCellText(2, 3), QStringLiteral("合并"));
    EXPECT_EQ(P.CellSpan(2, 3), TPoint(1, 1));
    EXPECT_EQ(P.BaseCell(3, 4), TPoint(2, 3));
    EXPECT_EQ(P.GetCellProperties(4, 3)->BrushColor(), clRed);
    EXPECT_TRUE(P.GetCellProperties(4, 3)->FontStyle & fsBold);
    // The grid-made picture travels with its pixels; the application's bitmap does not.
    TCellGraphic *G = P.GetCellGraphic(4, 4);
    ASSERT_TRUE(G);
    ASSERT_EQ(G->CellType, ctPicture);
    auto *Pic = dynamic_cast<TPicture *>(G->GraphicObject());
    ASSERT_TRUE(Pic);
    EXPECT_EQ(Pic->Width(), 4);
    EXPECT_EQ(Pic->Height(), 3);
    EXPECT_EQ(P.GetCellText(4, 5), QStringLiteral("app"));
    EXPECT_FALSE(P.GetCellGraphic(4, 5) && P.GetCellGraphic(4, 5)->CellType == ctBitmap);

    // Back into the grid it came from: the source origin is the copied block's.
    struct Self : TCellGrid {
        TPoint Got{9, 9};
        bool Copy = false;
        void CellsPasted(const TPoint &O, const TRect &, bool CopyFlag) override
        {
            Got = O;
            Copy = CopyFlag;
        }
    };
    Self Q;
    Editable(Q, 6, 6);
    Q.Navigation()->AllowFmtClipboard = true;
    Q.SetCellText(1, 2, QStringLiteral("q"));
    Select(Q, 1, 2, 1, 2);
    Q.CutSelectionToClipboard();
    EXPECT_EQ(Q.PasteFromClipboard(4, 4), 1);
    EXPECT_EQ(Q.Got, TPoint(1, 2));
    EXPECT_FALSE(Q.Copy);
    EXPECT_EQ(Q.GetCellText(4, 4), QStringLiteral("q"));

    // A whole grid comes back with its size, widths and heights.
    TCellGrid W;
    Editable(W, 3, 2);
    W.SetColWidths(2, 77);
    W.SetRowHeights(1, 33);
    W.SetCellText(2, 1, QStringLiteral("w"));
    TMemoryStream M;
    W.SaveCellsToStream(TRect(0, 0, 2, 1), &M);
    M.SetPosition(0);
    T.LoadCellsFromStream(TPoint(0, 0), &M);
    EXPECT_EQ(T.ColCount(), 3);
    EXPECT_EQ(T.RowCount(), 2);
    EXPECT_EQ(T.ColWidths(2), 77);
    EXPECT_EQ(T.RowHeights(1), 33);
    EXPECT_EQ(T.GetCellText(2, 1), QStringLiteral("w"));
}

TEST(CellClipboard, VirtualCheckBoxesArriveAsTheCellsOwn)
{
    // The application's shared graphic stays with the source grid; the copy
    // is owned (and freed) by the target cell and keeps its state in the text.
    TCellGrid S, T;
    Editable(S);
    Editable(T);
    TCellGraphic Shared;
    Shared.CellType = ctVirtCheckBox;
    S.SetCellText(2, 2, S.CheckTrue);
    S.SetCellGraphic(2, 2, &Shared);
    TMemoryStream M;
    S.SaveCellsToStream(TRect(2, 2, 2, 2), &M);
    S.RemoveCellGraphic(2, 2);
    M.SetPosition(0);
    T.LoadCellsFromStream(TPoint(1, 3), &M);
    ASSERT_NE(T.GetCellGraphic(1, 3), nullptr);
    EXPECT_EQ(T.GetCellGraphic(1, 3)->CellType, ctDataCheckBox);
    bool State = false;
    EXPECT_TRUE(T.GetCheckState(1, 3, State));
    EXPECT_TRUE(State);
    M.SetPosition(0);
    T.LoadCellsFromStream(TPoint(3, 3), &M);
    T.ClearCellBlock(3, 3, 3, 3);   // frees the graphic it read
    EXPECT_EQ(T.GetCellGraphic(3, 3), nullptr);
}

TEST(CellClipboard, DamagedStreamsChangeNothing)
{
    TCellGrid S;
    TBitmap AppBitmap;
    FillSource(S, AppBitmap);
    S.SetCellText(4, 5, QStringLiteral("尾"));
    TMemoryStream M;
    S.SaveCellsToStream(TRect(0, 0, 4, 5), &M);   // the whole grid
    const QByteArray Good = M.Bytes();

    auto Try = [](const QByteArray &Bytes, bool MustFail) {
        TCellGrid T;
        Editable(T, 4, 4);
        T.SetCellText(1, 1, QStringLiteral("keep"));
        T.GetCellProperties(2, 2)->SetBrushColor(clBlue);
        const QStringList Before = Snapshot(T);
        TMemoryStream In;
        In.WriteBytes(Bytes);
        In.SetPosition(0);
        bool Failed = false;
        try {
            T.LoadCellsFromStream(TPoint(0, 0), &In);
        } catch (const EReadError &) {
            Failed = true;
        }
        if (Failed) {
            EXPECT_EQ(Snapshot(T), Before);
        }
        if (MustFail) {
            EXPECT_TRUE(Failed);
        }
    };
    // Cut anywhere inside an image: refused whole.
    for (qsizetype N = 0; N < Good.size() - 2; N += 7)
        Try(Good.left(N), false);
    Try(Good.left(Good.size() - 2), true);
    static const char Huge[] = "TPF0\x0bTGridPropIO\x00\x08" "ColCount\x04\xff\xff\xff\x7f";
    Try(QByteArray(Huge, sizeof Huge - 1), true);

    QRandomGenerator Rng(25);
    for (int I = 0; I < 300; ++I) {
        QByteArray B = Good;
        for (int K = 0; K < 4; ++K)
            B[Rng.bounded(int(B.size()))] = char(Rng.bounded(256));
        Try(B, false);
    }
}

TEST(CellClipboard, SmartFillSeriesDatesAndRepeats)
{
    TCellGrid G;
    Editable(G, 4, 8);
    G.Navigation()->AllowSmartClipboard = true;
    auto Fill = [&](const QString &Text, int Col) {
        SetClipboardText(Text);
        Select(G, Col, 1, Col, 5);
        G.PasteSelectionFromClipboard();
        QStringList L;
        for (int R = 1; R <= 5; ++R)
            L << G.GetCellText(Col, R);
        return L.join(QLatin1Char(' '));
    };
    EXPECT_EQ(Fill(QStringLiteral("1\r\n3\r\n"), 1), QStringLiteral("1 3 5 7 9"));
    EXPECT_EQ(Fill(QStringLiteral("2024-1-15\r\n2024-2-15\r\n"), 2),
              QStringLiteral("2024-1-15 2024-2-15 2024-3-15 2024-4-15 2024-5-15"));
    EXPECT_EQ(Fill(QStringLiteral("2024-2-27\r\n2024-2-28\r\n"), 2),
              QStringLiteral("2024-2-27 2024-2-28 2024-2-29 2024-3-1 2024-3-2"));
    EXPECT_EQ(Fill(QStringLiteral("甲\r\n乙\r\n"), 3), QStringLiteral("甲 乙 甲 乙 甲"));
    EXPECT_EQ(Fill(QStringLiteral("1.5\r\n2\r\n"), 3), QStringLiteral("1.5 2 2.50 3.00 3.50"));

    // One value fills the whole selection, locked cells excepted.
    G.OnCanEditCell = [](TObject *, int ARow, int, bool &CanEdit) { CanEdit = ARow != 3; };
    G.SetCellText(1, 3, QStringLiteral("old"));
    SetClipboardText(QStringLiteral("v"));
    Select(G, 1, 1, 2, 4);
    G.PasteSelectionFromClipboard();
    EXPECT_EQ(G.GetCellText(2, 4), QStringLiteral("v"));
    EXPECT_EQ(G.GetCellText(1, 3), QStringLiteral("old"));
}

} // namespace

TEST(CellClipboard, MergedBlocksArriveWholeAndInsideTheGrid)
{
    TCellGrid S;
    Editable(S, 8, 8);
    S.MergeCellBlock(1, 1, 3, 3);
    S.SetCellText(1, 1, QStringLiteral("m"));
    const auto Stream = [](TCellGrid &G, const TRect &Block) {
        auto M = std::make_unique<TMemoryStream>();
        G.SaveCellsToStream(Block, M.get());
        M->SetPosition(0);
        return M;
    };

    // The whole block: merged again where it lands.
    TCellGrid T;
    Editable(T, 8, 8);
    T.LoadCellsFromStream(TPoint(2, 2), Stream(S, TRect(1, 1, 3, 3)).get());
    EXPECT_EQ(T.CellSpan(2, 2), TPoint(2, 2));
    EXPECT_EQ(T.BaseCell(4, 4), TPoint(2, 2));
    EXPECT_EQ(T.GetCellText(4, 3), QStringLiteral("m"));

    // At the edge it is cut to the grid, like a block merged there.
    TCellGrid E;
    Editable(E, 8, 8);
    E.LoadCellsFromStream(TPoint(6, 6), Stream(S, TRect(1, 1, 3, 3)).get());
    EXPECT_EQ(E.CellSpan(6, 6), TPoint(1, 1));
    EXPECT_EQ(E.GetCellRect(6, 6).Right, E.GetCellRect(7, 7).Right);

    // The base alone (or a part of the block) is a single cell.
    TCellGrid One;
    Editable(One, 8, 8);
    One.LoadCellsFromStream(TPoint(2, 2), Stream(S, TRect(1, 1, 1, 1)).get());
    One.LoadCellsFromStream(TPoint(5, 5), Stream(S, TRect(2, 2, 3, 3)).get());
    EXPECT_FALSE(One.IsMergedCell(2, 2));
    EXPECT_FALSE(One.IsMergedCell(3, 3));
    EXPECT_FALSE(One.IsMergedCell(6, 6));
    EXPECT_EQ(One.GetCellText(2, 2), QStringLiteral("m"));

    // A stream whose cell claims a huge block.
    TCellGrid H;
    Editable(H, 8, 8);
    H.GetCellProperties(1, 1)->IsBaseCell = true;
    H.GetCellProperties(1, 1)->CellSpanX = 2000000000;
    H.GetCellProperties(1, 1)->CellSpanY = 2000000000;
    TCellGrid V;
    Editable(V, 8, 8);
    V.LoadCellsFromStream(TPoint(2, 2), Stream(H, TRect(1, 1, 1, 1)).get());
    EXPECT_FALSE(V.IsMergedCell(2, 2));
    EXPECT_EQ(V.GetCellRect(2, 2), V.CellRect(2, 2));

    // Landing on a block of the target splits that block.
    TCellGrid W;
    Editable(W, 8, 8);
    W.MergeCellBlock(3, 3, 3, 3);
    W.LoadCellsFromStream(TPoint(4, 4), Stream(H, TRect(1, 1, 1, 1)).get());
    EXPECT_FALSE(W.IsMergedCell(3, 3));
    EXPECT_FALSE(W.IsMergedCell(5, 5));
    EXPECT_EQ(W.BaseCell(5, 5), TPoint(5, 5));
}
