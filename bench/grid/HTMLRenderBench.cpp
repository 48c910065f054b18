// Measures and paints 10,000 cells of typical cell markup (B, FONT, A, BR, U)
// with the grid's renderer, and the same cells with QTextDocument (setHtml and
// drawContents) and, tags stripped, with QPainter::drawText. Prints the times
// and the ratios the renderer must keep: at most the rich-text time, and at
// most three times the plain-text time.

#include "grid/CgHTMLE.h"

#include <QApplication>
#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int Cells = 10000;
constexpr int CellW = 180, CellH = 40;

double Seconds(const std::function<void()> &Work)
{
    const auto Start = std::chrono::steady_clock::now();
    Work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    std::vector<QString> Markup;
    Markup.reserve(Cells);
    for (int I = 0; I < Cells; ++I)
        Markup.push_back(QStringLiteral("<B>Item %1</B> <FONT COLOR=\"#FF0000\">%2.50</FONT><BR>"
                                        "<A HREF=\"http://example.org/%1\">details</A> <U>new</U> in stock")
                             .arg(I)
                             .arg(I % 97));
    std::vector<QString> Stripped;
    for (const QString &M : Markup)
        Stripped.push_back(HTMLStrip(M));

    QImage Image(CellW * 4, CellH * 10, QImage::Format_RGB32);
    Image.fill(Qt::white);
    auto CellRect = [](int I) {
        const int X = (I % 4) * CellW, Y = ((I / 4) % 10) * CellH;
        return TRect(X + 2, Y + 2, X + CellW - 2, Y + CellH - 2);
    };

    const double Ours = Seconds([&] {
        TCanvas C(&Image);
        C.Font()->SetName(QStringLiteral("DejaVu Sans"));
        C.Font()->SetSize(9);
        for (int I = 0; I < Cells; ++I) {
            const TRect R = CellRect(I);
            THTMLDrawResult Res;
            HTMLDrawEx(&C, Markup[size_t(I)], R, nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false,
                       clBlue, clGray, 1, true, true, false, false, true, 1.0, Res);
            HTMLDrawEx(&C, Markup[size_t(I)], R, nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false,
                       clBlue, clGray, 1, true, false, false, false, true, 1.0, Res);
        }
    });

    // "ours" as the argument times the renderer alone (for profiling).
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("ours")) {
        std::printf("HTMLDrawEx %.3f s\n", Ours);
        const double Measure = Seconds([&] {
            TCanvas C(&Image);
            C.Font()->SetName(QStringLiteral("DejaVu Sans"));
            C.Font()->SetSize(9);
            for (int I = 0; I < Cells; ++I) {
                THTMLDrawResult Res;
                HTMLDrawEx(&C, Markup[size_t(I)], CellRect(I), nullptr, nullptr, nullptr, 0, 0, false, 0, 0, clNone, clNone, false,
                           clBlue, clGray, 1, true, true, false, false, true, 1.0, Res);
            }
        });
        std::printf("measure only (warm) %.3f s\n", Measure);
        return 0;
    }
    const double Rich = Seconds([&] {
        QPainter P(&Image);
        QFont F(QStringLiteral("DejaVu Sans"));
        F.setPointSize(9);
        QTextDocument Doc;
        Doc.setDefaultFont(F);
        for (int I = 0; I < Cells; ++I) {
            const TRect R = CellRect(I);
            Doc.setHtml(Markup[size_t(I)]);
            Doc.setTextWidth(R.Width());
            (void)Doc.size();
            P.save();
            P.translate(R.Left, R.Top);
            Doc.drawContents(&P, QRectF(0, 0, R.Width(), R.Height()));
            P.restore();
        }
    });

    const double Plain = Seconds([&] {
        QPainter P(&Image);
        QFont F(QStringLiteral("DejaVu Sans"));
        F.setPointSize(9);
        P.setFont(F);
        for (int I = 0; I < Cells; ++I)
            P.drawText(CellRect(I).ToQRect(), Qt::AlignLeft | Qt::AlignTop, Stripped[size_t(I)]);
    });

    std::printf("%d cells of markup, measured and painted\n", Cells);
    std::printf("  HTMLDrawEx                      %.3f s\n", Ours);
    std::printf("  QTextDocument setHtml+draw      %.3f s   ratio %.2f (must be <= 1)\n", Rich, Ours / Rich);
    std::printf("  QPainter::drawText, stripped    %.3f s   ratio %.2f (must be <= 3)\n", Plain, Ours / Plain);
    const bool Met = Ours <= Rich && Ours <= 3 * Plain;
    std::printf("  %s\n", Met ? "figures met" : "FIGURES NOT MET");
    return 0;
}
