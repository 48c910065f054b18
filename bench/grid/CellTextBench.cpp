// A product description of 200,000 characters in a grid cell 180 pixels wide:
// painting the cell (two lines show), measuring the whole text for the row
// height, drawing it on one line with an end ellipsis and repainting a grid
// that holds it; beside the same work on the first 200 characters, and beside
// Qt's own text layout, in the same process.
//
//   celltext_bench [characters ...]   (default: 200000)
//
// Every figure is the median of 5 runs; the ellipsis comes last, since a
// quadratic one does not finish at 200,000 characters. Goals: painting the long text within
// 2x of painting its head (a paint costs what it shows); measuring the whole
// text within 3x of a QTextLayout breaking it into lines of the same width.

#include "BenchSupport.h"
#include "grid/CellGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr unsigned CellFlags = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS;

// Milliseconds, the median of the shared runs.
double Median(const std::function<void()> &Run)
{
    return GridBench::Median(nullptr, Run) * 1e3;
}

// A description as users paste them: Chinese text with some Latin words and numbers.
QString Description(int Characters)
{
    const QString Piece = QString::fromUtf8("本产品采用优质不锈钢材料，经久耐用，适合家庭和餐厅使用。Size 20 x 30 cm, 500 g. ");
    QString S;
    S.reserve(Characters + Piece.size());
    while (S.size() < Characters)
        S += Piece;
    S.truncate(Characters);
    return S;
}

// Qt's text layout breaking Text into lines of Width until MaxHeight is full;
// returns the height laid out.
qreal LayOutLines(QTextLayout &Layout, int Width, qreal MaxHeight)
{
    QTextOption Option;
    Option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Layout.setTextOption(Option);
    Layout.beginLayout();
    qreal Y = 0;
    for (;;) {
        QTextLine Line = Layout.createLine();
        if (!Line.isValid())
            break;
        Line.setLineWidth(Width);
        if (Y + Line.height() > MaxHeight)
            break;
        Line.setPosition(QPointF(0, Y));
        Y += Line.height();
    }
    Layout.endLayout();
    return Y;
}

// The peer of a paint: Qt's text layout breaking lines until the cell is full.
void PeerPaint(QPainter &P, const QString &Text, const QRect &Cell)
{
    QTextLayout Layout(Text, P.font());
    LayOutLines(Layout, Cell.width(), Cell.height());
    Layout.draw(&P, Cell.topLeft());
}

// The peer of measuring: Qt's text layout breaking the whole text into lines.
int PeerHeight(const QFont &Font, const QString &Text, int Width)
{
    QTextLayout Layout(Text, Font);
    return int(LayOutLines(Layout, Width, std::numeric_limits<qreal>::max()));
}

void Row(const char *What, double Ours, double Other, const char *OtherName)
{
    std::printf("| %s | %.3f ms | %.3f ms (%s) | %.2f |\n", What, Ours, Other, OtherName, Ours / std::max(Other, 1e-6));
    std::fflush(stdout);
}

void Measure(int Characters)
{
    const QString Long = Description(Characters);
    const QString Head = Long.left(200);
    QImage Image(400, 300, QImage::Format_RGB32);
    TCanvas C(&Image);
    C.Brush()->SetStyle(bsClear);
    const TRect Cell(2, 2, 182, 34);
    std::printf("\n%d characters\n\n| operation | ours | beside | ratio |\n|---|---|---|---|\n", Characters);

    auto Paint = [&](const QString &Text) {
        TRect R = Cell;
        DrawText(&C, Text, R, CellFlags);
    };
    const double PaintLong = Median([&] { Paint(Long); });
    Row("paint the cell (2 lines show)", PaintLong, Median([&] { Paint(Head); }), "its first 200 characters");
    // The canvas lets go of the image before the peer paints on it.
    C.Release();
    {
        QPainter P(&Image);
        P.setFont(C.QtFont());
        Row("paint the cell (2 lines show)", PaintLong, Median([&] { PeerPaint(P, Long, Cell.ToQRect()); }),
            "QTextLayout, lines that fit");
    }

    int Height = 0;
    const double Calc = Median([&] {
        TRect R = Cell;
        Height = DrawText(&C, Long, R, CellFlags | DT_CALCRECT);
    });
    int PeerH = 0;
    Row("measure the whole text (row height)", Calc, Median([&] { PeerH = PeerHeight(C.QtFont(), Long, Cell.Width()); }),
        "QTextLayout, every line");
    std::printf("(heights: ours %d, QTextLayout %d)\n", Height, PeerH);

    // The grid of the catalog: word wrap, the description in a 180-pixel column.
    TCellGrid G;
    G.SetRowCount(8);
    G.SetColCount(4);
    G.SetWordWrap(true);
    G.SetColWidths(1, 180);
    G.resize(500, 300);
    G.show();
    QApplication::processEvents();
    G.SetCells(1, 1, Head);
    const double GridHead = Median([&] { G.viewport()->repaint(); });
    G.SetCells(1, 1, Long);
    Row("repaint the grid holding it", Median([&] { G.viewport()->repaint(); }), GridHead, "the same grid, first 200 characters");

    auto Ellipsis = [&](const QString &Text) {
        TRect R = Cell;
        DrawText(&C, Text, R, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    };
    const double EllipsisLong = Median([&] { Ellipsis(Long); });
    Row("one line with an end ellipsis", EllipsisLong, Median([&] { Ellipsis(Head); }), "its first 200 characters");
    C.Release();
    {
        QPainter P(&Image);
        P.setFont(C.QtFont());
        const QFontMetrics FM(P.font());
        Row("one line with an end ellipsis", EllipsisLong,
            Median([&] { P.drawText(Cell.Left, Cell.Top + FM.ascent(), FM.elidedText(Long, Qt::ElideRight, Cell.Width())); }),
            "QFontMetrics::elidedText");
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    std::vector<int> Sizes;
    for (int I = 1; I < argc; ++I)
        Sizes.push_back(std::atoi(argv[I]));
    if (Sizes.empty())
        Sizes.push_back(200000);
    for (int N : Sizes)
        Measure(N);
    return 0;
}
