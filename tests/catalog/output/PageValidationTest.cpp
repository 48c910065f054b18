// The questions asked before an output, their order and where they stop.

#include "OutputFixture.h"
#include "catalog/document/PageDocument.h"
#include "catalog/output/PageValidation.h"

#include <QMap>

using namespace OutputFixture;

namespace {

// A product grid of cells only.
class TCellsGrid : public TProductGridAccess {
public:
    int Rows = 1;
    QMap<QPair<int, int>, QString> Cells_;
    int RowCount() const override { return Rows; }
    QString Cells(int ACol, int ARow) const override { return Cells_.value({ACol, ARow}); }
    void SetCells(int ACol, int ARow, const QString &Value) override { Cells_[{ACol, ARow}] = Value; }
    void AppendProductBlock() override { Rows += 6; }
    void ResetGrid() override { Rows = 1; }
    void LoadCellPicture(int, int, const QString &) override {}
    void ClearCellPicture(int, int) override {}
    // Product n: price on row 6n-4, weight on row 6n-3.
    void Product(int N, const QString &Price, const QString &Weight)
    {
        Rows = std::max(Rows, 6 * N + 1);
        SetCells(3, 6 * N - 4, Price);
        SetCells(3, 6 * N - 3, Weight);
    }
};

struct TRun {
    QStringList Asked;
    QStringList Flags;
    int ShownLine = -1;
    int ShownRow = -1;
    bool Result = false;
};

// Runs the validation, answering from Answers (1 OK, 2 Cancel) in order.
TRun Validate(const QStringList &Page, const QString &Exe, const TCellsGrid &Grid, QList<int> Answers,
              const QString &PageFolder = QString())
{
    TRun R;
    TPageValidation V(Page, Exe, Grid, PageFolder);
    V.Ask = [&](const QString &Text, const QString &Caption, unsigned Flags) {
        R.Asked << Text;
        R.Flags << Caption + QLatin1Char('/') + QString::number(Flags, 16);
        if (Answers.isEmpty()) {
            ADD_FAILURE() << "unexpected question: " << Text.toStdString();
            return 2;
        }
        return Answers.takeFirst();
    };
    V.ShowLine = [&](int I) { R.ShownLine = I; };
    V.ShowGridRow = [&](int Row) { R.ShownRow = Row; };
    R.Result = V.Run();
    EXPECT_TRUE(Answers.isEmpty()) << "questions not asked";
    return R;
}

const QString EffectQ = QStringLiteral("无效的视觉效果，选择ok不使用视觉效果，或选择cancel进行修改。");
const QString BgQ = QStringLiteral("无效背景图，选择ok不使用背景图，或选择cancel进行修改。");
const QString MusicQ = QStringLiteral("无效背景音乐，选择ok不使用背景音乐，或选择cancel进行修改。");
const QString StyleQ = QStringLiteral("无效输出风格，选择ok使用标准模式，或选择cancel进行修改。");
const QString LangQ = QStringLiteral("无效输出语言，选择ok使用中文，或选择cancel进行修改。");
const QString TypeQ = QStringLiteral("无效输出方式，选择ok使用zip格式输出，或选择cancel进行修改。");

} // namespace

TEST(PageValidation, ValidPagePassesWithoutQuestions)
{
    TSample S;
    TCellsGrid G;
    G.Product(1, QStringLiteral("12.50"), QString());
    G.Product(2, QStringLiteral("88"), QStringLiteral("450"));
    // The page's background is relative to the page folder, where the output
    // finds it (the effects dialog stores it so): nothing to ask.
    TRun InPageFolder = Validate(S.Page, S.Exe, G, {}, S.PageDir);
    EXPECT_TRUE(InPageFolder.Result);
    EXPECT_TRUE(InPageFolder.Asked.isEmpty()) << InPageFolder.Asked.join(QLatin1Char(' ')).toStdString();
    QStringList Gone = S.Page;
    Gone.replaceInStrings(QStringLiteral("{背景图片}=pics\\bg.jpg"), QStringLiteral("{背景图片}=pics\\gone.jpg"));
    InPageFolder = Validate(Gone, S.Exe, G, {1}, S.PageDir);
    EXPECT_EQ(InPageFolder.Asked, QStringList{BgQ});
    // Without a page folder it is looked for below the program folder.
    QDir().mkpath(S.Exe + QStringLiteral("pics"));
    QFile::copy(S.PageDir + QStringLiteral("pics/bg.jpg"), S.Exe + QStringLiteral("pics/bg.jpg"));
    const TRun R = Validate(S.Page, S.Exe, G, {});
    EXPECT_TRUE(R.Result);
    EXPECT_TRUE(R.Asked.isEmpty());
}

TEST(PageValidation, HeaderQuestionsInLineOrderAndCancelShowsTheLine)
{
    TSample S;
    TCellsGrid G;
    QStringList Page{
        QStringLiteral("QBT FILE TYPE 2.0"),
        QStringLiteral("{Catalog编号}=  P9"),
        QStringLiteral("{输出方式}=RAR"),
        QStringLiteral("{视觉效果}="),
        QStringLiteral("{背景图片}=pics\\bg.jpg"),      // only in the page folder: invalid here
        QStringLiteral("{背景音乐}="),                  // empty: nothing asked
        QStringLiteral("{输出风格}=../html"),
        QStringLiteral("{输出语言}=English"),
    };
    TRun R = Validate(Page, S.Exe, G, {1, 1, 1, 1, 1});
    EXPECT_TRUE(R.Result);
    EXPECT_EQ(R.Asked, (QStringList{TypeQ, EffectQ, BgQ, StyleQ, LangQ}));
    EXPECT_EQ(R.Flags.first(), QStringLiteral("警告/31"));

    // Cancel on the style question stops there and shows its line.
    R = Validate(Page, S.Exe, G, {1, 1, 1, 2});
    EXPECT_FALSE(R.Result);
    EXPECT_EQ(R.Asked.size(), 4);
    EXPECT_EQ(R.ShownLine, 6);

    // The missing-music question, when a file is named.
    Page[5] = QStringLiteral("{背景音乐}=no.mid");
    R = Validate(Page.mid(5, 1), S.Exe, G, {2});
    EXPECT_EQ(R.Asked, QStringList{MusicQ});
    EXPECT_EQ(R.ShownLine, 0);
}

TEST(PageValidation, MissingOrUnsafeIdStopsTheOutput)
{
    TSample S;
    TCellsGrid G;
    G.Product(1, QString(), QString());   // never reached
    for (const QString &Id : {QStringLiteral("   "), QStringLiteral("..")}) {
        const TRun R = Validate({QStringLiteral("x"), QStringLiteral("{Catalog编号}=") + Id,
                                 QStringLiteral("{输出语言}=火星文")},
                                S.Exe, G, {1});
        EXPECT_FALSE(R.Result);
        EXPECT_EQ(R.Asked, QStringList{QStringLiteral("无效的catalog编号，输出终止。")});
        EXPECT_EQ(R.Flags, QStringList{QStringLiteral("错误/10")});
        EXPECT_EQ(R.ShownLine, 1);
    }
    // An ID that names files must be a name Windows can hold too: the message says why.
    for (const QString &Id : {QStringLiteral("a/b"), QStringLiteral("a\\b"), QStringLiteral("C:"), QStringLiteral("CAT\"页\""),
                              QStringLiteral("a*"), QStringLiteral("a?"), QStringLiteral("<a>"), QStringLiteral("a|b"),
                              QStringLiteral("a\tb")}) {
        const TRun R = Validate({QStringLiteral("x"), QStringLiteral("{Catalog编号}=") + Id}, S.Exe, G, {1});
        EXPECT_FALSE(R.Result) << Id.toStdString();
        EXPECT_EQ(R.Asked, QStringList{QStringLiteral("catalog编号“%1”中含有不能用于文件名的字符（\\ / : * ? \" < > | 或控制字符），"
                                                      "请修改后再输出。输出终止。")
                                           .arg(Id)});
        EXPECT_EQ(R.ShownLine, 1);
    }
    // The whole ID names the files, not only its first characters.
    for (const QString &Id : {QString(130, QLatin1Char('a')) + QStringLiteral("\"x"),
                              QString(130, QChar(0x76EE)) + QStringLiteral("?")}) {
        const TRun R = Validate({QStringLiteral("x"), QStringLiteral("{Catalog编号}=") + Id}, S.Exe, G, {1});
        EXPECT_FALSE(R.Result) << Id.toStdString();
        EXPECT_EQ(R.ShownLine, 1);
    }
    const TRun Long = Validate({QStringLiteral("x"), QStringLiteral("{Catalog编号}=") + QString(300, QLatin1Char('a'))},
                               S.Exe, G, {1});
    EXPECT_FALSE(Long.Result);
    EXPECT_EQ(Long.Asked, QStringList{QStringLiteral("无效的catalog编号，输出终止。")});
    // The ID a new page gets passes.
    EXPECT_TRUE(Validate({QStringLiteral("x"), QStringLiteral("{Catalog编号}=新建目录页2026-12-7")}, S.Exe, G, {1}).Result);
}

TEST(PageValidation, PricesAndWeightsOfTheGrid)
{
    TSample S;
    TCellsGrid G;
    G.Product(1, QStringLiteral("12.50"), QString());
    G.Product(2, QString(), QStringLiteral("1kg"));
    G.Product(3, QStringLiteral("12,5"), QStringLiteral("3"));
    G.Product(4, QStringLiteral("-3"), QString());
    G.Product(5, QStringLiteral(" 7"), QString());
    const QString Tail = QStringLiteral("这会导致Catalog的自动计算功能失效。选择ok忽略此问题，或选择cancel进行修正。");
    TRun R = Validate({}, S.Exe, G, {1, 1, 1, 1, 1});
    EXPECT_TRUE(R.Result);
    EXPECT_EQ(R.Asked, (QStringList{
                           QStringLiteral("第 2 个商品资料的单价为空，") + Tail,
                           QStringLiteral("第 2 个商品资料的重量包含非数字字符，") + Tail,
                           QStringLiteral("第 3 个商品资料的单价包含非数字字符，") + Tail,
                           QStringLiteral("第 4 个商品资料的单价包含非数字字符，") + Tail,
                           QStringLiteral("第 5 个商品资料的单价包含非数字字符，") + Tail,
                       }));
    // Cancel on product 3's price: row 14 becomes current.
    R = Validate({}, S.Exe, G, {1, 1, 2});
    EXPECT_FALSE(R.Result);
    EXPECT_EQ(R.ShownRow, 14);
    R = Validate({}, S.Exe, G, {1, 2});
    EXPECT_EQ(R.ShownRow, 9);
}
