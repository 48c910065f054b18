// The spin edit on its own, driven by real key and mouse events.
#include "grid/cgspin.h"
#include "platform/services/Application.h"

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

class SpinEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Form = std::make_unique<QWidget>();
        Form->resize(300, 100);
        Spin = new TCgSpinEdit(Form.get());
        Spin->setGeometry(10, 10, 120, 24);
        Next = new QLineEdit(Form.get());
        Next->setGeometry(10, 50, 120, 24);
        Form->show();
        QApplication::setActiveWindow(Form.get());
        Spin->setFocus();
        QApplication::processEvents();
    }
    void Key(Qt::Key K) { QTest::keyClick(QApplication::focusWidget(), K); }
    void Type(const char *Text)
    {
        for (const char *P = Text; *P; ++P)
            QTest::keyClick(QApplication::focusWidget(), *P);
    }
    std::unique_ptr<QWidget> Form;
    TCgSpinEdit *Spin = nullptr;
    QLineEdit *Next = nullptr;
};

TEST_F(SpinEditTest, IntegerValueClampAndKeys)
{
    EXPECT_EQ(Spin->Text(), QStringLiteral("0"));
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("2"));
    Spin->SetValue(500);
    EXPECT_EQ(Spin->Text(), QStringLiteral("100"));
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Value(), 100);
    Spin->SetText(QStringLiteral("abc"));
    Spin->MinValue = 7;
    Spin->MaxValue = 20;
    EXPECT_EQ(Spin->Value(), 7);
    // Equal bounds take any value.
    Spin->MinValue = Spin->MaxValue = 0;
    Spin->SetValue(-42);
    EXPECT_EQ(Spin->Text(), QStringLiteral("-42"));
    // Leaving the control clamps a typed value.
    Spin->MinValue = 0;
    Spin->MaxValue = 10;
    Spin->SetText(QString());
    Type("55");
    EXPECT_EQ(Spin->Text(), QStringLiteral("55"));
    Next->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(Spin->Text(), QStringLiteral("10"));
}

TEST_F(SpinEditTest, FloatStepsOnlyWithIncrementAndKeepsUnreadableText)
{
    Spin->SetSpinType(sptFloat);
    Spin->SetText(QStringLiteral("1.5"));
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->FloatValue(), 1.5);
    Spin->IncrementFloat = 0.25;
    Spin->Precision = 2;
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("1.75"));
    Spin->SetText(QStringLiteral("abc"));
    const int Beeps = MessageBeepCount();
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("abc"));
    EXPECT_EQ(MessageBeepCount(), Beeps + 1);
}

TEST_F(SpinEditTest, DateAndTimeStepThePartUnderTheCaret)
{
    Spin->SetSpinType(sptDate);
    Spin->SetDateValue(EncodeDate(2024, 1, 31));
    ASSERT_EQ(Spin->Text(), QStringLiteral("2024-1-31"));
    // yyyy-m-d: year, month and day parts.
    Spin->setCursorPosition(2);
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("2025-1-31"));
    Spin->setCursorPosition(6);
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("2025-2-28"));
    Spin->setCursorPosition(8);
    Key(Qt::Key_Down);
    EXPECT_EQ(Spin->Text(), QStringLiteral("2025-2-27"));
    Spin->SetText(QStringLiteral("not a date"));
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("not a date"));

    // A day-first locale: day, month and year parts, its separator typed.
    struct Restore {
        ~Restore() { LoadDateSettings(QLocale::c()); }
    } Guard;
    LoadDateSettings(QLocale(QStringLiteral("de_DE")));
    Spin->SetDateValue(EncodeDate(2024, 1, 31));
    ASSERT_EQ(Spin->Text(), QStringLiteral("31.01.2024"));
    Spin->setCursorPosition(1);
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("01.02.2024"));
    Spin->setCursorPosition(4);
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("01.03.2024"));
    Spin->setCursorPosition(8);
    Key(Qt::Key_Down);
    EXPECT_EQ(Spin->Text(), QStringLiteral("01.03.2023"));
    Spin->SetText(QString());
    Type("5.6.2020");
    EXPECT_EQ(Spin->Text(), QStringLiteral("5.6.2020"));
    EXPECT_DOUBLE_EQ(Spin->DateValue(), EncodeDate(2020, 6, 5));
    LoadDateSettings(QLocale::c());

    Spin->SetSpinType(sptTime);
    Spin->SetText(QStringLiteral("23:59:30"));
    Spin->setCursorPosition(1);
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("00:59:30"));
    Spin->setCursorPosition(4);
    Key(Qt::Key_Down);
    EXPECT_EQ(Spin->Text(), QStringLiteral("00:58:30"));
    Spin->setCursorPosition(7);
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("00:58:31"));
    Spin->SetText(QStringLiteral("25:99"));
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("25:99"));
}

TEST_F(SpinEditTest, CharacterCheck)
{
    Spin->SetText(QString());
    Type("1a:2");
    EXPECT_EQ(Spin->Text(), QStringLiteral("12"));
    Spin->SetSpinType(sptFloat);
    Spin->Precision = 2;
    Spin->SetText(QString());
    // The thousands separator types as the decimal separator; a second one is refused.
    Type("3,1.45");
    EXPECT_EQ(Spin->Text(), QStringLiteral("3.14"));
    // With the caret before the separator digits still go in.
    Spin->setCursorPosition(0);
    Type("2");
    EXPECT_EQ(Spin->Text(), QStringLiteral("23.14"));
    Spin->SetSpinType(sptTime);
    Spin->SetText(QString());
    Type("1:2:3:4");
    EXPECT_EQ(Spin->Text(), QStringLiteral("1:2:34"));
    Spin->SetEditorEnabled(false);
    Spin->SetSpinType(sptNormal);
    Spin->SetText(QStringLiteral("5"));
    Spin->end(false);
    Type("7");
    Key(Qt::Key_Backspace);
    Key(Qt::Key_Delete);
    Spin->home(false);
    Key(Qt::Key_Delete);
    EXPECT_EQ(Spin->Text(), QStringLiteral("5"));
    Key(Qt::Key_Up);
    EXPECT_EQ(Spin->Text(), QStringLiteral("6"));
}

TEST_F(SpinEditTest, ReturnIsTabMovesTheFocusOn)
{
    Key(Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(Spin->hasFocus());
    Spin->ReturnIsTab = true;
    Key(Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(Next->hasFocus());
}

TEST_F(SpinEditTest, ButtonsRepeatAfter400ThenEvery100Milliseconds)
{
    TGridTimerSpeedButton *Up = Spin->Button()->UpButton();
    EXPECT_EQ(Spin->Button()->height(), Spin->height() - 2);
    EXPECT_EQ(Spin->Button()->width(), 15);
    QTest::mousePress(Up, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    ASSERT_NE(Up->RepeatTimer(), nullptr);
    EXPECT_TRUE(Up->RepeatTimer()->isActive());
    EXPECT_EQ(Up->RepeatTimer()->interval(), 400);
    EXPECT_EQ(Spin->Value(), 0);
    Up->TimerExpired();
    EXPECT_EQ(Up->RepeatTimer()->interval(), 100);
    EXPECT_EQ(Spin->Value(), 1);
    Up->TimerExpired();
    EXPECT_EQ(Spin->Value(), 2);
    QTest::mouseRelease(Up, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_FALSE(Up->RepeatTimer()->isActive());
    // The release clicks once more, as any button does.
    EXPECT_EQ(Spin->Value(), 3);
    QTest::mouseClick(Spin->Button()->DownButton(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(Spin->Value(), 2);
}

TEST(SpinButtonTest, KeysAndDirection)
{
    TCgSpinButton Pair;
    Pair.show();
    EXPECT_EQ(Pair.width(), 15);
    EXPECT_EQ(Pair.height(), 25);
    int Ups = 0, Downs = 0;
    Pair.OnUpClick = [&](TObject *) { ++Ups; };
    Pair.OnDownClick = [&](TObject *) { ++Downs; };
    QTest::keyClick(&Pair, Qt::Key_Space);
    QTest::keyClick(&Pair, Qt::Key_Down);
    QTest::keyClick(&Pair, Qt::Key_Up);
    EXPECT_EQ(Ups, 2);
    EXPECT_EQ(Downs, 1);
    EXPECT_EQ(Pair.UpButton()->geometry(), QRect(0, 0, 15, 12));
    Pair.SetDirection(spHorizontal);
    Pair.resize(30, 15);
    EXPECT_EQ(Pair.DownButton()->geometry(), QRect(0, 0, 15, 15));
    EXPECT_EQ(Pair.UpButton()->geometry(), QRect(15, 0, 15, 15));
}

} // namespace
