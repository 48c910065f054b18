// The grid control beside a QTableWidget with the same texts, both shown in a
// window of the same size on the offscreen platform: filling, repainting at
// the top and at the end, Page Down, Ctrl+End and inserting rows at the top,
// each the median of 5 runs, at 100,000 and at 1,000,000 rows of 10 columns.
// Each operation is followed by a synchronous repaint of the view, so what
// it leaves for the next paint is counted. Resident memory is measured in
// child processes of this program, one per grid and size.
//
//   grid_bench [rows ...]            (default: 100000 1000000)
//   grid_bench --memory ours|peer N  (child: prints the resident growth in KB)
//   grid_bench --profile paint|insert (a loop of our grid alone, for a profiler)
//
// Goals: every operation at most 1.5x the QTableWidget at 100,000 rows; each
// operation but the fill at 1,000,000 rows at most 2x its own time at 100,000;
// memory at most 0.6x the QTableWidget.

#include "BenchSupport.h"
#include "grid/CellGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Columns = 10;
using GridBench::Runs;
using GridBench::Median;
using GridBench::Seconds;
using GridBench::SendKey;

QString Text(int Row, int Col)
{
    return QStringLiteral("r%1 c%2").arg(Row).arg(Col);
}

long ResidentKB()
{
    QFile F(QStringLiteral("/proc/self/statm"));
    if (!F.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> Parts = F.readAll().split(' ');
    return Parts.size() > 1 ? Parts[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// One grid under test: the operations the benchmark times.
struct Subject {
    QWidget *View = nullptr;
    std::function<void()> Fill, Top, PageDown, CtrlEnd, Repaint;
    std::function<void(int)> InsertTop, RemoveTop;
};

void FillOurs(TCellGrid *G, int Rows)
{
    G->SetRowCount(1);
    G->SetRowCount(Rows + 1);
    for (int C = 1; C <= Columns; ++C)
        G->SetCells(C, 0, QStringLiteral("column %1").arg(C));
    for (int R = 1; R <= Rows; ++R)
        for (int C = 1; C <= Columns; ++C)
            G->SetCells(C, R, Text(R, C));
}

void FillPeer(QTableWidget *T, int Rows)
{
    T->setRowCount(0);
    T->setRowCount(Rows);
    for (int C = 0; C < Columns; ++C)
        T->setHorizontalHeaderItem(C, new QTableWidgetItem(QStringLiteral("column %1").arg(C + 1)));
    for (int R = 0; R < Rows; ++R)
        for (int C = 0; C < Columns; ++C)
            T->setItem(R, C, new QTableWidgetItem(Text(R + 1, C + 1)));
}

Subject Ours(QWidget *Form, int Rows)
{
    auto *G = new TCellGrid(Form);
    G->setGeometry(0, 0, Form->width(), Form->height());
    G->SetColCount(Columns + 1);
    G->SetOptions(G->Options() | goRangeSelect);
    Subject S;
    S.View = G;
    S.Fill = [G, Rows] { FillOurs(G, Rows); };
    S.Top = [G] {
        G->SetRow(1);
        G->SetTopRow(1);
        G->viewport()->repaint();
    };
    S.Repaint = [G] { G->viewport()->repaint(); };
    S.PageDown = [G] {
        SendKey(G, Qt::Key_PageDown);
        G->viewport()->repaint();
    };
    S.CtrlEnd = [G] {
        SendKey(G, Qt::Key_End, Qt::ControlModifier);
        G->viewport()->repaint();
    };
    S.InsertTop = [G](int N) {
        G->InsertRowsAt(1, N);
        G->viewport()->repaint();
    };
    S.RemoveTop = [G](int N) { G->RemoveRows(1, N); };
    return S;
}

Subject Peer(QWidget *Form, int Rows)
{
    auto *T = new QTableWidget(Form);
    T->setGeometry(0, 0, Form->width(), Form->height());
    T->setColumnCount(Columns);
    Subject S;
    S.View = T;
    S.Fill = [T, Rows] { FillPeer(T, Rows); };
    S.Top = [T] {
        T->setCurrentCell(0, 0);
        T->scrollToTop();
        T->viewport()->repaint();
    };
    S.Repaint = [T] { T->viewport()->repaint(); };
    S.PageDown = [T] {
        SendKey(T, Qt::Key_PageDown);
        T->viewport()->repaint();
    };
    S.CtrlEnd = [T] {
        SendKey(T, Qt::Key_End, Qt::ControlModifier);
        T->viewport()->repaint();
    };
    S.InsertTop = [T](int N) {
        T->model()->insertRows(0, N);
        T->viewport()->repaint();
    };
    S.RemoveTop = [T](int N) { T->model()->removeRows(0, N); };
    return S;
}

const char *const Operations[] = {"fill through SetCells", "repaint, top", "page down near the top", "Ctrl+End",
                                  "repaint at the end", "insert 1000 rows at the top", "insert 1 row at the top"};

// The median times of every operation, in the order of Operations.
std::vector<double> Measure(const Subject &S, int Rows)
{
    std::vector<double> T;
    // The fill runs five times at 100,000 rows, once at larger sizes.
    T.push_back(Median(nullptr, S.Fill, Rows > 100000 ? 1 : Runs));
    S.Top();
    T.push_back(Median(nullptr, S.Repaint));
    T.push_back(Median(S.Top, S.PageDown));
    T.push_back(Median(S.Top, S.CtrlEnd));
    T.push_back(Median(nullptr, S.Repaint));
    S.Top();
    T.push_back(Median(nullptr, [&S] {
        S.InsertTop(1000);
        S.RemoveTop(1000);
    }));
    T.push_back(Median(nullptr, [&S] {
        S.InsertTop(1);
        S.RemoveTop(1);
    }));
    return T;
}

int MemoryChild(const QString &Which, int Rows)
{
    QWidget Form;
    Form.resize(800, 600);
    Form.show();
    QApplication::processEvents();
    const long Before = ResidentKB();
    const Subject S = Which == QLatin1String("ours") ? Ours(&Form, Rows) : Peer(&Form, Rows);
    S.View->show();
    S.Fill();
    S.Repaint();
    std::printf("%ld\n", ResidentKB() - Before);
    return 0;
}

long MemoryOf(const char *Self, const QString &Which, int Rows)
{
    QProcess P;
    P.start(QString::fromLocal8Bit(Self), {QStringLiteral("--memory"), Which, QString::number(Rows)});
    if (!P.waitForFinished(-1) || P.exitCode() != 0)
        qFatal("memory child failed");
    return P.readAllStandardOutput().trimmed().toLong();
}

// A thousand repaints and Page Downs ("paint") or inserts and removals of
// 1000 rows at the top ("insert") at 100,000 rows, to run under a profiler.
int ProfileLoop(const QByteArray &What)
{
    QWidget Form;
    Form.resize(800, 600);
    Form.show();
    const Subject S = Ours(&Form, 100000);
    S.View->show();
    S.View->setFocus();
    QApplication::processEvents();
    S.Fill();
    S.Top();
    for (int I = 0; I < 1000; ++I) {
        if (What == "insert") {
            S.InsertTop(1000);
            S.RemoveTop(1000);
        } else {
            S.Repaint();
            S.PageDown();
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--memory")
        return MemoryChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());

    if (argc == 3 && QByteArray(argv[1]) == "--profile")
        return ProfileLoop(QByteArray(argv[2]));
    std::vector<int> Sizes;
    for (int I = 1; I < argc; ++I)
        Sizes.push_back(QByteArray(argv[I]).toInt());
    if (Sizes.empty())
        Sizes = {100000, 1000000};

    std::map<int, std::vector<double>> OursBySize;
    bool Met = true;
    for (int Rows : Sizes) {
        std::vector<double> Mine, Theirs;
        {
            QWidget Form;
            Form.resize(800, 600);
            Form.show();
            const Subject S = Ours(&Form, Rows);
            S.View->show();
            S.View->setFocus();
            QApplication::processEvents();
            Mine = Measure(S, Rows);
        }
        {
            QWidget Form;
            Form.resize(800, 600);
            Form.show();
            const Subject S = Peer(&Form, Rows);
            S.View->show();
            S.View->setFocus();
            QApplication::processEvents();
            Theirs = Measure(S, Rows);
        }
        OursBySize[Rows] = Mine;
        std::printf("\n%d rows x %d columns (median of %d; ms)\n", Rows, Columns, Runs);
        std::printf("%-30s %12s %12s %8s\n", "operation", "grid", "QTableWidget", "ratio");
        for (size_t I = 0; I < Mine.size(); ++I) {
            const double Ratio = Mine[I] / std::max(Theirs[I], 1e-9);
            const bool Ok = Rows != 100000 || Ratio <= 1.5;
            Met = Met && Ok;
            std::printf("%-30s %12.3f %12.3f %8.2f%s\n", Operations[I], Mine[I] * 1e3, Theirs[I] * 1e3, Ratio,
                        Ok ? "" : "  (goal 1.5)");
        }
        const long MineKB = MemoryOf(argv[0], QStringLiteral("ours"), Rows);
        const long TheirsKB = MemoryOf(argv[0], QStringLiteral("peer"), Rows);
        const double MemRatio = double(MineKB) / std::max(TheirsKB, 1L);
        Met = Met && MemRatio <= 0.6;
        std::printf("%-30s %10ld KB %9ld KB %8.2f%s\n", "resident memory", MineKB, TheirsKB, MemRatio,
                    MemRatio <= 0.6 ? "" : "  (goal 0.6)");
    }
    if (OursBySize.count(100000) && OursBySize.count(1000000)) {
        std::printf("\n1,000,000 rows / 100,000 rows, grid (goal 2, the fill excepted)\n");
        const auto &Small = OursBySize[100000], &Large = OursBySize[1000000];
        for (size_t I = 0; I < Small.size(); ++I) {
            const double Growth = Large[I] / std::max(Small[I], 1e-9);
            const bool Ok = I == 0 || Growth <= 2;
            Met = Met && Ok;
            std::printf("%-30s %8.2f%s\n", Operations[I], Growth, Ok ? "" : "  (goal 2)");
        }
    }
    std::printf("\n%s\n", Met ? "all goals met" : "some goals missed");
    return 0;
}
