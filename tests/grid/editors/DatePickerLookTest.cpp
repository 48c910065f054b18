// The date picker's edge blends into the cell it edits.
#include "GridFixture.h"

TEST_F(GridTest, DatePickerEdgeIsTwoFramesInTheWindowColour)
{
    Kind(edDateEdit);
    Grid->SetCells(1, 1, QStringLiteral("2024-05-06"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    TGridDatePicker *P = Grid->GridDatePicker();
    ASSERT_TRUE(P && P->isVisible());
    const QImage Shot = P->grab().toImage();
    const QRgb Window = TColorToQColor(clWindow).rgb();
    const int W = Shot.width(), H = Shot.height();
    for (int I = 0; I < 2; ++I) {
        EXPECT_EQ(Shot.pixel(I, H / 2), Window) << I;
        EXPECT_EQ(Shot.pixel(W / 3, I), Window) << I;
        EXPECT_EQ(Shot.pixel(W / 3, H - 1 - I), Window) << I;
    }
}
