// How the product grid and the dialogs' grids use their room: columns that share
// the window's width, long paths elided with the whole path as hint, label
// columns as wide as their longest label.

#include "WindowFixture.h"
#include "catalog/forms/CompanyDialog.h"
#include "catalog/forms/PageSettingsDialog.h"
#include "catalog/forms/ProductGrid.h"
#include "catalog/forms/ProductPictures.h"
#include "platform/graphics/Jpeg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QToolTip>
#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

struct TProbeGrid : TProductGrid {
    using TProductGrid::GetFormattedText;
};

} // namespace

TEST(Look, ProductGridSharesTheWindowWidthAndElidesLongPaths)
{
    TProbeGrid G;
    G.resize(1400, 500);
    G.show();
    QApplication::processEvents();
    int Sum = 0;
    for (int C = 0; C < 6; ++C)
        Sum += G.ColWidths(C) + G.GridLineWidth();
    EXPECT_GE(Sum, G.viewport()->width() - 8);
    EXPECT_LE(Sum, G.viewport()->width());
    EXPECT_GT(G.ColWidths(3), 300);
    EXPECT_GT(G.ColWidths(1), 140);

    QString Path = QStringLiteral("/home/用户/图片/");
    for (int I = 0; I < 30; ++I)
        Path += QStringLiteral("很长的文件夹名%1/").arg(I);
    Path += QStringLiteral("茶杯.jpg");
    G.SetCellText(1, 6, Path);
    const QString Shown = G.GetFormattedText(1, 6);
    EXPECT_TRUE(Shown.startsWith(QStringLiteral("/home/"))) << Shown.toStdString();
    EXPECT_TRUE(Shown.endsWith(QStringLiteral("茶杯.jpg"))) << Shown.toStdString();
    EXPECT_LE(QFontMetrics(G.Font()->ToQFont()).horizontalAdvance(Shown), G.ColWidths(1));
    EXPECT_EQ(G.GetFormattedText(3, 1), G.Cells(3, 1)) << "other cells show their text";

    // The whole path is the hint of its cell.
    const TRect R = G.GetCellRect(1, 6);
    const QPoint Centre((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2);
    QHelpEvent Help(QEvent::ToolTip, Centre, G.viewport()->mapToGlobal(Centre));
    QApplication::sendEvent(G.viewport(), &Help);
    EXPECT_EQ(QToolTip::text(), Path);

    // A narrow window keeps the least widths (the grid scrolls instead).
    G.resize(500, 500);
    QApplication::processEvents();
    EXPECT_EQ(G.ColWidths(1), 140);
    EXPECT_EQ(G.ColWidths(3), 180);
}

TEST(Look, DialogLabelColumnsFitTheirLongestLabel)
{
    CatalogFixture::TProgramFolder Program;
    TForm3 Settings(nullptr);
    TForm4 Company(nullptr);
    Company.FormShow();
    for (TCellGrid *G : {Settings.CellGrid1, Company.CellGrid1}) {
        const QFontMetrics Metrics(G->font());
        for (int R = 0; R < G->RowCount(); ++R)
            EXPECT_GE(G->ColWidths(0), Metrics.horizontalAdvance(G->Cells(0, R)) + 8) << G->Cells(0, R).toStdString();
    }
}

namespace {

// The dark pixels of each cell of a grid rendered at a device pixel ratio, as
// a box in the grid's logical pixels (empty for a cell without them). The
// cells' edges are left out: lines and frames are no text.
std::map<std::pair<int, int>, QRect> InkByCell(TCellGrid &G, qreal Ratio)
{
    QWidget *View = G.viewport();
    QImage Image(View->size() * Ratio, QImage::Format_RGB32);
    Image.setDevicePixelRatio(Ratio);
    Image.fill(Qt::white);
    View->render(&Image);
    std::map<std::pair<int, int>, QRect> Ink;
    for (int R = 0; R < G.RowCount(); ++R)
        for (int C = 0; C < G.ColCount(); ++C) {
            const QRect Cell = G.GetCellRect(C, R).ToQRect().adjusted(2, 2, -2, -2) & View->rect();
            if (Cell.isEmpty() || G.BaseCell(C, R) != TPoint(C, R))
                continue;
            QRect Box;
            const QRect Pixels(QPoint(int(std::ceil(Cell.left() * Ratio)), int(std::ceil(Cell.top() * Ratio))),
                               QPoint(int((Cell.right() + 1) * Ratio) - 1, int((Cell.bottom() + 1) * Ratio) - 1));
            for (int Y = Pixels.top(); Y <= Pixels.bottom(); ++Y)
                for (int X = Pixels.left(); X <= Pixels.right(); ++X)
                    if (qGray(Image.pixel(X, Y)) < 160)
                        Box |= QRect(int(X / Ratio), int(Y / Ratio), 1, 1);
            Ink[{C, R}] = Box;
        }
    return Ink;
}

// Every cell holds ink at Ratio where it holds ink at ratio 1, in the same
// logical place (a pixel or two apart where the glyphs are drawn finer).
void ExpectSameInk(TCellGrid &G, qreal Ratio, const char *Which)
{
    const auto One = InkByCell(G, 1);
    const auto Scaled = InkByCell(G, Ratio);
    int Texts = 0;
    for (const auto &[Cell, Box] : One) {
        const QRect &Other = Scaled.at(Cell);
        const std::string Where = std::string(Which) + " cell " + std::to_string(Cell.first) + "," +
            std::to_string(Cell.second) + " at ratio " + std::to_string(Ratio) + ": " +
            G.Cells(Cell.first, Cell.second).toStdString();
        if (Box.isEmpty()) {
            EXPECT_TRUE(Other.isEmpty()) << Where;
            continue;
        }
        ++Texts;
        ASSERT_FALSE(Other.isEmpty()) << Where;
        const int Slack = 3 + Box.width() / 20;
        EXPECT_NEAR(Other.left(), Box.left(), 3) << Where;
        EXPECT_NEAR(Other.top(), Box.top(), 3) << Where;
        EXPECT_NEAR(Other.right(), Box.right(), Slack) << Where;
        EXPECT_NEAR(Other.bottom(), Box.bottom(), 3) << Where;
    }
    EXPECT_GT(Texts, 10) << Which;
}

} // namespace

TEST(Look, GridsShowTheSameTextsOnScreensOfEveryPixelRatio)
{
    WindowFixture::TScriptedUi Ui;
    CatalogFixture::TProgramFolder Program;
    QDir().mkpath(Program.File(QStringLiteral("目录册")));
    // The first product's picture is noise: every pixel differs from its neighbours.
    QImage Noise(600, 600, QImage::Format_RGB32);
    quint32 Seed = 12345;
    for (int Y = 0; Y < Noise.height(); ++Y)
        for (int X = 0; X < Noise.width(); ++X) {
            Seed = Seed * 1103515245u + 12345u;
            const int V = (Seed >> 16) & 0xFF;
            Noise.setPixel(X, Y, qRgb(V, 255 - V, (V * 7) & 0xFF));
        }
    TBitmap NoiseBitmap;
    NoiseBitmap.SetImage(Noise);
    TJPEGImage Jpeg;
    Jpeg.Assign(&NoiseBitmap);
    Jpeg.SetCompressionQuality(95);
    const QString Picture = Program.File(QStringLiteral("noise.jpg"));
    Jpeg.SaveToFile(Picture);
    QStringList Lines = WindowFixture::PageLines(WindowFixture::NumberedHeader(), 3);
    Lines[Lines.indexOf(QStringLiteral("{$IMG}="))] = QStringLiteral("{$IMG}=noise.jpg");
    const QString Page = Program.File(QStringLiteral("page.qbt"));
    SaveLines(Page, Lines);

    auto Form = WindowFixture::NewWindow({Page});
    Form->resize(1000, 700);
    Form->show();
    QApplication::processEvents();
    TForm3 Settings(nullptr);
    Settings.show();
    QApplication::processEvents();
    TProductGrid &Grid = *Form->CellGrid1;
    ASSERT_TRUE(Grid.HasPicture(1, 1));
    for (qreal Ratio : {1.5, 2.0}) {
        ExpectSameInk(Grid, Ratio, "product grid");
        ExpectSameInk(*Settings.CellGrid1, Ratio, "page settings");
    }

    // At ratio 2 the thumbnail shows pixel for pixel the picture made twice as
    // high, not the one made for ratio 1 blown up.
    QImage Shown(Grid.viewport()->size() * 2, QImage::Format_RGB32);
    Shown.setDevicePixelRatio(2);
    Grid.viewport()->render(&Shown);
    const auto Sharp = ProductPictures::MakeThumbnail(Picture, 2 * Grid.ThumbnailHeight());
    const QImage Want = Sharp->Image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(Want.height(), 2 * Grid.ThumbnailHeight());
    // The thumbnail is square and centred in its cell: it is looked for a few
    // pixels around there.
    const TRect Cell = Grid.GetCellRect(1, 1);
    const int Side = Want.width() / 2;
    const QPoint Centre(2 * (Cell.Left + (Cell.Width() - Side) / 2), 2 * (Cell.Top + (Cell.Height() - Side) / 2));
    auto Matches = [&](const QPoint &At, int Rows) {
        int N = 0;
        for (int Y = 0; Y < Rows; ++Y)
            for (int X = 0; X < Want.width(); ++X)
                N += Shown.rect().contains(At + QPoint(X, Y))
                    && (Shown.pixel(At.x() + X, At.y() + Y) & 0xFFFFFF) == (Want.pixel(X, Y) & 0xFFFFFF);
        return N;
    };
    QPoint At = Centre;
    for (int DY = -8; DY <= 8; ++DY)
        for (int DX = -8; DX <= 8; ++DX)
            if (Matches(Centre + QPoint(DX, DY), 2) > Matches(At, 2))
                At = Centre + QPoint(DX, DY);
    const int Same = Matches(At, Want.height());
    EXPECT_GT(Same, Want.width() * Want.height() * 99 / 100);
}
