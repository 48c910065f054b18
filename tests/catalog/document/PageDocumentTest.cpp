// The page document on real files: new pages, the parser and the writer of
// product values, save and history, code page 936 content and repair.

#include "QStringPrint.h"
#include "TestSupport.h"
#include "catalog/document/PageDocument.h"
#include "document/FakeProductGrid.h"
#include "platform/core/Classes.h"
#include "platform/core/Codec.h"
#include "platform/core/Types.h"

#include <QDir>
#include <QImage>
#include <QMap>
#include <gtest/gtest.h>
#include <string>
#include <utility>

using TestSupport::TempDir;

namespace {

TNewPageDefaults Defaults(const TempDir &Dir)
{
    TNewPageDefaults D;
    D.DefaultsFile = Dir.File(QStringLiteral("defaultset.txt"));
    D.Today = QStringLiteral("2026-12-7");
    D.Salesman = QStringLiteral("张三");
    D.OrderMail = QStringLiteral("order@example.invalid");
    return D;
}

QStringList Block(int N, const QString &Img, const QString &Id, const QString &Name = QString())
{
    return {QStringLiteral("{$%1}").arg(N), QStringLiteral("{$IMG}=") + Img, QStringLiteral("{$PID}=") + Id,
            QStringLiteral("{$PNAME}=") + Name, QStringLiteral("{$PPRICE}=1.50"), QStringLiteral("{$PUNIT}=个"),
            QStringLiteral("{$PWEIGHT}=20"), QStringLiteral("{$PSERIAL}=10*10"), QStringLiteral("{$PNOTE}=说明")};
}

// A page as the program writes it: header, marker, "{detail}", empty line, blocks.
QStringList PageWith(int Blocks)
{
    TempDir Dir;
    TPageDocument Doc;
    Doc.InitNewPageText(Defaults(Dir));
    QStringList L = Doc.Lines();
    L << TPageDocument::MarkerComment << TPageDocument::DetailLine << QString();
    for (int N = 1; N <= Blocks; ++N)
        L << Block(N, QString(), QStringLiteral("ID%1").arg(N), QStringLiteral("名称%1").arg(N));
    return L;
}

// Writes Text as code page 936 through iconv, so the file is made by a tool
// other than ours.
void WriteCp936(const QString &FileName, const QString &Text)
{
    TestSupport::WriteAll(FileName + QStringLiteral(".utf8"), Text.toUtf8());
    QByteArray Out;
    ASSERT_EQ(TestSupport::RunProgram(QStringLiteral("iconv"),
                                      {QStringLiteral("-f"), QStringLiteral("UTF-8"), QStringLiteral("-t"),
                                       QStringLiteral("CP936"), FileName + QStringLiteral(".utf8")},
                                      &Out),
              0);
    TestSupport::WriteAll(FileName, Out);
}

QString ReadCp936(const QString &FileName)
{
    QByteArray Out;
    EXPECT_EQ(TestSupport::RunProgram(QStringLiteral("iconv"),
                                      {QStringLiteral("-f"), QStringLiteral("CP936"), QStringLiteral("-t"),
                                       QStringLiteral("UTF-8"), FileName},
                                      &Out),
              0);
    return QString::fromUtf8(Out);
}

} // namespace

TEST(PageDocument, NewPageWithoutDefaultsThenFirstProduct)
{
    TempDir Dir;
    TPageDocument Doc;
    EXPECT_FALSE(Doc.InitNewPageText(Defaults(Dir)));
    ASSERT_EQ(Doc.Count(), 20);
    EXPECT_EQ(Doc.Strings(0), TPageDocument::Magic);
    EXPECT_EQ(Doc.Strings(1), QStringLiteral("{Catalog编号}=新建目录页2026-12-7"));
    EXPECT_EQ(Doc.Values(QStringLiteral("{Catalog名称}")), QStringLiteral("新建页面"));
    EXPECT_EQ(Doc.Values(QStringLiteral("{业务员名}")), QStringLiteral("张三"));
    EXPECT_EQ(Doc.Strings(4), QStringLiteral("{客户编号}="));
    EXPECT_EQ(Doc.Values(QStringLiteral("{日期}")), QStringLiteral("2026-12-7"));
    EXPECT_EQ(Doc.Values(QStringLiteral("{货币符号}")), QStringLiteral("￥"));
    EXPECT_EQ(Doc.Values(QStringLiteral("{输出方式}")), QStringLiteral("CHM(帮助文件类型)"));
    EXPECT_EQ(Doc.Values(QStringLiteral("{订单接收email地址}")), QStringLiteral("order@example.invalid"));
    EXPECT_EQ(Doc.Strings(19), QStringLiteral("{Catalog说明}="));

    TFakeGrid Grid;
    Grid.SetCells(3, 1, QStringLiteral("A-1"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 3, 1), TPageDocument::srStored);
    ASSERT_EQ(Doc.Count(), 32);
    EXPECT_EQ(Doc.Strings(20), TPageDocument::MarkerComment);
    EXPECT_EQ(Doc.Strings(21), QStringLiteral("{detail}"));
    EXPECT_EQ(Doc.Strings(22), QString());
    EXPECT_EQ(Doc.Strings(23), QStringLiteral("{$1}"));
    EXPECT_EQ(Doc.Strings(25), QStringLiteral("{$PID}=A-1"));
    EXPECT_EQ(Doc.Strings(31), QStringLiteral("{$PNOTE}="));

    // The next block goes right after the first, at its fixed place.
    Grid.AppendProductBlock();
    Grid.SetCells(5, 7, QStringLiteral("第二"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 5, 7), TPageDocument::srStored);
    EXPECT_EQ(Doc.Strings(32), QStringLiteral("{$2}"));
    EXPECT_EQ(Doc.Strings(35), QStringLiteral("{$PNAME}=第二"));
    // Label cells and the number column write nothing.
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 2, 1), TPageDocument::srNothing);
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 0, 7), TPageDocument::srNothing);
}

TEST(PageDocument, NewPageFromDefaultsFileAndCompanyLines)
{
    TempDir Dir;
    QStringList Saved = {TPageDocument::Magic};
    for (const QString &K : TPageDocument::HeaderKeys)
        Saved << K + QStringLiteral("=默认");
    WriteCp936(Dir.File(QStringLiteral("defaultset.txt")), Saved.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    TPageDocument Doc;
    EXPECT_TRUE(Doc.InitNewPageText(Defaults(Dir)));
    EXPECT_EQ(Doc.Lines(), Saved);

    WriteCp936(Dir.File(QStringLiteral("cols1.dat")),
               QStringLiteral("公司=名称\r\n名称=甲公司\r\n联系人=李四\r\n无等号\r\n"));
    EXPECT_EQ(TPageDocument::ReadDatLine(Dir.File(QStringLiteral("cols1.dat")), 2), QStringLiteral("李四"));
    EXPECT_EQ(TPageDocument::ReadDatLine(Dir.File(QStringLiteral("cols1.dat")), 3), QStringLiteral("无等号"));
    EXPECT_EQ(TPageDocument::ReadDatLine(Dir.File(QStringLiteral("cols1.dat")), 9), QString());
    EXPECT_EQ(TPageDocument::ReadDatLine(Dir.File(QStringLiteral("missing.dat")), 1), QString());
}

TEST(PageDocument, Cp936PageOpenedEditedAndSavedLineByLine)
{
    TempDir Dir;
    QStringList Lines = PageWith(2);
    Lines[2] = QStringLiteral("{Catalog名称}=春季报价");
    Lines[32 + 8] = QStringLiteral("{$PNOTE}=纯棉<br>（赠品）€");
    const QString Path = Dir.File(QStringLiteral("报价.qbt"));
    WriteCp936(Path, Lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    const QByteArray Original = TestSupport::ReadAll(Path);

    TPageDocument Doc;
    Doc.LoadFromFile(Path);
    ASSERT_EQ(Doc.Lines(), Lines);
    TFakeGrid Grid;
    Doc.LoadGridFromPage(Grid, Path, Dir.Path() + QLatin1Char('/'));
    EXPECT_EQ(Grid.RowCount(), 13);
    EXPECT_EQ(Grid.Cells(3, 7), QStringLiteral("ID2"));
    EXPECT_EQ(Grid.Cells(5, 7), QStringLiteral("名称2"));
    EXPECT_EQ(Grid.Cells(3, 8), QStringLiteral("1.50"));
    EXPECT_EQ(Grid.Cells(3, 10), QStringLiteral("纯棉<br>（赠品）€"));

    // Unchanged, the page saves byte for byte as it was read.
    Doc.SaveToFile(Path);
    EXPECT_EQ(TestSupport::ReadAll(Path), Original);

    Grid.SetCells(3, 8, QStringLiteral("9.90"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 3, 8), TPageDocument::srStored);
    Grid.SetCells(5, 1, QStringLiteral("丝绸\r\n围巾"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 5, 1), TPageDocument::srStored);
    Doc.SaveToFile(Path);
    const QStringList Back = ReadCp936(Path).split(QStringLiteral("\r\n"));
    ASSERT_EQ(Back.size(), Lines.size() + 1);
    for (int I = 0; I < Lines.size(); ++I) {
        if (I == 32 + 4)
            EXPECT_EQ(Back.at(I), QStringLiteral("{$PPRICE}=9.90"));
        else if (I == 23 + 3)
            EXPECT_EQ(Back.at(I), QStringLiteral("{$PNAME}=丝绸 围巾")) << "no line break enters a value";
        else
            EXPECT_EQ(Back.at(I), Lines.at(I)) << "line " << I;
    }
    EXPECT_EQ(Back.last(), QString());
}

TEST(PageDocument, ParserLimitsOrderAndPictures)
{
    TempDir Dir;
    QDir().mkpath(Dir.File(QStringLiteral("page/pics")));
    QDir().mkpath(Dir.File(QStringLiteral("prog/pics")));
    QImage Image(8, 8, QImage::Format_RGB32);
    Image.fill(Qt::red);
    ASSERT_TRUE(Image.save(Dir.File(QStringLiteral("page/pics/a.jpg"))));
    ASSERT_TRUE(Image.save(Dir.File(QStringLiteral("prog/pics/b.jpg"))));

    QStringList Lines = PageWith(0);
    const QString LongNote = QString(600, QChar(0x4E2D));
    const QString LongId = QString(130, QLatin1Char('x'));
    Lines << QStringLiteral("{$1}") << QStringLiteral("{$PNOTE}=") + LongNote << QStringLiteral("{$PID}=") + LongId
          << QStringLiteral("{$IMG}=pics\\a.jpg") << QStringLiteral("{$PNAME}=价格 {$PID}=假的 {$3}");
    Lines << QStringLiteral("{$2}") << QStringLiteral("{$IMG}=pics\\b.jpg");
    Lines << QStringLiteral("{$3}") << QStringLiteral("{$IMG}=pics\\none.jpg");
    Lines << QStringLiteral("{$4}") << QStringLiteral("{$IMG}=");
    const QString Path = Dir.File(QStringLiteral("page/p.qbt"));
    SaveLines(Path, Lines);

    TPageDocument Doc;
    Doc.LoadFromFile(Path);
    TFakeGrid Grid;
    Grid.SetCells(5, 2, QStringLiteral("kept"));
    Doc.LoadGridFromPage(Grid, Path, Dir.File(QStringLiteral("prog/")));
    EXPECT_EQ(Grid.RowCount(), 25);
    // Long values come in whole, so editing their cells can never cut them.
    EXPECT_EQ(Grid.Cells(3, 4), LongNote);
    EXPECT_EQ(Grid.Cells(3, 1), LongId);
    EXPECT_EQ(Grid.Cells(5, 1), QStringLiteral("价格 {$PID}=假的 {$3}"));
    EXPECT_EQ(Grid.Cells(5, 2), QStringLiteral("kept")) << "a key found in no line leaves the cell";
    // Beside the page first, then the program folder; a missing file says so.
    EXPECT_EQ(Grid.Cells(1, 6), QDir(Dir.File(QStringLiteral("page/pics/a.jpg"))).absolutePath());
    EXPECT_EQ(Grid.Pictures.value({1, 1}), Grid.Cells(1, 6));
    EXPECT_EQ(Grid.Cells(1, 12), Dir.File(QStringLiteral("prog/pics/b.jpg")));
    EXPECT_TRUE(Grid.Pictures.contains({1, 7}));
    EXPECT_EQ(Grid.Cells(1, 13), TPageDocument::MissingPicture);
    EXPECT_FALSE(Grid.Pictures.contains({1, 13}));
    EXPECT_EQ(Grid.Cells(1, 24), QString()) << "an empty picture path stays empty";
    EXPECT_EQ(Grid.Cells(1, 19), QString());

    // The description is stored whole even beyond what the parser shows.
    Grid.SetCells(3, 4, LongNote);
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 3, 4), TPageDocument::srStored);
    EXPECT_TRUE(Doc.Lines().contains(QStringLiteral("{$PNOTE}=") + LongNote));
}

TEST(PageDocument, BlockLinesAreExactAndBounded)
{
    EXPECT_EQ(TPageDocument::BlockNumberOfLine(QStringLiteral("{$12}")), 12);
    EXPECT_EQ(TPageDocument::BlockNumberOfLine(QStringLiteral("{$0}")), 0);
    EXPECT_EQ(TPageDocument::BlockNumberOfLine(QStringLiteral("{$-3}")), 0);
    EXPECT_EQ(TPageDocument::BlockNumberOfLine(QStringLiteral("{$ 3}")), 0);
    EXPECT_EQ(TPageDocument::BlockNumberOfLine(QStringLiteral("{$3} ")), 0);
    EXPECT_EQ(TPageDocument::BlockNumberOfLine(QStringLiteral("{0x12}")), 0);
    EXPECT_EQ(TPageDocument::BlockNumberOfLine(QStringLiteral("{$99999999999}")), 0);
    EXPECT_EQ(TPageDocument::BlockFirstRow(6), 1);
    EXPECT_EQ(TPageDocument::BlockFirstRow(7), 7);
    EXPECT_EQ(TPageDocument::BlockFirstRow(11), 7);

    // A damaged block number cannot make the grid grow without bound.
    QStringList Lines = PageWith(2);
    Lines << Block(99999999, QString(), QStringLiteral("huge"));
    TPageDocument Doc;
    Doc.SetLines(Lines);
    TFakeGrid Grid;
    Doc.LoadGridFromPage(Grid, QString(), QStringLiteral("/nonexistent/"));
    EXPECT_EQ(Grid.RowCount(), 13);
}

TEST(PageDocument, HeaderKeysKeepTheProductGeometry)
{
    TPageDocument Doc;
    Doc.SetLines(PageWith(2));
    Doc.SetValues(QStringLiteral("{背景图片}"), QStringLiteral("bg.jpg"));
    Doc.SetValues(QStringLiteral("{视觉效果}"), QStringLiteral("雪花\r\n飘落"));
    EXPECT_EQ(Doc.Strings(20), QStringLiteral("{背景图片}=bg.jpg"));
    EXPECT_EQ(Doc.Strings(21), QStringLiteral("{视觉效果}=雪花 飘落"));
    EXPECT_EQ(Doc.Strings(22), TPageDocument::MarkerComment);
    EXPECT_EQ(Doc.Values(QStringLiteral("{视觉效果}")), QStringLiteral("雪花 飘落"));
    // Names compare without regard to case; an empty value removes the line.
    Doc.SetValues(QStringLiteral("{catalog名称}"), QStringLiteral("新名"));
    EXPECT_EQ(Doc.Strings(2), QStringLiteral("{Catalog名称}=新名"));
    Doc.SetValues(QStringLiteral("{背景图片}"), QString());
    EXPECT_EQ(Doc.Values(QStringLiteral("{背景图片}")), QString());
    EXPECT_EQ(Doc.Count(), 20 + 4 + 18);

    TFakeGrid Grid;
    Doc.LoadGridFromPage(Grid, QString(), QStringLiteral("/nonexistent/"));
    EXPECT_EQ(Grid.Cells(3, 7), QStringLiteral("ID2"));
    Grid.SetCells(3, 7, QStringLiteral("B-2"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 3, 7), TPageDocument::srStored);
    EXPECT_EQ(Doc.Strings(Doc.FindBlockLine(2) + 2), QStringLiteral("{$PID}=B-2"));
    Grid.AppendProductBlock();
    Grid.SetCells(3, 13, QStringLiteral("C-3"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 3, 13), TPageDocument::srStored);
    EXPECT_EQ(Doc.FindBlockLine(3), Doc.FindBlockLine(2) + 9);
    EXPECT_EQ(Doc.Strings(Doc.Count() - 7), QStringLiteral("{$PID}=C-3"));
}

TEST(PageDocument, OlderPagesWithKeysAfterTheBlocks)
{
    // Older pages kept keys set later at the very end; new blocks go before them.
    QStringList Lines = PageWith(1);
    Lines << QStringLiteral("{背景音乐}=a.mid");
    TPageDocument Doc;
    Doc.SetLines(Lines);
    TFakeGrid Grid;
    Doc.LoadGridFromPage(Grid, QString(), QStringLiteral("/nonexistent/"));
    Grid.AppendProductBlock();
    Grid.SetCells(5, 9, QStringLiteral("规格二"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 5, 9), TPageDocument::srStored);
    EXPECT_EQ(Doc.Strings(32), QStringLiteral("{$2}"));
    EXPECT_EQ(Doc.Strings(39), QStringLiteral("{$PSERIAL}=规格二"));
    EXPECT_EQ(Doc.Strings(41), QStringLiteral("{背景音乐}=a.mid"));
    EXPECT_EQ(Doc.Values(QStringLiteral("{背景音乐}")), QStringLiteral("a.mid"));
}

namespace {

// Where block N's line is, looked up in the text itself: the line the
// geometry gives when it holds "{$N}", else the first such line after the
// first "{detail}" (from the top without one).
int BlockLineInText(const TPageDocument &Doc, int N)
{
    const QStringList &L = Doc.Lines();
    const QString Key = QStringLiteral("{$%1}").arg(N);
    const int D = int(L.indexOf(TPageDocument::DetailLine));
    if (D >= 0 && N > 0 && D + 2 + 9 * (N - 1) < L.size() && L.at(D + 2 + 9 * (N - 1)) == Key)
        return D + 2 + 9 * (N - 1);
    for (int I = D < 0 ? 0 : D + 1; I < L.size(); ++I)
        if (L.at(I) == Key)
            return I;
    return -1;
}

// Every block number FindBlockLine may be asked for, against the text.
std::string BlockLinesDiffer(const TPageDocument &Doc)
{
    std::string Wrong;
    for (int N = -1; N <= 12; ++N)
        if (Doc.FindBlockLine(N) != BlockLineInText(Doc, N))
            Wrong += " {$" + std::to_string(N) + "}: " + std::to_string(Doc.FindBlockLine(N)) + " instead of "
                + std::to_string(BlockLineInText(Doc, N));
    return Wrong;
}

} // namespace

TEST(PageDocument, BlocksFoundAfterEveryKindOfChange)
{
    // Blocks off their places (a note after the empty line), a second "{$3}",
    // a block line with a leading zero and a "{$4}" in the header.
    QStringList Lines = PageWith(5);
    Lines.insert(5, QStringLiteral("{$4}"));
    Lines.insert(Lines.indexOf(TPageDocument::DetailLine) + 2, QStringLiteral("/* note"));
    Lines << Block(3, QString(), QStringLiteral("again")) << QStringLiteral("{$07}");
    TPageDocument Doc;
    Doc.SetLines(Lines);
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    EXPECT_EQ(Doc.Strings(Doc.FindBlockLine(3) + 2), QStringLiteral("{$PID}=ID3"));

    // New blocks at the end (an import), values written in place.
    TFakeGrid Grid;
    Doc.LoadGridFromPage(Grid, QString(), QStringLiteral("/nonexistent/"));
    for (int N = 6; N <= 8; ++N) {
        while (Grid.RowCount() < 6 * N + 1)
            Grid.AppendProductBlock();
        Grid.SetCells(3, 6 * N - 5, QStringLiteral("new%1").arg(N));
        ASSERT_EQ(Doc.StoreProductBlock(Grid, 3, 6 * N - 5), TPageDocument::srStored);
        EXPECT_EQ(BlockLinesDiffer(Doc), "") << N;
    }
    EXPECT_EQ(Doc.Strings(Doc.FindBlockLine(7) + 2), QStringLiteral("{$PID}=new7"));
    Grid.SetCells(5, 7, QStringLiteral("名二"));
    ASSERT_EQ(Doc.StoreProductBlock(Grid, 5, 7), TPageDocument::srStored);
    EXPECT_EQ(Doc.Strings(Doc.FindBlockLine(2) + 3), QStringLiteral("{$PNAME}=名二"));

    // Lines added and removed before the blocks move them all.
    Doc.SetValues(QStringLiteral("{背景图片}"), QStringLiteral("bg.jpg"));
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    Doc.SetValues(QStringLiteral("{背景图片}"), QString());
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    Doc.SetValues(QStringLiteral("{key}"), QStringLiteral("后面"));
    EXPECT_EQ(BlockLinesDiffer(Doc), "");

    // Block lines renamed, removed or made by a whole new text.
    Lines = Doc.Lines();
    Lines[Doc.FindBlockLine(4)] = QStringLiteral("{$11}");
    Lines.removeAt(Doc.FindBlockLine(2));
    Doc.SetLines(Lines);
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    Lines.removeAt(Lines.indexOf(TPageDocument::DetailLine));
    Doc.SetLines(Lines);
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    Lines.insert(21, TPageDocument::DetailLine);
    Doc.SetLines(Lines);
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    Doc.RebuildProductBlocks();
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    EXPECT_EQ(Doc.FindBlockLine(1), 23);

    // "{detail}" at the top of a short text: no number, however low, is
    // looked for before the first line.
    Doc.SetLines({TPageDocument::DetailLine, QString(), QStringLiteral("{$1}")});
    EXPECT_EQ(BlockLinesDiffer(Doc), "");
    EXPECT_EQ(Doc.FindBlockLine(0), -1);
}

namespace {

// Where a block missing from the text goes, looked up in the text itself:
// after the last block line past the first "{detail}" and the "{$" lines
// that follow it (at most eight).
int AppendPointInText(const QStringList &L)
{
    const int D = int(L.indexOf(TPageDocument::DetailLine));
    for (int Last = int(L.size()) - 1; Last >= (D < 0 ? 0 : D + 1); --Last) {
        if (TPageDocument::BlockNumberOfLine(L.at(Last)) == 0)
            continue;
        int End = Last + 1;
        while (End < L.size() && End <= Last + 8 && TPageDocument::BlockNumberOfLine(L.at(End)) == 0
               && L.at(End).startsWith(QLatin1String("{$")))
            ++End;
        return End;
    }
    return D < 0 ? int(L.size()) : D + 2;
}

} // namespace

TEST(PageDocument, NewBlocksGoAfterTheLastBlockWhateverChangedBefore)
{
    // The last block line is a stray "{$07}"; keys stand before and after it,
    // and a long tail of lines the program does not read.
    QStringList Lines = PageWith(3);
    Lines << QStringLiteral("{k}=v") << QStringLiteral("{$07}") << QStringLiteral("{背景音乐}=a.mid");
    for (int I = 0; I < 200; ++I)
        Lines << QStringLiteral("tail %1").arg(I);
    TPageDocument Doc;
    Doc.SetLines(Lines);
    TFakeGrid Grid;
    Doc.LoadGridFromPage(Grid, QString(), QStringLiteral("/nonexistent/"));
    int N = Grid.RowCount() / 6;
    auto StoreNewBlock = [&](const char *After) {
        ++N;
        while (Grid.RowCount() < 6 * N + 1)
            Grid.AppendProductBlock();
        const int Expected = AppendPointInText(Doc.Lines());
        Grid.SetCells(3, 6 * N - 5, QStringLiteral("new%1").arg(N));
        ASSERT_EQ(Doc.StoreProductBlock(Grid, 3, 6 * N - 5), TPageDocument::srStored) << After;
        EXPECT_EQ(Doc.FindBlockLine(N), Expected) << After;
        EXPECT_EQ(Doc.Strings(Expected + 2), QStringLiteral("{$PID}=new%1").arg(N)) << After;
    };
    // A value written in place, and the line of a product not in the text
    // looked up (the window steps on its cells).
    auto StoreInPlace = [&] {
        Grid.SetCells(5, 1, Grid.Cells(5, 1) + QStringLiteral("改"));
        ASSERT_EQ(Doc.StoreProductBlock(Grid, 5, 1), TPageDocument::srStored);
        EXPECT_EQ(Doc.FindBlockLine(N + 1), -1);
    };
    StoreInPlace();
    Doc.SetValues(QStringLiteral("{k}"), QString());
    StoreNewBlock("a key between the blocks and the stray block line removed");
    StoreNewBlock("a block added behind it");
    Doc.SetValues(QStringLiteral("{背景图片}"), QStringLiteral("bg.jpg"));
    StoreNewBlock("a header line added");
    Doc.SetValues(QStringLiteral("{背景图片}"), QString());
    StoreNewBlock("a header line removed");
    StoreInPlace();
    Doc.SetValues(QStringLiteral("{背景音乐}"), QString());
    StoreNewBlock("the key after the blocks removed");
    Doc.SetValues(QStringLiteral("{$07}"), QString());
    StoreNewBlock("the stray block line removed");
    Doc.SetValues(QStringLiteral("{$%1}").arg(N), QString());
    StoreNewBlock("the last block line removed");
    Lines = Doc.Lines();
    Lines << QStringLiteral("{$3}") << QStringLiteral("{k}=v") << QStringLiteral("{$3}");
    Doc.SetLines(Lines);
    StoreInPlace();
    Doc.SetValues(QStringLiteral("{k}"), QString());
    StoreNewBlock("a key between two copies of a block line removed");
    Lines = Doc.Lines();
    Lines << QStringLiteral("{$3}") << QStringLiteral("x") << QStringLiteral("{$007}");
    Doc.SetLines(Lines);
    StoreInPlace();
    Doc.SetValues(QStringLiteral("{$007}"), QString());
    StoreNewBlock("a stray block line at the end removed");
}

TEST(PageDocument, WriterAsksForRepairWhenABlockIsBroken)
{
    QStringList Lines = PageWith(2);
    Lines.removeAt(23 + 2);   // block 1 loses its "{$PID}=" line
    TPageDocument Doc;
    Doc.SetLines(Lines);
    TFakeGrid Grid;
    Grid.AppendProductBlock();
    Grid.SetCells(3, 1, QStringLiteral("X"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 3, 1), TPageDocument::srNeedsRepair);
    EXPECT_EQ(Doc.Lines(), Lines) << "nothing is written";
    // Value lines out of order are still found.
    Lines = PageWith(1);
    Lines.swapItemsAt(24, 31);
    Doc.SetLines(Lines);
    Grid.SetCells(1, 6, QStringLiteral("/x.jpg"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 1, 6), TPageDocument::srStored);
    EXPECT_EQ(Doc.Strings(31), QStringLiteral("{$IMG}=/x.jpg"));
}

TEST(PageDocument, TextTypedAfterADamagedByteIsSavedAsTyped)
{
    // A value that ends in a lone lead byte (cut in the middle of a character
    // by another program), and a line that ends in one.
    TempDir Dir;
    const QString Path = Dir.File(QStringLiteral("damaged.qbt"));
    QByteArray Bytes = Cp936::Encode(PageWith(1).join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
    Bytes.replace(QByteArray("{$PNAME}=") + Cp936::Encode(QStringLiteral("名称1")), QByteArray("{$PNAME}=\xBE\xC4\xB5"));
    Bytes += QByteArray("{key}=\xB5\r\nA\r\n");
    TestSupport::WriteAll(Path, Bytes);
    TPageDocument Doc;
    Doc.LoadFromFile(Path);
    Doc.SaveToFile(Path);
    EXPECT_EQ(TestSupport::ReadAll(Path), Bytes) << "the damaged bytes are kept as they were";

    // The user types after the damaged byte, and joins the two lines.
    TFakeGrid Grid;
    Doc.LoadGridFromPage(Grid, Path, Dir.Path());
    Grid.SetCells(5, 1, Grid.Cells(5, 1) + QStringLiteral("改A"));
    ASSERT_EQ(Doc.StoreProductBlock(Grid, 5, 1), TPageDocument::srStored);
    QStringList Lines = Doc.Lines();
    const QString Last = Lines.takeLast();
    Lines.last() += Last;
    Doc.SetLines(Lines);
    Doc.SaveToFile(Path);
    const QStringList Back = TPageDocument::LoadPageLines(Path);
    EXPECT_EQ(Back.at(26), QStringLiteral("{$PNAME}=灸?改A"));
    EXPECT_EQ(Back.constLast(), QStringLiteral("{key}=?A"));
}

TEST(PageDocument, SaveAndHistory)
{
    TempDir Dir;
    const QString History = Dir.File(QStringLiteral("history.txt"));
    TPageDocument::AddPageHistory(History, QStringLiteral("/a/一.qbt"));
    TPageDocument::AddPageHistory(History, QStringLiteral("/a/一.qbt"));
    EXPECT_EQ(ReadCp936(History), QStringLiteral("/a/一.qbt\r\n/a/一.qbt\r\n"));

    TPageDocument Doc;
    Doc.SetLines(PageWith(1));
    EXPECT_THROW(Doc.SaveToFile(Dir.File(QStringLiteral("no/such/folder/p.qbt"))), EFCreateError);
    EXPECT_THROW(Doc.LoadFromFile(Dir.File(QStringLiteral("missing.qbt"))), EFOpenError);
    // A failed save leaves the old file whole.
    const QString Path = Dir.File(QStringLiteral("p.qbt"));
    Doc.SaveToFile(Path);
    const QByteArray Before = TestSupport::ReadAll(Path);
    QFile::setPermissions(Dir.Path(), QFile::ReadOwner | QFile::ExeOwner);
    if (!QFileInfo(Dir.Path()).isWritable()) {
        Doc.SetValues(QStringLiteral("{Catalog名称}"), QStringLiteral("改"));
        EXPECT_THROW(Doc.SaveToFile(Path), EFCreateError);
        EXPECT_EQ(TestSupport::ReadAll(Path), Before);
    }
    QFile::setPermissions(Dir.Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(PageDocumentRepair, ShortPagesAndMissingBlocks)
{
    TempDir Dir;
    TPageDocument Doc;
    Doc.SetLines({QStringLiteral("garbage"), QStringLiteral("{$1}")});
    EXPECT_FALSE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    EXPECT_EQ(Doc.Count(), 20);
    EXPECT_EQ(Doc.Strings(0), TPageDocument::Magic);

    QStringList NoBlocks = PageWith(0);
    NoBlocks << QStringLiteral("text") << QStringLiteral("more");
    Doc.SetLines(NoBlocks);
    EXPECT_FALSE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    EXPECT_EQ(Doc.Lines(), NoBlocks) << "nothing to rebuild from";
    try {
        Doc.RebuildProductBlocks();
        FAIL() << "no block must fail";
    } catch (const Exception &E) {
        EXPECT_EQ(E.Message(), QStringLiteral("修复失败，没有找到catalog块内容。"));
    }
    EXPECT_EQ(Doc.Lines(), NoBlocks);
}

TEST(PageDocumentRepair, LateFirstBlockLosesExtraHeaderLines)
{
    TempDir Dir;
    // Without "{detail}", block 1 at line 25: the marker, "{detail}" and its empty
    // line come back before it, then the extra header-area lines go (empty ones,
    // comments, lines that are no key); a key the header does not hold moves to the end.
    QStringList Lines = PageWith(0).mid(0, 21);
    Lines << QStringLiteral("junk") << QString() << QStringLiteral("   ") << QStringLiteral("{x}=1");
    ASSERT_EQ(Lines.size(), 25);
    Lines << Block(1, QString(), QStringLiteral("A"));
    TPageDocument Doc;
    Doc.SetLines(Lines);
    EXPECT_FALSE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    EXPECT_EQ(Doc.Strings(23), QStringLiteral("{$1}"));
    EXPECT_EQ(Doc.Strings(21), TPageDocument::DetailLine);
    EXPECT_EQ(Doc.Strings(22), QString());
    EXPECT_FALSE(Doc.Lines().contains(QStringLiteral("junk")));
    EXPECT_FALSE(Doc.Lines().contains(QStringLiteral("   ")));
    EXPECT_EQ(Doc.Lines().last(), QStringLiteral("{x}=1"));

    // Without marker, "{detail}" and empty line: they come back and block 1
    // stands at line 23 again, where its blocks are rebuilt.
    Lines = PageWith(0).mid(0, 20);
    Lines << Block(1, QString(), QStringLiteral("A"));
    Doc.SetLines(Lines);
    EXPECT_TRUE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    EXPECT_EQ(Doc.Strings(21), TPageDocument::DetailLine);
    EXPECT_EQ(Doc.Lines().mid(23), Block(1, QString(), QStringLiteral("A")));

    // A header line is missing: filler lines at line 1 move block 1 to line 23.
    Lines = PageWith(1);
    Lines.removeAt(5);
    Lines.removeAt(5);
    Doc.SetLines(Lines);
    EXPECT_FALSE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    EXPECT_EQ(Doc.Strings(1), TPageDocument::RepairedLine);
    EXPECT_EQ(Doc.Strings(2), TPageDocument::RepairedLine);
    EXPECT_EQ(Doc.Strings(23), QStringLiteral("{$1}"));

    // With "{detail}", stray lines between it and block 1 are removed.
    Lines = PageWith(1);
    Lines.insert(23, QStringLiteral("stray"));
    Lines.insert(23, QString());
    Doc.SetLines(Lines);
    EXPECT_FALSE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    EXPECT_EQ(Doc.Lines(), PageWith(1));

    // Block 1 too early, counted from the top of the file: a filler line.
    Lines = PageWith(1);
    Lines.removeAt(22);
    Doc.SetLines(Lines);
    Doc.RepairPageFile(Defaults(Dir), nullptr);
    EXPECT_EQ(Doc.Strings(1), TPageDocument::RepairedLine);
    EXPECT_EQ(Doc.Strings(23), QStringLiteral("{$1}"));

    // A key the header does not hold, before block 1, moves to the end of the
    // text, where pages keep such keys.
    Lines = PageWith(1);
    Lines.insert(23, QStringLiteral("{背景图片}=1.jpg"));
    Doc.SetLines(Lines);
    Doc.RepairPageFile(Defaults(Dir), nullptr);
    EXPECT_EQ(Doc.Lines(), PageWith(1) << QStringLiteral("{背景图片}=1.jpg"));
    Lines = PageWith(1);
    Lines.insert(19, QStringLiteral("{背景音乐}=a.mid"));
    Doc.SetLines(Lines);
    Doc.RepairPageFile(Defaults(Dir), nullptr);
    EXPECT_EQ(Doc.Lines(), PageWith(1) << QStringLiteral("{背景音乐}=a.mid"));

    // Lines that are neither: the user is asked to rebuild the header.
    Lines = PageWith(1);
    Lines.insert(23, QStringLiteral("{$PID}=stray"));
    Doc.SetLines(Lines);
    int Asked = 0;
    Doc.RepairPageFile(Defaults(Dir), [&] {
        ++Asked;
        return true;
    });
    EXPECT_EQ(Asked, 1);
    EXPECT_EQ(Doc.Strings(20), TPageDocument::RepairedMarker);
    EXPECT_EQ(Doc.Strings(23), QStringLiteral("{$1}"));
    EXPECT_EQ(Doc.Lines().mid(23), PageWith(1).mid(23));
}

TEST(PageDocumentRepair, BlocksRebuiltAndRenumbered)
{
    TempDir Dir;
    QStringList Lines = PageWith(0);
    Lines << QStringLiteral("{$1}") << QStringLiteral("  {$PID}=A  ") << QStringLiteral("$PNAME}=甲")
          << QStringLiteral("broken tail of a description") << QString();
    Lines << QStringLiteral("{$5}") << QStringLiteral("{$PNOTE}=说明{$3}") << QStringLiteral("{$IMG}=b.jpg");
    Lines << QStringLiteral("{$6}");
    Lines << QStringLiteral("{$7}") << QStringLiteral("{$PPRICE}=3");
    Lines << QStringLiteral("{背景图片}=bg.jpg");
    TPageDocument Doc;
    Doc.SetLines(Lines);
    EXPECT_TRUE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    QStringList Expected = PageWith(0);
    Expected << QStringLiteral("{$1}") << QStringLiteral("{$IMG}=") << QStringLiteral("{$PID}=A")
             << QStringLiteral("{$PNAME}=甲") << QStringLiteral("{$PPRICE}=") << QStringLiteral("{$PUNIT}=")
             << QStringLiteral("{$PWEIGHT}=") << QStringLiteral("{$PSERIAL}=") << QStringLiteral("{$PNOTE}=");
    Expected << QStringLiteral("{$2}") << QStringLiteral("{$IMG}=b.jpg") << QStringLiteral("{$PID}=")
             << QStringLiteral("{$PNAME}=") << QStringLiteral("{$PPRICE}=") << QStringLiteral("{$PUNIT}=")
             << QStringLiteral("{$PWEIGHT}=") << QStringLiteral("{$PSERIAL}=") << QStringLiteral("{$PNOTE}=说明{$3}");
    Expected << QStringLiteral("{$3}") << QStringLiteral("{$IMG}=") << QStringLiteral("{$PID}=")
             << QStringLiteral("{$PNAME}=") << QStringLiteral("{$PPRICE}=3") << QStringLiteral("{$PUNIT}=")
             << QStringLiteral("{$PWEIGHT}=") << QStringLiteral("{$PSERIAL}=") << QStringLiteral("{$PNOTE}=");
    // A header key among the blocks stays after them: the blocks keep their lines.
    Expected << QStringLiteral("{背景图片}=bg.jpg");
    EXPECT_EQ(Doc.Lines(), Expected);

    // A repaired page is stable: a second repair changes nothing.
    Doc.RepairPageFile(Defaults(Dir), nullptr);
    EXPECT_EQ(Doc.Lines(), Expected);
}

namespace {

// A view that applies each change notice to its own copy of the lines, as the
// page text box does; it must hold the page's lines after every operation.
class TMirror {
public:
    explicit TMirror(TPageDocument &Doc) : FDoc(Doc)
    {
        Doc.OnChange = [this](const TPageChange &C) { Apply(C); };
    }
    ~TMirror() { FDoc.OnChange = nullptr; }

    QStringList Lines;
    QList<TPageChange> Changes;
    // The notices since the last call.
    QList<TPageChange> Take() { return std::exchange(Changes, {}); }

private:
    TPageDocument &FDoc;
    void Apply(const TPageChange &C)
    {
        Changes.append(C);
        if (C.Everything) {
            Lines = FDoc.Lines();
            return;
        }
        ASSERT_GE(C.First, 0);
        ASSERT_GE(C.Removed, 0);
        ASSERT_GE(C.Added, 0);
        ASSERT_LE(C.First + C.Removed, Lines.size());
        ASSERT_EQ(Lines.size() - C.Removed + C.Added, FDoc.Count());
        Lines.remove(C.First, C.Removed);
        for (int I = 0; I < C.Added; ++I)
            Lines.insert(C.First + I, FDoc.Strings(C.First + I));
    }
};

::testing::AssertionResult Change(const QList<TPageChange> &Got, int First, int Removed, int Added)
{
    if (Got.size() != 1)
        return ::testing::AssertionFailure() << Got.size() << " notices";
    const TPageChange &C = Got.first();
    if (C.Everything || C.First != First || C.Removed != Removed || C.Added != Added)
        return ::testing::AssertionFailure() << "lines " << C.First << " -" << C.Removed << " +" << C.Added
                                             << (C.Everything ? " (everything)" : "");
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(PageDocumentChanges, EachOperationNamesTheLinesItReplaced)
{
    TempDir Dir;
    TPageDocument Doc;
    TMirror View(Doc);
    TFakeGrid Grid;

    Doc.InitNewPageText(Defaults(Dir));
    EXPECT_TRUE(View.Take().value(0).Everything);
    Grid.SetCells(3, 1, QStringLiteral("A-1"));
    Doc.StoreProductBlock(Grid, 3, 1);
    EXPECT_TRUE(Change(View.Take(), 20, 0, 12)) << "marker, {detail}, empty line and block 1";
    EXPECT_EQ(View.Lines, Doc.Lines());

    // A page of 500 products: one value is its one line, wherever the header
    // grew, and a block past the end is its nine lines.
    Doc.SetLines(PageWith(500));
    View.Take();
    EXPECT_EQ(View.Lines, Doc.Lines());
    const int P250 = Doc.FindBlockLine(250);
    ASSERT_EQ(P250, 23 + 9 * 249);
    Grid.SetCells(5, 6 * 250 - 5, QStringLiteral("新名称"));
    EXPECT_EQ(Doc.StoreProductBlock(Grid, 5, 6 * 250 - 5), TPageDocument::srStored);
    EXPECT_TRUE(Change(View.Take(), P250 + 3, 1, 1));
    Doc.SetValues(QStringLiteral("{新键}"), QStringLiteral("值"));
    EXPECT_TRUE(Change(View.Take(), 20, 0, 1));
    Doc.SetValues(QStringLiteral("{客户名称}"), QStringLiteral("王"));
    EXPECT_TRUE(Change(View.Take(), 5, 1, 1));
    Grid.SetCells(3, 6 * 250 - 2, QStringLiteral("描述"));
    Doc.StoreProductBlock(Grid, 3, 6 * 250 - 2);
    EXPECT_TRUE(Change(View.Take(), P250 + 1 + 8, 1, 1));
    EXPECT_EQ(Doc.Strings(P250 + 9), QStringLiteral("{$PNOTE}=描述"));
    Doc.SetValues(QStringLiteral("{新键}"), QString());
    EXPECT_TRUE(Change(View.Take(), 20, 1, 0));
    while (Grid.RowCount() < 6 * 501 + 1)
        Grid.AppendProductBlock();
    Doc.StoreProductBlock(Grid, 3, 6 * 501 - 5);
    EXPECT_TRUE(Change(View.Take(), Doc.Count() - 9, 0, 9));
    EXPECT_EQ(View.Lines, Doc.Lines());

    // A block out of its place is still found (block 1 holds a stray line).
    QStringList Lines = Doc.Lines();
    Lines.insert(25, QStringLiteral("{$PX}=多余"));
    Doc.SetLines(Lines);
    EXPECT_TRUE(Change(View.Take(), 25, 0, 1));
    Grid.SetCells(3, 6 * 3 - 5, QStringLiteral("第三"));
    Doc.StoreProductBlock(Grid, 3, 6 * 3 - 5);
    EXPECT_TRUE(Change(View.Take(), 23 + 18 + 1 + 2, 1, 1));
    EXPECT_EQ(Doc.Strings(23 + 18 + 1 + 2), QStringLiteral("{$PID}=第三"));

    // A product deleted and the later ones renumbered: from there to the end.
    Lines = Doc.Lines();
    Lines.remove(P250 + 1, 9);
    for (int I = P250 + 1; I < Lines.size(); ++I)
        if (const int N = TPageDocument::BlockNumberOfLine(Lines.at(I)))
            Lines[I] = QStringLiteral("{$%1}").arg(N - 1);
    Doc.SetLines(Lines);
    EXPECT_EQ(View.Take().size(), 1);
    EXPECT_EQ(View.Lines, Doc.Lines());

    // Repairs: header lines padded, extra header lines dropped, blocks rebuilt.
    Lines = PageWith(3);
    Lines.insert(3, QString());
    Lines.insert(3, QStringLiteral("junk"));
    Doc.SetLines(Lines);
    Doc.RepairPageFile(Defaults(Dir), nullptr);
    EXPECT_EQ(View.Lines, Doc.Lines());
    EXPECT_EQ(Doc.Strings(23), QStringLiteral("{$1}"));
    Lines = Doc.Lines();
    Lines.remove(2, 4);
    Doc.SetLines(Lines);
    Doc.RepairPageFile(Defaults(Dir), nullptr);
    EXPECT_EQ(View.Lines, Doc.Lines());
    Lines = Doc.Lines();
    Lines.insert(30, QStringLiteral("  $PNOTE}=x "));
    Doc.SetLines(Lines);
    EXPECT_TRUE(Doc.RepairPageFile(Defaults(Dir), nullptr));
    EXPECT_EQ(View.Lines, Doc.Lines());
    Doc.RebuildPageHeader(Defaults(Dir));
    EXPECT_EQ(View.Lines, Doc.Lines());

    // Loads and a new page replace everything; an operation that changes
    // nothing still tells, with no lines.
    Doc.SaveToFile(Dir.File(QStringLiteral("p.qbt")));
    View.Take();
    Doc.Clear();
    EXPECT_TRUE(View.Take().value(0).Everything);
    Doc.LoadFromFile(Dir.File(QStringLiteral("p.qbt")));
    EXPECT_TRUE(View.Take().value(0).Everything);
    EXPECT_EQ(View.Lines, Doc.Lines());
    Doc.SetLines(Doc.Lines());
    EXPECT_TRUE(Change(View.Take(), 0, 0, 0));
}
