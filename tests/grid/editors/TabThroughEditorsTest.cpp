// Tab and Shift+Tab with goTabs leave every kind of editor for the next or
// previous cell; the date picker's edge blends into the cell.
#include "GridFixture.h"

TEST_F(GridTest, TabLeavesEveryEditorKindForTheNextCell)
{
    Grid->SetOptions(Grid->Options() | goTabs);
    const TEditorType Kinds[] = {edNormal,    edNumeric, edFloat,   edComboEdit, edComboList, edSpinEdit,
                                 edDateEdit,  edTimeEdit, edEditBtn, edUnitEditBtn, edUniEdit, edUniComboEdit};
    for (TEditorType K : Kinds) {
        SCOPED_TRACE(int(K));
        Kind(K);
        Goto(1, 2);
        Key(Qt::Key_F2);
        QWidget *Open = QApplication::focusWidget();
        ASSERT_NE(Open, Grid);
        Key(Qt::Key_Tab);
        EXPECT_EQ(Grid->Col(), 2);
        EXPECT_EQ(Grid->Row(), 2);
        EXPECT_TRUE(Grid->hasFocus());
        EXPECT_FALSE(Open->isVisible() && Open->hasFocus());
        Key(Qt::Key_F2);
        Key(Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(Grid->Col(), 1);
        EXPECT_TRUE(Grid->hasFocus());
    }
}

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
