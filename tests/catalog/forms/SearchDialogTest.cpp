// The search dialog over generated pages: scopes, case, one listing per page,
// the double-byte trap (a letter inside a Chinese character), stopping and
// closing, and which book opens a found page.

#include "QStringPrint.h"
#include "SamplePages.h"
#include "WindowFixture.h"
#include "TestSupport.h"
#include "catalog/forms/SearchDialog.h"
#include "platform/core/FastStrings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace SamplePages;

namespace {

class SearchDialog : public ::testing::Test {
protected:
    SearchDialog() : Form(nullptr) {}

    QString Page(const QString &Name, const QStringList &Lines)
    {
        const QString Path = Home.File(Name);
        Save(Path, Header() + Lines);
        return Path;
    }
    QStringList Results() const
    {
        QStringList R;
        for (int I = 0; I < Form.ListBox1->count(); ++I)
            R << Form.ListBox1->item(I)->text();
        return R;
    }
    CatalogFixture::TProgramFolder Home;
    WindowFixture::TScriptedUi Ui;
    TForm8 Form;
};

} // namespace

TEST_F(SearchDialog, HistoryPagesFoundByCharactersOncePerPage)
{
    ASSERT_TRUE(QDir().mkpath(Home.File(QStringLiteral("pages"))));
    const QString Upper = Page(QStringLiteral("pages/upper.qbt"), Blocks({Simple(QStringLiteral("ABC-1"), QStringLiteral("abc"))}));
    // 癮 is B0 61 in code page 936: its second byte is an "a".
    // No other "a" or "A" in it.
    const QString Trap = Home.File(QStringLiteral("trap.qbt"));
    Save(Trap, {QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{$PID}=癮"), QStringLiteral("癮癮")});
    const QString Chinese = Page(QStringLiteral("chinese.qbt"), Blocks({Simple(QStringLiteral("X"), QStringLiteral("茶杯 tea"))}));
    const QByteArray TrapBytes = TestSupport::ReadAll(Trap);
    ASSERT_GT(FindPatternFrom(TrapBytes.constData(), "a", int(TrapBytes.size()), 1, 1), 0)
        << "the byte search does see the trail byte";
    // Relative entries lie below the program folder; empty and missing ones are passed over.
    Save(Home.File(QStringLiteral("history.txt")),
         {QStringLiteral("pages\\upper.qbt"), QString(), Trap, Home.File(QStringLiteral("gone.qbt")), Chinese});

    Form.Edit1->setText(QStringLiteral("abc"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_EQ(Results(), QStringList{Home.File(QStringLiteral("pages/upper.qbt"))});
    EXPECT_EQ(Asked(*Ui.Prompts).value(0), QStringLiteral("完毕|搜索完毕，一共搜索了 3 个文件|OK"));
    EXPECT_TRUE(Form.Button1->isEnabled());
    EXPECT_FALSE(Form.Button2->isEnabled());
    EXPECT_EQ(Form.ProgressBar1->value(), 0);

    // A letter is never found inside a Chinese character, with or without case.
    for (const char *Key : {"a", "A"}) {
        Form.Edit1->setText(QString::fromLatin1(Key));
        Ui.Prompts->AnswerButton(QStringLiteral("OK"));
        Form.Button1Click();
        EXPECT_FALSE(Results().contains(Trap)) << Key;
    }
    Form.CheckBox1->setChecked(true);
    Form.Edit1->setText(QStringLiteral("ABC"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_EQ(Results().size(), 1);
    Form.Edit1->setText(QStringLiteral("Abc"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_TRUE(Results().isEmpty());
    Form.Edit1->setText(QStringLiteral("茶杯"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_EQ(Results(), QStringList{Chinese});
    // An empty keyword finds nothing but counts every page.
    Form.Edit1->clear();
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_TRUE(Results().isEmpty());
    EXPECT_EQ(Asked(*Ui.Prompts).last(), QStringLiteral("完毕|搜索完毕，一共搜索了 3 个文件|OK"));
}

TEST_F(SearchDialog, BookScopeSkipsHeaderLinesAndMissingListsSaySo)
{
    Form.RadioButton2->setChecked(true);
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_EQ(Asked(*Ui.Prompts).value(0), QStringLiteral("错误|当前没有打开目录册，搜索不能完成|OK"));
    EXPECT_EQ(Asked(*Ui.Prompts).value(1), QStringLiteral("完毕|搜索完毕，一共搜索了 0 个文件|OK"));

    ASSERT_TRUE(QDir().mkpath(Home.File(QStringLiteral("book"))));
    const QString P1 = Page(QStringLiteral("book/1.qbt"), Blocks({Simple(QStringLiteral("pen"))}));
    const QString P2 = Page(QStringLiteral("book/2.qbt"), Blocks({Simple(QStringLiteral("ink"))}));
    Form.CatalogFile = Home.File(QStringLiteral("book/b.qbs"));
    Save(Form.CatalogFile, {QStringLiteral("Catalog_name=pen"), QStringLiteral("{$Files}"), QStringLiteral("1.qbt"), P2});
    Form.Edit1->setText(QStringLiteral("pen"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_EQ(Results(), QStringList{P1});
    EXPECT_EQ(Asked(*Ui.Prompts).last(), QStringLiteral("完毕|搜索完毕，一共搜索了 2 个文件|OK"));

    // No history: said so, nothing searched.
    Form.RadioButton1->setChecked(true);
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_TRUE(Asked(*Ui.Prompts).contains(QStringLiteral("错误|历史记录文件不存在，搜索不能完成|OK")));
}

TEST_F(SearchDialog, StopEndsTheSearchWithItsCountAndClosingEndsItSilently)
{
    QStringList History;
    for (int I = 1; I <= 5; ++I)
        History << Page(QStringLiteral("p%1.qbt").arg(I), Blocks({Simple(QStringLiteral("key%1").arg(I))}));
    Save(Home.File(QStringLiteral("history.txt")), History);
    Form.Edit1->setText(QStringLiteral("key"));
    // Stop is pressed while the third page is reached.
    QObject::connect(Form.ProgressBar1, &QProgressBar::valueChanged, &Form, [this](int V) {
        if (V == 3)
            QTimer::singleShot(0, Form.Button2, &QPushButton::click);
    });
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_EQ(Results().size(), 2);
    EXPECT_EQ(Asked(*Ui.Prompts).value(0), QStringLiteral("完毕|搜索完毕，一共搜索了 2 个文件|OK"));

    // Stop pressed while a long page is read: it ends inside that page, which counts as searched.
    QStringList Long;
    for (int I = 0; I < 5000; ++I)
        Long << QStringLiteral("line %1").arg(I);
    Long << QStringLiteral("key at the end");
    Save(Home.File(QStringLiteral("long.qbt")), Long);
    Save(Home.File(QStringLiteral("history.txt")), {Home.File(QStringLiteral("long.qbt"))});
    Form.ProgressBar1->disconnect(&Form);
    QObject::connect(Form.ProgressBar1, &QProgressBar::valueChanged, &Form, [this](int V) {
        // Two steps, so the press arrives after the page's reading began.
        if (V == 1)
            QTimer::singleShot(0, &Form, [this] { QTimer::singleShot(0, Form.Button2, &QPushButton::click); });
    });
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_TRUE(Results().isEmpty());
    EXPECT_EQ(Asked(*Ui.Prompts).last(), QStringLiteral("完毕|搜索完毕，一共搜索了 1 个文件|OK"));
    Save(Home.File(QStringLiteral("history.txt")), History);

    // Closing the dialog while it searches: the search ends, no summary.
    Form.ProgressBar1->disconnect(&Form);
    QObject::connect(Form.ProgressBar1, &QProgressBar::valueChanged, &Form, [this](int V) {
        if (V == 2)
            QTimer::singleShot(0, &Form, &QDialog::reject);
    });
    Form.Button1Click();
    EXPECT_EQ(Results().size(), 1);
    EXPECT_EQ(Asked(*Ui.Prompts).size(), 2);
    EXPECT_FALSE(Form.Button2->isEnabled());
}

TEST_F(SearchDialog, ManyFoundPagesReachTheListInBatchesAllInOrder)
{
    // The list lays itself out again after every insertion: a line added per
    // found page made a search of thousands of hits grow with their square.
    QStringList History;
    for (int I = 0; I < 400; ++I)
        History << Page(QStringLiteral("m%1.qbt").arg(I), Blocks({Simple(QStringLiteral("key%1").arg(I))}));
    Save(Home.File(QStringLiteral("history.txt")), History);
    int Insertions = 0;
    QObject::connect(Form.ListBox1->model(), &QAbstractItemModel::rowsInserted, &Form, [&Insertions] { ++Insertions; });
    Form.Edit1->setText(QStringLiteral("key"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.Button1Click();
    EXPECT_EQ(Results(), History);
    EXPECT_GE(Insertions, 1);
    EXPECT_LE(Insertions, 40) << "found pages are added in batches, not one by one";
    EXPECT_EQ(Asked(*Ui.Prompts).value(0), QStringLiteral("完毕|搜索完毕，一共搜索了 400 个文件|OK"));
}

TEST_F(SearchDialog, FoundPagesAndTheirBooksOpenInANewInstance)
{
    // The book of "11.qbt" must not be taken for "1.qbt".
    ASSERT_TRUE(QDir().mkpath(Home.File(QStringLiteral("目录册"))));
    Save(Home.File(QStringLiteral("目录册/eleven.qbs")), {QStringLiteral("{$Files}"), QStringLiteral("d:\\old\\11.qbt")});
    Save(Home.File(QStringLiteral("目录册/one.qbs")), {QStringLiteral("{$Files}"), QStringLiteral("sub\\1.QBT")});
    Save(Home.File(QStringLiteral("cts_history.txt")),
         {QStringLiteral("目录册\\missing.qbs"), QStringLiteral("目录册\\eleven.qbs"), Home.File(QStringLiteral("目录册/one.qbs"))});
    const QString Exe = TForm8::ProgramExecutable();
    EXPECT_TRUE(Exe.endsWith(QStringLiteral("/quillbook")));

    Form.ListBox1->addItem(QStringLiteral("/pages/1.qbt"));
    Form.ListBox1->setCurrentRow(0);
    Ui.Prompts->AnswerButton(QStringLiteral("Yes"));
    Ui.Prompts->AnswerButton(QStringLiteral("No"));
    Ui.Prompts->AnswerButton(QStringLiteral("Cancel"));
    Form.ListBox1DblClick();
    Form.ListBox1DblClick();
    Form.ListBox1DblClick();
    EXPECT_EQ(Ui.ShellCalls(),
              (QStringList{QStringLiteral("StartProgram ") + Exe + QStringLiteral(" | /pages/1.qbt | "),
                           QStringLiteral("StartProgram ") + Exe + QStringLiteral(" | ") + Home.File(QStringLiteral("目录册/one.qbs")) + QStringLiteral(" | ")}));
    EXPECT_EQ(Asked(*Ui.Prompts).value(0),
              QStringLiteral("请选择|点击“是”直接打开此页面，点击“否”则首先查找哪个目录册包含此页面并打开目录册。|Yes"));

    Ui.Shell->ClearCalls();
    EXPECT_TRUE(Form.FindCatalogOfPage(QStringLiteral("11.QBT")));
    EXPECT_TRUE(Ui.ShellCalls().value(0).contains(QStringLiteral("eleven.qbs")));
    EXPECT_FALSE(Form.FindCatalogOfPage(QStringLiteral("2.qbt")));
    Form.ListBox1->item(0)->setText(QStringLiteral("/pages/2.qbt"));
    Ui.Prompts->AnswerButton(QStringLiteral("No"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    Form.ListBox1DblClick();
    EXPECT_EQ(Asked(*Ui.Prompts).last(),
              QStringLiteral("完毕|没有找到匹配的目录册，也许你曾经清空了全部或者部分目录册历史记录。|OK"));
}
