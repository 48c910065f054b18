// The prompts: filter strings, the scripted answers and the dialog components' rules.

#include "platform/services/Prompts.h"
#include "platform/services/ScriptedPrompts.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Installs scripted prompts for one test and puts the previous ones back.
class ScriptedPromptsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto P = std::make_unique<TScriptedPrompts>();
        Script = P.get();
        FOld = SetPrompts(std::move(P));
        ClearScriptFailure();
    }
    void TearDown() override
    {
        SetPrompts(std::move(FOld));
        ClearScriptFailure();
    }
    TScriptedPrompts *Script = nullptr;

private:
    std::unique_ptr<TPrompts> FOld;
};

} // namespace

TEST(FileFilter, ParsesThePairsOfTheOriginalFilterStrings)
{
    const auto F = ParseFileFilter(QStringLiteral("全部文件*.qbs;*.qbt;*.qba|*.qbs;*.qbt;*.qba|目录册文件 *.qbs|*.qbs|页面文件 *.qbt|*.qbt|Catalog包文件 *.qba|*.qba"));
    ASSERT_EQ(F.size(), 4);
    EXPECT_EQ(F[0].Description, QStringLiteral("全部文件*.qbs;*.qbt;*.qba"));
    EXPECT_EQ(F[0].Masks, (QStringList{"*.qbs", "*.qbt", "*.qba"}));
    EXPECT_EQ(F[3].Masks, QStringList{"*.qba"});
    // A description without masks (a broken string) is dropped, not turned into an empty filter.
    EXPECT_EQ(ParseFileFilter(QStringLiteral("页面文件 *.qbt|*.qbt|孤立")).size(), 1);
    EXPECT_TRUE(ParseFileFilter(QString()).isEmpty());
}

TEST(FileFilter, MatchesExtensionsRegardlessOfCase)
{
    const auto F = ParseFileFilter(QStringLiteral("页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs|全部文件 *.*|*.*"));
    EXPECT_TRUE(FilterMatches(F[0], QStringLiteral("/tmp/A.QBT")));
    EXPECT_TRUE(FilterMatches(F[0], QStringLiteral("页面.Qbt")));
    EXPECT_FALSE(FilterMatches(F[0], QStringLiteral("a.qbt.bak")));
    EXPECT_FALSE(FilterMatches(F[0], QStringLiteral("/x.qbt/a.qbs")));
    EXPECT_TRUE(FilterMatches(F[2], QStringLiteral("noextension")));
    EXPECT_EQ(FilterIndexFor(F, QStringLiteral("b.QBS")), 2);
    EXPECT_EQ(FilterIndexFor(F, QStringLiteral("c.jpg")), 3);
    EXPECT_EQ(FilterIndexFor(ParseFileFilter(QStringLiteral("MIDI音乐 *.mid|*.mid")), QStringLiteral("c.jpg")), 0);
}

TEST_F(ScriptedPromptsTest, AnswersMessageBoxesAndDialogsAndRecordsTheQuestions)
{
    Script->AnswerButton(QStringLiteral("no"));
    Script->AnswerButton(QStringLiteral("Cancel"));
    Script->AnswerButton(QStringLiteral("OK"));
    EXPECT_EQ(MessageBox(nullptr, QStringLiteral("该Catalog页面还没保存，没有保存的信息将丢失，是否关闭当前页面？"),
                         QStringLiteral("关闭页面"), MB_YESNO | MB_ICONWARNING), IDNO);
    EXPECT_EQ(MessageDlg(QStringLiteral("有资料修改后尚未保存，是否存盘？"), mtConfirmation, mbYesNoCancel), mrCancel);
    ShowMessage(QStringLiteral("完成"));

    const auto &R = Script->Records();
    ASSERT_EQ(R.size(), 3);
    EXPECT_EQ(R[0].Kind, TPromptKind::MessageBox);
    EXPECT_EQ(R[0].Caption, QStringLiteral("关闭页面"));
    EXPECT_EQ(R[0].Buttons, (QStringList{"Yes", "No"}));
    EXPECT_EQ(R[0].Answer, QStringLiteral("No"));
    EXPECT_EQ(R[0].Flags, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(R[1].Caption, QStringLiteral("确认"));
    EXPECT_EQ(R[1].Buttons, (QStringList{"Yes", "No", "Cancel"}));
    EXPECT_EQ(R[2].Text, QStringLiteral("完成"));
    EXPECT_EQ(R[2].Buttons, QStringList{"OK"});
    EXPECT_FALSE(Script->Failed());
}

TEST_F(ScriptedPromptsTest, AnUnscriptedOrUnfittingQuestionFailsTheTest)
{
    EXPECT_THROW(MessageBox(nullptr, QStringLiteral("没有问过"), QStringLiteral("标题"), MB_OK), EScriptFailure);
    EXPECT_TRUE(Script->Failed());
    EXPECT_TRUE(Script->Failure().contains(QStringLiteral("没有问过")));
    EXPECT_EQ(PendingScriptFailure(), Script->Failure());
    ASSERT_EQ(Script->Records().size(), 1);

    // A button the box does not offer, or an answer of the wrong kind, is a script error too.
    Script->AnswerButton(QStringLiteral("Retry"));
    EXPECT_THROW(MessageBox(nullptr, QStringLiteral("t"), QStringLiteral("c"), MB_YESNO), EScriptFailure);
    Script->AnswerText(QStringLiteral("x"));
    EXPECT_THROW(MessageDlg(QStringLiteral("t"), mtWarning, mbOKCancel), EScriptFailure);
    Script->AnswerFolder(QStringLiteral("/tmp"));
    EXPECT_THROW(InputBox(QStringLiteral("c"), QStringLiteral("p"), QString()), EScriptFailure);
    EXPECT_EQ(Script->PendingAnswers(), 0);
}

TEST_F(ScriptedPromptsTest, InputBoxesAndTheFolderBrowser)
{
    Script->AnswerText(QStringLiteral("新名字"));
    Script->AnswerButton(QStringLiteral("Cancel"));
    Script->AnswerFolder(QStringLiteral("/tmp/输出"));
    Script->AnswerButton(QStringLiteral("Cancel"));
    EXPECT_EQ(InputBox(QStringLiteral("改名"), QStringLiteral("名称："), QStringLiteral("旧")), QStringLiteral("新名字"));
    QString Value = QStringLiteral("默认");
    EXPECT_FALSE(InputQuery(QStringLiteral("改名"), QStringLiteral("名称："), Value));
    EXPECT_EQ(Value, QStringLiteral("默认"));
    EXPECT_EQ(BrowseForFolder(QStringLiteral("请选择一个文件夹：")), QStringLiteral("/tmp/输出"));
    EXPECT_EQ(BrowseForFolder(QStringLiteral("输出路径无效，请重新选择：")), QString());
    EXPECT_EQ(Script->Records()[2].Caption, QStringLiteral("请选择一个文件夹："));
}

TEST_F(ScriptedPromptsTest, SaveDialogAddsTheDefaultExtensionAndAsksBeforeReplacing)
{
    TestSupport::TempDir Dir;
    TestSupport::WriteAll(Dir.File("old.qbs"), "x");

    TSaveDialog D;
    D.Filter = QStringLiteral("目录册 *.qbs|*.qbs|全部文件 *.*|*.*");
    D.DefaultExt = QStringLiteral("qbs");
    D.InitialDir = Dir.Path();
    D.Options |= OpenOpt(ofOverwritePrompt);

    Script->AnswerFile(QStringLiteral("新册"));
    ASSERT_TRUE(D.Execute());
    EXPECT_EQ(D.FileName, Dir.File("新册.qbs"));
    EXPECT_EQ(D.FilterIndex, 1);

    // An existing file: No goes back to the dialog, which is answered again.
    Script->AnswerFile(QStringLiteral("old"));
    Script->AnswerButton(QStringLiteral("No"));
    Script->AnswerButton(QStringLiteral("Cancel"));
    EXPECT_FALSE(D.Execute());
    Script->AnswerFile(Dir.File("old.qbs"));
    Script->AnswerButton(QStringLiteral("Yes"));
    ASSERT_TRUE(D.Execute());
    EXPECT_EQ(D.FileName, Dir.File("old.qbs"));
    const auto &R = Script->Records();
    EXPECT_EQ(R[2].Text, Dir.File("old.qbs") + QStringLiteral(" 已存在。\r\n要替换它吗？"));
    EXPECT_EQ(Script->PendingAnswers(), 0);
}

TEST_F(ScriptedPromptsTest, OpenDialogKeepsTheFilterIndexAndChecksExistence)
{
    TestSupport::TempDir Dir;
    TestSupport::WriteAll(Dir.File("a.QBT"), "x");
    TestSupport::WriteAll(Dir.File("b.jpg"), "x");
    TestSupport::WriteAll(Dir.File("c.jpg"), "x");

    TOpenDialog D;
    D.Filter = QStringLiteral("页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs");
    D.FilterIndex = 2;
    D.Options |= OpenOpt(ofFileMustExist);
    Script->AnswerFile(Dir.File("a.QBT"));
    ASSERT_TRUE(D.Execute());
    EXPECT_EQ(D.FilterIndex, 1);
    EXPECT_EQ(D.Files(), QStringList{Dir.File("a.QBT")});

    // A missing file is refused with a message and the dialog comes back.
    Script->AnswerFile(Dir.File("missing.qbt"));
    Script->AnswerButton(QStringLiteral("OK"));
    Script->AnswerButton(QStringLiteral("Cancel"));
    EXPECT_FALSE(D.Execute());
    EXPECT_EQ(D.FileName, Dir.File("a.QBT"));

    // Several files only where the dialog allows them.
    TOpenPictureDialog P;
    P.InitialDir = Dir.Path();
    Script->AnswerFiles({QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
    EXPECT_THROW(P.Execute(), EScriptFailure);
    P.Options |= OpenOpt(ofAllowMultiSelect);
    Script->AnswerFiles({QStringLiteral("b.jpg"), QStringLiteral("c.jpg")});
    ASSERT_TRUE(P.Execute());
    EXPECT_EQ(P.Files(), (QStringList{Dir.File("b.jpg"), Dir.File("c.jpg")}));
}

// ---- the dialogs on screen, driven by a timer ----

#include "platform/services/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

// Runs Action on the modal dialog once it is open.
template <typename Dialog, typename F>
void WhenShown(F Action)
{
    auto *Poll = new QTimer;
    QObject::connect(Poll, &QTimer::timeout, Poll, [Poll, Action]() mutable {
        if (auto *D = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            Poll->stop();
            Poll->deleteLater();
            Action(D);
        }
    });
    Poll->start(10);
}

} // namespace

TEST(QtPrompts, MessageBoxShowsTheOriginalButtonsAndMapsTheAnswers)
{
    TQtPrompts P;
    QStringList Texts;
    QString Default;
    WhenShown<QMessageBox>([&](QMessageBox *Box) {
        for (QAbstractButton *B : Box->buttons())
            Texts << B->text();
        Default = Box->defaultButton() ? Box->defaultButton()->text() : QString();
        for (QAbstractButton *B : Box->buttons())
            if (B->text() == QStringLiteral("否(&N)"))
                B->click();
    });
    EXPECT_EQ(P.MessageBox(nullptr, QStringLiteral("是否存盘？"), QStringLiteral("确认"), MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    Texts.sort();
    EXPECT_EQ(Texts, (QStringList{QStringLiteral("取消"), QStringLiteral("否(&N)"), QStringLiteral("是(&Y)")}));
    EXPECT_EQ(Default, QStringLiteral("否(&N)"));

    // Closing the box answers Cancel.
    WhenShown<QMessageBox>([](QMessageBox *Box) { Box->reject(); });
    EXPECT_EQ(P.MessageDlg(QStringLiteral("继续？"), QStringLiteral("警告"), mtWarning, mbOKCancel), mrCancel);

    // A typed value inside the message shows as typed, tags and all.
    Qt::TextFormat Format = Qt::RichText;
    WhenShown<QMessageBox>([&Format](QMessageBox *Box) {
        Format = Box->textFormat();
        Box->accept();
    });
    P.MessageBox(nullptr, QStringLiteral("不能播放背景音乐：<font color=\"red\">特价</font>.mid"), QStringLiteral("错误"), MB_OK);
    EXPECT_EQ(Format, Qt::PlainText);

    // So does the prompt of an input box, and the answer is the text typed.
    const QString Prompt = QStringLiteral("替换“<b>特价</b>”为：");
    QString Shown;
    WhenShown<QInputDialog>([&Shown, Prompt](QInputDialog *D) {
        for (QLabel *L : D->findChildren<QLabel *>())
            if (L->text() == Prompt && L->textFormat() == Qt::PlainText)
                Shown = L->text();
        D->setTextValue(QStringLiteral("<i>新</i>"));
        D->accept();
    });
    QString Value = QStringLiteral("旧");
    EXPECT_TRUE(P.InputQuery(QStringLiteral("请输入"), Prompt, Value));
    EXPECT_EQ(Shown, Prompt);
    EXPECT_EQ(Value, QStringLiteral("<i>新</i>"));
}

TEST(QtPrompts, ALongMessageLeavesTheBoxAndItsButtonsOnTheScreen)
{
    // Hundreds of files named in a message (an archive from elsewhere), or a
    // value of many thousand characters in one line.
    QStringList Files;
    for (int I = 1; I <= 500; ++I)
        Files << QStringLiteral("输出/P001/images/图片-%1.jpg").arg(I);
    const QStringList Texts{QStringLiteral("以下文件不能读取：\r\n") + Files.join(QStringLiteral("\r\n")),
                            QStringLiteral("catalog编号“%1”无效。").arg(QString(100000, QChar(0x76EE)))};
    TQtPrompts P;
    for (const QString &Text : Texts) {
        QSize Size, Screen;
        QString Shown;
        WhenShown<QMessageBox>([&](QMessageBox *Box) {
            Size = Box->size();
            Screen = Box->screen()->availableGeometry().size();
            Shown = Box->text();
            Box->accept();
        });
        EXPECT_EQ(P.MessageBox(nullptr, Text, QStringLiteral("错误"), MB_OK | MB_ICONERROR), IDOK);
        EXPECT_LE(Size.height(), Screen.height());
        EXPECT_LE(Size.width(), Screen.width());
        EXPECT_TRUE(Shown.startsWith(Text.section(QLatin1Char('\r'), 0, 0).left(20))) << Shown.left(80).toStdString();
    }
    // The first files are named, and how many are left out.
    WhenShown<QMessageBox>([](QMessageBox *Box) {
        EXPECT_TRUE(Box->text().contains(QStringLiteral("图片-24.jpg\n……（另有 476 行未显示）"))) << Box->text().right(80).toStdString();
        Box->accept();
    });
    P.MessageBox(nullptr, Texts.first(), QStringLiteral("错误"), MB_OK);
}

TEST(QtPrompts, FileDialogTakesTheFilterStringAndReportsTheChosenFilter)
{
    TestSupport::TempDir Dir;
    TestSupport::WriteAll(Dir.File("Book.QBS"), "x");
    const auto Filters = ParseFileFilter(QStringLiteral("页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs|全部文件 *.*|*.*"));
    const QStringList Names = QtNameFilters(Filters);
    EXPECT_EQ(Names[0], QStringLiteral("页面文件 *.qbt (*.[qQ][bB][tT])"));
    EXPECT_EQ(Names[2], QStringLiteral("全部文件 *.* (*)"));

    TQtPrompts P;
    TFileDialogRequest R;
    R.Filter = QStringLiteral("页面文件 *.qbt|*.qbt|目录册文件 *.qbs|*.qbs|全部文件 *.*|*.*");
    R.FilterIndex = 2;
    R.InitialDir = Dir.Path();
    R.Options = OpenOpt(ofFileMustExist);
    QString Shown;
    WhenShown<QFileDialog>([&](QFileDialog *D) {
        Shown = D->selectedNameFilter();
        D->selectNameFilter(Names[2]);
        D->selectFile(Dir.File("Book.QBS"));
        QMetaObject::invokeMethod(D, "accept");
    });
    ASSERT_TRUE(P.FileDialog(R));
    EXPECT_EQ(Shown, QStringLiteral("目录册文件 *.qbs"));
    EXPECT_EQ(R.FilterIndex, 3);    // the user switched to the third filter
    EXPECT_EQ(R.Files, QStringList{Dir.File("Book.QBS")});
}
