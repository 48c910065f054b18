// The auto-fill commands through the program started by quillbook-drive, with
// scripted answers: the grid's popup items, the auto-fill button dropped on a
// field and the grid dropped on the button; every change checked in the page
// text the program saved.

#include "QStringPrint.h"
#include "SamplePages.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace SamplePages;

namespace {

class AutoFillDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::CopyDataTo(Home.Path());
        Page = Docs.File(QStringLiteral("fill.qbt"));
        Save(Page, Header() + Blocks({{QStringLiteral("pics\\a.b.jpg"), QStringLiteral("A-001"), QStringLiteral("一"),
                                        QStringLiteral("2"), QStringLiteral("个"), QStringLiteral("38"),
                                        QStringLiteral("大"), QStringLiteral("甲")},
                                       {QStringLiteral("C:\\x\\Q-7.gif"), QStringLiteral("A-002"), QStringLiteral("二"),
                                        QString(), QStringLiteral("盒"), QString(), QStringLiteral("中"),
                                        QStringLiteral("乙")},
                                       {QString(), QStringLiteral("A-003"), QStringLiteral("三"), QStringLiteral("10"),
                                        QStringLiteral("箱"), QStringLiteral("5"), QStringLiteral("小"),
                                        QStringLiteral("丙")}}));
    }
    // Runs the script on the page, saves it and returns its lines and the prompts shown.
    // Without changes the save button stays disabled: then nothing is saved.
    QStringList Run(const QString &Script, QString *Prompts = nullptr, bool Changes = true)
    {
        const QString Save = Changes ? QStringLiteral("click SpeedButton9\nwait\n") : QStringLiteral("text SpeedButton9\n");
        const TestSupport::DriveRun R = TestSupport::RunDrive(
            Home.Path(), QStringLiteral("wait\n") + Script + QStringLiteral("\nwait\nprompts\n") + Save + QStringLiteral("quit\n"), {Page});
        EXPECT_EQ(R.Code, 0) << R.Err.toStdString() << R.Out.toStdString();
        if (Prompts)
            *Prompts = R.Out;
        return Load(Page);
    }
    // The value lines of product N ("{$PID}=..." ...).
    static QStringList Product(const QStringList &Lines, int N)
    {
        const qsizetype At = Lines.indexOf(QStringLiteral("{$%1}").arg(N));
        return At < 0 ? QStringList() : Lines.mid(At + 1, 8);
    }
    static QString Value(const QStringList &Lines, int N, const char *Key)
    {
        for (const QString &L : Product(Lines, N))
            if (L.startsWith(QString::fromLatin1(Key) + QLatin1Char('=')))
                return L.mid(qsizetype(qstrlen(Key)) + 1);
        return QStringLiteral("<missing>");
    }
    TestSupport::TempDir Home, Docs;
    QString Page;
};

} // namespace

TEST_F(AutoFillDrive, PrefixesNumberFromTheCurrentProductWithStartAndSuffix)
{
    QString Out;
    QStringList L = Run(QStringLiteral("select-cell CellGrid1 3 7\nanswer text AT-\nclick N30\n"
                                       "select-cell CellGrid1 5 1\nanswer text P:X\nclick N37"), &Out);
    EXPECT_EQ(Value(L, 1, "{$PID}"), QStringLiteral("A-001"));
    EXPECT_EQ(Value(L, 2, "{$PID}"), QStringLiteral("AT-001"));
    EXPECT_EQ(Value(L, 3, "{$PID}"), QStringLiteral("AT-002"));
    EXPECT_EQ(Value(L, 1, "{$PNAME}"), QStringLiteral("P001X"));
    EXPECT_EQ(Value(L, 3, "{$PNAME}"), QStringLiteral("P003X"));
    EXPECT_TRUE(Out.contains(QStringLiteral("InputQuery | 请输入 | 输入编号类似：AT- 也可带起始参数如AT- /231 或者冒号后面带固定后缀如 ABC:DE    | AT-")))
        << Out.toStdString();

    // The start number with its blank; a "/" without a number switches numbering off.
    L = Run(QStringLiteral("select-cell CellGrid1 3 1\nanswer text AT- /231\nclick N30\n"
                           "select-cell CellGrid1 5 13\nanswer text Box:Y/x\nclick N37"));
    EXPECT_EQ(Value(L, 1, "{$PID}"), QStringLiteral("AT- 232"));
    EXPECT_EQ(Value(L, 3, "{$PID}"), QStringLiteral("AT- 234"));
    EXPECT_EQ(Value(L, 2, "{$PNAME}"), QStringLiteral("P002X"));
    EXPECT_EQ(Value(L, 3, "{$PNAME}"), QStringLiteral("BoxY"));
}

TEST_F(AutoFillDrive, MultipliesOnlyWhenEveryValueIsANumber)
{
    QString Out;
    QStringList L = Run(QStringLiteral("select-cell CellGrid1 3 1\nanswer text 1.35\nclick N33\n"
                                       "answer text 1.5\nclick N40\n"
                                       "answer text x\nanswer button OK\nclick N33"), &Out);
    EXPECT_EQ(Value(L, 1, "{$PPRICE}"), QStringLiteral("2.70"));
    EXPECT_EQ(Value(L, 2, "{$PPRICE}"), QStringLiteral("0.00"));
    EXPECT_EQ(Value(L, 3, "{$PPRICE}"), QStringLiteral("13.50"));
    EXPECT_EQ(Value(L, 1, "{$PWEIGHT}"), QStringLiteral("57"));
    EXPECT_EQ(Value(L, 2, "{$PWEIGHT}"), QStringLiteral("0"));
    EXPECT_EQ(Value(L, 3, "{$PWEIGHT}"), QStringLiteral("7.5"));
    EXPECT_TRUE(Out.contains(QStringLiteral("MessageDlg | 错误 | 必须输入有效的数字。 | OK"))) << Out.toStdString();

    // A weight that is no number: named, and no product changes.
    Save(Page, Header() + Blocks({{QString(), QStringLiteral("1"), QString(), QStringLiteral("1"), QString(),
                                   QStringLiteral("4"), QString(), QString()},
                                  {QString(), QStringLiteral("2"), QString(), QStringLiteral("1"), QString(),
                                   QStringLiteral("约5"), QString(), QString()}}));
    const QStringList Before = Load(Page);
    L = Run(QStringLiteral("select-cell CellGrid1 3 1\nanswer text 2\nanswer button OK\nclick N40"), &Out, false);
    EXPECT_EQ(L, Before);
    EXPECT_TRUE(Out.contains(QStringLiteral("第2个商品的重量“约5”不是有效的数字，没有做任何更改。"))) << Out.toStdString();
}

TEST_F(AutoFillDrive, CopiesFromAnExistingProductAndPictureNamesGiveIDs)
{
    QString Out;
    QStringList L = Run(QStringLiteral("select-cell CellGrid1 3 1\nanswer button OK\nanswer text 1\nclick N46\n"
                                       "click N29\nclick N35\n"
                                       "answer text 0\nanswer button OK\nclick N44\n"
                                       "answer button OK\nanswer text 4\nanswer button OK\nclick N46"), &Out);
    for (int N = 1; N <= 3; ++N) {
        EXPECT_EQ(Value(L, N, "{$PPRICE}"), QStringLiteral("2")) << N;
        EXPECT_EQ(Value(L, N, "{$PUNIT}"), QStringLiteral("个")) << N;
        EXPECT_EQ(Value(L, N, "{$PWEIGHT}"), QStringLiteral("38")) << N;
        EXPECT_EQ(Value(L, N, "{$PSERIAL}"), QStringLiteral("大")) << N;
        EXPECT_EQ(Value(L, N, "{$PNOTE}"), QStringLiteral("甲")) << N;
    }
    // IDs and names from the pictures' file names, "\" paths included; no picture: kept.
    EXPECT_EQ(Value(L, 1, "{$PID}"), QStringLiteral("a"));
    EXPECT_EQ(Value(L, 2, "{$PID}"), QStringLiteral("Q-7"));
    EXPECT_EQ(Value(L, 3, "{$PID}"), QStringLiteral("A-003"));
    EXPECT_EQ(Value(L, 2, "{$PNAME}"), QStringLiteral("Q-7"));
    EXPECT_EQ(Value(L, 3, "{$PNAME}"), QStringLiteral("三"));
    EXPECT_TRUE(Out.contains(QStringLiteral("请输入一要复制的来源的序号，当前选择商品的序号为 1    "))) << Out.toStdString();
    EXPECT_EQ(Out.count(QStringLiteral("必须输入有效的数字。")), 2) << Out.toStdString();
}

TEST_F(AutoFillDrive, TheButtonDroppedOnAFieldAndTheGridDroppedOnTheButton)
{
    QString Out;
    // Price row of product 2, column 2: the fixed price from product 2 on;
    // the grid dragged from the size (规格) of product 3 onto the button;
    // the button dropped on itself is a click that opens the menu.
    const QStringList L = Run(QStringLiteral("answer text 9.99\ndrag Button6 CellGrid1:2:8\n"
                                             "select-cell CellGrid1 5 15\nanswer text 190MM*270MM\ndrag CellGrid1:5:15 Button6\n"
                                             "drag Button6 Button6\nselect-cell CellGrid1 5 2\nanswer text 盒\nclick N42\n"
                                             "drag Button6 CellGrid1:4:6"), &Out);
    EXPECT_EQ(Value(L, 1, "{$PPRICE}"), QStringLiteral("2"));
    EXPECT_EQ(Value(L, 2, "{$PPRICE}"), QStringLiteral("9.99"));
    EXPECT_EQ(Value(L, 3, "{$PPRICE}"), QStringLiteral("9.99"));
    EXPECT_EQ(Value(L, 2, "{$PSERIAL}"), QStringLiteral("中"));
    EXPECT_EQ(Value(L, 3, "{$PSERIAL}"), QStringLiteral("190MM*270MM"));
    for (int N = 1; N <= 3; ++N)
        EXPECT_EQ(Value(L, N, "{$PUNIT}"), QStringLiteral("盒")) << N;
    EXPECT_EQ(Out.count(QStringLiteral("InputQuery")), 3) << Out.toStdString();
}
