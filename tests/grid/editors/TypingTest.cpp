// The default text editor's key filter by editor kind, paste filter, length
// limit, Esc and the start key.
#include "GridFixture.h"

#include "platform/services/Application.h"
#include "platform/services/Clipboard.h"

#include <QInputMethodEvent>
#include <QLocale>

TEST_F(GridTest, TypingOpensTheEditorWithTheTypedCharacter)
{
    Grid->SetCells(1, 1, QStringLiteral("old"));
    Goto(1, 1);
    Type(QStringLiteral("n"));
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->text(), "n");
    Type(QStringLiteral("ew"));
    Key(Qt::Key_Return);
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Grid->Cells(1, 1), "new");
}

TEST_F(GridTest, NumericKindsRefuseWhatIsNoNumberWithABeep)
{
    Kind(edNumeric);
    Grid->SetCells(1, 1, QStringLiteral("12"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    ASSERT_TRUE(EditorOpen());
    Key(Qt::Key_End);
    int Beeps = MessageBeepCount();
    Type(QStringLiteral("-"));
    EXPECT_EQ(Editor()->text(), "12");
    EXPECT_EQ(MessageBeepCount(), Beeps + 1);
    Type(QStringLiteral("a"));
    EXPECT_EQ(Editor()->text(), "12");
    EXPECT_EQ(MessageBeepCount(), Beeps + 2);
    Type(QStringLiteral("3"));
    EXPECT_EQ(Editor()->text(), "123");
    Key(Qt::Key_Escape);
    EXPECT_EQ(Grid->Cells(1, 1), "12");

    // A minus at the start of an empty cell is taken.
    Goto(2, 1);
    Type(QStringLiteral("-"));
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->text(), "-");
    Key(Qt::Key_Escape);

    Kind(edPositiveNumeric);
    Goto(3, 1);
    Beeps = MessageBeepCount();
    Type(QStringLiteral("-"));
    EXPECT_EQ(MessageBeepCount(), Beeps + 1);
    EXPECT_TRUE(Grid->Cells(3, 1).isEmpty());
}

TEST_F(GridTest, FloatKindDropsSilentlyAndTakesOneDecimalSeparator)
{
    Kind(edFloat);
    Grid->SetCells(1, 1, QStringLiteral("1.5"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    Key(Qt::Key_End);
    const int Beeps = MessageBeepCount();
    Type(QStringLiteral("a.,"));
    EXPECT_EQ(Editor()->text(), "1.5");
    EXPECT_EQ(MessageBeepCount(), Beeps);
    // With the first separator selected a new one replaces it.
    Editor()->setSelection(1, 1);
    Type(QStringLiteral("."));
    EXPECT_EQ(Editor()->text(), "1.5");
    Editor()->setSelection(1, 2);
    Type(QStringLiteral("."));
    EXPECT_EQ(Editor()->text(), "1.");
    // A second minus beeps unless the selection holds the first.
    Editor()->setText(QStringLiteral("-2"));
    Editor()->setCursorPosition(0);
    Type(QStringLiteral("-"));
    EXPECT_EQ(Editor()->text(), "-2");
    EXPECT_EQ(MessageBeepCount(), Beeps + 1);
    Editor()->setSelection(0, 1);
    Type(QStringLiteral("-"));
    EXPECT_EQ(Editor()->text(), "-2");
    EXPECT_EQ(MessageBeepCount(), Beeps + 1);
}

TEST_F(GridTest, CaseKindsChangeTypedCharactersAndCapitalTakesPasteUnchanged)
{
    Kind(edUpperCase);
    Goto(1, 1);
    Type(QStringLiteral("ab"));
    EXPECT_EQ(Editor()->text(), "AB");
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), "AB");

    Kind(edCapital);
    Goto(2, 1);
    Type(QStringLiteral("x"));
    EXPECT_EQ(Editor()->text(), "X");
    SetClipboardText(QStringLiteral("mixed"));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Editor()->text(), "Xmixed");
    Key(Qt::Key_Escape);

    Kind(edLowerCase);
    Goto(3, 1);
    Type(QStringLiteral("Q"));
    EXPECT_EQ(Editor()->text(), "q");
    Key(Qt::Key_Escape);

    Kind(edMixedCase);
    Goto(4, 1);
    Type(QStringLiteral("john smith"));
    EXPECT_EQ(Editor()->text(), "John Smith");
    EXPECT_EQ(Editor()->cursorPosition(), 10);
}

TEST_F(GridTest, LengthLimitDropsSilentlyButLetsBackspaceThrough)
{
    Grid->SetCells(1, 1, QStringLiteral("abc"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    ASSERT_TRUE(EditorOpen());
    Editor()->LengthLimit = 3;
    Key(Qt::Key_End);
    const int Beeps = MessageBeepCount();
    Type(QStringLiteral("d"));
    EXPECT_EQ(Editor()->text(), "abc");
    EXPECT_EQ(MessageBeepCount(), Beeps);
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Editor()->text(), "ab");
    Type(QStringLiteral("z"));
    EXPECT_EQ(Editor()->text(), "abz");
}

TEST_F(GridTest, KeypadDecimalKeyTypesTheLocaleSeparator)
{
    const QLocale Saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Grid->ExcelStyleDecimalSeparator = true;
    Goto(1, 1);
    Type(QStringLiteral("1"));
    ASSERT_TRUE(EditorOpen());
    QTest::keyClick(Editor(), Qt::Key_Period, Qt::KeypadModifier);
    QTest::keyClick(Editor(), Qt::Key_Period);
    EXPECT_EQ(Editor()->text(), "1,.");
    QLocale::setDefault(Saved);
}

TEST_F(GridTest, PasteGoesThroughTheEventsAndTheKindFilter)
{
    Kind(edNumeric);
    Goto(1, 1);
    Key(Qt::Key_F2);
    ASSERT_TRUE(EditorOpen());
    SetClipboardText(QStringLiteral("12a"));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Editor()->text(), "");
    SetClipboardText(QStringLiteral("34"));
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Editor()->text(), "34");

    int Before = 0, Paste = 0;
    Grid->OnClipboardBeforePasteCell = [&](TObject *, int ACol, int ARow, QString &Value, bool &) {
        EXPECT_EQ(ACol, 1);
        EXPECT_EQ(ARow, 1);
        Value = QStringLiteral("9");
        ++Before;
    };
    Grid->OnClipboardPaste = [&](TObject *, bool &Allow) {
        ++Paste;
        Allow = Paste > 1;
    };
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Editor()->text(), "34");
    Key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Editor()->text(), "349");
    EXPECT_EQ(Before, 2);

    // Copy and cut run only when their events allow.
    Grid->OnClipboardCut = [](TObject *, bool &Allow) { Allow = false; };
    Editor()->selectAll();
    Key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(Editor()->text(), "349");
}

TEST_F(GridTest, EscPutsTheStartingTextBackAndCheckBoxCellsTakeNoCharacters)
{
    Grid->SetCells(1, 1, QStringLiteral("keep"));
    Goto(1, 1);
    int Done = 0;
    Grid->OnEditingDone = [&](TObject *Sender) {
        EXPECT_EQ(Sender, Grid);
        ++Done;
    };
    Type(QStringLiteral("xyz"));
    EXPECT_EQ(Grid->Cells(1, 1), "xyz");
    Key(Qt::Key_Escape);
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Grid->Cells(1, 1), "keep");
    EXPECT_EQ(Done, 1);

    auto *G = new TCellGraphic;
    G->CellType = ctDataCheckBox;
    Grid->SetCellGraphic(2, 1, G);
    Grid->SetCells(2, 1, Grid->CheckFalse);
    Goto(2, 1);
    Type(QStringLiteral("ab"));
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Grid->Cells(2, 1), Grid->CheckFalse);
}

TEST_F(GridTest, AnInputMethodCommitOpensTheEditorWithTheWholeString)
{
    Grid->SetCells(1, 1, QStringLiteral("x"));
    Goto(1, 1);
    QInputMethodEvent Commit;
    Commit.setCommitString(QStringLiteral("中文"));
    QApplication::sendEvent(Grid, &Commit);
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->text(), QStringLiteral("中文"));
    QInputMethodEvent More;
    More.setCommitString(QStringLiteral("字"));
    QApplication::sendEvent(Editor(), &More);
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), QStringLiteral("中文字"));

    // A numeric cell filters each committed character.
    Kind(edNumeric);
    Goto(2, 1);
    QInputMethodEvent Digits;
    Digits.setCommitString(QStringLiteral("1a2"));
    QApplication::sendEvent(Grid, &Digits);
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->text(), "12");
}
