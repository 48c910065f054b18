// Tab and Shift+Tab with goTabs leave every kind of editor for the next or
// previous cell, and without goTabs stay with the form's focus chain.
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
