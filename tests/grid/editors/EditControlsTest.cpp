// The edit box with button, its unit variant and the flat combo box.
#include "grid/CGEdit.h"
#include "grid/cgcombo.h"

#include <QApplication>
#include <QClipboard>
#include <QEnterEvent>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TColor PixelOf(TBitmap &B, int X, int Y)
{
    return ColorToRGB(B.Canvas()->Pixels(X, Y));
}

} // namespace

TEST(EditBtn, NewControlShowsZeroAndAnEighteenPixelButtonAtItsRightEdge)
{
    QWidget Form;
    TCgEditBtn Edit(&Form);
    Edit.setGeometry(10, 10, 120, 24);
    Form.show();
    EXPECT_EQ(Edit.Text(), "0");
    EXPECT_EQ(Edit.Button()->width(), 18);
    const int Inset = Edit.hasFrame() ? 1 : 0;
    EXPECT_EQ(Edit.Button()->geometry().right() + 1, Edit.width() - Inset);
    // The text never runs under the button.
    EXPECT_EQ(Edit.EditRect().Right, Edit.width() - 18 - 3);
}

TEST(EditBtn, WithoutTextInputTypingCutAndPasteChangeNothingButF4StillClicks)
{
    QWidget Form;
    TCgEditBtn Edit(&Form);
    Edit.resize(120, 24);
    Form.show();
    int Clicks = 0;
    Edit.OnClickBtn = [&](TObject *Sender) {
        EXPECT_EQ(Sender, &Edit);
        ++Clicks;
    };
    Edit.SetTextInput(false);
    Edit.setFocus();
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    QTest::keyClicks(&Edit, "abc");
    QTest::keyClick(&Edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&Edit, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(&Edit, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(&Edit, Qt::Key_Backspace);
    EXPECT_EQ(Edit.Text(), "0");
    QTest::keyClick(&Edit, Qt::Key_F4);
    EXPECT_EQ(Clicks, 1);
    // A click on the button works the same.
    QTest::mouseClick(Edit.Button()->SpeedButton(), Qt::LeftButton);
    EXPECT_EQ(Clicks, 2);

    Edit.SetTextInput(true);
    Edit.selectAll();
    QTest::keyClicks(&Edit, "12");
    EXPECT_EQ(Edit.Text(), "12");
}

TEST(EditBtn, RightAlignRecreatesTheWindowOnlyOnAChange)
{
    TCgEditBtn Edit;
    const int Before = Edit.RecreateCount();
    Edit.SetRightAlign(false);
    EXPECT_EQ(Edit.RecreateCount(), Before);
    Edit.SetRightAlign(true);
    EXPECT_EQ(Edit.RecreateCount(), Before + 1);
    EXPECT_TRUE(Edit.alignment() & Qt::AlignRight);
    Edit.SetRightAlign(true);
    EXPECT_EQ(Edit.RecreateCount(), Before + 1);
}

TEST(EditBtn, KeepsItsMinimumHeight)
{
    QWidget Form;
    TCgEditBtn Edit(&Form);
    Form.show();
    Edit.resize(100, 3);
    EXPECT_GE(Edit.height(), Edit.MinHeight());
    EXPECT_GT(Edit.MinHeight(), 3);
}

TEST(UnitEditBtn, ButtonOpensAMenuOfTheUnitsAndTheChoiceBecomesTheUnit)
{
    QWidget Form;
    TCgUnitEditBtn Edit(&Form);
    Edit.resize(140, 24);
    Form.show();
    EXPECT_TRUE(Edit.RightAlign());
    EXPECT_EQ(Edit.UnitSpace(), 20);
    TStringList Units;
    Units.Add(QStringLiteral("kg"));
    Units.Add(QStringLiteral("件"));
    Edit.SetUnits(&Units);
    Edit.SetUnits(nullptr); // ignored
    ASSERT_EQ(Edit.Units()->Count(), 2);

    QTest::mouseClick(Edit.Button()->SpeedButton(), Qt::LeftButton);
    QMenu *Menu = Edit.UnitMenu();
    ASSERT_NE(Menu, nullptr);
    ASSERT_EQ(Menu->actions().size(), 2);
    EXPECT_EQ(Menu->actions().at(1)->text(), QStringLiteral("件"));
    Menu->actions().at(1)->trigger();
    EXPECT_EQ(Edit.UnitID(), QStringLiteral("件"));
    // The unit has its own room left of the button.
    EXPECT_EQ(Edit.EditRect().Right, Edit.width() - Edit.Button()->width() - 3 - 20);
}

TEST(FlatCombo, ButtonWidthTakesOnlyFourteenToThirtyTwo)
{
    TCGComboBox Combo;
    const int Start = Combo.ButtonWidth();
    Combo.SetButtonWidth(40);
    EXPECT_EQ(Combo.ButtonWidth(), Start);
    Combo.SetButtonWidth(20);
    EXPECT_EQ(Combo.ButtonWidth(), 20);
    Combo.SetButtonWidth(13);
    EXPECT_EQ(Combo.ButtonWidth(), 20);
    EXPECT_TRUE(Combo.Flat());
    EXPECT_EQ(Combo.DropDownCount(), 8);
    EXPECT_EQ(Combo.Style(), csDropDown);
}

TEST(FlatCombo, DisabledShowsTheParentColourAndEnablingRestoresItsOwn)
{
    QWidget Form;
    QPalette Pal = Form.palette();
    Pal.setColor(Form.backgroundRole(), QColor(10, 20, 30));
    Form.setPalette(Pal);
    TCGComboBox Combo(&Form);
    Combo.SetColor(clYellow);
    Combo.setEnabled(false);
    EXPECT_TRUE(Combo.ParentColor());
    EXPECT_EQ(Combo.Color(), RGB(10, 20, 30));
    Combo.setEnabled(true);
    EXPECT_EQ(Combo.Color(), clYellow);
    EXPECT_FALSE(Combo.ParentColor());
}

TEST(FlatCombo, FocusBorderDecidesTheSunkenFrameButNotTheRaisedButton)
{
    QWidget Form;
    TCGComboBox Combo(&Form);
    Combo.resize(120, 24);
    Form.show();
    const int W = Combo.width(), H = Combo.height();
    const TColor Parent = ColorToRGB(QColorToTColor(Form.palette().color(Form.backgroundRole())));

    // The mouse enters: the control is active.
    QEnterEvent Enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&Combo, &Enter);
    ASSERT_TRUE(Combo.MouseIn());
    ASSERT_TRUE(Combo.Active());

    TBitmap Expected(W, H);
    TRect Button(W - Combo.ButtonWidth() - 2, 0, W, H);
    InflateRect(Button, -2, -2);
    DrawEdge(Expected.Canvas(), Button, EDGE_RAISED, BF_RECT);
    TBitmap Sunken(W, H);
    TRect Outer(0, 0, W, H);
    DrawEdge(Sunken.Canvas(), Outer, BDR_SUNKENOUTER, BF_RECT);

    TBitmap Plain(W, H);
    Combo.SetFocusBorder(false);
    Combo.PaintFlat(Plain.Canvas());
    EXPECT_EQ(PixelOf(Plain, 0, 0), Parent);
    EXPECT_EQ(PixelOf(Plain, W - Combo.ButtonWidth(), 2), PixelOf(Expected, W - Combo.ButtonWidth(), 2));
    EXPECT_EQ(PixelOf(Plain, W - 3, H - 3), PixelOf(Expected, W - 3, H - 3));

    TBitmap Lit(W, H);
    Combo.SetFocusBorder(true);
    Combo.PaintFlat(Lit.Canvas());
    EXPECT_EQ(PixelOf(Lit, 0, 0), PixelOf(Sunken, 0, 0));
    EXPECT_NE(PixelOf(Lit, 0, 0), Parent);

    // The mouse leaves and nothing has the focus: the button is filled flat.
    QEvent Leave(QEvent::Leave);
    QApplication::sendEvent(&Combo, &Leave);
    Combo.clearFocus();
    TBitmap Idle(W, H);
    Combo.PaintFlat(Idle.Canvas());
    EXPECT_FALSE(Combo.MouseIn());
    EXPECT_EQ(PixelOf(Idle, W - Combo.ButtonWidth(), 4), ColorToRGB(clBtnFace));
}
