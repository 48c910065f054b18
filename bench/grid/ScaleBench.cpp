// How the grid control's operations grow with the grid: each operation is
// timed on a grid of N rows (10 columns) and of 4N rows, and on a grid of M
// columns (100 rows) and of 4M columns, and the ratio of the two times is
// printed. A ratio near 1 is an operation that costs what is visible, near 4
// one that grows with the grid (linear), clearly above 4 one that grows
// faster than its input. Worksheets are read at W and 4W rows.
//
//   grid_scale_bench [N [M [W]]]     (default: 100000 1000 50000)
//   grid_scale_bench --profile OPERATION [N]   (one operation in a loop, for a profiler)
//
// Every time is the median of a few runs in one process (Release build,
// offscreen, 800 x 600 window); an operation followed by "+ repaint" includes
// a synchronous repaint of the view.

#include "BenchSupport.h"
#include "grid/CellGrid.h"
#include "grid/CellGraphic.h"

#include "platform/core/Classes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using GridBench::Runs;
using GridBench::Median;
using GridBench::Seconds;
using GridBench::SendKey;

void Click(TCellGrid *G, int ACol, int ARow)
{
    const TRect R = G->CellRect(ACol, ARow);
    const QPointF P(R.Left + 3, R.Top + 3);
    QMouseEvent Press(QEvent::MouseButtonPress, P, G->viewport()->mapToGlobal(P), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(G->viewport(), &Press);
    QMouseEvent Release(QEvent::MouseButtonRelease, P, G->viewport()->mapToGlobal(P), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(G->viewport(), &Release);
}

void Wheel(TCellGrid *G, int Delta)
{
    const QPointF P(100, 100);
    QWheelEvent E(P, G->viewport()->mapToGlobal(P), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(G->viewport(), &E);
}

// A grid of Rows data rows and Cols columns in its own window.
struct TSubject {
    std::unique_ptr<QWidget> Form;
    TCellGrid *G = nullptr;
    int Rows = 0, Cols = 0;

    TSubject(int ARows, int ACols) : Form(std::make_unique<QWidget>()), Rows(ARows), Cols(ACols)
    {
        Form->resize(800, 600);
        G = new TCellGrid(Form.get());
        G->setGeometry(0, 0, 800, 600);
        G->SetColCount(Cols + 1);
        G->SetOptions(G->Options() | goRangeSelect | goEditing);
        G->MouseActions()->ColSelect = true;
        G->MouseActions()->AllSelect = true;
        G->MouseActions()->RowSelect = true;
        Form->show();
        G->show();
        G->setFocus();
        QApplication::processEvents();
        Fill();
    }
    void Fill()
    {
        G->BeginUpdate();
        G->SetRowCount(1);
        G->SetRowCount(Rows + 1);
        for (int C = 1; C <= Cols; ++C)
            G->SetCells(C, 0, QStringLiteral("column %1").arg(C));
        for (int R = 1; R <= Rows; ++R) {
            // Column 1 holds runs of three equal texts (merged in some cases), the others row texts.
            G->SetCells(1, R, QStringLiteral("g%1").arg((R - 1) / 3));
            for (int C = 2; C <= Cols; ++C)
                G->SetCells(C, R, QStringLiteral("r%1 c%2").arg(R).arg(C));
        }
        G->EndUpdate();
    }
    void Top()
    {
        G->SetRow(1);
        G->SetCol(1);
        G->SetTopRow(1);
        G->SetLeftCol(1);
        G->viewport()->repaint();
    }
    void Repaint() { G->viewport()->repaint(); }
};

struct TResult {
    std::string Name;
    double Small = 0, Large = 0;
};

using TOperation = std::pair<std::string, std::function<double(TSubject &)>>;

std::vector<TOperation> RowOperations(const QString &WorkFolder)
{
    Q_UNUSED(WorkFolder);
    std::vector<TOperation> Ops;
    Ops.push_back({"repaint, top", [](TSubject &S) {
                       S.Top();
                       return Median(nullptr, [&] { S.Repaint(); });
                   }});
    Ops.push_back({"page down + repaint", [](TSubject &S) {
                       return Median([&] { S.Top(); }, [&] {
                           SendKey(S.G, Qt::Key_PageDown);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"Ctrl+End + repaint", [](TSubject &S) {
                       return Median([&] { S.Top(); }, [&] {
                           SendKey(S.G, Qt::Key_End, Qt::ControlModifier);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"wheel down + repaint", [](TSubject &S) {
                       S.Top();
                       return Median(nullptr, [&] {
                           Wheel(S.G, -120);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"disjunct row flags: arrow down + repaint", [](TSubject &S) {
                       S.G->MouseActions()->DisjunctRowSelect = true;
                       S.G->SetRowSelect(S.Rows, true);
                       S.Top();
                       return Median(nullptr, [&] {
                           SendKey(S.G, Qt::Key_Down);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"disjunct row flags: shift+arrow down + repaint", [](TSubject &S) {
                       S.G->MouseActions()->DisjunctRowSelect = true;
                       S.Top();
                       return Median(nullptr, [&] {
                           SendKey(S.G, Qt::Key_Down, Qt::ShiftModifier);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"disjunct row flags: click a cell + repaint", [](TSubject &S) {
                       S.G->MouseActions()->DisjunctRowSelect = true;
                       S.G->SetRowSelect(S.Rows, true);
                       S.Top();
                       return Median(nullptr, [&] {
                           Click(S.G, 2, 3);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"select a column (header click) + repaint", [](TSubject &S) {
                       return Median([&] { S.Top(); }, [&] {
                           Click(S.G, 3, 0);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"select all (corner click) + repaint", [](TSubject &S) {
                       return Median([&] { S.Top(); }, [&] {
                           Click(S.G, 0, 0);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"find a row by prefix (last row)", [](TSubject &S) {
                       const QString Last = S.G->GetCellText(1, S.Rows).toUpper();
                       return Median(nullptr, [&] {
                           if (S.G->FindRowByPrefix(Last) < 0)
                               qFatal("prefix not found");
                       });
                   }});
    Ops.push_back({"insert + remove 1000 rows at row 2", [](TSubject &S) {
                       S.Top();
                       return Median(nullptr, [&] {
                           S.G->InsertRowsAt(2, 1000);
                           S.G->RemoveRows(2, 1000);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"copy all to the clipboard (text + own format)", [](TSubject &S) {
                       S.G->Navigation()->AllowFmtClipboard = true;
                       return Median(nullptr, [&] {
                           S.G->CopyToClipboard(TRect(1, 1, S.Cols, S.Rows), false);
                       }, 3);
                   }});
    Ops.push_back({"paste it back at (1, 1) (own format)", [](TSubject &S) {
                       S.G->Navigation()->AllowFmtClipboard = true;
                       S.G->CopyToClipboard(TRect(1, 1, S.Cols, S.Rows), false);
                       return Median(nullptr, [&] { S.G->PasteFromClipboard(1, 1); }, 3);
                   }});
    Ops.push_back({"paste it back at (1, 1) (text)", [](TSubject &S) {
                       S.G->Navigation()->AllowFmtClipboard = false;
                       S.G->CopyToClipboard(TRect(1, 1, S.Cols, S.Rows), false);
                       return Median(nullptr, [&] { S.G->PasteFromClipboard(1, 1); }, 3);
                   }});
    Ops.push_back({"paste all rows as text into a 2-row grid (growing)", [](TSubject &S) {
                       S.G->Navigation()->AllowFmtClipboard = false;
                       S.G->Navigation()->AllowClipboardRowGrow = true;
                       S.G->CopyToClipboard(TRect(1, 1, S.Cols, S.Rows), false);
                       return Median([&] { S.G->SetRowCount(2); }, [&] { S.G->PasteFromClipboard(1, 1); }, 1);
                   }});
    Ops.push_back({"save the whole grid to a cell stream", [](TSubject &S) {
                       return Median(nullptr, [&] {
                           TMemoryStream M;
                           S.G->SaveCellsToStream(TRect(0, 0, S.Cols, S.Rows), &M);
                       }, 3);
                   }});
    Ops.push_back({"load it back", [](TSubject &S) {
                       TMemoryStream M;
                       S.G->SaveCellsToStream(TRect(0, 0, S.Cols, S.Rows), &M);
                       return Median(nullptr, [&] {
                           M.SetPosition(0);
                           S.G->LoadCellsFromStream(TPoint(0, 0), &M);
                       }, 3);
                   }});
    Ops.push_back({"merge equal cells in column 1", [](TSubject &S) {
                       return Median([&] { S.G->UnmergeColumn(1); }, [&] { S.G->MergeEqualCellsInColumn(1, true); }, 3);
                   }});
    Ops.push_back({"repaint, top, merged column", [](TSubject &S) {
                       S.G->MergeEqualCellsInColumn(1, true);
                       S.Top();
                       return Median(nullptr, [&] { S.Repaint(); });
                   }});
    Ops.push_back({"page down + repaint, merged column", [](TSubject &S) {
                       S.G->MergeEqualCellsInColumn(1, true);
                       return Median([&] { S.Top(); }, [&] {
                           SendKey(S.G, Qt::Key_PageDown);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"set a cell + repaint, merged column", [](TSubject &S) {
                       S.G->MergeEqualCellsInColumn(1, true);
                       S.Top();
                       int I = 0;
                       return Median(nullptr, [&] {
                           S.G->SetCells(3, 2, QString::number(++I));
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"remove row 2, merged column", [](TSubject &S) {
                       S.G->MergeEqualCellsInColumn(1, true);
                       S.Top();
                       return Median(nullptr, [&] { S.G->RemoveRows(2, 1); });
                   }});
    Ops.push_back({"remove a quarter of the rows at once, merged column", [](TSubject &S) {
                       S.G->MergeEqualCellsInColumn(1, true);
                       S.Top();
                       return Median(nullptr, [&] { S.G->RemoveRows(2, S.Rows / 4); }, 1);
                   }});
    Ops.push_back({"unmerge column 1", [](TSubject &S) {
                       return Median([&] { S.G->MergeEqualCellsInColumn(1, true); }, [&] { S.G->UnmergeColumn(1); }, 3);
                   }});
    Ops.push_back({"colour every cell of column 2 after inserting a row", [](TSubject &S) {
                       for (int R = 1; R <= S.Rows; ++R)
                           S.G->GetCellProperties(2, R);
                       return Median([&] { S.G->InsertRowsAt(1, 1); }, [&] {
                           for (int R = 2; R <= S.Rows; ++R)
                               S.G->GetCellProperties(2, R)->SetBrushColor(clYellow);
                       }, 1);
                   }});
    Ops.push_back({"check boxes in column 2: repaint, top", [](TSubject &S) {
                       for (int R = 1; R <= S.Rows; ++R)
                           S.G->NewCellGraphic(2, R)->CellType = ctDataCheckBox;
                       S.Top();
                       return Median(nullptr, [&] { S.Repaint(); });
                   }});
    // Sorts by column 3, one way then the other.
    auto SortColumn3 = [](TSubject &S) {
        S.G->SortSettings()->Column = 3;
        int I = 0;
        return Median(nullptr, [&] {
            S.G->SortSettings()->Direction = ++I % 2 ? sdDescending : sdAscending;
            S.G->SortByColumn();
        }, 3);
    };
    Ops.push_back({"sort by column 3", SortColumn3});
    Ops.push_back({"sort by column 3 with every other row hidden", [SortColumn3](TSubject &S) {
                       for (int R = 2; R < S.G->RowCount(); ++R)
                           S.G->HideRows(S.G->RealRowIndex(R), S.G->RealRowIndex(R));
                       return SortColumn3(S);
                   }});
    Ops.push_back({"hide rows 2..1001 + unhide", [](TSubject &S) {
                       return Median(nullptr, [&] {
                           S.G->HideRows(2, 1001);
                           S.G->UnHideRows(2, 1001);
                       }, 3);
                   }});
    Ops.push_back({"filter hiding every other row", [](TSubject &S) {
                       TFilterData *F = S.G->Filter()->Add();
                       F->Column = 3;
                       F->Condition = QStringLiteral("*1 c3");
                       // Rows ending in 1 match: a tenth shows, nine in ten are hidden.
                       const double T = Median(nullptr, [&] { S.G->SetFilterActive(true); }, 1);
                       return T;
                   }});
    Ops.push_back({"unfilter", [](TSubject &S) {
                       TFilterData *F = S.G->Filter()->Add();
                       F->Column = 3;
                       F->Condition = QStringLiteral("*1 c3");
                       S.G->SetFilterActive(true);
                       return Median(nullptr, [&] { S.G->SetFilterActive(false); }, 1);
                   }});
    Ops.push_back({"remove every other row (row selection flags)", [](TSubject &S) {
                       S.G->MouseActions()->DisjunctRowSelect = true;
                       for (int R = 1; R <= S.Rows; R += 2)
                           S.G->SetRowSelect(R, true);
                       return Median(nullptr, [&] { S.G->RemoveSelectedRows(); }, 1);
                   }});
    Ops.push_back({"nodes of 1000 rows: repaint deep inside", [](TSubject &S) {
                       for (int R = 1; R <= S.Rows; R += 1000) {
                           TCellGraphic *N = S.G->NewCellGraphic(0, R);
                           N->CellType = ctNode;
                           N->CellIndex = 1000;
                       }
                       S.G->CellNode()->SetShowTree(true);
                       S.G->SetTopRow(900);
                       return Median(nullptr, [&] { S.Repaint(); });
                   }});
    Ops.push_back({"one node over the whole grid: repaint at the end", [](TSubject &S) {
                       TCellGraphic *N = S.G->NewCellGraphic(0, 1);
                       N->CellType = ctNode;
                       N->CellIndex = S.Rows;
                       S.G->CellNode()->SetShowTree(true);
                       SendKey(S.G, Qt::Key_End, Qt::ControlModifier);
                       return Median(nullptr, [&] { S.Repaint(); });
                   }});
    Ops.push_back({"contract + expand that node", [](TSubject &S) {
                       TCellGraphic *N = S.G->NewCellGraphic(0, 1);
                       N->CellType = ctNode;
                       N->CellIndex = S.Rows;
                       return Median(nullptr, [&] {
                           S.G->ContractNode(1);
                           S.G->ExpandNode(1);
                       }, 1);
                   }});
    return Ops;
}

std::vector<TOperation> ColumnOperations()
{
    std::vector<TOperation> Ops;
    Ops.push_back({"repaint, left", [](TSubject &S) {
                       S.Top();
                       return Median(nullptr, [&] { S.Repaint(); });
                   }});
    Ops.push_back({"End (last column) + repaint", [](TSubject &S) {
                       return Median([&] { S.Top(); }, [&] {
                           SendKey(S.G, Qt::Key_End);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"repaint at the last column", [](TSubject &S) {
                       S.Top();
                       SendKey(S.G, Qt::Key_End);
                       return Median(nullptr, [&] { S.Repaint(); });
                   }});
    Ops.push_back({"select a row (fixed cell click) + repaint", [](TSubject &S) {
                       return Median([&] { S.Top(); }, [&] {
                           Click(S.G, 0, 3);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"select all (corner click) + repaint", [](TSubject &S) {
                       return Median([&] { S.Top(); }, [&] {
                           Click(S.G, 0, 0);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"properties in every cell: End + repaint", [](TSubject &S) {
                       for (int R = 1; R <= S.Rows; ++R)
                           for (int C = 1; C <= S.Cols; ++C)
                               S.G->GetCellProperties(C, R)->Alignment = taRightJustify;
                       return Median([&] { S.Top(); }, [&] {
                           SendKey(S.G, Qt::Key_End);
                           S.Repaint();
                       });
                   }});
    Ops.push_back({"insert + remove a column at 2", [](TSubject &S) {
                       S.Top();
                       return Median(nullptr, [&] {
                           S.G->InsertColumns(2, 1);
                           S.G->RemoveColumns(2, 1);
                           S.Repaint();
                       }, 3);
                   }});
    Ops.push_back({"split all columns (one merged block)", [](TSubject &S) {
                       return Median([&] { S.G->MergeCellBlock(2, 2, 2, 3); }, [&] { S.G->SplitAllColumns(); }, 3);
                   }});
    Ops.push_back({"save + load the column widths (settings file)", [](TSubject &S) {
                       QTemporaryDir Dir;
                       S.G->ColumnSize()->Location = clIniFile;
                       S.G->ColumnSize()->Key = Dir.filePath(QStringLiteral("grid.ini"));
                       S.G->ColumnSize()->Section = QStringLiteral("widths");
                       return Median(nullptr, [&] {
                           S.G->SaveColumnSizes();
                           S.G->LoadColumnSizes();
                       }, 3);
                   }});
    Ops.push_back({"auto-size column 2", [](TSubject &S) {
                       return Median(nullptr, [&] { S.G->AutoSizeColumn(2); }, 3);
                   }});
    return Ops;
}

const char *WorkbookScript = R"PY(
import sys, xlwt, openpyxl
kind, path, rows = sys.argv[1], sys.argv[2], int(sys.argv[3])
if kind == 'xls':
    wb = xlwt.Workbook(encoding='utf-8')
    s = wb.add_sheet('数据')
    for r in range(rows):
        for c, v in enumerate([r, '商品%d' % (r % 500), r * 0.25, 'SKU-%06d' % r, r % 97, '规格 %d' % (r % 7)]):
            s.write(r, c, v)
    wb.save(path)
else:
    x = openpyxl.Workbook(write_only=True)
    a = x.create_sheet('数据')
    for r in range(rows):
        a.append([r, '商品%d' % (r % 500), r * 0.25, 'SKU-%06d' % r, r % 97, '规格 %d' % (r % 7)])
    x.save(path)
)PY";

void WriteWorkbook(const QString &Kind, const QString &Path, int Rows)
{
    QProcess P;
    P.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromUtf8(WorkbookScript), Kind, Path, QString::number(Rows)});
    if (!P.waitForFinished(-1) || P.exitCode() != 0)
        qFatal("python failed: %s", P.readAllStandardError().constData());
}

void Print(const char *Title, const char *SmallName, const char *LargeName, const std::vector<TResult> &Results)
{
    std::printf("\n%s\n%-52s %12s %12s %8s\n", Title, "operation (ms)", SmallName, LargeName, "ratio");
    for (const TResult &R : Results)
        std::printf("%-52s %12.3f %12.3f %8.2f\n", R.Name.c_str(), R.Small * 1e3, R.Large * 1e3,
                    R.Large / std::max(R.Small, 1e-9));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    if (argc >= 3 && QByteArray(argv[1]) == "--profile") {
        const std::string Which = argv[2];
        const int N = argc > 3 ? QByteArray(argv[3]).toInt() : 100000;
        for (const TOperation &Op : RowOperations(QString())) {
            if (Op.first.find(Which) == std::string::npos)
                continue;
            TSubject S(N, 10);
            for (int I = 0; I < 20; ++I)
                Op.second(S);
            return 0;
        }
        return 1;
    }
    const int N = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int M = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;
    const int W = argc > 3 ? QByteArray(argv[3]).toInt() : 50000;
    const QString Only = qEnvironmentVariable("QB_SCALE_ONLY");

    QTemporaryDir Tmp;
    std::vector<TResult> Results;
    for (const TOperation &Op : RowOperations(Tmp.path())) {
        if (!Only.isEmpty() && !QString::fromStdString(Op.first).contains(Only))
            continue;
        TResult R{Op.first};
        {
            TSubject S(N, 10);
            R.Small = Op.second(S);
        }
        {
            TSubject S(4 * N, 10);
            R.Large = Op.second(S);
        }
        Results.push_back(R);
        std::printf("  %-52s %10.3f %10.3f\n", R.Name.c_str(), R.Small * 1e3, R.Large * 1e3);
        std::fflush(stdout);
    }
    const std::string SmallRows = std::to_string(N) + " rows", LargeRows = std::to_string(4 * N) + " rows";
    Print("Rows (10 columns)", SmallRows.c_str(), LargeRows.c_str(), Results);

    Results.clear();
    for (const TOperation &Op : ColumnOperations()) {
        if (!Only.isEmpty() && !QString::fromStdString(Op.first).contains(Only))
            continue;
        TResult R{Op.first};
        {
            TSubject S(100, M);
            R.Small = Op.second(S);
        }
        {
            TSubject S(100, 4 * M);
            R.Large = Op.second(S);
        }
        Results.push_back(R);
    }
    const std::string SmallCols = std::to_string(M) + " columns", LargeCols = std::to_string(4 * M) + " columns";
    Print("Columns (100 rows)", SmallCols.c_str(), LargeCols.c_str(), Results);

    if (Only.isEmpty() || Only == QLatin1String("workbook")) {
        Results.clear();
        // .xls holds at most 65,536 rows: it is read at W/4 and W rows.
        struct TBook {
            const char *Name, *Kind;
            int Small;
        };
        for (const TBook &B : {TBook{".xls worksheet", "xls", W / 4}, TBook{".xlsx worksheet", "xlsx", W}}) {
            TResult R{std::string("load a ") + B.Name + " x 6 columns"};
            for (int Size : {B.Small, 4 * B.Small}) {
                const QString Path = Tmp.filePath(QStringLiteral("book%1.%2").arg(Size).arg(QLatin1String(B.Kind)));
                WriteWorkbook(QLatin1String(B.Kind), Path, Size);
                const double T = Median(nullptr, [&] {
                    TCellGrid G;
                    G.LoadFromXLS(Path);
                }, 3);
                (Size == B.Small ? R.Small : R.Large) = T;
            }
            R.Name += " (" + std::to_string(B.Small) + " / " + std::to_string(4 * B.Small) + " rows)";
            Results.push_back(R);
        }
        Print("Worksheets", "W rows", "4W rows", Results);
    }
    return 0;
}
