// Rich-text cells: painted and measured as their document, edited in place by
// the edRichEdit editor and written back as RTF.
#include "GridFixture.h"

#include "grid/CellRichEdit.h"
#include "platform/core/RichText.h"

namespace {

const QString RedBold = QStringLiteral("{\\rtf1\\ansi{\\colortbl ;\\red255\\green0\\blue0;}{\\b\\cf1 Hello}}");

int RedPixels(const QImage &Image, const TRect &R)
{
    int N = 0;
    for (int Y = R.Top; Y < R.Bottom; ++Y)
        for (int X = R.Left; X < R.Right; ++X) {
            const QColor C = Image.pixelColor(X, Y);
            if (C.red() > 180 && C.green() < 90 && C.blue() < 90)
                ++N;
        }
    return N;
}

} // namespace

TEST_F(GridTest, RichTextCellsPaintAndMeasureTheirDocument)
{
    Grid->SetColWidths(2, 150);
    Grid->SetCells(2, 2, RedBold);
    Grid->SetCells(3, 2, QStringLiteral("{\\rtf1 plain}"));
    const QImage Image = Grid->RenderToImage();
    EXPECT_GT(RedPixels(Image, Grid->GetCellRect(2, 2)), 10) << "the document's red bold text is drawn";
    EXPECT_EQ(RedPixels(Image, Grid->GetCellRect(3, 2)), 0);

    // Measured as its text, not as the RTF source.
    Grid->AutoSizeColumn(2);
    const int Raw = Grid->Canvas()->TextWidth(RedBold);
    EXPECT_LT(Grid->ColWidths(2), Raw / 2);
    EXPECT_GT(Grid->ColWidths(2), Grid->Canvas()->TextWidth(QStringLiteral("Hel")));
    EXPECT_EQ(Grid->RichToPlain(RedBold), QStringLiteral("Hello"));
}

TEST_F(GridTest, RichEditorOpensEditsAndWritesBack)
{
    Kind(edRichEdit);
    Grid->SetCells(2, 2, RedBold);
    Goto(2, 2);
    Key(Qt::Key_F2);
    TCellRichEdit *E = Grid->InplaceRichEdit();
    ASSERT_TRUE(E->isVisible());
    EXPECT_EQ(E->Text(), QStringLiteral("Hello"));
    EXPECT_EQ(QApplication::focusWidget(), E);
    int Selections = 0;
    Grid->OnRichEditSelectionChange = [&](TObject *) { ++Selections; };
    Key(Qt::Key_End);
    Type(QStringLiteral(" world"));
    EXPECT_GT(Selections, 0);
    // The focus going back to the grid ends the edit.
    Grid->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(E->isVisible());
    const QString Stored = Grid->Cells(2, 2);
    EXPECT_TRUE(Rtf::IsRtf(Stored));
    const TRtfDocument D = Rtf::Read(Stored);
    EXPECT_EQ(D.PlainText(), QStringLiteral("Hello world"));
    ASSERT_FALSE(D.Paragraphs.empty());
    EXPECT_TRUE(D.Paragraphs[0].Runs.at(0).Format.Bold);
    EXPECT_EQ(D.Paragraphs[0].Runs.at(0).Format.Color, 0x0000FF);

    // Opened and closed without a change: the cell keeps its text exactly.
    Grid->SetCells(2, 3, RedBold);
    Goto(2, 3);
    Key(Qt::Key_F2);
    ASSERT_TRUE(E->isVisible());
    Grid->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(Grid->Cells(2, 3), RedBold);
}

TEST_F(GridTest, RichEditorArrowsMoveRowsOnlyWithoutWordWrap)
{
    Kind(edRichEdit);
    Grid->SetCells(2, 2, QStringLiteral("{\\rtf1 one}"));
    Goto(2, 2);
    Key(Qt::Key_F2);
    TCellRichEdit *E = Grid->InplaceRichEdit();
    ASSERT_TRUE(E->isVisible());
    Key(Qt::Key_Down);
    EXPECT_FALSE(E->isVisible());
    EXPECT_EQ(Grid->Row(), 3);

    Grid->SetWordWrap(true);
    Goto(2, 2);
    Key(Qt::Key_F2);
    ASSERT_TRUE(E->isVisible());
    Key(Qt::Key_Down);
    EXPECT_TRUE(E->isVisible());
    EXPECT_EQ(Grid->Row(), 2);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(E->isVisible());
}

TEST_F(GridTest, RichEditorGrowsTheRowWhileTyping)
{
    Kind(edRichEdit);
    Grid->SizeWhileTyping()->Height = true;
    Grid->SetWordWrap(true);
    int Ended = -1;
    Grid->OnEndRowSize = [&](TObject *, int ARow) { Ended = ARow; };
    Grid->SetCells(2, 2, QStringLiteral("{\\rtf1 a}"));
    Goto(2, 2);
    Key(Qt::Key_F2);
    TCellRichEdit *E = Grid->InplaceRichEdit();
    ASSERT_TRUE(E->isVisible());
    const int Before = Grid->RowHeights(2);
    Key(Qt::Key_End);
    for (int I = 0; I < 3; ++I)
        Key(Qt::Key_Return);
    Type(QStringLiteral("b"));
    EXPECT_GT(Grid->RowHeights(2), Before);
    EXPECT_EQ(Ended, 2);
    EXPECT_EQ(E->height(), Grid->RowHeights(2) - 1);
}

TEST_F(GridTest, TypingOnARichTextCellStartsItsEditorWithTheKey)
{
    Kind(edRichEdit);
    Grid->SetCells(2, 2, QStringLiteral("{\\rtf1 old}"));
    Goto(2, 2);
    Type(QStringLiteral("n"));
    TCellRichEdit *E = Grid->InplaceRichEdit();
    ASSERT_TRUE(E->isVisible());
    Type(QStringLiteral("ew"));
    Key(Qt::Key_Escape);
    EXPECT_EQ(Grid->Cells(2, 2), QStringLiteral("{\\rtf1 old}"));
    Type(QStringLiteral("n"));
    Type(QStringLiteral("ew"));
    Grid->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(Rtf::PlainText(Grid->Cells(2, 2)), QStringLiteral("new"));
}
