// The web-effects dialog on a page of the main window: the stored effect shown
// and written back, effect lines replaced only in the header, paths stored
// relative to the page or program folder only when they lie inside it, Cancel,
// the escaped preview page and the music preview's shell calls.

#include "QStringPrint.h"
#include "SamplePages.h"
#include "WindowFixture.h"
#include "TestSupport.h"
#include "catalog/forms/MainWindow.h"
#include "catalog/forms/WebEffectsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace SamplePages;

namespace {

class WebEffectsDialog : public ::testing::Test {
protected:
    WebEffectsDialog()
    {
        TestSupport::CopyDataTo(Home.Path());
        QDir().mkpath(Docs.File(QStringLiteral("pages/img")));
        PagePath = Docs.File(QStringLiteral("pages/p.qbt"));
    }
    // Opens a page whose header holds Extra as lines 5...
    TForm5 *Open(const QStringList &Extra, const QList<TProduct> &Products = {Simple(QStringLiteral("A"))})
    {
        QStringList L = Header();
        for (qsizetype I = 0; I < Extra.size(); ++I)
            L.insert(4 + I, Extra[I]);
        Save(PagePath, L + Blocks(Products));
        Form = WindowFixture::NewWindow({PagePath});
        Before = Form->Page().Lines();
        Form->Form5->FormShow();
        return Form->Form5;
    }
    QStringList Effects() const
    {
        QStringList R;
        for (const QString &L : Form->Page().Lines())
            if (L.startsWith(QStringLiteral("{背景图片}=")) || L.startsWith(QStringLiteral("{背景音乐}="))
                || L.startsWith(QStringLiteral("{视觉效果}=")))
                R << L;
        return R;
    }
    CatalogFixture::TProgramFolder Home;
    TestSupport::TempDir Docs;
    WindowFixture::TScriptedUi Ui;
    QString PagePath;
    std::unique_ptr<TForm1> Form;
    QStringList Before;
};

} // namespace

TEST_F(WebEffectsDialog, StoredEffectShownAndWrittenBackNoEffectRemovesIt)
{
    TForm5 *D = Open({QStringLiteral("{视觉效果}=雪花")});
    EXPECT_EQ(D->ComboBox1->itemText(0), QStringLiteral("无效果"));
    EXPECT_EQ(D->ComboBox1->currentText(), QStringLiteral("雪花"));
    EXPECT_NE(D->Label5->text(), QStringLiteral("”简介“没有找到"));
    EXPECT_EQ(D->Label1->text(), QStringLiteral("这里设定的网页视听特效将会应用到Catalog当中。"));
    D->Button5Click();
    EXPECT_EQ(D->result(), 1);
    EXPECT_EQ(Form->Page().Lines(), Before);

    D->FormShow();
    D->ComboBox1->setCurrentIndex(0);
    D->ComboBox1Select();
    EXPECT_EQ(D->Label5->text(), QStringLiteral("”简介“没有找到"));
    D->Button5Click();
    EXPECT_TRUE(Effects().isEmpty());
    EXPECT_EQ(Form->Page().Count(), Before.size() - 1);

    // An effect the program folder does not have shows 无效果.
    D = Open({QStringLiteral("{视觉效果}=烟花")});
    EXPECT_EQ(D->ComboBox1->currentIndex(), 0);
}

TEST_F(WebEffectsDialog, PathsRelativeOnlyInsideTheirFolderAndProductLinesSurvive)
{
    const QString InPage = Docs.File(QStringLiteral("pages/img/bg.gif"));
    const QString Sibling = Docs.File(QStringLiteral("pagesX/bg.gif"));
    TestSupport::WriteAll(InPage, TestSupport::ReadAll(Home.File(QStringLiteral("gif/paper.gif"))));
    // A product whose text holds a key, and an old background line to replace.
    TForm5 *D = Open({QStringLiteral("{背景图片}=old.gif")},
                     {Simple(QStringLiteral("A"), QString(), QStringLiteral("{背景图片}=x.gif 写在描述里"))});
    EXPECT_EQ(D->Edit1->text(), Home.File(QStringLiteral("old.gif"))) << "not in the page folder: the program folder's";
    D->Edit1->setText(InPage);
    D->Edit2->setText(Home.File(QStringLiteral("mid/tune.mid")));
    D->Button5Click();
    EXPECT_EQ(Effects(), (QStringList{QStringLiteral("{背景音乐}=mid\\tune.mid"), QStringLiteral("{背景图片}=img\\bg.gif"),
                                      QStringLiteral("{背景图片}=x.gif 写在描述里")})
                             .mid(0, 2));
    EXPECT_EQ(Form->Page().Strings(4), QStringLiteral("{背景音乐}=mid\\tune.mid"));
    EXPECT_EQ(Form->Page().Strings(5), QStringLiteral("{背景图片}=img\\bg.gif"));
    EXPECT_TRUE(Form->Page().Lines().contains(QStringLiteral("{$PNOTE}={背景图片}=x.gif 写在描述里")));

    // Read back: each relative path lands in its own folder.
    D->FormShow();
    EXPECT_EQ(D->Edit1->text(), InPage);
    EXPECT_EQ(D->Edit2->text(), Home.File(QStringLiteral("mid/tune.mid")));

    // A folder whose name merely begins like the page folder's is not inside it.
    D->Edit1->setText(Sibling);
    D->Button9Click();
    D->Button5Click();
    EXPECT_EQ(Effects(), QStringList{QStringLiteral("{背景图片}=") + Sibling});

    // Too long to store: said so, the page stays, the dialog stays open.
    const QStringList Kept = Form->Page().Lines();
    D->setResult(0);
    D->Edit1->setText(QStringLiteral("/") + QString(300, QLatin1Char('x')) + QStringLiteral(".gif"));
    Ui.Prompts->AnswerButton(QStringLiteral("OK"));
    D->Button5Click();
    EXPECT_EQ(D->result(), 0);
    EXPECT_EQ(Form->Page().Lines(), Kept);
    EXPECT_TRUE(Asked(*Ui.Prompts).value(0).contains(QStringLiteral("文件路径太长"))) << Asked(*Ui.Prompts).value(0).toStdString();
}

TEST_F(WebEffectsDialog, ShortHeaderGetsTheLinesAndCancelLeavesThePage)
{
    QStringList Short{QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{detail}")};
    QString Error;
    ASSERT_TRUE(WebEffects::Apply(Short, {QString(), QString(), QStringLiteral("雪花")}, QString(), Home.Path(), Error));
    EXPECT_EQ(Short, (QStringList{QStringLiteral("QBT FILE TYPE 2.0"), QStringLiteral("{视觉效果}=雪花"), QStringLiteral("{detail}")}));

    TForm5 *D = Open({});
    D->Edit1->setText(Home.File(QStringLiteral("gif/dots.gif")));
    D->ComboBox1->setCurrentText(QStringLiteral("渐显"));
    D->Button6Click();
    EXPECT_EQ(D->result(), 2);
    EXPECT_EQ(Form->Page().Lines(), Before);
}

TEST_F(WebEffectsDialog, PreviewEscapedAndMusicPlayedThroughTheShell)
{
    TForm5 *D = Open({});
    const QString Odd = Docs.File(QStringLiteral("a\"<b>&c.gif"));
    D->Edit1->setText(Odd);
    D->ComboBox1->setCurrentText(QStringLiteral("雪花"));
    D->Button7Click();
    const QString Preview = TForm5::PreviewFile();
    EXPECT_TRUE(Preview.startsWith(ScratchFolder()));
    EXPECT_EQ(Ui.ShellCalls(), QStringList{QStringLiteral("Open ") + Preview});
    const QStringList Lines = LoadLines(Preview);
    const QString Text = Lines.join(QLatin1Char('\n'));
    EXPECT_TRUE(Text.contains(QStringLiteral("charset=gb2312")));
    EXPECT_TRUE(Text.contains(QStringLiteral("背景图片：") + QString(Odd).replace(QStringLiteral("&"), QStringLiteral("&amp;"))
                                                          .replace(QStringLiteral("\""), QStringLiteral("&quot;"))
                                                          .replace(QStringLiteral("<"), QStringLiteral("&lt;"))
                                                          .replace(QStringLiteral(">"), QStringLiteral("&gt;"))));
    EXPECT_FALSE(Text.contains(QStringLiteral("<b>")));
    EXPECT_TRUE(Text.contains(QStringLiteral("背景音乐：没有选择<br>")));
    EXPECT_TRUE(Text.contains(QStringLiteral("显示效果：雪花")));
    EXPECT_TRUE(Text.contains(LoadLines(Home.File(QStringLiteral("css/雪花/雪花head.txt"))).value(0)));

    Ui.Shell->ClearCalls();
    const QString Tune = Home.File(QStringLiteral("mid/tune.mid"));
    D->Edit2->setText(Tune);
    D->Button3Click();
    EXPECT_EQ(D->Label6->text(), QStringLiteral("播放中……"));
    EXPECT_TRUE(D->Playing());
    EXPECT_FALSE(D->Button3->isEnabled());
    EXPECT_TRUE(D->Button4->isEnabled());
    // Backspace in the music field stops it.
    QKeyEvent Back(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(D->Edit2, &Back);
    EXPECT_FALSE(D->Playing());
    EXPECT_EQ(D->Label6->text(), QStringLiteral("已停止"));
    D->Edit2->setText(Tune);
    D->Button3Click();
    D->Button5Click();
    EXPECT_EQ(Ui.ShellCalls(), (QStringList{QStringLiteral("StopMusic "), QStringLiteral("PlayMusic ") + Tune,
                                               QStringLiteral("StopMusic "), QStringLiteral("StopMusic "),
                                               QStringLiteral("PlayMusic ") + Tune, QStringLiteral("StopMusic ")}));
}
