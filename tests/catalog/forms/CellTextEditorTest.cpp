// The cell text editor's clipboard and Enter conversions.

#include "catalog/forms/CellTextEditor.h"

#include <gtest/gtest.h>

using namespace CellTextEditor;

TEST(CellTextEditor, CopyAndPlainPasteAreInverse)
{
    EXPECT_EQ(CopyText(QStringLiteral("a<br>b<br>")), QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(PlainPasteText(QStringLiteral("a\r\nb")), QStringLiteral("a<br>b"));
    EXPECT_EQ(PlainPasteText(QStringLiteral("a\rb\nc\r\n\r\nd")), QStringLiteral("a<br>b<br>c<br><br>d"));
    EXPECT_EQ(PlainPasteText(CopyText(QStringLiteral("x<br>y"))), QStringLiteral("x<br>y"));
    EXPECT_EQ(CopyText(QStringLiteral("no break")), QStringLiteral("no break"));
}

TEST(CellTextEditor, HtmlPasteKeepsFragmentTags)
{
    const QString Page = QStringLiteral(
        "<html><body>\r\n<!--StartFragment--><b>粗</b>\r\n<i>体</i>\n<!--EndFragment-->\r\n</body></html>");
    EXPECT_EQ(HtmlPasteText(Page), QStringLiteral("<b>粗</b><i>体</i>"));
    // Without the markers (the usual case on this desktop) the whole text is taken.
    EXPECT_EQ(HtmlPasteText(QStringLiteral("<p>a</p>\n<p>b</p>")), QStringLiteral("<p>a</p><p>b</p>"));
    // An end marker before the start marker is no fragment.
    EXPECT_EQ(HtmlPasteText(QStringLiteral("<!--EndFragment-->x<!--StartFragment-->")),
              QStringLiteral("<!--EndFragment-->x<!--StartFragment-->"));
}

TEST(CellTextEditor, EnterAndEditedCells)
{
    EXPECT_EQ(EnterText(1, false), QString());     // name row
    EXPECT_EQ(EnterText(4, false), QStringLiteral("<br>"));
    EXPECT_EQ(EnterText(4, true), QStringLiteral("<p>"));
    EXPECT_EQ(EnterText(10 % 6, false), QStringLiteral("<br>"));

    EXPECT_TRUE(IsEditorCell(3, 1));
    EXPECT_TRUE(IsEditorCell(5, 5));
    EXPECT_FALSE(IsEditorCell(3, 6));
    EXPECT_FALSE(IsEditorCell(1, 1));
    EXPECT_FALSE(IsEditorCell(4, 1));
    EXPECT_TRUE(IsStoredCell(5, 3));
    EXPECT_FALSE(IsStoredCell(3, 5));   // the merged description's lower row
    EXPECT_FALSE(IsStoredCell(3, 0));
}
