// A cell holding a very long text: painting it costs what the cell shows,
// also when its row was made as tall as the whole text, and measuring the row
// goes through the text once.
#include "grid/CellGrid.h"

#include <gtest/gtest.h>

#include <QApplication>

TEST(Painting, AVeryLongCellTextCostsWhatTheCellShows)
{
    TCellGrid G;
    G.setFrameShape(QFrame::NoFrame);
    G.SetRowCount(4);
    G.SetWordWrap(true);
    G.SetColWidths(1, 180);
    G.resize(420, 300);
    G.show();
    QApplication::processEvents();

    const QString Long = QString(200000, QChar(0x957F)) + QLatin1Char('X');   // 长
    G.SetCells(1, 1, Long.left(200));
    const QImage Head = G.RenderToImage();
    G.SetCells(1, 1, Long);
    qint64 Before = DrawTextMeasuredCharacters();
    EXPECT_EQ(G.RenderToImage(), Head);
    EXPECT_LT(DrawTextMeasuredCharacters() - Before, 2000);

    Before = DrawTextMeasuredCharacters();
    G.AutoSizeRow(1);
    EXPECT_LE(DrawTextMeasuredCharacters() - Before, 3 * Long.size());
    EXPECT_GT(G.RowHeights(1), 1000 * G.Canvas()->TextHeight(QStringLiteral("gh")));

    // The row now reaches far below the window: only the lines inside it are laid out.
    Before = DrawTextMeasuredCharacters();
    const QImage Tall = G.RenderToImage();
    EXPECT_LT(DrawTextMeasuredCharacters() - Before, 2000);
    G.SetCells(1, 1, Long.left(2000));
    EXPECT_EQ(G.RenderToImage(), Tall);
}
