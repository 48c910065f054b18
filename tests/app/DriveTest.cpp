// The driver's script language and commands, run against small windows of the test.

#include "app/DriveCommands.h"
#include "app/Quillbook.h"

#include "platform/services/Application.h"
#include "platform/services/Prompts.h"
#include "platform/services/ScriptedPrompts.h"
#include "platform/services/Shell.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTranslator>
#include <QVBoxLayout>
#include "TestSupport.h"
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Stands for the grid control: the driver reaches it through its invokable methods only.
class FakeGrid : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    Q_INVOKABLE QString Cells(int ACol, int ARow) const { return FCells.value({ACol, ARow}); }
    Q_INVOKABLE void SetCells(int ACol, int ARow, const QString &Value) { FCells[{ACol, ARow}] = Value; }

private:
    QMap<QPair<int, int>, QString> FCells;
};

// A main window with a question, a modal dialog and a failing handler.
class TestForm : public QWidget {
public:
    TestForm()
    {
        setObjectName(QStringLiteral("Form1"));
        setWindowTitle(QStringLiteral("图片列表"));
        auto *L = new QVBoxLayout(this);
        auto *Ask = new QPushButton(QStringLiteral("关闭"), this);
        Ask->setObjectName(QStringLiteral("Button1"));
        Result = new QLabel(this);
        Result->setObjectName(QStringLiteral("Label1"));
        auto *Open = new QPushButton(QStringLiteral("打开"), this);
        Open->setObjectName(QStringLiteral("Button2"));
        auto *Fail = new QPushButton(QStringLiteral("失败"), this);
        Fail->setObjectName(QStringLiteral("Button3"));
        auto *Off = new QPushButton(QStringLiteral("禁用"), this);
        Off->setObjectName(QStringLiteral("Button4"));
        Off->setEnabled(false);
        auto *Edit = new QLineEdit(this);
        Edit->setObjectName(QStringLiteral("Edit1"));
        auto *Page = new QPlainTextEdit(this);
        Page->setObjectName(QStringLiteral("RichEdit1"));
        Page->setPlainText(QStringLiteral("{页面标题}=样品\n第二行"));
        auto *Grid = new FakeGrid(this);
        Grid->setObjectName(QStringLiteral("CellGrid1"));
        for (QWidget *W : std::initializer_list<QWidget *>{Ask, Result, Open, Fail, Off, Edit, Page, Grid})
            L->addWidget(W);

        QObject::connect(Ask, &QPushButton::clicked, this, Guarded([this] {
            const int R = MessageBox(this, QStringLiteral("是否关闭当前页面？"), QStringLiteral("关闭页面"), MB_YESNO | MB_ICONWARNING);
            Result->setText(R == IDYES ? QStringLiteral("yes") : QStringLiteral("no"));
        }));
        QObject::connect(Open, &QPushButton::clicked, this, Guarded([this] {
            QDialog D(this);
            D.setObjectName(QStringLiteral("Form2"));
            auto *Ok = new QPushButton(QStringLiteral("确定"), &D);
            Ok->setObjectName(QStringLiteral("Button1"));
            auto *Name = new QLineEdit(&D);
            Name->setObjectName(QStringLiteral("Edit1"));
            Name->move(0, 40);
            QObject::connect(Ok, &QPushButton::clicked, &D, &QDialog::accept);
            const int R = D.exec();
            Result->setText(QStringLiteral("dialog %1 %2").arg(R).arg(Name->text()));
            Shell().Open(Name->text());
        }));
        QObject::connect(Fail, &QPushButton::clicked, this, Guarded([] { throw EFOpenError(QStringLiteral("无法打开文件")); }));
        Edit->setText(QStringLiteral("old"));
        QObject::connect(Edit, &QLineEdit::textEdited, this, [this](const QString &T) { Result->setText(QStringLiteral("edited ") + T); });
    }
    QLabel *Result;
};

class DriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto P = std::make_unique<TScriptedPrompts>();
        auto S = std::make_unique<TScriptedShell>();
        Prompts = P.get();
        Shell = S.get();
        FOldPrompts = SetPrompts(std::move(P));
        FOldShell = SetShell(std::move(S));
        ClearScriptFailure();
        Form.show();
        Form.activateWindow();
    }
    void TearDown() override
    {
        SetPrompts(std::move(FOldPrompts));
        SetShell(std::move(FOldShell));
        ClearScriptFailure();
    }

    // Runs the script; returns the exit code, standard output in Output.
    int Run(const QString &Script)
    {
        Output.clear();
        QTextStream Out(&Output);
        TDriveContext Context(*Prompts, *Shell, Out);
        Context.MainWindow = &Form;
        TDriveRunner Runner(Context, Script.split(QLatin1Char('\n')));
        Runner.Start();
        QApplication::exec();
        Out.flush();
        return Runner.ExitCode();
    }

    TestForm Form;
    TScriptedPrompts *Prompts = nullptr;
    TScriptedShell *Shell = nullptr;
    QString Output;

private:
    std::unique_ptr<TPrompts> FOldPrompts;
    std::unique_ptr<TShell> FOldShell;
};

} // namespace

TEST(DriveScript, ParsesCommandsArgumentsAndTexts)
{
    const TDriveCommand *C = nullptr;
    EXPECT_TRUE(ParseDriveLine(QStringLiteral("  # a comment"), &C).isEmpty());
    EXPECT_EQ(C, nullptr);
    EXPECT_TRUE(ParseDriveLine(QStringLiteral("\r"), &C).isEmpty());
    EXPECT_EQ(ParseDriveLine(QStringLiteral("set-cell CellGrid1 1 2 红色  大号 \r"), &C),
              (QStringList{"CellGrid1", "1", "2", QStringLiteral("红色  大号")}));
    ASSERT_NE(C, nullptr);
    EXPECT_EQ(C->Name, QStringLiteral("set-cell"));
    EXPECT_EQ(ParseDriveLine(QStringLiteral("answer folder"), &C), QStringList{"answer"}.mid(1) << "folder");
    EXPECT_THROW(ParseDriveLine(QStringLiteral("frobnicate x"), &C), EDriveError);
    EXPECT_THROW(ParseDriveLine(QStringLiteral("click"), &C), EDriveError);
    EXPECT_THROW(ParseDriveLine(QStringLiteral("click a b"), &C), EDriveError);
    EXPECT_EQ(UnescapeDriveText(QStringLiteral("a\\nb\\\\n\\t\\q")), QStringLiteral("a\nb\\n\t\\q"));
    EXPECT_TRUE(DriveHelp().contains(QStringLiteral("expect-prompts N")));
}

TEST_F(DriveTest, AnswersPromptsReadsAndWritesFieldsAndGrids)
{
    const int Code = Run(QStringLiteral(
        "answer button Yes\n"
        "click Button1\n"
        "text Label1\n"
        "set-cell CellGrid1 1 6 C:\\图片\\a.jpg\n"
        "cell CellGrid1 1 6\n"
        "cell CellGrid1 2 6\n"
        "type Edit1 新的\\t文字\n"
        "text Label1\n"
        "page-text\n"
        "text Form1\n"
        "prompts\n"
        "expect-prompts 1\n"
        "quit\n"
        "click NeverReached\n"));
    EXPECT_EQ(Code, 0);
    EXPECT_EQ(Output, QStringLiteral("yes\nC:\\图片\\a.jpg\n\nedited 新的\t文字\n{页面标题}=样品\n第二行\n图片列表\n"
                                     "MessageBox | 关闭页面 | 是否关闭当前页面？ | Yes\n"));
}

TEST_F(DriveTest, GoesOnInsideAModalDialogAndPrefersItsWidgets)
{
    const int Code = Run(QStringLiteral(
        "click Button2\n"
        "type Edit1 /tmp/目录\n"          // the dialog's Edit1, not the main window's
        "click Button1\n"                  // the dialog's OK
        "wait\n"
        "text Label1\n"
        "text Form1.Edit1\n"
        "shell\n"));
    EXPECT_EQ(Code, 0);
    EXPECT_EQ(Output, QStringLiteral("dialog 1 /tmp/目录\nold\nOpen /tmp/目录\n"));
}

TEST_F(DriveTest, FailsOnUnscriptedPromptsAndFailedCommands)
{
    EXPECT_EQ(Run(QStringLiteral("click Button1\ntext Label1\n")), 1);
    EXPECT_EQ(Output, QString());               // the script stopped at the question
    EXPECT_TRUE(Prompts->Failure().contains(QStringLiteral("是否关闭当前页面？")));

    // A failure stays until the run ends: the next run of the same script state fails at once.
    EXPECT_EQ(Run(QStringLiteral("text Label1\n")), 1);
    Prompts->Reset();
    ClearScriptFailure();
    EXPECT_EQ(Run(QStringLiteral("text Label1\n")), 0);
    EXPECT_EQ(Run(QStringLiteral("click Button4\n")), 1);     // disabled
    EXPECT_EQ(Run(QStringLiteral("click Nothing\n")), 1);
    EXPECT_EQ(Run(QStringLiteral("cell Label1 1 1\n")), 1);   // not a grid
    EXPECT_EQ(Run(QStringLiteral("expect-prompts 3\n")), 1);
    EXPECT_EQ(Run(QStringLiteral("bogus\n")), 2);
}

TEST_F(DriveTest, AnErrorInAHandlerShowsTheErrorBoxAndTheScriptGoesOn)
{
    EXPECT_EQ(Run(QStringLiteral("answer button OK\nclick Button3\nprompts\n")), 0);
    EXPECT_TRUE(Output.startsWith(QStringLiteral("MessageBox | ")));
    EXPECT_TRUE(Output.contains(QStringLiteral("| 无法打开文件 | OK")));
    // Without the answer, the error box itself is the unscripted prompt.
    EXPECT_EQ(Run(QStringLiteral("click Button3\n")), 1);
}

TEST_F(DriveTest, SavesAScreenshotOfAWindowWithItsCaption)
{
    TestSupport::TempDir Dir;
    ASSERT_EQ(Run(QStringLiteral("screenshot Form1 %1\nscreenshot Button1 %2\n").arg(Dir.File("form.png"), Dir.File("sub/b.png"))), 0);
    QImage Window(Dir.File("form.png"));
    QImage Button(Dir.File("sub/b.png"));
    ASSERT_FALSE(Window.isNull());
    ASSERT_FALSE(Button.isNull());
    EXPECT_GT(Window.height(), Form.height());      // the caption bar above the window
    EXPECT_EQ(Button.size(), Form.findChild<QWidget *>(QStringLiteral("Button1"))->size());
}

TEST(Startup, TheBrowserSandboxIsSwitchedOffOnlyForRoot)
{
    const QByteArray Old = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    PrepareProcessEnvironment();
    EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), ::geteuid() == 0 ? QByteArray("1") : QByteArray());
    if (Old.isNull())
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    else
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", Old);
}

TEST(Startup, QtsOwnTextsAreChineseAndEachWindowKeepsItsOwnTitle)
{
    const QString NameBefore = QCoreApplication::applicationName();
    const QList<QTranslator *> Before = qApp->findChildren<QTranslator *>();
    SetupApplication(*qApp);

    // Standard buttons, as in every box and the about box.
    QDialogButtonBox Box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes | QDialogButtonBox::No);
    EXPECT_EQ(Box.button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
    EXPECT_EQ(Box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    EXPECT_TRUE(Box.button(QDialogButtonBox::Yes)->text().contains(QStringLiteral("是")));
    // The edit menus of a one-line field (the cell editor) and of a text box (the page text).
    auto MenuTexts = [](QMenu *Menu) {
        QStringList Texts;
        for (QAction *A : Menu->actions())
            if (!A->isSeparator())
                Texts << A->text().section(QLatin1Char('\t'), 0, 0);
        delete Menu;
        return Texts;
    };
    QLineEdit Line;
    QPlainTextEdit Text;
    for (const QStringList &Texts : {MenuTexts(Line.createStandardContextMenu()),
                                     MenuTexts(Text.createStandardContextMenu())}) {
        ASSERT_GE(Texts.size(), 7) << Texts.join(QLatin1Char('|')).toStdString();
        const QString All = Texts.join(QLatin1Char('|'));
        for (const char *Chinese : {"撤消", "重做", "剪切", "复制", "粘贴", "删除", "全选"})
            EXPECT_TRUE(All.contains(QString::fromUtf8(Chinese))) << Chinese << " in " << All.toStdString();
        for (const char *English : {"Undo", "Redo", "Cut", "Copy", "Paste", "Delete", "Select All"})
            EXPECT_FALSE(All.contains(QString::fromLatin1(English))) << English << " in " << All.toStdString();
    }

    // The kind of a folder in the file dialogs, which Qt's own catalogue leaves out.
    EXPECT_EQ(QFileIconProvider().type(QFileInfo(QDir::tempPath())), QStringLiteral("文件夹"));

    // The title captions the program's boxes only: Qt adds its display name to
    // every window's caption once one is fixed, and with none it follows the
    // application's name.
    if (auto *Own = TApplication::Instance()) {
        EXPECT_EQ(Own->Title(), QString::fromUtf8(QuillbookTitle));
    }
    EXPECT_EQ(ApplicationTitle(), QString::fromUtf8(QuillbookTitle));
    QCoreApplication::setApplicationName(QStringLiteral("another name"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("another name"))
        << "a display name was fixed: every window title would end with it";

    QCoreApplication::setApplicationName(NameBefore);
    for (QTranslator *T : qApp->findChildren<QTranslator *>())
        if (!Before.contains(T)) {
            QCoreApplication::removeTranslator(T);
            delete T;
        }
}

#include "DriveTest.moc"
