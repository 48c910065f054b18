// Block arithmetic and the product commands' edits of the page text.

#include "catalog/document/ProductBlocks.h"
#include "platform/core/Types.h"

#include <gtest/gtest.h>

using namespace ProductBlocks;

namespace {

// A page header of twenty lines, the marker, "{detail}", the empty line and
// Blocks products with IDs "ID<n>".
QStringList Page(int Blocks)
{
    QStringList L;
    L << QStringLiteral("QBT FILE TYPE 2.0");
    for (int I = 1; I < 20; ++I)
        L << QStringLiteral("{key%1}=v").arg(I);
    L << QStringLiteral("<!-- marker -->") << QStringLiteral("{detail}") << QString();
    for (int N = 1; N <= Blocks; ++N) {
        QStringList B = EmptyBlockLines(N);
        B[2] = QStringLiteral("{$PID}=ID%1").arg(N);
        L << B;
    }
    return L;
}

QString IdOf(const QStringList &L, int N)
{
    const int At = FindBlockLine(L, N, 0);
    return At < 0 ? QStringLiteral("<none>") : L.value(At + 2);
}

} // namespace

TEST(ProductBlocks, RowArithmetic)
{
    EXPECT_EQ(BlockOfRow(1), 1);
    EXPECT_EQ(BlockOfRow(6), 1);
    EXPECT_EQ(BlockOfRow(7), 2);
    EXPECT_EQ(BlockOfRow(12), 2);
    EXPECT_EQ(FirstRowOfBlock(3), 13);
    EXPECT_EQ(PathRowOfBlock(3), 18);
}

TEST(ProductBlocks, DeleteRenumbersLaterBlocks)
{
    QStringList L = Page(3);
    const int Before = int(L.size());
    ASSERT_TRUE(DeleteProduct(L, 2));
    EXPECT_EQ(L.size(), Before - 9);
    EXPECT_EQ(IdOf(L, 1), QStringLiteral("{$PID}=ID1"));
    EXPECT_EQ(IdOf(L, 2), QStringLiteral("{$PID}=ID3"));
    EXPECT_EQ(FindBlockLine(L, 3, 0), -1);

    // A missing block leaves the text alone.
    const QStringList Kept = L;
    EXPECT_FALSE(DeleteProduct(L, 7));
    EXPECT_EQ(L, Kept);
}

TEST(ProductBlocks, DeleteOfTruncatedLastBlockStaysInsideText)
{
    QStringList L = Page(2);
    L.erase(L.end() - 5, L.end());   // block 2 keeps four of its nine lines
    const int Size = int(L.size());
    ASSERT_TRUE(DeleteProduct(L, 2));
    EXPECT_EQ(L.size(), Size - 4);
    EXPECT_EQ(IdOf(L, 1), QStringLiteral("{$PID}=ID1"));

    // Blocks of older pages lack a value line: a deleted block takes its own
    // lines only, the next block keeps its line and moves up.
    L = Page(3);
    for (int N = 3; N >= 1; --N)
        L.removeAt(FindBlockLine(L, N, 0) + 7);   // no "{$PSERIAL}="
    const int Short = int(L.size());
    ASSERT_TRUE(DeleteProduct(L, 1));
    EXPECT_EQ(L.size(), Short - 8);
    EXPECT_EQ(IdOf(L, 1), QStringLiteral("{$PID}=ID2"));
    EXPECT_EQ(IdOf(L, 2), QStringLiteral("{$PID}=ID3"));
    EXPECT_EQ(L.value(FindBlockLine(L, 2, 0) - 1), QStringLiteral("{$PNOTE}="));
    // A header key kept after the short last block stays.
    L << QStringLiteral("{背景图片}=bg.gif");
    ASSERT_TRUE(DeleteProduct(L, 2));
    EXPECT_EQ(L.size(), Short - 16 + 1);
    EXPECT_EQ(L.last(), QStringLiteral("{背景图片}=bg.gif"));
    EXPECT_EQ(IdOf(L, 1), QStringLiteral("{$PID}=ID2"));
}

TEST(ProductBlocks, BlockLinesMatchWholeLinesOnly)
{
    QStringList L = Page(12);
    // A value that mentions "{$1}" is no block line, and "{$12}" is not "{$1}".
    L[FindBlockLine(L, 1, 0) + 3] = QStringLiteral("{$PNAME}=see {$1}");
    ASSERT_TRUE(DeleteProduct(L, 1));
    EXPECT_EQ(IdOf(L, 1), QStringLiteral("{$PID}=ID2"));
    EXPECT_EQ(IdOf(L, 11), QStringLiteral("{$PID}=ID12"));
    EXPECT_EQ(FindBlockLine(L, 12, 0), -1);
}

TEST(ProductBlocks, InsertBeforeFirstAndMiddle)
{
    QStringList L = Page(3);
    const int First = FindBlockLine(L, 1, 0);
    ASSERT_TRUE(InsertProduct(L, 0));
    EXPECT_EQ(FindBlockLine(L, 1, 0), First);
    EXPECT_EQ(L.mid(First, 9), EmptyBlockLines(1));
    EXPECT_EQ(IdOf(L, 2), QStringLiteral("{$PID}=ID1"));
    EXPECT_EQ(IdOf(L, 4), QStringLiteral("{$PID}=ID3"));

    ASSERT_TRUE(InsertProduct(L, 2));   // before the old second product
    EXPECT_EQ(IdOf(L, 2), QStringLiteral("{$PID}=ID1"));
    EXPECT_EQ(IdOf(L, 3), QStringLiteral("{$PID}="));
    EXPECT_EQ(IdOf(L, 4), QStringLiteral("{$PID}=ID2"));
    EXPECT_EQ(IdOf(L, 5), QStringLiteral("{$PID}=ID3"));

    const QStringList Kept = L;
    EXPECT_FALSE(InsertProduct(L, 9));
    EXPECT_EQ(L, Kept);
}

TEST(ProductBlocks, SeveralBlocksInsertedAsOneByOne)
{
    for (const int K : {0, 2, 5}) {
        QStringList One = Page(6), All = One;
        for (int I = 0; I < 4; ++I)
            ASSERT_TRUE(InsertProduct(One, K));
        ASSERT_TRUE(InsertProducts(All, K, 4));
        EXPECT_EQ(All, One) << K;
    }
    // Blocks that do not follow one another after the place (a gap, a block
    // out of order) leave the text as it was: one insert at a time is made.
    QStringList L = Page(6);
    L.removeAt(FindBlockLine(L, 4, 0));
    const QStringList Gap = L;
    EXPECT_FALSE(InsertProducts(L, 2, 3));
    EXPECT_EQ(L, Gap);
    L = Page(6);
    L[FindBlockLine(L, 5, 0)] = QStringLiteral("{$2}");
    const QStringList Twice = L;
    EXPECT_FALSE(InsertProducts(L, 1, 2));
    EXPECT_EQ(L, Twice);
    EXPECT_FALSE(InsertProducts(L, 9, 2));
    EXPECT_EQ(L, Twice);
    // Lines that only look like block lines are no blocks.
    L = Page(3);
    L << QStringLiteral("{$04}") << QStringLiteral("{$x}");
    QStringList One = L;
    ASSERT_TRUE(InsertProduct(One, 1));
    ASSERT_TRUE(InsertProduct(One, 1));
    ASSERT_TRUE(InsertProducts(L, 1, 2));
    EXPECT_EQ(L, One);
}

TEST(ProductBlocks, DeleteAllKeepsHeaderAndDetail)
{
    QStringList L = Page(4);
    const QStringList Header = L.mid(0, 23);
    DeleteAllProducts(L);
    EXPECT_EQ(L, Header);   // "{detail}" and its empty line stay
    L << QStringLiteral("{$1}");
    L.removeAt(22);
    DeleteAllProducts(L);
    EXPECT_EQ(L.last(), QStringLiteral("{detail}"));
}

TEST(ProductBlocks, CellLinesAndCaret)
{
    const QStringList L = Page(2);
    const int B2 = FindBlockLine(L, 2, 0);
    EXPECT_EQ(LineOfCell(L, 3, 7), B2 + 2);    // ID
    EXPECT_EQ(LineOfCell(L, 5, 7), B2 + 3);    // name
    EXPECT_EQ(LineOfCell(L, 3, 8), B2 + 4);    // price
    EXPECT_EQ(LineOfCell(L, 5, 9), B2 + 7);    // 规格 (size and make)
    EXPECT_EQ(LineOfCell(L, 3, 10), B2 + 8);   // description
    EXPECT_EQ(LineOfCell(L, 1, 12), B2 + 1);   // picture
    EXPECT_EQ(LineOfCell(L, 5, 10), -1);
    EXPECT_EQ(LineOfCell(L, 2, 7), -1);
    EXPECT_EQ(LineOfCell(L, 3, 13), -1);       // no block 3
    EXPECT_EQ(CaretInLine(QStringLiteral("{$PID}=a=b")), 7);
}

TEST(ProductBlocks, SwapInputAndRanges)
{
    int A = 0, B = 0;
    EXPECT_EQ(ParseSwapInput(QString(), A, B), siEmpty);
    EXPECT_EQ(ParseSwapInput(QStringLiteral("37"), A, B), siInvalid);
    ASSERT_EQ(ParseSwapInput(QStringLiteral("3 5"), A, B), siNumbers);
    EXPECT_EQ(A, 3);
    EXPECT_EQ(B, 5);
    // The second number is at most four characters long.
    ASSERT_EQ(ParseSwapInput(QStringLiteral("2 1234567"), A, B), siNumbers);
    EXPECT_EQ(B, 1234);
    EXPECT_THROW(ParseSwapInput(QStringLiteral("x 5"), A, B), EConvertError);

    const int Rows = 6 * 4 + 1;
    EXPECT_TRUE(ProductsExist(1, 4, Rows));
    EXPECT_FALSE(ProductsExist(2, 9, Rows));
    EXPECT_FALSE(ProductsExist(0, 2, Rows));
    EXPECT_FALSE(ProductsExist(-3, 2, Rows));

    using Steps = QList<QPair<int, int>>;
    EXPECT_EQ(MoveSteps(4, 2, Rows), (Steps{{4, 3}, {3, 2}}));
    EXPECT_EQ(MoveSteps(1, 3, Rows), (Steps{{1, 2}, {2, 3}}));
    EXPECT_TRUE(MoveSteps(2, 2, Rows).isEmpty());
    EXPECT_TRUE(MoveSteps(2, 0, Rows).isEmpty());
    EXPECT_TRUE(MoveSteps(2, 5, Rows).isEmpty());

    // A number typed far beyond the products (six times it passes the largest
    // int) names no product: no exchange, and no move of hundreds of millions of steps.
    EXPECT_FALSE(ProductsExist(357913942, 1, Rows));
    EXPECT_FALSE(ProductsExist(1, 400000000, Rows));
    EXPECT_TRUE(MoveSteps(1, 400000000, Rows).isEmpty());
    ASSERT_EQ(ParseSwapInput(QStringLiteral("715827883 2"), A, B), siNumbers);
    EXPECT_FALSE(ProductsExist(A, B, Rows));
}

TEST(ProductBlocks, SearchOrderColumnThreeBeforeFive)
{
    // Row 1: labels "编号：" (2), ID in 3, "名称：" (4), name in 5.
    auto Cells = [](int C, int R) -> QString {
        if (R == 1 && C == 5) return QStringLiteral("红茶");
        if (R == 2 && C == 3) return QStringLiteral("茶壶");
        if (R == 7 && C == 5) return QStringLiteral("绿茶");
        return QString();
    };
    int C = 0, R = 0;
    ASSERT_TRUE(FindProduct(Cells, 13, QStringLiteral("茶"), 1, C, R));
    EXPECT_EQ(C, 5);
    EXPECT_EQ(R, 1);
    ASSERT_TRUE(FindProduct(Cells, 13, QStringLiteral("茶"), R + 1, C, R));
    EXPECT_EQ(R, 2);
    ASSERT_TRUE(FindProduct(Cells, 13, QStringLiteral("茶"), R + 1, C, R));
    EXPECT_EQ(R, 7);
    EXPECT_FALSE(FindProduct(Cells, 13, QStringLiteral("茶"), R + 1, C, R));
    EXPECT_FALSE(FindProduct(Cells, 13, QStringLiteral("茶"), 13, C, R));
}
