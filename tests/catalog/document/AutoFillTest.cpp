// The auto-fill rules without a window: the prefix answer's start number and
// suffix, which command a field's drop runs, and picture names from stored paths.

#include "catalog/document/AutoFill.h"

#include <gtest/gtest.h>

using namespace AutoFill;

TEST(AutoFill, PrefixAnswers)
{
    TPrefixAnswer A = ParsePrefixAnswer(QStringLiteral("AT-"));
    EXPECT_EQ(A.Next(), QStringLiteral("AT-001"));
    EXPECT_EQ(A.Next(), QStringLiteral("AT-002"));
    A = ParsePrefixAnswer(QStringLiteral("AT- /231"));
    EXPECT_EQ(A.Next(), QStringLiteral("AT- 232"));
    A = ParsePrefixAnswer(QStringLiteral("ABC:DE"));
    EXPECT_EQ(A.Next(), QStringLiteral("ABC001DE"));
    // Eight characters go from the "/" and twelve from the ":", as typed.
    A = ParsePrefixAnswer(QStringLiteral("N/1234567x:Y"));
    EXPECT_FALSE(A.Numbering);
    EXPECT_EQ(A.Next(), QStringLiteral("NxY"));
    A = ParsePrefixAnswer(QStringLiteral("K/9999"));
    A.Counter = 999;
    EXPECT_EQ(A.Next(), QStringLiteral("K1000"));
    A = ParsePrefixAnswer(QStringLiteral("M/-3"));
    EXPECT_EQ(A.Next(), QStringLiteral("M-002"));
}

TEST(AutoFill, DropCommandsAndPictureNames)
{
    EXPECT_EQ(DropCommand(1, 3), dcAddPicture);
    EXPECT_EQ(DropCommand(2, 7), dcPrefixID);
    EXPECT_EQ(DropCommand(3, 8), dcFixedPrice);
    EXPECT_EQ(DropCommand(3, 9), dcFixedWeight);
    EXPECT_EQ(DropCommand(2, 10), dcCopyDescription);
    EXPECT_EQ(DropCommand(3, 11), dcNone);
    EXPECT_EQ(DropCommand(5, 12), dcNone);
    EXPECT_EQ(DropCommand(4, 13), dcPrefixName);
    EXPECT_EQ(DropCommand(5, 14), dcUnit);
    EXPECT_EQ(DropCommand(5, 15), dcSize);
    EXPECT_EQ(DropCommand(5, 16), dcNone);
    EXPECT_EQ(DropCommand(0, 1), dcNone);
    EXPECT_EQ(DropCommand(3, 0), dcNone);

    EXPECT_EQ(PictureBaseName(QStringLiteral("C:\\pics\\tea.cup.jpg")), QStringLiteral("tea"));
    EXPECT_EQ(PictureBaseName(QStringLiteral("pics/sub\\A-7.gif")), QStringLiteral("A-7"));
    EXPECT_EQ(PictureBaseName(QStringLiteral("/pics/noext")), QString());
    EXPECT_EQ(FieldRow(2, fDescription), 10);
    EXPECT_EQ(FieldRow(2, fPicturePath), 12);
    EXPECT_EQ(FieldCol(fSize), 5);
}
