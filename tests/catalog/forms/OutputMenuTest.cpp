// The main window's output commands: their guards, the validation questions
// through the window's prompts, and where a cancelled question leaves the user.

#include "OutputFixture.h"
#include "catalog/forms/CatalogUi.h"
#include "catalog/forms/Forms.h"
#include "catalog/forms/ProductGrid.h"
#include "catalog/forms/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>

using namespace OutputFixture;
using namespace CatalogUi;

namespace {

struct TAsked {
    QString Text, Caption;
    unsigned Flags;
};

class OutputMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        TForm1::BrowserEnabled = false;
        SetProgramFolder(S.Exe);
        QDir().mkpath(S.Exe + QStringLiteral("目录册"));
        Script.MessageBox = [this](const QString &Text, const QString &Caption, unsigned Flags) {
            Asked.append({Text, Caption, Flags});
            if (Answers.isEmpty()) {
                ADD_FAILURE() << "unexpected question: " << Text.toStdString();
                return int(IDCANCEL);
            }
            return Answers.takeFirst();
        };
        Script.ShowModal = [](QDialog *) { return 2; };
        Script.ShellOpen = [this](const QString &T) { Opened << T; };
        SetScript(&Script);
        Form = std::make_unique<TForm1>();
        Form->CreateForms();
        Form->CommandLine = QStringList{QStringLiteral("/opt/quillbook/quillbook")};
        QApplication::processEvents();
    }
    void TearDown() override
    {
        Form.reset();
        SetScript(nullptr);
        SetProgramFolder(QString());
        EXPECT_TRUE(Answers.isEmpty()) << "answers left over";
    }
    void Click(const char *Name)
    {
        QAction *A = Form->findChild<QAction *>(QString::fromLatin1(Name));
        ASSERT_NE(A, nullptr) << Name;
        A->trigger();
        QApplication::processEvents();
    }
    void LoadSample()
    {
        // The background lies beside the page only, which validation would ask about.
        S.Set(QStringLiteral("{背景图片}"), QString());
        WriteText(S.PagePath, S.Page);
        Form->OpenPage(S.PagePath);
        QApplication::processEvents();
        Asked.clear();
    }

    TSample S;
    TScript Script;
    QList<int> Answers;
    QList<TAsked> Asked;
    QStringList Opened;
    std::unique_ptr<TForm1> Form;
};

} // namespace

TEST_F(OutputMenu, EmptyPageOffersANewPageAndPreviewNeedsAnOpenPage)
{
    Form->Page().SetLines({QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("a"), QStringLiteral("b")});
    Answers = {IDCANCEL};
    Click("CHM3");   // needs five lines
    ASSERT_EQ(Asked.size(), 1);
    EXPECT_EQ(Asked[0].Text, QStringLiteral("当前页面文件为空，请先新建Catalog页面，或者打开一个已有的目录册或页面。要新建页面吗？"));
    EXPECT_EQ(Asked[0].Flags & 0x0F, unsigned(MB_OKCANCEL));

    Asked.clear();
    Form->FOpenPageEntry.clear();
    Answers = {IDOK};
    Click("N57");
    ASSERT_EQ(Asked.size(), 1);
    EXPECT_EQ(Asked[0].Text, QStringLiteral("当前没有打开页面，不能预览。"));
    EXPECT_EQ(Asked[0].Caption, QStringLiteral("错误"));

    // The output popup holds the page commands; the archive command stays hidden.
    QAction *Exe = Form->findChild<QAction *>(QStringLiteral("EXE1"));
    ASSERT_NE(Exe, nullptr);
    EXPECT_FALSE(Exe->isVisible());
    EXPECT_EQ(Form->findChild<QAction *>(QStringLiteral("N53"))->text(), QStringLiteral("输出到指定目录"));
}

TEST_F(OutputMenu, CancelledHeaderQuestionSelectsTheLineAndWritesNothing)
{
    S.Set(QStringLiteral("{输出语言}"), QStringLiteral("English"));
    LoadSample();
    Answers = {IDCANCEL};
    Click("HTML3");
    ASSERT_EQ(Asked.size(), 1);
    EXPECT_EQ(Asked[0].Text, QStringLiteral("无效输出语言，选择ok使用中文，或选择cancel进行修改。"));
    EXPECT_FALSE(QFileInfo(S.D()).exists());
    EXPECT_EQ(Form->RichEdit1->textCursor().selectedText(), QStringLiteral("{输出语言}=English"));
    EXPECT_TRUE(Opened.isEmpty());

    // OK goes on: Chinese output, the folder opened.
    Asked.clear();
    Answers = {IDOK};
    Click("HTML3");
    EXPECT_TRUE(QFileInfo(S.D() + QStringLiteral("/P001.htm")).isFile());
    EXPECT_EQ(Opened, QStringList{S.Root + QStringLiteral("P001/")});
}

TEST_F(OutputMenu, CancelledPriceQuestionMakesItsRowCurrent)
{
    for (QString &L : S.Page)
        if (L == QStringLiteral("{$PPRICE}=3"))
            L = QStringLiteral("{$PPRICE}=3元");
    LoadSample();
    Answers = {IDCANCEL};
    Click("ZIP3");
    ASSERT_EQ(Asked.size(), 1);
    EXPECT_TRUE(Asked[0].Text.startsWith(QStringLiteral("第 3 个商品资料的单价包含非数字字符，")));
    EXPECT_EQ(Form->CellGrid1->Row(), 14);
    EXPECT_FALSE(QFileInfo(S.D()).exists());
}
