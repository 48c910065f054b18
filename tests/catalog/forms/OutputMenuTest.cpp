// The main window's output commands: their guards, the validation questions
// through the window's prompts, and where a cancelled question leaves the user.

#include "PaintCounter.h"
#include "WindowFixture.h"
#include "catalog/forms/Forms.h"
#include "catalog/forms/MainWindow.h"
#include "catalog/forms/ProductGrid.h"
#include "output/OutputFixture.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QTextBlock>
#include <QThread>
#include <QTimer>

using namespace OutputFixture;
using namespace WindowFixture;

namespace {

class OutputMenu : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        Form = NewWindow({}, true);
    }
    void TearDown() override
    {
        Form.reset();
        TWindowTest::TearDown();
    }
    QString ProgramPath() const override { return S.Exe; }

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
        Ui.ClearAsked();
    }

    TSample S;
    TScriptedUi Ui;
    std::unique_ptr<TForm1> Form;
};

} // namespace

TEST_F(OutputMenu, EmptyPageOffersANewPageAndPreviewNeedsAnOpenPage)
{
    Form->Page().SetLines({QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("a"), QStringLiteral("b")});
    Ui.Answer({IDCANCEL});
    Click("CHM3");   // needs five lines
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked()[0].Text, QStringLiteral("当前页面文件为空，请先新建Catalog页面，或者打开一个已有的目录册或页面。要新建页面吗？"));
    EXPECT_EQ(Ui.Asked()[0].Flags & 0x0F, unsigned(MB_OKCANCEL));

    Ui.ClearAsked();
    Form->FOpenPageEntry.clear();
    Ui.Answer({IDOK});
    Click("N57");
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked()[0].Text, QStringLiteral("当前没有打开页面，不能预览。"));
    EXPECT_EQ(Ui.Asked()[0].Caption, QStringLiteral("错误"));

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
    Ui.Answer({IDCANCEL});
    Click("HTML3");
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_EQ(Ui.Asked()[0].Text, QStringLiteral("无效输出语言，选择ok使用中文，或选择cancel进行修改。"));
    EXPECT_FALSE(QFileInfo(S.D()).exists());
    EXPECT_EQ(Form->RichEdit1->textCursor().selectedText(), QStringLiteral("{输出语言}=English"));
    EXPECT_TRUE(Ui.Opened().isEmpty());

    // OK goes on: Chinese output, the folder opened.
    Ui.ClearAsked();
    Ui.Answer({IDOK});
    Click("HTML3");
    EXPECT_TRUE(QFileInfo(S.D() + QStringLiteral("/P001.htm")).isFile());
    EXPECT_EQ(Ui.Opened(), QStringList{S.Root + QStringLiteral("P001/")});
}

TEST_F(OutputMenu, CancelledPriceQuestionMakesItsRowCurrent)
{
    for (QString &L : S.Page)
        if (L == QStringLiteral("{$PPRICE}=3"))
            L = QStringLiteral("{$PPRICE}=3元");
    LoadSample();
    Ui.Answer({IDCANCEL});
    Click("ZIP3");
    ASSERT_EQ(Ui.Asked().size(), 1);
    EXPECT_TRUE(Ui.Asked()[0].Text.startsWith(QStringLiteral("第 3 个商品资料的单价包含非数字字符，")));
    EXPECT_EQ(Form->CellGrid1->Row(), 14);
    EXPECT_FALSE(QFileInfo(S.D()).exists());
}

TEST_F(OutputMenu, APageOutputShowsItsProgressAndStopsAtCancel)
{
    LoadSample();
    // While the output runs the progress box shows its cancel button; a click
    // (allowed while the window waits) stops the ZIP and nothing is left.
    bool SeenCancel = false;
    QList<int> Positions;
    const auto Watch = QObject::connect(Form->ProgressBar1, &QProgressBar::valueChanged, [&](int V) {
        Positions << V;
        SeenCancel = SeenCancel || !Form->ProgressCancel->isHidden();
        if (V > 50)
            Form->ProgressCancel->click();
    });
    QString Result;
    EXPECT_THROW(Form->OutputPage(omZip, false, QString(), Result), EAbort);
    QObject::disconnect(Watch);
    EXPECT_TRUE(SeenCancel);
    EXPECT_TRUE(Result.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(S.D() + QStringLiteral("/P001.zip")));
    EXPECT_FALSE(QFileInfo::exists(S.D() + QStringLiteral("/P001.htm")));
    EXPECT_TRUE(Form->GroupBox3->isHidden());
    EXPECT_TRUE(Form->ProgressCancel->isHidden());

    // Run to its end, the bar reaches 100.
    Positions.clear();
    const auto Count = QObject::connect(Form->ProgressBar1, &QProgressBar::valueChanged, [&](int V) { Positions << V; });
    Form->OutputPage(omZip, false, QString(), Result);
    QObject::disconnect(Count);
    EXPECT_TRUE(QFileInfo::exists(S.D() + QStringLiteral("/P001.zip")));
    ASSERT_FALSE(Positions.isEmpty());
    EXPECT_EQ(Positions.last(), 100);
}

using TestSupport::TPaintCounter;

TEST_F(OutputMenu, AnHtmlOutputPaintsItsProgressAsTheBarMovesNotForEveryPicture)
{
    // A page of many products, each with its own small picture.
    const int Products = 300;
    S.Set(QStringLiteral("{背景图片}"), QString());
    QStringList Lines = S.Page.mid(0, S.Page.indexOf(QStringLiteral("{detail}")) + 1);
    for (int N = 1; N <= Products; ++N) {
        const QString Name = QStringLiteral("pics/p%1.jpg").arg(N);
        TestSupport::WriteAll(S.PageDir + Name, PictureBytes(Name));
        Lines << QStringLiteral("{$%1}").arg(N) << QStringLiteral("{$IMG}=") + Name << QStringLiteral("{$PID}=A-%1").arg(N)
              << QStringLiteral("{$PNAME}=茶杯") << QStringLiteral("{$PPRICE}=12.50") << QStringLiteral("{$PUNIT}=个")
              << QStringLiteral("{$PWEIGHT}=10") << QStringLiteral("{$PSERIAL}=%1").arg(N) << QStringLiteral("{$PNOTE}=白瓷");
    }
    WriteText(S.PagePath, Lines);
    Form->resize(900, 700);
    Form->show();
    Form->OpenPage(S.PagePath);
    QApplication::processEvents();
    Ui.ClearAsked();

    // The box and its bar are painted, and the window's events taken, as the
    // bar moves on (by a hundredth at most), not once or twice a picture. How
    // often it moves depends on the machine's speed; what is painted and
    // taken for each move does not.
    TPaintCounter Box(Form->GroupBox3), Bar(Form->ProgressBar1);
    int Pumps = 0, Moves = 0;
    QTimer Tick;
    Tick.setInterval(0);
    QObject::connect(&Tick, &QTimer::timeout, [&] { ++Pumps; });
    const auto Moved = QObject::connect(Form->ProgressBar1, &QProgressBar::valueChanged, [&] { ++Moves; });
    Tick.start();
    QString Result;
    QElapsedTimer Took;
    Took.start();
    Form->OutputPage(omHtml, false, QString(), Result);
    const qint64 Ms = Took.elapsed();
    Tick.stop();
    QObject::disconnect(Moved);
    EXPECT_EQ(Ui.Asked().size(), 0);
    EXPECT_EQ(QDir(S.D() + QStringLiteral("/images")).entryList(QDir::Files).size(), Products + 1);
    EXPECT_GT(Bar.Paints, 0);
    EXPECT_GT(Pumps, 0);
    EXPECT_LE(Moves, 101);
    // One paint of the box and its bar for each move, and the box's first.
    EXPECT_LE(Box.Paints, Moves + 2) << Moves << " moves";
    EXPECT_LE(Bar.Paints, Moves + 2) << Moves << " moves";
    // The events are taken as the bar moves, and every fifth of a second
    // while it stands still (a run slowed down by a busy machine).
    EXPECT_LE(Pumps, Moves + 2 + Ms / 200) << Moves << " moves, " << Ms << " ms";

    // A cancel while the pictures are copied still stops the output at once,
    // and it leaves nothing: no picture, no half file, no folder. The bar
    // shows every step here: the test stands still a little whenever the
    // window takes its events, longer than the bar waits between two moves,
    // so the click comes in the middle of the copies however fast they go.
    QDir(S.D()).removeRecursively();
    bool Clicked = false;
    const auto Watch = QObject::connect(Form->ProgressBar1, &QProgressBar::valueChanged, [&](int V) {
        if (V >= 20 && !Clicked) {
            Clicked = true;
            Form->ProgressCancel->click();
        }
    });
    QTimer Slow;
    Slow.setInterval(0);
    QObject::connect(&Slow, &QTimer::timeout, [&] {
        if (!Clicked)
            QThread::msleep(60);
    });
    Slow.start();
    EXPECT_THROW(Form->OutputPage(omHtml, false, QString(), Result), EAbort);
    Slow.stop();
    QObject::disconnect(Watch);
    EXPECT_TRUE(Clicked);
    EXPECT_FALSE(QFileInfo::exists(S.D()));
    EXPECT_TRUE(Form->GroupBox3->isHidden());
}
