// The editor control chosen per kind, its place, filling and read-back, and
// the rule that an editor closed without a change leaves the cell alone.
#include "GridFixture.h"
#include "grid/CgUni.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMenu>

TEST_F(GridTest, EachKindGetsItsControlOverTheCell)
{
    struct Case {
        TEditorType Kind;
        const char *Name;
    };
    const Case Cases[] = {
        {edSpinEdit, "GridSpin"},        {edComboEdit, "InplaceCombo"},     {edComboList, "InplaceCombo"},
        {edEditBtn, "GridEditBtn"},      {edCheckBox, "GridCheckBox"},      {edDateEdit, "GridDatePicker"},
        {edTimeEdit, "GridDatePicker"},  {edButton, "GridButton"},          {edUnitEditBtn, "GridUnitEditBtn"},
        {edFloatSpinEdit, "GridSpin"},   {edNumericEditBtn, "GridEditBtn"}, {edUniEdit, "GridUniEdit"},
        {edUniComboList, "GridUniCombo"},
    };
    Grid->SetColWidths(2, 90);
    for (const Case &C : Cases) {
        SCOPED_TRACE(C.Name);
        Kind(C.Kind);
        Goto(2, 2);
        Key(Qt::Key_F2);
        QWidget *W = Grid->EditorControl(C.Kind);
        ASSERT_NE(W, nullptr);
        EXPECT_EQ(W->objectName(), C.Name);
        EXPECT_TRUE(W->isVisible());
        EXPECT_FALSE(EditorOpen());
        const TRect R = Grid->GetCellRect(2, 2);
        if (C.Kind == edButton) {
            EXPECT_EQ(W->geometry(), QRect(R.Left - 1, R.Top - 1, R.Width() + 1, R.Height() + 1));
        } else if (C.Kind != edUniEdit) {
            EXPECT_EQ(W->x(), R.Left);
            EXPECT_EQ(W->y(), R.Top);
            EXPECT_EQ(W->width(), R.Width() - 1);
        }
        Grid->HideCellEditor();
        EXPECT_FALSE(W->isVisible());
        EXPECT_FALSE(Grid->EditorActive);
    }
    // The kinds without a control open nothing.
    for (TEditorType K : {edDataCheckBox, edCustom}) {
        Kind(K);
        Goto(3, 3);
        Key(Qt::Key_F2);
        Type(QStringLiteral("a"));
        EXPECT_FALSE(EditorOpen());
        EXPECT_TRUE(Grid->Cells(3, 3).isEmpty());
        Grid->HideCellEditor();
    }
}

TEST_F(GridTest, EditorTypeIsAskedOncePerEditWithTheBaseCell)
{
    Grid->MergeCellBlock(1, 1, 2, 2);
    int Asked = 0;
    Grid->OnGetEditorType = [&](TObject *, int ACol, int ARow, TEditorType &) {
        ++Asked;
        EXPECT_EQ(ACol, 1);
        EXPECT_EQ(ARow, 1);
    };
    Goto(1, 1);
    Type(QStringLiteral("abc"));
    Grid->repaint();
    QApplication::processEvents();
    EXPECT_EQ(Asked, 1);
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(2, 2), "abc");
}

TEST_F(GridTest, ClosingWithoutAChangeLeavesTheCellAsItWas)
{
    // Markup the editor does not show stays in the cell.
    Grid->SetCells(1, 1, QStringLiteral("<b>bold</b>"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    ASSERT_TRUE(EditorOpen());
    EXPECT_EQ(Editor()->text(), "bold");
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), "<b>bold</b>");
    // Typing and taking it back: the editor never shows the markup.
    Key(Qt::Key_F2);
    Key(Qt::Key_End);
    Type(QStringLiteral("x"));
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Editor()->text(), "bold");
    Key(Qt::Key_Up);
    EXPECT_EQ(Grid->Cells(1, 1), "<b>bold</b>");
    Goto(1, 1);
    Key(Qt::Key_F2);
    Key(Qt::Key_End);
    Type(QStringLiteral("!"));
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), "bold!");

    // A list combo on a text that is not in its list.
    Kind(edComboList);
    Grid->InplaceCombo()->addItems({QStringLiteral("one"), QStringLiteral("two")});
    Grid->SetCells(2, 1, QStringLiteral("other"));
    Goto(2, 1);
    Key(Qt::Key_F2);
    EXPECT_EQ(Grid->InplaceCombo()->ItemIndex(), 0);
    Grid->HideCellEditor();
    EXPECT_EQ(Grid->Cells(2, 1), "other");

    // An unreadable date or time.
    for (TEditorType K : {edDateEdit, edTimeEdit, edDateSpinEdit}) {
        Kind(K);
        Grid->SetCells(3, 1, QStringLiteral("soon"));
        Goto(3, 1);
        Key(Qt::Key_F2);
        Grid->HideCellEditor();
        EXPECT_EQ(Grid->Cells(3, 1), "soon");
    }
    // A number the spin editor cannot read.
    Kind(edSpinEdit);
    Grid->SetCells(4, 1, QStringLiteral("n/a"));
    Goto(4, 1);
    Key(Qt::Key_F2);
    Grid->HideCellEditor();
    EXPECT_EQ(Grid->Cells(4, 1), "n/a");
}

TEST_F(GridTest, ListComboWithAnEmptyListStaysUnselected)
{
    Kind(edComboList);
    Grid->SetCells(1, 1, QStringLiteral("x"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    EXPECT_EQ(Grid->InplaceCombo()->ItemIndex(), -1);
    Grid->HideCellEditor();
    EXPECT_EQ(Grid->Cells(1, 1), "x");

    // A choice made is stored.
    Grid->InplaceCombo()->addItems({QStringLiteral("one"), QStringLiteral("two")});
    Key(Qt::Key_F2);
    Grid->InplaceCombo()->setCurrentIndex(1);
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(1, 1), "two");
}

TEST_F(GridTest, UnitEditorSplitsOnlyTheLeadingNumber)
{
    Kind(edUnitEditBtn);
    Grid->SetCells(1, 1, QStringLiteral("12.5 kg"));
    Goto(1, 1);
    Key(Qt::Key_F2);
    TGridUnitEditBtn *U = Grid->GridUnitEditBtn();
    EXPECT_EQ(U->text(), "12.5");
    EXPECT_EQ(U->UnitID(), " kg");
    U->setText(QStringLiteral("13"));
    Grid->HideCellEditor();
    EXPECT_EQ(Grid->Cells(1, 1), "13 kg");

    // Characters after the unit are never moved in front of it.
    Grid->SetCells(2, 1, QStringLiteral("kg 12"));
    Goto(2, 1);
    Key(Qt::Key_F2);
    EXPECT_EQ(U->text(), "");
    EXPECT_EQ(U->UnitID(), "kg 12");
    Grid->HideCellEditor();
    EXPECT_EQ(Grid->Cells(2, 1), "kg 12");
}

TEST_F(GridTest, SpinEditorsReadBackByTheirType)
{
    Kind(edFloatSpinEdit);
    Goto(1, 1);
    Type(QStringLiteral("3"));
    TGridSpin *S = Grid->GridSpin();
    ASSERT_TRUE(S->isVisible());
    EXPECT_EQ(S->text(), "3");
    Grid->HideCellEditor();
    EXPECT_EQ(Grid->Cells(1, 1), "3.00");

    Kind(edTimeSpinEdit);
    Goto(2, 1);
    Key(Qt::Key_F2);
    S->setText(QStringLiteral("7:5"));
    Grid->HideCellEditor();
    EXPECT_EQ(Grid->Cells(2, 1), "7:5");

    // PgUp stops at the maximum, End goes to the minimum.
    Kind(edSpinEdit);
    int Spins = 0;
    Grid->OnSpinClick = [&](TObject *, int ACol, int ARow, int, bool) {
        EXPECT_EQ(ACol, 3);
        EXPECT_EQ(ARow, 1);
        ++Spins;
    };
    Grid->SetCells(3, 1, QStringLiteral("100"));
    Goto(3, 1);
    Key(Qt::Key_F2);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(S->Value(), 100);
    Key(Qt::Key_End);
    EXPECT_EQ(S->Value(), 0);
    EXPECT_EQ(Spins, 2);
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(3, 1), "0");
}

TEST_F(GridTest, EllipsisButtonHandsTheTextToTheHandler)
{
    Kind(edEditBtn);
    Grid->SetCells(1, 2, QStringLiteral("pic.jpg"));
    Grid->OnEllipsClick = [](TObject *, int ACol, int ARow, QString &S) {
        EXPECT_EQ(ACol, 1);
        EXPECT_EQ(ARow, 2);
        EXPECT_EQ(S, "pic.jpg");
        S = QStringLiteral("new.jpg");
    };
    Goto(1, 2);
    Key(Qt::Key_F2);
    TGridEditBtn *E = Grid->GridEditBtn();
    ASSERT_TRUE(E->isVisible());
    EXPECT_EQ(E->ButtonCaption(), "...");
    QTest::mouseClick(E->Button()->SpeedButton(), Qt::LeftButton);
    EXPECT_EQ(E->text(), "new.jpg");
    EXPECT_EQ(E->selectedText(), "new.jpg");
    Key(Qt::Key_Return);
    EXPECT_FALSE(E->isVisible());
    EXPECT_EQ(Grid->Cells(1, 2), "new.jpg");

    // The numeric variant filters as the numeric editor does.
    Kind(edNumericEditBtn);
    Goto(2, 2);
    Type(QStringLiteral("4x5"));
    EXPECT_EQ(E->text(), "45");
    Key(Qt::Key_Escape);
    EXPECT_TRUE(Grid->Cells(2, 2).isEmpty());
}

TEST_F(GridTest, RefusedValidationKeepsTheEditorOpen)
{
    Grid->OnCellValidate = [](TObject *, int ACol, int ARow, QString &Value, bool &Valid) {
        EXPECT_EQ(ACol, 1);
        EXPECT_EQ(ARow, 1);
        Valid = Value != "bad";
    };
    Grid->SetCells(1, 1, QStringLiteral("good"));
    Goto(1, 1);
    Type(QStringLiteral("bad"));
    Key(Qt::Key_Return);
    EXPECT_TRUE(EditorOpen());
    EXPECT_EQ(Grid->Cells(1, 1), "good");
    EXPECT_EQ(Editor()->text(), "good");
    Type(QStringLiteral("fine"));
    Key(Qt::Key_Return);
    EXPECT_FALSE(EditorOpen());
    EXPECT_EQ(Grid->Cells(1, 1), "fine");
}

TEST_F(GridTest, ARefusedCommitShowsWhatTheCheckLeftInEveryTextEditor)
{
    // The check corrects a leading 150 to 100 and refuses (wide cells are read decoded).
    Grid->OnCellValidate = [](TObject *, int, int, QString &Value, bool &Valid) {
        QString Plain = WideCellDisplayText(Value);
        if (!Plain.startsWith(QStringLiteral("150")))
            return;
        const bool Wide = Plain != Value;
        Plain.replace(0, 3, QStringLiteral("100"));
        Value = Wide ? EncodeWideCellText(Plain) : Plain;
        Valid = false;
    };
    const struct {
        TEditorType Kind;
        std::function<QLineEdit *()> Edit;
        const char *Cell;
    } Cases[] = {
        {edNormal, [this] { return static_cast<QLineEdit *>(Editor()); }, "100"},
        {edSpinEdit, [this] { return static_cast<QLineEdit *>(Grid->GridSpin()); }, "100"},
        {edEditBtn, [this] { return static_cast<QLineEdit *>(Grid->GridEditBtn()); }, "100"},
        {edUnitEditBtn, [this] { return static_cast<QLineEdit *>(Grid->GridUnitEditBtn()); }, "100 kg"},
        {edComboEdit, [this] { return Grid->InplaceCombo()->lineEdit(); }, "100"},
        {edUniEdit, [this] { return static_cast<QLineEdit *>(Grid->GridUniEdit()); }, nullptr},
    };
    Grid->SetRowCount(8);
    int Row = 1;
    for (const auto &C : Cases) {
        SCOPED_TRACE(int(C.Kind));
        Kind(C.Kind);
        Grid->SetCells(1, Row, C.Kind == edUnitEditBtn ? QStringLiteral("5 kg") : QStringLiteral("5"));
        Goto(1, Row);
        Key(Qt::Key_F2);
        QLineEdit *E = C.Edit();
        ASSERT_TRUE(E && E->isVisible());
        E->selectAll();
        Type(QStringLiteral("150"));
        Key(Qt::Key_Return);
        // Still open, showing the check's text, all of it selected.
        EXPECT_TRUE(E->isVisible());
        if (C.Cell) {
            EXPECT_EQ(Grid->Cells(1, Row), QString::fromLatin1(C.Cell));
        }
        EXPECT_EQ(WideCellDisplayText(Grid->Cells(1, Row)).left(3), QStringLiteral("100"));
        EXPECT_EQ(E->text(), QStringLiteral("100"));
        EXPECT_EQ(E->selectedText(), QStringLiteral("100"));
        Key(Qt::Key_Escape);
        EXPECT_FALSE(E->isVisible());
        ++Row;
    }
}

TEST_F(GridTest, UnicodeEditorsShowAndStoreWideCells)
{
    Grid->SetWideCellText(2, 2, QStringLiteral("中文"));
    Kind(edUniEdit);
    Goto(2, 2);
    Key(Qt::Key_F2);
    TGridUniEdit *U = Grid->GridUniEdit();
    ASSERT_TRUE(U->isVisible());
    EXPECT_EQ(U->text(), QStringLiteral("中文"));
    U->end(false);
    TypeChar(QChar(0x00FC));
    Key(Qt::Key_Return);
    EXPECT_FALSE(U->isVisible());
    EXPECT_EQ(Grid->GetWideCellText(2, 2), QStringLiteral("中文ü"));
    EXPECT_EQ(Grid->Cells(2, 2), EncodeWideCellText(QStringLiteral("中文ü")));

    Grid->GridUniCombo()->Items()->Add(QStringLiteral("甲"));
    Grid->GridUniCombo()->Items()->Add(QStringLiteral("中文ü"));
    Kind(edUniComboList);
    Key(Qt::Key_F2);
    EXPECT_EQ(Grid->GridUniCombo()->currentText(), QStringLiteral("中文ü"));
    Grid->GridUniCombo()->setCurrentIndex(0);
    Key(Qt::Key_Return);
    EXPECT_EQ(Grid->Cells(2, 2), EncodeWideCellText(QStringLiteral("甲")));
}
