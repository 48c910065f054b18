// How the product grid and the dialogs' grids use their room: columns that share
// the window's width, long paths elided with the whole path as hint, label
// columns as wide as their longest label.

#include "WindowFixture.h"
#include "catalog/forms/CompanyDialog.h"
#include "catalog/forms/PageSettingsDialog.h"
#include "catalog/forms/ProductGrid.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QToolTip>
#include <gtest/gtest.h>

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
